// The objects' fingerprint decides whether an undo brought the map back to
// what was read or saved: every field the map file holds must count.
#include "app/SavedState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace dm {
namespace {

// Three objects with every field set.  The middle one has no nodes (-1) and
// system colours, whose high bits lie beside other fields; names of 0, 31
// (Cyrillic) and 255 bytes.
void fill(TObjList& list) {
    list.clear();
    for (int k = 0; k < 3; ++k) {
        auto o = std::make_unique<TObj>();
        o->Number = 7 + k;
        o->StartNode = k == 1 ? -1 : 100 + k;
        o->EndNode = k == 1 ? -1 : 200 + k;
        o->Kind = uint8_t(2 + k);
        o->Code = 30100 + k;
        o->Shape = uint8_t(1 + k);
        o->Name = k == 0 ? std::string() : k == 1 ? std::string("Улица Сибирская 1") : std::string(255, 'c');
        o->PenColor = k == 1 ? int32_t(0x80000008u) : 0x00112233 + k;
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

uint64_t printAfter(const std::function<void(TObjList&)>& change) {
    TObjList list;
    fill(list);
    change(list);
    return ObjectsFingerprint(list);
}

// The first (0), middle (1) or last (2) byte of a name changed; an empty name gets one.
void changeNameByte(TObj& o, size_t which) {
    std::string name(o.Name.view());
    if (name.empty()) name = "?";
    else name[which * (name.size() - 1) / 2] ^= 0x01;
    o.Name = name;
}

TEST(ObjectsFingerprint, EveryFieldOfEveryObjectCounts) {
    const uint64_t print = printAfter([](TObjList&) {});
    EXPECT_EQ(printAfter([](TObjList&) {}), print);
    using Change = std::function<void(TObj&)>;
    const std::vector<std::pair<const char*, Change>> changes = {
        {"Number", [](TObj& o) { o.Number += 1; }},
        {"StartNode", [](TObj& o) { o.StartNode ^= 1 << 30; }},
        {"EndNode", [](TObj& o) { o.EndNode ^= 1 << 30; }},
        {"nodes exchanged", [](TObj& o) { o.EndNode += o.StartNode == o.EndNode; std::swap(o.StartNode, o.EndNode); }},
        {"Kind", [](TObj& o) { o.Kind ^= 0x80; }},
        {"Code", [](TObj& o) { o.Code += 1 << 24; }},
        {"Shape", [](TObj& o) { o.Shape ^= 0x80; }},
        {"PenColor's top byte", [](TObj& o) { o.PenColor ^= 0x02000000; }},
        {"PenStyle", [](TObj& o) { o.PenStyle ^= 0x80; }},
        {"PenWidth", [](TObj& o) { o.PenWidth = -o.PenWidth; }},
        {"BrushStyle", [](TObj& o) { o.BrushStyle ^= 0x80; }},
        {"BrushColor's top bit", [](TObj& o) { o.BrushColor ^= int32_t(0x80000000u); }},
        {"ExtraInt", [](TObj& o) { o.ExtraInt = int32_t(0x80000000u); }},
        {"ExtraReal", [](TObj& o) { o.ExtraReal = std::nextafter(o.ExtraReal, 1e9); }},
        {"Elevation", [](TObj& o) { o.Elevation = -o.Elevation; }},
        {"name's length", [](TObj& o) {
             const std::string name(o.Name.view());
             o.Name = name.size() < 255 ? name + '\0' : name.substr(0, 254);
         }},
        {"name's first byte", [](TObj& o) { changeNameByte(o, 0); }},
        {"name's middle byte", [](TObj& o) { changeNameByte(o, 1); }},
        {"name's last byte", [](TObj& o) { changeNameByte(o, 2); }},
        {"first vertex", [](TObj& o) { o.Points.front().Y = -o.Points.front().Y; }},
        {"middle vertex", [](TObj& o) { o.Points[o.Points.size() / 2].X *= 1.5; }},
        {"last vertex", [](TObj& o) { o.Points.back().X += 0.001; }},
        {"X and Y exchanged", [](TObj& o) { std::swap(o.Points[1].X, o.Points[1].Y); }},
        {"one vertex more", [](TObj& o) { o.Points.push_back(o.Points.back()); }},
        {"one vertex less", [](TObj& o) { o.Points.resize(o.Points.size() - 1); }},
    };
    for (const auto& [what, change] : changes)
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NE(printAfter([&](TObjList& l) { change(*l[k]); }), print) << what << " of object " << k;
    // Minus zero is not zero: the file holds other bytes.
    EXPECT_NE(printAfter([](TObjList& l) { l[0]->Elevation = 0.0; }),
              printAfter([](TObjList& l) { l[0]->Elevation = -0.0; }));
}

TEST(ObjectsFingerprint, WhereOneObjectEndsAndTheOrderCount) {
    const uint64_t print = printAfter([](TObjList&) {});
    // Two objects in the other order; one object fewer.
    EXPECT_NE(printAfter([](TObjList& l) {
                  auto second = std::make_unique<TObj>(*l[1]);
                  l.remove(l[1]);
                  l.appendAsIs(std::move(second));
              }),
              print);
    EXPECT_NE(printAfter([](TObjList& l) { l.remove(l[2]); }), print);
    // One name byte, or one vertex, moved over to the next object.
    EXPECT_NE(printAfter([](TObjList& l) { l[0]->Name = "ab"; l[1]->Name = "c"; }),
              printAfter([](TObjList& l) { l[0]->Name = "a"; l[1]->Name = "bc"; }));
    EXPECT_NE(printAfter([](TObjList& l) {
                  const TXY moved = l[0]->Points.back();
                  l[0]->Points.pop_back();
                  l[1]->Points.insert(l[1]->Points.begin(), moved);
              }),
              print);
}

TEST(MapFingerprint, TheOrientationCountsAndAKnownObjectsPrintHoldsOnlyAtItsRevision) {
    MapDoc doc;
    fill(doc.ObjList);
    doc.Orientation.NextNode = 40;
    uint64_t worked = 0;
    const uint64_t print = MapFingerprint(doc, &worked);
    doc.Orientation.NextNode = 41;
    EXPECT_NE(MapFingerprint(doc, &worked), print);
    doc.Orientation.NextNode = 40;
    EXPECT_EQ(worked, 2u);
    // A print made where the objects were read is taken instead of working
    // one out, once.
    doc.KnownObjectsPrint = MapDoc::ObjectsPrint{doc.ObjList.revision(), 0x1234};
    EXPECT_NE(MapFingerprint(doc, &worked), print);
    EXPECT_EQ(worked, 2u);
    EXPECT_FALSE(doc.KnownObjectsPrint.has_value());
    EXPECT_EQ(MapFingerprint(doc, &worked), print);
    // The list changed after it was made: worked out anew.
    doc.KnownObjectsPrint = MapDoc::ObjectsPrint{doc.ObjList.revision(), 0x1234};
    doc.ObjList.appendAsIs(std::make_unique<TObj>(*doc.ObjList[0]));
    const uint64_t longer = MapFingerprint(doc, &worked);
    EXPECT_EQ(worked, 4u);
    doc.ObjList.remove(doc.ObjList.last());
    EXPECT_NE(longer, print);
    EXPECT_EQ(MapFingerprint(doc, &worked), print);
}

}  // namespace
}  // namespace dm
