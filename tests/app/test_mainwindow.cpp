#include "app/MainWindow.h"
#include "app/MapImageWidget.h"
#include "app/StatusPanels.h"
#include "cli/SampleCity.h"
#include "common/ScriptedDialogs.h"

#include <QAction>
#include <QCalendarWidget>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;
using A = DialogPort::Answer;

namespace {

const QString kNoOrientation = QStringLiteral("Нет ориентирного файла.");

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("dm_app_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        sample::writeStartFolder(dir_, {});
        cityOr_ = dir_ / "Darvent" / "Darvent.or";
        cityBin_ = dir_ / "Darvent" / "Darvent.bin";
        original_ = readWholeFile(cityBin_);
    }
    void TearDown() override {
        if (w_) {
            w_->workspace().map.MapModified = false;
            w_->workspace().files.NamesModified = false;
            w_->workspace().files.StreetsModified = false;
            w_.reset();
        }
        fs::remove_all(dir_);
    }
    MainWindow& start(bool allTools = false, int screenWidth = 800) {
        AppOptions o;
        o.startDir = dir_;
        o.screenWidth = screenWidth;
        o.dialogs = &dialogs_;
        o.allTools = allTools;
        w_ = std::make_unique<MainWindow>(o);
        w_->resize(900, 650);
        w_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
        return *w_;
    }
    QAction* act(const char* id) { return w_->actions()[id]; }
    Workspace& ws() { return w_->workspace(); }

    fs::path dir_, cityOr_, cityBin_;
    std::vector<uint8_t> original_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<MainWindow> w_;
};

int nonWhite(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) n += img.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

}  // namespace

TEST_F(MainWindowTest, StartsOnTheCityMapFittedToTheScreen) {
    MainWindow& w = start();
    EXPECT_TRUE(dialogs_.asked.empty()) << dialogs_.asked.front().text.toStdString();
    const OrientationRecord o = ReadOrientation(cityOr_);
    const double scale = 800.0 / (o.YMax - o.YMin) * 1.447;
    EXPECT_DOUBLE_EQ(ws().view.view().Scale, scale);
    const QImage& img = ws().view.image;
    EXPECT_EQ(img.width(), rnd((o.YMax - o.YMin) * scale));
    EXPECT_EQ(img.height(), rnd((o.XMax - o.XMin) * scale));
    EXPECT_EQ(w.imageWidget()->size(), img.size());
    EXPECT_GT(nonWhite(img), img.width() * img.height() / 8);  // the city is drawn
    TObjList fromFile;
    LoadObjects(cityBin_, fromFile);
    EXPECT_EQ(ws().map.ObjList.size(), fromFile.size());
    char expected[64];
    std::snprintf(expected, sizeof expected, "1:%5.0f", (o.XMax - o.XMin) / (img.height() / 3.25) * 1000);
    EXPECT_EQ(w.statusPanels()->text(0), QString::fromLatin1(expected));
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral("Darvent.bin"))) << w.windowTitle().toStdString();
    EXPECT_EQ(ws().files.MapFileName, cityOr_);
    EXPECT_FALSE(ws().map.MapModified);
    // The classifier is loaded and fills the chooser.
    EXPECT_EQ(w.semanticChooser()->count(), int(sample::semanticLines().size()));
    EXPECT_EQ(w.semanticChooser()->currentIndex(), -1);
    EXPECT_EQ(w.semanticChooser()->placeholderText(), QStringLiteral("Семантика не выбрана"));
    EXPECT_EQ(ws().classifier.CurrentSemantic.Code, -1);
    EXPECT_EQ(ws().classifier.Znaks.ZnakIndex().size(), sample::symbols().size());
}

TEST_F(MainWindowTest, MenusAndButtonsWithHiddenAndUnavailableEntries) {
    MainWindow& w = start();
    for (const char* id : {"FergKartaMenu", "FileOpen", "FileSave", "FileSaveAs", "SaveOrn", "N6", "KfUm",
                           "ShowButton", "FindButton", "BlickButton", "CalndrButton", "AboutButton"}) {
        ASSERT_TRUE(act(id)) << id;
        EXPECT_TRUE(act(id)->isEnabled()) << id;
    }
    EXPECT_EQ(act("FileSave")->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(act("FileSave")->toolTip(), QStringLiteral("Сохранить изменения в файле"));
    EXPECT_EQ(act("N6")->shortcut(), QKeySequence(Qt::Key_F10));
    EXPECT_EQ(act("GeocordButton")->toolTip(), QStringLiteral("Координаты,  расстояния, площадь"));
    // Later operations exist but are disabled; hidden ones stay hidden.
    for (const char* id : {"RueLoad", "SloyShow", "PrintMapButton", "TableButton"})
        EXPECT_FALSE(act(id)->isEnabled()) << id;
    for (const char* id : {"Udline", "IsertFagmBitton", "TurnObj", "DivideButton", "DivPiketsMenu", "Bringtofront",
                           "SendToBack", "ToolsCre", "ClassifMenu", "OstnvMenu", "TumanMapButton", "RueDoma"})
        EXPECT_FALSE(act(id)->isVisible()) << id;
    EXPECT_FALSE(w.actions().menu("FormObjMenu")->menuAction()->isVisible());
    EXPECT_FALSE(w.actions().menu("SpiskiMenu")->menuAction()->isVisible());
    EXPECT_TRUE(act("DeleteButton")->isVisible());
    EXPECT_EQ(w.actions().menu("Nazvania")->title(), QStringLiteral("Названия"));
    // The editor menu holds its items in order.
    QStringList editor;
    for (QAction* a : w.actions().menu("EditMenu")->actions())
        if (!a->isSeparator()) editor << a->text();
    EXPECT_EQ(editor.first(), QStringLiteral("Удалить объект"));
    EXPECT_EQ(editor.last(), QStringLiteral("Отмена"));
}

TEST_F(MainWindowTest, AllToolsShowsTheHiddenEntries) {
    MainWindow& w = start(true);
    for (const char* id : {"Udline", "TurnObj", "ClassifMenu", "TumanMapButton", "Add1"})
        EXPECT_TRUE(act(id)->isVisible()) << id;
    EXPECT_TRUE(w.actions().menu("FormObjMenu")->menuAction()->isVisible());
}

TEST_F(MainWindowTest, ProgressIsPaintedInPanelThree) {
    MainWindow& w = start();
    std::vector<int> seen;
    QObject::connect(w.statusPanels(), &StatusPanels::progressPainted, [&](int p) { seen.push_back(p); });
    act("FergKartaMenu")->trigger();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_GE(seen.back(), 100);
    for (int p : seen) EXPECT_EQ(p % 10, 0);
    EXPECT_FALSE(w.statusPanels()->inProgress());
    seen.clear();
    act("ShowButton")->trigger();
    EXPECT_EQ(seen.back(), 100);
    seen.clear();
    ws().map.MapModified = true;
    act("FileSave")->trigger();
    EXPECT_EQ(seen.back(), 100);
}

TEST_F(MainWindowTest, SaveSaveAsAndSaveOrientationWriteTheRightFiles) {
    start();
    // Unchanged map: saved byte for byte.
    ws().map.MapModified = true;
    act("FileSave")->trigger();
    EXPECT_EQ(readWholeFile(cityBin_), original_);
    EXPECT_FALSE(ws().map.MapModified);
    EXPECT_EQ(ws().files.MapFileName, cityBin_);
    // A change is written.
    ws().map.ObjList[0]->Points[0].X += 10;
    ws().map.MapModified = true;
    act("FileSave")->trigger();
    TObjList back;
    LoadObjects(cityBin_, back);
    EXPECT_EQ(back[0]->Points[0].X, ws().map.ObjList[0]->Points[0].X);
    // Save as: the chosen name with ".bin".
    dialogs_.files.push_back(QString::fromStdString((dir_ / "copy.map").string()));
    act("FileSaveAs")->trigger();
    EXPECT_EQ(readWholeFile(dir_ / "copy.bin"), readWholeFile(cityBin_));
    EXPECT_EQ(ws().files.MapFileName, dir_ / "copy.bin");
    // Save orientation: the view shown now, other fields as they were.
    act("KfUm")->trigger();
    act("SaveOrn")->trigger();
    const OrientationRecord orig = ReadOrientation(cityOr_);
    const OrientationRecord saved = ReadOrientation(dir_ / "copy.or");
    const MapView& v = ws().view.view();
    EXPECT_EQ(saved.XMax, v.ViewXMax);
    EXPECT_EQ(saved.YMin, v.ViewYMin);
    EXPECT_DOUBLE_EQ(saved.XMax - saved.XMin, 2 * (orig.XMax - orig.XMin));
    EXPECT_EQ(saved.NextNode, orig.NextNode);
    EXPECT_EQ(saved.AxialMeridian, orig.AxialMeridian);
    EXPECT_EQ(saved.CoordKind, orig.CoordKind);
    // Cancelling "Save as" changes nothing.
    dialogs_.files.push_back(std::nullopt);
    act("FileSaveAs")->trigger();
    EXPECT_EQ(ws().files.MapFileName, dir_ / "copy.bin");
    EXPECT_TRUE(dialogs_.texts("message").isEmpty());
}

TEST_F(MainWindowTest, SavingAnEmptyMapWritesNothing) {
    start();
    ws().map.clearObjects();
    ws().map.MapModified = true;
    act("FileSave")->trigger();
    EXPECT_EQ(readWholeFile(cityBin_), original_);
    EXPECT_FALSE(ws().map.MapModified);
}

TEST_F(MainWindowTest, FailedSaveKeepsTheChangeFlagAndTheOldFile) {
    start();
    ws().map.MapModified = true;
    fs::remove(cityBin_);
    fs::create_directories(cityBin_ / "blocker");  // a folder where the file should go
    act("FileSave")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("Darvent.bin")));
    EXPECT_TRUE(ws().map.MapModified);
}

TEST_F(MainWindowTest, OpeningAnotherMap) {
    MainWindow& w = start();
    // A second map: the city cut down to 100 objects in another folder.
    fs::create_directories(dir_ / "other");
    MapDoc small;
    sample::buildCity(small, {5, 100});
    WriteOrientation(dir_ / "other" / "Small.or", small.Orientation);
    SaveObjects(dir_ / "other" / "Small.bin", small.ObjList);
    dialogs_.files.push_back(QString::fromStdString((dir_ / "other" / "Small.bin").string()));
    act("FileOpen")->trigger();
    EXPECT_TRUE(dialogs_.texts("message").isEmpty());
    EXPECT_EQ(ws().map.ObjList.size(), 100u);
    EXPECT_EQ(ws().files.MapFileName, dir_ / "other" / "Small.bin");
    EXPECT_EQ(ws().files.NamesFileName, dir_ / "other" / "Small.nam");
    EXPECT_EQ(w.statusPanels()->text(5), QStringLiteral("%1").arg(ws().view.image.height(), 4));
    EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral("Small.bin")));
    // Back to the city map.
    act("FergKartaMenu")->trigger();
    EXPECT_EQ(ws().files.MapFileName, cityOr_);
    EXPECT_GT(ws().map.ObjList.size(), 1000u);
}

TEST_F(MainWindowTest, MissingOrDamagedFilesKeepTheCurrentMap) {
    start();
    const size_t count = ws().map.ObjList.size();
    TObj* first = ws().map.ObjList[0];
    fs::create_directories(dir_ / "other");
    writeFileAtomically(dir_ / "other" / "NoOr.bin", std::vector<uint8_t>(original_.begin(), original_.begin() + 500));
    dialogs_.files.push_back(QString::fromStdString((dir_ / "other" / "NoOr.bin").string()));
    act("FileOpen")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{kNoOrientation});
    EXPECT_EQ(ws().map.ObjList.size(), count);
    EXPECT_EQ(ws().map.ObjList[0], first);
    EXPECT_EQ(ws().files.MapFileName, cityOr_);  // a later save still goes to the city map
    // A damaged object file: a message naming it, the map stays.
    WriteOrientation(dir_ / "other" / "NoOr.or", ReadOrientation(cityOr_));
    dialogs_.clear();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "other" / "NoOr.bin").string()));
    act("FileOpen")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("NoOr.bin")));
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("смещение")));
    EXPECT_EQ(ws().map.ObjList.size(), count);
    EXPECT_EQ(ws().files.MapFileName, cityOr_);
    // A missing object file opens the map empty.
    fs::remove(dir_ / "other" / "NoOr.bin");
    dialogs_.clear();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "other" / "NoOr.bin").string()));
    act("FileOpen")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].endsWith(QStringLiteral("NoOr.bin не существует")));
    EXPECT_TRUE(ws().map.ObjList.empty());
    // "Карта города" with the city's orientation file gone.
    fs::remove(cityOr_);
    dialogs_.clear();
    act("FergKartaMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{kNoOrientation});
    EXPECT_EQ(ws().files.MapFileName, dir_ / "other" / "NoOr.bin");
}

TEST_F(MainWindowTest, UnsavedChangesAreOfferedBeforeAnotherMapOpens) {
    start();
    ws().map.MapModified = true;
    const size_t count = ws().map.ObjList.size();
    ws().map.ObjList.remove(ws().map.ObjList[0]);
    dialogs_.answers = {A::Cancel};
    act("FergKartaMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("question3"), QStringList{QStringLiteral("Сохранить измениения в карте?")});
    EXPECT_EQ(ws().map.ObjList.size(), count - 1);
    EXPECT_TRUE(ws().map.MapModified);
    // Yes saves first, then opens.
    dialogs_.clear();
    dialogs_.answers = {A::Yes};
    act("FergKartaMenu")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), count - 1);  // the saved map, reopened
    EXPECT_FALSE(ws().map.MapModified);
    // Names and streets are asked about too.
    ws().files.NamesModified = true;
    ws().files.StreetsModified = true;
    dialogs_.clear();
    dialogs_.answers = {A::No, A::Cancel};
    act("FergKartaMenu")->trigger();
    EXPECT_EQ(dialogs_.texts("question3"), (QStringList{QStringLiteral("Сохранить изменения в названиях?"),
                                                        QStringLiteral("Сохранить изменения в улицах?")}));
    EXPECT_TRUE(ws().files.NamesModified);
}

TEST_F(MainWindowTest, ClosingQuestionsInOrderAndOnlyWhenNeeded) {
    MainWindow& w = start();
    // Nothing changed: no question.
    EXPECT_TRUE(w.lifecycle().FormCloseQuery());
    EXPECT_TRUE(dialogs_.asked.empty());
    // Everything changed, all answered No: nothing written.
    ws().map.MapModified = true;
    ws().files.NamesModified = true;
    ws().files.StreetsModified = true;
    ws().map.ObjList.remove(ws().map.ObjList[0]);
    dialogs_.answers = {A::No, A::No, A::No};
    EXPECT_TRUE(w.lifecycle().FormCloseQuery());
    EXPECT_EQ(dialogs_.texts("question"), (QStringList{QStringLiteral("Сохранить измениения в карте?"),
                                                       QStringLiteral("Сохранить изменения в названиях?"),
                                                       QStringLiteral("Сохранить изменения в улицах?")}));
    EXPECT_EQ(readWholeFile(cityBin_), original_);
    // Yes for the map: the object file, and the orientation record as held
    // (with its next node) when it changed.
    ws().files.NamesModified = ws().files.StreetsModified = false;
    ws().map.Orientation.NextNode += 5;
    ws().map.OrientationModified = true;
    dialogs_.clear();
    dialogs_.answers = {A::Yes};
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(dialogs_.texts("question").size(), 1);
    TObjList back;
    LoadObjects(cityBin_, back);
    EXPECT_EQ(back.size(), ws().map.ObjList.size());
    EXPECT_EQ(ReadOrientation(cityOr_).NextNode, ws().map.Orientation.NextNode);
}

TEST_F(MainWindowTest, AFailedSaveOnClosingKeepsTheWindowOpen) {
    MainWindow& w = start();
    ws().map.MapModified = true;
    fs::remove(cityBin_);
    fs::create_directories(cityBin_ / "blocker");
    dialogs_.answers = {A::Yes};
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(ws().map.MapModified);
}

TEST_F(MainWindowTest, KeyboardScrollsByTheTableSteps) {
    MainWindow& w = start(false, 3000);
    QScrollBar* h = w.scrollBox()->horizontalScrollBar();
    QScrollBar* v = w.scrollBox()->verticalScrollBar();
    ASSERT_GT(h->maximum(), 2 * w.width());
    ASSERT_GT(v->maximum(), 2 * w.height());
    QWidget* target = w.imageWidget();
    QTest::keyClick(target, Qt::Key_Right);
    EXPECT_EQ(h->value(), 8);
    QTest::keyClick(target, Qt::Key_Down);
    QTest::keyClick(target, Qt::Key_Down);
    EXPECT_EQ(v->value(), 16);
    QTest::keyClick(target, Qt::Key_PageDown);
    EXPECT_EQ(v->value(), 16 + w.height());
    QTest::keyClick(target, Qt::Key_PageUp);
    EXPECT_EQ(v->value(), 16);
    QTest::keyClick(target, Qt::Key_End);
    EXPECT_EQ(h->value(), 8 + w.width());
    QTest::keyClick(target, Qt::Key_Home);
    QTest::keyClick(target, Qt::Key_Left);
    EXPECT_EQ(h->value(), 0);
    QTest::keyClick(target, Qt::Key_Up);
    QTest::keyClick(target, Qt::Key_Up);
    QTest::keyClick(target, Qt::Key_Up);
    EXPECT_EQ(v->value(), 0);  // not below 0
}

TEST_F(MainWindowTest, ZoomOutRedrawAndBlinkButtons) {
    MainWindow& w = start();
    const MapView before = ws().view.view();
    const QSize size = ws().view.image.size();
    const QString readout = w.statusPanels()->text(0);
    w.scrollBox()->verticalScrollBar()->setValue(40);
    act("KfUm")->trigger();
    const MapView& after = ws().view.view();
    EXPECT_DOUBLE_EQ(after.Scale, before.Scale / 2);
    EXPECT_DOUBLE_EQ(after.ViewXMax - after.ViewXMin, 2 * (before.ViewXMax - before.ViewXMin));
    EXPECT_EQ(ws().view.image.size(), size);
    EXPECT_EQ(w.scrollBox()->verticalScrollBar()->value(), 0);
    char expected[64];
    std::snprintf(expected, sizeof expected, "1:%5.0f", 2 * ws().view.view().ScaleDenominator / 2);
    EXPECT_EQ(w.statusPanels()->text(0), QString::fromLatin1(expected));
    EXPECT_NE(w.statusPanels()->text(0), readout);
    // The whole city now fits in the middle: the picture's edges are white.
    EXPECT_EQ(ws().view.image.pixel(2, 2), qRgb(255, 255, 255));
    EXPECT_GT(nonWhite(ws().view.image), 1000);

    // Blinking follows its button; a redraw switches it and selection off,
    // and unchecks "Названия карты".
    act("FindButton")->trigger();
    EXPECT_TRUE(ws().modes.SelectMode);
    act("BlickButton")->trigger();
    EXPECT_TRUE(ws().view.blink.BlinkOn);
    EXPECT_FALSE(ws().modes.SelectMode);
    EXPECT_FALSE(act("FindButton")->isChecked());
    act("FindButton")->trigger();
    act("MapNamesItem")->setChecked(true);
    act("ShowButton")->trigger();
    EXPECT_FALSE(ws().view.blink.BlinkOn);
    EXPECT_FALSE(act("BlickButton")->isChecked());
    EXPECT_FALSE(ws().modes.SelectMode);
    EXPECT_FALSE(act("FindButton")->isChecked());
    EXPECT_FALSE(act("MapNamesItem")->isChecked());
    EXPECT_EQ(ws().map.CurObj, ws().map.ObjList.last());
}

TEST_F(MainWindowTest, ChooserCalendarAndAboutBox) {
    MainWindow& w = start();
    w.KodSem(-1);
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("Семантика не выбрана")});
    const int row = w.semanticChooser()->findText(QStringLiteral("...жилые"));
    ASSERT_GE(row, 0);
    w.semanticChooser()->setCurrentIndex(row);
    emit w.semanticChooser()->activated(row);
    EXPECT_EQ(ws().classifier.CurrentSemantic.Code, 1010);
    EXPECT_EQ(ws().classifier.CurrentSemantic.BrushStyle, 0);
    // "Семантика" hides and shows the chooser.
    act("SemnShow")->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.semanticChooser()->isVisible());
    act("SemnShow")->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.semanticChooser()->isVisible());

    EXPECT_FALSE(w.calendar()->isVisible());
    EXPECT_EQ(w.calendar()->selectedDate(), QDate::currentDate());
    act("CalndrButton")->trigger();
    EXPECT_TRUE(w.calendar()->isVisible());
    act("CalndrButton")->trigger();
    EXPECT_FALSE(w.calendar()->isVisible());

    QString product;
    dialogs_.onDialog = [&](QDialog& d) {
        for (QLabel* l : d.findChildren<QLabel*>())
            if (l->objectName() == QStringLiteral("ProductName")) product = l->text();
        return QDialog::Accepted;
    };
    act("AboutButton")->trigger();
    EXPECT_EQ(dialogs_.texts("dialog"), QStringList{QStringLiteral("О программе")});
    EXPECT_EQ(product, QStringLiteral("Электронная карта          г. Дарвента      "));
}

TEST_F(MainWindowTest, MissingClassifierIsReportedAndTheMapStillOpens) {
    fs::remove(dir_ / "sem100n.ris");
    fs::remove(dir_ / "sem100n.smn");
    MainWindow& w = start();
    EXPECT_EQ(dialogs_.texts("message").size(), 2);
    EXPECT_GT(ws().map.ObjList.size(), 1000u);
    EXPECT_EQ(w.semanticChooser()->count(), 0);
}

TEST_F(MainWindowTest, ClosingSaveAfterAZoomWritesTheExtentAsOpened) {
    const OrientationRecord opened = ReadOrientation(cityOr_);
    MainWindow& w = start();
    act("KfUv")->trigger();
    QTest::mouseClick(w.imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));
    QTest::mouseClick(w.imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
    ASSERT_LT(ws().view.view().ViewXMax, opened.XMax);  // zoomed in
    ws().map.MapModified = true;
    ws().map.Orientation.NextNode = opened.NextNode + 3;
    ws().map.OrientationModified = true;
    dialogs_.answers = {A::Yes};
    w.close();
    const OrientationRecord saved = ReadOrientation(cityOr_);
    EXPECT_EQ(saved.XMax, opened.XMax);
    EXPECT_EQ(saved.XMin, opened.XMin);
    EXPECT_EQ(saved.YMax, opened.YMax);
    EXPECT_EQ(saved.YMin, opened.YMin);
    EXPECT_EQ(saved.AxialMeridian, opened.AxialMeridian);
    EXPECT_EQ(saved.CoordKind, opened.CoordKind);
    EXPECT_EQ(saved.NextNode, opened.NextNode + 3);
}

TEST_F(MainWindowTest, SaveOrientationWritesTheViewShown) {
    const OrientationRecord opened = ReadOrientation(cityOr_);
    MainWindow& w = start();
    act("KfUv")->trigger();
    QTest::mouseClick(w.imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));
    QTest::mouseClick(w.imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
    const MapView v = ws().view.view();
    act("SaveOrn")->trigger();
    const OrientationRecord saved = ReadOrientation(cityOr_);
    EXPECT_EQ(saved.XMax, v.ViewXMax);
    EXPECT_EQ(saved.XMin, v.ViewXMin);
    EXPECT_EQ(saved.YMax, v.ViewYMax);
    EXPECT_EQ(saved.YMin, v.ViewYMin);
    EXPECT_NE(saved.XMax, opened.XMax);
    EXPECT_EQ(saved.NextNode, opened.NextNode);
}
