#include "editing/HitTest.h"
#include "editing/XorDraw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace dm;

namespace {
MapView unitView() {
    MapView v;
    v.ViewXMax = 1000;
    v.ViewXMin = 0;
    v.ViewYMin = 0;
    v.ViewYMax = 1000;
    v.Scale = 1;
    return v;
}
// Objects given in pixels of unitView: column = Y, row = 1000 - X.
TObj* add(MapDoc& doc, uint8_t kind, std::vector<std::pair<double, double>> colRow, int code = 1) {
    auto o = std::make_unique<TObj>();
    o->Kind = kind;
    o->Code = code;
    for (auto [c, r] : colRow) o->Points.push_back({1000 - r, c});
    return doc.ObjList.append(std::move(o));
}
}  // namespace

TEST(HitTest, VertexToleranceIsBelowThreePixels) {
    MapDoc doc;
    add(doc, 1, {{100, 100}});
    HitTester t;
    const MapView v = unitView();
    for (QPoint c : {QPoint(102, 100), QPoint(98, 100), QPoint(100, 102), QPoint(102, 102)})
        EXPECT_EQ(t.FindObject(doc, v, c, nullptr).Number, 0) << c.x() << "," << c.y();
    for (QPoint c : {QPoint(103, 100), QPoint(97, 100), QPoint(100, 103), QPoint(100, 97)})
        EXPECT_EQ(t.FindObject(doc, v, c, nullptr).Number, -1) << c.x() << "," << c.y();
    const ObjectHit h = t.FindObject(doc, v, {101, 99}, nullptr);
    EXPECT_TRUE(h.OnVertex);
    EXPECT_EQ(h.Snapped, QPoint(100, 100));
    EXPECT_EQ(h.Map.X, 900);
}

TEST(HitTest, SegmentsWithinFivePixelsWithTheFootInside) {
    MapDoc doc;
    add(doc, 2, {{200, 300}, {400, 300}});
    HitTester t;
    const MapView v = unitView();
    ObjectHit h = t.FindObject(doc, v, {300, 304}, nullptr);
    EXPECT_EQ(h.Number, 0);
    EXPECT_EQ(h.Index, 0);
    EXPECT_FALSE(h.OnVertex);
    EXPECT_EQ(t.FindObject(doc, v, {300, 305}, nullptr).Number, -1);
    EXPECT_EQ(t.FindObject(doc, v, {403, 300}, nullptr).Number, -1);
    EXPECT_EQ(t.FindObject(doc, v, {401, 301}, nullptr).Number, 0);  // the end vertex
}

TEST(HitTest, FirstObjectInListOrderAndItsSideEffects) {
    MapDoc doc;
    TObj* a = add(doc, 2, {{100, 100}, {200, 100}});
    TObj* b = add(doc, 2, {{150, 50}, {150, 150}});
    TObj* c = add(doc, 1, {{800, 800}});
    HitTester t;
    const MapView v = unitView();
    ObjectHit h = t.FindObject(doc, v, {150, 100}, nullptr);
    EXPECT_EQ(h.Object, a);
    EXPECT_EQ(doc.CurObj, a);
    ASSERT_EQ(doc.EditPoints.size(), 2u);
    EXPECT_EQ(doc.EditPoints[1], (TGn{200, 100}));
    // From a later position (the next object under the same point).
    h = t.FindObject(doc, v, {150, 100}, nullptr, 1);
    EXPECT_EQ(h.Object, b);
    // A miss leaves the last object tested current.
    h = t.FindObject(doc, v, {500, 500}, nullptr);
    EXPECT_EQ(h.Number, -1);
    EXPECT_EQ(doc.CurObj, c);
    EXPECT_EQ(doc.EditPoints, (std::vector<TGn>{{800, 800}}));
    // With a layer filter only the listed codes count.
    b->Code = 7;
    const std::vector<int> filter = {7};
    h = t.FindObject(doc, v, {150, 100}, &filter);
    EXPECT_EQ(h.Object, b);
    h = t.FindObject(doc, v, {500, 500}, &filter);
    EXPECT_EQ(doc.CurObj, b);  // the last object that passes the filter
    // The grid follows changes of the list.
    doc.ObjList.move(1, 0);
    EXPECT_EQ(t.FindObject(doc, v, {150, 100}, nullptr).Object, b);
    a->Points[0].Y = 600;
    a->Points[1].Y = 700;
    doc.ObjList.touch();
    EXPECT_EQ(t.FindObject(doc, v, {650, 100}, nullptr).Object, a);
}

TEST(HitTest, FirstAndLastMatchOfVertices) {
    const std::vector<TGn> pts = {{10, 10}, {50, 50}, {11, 11}, {12, 10}};
    EXPECT_EQ(PickVertex(pts, {11, 10}, false), 0);
    EXPECT_EQ(PickVertex(pts, {11, 10}, true), 3);
    EXPECT_EQ(PickVertex(pts, {30, 30}, true), -1);
}

TEST(HitTest, GridGivesTheSameAnswersAsTheScan) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> U(0, 1000);
    for (int round = 0; round < 6; ++round) {
        MapDoc doc;
        for (int i = 0; i < 400; ++i) {
            auto o = std::make_unique<TObj>();
            o->Kind = uint8_t(1 + i % 3);
            o->Code = i % 5;
            const double x = U(rng), y = U(rng);
            const int n = o->Kind == 1 ? 1 : 2 + int(rng() % 6);
            for (int k = 0; k < n; ++k) o->Points.push_back({x + U(rng) / 20 - 25, y + U(rng) / 20 - 25});
            if (i % 50 == 0) o->Points.push_back({U(rng), U(rng)});  // a long stroke across the map
            doc.ObjList.append(std::move(o));
        }
        MapView v = unitView();
        v.Scale = round % 2 ? 0.7 : 1.6;
        HitTester t;
        const std::vector<int> filter = {1, 3};
        for (int k = 0; k < 1500; ++k) {
            // Half the clicks up to 9 pixels from a vertex, where the index
            // must look beyond the objects' extents as far as the rules do.
            QPoint click(int(U(rng) * v.Scale), int(U(rng) * v.Scale));
            if (k % 2) {
                const TObj* o = doc.ObjList[rng() % doc.ObjList.size()];
                const TGn g = v.toPixel(o->Points[rng() % o->Points.size()]);
                click = QPoint(g.PX + int(rng() % 19) - 9, g.PY + int(rng() % 19) - 9);
            }
            const std::vector<int>* f = k % 3 == 0 ? &filter : nullptr;
            const size_t from = k % 4 == 0 ? rng() % 400 : 0;
            MapDoc& d = doc;
            const ObjectHit a = t.FindObject(d, v, click, f, from);
            const TObj* curA = d.CurObj;
            const auto epA = d.EditPoints;
            const ObjectHit b = HitTester::FindObjectByScan(d, v, click, f, from);
            ASSERT_EQ(a.Number, b.Number) << k;
            ASSERT_EQ(a.Object, b.Object);
            ASSERT_EQ(a.Index, b.Index);
            ASSERT_EQ(a.OnVertex, b.OnVertex);
            ASSERT_EQ(curA, d.CurObj);
            ASSERT_EQ(epA, d.EditPoints);
        }
    }
}

TEST(XorDraw, DrawingTwiceRestoresAndPolylinesSetEachVertexOnce) {
    QImage img(60, 60, QImage::Format_RGB32);
    img.fill(qRgb(10, 200, 30));
    const QImage before = img.copy();
    const std::vector<QPoint> pts = {{5, 5}, {50, 5}, {50, 40}, {-30, 70}};
    xorPolyline(img, pts, qRgb(0, 0, 255));
    EXPECT_NE(img, before);
    // The corner (50, 5) is flipped once: it differs from the background.
    EXPECT_NE(img.pixel(50, 5), before.pixel(50, 5));
    // The last point is left out.
    xorRect(img, {10, 10}, {30, 20}, 0);
    xorLine(img, {-100000, 30}, {100000, 31}, 0);
    xorLine(img, {-100000, 30}, {100000, 31}, 0);
    xorRect(img, {10, 10}, {30, 20}, 0);
    xorPolyline(img, pts, qRgb(0, 0, 255));
    EXPECT_EQ(img, before);
    // Windows' rectangle leaves out its right and bottom edges.
    xorRect(img, {10, 10}, {30, 20}, 0);
    EXPECT_NE(img.pixel(29, 19), before.pixel(29, 19));
    EXPECT_EQ(img.pixel(30, 20), before.pixel(30, 20));
    EXPECT_EQ(img.pixel(20, 15), before.pixel(20, 15));
}

TEST(HitTest, AnObjectWithAVertexThatIsNotANumberIsNeverFound) {
    // Such a vertex would stand at pixel (0, 0) (not a number) or at the
    // far corner (infinite): the object is not drawn, so a click on the
    // segments towards it, or on its other vertices, finds nothing.
    MapDoc doc;
    TObj* a = add(doc, 2, {{100, 100}, {0, 0}, {300, 100}});
    a->Points[1] = {std::nan(""), std::nan("")};
    TObj* b = add(doc, 2, {{500, 500}, {0, 0}});
    b->Points[1] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    HitTester t;
    const MapView v = unitView();
    for (QPoint c : {QPoint(95, 95), QPoint(100, 100), QPoint(505, 495), QPoint(500, 500)}) {
        EXPECT_EQ(t.FindObject(doc, v, c, nullptr).Number, -1) << c.x() << "," << c.y();
        EXPECT_EQ(t.FindObjectByScan(doc, v, c, nullptr).Number, -1) << c.x() << "," << c.y();
        EXPECT_EQ(t.FindVertexOfAnyObject(doc, v, c).Number, -1) << c.x() << "," << c.y();
    }
    // The same objects with finite vertices are found there.
    a->Points[1] = {1000, 0};
    b->Points[1] = {600, 600};
    EXPECT_EQ(t.FindObject(doc, v, {95, 95}, nullptr).Number, 0);
    EXPECT_EQ(t.FindObjectByScan(doc, v, {505, 495}, nullptr).Number, 1);
    EXPECT_EQ(t.FindVertexOfAnyObject(doc, v, {100, 100}).Number, 0);
}
