#include "classifier/Semantics.h"
#include "cli/SampleCity.h"
#include "mapdata/Cp1251.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include <unistd.h>

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

TEST(SampleCity, StopsMetroUserAreasAndTableBesideTheMap) {
    const std::filesystem::path d =
        std::filesystem::temp_directory_path() / ("dm_sample_extras_" + std::to_string(::getpid()));
    std::filesystem::remove_all(d);
    sample::writeStartFolder(d, {});
    const std::filesystem::path city = d / "Darvent";
    // The default grid: streets at X = 4570000 + 160 r (r = 0..24), crossing
    // streets at Y = 13500000 + 220 c (c = 0..26).
    const double x0 = 4570000, y0 = 13500000;
    std::vector<TMetro> metro;
    LoadMetro(city / "metro.dat", metro);
    ASSERT_EQ(metro.size(), 5u);
    std::set<std::string> stations;
    for (const TMetro& m : metro) {
        EXPECT_FALSE(m.Name.empty());
        EXPECT_LE(m.Name.size(), 20u);
        EXPECT_TRUE(m.X > x0 && m.X < x0 + 24 * 160 && m.Y > y0 && m.Y < y0 + 26 * 220) << m.X << " " << m.Y;
        stations.insert(m.Name);
    }
    EXPECT_EQ(stations.size(), 5u);
    std::vector<StopRef> stops;
    LoadStops(city / "ostanov.dat", stops);
    ASSERT_GE(stops.size(), 50u);
    int trams = 0, trolleybuses = 0;
    for (size_t i = 0; i < stops.size(); ++i) {
        const TOstnv& s = *stops[i];
        EXPECT_EQ(s.Number, int32_t(i));
        EXPECT_FALSE(s.Name.empty());
        EXPECT_FALSE(s.BusRoutes.empty());
        trams += !s.TramRoutes.empty();
        trolleybuses += !s.TrolleybusRoutes.empty();
        // 15 m north of an east-west street, inside the grid.
        const double north = std::fmod(s.X - x0, 160.0);
        EXPECT_NEAR(north, 15.0, 1e-6) << cp1251ToUtf8(s.Name);
        EXPECT_TRUE(s.Y > y0 && s.Y < y0 + 26 * 220);
        // The nearest station by straight distance.
        const TMetro* best = nullptr;
        for (const TMetro& m : metro)
            if (!best || std::hypot(m.X - s.X, m.Y - s.Y) < std::hypot(best->X - s.X, best->Y - s.Y)) best = &m;
        EXPECT_EQ(s.NearestMetro, best->Name) << cp1251ToUtf8(s.Name);
    }
    EXPECT_GT(trams, 0);
    EXPECT_GT(trolleybuses, 0);
    // One user area of each figure, each with its name and note, inside a
    // block: between two east-west streets.
    std::vector<AreaRef> areas;
    LoadUserAreas(city / "places.dat", areas);
    ASSERT_EQ(areas.size(), 5u);
    std::set<int> figures;
    for (const auto& a : areas) {
        figures.insert(a->Figure);
        EXPECT_FALSE(a->Name.empty());
        EXPECT_FALSE(a->Lines.empty());
        EXPECT_EQ(a->FontName, "MS Sans Serif");
        ASSERT_GE(a->Points.size(), 2u);
        const double street = x0 + std::floor((a->Points[0].X - x0) / 160) * 160;
        for (const TXY& p : a->Points) {
            EXPECT_GT(p.X, street);
            EXPECT_LT(p.X, street + 160);
        }
    }
    EXPECT_EQ(figures, (std::set<int>{3, 4, 5, 6, 7}));
    // The square: 40 pixels at 2 m a pixel, 80 m each side.
    for (const auto& a : areas)
        if (a->Figure == FigureSquare) {
            ASSERT_EQ(a->Points.size(), 5u);
            EXPECT_NEAR(std::hypot(a->Points[1].X - a->Points[0].X, a->Points[1].Y - a->Points[0].Y), 80, 1e-6);
            EXPECT_NEAR(std::hypot(a->Points[2].X - a->Points[1].X, a->Points[2].Y - a->Points[1].Y), 80, 1e-6);
        }
    UserTable t;
    LoadUserTable(city / "table.txt", t);
    EXPECT_EQ(t.columns(), 4);
    EXPECT_EQ(t.rows(), 21);
    EXPECT_EQ(cp1251ToUtf8(t.cells[0][0]), "Номер");
    EXPECT_EQ(t.cells[0][20], "20");
    std::filesystem::remove_all(d);
}
