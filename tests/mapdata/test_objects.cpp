#include "mapdata/MapDoc.h"

#include <gtest/gtest.h>

using namespace dm;

namespace {
std::unique_ptr<TObj> line(int n) {
    auto o = std::make_unique<TObj>();
    o->Kind = KindLine;
    for (int i = 0; i < n; ++i) o->Points.push_back({double(i), double(10 * i)});
    return o;
}
}  // namespace

TEST(TObj, Defaults) {
    TObj o;
    EXPECT_EQ(o.Code, -1);
    EXPECT_EQ(o.StartNode, -1);
    EXPECT_EQ(o.EndNode, -1);
    EXPECT_EQ(o.ExtraInt, -1);
    EXPECT_EQ(o.PenWidth, 1);
    EXPECT_TRUE(o.Name.empty());
    EXPECT_EQ(o.PointCount(), 0);
    EXPECT_EQ(o.Number, 0);
    EXPECT_EQ(o.Kind, 0);
    EXPECT_EQ(o.ExtraReal, 0);
}

TEST(TObj, ReverseExchangesNodesAndVertices) {
    auto o = line(3);
    o->StartNode = 5;
    o->EndNode = 9;
    ReverseObject(*o);
    EXPECT_EQ(o->StartNode, 9);
    EXPECT_EQ(o->EndNode, 5);
    EXPECT_EQ(o->Points[0], (TXY{2, 20}));
    EXPECT_EQ(o->Points[2], (TXY{0, 0}));
}

TEST(ObjList, NumbersFollowTheCountAndSurviveDeletion) {
    MapDoc doc;
    std::vector<TObj*> objs;
    for (int i = 0; i < 5; ++i) objs.push_back(doc.ObjList.append(line(2)));
    doc.CurObj = objs[3];
    doc.EditPoints = {{1, 2}};
    ASSERT_TRUE(doc.removeObject(objs[3]));
    EXPECT_EQ(doc.CurObj, nullptr);
    EXPECT_TRUE(doc.EditPoints.empty());
    std::vector<int> numbers;
    for (const auto& o : doc.ObjList) numbers.push_back(o->Number);
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 4}));
    TObj* added = doc.ObjList.append(line(2));
    EXPECT_EQ(added->Number, 4);  // two objects now share number 4
    EXPECT_EQ(doc.ObjList.indexOf(added), 4);
}

TEST(ObjList, MoveChangesOnlyTheOrder) {
    TObjList list;
    for (int i = 0; i < 4; ++i) list.append(line(1));
    TObj* first = list[0];
    list.move(0, 3);
    EXPECT_EQ(list[3], first);
    EXPECT_EQ(list[3]->Number, 0);
    EXPECT_EQ(list[0]->Number, 1);
    auto taken = list.take(first);
    ASSERT_TRUE(taken);
    EXPECT_EQ(list.size(), 3u);
    list.insertAt(1, std::move(taken));
    EXPECT_EQ(list[1], first);
}

TEST(MapDoc, DivideHandsOutTheNextNode) {
    MapDoc doc;
    doc.Orientation.NextNode = 40;
    doc.ObjList.append(line(3));
    TObj* o = doc.ObjList.append(line(10));
    o->StartNode = 5;
    o->EndNode = 9;
    o->Code = 3060;
    o->PenColor = 123;
    o->PenWidth = 3;
    o->BrushColor = 7;
    o->Name = "x";
    o->Elevation = 5;
    TObj* second = doc.divideObject(*o, 4);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(o->StartNode, 5);
    EXPECT_EQ(o->EndNode, 40);
    EXPECT_EQ(second->StartNode, 40);
    EXPECT_EQ(second->EndNode, 9);
    EXPECT_EQ(doc.Orientation.NextNode, 41);
    EXPECT_TRUE(doc.OrientationModified);
    EXPECT_TRUE(doc.MapModified);
    ASSERT_EQ(o->PointCount(), 5);
    ASSERT_EQ(second->PointCount(), 6);
    EXPECT_EQ(o->Points[4], second->Points[0]);  // the divided vertex belongs to both
    EXPECT_EQ(second->Points[5], (TXY{9, 90}));
    EXPECT_EQ(second->Number, 2);
    EXPECT_EQ(second->Code, 3060);
    EXPECT_EQ(second->Kind, KindLine);
    EXPECT_EQ(second->PenColor, 123);
    EXPECT_EQ(second->PenWidth, 3);
    EXPECT_EQ(second->BrushColor, 7);
    EXPECT_TRUE(second->Name.empty());
    EXPECT_EQ(second->Elevation, 0);
    EXPECT_EQ(doc.ObjList.last(), second);
    EXPECT_EQ(doc.divideObject(*o, 7), nullptr);  // no such vertex
    EXPECT_EQ(doc.Orientation.NextNode, 41);
}

// A subscriber that goes while the others are told is not told any more
// (its owner may be gone); one that comes is told from the next event on.
TEST(MapEvents, ThoseWhoLeaveDuringANotificationAreNotTold) {
    MapEvents events;
    std::vector<int> told;
    int second = 0, third = 0;
    events.subscribe([&](const MapEvent&) {
        told.push_back(1);
        events.unsubscribe(second);
        if (!third) third = events.subscribe([&](const MapEvent&) { told.push_back(3); });
    });
    second = events.subscribe([&](const MapEvent&) { told.push_back(2); });
    events.notify(MapEvent::Opened);
    events.notify(MapEvent::Closed);
    EXPECT_EQ(told, (std::vector<int>{1, 1, 3}));
}
