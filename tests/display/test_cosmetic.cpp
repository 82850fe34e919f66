#include "display/CosmeticLines.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

using namespace dm;

namespace {

std::string describe(const std::vector<QPoint>& pts) {
    std::ostringstream s;
    for (const QPoint& q : pts) s << " (" << q.x() << "," << q.y() << ")";
    return s.str();
}

enum class Figure { Polyline, Polygon, Line };

// Draws the figure with the painter and with the direct lines on two
// pictures and says where they differ (empty when they do not).
std::string compare(const std::vector<QPoint>& pts, Figure f, const QPen& pen, QSize size = {96, 72}) {
    QImage mine(size, QImage::Format_RGB32), theirs(size, QImage::Format_RGB32);
    mine.fill(qRgb(250, 250, 250));
    theirs.fill(qRgb(250, 250, 250));
    {
        QPainter a(&mine), b(&theirs);
        a.setPen(pen);
        b.setPen(pen);
        b.setBrush(Qt::NoBrush);
        switch (f) {
            case Figure::Polyline:
                if (!DirectPolyline(a, pts.data(), int(pts.size()))) return "refused";
                b.drawPolyline(pts.data(), int(pts.size()));
                break;
            case Figure::Polygon:
                if (!DirectPolyline(a, pts.data(), int(pts.size()), true)) return "refused";
                b.drawPolygon(pts.data(), int(pts.size()));
                break;
            case Figure::Line:
                if (!DirectLine(a, pts[0], pts[1])) return "refused";
                b.drawLine(pts[0], pts[1]);
                break;
        }
    }
    if (mine == theirs) return {};
    std::ostringstream s;
    s << (f == Figure::Polyline ? "polyline" : f == Figure::Polygon ? "polygon" : "line") << describe(pts)
      << " cap " << int(pen.capStyle()) << ":";
    int shown = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (mine.pixel(x, y) != theirs.pixel(x, y) && shown++ < 8)
                s << " [" << x << "," << y << (mine.pixel(x, y) == qRgb(250, 250, 250) ? " missing]" : " extra]");
    return s.str();
}

}  // namespace

TEST(CosmeticLines, MatchThePainterOnThisSystem) { EXPECT_TRUE(DirectLinesMatchPainter()); }

TEST(CosmeticLines, RandomFiguresPixelForPixel) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> far(-300, 400), near(-6, 100), step(-4, 4), count(2, 12), pick(0, 99);
    int failures = 0;
    for (int round = 0; round < 20000 && failures < 5; ++round) {
        std::vector<QPoint> pts;
        const int kind = round % 6, n = count(rng);
        pts.emplace_back(near(rng), near(rng));
        for (int i = 1; i < n; ++i) {
            QPoint q;
            if (kind == 0) q = pts.back() + QPoint(step(rng), step(rng));      // short steps, sub-pixel runs
            else if (kind == 1) q = QPoint(far(rng), far(rng));                 // ends far off the picture
            else if (kind == 2) q = pts.back() + QPoint(pick(rng) < 50 ? step(rng) : 0, pick(rng) < 50 ? step(rng) * 9 : 0);
            else if (kind == 3) {
                // Diagonals at 45 degrees, repeated points, turns back.
                const int d = step(rng) * 7;
                q = pick(rng) < 20 ? pts.back() : pts.back() + QPoint(d, pick(rng) < 50 ? d : -d);
            } else q = QPoint(near(rng), near(rng));
            pts.push_back(q);
        }
        if (round % 5 == 0) pts.push_back(pts.front());  // back at its start
        QPen pen(QColor(10, 120, 200), round % 9 == 4 ? 1 : 0);
        if (round % 4 == 1) pen.setCapStyle(Qt::FlatCap);
        const Figure f = round % 7 == 2 ? Figure::Polygon : round % 7 == 5 ? Figure::Line : Figure::Polyline;
        const std::string diff = compare(pts, f, pen, round % 3 ? QSize(96, 72) : QSize(40, 100));
        if (!diff.empty()) {
            ++failures;
            ADD_FAILURE() << diff;
        }
    }
}

TEST(CosmeticLines, VeryLargePicturesAreLeftToThePainter) {
    const QPoint pts[] = {{0, 1}, {16383, 1}};
    QImage edge(16384, 2, QImage::Format_RGB32), over(16385, 2, QImage::Format_RGB32);
    edge.fill(Qt::white);
    over.fill(Qt::white);
    EXPECT_TRUE(PolylineInto(edge, qRgb(0, 0, 0), true, pts, 2, false));
    EXPECT_EQ(edge.pixel(16383, 1), qRgb(0, 0, 0));
    EXPECT_EQ(edge.pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(edge.pixel(8000, 0), qRgb(255, 255, 255));
    EXPECT_FALSE(PolylineInto(over, qRgb(0, 0, 0), true, pts, 2, false));
    EXPECT_FALSE(LineInto(over, qRgb(0, 0, 0), true, pts[0], pts[1]));
    EXPECT_EQ(over.pixel(0, 1), qRgb(255, 255, 255));
    // The same lengthwise: a picture too high.
    const QPoint down[] = {{1, 0}, {1, 16383}};
    QImage tall(2, 16384, QImage::Format_RGB32), taller(2, 16385, QImage::Format_RGB32);
    tall.fill(Qt::white);
    taller.fill(Qt::white);
    EXPECT_TRUE(PolylineInto(tall, qRgb(0, 0, 0), true, down, 2, false));
    EXPECT_EQ(tall.pixel(1, 16383), qRgb(0, 0, 0));
    EXPECT_FALSE(PolylineInto(taller, qRgb(0, 0, 0), true, down, 2, false));
    EXPECT_FALSE(LineInto(taller, qRgb(0, 0, 0), true, down[0], down[1]));
    EXPECT_EQ(taller.pixel(1, 0), qRgb(255, 255, 255));
}
