// "Открыть из базы…" and "Сохранить в базу…" through the real window, against
// the database server of the tests.
#include "common/SmallMapFixture.h"
#include "common/TestServer.h"
#include "store/CityStore.h"
#include "store/Schema.h"

#include <QProgressDialog>
#include <QTimer>

using namespace dm;

namespace {
const auto* kServer = ::testing::AddGlobalTestEnvironment(new test::TestServer);

class DatabaseWindow : public SmallMapFixture {
protected:
    void SetUp() override {
        SmallMapFixture::SetUp();
        PgConnection admin(test::dbUrl("postgres"));
        admin.exec("drop database if exists t_window with (force)");
        admin.exec("create database t_window");
        url_ = test::dbUrl("t_window");
        PgConnection c(url_);
        c.exec("create extension postgis");
        InitSchema(c);
    }
    void TearDown() override {
        SmallMapFixture::TearDown();
        PgConnection admin(test::dbUrl("postgres"));
        admin.exec("drop database if exists t_window with (force)");
    }
    std::string url_;
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
    // Opened from it: for reading; an edit is taken back with the message.
    dialogs_.clear();
    dialogs_.inputs = {url};
    dialogs_.picks = {0};
    act("FileOpenDb")->trigger();
    EXPECT_EQ(w_->databaseMap(), QStringLiteral("Копия"));
    EXPECT_TRUE(w_->windowTitle().contains(QStringLiteral("база «t_window», карта «Копия» (только чтение)")));
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
