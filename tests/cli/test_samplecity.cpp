#include "classifier/Semantics.h"
#include "cli/SampleCity.h"
#include "mapdata/Cp1251.h"

#include <gtest/gtest.h>

#include <set>

using namespace dm;

namespace {
std::vector<uint8_t> encodeAll(const MapDoc& doc) {
    BinWriter w;
    EncodeOrientation(w, doc.Orientation);
    for (const auto& o : doc.ObjList) EncodeObject(w, *o);
    return w.data();
}
}  // namespace

TEST(SampleCity, DeterministicForASeed) {
    MapDoc a, b, c;
    sample::buildCity(a, {.seed = 1});
    sample::buildCity(b, {.seed = 1});
    sample::buildCity(c, {.seed = 2});
    EXPECT_EQ(encodeAll(a), encodeAll(b));
    EXPECT_NE(encodeAll(a), encodeAll(c));
}

TEST(SampleCity, LooksLikeACity) {
    MapDoc doc;
    sample::buildCity(doc, {});
    std::set<int> codes;
    int named = 0, contours = 0;
    const auto& o = doc.Orientation;
    for (const auto& obj : doc.ObjList) {
        codes.insert(obj->Code);
        named += !obj->Name.empty();
        ASSERT_GT(obj->PointCount(), 0);
        for (const auto& p : obj->Points) {
            ASSERT_TRUE(p.X >= o.XMin && p.X <= o.XMax && p.Y >= o.YMin && p.Y <= o.YMax);
        }
        if (obj->Code >= 2130 && obj->Code <= 2134) {
            ++contours;
            if (obj->Code != 2133 && obj->Code != 2134) {
                EXPECT_GT(obj->Elevation, 0);
            }
        }
        if (obj->Kind == KindArea && obj->Shape == 0) {
            EXPECT_EQ(obj->Points.front(), obj->Points.back());
        }
    }
    EXPECT_GT(doc.ObjList.size(), 3000u);
    EXPECT_GE(contours, 10);
    EXPECT_GT(named, 10);
    // Street grid, buildings, river, parks, contours, points and every ornament kind.
    for (int code : {3050, 3060, 1010, 3200, 5010, 2130, 2131, 2132, 2133, 2134, 2402, 840, 930, 780, 1891, 2410,
                     2560, 741, 1490, 4010, 2300, 2370, 2222, 12, 1})
        EXPECT_TRUE(codes.count(code)) << code;
    // Every code used has a classifier entry.
    std::set<int> known;
    for (const auto& k : sample::sampleKinds()) known.insert(k.code);
    for (int code : codes) EXPECT_TRUE(known.count(code)) << code;
    EXPECT_EQ(o.CoordKind, 1);
    EXPECT_GT(o.NextNode, 0);
}

TEST(SampleCity, ExactObjectCountOnRequest) {
    for (long n : {1L, 500L, 20000L}) {
        MapDoc doc;
        sample::buildCity(doc, {.seed = 3, .objects = n});
        EXPECT_EQ(long(doc.ObjList.size()), n);
    }
}

TEST(SampleCity, ClassifierCoversEveryCodeAndPointSymbol) {
    MapDoc doc;
    sample::buildCity(doc, {});
    const ActiveSemanticList sem = SemanticsFromLines(sample::semanticLines());
    std::set<int> withSymbol;
    for (const auto& z : sample::symbols()) withSymbol.insert(z.Code);
    for (const auto& o : doc.ObjList) {
        ASSERT_TRUE(SemanticDisplayName(sem, o->Code).has_value()) << o->Code;
        if (o->Kind == KindPoint) {
            EXPECT_TRUE(withSymbol.count(o->Code)) << o->Code;
        }
    }
    // Members show with their group's heading.
    EXPECT_EQ(cp1251ToUtf8(*SemanticDisplayName(sem, 1010)), "Здания...жилые");
    // Every line can be chosen.
    for (int i = 0; i < int(sem.Lines.size()); ++i) {
        TCurrentSemantic cur;
        EXPECT_EQ(KodSem(sem, i, cur), "") << i;
    }
}
