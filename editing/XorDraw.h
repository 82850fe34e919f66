#pragma once
// Rubber bands and feedback drawn straight onto the map image in not-xor
// mode (each pixel becomes ~(pen ^ pixel)), so that drawing the same figure
// again restores the picture.  Lines follow the Windows rule: a line from A
// to B leaves out B, so a polyline sets every pixel of its vertices once.

#include <QImage>
#include <QPoint>

#include <vector>

namespace dm {

// The pen of the rubber bands: blue, one pixel.
constexpr QRgb kBandPen = 0xFF0000FFu;

void xorLine(QImage& img, QPoint a, QPoint b, QRgb pen);
void xorPolyline(QImage& img, const std::vector<QPoint>& pts, QRgb pen);
// The outline of the rectangle with corners a and b (the right and bottom
// edges one pixel inside, as Windows draws it).
void xorRect(QImage& img, QPoint a, QPoint b, QRgb pen);

}  // namespace dm
