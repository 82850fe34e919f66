// The sample city's districts and the two district commands of dmap.
#include "RunTool.h"
#include "admin/AdminLists.h"
#include "admin/Boundaries.h"
#include "admin/Settlements.h"
#include "cli/SampleCity.h"
#include "mapdata/Cp1251.h"
#include "mapdata/MapFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <unistd.h>
#include <map>

namespace fs = std::filesystem;
using namespace dm;

namespace {
// A sample start folder shared by the tests of this file.
const fs::path& sampleDir() {
    static const fs::path d = [] {
        const fs::path p = fs::temp_directory_path() / ("dm_cli_districts_" + std::to_string(::getpid()));
        fs::remove_all(p);
        sample::writeStartFolder(p, {});
        std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("dm_cli_districts_" + std::to_string(::getpid()))); });
        return p;
    }();
    return d;
}

// Ray casting in map coordinates (X up, Y right), independent of pixels.
bool inside(std::span<const TXY> poly, double x, double y) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const TXY a = poly[j], b = poly[i];
        if ((a.X > x) != (b.X > x) && y < (x - a.X) * (b.Y - a.Y) / (b.X - a.X) + a.Y) in = !in;
    }
    return in;
}
double segmentDistance(const TXY& p, const TXY& a, const TXY& b) {
    const double dx = b.X - a.X, dy = b.Y - a.Y, l2 = dx * dx + dy * dy;
    double t = l2 > 0 ? ((p.X - a.X) * dx + (p.Y - a.Y) * dy) / l2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.X - a.X - t * dx, p.Y - a.Y - t * dy);
}
bool wellInside(std::span<const TXY> poly, const TXY& p, double margin) {
    if (!inside(poly, p.X, p.Y)) return false;
    for (size_t i = 1; i < poly.size(); ++i)
        if (segmentDistance(p, poly[i - 1], poly[i]) < margin) return false;
    return true;
}
double shoelace(std::span<const TXY> v) {
    double s = 0;
    for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) s += v[j].X * v[i].Y - v[i].X * v[j].Y;
    return std::fabs(s) / 2;
}
}  // namespace

TEST(SampleCity, FiveDistrictsTileTheCityWithBoundariesMapsAndSettlements) {
    const fs::path city = sampleDir() / "Darvent";
    const auto regions = ReadPlainList(sampleDir() / "Viloyats.txt");
    ASSERT_GE(regions.size(), 1u);
    EXPECT_EQ(cp1251ToUtf8(regions[0].name), "г.Дарвент");
    EXPECT_EQ(regions[0].file, "Darvent");
    const auto districts = ReadDistrictList(city / "Darvent.ray");
    ASSERT_EQ(districts.size(), 5u);
    const OrientationRecord o = ReadOrientation(city / "Darvent.or");
    double area = 0;
    TObjList frontier;
    ReadBoundaryFile(city / "frontier.tum", frontier);
    ASSERT_EQ(frontier.size(), 5u);
    std::vector<std::vector<TXY>> outlines;
    for (size_t i = 0; i < districts.size(); ++i) {
        const std::string stem = districts[i].file;
        TObjList grn, gtm;
        ReadBoundaryFile(city / (stem + ".grn"), grn);
        ReadBoundaryFile(city / (stem + ".gtm"), gtm);
        ASSERT_EQ(grn.size(), 1u);
        ASSERT_EQ(gtm.size(), 1u);
        EXPECT_EQ(grn[0]->Name, districts[i].name);
        EXPECT_EQ(grn[0]->Kind, 3);
        EXPECT_EQ(gtm[0]->Points, grn[0]->Points);
        EXPECT_EQ(grn[0]->Points.front(), grn[0]->Points.back());  // closed: it is filled
        // "frontier.tum" holds the ".grn" records in list order, pen width 2.
        EXPECT_EQ(frontier[i]->Name, districts[i].name);
        EXPECT_EQ(frontier[i]->Points, grn[0]->Points);
        EXPECT_EQ(frontier[i]->PenWidth, 2);
        area += shoelace(grn[0]->Points);
        outlines.push_back(grn[0]->Points.vec());
        // The district's own map beside it, with the city's orientation.
        EXPECT_EQ(readWholeFile(city / (stem + ".or")), readWholeFile(city / "Darvent.or"));
        TObjList map;
        LoadObjects(city / (stem + ".bin"), map);
        ASSERT_GT(map.size(), 10u);
        EXPECT_EQ(map[0]->Name, districts[i].name);  // its boundary comes first
    }
    // The districts cover the extent exactly.
    EXPECT_NEAR(area, (o.XMax - o.XMin) * (o.YMax - o.YMin), 1e-3 * area);
    // Every vertex of the city well inside the extent lies in exactly one district.
    TObjList all;
    LoadObjects(city / "Darvent.bin", all);
    int checked = 0;
    for (const auto& obj : all)
        for (const TXY& p : obj->Points) {
            int n = 0;
            for (const auto& poly : outlines) n += inside(poly, p.X, p.Y);
            EXPECT_EQ(n, 1) << p.X << " " << p.Y;
            ++checked;
        }
    EXPECT_GT(checked, 1000);
    // Settlements for two districts.
    int withSettlements = 0;
    for (const auto& d : districts) {
        SettlementList s;
        if (LoadSettlements(city / d.file / (d.file + ".nsp"), s)) {
            ++withSettlements;
            EXPECT_GE(s.size(), 3u);
            for (const auto& r : s) EXPECT_TRUE(inside(outlines[size_t(&d - &districts[0])], r->Points[0].X, r->Points[0].Y));
        }
    }
    EXPECT_EQ(withSettlements, 2);
}

TEST(Dmap, DistrictsPrintsOneLinePerDistrict) {
    std::string out, err;
    ASSERT_EQ(runDmap("districts " + (sampleDir() / "Darvent").string(), out, err), 0) << err;
    EXPECT_EQ(out,
              "Северо-Западный|sevzap|5|yes\n"
              "Центральный|centr|7|yes\n"
              "Северо-Восточный|sevvost|5|yes\n"
              "Юго-Западный|yugzap|5|yes\n"
              "Юго-Восточный|yugvost|5|yes\n");
    // A folder whose list names a district without files, and an unsafe stem.
    const fs::path d = fs::temp_directory_path() / ("dm_cli_region_" + std::to_string(::getpid())) / "reg";
    fs::create_directories(d);
    WritePlainList(d / "reg.ray", {{"A", "a"}, {"B", ""}});
    ASSERT_EQ(runDmap("districts " + d.string(), out, err), 0) << err;
    EXPECT_EQ(out, "A|a|0|no\nB||0|no\n");
    // The map is made once its ".or" is there (with or without objects).
    WriteOrientation(d / "a.or", {10, 0, 10, 0, 0, 1, {0, 0, 0}, 0});
    ASSERT_EQ(runDmap("districts " + d.string(), out, err), 0) << err;
    EXPECT_EQ(out, "A|a|0|yes\nB||0|no\n");
    // One unsafe stem refuses its line only; names with "|", a line break
    // and a control character stay one line of fields.
    WritePlainList(d / "reg.ray", {{"A|1", "a"}, {"B", "../b"}, {"C\x01\\", "c"}});
    EXPECT_EQ(runDmap("districts " + d.string() + "/", out, err), 1);
    EXPECT_EQ(err, "Файл " + (d / "reg.ray").string() + ", строка 2: недопустимое имя файла тумана \"../b\"\n");
    EXPECT_EQ(out, "A\\|1|a|0|yes\nC\\x01\\\\|c|0|no\n");
    EXPECT_NE(runDmap("districts", out, err), 0);
    fs::remove_all(d.parent_path());
}

TEST(Dmap, CutKeepsWhatLiesInsideTheBoundary) {
    const fs::path city = sampleDir() / "Darvent";
    const fs::path out = sampleDir() / "cut" / "centr_cut.bin";
    fs::create_directories(out.parent_path());
    std::string text, err;
    ASSERT_EQ(runDmap("cut " + (city / "Darvent.bin").string() + " " + (city / "centr.gtm").string() + " " +
                          out.string(),
                      text, err),
              0)
        << err;
    EXPECT_EQ(readWholeFile(withExtension(out, ".or")), readWholeFile(city / "Darvent.or"));
    TObjList cut, all, bound;
    LoadObjects(out, cut);
    LoadObjects(city / "Darvent.bin", all);
    ReadBoundaryFile(city / "centr.gtm", bound);
    const PointList& poly = bound[0]->Points;
    ASSERT_GT(cut.size(), 10u);
    EXPECT_EQ(cut[0]->Points, poly);
    // The boundary as "Создать карту" reads it: the drawing reader's pen width.
    EXPECT_EQ(cut[0]->PenWidth, 2);
    EXPECT_NE(bound[0]->PenWidth, 2);  // not what the file holds
    // Half a pixel of the cut's view, and the halving's last step (4 pixels).
    const OrientationRecord o = ReadOrientation(city / "Darvent.or");
    const double metresPerPixel = (o.YMax - o.YMin) / (sample::kSampleScreenWidth * 1.447);
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (const TXY& p : poly) {
        minX = std::min(minX, p.X);
        maxX = std::max(maxX, p.X);
        minY = std::min(minY, p.Y);
        maxY = std::max(maxY, p.Y);
    }
    const double tol = 5 * metresPerPixel;
    for (size_t i = 1; i < cut.size(); ++i) {
        EXPECT_TRUE(cut[i]->Code != 3110 && cut[i]->Code != 3130 && cut[i]->Code != 3160);
        for (const TXY& p : cut[i]->Points) {
            EXPECT_TRUE(p.X > minX - tol && p.X < maxX + tol && p.Y > minY - tol && p.Y < maxY + tol) << p.X << " " << p.Y;
            bool nearEdge = false;
            for (size_t k = 1; k < poly.size(); ++k) nearEdge = nearEdge || segmentDistance(p, poly[k - 1], poly[k]) < tol;
            EXPECT_TRUE(inside(poly, p.X, p.Y) || nearEdge) << p.X << " " << p.Y;
        }
    }
    // Every object of the city well inside the district is in the cut
    // unchanged, in the city's order (an area is closed when it was not).
    std::vector<TObj> expected;
    for (const auto& obj : all) {
        if (obj->Code == 3110 || obj->Code == 3130 || obj->Code == 3160) continue;
        bool well = true;
        for (const TXY& p : obj->Points) well = well && wellInside(poly, p, 3 * tol);
        if (!well) continue;
        TObj e = *obj;
        if (e.Kind == 3 && e.Points.size() > 1 && !(e.Points.back() == e.Points.front())) e.Points.push_back(e.Points[0]);
        expected.push_back(std::move(e));
    }
    ASSERT_GT(expected.size(), 50u);
    size_t at = 1;
    for (const TObj& e : expected) {
        while (at < cut.size() && !sameObject(*cut[at], e)) ++at;
        ASSERT_LT(at, cut.size()) << "missing object " << e.Number;
        ++at;
    }
    // Labels: those whose first point lies inside.
    EXPECT_TRUE(fs::exists(withExtension(out, ".nam")));

    EXPECT_EQ(runDmap("cut " + (city / "Darvent.bin").string() + " " + (city / "none.gtm").string() + " " +
                          out.string(),
                      text, err),
              1);
    EXPECT_NE(err.find("none.gtm"), std::string::npos) << err;
    EXPECT_NE(err.find("не существует"), std::string::npos) << err;
    // A folder given as the outline (or as the map) says it is a folder.
    EXPECT_EQ(runDmap("cut " + (city / "Darvent.bin").string() + " " + city.string() + " " + out.string(), text, err),
              1);
    EXPECT_EQ(err, "dmap: " + city.string() + " — это папка, а не файл\n");
    EXPECT_NE(runDmap("cut " + (city / "Darvent.bin").string(), text, err), 0);
}
