#include "app/MainWindow.h"
#include "app/MapImageWidget.h"
#include "app/RouteInfoWindow.h"
#include "streets/Streets.h"
#include "cli/SampleCity.h"
#include "common/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;

namespace {
class RouteToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("dm_rt_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        sample::writeStartFolder(dir_, {});
    }
    void start() {
        AppOptions o;
        o.startDir = dir_;
        o.screenWidth = 1000;
        o.dialogs = &dialogs_;
        w_ = std::make_unique<MainWindow>(o);
        w_->resize(900, 650);
        w_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w_.get()));
    }
    void TearDown() override {
        w_.reset();
        fs::remove_all(dir_);
    }
    QPoint pixelOf(double x, double y) {
        const TGn g = w_->workspace().view.view().toPixel({x, y});
        return QPoint(g.PX, g.PY);
    }
    fs::path dir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<MainWindow> w_;
};
}  // namespace

TEST_F(RouteToolTest, TwoClicksDrawTheRouteAndFillTheWindow) {
    start();
    Workspace& ws = w_->workspace();
    const RoadNetwork net = LoadRoadNetwork(dir_ / "njoints.uzl");
    // Two points beside streets, far apart.
    const TRoadNode& a = net.RoadNodes[30];
    const TRoadNode& b = net.RoadNodes[net.size() - 40];
    const QPoint p1 = pixelOf(a.X - 5, a.Y + 60), p2 = pixelOf(b.X - 5, b.Y + 60);
    const QImage before = ws.view.image.copy();
    w_->routeInfo()->fromField()->setText(QStringLiteral("Навои 12а"));
    w_->actions()["ItenererButton"]->trigger();
    EXPECT_TRUE(ws.modes.RouteMode);
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, p1);
    EXPECT_EQ(ws.modes.ClickCount, 1);
    EXPECT_FALSE(w_->routeInfo()->isVisible());
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, p2);
    EXPECT_FALSE(ws.modes.RouteMode);
    ASSERT_TRUE(w_->routes().network());
    ASSERT_EQ(w_->routes().lastRoute().status, RouteResult::Found);
    EXPECT_GT(w_->routes().lastRoute().path.size(), 5u);
    ASSERT_TRUE(w_->routeInfo()->isVisible());
    const QStringList lines = w_->routeInfo()->lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("Информация о пути:"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Расстояние: ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Время в пути: ")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Средняя скорость: ")));
    // The route is drawn: red over yellow, at a node of the path.
    const TRoadNode& mid = net.RoadNodes[size_t(w_->routes().lastRoute().path[3])];
    const QPoint m = pixelOf(mid.X, mid.Y);
    EXPECT_EQ(ws.view.image.pixel(m), qRgb(255, 0, 0));
    int yellow = 0;
    for (int dx = -2; dx <= 2; ++dx)
        for (int dy = -2; dy <= 2; ++dy) yellow += ws.view.image.pixel(m + QPoint(dx, dy)) == qRgb(255, 255, 0);
    EXPECT_GT(yellow, 0);
    EXPECT_NE(ws.view.image, before);
    // The click squares.
    EXPECT_EQ(ws.view.image.pixel(p1 + QPoint(-4, 0)), qRgb(255, 255, 0));
    // The addresses of the window are not those of this route: emptied.
    EXPECT_TRUE(w_->routeInfo()->fromField()->text().isEmpty());
    // Two clicks on one point: said so.
    w_->actions()["ItenererButton"]->trigger();
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, p1);
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, p1);
    EXPECT_EQ(w_->routes().lastRoute().status, RouteResult::SamePoint);
    EXPECT_EQ(w_->routeInfo()->lines().value(1), QStringLiteral("Начальная и конечная точки совпадают"));
}

// "Найти" of the route window: the whole route in the window, the window
// wide enough for a whole candidate, the cursor in "Откуда".
TEST_F(RouteToolTest, TheRouteBetweenTwoAddressesIsShownWhole) {
    start();
    std::vector<StreetRef> streets;
    LoadStreets(dir_ / "Darvent" / "darvent.rue", streets);
    // Two houses far apart: the first street's first, the last street's last.
    auto hit = [](const StreetRef& s, int k) {
        AddressHit h;
        h.street = s;
        h.house = k;
        h.X = s->Houses[size_t(k)].X;
        h.Y = s->Houses[size_t(k)].Y;
        return h;
    };
    StreetRef a, b;
    for (const StreetRef& s : streets)
        if (!s->Houses.empty()) (a ? b : a) = s;
    ASSERT_TRUE(a && b);
    const AddressHit from = hit(a, 0), to = hit(b, int(b->Houses.size()) - 1);
    w_->actions()["RouteAddresses"]->trigger();
    RouteInfoWindow* info = w_->routeInfo();
    ASSERT_TRUE(info->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(info->focusWidget(), info->fromField());
    EXPECT_EQ(QApplication::activeWindow(), info);
    const QString longest = QStringLiteral("Амира Темура пр-т, 108/2 (быв. Ленинградская)");
    EXPECT_GE(info->fromField()->width(), info->fromField()->fontMetrics().horizontalAdvance(longest));
    ASSERT_TRUE(info->routeBetween);
    // A window wider than the picture and low: the route is taller than it.
    w_->resize(1700, 420);
    QApplication::processEvents();
    info->routeBetween(from, to);
    ASSERT_EQ(w_->routes().lastRoute().status, RouteResult::Found);
    const std::vector<TXY> line = w_->routes().lastRouteLine();
    ASSERT_GE(line.size(), 3u);
    QScrollArea* box = w_->scrollBox();
    const QRect shown(box->horizontalScrollBar()->value(), box->verticalScrollBar()->value(), box->viewport()->width(),
                      box->viewport()->height());
    for (const TXY& p : line) EXPECT_TRUE(shown.contains(pixelOf(p.X, p.Y))) << p.X << " " << p.Y;
    // Drawn on the picture shown: red at a node of the path.
    const RoadNetwork* net = w_->routes().network();
    const TRoadNode& mid = net->RoadNodes[size_t(w_->routes().lastRoute().path[1])];
    EXPECT_EQ(w_->workspace().view.image.pixel(pixelOf(mid.X, mid.Y)), qRgb(255, 0, 0));
}

TEST_F(RouteToolTest, AMissingNetworkIsReportedAndTheProgramGoesOn) {
    fs::remove(dir_ / "njoints.uzl");
    start();
    Workspace& ws = w_->workspace();
    ws.map.MapModified = true;  // unsaved work must survive
    w_->actions()["ItenererButton"]->trigger();
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
    ASSERT_EQ(dialogs_.texts("message").size(), 1);
    EXPECT_TRUE(dialogs_.texts("message")[0].contains(QStringLiteral("njoints.uzl")));
    EXPECT_TRUE(w_->isVisible());
    EXPECT_TRUE(ws.map.MapModified);
    EXPECT_FALSE(ws.modes.RouteMode);
    // A click far from every street reports that in the route window.
    sample::writeStartFolder(dir_, {});
    w_->actions()["ItenererButton"]->trigger();
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QTest::mouseClick(w_->imageWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
    ASSERT_TRUE(w_->routeInfo()->isVisible());
    EXPECT_TRUE(w_->routeInfo()->lines()[1].startsWith(QStringLiteral("Маршрут не найден")));
    ws.map.MapModified = false;
}
