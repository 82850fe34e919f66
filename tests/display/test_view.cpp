#include "display/MapView.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace dm;

TEST(MapView, TransformsRoundHalvesToEven) {
    MapView v;
    v.ViewXMax = 1000;
    v.ViewXMin = 0;
    v.ViewYMin = 500;
    v.ViewYMax = 1500;
    v.Scale = 0.5;
    EXPECT_EQ(v.toPixel({1000, 500}), (TGn{0, 0}));
    EXPECT_EQ(v.toPixel({997, 505}), (TGn{2, 2}));   // 2.5 -> 2, 1.5 -> 2
    EXPECT_EQ(v.toPixel({995, 507}), (TGn{4, 2}));   // 3.5 -> 4, 2.5 -> 2
    EXPECT_EQ(v.toPixel({1010, 490}), (TGn{-5, -5}));
    const TXY m = v.toMap(7, 3);
    EXPECT_DOUBLE_EQ(m.X, 994);
    EXPECT_DOUBLE_EQ(m.Y, 514);
}

TEST(MapView, FitScaleAndImageSize) {
    MapView v;
    v.ViewXMax = 2000;
    v.ViewXMin = 0;
    v.ViewYMax = 1000;
    v.ViewYMin = 0;
    ASSERT_TRUE(v.FitScaleToScreen(1920));
    EXPECT_DOUBLE_EQ(v.Scale, 1.92);
    v.Scale *= kOpenZoom;
    EXPECT_EQ(v.imageSize(), QSize(2778, 5556));  // 2778.24, 5556.48
    // An empty extent keeps the scale; a height without width is refused.
    MapView e;
    e.Scale = 3;
    EXPECT_TRUE(e.FitScaleToScreen(1000));
    EXPECT_EQ(e.Scale, 3);
    e.ViewXMax = 10;
    EXPECT_FALSE(e.FitScaleToScreen(1000));
    EXPECT_EQ(e.Scale, 3);
}

TEST(MapView, ZoomOutTwice) {
    MapView v;
    v.ViewXMax = 2000;
    v.ViewXMin = 0;
    v.ViewYMax = 1000;
    v.ViewYMin = 0;
    v.Scale = 1;
    const QSize before = v.imageSize();
    v.zoomOut();
    v.zoomOut();
    EXPECT_DOUBLE_EQ(v.ViewXMax - v.ViewXMin, 8000);
    EXPECT_DOUBLE_EQ(v.ViewYMax - v.ViewYMin, 4000);
    EXPECT_DOUBLE_EQ((v.ViewXMax + v.ViewXMin) / 2, 1000);
    EXPECT_DOUBLE_EQ((v.ViewYMax + v.ViewYMin) / 2, 500);
    EXPECT_DOUBLE_EQ(v.Scale, 0.25);
    EXPECT_EQ(v.imageSize(), before);
}

TEST(MapView, ScaleReadout) {
    MapView v;
    v.ViewXMax = 4574140;
    v.ViewXMin = 4569640;  // 4500 m
    // 4500 m on 1300 rows of 3.25 px/mm: 4500 / 400 mm x 1000 = 1:11250
    EXPECT_DOUBLE_EQ(v.computeScaleDenominator(1300, false, 0), 11250);
    EXPECT_DOUBLE_EQ(v.ScaleDenominator, 11250);
    EXPECT_EQ(ScaleReadout(11250), "1:11250");
    EXPECT_EQ(ScaleReadout(500), "1:  500");
    EXPECT_EQ(ScaleReadout(500, 6), "1:   500");
    EXPECT_EQ(ScaleReadout(1234567.6), "1:1234568");
    // Geographic maps: the corners are converted to plane X first.
    MapView g;
    const double deg = std::numbers::pi / 180;
    g.ViewXMax = 41.01 * deg;
    g.ViewXMin = 41.00 * deg;
    g.ViewYMin = 69.0 * deg;
    g.ViewYMax = 69.01 * deg;
    const double den = g.computeScaleDenominator(325, true, 69 * deg);
    double top, bottom, y;
    PlaneFromGeographic(g.ViewXMax, g.ViewYMin, 69 * deg, top, y);
    PlaneFromGeographic(g.ViewXMin, g.ViewYMax, 69 * deg, bottom, y);
    EXPECT_DOUBLE_EQ(den, (top - bottom) / 100 * 1000);
    EXPECT_NEAR(den, 11100, 50);  // about 1110 m of latitude on 100 mm
}
