#pragma once
// The image behind a painter when pixels may be written straight into it:
// a 32-bit image painted in copy mode without clip, transform or
// antialiasing.  Null otherwise (printer, not-xor, clipped...).

#include <QImage>
#include <QPainter>

namespace dm {

inline QImage* directImageTarget(QPainter& p) {
    QPaintDevice* dev = p.device();
    if (!dev || dev->devType() != QInternal::Image) return nullptr;
    auto* img = static_cast<QImage*>(dev);
    if (img->format() != QImage::Format_RGB32 && img->format() != QImage::Format_ARGB32_Premultiplied) return nullptr;
    if (p.compositionMode() != QPainter::CompositionMode_SourceOver || p.hasClipping() ||
        p.testRenderHint(QPainter::Antialiasing) || p.combinedTransform().type() != QTransform::TxNone)
        return nullptr;
    return img;
}

}  // namespace dm
