#include "admin/Boundaries.h"

#include "mapdata/BinaryIO.h"

#include <QImage>
#include <QPainter>
#include "UnitView.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>

using namespace dm;
namespace fs = std::filesystem;

namespace {
using test::mp;
using test::unitView;

std::unique_ptr<TObj> area(const char* name, std::vector<QPoint> px) {
    auto o = std::make_unique<TObj>();
    o->Kind = KindArea;
    o->Name = name;
    for (QPoint p : px) o->Points.push_back(mp(p.x(), p.y()));
    return o;
}

// One boundary record written out byte by byte.
const std::vector<uint8_t> kRecord = {
    0x07, 0x00, 0x00, 0x00,                          // Number 7
    0xFF, 0xFF, 0xFF, 0xFF,                          // StartNode -1
    0xFE, 0xFF, 0xFF, 0xFF,                          // EndNode -2
    0x03,                                            // Kind 3
    0x39, 0x0C, 0x00, 0x00,                          // Code 3129
    0x00,                                            // Shape 0
    0x04, 0x00, 0x00, 0x00, 0x03, 0xC0, 0xC1, 0xC2,  // Name "АБВ"
    0x11, 0x22, 0x33, 0x00,                          // PenColor 0x332211
    0x02, 0x00, 0x00, 0x00,                          // PenStyle 2
    0x05, 0x00, 0x00, 0x00,                          // PenWidth 5
    0x06, 0x00, 0x00, 0x00,                          // BrushStyle 6
    0x00, 0x00, 0xFF, 0x00,                          // BrushColor 0xFF0000
    0x09, 0x00, 0x00, 0x00,                          // ExtraInt 9
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F,  // ExtraReal 0.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x40,  // Elevation 10
    0x02, 0x00, 0x00, 0x00,                          // 2 vertices
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // X 1
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // Y 2
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x40,  // X 3
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x40,  // Y 4
};

fs::path tempDir() {
    const fs::path d = fs::temp_directory_path() / ("dm_bounds_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}
}  // namespace

TEST(PointInBoundary, SquareEdgesAndVerticesByTheHalfOpenRule) {
    const std::vector<QPoint> sq = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_TRUE(PointInBoundary(sq, 5, 5));
    EXPECT_TRUE(PointInBoundary(sq, 0, 5));    // left edge
    EXPECT_FALSE(PointInBoundary(sq, 10, 5));  // right edge
    EXPECT_TRUE(PointInBoundary(sq, 5, 0));    // top edge
    EXPECT_FALSE(PointInBoundary(sq, 5, 10));  // bottom edge
    EXPECT_TRUE(PointInBoundary(sq, 0, 0));
    EXPECT_FALSE(PointInBoundary(sq, 10, 0));
    EXPECT_FALSE(PointInBoundary(sq, 0, 10));
    EXPECT_FALSE(PointInBoundary(sq, 10, 10));
    EXPECT_FALSE(PointInBoundary(sq, -1, 5));
    EXPECT_FALSE(PointInBoundary(sq, 11, 5));
    EXPECT_FALSE(PointInBoundary({}, 0, 0));
    EXPECT_FALSE(PointInBoundary({{3, 3}}, 3, 3));
    // The same square closed (last point = first) answers the same.
    std::vector<QPoint> closed = sq;
    closed.push_back(sq.front());
    for (QPoint p : {QPoint(5, 5), QPoint(0, 5), QPoint(10, 5), QPoint(5, 0), QPoint(5, 10)})
        EXPECT_EQ(PointInBoundary(closed, p.x(), p.y()), PointInBoundary(sq, p.x(), p.y())) << p.x() << "," << p.y();
}

TEST(PointInBoundary, ConcaveAndSlantedEdges) {
    // A "U": the notch between the arms is outside.
    const std::vector<QPoint> u = {{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}};
    EXPECT_TRUE(PointInBoundary(u, 5, 20));
    EXPECT_TRUE(PointInBoundary(u, 25, 20));
    EXPECT_FALSE(PointInBoundary(u, 15, 20));
    EXPECT_TRUE(PointInBoundary(u, 15, 5));
    EXPECT_FALSE(PointInBoundary(u, 15, 29));
    // A triangle: the slanted edge from (0,0) to (20,20) counts by
    // x < (y - yi)(xj - xi)/(yj - yi) + xi.
    const std::vector<QPoint> tri = {{0, 0}, {20, 20}, {0, 20}};
    EXPECT_TRUE(PointInBoundary(tri, 4, 5));
    EXPECT_FALSE(PointInBoundary(tri, 5, 5));  // on the slanted edge: not left of it
    EXPECT_FALSE(PointInBoundary(tri, 6, 5));
    // Far-off pixels do not overflow.
    const std::vector<QPoint> big = {{-2000000000, -2000000000}, {2000000000, -2000000000}, {2000000000, 2000000000},
                                     {-2000000000, 2000000000}};
    EXPECT_TRUE(PointInBoundary(big, 0, 0));
    // The tester's box answers as the rule does, on the box's edges too.
    for (const auto* poly : {&u, &tri})
        for (int y = -2; y <= 32; ++y)
            for (int x = -2; x <= 32; ++x)
                ASSERT_EQ(BoundaryTester(*poly).contains(x, y), PointInBoundary(*poly, x, y)) << x << "," << y;
}

TEST(FindDistrict, FirstContainingListedBoundaryWinsAndCaseCounts) {
    const MapView v = unitView();
    TObjList bounds;
    bounds.appendAsIs(area("Unlisted", {{0, 0}, {50, 0}, {50, 50}, {0, 50}, {0, 0}}));
    bounds.appendAsIs(area("\xD6\xE5\xED\xF2\xF0", {{10, 10}, {60, 10}, {60, 60}, {10, 60}, {10, 10}}));  // "Центр"
    bounds.appendAsIs(area("Second", {{20, 20}, {70, 20}, {70, 70}, {20, 70}, {20, 20}}));
    const std::vector<ListEntry> list = {{"Second", "second"}, {"\xD6\xE5\xED\xF2\xF0", "centr"}};
    // (30, 30) lies in all three: the first listed one in boundary order is "Центр".
    const ListEntry* e = FindDistrict(bounds, v, 30, 30, list);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->file, "centr");
    EXPECT_EQ(FindDistrict(bounds, v, 65, 65, list)->file, "second");
    EXPECT_EQ(FindDistrict(bounds, v, 5, 5, list), nullptr);  // only in the unlisted one
    EXPECT_EQ(FindDistrict(bounds, v, 90, 90, list), nullptr);
    // "ЦЕНТР" differs from "Центр" in letter case only: not found.
    const std::vector<ListEntry> upper = {{"\xD6\xC5\xCD\xD2\xD0", "centr"}};
    EXPECT_EQ(FindDistrict(bounds, v, 30, 30, upper), nullptr);
}

TEST(BoundaryFiles, LiteralRecordReadEveryFieldAndWrittenBackByteForByte) {
    const fs::path p = tempDir() / "a.grn";
    writeFileAtomically(p, kRecord);
    TObjList list;
    ReadBoundaryFile(p, list);
    ASSERT_EQ(list.size(), 1u);
    const TRayObj& b = *list[0];
    EXPECT_EQ(b.Number, 7);
    EXPECT_EQ(b.StartNode, -1);
    EXPECT_EQ(b.EndNode, -2);
    EXPECT_EQ(b.Kind, 3);
    EXPECT_EQ(b.Code, 3129);
    EXPECT_EQ(b.Shape, 0);
    EXPECT_EQ(b.Name, "\xC0\xC1\xC2");
    EXPECT_EQ(b.PenColor, 0x332211);
    EXPECT_EQ(b.PenStyle, 2);
    EXPECT_EQ(b.PenWidth, 5);
    EXPECT_EQ(b.BrushStyle, 6);
    EXPECT_EQ(b.BrushColor, 0xFF0000);
    EXPECT_EQ(b.ExtraInt, 9);
    EXPECT_EQ(b.ExtraReal, 0.5);
    EXPECT_EQ(b.Elevation, 10.0);
    ASSERT_EQ(b.PointCount(), 2);
    EXPECT_EQ(b.Points[0], (TXY{1, 2}));
    EXPECT_EQ(b.Points[1], (TXY{3, 4}));

    const fs::path q = tempDir() / "b.grn";
    RewriteBoundaryFile(q, list);
    EXPECT_EQ(readWholeFile(q), kRecord);

    // The readers that draw take pen width 2; reading appends.
    ReadBoundaryFile(p, list, true);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->PenWidth, 5);
    EXPECT_EQ(list[1]->PenWidth, 2);
}

TEST(BoundaryFiles, EmptyBoundariesLeftOutOfFrontierDamageNamed) {
    TObjList list;
    list.appendAsIs(area("A", {{1, 1}, {2, 2}}));
    list.appendAsIs(std::make_unique<TObj>());
    list.appendAsIs(area("B", {{3, 3}}));
    const fs::path tum = tempDir() / "frontier.tum";
    WriteBoundaries(tum, list);
    TObjList back;
    ReadBoundaryFile(tum, back);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0]->Name, "A");
    EXPECT_EQ(back[1]->Name, "B");
    const fs::path all = tempDir() / "all.grn";
    RewriteBoundaryFile(all, list);
    back.clear();
    ReadBoundaryFile(all, back);
    EXPECT_EQ(back.size(), 3u);

    // A truncated file names itself; the records before the damage are kept.
    std::vector<uint8_t> cut = kRecord;
    cut.insert(cut.end(), kRecord.begin(), kRecord.begin() + 40);
    const fs::path bad = tempDir() / "bad.gtm";
    writeFileAtomically(bad, cut);
    back.clear();
    try {
        ReadBoundaryFile(bad, back);
        FAIL() << "a truncated file was read";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.gtm"), std::string::npos) << e.what();
    }
    EXPECT_EQ(back.size(), 1u);
    EXPECT_THROW(ReadBoundaryFile(tempDir() / "none.grn", back), FileError);
}

TEST(FindDistrict, ABoundaryWithAVertexThatIsNotANumberHasNoInside) {
    const MapView v = unitView();
    TObjList bounds;
    bounds.appendAsIs(area("A", {{10, 10}, {60, 10}, {60, 60}, {10, 60}, {10, 10}}));
    const std::vector<ListEntry> list = {{"A", "a"}};
    ASSERT_NE(FindDistrict(bounds, v, 30, 30, list), nullptr);
    bounds[0]->Points[2] = {std::nan(""), std::nan("")};
    EXPECT_EQ(FindDistrict(bounds, v, 30, 30, list), nullptr);
    EXPECT_TRUE(ScreenPolygon(*bounds[0], v).empty());
    bounds[0]->BrushColor = 0x0000FF;
    bounds[0]->BrushStyle = 0;
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QImage white = img;
    {
        QPainter p(&img);
        DrawBoundary(p, *bounds[0], v, 0xFFFFFF, 1);
    }
    EXPECT_EQ(img, white);
    bounds[0]->Points[2] = {v.ViewXMax, std::numeric_limits<double>::infinity()};
    EXPECT_EQ(FindDistrict(bounds, v, 30, 30, list), nullptr);
}

TEST(DrawBoundary, ClosedOutlineFilledOpenOneDrawnAsSegments) {
    const MapView v = unitView();
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    auto closed = area("A", {{10, 10}, {40, 10}, {40, 40}, {10, 40}, {10, 10}});
    closed->BrushColor = 0x0000FF;  // red
    closed->BrushStyle = 0;
    auto open = area("B", {{60, 10}, {90, 10}, {90, 40}, {65, 40}});  // last column differs from the first
    open->BrushColor = 0x0000FF;
    open->BrushStyle = 0;
    {
        QPainter p(&img);
        DrawBoundary(p, *closed, v, 0xFFFFFF, 1);
        DrawBoundary(p, *open, v, 0xFFFFFF, 1);
    }
    EXPECT_EQ(img.pixel(25, 25), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(75, 25), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(75, 10), qRgb(0, 0, 0));  // the outline, black
    // A chosen colour and style win over the boundary's own.
    img.fill(Qt::white);
    {
        QPainter p(&img);
        DrawBoundary(p, *closed, v, 0x00FF00, 0);
    }
    EXPECT_EQ(img.pixel(25, 25), qRgb(0, 255, 0));
    img.fill(Qt::white);
    {
        QPainter p(&img);
        DrawBoundary(p, *closed, v, 0xFFFFFF, 1);  // style 1 chosen = none chosen
    }
    EXPECT_EQ(img.pixel(25, 25), qRgb(255, 0, 0));
}
