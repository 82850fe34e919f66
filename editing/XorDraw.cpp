#include "XorDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dm {

namespace {
inline void flip(QImage& img, int x, int y, QRgb pen) {
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return;
    QRgb* p = reinterpret_cast<QRgb*>(img.scanLine(y)) + x;
    *p = 0xFF000000u | (~(pen ^ *p) & 0x00FFFFFFu);
}
}  // namespace

namespace {
// Cuts the segment to the image widened by a margin (Liang-Barsky); false
// when nothing of it is near the image.
bool clip(const QImage& img, QPoint& a, QPoint& b) {
    const double xmin = -2, ymin = -2, xmax = img.width() + 2, ymax = img.height() + 2;
    const double x0 = a.x(), y0 = a.y(), dx = double(b.x()) - x0, dy = double(b.y()) - y0;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, r);
        else t1 = std::min(t1, r);
        if (t0 > t1) return false;
    }
    if (t0 > 0) a = QPoint(int(std::lround(x0 + t0 * dx)), int(std::lround(y0 + t0 * dy)));
    if (t1 < 1) b = QPoint(int(std::lround(x0 + t1 * dx)), int(std::lround(y0 + t1 * dy)));
    return true;
}
}  // namespace

void xorLine(QImage& img, QPoint a, QPoint b, QRgb pen) {
    // Bresenham from a towards b, b itself left out.
    if (!clip(img, a, b)) return;
    int x = a.x(), y = a.y();
    const int xb = b.x(), yb = b.y();
    const long long dx = std::llabs((long long)xb - x), dy = -std::llabs((long long)yb - y);
    const int sx = x < xb ? 1 : -1, sy = y < yb ? 1 : -1;
    long long err = dx + dy;
    long long guard = dx - dy + 1;
    while ((x != xb || y != yb) && guard-- > 0) {
        flip(img, x, y, pen);
        const long long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void xorPolyline(QImage& img, const std::vector<QPoint>& pts, QRgb pen) {
    for (size_t i = 1; i < pts.size(); ++i) xorLine(img, pts[i - 1], pts[i], pen);
}

void xorRect(QImage& img, QPoint a, QPoint b, QRgb pen) {
    const int x1 = std::min(a.x(), b.x()), x2 = std::max(a.x(), b.x()) - 1;
    const int y1 = std::min(a.y(), b.y()), y2 = std::max(a.y(), b.y()) - 1;
    if (x2 < x1 || y2 < y1) return;
    for (int x = x1; x <= x2; ++x) {
        flip(img, x, y1, pen);
        if (y2 != y1) flip(img, x, y2, pen);
    }
    for (int y = y1 + 1; y < y2; ++y) {
        flip(img, x1, y, pen);
        if (x2 != x1) flip(img, x2, y, pen);
    }
}

}  // namespace dm
