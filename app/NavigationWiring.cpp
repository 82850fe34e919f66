// Moving about the map beyond the zoom rectangle and "Уменьшить": the
// mouse wheel and the "+" and "-" keys zoom about a point, "Вся карта"
// shows the whole extent in the window.
#include "MainWindow.h"
#include "MapImageWidget.h"

#include <QAction>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace dm {

namespace {
constexpr double kMaxScale = 1e4;     // pixels per map unit
constexpr double kMinExtentShare = 1e-4;  // of the map extent across the picture, at most 1/this times it
}  // namespace

void MainWindow::wireNavigation() {
    actions_.wire("WholeMap", [this] { WholeMapClick(); });
    // The middle button: a drag moves the map in any mode and never reaches
    // the mouse dispatch; a click without a drag reaches it on release.
    Image->onMouseDown = [this](QMouseEvent* ev) {
        if (ev->button() == Qt::MiddleButton) {
            middlePress_ = ev->position().toPoint();
            middleLast_ = ev->globalPosition().toPoint();
            middleStart_ = middleLast_;
            middlePending_ = true;
            middleDragging_ = false;
            return;
        }
        const QPoint at = ev->position().toPoint();
        if (ev->button() == Qt::LeftButton && ws_.modes.WhatIsHereMode) {
            setPanelText(4, addressAt(at));
            return;
        }
        if (ev->button() == Qt::RightButton && !rightClickTaken(at) && !ws_.files.MapFileName.empty()) {
            menuPixel_ = at;
            mapMenu_->popup(ev->globalPosition().toPoint());
            return;
        }
        editor_.ImageMouseDown(ev->button(), at);
    };
    Image->onMouseMove = [this](QMouseEvent* ev) {
        if (middlePending_ && (ev->buttons() & Qt::MiddleButton)) {
            const QPoint g = ev->globalPosition().toPoint();
            if (!middleDragging_ && (g - middleStart_).manhattanLength() > 3) {
                middleDragging_ = true;
                Image->setCursor(Qt::ClosedHandCursor);
            }
            if (middleDragging_) {
                dragMap(g - middleLast_);
                middleLast_ = g;
            }
            return;
        }
        editor_.ImageMouseMove(ev->position().toPoint());
    };
    Image->onMouseUp = [this](QMouseEvent* ev) {
        if (ev->button() == Qt::MiddleButton && middlePending_) {
            middlePending_ = false;
            if (middleDragging_) {
                middleDragging_ = false;
                Image->unsetCursor();
                editor_.ImageMouseUp(Qt::NoButton, ev->position().toPoint());
                return;
            }
            editor_.ImageMouseDown(Qt::MiddleButton, middlePress_);
        }
        editor_.ImageMouseUp(ev->button(), ev->position().toPoint());
    };
    Image->onWheel = [this](QWheelEvent* e) {
        if (ws_.view.image.isNull() || ws_.files.MapFileName.empty()) return false;
        wheelAngle_ += e->angleDelta().y();
        const int steps = wheelAngle_ / 120;
        if (steps == 0) return true;
        wheelAngle_ -= steps * 120;
        const double base = (e->modifiers() & Qt::ControlModifier) ? 1.25 : 2.0;
        const QPoint at = Image->mapTo(ScrollBox1->viewport(), e->position().toPoint());
        zoomAt(at, std::pow(base, steps));
        return true;
    };
}

void MainWindow::dragMap(QPoint delta) {
    if (ws_.view.image.isNull()) return;
    QScrollBar* h = ScrollBox1->horizontalScrollBar();
    QScrollBar* v = ScrollBox1->verticalScrollBar();
    // The picture slides with the cursor as far as the scroll bars go.
    const int wantX = h->value() - delta.x(), wantY = v->value() - delta.y();
    h->setValue(wantX);
    v->setValue(wantY);
    // Beyond the picture's edge the map itself moves: the view extent
    // shifts by whole pixels and the picture is drawn anew.
    const int restX = h->value() - wantX, restY = v->value() - wantY;
    if (restX == 0 && restY == 0) return;
    MapView& view = ws_.view.view();
    if (!(view.Scale > 0)) return;
    view.ViewYMin -= restX / view.Scale;
    view.ViewYMax -= restX / view.Scale;
    view.ViewXMax += restY / view.Scale;
    view.ViewXMin += restY / view.Scale;
    // What the modes hold in pixels moves with the map.
    const QPoint d(restX, restY);
    InteractionState& m = ws_.modes;
    for (QPoint* p : {&m.LastClick, &m.AnchorPoint, &m.RubberPoint, &m.BoxCorner}) *p += d;
    for (QPoint& p : m.ScreenPoints) p += d;
    for (QPoint& p : m.InputPoints) p += d;
    for (TGn& g : ws_.map.EditPoints) {
        g.PX += restX;
        g.PY += restY;
    }
    {
        MapDoc::Keep keep(ws_.map);
        RedrawMap(ws_.view.image, ws_.map, ws_.view.ctx, {}, ws_.view.activeLayerFilter());
    }
    Image->update();
}

TXY MainWindow::mapPointAtViewport(QPoint at) const {
    const QPoint pixel(at.x() + ScrollBox1->horizontalScrollBar()->value(),
                       at.y() + ScrollBox1->verticalScrollBar()->value());
    return ws_.view.view().toMap(pixel.x(), pixel.y());
}

bool MainWindow::zoomAt(QPoint at, double factor) {
    if (ws_.view.image.isNull() || !(factor > 0)) return false;
    MapView& v = ws_.view.view();
    const double scale = v.Scale * factor;
    const double w = ws_.view.image.width(), h = ws_.view.image.height();
    const OrientationRecord& o = ws_.map.Orientation;
    const double span = std::max({o.XMax - o.XMin, o.YMax - o.YMin, 1.0});
    if (!std::isfinite(scale) || scale > kMaxScale || std::max(w, h) / scale > span / kMinExtentShare) return false;
    // The picture pixel under `at` keeps the map point it shows.
    const QPoint pixel(at.x() + ScrollBox1->horizontalScrollBar()->value(),
                       at.y() + ScrollBox1->verticalScrollBar()->value());
    const TXY p = v.toMap(pixel.x(), pixel.y());
    v.Scale = scale;
    v.ViewYMin = p.Y - pixel.x() / scale;
    v.ViewXMax = p.X + pixel.y() / scale;
    v.ViewYMax = v.ViewYMin + w / scale;
    v.ViewXMin = v.ViewXMax - h / scale;
    finishZoom();
    return true;
}

QSize MainWindow::windowRoom() const { return static_cast<const MapScrollArea*>(ScrollBox1)->roomWithoutScrollBars(); }

void MainWindow::fillWindow(MapView& v) const {
    // The picture covers the window at least (the window without scroll
    // bars): the extent grows to the right and downwards (what was in view
    // stays where it was).
    const QSize room = windowRoom();
    if (!(v.Scale > 0)) return;
    if (v.imageSize().width() < room.width()) v.ViewYMax = v.ViewYMin + room.width() / v.Scale;
    if (v.imageSize().height() < room.height()) v.ViewXMin = v.ViewXMax - room.height() / v.Scale;
}

void MainWindow::finishZoom() {
    // Every view change fills the window.
    MapView& v = ws_.view.view();
    fillWindow(v);
    if (v.imageSize() != ws_.view.image.size()) ws_.view.image = QImage(v.imageSize(), QImage::Format_RGB32);
    RedrawMapView(ws_);
    showScaleReadout(6);
    setPanelText(4, QString());
    ws_.modes.BoxState = 0;
    ws_.modes.ZoomBoxDown = false;
    ws_.modes.EditStep = 0;
    Image->imageChanged();
    syncButtons();
}

void MainWindow::WholeMapClick() {
    if (ws_.files.MapFileName.empty()) return;
    // The extent the map opened over (a district map's own), else its record's.
    const MapView& home = ws_.view.home;
    OrientationRecord o = ws_.map.Orientation;
    if (home.ViewXMax > home.ViewXMin && home.ViewYMax > home.ViewYMin) {
        o.XMax = home.ViewXMax;
        o.XMin = home.ViewXMin;
        o.YMax = home.ViewYMax;
        o.YMin = home.ViewYMin;
    }
    fitExtent(o);
}

bool MainWindow::fitExtent(const OrientationRecord& o) {
    const double dx = o.XMax - o.XMin, dy = o.YMax - o.YMin;
    if (!(dx > 0) || !(dy > 0)) return false;
    const QSize room = windowRoom();
    MapView& v = ws_.view.view();
    const MapView was = v;
    v.setExtent(o);
    v.Scale = std::min((room.width() - 2) / dy, (room.height() - 2) / dx);
    const QSize size = v.imageSize();
    if (!(v.Scale > 0) || size.width() < 1 || size.height() < 1) {
        v = was;
        return false;
    }
    ws_.view.image = QImage(size, QImage::Format_RGB32);
    finishZoom();  // the window filled beyond the extent's right and bottom edges
    scrollToTopLeft();
    return true;
}

void MainWindow::showMapBox(const ObjectIndex::Box& box) {
    const MapView& v = ws_.view.view();
    const TGn a = v.toPixel({box.xmax, box.ymin}), b = v.toPixel({box.xmin, box.ymax});
    const QRect shown(ScrollBox1->horizontalScrollBar()->value(), ScrollBox1->verticalScrollBar()->value(),
                      ScrollBox1->viewport()->width(), ScrollBox1->viewport()->height());
    if (shown.contains(QRect(QPoint(a.PX, a.PY), QPoint(b.PX, b.PY)).normalized())) return;
    // A tenth of the extent around it; at least a hundredth of the map's
    // (a single point, a straight line).
    OrientationRecord o = ws_.map.Orientation;
    const double mx = std::max((box.xmax - box.xmin) / 10, (o.XMax - o.XMin) / 100);
    const double my = std::max((box.ymax - box.ymin) / 10, (o.YMax - o.YMin) / 100);
    o.XMin = box.xmin - mx;
    o.XMax = box.xmax + mx;
    o.YMin = box.ymin - my;
    o.YMax = box.ymax + my;
    fitExtent(o);
}

}  // namespace dm
