// Moving about the map beyond the zoom rectangle and "Уменьшить": the
// mouse wheel and the "+" and "-" keys zoom about a point, "Вся карта"
// shows the whole extent in the window.
#include "MainWindow.h"
#include "MapImageWidget.h"

#include <QAction>
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

void MainWindow::finishZoom() {
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
    const OrientationRecord& o = ws_.map.Orientation;
    const double dx = o.XMax - o.XMin, dy = o.YMax - o.YMin;
    if (!(dx > 0) || !(dy > 0)) return;
    const QSize room = ScrollBox1->viewport()->size();
    MapView& v = ws_.view.view();
    v.setExtent(o);
    v.Scale = std::min((room.width() - 2) / dy, (room.height() - 2) / dx);
    if (!(v.Scale > 0)) return;
    const QSize size = v.imageSize();
    if (size.width() < 1 || size.height() < 1) return;
    ws_.view.image = QImage(size, QImage::Format_RGB32);
    finishZoom();
    scrollToTopLeft();
}

}  // namespace dm
