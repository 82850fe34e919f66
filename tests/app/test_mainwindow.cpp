#include "app/MainWindow.h"
#include "app/MapImageWidget.h"
#include "app/StartupPreload.h"
#include "app/StatusPanels.h"
#include "app/StopsWindow.h"
#include "app/StreetListDialog.h"
#include "app/DisplayDialogs.h"
#include "cli/SampleCity.h"
#include "common/ScriptedDialogs.h"
#include "app/QtDialogPort.h"
#include "app/RouteInfoWindow.h"
#include "app/Translation.h"
#include "editing/Measure.h"
#include "names/Names.h"

#include <QAction>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QAbstractProxyModel>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <fstream>

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
    MainWindow& start(bool allTools = false, int screenWidth = 800, bool qtDialogs = false,
                      StartupPreload* preload = nullptr) {
        AppOptions o;
        o.preload = preload;
        o.startDir = dir_;
        o.screenWidth = screenWidth;
        o.dialogs = qtDialogs ? nullptr : &dialogs_;
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

TEST_F(MainWindowTest, TheCityReadWhileTheSplashShowsIsTheMapOpeningReads) {
    // Objects of pen width 0 in the file, which drawing gives the width 1.
    {
        TObjList objects;
        LoadObjects(cityBin_, objects);
        for (size_t k : {size_t(0), size_t(1), objects.size() / 2, objects.size() - 1}) objects[k]->PenWidth = 0;
        SaveObjects(cityBin_, objects);
    }
    // Opened by the window: the objects' fingerprint (of what the files hold)
    // is worked out once.
    EXPECT_EQ(start().savedState().objectPrints(), 1u);
    EXPECT_EQ(ws().map.ObjList[1]->PenWidth, 1);
    EXPECT_EQ(ws().map.ObjList.last()->PenWidth, 1);
    const QImage plain = ws().view.image;
    std::vector<int> numbers;
    for (const auto& o : ws().map.ObjList) numbers.push_back(o->Number);
    ASSERT_GT(numbers.size(), 100u);
    w_.reset();

    // Taken over: the same picture and objects, the index already built, and
    // the map clean; an edit taken back leaves it clean again.
    StartupPreload preload;
    preload.start(dir_, "Darvent", 800);
    MainWindow& w = start(false, 800, false, &preload);
    EXPECT_TRUE(dialogs_.asked.empty());
    EXPECT_EQ(ws().view.image, plain);
    std::vector<int> again;
    for (const auto& o : ws().map.ObjList) again.push_back(o->Number);
    EXPECT_EQ(again, numbers);
    std::vector<TObj*> found;
    ws().map.Index.query(-1e12, 1e12, -1e12, 1e12, found);
    EXPECT_EQ(found.size(), numbers.size());
    EXPECT_EQ(ws().map.Index.builds(), 1u);
    EXPECT_FALSE(ws().map.MapModified);
    EXPECT_EQ(w.savedState().objectPrints(), 0u);  // the one made while reading
    TObj* first = ws().map.ObjList[0];
    ws().map.CurObj = first;
    w.edits().DeleteButtonClick();
    ASSERT_EQ(ws().map.ObjList.size(), numbers.size() - 1);
    EXPECT_TRUE(ws().map.MapModified);
    w.UndoClick();
    ASSERT_EQ(ws().map.ObjList.size(), numbers.size());
    EXPECT_FALSE(ws().map.MapModified);
    EXPECT_EQ(w.savedState().objectPrints(), 1u);  // the objects after the undo
    // Opened again (read this time): one more, counted on across the maps.
    ASSERT_TRUE(w.lifecycle().OpenCityMap());
    EXPECT_FALSE(ws().map.MapModified);
    EXPECT_EQ(w.savedState().objectPrints(), 2u);
    w_.reset();

    // The list drawn in two halves, the second on a picture of its own laid
    // over the first: the same picture.
    {
        StartupPreload halves;
        halves.drawerWaits = true;
        halves.smallestSplit = 1;
        halves.start(dir_, "Darvent", 800);
        start(false, 800, false, &halves);
        EXPECT_EQ(ws().view.image, plain);
        EXPECT_EQ(ws().map.ObjList.size(), numbers.size());
        EXPECT_EQ(ws().map.Index.builds(), 1u);
        w_.reset();
    }
    // The objects file changed after it was read: opening reads it again.
    {
        StartupPreload stale;
        stale.start(dir_, "Darvent", 800);
        stale.finish();
        TObjList fewer;
        LoadObjects(cityBin_, fewer);
        fewer.remove(fewer[3]);
        SaveObjects(cityBin_, fewer);
        start(false, 800, false, &stale);
        EXPECT_EQ(ws().map.ObjList.size(), numbers.size() - 1);
        w_.reset();
    }
    // Taken only for the view and the drawing it was made for: the same
    // scale elsewhere, or areas without fill, read again.
    {
        const OrientationRecord o = ReadOrientation(cityOr_);
        MapView v;
        v.setExtent(o);
        v.FitScaleToScreen(800);
        v.Scale *= kOpenZoom;
        RenderContext ctx;
        ctx.SeriesSelector = 10;
        ZnakSet symbols;
        ctx.znaks = &symbols;
        auto made = [&](const MapView& view, const RenderContext& c) {
            StartupPreload p;
            p.start(dir_, "Darvent", 800);
            return p.take(cityOr_, view, c) != nullptr;
        };
        EXPECT_TRUE(made(v, ctx));
        // How the picture was drawn, with the drawer held back until the
        // end of the list: the second half over the first when it holds at
        // least the smallest split, and every object once.
        const size_t all = numbers.size() - 1, half = all / 2;  // one object less, from above
        for (const size_t smallest : {size_t(1), half, half + 1}) {
            StartupPreload p;
            p.drawerWaits = true;
            p.smallestSplit = smallest;
            p.start(dir_, "Darvent", 800);
            const std::unique_ptr<PreloadedMap> m = p.take(cityOr_, v, ctx);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->drawnOver, smallest <= half ? half : 0) << smallest;
            EXPECT_EQ(m->drawnInTurn, smallest <= half ? all - half : all) << smallest;
        }
        {
            StartupPreload p;  // as the program runs it
            p.start(dir_, "Darvent", 800);
            const std::unique_ptr<PreloadedMap> m = p.take(cityOr_, v, ctx);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->drawnInTurn + m->drawnOver, all);
        }
        MapView moved = v;
        moved.ViewYMin += 10;
        moved.ViewYMax += 10;
        EXPECT_FALSE(made(moved, ctx));
        RenderContext noFill = ctx;
        noFill.NoAreaFill = true;
        EXPECT_FALSE(made(v, noFill));
        RenderContext noSymbols = ctx;
        noSymbols.znaks = nullptr;
        EXPECT_FALSE(made(v, noSymbols));
        // The symbol file under another letter case, changed once read.
        fs::rename(dir_ / "sem100n.ris", dir_ / "SEM100N.RIS");
        {
            StartupPreload p;
            p.start(dir_, "Darvent", 800);
            p.finish();
            std::ofstream(dir_ / "SEM100N.RIS", std::ios::binary | std::ios::app).put('\0');
            EXPECT_EQ(p.take(cityOr_, v, ctx), nullptr);
        }
        fs::rename(dir_ / "SEM100N.RIS", dir_ / "sem100n.ris");
    }
    // Another screen width than the one it was made for: read again.
    {
        StartupPreload other;
        other.start(dir_, "Darvent", 640);
        start(false, 800, false, &other);
        EXPECT_EQ(ws().view.image.width(), plain.width());
        w_.reset();
    }
    // A damaged file: the message of opening, naming the file.
    {
        const std::vector<uint8_t> whole = readWholeFile(cityBin_);
        std::ofstream(cityBin_, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(whole.data()), std::streamsize(whole.size() / 2 + 3));
        StartupPreload damaged;
        damaged.start(dir_, "Darvent", 800);
        start(false, 800, false, &damaged);
        ASSERT_EQ(dialogs_.asked.size(), 1u);
        EXPECT_TRUE(dialogs_.asked[0].text.contains(QStringLiteral("Darvent.bin"))) << dialogs_.asked[0].text.toStdString();
    }
}

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
    // Saving a boundary waits for a stored composed object; hidden items stay hidden.
    for (const char* id : {"SaveRay", "AnklvSave"}) EXPECT_FALSE(act(id)->isEnabled()) << id;
    for (const char* id : {"SaveLasso", "LassoGrn", "Viloyat1"}) EXPECT_TRUE(act(id)->isEnabled()) << id;
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

TEST_F(MainWindowTest, AFailedSaveAsLeavesNeitherFileOfTheNewMap) {
    start();
    ws().map.MapModified = true;
    fs::create_directories(dir_ / "copy.bin" / "blocker");  // the objects cannot go there
    dialogs_.files.push_back(QString::fromStdString((dir_ / "copy.map").string()));
    act("FileSaveAs")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_FALSE(fs::exists(dir_ / "copy.or"));
    EXPECT_EQ(ws().files.MapFileName, cityOr_);
    EXPECT_TRUE(ws().map.MapModified);
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    // Once the objects can be written, both files are there.
    fs::remove_all(dir_ / "copy.bin");
    dialogs_.files.push_back(QString::fromStdString((dir_ / "copy.map").string()));
    act("FileSaveAs")->trigger();
    EXPECT_EQ(ReadOrientation(dir_ / "copy.or").NextNode, ReadOrientation(cityOr_).NextNode);
    EXPECT_EQ(readWholeFile(dir_ / "copy.bin"), original_);
}

TEST_F(MainWindowTest, OpeningAnotherMap) {
    MainWindow& w = start();
    // A second map: the city cut down to 100 objects in another folder.
    fs::create_directories(dir_ / "other");
    MapDoc small;
    sample::buildCity(small, {.seed = 5, .objects = 100});
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
    EXPECT_EQ(dialogs_.texts("question3"), (QStringList{QStringLiteral("Сохранить измениения в карте?"),
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
    EXPECT_EQ(dialogs_.texts("question3").size(), 1);
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

TEST_F(MainWindowTest, TheClosingSaveWritesTheMapAndItsCompanionsTogether) {
    MainWindow& w = start();
    const fs::path folder = dir_ / "Darvent";
    const fs::path nam = folder / "Darvent.nam";
    ASSERT_EQ(ws().files.NamesFileName, folder / "Darvent.nam");
    const auto orBefore = readWholeFile(cityOr_);
    const auto namBefore = readWholeFile(nam);
    const size_t count = ws().map.ObjList.size();
    ws().map.ObjList.remove(ws().map.ObjList[0]);
    ws().map.MapModified = true;
    ws().map.Orientation.NextNode += 5;
    ws().map.OrientationModified = true;
    ws().files.NamesModified = true;
    auto entries = [&] {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    };
    const auto before = entries();
    // The names cannot be written (their folder is gone): the map's files
    // stay as they were too, and nothing is left behind.
    ws().files.NamesFileName = dir_ / "gone" / "Darvent.nam";
    dialogs_.answers = {A::Yes, A::Yes};
    w.close();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("gone")));
    EXPECT_EQ(readWholeFile(cityBin_), original_);
    EXPECT_EQ(readWholeFile(cityOr_), orBefore);
    EXPECT_EQ(entries(), before);
    EXPECT_TRUE(ws().map.MapModified);
    EXPECT_TRUE(ws().map.OrientationModified);
    EXPECT_TRUE(ws().files.NamesModified);
    // The same when the street register cannot be written: neither the map
    // nor the names (one label fewer now) change.
    ASSERT_GE(w.names().MapNames.size(), 2u);
    w.names().MapNames.pop_back();
    ws().files.NamesFileName = folder / "Darvent.nam";
    ws().files.StreetsModified = true;
    ws().files.StreetsFileName = dir_ / "gone" / "Darvent.rue";
    dialogs_.clear();
    dialogs_.answers = {A::Yes, A::Yes, A::Yes};
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_EQ(readWholeFile(cityBin_), original_);
    EXPECT_EQ(readWholeFile(cityOr_), orBefore);
    EXPECT_EQ(readWholeFile(nam), namBefore);
    EXPECT_EQ(entries(), before);
    // Once everything can be written, all of it is.
    ws().files.StreetsModified = false;
    dialogs_.clear();
    dialogs_.answers = {A::Yes, A::Yes};
    w.close();
    EXPECT_FALSE(w.isVisible());
    TObjList back;
    LoadObjects(cityBin_, back);
    EXPECT_EQ(back.size(), count - 1);
    EXPECT_EQ(ReadOrientation(cityOr_).NextNode, ws().map.Orientation.NextNode);
    std::vector<NameRef> labels;
    LoadNames(nam, labels);
    EXPECT_EQ(labels.size(), w.names().MapNames.size());
    EXPECT_NE(readWholeFile(nam), namBefore);
    EXPECT_EQ(entries(), before);
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
    const QSize room = w.scrollBox()->viewport()->size();
    const QPoint middle(room.width() / 2, room.height() / 2);
    const QPoint before0(w.scrollBox()->horizontalScrollBar()->value(), 40);
    act("KfUm")->trigger();
    const MapView& after = ws().view.view();
    EXPECT_DOUBLE_EQ(after.Scale, before.Scale / 2);
    EXPECT_DOUBLE_EQ(after.ViewXMax - after.ViewXMin, 2 * (before.ViewXMax - before.ViewXMin));
    EXPECT_EQ(ws().view.image.size(), size);
    // The window keeps its centre: the picture pixel in the middle of the
    // window moves halfway towards the picture's centre (the zoom's centre).
    auto expectedScroll = [&](int before, int m, int picture, int room) {
        const double p = picture / 2.0 + (before + m - picture / 2.0) / 2;
        return std::clamp(int(std::lround(p)) - m, 0, std::max(0, picture - room));
    };
    EXPECT_NEAR(w.scrollBox()->verticalScrollBar()->value(),
                expectedScroll(before0.y(), middle.y(), size.height(), room.height()), 1);
    EXPECT_NEAR(w.scrollBox()->horizontalScrollBar()->value(),
                expectedScroll(before0.x(), middle.x(), size.width(), room.width()), 1);
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

namespace {
// Runs `act` on the next modal box that opens (after `exec` has shown it).
void onNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}
}  // namespace

TEST_F(MainWindowTest, SaveAsThenOpenRestoresTheMapAndItsExtent) {
    MainWindow& w = start();
    const auto cityOrBytes = readWholeFile(cityOr_);
    const MapView opened = ws().view.view();
    act("KfUm")->trigger();  // the view shown is not what is written
    fs::create_directories(dir_ / "copies");
    const fs::path copy = dir_ / "copies" / "Kopie.bin";
    dialogs_.files.push_back(QString::fromStdString(copy.string()));
    act("FileSaveAs")->trigger();
    // The orientation record as read at opening goes beside the new name.
    EXPECT_EQ(readWholeFile(dir_ / "copies" / "Kopie.or"), cityOrBytes);
    EXPECT_EQ(readWholeFile(copy), original_);
    EXPECT_EQ(w.windowTitle(), QString::fromStdString(copy.string()));
    // Opened again: the same objects and the same extent.
    dialogs_.files.push_back(QString::fromStdString(copy.string()));
    act("FileOpen")->trigger();
    EXPECT_TRUE(dialogs_.texts("message").isEmpty()) << dialogs_.texts("message").join(";").toStdString();
    const MapView& v = ws().view.view();
    EXPECT_EQ(v.ViewXMax, opened.ViewXMax);
    EXPECT_EQ(v.ViewXMin, opened.ViewXMin);
    EXPECT_EQ(v.ViewYMax, opened.ViewYMax);
    EXPECT_EQ(v.ViewYMin, opened.ViewYMin);
    EXPECT_EQ(v.Scale, opened.Scale);
    TObjList back;
    LoadObjects(cityBin_, back);
    ASSERT_EQ(ws().map.ObjList.size(), back.size());
    BinWriter a, b;
    for (const auto& o : ws().map.ObjList) EncodeObject(a, *o);
    for (const auto& o : back) EncodeObject(b, *o);
    EXPECT_EQ(a.data(), b.data());
    // An orientation file already under the chosen name stays as it is.
    const std::vector<uint8_t> other(48, 0x11);
    {
        std::FILE* f = std::fopen((dir_ / "copies" / "Other.or").c_str(), "wb");
        std::fwrite(other.data(), 1, other.size(), f);
        std::fclose(f);
    }
    dialogs_.files.push_back(QString::fromStdString((dir_ / "copies" / "Other.bin").string()));
    act("FileSaveAs")->trigger();
    EXPECT_EQ(readWholeFile(dir_ / "copies" / "Other.or"), other);
    EXPECT_EQ(readWholeFile(dir_ / "copies" / "Other.bin"), original_);
}

TEST_F(MainWindowTest, CancelOnAnyClosingQuestionKeepsTheWindowAndTheFiles) {
    MainWindow& w = start();
    const auto nam = readWholeFile(dir_ / "Darvent" / "Darvent.nam");
    for (int at = 0; at < 3; ++at) {
        ws().map.MapModified = ws().files.NamesModified = ws().files.StreetsModified = true;
        ws().map.ObjList[0]->Points[0].X += 1;
        dialogs_.clear();
        dialogs_.answers.clear();
        for (int i = 0; i < at; ++i) dialogs_.answers.push_back(A::Yes);
        dialogs_.answers.push_back(A::Cancel);
        w.close();
        EXPECT_TRUE(w.isVisible()) << at;
        EXPECT_EQ(dialogs_.texts("question3").size(), at + 1) << at;
        // Nothing written, the change flags as they were.
        EXPECT_EQ(readWholeFile(cityBin_), original_) << at;
        EXPECT_EQ(readWholeFile(dir_ / "Darvent" / "Darvent.nam"), nam) << at;
        EXPECT_TRUE(ws().map.MapModified && ws().files.NamesModified && ws().files.StreetsModified) << at;
    }
    // Yes and No act as before.
    dialogs_.answers = {A::No, A::No, A::No};
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(readWholeFile(cityBin_), original_);
}

TEST_F(MainWindowTest, EscapeOnAClosingQuestionIsCancelAndTheBoxIsRussianAndCentred) {
    MainWindow& w = start(false, 800, true);
    w.move(200, 150);
    ws().map.MapModified = true;
    ws().map.ObjList[0]->Points[0].X += 1;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QPoint boxCentre;
    onNextModal([&](QWidget* box) {
        title = box->windowTitle();
        if (auto* mb = qobject_cast<QMessageBox*>(box)) {
            icon = mb->icon();
            for (QAbstractButton* b : mb->buttons()) buttons << b->text();
        }
        boxCentre = box->frameGeometry().center();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(title, QStringLiteral("Подтверждение"));
    EXPECT_EQ(icon, QMessageBox::Question);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("Отмена")}));
    const QPoint mainCentre = w.frameGeometry().center();
    EXPECT_LE(std::abs(boxCentre.x() - mainCentre.x()), 2);
    EXPECT_LE(std::abs(boxCentre.y() - mainCentre.y()), 2);
    EXPECT_EQ(readWholeFile(cityBin_), original_);
    EXPECT_TRUE(ws().map.MapModified);
    ws().map.MapModified = false;
}

TEST_F(MainWindowTest, MessageAndErrorBoxesHaveRussianTitlesAndIcons) {
    MainWindow& w = start();
    w.move(100, 80);
    QtDialogPort port(&w);
    for (int kind = 0; kind < 2; ++kind) {
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QPoint boxCentre;
        onNextModal([&](QWidget* box) {
            title = box->windowTitle();
            if (auto* mb = qobject_cast<QMessageBox*>(box)) icon = mb->icon();
            boxCentre = box->frameGeometry().center();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        if (kind == 0) port.message(QStringLiteral("Объект не найден"));
        else port.error(QStringLiteral("Файл повреждён"));
        EXPECT_EQ(title, kind == 0 ? QStringLiteral("Сообщение") : QStringLiteral("Ошибка"));
        EXPECT_EQ(icon, kind == 0 ? QMessageBox::Information : QMessageBox::Critical);
        EXPECT_LE(std::abs(boxCentre.x() - w.frameGeometry().center().x()), 2) << kind;
        EXPECT_LE(std::abs(boxCentre.y() - w.frameGeometry().center().y()), 2) << kind;
    }
}

TEST_F(MainWindowTest, AfterADialogTheWindowThatWasActiveIsActiveAgain) {
    MainWindow& w = start();
    QtDialogPort port(&w);
    int backToMap = 0;
    port.afterModal = [&] {
        ++backToMap;
        w.takeKeys();
    };
    auto answerNo = [&] {
        onNextModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    };
    // From the main window: the main window again and the map with the keys.
    w.activateWindow();
    QApplication::processEvents();
    answerNo();
    port.message(QStringLiteral("Объект не найден"));
    QApplication::processEvents();
    EXPECT_EQ(backToMap, 1);
    EXPECT_EQ(QApplication::activeWindow(), &w);
    EXPECT_EQ(w.focusWidget(), static_cast<QWidget*>(w.imageWidget()));
    // From a tool window: that window again, not the main one.
    QWidget* stops = w.stopsWindow();
    stops->show();
    stops->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), stops);
    // Its questions and file dialogs open in front of it, over its middle.
    stops->move(w.frameGeometry().right() - stops->width(), w.frameGeometry().top() + 40);
    QWidget* owner = nullptr;
    QPoint boxCentre;
    auto answerNoNoting = [&] {
        onNextModal([&](QWidget* box) {
            owner = box->parentWidget();
            boxCentre = box->frameGeometry().center();
            QTest::keyClick(box, Qt::Key_Escape);
        });
    };
    answerNoNoting();
    EXPECT_EQ(port.question(QStringLiteral("Удалить?"), false), DialogPort::Answer::No);
    EXPECT_EQ(owner, stops);
    EXPECT_LE((boxCentre - stops->frameGeometry().center()).manhattanLength(), 4);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), stops);
    answerNoNoting();
    EXPECT_FALSE(port.openFileName(QStringLiteral("Загрузить"), QString(), {QStringLiteral("Все файлы (*)")}));
    EXPECT_EQ(owner, stops);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), stops);
    answerNo();
    EXPECT_EQ(port.question(QStringLiteral("Удалить?"), false), DialogPort::Answer::No);
    QApplication::processEvents();
    EXPECT_EQ(backToMap, 1);
    EXPECT_EQ(QApplication::activeWindow(), stops);
    // The tool window closed: the main window and the map have the keys.
    w.imageWidget()->clearFocus();
    stops->close();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), &w);
    EXPECT_EQ(w.focusWidget(), static_cast<QWidget*>(w.imageWidget()));
}

TEST_F(MainWindowTest, QtsOwnTextsAreRussian) {
    // The tests run under LANG=C: the program's locale is Russian all the same.
    ASSERT_EQ(QLocale::system().language(), QLocale::C);
    QTranslator* t = InstallRussianTranslation(*QCoreApplication::instance());
    ASSERT_NE(t, nullptr);
    MainWindow& w = start();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Перейти к:"));
    // The calendar's month names, a number in a widget.
    EXPECT_EQ(w.calendar()->locale().language(), QLocale::Russian);
    EXPECT_EQ(w.calendar()->locale().monthName(3), QStringLiteral("марта"));
    EXPECT_EQ(QLocale().toString(1234.5, 'f', 1), QStringLiteral("1\u00A0234,5"));
    // Buttons a window gives only as a kind: Qt's translated ones.
    EXPECT_EQ(w.stopsWindow()->pushButton("BitBtn1")->text(), QStringLiteral("Закрыть"));
    EXPECT_EQ(StandardButtonText(QDialogButtonBox::Ok), QStringLiteral("ОК"));
    EXPECT_EQ(StandardButtonText(QDialogButtonBox::Cancel), QStringLiteral("Отмена"));
    StreetListDialog list(&w);
    EXPECT_EQ(list.findChild<QPushButton*>("OKBtn")->text(), QStringLiteral("ОК"));
    EXPECT_EQ(list.findChild<QPushButton*>("CancelBtn")->text(), QStringLiteral("Отмена"));
    RasterDialog raster(&w);
    QStringList texts;
    for (QPushButton* b : raster.findChildren<QPushButton*>()) texts << b->text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("ОК"), QStringLiteral("Отмена")}));
    // Qt's file dialog: the kinds, sizes and dates of its files in Russian.
    std::ofstream(dir_ / "size.dat", std::ios::binary) << std::string(3000, 'x');
    QStringList columns;
    QtDialogPort port(&w);
    onNextModal([&](QWidget* box) {
        auto* d = qobject_cast<QFileDialog*>(box);
        auto* files = d ? qobject_cast<QFileSystemModel*>(d->proxyModel()->sourceModel()) : nullptr;
        if (files) {
            for (const fs::path& f : {dir_ / "size.dat", dir_ / "Darvent"})
                for (int c = 1; c <= 3; ++c)
                    columns << d->proxyModel()
                                   ->mapFromSource(files->index(QString::fromStdString(f.string()), c))
                                   .data()
                                   .toString();
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    port.openFileName(QStringLiteral("Загрузить"), QString::fromStdString(dir_.string()), {QStringLiteral("Все файлы (*)")});
    ASSERT_EQ(columns.size(), 6);
    EXPECT_EQ(columns[0], QStringLiteral("2,9 кБ"));
    EXPECT_EQ(columns[1], QStringLiteral("Файл dat"));
    EXPECT_EQ(columns[2], QLocale(QLocale::Russian).toString(QFileInfo(QString::fromStdString((dir_ / "size.dat").string())).lastModified(), QStringLiteral("dd.MM.yyyy HH:mm")));
    EXPECT_EQ(columns[4], QStringLiteral("Папка"));
    QCoreApplication::removeTranslator(t);
    delete t;
    QLocale::setDefault(QLocale::c());
}

TEST_F(MainWindowTest, TheCaptionMarksUnsavedChanges) {
    MainWindow& w = start();
    const QString clean = QString::fromStdString(cityBin_.string());
    EXPECT_EQ(w.windowTitle(), clean);
    // An edit through the window: delete the first object.
    act("FindButton")->trigger();
    ws().map.MapModified = true;
    act("ShowButton")->trigger();
    EXPECT_EQ(w.windowTitle(), clean + "*");
    act("FileSave")->trigger();
    EXPECT_EQ(w.windowTitle(), clean);
    ws().files.NamesModified = true;
    act("ShowButton")->trigger();
    EXPECT_EQ(w.windowTitle(), clean + "*");
    ws().files.NamesModified = false;
    ws().files.StreetsModified = true;
    act("ShowButton")->trigger();
    EXPECT_EQ(w.windowTitle(), clean + "*");
    ws().files.StreetsModified = false;
    act("ShowButton")->trigger();
    EXPECT_EQ(w.windowTitle(), clean);
}

TEST_F(MainWindowTest, StatusPanelsFitTheirTexts) {
    MainWindow& w = start();
    StatusPanels* s = w.statusPanels();
    const QFontMetrics fm = s->fontMetrics();
    // The widths laid out are the least.
    for (int i = 0; i < 6; ++i) EXPECT_GE(s->panelRect(i).width(), StatusPanels::kWidths[size_t(i)]) << i;
    // A clock with a two-digit hour.
    s->setText(1, QStringLiteral("10:04:05"));
    EXPECT_GE(s->textRect(1).width(), fm.horizontalAdvance(QStringLiteral("10:04:05")));
    // The longest measuring text: both coordinates, the step and the sum.
    double sum = 123456789.5;
    TXY p{4599999.99, 13599999.99}, prev{4500000.0, 13500000.0};
    const QString text = MeasuredPointText(p, &prev, sum, ws().map.Orientation);
    ASSERT_GT(text.size(), 60);
    s->setText(4, text);
    EXPECT_GE(s->textRect(4).width(), fm.horizontalAdvance(text)) << text.toStdString();
    // The panels do not overlap.
    for (int i = 1; i < 6; ++i) EXPECT_EQ(s->panelRect(i).left(), s->panelRect(i - 1).right() + 1) << i;
}

TEST_F(MainWindowTest, TheRouteWindowFitsItsLinesBesideTheMapArea) {
    MainWindow& w = start();
    w.move(0, 0);
    RouteInfoWindow* info = w.routeInfo();
    const QStringList failure = {QStringLiteral("Маршрут не найден: начальная точка далеко от дорог."), QString(),
                                 QString()};
    for (const QStringList& lines :
         {failure, QStringList{QStringLiteral("Расстояние:      12345 м."), QStringLiteral("Время в пути:  17 мин."),
                               QStringLiteral("Средняя скорость: 43.6 км/ч.")}}) {
        info->showLines(lines);
        QTest::qWait(20);
        QPlainTextEdit* memo = info->memo();
        EXPECT_FALSE(memo->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(memo->verticalScrollBar()->isVisible());
        EXPECT_LE(memo->document()->idealWidth(), memo->viewport()->width()) << lines[0].toStdString();
        EXPECT_LE(memo->document()->size().height(), memo->viewport()->height());
        EXPECT_EQ(info->lines().size(), 4);
        // Not over the menus and the tool bar.
        const QPoint mapTop = w.scrollBox()->mapToGlobal(QPoint(0, 0));
        EXPECT_GE(info->frameGeometry().top(), mapTop.y());
        EXPECT_GE(info->width(), 170);
        EXPECT_GE(info->height(), 67);
    }
}
