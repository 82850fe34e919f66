#include "MapImageWidget.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>

namespace dm {

MapImageWidget::MapImageWidget(const QImage* image, QWidget* parent) : QWidget(parent), image_(image) {
    setObjectName(QStringLiteral("Image"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    imageChanged();
}

void MapImageWidget::imageChanged() {
    const QSize s = image_->isNull() ? QSize(1, 1) : image_->size();
    if (size() != s) setFixedSize(s);
    update();
}

void MapImageWidget::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (image_->isNull()) {
        p.fillRect(e->rect(), Qt::white);
        return;
    }
    p.drawImage(e->rect().topLeft(), *image_, e->rect());
    if (afterPaint) afterPaint();
}

void MapImageWidget::mousePressEvent(QMouseEvent* e) {
    if (onMouseDown) onMouseDown(e);
}
void MapImageWidget::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove) onMouseMove(e);
}
void MapImageWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (onMouseUp) onMouseUp(e);
}

void MapImageWidget::wheelEvent(QWheelEvent* e) {
    if (onWheel && onWheel(e)) {
        e->accept();
        return;
    }
    QWidget::wheelEvent(e);
}

}  // namespace dm
