// The objects' fingerprint, which decides whether an undo brought the map
// back to what was read or saved: every field the map file holds must count.
#include "app/SavedState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace dm {
namespace {

// Three objects with every field set, names of 0, 17 and 255 bytes.
void fill(TObjList& list) {
    list.clear();
    for (int k = 0; k < 3; ++k) {
        auto o = std::make_unique<TObj>();
        o->Number = 7 + k;
        o->StartNode = k == 1 ? -1 : 100 + k;  // no node: -1, as most objects have
        o->EndNode = k == 1 ? -1 : 200 + k;
        o->Kind = uint8_t(2 + k);
        o->Code = 30100 + k;
        o->Shape = uint8_t(1 + k);
        o->Name = k == 0 ? std::string() : k == 1 ? std::string("Улица Сибирская 1") : std::string(255, char('a' + k));
        o->PenColor = k == 1 ? int32_t(0x80000008u) : 0x00112233 + k;  // a system colour
        o->PenStyle = uint8_t(k);
        o->PenWidth = 3 + k;
        o->BrushStyle = uint8_t(k + 1);
        o->BrushColor = k == 1 ? int32_t(0x80000005u) : 0x00445566 + k;
        o->ExtraInt = k == 1 ? -1 : 9 - k;
        o->ExtraReal = 1.5 + k;
        o->Elevation = 120.25 - k;
        for (int i = 0; i < 2 + k; ++i) o->Points.push_back({1000.0 * k + i, -500.0 + 3 * i});
        list.appendAsIs(std::move(o));
    }
}

TEST(ObjectsFingerprint, EveryFieldOfEveryObjectCounts) {
    TObjList base;
    fill(base);
    const uint64_t print = ObjectsFingerprint(base);
    {
        TObjList same;
        fill(same);
        EXPECT_EQ(ObjectsFingerprint(same), print);
    }
    const std::vector<std::pair<const char*, std::function<void(TObj&)>>> changes = {
        {"Number", [](TObj& o) { o.Number += 1; }},
        {"StartNode", [](TObj& o) { o.StartNode = o.StartNode == -1 ? 0 : -1; }},
        {"EndNode", [](TObj& o) { o.EndNode ^= 1 << 30; }},
        {"Kind", [](TObj& o) { o.Kind = 255; }},
        {"Code", [](TObj& o) { o.Code += 1 << 24; }},
        {"Shape", [](TObj& o) { o.Shape ^= 0x80; }},
        {"start and end node exchanged", [](TObj& o) {
             if (o.StartNode == o.EndNode) o.EndNode = 5;
             std::swap(o.StartNode, o.EndNode);
         }},
        {"Name length", [](TObj& o) {
             const std::string name(o.Name.view());
             o.Name = name.size() < 255 ? name + '\0' : name.substr(0, 254);
         }},
        {"Name first byte", [](TObj& o) { o.Name = "x" + std::string(o.Name.view()); }},
        {"Name last byte", [](TObj& o) {
             std::string name(o.Name.view());
             if (name.empty()) name = "?";
             else name.back() = char(name.back() ^ 0x40);
             o.Name = name;
         }},
        {"Name middle byte", [](TObj& o) {
             std::string name(o.Name.view());
             if (name.empty()) name = "??";
             else name[name.size() / 2] = char(name[name.size() / 2] ^ 0x01);
             o.Name = name;
         }},
        {"PenColor", [](TObj& o) { o.PenColor ^= 0x00800000; }},
        {"PenColor's top byte", [](TObj& o) { o.PenColor ^= 0x02000000; }},
        {"PenStyle", [](TObj& o) { o.PenStyle = 5; }},
        {"PenStyle's top bit", [](TObj& o) { o.PenStyle ^= 0x80; }},
        {"PenWidth", [](TObj& o) { o.PenWidth = -o.PenWidth; }},
        {"BrushStyle", [](TObj& o) { o.BrushStyle = 7; }},
        {"BrushStyle's top bit", [](TObj& o) { o.BrushStyle ^= 0x80; }},
        {"BrushColor", [](TObj& o) { o.BrushColor ^= 1; }},
        {"BrushColor's top byte", [](TObj& o) { o.BrushColor ^= int32_t(0x80000000u); }},
        {"ExtraInt", [](TObj& o) { o.ExtraInt = int32_t(0x80000000u); }},
        {"ExtraReal", [](TObj& o) { o.ExtraReal = std::nextafter(o.ExtraReal, 1e9); }},
        {"Elevation", [](TObj& o) { o.Elevation = -o.Elevation; }},
        {"a vertex's X", [](TObj& o) { o.Points.back().X += 0.001; }},
        {"a vertex's Y", [](TObj& o) { o.Points.front().Y = -o.Points.front().Y; }},
        {"X and Y of a vertex exchanged", [](TObj& o) { std::swap(o.Points[1].X, o.Points[1].Y); }},
        {"a middle vertex", [](TObj& o) { o.Points[o.Points.size() / 2].X *= 1.5; }},
        {"one vertex more", [](TObj& o) { o.Points.push_back(o.Points.back()); }},
        {"one vertex less", [](TObj& o) { o.Points.resize(o.Points.size() - 1); }},
    };
    for (const auto& [what, change] : changes) {
        for (size_t k = 0; k < 3; ++k) {
            TObjList changed;
            fill(changed);
            change(*changed[k]);
            EXPECT_NE(ObjectsFingerprint(changed), print) << what << " of object " << k;
        }
    }
    // Zero and minus zero: as the file holds them.
    TObjList changed;
    fill(changed);
    changed[0]->Elevation = 0.0;
    const uint64_t plus = ObjectsFingerprint(changed);
    changed[0]->Elevation = -0.0;
    EXPECT_NE(ObjectsFingerprint(changed), plus);
}

TEST(ObjectsFingerprint, WhereOneObjectEndsAndTheOrderCount) {
    TObjList base;
    fill(base);
    const uint64_t print = ObjectsFingerprint(base);
    // The same objects in another order.
    {
        TObjList other;
        fill(other);
        auto second = std::make_unique<TObj>(*other[1]);
        other.remove(other[1]);
        other.appendAsIs(std::move(second));
        EXPECT_NE(ObjectsFingerprint(other), print);
        EXPECT_EQ(other.size(), 3u);
    }
    // One name byte, or one vertex, moved over to the next object.
    TObjList names;
    fill(names);
    names[0]->Name = "ab";
    names[1]->Name = "c";
    const uint64_t split = ObjectsFingerprint(names);
    names[0]->Name = "a";
    names[1]->Name = "bc";
    EXPECT_NE(ObjectsFingerprint(names), split);
    TObjList points;
    fill(points);
    const TXY moved = points[0]->Points.back();
    points[0]->Points.resize(points[0]->Points.size() - 1);
    points[1]->Points.insert(points[1]->Points.begin(), moved);
    EXPECT_NE(ObjectsFingerprint(points), print);
    // One object fewer, or none.
    TObjList fewer;
    fill(fewer);
    fewer.remove(fewer[2]);
    EXPECT_NE(ObjectsFingerprint(fewer), print);
    TObjList none;
    EXPECT_NE(ObjectsFingerprint(none), ObjectsFingerprint(fewer));
}

TEST(MapFingerprint, TheOrientationCountsAndAKnownObjectsPrintHoldsOnlyAtItsRevision) {
    MapDoc doc;
    fill(doc.ObjList);
    doc.Orientation.NextNode = 40;
    uint64_t worked = 0;
    const uint64_t print = MapFingerprint(doc, &worked);
    EXPECT_EQ(worked, 1u);
    doc.Orientation.NextNode = 41;
    EXPECT_NE(MapFingerprint(doc, &worked), print);
    doc.Orientation.NextNode = 40;
    doc.Orientation.Padding[2] = 1;  // kept as read, so written back
    EXPECT_NE(MapFingerprint(doc, &worked), print);
    doc.Orientation.Padding[2] = 0;
    EXPECT_EQ(worked, 3u);

    // A print made where the objects were read is taken instead of working
    // one out, once.
    doc.KnownObjectsPrint = MapDoc::ObjectsPrint{doc.ObjList.revision(), 0x1234};
    const uint64_t withKnown = MapFingerprint(doc, &worked);
    EXPECT_EQ(worked, 3u);
    EXPECT_NE(withKnown, print);
    EXPECT_FALSE(doc.KnownObjectsPrint.has_value());
    EXPECT_EQ(MapFingerprint(doc, &worked), print);
    EXPECT_EQ(worked, 4u);
    // The list changed after it was made: worked out anew.
    doc.KnownObjectsPrint = MapDoc::ObjectsPrint{doc.ObjList.revision(), 0x1234};
    auto copy = std::make_unique<TObj>(*doc.ObjList[0]);
    doc.ObjList.appendAsIs(std::move(copy));
    const uint64_t longer = MapFingerprint(doc, &worked);
    EXPECT_EQ(worked, 5u);
    doc.ObjList.remove(doc.ObjList.last());
    EXPECT_NE(longer, print);
    EXPECT_EQ(MapFingerprint(doc, &worked), print);
}

}  // namespace
}  // namespace dm
