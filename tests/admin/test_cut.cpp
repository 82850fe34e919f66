#include "admin/MapCut.h"

#include "admin/Boundaries.h"
#include "mapdata/BinaryIO.h"

#include "UnitView.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {
using test::mp;
using test::unitView;

TObj* add(TObjList& list, uint8_t kind, int code, std::vector<QPoint> px) {
    auto o = std::make_unique<TObj>();
    o->Kind = kind;
    o->Code = code;
    for (QPoint p : px) o->Points.push_back(mp(p.x(), p.y()));
    return list.append(std::move(o));
}

// The lasso as drawn: four corners, not closed (the edge from the last
// point back to the first is the closing edge, x = 10).
const std::vector<QPoint> kLasso = {{10, 10}, {60, 10}, {60, 60}, {10, 60}};
}  // namespace

TEST(LassoCut, InsideKeptOutsideDroppedCrossingsFromTheLassoEdges) {
    TObjList list;
    TObj* outside = add(list, KindLine, 3060, {{70, 70}, {90, 90}});
    TObj* inside = add(list, KindLine, 3060, {{20, 20}, {30, 30}, {40, 20}});
    TObj* leaving = add(list, KindLine, 3060, {{30, 30}, {80, 30}});
    TObj* entering = add(list, KindLine, 3060, {{80, 40}, {40, 40}});
    TObj* closingOnly = add(list, KindLine, 3060, {{30, 30}, {0, 30}});
    TObj* through = add(list, KindLine, 3060, {{0, 50}, {30, 50}, {80, 50}});
    const std::vector<TXY> insideBefore = inside->Points.vec();
    std::vector<TObj*> collection;
    std::vector<std::vector<QPoint>> drawn;
    CutMapToLasso(list, kLasso, unitView(), collection, {}, [&](const std::vector<QPoint>& t) { drawn.push_back(t); });

    EXPECT_TRUE(outside->Points.empty());
    EXPECT_EQ(inside->Points, insideBefore);
    // Leaving: vertex k-1 and then the crossing with the edge x = 60.
    EXPECT_EQ(leaving->Points, (std::vector<TXY>{mp(30, 30), mp(30, 30), mp(60, 30)}));
    // Entering: the crossing and then vertex k.
    EXPECT_EQ(entering->Points, (std::vector<TXY>{mp(60, 40), mp(40, 40)}));
    // Only the closing edge is crossed: no crossing vertex.
    EXPECT_EQ(closingOnly->Points, (std::vector<TXY>{mp(30, 30)}));
    // Entering over the closing edge adds nothing; leaving over x = 60 does.
    EXPECT_EQ(through->Points, (std::vector<TXY>{mp(30, 50), mp(60, 50)}));

    EXPECT_EQ(collection, (std::vector<TObj*>{inside, leaving, entering, closingOnly, through}));
    // Every object's new outline is drawn, in pixels (an empty one too).
    ASSERT_EQ(drawn.size(), 6u);
    EXPECT_TRUE(drawn[0].empty());
    EXPECT_EQ(drawn[3], (std::vector<QPoint>{{60, 40}, {40, 40}}));
    // The list keeps every object; the emptied one is not saved later.
    EXPECT_EQ(list.size(), 6u);

    // The same lasso over a view zoomed in twice and moved: pixel (c, r) is
    // the map point (95 - r / 2, 5 + c / 2); the crossing at pixel (60, 30)
    // is the map point (80, 35).  Labels by their first point.
    MapView zoomed = unitView();
    zoomed.Scale = 2;
    zoomed.ViewXMax = 95;
    zoomed.ViewYMin = 5;
    TObjList two;
    TObj* out = add(two, KindLine, 3060, {});
    out->Points = {TXY{80, 20}, TXY{80, 45}};
    collection.clear();
    CutMapToLasso(two, kLasso, zoomed, collection);
    EXPECT_EQ(out->Points, (std::vector<TXY>{{80, 20}, {80, 20}, {80, 35}}));
    auto label = [](double x, double y) {
        auto n = std::make_shared<TNaz>();
        n->X1 = x;
        n->Y1 = y;
        return n;
    };
    // Pixels (20, 20), (90, 90), (70, 20) and (20, 5).
    const std::vector<NameRef> labels = {label(85, 15), label(50, 50), label(85, 40), label(92.5, 15)};
    EXPECT_EQ(LabelsInside(labels, kLasso, zoomed), (std::vector<NameRef>{labels[0]}));
}

TEST(LassoCut, ProgressByObjectCountInTens) {
    TObjList list;
    for (int i = 0; i < 11; ++i) add(list, KindPoint, 2402, {{20 + i, 20}});
    std::vector<int> seen;
    std::vector<TObj*> collection;
    CutMapToLasso(list, kLasso, unitView(), collection, [&](int p) { seen.push_back(p); });
    // rnd(k / 10 x 100) for k = 1..11.
    EXPECT_EQ(seen, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110}));
    EXPECT_EQ(collection.size(), 11u);
}

TEST(BoundaryCut, CrossingFoundByHalvingInsideRunsInOrder) {
    // The boundary: the square 10..60 closed.
    const std::vector<QPoint> sq = {{10, 10}, {60, 10}, {60, 60}, {10, 60}, {10, 10}};
    TObjList list;
    TObj* inside = add(list, KindLine, 3060, {{20, 30}, {30, 30}, {40, 30}});
    TObj* leaving = add(list, KindLine, 3060, {{30, 30}, {100, 30}});
    TObj* entering = add(list, KindLine, 3060, {{100, 30}, {30, 30}});
    TObj* outside = add(list, KindLine, 3060, {{70, 70}, {90, 70}});
    TObj* road = add(list, KindLine, 3110, {{30, 30}, {100, 30}});
    TObj* rail = add(list, KindLine, 3130, {{70, 70}, {90, 70}});
    TObj* pipe = add(list, KindLine, 3160, {{20, 20}, {30, 20}});
    TObj* tree = add(list, KindPoint, 2402, {{20, 20}});
    TObj* farTree = add(list, KindPoint, 2402, {{90, 90}});
    const std::vector<TXY> roadBefore = road->Points.vec(), railBefore = rail->Points.vec();
    std::vector<TObj*> collection;
    std::vector<TObj*> drawn;
    CutMapToBoundary(list, sq, unitView(), collection, {}, [&](TObj& o) { drawn.push_back(&o); });

    EXPECT_EQ(inside->Points, (std::vector<TXY>{mp(20, 30), mp(30, 30), mp(40, 30)}));
    // Halving from column 30 (inside) and 100 (outside): 65 out, 47 in, 56 in,
    // 60 out (the right edge is outside), 58 in; the ends are then 2 apart.
    // The map point is the mean of the map points: 30 -> 47.5 -> 56.25 -> 58.4375.
    const TXY crossing{70, 58.4375};
    EXPECT_EQ(leaving->Points, (std::vector<TXY>{mp(30, 30), crossing}));
    // Entering at the last vertex: the crossing, then the inside vertex.
    EXPECT_EQ(entering->Points, (std::vector<TXY>{crossing, mp(30, 30)}));
    EXPECT_TRUE(outside->Points.empty());
    // Roads, railways and pipes are passed over.
    EXPECT_EQ(road->Points, roadBefore);
    EXPECT_EQ(rail->Points, railBefore);
    EXPECT_EQ(pipe->PointCount(), 2);
    EXPECT_EQ(tree->PointCount(), 1);
    EXPECT_EQ(farTree->PointCount(), 1);
    EXPECT_EQ(collection, (std::vector<TObj*>{inside, leaving, entering, tree}));
    EXPECT_EQ(drawn, (std::vector<TObj*>{inside, leaving, entering}));
}

TEST(BoundaryCut, AreasClosedAgainOneVertexPerCrossing) {
    const std::vector<QPoint> sq = {{10, 10}, {60, 10}, {60, 60}, {10, 60}, {10, 10}};
    TObjList list;
    // An area half outside on the right.
    TObj* a = add(list, KindArea, 1010, {{40, 20}, {80, 20}, {80, 40}, {40, 40}, {40, 20}});
    // A line that goes out and comes back in: two crossings.
    TObj* l = add(list, KindLine, 3060, {{20, 50}, {90, 50}, {90, 20}, {20, 20}});
    // An area wholly inside keeps its vertices and its closing vertex once.
    TObj* in = add(list, KindArea, 1010, {{20, 20}, {30, 20}, {30, 30}, {20, 20}});
    std::vector<TObj*> collection;
    CutMapToBoundary(list, sq, unitView(), collection);
    ASSERT_EQ(a->PointCount(), 5);
    EXPECT_EQ(a->Points[0], mp(40, 20));
    EXPECT_EQ(a->Points[1].X, 80);  // on row 20
    EXPECT_NEAR(a->Points[1].Y, 59, 2);
    EXPECT_EQ(a->Points[2].X, 60);  // on row 40
    EXPECT_NEAR(a->Points[2].Y, 59, 2);
    EXPECT_EQ(a->Points[3], mp(40, 40));
    EXPECT_EQ(a->Points[4], a->Points[0]);
    ASSERT_EQ(l->PointCount(), 4);
    EXPECT_EQ(l->Points[0], mp(20, 50));
    EXPECT_NEAR(l->Points[1].Y, 59, 2);
    EXPECT_NEAR(l->Points[2].Y, 59, 2);
    EXPECT_EQ(l->Points[3], mp(20, 20));
    EXPECT_EQ(in->PointCount(), 4);
    EXPECT_EQ(collection.size(), 3u);
}

TEST(BoundaryCut, RegionCutStartsWithTheBoundaryLabelsInside) {
    TObjList list;
    TObj* inside = add(list, KindLine, 3060, {{20, 30}, {40, 30}});
    add(list, KindLine, 3060, {{70, 70}, {90, 70}});
    TObj boundary;
    boundary.Kind = KindArea;
    for (QPoint p : {QPoint(10, 10), QPoint(60, 10), QPoint(60, 60), QPoint(10, 60), QPoint(10, 10)})
        boundary.Points.push_back(mp(p.x(), p.y()));
    auto label = [](QPoint first, QPoint second) {
        auto n = std::make_shared<TNaz>();
        n->X1 = 100.0 - first.y();
        n->Y1 = first.x();
        n->X2 = 100.0 - second.y();
        n->Y2 = second.x();
        return n;
    };
    // Only the first point decides.
    const std::vector<NameRef> labels = {label({20, 20}, {90, 90}), label({90, 90}, {20, 20}), label({30, 40}, {35, 40})};
    const DistrictCut cut = CutRegionToBoundary(list, boundary, unitView(), labels);
    EXPECT_EQ(cut.objects, (std::vector<TObj*>{&boundary, inside}));
    EXPECT_EQ(cut.labels, (std::vector<NameRef>{labels[0], labels[2]}));
}

TEST(CutMapFiles, AllFilesOrNoneAndOnlyObjectsWithVertices) {
    const fs::path dir = fs::temp_directory_path() / ("dm_cutfiles_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    TObjList list;
    TObj* a = add(list, KindLine, 3060, {{20, 30}, {40, 30}});
    TObj* empty = add(list, KindLine, 3060, {});
    OrientationRecord o{100, 0, 100, 0, 1.2, 2, {0, 0, 0}, 17};
    auto n = std::make_shared<TNaz>();
    n->OldName = "X";
    SaveCutMapFiles(dir / "cut.bin", {a, empty}, o, {n});
    TObjList back;
    LoadObjects(dir / "cut.bin", back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(sameObject(*back[0], *a));
    const OrientationRecord r = ReadOrientation(dir / "cut.or");
    EXPECT_EQ(r.XMax, 100);
    EXPECT_EQ(r.CoordKind, 2);
    EXPECT_EQ(r.AxialMeridian, 1.2);
    EXPECT_EQ(r.NextNode, 17);
    std::vector<NameRef> names;
    LoadNames(dir / "cut.nam", names);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0]->OldName, "X");

    // Without labels no names file is written.
    SaveCutMapFiles(dir / "bare.bin", {a}, o, {});
    EXPECT_FALSE(fs::exists(dir / "bare.nam"));

    // A failure to write leaves every old file as it was: here the ".or"
    // cannot be made (a folder stands in its place).
    const auto oldBin = readWholeFile(dir / "cut.bin");
    fs::create_directories(dir / "blocked.or");
    writeFileAtomically(dir / "blocked.bin", oldBin);
    EXPECT_THROW(SaveCutMapFiles(dir / "blocked.bin", {a, a}, o, {n}), FileError);
    EXPECT_EQ(readWholeFile(dir / "blocked.bin"), oldBin);
    EXPECT_FALSE(fs::exists(dir / "blocked.nam"));
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    fs::remove_all(dir);
}
