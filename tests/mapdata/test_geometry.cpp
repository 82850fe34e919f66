#include "mapdata/Geometry.h"

#include <gtest/gtest.h>

#include <random>

#include <numbers>

using namespace dm;
using std::numbers::pi;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(rnd(0.5), 0);
    EXPECT_EQ(rnd(1.5), 2);
    EXPECT_EQ(rnd(2.5), 2);
    EXPECT_EQ(rnd(-0.5), 0);
    EXPECT_EQ(rnd(-1.5), -2);
    EXPECT_EQ(rnd(2.4999), 2);
    EXPECT_EQ(rnd(2.5001), 3);
    // Far-off values saturate instead of overflowing.
    EXPECT_EQ(rnd(1e12), INT_MAX);
    EXPECT_EQ(rnd(-1e12), INT_MIN);
    EXPECT_EQ(rnd(std::nan("")), 0);
}

TEST(DirectionAngle, AxesAndTheUndefinedMarker) {
    double d = -1;
    EXPECT_DOUBLE_EQ(DirectionAngle(0, 0, 10, 0, d), 0);
    EXPECT_DOUBLE_EQ(d, 10);
    EXPECT_DOUBLE_EQ(DirectionAngle(0, 0, 0, 10), pi / 2);
    EXPECT_DOUBLE_EQ(DirectionAngle(0, 0, -10, 0), pi);
    EXPECT_DOUBLE_EQ(DirectionAngle(0, 0, 0, -10), 3 * pi / 2);
    d = 42;
    EXPECT_EQ(DirectionAngle(3, 4, 3, 4, d), kUndefinedDirection);
    EXPECT_EQ(d, 42);  // not produced
    EXPECT_NEAR(DirectionAngle(0, 0, 10, 10), pi / 4, 1e-12);
    EXPECT_NEAR(DirectionAngle(0, 0, -10, -10), 5 * pi / 4, 1e-12);
    // Below 0.05 arc-seconds off the X axis the direction snaps to it.
    EXPECT_EQ(DirectionAngle(0, 0, 1e6, 1e-4), 0);
    EXPECT_EQ(DirectionAngle(0, 0, -1e6, -1e-4), pi);
}

TEST(PolygonArea, SquareWithAndWithoutClosingVertex) {
    std::vector<Pt> sq = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_DOUBLE_EQ(PolygonArea(sq), 100);
    sq.push_back({0, 0});
    EXPECT_DOUBLE_EQ(PolygonArea(sq), 100);
    std::reverse(sq.begin(), sq.end());
    EXPECT_DOUBLE_EQ(PolygonArea(sq), 100);
    EXPECT_DOUBLE_EQ(PolygonArea(std::vector<Pt>{{0, 0}, {5, 5}}), 0);
}

TEST(NormalizeRect, SwapsCorners) {
    int x1 = 5, y1 = 1, x2 = 2, y2 = 7;
    NormalizeRect(x1, y1, x2, y2);
    EXPECT_EQ(x1, 2);
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y1, 1);
    EXPECT_EQ(y2, 7);
}

TEST(PointOnSegment, FootInsideAndDistanceBelowFive) {
    const IPt a{0, 0}, b{100, 0};
    EXPECT_TRUE(PointOnSegment(a, b, {50, 4}));
    EXPECT_TRUE(PointOnSegment(a, b, {50, -4}));
    EXPECT_FALSE(PointOnSegment(a, b, {50, 5}));
    EXPECT_FALSE(PointOnSegment(a, b, {103, 0}));
    EXPECT_TRUE(PointOnSegment(a, b, {100, 1}));
    EXPECT_FALSE(PointOnSegment(a, b, {-3, 0}));
    // Undefined directions: T on an end point, or a zero-length segment.
    EXPECT_FALSE(PointOnSegment(a, b, a));
    EXPECT_FALSE(PointOnSegment(a, a, {1, 1}));
    // A diagonal segment.
    EXPECT_TRUE(PointOnSegment({0, 0}, {60, 80}, {33, 42}));
}

TEST(PointOnSegment, TheCheapFirstLookNeverRejectsAHit) {
    // Segments short and long (up to 3 million pixels, where the near-axis
    // rounding moves the line), clicks all around them: every click the rule
    // accepts passes the first look, and clicks 9 pixels off the box do not.
    std::mt19937 rng(99);
    int hits = 0, rejected = 0;
    for (int k = 0; k < 400000; ++k) {
        const int span = k % 3 == 0 ? 3000000 : k % 3 == 1 ? 2000 : 12;
        std::uniform_int_distribution<int> d(-span, span), near(-10, 10);
        const IPt a{d(rng), d(rng)};
        IPt b{a.X + d(rng), a.Y + (k % 5 == 0 ? near(rng) : d(rng))};
        const double u = std::uniform_real_distribution<double>(-0.01, 1.01)(rng);
        const IPt t{int(std::lround(a.X + u * (b.X - a.X))) + near(rng), int(std::lround(a.Y + u * (b.Y - a.Y))) + near(rng)};
        const bool on = PointOnSegment(a, b, t);
        hits += on;
        if (on) {
            ASSERT_TRUE(SegmentMayHold(a, b, t))
                << a.X << "," << a.Y << " " << b.X << "," << b.Y << " " << t.X << "," << t.Y;
        }
        if (!SegmentMayHold(a, b, t)) ++rejected;
    }
    EXPECT_GT(hits, 20000);
    EXPECT_GT(rejected, 1000);
    EXPECT_FALSE(SegmentMayHold({0, 0}, {100, 0}, {50, 9}));
    EXPECT_FALSE(SegmentMayHold({0, 0}, {100, 0}, {109, 0}));
    EXPECT_TRUE(SegmentMayHold({0, 0}, {100, 0}, {108, -8}));
}

TEST(SegmentCrossing, FindsTheCrossingPixel) {
    IPt c;
    ASSERT_TRUE(SegmentCrossing({0, 0}, {100, 0}, {50, -10}, {50, 10}, c));
    EXPECT_EQ(c, (IPt{50, 0}));
    // Feet 50 and 51: the mean 50.5 rounds to the even 50.
    ASSERT_TRUE(SegmentCrossing({0, 0}, {100, 0}, {50, -10}, {51, 10}, c));
    EXPECT_EQ(c, (IPt{50, 0}));
    // Feet 10 pixels apart: not a crossing by this rule.
    EXPECT_FALSE(SegmentCrossing({0, 0}, {100, 0}, {30, -10}, {40, 10}, c));
    // Both ends on the same side.
    EXPECT_FALSE(SegmentCrossing({0, 0}, {100, 0}, {50, 5}, {50, 10}, c));
    // Projecting outside the segment.
    EXPECT_FALSE(SegmentCrossing({0, 0}, {100, 0}, {150, -10}, {150, 10}, c));
}

TEST(Geodesy, MeridianArcMatchesTheKrasovskyQuadrant) {
    // Quarter meridian of the Krasovsky ellipsoid: 10 002 137.5 m.
    EXPECT_NEAR(MeridianArc(pi / 2, 512), 10002137.5, 1.0);
    EXPECT_EQ(MeridianArc(0, 4), 0);
    // Converged well before the bound on the intervals.
    EXPECT_NEAR(MeridianArc(0.7, 128), MeridianArc(0.7, 512), 0.0001);
}

TEST(Geodesy, PlaneFromGeographic) {
    double x, y;
    // On the axial meridian y is 0 and x the meridian arc.
    PlaneFromGeographic(0.7, 1.2, 1.2, x, y);
    EXPECT_NEAR(y, 0, 1e-9);
    EXPECT_NEAR(x, MeridianArc(0.7, 512), 0.001);
    // One degree east on the equator: the conformal projection stretches the
    // arc a*l (a = 6378245 m) to a*atanh(sin l) = 111 327.06 m.
    PlaneFromGeographic(0, pi / 180, 0, x, y);
    EXPECT_NEAR(y, 6378245.0 * std::atanh(std::sin(pi / 180)), 0.1);
    EXPECT_NEAR(x, 0, 1e-6);
    // Symmetric about the axial meridian.
    double x2, y2;
    PlaneFromGeographic(0.72, 1.25, 1.2, x, y);
    PlaneFromGeographic(0.72, 1.15, 1.2, x2, y2);
    EXPECT_NEAR(x, x2, 1e-6);
    EXPECT_NEAR(y, -y2, 1e-6);
    EXPECT_GT(x, MeridianArc(0.72, 512));  // x grows away from the axial meridian
}

TEST(Geodesy, DmsConversions) {
    double g, m, s;
    RadiansToDms(-0.5, g, m, s);
    EXPECT_EQ(g, -28);
    EXPECT_EQ(m, 38);
    EXPECT_NEAR(s, 52.4, 0.05);
    EXPECT_NEAR(DmsToRadians(g, m, s), -0.5, 1e-12);
    EXPECT_NEAR(DmsToRadians(45, 30, 0), 45.5 * pi / 180, 1e-15);
}

TEST(Geodesy, PlaneCoordinatesAgreeWithProj) {
    // Transverse Mercator on the Krasovsky 1940 ellipsoid, axial meridian
    // 69 deg E, scale 1, no false easting, from PROJ 9.1:
    //   echo "LON LAT" | cs2cs +proj=latlong +ellps=krass +to
    //        +proj=tmerc +ellps=krass +lon_0=69 +k=1 +x_0=0 +y_0=0 -f %.4f
    struct Case {
        double lon, lat, y, x;
    };
    const double deg = pi / 180;
    for (const Case& c : {Case{69.0, 41.3, 0.0000, 4573971.1667}, Case{72.0, 41.3, 251276.8273, 4578315.0572},
                          Case{66.0, 40.0, -256206.4161, 4433921.0036}, Case{72.0, 45.0, 236544.5908, 4989413.2204},
                          Case{70.5, 41.3, 125632.7960, 4575056.6918}}) {
        double x, y;
        PlaneFromGeographic(c.lat * deg, c.lon * deg, 69 * deg, x, y);
        EXPECT_NEAR(x, c.x, 0.01) << c.lon << " " << c.lat;
        EXPECT_NEAR(y, c.y, 0.01) << c.lon << " " << c.lat;
    }
}
