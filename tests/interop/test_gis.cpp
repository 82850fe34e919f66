// Export to GeoPackage and GeoJSON read back through GDAL and its ogrinfo,
// import of hand-written GeoJSON, reprojection against the program's own
// geodesy, the round trip, and the errors an operator meets.
#include "cli/SampleCity.h"
#include "interop/GisExchange.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Geometry.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <unistd.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {

constexpr double kPi = std::numbers::pi;

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("dm_gis_" + std::to_string(::getpid()) + "_" + std::to_string(++count_));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path path_;
    static inline int count_ = 0;
};

struct Closer {
    void operator()(GDALDataset* d) const { GDALClose(GDALDataset::ToHandle(d)); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

Dataset openVector(const fs::path& p) {
    return Dataset(GDALDataset::Open(p.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

void writeText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* f = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        ::pclose(f);
    }
    return out;
}

// The sample city with its labels and street register.
struct City {
    MapDoc doc;
    std::vector<NameRef> names;
    std::vector<StreetRef> streets;
    ActiveSemanticList semantics;
    City() {
        sample::buildCity(doc, {.seed = 7}, &names, nullptr, &streets);
        semantics = SemanticsFromLines(sample::semanticLines());
    }
    ExportData data(bool withStreets = true) {
        ExportData d;
        d.orientation = &doc.Orientation;
        d.objects = &doc.ObjList;
        d.semantics = &semantics;
        d.labels = &names;
        d.streets = withStreets ? &streets : nullptr;
        return d;
    }
};

City& city() {
    static City c;
    return c;
}

long countKind(const TObjList& list, uint8_t kind) {
    long n = 0;
    for (const auto& o : list) n += o->Kind == kind;
    return n;
}

}  // namespace

TEST(GisExport, GeoPackageLayersCountsCoordinatesAndSystem) {
    City& c = city();
    TempDir dir;
    const fs::path out = dir / "darvent.gpkg";
    const ExportReport r = ExportMap(out, c.data());
    EXPECT_EQ(dir.files(), std::vector<std::string>{"darvent.gpkg"});

    Dataset ds = openVector(out);
    ASSERT_TRUE(ds);
    std::vector<std::string> names;
    for (OGRLayer* l : ds->GetLayers()) names.push_back(l->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"points", "lines", "areas", "labels", "streets", "houses"}));
    long houses = 0;
    for (const auto& s : c.streets) houses += long(s->Houses.size());
    EXPECT_EQ(ds->GetLayerByName("points")->GetFeatureCount(), countKind(c.doc.ObjList, KindPoint));
    EXPECT_EQ(ds->GetLayerByName("lines")->GetFeatureCount(), countKind(c.doc.ObjList, KindLine));
    EXPECT_EQ(ds->GetLayerByName("areas")->GetFeatureCount(), countKind(c.doc.ObjList, KindArea));
    EXPECT_EQ(ds->GetLayerByName("labels")->GetFeatureCount(), long(c.names.size()));
    EXPECT_EQ(ds->GetLayerByName("streets")->GetFeatureCount(), long(c.streets.size()));
    EXPECT_EQ(ds->GetLayerByName("houses")->GetFeatureCount(), houses);
    EXPECT_GT(houses, 0);
    EXPECT_EQ(r.skipped, 0);

    // The first area of the list: every vertex as east = Y, north = X,
    // and its fields.
    const TObj* area = nullptr;
    for (const auto& o : c.doc.ObjList)
        if (o->Kind == KindArea && o->Code == 1010) {
            area = o.get();
            break;
        }
    ASSERT_NE(area, nullptr);
    OGRLayer* areas = ds->GetLayerByName("areas");
    areas->ResetReading();
    std::unique_ptr<OGRFeature> f;
    while ((f.reset(areas->GetNextFeature()), f) && f->GetFieldAsInteger("code") != 1010) {
    }
    ASSERT_TRUE(f);
    const OGRLinearRing* ring = f->GetGeometryRef()->toPolygon()->getExteriorRing();
    ASSERT_EQ(ring->getNumPoints(), area->PointCount());
    for (int i = 0; i < ring->getNumPoints(); ++i) {
        EXPECT_NEAR(ring->getX(i), area->Points[size_t(i)].Y, 0.001);
        EXPECT_NEAR(ring->getY(i), area->Points[size_t(i)].X, 0.001);
    }
    EXPECT_EQ(f->GetFieldAsInteger("kind"), 3);
    EXPECT_STREQ(f->GetFieldAsString("class"), "Здания...жилые");
    EXPECT_EQ(f->GetFieldAsInteger("pen_color"), area->PenColor);
    EXPECT_EQ(f->GetFieldAsInteger("pen_width"), area->PenWidth);
    EXPECT_EQ(f->GetFieldAsInteger("brush_color"), area->BrushColor);
    EXPECT_EQ(f->GetFieldAsInteger("brush_style"), area->BrushStyle);
    EXPECT_EQ(f->GetFieldAsInteger("pen_style"), area->PenStyle);
    EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("elevation"), area->Elevation);

    // A house: its number, floors and note in UTF-8.
    const Trues* street = nullptr;
    for (const auto& s : c.streets)
        if (!s->Houses.empty()) {
            street = s.get();
            break;
        }
    ASSERT_NE(street, nullptr);
    OGRLayer* hl = ds->GetLayerByName("houses");
    hl->ResetReading();
    f.reset(hl->GetNextFeature());
    ASSERT_TRUE(f);
    const TDom& h = street->Houses[0];
    EXPECT_EQ(f->GetFieldAsInteger("street_no"), street->StreetNo);
    EXPECT_EQ(std::string(f->GetFieldAsString("house")), cp1251ToUtf8(h.Nomer()));
    EXPECT_EQ(f->GetFieldAsInteger("floors"), h.Etage);
    EXPECT_EQ(std::string(f->GetFieldAsString("note")), cp1251ToUtf8(h.DopInf));
    const OGRPoint* hp = f->GetGeometryRef()->toPoint();
    EXPECT_NEAR(hp->getX(), h.Y, 0.001);
    EXPECT_NEAR(hp->getY(), h.X, 0.001);

    // The declared system: a transverse Mercator on the Krasovsky 1940
    // ellipsoid (a = 6378245 m, 1/f = 298.3) around the map's axial
    // meridian, 1.204277184 rad = 69.0000 degrees; the city's Y values
    // (13 499 700 .. 13 575 980 in the bench city, zone 13) carry a false
    // easting of 13 500 000 m.
    const OGRSpatialReference* srs = ds->GetLayerByName("points")->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_TRUE(srs->IsProjected());
    EXPECT_DOUBLE_EQ(srs->GetSemiMajor(), 6378245.0);
    EXPECT_NEAR(srs->GetInvFlattening(), 298.3, 1e-9);
    EXPECT_STREQ(srs->GetAttrValue("PROJECTION"), "Transverse_Mercator");
    EXPECT_NEAR(srs->GetProjParm(SRS_PP_CENTRAL_MERIDIAN), c.doc.Orientation.AxialMeridian * 180 / kPi, 1e-9);
    EXPECT_NEAR(srs->GetProjParm(SRS_PP_CENTRAL_MERIDIAN), 69.0, 1e-4);
    EXPECT_DOUBLE_EQ(srs->GetProjParm(SRS_PP_FALSE_EASTING), 13500000.0);
    EXPECT_DOUBLE_EQ(srs->GetProjParm(SRS_PP_SCALE_FACTOR), 1.0);

    // GDAL's own command-line reader sees the same.
    const std::string info = run("ogrinfo -so -al " + out.string());
    EXPECT_NE(info.find("Layer name: houses"), std::string::npos) << info;
    EXPECT_NE(info.find("Feature Count: " + std::to_string(countKind(c.doc.ObjList, KindArea))), std::string::npos);
    EXPECT_NE(info.find("Krassowsky 1940"), std::string::npos);
}

TEST(GisExport, GeoJsonHoldsEveryLayerAndDeclaresTheSystem) {
    City& c = city();
    TempDir dir;
    const fs::path out = dir / "darvent.geojson";
    ExportMap(out, c.data(false));
    EXPECT_EQ(dir.files(), std::vector<std::string>{"darvent.geojson"});
    Dataset ds = openVector(out);
    ASSERT_TRUE(ds);
    ASSERT_EQ(ds->GetLayerCount(), 1);
    OGRLayer* l = ds->GetLayer(0);
    EXPECT_EQ(l->GetFeatureCount(), long(c.doc.ObjList.size() + c.names.size()));
    const OGRSpatialReference* srs = l->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_DOUBLE_EQ(srs->GetSemiMajor(), 6378245.0);
    EXPECT_DOUBLE_EQ(srs->GetProjParm(SRS_PP_FALSE_EASTING), 13500000.0);
    // The first label: its text and position.
    const TNaz& n = *c.names[0];
    std::unique_ptr<OGRFeature> f;
    l->ResetReading();
    while ((f.reset(l->GetNextFeature()), f) && std::string(f->GetFieldAsString("layer")) != "labels") {
    }
    ASSERT_TRUE(f);
    EXPECT_EQ(std::string(f->GetFieldAsString("text")), cp1251ToUtf8(NameDisplayText(n)));
    EXPECT_NEAR(f->GetGeometryRef()->toPoint()->getX(), n.Y1, 0.001);
    EXPECT_NEAR(f->GetGeometryRef()->toPoint()->getY(), n.X1, 0.001);
}

TEST(GisExport, LabelAngleFollowsTheBaseline) {
    // Baselines from (X 100, Y 100): east 0, north 90, west 0 (read left
    // to right as on the screen), south-east -45.
    MapDoc doc;
    doc.Orientation.XMin = 0;
    doc.Orientation.XMax = 1000;
    doc.Orientation.YMin = 0;
    doc.Orientation.YMax = 1000;
    std::vector<NameRef> labels;
    for (auto [x2, y2] : std::vector<std::pair<double, double>>{{100, 200}, {300, 100}, {100, 0}, {0, 200}}) {
        auto n = std::make_shared<TNaz>();
        n->OldName = "a";
        n->X1 = 100;
        n->Y1 = 100;
        n->X2 = x2;
        n->Y2 = y2;
        labels.push_back(n);
    }
    TempDir dir;
    ExportData d;
    d.orientation = &doc.Orientation;
    d.objects = &doc.ObjList;
    d.labels = &labels;
    ExportMap(dir / "l.gpkg", d);
    Dataset ds = openVector(dir / "l.gpkg");
    ASSERT_TRUE(ds);
    OGRLayer* l = ds->GetLayerByName("labels");
    std::vector<double> angles;
    for (auto& f : *l) angles.push_back(f->GetFieldAsDouble("angle"));
    ASSERT_EQ(angles.size(), 4u);
    EXPECT_NEAR(angles[0], 0, 1e-9);
    EXPECT_NEAR(angles[1], 90, 1e-9);
    EXPECT_NEAR(angles[2], 0, 1e-9);
    EXPECT_NEAR(angles[3], -45, 1e-9);
}

TEST(GisExport, ObjectsAGisLayerCannotHoldAreCountedNotWritten) {
    // A good point; a point at NaN; an object of kind 7; a line of one
    // vertex; an area of two; a line with an infinite vertex; an object
    // without vertices (never saved either): 1 written, 5 counted.
    MapDoc doc;
    doc.Orientation.XMax = doc.Orientation.YMax = 1000;
    auto add = [&](uint8_t kind, std::vector<TXY> pts) {
        auto o = std::make_unique<TObj>();
        o->Kind = kind;
        o->Code = 1;
        o->Points = std::move(pts);
        doc.ObjList.append(std::move(o));
    };
    add(KindPoint, {{10, 20}});
    add(KindPoint, {{std::nan(""), 20}});
    add(7, {{10, 20}, {30, 40}});
    add(KindLine, {{10, 20}});
    add(KindArea, {{10, 20}, {30, 40}});
    add(KindLine, {{10, 20}, {INFINITY, 40}});
    add(KindLine, {});
    // A coordinate no file can hold: not written, named in the report.
    add(KindLine, {{10, 20}, {1e308, 40}});
    doc.ObjList.last()->Code = 3060;
    TempDir dir;
    ExportData d;
    d.orientation = &doc.Orientation;
    d.objects = &doc.ObjList;
    for (const char* name : {"bad.gpkg", "bad.geojson"}) {
        const ExportReport r = ExportMap(dir / name, d);
        EXPECT_EQ(r.skipped, 5) << name;
        EXPECT_EQ(r.outOfRange, 1) << name;
        EXPECT_EQ(r.layers, (std::vector<std::pair<std::string, long>>{{"points", 1}, {"lines", 0}, {"areas", 0}}));
        EXPECT_EQ(r.summary(), "Выгружено: точек: 1, линий: 0, площадей: 0. Не выгружено объектов (мало точек, "
                               "неизвестный вид или координаты не числа): 5. Не выгружено (координаты вне пределов "
                               "файла или системы): 1 — объект 7 (код 3060). Система координат: " + r.crs + ".");
        Dataset ds = openVector(dir / name);
        ASSERT_TRUE(ds) << name;
        long features = 0;
        for (OGRLayer* l : ds->GetLayers())
            for (auto& f : *l) {
                ++features;
                EXPECT_NE(f->GetGeometryRef(), nullptr) << name;  // no feature without its geometry
            }
        EXPECT_EQ(features, 1) << name;
    }
}

TEST(GisExport, APointOfSeveralPlacementsIsAMultiPointAndComesBackWhole) {
    MapDoc doc;
    doc.Orientation.XMax = doc.Orientation.YMax = 1000;
    auto add = [&](std::vector<TXY> pts) {
        auto o = std::make_unique<TObj>();
        o->Kind = KindPoint;
        o->Code = 2402;
        o->Points = std::move(pts);
        doc.ObjList.append(std::move(o));
    };
    add({{10, 20}});
    add({{100, 200}, {110, 210}, {120, 230}});
    add({{300, 400}, {300, 400}});  // two placements at one spot
    TempDir dir;
    ExportData d;
    d.orientation = &doc.Orientation;
    d.objects = &doc.ObjList;
    for (const char* name : {"m.gpkg", "m.geojson"}) {
        const ExportReport r = ExportMap(dir / name, d);
        EXPECT_EQ(r.multiPoints, 2) << name;
        EXPECT_NE(r.summary().find("Точечных объектов из нескольких точек (мультиточки): 2."), std::string::npos);
        // Read with GDAL: every placement, east then north.
        Dataset ds = openVector(dir / name);
        ASSERT_TRUE(ds) << name;
        OGRLayer* l = ds->GetLayer(0);
        const bool gpkg = std::string(name).ends_with(".gpkg");
        if (gpkg) {
            EXPECT_EQ(wkbFlatten(l->GetGeomType()), wkbMultiPoint);  // one kind of geometry a layer
        }
        std::vector<std::vector<std::pair<double, double>>> got;
        for (auto& f : *l) {
            const OGRGeometry* g = f->GetGeometryRef();
            ASSERT_NE(g, nullptr);
            std::vector<std::pair<double, double>> pts;
            if (wkbFlatten(g->getGeometryType()) == wkbPoint) {
                pts.emplace_back(g->toPoint()->getX(), g->toPoint()->getY());
            } else {
                ASSERT_EQ(wkbFlatten(g->getGeometryType()), wkbMultiPoint);
                for (const OGRPoint* p : *g->toMultiPoint()) pts.emplace_back(p->getX(), p->getY());
            }
            got.push_back(pts);
        }
        EXPECT_EQ(got, (std::vector<std::vector<std::pair<double, double>>>{
                           {{20, 10}}, {{200, 100}, {210, 110}, {230, 120}}, {{400, 300}, {400, 300}}}))
            << name;
        // Imported back: one point object each, with all its placements.
        ImportOptions opt;
        opt.codeField = "code";
        ImportResult back = ImportFeatures(dir / name, doc.Orientation, opt);
        ASSERT_EQ(back.objects.size(), 3u) << name;
        EXPECT_EQ(back.points, 3);
        EXPECT_EQ(back.multiPoints, 2);
        EXPECT_EQ(back.parts, 0);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(back.objects[i]->Kind, KindPoint);
            EXPECT_EQ(back.objects[i]->Points.vec(), doc.ObjList[i]->Points.vec()) << name << " " << i;
        }
        EXPECT_NE(back.summary().find("Точечных объектов из нескольких точек (мультиточки): 2."), std::string::npos);
    }
}

TEST(GisExport, AGeographicMapInDegrees) {
    MapDoc doc;
    doc.Orientation.CoordKind = 2;
    doc.Orientation.AxialMeridian = 69 * kPi / 180;
    doc.Orientation.XMin = 41 * kPi / 180;
    doc.Orientation.XMax = 42 * kPi / 180;
    doc.Orientation.YMin = 69 * kPi / 180;
    doc.Orientation.YMax = 70 * kPi / 180;
    auto p = std::make_unique<TObj>();
    p->Kind = KindPoint;
    p->Code = 12;
    p->Points = {{41.3 * kPi / 180, 69.25 * kPi / 180}};
    doc.ObjList.append(std::move(p));
    TempDir dir;
    ExportData d;
    d.orientation = &doc.Orientation;
    d.objects = &doc.ObjList;
    ExportMap(dir / "g.gpkg", d);
    Dataset ds = openVector(dir / "g.gpkg");
    ASSERT_TRUE(ds);
    OGRLayer* l = ds->GetLayerByName("points");
    const OGRSpatialReference* srs = l->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_TRUE(srs->IsGeographic());
    EXPECT_STREQ(srs->GetAuthorityCode(nullptr), "4284");
    EXPECT_DOUBLE_EQ(srs->GetSemiMajor(), 6378245.0);
    std::unique_ptr<OGRFeature> f(l->GetNextFeature());
    ASSERT_TRUE(f);
    // Longitude first, in degrees.
    EXPECT_NEAR(f->GetGeometryRef()->toPoint()->getX(), 69.25, 1e-11);
    EXPECT_NEAR(f->GetGeometryRef()->toPoint()->getY(), 41.3, 1e-11);
}

TEST(GisExport, AnotherSystemDeclaredOnRequest) {
    City& c = city();
    TempDir dir;
    const ExportReport r = ExportMap(dir / "o.gpkg", c.data(false), ExportCrs{"EPSG:28413", false});
    Dataset ds = openVector(dir / "o.gpkg");
    ASSERT_TRUE(ds);
    const OGRSpatialReference* srs = ds->GetLayerByName("areas")->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    EXPECT_STREQ(srs->GetAuthorityCode(nullptr), "28413");
    EXPECT_NE(r.crs.find("Gauss-Kruger zone 13"), std::string::npos) << r.crs;
    // Only declared: the coordinates as they are.
    std::unique_ptr<OGRFeature> f(ds->GetLayerByName("points")->GetNextFeature());
    const TObj* first = nullptr;
    for (const auto& o : c.doc.ObjList)
        if (o->Kind == KindPoint) {
            first = o.get();
            break;
        }
    ASSERT_TRUE(f && first);
    EXPECT_EQ(f->GetGeometryRef()->toPoint()->getX(), first->Points[0].Y);
    EXPECT_EQ(f->GetGeometryRef()->toPoint()->getY(), first->Points[0].X);
}

TEST(GisExport, AnotherSystemTransformsAsGdalsOwnToolsDoAndComesBack) {
    // The city through three systems: the exported coordinates equal those
    // of GDAL's ogr2ogr transforming the file written in the map's own
    // system, and imported back every vertex lands within 1 mm.
    City& c = city();
    TempDir dir;
    ExportMap(dir / "own.gpkg", c.data(false));
    for (const char* epsg : {"EPSG:4326", "EPSG:3857", "EPSG:28412"}) {
        SCOPED_TRACE(epsg);
        const fs::path mine = dir / "mine.gpkg", theirs = dir / "theirs.gpkg";
        fs::remove(mine);
        fs::remove(theirs);
        const ExportReport r = ExportMap(mine, c.data(false), ExportCrs{epsg, true});
        EXPECT_EQ(r.outOfRange, 0);
        run("ogr2ogr -t_srs " + std::string(epsg) + " " + theirs.string() + " " + (dir / "own.gpkg").string());
        Dataset a = openVector(mine), b = openVector(theirs);
        ASSERT_TRUE(a && b);
        const bool degrees = std::string(epsg) == "EPSG:4326";
        for (const char* layer : {"points", "lines", "areas"}) {
            OGRLayer* la = a->GetLayerByName(layer);
            OGRLayer* lb = b->GetLayerByName(layer);
            ASSERT_TRUE(la && lb) << layer;
            ASSERT_EQ(la->GetFeatureCount(), lb->GetFeatureCount()) << layer;
            double worst = 0;
            for (auto& fa : *la) {
                std::unique_ptr<OGRFeature> fb(lb->GetNextFeature());
                ASSERT_TRUE(fb);
                OGRPoint pa, pb;
                const OGRGeometry* ga = fa->GetGeometryRef();
                const OGRGeometry* gb = fb->GetGeometryRef();
                ASSERT_TRUE(ga && gb);
                OGREnvelope ea, eb;
                ga->getEnvelope(&ea);
                gb->getEnvelope(&eb);
                worst = std::max({worst, std::fabs(ea.MinX - eb.MinX), std::fabs(ea.MaxY - eb.MaxY)});
            }
            EXPECT_LT(worst, degrees ? 1e-9 : 1e-4) << layer;
        }
        ImportOptions opt;
        opt.codeField = "code";
        ImportResult back = ImportFeatures(mine, c.doc.Orientation, opt);
        std::vector<const TObj*> expected;
        for (uint8_t kind : {KindPoint, KindLine, KindArea})
            for (const auto& o : c.doc.ObjList)
                if (o->Kind == kind) expected.push_back(o.get());
        ASSERT_EQ(back.objects.size(), expected.size());
        double worst = 0;
        for (size_t i = 0; i < expected.size(); ++i)
            for (size_t k = 0; k < expected[i]->Points.size(); ++k)
                worst = std::max({worst, std::fabs(back.objects[i]->Points[k].X - expected[i]->Points[k].X),
                                  std::fabs(back.objects[i]->Points[k].Y - expected[i]->Points[k].Y)});
        EXPECT_LT(worst, 0.001);
    }
}

TEST(GisImport, LayersThatDeclareNoSystemTakeTheOneGiven) {
    // A point of the map put into Web Mercator by GDAL itself, written in a
    // GeoJSON file without a "crs" member: with --crs EPSG:3857 it lands
    // on the map point within 1 mm.
    City& c = city();
    OGRSpatialReference mapSrs, merc;
    mapSrs.SetFromUserInput(MapCrsOf(c.doc.Orientation).definition.c_str());
    merc.importFromEPSG(3857);
    mapSrs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    merc.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> t(OGRCreateCoordinateTransformation(&mapSrs, &merc));
    ASSERT_TRUE(t);
    const TXY p = c.doc.ObjList[0]->Points[0];
    double e = p.Y, n = p.X;
    ASSERT_TRUE(t->Transform(1, &e, &n));
    TempDir dir;
    char text[512];
    std::snprintf(text, sizeof text,
                  R"({ "type": "FeatureCollection", "features": [ { "type": "Feature", "properties": { "code": 5 },
"geometry": { "type": "Point", "coordinates": [ %.9f, %.9f ] } } ] })",
                  e, n);
    writeText(dir / "merc.geojson", text);
    ImportOptions opt;
    opt.code = 5;
    opt.crs = "EPSG:3857";
    ImportResult r = ImportFeatures(dir / "merc.geojson", c.doc.Orientation, opt);
    ASSERT_EQ(r.objects.size(), 1u);
    EXPECT_NEAR(r.objects[0]->Points[0].X, p.X, 0.001);
    EXPECT_NEAR(r.objects[0]->Points[0].Y, p.Y, 0.001);
    EXPECT_TRUE(r.takenAsMapCoordinates.empty());
    // Without it the values are the map's own.
    opt.crs.clear();
    r = ImportFeatures(dir / "merc.geojson", c.doc.Orientation, opt);
    ASSERT_EQ(r.objects.size(), 1u);
    EXPECT_NEAR(r.objects[0]->Points[0].X, n, 1e-6);
    EXPECT_EQ(r.takenAsMapCoordinates.size(), 1u);
}

TEST(GisExport, ErrorsLeaveNoFileBehind) {
    City& c = city();
    TempDir dir;
    // An unknown extension.
    try {
        ExportMap(dir / "city.shp", c.data());
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(".gpkg"), std::string::npos);
    }
    // A system GDAL does not know: the old file stays as it was.
    writeText(dir / "old.gpkg", "old content");
    try {
        ExportMap(dir / "old.gpkg", c.data(), ExportCrs{"no such system", true});
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("no such system"), std::string::npos);
    }
    EXPECT_EQ(readWholeFile(dir / "old.gpkg"), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
    // A folder that cannot be written.
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((dir / "ro").c_str(), W_OK) != 0) {
        EXPECT_THROW(ExportMap(dir / "ro" / "city.gpkg", c.data()), FileError);
        EXPECT_TRUE(fs::is_empty(dir / "ro"));
        EXPECT_THROW(ExportMap(dir / "ro" / "city.geojson", c.data()), FileError);
        EXPECT_TRUE(fs::is_empty(dir / "ro"));
    }
    fs::permissions(dir / "ro", fs::perms::owner_all);
    // A failure after the data were written (the GeoJSON file's second
    // temporary name is taken by a folder): the first temporary file goes too.
    const std::string pid = std::to_string(::getpid());
    fs::create_directories(dir / ("late.~" + pid + ".geojson.crs") / "x");
    EXPECT_THROW(ExportMap(dir / "late.geojson", c.data()), FileError);
    EXPECT_FALSE(fs::exists(dir / ("late.~" + pid + ".geojson")));
    EXPECT_FALSE(fs::exists(dir / "late.geojson"));
    fs::remove_all(dir / ("late.~" + pid + ".geojson.crs"));
    // A missing folder.
    EXPECT_THROW(ExportMap(dir / "none" / "city.gpkg", c.data()), FileError);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"old.gpkg", "ro"}));
}

namespace {

const char* kFeatures = R"({
"type": "FeatureCollection",
"features": [
{ "type": "Feature", "properties": { "kod": 2402, "title": "Дуб" },
  "geometry": { "type": "Point", "coordinates": [ 300.5, 1000.25 ] } },
{ "type": "Feature", "properties": { "kod": 930, "title": "Арык" },
  "geometry": { "type": "LineString", "coordinates": [ [ 10, 20 ], [ 30, 40 ], [ 50, 45 ] ] } },
{ "type": "Feature", "properties": { "kod": "1010", "title": null },
  "geometry": { "type": "Polygon", "coordinates": [ [ [ 0, 0 ], [ 100, 0 ], [ 100, 50 ], [ 0, 0 ] ],
                                                   [ [ 60, 10 ], [ 90, 10 ], [ 90, 20 ], [ 60, 10 ] ] ] } },
{ "type": "Feature", "properties": { "kod": 5010, "title": "Парк" },
  "geometry": { "type": "MultiPolygon", "coordinates": [
      [ [ [ 200, 200 ], [ 210, 200 ], [ 210, 220 ], [ 200, 200 ] ] ],
      [ [ [ 300, 300 ], [ 330, 300 ], [ 330, 310 ], [ 300, 300 ] ] ] ] } },
{ "type": "Feature", "properties": { "kod": 12, "title": "без места" }, "geometry": null },
{ "type": "Feature", "properties": { "kod": null, "title": "без кода" },
  "geometry": { "type": "Point", "coordinates": [ 1, 2 ] } }
] })";

OrientationRecord planeMap() {
    OrientationRecord o;
    o.XMin = 0;
    o.XMax = 2000;
    o.YMin = 0;
    o.YMax = 2000;
    return o;
}

}  // namespace

TEST(GisImport, PointsLinesPolygonsAndPartsBecomeObjects) {
    TempDir dir;
    writeText(dir / "in.geojson", kFeatures);
    ImportOptions opt;
    opt.codeField = "kod";
    opt.nameField = "title";
    const ActiveSemanticList sem = SemanticsFromLines(sample::semanticLines());
    ImportResult r = ImportFeatures(dir / "in.geojson", planeMap(), opt, &sem);
    EXPECT_EQ(r.features, 6);
    EXPECT_EQ(r.noGeometry, 1);
    EXPECT_EQ(r.noCode, 1);
    EXPECT_EQ(r.holes, 1);
    EXPECT_EQ(r.parts, 2);
    ASSERT_EQ(r.objects.size(), 5u);
    EXPECT_EQ(r.points, 1);
    EXPECT_EQ(r.lines, 1);
    EXPECT_EQ(r.areas, 3);
    auto pts = [](const TObj& o) {
        std::vector<std::pair<double, double>> v;
        for (const TXY& p : o.Points) v.emplace_back(p.X, p.Y);
        return v;
    };
    using P = std::vector<std::pair<double, double>>;
    const TObj& tree = *r.objects[0];
    EXPECT_EQ(tree.Kind, KindPoint);
    EXPECT_EQ(tree.Code, 2402);
    EXPECT_EQ(tree.Name.str(), utf8ToCp1251("Дуб"));
    EXPECT_EQ(pts(tree), (P{{1000.25, 300.5}}));
    const TObj& ditch = *r.objects[1];
    EXPECT_EQ(ditch.Kind, KindLine);
    EXPECT_EQ(ditch.Code, 930);
    EXPECT_EQ(pts(ditch), (P{{20, 10}, {40, 30}, {45, 50}}));
    const TObj& house = *r.objects[2];
    EXPECT_EQ(house.Kind, KindArea);
    EXPECT_EQ(house.Code, 1010);  // given as text "1010"
    EXPECT_TRUE(house.Name.str().empty());
    EXPECT_EQ(pts(house), (P{{0, 0}, {0, 100}, {50, 100}, {0, 0}}));
    // The house takes the style of its semantic line.
    const auto sk = std::find_if(sample::sampleKinds().begin(), sample::sampleKinds().end(),
                                 [](const sample::SampleKind& k) { return k.code == 1010; });
    ASSERT_NE(sk, sample::sampleKinds().end());
    EXPECT_EQ(house.PenColor, sk->penColor);
    EXPECT_EQ(house.PenWidth, sk->penWidth);
    EXPECT_EQ(house.BrushColor, sk->brushColor);
    EXPECT_EQ(house.PenStyle, PenStyleFromDigit(sk->penDigit));
    EXPECT_EQ(house.BrushStyle, BrushStyleFromDigit(sk->brushDigit));
    EXPECT_EQ(pts(*r.objects[3]), (P{{200, 200}, {200, 210}, {220, 210}, {200, 200}}));
    EXPECT_EQ(pts(*r.objects[4]), (P{{300, 300}, {300, 330}, {310, 330}, {300, 300}}));
    EXPECT_EQ(r.objects[3]->Code, 5010);
    EXPECT_EQ(r.objects[4]->Name.str(), utf8ToCp1251("Парк"));
    // Nothing dropped without a word.
    const std::string s = r.summary();
    EXPECT_NE(s.find("Без кода (не добавлены): 1"), std::string::npos) << s;
    EXPECT_NE(s.find("геометрии (не добавлены): 1"), std::string::npos) << s;
    // A GeoJSON file without a "crs" member counts as degrees; these
    // values cannot be, so they are the map's own.
    EXPECT_EQ(r.takenAsMapCoordinates.size(), 1u);
    EXPECT_NE(s.find("не похожи на градусы"), std::string::npos) << s;

    // A ring left open in the file is stored closed.
    writeText(dir / "open.geojson", R"({ "type": "FeatureCollection", "features": [
{ "type": "Feature", "properties": { "kod": 1010 },
  "geometry": { "type": "Polygon", "coordinates": [ [ [ 200, 200 ], [ 260, 200 ], [ 260, 250 ] ] ] } } ] })");
    ImportOptions codeOnly;
    codeOnly.codeField = "kod";
    ImportResult open = ImportFeatures(dir / "open.geojson", planeMap(), codeOnly);
    ASSERT_EQ(open.objects.size(), 1u);
    EXPECT_EQ(pts(*open.objects[0]), (P{{200, 200}, {200, 260}, {250, 260}, {200, 200}}));

    // A fixed code for every feature: the one without a code comes too.
    ImportOptions fixed;
    fixed.code = 4010;
    ImportResult f = ImportFeatures(dir / "in.geojson", planeMap(), fixed);
    EXPECT_EQ(f.objects.size(), 6u);
    for (const auto& o : f.objects) EXPECT_EQ(o->Code, 4010);
}

TEST(GisImport, AnotherSystemIsReprojectedIntoTheMaps) {
    // Points given in Pulkovo 1942 degrees land where the program's own
    // Gauss-Krüger formulae put them on the map's transverse Mercator
    // (central meridian 69, false easting 13 500 000 m).
    TempDir dir;
    writeText(dir / "deg.geojson", R"({ "type": "FeatureCollection",
"crs": { "type": "name", "properties": { "name": "urn:ogc:def:crs:EPSG::4284" } },
"features": [
{ "type": "Feature", "properties": { "code": 1 }, "geometry": { "type": "Point", "coordinates": [ 69.25, 41.3 ] } },
{ "type": "Feature", "properties": { "code": 1 }, "geometry": { "type": "Point", "coordinates": [ 68.1, 40.05 ] } }
] })");
    OrientationRecord o = planeMap();
    o.AxialMeridian = 69 * kPi / 180;
    o.YMin = 13490000;
    o.YMax = 13560000;
    o.XMin = 4400000;
    o.XMax = 4600000;
    ImportOptions opt;
    opt.codeField = "code";
    ImportResult r = ImportFeatures(dir / "deg.geojson", o, opt);
    ASSERT_EQ(r.objects.size(), 2u);
    const std::pair<double, double> deg[] = {{41.3, 69.25}, {40.05, 68.1}};
    for (int i = 0; i < 2; ++i) {
        double x = 0, y = 0;
        PlaneFromGeographic(deg[i].first * kPi / 180, deg[i].second * kPi / 180, 69 * kPi / 180, x, y);
        EXPECT_NEAR(r.objects[size_t(i)]->Points[0].X, x, 0.01) << i;
        EXPECT_NEAR(r.objects[size_t(i)]->Points[0].Y, 13500000 + y, 0.01) << i;
    }
}

TEST(GisImport, ClearErrors) {
    TempDir dir;
    ImportOptions opt;
    opt.codeField = "kod";
    // Not a file GDAL reads.
    writeText(dir / "junk.geojson", "this is not a map");
    try {
        ImportFeatures(dir / "junk.geojson", planeMap(), opt);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("junk.geojson"), std::string::npos) << e.what();
        // GDAL's own reason, not a reason left out.
        EXPECT_NE(std::string(e.what()).find("not recognized as"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ImportFeatures(dir / "missing.gpkg", planeMap(), opt), FileError);
    // The code attribute missing from the file.
    writeText(dir / "in.geojson", kFeatures);
    opt.codeField = "code";
    try {
        ImportFeatures(dir / "in.geojson", planeMap(), opt);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("нет поля кода code"), std::string::npos) << e.what();
    }
    // A code that is not a whole number.
    writeText(dir / "bad.geojson", R"({ "type": "FeatureCollection", "features": [
{ "type": "Feature", "properties": { "kod": "дом" }, "geometry": { "type": "Point", "coordinates": [ 1, 2 ] } } ] })");
    opt.codeField = "kod";
    try {
        ImportFeatures(dir / "bad.geojson", planeMap(), opt);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("не целое число"), std::string::npos) << e.what();
    }
    writeText(dir / "real.geojson", R"({ "type": "FeatureCollection", "features": [
{ "type": "Feature", "properties": { "kod": 12.5 }, "geometry": { "type": "Point", "coordinates": [ 1, 2 ] } } ] })");
    EXPECT_THROW(ImportFeatures(dir / "real.geojson", planeMap(), opt), FileError);
}

TEST(GisRoundTrip, ExportThenImportKeepsEveryCodeAndVertex) {
    City& c = city();
    TempDir dir;
    for (const char* name : {"rt.gpkg", "rt.geojson"}) {
        ExportMap(dir / name, c.data());
        ImportOptions opt;
        opt.codeField = "code";
        opt.nameField = "name";
        ImportResult r = ImportFeatures(dir / name, c.doc.Orientation, opt);
        // The layers come by kind: points, lines, areas, each in list order.
        std::vector<const TObj*> expected;
        for (uint8_t kind : {KindPoint, KindLine, KindArea})
            for (const auto& o : c.doc.ObjList)
                if (o->Kind == kind) expected.push_back(o.get());
        ASSERT_EQ(r.objects.size(), expected.size()) << name;
        long differing = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            const TObj& a = *expected[i];
            const TObj& b = *r.objects[i];
            std::vector<TXY> points = a.Points.vec();
            // An area stored open comes back closed.
            if (a.Kind == KindArea && (a.Points.front().X != a.Points.back().X || a.Points.front().Y != a.Points.back().Y))
                points.push_back(a.Points.front());
            bool same = b.Kind == a.Kind && b.Code == a.Code && b.Points.size() == points.size() &&
                        b.Name.view() == a.Name.view() && b.Elevation == a.Elevation && b.Number == a.Number &&
                        b.Shape == a.Shape && b.PenColor == a.PenColor && b.PenWidth == a.PenWidth &&
                        b.PenStyle == a.PenStyle && b.BrushColor == a.BrushColor && b.BrushStyle == a.BrushStyle;
            for (size_t k = 0; same && k < points.size(); ++k)
                same = std::abs(b.Points[k].X - points[k].X) < 1e-6 && std::abs(b.Points[k].Y - points[k].Y) < 1e-6;
            differing += !same;
        }
        EXPECT_EQ(differing, 0) << name;
    }
}

TEST(GisRoundTrip, RandomMapsKeepEveryVertexOfEveryObject) {
    // Objects of every kind with 1 to 6 vertices (point objects of several
    // placements among them), on a plane map: each file holds every vertex
    // (GDAL counts them), and they come back as they were.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> x(4500000, 4510000), y(13500000, 13510000);
    for (int round = 0; round < 3; ++round) {
        MapDoc doc;
        doc.Orientation.XMin = 4500000;
        doc.Orientation.XMax = 4510000;
        doc.Orientation.YMin = 13500000;
        doc.Orientation.YMax = 13510000;
        long vertices = 0;
        for (int i = 0; i < 300; ++i) {
            auto o = std::make_unique<TObj>();
            o->Kind = uint8_t(1 + rng() % 3);
            o->Code = int32_t(rng() % 5000);
            const int n = o->Kind == KindPoint ? 1 + int(rng() % 4) : (o->Kind == KindLine ? 2 : 3) + int(rng() % 4);
            for (int k = 0; k < n; ++k) o->Points.push_back({x(rng), y(rng)});
            if (o->Kind == KindArea) o->Points.push_back(o->Points[0]);
            vertices += long(o->Points.size()) - (o->Kind == KindArea ? 1 : 0);  // a file's ring closes itself
            doc.ObjList.append(std::move(o));
        }
        TempDir dir;
        ExportData d;
        d.orientation = &doc.Orientation;
        d.objects = &doc.ObjList;
        for (const char* name : {"r.gpkg", "r.geojson"}) {
            SCOPED_TRACE(name);
            ExportMap(dir / name, d);
            Dataset ds = openVector(dir / name);
            ASSERT_TRUE(ds);
            long inFile = 0;
            for (OGRLayer* l : ds->GetLayers())
                for (auto& f : *l) {
                    const OGRGeometry* g = f->GetGeometryRef();
                    ASSERT_NE(g, nullptr);
                    switch (wkbFlatten(g->getGeometryType())) {
                        case wkbPoint: inFile += 1; break;
                        case wkbMultiPoint: inFile += g->toMultiPoint()->getNumGeometries(); break;
                        case wkbLineString: inFile += g->toLineString()->getNumPoints(); break;
                        case wkbPolygon: inFile += g->toPolygon()->getExteriorRing()->getNumPoints() - 1; break;
                        default: ADD_FAILURE() << g->getGeometryName();
                    }
                }
            EXPECT_EQ(inFile, vertices);
            ImportOptions opt;
            opt.codeField = "code";
            const ImportResult back = ImportFeatures(dir / name, doc.Orientation, opt);
            std::vector<const TObj*> expected;
            for (uint8_t kind : {KindPoint, KindLine, KindArea})
                for (const auto& o : doc.ObjList)
                    if (o->Kind == kind) expected.push_back(o.get());
            ASSERT_EQ(back.objects.size(), expected.size());
            for (size_t i = 0; i < expected.size(); ++i) {
                ASSERT_EQ(back.objects[i]->Points.size(), expected[i]->Points.size()) << i;
                for (size_t k = 0; k < expected[i]->Points.size(); ++k) {
                    EXPECT_NEAR(back.objects[i]->Points[k].X, expected[i]->Points[k].X, 1e-6);
                    EXPECT_NEAR(back.objects[i]->Points[k].Y, expected[i]->Points[k].Y, 1e-6);
                }
            }
        }
    }
}
