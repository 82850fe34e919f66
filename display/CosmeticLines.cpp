#include "CosmeticLines.h"

#include "classifier/PaintTarget.h"

#include <QImage>
#include <QPainter>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

namespace dm {

namespace {

// The painter's rule, as its pictures show it: ends are taken to 1/64 of a
// pixel (truncated), a segment steps one pixel at a time along its longer
// axis, and the other coordinate advances by a 16.16 fixed-point slope.
// A segment covers the pixels from its first end up to, not including, its
// last, unless a cap (the ends of an open polyline, or a turn back along the
// same axis) moves that end out by half a pixel.  Where a segment meets the
// previous one, a first pixel equal to the previous last one is not drawn
// again, and one is put in where the two would leave a gap.

constexpr int kNone = INT_MIN;
enum Dir : int { kNoDir = 0, kDown = 1, kUp = 2, kRight = 4, kLeft = 8 };
constexpr int kVertical = kDown | kUp, kHorizontal = kRight | kLeft;
enum Cap : int { kCapStart = 1, kCapStop = 2 };

int swapCaps(int caps) { return ((caps & kCapStart) << 1) | ((caps & kCapStop) >> 1); }

// x / y in 16.16, truncated toward zero.
int fixedDiv(int x, int y) {
    if (std::abs(x) > 0x7fff) return int((int64_t(x) * 65536) / y);
    return (x * 65536) / y;
}

int to26Dot6(double v) { return int(v * 64.); }

class Stroker {
public:
    Stroker(QImage& img, QRgb color)
        : bits_(reinterpret_cast<QRgb*>(img.bits())), stride_(img.bytesPerLine() / 4), w_(img.width()),
          h_(img.height()), color_(color), xmin_(-1), xmax_(img.width() + 1), ymin_(-1), ymax_(img.height() + 1) {}

    void polyline(const QPoint* pts, int n, bool closed, bool caps) {
        if (n < 2) return;
        lastX_ = lastY_ = kNone;
        double px = pts[0].x(), py = pts[0].y();
        const double fx = px, fy = py;
        // A polyline back at its first point is a closed one: no caps, and
        // its first segment meets its last.
        const bool ring = closed || pts[0] == pts[n - 1];
        int cap = !ring && caps ? kCapStart : 0;
        if (ring) {
            const QPoint from = pts[0] == pts[n - 1] && n > 2 ? pts[n - 2] : pts[n - 1];
            endOf(from.x(), from.y(), fx, fy);
        }
        for (int i = 1; i < n; ++i) {
            if (!ring && caps && i == n - 1) cap |= kCapStop;
            const bool moved = segment(px, py, pts[i].x(), pts[i].y(), cap);
            // A step of less than a pixel that drew nothing keeps its start,
            // so that short steps in a row still join up.
            if (moved || i == 1 || i == n - 1) {
                px = pts[i].x();
                py = pts[i].y();
            }
            cap = 0;
        }
        if (closed) segment(px, py, fx, fy, 0);
    }

    void line(QPoint a, QPoint b, bool caps) {
        if (a == b) {
            plot(a.x(), a.y());
            return;
        }
        lastX_ = kNone;
        segment(a.x(), a.y(), b.x(), b.y(), caps ? kCapStart | kCapStop : 0);
    }

private:
    void plot(int x, int y) {
        if (unsigned(x) < unsigned(w_) && unsigned(y) < unsigned(h_)) bits_[y * stride_ + x] = color_;
    }

    // Cuts the segment to the picture and a pixel around it; true when
    // nothing of it is left.
    bool clip(double& x1, double& y1, double& x2, double& y2) {
        if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return true;
        if (x1 < xmin_) {
            if (x2 <= xmin_) return gone();
            y1 += (y2 - y1) / (x2 - x1) * (xmin_ - x1);
            x1 = xmin_;
        } else if (x1 > xmax_) {
            if (x2 >= xmax_) return gone();
            y1 += (y2 - y1) / (x2 - x1) * (xmax_ - x1);
            x1 = xmax_;
        }
        if (x2 < xmin_) {
            lastX_ = kNone;
            y2 += (y2 - y1) / (x2 - x1) * (xmin_ - x2);
            x2 = xmin_;
        } else if (x2 > xmax_) {
            lastX_ = kNone;
            y2 += (y2 - y1) / (x2 - x1) * (xmax_ - x2);
            x2 = xmax_;
        }
        if (y1 < ymin_) {
            if (y2 <= ymin_) return gone();
            x1 += (x2 - x1) / (y2 - y1) * (ymin_ - y1);
            y1 = ymin_;
        } else if (y1 > ymax_) {
            if (y2 >= ymax_) return gone();
            x1 += (x2 - x1) / (y2 - y1) * (ymax_ - y1);
            y1 = ymax_;
        }
        if (y2 < ymin_) {
            lastX_ = kNone;
            x2 += (x2 - x1) / (y2 - y1) * (ymin_ - y2);
            y2 = ymin_;
        } else if (y2 > ymax_) {
            lastX_ = kNone;
            x2 += (x2 - x1) / (y2 - y1) * (ymax_ - y2);
            y2 = ymax_;
        }
        return false;
    }
    bool gone() {
        lastX_ = kNone;
        return true;
    }

    // The last pixel and direction of the closing segment of a ring, so
    // that its first segment joins it.
    void endOf(double x1, double y1, double x2, double y2) {
        lastX_ = lastY_ = kNone;
        if (clip(x1, y1, x2, y2)) return;
        const int X1 = to26Dot6(x1), Y1 = to26Dot6(y1), X2 = to26Dot6(x2), Y2 = to26Dot6(y2);
        const int adx = std::abs(X2 - X1), ady = std::abs(Y2 - Y1);
        if (adx < ady) endAlong<true>(Y1, X1, Y2, X2);
        else if (adx != 0) endAlong<false>(X1, Y1, X2, Y2);
    }

    // a: the coordinate along the longer axis, b: the other one (26.6).
    template <bool yMajor> void endAlong(int a1, int b1, int a2, int b2) {
        const bool back = a1 > a2;
        if (back) {
            std::swap(a1, a2);
            std::swap(b1, b2);
        }
        const int inc = fixedDiv(b2 - b1, a2 - a1);
        int b = b1 * 1024;
        const int a = (a1 + 32) >> 6, as = (a2 + 32) >> 6;
        if (a == as) return;
        b += ((a * 64) + (inc > 0 ? 32 : 0) - a1) * inc >> 6;
        if (back) setLast<yMajor>(a, b >> 16);
        else setLast<yMajor>(as - 1, (b + (as - a - 1) * inc) >> 16);
        lastDir_ = yMajor ? (back ? kUp : kDown) : (back ? kLeft : kRight);
        lastFlat_ = std::abs(inc) < (1 << 14);
    }

    template <bool yMajor> void setLast(int a, int b) {
        lastX_ = yMajor ? b : a;
        lastY_ = yMajor ? a : b;
    }

    // Draws the segment; false when it was shorter than a pixel and drew
    // nothing.
    bool segment(double x1, double y1, double x2, double y2, int caps) {
        const bool longEnough = std::fabs(x2 - x1) + std::fabs(y2 - y1) >= 1.0;
        if (clip(x1, y1, x2, y2)) return true;
        const int X1 = to26Dot6(x1), Y1 = to26Dot6(y1), X2 = to26Dot6(x2), Y2 = to26Dot6(y2);
        const int adx = std::abs(X2 - X1), ady = std::abs(Y2 - Y1);
        if (adx < ady) return along<true>(Y1, X1, Y2, X2, caps, longEnough);
        if (adx == 0) return true;
        return along<false>(X1, Y1, X2, Y2, caps, longEnough);
    }

    template <bool yMajor> bool along(int a1, int b1, int a2, int b2, int caps, bool drew) {
        const bool back = a1 > a2;
        int dir = yMajor ? kDown : kRight;
        if (back) {
            std::swap(a1, a2);
            std::swap(b1, b2);
            caps = swapCaps(caps);
            dir = yMajor ? kUp : kLeft;
        }
        const int inc = fixedDiv(b2 - b1, a2 - a1);
        int b = b1 * 1024;
        // Turning back along the same axis puts a cap where the turn is.
        if ((lastDir_ ^ (yMajor ? kVertical : kHorizontal)) == dir) caps |= back ? kCapStop : kCapStart;
        if (caps & kCapStart) {
            a1 -= 32;
            b -= inc >> 1;
        }
        if (caps & kCapStop) a2 += 32;
        int a = (a1 + 32) >> 6, as = (a2 + 32) >> 6;
        // A cap that rounds the start past the previous segment's last
        // pixel starts one pixel on instead.
        if ((caps & kCapStart) && (yMajor ? lastY_ : lastX_) == a + 1) ++a;
        int lastX = lastX_, lastY = lastY_;
        if (a != as) {
            b += ((a * 64) + (inc > 0 ? 32 : 0) - a1) * inc >> 6;
            int fa = a, fb = b >> 16, la = as - 1, lb = (b + (as - a - 1) * inc) >> 16;
            if (back) {
                std::swap(fa, la);
                std::swap(fb, lb);
            }
            const int firstX = yMajor ? fb : fa, firstY = yMajor ? fa : fb;
            lastX = yMajor ? lb : la;
            lastY = yMajor ? la : lb;
            const bool flat = std::abs(inc) < (1 << 14);
            if (lastX_ != kNone) {
                if (firstX == lastX_ && firstY == lastY_) {
                    // The previous segment drew this pixel already.
                    if (back) {
                        --as;
                    } else {
                        ++a;
                        b += inc;
                    }
                } else if (lastDir_ != dir &&
                           ((flat && lastFlat_ && lastX_ != firstX && lastY_ != firstY) ||
                            std::abs(lastX_ - firstX) > 1 || std::abs(lastY_ - firstY) > 1)) {
                    // The turn would leave a gap: one more pixel.
                    if (back) {
                        ++as;
                    } else {
                        --a;
                        b -= inc;
                    }
                } else if (lastDir_ == dir && std::abs(lastX_ - firstX) <= 1 && std::abs(lastY_ - firstY) > 1) {
                    // Going on the same way with a jump: half a step on.
                    b += inc >> 1;
                    const int lb2 = back ? b >> 16 : (b + (as - a - 1) * inc) >> 16;
                    (yMajor ? lastX : lastY) = lb2;
                }
            }
            lastDir_ = dir;
            lastFlat_ = flat;
            do {
                if (yMajor) plot(b >> 16, a);
                else plot(a, b >> 16);
                b += inc;
            } while (++a < as);
            drew = true;
        }
        lastX_ = lastX;
        lastY_ = lastY;
        return drew;
    }

    QRgb* bits_;
    qsizetype stride_;
    int w_, h_;
    QRgb color_;
    double xmin_, xmax_, ymin_, ymax_;
    int lastX_ = kNone, lastY_ = kNone;
    int lastDir_ = kNoDir;
    bool lastFlat_ = false;
};

// The steps along a line are 16.16 fixed-point pixels: pictures larger
// than this are left to the painter.
constexpr int kMaxSide = 16384;
bool fits(const QImage& img) { return img.width() <= kMaxSide && img.height() <= kMaxSide; }

// The image and colour when the painter's lines may be drawn here.
QImage* target(QPainter& p, QRgb& color, bool& caps) {
    QImage* img = directImageTarget(p);
    if (!img || !fits(*img) || p.opacity() != 1.0) return nullptr;
    const QPen& pen = p.pen();
    if (pen.style() != Qt::SolidLine || pen.widthF() > 1 || pen.brush().style() != Qt::SolidPattern ||
        pen.color().alpha() != 255)
        return nullptr;
    color = pen.color().rgba();
    caps = pen.capStyle() != Qt::FlatCap;
    return img;
}

bool polylineHere(QPainter& p, const QPoint* pts, int n, bool closed) {
    QRgb color;
    bool caps;
    QImage* img = target(p, color, caps);
    if (!img) return false;
    Stroker(*img, color).polyline(pts, n, closed, caps);
    return true;
}

bool lineHere(QPainter& p, QPoint a, QPoint b) {
    QRgb color;
    bool caps;
    QImage* img = target(p, color, caps);
    if (!img) return false;
    Stroker(*img, color).line(a, b, caps);
    return true;
}

// Probe figures drawn both ways: short and long segments at every angle,
// turns of every kind, rings, steps shorter than a pixel, ends off the
// picture on every side, flat and square caps.
bool probe() {
    constexpr int kSize = 64;
    QImage mine(kSize, kSize, QImage::Format_RGB32), theirs(kSize, kSize, QImage::Format_RGB32);
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> near(-8, kSize + 8), step(-3, 3), count(2, 9);
    std::vector<QPoint> pts;
    for (int round = 0; round < 400; ++round) {
        mine.fill(Qt::white);
        theirs.fill(Qt::white);
        pts.clear();
        const int n = count(rng);
        pts.emplace_back(near(rng), near(rng));
        for (int i = 1; i < n; ++i) {
            const bool small = round % 3 == 0;
            pts.push_back(small ? pts.back() + QPoint(step(rng), step(rng)) : QPoint(near(rng), near(rng)));
        }
        if (round % 5 == 0) pts.push_back(pts.front());
        const bool closed = round % 7 == 3;
        QPen pen(QColor(20, 40, 60), 0);
        if (round % 4 == 1) pen.setCapStyle(Qt::FlatCap);
        {
            QPainter a(&mine), b(&theirs);
            a.setPen(pen);
            b.setPen(pen);
            if (round % 11 == 5) {
                lineHere(a, pts[0], pts[1]);
                b.drawLine(pts[0], pts[1]);
            } else if (closed) {
                a.setBrush(Qt::NoBrush);
                b.setBrush(Qt::NoBrush);
                polylineHere(a, pts.data(), int(pts.size()), true);
                b.drawPolygon(pts.data(), int(pts.size()));
            } else {
                polylineHere(a, pts.data(), int(pts.size()), false);
                b.drawPolyline(pts.data(), int(pts.size()));
            }
        }
        if (mine != theirs) return false;
    }
    return true;
}

}  // namespace

bool DirectLinesMatchPainter() {
    static const bool same = probe();
    return same;
}

bool DirectPolyline(QPainter& p, const QPoint* pts, int n, bool closed) {
    return DirectLinesMatchPainter() && polylineHere(p, pts, n, closed);
}

bool DirectLine(QPainter& p, QPoint a, QPoint b) { return DirectLinesMatchPainter() && lineHere(p, a, b); }

bool PolylineInto(QImage& img, QRgb color, bool squareCaps, const QPoint* pts, int n, bool closed) {
    if (!fits(img) || !DirectLinesMatchPainter()) return false;
    Stroker(img, color).polyline(pts, n, closed, squareCaps);
    return true;
}

bool LineInto(QImage& img, QRgb color, bool squareCaps, QPoint a, QPoint b) {
    if (!fits(img) || !DirectLinesMatchPainter()) return false;
    Stroker(img, color).line(a, b, squareCaps);
    return true;
}

}  // namespace dm
