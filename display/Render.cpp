#include "Render.h"

#include "CosmeticLines.h"
#include "classifier/PaintTarget.h"
#include "classifier/Znak.h"
#include "mapdata/Geometry.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <limits>
#include <cmath>
#include <numbers>
#include <vector>

namespace dm {

using std::numbers::pi;

QPen windowsPen(int32_t color, int width, uint8_t style) {
    if (style == 5) return QPen(Qt::NoPen);
    QPen pen(colorFromTColor(color));
    if (width <= 1) {
        pen.setWidth(0);  // one pixel
        // The dash lengths of Windows' one-pixel styled pens.
        switch (style) {
            case 1: pen.setDashPattern({18, 6}); break;
            case 2: pen.setDashPattern({3, 3}); break;
            case 3: pen.setDashPattern({9, 6, 3, 6}); break;
            case 4: pen.setDashPattern({9, 3, 3, 3, 3, 3}); break;
            default: break;
        }
    } else {
        pen.setWidth(width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    return pen;
}

QBrush windowsBrush(int32_t color, uint8_t style) {
    static const Qt::BrushStyle kStyles[] = {Qt::SolidPattern, Qt::NoBrush,      Qt::HorPattern,
                                             Qt::VerPattern,   Qt::FDiagPattern, Qt::BDiagPattern,
                                             Qt::CrossPattern, Qt::DiagCrossPattern};
    return QBrush(colorFromTColor(color), style < 8 ? kStyles[style] : Qt::SolidPattern);
}

bool CircleCentre(QPoint a, QPoint b, QPoint c, QPoint& centre) {
    const double ax = a.x(), ay = a.y(), bx = b.x(), by = b.y(), cx = c.x(), cy = c.y();
    const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
    if (d == 0) return false;
    const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double ux = (a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d;
    const double uy = (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d;
    centre = QPoint(rnd(ux), rnd(uy));
    return true;
}

namespace {

// The pen and brush of the previous object, reused while the style repeats
// (building a QPen per object costs more than drawing a small one).
QPen cachedPen(int32_t color, int width, uint8_t style) {
    thread_local struct {
        int32_t color = 0;
        int width = -1;
        uint8_t style = 0;
        QPen pen;
    } c;
    if (c.width != width || c.color != color || c.style != style) {
        c.pen = windowsPen(color, width, style);
        c.color = color;
        c.width = width;
        c.style = style;
    }
    return c.pen;
}

QBrush cachedBrush(int32_t color, uint8_t style) {
    thread_local struct {
        int32_t color = -1;
        uint8_t style = 255;
        QBrush brush;
    } c;
    if (c.color != color || c.style != style) {
        c.brush = windowsBrush(color, style);
        c.color = color;
        c.style = style;
    }
    return c.brush;
}

// Small polygons on the map image are the bulk of a city map (houses), and
// the painter's general polygon fill costs far more than their few pixels.
// This draws a polygon with a solid one-pixel pen and a solid (or no) brush
// straight into the image when the painter copies, without clip or
// transform, and the polygon lies wholly inside; otherwise it returns false
// and the caller uses the painter.  Pixels whose centre lies inside the
// polygon (even-odd) take the brush; the outline is a closed ring of lines.
bool fastPolygonInto(QImage* img, const QPoint* pts, int n, bool outline, QRgb penColor, bool fill,
                     QRgb brushColor) {
    constexpr int kMaxSide = 64;
    // A row crosses at most every edge once; a polygon of more edges than
    // this holds is left to the painter.
    constexpr int kMaxCrossings = kMaxSide * 4 + 8;
    if (n < 3 || !img || (fill && n > kMaxCrossings)) return false;
    int x0 = pts[0].x(), x1 = x0, y0 = pts[0].y(), y1 = y0;
    for (int i = 1; i < n; ++i) {
        x0 = std::min(x0, pts[i].x());
        x1 = std::max(x1, pts[i].x());
        y0 = std::min(y0, pts[i].y());
        y1 = std::max(y1, pts[i].y());
    }
    if (x0 < 0 || y0 < 0 || x1 >= img->width() || y1 >= img->height() || x1 - x0 > kMaxSide ||
        y1 - y0 > kMaxSide)
        return false;
    uchar* bits = img->bits();
    const qsizetype bpl = img->bytesPerLine();
    auto px = [&](int x, int y) -> QRgb& { return reinterpret_cast<QRgb*>(bits + y * bpl)[x]; };
    if (fill) {
        const QRgb c = brushColor;
        // The edges that cross rows (half-open in y: from the lower end up
        // to, not including, the upper), each kept as drawn from a to b.
        struct Edge {
            int lo, hi, ax, ay;
            double dx, dy;
        };
        Edge edges[kMaxCrossings];
        int ne = 0;
        for (int i = 0; i < n; ++i) {
            const QPoint a = pts[i], b = pts[i + 1 < n ? i + 1 : 0];
            if (a.y() == b.y()) continue;
            edges[ne++] = {std::min(a.y(), b.y()), std::max(a.y(), b.y()), a.x(), a.y(), double(b.x() - a.x()),
                           double(b.y() - a.y())};
        }
        double xs[kMaxCrossings];
        for (int y = y0; y <= y1; ++y) {
            int m = 0;
            for (int i = 0; i < ne; ++i) {
                const Edge& e = edges[i];
                if (y < e.lo || y >= e.hi) continue;
                // An upright edge (most of a house's) crosses where it stands.
                const double x = e.dx == 0 ? e.ax : e.ax + double(y - e.ay) * e.dx / e.dy;
                // Kept in order as they come (a row crosses few edges).
                int k = m++;
                for (; k > 0 && xs[k - 1] > x; --k) xs[k] = xs[k - 1];
                xs[k] = x;
            }
            for (int k = 0; k + 1 < m; k += 2) {
                const int from = int(std::ceil(xs[k])), to = int(std::floor(xs[k + 1]));
                if (from <= to) std::fill_n(&px(from, y), to - from + 1, c);
            }
        }
    }
    if (outline) {
        const QRgb c = penColor;
        for (int i = 0; i < n; ++i) {
            // Bresenham from a to b, b itself left to the next edge.
            int xa = pts[i].x(), ya = pts[i].y();
            const int xb = pts[(i + 1) % n].x(), yb = pts[(i + 1) % n].y();
            const int dx = std::abs(xb - xa), dy = -std::abs(yb - ya);
            const int sx = xa < xb ? 1 : -1, sy = ya < yb ? 1 : -1;
            int err = dx + dy;
            while (xa != xb || ya != yb) {
                px(xa, ya) = c;
                const int e2 = 2 * err;
                if (e2 >= dy) {
                    err += dy;
                    xa += sx;
                }
                if (e2 <= dx) {
                    err += dx;
                    ya += sy;
                }
            }
        }
        // A polygon of one repeated point still shows that point.
        px(pts[0].x(), pts[0].y()) = c;
    }
    return true;
}

bool fastPolygon(QPainter& p, const QPoint* pts, int n) {
    QImage* img = directImageTarget(p);
    if (!img) return false;
    const QPen& pen = p.pen();
    const bool outline = pen.style() != Qt::NoPen;
    if (outline && (pen.style() != Qt::SolidLine || pen.widthF() > 1 || pen.color().alpha() != 255 ||
                    pen.brush().style() != Qt::SolidPattern))
        return false;
    const QBrush& brush = p.brush();
    const bool fill = brush.style() != Qt::NoBrush;
    if (fill && (brush.style() != Qt::SolidPattern || brush.color().alpha() != 255)) return false;
    return fastPolygonInto(img, pts, n, outline, pen.color().rgba(), fill, brush.color().rgba());
}

// The polygon an area is filled as: a point after the first in a negative
// column stands in for the point before it.  False when the outline is
// open.
bool areaPolygon(const std::vector<QPoint>& pts, std::vector<QPoint>& poly) {
    if (pts.empty() || pts.back().x() != pts.front().x()) return false;
    poly.clear();
    poly.push_back(pts[0]);
    for (size_t i = 1; i < pts.size(); ++i) poly.push_back(pts[i].x() < 0 ? poly.back() : pts[i]);
    return true;
}

// Pixels farther than this from the picture are held at this distance: no
// figure drawn there can reach the picture, and the small offsets added to
// them cannot overflow.
constexpr int kFarPx = 1 << 29;
QPoint farClamped(int x, int y) {
    return QPoint(std::clamp(x, -kFarPx, kFarPx), std::clamp(y, -kFarPx, kFarPx));
}

// Where a vertex is drawn: the view's pixel on the screen, the print
// scales' on paper.
QPoint vertexPixel(const TXY& q, bool print, const RenderContext& ctx) {
    if (print)
        return farClamped(rnd((q.Y - ctx.view.ViewYMin) * ctx.PrintScaleY),
                          rnd((ctx.view.ViewXMax - q.X) * ctx.PrintScaleX));
    const TGn g = ctx.view.toPixel(q);
    return farClamped(g.PX, g.PY);
}

QPoint along(QPoint p, double d, double theta) {
    return QPoint(rnd(p.x() + d * std::cos(theta)), rnd(p.y() + d * std::sin(theta)));
}

// Direction of travel of a segment in the image and its length; false when
// the two ends coincide.
bool direction(QPoint a, QPoint b, double& theta, double& len) {
    theta = DirectionAngle(a.x(), a.y(), b.x(), b.y(), len);
    return theta != kUndefinedDirection;
}

class Drawer {
public:
    Drawer(QPainter& p, QImage* direct, QSize device, TObj& o, double f, const RenderContext& ctx,
           std::vector<QPoint>& pts)
        : p_(p), direct_(direct), device_(device), o_(o), f_(f), ctx_(ctx), pts_(pts), print_(f > 1) {}

    void run() {
        if (o_.Points.empty()) return;
        // The painter takes the object's pen and brush only when it draws;
        // figures written straight into the image leave it alone.
        pen_ = {o_.PenColor, o_.PenWidth, o_.PenStyle};
        penSet_ = brushSet_ = false;
        mapVertices();
        if (o_.Shape == ShapeCircle || o_.Shape == ShapeArc) {
            shape();
            return;
        }
        switch (o_.Kind) {
            case KindPoint: print_ ? pointPrint() : pointScreen(); break;
            case KindLine: line(); break;
            case KindArea: area(); break;
            default: break;
        }
    }

private:
    void mapVertices() {
        pts_.resize(o_.Points.size());
        for (size_t i = 0; i < pts_.size(); ++i) pts_[i] = vertexPixel(o_.Points[i], print_, ctx_);
        // The part of the plane a figure drawn here can reach the picture from.
        // A pen wider than the far limit reaches everything anyway.
        const int reachOut = int(std::min<int64_t>(kFarPx, 64 + 8 * std::clamp<int64_t>(o_.PenWidth, 1, kFarPx) +
                                                               int64_t(16 * std::min(f_, 1e6))));
        visible_ = QRect(-reachOut, -reachOut, device_.width() + 2 * reachOut, device_.height() + 2 * reachOut);
    }

    // The ornament positions k (at distances k * step + offset along the
    // segment from a) that can reach the picture; a far-off vertex must not
    // make an ornament step through millions of positions nobody sees.
    std::pair<long, long> visibleSteps(QPoint a, double th, double len, double step, double offset) const {
        double lo = 0, hi = len;
        const double ux = std::cos(th), uy = std::sin(th);
        auto slab = [&](double p0, double u, double mn, double mx) {
            if (std::fabs(u) < 1e-12) {
                if (p0 < mn || p0 > mx) hi = -1;
                return;
            }
            double t0 = (mn - p0) / u, t1 = (mx - p0) / u;
            if (t0 > t1) std::swap(t0, t1);
            lo = std::max(lo, t0);
            hi = std::min(hi, t1);
        };
        slab(a.x(), ux, visible_.left(), visible_.right());
        slab(a.y(), uy, visible_.top(), visible_.bottom());
        if (hi < lo) return {1, 0};
        return {std::max(0L, long(std::floor((lo - offset) / step)) - 1), long(std::ceil((hi - offset) / step)) + 1};
    }

    // The pen of the figures drawn next.
    void setPen(int32_t color, int width, uint8_t style) {
        pen_ = {color, width, style};
        penSet_ = false;
    }
    void setWidth(int w) { setPen(o_.PenColor, w, o_.PenStyle); }

    // The painter with the current pen and the object's brush.
    QPainter& painter() {
        if (!penSet_) {
            p_.setPen(cachedPen(pen_.color, pen_.width, pen_.style));
            penSet_ = true;
        }
        if (!brushSet_) {
            p_.setBrush(cachedBrush(o_.BrushColor, o_.BrushStyle));
            brushSet_ = true;
        }
        return p_;
    }

    // The colour of the current pen when its lines can be written straight
    // into the image: a solid pen of one pixel.
    bool directPen(QRgb& color) const {
        if (!direct_ || pen_.width > 1 || (pen_.style >= 1 && pen_.style <= 5)) return false;
        color = colorFromTColor(pen_.color).rgba();
        return true;
    }

    // A circle of radius r: outline only, or filled in the pen's colour.
    void ellipse(QPoint c, int r, bool filled) {
        QPainter& p = painter();
        const QBrush old = p.brush();
        p.setBrush(filled ? QBrush(p.pen().color(), Qt::SolidPattern) : QBrush(Qt::NoBrush));
        p.drawEllipse(c, r, r);
        p.setBrush(old);
    }

    void drawPolyline(const QPoint* pts, int n) {
        QRgb c;
        if (directPen(c) && PolylineInto(*direct_, c, true, pts, n, false)) return;
        if (direct_ && pen_.width > 1) {
            nearRuns(pts, n);
            return;
        }
        painter().drawPolyline(pts, n);
    }

    // A wide pen's polyline on the map image, drawn as the runs of its
    // segments that can reach the picture.  The painter strokes every
    // segment it is given, and a street across the whole city has most of
    // them far outside a zoomed-in view.  The polyline is cut only at
    // vertices beyond the pen's reach of the picture: the caps put there
    // instead of joins, and the segments left out, touch no pixel of it.
    void nearRuns(const QPoint* pts, int n) {
        const int reach = pen_.width + 4;
        const int left = -reach, top = -reach, right = device_.width() + reach, bottom = device_.height() + reach;
        int start = -1;
        for (int i = 1; i < n; ++i) {
            const QPoint a = pts[i - 1], b = pts[i];
            const bool near = std::max(a.x(), b.x()) >= left && std::min(a.x(), b.x()) <= right &&
                              std::max(a.y(), b.y()) >= top && std::min(a.y(), b.y()) <= bottom;
            if (near && start < 0) start = i - 1;
            if (!near && start >= 0) {
                painter().drawPolyline(pts + start, i - start);
                start = -1;
            }
        }
        if (start >= 0) painter().drawPolyline(pts + start, n - start);
    }

    void drawLine(QPoint a, QPoint b) {
        QRgb c;
        if (!directPen(c) || !LineInto(*direct_, c, true, a, b)) painter().drawLine(a, b);
    }

    void polyline() {
        if (pts_.size() >= 2) drawPolyline(pts_.data(), int(pts_.size()));
    }

    // Segments with an end in a negative column are skipped.
    void clippedPolyline() {
        size_t runStart = 0;
        for (size_t i = 1; i <= pts_.size(); ++i) {
            const bool ok = i < pts_.size() && pts_[i - 1].x() >= 0 && pts_[i].x() >= 0;
            if (!ok) {
                if (i - 1 > runStart) drawPolyline(pts_.data() + runStart, int(i - runStart));
                runStart = i;
            }
        }
    }

    bool clipped(size_t i) const { return pts_[i - 1].x() < 0 || pts_[i].x() < 0; }

    void shape() {
        if (pts_.size() < 3) return;
        QPoint m;
        if (!CircleCentre(pts_[0], pts_[1], pts_[2], m)) return;
        const double rr = Distance(m.x(), m.y(), pts_[0].x(), pts_[0].y());
        // A circle through nearly straight points lies out of all reach.
        if (std::abs(int64_t(m.x())) > kFarPx || std::abs(int64_t(m.y())) > kFarPx || rr > kFarPx) return;
        const int r = rnd(rr);
        const QRect box(m.x() - r, m.y() - r, 2 * r, 2 * r);
        if (o_.Shape == ShapeCircle) {
            painter().drawEllipse(box);
            znak(m.x(), m.y(), 1);
        } else {
            // Counter-clockwise on the screen from vertex 0 to vertex 2.
            const double a0 = std::atan2(-(pts_[0].y() - m.y()), pts_[0].x() - m.x()) * 180 / pi;
            const double a2 = std::atan2(-(pts_[2].y() - m.y()), pts_[2].x() - m.x()) * 180 / pi;
            double span = a2 - a0;
            while (span <= 0) span += 360;
            painter().drawArc(box, rnd(a0 * 16), rnd(span * 16));
            // The symbol stands at the fourth vertex; an arc of three has none.
            if (pts_.size() >= 4) znak(pts_[3].x(), pts_[3].y(), 1);
        }
    }

    bool znak(int x, int y, double factor) {
        return ctx_.znaks && ctx_.znaks->DrawZnak(p_, direct_, x, y, o_.Code, factor);
    }

    void pointScreen() {
        for (const QPoint& q : pts_)
            if (!znak(q.x(), q.y(), f_)) ellipse(q, 2, false);
    }

    void pointPrint() {
        const QPoint q = pts_[0];
        const int x = q.x(), y = q.y();
        const int r = rnd(3 * f_);
        switch (o_.Code) {
            case 1: {
                const int c = rnd(30 * f_);
                painter().drawLine(x, y - c, x, y + c);
                painter().drawLine(x - c, y, x + c, y);
                break;
            }
            case 12: ellipse(q, r / 2, true); break;
            case 2402: case 2512: case 2515: case 2516: case 2518: ellipse(q, r, false); break;
            case 2404: case 2650: {
                const int c = rnd(f_);
                ellipse(q, c, true);
                painter().drawLine(x, y + c, x, y + c + rnd(5 * f_));
                break;
            }
            case 2610: ellipse(q, rnd(2 * f_), false); break;
            case 2620: {
                const int c = rnd(5 * f_), d = rnd(f_), e = 3 * d;
                painter().drawLine(x, y - c, x, y + c);
                const QPoint zig[] = {{x + e, y - c}, {x - e, y - e}, {x - e, y - d},
                                      {x + e, y + d}, {x + e, y + e}, {x - e, y + c}};
                painter().drawPolyline(zig, 6);
                break;
            }
            case 2670: {
                const int c = rnd(f_);
                painter().drawLine(x, y - rnd(6 * f_), x, y);
                painter().drawLine(x + 3 * c, y - 4 * c, x + 2 * c, y);
                painter().drawLine(x - 3 * c, y - 4 * c, x - 2 * c, y);
                break;
            }
            case 2690: {
                const int c = rnd(f_);
                ellipse(q, c, true);
                ellipse(QPoint(x - rnd(5 * f_), y), c, true);
                break;
            }
            case 2701: {
                const int c = rnd(f_);
                ellipse(QPoint(x - rnd(2.5 * f_), y), c, true);
                ellipse(q, c, true);
                break;
            }
            case 3170: case 3171:
                ellipse(q, rnd(2 * f_), false);
                ellipse(q, 2, false);
                break;
            default: ellipse(q, r / 2, false); break;
        }
    }

    void line() {
        if (o_.Code == 902) setWidth(2);
        switch (o_.Code) {
            case 741: centreCross(); return;
            case 780: case 790: print_ ? poleLinePrint() : poleLine(); return;
            case 840: case 850: case 860: case 870: case 880: case 1160: case 1650: case 1660: case 1670:
            case 1680: case 1690: case 1700: case 2221: case 2222: case 2290: case 2310: case 2370: case 2800:
            case 3150: case 3320: case 3330: case 3420: case 3430: case 4010: case 4720: case 4730: case 4750:
                sideTicks();
                return;
            case 930: case 940: case 2270: case 2300: crossTicks(); return;
            case 1891: arrow(); return;
            case 2410: case 2560: circleChain(); return;
            case 1490: {
                setPen(32768, pen_.width, pen_.style);
                polyline();
                return;
            }
            case 901: case 905:
                if (print_) setPen(0, 6, 0);
                polyline();
                return;
            case 1070: if (print_) setWidth(3); polyline(); return;
            case 3100: if (print_) setWidth(6); polyline(); return;
            case 3130: if (print_) setWidth(4); polyline(); return;
            case 3110: if (print_) polyline(); return;
            case 3160: if (print_) { setWidth(3); polyline(); } return;
            default: polyline(); return;
        }
    }

    void area() {
        if (o_.Code == 2222 || o_.Code == 2370) {
            // Ticks along the outline, which they draw, and no fill.
            sideTicks();
            return;
        }
        if (o_.Code == 741) centreCross();
        if (print_) {
            if (o_.Code == 3100) setWidth(6);
            else if (o_.Code == 3130) setWidth(4);
            else if (o_.Code == 3160) setWidth(3);
        }
        if (!ctx_.NoAreaFill && areaFill()) return;
        clippedPolyline();
    }

    bool areaFill() {
        if (pts_.empty() || pts_.back().x() != pts_.front().x()) return false;
        // The vertices themselves unless a column is negative.
        thread_local std::vector<QPoint> patched;
        const bool negative = std::any_of(pts_.begin() + 1, pts_.end(), [](QPoint q) { return q.x() < 0; });
        if (negative) areaPolygon(pts_, patched);
        const std::vector<QPoint>& poly = negative ? patched : pts_;
        const int n = int(poly.size());
        if (direct_) {
            // Solid or no brush, solid one-pixel or no pen: straight into
            // the image when the polygon is small and inside.
            const bool outline = pen_.style != 5, fill = o_.BrushStyle != 1;
            QRgb pen = 0;
            if ((!outline || directPen(pen)) && (!fill || o_.BrushStyle == 0 || o_.BrushStyle >= 8) &&
                fastPolygonInto(direct_, poly.data(), n, outline, pen, fill, colorFromTColor(o_.BrushColor).rgba()))
                return true;
        }
        painter().drawPolygon(poly.data(), n, Qt::OddEvenFill);
        return true;
    }

    // Each segment in order (those with an end in a negative column left out
    // when clipping), drawn when asked; `ornament` runs for the segments
    // whose direction is defined.
    template <typename F> void segments(bool clip, bool drawSegment, F ornament) {
        for (size_t i = 1; i < pts_.size(); ++i) {
            if (clip && clipped(i)) continue;
            const QPoint a = pts_[i - 1], b = pts_[i];
            if (drawSegment) drawLine(a, b);
            double th, len;
            if (direction(a, b, th, len)) ornament(a, b, th, len, i);
        }
    }

    void sideTicks() {
        const double s = 6 * f_;
        segments(true, true, [&](QPoint a, QPoint, double th, double len, size_t) {
            const auto [from, to] = visibleSteps(a, th, len, s, 0.5 * s);
            for (long k = from; k <= to && len - k * s > 6; ++k) {
                const QPoint m = along(a, (k + 0.5) * s, th);
                drawLine(m, along(m, s / 2, th + pi / 2));
            }
        });
    }

    void crossTicks() {
        const double g = 10 * f_;
        segments(true, true, [&](QPoint a, QPoint, double th, double len, size_t) {
            // The ticks run until the one at or past the segment's end: tick
            // k is drawn when tick k - 1 did not end the run.
            const auto [from, to] = visibleSteps(a, th, len, g, 0);
            for (long k = from; k <= to; ++k) {
                if (k > 0 && len - (k - 1) * g <= 10) break;
                const QPoint c = along(a, k * g, th);
                drawLine(along(c, g / 4, th + 3 * pi / 2), along(c, g / 4, th + pi / 2));
                if (len - k * g <= 10) break;
            }
        });
    }

    void centreCross() {
        clippedPolyline();
        double sx = pts_[0].x(), sy = pts_[0].y();
        int n = 1;
        for (size_t i = 2; i < pts_.size(); ++i, ++n) {
            sx += pts_[i].x();
            sy += pts_[i].y();
        }
        const int cx = rnd(sx / n), cy = rnd(sy / n), g = rnd(3 * f_);
        const QPoint h1(cx + g, cy), h2(cx - g, cy), v1(cx, cy - g), v2(cx, cy + g);
        if (direct_ && pen_.width > 1 && pen_.style != 5) {
            // A wide pen on the map image strokes the two bars as one path:
            // the pixels of the two strokes, for one pass of the stroker.
            QPainterPath cross;
            cross.moveTo(h1);
            cross.lineTo(h2);
            cross.moveTo(v1);
            cross.lineTo(v2);
            QPainter& p = painter();
            p.strokePath(cross, p.pen());
            return;
        }
        drawLine(h1, h2);
        drawLine(v1, v2);
    }

    void poleLine() {
        const int r = rnd(2 * f_);
        for (const QPoint& q : pts_) ellipse(q, r, false);
        segments(true, false, [&](QPoint a, QPoint b, double th, double, size_t) {
            drawLine(a, along(a, 10 * f_, th));
            drawLine(b, along(b, 10 * f_, th + pi));
        });
    }

    void circleChain() {
        const int c = f_ > 1 ? rnd(3 * f_) : 2;
        const double h = (o_.Code == 2410 ? 8 : 6) * f_;
        segments(true, false, [&](QPoint a, QPoint, double th, double len, size_t) {
            // The circles run until the one within h / factor of the end:
            // circle k is drawn when circle k - 1 did not end the run.
            const auto [from, to] = visibleSteps(a, th, len, h, 0);
            for (long k = from; k <= to; ++k) {
                if (k > 0 && len - (k - 1) * h <= h / f_) break;
                const QPoint q = along(a, k * h, th);
                if (o_.Code == 2560 && k % 2 == 0) {
                    QPainter& p = painter();
                    const QPen old = p.pen();
                    p.setPen(QPen(Qt::black, 0));
                    p.drawPoint(q);
                    p.setPen(old);
                } else {
                    ellipse(q, c, false);
                }
                if (len - k * h <= h / f_) break;
            }
        });
    }

    void poleLinePrint() {
        const int r = rnd(1.5 * f_);
        for (const QPoint& q : pts_) ellipse(q, r, true);
        const double arm = 5 * f_, off = 13 * f_;
        segments(false, false, [&](QPoint a, QPoint b, double th, double len, size_t i) {
            drawLine(a, b);
            if (off > len / 2) return;
            if (i + 1 < pts_.size()) {
                const QPoint A = along(a, off, th);
                drawLine(A, along(A, -arm, th + pi / 6));
                drawLine(A, along(A, -arm, th - pi / 6));
            }
            const QPoint B = along(b, off, th + pi);
            drawLine(B, along(B, arm, th + pi / 6));
            drawLine(B, along(B, arm, th - pi / 6));
        });
    }

    void arrow() {
        if (pts_.size() < 2) return;
        const QPoint a = pts_[0], b = pts_[1];
        drawLine(a, b);
        double th, len;
        if (!direction(a, b, th, len)) return;
        drawLine(b, along(b, -5 * f_, th + pi / 6));
        drawLine(b, along(b, -5 * f_, th - pi / 6));
    }

    struct PenSpec {
        int32_t color;
        int width;
        uint8_t style;
    };

    QRect visible_;
    QPainter& p_;
    QImage* direct_;  // the image pixels may be written into, or null
    QSize device_;
    PenSpec pen_{};
    bool penSet_ = false, brushSet_ = false;
    TObj& o_;
    double f_;
    const RenderContext& ctx_;
    std::vector<QPoint>& pts_;
    bool print_;
};

}  // namespace

bool DrawAreaFill(QPainter& p, const std::vector<QPoint>& pts) {
    thread_local std::vector<QPoint> poly;
    if (!areaPolygon(pts, poly)) return false;
    if (!fastPolygon(p, poly.data(), int(poly.size())))
        p.drawPolygon(poly.data(), int(poly.size()), Qt::OddEvenFill);
    return true;
}

bool MayReach(const TObj& o, double factor, const RenderContext& ctx, const QRect& pixels, double margin) {
    if (ctx.SeriesSelector != 10 || factor < 1 || o.Points.empty() || !AllFinite(o.Points)) return false;
    const bool print = factor > 1;
    const double pen = std::max<double>(o.PenWidth, 1);
    double x0, x1, y0, y1;
    if (o.Shape == ShapeCircle || o.Shape == ShapeArc) {
        // Drawn as the circle through the first three vertices' pixels (the
        // symbol at its centre or at the fourth vertex), or not at all.
        if (o.Points.size() < 3) return false;
        const QPoint a = vertexPixel(o.Points[0], print, ctx), b = vertexPixel(o.Points[1], print, ctx),
                     c = vertexPixel(o.Points[2], print, ctx);
        QPoint m;
        if (!CircleCentre(a, b, c, m)) return false;
        const double r = Distance(m.x(), m.y(), a.x(), a.y());
        if (std::abs(int64_t(m.x())) > kFarPx || std::abs(int64_t(m.y())) > kFarPx || r > kFarPx) return false;
        const double rr = rnd(r) + 1.0;
        x0 = m.x() - rr;
        x1 = m.x() + rr;
        y0 = m.y() - rr;
        y1 = m.y() + rr;
        if (o.Shape == ShapeArc && o.Points.size() >= 4) {
            const QPoint d = vertexPixel(o.Points[3], print, ctx);
            x0 = std::min<double>(x0, d.x());
            x1 = std::max<double>(x1, d.x());
            y0 = std::min<double>(y0, d.y());
            y1 = std::max<double>(y1, d.y());
        }
    } else {
        x0 = y0 = std::numeric_limits<double>::max();
        x1 = y1 = std::numeric_limits<double>::lowest();
        for (const TXY& q : o.Points) {
            const QPoint v = vertexPixel(q, print, ctx);
            x0 = std::min<double>(x0, v.x());
            x1 = std::max<double>(x1, v.x());
            y0 = std::min<double>(y0, v.y());
            y1 = std::max<double>(y1, v.y());
        }
    }
    // The pen, and whatever the figure's ornaments can add to it.
    const double reach = margin + 64 + 8 * pen + 16 * std::min(factor, 1e6);
    return x1 + reach >= pixels.left() && x0 - reach <= pixels.right() && y1 + reach >= pixels.top() &&
           y0 - reach <= pixels.bottom();
}

namespace {

// A closed interval of reals, for bounds that must hold whatever the
// rounding of the pixels.
struct Span {
    double lo, hi;
    Span operator+(Span b) const { return {lo + b.lo, hi + b.hi}; }
    Span operator-(Span b) const { return {lo - b.hi, hi - b.lo}; }
    Span operator*(Span b) const {
        const double p[] = {lo * b.lo, lo * b.hi, hi * b.lo, hi * b.hi};
        return {*std::min_element(p, p + 4), *std::max_element(p, p + 4)};
    }
    Span squared() const {
        const double a = lo * lo, b = hi * hi;
        return {lo <= 0 && hi >= 0 ? 0 : std::min(a, b), std::max(a, b)};
    }
    Span widened(double d) const { return {lo - d, hi + d}; }
    double mag() const { return std::max(std::abs(lo), std::abs(hi)); }
    bool holdsZero() const { return lo <= 0 && hi >= 0; }
};

// The note's figures.
enum NoteField { kScaleX, kScaleY, kFactor, kFirstX, kFirstY, kCol0, kCol1, kRow0, kRow1, kSpan, kKind };
constexpr double kAskEveryTime = 0, kNoteCircle = 1, kNoteVertices = 2;  // kKind

// Works out, at rows sx and columns sy per map unit, the columns and rows
// an object's figure can reach relative to the unrounded pixel of its first
// vertex (the pixels are each within half a pixel of their unrounded
// place, wherever the view stands), its pen and ornaments included; and
// how far its defining pixels lie from that first one (kSpan).
void fillNote(const TObj& o, double sx, double sy, double factor, ObjectIndex::FarNote& note) {
    double* v = note.v;
    note.filled = true;
    v[kScaleX] = sx;
    v[kScaleY] = sy;
    v[kFactor] = factor;
    v[kKind] = kAskEveryTime;
    if (o.Points.empty() || !AllFinite(o.Points) || !std::isfinite(sx) || !std::isfinite(sy)) return;
    const TXY a = o.Points[0];
    v[kFirstX] = a.X;
    v[kFirstY] = a.Y;
    // A vertex's pixel less the first one's: within a pixel of this.
    constexpr double kSlack = 1e-6;
    auto offset = [&](const TXY& q) {
        return std::pair{Span{(q.Y - a.Y) * sy, (q.Y - a.Y) * sy}.widened(1 + kSlack),
                         Span{(a.X - q.X) * sx, (a.X - q.X) * sx}.widened(1 + kSlack)};
    };
    Span col, row;
    double span;
    if (o.Shape == ShapeCircle || o.Shape == ShapeArc) {
        if (o.Points.size() < 3) return;
        const auto [ux, uy] = offset(o.Points[1]);
        const auto [wx, wy] = offset(o.Points[2]);
        // The circle's centre less the first pixel: (nx, ny) / d, worked out
        // exactly from the pixels when they are not too far off (see below).
        Span d = (ux * wy - uy * wx) * Span{2, 2};
        d = d.widened(1e-12 * d.mag());
        if (d.holdsZero()) return;  // nearly straight: anywhere
        const Span u2 = ux.squared() + uy.squared(), w2 = wx.squared() + wy.squared();
        const Span nx = (wy * u2 - uy * w2).widened(1e-12 * (wy.mag() * u2.mag() + uy.mag() * w2.mag()));
        const Span ny = (ux * w2 - wx * u2).widened(1e-12 * (ux.mag() * w2.mag() + wx.mag() * u2.mag()));
        const Span inv{1 / d.hi, 1 / d.lo};
        Span mx = nx * inv, my = ny * inv;
        // The centre rounded to its pixel.
        mx = mx.widened(0.5 + 1e-9 * mx.mag() + kSlack);
        my = my.widened(0.5 + 1e-9 * my.mag() + kSlack);
        // The radius as drawn: its distance rounded, and one more.
        const double rr = std::hypot(mx.mag(), my.mag()) * (1 + 1e-12) + 1.5;
        col = mx.widened(rr);
        row = my.widened(rr);
        span = std::max({ux.mag(), uy.mag(), wx.mag(), wy.mag()});
        if (o.Shape == ShapeArc && o.Points.size() >= 4) {
            const auto [dx, dy] = offset(o.Points[3]);
            col = {std::min(col.lo, dx.lo), std::max(col.hi, dx.hi)};
            row = {std::min(row.lo, dy.lo), std::max(row.hi, dy.hi)};
            span = std::max({span, dx.mag(), dy.mag()});
        }
        v[kKind] = kNoteCircle;
    } else {
        const ObjectIndex::Box b = ObjectIndex::extentOf(o);
        col = Span{(b.ymin - a.Y) * sy, (b.ymax - a.Y) * sy}.widened(1 + kSlack);
        row = Span{(a.X - b.xmax) * sx, (a.X - b.xmin) * sx}.widened(1 + kSlack);
        span = std::max(col.mag(), row.mag());
        v[kKind] = kNoteVertices;
    }
    // The first pixel lies within half a pixel of its unrounded place; then
    // the pen and the ornaments, as MayReach adds them.
    const double reach = 0.5 + 64 + 8 * std::max<double>(o.PenWidth, 1) + 16 * std::min(factor, 1e6);
    v[kCol0] = col.lo - reach;
    v[kCol1] = col.hi + reach;
    v[kRow0] = row.lo - reach;
    v[kRow1] = row.hi + reach;
    v[kSpan] = span;
    if (!std::isfinite(v[kCol0] + v[kCol1] + v[kRow0] + v[kRow1] + span)) v[kKind] = kAskEveryTime;
}

}  // namespace

bool MayReach(const TObj& o, double factor, const RenderContext& ctx, const QRect& pixels, double margin,
              ObjectIndex::FarNote& note) {
    if (ctx.SeriesSelector != 10 || factor < 1) return false;
    const bool print = factor > 1;
    const double sx = print ? ctx.PrintScaleX : ctx.view.Scale, sy = print ? ctx.PrintScaleY : ctx.view.Scale;
    const double* v = note.v;
    if (!note.filled || v[kScaleX] != sx || v[kScaleY] != sy || v[kFactor] != factor) fillNote(o, sx, sy, factor, note);
    if (v[kKind] != kAskEveryTime) {
        // The first vertex's unrounded pixel, as vertexPixel works it out.
        const double c = (v[kFirstY] - ctx.view.ViewYMin) * sy, r = (ctx.view.ViewXMax - v[kFirstX]) * sx;
        // The bounds hold while no pixel is held at the far limit or loses
        // its fraction, and while the circle's centre is worked out from
        // whole numbers exactly (below 2^53 in every sum and product of
        // CircleCentre: 6 L^2 D for coordinates up to L and differences up to D).
        const double L = std::max(std::abs(c), std::abs(r)) + v[kSpan] + 1;
        const bool exact = L <= double(1 << 26) &&
                           (v[kKind] == kNoteVertices || 6 * L * L * (2 * v[kSpan] + 2) < 0x1p52);
        if (exact && (c + v[kCol1] + margin < pixels.left() || c + v[kCol0] - margin > pixels.right() ||
                      r + v[kRow1] + margin < pixels.top() || r + v[kRow0] - margin > pixels.bottom()))
            return false;
    }
    return MayReach(o, factor, ctx, pixels, margin);
}

void PrepareForDrawing(TObj& obj, double factor, const RenderContext& ctx) {
    if (ctx.SeriesSelector != 10 || factor < 1 || obj.Points.empty() || !AllFinite(obj.Points)) return;
    if (obj.PenWidth == 0) obj.PenWidth = 1;
}

ObjectPainter::ObjectPainter(QPainter& p, const RenderContext& ctx) : p_(p), ctx_(ctx) {
    direct_ = p.opacity() == 1.0 ? directImageTarget(p) : nullptr;
    const QPaintDevice* dev = p.device();
    device_ = dev ? QSize(dev->width(), dev->height()) : QSize(0, 0);
}

void ObjectPainter::draw(TObj& obj, double factor) {
    if (ctx_.SeriesSelector != 10 || factor < 1 || obj.Points.empty() || !AllFinite(obj.Points)) return;
    if (obj.PenWidth == 0) obj.PenWidth = 1;
    Drawer(p_, direct_, device_, obj, factor, ctx_, pts_).run();
}

void DrawObject(QPainter& p, TObj& obj, double factor, const RenderContext& ctx) {
    ObjectPainter(p, ctx).draw(obj, factor);
}

}  // namespace dm
