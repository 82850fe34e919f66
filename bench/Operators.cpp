#include "Operators.h"

#include "editing/RegisterEdit.h"
#include "mapdata/MapFiles.h"
#include "names/Names.h"
#include "store/CityStore.h"
#include "store/LiveMap.h"
#include "transport/Stops.h"

#include <signal.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace dm {

namespace {

using Clock = std::chrono::steady_clock;

void loadStops(BinReader& in, std::vector<StopRef>& v, std::vector<uint64_t>* e) { LoadStops(in, v, e); }
void loadNames(BinReader& in, std::vector<NameRef>& v, std::vector<uint64_t>* e) { LoadNames(in, v, e); }

uint64_t fnv(uint64_t h, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

// What an operator sees: its objects in draw order, its stops and labels.
std::string viewPrint(const TObjList& objects, const std::vector<StopRef>& stops, const std::vector<NameRef>& names) {
    uint64_t h = 1469598103934665603ull;
    for (size_t k = 0; k < objects.size(); ++k) {
        BinWriter w;
        EncodeObject(w, *objects[k]);
        h = fnv(h, w.data());
    }
    // A stop's stored number is its place (as a fresh read numbers them).
    for (size_t k = 0; k < stops.size(); ++k) {
        TOstnv s = *stops[k];
        s.Number = int32_t(k);
        BinWriter w;
        EncodeStop(w, s);
        h = fnv(h, w.data());
    }
    for (const NameRef& n : names) {
        BinWriter w;
        EncodeName(w, *n);
        h = fnv(h, w.data());
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

// The wall clock in microseconds (the operators' processes compare theirs).
int64_t wallMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::unique_ptr<PgConnection> connectPatiently(const std::string& url, double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        try {
            return std::make_unique<PgConnection>(url);
        } catch (const StoreError&) {
            if (Clock::now() > until) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
}

// A city's map as a fresh pull gives it.
struct Snapshot {
    std::map<int64_t, std::pair<double, std::string>> objects;  // id -> place, record
    std::map<std::pair<std::string, int64_t>, std::pair<double, std::string>> records;  // file, id -> place, record
    std::string view;
};

Snapshot snapshot(PgConnection& c, const std::string& map, const fs::path& dir) {
    fs::remove_all(dir);
    PulledRows rows;
    PullCity(c, map, dir, &rows);
    Snapshot s;
    TObjList objects;
    LoadObjects(dir / "Darvent" / "Darvent.bin", objects);
    const int mapId = rows.mapIds.at("Darvent");
    const auto& keys = rows.objects[mapId];
    for (size_t k = 0; k < keys.size() && k < objects.size(); ++k) {
        BinWriter w;
        EncodeObject(w, *objects[k]);
        s.objects[keys[k].id] = {keys[k].pos, std::string(w.data().begin(), w.data().end())};
    }
    for (const char* file : {"ostanov.dat", "Darvent.nam"})
        for (const auto& r : rows.records[{mapId, file}]) s.records[{file, r.id}] = {r.pos, r.content};
    std::vector<StopRef> stops;
    std::vector<NameRef> names;
    if (fs::exists(dir / "Darvent" / "ostanov.dat")) LoadStops(dir / "Darvent" / "ostanov.dat", stops);
    if (fs::exists(dir / "Darvent" / "Darvent.nam")) LoadNames(dir / "Darvent" / "Darvent.nam", names);
    s.view = viewPrint(objects, stops, names);
    return s;
}

std::vector<std::string> lines(const fs::path& p) {
    std::vector<std::string> out;
    std::ifstream f(p);
    for (std::string l; std::getline(f, l);) out.push_back(l);
    return out;
}

size_t countPrefix(const fs::path& p, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& l : lines(p)) n += l.rfind(prefix, 0) == 0;
    return n;
}

pid_t spawn(const std::string& self, const std::vector<std::string>& args, const fs::path& out) {
    std::vector<std::string> all{self};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (FILE* f = std::freopen(out.c_str(), "a", stdout)) (void)f;
        ::dup2(::fileno(stdout), 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace

int RunOperator(const std::vector<std::string>& a) {
    // operator URL MAP INDEX STEPS SEED WORKDIR RESUME [PACE]
    const std::string url = a[1], map = a[2], index = a[3];
    const int pace = a.size() > 8 ? std::stoi(a[8]) : 0;  // ms between two steps
    const int steps = std::stoi(a[4]);
    const uint32_t seed = uint32_t(std::stoul(a[5]));
    const fs::path work = a[6];
    const bool resume = a[7] == "1";
    FILE* log = std::fopen((work / ("op" + index + ".log")).c_str(), "a");
    auto note = [&](const std::string& line) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    };
    const fs::path dir = work / ("view" + index);
    // The map as the database has it (again if the server restarts meanwhile).
    PulledRows rows;
    for (const auto until = Clock::now() + std::chrono::seconds(120);;) {
        try {
            std::unique_ptr<PgConnection> c = connectPatiently(url, 120);
            rows = PulledRows();
            fs::remove_all(dir);
            PullCity(*c, map, dir, &rows);
            break;
        } catch (const StoreError&) {
            if (Clock::now() > until) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    MapDoc doc;
    doc.Orientation = ReadOrientation(dir / "Darvent" / "Darvent.or");
    LoadObjects(dir / "Darvent" / "Darvent.bin", doc.ObjList);
    UndoHistory history(doc);
    std::vector<StopRef> stops;
    std::vector<NameRef> names;
    if (fs::exists(dir / "Darvent" / "ostanov.dat")) LoadStops(dir / "Darvent" / "ostanov.dat", stops);
    if (fs::exists(dir / "Darvent" / "Darvent.nam")) LoadNames(dir / "Darvent" / "Darvent.nam", names);
    const int mapId = rows.mapIds.at("Darvent");
    LiveMap::Target t{url, "Darvent", dir / "Darvent", work / ("op" + index + ".journal")};
    std::unique_ptr<LiveMap> live;
    for (const auto until = Clock::now() + std::chrono::seconds(120); !live;) {
        try {
            live = std::make_unique<LiveMap>(t, rows, doc, history);
        } catch (const StoreError&) {
            if (Clock::now() > until) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    LiveRecordList<TOstnv> stopList(stops, EncodeStop, loadStops);
    LiveRecordList<TNaz> nameList(names, EncodeName, loadNames);
    live->bindRecords("ostanov.dat", mapId, &stops, &stopList);
    live->bindRecords("Darvent.nam", mapId, &names, &nameList);
    std::mt19937 rng(seed);
    const bool dump = std::getenv("DM_OPERATORS_DUMP") != nullptr;
    live->journaled = [&](const LiveStep& s) {
        note("made " + s.id);
        if (!dump) return;
        std::string d = "rows " + s.what;
        for (const RowImage& r : s.rows)
            d += " " + std::string(1, char(r.table)) + std::to_string(r.id) + "v" + std::to_string(r.version) + (r.erase ? "e" : "") +
                 "@" + std::to_string(r.pos);
        note(d + " stops " + std::to_string(stops.size()));
    };
    live->settled = [&](const std::string& id, bool taken) {
        note(taken ? "ok " + id + " " + std::to_string(wallMicros()) : "drop " + id);
        if (dump) note("stops " + std::to_string(stops.size()));
    };
    live->arrived = [&](const std::string& id) {
        note("got " + id + " " + std::to_string(wallMicros()));
        if (dump) note("stops " + std::to_string(stops.size()));
    };
    live->askOverwrite = [&](const ConflictQuestion& q) {
        note("conflict");
        if (dump) note("asked " + q.text.toStdString());
        return rng() % 2 == 0;
    };
    if (resume) live->sendWaiting();

    auto backoff = std::chrono::milliseconds(50);
    auto nextTry = Clock::now();
    auto keepUp = [&] {
        if (live->online()) {
            live->poll();
            backoff = std::chrono::milliseconds(50);
        } else if (Clock::now() >= nextTry) {
            live->reconnect();
            nextTry = Clock::now() + backoff;
            backoff = std::min(backoff * 2, std::chrono::milliseconds(1000));
        }
    };
    // Most steps fall on the first forty objects, so that operators meet.
    auto hot = [&]() -> TObj* {
        if (doc.ObjList.empty()) return nullptr;
        return doc.ObjList[rng() % std::min<size_t>(doc.ObjList.size(), 40)];
    };
    for (int k = 0; k < steps; ++k) {
        keepUp();
        // An operator at work: the others' steps taken as they arrive, as the
        // program's event loop does.
        for (const auto until = Clock::now() + std::chrono::milliseconds(pace); Clock::now() < until;) {
            pollfd p{live->socket(), POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (p.fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(left));
            else if (::poll(&p, 1, int(left)) > 0) keepUp();
        }
        const int kind = int(rng() % 12);
        if (kind <= 3) {
            if (TObj* o = hot()) {
                history.begin(QStringLiteral("Перемещение объекта"));
                history.willChange(o);
                const double dx = double(int(rng() % 21) - 10), dy = double(int(rng() % 21) - 10);
                for (TXY& p : o->Points) {
                    p.X += dx;
                    p.Y += dy;
                }
                history.commit();
            }
        } else if (kind == 4) {
            if (TObj* like = hot()) {
                auto o = std::make_unique<TObj>(*like);
                for (TXY& p : o->Points) p.X += 5;
                history.begin(QStringLiteral("Новый объект"));
                TObj* added = doc.ObjList.insertAt(size_t(rng() % std::min<size_t>(doc.ObjList.size(), 40)), std::move(o));
                history.added(added);
                history.commit();
            }
        } else if (kind == 5) {
            if (TObj* o = hot()) {
                history.begin(QStringLiteral("Удаление объекта"));
                history.remove(o);
                history.commit();
            }
        } else if (kind == 6) {
            const size_t n = std::min<size_t>(doc.ObjList.size(), 40);
            if (n > 1) {
                history.begin(QStringLiteral("Порядок объектов"));
                history.move(rng() % n, rng() % n);
                history.commit();
            }
        } else if (kind == 7) {
            history.undo();
        } else if (kind == 8) {
            history.redo();
        } else if (kind <= 10) {
            // A stop changed, added or taken away.
            const int what = int(rng() % 3);
            StopRef s = stops.empty() || what == 1 ? nullptr : stops[rng() % stops.size()];
            RegisterEdit<TOstnv> edit(stops, what == 0 ? s : nullptr);
            if (what == 0 && s) {
                s->X += 1;
                s->Name = "Stop " + std::to_string(rng() % 1000);
            } else if (what == 1 || !s) {
                auto fresh = std::make_shared<TOstnv>();
                fresh->Name = "New " + index;
                stops.insert(stops.begin() + long(stops.empty() ? 0 : rng() % stops.size()), fresh);
            } else {
                stops.erase(std::find(stops.begin(), stops.end(), s));
            }
            edit.commit(history, &stops, QStringLiteral("Остановка"), nullptr);
        } else if (!names.empty()) {
            // A label moved (the labels have no undo: told as it is done).
            NameRef n = names[rng() % std::min<size_t>(names.size(), 10)];
            n->X1 += 1;
            n->X2 += 1;
            live->recordsChanged(&names, QStringLiteral("Перемещение названия"));
        }
    }
    note("done");
    // All operators done: the last steps sent, every step of the others in view.
    while (!fs::exists(work / "final")) {
        keepUp();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Every waiting step sent; then, once every operator's are, the others' in view.
    const auto until = Clock::now() + std::chrono::seconds(120);
    auto stuck = [&] {
        if (Clock::now() <= until) return false;
        note("stuck");
        return true;
    };
    while (!live->online() || live->waiting() > 0) {
        if (!live->online()) live->reconnect();
        else live->flushWaiting();
        if (stuck()) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    note("sent");
    while (!fs::exists(work / "all-sent")) {
        keepUp();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    while (!(live->online() && live->waiting() == 0 && live->caughtUp())) {
        if (!live->online()) live->reconnect();
        if (stuck()) return 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (const std::string bad = live->checkBookkeeping(); !bad.empty()) note("bookkeeping " + bad);
    note("view " + viewPrint(doc.ObjList, stops, names));
    if (std::getenv("DM_OPERATORS_DUMP")) {
        std::ofstream d(work / ("dump" + index));
        for (size_t k = 0; k < doc.ObjList.size(); ++k) {
            BinWriter w;
            EncodeObject(w, *doc.ObjList[k]);
            char pos[32];
            std::snprintf(pos, sizeof pos, "%.17g", live->objectPlace(doc.ObjList[k]));
            d << "o " << live->objectId(doc.ObjList[k]) << " " << pos << " " << fnv(1469598103934665603ull, w.data()) << "\n";
        }
        for (const StopRef& s : stops) d << "s " << s->Name << " " << s->X << "\n";
        for (const NameRef& s : names) {
            BinWriter w;
            EncodeName(w, *s);
            d << "n " << fnv(1469598103934665603ull, w.data()) << "\n";
        }
    }
    std::fclose(log);
    return 0;
}

int RunOperators(const std::string& self, const std::vector<std::string>& a) {
    // operators URL N STEPS [--map NAME] [--restart CMD] [--kill] [--pace MS]
    const std::string url = a[1];
    const int n = std::stoi(a[2]), steps = std::stoi(a[3]);
    std::string map = "Darvent", restart, pace = "0";
    bool kill = false;
    for (size_t k = 4; k < a.size(); ++k) {
        if (a[k] == "--map" && k + 1 < a.size()) map = a[++k];
        else if (a[k] == "--restart" && k + 1 < a.size()) restart = a[++k];
        else if (a[k] == "--kill") kill = true;
        else if (a[k] == "--pace" && k + 1 < a.size()) pace = a[++k];
    }
    const fs::path work = fs::temp_directory_path() / ("darvent-operators-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    std::unique_ptr<PgConnection> c = connectPatiently(url, 30);
    const Snapshot before = snapshot(*c, map, work / "before");
    const int cityId = int(c->exec("select id from maps where name = $1 and city_id is null", {map}).integer(0, 0));
    const int64_t logBefore = LastLogId(*c, cityId);
    c.reset();

    std::vector<pid_t> pids(static_cast<size_t>(n), pid_t(-1));
    auto start = [&](int i, int count, bool resume) {
        pids[size_t(i)] = spawn(self,
                                {"operator", url, map, std::to_string(i), std::to_string(count), std::to_string(1000 + i * 7919 + (resume ? 1 : 0)),
                                 work.string(), resume ? "1" : "0", pace},
                                work / ("op" + std::to_string(i) + ".out"));
    };
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) start(i, steps, false);
    bool restarted = restart.empty(), killed = !kill;
    std::set<int> finished;
    auto made = [&](int i) { return countPrefix(work / ("op" + std::to_string(i) + ".log"), "made "); };
    auto done = [&](int i) { return countPrefix(work / ("op" + std::to_string(i) + ".log"), "done"); };
    for (;;) {
        size_t all = 0, allDone = 0;
        for (int i = 0; i < n; ++i) {
            all += made(i);
            allDone += done(i) > 0;
        }
        if (!killed && made(0) >= size_t(steps) / 3) {
            // In the middle of its work (likely of a write): killed, then
            // started again on its journal for the steps it had left.
            ::kill(pids[0], SIGKILL);
            ::waitpid(pids[0], nullptr, 0);
            killed = true;
            const int left = std::max(1, steps - int(made(0)));
            std::fprintf(stderr, "operator 0 killed after %zu steps, started again on its journal\n", made(0));
            start(0, left, true);
        }
        if (!restarted && all >= size_t(n) * size_t(steps) / 2) {
            restarted = true;
            if (std::system(restart.c_str()) != 0) {
                std::fprintf(stderr, "the restart command failed: %s\n", restart.c_str());
                return 1;
            }
            std::fprintf(stderr, "the server restarted after %zu steps\n", all);
        }
        if (allDone == size_t(n) && killed && restarted) break;
        for (int i = 0; i < n; ++i) {
            int st = 0;
            if (pids[size_t(i)] > 0 && ::waitpid(pids[size_t(i)], &st, WNOHANG) == pids[size_t(i)]) {
                pids[size_t(i)] = -1;
                if (!done(i) || !WIFEXITED(st) || WEXITSTATUS(st) != 0) {
                    std::fprintf(stderr, "operator %d ended early (%s %d):\n", i, WIFSIGNALED(st) ? "signal" : "code",
                                 WIFSIGNALED(st) ? WTERMSIG(st) : WEXITSTATUS(st));
                    for (const std::string& l : lines(work / ("op" + std::to_string(i) + ".out")))
                        std::fprintf(stderr, "  %s\n", l.c_str());
                    return 1;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::ofstream(work / "final") << "go\n";
    for (bool all = false; !all;) {
        all = true;
        for (int i = 0; i < n; ++i) all = all && countPrefix(work / ("op" + std::to_string(i) + ".log"), "sent") > 0;
        for (int i = 0; i < n; ++i) {
            int st = 0;
            if (pids[size_t(i)] > 0 && ::waitpid(pids[size_t(i)], &st, WNOHANG) == pids[size_t(i)]) {
                pids[size_t(i)] = -1;
                std::fprintf(stderr, "operator %d ended before sending its steps\n", i);
                return 1;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ofstream(work / "all-sent") << "go\n";
    for (int i = 0; i < n; ++i) {
        int st = 0;
        if (pids[size_t(i)] > 0 && ::waitpid(pids[size_t(i)], &st, 0) > 0 && !(WIFEXITED(st) && WEXITSTATUS(st) == 0)) {
            std::fprintf(stderr, "operator %d ended with %s %d:\n", i, WIFSIGNALED(st) ? "signal" : "code",
                         WIFSIGNALED(st) ? WTERMSIG(st) : WEXITSTATUS(st));
            for (const std::string& l : lines(work / ("op" + std::to_string(i) + ".out")))
                std::fprintf(stderr, "  %s\n", l.c_str());
        }
    }

    // The database, the log and each operator's account.
    c = connectPatiently(url, 60);
    const Snapshot after = snapshot(*c, map, work / "after");
    std::set<std::string> inLog;
    size_t twice = 0;
    {
        const PgResult r = c->exec("select step_id, count(*) from change_log where map_id = $1 and id > $2 and step = 'edit' "
                                   "group by step_id",
                                   {std::to_string(cityId), std::to_string(logBefore)});
        for (int k = 0; k < r.rows(); ++k) {
            inLog.insert(r.text(k, 0));
            twice += size_t(r.integer(k, 1) - 1);
        }
    }
    std::set<std::string> madeIds, dropped;
    size_t conflicts = 0, views = 0;
    // From a step's commit (as its operator heard of it) to its arrival in each other view.
    std::map<std::string, int64_t> committed;
    std::vector<std::pair<std::string, int64_t>> got;
    for (int i = 0; i < n; ++i) {
        std::string view;
        bool sound = true;
        for (const std::string& l : lines(work / ("op" + std::to_string(i) + ".log"))) {
            const size_t sp = l.rfind(' ');
            if (l.rfind("ok ", 0) == 0 && sp > 3) committed[l.substr(3, sp - 3)] = std::stoll(l.substr(sp + 1));
            else if (l.rfind("got ", 0) == 0 && sp > 4) got.push_back({l.substr(4, sp - 4), std::stoll(l.substr(sp + 1))});
            if (l.rfind("made ", 0) == 0) madeIds.insert(l.substr(5));
            else if (l.rfind("drop ", 0) == 0) dropped.insert(l.substr(5));
            else if (l == "conflict") ++conflicts;
            else if (l.rfind("view ", 0) == 0) view = l.substr(5);
            else if (l.rfind("bookkeeping ", 0) == 0) sound = false;
        }
        views += sound && view == after.view;
    }
    size_t lost = 0, toldDropped = 0;
    for (const std::string& id : madeIds) lost += !inLog.count(id) && !dropped.count(id);
    // A step its operator was told had gone must not be in the log.
    for (const std::string& id : dropped) toldDropped += inLog.count(id);
    // The log replayed over the map as it was gives the map as it is.
    Snapshot replay = before;
    const PgResult rows = c->exec(
        "select r.tab, r.row_id, r.erase, r.pos, r.file, r.content from change_rows r join change_log l on l.id = r.log_id "
        "where l.map_id = $1 and l.id > $2 and r.map_id = $3 order by l.id, r.n",
        {std::to_string(cityId), std::to_string(logBefore),
         c->exec("select id from maps where name = $1", {map}).text(0, 0)});
    for (int k = 0; k < rows.rows(); ++k) {
        const char tab = rows.text(k, 0)[0];
        const int64_t id = rows.integer(k, 1);
        const bool erase = rows.text(k, 2) == "t";
        const double pos = std::stod(rows.text(k, 3));
        if (tab == 'o') {
            if (erase) replay.objects.erase(id);
            else replay.objects[id] = {pos, rows.bytes(k, 5)};
        } else if (tab == 'r') {
            const auto key = std::make_pair(rows.text(k, 4), id);
            if (erase) replay.records.erase(key);
            else replay.records[key] = {pos, rows.bytes(k, 5)};
        }
    }
    const bool replayEqual = replay.objects == after.objects && replay.records == after.records;
    std::vector<double> delays;
    for (const auto& [id, at] : got)
        if (const auto c = committed.find(id); c != committed.end()) delays.push_back(double(at - c->second) / 1000.0);
    std::sort(delays.begin(), delays.end());
    auto quantile = [&](double q) { return delays.empty() ? 0.0 : delays[std::min(delays.size() - 1, size_t(q * double(delays.size())))]; };
    std::printf("seconds %.1f, steps per second %.0f, accepted per second %.0f; from a commit to another view: median "
                "%.1f ms, 99th percentile %.1f ms (%zu arrivals)\n",
                seconds, double(madeIds.size()) / seconds, double(inLog.size()) / seconds, quantile(0.5), quantile(0.99),
                delays.size());
    std::printf("the log replayed equals the database: %s\n", replayEqual ? "yes" : "no");
    if (toldDropped) std::printf("steps told as dropped that are in the log: %zu\n", toldDropped);
    std::printf("operators %d, steps %zu, accepted %zu, conflicts %zu, lost %zu, applied twice %zu, views equal to the "
                "database %zu of %d\n",
                n, madeIds.size(), inLog.size(), conflicts, lost, twice, views, n);
    const bool ok = lost == 0 && twice == 0 && toldDropped == 0 && views == size_t(n) && replayEqual;
    if (ok) fs::remove_all(work);
    else std::fprintf(stderr, "the operators' files are kept in %s\n", work.c_str());
    return ok ? 0 : 1;
}

int RunLiveWrite(const std::vector<std::string>& a) {
    // livewrite URL MAP RUNS WRITES
    const std::string url = a[1], map = a[2];
    const int runs = std::max(1, std::stoi(a[3])), writes = std::max(2, std::stoi(a[4]));
    const fs::path work = fs::temp_directory_path() / ("darvent-livewrite-" + std::to_string(::getpid()));
    fs::remove_all(work);
    PgConnection c(url);
    PulledRows rows;
    auto t = Clock::now();
    PullCity(c, map, work, &rows);
    // The pulled folder is named after the map's city folder, whatever it is.
    fs::path folder;
    for (const auto& e : fs::directory_iterator(work))
        if (e.is_directory()) folder = e.path();
    const std::string stem = c.exec("select stem from maps where name = $1", {map}).text(0, 0);
    MapDoc doc;
    doc.Orientation = ReadOrientation(folder / (stem + ".or"));
    LoadObjects(folder / (stem + ".bin"), doc.ObjList);
    UndoHistory history(doc);
    LiveMap live({url, stem, folder, work / "journal"}, rows, doc, history);
    std::fprintf(stderr, "%zu objects pulled and opened in %.1f s\n", doc.ObjList.size(),
                 std::chrono::duration<double>(Clock::now() - t).count());
    // The plain update moves other objects than the program's (odd places, the program's even).
    const std::vector<PulledRows::Row>& keys = rows.objects.at(rows.mapIds.at(stem));
    std::map<int64_t, int64_t> versions;
    const std::string mapId = std::to_string(rows.mapIds.at(stem));  // (the table's key is the map and the id)
    for (const auto& k : keys) versions[k.id] = k.version;
    std::mt19937 rng(7);
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> ours, plain, ratios;
    for (int r = 0; r < runs; ++r) {
        std::vector<double> o, p;
        for (int w = 0; w < writes; ++w) {
            const size_t k = 2 * (rng() % (doc.ObjList.size() / 2));
            if (w % 2 == 0) {
                TObj* obj = doc.ObjList[k];
                const auto t0 = Clock::now();
                history.begin(QStringLiteral("Перемещение объекта"));
                history.willChange(obj);
                for (TXY& q : obj->Points) q.X += 1;
                history.commit();
                o.push_back(ms(Clock::now() - t0));
                if (live.waiting() || live.counts().conflicts) throw StoreError("the step was not written");
            } else {
                const int64_t id = keys[k + 1].id;
                std::string xy = "{";
                for (const TXY& q : doc.ObjList[k + 1]->Points)
                    xy += (xy.size() > 1 ? "," : "") + std::to_string(q.X + 1) + "," + std::to_string(q.Y);
                xy += "}";
                const auto t0 = Clock::now();
                const PgResult u = c.exec("update objects set xy = $1, geom = st_translate(geom, 0, 1), version = version + 1, "
                                          "changed_by = current_user, changed_at = now() where map_id = $4 and id = $2 and version = $3 "
                                          "returning version",
                                          {xy, std::to_string(id), std::to_string(versions[id]), mapId});
                p.push_back(ms(Clock::now() - t0));
                if (u.rows() != 1) throw StoreError("the plain update found no row");
                versions[id] = u.integer(0, 0);
            }
        }
        ours.push_back(median(o));
        plain.push_back(median(p));
        ratios.push_back(ours.back() / plain.back());
        std::printf("run %d: a one-object move %.2f ms, the plain update %.2f ms, ratio %.2f (medians of %zu each)\n", r + 1,
                    ours.back(), plain.back(), ratios.back(), o.size());
    }
    auto range = [](const std::vector<double>& v) {
        return std::make_pair(*std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    };
    std::printf("%zu objects: a one-object move written live %.2f ms (%.2f-%.2f), a plain UPDATE %.2f ms (%.2f-%.2f), "
                "ratio %.2f (%.2f-%.2f), medians of %d runs\n",
                doc.ObjList.size(), median(ours), range(ours).first, range(ours).second, median(plain), range(plain).first,
                range(plain).second, median(ratios), range(ratios).first, range(ratios).second, runs);
    fs::remove_all(work);
    return 0;
}

}  // namespace dm
