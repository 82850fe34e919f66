// The address search of the main window: the field in the tool bar, the
// candidate shown on the map, "Что здесь?" and the route between two
// addresses.
#include "AddressField.h"
#include "admin/Boundaries.h"
#include "mapdata/Cp1251.h"
#include "MainWindow.h"
#include "MapImageWidget.h"
#include "RouteInfoWindow.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>

#include <algorithm>
#include <cmath>

namespace dm {

namespace {
// Street level: 1:5000 on the screen (3.25 pixels a millimetre).
constexpr double kStreetLevelScale = kScreenPxPerMm * 1000 / 5000;
}  // namespace

void MainWindow::wireAddresses() {
    auto finder = [this](const QString& text) -> std::vector<AddressHit> {
        if (ws_.files.MapFileName.empty()) return {};
        return streetTools_.addresses().find(text.toStdString(), 20);
    };
    AddressEdit = new AddressField(finder, toolbar_);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    AddressEdit->setPlaceholderText(QStringLiteral("Адрес: улица, дом"));
    AddressEdit->setToolTip(QStringLiteral("Найти дом по улице и номеру (Ctrl+F)"));
    AddressEdit->setMinimumWidth(240);
    toolbar_->addSeparator();
    toolbar_->addWidget(AddressEdit)->setObjectName(QStringLiteral("AddressEditAction"));
    toolbar_->addAction(actions_["WhatIsHere"]);
    toolbar_->addAction(actions_["RouteAddresses"]);
    AddressEdit->chosen = [this](const AddressHit& h) { chooseAddress(h); };
    AddressEdit->notFound = [this] { setPanelText(4, QStringLiteral("Адрес не найден")); };
    // Another map or a change of the register makes the candidates stale.
    auto stamp = [this] { return streetTools_.addressRevision(); };
    AddressEdit->stamp = stamp;
    // Namesakes told apart by their district, else by where their axis starts.
    auto describe = [this](const std::vector<AddressHit>& hits) {
        return AddressTexts(hits, [this](double x, double y) {
            return cp1251ToUtf8(DistrictNameAt(districts_.DistrictBounds, x, y));
        });
    };
    AddressEdit->describe = describe;
    auto* find = new QAction(QStringLiteral("Найти адрес"), this);
    find->setObjectName(QStringLiteral("AddressFind"));
    find->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        AddressEdit->setFocus(Qt::ShortcutFocusReason);
        AddressEdit->selectAll();
    });

    // "Что здесь?": the tool button's mode, and the item of the map's menu.
    actions_.wire("WhatIsHere", [this] {
        const bool on = actions_["WhatIsHere"]->isChecked();
        ws_.modes.ResetModes(ws_.view.blink);
        ws_.modes.WhatIsHereMode = on && !ws_.files.MapFileName.empty();
        setPanelText(4, ws_.modes.WhatIsHereMode ? QStringLiteral("Укажите место на карте.") : QString());
    });
    mapMenu_ = new QMenu(this);
    mapMenu_->setObjectName(QStringLiteral("MapMenu"));
    QAction* here = mapMenu_->addAction(QStringLiteral("Что здесь?"));
    here->setObjectName(QStringLiteral("WhatIsHereAt"));
    connect(here, &QAction::triggered, this, [this] { setPanelText(4, addressAt(menuPixel_)); });

    // The route window's "Откуда" and "Куда".
    Info->setFinder(finder, stamp, describe);
    Info->routeBetween = [this](const AddressHit& a, const AddressHit& b) {
        ws_.modes.ResetModes(ws_.view.blink);
        routingAddresses_ = true;
        routes_.RouteBetween(a.X, a.Y, b.X, b.Y);
        showWholeRoute({a.X, a.Y}, {b.X, b.Y});
        routingAddresses_ = false;
        syncButtons();
    };
    actions_.wire("RouteAddresses", [this] {
        if (ws_.files.MapFileName.empty()) {
            ws_.dialogs->message(QStringLiteral("Нет карты."));
            return;
        }
        Info->askAddresses();
    });
}

void MainWindow::showWholeRoute(const TXY& from, const TXY& to) {
    const std::vector<TXY> line = routes_.lastRouteLine();
    if (line.empty() || ws_.view.image.isNull()) return;
    MapView& v = ws_.view.view();
    QRect box;
    ObjectIndex::Box extent{line[0].X, line[0].X, line[0].Y, line[0].Y};
    for (const TXY& p : line) {
        const TGn g = v.toPixel(p);
        box |= QRect(g.PX, g.PY, 1, 1);
        extent.xmin = std::min(extent.xmin, p.X), extent.xmax = std::max(extent.xmax, p.X);
        extent.ymin = std::min(extent.ymin, p.Y), extent.ymax = std::max(extent.ymax, p.Y);
    }
    const QSize room = ScrollBox1->viewport()->size();
    const QRect picture(QPoint(0, 0), ws_.view.image.size());
    if (box.width() + 16 <= room.width() && box.height() + 16 <= room.height() && picture.contains(box)) {
        showPicturePart(box);
        return;
    }
    // Larger than the window, or beyond the picture: the view round it
    // (a tenth more on each side, in the window's proportions, the route in
    // the middle), and the route drawn on it again.
    const QSize full = windowRoom();
    double across = std::max(extent.ymax - extent.ymin, 1.0) * 1.2, down = std::max(extent.xmax - extent.xmin, 1.0) * 1.2;
    const double shape = double(std::max(full.width(), 1)) / std::max(full.height(), 1);
    if (across / down < shape) across = down * shape;
    else down = across / shape;
    const double cx = (extent.xmin + extent.xmax) / 2, cy = (extent.ymin + extent.ymax) / 2;
    OrientationRecord o = ws_.map.Orientation;
    o.XMin = cx - down / 2;
    o.XMax = cx + down / 2;
    o.YMin = cy - across / 2;
    o.YMax = cy + across / 2;
    fitExtent(o);
    routes_.RouteBetween(from.X, from.Y, to.X, to.Y);
}

bool MainWindow::rightClickTaken(QPoint pixel) {
    const MouseClick click{Qt::RightButton, pixel};
    const auto& rows = editor_.dispatch().rows();
    return std::any_of(rows.begin(), rows.end(), [&](const MouseDispatch::Row& r) { return r.holds(click); });
}

bool MainWindow::centreOn(const TXY& p) {
    if (ws_.view.image.isNull() || !std::isfinite(p.X) || !std::isfinite(p.Y)) return false;
    MapView& v = ws_.view.view();
    const QSize room = ScrollBox1->viewport()->size();
    // The picture as large as the window at least.
    const double w = std::max(ws_.view.image.width(), room.width()), h = std::max(ws_.view.image.height(), room.height());
    TGn px = v.toPixel(p);
    // Scrolled to, when the picture reaches far enough round the point.
    const bool reachable = ws_.view.image.width() >= room.width() && ws_.view.image.height() >= room.height() &&
                           px.PX - room.width() / 2 >= 0 && px.PY - room.height() / 2 >= 0 &&
                           px.PX + (room.width() + 1) / 2 <= w && px.PY + (room.height() + 1) / 2 <= h;
    if (!(v.Scale >= kStreetLevelScale) || !reachable) {
        // The picture keeps its size, at street level or nearer, with the
        // point in its middle.
        const double scale = std::max(v.Scale > 0 ? v.Scale : kStreetLevelScale, kStreetLevelScale);
        v.Scale = scale;
        v.ViewYMin = p.Y - std::round(w / 2) / scale;
        v.ViewYMax = v.ViewYMin + w / scale;
        v.ViewXMax = p.X + std::round(h / 2) / scale;
        v.ViewXMin = v.ViewXMax - h / scale;
        finishZoom();
        px = v.toPixel(p);
    }
    ScrollBox1->horizontalScrollBar()->setValue(px.PX - room.width() / 2);
    ScrollBox1->verticalScrollBar()->setValue(px.PY - room.height() / 2);
    return true;
}

void MainWindow::chooseAddress(const AddressHit& hit) {
    if (!hit.street || ws_.files.MapFileName.empty()) return;
    centreOn({hit.X, hit.Y});
    if (!streetTools_.showAddress(hit)) {
        setPanelText(4, QStringLiteral("Адрес не найден"));
        return;
    }
    Image->imageChanged();
    syncButtons();
    takeKeys();
}

QString MainWindow::addressAt(QPoint pixel) {
    const TXY p = ws_.view.view().toMap(pixel.x(), pixel.y());
    const std::optional<AddressNear> n = streetTools_.addresses().nearest(p.X, p.Y);
    if (!n) return QStringLiteral("Адрес не найден");
    return QString::fromStdString(AddressSpoken(*n->street, n->house)) + QStringLiteral(" — ") +
           QString::number(std::lround(n->distance)) + QStringLiteral(" м");
}

}  // namespace dm
