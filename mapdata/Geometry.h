#pragma once
// Plane geometry and geodesy routines: directions and distances, polygon
// area, pixel tests on segments, and the conversion of geographic
// coordinates to the plane (Krasovsky 1940 ellipsoid).

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <span>

namespace dm {

// Returned by DirectionAngle for two equal points; every caller tests for it.
constexpr double kUndefinedDirection = 9999;
constexpr double kNearAxis = 0.05 / 206264.806247;
constexpr double kPolarRadius = 6399698.9018;      // c = a^2 / b
constexpr double kSecondEcc2 = 0.0067385254;       // e'^2
constexpr double kArcConvergence = 0.0001;         // metres
constexpr int kMaxArcIntervals = 512;              // bound of the Simpson doubling

// Nearest integer, halves to the even neighbour (the default rounding mode),
// saturated to the 32-bit range so that far-off coordinates never overflow.
inline int64_t rnd64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18) return INT64_MAX;
    if (v <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(std::nearbyint(v));
}
inline int rnd(double v) {
    if (std::isnan(v)) return 0;
    if (v >= double(INT_MAX)) return INT_MAX;
    if (v <= double(INT_MIN)) return INT_MIN;
    return static_cast<int>(std::nearbyint(v));
}

struct Pt {
    double X = 0, Y = 0;
};
struct IPt {
    int X = 0, Y = 0;
    bool operator==(const IPt&) const = default;
};

// Direction from P1 to P2 in [0, 2*pi), measured from +X towards +Y, and the
// distance d; kUndefinedDirection (d untouched) when the points are equal.
double DirectionAngle(double x1, double y1, double x2, double y2, double& d);
inline double DirectionAngle(double x1, double y1, double x2, double y2) {
    double d;
    return DirectionAngle(x1, y1, x2, y2, d);
}

inline double Distance(double x1, double y1, double x2, double y2) {
    return std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
}

// Area of the polygon through the vertices (cyclic); never negative.
double PolygonArea(std::span<const Pt> v);

template <typename T> void NormalizeRect(T& x1, T& y1, T& x2, T& y2) {
    if (x1 > x2) { T t = x1; x1 = x2; x2 = t; }
    if (y1 > y2) { T t = y1; y1 = y2; y2 = t; }
}

// Hit rule for segments: T's foot lies inside P1P2 (within 1 pixel) and T is
// less than 5 pixels from the line.
bool PointOnSegment(IPt p1, IPt p2, IPt t);
// A cheap first look for the hit rule: false only where PointOnSegment is
// false too (T farther than 8 pixels outside the segment's box; very long
// segments widen the box by what the near-axis rounding can move the line).
inline bool SegmentMayHold(IPt p1, IPt p2, IPt t) {
    const double slack = 8 + (std::fabs(double(p2.X) - p1.X) + std::fabs(double(p2.Y) - p1.Y)) * 1e-6;
    const double x0 = std::min(p1.X, p2.X) - slack, x1 = std::max(p1.X, p2.X) + slack;
    const double y0 = std::min(p1.Y, p2.Y) - slack, y1 = std::max(p1.Y, p2.Y) + slack;
    return t.X >= x0 && t.X <= x1 && t.Y >= y0 && t.Y <= y1;
}

// Where the segment Q1Q2 crosses the segment P1P2 (pixels); false when it
// does not (or a direction is undefined).
bool SegmentCrossing(IPt p1, IPt p2, IPt q1, IPt q2, IPt& crossing);

// Meridian arc from the equator to latitude B by Simpson's rule, n intervals.
double MeridianArc(double B, int n);

// Gauss-Kruger plane coordinates (y without false easting) of latitude B and
// longitude L for the axial meridian L0; radians in, metres out.
void PlaneFromGeographic(double B, double L, double L0, double& x, double& y);

double DmsToRadians(double degrees, double minutes, double seconds);
void RadiansToDms(double r, double& degrees, double& minutes, double& seconds);

}  // namespace dm
