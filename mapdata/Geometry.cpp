#include "Geometry.h"

#include <cstdlib>
#include <numbers>

namespace dm {

using std::numbers::pi;

double DirectionAngle(double x1, double y1, double x2, double y2, double& d) {
    const double dx = x2 - x1, dy = y2 - y1;
    if (dx == 0 && dy == 0) return kUndefinedDirection;
    d = std::sqrt(dx * dx + dy * dy);
    if (std::fabs(dy) < d * kNearAxis) return dx >= 0 ? 0.0 : pi;
    if (dy >= 0) return pi / 2 - std::atan(dx / dy);
    return 3 * pi / 2 - std::atan(dx / dy);
}

double PolygonArea(std::span<const Pt> v) {
    const size_t n = v.size();
    if (n < 3) return 0;
    double s = 0;
    for (size_t k = 0; k < n; ++k) {
        const Pt& next = v[(k + 1) % n];
        const Pt& prev = v[(k + n - 1) % n];
        s += (next.X - prev.X) * v[k].Y;
    }
    return std::fabs(s) / 2;
}

namespace {
// Projections of T on the segment from P1 (m1) and from P2 (m2) and its
// distance h from the line, as pixel integers; false if a direction is undefined.
bool project(IPt p1, IPt p2, IPt t, double L, double a, int64_t& m1, int64_t& m2, int64_t& h) {
    double d1 = 0, d2 = 0;
    const double a1 = DirectionAngle(p1.X, p1.Y, t.X, t.Y, d1);
    const double a2 = DirectionAngle(p2.X, p2.Y, t.X, t.Y, d2);
    if (a1 == kUndefinedDirection || a2 == kUndefinedDirection) return false;
    m1 = std::llabs(rnd64(d1 * std::cos(std::fabs(a1 - a))));
    m2 = std::llabs(rnd64(d2 * std::cos(std::fabs(a2 - (a + pi)))));
    h = std::llabs(rnd64(d2 * std::sin(std::fabs(a2 - (a + pi)))));
    (void)L;
    return true;
}
}  // namespace

bool PointOnSegment(IPt p1, IPt p2, IPt t) {
    double L = 0;
    const double a = DirectionAngle(p1.X, p1.Y, p2.X, p2.Y, L);
    if (a == kUndefinedDirection) return false;
    int64_t m1, m2, h;
    if (!project(p1, p2, t, L, a, m1, m2, h)) return false;
    return std::llabs(rnd64(L) - m1 - m2) < 2 && h < 5;
}

bool SegmentCrossing(IPt p1, IPt p2, IPt q1, IPt q2, IPt& crossing) {
    double L = 0;
    const double a = DirectionAngle(p1.X, p1.Y, p2.X, p2.Y, L);
    if (a == kUndefinedDirection) return false;
    int64_t m1, m2, h1, m3, m4, h2;
    if (!project(p1, p2, q1, L, a, m1, m2, h1)) return false;
    if (!project(p1, p2, q2, L, a, m3, m4, h2)) return false;
    const int64_t rl = rnd64(L);
    if (std::llabs(rl - m1 - m2) > 1 || std::llabs(rl - m3 - m4) > 1) return false;
    const double ca = std::cos(a), sa = std::sin(a);
    const int64_t f1x = rnd64(p1.X + double(m1) * ca), f1y = rnd64(p1.Y + double(m1) * sa);
    const int64_t f2x = rnd64(p1.X + double(m3) * ca), f2y = rnd64(p1.Y + double(m3) * sa);
    const double qq = Distance(q1.X, q1.Y, q2.X, q2.Y);
    if (std::llabs(rnd64(qq) - (h1 + h2)) >= 2) return false;
    crossing.X = rnd((double(f1x) + double(f2x)) / 2);
    crossing.Y = rnd((double(f1y) + double(f2y)) / 2);
    return true;
}

double MeridianArc(double B, int n) {
    if (n <= 0) return 0;
    auto f = [](double phi) {
        const double c = std::cos(phi);
        return kPolarRadius / std::pow(1 + kSecondEcc2 * c * c, 1.5);
    };
    const double h = B / n;
    double odd = 0, even = 0;
    for (int k = 1; k < n; ++k) (k % 2 ? odd : even) += f(k * h);
    return h / 3 * (f(0) + f(n * h) + 4 * odd + 2 * even);
}

void PlaneFromGeographic(double B, double L, double L0, double& x, double& y) {
    // Doubling until two successive arcs agree; n is bounded, and the last
    // value is used if the bound is reached (it is far beyond what any
    // latitude needs).
    double X0 = 0, prev = 0;
    for (int n = 4; n <= kMaxArcIntervals; n *= 2) {
        X0 = MeridianArc(B, n);
        if (std::fabs(X0 - prev) < kArcConvergence) break;
        prev = X0;
    }
    const double e2 = kSecondEcc2;
    const double cB = std::cos(B), sB = std::sin(B);
    const double eta2 = e2 * cB * cB;
    const double V = std::sqrt(1 + eta2);
    const double N = kPolarRadius / V;
    const double F = (1 + eta2) * cB * cB;
    const double K = (4 * eta2 + 5) * F + 2 * (3 * eta2 + 1) * sB * sB;
    const double a1 = N * cB;
    const double a2 = -a1 * sB;
    const double a3 = -a2 * sB - a1 * F;
    const double q = 2 * F / cB;
    const double a4 = -a3 * sB - q * q * a2;
    const double a5 = -(6 * eta2 + 3) * a4 * sB - a3 * K;
    const double a6 = -(6 * eta2 + 3) * a5 * sB - ((6 * eta2 + 1 - 4 * e2) * F + K) * a4 -
                      (4 * sB * F * (6 * eta2 + 1 - 3 * e2) - 2 * sB * F * (4 * eta2 * eta2 + 8 * eta2 + 5)) * a3;
    const double l = L - L0;
    const double l2 = l * l, l3 = l2 * l, l4 = l2 * l2, l5 = l4 * l, l6 = l3 * l3;
    x = X0 - a2 * l2 / 2 + a4 * l4 / 24 - a6 * l6 / 720;
    y = a1 * l - a3 * l3 / 6 + a5 * l5 / 120;
}

double DmsToRadians(double g, double m, double s) {
    const double r = (std::fabs(g) + m / 60 + s / 3600) * pi / 180;
    return g < 0 ? -r : r;
}

void RadiansToDms(double r, double& degrees, double& minutes, double& seconds) {
    const double a = std::fabs(r * 180 / pi);
    degrees = std::trunc(a);
    minutes = std::trunc((a - degrees) * 60);
    seconds = ((a - degrees) * 60 - minutes) * 60;
    if (r < 0) degrees = -degrees;
}

}  // namespace dm
