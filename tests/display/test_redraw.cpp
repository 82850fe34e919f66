#include "display/Redraw.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace dm;

namespace {
RenderContext ctx100() {
    RenderContext c;
    c.view.ViewXMax = 100;
    c.view.ViewXMin = 0;
    c.view.ViewYMax = 100;
    c.view.Scale = 1;
    return c;
}
TObj* addLine(MapDoc& doc, int code, int row) {
    auto o = std::make_unique<TObj>();
    o->Kind = KindLine;
    o->Code = code;
    o->Points = {{100.0 - row, 10}, {100.0 - row, 90}};
    return doc.ObjList.append(std::move(o));
}
}  // namespace

TEST(Redraw, ProgressCurrentObjectAndLayerFilter) {
    MapDoc doc;
    addLine(doc, 1, 20);
    doc.EditPoints = {{1, 1}};
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::red);
    std::vector<int> seen;
    RedrawMap(img, doc, ctx100(), [&](int p) { seen.push_back(p); });
    EXPECT_EQ(seen, (std::vector<int>{0, 100}));  // one object: D is 1
    EXPECT_EQ(doc.CurObj, doc.ObjList[0]);
    EXPECT_TRUE(doc.EditPoints.empty());
    EXPECT_EQ(img.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(50, 20), qRgb(0, 0, 0));

    TObj* second = addLine(doc, 2, 40);
    const std::vector<int> filter = {2, 2};
    RedrawMap(img, doc, ctx100(), {}, &filter);
    EXPECT_EQ(img.pixel(50, 20), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(50, 40), qRgb(0, 0, 0));
    EXPECT_EQ(doc.CurObj, second);
    const std::vector<int> empty;
    RedrawMap(img, doc, ctx100(), {}, &empty);
    EXPECT_EQ(img.pixel(50, 40), qRgb(255, 255, 255));
}

TEST(Redraw, ProgressBarPainting) {
    QImage img(250, 20, QImage::Format_RGB32);
    img.fill(Qt::lightGray);
    {
        QPainter p(&img);
        PaintProgressBar(p, QRect(0, 0, 250, 20), 50);
    }
    // Inner width 248: a bar of 124 pixels from column 1.
    EXPECT_EQ(img.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(124, 18), qRgb(0, 0, 255));
    EXPECT_NE(img.pixel(125, 10), qRgb(0, 0, 255));
    EXPECT_NE(img.pixel(0, 10), qRgb(0, 0, 255));
    bool white = false;
    for (int x = 40; x < 90; ++x)
        for (int y = 0; y < 20; ++y) white |= img.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_TRUE(white);  // "50 %"
    // 0 %: no bar and no text; above 100 %: the bar runs on regardless.
    QImage zero(250, 20, QImage::Format_RGB32);
    zero.fill(Qt::lightGray);
    {
        QPainter p(&zero);
        PaintProgressBar(p, QRect(0, 0, 250, 20), 0);
    }
    for (int x = 0; x < 250; ++x) ASSERT_EQ(zero.pixel(x, 10), QColor(Qt::lightGray).rgb());
    QImage over(600, 20, QImage::Format_RGB32);
    over.fill(Qt::lightGray);
    {
        QPainter p(&over);
        PaintProgressBar(p, QRect(0, 0, 250, 20), 150);
    }
    EXPECT_EQ(over.pixel(372, 2), qRgb(0, 0, 255));
    EXPECT_NE(over.pixel(373, 2), qRgb(0, 0, 255));
}

TEST(Redraw, BlinkCounterAndColours) {
    BlinkState b;
    std::vector<int> counts;
    for (int i = 0; i < 18; ++i) {
        b.tick(nullptr, {});
        counts.push_back(b.BlinkCounter);
    }
    EXPECT_EQ(counts.front(), 1);
    EXPECT_EQ(counts[15], 16);
    EXPECT_EQ(counts[16], 1);
    EXPECT_EQ(counts[17], 2);

    QImage img(60, 60, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    b.BlinkOn = true;
    b.BlinkAsPoints = true;
    b.BlinkCounter = 0;
    const std::vector<TGn> pts = {{20, 20}, {40, 20}};
    b.tick(&p, pts);  // counter 1: red circles of radius 3
    EXPECT_EQ(img.pixel(23, 20), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(20, 20), qRgb(255, 255, 255));
    b.tick(&p, pts);  // counter 2: yellow
    EXPECT_EQ(img.pixel(23, 20), qRgb(255, 255, 0));
    b.BlinkAsPoints = false;
    b.tick(&p, {{10, 50}, {0, 10}, {50, 50}});  // the vertex in column 0 is skipped
    EXPECT_EQ(img.pixel(30, 50), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(5, 30), qRgb(255, 255, 255));
}
