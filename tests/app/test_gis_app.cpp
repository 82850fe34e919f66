// "Экспорт...", "Импорт..." (one step of the undo history), the recent maps
// and the settings kept between runs, driven through the real window.
#include "app/AppSettings.h"
#include "app/StopsWindow.h"
#include "common/SmallMapFixture.h"
#include "mapdata/BinaryIO.h"

#include <QComboBox>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <fstream>

using namespace dm;
namespace fs = std::filesystem;

namespace {

class GisMenu : public SmallMapFixture {};

void writeText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

}  // namespace

TEST_F(GisMenu, ExportWritesTheOpenMapAndSaysWhat) {
    dialogs_.files.push_back(QString::fromStdString((dir_ / "out.gpkg").string()));
    dialogs_.inputs.push_back(QString());  // the map's own system
    act("ExportGis")->trigger();
    ASSERT_EQ(dialogs_.texts("save"), QStringList{"Экспорт"});
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].startsWith("Выгружено: точек: 1, линий: 3, площадей: 1, названий: 0."))
        << dialogs_.texts("message")[0].toStdString();
    GDALDatasetUniquePtr ds(GDALDataset::Open((dir_ / "out.gpkg").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(ds);
    OGRLayer* points = ds->GetLayerByName("points");
    ASSERT_NE(points, nullptr);
    std::unique_ptr<OGRFeature> f(points->GetNextFeature());
    ASSERT_TRUE(f);
    // The tree at pixel (900, 900): X = 1100 - 900 = 200, Y = 900 - 100 = 800.
    EXPECT_EQ(f->GetFieldAsInteger("code"), 2402);
    EXPECT_DOUBLE_EQ(f->GetGeometryRef()->toPoint()->getX(), 800);
    EXPECT_DOUBLE_EQ(f->GetGeometryRef()->toPoint()->getY(), 200);
    // The next dialog starts in the folder used last.
    EXPECT_EQ(ws().files.LastDialogFolder, dir_);

    // Another system: the coordinates go into it.
    dialogs_.clear();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "merc.gpkg").string()));
    dialogs_.inputs.push_back(QStringLiteral("EPSG:3857"));
    act("ExportGis")->trigger();
    {
        GDALDatasetUniquePtr m(GDALDataset::Open((dir_ / "merc.gpkg").c_str(), GDAL_OF_VECTOR));
        ASSERT_TRUE(m);
        OGRLayer* l = m->GetLayerByName("points");
        ASSERT_NE(l->GetSpatialRef(), nullptr);
        EXPECT_STREQ(l->GetSpatialRef()->GetAuthorityCode(nullptr), "3857");
        std::unique_ptr<OGRFeature> p(l->GetNextFeature());
        ASSERT_TRUE(p);
        EXPECT_GT(std::fabs(p->GetGeometryRef()->toPoint()->getX() - 800), 1000);
    }
    // Cancelled at the system: nothing written.
    dialogs_.files.push_back(QString::fromStdString((dir_ / "none.gpkg").string()));
    dialogs_.inputs.push_back(std::nullopt);
    act("ExportGis")->trigger();
    EXPECT_FALSE(fs::exists(dir_ / "none.gpkg"));
    // A name without a known extension: an error, no file.
    dialogs_.clear();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "out.txt").string()));
    dialogs_.inputs.push_back(QString());
    act("ExportGis")->trigger();
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(".gpkg"));
    EXPECT_FALSE(fs::exists(dir_ / "out.txt"));
}

TEST_F(GisMenu, ImportIsOneStepThatUndoTakesBackToTheSameBytes) {
    const std::vector<uint8_t> before = readWholeFile(dir_ / "Darvent" / "Darvent.bin");
    writeText(dir_ / "in.geojson", R"({ "type": "FeatureCollection", "features": [
{ "type": "Feature", "properties": { "kod": 2402, "title": "Клён" },
  "geometry": { "type": "Point", "coordinates": [ 500, 600 ] } },
{ "type": "Feature", "properties": { "kod": 1010, "title": null },
  "geometry": { "type": "MultiPolygon", "coordinates": [
      [ [ [ 200, 200 ], [ 260, 200 ], [ 260, 250 ], [ 200, 200 ] ] ],
      [ [ [ 300, 300 ], [ 330, 300 ], [ 330, 310 ], [ 300, 300 ] ] ] ] } },
{ "type": "Feature", "properties": { "kod": 930 }, "geometry": null }
] })");
    dialogs_.files.push_back(QString::fromStdString((dir_ / "in.geojson").string()));
    dialogs_.picks = {0, 2};  // "kod", then "title"
    act("ImportGis")->trigger();
    // The file's own attribute names offered, the likely ones first.
    EXPECT_EQ(dialogs_.texts("item"),
              (QStringList{QStringLiteral("Поле с кодом объекта:|kod|title|(один код для всех объектов)"),
                           QStringLiteral("Поле с названием объекта:|(без названий)|kod|title")}));
    EXPECT_EQ(dialogs_.initials, (std::vector<int>{0, 2}));
    ASSERT_EQ(ws().map.ObjList.size(), 8u);
    const TObj& maple = *ws().map.ObjList[5];
    EXPECT_EQ(maple.Kind, KindPoint);
    EXPECT_EQ(maple.Code, 2402);
    EXPECT_EQ(maple.Name.str(), utf8ToCp1251("Клён"));
    ASSERT_EQ(maple.Points.size(), 1u);
    EXPECT_EQ(maple.Points[0].X, 600);
    EXPECT_EQ(maple.Points[0].Y, 500);
    EXPECT_EQ(ws().map.ObjList[6]->Kind, KindArea);
    EXPECT_EQ(ws().map.ObjList[7]->Points.size(), 4u);
    EXPECT_TRUE(ws().map.MapModified);
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    const QString said = dialogs_.texts("message")[0];
    EXPECT_TRUE(said.contains("Добавлено: точек 1, линий 0, площадей 2")) << said.toStdString();
    EXPECT_TRUE(said.contains("(не добавлены): 1")) << said.toStdString();
    // Part of them lay below the window: the window shows them all now,
    // the new tree drawn where it stands.
    auto* box = w_->findChild<QScrollArea*>();
    const QRect shown(box->horizontalScrollBar()->value(), box->verticalScrollBar()->value(),
                      box->viewport()->width(), box->viewport()->height());
    const MapView& v = ws().view.view();
    for (const TXY& p : {TXY{600, 500}, TXY{200, 200}, TXY{310, 330}}) {
        const TGn px = v.toPixel(p);
        EXPECT_TRUE(shown.contains(QPoint(px.PX, px.PY))) << p.X << " " << p.Y << " at " << px.PX << "," << px.PY;
    }
    const TGn tree = v.toPixel({600, 500});
    EXPECT_NE(ws().view.image.pixel(tree.PX, tree.PY), qRgb(255, 255, 255));
    // Fitted: the extent (200..330 across, 200..600 up) and a tenth around it.
    EXPECT_DOUBLE_EQ(v.ViewXMax, 640);
    EXPECT_DOUBLE_EQ(v.ViewYMin, 170);

    act("UndoAction")->trigger();
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    const fs::path again = dir_ / "again.bin";
    SaveObjects(again, ws().map.ObjList);
    EXPECT_EQ(readWholeFile(again), before);
}

TEST_F(GisMenu, ImportErrorsAreShownAndChangeNothing) {
    writeText(dir_ / "junk.gpkg", "not a geopackage");
    dialogs_.files.push_back(QString::fromStdString((dir_ / "junk.gpkg").string()));
    act("ImportGis")->trigger();  // told before any question
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains("junk.gpkg"));
    EXPECT_EQ(ws().map.ObjList.size(), 5u);
    EXPECT_FALSE(ws().map.MapModified);
}

TEST_F(GisMenu, ImportWithOneCodeForAllAndNoNamesKeepsAViewThatShowsThem) {
    writeText(dir_ / "two.geojson", R"({ "type": "FeatureCollection", "features": [
{ "type": "Feature", "properties": { "Name": "Чинар", "h": 3 },
  "geometry": { "type": "Point", "coordinates": [ 150, 950 ] } },
{ "type": "Feature", "properties": { "Name": "Тут" },
  "geometry": { "type": "Point", "coordinates": [ 250, 900 ] } } ] })");
    const MapView before = ws().view.view();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "two.geojson").string()));
    dialogs_.picks = {2, 0};  // one code for all; no names
    dialogs_.inputs.push_back(QStringLiteral(" 2402 "));
    act("ImportGis")->trigger();
    EXPECT_EQ(dialogs_.texts("item"),
              (QStringList{QStringLiteral("Поле с кодом объекта:|Name|h|(один код для всех объектов)"),
                           QStringLiteral("Поле с названием объекта:|(без названий)|Name|h")}));
    EXPECT_EQ(dialogs_.initials, (std::vector<int>{0, 1}));  // "Name" taken for "name"
    EXPECT_EQ(dialogs_.texts("input"), QStringList{QStringLiteral("Импорт|Код для всех объектов:")});
    ASSERT_EQ(ws().map.ObjList.size(), 7u);
    for (size_t i : {5u, 6u}) {
        EXPECT_EQ(ws().map.ObjList[i]->Code, 2402);
        EXPECT_TRUE(ws().map.ObjList[i]->Name.str().empty());
    }
    // Both in the window already (pixels (250, 150) and (350, 200)): the view stays.
    EXPECT_EQ(ws().view.view().ViewXMax, before.ViewXMax);
    EXPECT_EQ(ws().view.view().Scale, before.Scale);
    // A code that is not a number: told, nothing added.
    dialogs_.clear();
    dialogs_.files.push_back(QString::fromStdString((dir_ / "two.geojson").string()));
    dialogs_.picks = {2};
    dialogs_.inputs.push_back(QStringLiteral("дом"));
    act("ImportGis")->trigger();
    EXPECT_EQ(dialogs_.texts("message"), QStringList{QStringLiteral("«дом» — не целое число.")});
    EXPECT_EQ(ws().map.ObjList.size(), 7u);
}

namespace {

class Remembered : public SmallMapFixture {
protected:
    std::unique_ptr<MainWindow> start(ScriptedDialogs& d) {
        AppOptions o;
        o.startDir = dir_;
        o.screenWidth = 1000;
        o.dialogs = &d;
        o.settingsFile = dir_ / "home" / "settings.ini";
        auto w = std::make_unique<MainWindow>(o);
        return w;
    }
};

}  // namespace

TEST_F(Remembered, WindowFolderSemanticAndRecentMapsSurviveARestart) {
    fs::create_directories(dir_ / "other");
    fs::copy_file(dir_ / "Darvent" / "Darvent.or", dir_ / "other" / "copy.or");
    fs::copy_file(dir_ / "Darvent" / "Darvent.bin", dir_ / "other" / "copy.bin");
    int houseIndex = -1;
    {
        ScriptedDialogs d;
        auto w = start(d);
        w->showAsRemembered();
        w->setGeometry(120, 80, 700, 500);
        // The city map opened at start-up is the first recent map.
        EXPECT_EQ(w->settings().recentMaps().size(), 1);
        // A semantic chosen in the chooser.
        const auto& lines = w->workspace().classifier.ActiveSemantics.Lines;
        for (size_t i = 0; i < lines.size(); ++i)
            if (auto s = ParseSemanticLine(lines[i]); s && s->Code == 1010) houseIndex = int(i);
        ASSERT_GE(houseIndex, 0);
        emit w->semanticChooser()->activated(houseIndex);
        EXPECT_EQ(w->workspace().classifier.CurrentSemantic.Code, 1010);
        // Another map through "Открыть".
        d.files.push_back(QString::fromStdString((dir_ / "other" / "copy.or").string()));
        w->actions()["FileOpen"]->trigger();
        EXPECT_EQ(w->workspace().files.MapFileName, dir_ / "other" / "copy.or");
        w->close();
    }
    ScriptedDialogs d;
    auto w = start(d);
    w->showAsRemembered();
    EXPECT_EQ(w->size(), QSize(700, 500));
    // The start-up still opens the city map.
    EXPECT_EQ(w->workspace().files.MapFileName.filename(), "Darvent.or");
    EXPECT_EQ(w->workspace().classifier.CurrentSemantic.Code, 1010);
    EXPECT_EQ(w->semanticChooser()->currentIndex(), houseIndex);
    // The dialogs start in the folder used last.
    d.files.push_back(std::nullopt);
    w->actions()["FileOpen"]->trigger();
    ASSERT_EQ(d.dirs.size(), 1u);
    EXPECT_EQ(d.dirs[0], QString::fromStdString((dir_ / "other").string()));
    // "Недавние карты": the newest first; choosing one opens it.
    QMenu* recent = w->actions().menu("RecentMenu");
    ASSERT_NE(recent, nullptr);
    emit recent->aboutToShow();
    QStringList titles;
    for (QAction* a : recent->actions()) titles << a->text();
    ASSERT_EQ(titles.size(), 2);
    EXPECT_TRUE(titles[0].endsWith("Darvent.or")) << titles[0].toStdString();
    EXPECT_TRUE(titles[1].endsWith("copy.or")) << titles[1].toStdString();
    recent->actions()[1]->trigger();
    EXPECT_EQ(w->workspace().files.MapFileName, dir_ / "other" / "copy.or");
    // A recent map that is gone: said, and taken off the list.
    fs::remove(dir_ / "other" / "copy.or");
    emit recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), 2);
    QAction* gone = nullptr;
    for (QAction* a : recent->actions())
        if (a->text().endsWith("copy.or")) gone = a;
    ASSERT_NE(gone, nullptr);
    gone->trigger();
    ASSERT_FALSE(d.texts("message").isEmpty());
    EXPECT_TRUE(d.texts("message").back().contains("не существует"));
    EXPECT_EQ(w->settings().recentMaps().size(), 1);
    w->workspace().map.MapModified = false;
}

TEST_F(Remembered, ToolWindowsOpenAtTheMapsTopRightComeBackWhereLeftAndStayOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        ScriptedDialogs d;
        auto w = start(d);
        w->showAsRemembered();
        w->setGeometry(screen.left() + 10, screen.top() + 10, 700, 500);
        QApplication::processEvents();
        // First shown: inside the map area's top right corner, not over the menus.
        QWidget* stops = w->stopsWindow();
        stops->show();
        QApplication::processEvents();
        QWidget* area = w->findChild<QScrollArea*>()->viewport();
        const QRect map(area->mapToGlobal(QPoint(0, 0)), area->size());
        const QRect f = stops->frameGeometry();
        EXPECT_TRUE(map.contains(f.topRight())) << f.x() << "," << f.y() << " " << f.width();
        EXPECT_LE(map.right() - f.right(), 40);
        EXPECT_LE(f.top() - map.top(), 40);
        // Left elsewhere, another size.
        stops->move(screen.left() + 30, screen.top() + 40);
        stops->resize(520, 470);
        w->close();
    }
    {
        ScriptedDialogs d;
        auto w = start(d);
        w->showAsRemembered();
        QWidget* stops = w->stopsWindow();
        stops->show();
        QApplication::processEvents();
        EXPECT_EQ(stops->pos(), QPoint(screen.left() + 30, screen.top() + 40));
        EXPECT_EQ(stops->size(), QSize(520, 470));
        // Left mostly off the screen (a screen since gone, say).
        stops->move(screen.right() - 20, screen.bottom() - 10);
        w->close();
    }
    ScriptedDialogs d;
    auto w = start(d);
    w->showAsRemembered();
    QWidget* stops = w->stopsWindow();
    stops->show();
    QApplication::processEvents();
    EXPECT_TRUE(screen.contains(stops->frameGeometry())) << stops->x() << "," << stops->y();
    EXPECT_EQ(stops->size(), QSize(520, 470));
    EXPECT_TRUE(screen.contains(w->frameGeometry()));
}
