#include "classifier/Znak.h"
#include "display/Render.h"

#include <QImage>
#include <QPainter>
#include <QPicture>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>

using namespace dm;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// A view in which column = Y and row = 100 - X (scale 1), so objects can be
// given in pixels.
RenderContext pixelContext() {
    RenderContext c;
    c.view.ViewXMax = 100;
    c.view.ViewXMin = 0;
    c.view.ViewYMin = 0;
    c.view.ViewYMax = 100;
    c.view.Scale = 1;
    c.PrintScaleX = 1;
    c.PrintScaleY = 1;
    return c;
}

TObj object(uint8_t kind, int code, std::vector<std::pair<int, int>> colRow) {
    TObj o;
    o.Kind = kind;
    o.Code = code;
    for (auto [c, r] : colRow) o.Points.push_back({100.0 - r, double(c)});
    return o;
}

QImage draw(TObj& o, double factor = 1, const RenderContext& ctx = pixelContext(), int w = 100, int h = 100) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    DrawObject(p, o, factor, ctx);
    return img;
}

bool set(const QImage& img, int x, int y) { return img.pixel(x, y) != kWhite; }

int countSet(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += set(img, x, y);
    return n;
}

std::string column(const QImage& img, int x, int y0, int y1) {
    std::string s;
    for (int y = y0; y <= y1; ++y) s += set(img, x, y) ? '#' : '.';
    return s;
}

// The objects drawn in a row on a plain painter (pixels written straight
// into the image where they can be) and by the painter alone (a clip on the
// whole picture makes it draw every figure itself).
std::pair<QImage, QImage> drawBothWays(std::vector<TObj>& objects, double factor, QSize size) {
    QImage straight(size, QImage::Format_RGB32), alone(size, QImage::Format_RGB32);
    straight.fill(Qt::white);
    alone.fill(Qt::white);
    {
        QPainter p(&straight);
        ObjectPainter drawer(p, pixelContext());
        for (TObj& o : objects) drawer.draw(o, factor);
    }
    QPainter p(&alone);
    p.setClipRect(alone.rect());
    for (TObj& o : objects) DrawObject(p, o, factor, pixelContext());
    p.end();
    return {straight, alone};
}

}  // namespace

TEST(Render, ZeroPenWidthDrawsOnePixelAndIsStoredAsOne) {
    TObj o = object(2, 5, {{10, 50}, {90, 50}});
    o.PenWidth = 0;
    QImage img = draw(o);
    EXPECT_EQ(o.PenWidth, 1);
    EXPECT_EQ(column(img, 40, 48, 52), "..#..");
}

TEST(Render, PenAndBrushFollowTheWindowsValues) {
    TObj o = object(2, 5, {{10, 50}, {90, 50}});
    o.PenColor = 0x0000FF;  // red in 0x00BBGGRR
    o.PenWidth = 5;
    QImage img = draw(o);
    EXPECT_EQ(img.pixel(50, 50), qRgb(255, 0, 0));
    EXPECT_EQ(column(img, 50, 46, 54), "..#####..");
    o.PenStyle = 5;  // clear: nothing drawn
    EXPECT_EQ(countSet(draw(o)), 0);
    o.PenStyle = 1;  // dashed but wide: drawn solid
    EXPECT_EQ(column(draw(o), 40, 46, 54), "..#####..");
    o.PenWidth = 1;  // one pixel wide dashes of 18 on, 6 off
    QImage dashed = draw(o);
    int on = 0;
    for (int x = 10; x < 34; ++x) on += set(dashed, x, 50);
    EXPECT_EQ(on, 18);
}

TEST(Render, CrossTicksAtZeroTenAndTwentyPixels) {
    TObj o = object(2, 930, {{10, 50}, {35, 50}});
    QImage img = draw(o);
    // Ticks of g/4 = 2.5 either side: rows rnd(47.5) = 48 to rnd(52.5) = 52.
    for (int x : {10, 20, 30}) EXPECT_EQ(column(img, x, 46, 54), "..#####..") << x;
    for (int x : {15, 25, 35}) EXPECT_EQ(column(img, x, 46, 54), "....#....") << x;
    EXPECT_FALSE(set(img, 40, 50));
}

TEST(Render, SideTicksStandOnTheRightHandSide) {
    // Left to right: the right-hand side is below.  Ticks every 6 pixels,
    // from 3 pixels in, while more than 6 pixels remain: at 3, 9, 15, 21.
    TObj o = object(2, 840, {{10, 50}, {40, 50}});
    QImage img = draw(o);
    for (int x : {13, 19, 25, 31}) EXPECT_EQ(column(img, x, 46, 54), "....####.") << x;
    EXPECT_EQ(column(img, 37, 46, 54), "....#....");
    EXPECT_EQ(column(img, 16, 46, 54), "....#....");
    // Right to left: ticks above.
    TObj back = object(2, 840, {{40, 50}, {10, 50}});
    QImage img2 = draw(back);
    EXPECT_EQ(column(img2, 37, 46, 54), ".####....");
    // A segment with an end in a negative column is skipped.
    RenderContext shifted = pixelContext();
    shifted.view.ViewYMin = 20;
    EXPECT_EQ(countSet(draw(o, 1, shifted)), 0);
}

TEST(Render, CentreCrossAndArrow) {
    // Mean of vertex 0 and vertices 2..: (10,10) and (30,30) -> (20,20).
    TObj o = object(2, 741, {{10, 10}, {90, 90}, {30, 30}});
    QImage img = draw(o);
    for (int d = -3; d <= 3; ++d) {
        EXPECT_TRUE(set(img, 20 + d, 20));
        EXPECT_TRUE(set(img, 20, 20 + d));
    }
    EXPECT_FALSE(set(img, 24, 20));
    EXPECT_FALSE(set(img, 20, 24) && !set(img, 21, 24));

    TObj a = object(2, 1891, {{10, 50}, {40, 50}, {40, 90}});
    QImage ai = draw(a);
    // Only the first segment, with two arms of 5 pixels back from its end.
    EXPECT_TRUE(set(ai, 25, 50));
    EXPECT_FALSE(set(ai, 40, 70));
    EXPECT_TRUE(set(ai, 36, 48));  // 40 - 5 cos 30, 50 - 5 sin 30 = (35.7, 47.5)
    EXPECT_TRUE(set(ai, 36, 52));
}

TEST(Render, PoleLineLeavesTheMiddleOpen) {
    TObj o = object(2, 780, {{10, 50}, {60, 50}});
    QImage img = draw(o);
    EXPECT_TRUE(set(img, 12, 50) || set(img, 12, 49));  // circle radius 2 at the start
    EXPECT_TRUE(set(img, 18, 50));                        // first 10 pixels
    EXPECT_FALSE(set(img, 35, 50));                       // middle open
    EXPECT_TRUE(set(img, 52, 50));                        // last 10 pixels
    EXPECT_TRUE(set(img, 10, 48));                        // circle around the vertex
}

TEST(Render, CircleChainOfTreeRows) {
    // 2560: a black pixel at even steps, a circle of radius 2 at odd steps (6 px apart).
    TObj o = object(2, 2560, {{10, 50}, {40, 50}});
    o.PenColor = 0x00FF00;
    QImage img = draw(o);
    EXPECT_EQ(img.pixel(10, 50), kBlack);
    EXPECT_EQ(img.pixel(22, 50), kBlack);
    EXPECT_EQ(img.pixel(16, 48), qRgb(0, 255, 0));  // top of the circle at 16
    EXPECT_FALSE(set(img, 16, 50));                 // hollow centre
    EXPECT_FALSE(set(img, 13, 50));
}

TEST(Render, AreaFillRuleUsesTheColumnsOfFirstAndLastVertex) {
    // Last vertex in the first one's column but another row: still filled.
    TObj a = object(3, 1010, {{20, 20}, {80, 20}, {80, 80}, {20, 78}});
    a.BrushColor = 0x00FF0000;  // blue
    QImage img = draw(a);
    EXPECT_EQ(img.pixel(50, 50), qRgb(0, 0, 255));
    // Last column differs: outline only.
    TObj b = object(3, 1010, {{20, 20}, {80, 20}, {80, 80}, {21, 80}});
    b.BrushColor = 0x00FF0000;
    QImage img2 = draw(b);
    EXPECT_EQ(img2.pixel(50, 50), kWhite);
    EXPECT_TRUE(set(img2, 50, 20));
    EXPECT_FALSE(set(img2, 20, 50));  // not closed back to the start
    // NoAreaFill: outline only even when closed.
    RenderContext ctx = pixelContext();
    ctx.NoAreaFill = true;
    QImage img3 = draw(a, 1, ctx);
    EXPECT_EQ(img3.pixel(50, 50), kWhite);
    EXPECT_TRUE(set(img3, 50, 20));
    // A vertex in a negative column stands in for the one before it: the
    // area is the triangle (20, 20), (80, 80), (20, 78).
    TObj c = object(3, 1010, {{20, 20}, {-10, 50}, {80, 80}, {20, 78}, {20, 20}});
    c.BrushColor = 0x00FF0000;
    c.PenColor = 0;
    QImage img4 = draw(c);
    EXPECT_EQ(img4.pixel(30, 60), qRgb(0, 0, 255));
    EXPECT_EQ(img4.pixel(10, 45), kWhite);
    EXPECT_EQ(img4.pixel(0, 50), kWhite);
    EXPECT_EQ(img4.pixel(50, 50), kBlack);  // on the edge from (20, 20) to (80, 80)
}

TEST(Render, CodesDrawnOnlyInPrint) {
    TObj o = object(2, 3160, {{10, 50}, {90, 50}});
    EXPECT_EQ(countSet(draw(o)), 0);
    QImage printed = draw(o, 4);
    EXPECT_EQ(column(printed, 50, 47, 53), "..###..");
    TObj w = object(2, 3110, {{10, 50}, {90, 50}});
    EXPECT_EQ(countSet(draw(w)), 0);
    EXPECT_GT(countSet(draw(w, 4)), 0);
    // 901 prints black and 6 pixels wide.
    TObj b = object(2, 901, {{10, 50}, {90, 50}});
    b.PenColor = 0x0000FF;
    EXPECT_EQ(draw(b).pixel(50, 50), qRgb(255, 0, 0));
    QImage pb = draw(b, 4);
    EXPECT_EQ(pb.pixel(50, 50), kBlack);
    int rows = 0;
    for (int y = 40; y < 60; ++y) rows += set(pb, 50, y);
    EXPECT_EQ(rows, 6);
}

TEST(Render, PointsOnScreenAndInPrint) {
    ZnakSet none;
    TObj p = object(1, 2402, {{20, 20}, {60, 60}});
    // No symbol: a circle of radius 2 at every vertex on the screen.
    QImage s = draw(p);
    EXPECT_TRUE(set(s, 22, 20));
    EXPECT_TRUE(set(s, 62, 60));
    EXPECT_FALSE(set(s, 20, 20));
    // Print: one figure, at the first vertex only (2402: circle of radius 3 x factor).
    QImage pr = draw(p, 2);
    EXPECT_TRUE(set(pr, 26, 20));
    EXPECT_FALSE(set(pr, 20, 20));
    EXPECT_FALSE(set(pr, 66, 60));
    EXPECT_FALSE(set(pr, 62, 60));
    // Code 1: a cross of half-length 30 x factor.
    TObj cross = object(1, 1, {{50, 50}});
    QImage c = draw(cross, 1.5);
    EXPECT_TRUE(set(c, 50, 5));
    EXPECT_TRUE(set(c, 95, 50));
    EXPECT_FALSE(set(c, 50, 4));
}

TEST(Render, PointSymbolsFromTheClassifier) {
    const auto dir = std::filesystem::temp_directory_path() / ("dm_render_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    TZnak z;
    z.Code = 2402;
    z.Count = 1;
    z.Color = 0x0000FF;
    z.Col[0] = 3;  // the anchor cell
    z.Row[0] = 3;
    WriteZnakFile(dir / "s.ris", {z});
    ZnakSet set;
    set.LoadZnakIndex(dir / "s.ris");
    std::filesystem::remove_all(dir);
    RenderContext ctx = pixelContext();
    ctx.znaks = &set;
    TObj p = object(1, 2402, {{20, 20}, {60, 60}});
    QImage s = draw(p, 1, ctx);
    EXPECT_EQ(s.pixel(20, 20), qRgb(255, 0, 0));
    EXPECT_EQ(s.pixel(60, 60), qRgb(255, 0, 0));
    EXPECT_EQ(countSet(s), 2);
}

TEST(Render, CirclesThroughThreePoints) {
    QPoint m;
    ASSERT_TRUE(CircleCentre({40, 50}, {50, 40}, {60, 50}, m));
    EXPECT_EQ(m, QPoint(50, 50));
    EXPECT_FALSE(CircleCentre({0, 0}, {10, 10}, {20, 20}, m));
    TObj c = object(3, 6010, {{40, 50}, {50, 40}, {60, 50}, {50, 60}, {1, 1}});
    c.Shape = ShapeCircle;
    c.BrushColor = 0x00FF0000;
    QImage img = draw(c);
    EXPECT_EQ(img.pixel(50, 50), qRgb(0, 0, 255));
    EXPECT_TRUE(set(img, 60, 50));
    EXPECT_FALSE(set(img, 1, 1));  // only the first three vertices count
    EXPECT_EQ(c.PointCount(), 5);
    // Arc: counter-clockwise on the screen from vertex 0 (left) to vertex 2
    // (right) runs through the bottom, whatever the middle vertex.
    TObj a = object(2, 6020, {{40, 50}, {50, 40}, {60, 50}});
    a.Shape = ShapeArc;
    QImage ai = draw(a);
    EXPECT_TRUE(set(ai, 50, 60));
    EXPECT_FALSE(set(ai, 50, 40));
    // Fewer than three vertices: nothing.
    TObj two = object(2, 6020, {{40, 50}, {50, 40}});
    two.Shape = ShapeArc;
    EXPECT_EQ(countSet(draw(two)), 0);
}

TEST(Render, NothingBelowFactorOneOrForAnotherSeries) {
    TObj o = object(2, 5, {{10, 50}, {90, 50}});
    EXPECT_EQ(countSet(draw(o, 0.5)), 0);
    RenderContext ctx = pixelContext();
    ctx.SeriesSelector = 9;
    EXPECT_EQ(countSet(draw(o, 1, ctx)), 0);
    TObj k = object(7, 5, {{10, 50}, {90, 50}});
    EXPECT_EQ(countSet(draw(k)), 0);
}

TEST(Render, SmallFilledAreasDrawnStraightIntoTheImageMatchTheGeometry) {
    // A rectangle from column 10 to 20 and row 10 to 15: the outline on
    // those rows and columns, the brush inside, nothing outside.
    TObj a = object(3, 1010, {{10, 10}, {20, 10}, {20, 15}, {10, 15}, {10, 10}});
    a.PenColor = 0;
    a.BrushColor = 0x0000FF;
    QImage img = draw(a);
    for (int x = 10; x <= 20; ++x) {
        EXPECT_EQ(img.pixel(x, 10), kBlack) << x;
        EXPECT_EQ(img.pixel(x, 15), kBlack) << x;
    }
    for (int y = 11; y <= 14; ++y) {
        EXPECT_EQ(img.pixel(10, y), kBlack);
        EXPECT_EQ(img.pixel(20, y), kBlack);
        for (int x = 11; x <= 19; ++x) EXPECT_EQ(img.pixel(x, y), qRgb(255, 0, 0));
    }
    EXPECT_EQ(countSet(img), 11 * 6);
    // The same area drawn through the painter (clipped to the whole image)
    // covers the same pixels.
    QImage viaPainter(100, 100, QImage::Format_RGB32);
    viaPainter.fill(Qt::white);
    {
        QPainter p(&viaPainter);
        p.setClipRect(0, 0, 100, 100);
        DrawObject(p, a, 1, pixelContext());
    }
    EXPECT_EQ(viaPainter, img);
}

TEST(Render, NotXorDrawingTwiceRestoresThePicture) {
    TObj a = object(3, 1010, {{10, 10}, {30, 12}, {25, 30}, {10, 10}});
    a.BrushColor = 0x00FF00;
    TObj l = object(2, 930, {{5, 50}, {90, 60}});
    TObj s = object(1, 2402, {{50, 80}});
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(qRgb(200, 180, 160));
    const QImage before = img.copy();
    QPainter p(&img);
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    for (int i = 0; i < 2; ++i)
        for (TObj* o : {&a, &l, &s}) DrawObject(p, *o, 1, pixelContext());
    p.end();
    EXPECT_EQ(img, before);
}

TEST(Render, PrintPointFigures) {
    // Factor 2: r = 6; the figure stands at (50, 50).
    struct Case {
        int code;
        std::vector<std::pair<int, int>> on, off;
    };
    const std::vector<Case> cases = {
        {12, {{50, 50}, {53, 50}}, {{55, 50}}},                          // filled, radius r div 2 = 3
        {2404, {{50, 50}, {50, 62}}, {{50, 64}, {52, 40}}},              // filled radius 2, stem of 10 from y + 2
        {2650, {{50, 50}, {50, 62}}, {{50, 64}}},
        {2610, {{54, 50}, {46, 50}}, {{50, 50}, {56, 50}}},              // circle radius 4
        {2512, {{56, 50}}, {{50, 50}, {58, 50}}},                        // circle radius r = 6
        {2620, {{50, 40}, {50, 60}, {56, 40}, {44, 60}}, {{50, 38}}},    // stem +-10, zigzag e = 6
        {2670, {{50, 38}, {56, 42}, {44, 42}}, {{50, 36}}},              // mast of 12, arms from +-6
        {2690, {{50, 50}, {40, 50}}, {{45, 50}}},                        // two dots 10 apart
        {2701, {{50, 50}, {45, 50}}, {{40, 50}}},                        // two dots 5 apart
        {3170, {{54, 50}, {52, 50}}, {{50, 50}, {53, 50}}},              // radius 4 and radius 2
        {9999, {{53, 50}}, {{50, 50}, {55, 50}}},                        // other codes: radius r div 2
    };
    for (const Case& c : cases) {
        TObj o = object(1, c.code, {{50, 50}, {20, 20}});
        QImage img = draw(o, 2);
        for (auto [x, y] : c.on) EXPECT_TRUE(set(img, x, y)) << c.code << " at " << x << "," << y;
        for (auto [x, y] : c.off) EXPECT_FALSE(set(img, x, y)) << c.code << " at " << x << "," << y;
        for (int y = 10; y < 30; ++y)
            for (int x = 10; x < 30; ++x) ASSERT_FALSE(set(img, x, y)) << c.code << ": second vertex drawn";
    }
}

TEST(Render, PrintedPoleLineArrowheads) {
    // Factor 2: dots of radius 3 at the vertices; arrowheads 26 pixels in
    // from each end of a segment long enough, with arms of 10 at 30 degrees;
    // the arrowhead near the start is left out on the last segment.
    TObj o = object(2, 780, {{10, 50}, {110, 50}, {110, 90}});
    QImage img = draw(o, 2, pixelContext(), 200, 100);
    EXPECT_TRUE(set(img, 10, 50));
    EXPECT_TRUE(set(img, 12, 50));      // filled dot
    EXPECT_TRUE(set(img, 27, 45));      // arm at A = 36: to 36 - 8.7, 50 - 5
    EXPECT_TRUE(set(img, 27, 55));
    EXPECT_TRUE(set(img, 93, 45));      // arm at B = 84: to 84 + 8.7, 50 - 5
    EXPECT_TRUE(set(img, 93, 55));
    EXPECT_FALSE(set(img, 115, 70));    // the short segment gets no arrowheads
    TObj single = object(2, 780, {{10, 50}, {110, 50}});
    QImage one = draw(single, 2, pixelContext(), 200, 100);
    EXPECT_FALSE(set(one, 27, 45));
    EXPECT_TRUE(set(one, 93, 45));
    // On the screen the same code is a pole line.
    EXPECT_FALSE(set(draw(single), 60, 50));
}

TEST(Render, HedgeCirclesEveryEightPixelsWithoutTheLine) {
    TObj o = object(2, 2410, {{10, 50}, {40, 50}});
    QImage img = draw(o);
    for (int x : {12, 20, 28, 36}) EXPECT_TRUE(set(img, x, 50)) << x;  // circles at 10, 18, 26, 34... radius 2
    EXPECT_FALSE(set(img, 10, 50));
    EXPECT_FALSE(set(img, 44, 50));
}

namespace {
// What the screen path draws for a line from (10, 50) to (40, 50), told
// from a few probes; the widths count the pixels across column 30.
std::string lineClass(const QImage& img) {
    if (countSet(img) == 0) return "none";
    if (column(img, 13, 46, 54) == "....####.") return "side";
    if (column(img, 10, 46, 54) == "..#####.." && column(img, 15, 46, 54) == "....#....") return "cross";
    if (column(img, 10, 46, 54) == ".#######.") return "centre";
    if (!set(img, 25, 50)) return set(img, 15, 50) ? "pole" : "chain";
    bool arms = false;
    for (int y = 46; y <= 48; ++y)
        for (int x = 34; x <= 39; ++x) arms |= set(img, x, y);
    if (arms) return "arrow";
    if (img.pixel(30, 50) == qRgb(0, 128, 0)) return "green";
    int width = 0;
    for (int y = 40; y <= 60; ++y) width += set(img, 30, y);
    return "plain" + std::to_string(width);
}

// The line styles by code, written out from the rendering table.
std::string expectedLineClass(int code) {
    static const std::set<int> side = {840,  850,  860,  870,  880,  1160, 1650, 1660, 1670, 1680,
                                       1690, 1700, 2221, 2222, 2290, 2310, 2370, 2800, 3150, 3320,
                                       3330, 3420, 3430, 4010, 4720, 4730, 4750};
    static const std::set<int> cross = {930, 940, 2270, 2300};
    if (side.count(code)) return "side";
    if (cross.count(code)) return "cross";
    if (code == 741) return "centre";
    if (code == 780 || code == 790) return "pole";
    if (code == 1891) return "arrow";
    if (code == 2410 || code == 2560) return "chain";
    if (code == 1490) return "green";
    if (code == 3110 || code == 3160) return "none";
    if (code == 902) return "plain2";
    return "plain1";
}

// Printed line widths by code (factor 4), from the same table.
int expectedPrintWidth(int code) {
    switch (code) {
        case 901: case 905: case 3100: return 6;
        case 3130: return 4;
        case 1070: case 3160: return 3;
        case 902: return 2;
        default: return 1;
    }
}
}  // namespace

TEST(Render, LineStylesCodeByCodeOnTheScreen) {
    for (int code = 0; code <= 5000; ++code) {
        TObj o = object(2, code, {{10, 50}, {40, 50}});
        ASSERT_EQ(lineClass(draw(o)), expectedLineClass(code)) << code;
    }
}

TEST(Render, PrintedLineWidthsCodeByCode) {
    for (int code = 0; code <= 5000; ++code) {
        const std::string c = expectedLineClass(code);
        if (c != "plain1" && c != "plain2" && c != "none" && c != "green") continue;
        TObj o = object(2, code, {{10, 50}, {90, 50}});
        o.PenColor = 0x0000FF;
        const QImage img = draw(o, 4);
        int width = 0;
        for (int y = 40; y <= 60; ++y) width += set(img, 50, y);
        ASSERT_EQ(width, expectedPrintWidth(code)) << code;
        const QRgb colour = img.pixel(50, 50);
        if (code == 901 || code == 905) EXPECT_EQ(colour, kBlack) << code;
        else if (code == 1490) EXPECT_EQ(colour, qRgb(0, 128, 0)) << code;
        else EXPECT_EQ(colour, qRgb(255, 0, 0)) << code;
    }
}

TEST(Render, AreaOrnamentsAndPrintWidthsByCode) {
    // A closed square: filled, except 2222 and 2370, which get side ticks
    // along the outline (inside, on the right of a clockwise walk) and no
    // fill; 741 gets its centre cross and its fill.
    const std::vector<std::pair<int, int>> square = {{20, 20}, {80, 20}, {80, 80}, {20, 80}, {20, 20}};
    for (int code : {2222, 2370, 2221, 741, 1010, 3100}) {
        TObj a = object(3, code, square);
        a.BrushColor = 0x00FF0000;  // blue
        const QImage img = draw(a);
        const bool ticks = code == 2222 || code == 2370;
        EXPECT_EQ(img.pixel(50, 50) == qRgb(0, 0, 255), !ticks) << code;
        EXPECT_EQ(img.pixel(50, 50), ticks ? kWhite : qRgb(0, 0, 255)) << code;
        // The top edge runs left to right: its ticks hang below it.
        EXPECT_EQ(column(img, 23, 18, 26), ticks ? "..####..." : (code == 741 ? "..#" + std::string(6, '#') : "..#######"))
            << code;
    }
    // Printed outline widths of areas (factor 4, an open outline so that
    // nothing is filled).
    for (auto [code, width] : std::vector<std::pair<int, int>>{{3100, 6}, {3130, 4}, {3160, 3}, {1070, 1}, {1010, 1}}) {
        TObj a = object(3, code, {{10, 50}, {90, 50}, {90, 60}});
        const QImage img = draw(a, 4);
        int w = 0;
        for (int y = 40; y <= 49; ++y) w += set(img, 50, y);
        for (int y = 50; y <= 53; ++y) w += set(img, 50, y);
        EXPECT_EQ(w, width) << code;
    }
}

TEST(Render, PrintPathTakesRowsFromPrintScaleXAndColumnsFromPrintScaleY) {
    RenderContext ctx = pixelContext();
    ctx.PrintScaleX = 2;  // rows per map unit
    ctx.PrintScaleY = 1;  // columns per map unit
    // Map X 95 -> row (100 - 95) * 2 = 10; Y 10..40 -> columns 10..40.
    TObj east = object(2, 5, {});
    east.Points = {{95, 10}, {95, 40}};
    QImage img = draw(east, 4, ctx);
    EXPECT_TRUE(set(img, 25, 10));
    EXPECT_FALSE(set(img, 25, 5));
    EXPECT_FALSE(set(img, 50, 10));  // not drawn to column 80
    // A line down the map: rows 10 to 50 in column 30.
    TObj south = object(2, 5, {});
    south.Points = {{95, 30}, {75, 30}};
    img = draw(south, 4, ctx);
    EXPECT_TRUE(set(img, 30, 49));
    EXPECT_FALSE(set(img, 30, 55));
    EXPECT_FALSE(set(img, 60, 20));
}

TEST(Render, FarOffVerticesDrawTheSameOrnamentsInTheirVisiblePart) {
    // A line running out of the picture to a vertex a trillion pixels away
    // draws, inside the picture, what the same line to just past the edge
    // draws; the ornaments cost only their visible part.
    for (int code : {840, 930, 2410, 2560, 780, 1891, 3060}) {
        for (double far : {1e12, -1e12}) {
            TObj longLine = object(2, code, {});
            longLine.Points = {{50, 10}, {50, far > 0 ? far : -far}};
            TObj shortLine = object(2, code, {});
            // Same direction, ending 100 px past the right edge.
            shortLine.Points = {{50, 10}, {50, 200}};
            if (far < 0) {
                // Leftwards from inside: from (90, 50) to beyond the left edge.
                longLine.Points = {{50, 90}, {50, far}};
                shortLine.Points = {{50, 90}, {50, -100}};
            }
            EXPECT_EQ(draw(longLine), draw(shortLine)) << code << " " << far;
        }
    }
}

TEST(Render, ExtremeCoordinatesAndSymbolsDrawWithoutOverflow) {
    // Circles through points far apart or nearly in line: nothing absurd.
    TObj circle = object(2, 5, {});
    circle.Shape = 1;
    circle.Points = {{50, 10}, {50.000001, 1e15}, {50, -1e15}};
    draw(circle);
    TObj cross = object(2, 741, {});
    cross.Points = {{1e300, 1e300}, {-1e300, 5}, {1e300, -1e300}};
    draw(cross);
    TObj poles = object(2, 790, {});
    poles.Points = {{50, 10}, {50, 1e200}};
    EXPECT_GT(countSet(draw(poles)), 0);
    TObj point = object(1, 2402, {});
    point.Points = {{1e40, -1e40}};
    EXPECT_EQ(countSet(draw(point)), 0);
    // A pen width at the integer limit (a damaged record): drawn as a very
    // wide pen, with no overflow in working out where it can reach.
    for (const int32_t width : {INT32_MAX, INT32_MIN + 1, -5}) {
        TObj wide = object(2, 840, {});
        wide.PenWidth = width;
        wide.Points = {{50, 10}, {50, 90}};
        draw(wide);
    }
    // A symbol record with columns and rows at the integer limits: its
    // other pixels are drawn.
    TZnak z;
    z.Code = 77;
    z.Count = 3;
    z.Color = 0;
    z.Col[0] = INT32_MAX;
    z.Row[0] = 3;
    z.Col[1] = 3;
    z.Row[1] = INT32_MIN;
    z.Col[2] = 3;
    z.Row[2] = 3;
    const std::filesystem::path f =
        std::filesystem::temp_directory_path() / ("dm_far_" + std::to_string(::getpid()) + ".ris");
    WriteZnakFile(f, {z});
    ZnakSet symbols;
    symbols.LoadZnakIndex(f);
    QImage img(50, 50, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        EXPECT_TRUE(symbols.DrawZnak(p, 20, 20, 77, 1));
        EXPECT_TRUE(symbols.DrawZnak(p, INT_MAX, INT_MIN, 77, 16));
    }
    EXPECT_EQ(countSet(img), 1);
    EXPECT_TRUE(set(img, 20, 20));
    std::filesystem::remove(f);
}

TEST(Render, OrnamentsOfAFarOffSegmentAreNotAllPainted) {
    // What is painted is recorded: a segment a million pixels long gets the
    // ornaments of its part near the picture only, not 160,000 of them.
    for (int code : {840, 930, 2410}) {
        TObj o = object(2, code, {});
        o.Points = {{50, 10}, {50, 1e6}};
        QImage img(100, 100, QImage::Format_RGB32);
        QPicture pic;
        {
            QPainter p(&pic);
            p.setClipRect(0, 0, 100, 100);
            DrawObject(p, o, 1, pixelContext());
        }
        EXPECT_LT(pic.size(), 64 * 1024u) << code;
    }
}

TEST(Render, ObjectsWrittenStraightIntoTheImageMatchThePainterAlone) {
    // Lines, areas and ornaments of every kind drawn one after another on
    // one painter (pixels written straight into the image where they can
    // be) give the picture of the same objects drawn by the painter alone
    // (a clip on the whole picture makes it draw every figure itself),
    // whatever pen the previous object left behind.
    const int codes[] = {1010, 741, 780, 840, 930, 1891, 2410, 2560, 1490, 902, 901, 1070, 2222, 3100, 5555};
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coord(-20, 139), pick(0, 99);
    std::vector<TObj> objects;
    // A few colours, so that pens repeat from one object to the next while
    // what draws them changes (straight into the image, or the painter for
    // a wide pen, a point's circle, a circle object).
    const int32_t palette[] = {0x102030, 0x00A0FF, 0x3050C0};
    for (int i = 0; i < 300; ++i) {
        const uint8_t kind = uint8_t(1 + pick(rng) % 3);
        std::vector<std::pair<int, int>> pts;
        const int n = 2 + pick(rng) % 6;
        for (int j = 0; j < n; ++j) pts.emplace_back(coord(rng), coord(rng));
        // Areas reach across the picture: small filled ones are written by
        // a rule of their own (see the test above).
        if (kind == 3) pts.insert(pts.begin() + 1, {{-15, 5}, {125, 95}});
        if (kind == 3 || pick(rng) < 20) pts.push_back(pts.front());
        if (kind == 2 && pick(rng) < 30) {  // the outline of a small house
            const int x = coord(rng), y = coord(rng), w = 1 + pick(rng) % 12, h = 1 + pick(rng) % 9;
            pts = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}, {x, y}};
        }
        TObj o = object(kind, kind == 1 ? 9999 : codes[pick(rng) % std::size(codes)], pts);
        if (kind == 2 && pick(rng) < 8) o.Shape = ShapeCircle;
        o.PenColor = palette[pick(rng) % 3];
        o.BrushColor = palette[pick(rng) % 3] ^ 0x0F0F0F;
        o.PenWidth = pick(rng) < 80 ? 1 : pick(rng) % 4;
        o.PenStyle = uint8_t(pick(rng) < 70 ? 0 : pick(rng) % 7);
        o.BrushStyle = uint8_t(pick(rng) < 60 ? 0 : pick(rng) % 9);
        objects.push_back(o);
    }
    const auto [straight, painter] = drawBothWays(objects, 1, {120, 110});
    int differ = 0;
    for (int y = 0; y < painter.height(); ++y)
        for (int x = 0; x < painter.width(); ++x) differ += straight.pixel(x, y) != painter.pixel(x, y);
    EXPECT_EQ(differ, 0);
    EXPECT_GT(countSet(painter), 3000);
}


TEST(Render, SmallAreaOfManyEdgesIsFilledWhole) {
    // A comb of 300 teeth in 60 by 40 pixels: every row crosses 300 edges
    // or more, beyond what the small-area fill holds; it is filled as the
    // painter fills it, every tooth included.
    std::vector<QPoint> pts;
    for (int i = 0; i <= 300; ++i) pts.emplace_back(5 + i / 5, i % 2 ? 45 : 5);
    pts.emplace_back(5 + 60, 50);
    pts.emplace_back(5, 50);
    pts.push_back(pts.front());
    QImage straight(80, 60, QImage::Format_RGB32), alone(80, 60, QImage::Format_RGB32);
    for (QImage* img : {&straight, &alone}) {
        img->fill(Qt::white);
        QPainter p(img);
        if (img == &alone) p.setClipRect(alone.rect());
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(QColor(0, 0, 255));
        ASSERT_TRUE(DrawAreaFill(p, pts));
    }
    EXPECT_EQ(straight, alone);
    EXPECT_EQ(straight.pixel(35, 47), qRgb(0, 0, 255));  // below the teeth, inside
}

TEST(Render, SmallAreaEdgesNearlyUprightCrossEachRowWhereTheyPass) {
    // Without an outline: the left edge leans one pixel over 20 rows
    // (x = 10 + (y - 10) / 20), the right one stands at x = 20; rows 10 to
    // 29 are filled (the top row is the bottom edge's, left open).
    const std::vector<QPoint> pts = {{10, 10}, {11, 30}, {20, 30}, {20, 10}, {10, 10}};
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 255));
        ASSERT_TRUE(DrawAreaFill(p, pts));
    }
    const QRgb blue = qRgb(0, 0, 255);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = y >= 10 && y <= 29 && x <= 20 && x >= (y == 10 ? 10 : 11);
            ASSERT_EQ(img.pixel(x, y) == blue, inside) << x << "," << y;
        }
}

TEST(Render, WideCentreCrossesMatchThePainterAlone) {
    // The centre crosses of stadiums with wide pens, beside and over their
    // outlines and each other, at the screen's factor and at print factors
    // on an image: the picture of the painter drawing each bar alone.
    std::mt19937 rng(23);
    std::uniform_int_distribution<int> coord(-10, 110), pick(0, 99);
    for (const double factor : {1.0, 2.0, 3.0}) {
        std::vector<TObj> objects;
        for (int i = 0; i < 150; ++i) {
            std::vector<std::pair<int, int>> pts;
            const int n = 2 + pick(rng) % 5;
            for (int j = 0; j < n; ++j) pts.emplace_back(coord(rng), coord(rng));
            if (pick(rng) < 60) pts.push_back(pts.front());
            TObj o = object(uint8_t(2 + pick(rng) % 2), 741, pts);
            o.PenWidth = 2 + pick(rng) % 6;
            o.PenColor = int32_t(rng() & 0xFFFFFF);
            o.BrushStyle = 1;
            objects.push_back(o);
        }
        const auto [straight, alone] = drawBothWays(objects, factor, {120, 120});
        EXPECT_EQ(straight, alone) << factor;
        EXPECT_GT(countSet(alone), 2000) << factor;
    }
}

TEST(Render, LongWidePolylinesMatchThePainterAloneWhereverTheyRun) {
    // Wide lines of many vertices mostly far outside the picture (streets
    // across a city seen zoomed in): random walks, rings round the picture,
    // lines running up and down just outside each border and stepping in,
    // open area outlines, and some one-pixel dashed ones; on the map image
    // and by the painter alone.
    std::mt19937 rng(31);
    std::uniform_int_distribution<int> pick(0, 999);
    const int W = 150, H = 80;
    for (const double factor : {1.0, 2.0}) {
        std::vector<TObj> objects;
        for (int i = 0; i < 120; ++i) {
            std::vector<std::pair<int, int>> pts;
            const int width = 2 + pick(rng) % 13;
            switch (i % 4) {
                case 0: {  // a random walk with long steps
                    int x = pick(rng) * 4 - 2000, y = pick(rng) * 4 - 2000;
                    for (int j = 0, n = 30 + pick(rng) % 50; j < n; ++j) {
                        pts.emplace_back(x, y);
                        x = std::clamp(x + pick(rng) - 500, -3000, 3000);
                        y = std::clamp(y + pick(rng) - 500, -3000, 3000);
                    }
                    break;
                }
                case 1: {  // a ring round the picture, closed or nearly
                    const double r = 70 + pick(rng) % 300, cx = 60 + pick(rng) % 60 - 30.0, cy = 55 + pick(rng) % 60 - 30.0;
                    const int n = 12 + pick(rng) % 30;
                    for (int j = 0; j <= n; ++j) {
                        const double a = 2 * 3.14159265358979 * j / n;
                        pts.emplace_back(int(cx + r * std::cos(a)), int(cy + r * std::sin(a)));
                    }
                    if (pick(rng) < 300) pts.pop_back();
                    break;
                }
                default: {  // up and down beside a border, at times stepping in
                    const int side = pick(rng) % 4;
                    for (int j = 0, n = 6 + pick(rng) % 10; j < n; ++j) {
                        const int off = pick(rng) < 150 ? -(pick(rng) % 20) : 1 + pick(rng) % (width + 8);
                        const int along = j % 2 ? -200 - pick(rng) : 200 + pick(rng);
                        switch (side) {
                            case 0: pts.emplace_back(-off, along); break;
                            case 1: pts.emplace_back(W - 1 + off, along); break;
                            case 2: pts.emplace_back(along, -off); break;
                            default: pts.emplace_back(along, H - 1 + off); break;
                        }
                    }
                    break;
                }
            }
            // Kind 3 with an open outline draws its segments as a line.
            TObj o = object(uint8_t(pick(rng) < 800 ? 2 : 3), pick(rng) < 900 ? 5555 : 3100, pts);
            o.PenWidth = width;
            if (i % 10 == 9) {
                // A one-pixel dashed line: its dashes run on from its start.
                o.PenWidth = 1;
                o.PenStyle = uint8_t(1 + pick(rng) % 4);
            }
            o.PenColor = int32_t(rng() & 0xFFFFFF);
            o.BrushStyle = 1;
            objects.push_back(o);
        }
        const auto [straight, alone] = drawBothWays(objects, factor, {W, H});
        int differ = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) differ += straight.pixel(x, y) != alone.pixel(x, y);
        EXPECT_EQ(differ, 0) << factor;
        EXPECT_GT(countSet(alone), 6000) << factor;
    }
}
