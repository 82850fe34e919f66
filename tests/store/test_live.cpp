// Steps of several operators on one map of the shared database: what the
// server takes, and what an operator is asked when steps meet.
#include "cli/SampleCity.h"
#include "editing/RegisterEdit.h"
#include "mapdata/MapFiles.h"
#include "names/Names.h"
#include "store/CityStore.h"
#include "store/LiveMap.h"
#include "store/Schema.h"
#include "transport/Stops.h"

#include "common/TestServer.h"

#include <gtest/gtest.h>

#include <deque>
#include <future>
#include <regex>

using namespace dm;
namespace fs = std::filesystem;

namespace {

const auto* kServer = ::testing::AddGlobalTestEnvironment(new test::TestServer);

// The sample city in a database of the test's own; two editors.
class Live : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = "t_l_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 40);
        std::transform(db_.begin(), db_.end(), db_.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        PgConnection admin(test::dbUrl("postgres"));
        admin.exec("drop database if exists " + db_ + " with (force)");
        admin.exec("create database " + db_);
        dir_ = fs::temp_directory_path() / ("dm_live_" + std::to_string(::getpid()) + "_" + db_);
        fs::remove_all(dir_);
        c_ = std::make_unique<PgConnection>(test::dbUrl(db_));
        c_->exec("create extension postgis");
        InitSchema(*c_);
        for (const char* who : {"ivanov", "petrov"})
            c_->exec(std::string("do $$ begin create role ") + who +
                     " login password 'pw' in role darvent_editor; exception when duplicate_object or "
                     "unique_violation then null; end $$");
        sample::writeStartFolder(dir_ / "sample", {});
        PushCity(*c_, dir_ / "sample", {});
    }
    void TearDown() override {
        c_.reset();
        PgConnection admin(test::dbUrl("postgres"));
        admin.exec("drop database if exists " + db_ + " with (force)");
        fs::remove_all(dir_);
    }
    std::string asUser(const char* who) const { return test::dbUrl(db_, who, "pw"); }
    std::string one(const std::string& sql) { return c_->exec(sql).text(0, 0); }
    std::string db_;
    fs::path dir_;
    std::unique_ptr<PgConnection> c_;
};

// The time of day in a question or a conflict, for comparison.
std::string timeless(const std::string& s) { return std::regex_replace(s, std::regex("\\b\\d\\d:\\d\\d\\b"), "ЧЧ:ММ"); }

}  // namespace

// One step at a time against the server: written whole or not at all,
// once however often it is sent, a deleted row put back only at the
// version its deletion left.
TEST_F(Live, AStepIsWrittenWholeOnceOrNotAtAll) {
    PulledRows rows;
    PullCity(*c_, "Darvent", dir_ / "pull", &rows);
    const int map = rows.mapIds.at("Darvent");
    const auto& labels = rows.records.at({map, "Darvent.nam"});
    ASSERT_GE(labels.size(), 5u);
    auto label = [&](size_t k, int64_t version, size_t contentOf, bool erase = false) {
        RowImage r;
        r.table = RowImage::Record;
        r.id = labels[k].id;
        r.version = version;
        r.erase = erase;
        r.pos = labels[k].pos;
        r.mapId = map;
        r.file = "Darvent.nam";
        r.kind = "label";
        r.content = labels[contentOf].content;
        return r;
    };
    auto step = [](std::vector<RowImage> rows) { return LiveStep{NewStepId(), "Перемещение названия", std::move(rows)}; };
    PgConnection ivanov(asUser("ivanov")), petrov(asUser("petrov"));
    auto stored = [&](size_t k) {
        const PgResult r = c_->exec("select version, record from records where id = " + std::to_string(labels[k].id));
        return r.rows() ? std::make_pair(int64_t(r.integer(0, 0)), r.bytes(0, 1)) : std::make_pair(int64_t(-1), std::string());
    };
    auto logged = [&] { return one("select count(*) from change_log where step = 'edit'"); };
    const int64_t v0 = labels[0].version, v1 = labels[1].version, v3 = labels[3].version;

    // Written; sent again (its reply lost): the same log entry, nothing more.
    const LiveStep moved = step({label(0, v0, 1)});
    StepResult r = WriteStep(ivanov, rows.cityId, moved);
    ASSERT_EQ(r.status, StepResult::Applied);
    EXPECT_EQ(r.rows.at(0).version, v0 + 1);
    r = WriteStep(ivanov, rows.cityId, moved);
    EXPECT_EQ(r.status, StepResult::AlreadyApplied);
    EXPECT_EQ(r.rows.at(0).version, v0 + 1);
    EXPECT_EQ(stored(0), std::make_pair(v0 + 1, labels[1].content));
    EXPECT_EQ(logged(), "1");

    // Over the changed row, with a row of its own: nothing of it written.
    r = WriteStep(petrov, rows.cityId, step({label(3, v3, 4), label(0, v0, 2)}));
    ASSERT_EQ(r.status, StepResult::Conflict);
    ASSERT_EQ(r.conflicts.size(), 1u);
    const RowConflict& k = r.conflicts[0];
    EXPECT_EQ(std::make_tuple(k.index, k.deleted, k.theirs.version, k.theirs.content, k.by, timeless(k.at)),
              std::make_tuple(size_t(1), false, v0 + 1, labels[1].content, std::string("ivanov"), std::string("ЧЧ:ММ")));
    EXPECT_EQ(stored(3), std::make_pair(v3, labels[3].content));
    EXPECT_EQ(logged(), "1");

    // Deleted by one; the other's change meets the deletion, then puts the
    // row back under its id at the version the deletion left.
    ASSERT_EQ(WriteStep(ivanov, rows.cityId, step({label(3, v3, 3, true)})).status, StepResult::Applied);
    EXPECT_EQ(stored(3).first, -1);
    r = WriteStep(petrov, rows.cityId, step({label(3, v3, 0)}));
    ASSERT_EQ(r.status, StepResult::Conflict);
    EXPECT_EQ(std::make_tuple(r.conflicts.at(0).deleted, r.conflicts[0].theirs.erase, r.conflicts[0].theirs.version,
                              r.conflicts[0].by),
              std::make_tuple(true, true, v3 + 1, std::string("ivanov")));
    r = WriteStep(petrov, rows.cityId, step({label(3, v3 + 2, 0)}));
    EXPECT_EQ(r.status, StepResult::Conflict) << "put back at a version the deletion did not leave";
    r = WriteStep(petrov, rows.cityId, step({label(3, v3 + 1, 0)}));
    ASSERT_EQ(r.status, StepResult::Applied);
    EXPECT_EQ(stored(3), std::make_pair(v3 + 2, labels[0].content));

    // A street written with another's record: its houses follow it.
    {
        const auto& streets = rows.records.at({map, "darvent.rue"});
        auto houses = [&](int64_t id) {
            return one("select coalesce(string_agg(number, ',' order by pos), '') from houses where street_id = " +
                       std::to_string(id));
        };
        size_t j = 1;
        while (j < streets.size() && houses(streets[j].id) == houses(streets[0].id)) ++j;
        ASSERT_LT(j, streets.size());
        const std::string before = houses(streets[0].id);
        RowImage r;
        r.table = RowImage::Record;
        r.id = streets[j].id;
        r.version = streets[j].version;
        r.pos = streets[j].pos;
        r.mapId = map;
        r.file = "darvent.rue";
        r.kind = "street";
        r.content = streets[0].content;
        ASSERT_EQ(WriteStep(ivanov, rows.cityId, step({r})).status, StepResult::Applied);
        EXPECT_EQ(houses(streets[j].id), before);
    }

    // A step that took its log id and has not committed yet holds the next
    // step's log id back until it commits: the ids come in commit order.
    PgConnection held(asUser("petrov"));
    held.exec("begin");
    held.exec("select pg_advisory_xact_lock(" + std::to_string(kLogOrderLock) + ", " + std::to_string(rows.cityId) + ")");
    const int64_t first = held.exec("insert into change_log (step, map_id, what) values ('edit', " +
                                    std::to_string(rows.cityId) + ", 'x') returning id")
                              .integer(0, 0);
    auto next = std::async(std::launch::async, [&] { return WriteStep(ivanov, rows.cityId, step({label(1, v1, 2)})); });
    EXPECT_EQ(next.wait_for(std::chrono::milliseconds(400)), std::future_status::timeout);
    held.exec("commit");
    r = next.get();
    ASSERT_EQ(r.status, StepResult::Applied);
    EXPECT_GT(r.logId, first);
}

namespace {
// An operator's program without its windows: the city map with its stops
// and labels, open live.
struct Desk {
    Desk(const std::string& url, const fs::path& dir) {
        PgConnection c(url);
        PulledRows rows;
        PullCity(c, "Darvent", dir, &rows);
        doc.Orientation = ReadOrientation(dir / "Darvent" / "Darvent.or");
        LoadObjects(dir / "Darvent" / "Darvent.bin", doc.ObjList);
        LoadStops(dir / "Darvent" / "ostanov.dat", stops);
        LoadNames(dir / "Darvent" / "Darvent.nam", names);
        live = std::make_unique<LiveMap>(LiveMap::Target{url, "Darvent", dir / "Darvent", dir / "journal"}, rows, doc, history);
        const int map = rows.mapIds.at("Darvent");
        live->bindRecords("ostanov.dat", map, &stops, &stopList);
        live->bindRecords("Darvent.nam", map, &names, &nameList);
        live->askOverwrite = [this](const ConflictQuestion& q) {
            asked.push_back(timeless(q.text.toStdString()));
            const bool yes = !answers.empty() && answers.front();
            if (!answers.empty()) answers.pop_front();
            return yes;
        };
    }
    void move(size_t k, double dx) {
        history.begin(QStringLiteral("Перемещение объекта"));
        history.willChange(doc.ObjList[k]);
        for (TXY& p : doc.ObjList[k]->Points) p.X += dx;
        history.commit();
    }
    void remove(size_t k) {
        history.begin(QStringLiteral("Удаление объекта"));
        history.remove(doc.ObjList[k]);
        history.commit();
    }
    void renameStop(size_t k, const std::string& name) {
        RegisterEdit<TOstnv> edit(stops, stops[k]);
        stops[k]->Name = name;
        edit.commit(history, &stops, QStringLiteral("Остановка"), nullptr);
    }
    void removeStop(size_t k) {
        RegisterEdit<TOstnv> edit(stops);
        stops.erase(stops.begin() + long(k));
        edit.commit(history, &stops, QStringLiteral("Остановка"), nullptr);
    }
    void moveLabel(size_t k, double dx) {
        names[k]->X1 += dx;
        live->recordsChanged(&names, QStringLiteral("Перемещение названия"));
    }
    static void loadStops(BinReader& in, std::vector<StopRef>& v, std::vector<uint64_t>* e) { LoadStops(in, v, e); }
    static void loadNames(BinReader& in, std::vector<NameRef>& v, std::vector<uint64_t>* e) { LoadNames(in, v, e); }

    MapDoc doc;
    UndoHistory history{doc};
    std::vector<StopRef> stops;
    std::vector<NameRef> names;
    LiveRecordList<TOstnv> stopList{stops, EncodeStop, loadStops};
    LiveRecordList<TNaz> nameList{names, EncodeName, loadNames};
    std::unique_ptr<LiveMap> live;
    std::vector<std::string> asked;
    std::deque<bool> answers;
};
}  // namespace

// Two operators' steps on the same object, label or stop before either has
// heard of the other's: the second is asked, naming what it is, who and
// when; Yes writes over (or puts back what was deleted), No keeps the
// other's version in view.  Afterwards both views are alike.
TEST_F(Live, StepsThatMeetAreAskedAboutNamingWhatTheyTouch) {
    Desk ivanov(asUser("ivanov"), dir_ / "ivanov"), petrov(asUser("petrov"), dir_ / "petrov");
    ASSERT_GE(ivanov.stops.size(), 4u);
    const std::string by = " оператором ivanov в ЧЧ:ММ. ";
    struct Case {
        const char* name;
        std::function<void(Desk&)> first, second;
        bool yes;
        std::string question;
        std::function<void()> check;  // after both have heard of each other
    };
    const std::vector<Case> cases = {
        {"object changed, No", [](Desk& d) { d.move(3, 10); }, [](Desk& d) { d.move(3, 3); }, false,
         "Объект изменён оператором ivanov в ЧЧ:ММ. Записать ваше изменение поверх?",
         [&] { EXPECT_EQ(petrov.doc.ObjList[3]->Points[0].X, ivanov.doc.ObjList[3]->Points[0].X); }},
        {"object deleted, Yes", [](Desk& d) { d.remove(5); }, [](Desk& d) { d.move(5, 4); }, true,
         "Объект удалён" + by + "Восстановить его с вашим изменением?",
         [&] {
             EXPECT_EQ(ivanov.doc.ObjList.size(), petrov.doc.ObjList.size());
             EXPECT_FALSE(ivanov.history.canUndo()) << "the deletion, undone, would put the object back twice";
         }},
        {"undo over the other's later change, No",
         [&](Desk& d) {
             petrov.move(6, 1);
             ASSERT_TRUE(d.live->caughtUp());
             d.move(6, 2);
         },
         [](Desk& d) {
             ASSERT_TRUE(d.live->caughtUp());
             d.history.undo();
         },
         false, "Объект изменён оператором ivanov в ЧЧ:ММ. Записать ваше изменение поверх?",
         [&] { EXPECT_EQ(petrov.doc.ObjList[6]->Points[0].X, ivanov.doc.ObjList[6]->Points[0].X); }},
        {"undo of a stop over the other's later change, No",
         [&](Desk& d) {
             petrov.renameStop(0, "Школа");
             ASSERT_TRUE(d.live->caughtUp());
             d.renameStop(0, "Парк");
         },
         [](Desk& d) {
             ASSERT_TRUE(d.live->caughtUp());
             d.history.undo();
         },
         false, "Остановка изменена оператором ivanov в ЧЧ:ММ. Записать ваше изменение поверх?",
         [&] { EXPECT_EQ(petrov.stops[0]->Name, "Парк"); }},
        {"label changed, Yes", [](Desk& d) { d.moveLabel(0, 1); }, [](Desk& d) { d.moveLabel(0, 2); }, true,
         "Название изменено оператором ivanov в ЧЧ:ММ. Записать ваше изменение поверх?",
         [&] { EXPECT_EQ(ivanov.names[0]->X1, petrov.names[0]->X1); }},
        {"stop changed, No", [](Desk& d) { d.renameStop(2, "Рынок"); }, [](Desk& d) { d.renameStop(2, "Вокзал"); }, false,
         "Остановка изменена оператором ivanov в ЧЧ:ММ. Записать ваше изменение поверх?",
         [&] { EXPECT_EQ(petrov.stops[2]->Name, "Рынок"); }},
        {"stop deleted, No", [](Desk& d) { d.removeStop(3); }, [](Desk& d) { d.renameStop(3, "Вокзал"); }, false,
         "Остановка удалена" + by + "Восстановить её с вашим изменением?",
         [&] { EXPECT_EQ(petrov.stops.size(), ivanov.stops.size()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        petrov.asked.clear();
        petrov.answers = {c.yes};
        c.first(ivanov);
        c.second(petrov);
        EXPECT_EQ(petrov.asked, std::vector<std::string>{c.question});
        // (The labels have no undo.)
        EXPECT_EQ(petrov.history.canUndo(), c.yes && std::string(c.name).rfind("label", 0) != 0) << "a step answered No leaves the history";
        EXPECT_FALSE(petrov.history.canRedo()) << "a step answered No is not done again";
        ASSERT_TRUE(ivanov.live->caughtUp());
        ASSERT_TRUE(petrov.live->caughtUp());
        c.check();
        while (petrov.history.canUndo()) petrov.history.dropLastDone();
    }
    // The server lost while the question is asked: the stop put back stays
    // the record it was, and the next step (made offline) does not write it
    // again as a new stop.
    const size_t stopCount = ivanov.stops.size();
    const auto ask = petrov.live->askOverwrite;
    petrov.live->askOverwrite = [&](const ConflictQuestion& q) {
        c_->exec("select pg_terminate_backend(pid) from pg_stat_activity where usename = 'petrov' and datname = current_database()");
        return ask(q);
    };
    petrov.answers = {false};
    ivanov.renameStop(1, "Рынок");
    petrov.removeStop(1);
    petrov.live->askOverwrite = ask;
    EXPECT_FALSE(petrov.live->online());
    petrov.renameStop(0, "Вокзал");
    ASSERT_TRUE(petrov.live->reconnect());
    ASSERT_TRUE(ivanov.live->caughtUp());
    EXPECT_EQ(one("select count(*) from records where file = 'ostanov.dat'"), std::to_string(stopCount));
    EXPECT_EQ(petrov.stops.size(), stopCount);
    EXPECT_EQ(petrov.stops[1]->Name, "Рынок");
    EXPECT_EQ(ivanov.asked, std::vector<std::string>{});

    // The draw order changed by one object: its row alone is written.
    {
        const size_t n = ivanov.doc.ObjList.size();
        std::vector<size_t> order{n - 1};
        for (size_t k = 0; k + 1 < n; ++k) order.push_back(k);
        ivanov.history.begin(QStringLiteral("Порядок объектов"));
        ivanov.history.reorder(order);
        ivanov.history.commit();
        EXPECT_EQ(one("select count(*) from change_rows where log_id = (select max(id) from change_log)"), "1");
    }

    // A district editor's step out of the district: refused, said in
    // Russian, taken back from the view and the history.
    c_->exec("do $$ begin create role sidorov login password 'pw'; exception when duplicate_object then null; end $$");
    GrantRole(*c_, "sidorov", "editor", {"centr"});
    const int64_t inCentre = std::stoll(one("select o.id from objects o, districts d where d.stem = 'centr' and "
                                            "st_within(o.geom, d.outline) order by o.id limit 1"));
    Desk sidorov(asUser("sidorov"), dir_ / "sidorov");
    QString refusal;
    sidorov.live->refused = [&](const QString& m) { refusal = m; };
    size_t k = 0;
    while (sidorov.live->objectId(sidorov.doc.ObjList[k]) != inCentre) ++k;
    const double x = sidorov.doc.ObjList[k]->Points[0].X;
    sidorov.move(k, 1e6);
    EXPECT_EQ(refusal.toStdString(), "Нет прав на изменение объектов вне районов: Центральный");
    EXPECT_EQ(sidorov.doc.ObjList[k]->Points[0].X, x);
    EXPECT_FALSE(sidorov.history.canUndo());
}
