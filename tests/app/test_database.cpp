// "Открыть из базы…" and "Сохранить в базу…" through the real window, against
// the database server of the tests.
#include "common/SmallMapFixture.h"
#include "common/TestServer.h"
#include "store/CityStore.h"
#include "store/Schema.h"

#include "store/LiveMap.h"

#include <QDir>

#include <algorithm>
#include <QRegularExpression>
#include <QProgressDialog>
#include <QTimer>

using namespace dm;

namespace {
const auto* kServer = ::testing::AddGlobalTestEnvironment(new test::TestServer);

class DatabaseWindow : public SmallMapFixture {
protected:
    void SetUp() override {
        SmallMapFixture::SetUp();
        // A database for each test (the tests run side by side).
        db_ = "t_w_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()).substr(0, 40);
        std::transform(db_.begin(), db_.end(), db_.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        PgConnection admin(test::dbUrl("postgres"));
        admin.exec("drop database if exists " + db_ + " with (force)");
        admin.exec("create database " + db_);
        url_ = test::dbUrl(db_);
        PgConnection c(url_);
        c.exec("create extension postgis");
        InitSchema(c);
        // Operators of the tests (roles belong to the whole server).
        for (const char* who : {"t_reader", "ivanov", "petrov"}) {
            const std::string group = std::string(who) == "t_reader" ? "darvent_reader" : "darvent_editor";
            // (Tests side by side may create it at the same moment.)
            c.exec(std::string("do $$ begin create role ") + who + " login password 'pw' in role " + group +
                   "; exception when duplicate_object or unique_violation then null; end $$");
        }
    }
    void TearDown() override {
        SmallMapFixture::TearDown();
        PgConnection admin(test::dbUrl("postgres"));
        admin.exec("drop database if exists " + db_ + " with (force)");
    }
    std::string db_, url_;
};
}  // namespace

TEST_F(DatabaseWindow, AMapOfTheDatabaseOpensForReadingAndTheOpenCityIsSavedIntoIt) {
    const QString url = QString::fromStdString(url_);
    // Saved into the database under a name of its own; cancelled: nothing.
    dialogs_.inputs = {url, QStringLiteral("Копия")};
    QTimer::singleShot(0, w_.get(), [] {
        for (QWidget* t : QApplication::topLevelWidgets())
            if (auto* p = t->findChild<QProgressDialog*>()) p->cancel();
    });
    act("FileSaveDb")->trigger();
    EXPECT_TRUE(dialogs_.texts("message").value(0).contains(QStringLiteral("отменена"))) << dialogs_.texts("message").join('|').toStdString();
    PgConnection c(url_);
    EXPECT_TRUE(DescribeStore(c).maps.empty());
    dialogs_.clear();
    dialogs_.inputs = {url, QStringLiteral("Копия")};
    act("FileSaveDb")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Карта «Копия» сохранена в базу: объектов 5.")});
    ASSERT_EQ(DescribeStore(c).maps.size(), 1u);
    // Opened from it by a reader: for reading; an edit is taken back with the message.
    dialogs_.clear();
    dialogs_.inputs = {QString::fromStdString(test::dbUrl(db_, "t_reader", "pw"))};
    dialogs_.picks = {0};
    act("FileOpenDb")->trigger();
    EXPECT_EQ(w_->databaseMap(), QStringLiteral("Копия"));
    EXPECT_TRUE(w_->windowTitle().contains(QString::fromStdString("база «" + db_ + "», карта «Копия» (только чтение)")));
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_FALSE(act("FileSave")->isEnabled());
    act("FindButton")->trigger();
    const TGn tree = ws().view.view().toPixel(toMap({900, 900}));
    click({tree.PX, tree.PY});
    ASSERT_NE(ws().map.CurObj, nullptr);
    act("DeleteButton")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_TRUE(dialogs_.texts("message").contains(QStringLiteral("Карта из базы открыта только для чтения")));
    EXPECT_FALSE(ws().map.MapModified);
    // The city map of the files again: editable.
    act("FergKartaMenu")->trigger();
    EXPECT_TRUE(w_->databaseMap().isEmpty());
    EXPECT_EQ(ws().files.StartDir, dir_);
    EXPECT_TRUE(act("FileSave")->isEnabled());
}

namespace {
// A step as the move tool makes it: the object moved by dx metres north.
void moveBy(MainWindow& w, size_t index, double dx) {
    TObj* o = w.workspace().map.ObjList[index];
    w.history().begin(QStringLiteral("Переместить объект"));
    w.history().willChange(o);
    for (TXY& p : o->Points) p.X += dx;
    w.history().commit();
}
}  // namespace

// Two operators in two windows on one map: each sees the other's step
// within a second; a step over the other's change is asked about (Yes
// writes it over, No drops it); a lost connection keeps the step in the
// journal until the program is back.
TEST_F(DatabaseWindow, TwoOperatorsEditOneMapLive) {
    {
        PgConnection c(url_);
        PushCity(c, dir_, {});
    }
    ScriptedDialogs dialogs2;
    AppOptions o;
    o.startDir = dir_;
    o.screenWidth = 1000;
    o.dialogs = &dialogs2;
    o.journalDir = dir_ / "journal";
    MainWindow w2(o);
    w2.resize(800, 600);
    w2.show();
    dialogs_.inputs = {QString::fromStdString(test::dbUrl(db_, "ivanov", "pw"))};
    dialogs_.picks = {0};
    act("FileOpenDb")->trigger();
    dialogs2.inputs = {QString::fromStdString(test::dbUrl(db_, "petrov", "pw"))};
    dialogs2.picks = {0};
    w2.actions()["FileOpenDb"]->trigger();
    ASSERT_NE(w_->liveMap(), nullptr) << dialogs_.texts("message").join('|').toStdString();
    ASSERT_NE(w2.liveMap(), nullptr) << dialogs2.texts("message").join('|').toStdString();
    EXPECT_EQ(w_->windowTitle(), QString::fromStdString("Электронная карта г.Дарвента — база «" + db_ + "», карта «Darvent», оператор «ivanov»"));
    EXPECT_FALSE(act("FileSave")->isEnabled());
    EXPECT_EQ(act("FileSave")->toolTip(), QStringLiteral("Карта из базы: каждое изменение сразу записывается в базу"));
    EXPECT_EQ(w2.databaseStatus(), QStringLiteral("База: 2 операторов"));

    // Ivanov moves the tree with the move tool; Petrov's view has it within a second.
    const TGn tree = ws().view.view().toPixel(toMap({900, 900}));
    act("FindButton")->trigger();
    click({tree.PX, tree.PY});
    act("ChangeButton")->trigger();
    click({tree.PX, tree.PY});
    click({tree.PX, tree.PY - 40});
    const double movedTo = ws().map.ObjList[3]->Points[0].X;
    ASSERT_GT(movedTo, 200.0);
    const TObj* seen = w2.workspace().map.ObjList[3];
    QTRY_COMPARE_WITH_TIMEOUT(seen->Points[0].X, movedTo, 1000);
    EXPECT_TRUE(w2.databaseStatus().startsWith(QStringLiteral("База: 2 операторов   ivanov: Переместить объект, ")))
        << w2.databaseStatus().toStdString();

    // Both move the contour before either hears of the other: Petrov's step
    // meets Ivanov's.  No: Petrov's step goes, Ivanov's version stays.
    // Ivanov's next step, made while Petrov is asked, reaches Petrov once
    // he has answered.
    dialogs2.answers = {DialogPort::Answer::No};
    dialogs2.onQuestion = [&](const QString&) { moveBy(*w_, 1, 7); };
    const double other = w2.workspace().map.ObjList[1]->Points[0].X;
    moveBy(*w_, 4, 10);
    moveBy(w2, 4, 3);
    dialogs2.onQuestion = nullptr;
    QTRY_COMPARE_WITH_TIMEOUT(w2.workspace().map.ObjList[1]->Points[0].X, other + 7, 1000);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Объект изменён оператором ivanov в \\d\\d:\\d\\d\\. Записать ваше изменение поверх\\?$"))
                    .match(dialogs2.texts("question").value(0))
                    .hasMatch())
        << dialogs2.texts("question").join('|').toStdString();
    EXPECT_EQ(w2.workspace().map.ObjList[4]->Points[0].X, 310.0);
    EXPECT_FALSE(w2.history().canUndo());
    // Yes: Petrov's step written over Ivanov's next one; Ivanov's view follows.
    dialogs2.answers = {DialogPort::Answer::Yes};
    moveBy(*w_, 4, 10);
    moveBy(w2, 4, 3);
    EXPECT_EQ(w2.workspace().map.ObjList[4]->Points[0].X, 313.0);
    QTRY_COMPARE_WITH_TIMEOUT(ws().map.ObjList[4]->Points[0].X, 313.0, 1000);
    EXPECT_EQ(dialogs_.texts("question"), QStringList());

    // The connection lost between two steps: the step waits in the journal, then goes.
    {
        PgConnection c(url_);
        c.exec("select pg_terminate_backend(pid) from pg_stat_activity where usename = 'ivanov' and datname = current_database()");
    }
    for (int k = 0; k < 3; ++k) moveBy(*w_, 2, 5);
    EXPECT_EQ(w_->databaseStatus(), QStringLiteral("Нет связи с базой: 3 изменений ждут   petrov: Переместить объект, ") +
                                        w_->liveMap()->lastArrival().right(5));
    QTRY_COMPARE_WITH_TIMEOUT(w2.workspace().map.ObjList[2]->Points[0].X, 515.0, 3000);
    EXPECT_EQ(w_->liveMap()->waiting(), 0u);
    w2.close();
}

// A program ended while a step waited: the next opening of the map by the
// same operator offers the step; No keeps it in a file named, Yes sends it.
TEST_F(DatabaseWindow, StepsOfAnEndedRunAreOfferedAtTheNextOpening) {
    PgConnection c(url_);
    PushCity(c, dir_, {});
    const QString ivanov = QString::fromStdString(test::dbUrl(db_, "ivanov", "pw"));
    auto open = [&](std::deque<DialogPort::Answer> answers) {
        dialogs_.clear();
        dialogs_.inputs = {ivanov};
        dialogs_.picks = {0};
        dialogs_.answers = std::move(answers);
        act("FileOpenDb")->trigger();
        ASSERT_NE(w_->liveMap(), nullptr);
    };
    auto endWithAStepWaiting = [&] {
        c.exec("select pg_terminate_backend(pid) from pg_stat_activity where usename = 'ivanov' and datname = current_database()");
        moveBy(*w_, 3, 7);
        ASSERT_EQ(w_->liveMap()->waiting(), 1u);
        AppOptions o;
        o.startDir = dir_;
        o.screenWidth = 1000;
        o.dialogs = &dialogs_;
        o.journalDir = dir_ / "journal";
        w_ = std::make_unique<MainWindow>(o);
    };
    auto treeX = [&] { return c.exec("select st_y(geom) from objects where kind = 1").text(0, 0); };
    open({});
    endWithAStepWaiting();
    open({DialogPort::Answer::No});
    const QStringList asked = dialogs_.texts("question");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Не отправлено 1 изменений от \\d\\d\\.\\d\\d\\.20\\d\\d \\d\\d:\\d\\d\\. Отправить\\?$"))
                    .match(asked[0]).hasMatch()) << asked[0].toStdString();
    const QString told = dialogs_.texts("message").value(0);
    ASSERT_TRUE(told.startsWith(QStringLiteral("Неотправленные изменения сохранены в файле "))) << told.toStdString();
    EXPECT_TRUE(std::filesystem::is_regular_file(told.mid(43).toStdString())) << told.toStdString();
    EXPECT_EQ(treeX(), "200");
    EXPECT_EQ(w_->liveMap()->waiting(), 0u);
    endWithAStepWaiting();
    open({DialogPort::Answer::Yes});
    EXPECT_EQ(treeX(), "207");
    EXPECT_EQ(ws().map.ObjList[3]->Points[0].X, 207.0);
}
