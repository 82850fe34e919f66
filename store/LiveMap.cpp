#include "LiveMap.h"

#include "mapdata/MapFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <unordered_set>

namespace fs = std::filesystem;

namespace dm {

// ---- the journal --------------------------------------------------------------------------

namespace {

constexpr uint8_t kStepEntry = 1, kSentEntry = 2;

void putString(BinWriter& w, const std::string& s) {
    w.u32(uint32_t(s.size()));
    w.bytes(s.data(), s.size());
}
std::string getString(BinReader& in) {
    const uint32_t n = in.u32();
    in.require(n, "строка журнала");
    const uint8_t* p = in.take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

StepJournal::StepJournal(fs::path file) : file_(std::move(file)) {
    std::error_code ec;
    if (!fs::exists(file_, ec)) return;
    const std::vector<uint8_t> bytes = readWholeFile(file_);
    BinReader in(bytes.data(), bytes.size(), file_.string());
    // An entry cut short by a crash while it was written is not a step.
    try {
        while (!in.atEnd()) {
            const uint8_t kind = in.u8();
            if (kind == kSentEntry) {
                const std::string id = getString(in);
                for (uint32_t n = in.u32(); n > 0; --n) {
                    const int64_t key = in.i64();
                    realIds_[key] = in.i64();
                }
                std::erase_if(pending_, [&](const Entry& e) { return e.step.id == id; });
                continue;
            }
            if (kind != kStepEntry) break;
            Entry e;
            e.time = in.i64();
            e.step.id = getString(in);
            e.step.what = getString(in);
            const uint32_t n = in.u32();
            for (uint32_t k = 0; k < n; ++k) {
                RowImage r;
                r.table = RowImage::Table(in.u8());
                r.id = in.i64();
                r.version = in.i64();
                r.erase = in.u8() != 0;
                r.pos = in.f64();
                r.mapId = in.i32();
                r.file = getString(in);
                r.kind = getString(in);
                r.content = getString(in);
                e.step.rows.push_back(std::move(r));
            }
            pending_.push_back(std::move(e));
        }
    } catch (const FileError&) {
    }
}

void StepJournal::write(const BinWriter& w, bool durable) {
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) throw FileError("Журнал изменений " + file_.string() + " не открыт: " + ReasonText(std::error_code(errno, std::generic_category())));
    const uint8_t* p = w.data().data();
    size_t left = w.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = errno;
            ::close(fd);
            throw FileError("Журнал изменений " + file_.string() + " не записан: " + ReasonText(std::error_code(err, std::generic_category())));
        }
        p += n;
        left -= size_t(n);
    }
    if (durable && ::fdatasync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        throw FileError("Журнал изменений " + file_.string() + " не записан на диск: " + ReasonText(std::error_code(err, std::generic_category())));
    }
    ::close(fd);
}

void StepJournal::append(const LiveStep& s) {
    Entry e{s, int64_t(std::time(nullptr))};
    BinWriter w;
    w.u8(kStepEntry);
    w.i64(e.time);
    putString(w, s.id);
    putString(w, s.what);
    w.u32(uint32_t(s.rows.size()));
    for (const RowImage& r : s.rows) {
        w.u8(uint8_t(r.table));
        w.i64(r.id);
        w.i64(r.version);
        w.u8(r.erase);
        w.f64(r.pos);
        w.i32(r.mapId);
        putString(w, r.file);
        putString(w, r.kind);
        putString(w, r.content);
    }
    write(w, true);
    pending_.push_back(std::move(e));
}

void StepJournal::sent(const std::string& stepId, const std::map<int64_t, int64_t>& newIds) {
    for (const auto& [key, id] : newIds) realIds_[key] = id;
    std::erase_if(pending_, [&](const Entry& e) { return e.step.id == stepId; });
    if (pending_.empty()) {
        // Nothing waits: the file starts again empty.
        std::error_code ec;
        fs::remove(file_, ec);
        return;
    }
    // A mark lost in a crash only sends the step again, which the server
    // takes once: no need to wait for the disk.
    BinWriter w;
    w.u8(kSentEntry);
    putString(w, stepId);
    w.u32(uint32_t(newIds.size()));
    for (const auto& [key, id] : newIds) {
        w.i64(key);
        w.i64(id);
    }
    write(w, false);
}

fs::path StepJournal::keepAside() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    fs::path aside = file_;
    aside.replace_extension(std::string(".") + stamp + ".kept");
    std::error_code ec;
    fs::rename(file_, aside, ec);
    if (ec) throw FileError("Журнал изменений " + file_.string() + " не переименован: " + ReasonText(ec));
    pending_.clear();
    return aside;
}

// ---- the map ------------------------------------------------------------------------------

namespace {

std::string bytesOf(const BinWriter& w) { return std::string(reinterpret_cast<const char*>(w.data().data()), w.size()); }

std::string objectBytes(const TObj& o) {
    BinWriter w;
    EncodeObject(w, o);
    return bytesOf(w);
}

std::unique_ptr<TObj> objectOf(const std::string& bytes) {
    TObjList one;
    BinReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "объект");
    LoadObjects(in, one);
    if (one.empty()) return std::make_unique<TObj>();
    return one.take(one[0]);
}

void addBox(TouchedAreas& t, const TObj& o) {
    if (ObjectIndex::farReaching(o)) t.everything = true;
    const ObjectIndex::Box b = ObjectIndex::extentOf(o);
    if (b.valid()) t.boxes.push_back(b);
}

// What a row is, for the questions: the noun, and the endings of
// "изменён"/"удалён" that go with it.
struct Noun {
    const char* word;
    const char* ending;  // of "изменён", "удалён": "ён", "ена", "ено"
    const char* it;      // "его", "её"
};
Noun nounOf(const RowImage& r) {
    if (r.table == RowImage::Object) return {"Объект", "ён", "его"};
    if (r.kind == "label") return {"Название", "ено", "его"};
    if (r.kind == "street") return {"Улица", "ена", "её"};
    if (r.kind == "stop") return {"Остановка", "ена", "её"};
    if (r.kind == "metro") return {"Станция метро", "ена", "её"};
    if (r.kind == "area") return {"Область", "ена", "её"};
    if (r.kind == "boundary") return {"Граница", "ена", "её"};
    return {"Запись", "ена", "её"};
}


}  // namespace

LiveMap::LiveMap(const Target& t, PulledRows rows, MapDoc& doc, UndoHistory& history)
    : target_(t), doc_(doc), history_(history), journal_(t.journal) {
    cityId_ = rows.cityId;
    const auto m = rows.mapIds.find(t.stem);
    if (m == rows.mapIds.end()) throw StoreError("Карты «" + t.stem + "» нет в этом городе базы");
    mapId_ = m->second;
    contiguous_ = rows.lastLogId;
    // Keys of new rows in steps of an earlier run stay theirs.
    realIds_ = journal_.realIds();
    for (const auto& [key, id] : realIds_) nextKey_ = std::min(nextKey_, key - 1);
    for (const auto& e : journal_.pending())
        for (const RowImage& r : e.step.rows) nextKey_ = std::min(nextKey_, r.id - 1);
    // The open map's objects are the pulled ones, in the same order.
    const std::vector<PulledRows::Row>& keys = rows.objects[mapId_];
    if (keys.size() != doc_.ObjList.size())
        throw StoreError("Объекты карты не совпадают с базой (" + std::to_string(doc_.ObjList.size()) + " и " +
                         std::to_string(keys.size()) + "): откройте карту снова");
    rows_.reserve(keys.size());
    byId_.reserve(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        TObj* o = doc_.ObjList[k];
        rows_[o] = {keys[k].id, keys[k].version, keys[k].pos, 0};
        byId_[keys[k].id] = o;
    }
    for (auto& [key, recs] : rows.records) {
        Shadow& s = shadows_[key];
        s.mapId = key.first;
        s.file = key.second;
        s.kind = rows.recordKinds[key];
        for (auto& r : recs) s.recs.push_back({r.id, r.version, r.pos, std::move(r.content), nullptr, 0});
    }
    connect();
    history_.applied = [this](const UndoHistory::StepEffect& e) { onApplied(e); };
}

LiveMap::~LiveMap() { history_.applied = nullptr; }

void LiveMap::connect() {
    auto c = std::make_unique<PgConnection>(target_.url);
    NameConnection(*c, cityId_);
    Listen(*c, cityId_);
    user_ = c->user();
    c_ = std::move(c);
}

void LiveMap::goOffline() {
    c_.reset();
    if (statusChanged) statusChanged();
}

int LiveMap::socket() const { return c_ ? c_->socket() : -1; }

int LiveMap::operators() {
    if (!c_) return 0;
    try {
        return OperatorCount(*c_, cityId_);
    } catch (const StoreError&) {
        goOffline();
        return 0;
    }
}

int64_t LiveMap::objectId(const TObj* o) const {
    const auto r = rows_.find(o);
    return r == rows_.end() ? 0 : r->second.id;
}

double LiveMap::objectPlace(const TObj* o) const {
    const auto r = rows_.find(o);
    return r == rows_.end() ? 0 : r->second.pos;
}

LiveMap::Shadow* LiveMap::shadowOf(int mapId, const std::string& file) {
    const auto s = shadows_.find({mapId, file});
    return s == shadows_.end() ? nullptr : &s->second;
}

LiveMap::Shadow* LiveMap::shadowOf(const void* tag) {
    for (auto& [key, s] : shadows_)
        if (s.tag == tag) return &s;
    return nullptr;
}

void LiveMap::bindRecords(const std::string& file, int mapId, const void* tag, LiveRecords* records) {
    Shadow& s = shadows_[{mapId, file}];
    if (s.file.empty()) {
        // A register the database does not have yet.
        s.mapId = mapId;
        s.file = file;
    }
    s.tag = tag;
    s.bound = records;
    // The records in memory are those of the file, in its order.
    const std::vector<LiveRecords::Record> now = records->records();
    for (size_t k = 0; k < s.recs.size() && k < now.size(); ++k) s.recs[k].identity = now[k].first;
}

void LiveMap::unbindRecords(const void* tag) {
    for (auto& [key, s] : shadows_)
        if (s.tag == tag) {
            s.tag = nullptr;
            s.bound = nullptr;
            for (auto& r : s.recs) r.identity = nullptr;
        }
}

void LiveMap::recordsChanged(const void* tag, const QString& what) {
    Shadow* s = shadowOf(tag);
    if (!s || !s->bound) return;
    LiveStep step;
    step.id = NewStepId();
    step.what = what.toStdString();
    before_.clear();
    before_[s] = s->recs;
    recordRows(*s, step);
    if (step.rows.empty()) return;
    journal_.append(step);
    pend(step);
    mine_.insert(step.id);
    if (journaled) journaled(step);
    flush(nullptr);
}

// ---- this operator's steps ----------------------------------------------------------------

RowImage LiveMap::objectRow(const TObj* o) const {
    const ObjRow& r = rows_.at(o);
    RowImage i;
    i.table = RowImage::Object;
    i.id = r.id;
    i.version = r.version;
    i.pos = r.pos;
    i.mapId = mapId_;
    i.content = objectBytes(*o);
    return i;
}

void LiveMap::placeObjects(const std::vector<TObj*>& fresh, bool wholeList, std::vector<TObj*>& placed) {
    const TObjList& list = doc_.ObjList;
    std::unordered_set<const TObj*> isFresh(fresh.begin(), fresh.end());
    // Runs of objects without a place (or out of order) between two kept
    // ones take places evenly between theirs.
    auto placeRun = [&](size_t from, size_t to) {  // [from, to) need places
        const double lo = from > 0 ? rows_[list[from - 1]].pos : (to < list.size() ? rows_[list[to]].pos - double(to - from) - 1 : 0);
        const double hi = to < list.size() ? rows_[list[to]].pos : lo + double(to - from) + 1;
        const double stepBy = (hi - lo) / double(to - from + 1);
        for (size_t i = from; i < to; ++i) {
            rows_[list[i]].pos = lo + stepBy * double(i - from + 1);
            placed.push_back(list[i]);
        }
        return stepBy > std::abs(hi) * 1e-12;
    };
    auto respaceAll = [&] {
        placed.clear();
        for (size_t i = 0; i < list.size(); ++i) {
            rows_[list[i]].pos = double(i);
            placed.push_back(list[i]);
        }
    };
    if (!wholeList) {
        for (TObj* o : fresh) {
            const long at = list.indexOf(o);
            if (at < 0) continue;
            size_t from = size_t(at), to = size_t(at) + 1;
            while (from > 0 && isFresh.count(list[from - 1])) --from;
            while (to < list.size() && isFresh.count(list[to])) ++to;
            if (std::find(placed.begin(), placed.end(), list[from]) != placed.end()) continue;
            if (!placeRun(from, to)) return respaceAll();
        }
        return;
    }
    // Keep the most objects whose places rise along the list (so that an
    // object moved to either end is the only one placed anew); place the
    // others.
    std::vector<char> kept(list.size(), 0);
    {
        std::vector<size_t> tails;                       // the last object of the best rise of each length
        std::vector<size_t> before(list.size(), SIZE_MAX);  // the object before it in its rise
        for (size_t i = 0; i < list.size(); ++i) {
            if (isFresh.count(list[i])) continue;
            const double p = rows_[list[i]].pos;
            const auto at = std::lower_bound(tails.begin(), tails.end(), p,
                                             [&](size_t t, double v) { return rows_[list[t]].pos < v; });
            if (at != tails.begin()) before[i] = *(at - 1);
            if (at == tails.end()) tails.push_back(i);
            else *at = i;
        }
        for (size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = before[i]) kept[i] = 1;
    }
    size_t runStart = SIZE_MAX;
    for (size_t i = 0; i <= list.size(); ++i) {
        const bool keep = i < list.size() && kept[i];
        if (i < list.size() && !keep) {
            if (runStart == SIZE_MAX) runStart = i;
            continue;
        }
        if (runStart != SIZE_MAX) {
            // The run ends before a kept object whose place is above the last kept one.
            if (!placeRun(runStart, i)) return respaceAll();
            runStart = SIZE_MAX;
        }
    }
}

void LiveMap::objectRows(const UndoHistory::StepEffect& e, LiveStep& step, std::vector<const TObj*>& objects) {
    std::vector<TObj*> fresh;
    for (TObj* o : e.added) {
        auto r = rows_.find(o);
        if (e.kind == UndoHistory::StepEffect::Done || r == rows_.end()) {
            // A new object (an address the history freed may come back for a new one).
            if (r != rows_.end())
                if (const auto b = byId_.find(r->second.id); b != byId_.end() && b->second == o) byId_.erase(b);
            std::erase_if(outOfList_, [o](const auto& g) { return g.second == o; });
            rows_[o] = {nextKey_, 0, 0, 0};
            byId_[nextKey_--] = o;
        } else {
            // Back in the list (an undone deletion): known by its id again.
            byId_[r->second.id] = o;
            outOfList_.erase(r->second.id);
        }
        fresh.push_back(o);
    }
    std::vector<TObj*> placed;
    if (!fresh.empty() || e.moved) placeObjects(fresh, e.moved, placed);
    std::unordered_set<const TObj*> inStep;
    auto add = [&](const TObj* o) {
        if (!inStep.insert(o).second) return;
        step.rows.push_back(objectRow(o));
        objects.push_back(o);
    };
    for (TObj* o : e.changed)
        if (doc_.ObjList.indexOf(o) >= 0) add(o);
    for (TObj* o : fresh) add(o);
    for (TObj* o : placed) add(o);
    for (const TObj* o : e.removed) {
        const auto r = rows_.find(o);
        if (r == rows_.end() || !inStep.insert(o).second) continue;
        RowImage i = objectRow(o);
        i.erase = true;
        step.rows.push_back(std::move(i));
        objects.push_back(o);
        // Out of the list, perhaps freed with the history's steps: no longer
        // found by its id (but known by the row's key until the step is written).
        if (const auto b = byId_.find(r->second.id); b != byId_.end() && b->second == o) byId_.erase(b);
        outOfList_[r->second.id] = o;
    }
}

void LiveMap::recordRows(Shadow& s, LiveStep& step) {
    const std::vector<LiveRecords::Record> now = s.bound->records();
    std::unordered_map<const void*, size_t> known;
    for (size_t k = 0; k < s.recs.size(); ++k)
        if (s.recs[k].identity) known[s.recs[k].identity] = k;
    std::vector<Shadow::Rec> next;
    std::vector<bool> changed;
    for (const auto& [identity, bytes] : now) {
        const auto k = known.find(identity);
        if (k != known.end()) {
            next.push_back(s.recs[k->second]);
            changed.push_back(next.back().bytes != bytes);
            next.back().bytes = bytes;
            known.erase(k);
        } else {
            next.push_back({nextKey_--, 0, NAN, bytes, identity, 0});
            changed.push_back(true);
        }
    }
    // Places: keep those that still rise, place the others between them.
    double last = -INFINITY;
    for (size_t i = 0; i < next.size();) {
        if (!std::isnan(next[i].pos) && next[i].pos > last) {
            last = next[i++].pos;
            continue;
        }
        size_t j = i;
        while (j < next.size() && !(!std::isnan(next[j].pos) && next[j].pos > last)) ++j;
        const double lo = std::isinf(last) ? (j < next.size() ? next[j].pos - double(j - i) - 1 : 0) : last;
        const double hi = j < next.size() ? next[j].pos : lo + double(j - i) + 1;
        for (size_t k = i; k < j; ++k) {
            const double p = lo + (hi - lo) * double(k - i + 1) / double(j - i + 1);
            if (p != next[k].pos) changed[k] = true;
            next[k].pos = p;
        }
        last = next[j - 1].pos;
        i = j;
    }
    auto row = [&](const Shadow::Rec& r, bool erase) {
        RowImage i;
        i.table = RowImage::Record;
        i.id = r.id;
        i.version = r.version;
        i.erase = erase;
        i.pos = r.pos;
        i.mapId = s.mapId;
        i.file = s.file;
        i.kind = s.kind;
        i.content = r.bytes;
        return i;
    };
    for (size_t k = 0; k < next.size(); ++k)
        if (changed[k]) step.rows.push_back(row(next[k], false));
    for (const auto& [identity, k] : known) {
        step.rows.push_back(row(s.recs[k], true));
        erasedIdentity_[s.recs[k].id] = identity;
    }
    s.recs = std::move(next);
}

void LiveMap::onApplied(const UndoHistory::StepEffect& e) {
    if (quiet_) return;
    LiveStep step;
    step.id = NewStepId();
    step.what = (e.kind == UndoHistory::StepEffect::Undone   ? QStringLiteral("Отмена: ")
                 : e.kind == UndoHistory::StepEffect::Redone ? QStringLiteral("Повтор: ")
                                                             : QString())
                    .toStdString() +
                e.what.toStdString();
    std::vector<const TObj*> objects;
    objectRows(e, step, objects);
    if (e.orientation) {
        RowImage o;
        o.table = RowImage::Orientation;
        o.mapId = mapId_;
        BinWriter w;
        EncodeOrientation(w, doc_.Orientation);
        o.content = bytesOf(w);
        step.rows.push_back(std::move(o));
    }
    before_.clear();
    for (const void* tag : e.registers)
        if (Shadow* s = shadowOf(tag); s && s->bound) {
            before_[s] = s->recs;
            recordRows(*s, step);
        }
    if (step.rows.empty()) return;
    if (RowConflict k; e.kind != UndoHistory::StepEffect::Done && changedSince(e, step, k)) {
        ++counts_.conflicts;
        ConflictQuestion q;
        q.text = question(k, step);
        if (const auto o = byId_.find(step.rows[k.index].id); o != byId_.end()) q.objects.push_back(o->second);
        if (!askOverwrite || !askOverwrite(q)) {
            ++counts_.dropped;
            takeBack(step, &e);
            return;
        }
        ++counts_.overwritten;
    }
    journal_.append(step);
    pend(step);
    mine_.insert(step.id);
    if (journaled) journaled(step);
    flush(&e);
}

bool LiveMap::changedSince(const UndoHistory::StepEffect& e, const LiveStep& step, RowConflict& k) const {
    const auto written = stepLog_.find(e.serial);
    if (written == stepLog_.end()) return false;
    for (size_t i = 0; i < step.rows.size(); ++i) {
        const RowImage& r = step.rows[i];
        int64_t log = 0;
        if (r.table == RowImage::Object) {
            if (const auto o = byId_.find(r.id); o != byId_.end()) log = rows_.at(o->second).remoteLog;
        } else if (r.table == RowImage::Record) {
            if (const auto s = shadows_.find({r.mapId, r.file}); s != shadows_.end())
                for (const auto& rec : s->second.recs)
                    if (rec.id == r.id) log = rec.remoteLog;
        }
        if (log > written->second) {
            k.index = i;
            k.deleted = false;
            if (const auto a = arrivals_.find(log); a != arrivals_.end()) {
                k.by = a->second.first;
                k.at = a->second.second;
            }
            return true;
        }
    }
    return false;
}

void LiveMap::substituteVersions(LiveStep& step) const {
    for (RowImage& r : step.rows)
        for (auto k = renamed_.find({char(r.table), r.id, r.version}); k != renamed_.end();
             k = renamed_.find({char(r.table), r.id, r.version}))
            r.version = k->second;
}

std::pair<char, int64_t> LiveMap::pendKey(const RowImage& r) const {
    if (r.id < 0)
        if (const auto k = realIds_.find(r.id); k != realIds_.end()) return {char(r.table), k->second};
    return {char(r.table), r.id};
}

void LiveMap::pend(const LiveStep& step) {
    for (const RowImage& r : step.rows) {
        if (r.table == RowImage::Orientation) continue;
        ++pending_[pendKey(r)];
        // The versions the step will leave, for the steps after it.
        const int64_t next = r.version + 1;
        if (r.table == RowImage::Object) {
            const TObj* o = nullptr;
            if (const auto b = byId_.find(r.id); b != byId_.end()) o = b->second;
            else if (const auto g = outOfList_.find(r.id); g != outOfList_.end()) o = g->second;
            if (o) rows_[o].version = next;
        } else if (Shadow* s = shadowOf(r.mapId, r.file)) {
            for (auto& rec : s->recs)
                if (rec.id == r.id) rec.version = next;
        }
    }
}

void LiveMap::unpend(const LiveStep& step) {
    for (const RowImage& r : step.rows) {
        const auto k = pending_.find(pendKey(r));
        if (k != pending_.end() && --k->second <= 0) pending_.erase(k);
    }
}

void LiveMap::substituteIds(LiveStep& step) const {
    for (RowImage& r : step.rows)
        if (r.id < 0)
            if (const auto k = realIds_.find(r.id); k != realIds_.end()) r.id = k->second;
}

void LiveMap::flush(const UndoHistory::StepEffect* local) {
    while (!journal_.pending().empty()) {
        if (!c_) {
            if (statusChanged) statusChanged();
            return;
        }
        LiveStep step = journal_.pending().front().step;
        const bool last = journal_.pending().size() == 1;
        std::map<int64_t, int64_t> newIds;
        if (writeOne(step, last ? local : nullptr, newIds) == Outcome::Offline) return;
        journal_.sent(step.id, newIds);
    }
    if (statusChanged) statusChanged();
}

QString LiveMap::question(const RowConflict& k, const LiveStep& step) const {
    const Noun n = nounOf(step.rows[k.index]);
    const QString who = QString::fromStdString(k.by.empty() ? std::string("?") : k.by);
    const QString at = QString::fromStdString(k.at.empty() ? std::string("?") : k.at);
    if (k.deleted)
        return QStringLiteral("%1 удал%2 оператором %3 в %4. Восстановить %5 с вашим изменением?")
            .arg(QString::fromUtf8(n.word), QString::fromUtf8(n.ending), who, at, QString::fromUtf8(n.it));
    return QStringLiteral("%1 измен%2 оператором %3 в %4. Записать ваше изменение поверх?")
        .arg(QString::fromUtf8(n.word), QString::fromUtf8(n.ending), who, at);
}

LiveMap::Outcome LiveMap::writeOne(LiveStep& step, const UndoHistory::StepEffect* local,
                                   std::map<int64_t, int64_t>& newIds) {
    LiveStep original = step;
    substituteIds(step);
    // A new row taken away again before it was ever written (the step that
    // made it was dropped): nothing of it to write.
    LiveStep unwritten;
    for (size_t k = step.rows.size(); k-- > 0;)
        if (step.rows[k].id <= 0 && step.rows[k].erase && step.rows[k].table != RowImage::Orientation) {
            unwritten.rows.push_back(original.rows[k]);
            step.rows.erase(step.rows.begin() + long(k));
            original.rows.erase(original.rows.begin() + long(k));
        }
    unpend(unwritten);
    substituteVersions(step);
    // Undoing or doing again a step over rows that others changed since it
    // was written: asked first, as any conflict.
    for (;;) {
        StepResult r;
        try {
            r = WriteStep(*c_, cityId_, step);
        } catch (const StoreError&) {
            goOffline();
            return Outcome::Offline;
        }
        if (r.status == StepResult::Applied || r.status == StepResult::AlreadyApplied) {
            tookStep(original, step, r);
            for (size_t k = 0; k < original.rows.size() && k < r.rows.size(); ++k)
                if (original.rows[k].id < 0) newIds[original.rows[k].id] = r.rows[k].id;
            if (local) stepLog_[local->serial] = r.logId;
            if (settled) settled(step.id, true);
            return Outcome::Written;
        }
        if (r.status == StepResult::Refused) {
            ++counts_.refused;
            unpend(original);
            takeBack(step, local);
            if (settled) settled(step.id, false);
            if (refused) refused(QString::fromStdString(r.message));
            return Outcome::Dropped;
        }
        ++counts_.conflicts;
        // One question for the step: its first conflicting row names who and when.
        const RowConflict& first = r.conflicts.front();
        ConflictQuestion q;
        q.text = question(first, step);
        q.deleted = first.deleted;
        for (const RowConflict& k : r.conflicts) {
            const RowImage& mine = step.rows[k.index];
            if (mine.table == RowImage::Object)
                if (const auto o = byId_.find(mine.id); o != byId_.end()) q.objects.push_back(o->second);
        }
        const bool over = askOverwrite && askOverwrite(q);
        if (!over) {
            ++counts_.dropped;
            unpend(original);
            takeBack(step, local);
            if (settled) settled(step.id, false);
            return Outcome::Dropped;
        }
        ++counts_.overwritten;
        // Over the versions as they are now (asked again if they change once more).
        for (const RowConflict& k : r.conflicts) step.rows[k.index].version = k.theirs.version;
        // A row both deleted there and deleted here needs no writing.
        std::vector<RowImage> keep;
        for (size_t i = 0; i < step.rows.size(); ++i) {
            bool bothGone = false;
            for (const RowConflict& k : r.conflicts)
                if (k.index == i && k.deleted && step.rows[i].erase) bothGone = true;
            if (!bothGone) keep.push_back(step.rows[i]);
        }
        step.rows = std::move(keep);
        if (step.rows.empty()) {
            unpend(original);
            if (settled) settled(step.id, false);  // nothing left to write
            return Outcome::Written;
        }
    }
}

void LiveMap::tookStep(const LiveStep& original, const LiveStep& step, const StepResult& r) {
    ++counts_.accepted;
    accepted_.insert(step.id);
    seen(r.logId);
    unpend(original);
    for (size_t k = 0; k < r.rows.size() && k < step.rows.size(); ++k) {
        const RowImage& sent = step.rows[k];
        const RowImage& got = r.rows[k];
        if (sent.id < 0) {
            realIds_[sent.id] = got.id;
            // Later waiting steps name the new row by its key: counted under its id.
            if (const auto p = pending_.find({char(got.table), sent.id}); p != pending_.end()) {
                pending_[{char(got.table), got.id}] += p->second;
                pending_.erase(p);
            }
        }
        // The version this program expected the step to leave, if another
        // was written (over the others' version): later steps follow it.
        const int64_t predicted = original.rows[k].version + 1;
        if (got.version != predicted && got.table != RowImage::Orientation)
            renamed_[{char(got.table), got.id, predicted}] = got.version;
        if (got.table == RowImage::Object) {
            // The object of the row: known by its key (new) or its id.
            // (an object out of the list is only a key here: it may be freed)
            const TObj* o = nullptr;
            if (const auto b = byId_.find(sent.id); b != byId_.end()) o = b->second;
            else if (const auto g = outOfList_.find(sent.id); g != outOfList_.end()) o = g->second;
            if (!o) continue;
            const bool inList = byId_.count(sent.id) > 0;
            ObjRow& row = rows_[o];
            if (sent.id < 0) {
                byId_.erase(sent.id);
                outOfList_.erase(sent.id);
            }
            row.id = got.id;
            if (row.version == predicted) row.version = got.version;
            if (got.erase) deleted_[{'o', got.id}] = got.version;
            if (inList) byId_[got.id] = const_cast<TObj*>(o);
            else outOfList_[got.id] = o;
        } else if (got.table == RowImage::Record) {
            if (got.erase) deleted_[{'r', got.id}] = got.version;
            if (Shadow* s = shadowOf(got.mapId, got.file))
                for (auto& rec : s->recs)
                    if (rec.id == sent.id) {
                        rec.id = got.id;
                        if (rec.version == predicted) rec.version = got.version;
                    }
        }
    }
    // A new row's id decides its place among rows of the same place (two
    // operators who put rows between the same two): the view follows the
    // database's order.
    TObjList& list = doc_.ObjList;
    for (size_t k = 0; k < r.rows.size() && k < step.rows.size(); ++k) {
        if (step.rows[k].id >= 0 || r.rows[k].table != RowImage::Object || r.rows[k].erase) continue;
        const auto b = byId_.find(r.rows[k].id);
        if (b == byId_.end()) continue;
        const TObj* o = b->second;
        const ObjRow& me = rows_.at(o);
        auto before = [&](const ObjRow& p, const ObjRow& q) { return p.pos < q.pos || (p.pos == q.pos && p.id < q.id); };
        const long at = list.indexOf(o);
        if (at < 0) continue;
        size_t to = size_t(at);
        while (to > 0 && before(me, rows_.at(list[to - 1]))) --to;
        while (to + 1 < list.size() && before(rows_.at(list[to + 1]), me)) ++to;
        if (to != size_t(at)) list.move(size_t(at), to);
    }
    // The register files follow what was written.
    std::set<Shadow*> files;
    for (const RowImage& row : r.rows)
        if (row.table == RowImage::Record)
            if (Shadow* s = shadowOf(row.mapId, row.file)) files.insert(s);
    for (Shadow* s : files) {
        std::stable_sort(s->recs.begin(), s->recs.end(), [](const Shadow::Rec& x, const Shadow::Rec& y) {
            return x.pos < y.pos || (x.pos == y.pos && x.id < y.id);
        });
        writeFile(*s);
    }
    if (!mine_.count(original.id) && c_) {
        // A step of an earlier run of the program: this view has not got it
        // yet; its rows come in as the database now has them.
        Arrival a;
        std::vector<RowImage> now;
        try {
            now = CurrentRows(*c_, r.rows);
        } catch (const StoreError&) {
            goOffline();
            return;
        }
        std::erase_if(now, [&](const RowImage& row) {
            return row.table != RowImage::Orientation && pending_.count({char(row.table), row.id});
        });
        applyRows(now, 0, a);
        finish(a);
    }
}

void LiveMap::takeBack(const LiveStep& step, const UndoHistory::StepEffect* local) {
    if (local) {
        // The step just made: out of this program's view and history.
        quiet_ = true;
        if (local->kind == UndoHistory::StepEffect::Undone) {
            history_.redo();
            history_.dropLastDone();
        } else {
            history_.undo();
            history_.dropLastUndone();
        }
        quiet_ = false;
        // The step's objects the reversal put back into the list, or took out.
        for (const RowImage& r : step.rows) {
            if (r.table != RowImage::Object) continue;
            const TObj* o = nullptr;
            if (const auto b = byId_.find(r.id); b != byId_.end()) o = b->second;
            else if (const auto g = outOfList_.find(r.id); g != outOfList_.end()) o = g->second;
            if (!o) continue;
            if (doc_.ObjList.indexOf(o) >= 0) {
                byId_[r.id] = const_cast<TObj*>(o);
                outOfList_.erase(r.id);
            } else {
                byId_.erase(r.id);
                outOfList_[r.id] = o;
            }
        }
    }
    if (local)
        // The registers' records of the step as they were before it, as the
        // history has put back the lists (even if the server cannot be read now).
        for (const auto& [shadow, was] : before_)
            for (const RowImage& r : step.rows) {
                if (r.table != RowImage::Record || r.mapId != shadow->mapId || r.file != shadow->file) continue;
                Shadow& sh = const_cast<Shadow&>(*shadow);
                std::erase_if(sh.recs, [&](const Shadow::Rec& x) { return x.id == r.id; });
                const auto old = std::find_if(was.begin(), was.end(), [&](const Shadow::Rec& x) { return x.id == r.id; });
                if (old == was.end()) continue;
                const auto at = std::find_if(sh.recs.begin(), sh.recs.end(), [&](const Shadow::Rec& x) {
                    return x.pos > old->pos || (x.pos == old->pos && x.id > old->id);
                });
                sh.recs.insert(at, *old);
                erasedIdentity_.erase(r.id);
            }
    // Every row of the step as the database has it now (the others'
    // versions among them); the step's new rows out of the view.
    Arrival a;
    std::vector<RowImage> now;
    bool read = false;
    if (c_) {
        try {
            now = CurrentRows(*c_, step.rows);
            read = true;
        } catch (const StoreError&) {
            goOffline();
        }
    }
    if (!read)
        for (const RowImage& r : step.rows)
            if (r.id > 0 && r.table != RowImage::Orientation) unsynced_.push_back(r);
    for (const RowImage& r : step.rows) {
        if (r.id >= 0 || r.table == RowImage::Orientation) continue;
        RowImage gone = r;
        gone.erase = true;
        now.push_back(gone);
    }
    if (!local)
        // Objects an earlier step took out of the list come back as the
        // database has them; the history's steps over the old ones go.
        for (const RowImage& r : step.rows)
            if (r.table == RowImage::Object && r.erase)
                if (const auto g = outOfList_.find(r.id); g != outOfList_.end()) {
                    a.gone.push_back(g->second);
                    rows_.erase(g->second);
                    outOfList_.erase(g);
                }
    // Rows that steps still waiting change keep what those steps made of them.
    std::erase_if(now, [&](const RowImage& r) {
        return r.table != RowImage::Orientation && pending_.count({char(r.table), r.id});
    });
    applyRows(now, 0, a);
    finish(a);
}

// ---- the others' steps --------------------------------------------------------------------

void LiveMap::seen(int64_t logId) {
    if (logId <= contiguous_) return;
    seenAbove_.insert(logId);
    while (!seenAbove_.empty() && *seenAbove_.begin() == contiguous_ + 1) {
        contiguous_ = *seenAbove_.begin();
        seenAbove_.erase(seenAbove_.begin());
    }
}

void LiveMap::readUpTo(int64_t logId) {
    // Steps take their log ids in the order they commit: a lower id not read
    // with this one belongs to a transaction that rolled back.
    if (logId <= contiguous_) return;
    contiguous_ = logId;
    seenAbove_.erase(seenAbove_.begin(), seenAbove_.upper_bound(logId));
}

std::string LiveMap::checkBookkeeping() const {
    const TObjList& list = doc_.ObjList;
    std::unordered_set<int64_t> ids;
    for (size_t k = 0; k < list.size(); ++k) {
        const auto r = rows_.find(list[k]);
        if (r == rows_.end()) return "object at " + std::to_string(k) + " without its row";
        if (!ids.insert(r->second.id).second) return "id " + std::to_string(r->second.id) + " twice";
        const auto b = byId_.find(r->second.id);
        if (b == byId_.end() || b->second != list[k]) return "id " + std::to_string(r->second.id) + " not indexed";
        if (k > 0) {
            const auto& p = rows_.at(list[k - 1]);
            if (!(p.pos < r->second.pos || (p.pos == r->second.pos && p.id < r->second.id)))
                return "order broken at " + std::to_string(k);
        }
    }
    if (byId_.size() != list.size()) return "index holds " + std::to_string(byId_.size()) + " of " + std::to_string(list.size());
    return {};
}

bool LiveMap::poll() {
    if (!c_) return false;
    std::vector<int64_t> ids;
    if (!TakeNotifications(*c_, ids)) {
        goOffline();
        return false;
    }
    try {
        const std::vector<int64_t> above(seenAbove_.begin(), seenAbove_.end());
        int64_t last = 0;
        for (const LoggedStep& s : FetchSteps(*c_, cityId_, contiguous_, above)) {
            if (!mine_.count(s.stepId)) applyRemote(s);
            seen(s.logId);
            last = s.logId;
        }
        readUpTo(last);
    } catch (const StoreError&) {
        goOffline();
        return false;
    }
    return true;
}

bool LiveMap::reconnect() {
    if (c_) return true;
    try {
        connect();
    } catch (const StoreError&) {
        return false;
    }
    // The waiting steps first: one the server took before the connection was
    // lost comes back as taken, with the ids of its new rows, before the
    // others' steps over those rows are brought in.
    flush(nullptr);
    if (c_ && !unsynced_.empty()) {
        // Steps taken back while the server could not be read: their rows as it has them.
        try {
            std::vector<RowImage> now = CurrentRows(*c_, unsynced_);
            unsynced_.clear();
            std::erase_if(now, [&](const RowImage& r) {
                return r.table != RowImage::Orientation && pending_.count({char(r.table), r.id});
            });
            Arrival a;
            applyRows(now, 0, a);
            finish(a);
        } catch (const StoreError&) {
            goOffline();
        }
    }
    if (c_) poll();
    if (statusChanged) statusChanged();
    return c_ != nullptr;
}

bool LiveMap::caughtUp() { return poll(); }

void LiveMap::sendWaiting() {
    // Steps of an earlier run are not in this program's view: the database
    // sends them back as steps to apply.
    for (const auto& e : journal_.pending()) mine_.erase(e.step.id);
    flush(nullptr);
    poll();
}

void LiveMap::applyRemote(const LoggedStep& s) {
    ++counts_.arrived;
    arrivals_[s.logId] = {s.by, s.at};
    Arrival a;
    applyRows(s.rows, s.logId, a);
    lastArrival_ = QStringLiteral("%1: %2, %3")
                       .arg(QString::fromStdString(s.by), QString::fromStdString(s.what), QString::fromStdString(s.at));
    finish(a);
    if (statusChanged) statusChanged();
    if (arrived) arrived(s.stepId);
}

void LiveMap::finish(Arrival& a) {
    // The tools hear of it as of an undo; the objects taken away are freed after.
    doc_.events.notify(MapEvent{MapEvent::Synced, a.gone});
    a.holders.clear();
    for (Shadow* f : a.files) {
        writeFile(*f);
        if (recordsArrived) recordsArrived(f->file);
    }
    if (changedAreas && (a.areas.everything || !a.areas.boxes.empty())) changedAreas(a.areas);
}

void LiveMap::applyRows(const std::vector<RowImage>& rows, int64_t logId, Arrival& a) {
    std::vector<const RowImage*> inserts;
    for (const RowImage& r : rows) {
        if (r.table == RowImage::Object) {
            if (r.mapId != mapId_) continue;
            // Steps may arrive after a later one of this program's own over
            // the same row: only what is newer than the view counts.
            const auto d = deleted_.find({'o', r.id});
            if (logId && d != deleted_.end() && d->second >= r.version) continue;
            // A row this program's waiting steps change keeps their content
            // (they meet the others' as a conflict when sent).
            if (logId && pending_.count({'o', r.id})) continue;
            if (!r.erase && !byId_.count(r.id)) inserts.push_back(&r);
            else applyObject(r, logId, a);
        } else if (r.table == RowImage::Record) {
            if (logId && pending_.count({'r', r.id})) continue;
            Shadow* s = shadowOf(r.mapId, r.file);
            if (!s) {
                s = &shadows_[{r.mapId, r.file}];
                s->mapId = r.mapId;
                s->file = r.file;
                s->kind = r.kind;
            }
            applyRecord(*s, r, logId);
            a.files.insert(s);
        } else if (r.mapId == mapId_ && r.content.size() >= kOrientationSize) {
            BinReader in(reinterpret_cast<const uint8_t*>(r.content.data()), r.content.size(), "ориентировка");
            const OrientationRecord o = DecodeOrientation(in);
            const int32_t next = std::max(o.NextNode, doc_.Orientation.NextNode);
            doc_.Orientation = o;
            doc_.Orientation.NextNode = next;
        }
    }
    TObjList& list = doc_.ObjList;
    auto before = [&](const TObj* x, const TObj* y) {
        const ObjRow &p = rows_.at(x), &q = rows_.at(y);
        return p.pos < q.pos || (p.pos == q.pos && p.id < q.id);
    };
    if (a.moved) {
        // Objects that changed places: the list in the order of their places.
        std::vector<size_t> order(list.size());
        for (size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return before(list[x], list[y]); });
        bool same = true;
        for (size_t k = 0; k < order.size() && same; ++k) same = order[k] == k;
        if (!same) list.reorder(order);
        a.areas.everything = true;
    }
    for (const RowImage* r : inserts) {
        // An object this program took away, which another operator has put
        // back meanwhile: it comes back as the database has it, and the
        // history's steps over the one taken away go (undoing its deletion
        // would put it in the list a second time).
        if (const auto g = outOfList_.find(r->id); g != outOfList_.end()) {
            a.gone.push_back(g->second);
            rows_.erase(g->second);
            outOfList_.erase(g);
        }
        std::unique_ptr<TObj> fresh = objectOf(r->content);
        TObj* o = fresh.get();
        rows_[o] = {r->id, r->version, r->pos, logId};
        size_t at = 0, hi = list.size();
        while (at < hi) {
            const size_t mid = (at + hi) / 2;
            if (before(list[mid], o)) at = mid + 1;
            else hi = mid;
        }
        TObj* added = list.insertAt(at, std::move(fresh));
        byId_[r->id] = added;
        std::erase_if(outOfList_, [added](const auto& g) { return g.second == added; });
        addBox(a.areas, *added);
    }
}

void LiveMap::applyObject(const RowImage& r, int64_t logId, Arrival& a) {
    TObjList& list = doc_.ObjList;
    const auto known = byId_.find(r.id);
    if (known == byId_.end()) return;
    TObj* o = known->second;
    if (logId && r.version <= rows_.at(o).version) return;
    if (r.erase) {
        deleted_[{'o', r.id}] = r.version;
        byId_.erase(known);
        rows_.erase(o);
        if (doc_.CurObj == o) {
            doc_.CurObj = nullptr;
            doc_.EditPoints.clear();
        }
        // Freed after the tools heard of it (one the history already took
        // out of the list is the history's).
        if (std::unique_ptr<TObj> holder = list.take(o)) {
            addBox(a.areas, *holder);
            a.gone.push_back(o);
            a.holders.push_back(std::move(holder));
        }
        return;
    }
    addBox(a.areas, *o);
    *o = *objectOf(r.content);
    list.changed(o);
    addBox(a.areas, *o);
    ObjRow& row = rows_[o];
    row.version = r.version;
    if (logId) row.remoteLog = logId;
    if (row.pos != r.pos) {
        row.pos = r.pos;
        a.moved = true;
    }
}

void LiveMap::applyRecord(Shadow& s, const RowImage& r, int64_t logId) {
    auto it = std::find_if(s.recs.begin(), s.recs.end(), [&](const Shadow::Rec& x) { return x.id == r.id; });
    const void* identity = nullptr;
    int64_t remote = logId;
    if (logId && it != s.recs.end() && r.version <= it->version) return;
    if (const auto d = deleted_.find({'r', r.id}); logId && it == s.recs.end() && d != deleted_.end() && d->second >= r.version)
        return;
    if (r.erase) deleted_[{'r', r.id}] = r.version;
    if (it != s.recs.end()) {
        identity = it->identity;
        if (!logId) remote = it->remoteLog;
        s.recs.erase(it);
    } else if (const auto e = erasedIdentity_.find(r.id); e != erasedIdentity_.end()) {
        // A record this program took away comes back as the same record,
        // unless that memory now holds another.
        if (std::none_of(s.recs.begin(), s.recs.end(), [&](const Shadow::Rec& x) { return x.identity == e->second; }))
            identity = e->second;
        erasedIdentity_.erase(e);
    }
    if (r.erase) return;
    Shadow::Rec rec{r.id, r.version, r.pos, r.content, identity, remote};
    auto at = std::find_if(s.recs.begin(), s.recs.end(),
                           [&](const Shadow::Rec& x) { return x.pos > r.pos || (x.pos == r.pos && x.id > r.id); });
    s.recs.insert(at, std::move(rec));
}

void LiveMap::writeFile(Shadow& s) {
    // The records in memory, then the file that stands for the register.
    if (s.bound) {
        std::vector<LiveRecords::Record> recs;
        for (const auto& r : s.recs) recs.push_back({r.identity, r.bytes});
        const std::vector<const void*> ids = s.bound->assign(recs);
        for (size_t k = 0; k < ids.size() && k < s.recs.size(); ++k) s.recs[k].identity = ids[k];
    }
    BinWriter w;
    for (const auto& r : s.recs) w.bytes(r.bytes.data(), r.bytes.size());
    try {
        writeFileAtomically(target_.cityFolder / s.file, w.data());
    } catch (const FileError&) {
        // The folder stands for the register only until the map is opened again.
    }
}

}  // namespace dm
