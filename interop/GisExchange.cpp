#include "GisExchange.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <numbers>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dm {

namespace {

constexpr double kDeg = 180 / std::numbers::pi;

void registerDrivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        // Messages are the caller's: GDAL's own go to its last-error slot,
        // not to the terminal.
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

std::string gdalMessage() {
    const char* m = CPLGetLastErrorMsg();
    return m && *m ? std::string(m) : std::string("причина не указана");
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

struct DatasetCloser {
    void operator()(GDALDataset* d) const { GDALClose(GDALDataset::ToHandle(d)); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

// Removes a file GDAL wrote and the companions SQLite may leave beside it.
void removeWritten(const fs::path& p) {
    std::error_code ec;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(fs::path(p.string() + suffix), ec);
}

void configureSrs(OGRSpatialReference& srs) { srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER); }

struct TransformCloser {
    void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};
using TransformPtr = std::unique_ptr<OGRCoordinateTransformation, TransformCloser>;

// Far beyond any coordinate on the Earth in metres or degrees; a larger one
// comes from a damaged map and would overflow the file's extent fields.
constexpr double kCoordinateLimit = 1e15;

// The Russian name of a layer for the reports.
std::string layerWord(const std::string& layer) {
    static const std::map<std::string, std::string> words = {{"points", "точек"},   {"lines", "линий"},
                                                             {"areas", "площадей"}, {"labels", "названий"},
                                                             {"streets", "улиц"},   {"houses", "домов"}};
    const auto it = words.find(layer);
    return it == words.end() ? layer : it->second;
}

// --- export -------------------------------------------------------------

struct FieldSpec {
    const char* name;
    OGRFieldType type;
};

OGRLayer* makeLayer(GDALDataset& ds, const std::string& name, OGRwkbGeometryType type,
                    OGRSpatialReference* srs, const std::vector<FieldSpec>& fields, const fs::path& out) {
    OGRLayer* layer = ds.CreateLayer(name.c_str(), srs, type, nullptr);
    if (!layer) throw FileError("Не удалось создать слой " + name + " в " + pathText(out) + ": " + gdalMessage());
    for (const FieldSpec& f : fields) {
        OGRFieldDefn defn(f.name, f.type);
        if (layer->CreateField(&defn) != OGRERR_NONE)
            throw FileError("Не удалось создать поле " + std::string(f.name) + " в " + pathText(out) + ": " +
                            gdalMessage());
    }
    return layer;
}

class Writer {
public:
    Writer(GDALDataset& ds, const fs::path& out, OGRSpatialReference* srs, bool single)
        : ds_(ds), out_(out), srs_(srs), single_(single) {}

    // The layer of a name: its own in a GeoPackage, the one collection of a
    // GeoJSON file (with the layer's name in "layer").
    OGRLayer* layer(const std::string& name, OGRwkbGeometryType type, const std::vector<FieldSpec>& fields) {
        if (!single_) return makeLayer(ds_, name, type, srs_, fields, out_);
        if (!all_) {
            std::vector<FieldSpec> every = {{"layer", OFTString}};
            for (const auto& group : allFields())
                for (const FieldSpec& f : group)
                    if (std::none_of(every.begin(), every.end(),
                                     [&](const FieldSpec& e) { return std::string(e.name) == f.name; }))
                        every.push_back(f);
            all_ = makeLayer(ds_, out_.stem().string(), wkbUnknown, srs_, every, out_);
        }
        return all_;
    }
    void write(OGRLayer* layer, OGRFeature& f, const std::string& layerName) {
        if (single_) f.SetField("layer", layerName.c_str());
        f.SetFID(OGRNullFID);
        if (layer->CreateFeature(&f) != OGRERR_NONE)
            throw FileError("Не удалось записать объект в " + pathText(out_) + ": " + gdalMessage());
    }
    static std::vector<std::vector<FieldSpec>> allFields();

private:
    GDALDataset& ds_;
    fs::path out_;
    OGRSpatialReference* srs_;
    bool single_;
    OGRLayer* all_ = nullptr;
};

const std::vector<FieldSpec> kObjectFields = {
    {"code", OFTInteger},       {"class", OFTString},       {"kind", OFTInteger},     {"name", OFTString},
    {"elevation", OFTReal},     {"number", OFTInteger},     {"shape", OFTInteger},    {"pen_color", OFTInteger},
    {"pen_width", OFTInteger},  {"pen_style", OFTInteger},  {"brush_color", OFTInteger},
    {"brush_style", OFTInteger}};
const std::vector<FieldSpec> kLabelFields = {{"text", OFTString},      {"old_name", OFTString},
                                             {"new_name", OFTString},  {"angle", OFTReal},
                                             {"font", OFTString},      {"font_size", OFTInteger},
                                             {"font_color", OFTInteger}, {"bound_object", OFTInteger}};
const std::vector<FieldSpec> kStreetFields = {
    {"street_no", OFTInteger}, {"old_name", OFTString}, {"new_name", OFTString}};
const std::vector<FieldSpec> kHouseFields = {{"street_no", OFTInteger}, {"street", OFTString},
                                             {"house", OFTString},      {"floors", OFTInteger},
                                             {"note", OFTString}};

std::vector<std::vector<FieldSpec>> Writer::allFields() { return {kObjectFields, kLabelFields, kStreetFields, kHouseFields}; }

std::string utf8(std::string_view cp1251) { return cp1251ToUtf8(cp1251); }

std::string singleLineWkt(const OGRSpatialReference& srs) {
    char* wkt = nullptr;
    const char* options[] = {"FORMAT=WKT2_2019", "MULTILINE=NO", nullptr};
    srs.exportToWkt(&wkt, options);
    std::string s = wkt ? wkt : "";
    CPLFree(wkt);
    return s;
}

// A GeoJSON collection written to its end: the last characters are the
// closing "]" of its features and "}" of the collection.
bool geoJsonComplete(const fs::path& p) {
    std::FILE* f = std::fopen(p.string().c_str(), "rb");
    if (!f) return false;
    char tail[64];
    size_t n = 0;
    if (std::fseek(f, -long(sizeof tail), SEEK_END) != 0) std::fseek(f, 0, SEEK_SET);
    n = std::fread(tail, 1, sizeof tail, f);
    std::fclose(f);
    std::string t(tail, n);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    if (t.empty() || t.back() != '}') return false;
    t.pop_back();
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    return !t.empty() && t.back() == ']';
}

// GDAL writes a GeoJSON "crs" member only for systems with an EPSG code;
// for the others the definition goes in as the member's name (which GDAL
// and the programs built on it read back).  Copies `from` to `to` with
// the member added after the collection's name.
void addGeoJsonCrs(const fs::path& from, const fs::path& to, const std::string& wkt) {
    std::FILE* in = std::fopen(from.string().c_str(), "rb");
    if (!in) throw FileError("Не удалось прочитать " + pathText(from));
    std::vector<char> buf(1 << 20);
    size_t n = std::fread(buf.data(), 1, buf.size(), in);
    const std::string head(buf.data(), n);
    const size_t features = head.find("\"features\"");
    const size_t crs = head.find("\"crs\"");
    std::FILE* out = std::fopen(to.string().c_str(), "wb");
    if (!out) {
        std::fclose(in);
        throw FileError("Не удалось создать " + pathText(to));
    }
    bool ok = true;
    size_t from0 = 0;
    if (features != std::string::npos && (crs == std::string::npos || crs > features)) {
        std::string member = "\"crs\": { \"type\": \"name\", \"properties\": { \"name\": \"";
        for (char c : wkt) {
            if (c == '"' || c == '\\') member += '\\';
            member += c;
        }
        member += "\" } },\n";
        ok = std::fwrite(buf.data(), 1, features, out) == features &&
             std::fwrite(member.data(), 1, member.size(), out) == member.size();
        from0 = features;
    }
    ok = ok && std::fwrite(buf.data() + from0, 1, n - from0, out) == n - from0;
    while (ok && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0) ok = std::fwrite(buf.data(), 1, n, out) == n;
    ok = ok && !std::ferror(in);
    std::fclose(in);
    ok = std::fflush(out) == 0 && ::fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok) throw FileError("Не удалось записать " + pathText(to));
}

}  // namespace

MapCrs MapCrsOf(const OrientationRecord& o) {
    registerDrivers();
    MapCrs c;
    OGRSpatialReference srs;
    // Pulkovo 1942: the Krasovsky 1940 ellipsoid.
    if (srs.importFromEPSG(4284) != OGRERR_NONE) {
        srs.SetGeogCS("Pulkovo 1942", "Pulkovo_1942", "Krassowsky 1940", 6378245.0, 298.3);
    }
    if (o.CoordKind == 2) {
        c.geographic = true;
        c.axialMeridianDeg = std::isfinite(o.AxialMeridian) ? o.AxialMeridian * kDeg : 0;
    } else {
        // The false easting the Y values carry: the zone number in the
        // millions and 500 000 m, or 500 000 m alone for values below a million.
        const double ymid = (o.YMin + o.YMax) / 2;
        const double zone = std::isfinite(ymid) && ymid >= 1e6 && ymid < 1e8 ? std::floor(ymid / 1e6) : 0;
        c.falseEasting = zone * 1e6 + 500000;
        double l0 = std::isfinite(o.AxialMeridian) ? o.AxialMeridian * kDeg : 0;
        // A plane map without a meridian: the middle of its zone (6 degrees wide).
        if (l0 == 0 && zone >= 1 && zone <= 60) l0 = zone * 6 - 3;
        if (!(l0 >= -180 && l0 <= 360)) l0 = 0;
        c.axialMeridianDeg = l0;
        char name[96];
        std::snprintf(name, sizeof name, "Pulkovo 1942 / Transverse Mercator %.10g", l0);
        srs.SetProjCS(name);
        srs.SetTM(0, l0, 1, c.falseEasting, 0);
        srs.SetLinearUnits(SRS_UL_METER, 1.0);
    }
    char* wkt = nullptr;
    const char* options[] = {"FORMAT=WKT2_2019", nullptr};
    srs.exportToWkt(&wkt, options);
    c.definition = wkt ? wkt : "";
    CPLFree(wkt);
    return c;
}

std::string GisDriverFor(const fs::path& file) {
    const std::string ext = lower(file.extension().string());
    if (ext == ".gpkg") return "GPKG";
    if (ext == ".geojson" || ext == ".json") return "GeoJSON";
    return {};
}

std::string ExportReport::summary() const {
    std::string s;
    for (const auto& [name, n] : layers) s += (s.empty() ? "" : ", ") + layerWord(name) + ": " + std::to_string(n);
    s = "Выгружено: " + s + ".";
    if (multiPoints) s += " Точечных объектов из нескольких точек (мультиточки): " + std::to_string(multiPoints) + ".";
    if (skipped)
        s += " Не выгружено объектов (мало точек, неизвестный вид или координаты не числа): " + std::to_string(skipped) +
             ".";
    if (outOfRange) {
        s += " Не выгружено (координаты вне пределов файла или системы): " + std::to_string(outOfRange);
        for (size_t i = 0; i < outOfRangeNamed.size(); ++i) s += (i ? ", " : " — ") + outOfRangeNamed[i];
        if (long(outOfRangeNamed.size()) < outOfRange) s += ", …";
        s += ".";
    }
    if (!crs.empty()) s += " Система координат: " + crs + ".";
    return s;
}

ExportReport ExportMap(const fs::path& out, const ExportData& data, const ExportCrs& crs) {
    registerDrivers();
    const std::string driverName = GisDriverFor(out);
    if (driverName.empty())
        throw FileError("Неизвестный формат файла " + pathText(out) + ": нужно расширение .gpkg или .geojson");
    if (!data.orientation || !data.objects) throw FileError("Нет открытой карты");
    const OrientationRecord& o = *data.orientation;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName.c_str());
    if (!driver) throw FileError("GDAL не умеет писать " + driverName);

    OGRSpatialReference srs;
    const MapCrs own = MapCrsOf(o);
    const std::string definition = crs.definition.empty() ? own.definition : crs.definition;
    CPLErrorReset();
    if (srs.SetFromUserInput(definition.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) !=
        OGRERR_NONE)
        throw FileError("Система координат не распознана: " + definition + " (" + gdalMessage() + ")");
    configureSrs(srs);
    // Another system for the file: the coordinates go into it, as GDAL's own
    // tools do with a target system (unless it is only declared).
    TransformPtr transform;
    if (!crs.definition.empty() && crs.transform) {
        OGRSpatialReference mapSrs;
        mapSrs.SetFromUserInput(own.definition.c_str());
        configureSrs(mapSrs);
        if (!mapSrs.IsSame(&srs)) {
            CPLErrorReset();
            transform.reset(OGRCreateCoordinateTransformation(&mapSrs, &srs));
            if (!transform)
                throw FileError("Координаты карты нельзя пересчитать в систему " + definition + ": " + gdalMessage());
        }
    }

    if (fs::is_directory(out)) throw FileError("На месте файла " + pathText(out) + " стоит папка");
    // Written beside the target under a temporary name, renamed when done.
    const fs::path temp = out.parent_path() / (out.stem().string() + ".~" + std::to_string(::getpid()) +
                                               out.extension().string());
    removeWritten(temp);
    std::vector<fs::path> created = {temp};
    ExportReport report;
    report.crs = srs.GetName() ? srs.GetName() : definition;
    try {
        CPLErrorReset();
        DatasetPtr ds(driver->Create(temp.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!ds) throw FileError("Не удалось создать " + pathText(out) + ": " + gdalMessage());
        const bool single = driverName == "GeoJSON";
        Writer w(*ds, out, &srs, single);
        const bool transaction = ds->StartTransaction() == OGRERR_NONE;
        const bool geographic = o.CoordKind == 2;
        auto east = [&](double x, double y) { return geographic ? y * kDeg : y; };
        auto north = [&](double x, double y) { return geographic ? x * kDeg : x; };
        // A map point as the file holds it (east, north in the file's
        // system); false when it is out of range or cannot be transformed.
        auto place = [&](double x, double y, double& e, double& n) {
            e = east(x, y);
            n = north(x, y);
            if (!std::isfinite(e) || !std::isfinite(n)) return false;
            if (transform && !transform->Transform(1, &e, &n)) return false;
            return std::isfinite(e) && std::isfinite(n) && std::fabs(e) <= kCoordinateLimit &&
                   std::fabs(n) <= kCoordinateLimit;
        };
        std::vector<std::pair<double, double>> at;
        auto placeAll = [&](const auto& points) {
            at.clear();
            for (const auto& p : points) {
                double e = 0, n = 0;
                if (!place(p.X, p.Y, e, n)) return false;
                at.emplace_back(e, n);
            }
            return true;
        };
        auto outOfRange = [&](const std::string& what) {
            ++report.outOfRange;
            if (report.outOfRangeNamed.size() < 10) report.outOfRangeNamed.push_back(what);
        };

        // Objects, a layer for each kind.
        const char* kindLayers[] = {"points", "lines", "areas"};
        const OGRwkbGeometryType kindTypes[] = {wkbPoint, wkbLineString, wkbPolygon};
        std::map<int32_t, std::string> classNames;
        // Objects of no known kind, or with a vertex that is not a number,
        // have no place in a GIS layer: counted, not written.
        auto writable = [](const TObj& ob) {
            return std::all_of(ob.Points.begin(), ob.Points.end(),
                               [](const TXY& p) { return std::isfinite(p.X) && std::isfinite(p.Y); });
        };
        bool multiPoint = false;  // a point object of several placements
        for (const auto& obj : *data.objects) {
            if (!obj->Points.empty() && (obj->Kind < 1 || obj->Kind > 3 || !writable(*obj))) ++report.skipped;
            multiPoint = multiPoint || (obj->Kind == KindPoint && obj->Points.size() > 1);
        }
        // A GeoPackage layer holds one kind of geometry: with any such object
        // every point object of the file is a multi-point.
        const bool allMulti = multiPoint && !single;
        for (int kind = 1; kind <= 3; ++kind) {
            OGRLayer* layer = w.layer(kindLayers[kind - 1], kind == 1 && allMulti ? wkbMultiPoint : kindTypes[kind - 1],
                                      kObjectFields);
            OGRFeature f(layer->GetLayerDefn());
            long n = 0;
            for (const auto& obj : *data.objects) {
                const TObj& ob = *obj;
                if (ob.Kind != kind) continue;
                const auto& pts = ob.Points;
                const size_t need = kind == 1 ? 1 : kind == 2 ? 2 : 3;
                if (pts.empty() || !writable(ob)) continue;
                if (pts.size() < need) {
                    ++report.skipped;
                    continue;
                }
                if (!placeAll(pts)) {
                    outOfRange("объект " + std::to_string(ob.Number) + " (код " + std::to_string(ob.Code) + ")");
                    continue;
                }
                if (kind == 1) {
                    if (pts.size() == 1 && !allMulti) {
                        f.SetGeometryDirectly(new OGRPoint(at[0].first, at[0].second));
                    } else {
                        // Every placement of the symbol.
                        auto* mp = new OGRMultiPoint;
                        for (const auto& [e, n] : at) mp->addGeometryDirectly(new OGRPoint(e, n));
                        f.SetGeometryDirectly(mp);
                        report.multiPoints += pts.size() > 1;
                    }
                } else if (kind == 2) {
                    auto* ls = new OGRLineString;
                    ls->setNumPoints(int(at.size()), FALSE);
                    for (size_t i = 0; i < at.size(); ++i) ls->setPoint(int(i), at[i].first, at[i].second);
                    f.SetGeometryDirectly(ls);
                } else {
                    auto* ring = new OGRLinearRing;
                    const bool closed = pts.front().X == pts.back().X && pts.front().Y == pts.back().Y;
                    ring->setNumPoints(int(at.size() + (closed ? 0 : 1)), FALSE);
                    for (size_t i = 0; i < at.size(); ++i) ring->setPoint(int(i), at[i].first, at[i].second);
                    if (!closed) ring->setPoint(int(at.size()), at[0].first, at[0].second);
                    auto* poly = new OGRPolygon;
                    poly->addRingDirectly(ring);
                    f.SetGeometryDirectly(poly);
                }
                f.SetField("code", ob.Code);
                if (data.semantics) {
                    auto it = classNames.find(ob.Code);
                    if (it == classNames.end()) {
                        const auto name = SemanticDisplayName(*data.semantics, ob.Code);
                        it = classNames.emplace(ob.Code, name ? utf8(*name) : std::string()).first;
                    }
                    if (it->second.empty())
                        f.SetFieldNull(f.GetFieldIndex("class"));
                    else
                        f.SetField("class", it->second.c_str());
                }
                f.SetField("kind", int(ob.Kind));
                f.SetField("name", utf8(ob.Name).c_str());
                f.SetField("elevation", ob.Elevation);
                f.SetField("number", ob.Number);
                f.SetField("shape", int(ob.Shape));
                f.SetField("pen_color", ob.PenColor);
                f.SetField("pen_width", ob.PenWidth);
                f.SetField("pen_style", int(ob.PenStyle));
                f.SetField("brush_color", ob.BrushColor);
                f.SetField("brush_style", int(ob.BrushStyle));
                w.write(layer, f, kindLayers[kind - 1]);
                ++n;
            }
            report.layers.emplace_back(kindLayers[kind - 1], n);
        }

        if (data.labels) {
            OGRLayer* layer = w.layer("labels", wkbPoint, kLabelFields);
            OGRFeature f(layer->GetLayerDefn());
            long n = 0;
            for (const auto& ref : *data.labels) {
                const TNaz& l = *ref;
                double e = 0, nn = 0;
                if (!place(l.X1, l.Y1, e, nn)) {
                    outOfRange("название «" + utf8(NameDisplayText(l)) + "»");
                    continue;
                }
                f.SetGeometryDirectly(new OGRPoint(e, nn));
                f.SetField("text", utf8(NameDisplayText(l)).c_str());
                f.SetField("old_name", utf8(l.OldName).c_str());
                f.SetField("new_name", utf8(l.NewName).c_str());
                // The baseline's direction, counter-clockwise from east, as the
                // screen turns the text (a horizontal one reads 0).
                const double dn = north(l.X2, l.Y2) - north(l.X1, l.Y1), de = east(l.X2, l.Y2) - east(l.X1, l.Y1);
                f.SetField("angle", dn == 0 ? 0.0 : std::atan2(dn, de) * kDeg);
                f.SetField("font", utf8(l.FontName).c_str());
                f.SetField("font_size", int(l.FontSize));
                f.SetField("font_color", l.FontColor);
                f.SetField("bound_object", l.BoundObject);
                w.write(layer, f, "labels");
                ++n;
            }
            report.layers.emplace_back("labels", n);
        }

        if (data.streets) {
            OGRLayer* layer = w.layer("streets", wkbLineString, kStreetFields);
            OGRFeature f(layer->GetLayerDefn());
            long n = 0, houses = 0;
            for (const auto& ref : *data.streets) {
                const Trues& s = *ref;
                if (s.Axis.size() >= 2) {
                    if (!placeAll(s.Axis)) {
                        outOfRange("улица " + std::to_string(s.StreetNo));
                        continue;
                    }
                    auto* ls = new OGRLineString;
                    for (const auto& [e, nn] : at) ls->addPoint(e, nn);
                    f.SetGeometryDirectly(ls);
                } else {
                    // A register entry without an axis keeps its names.
                    f.SetGeometryDirectly(nullptr);
                }
                f.SetField("street_no", s.StreetNo);
                f.SetField("old_name", utf8(s.OldName).c_str());
                f.SetField("new_name", utf8(s.NewName).c_str());
                w.write(layer, f, "streets");
                ++n;
                houses += long(s.Houses.size());
            }
            report.layers.emplace_back("streets", n);
            OGRLayer* hl = w.layer("houses", wkbPoint, kHouseFields);
            OGRFeature h(hl->GetLayerDefn());
            long m = 0;
            for (const auto& ref : *data.streets) {
                const Trues& s = *ref;
                const std::string street = utf8(StreetDisplayText(s));
                for (const TDom& d : s.Houses) {
                    double e = 0, nn = 0;
                    if (!place(d.X, d.Y, e, nn)) {
                        outOfRange("дом " + utf8(d.Nomer()) + " улицы " + std::to_string(s.StreetNo));
                        continue;
                    }
                    h.SetGeometryDirectly(new OGRPoint(e, nn));
                    h.SetField("street_no", s.StreetNo);
                    h.SetField("street", street.c_str());
                    h.SetField("house", utf8(d.Nomer()).c_str());
                    h.SetField("floors", int(d.Etage));
                    h.SetField("note", utf8(d.DopInf).c_str());
                    w.write(hl, h, "houses");
                    ++m;
                }
            }
            report.layers.emplace_back("houses", m);
        }
        if (transaction && ds->CommitTransaction() != OGRERR_NONE)
            throw FileError("Не удалось записать " + pathText(out) + ": " + gdalMessage());
        CPLErrorReset();
        ds->FlushCache();
        GDALDataset* raw = ds.release();
        GDALClose(GDALDataset::ToHandle(raw));
        if (CPLGetLastErrorType() >= CE_Failure)
            throw FileError("Не удалось записать " + pathText(out) + ": " + gdalMessage());
        fs::path done = temp;
        if (single) {
            // GDAL does not tell a write that failed (a full disk, a size
            // limit) in a GeoJSON file: a whole one ends with the closing
            // of its collection.
            if (!geoJsonComplete(temp))
                throw FileError("Не удалось записать " + pathText(out) + ": файл не дописан (нет места на диске или файл слишком велик)");
            const fs::path withCrs = temp.string() + ".crs";
            created.push_back(withCrs);
            addGeoJsonCrs(temp, withCrs, singleLineWkt(srs));
            done = withCrs;
        }
        std::error_code ec;
        fs::rename(done, out, ec);
        if (ec) throw FileError("Не удалось записать " + pathText(out) + ": " + ReasonText(ec));
    } catch (...) {
        for (const fs::path& p : created) removeWritten(p);
        throw;
    }
    for (const fs::path& p : created) removeWritten(p);
    return report;
}

// --- import -------------------------------------------------------------

std::string ImportResult::summary() const {
    std::string s = "Прочитано объектов файла: " + std::to_string(features) + ". Добавлено: точек " +
                    std::to_string(points) + ", линий " + std::to_string(lines) + ", площадей " + std::to_string(areas) +
                    ".";
    if (parts) s += " Из составных объектов файла: " + std::to_string(parts) + ".";
    if (multiPoints) s += " Точечных объектов из нескольких точек (мультиточки): " + std::to_string(multiPoints) + ".";
    if (noGeometry) s += " Без точечной, линейной или площадной геометрии (не добавлены): " + std::to_string(noGeometry) + ".";
    if (noCode) s += " Без кода (не добавлены): " + std::to_string(noCode) + ".";
    if (badParts) s += " Частей составных объектов без годной геометрии (не добавлены): " + std::to_string(badParts) + ".";
    if (holes) s += " Внутренние контуры площадей не взяты: " + std::to_string(holes) + ".";
    for (const std::string& l : layersWithoutCode) s += " Слой без поля кода пропущен: " + l + ".";
    for (const std::string& l : takenAsMapCoordinates)
        s += " Координаты слоя " + l + " не похожи на градусы и взяты как координаты карты.";
    return s;
}

namespace {

struct Importer {
    const OrientationRecord& map;
    const ImportOptions& opt;
    const ActiveSemanticList* semantics;
    ImportResult& result;
    std::map<int32_t, std::optional<TSemantic>> styles;

    bool geographic() const { return map.CoordKind == 2; }
    TXY toMap(double e, double n) const {
        return geographic() ? TXY{n / kDeg, e / kDeg} : TXY{n, e};
    }

    const std::optional<TSemantic>& style(int32_t code) {
        auto it = styles.find(code);
        if (it != styles.end()) return it->second;
        std::optional<TSemantic> found;
        if (semantics)
            for (const std::string& line : semantics->Lines) {
                auto s = ParseSemanticLine(line);
                if (s && s->Code == code) {
                    found = s;
                    break;
                }
            }
        return styles.emplace(code, found).first->second;
    }

    std::unique_ptr<TObj> object(uint8_t kind, int32_t code, const std::string& name, const OGRFeature& f) {
        auto o = std::make_unique<TObj>();
        o->Kind = kind;
        o->Code = code;
        o->Name = name;
        if (const auto& s = style(code)) {
            o->PenColor = s->PenColor;
            o->PenWidth = s->PenWidth;
            o->PenStyle = uint8_t(std::max(0, PenStyleFromDigit(s->PenStyleDigit)));
            o->BrushStyle = uint8_t(std::max(0, BrushStyleFromDigit(s->BrushStyleDigit)));
            o->BrushColor = s->BrushColor;
        }
        // The style fields an export writes, when the file has them.
        auto intField = [&](const char* field, auto& target, long lo, long hi) {
            const int i = f.GetFieldIndex(field);
            if (i < 0 || !f.IsFieldSetAndNotNull(i)) return;
            const long long v = f.GetFieldAsInteger64(i);
            if (v >= lo && v <= hi) target = static_cast<std::remove_reference_t<decltype(target)>>(v);
        };
        intField("pen_color", o->PenColor, 0, 0xFFFFFF);
        intField("pen_width", o->PenWidth, 0, 255);
        intField("pen_style", o->PenStyle, 0, 5);
        intField("brush_color", o->BrushColor, 0, 0xFFFFFF);
        intField("brush_style", o->BrushStyle, 0, 7);
        intField("number", o->Number, INT32_MIN, INT32_MAX);
        intField("shape", o->Shape, 0, 2);
        const int e = f.GetFieldIndex("elevation");
        if (e >= 0 && f.IsFieldSetAndNotNull(e)) {
            const double v = f.GetFieldAsDouble(e);
            if (std::isfinite(v)) o->Elevation = v;
        }
        return o;
    }

    // The parts of a geometry as objects; false when none was usable.
    bool take(const OGRGeometry* g, int32_t code, const std::string& name, const OGRFeature& f) {
        if (!g || g->IsEmpty()) return false;
        switch (wkbFlatten(g->getGeometryType())) {
            case wkbPoint: {
                const auto* p = g->toPoint();
                if (!std::isfinite(p->getX()) || !std::isfinite(p->getY())) return false;
                auto o = object(KindPoint, code, name, f);
                o->Points.push_back(toMap(p->getX(), p->getY()));
                result.objects.push_back(std::move(o));
                ++result.points;
                return true;
            }
            case wkbLineString:
            case wkbCircularString:
            case wkbCompoundCurve: {
                std::unique_ptr<OGRLineString> owned;
                const OGRLineString* ls = nullptr;
                if (wkbFlatten(g->getGeometryType()) == wkbLineString) {
                    ls = g->toLineString();
                } else {
                    owned.reset(g->toCurve()->CurveToLine());
                    ls = owned.get();
                }
                if (!ls || ls->getNumPoints() < 2) return false;
                auto o = object(KindLine, code, name, f);
                for (int i = 0; i < ls->getNumPoints(); ++i) {
                    if (!std::isfinite(ls->getX(i)) || !std::isfinite(ls->getY(i))) return false;
                    o->Points.push_back(toMap(ls->getX(i), ls->getY(i)));
                }
                result.objects.push_back(std::move(o));
                ++result.lines;
                return true;
            }
            case wkbPolygon:
            case wkbCurvePolygon: {
                std::unique_ptr<OGRPolygon> owned;
                const OGRPolygon* poly = nullptr;
                if (wkbFlatten(g->getGeometryType()) == wkbPolygon) {
                    poly = g->toPolygon();
                } else {
                    owned.reset(g->toCurvePolygon()->CurvePolyToPoly());
                    poly = owned.get();
                }
                const OGRLinearRing* ring = poly ? poly->getExteriorRing() : nullptr;
                if (!ring || ring->getNumPoints() < 3) return false;
                auto o = object(KindArea, code, name, f);
                for (int i = 0; i < ring->getNumPoints(); ++i) {
                    if (!std::isfinite(ring->getX(i)) || !std::isfinite(ring->getY(i))) return false;
                    o->Points.push_back(toMap(ring->getX(i), ring->getY(i)));
                }
                // Stored closed: the last vertex repeats the first.
                if (o->Points.front().X != o->Points.back().X || o->Points.front().Y != o->Points.back().Y)
                    o->Points.push_back(o->Points.front());
                result.holes += poly->getNumInteriorRings();
                result.objects.push_back(std::move(o));
                ++result.areas;
                return true;
            }
            case wkbMultiPoint: {
                // Several placements of one symbol: one point object.
                const auto* c = g->toMultiPoint();
                auto o = object(KindPoint, code, name, f);
                for (const OGRPoint* p : *c) {
                    if (!p || p->IsEmpty() || !std::isfinite(p->getX()) || !std::isfinite(p->getY())) return false;
                    o->Points.push_back(toMap(p->getX(), p->getY()));
                }
                if (o->Points.empty()) return false;
                result.multiPoints += o->Points.size() > 1;
                result.objects.push_back(std::move(o));
                ++result.points;
                return true;
            }
            case wkbMultiLineString:
            case wkbMultiPolygon:
            case wkbMultiCurve:
            case wkbMultiSurface:
            case wkbGeometryCollection: {
                const auto* c = g->toGeometryCollection();
                long taken = 0;
                for (int i = 0; i < c->getNumGeometries(); ++i) taken += take(c->getGeometryRef(i), code, name, f);
                result.parts += taken;
                // Unusable parts beside usable ones are counted apart.
                if (taken > 0) result.badParts += c->getNumGeometries() - taken;
                return taken > 0;
            }
            default:
                return false;
        }
    }
};

}  // namespace

namespace {
DatasetPtr openForImport(const fs::path& in) {
    registerDrivers();
    CPLErrorReset();
    DatasetPtr ds(GDALDataset::Open(in.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR));
    if (!ds)
        throw FileError("Файл " + pathText(in) + " не читается как файл ГИС: " +
                        (fs::exists(in) ? gdalMessage() : std::string("файла нет")));
    return ds;
}
}  // namespace

std::vector<std::string> ImportFieldNames(const fs::path& in) {
    DatasetPtr ds = openForImport(in);
    std::vector<std::string> names;
    for (OGRLayer* layer : ds->GetLayers()) {
        OGRFeatureDefn* defn = layer->GetLayerDefn();
        for (int i = 0; i < defn->GetFieldCount(); ++i) {
            std::string name = defn->GetFieldDefn(i)->GetNameRef();
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
        }
    }
    return names;
}

ImportResult ImportFeatures(const fs::path& in, const OrientationRecord& map, const ImportOptions& opt,
                            const ActiveSemanticList* semantics) {
    registerDrivers();
    if (!opt.code && opt.codeField.empty()) throw FileError("Не указано поле кода объекта");
    DatasetPtr ds = openForImport(in);
    ImportResult result;
    Importer imp{map, opt, semantics, result, {}};
    OGRSpatialReference target;
    target.SetFromUserInput(MapCrsOf(map).definition.c_str());
    configureSrs(target);
    // The system of layers that declare none, when one is given.
    std::optional<OGRSpatialReference> assumed;
    if (!opt.crs.empty()) {
        assumed.emplace();
        CPLErrorReset();
        if (assumed->SetFromUserInput(opt.crs.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) !=
            OGRERR_NONE)
            throw FileError("Система координат не распознана: " + opt.crs + " (" + gdalMessage() + ")");
        configureSrs(*assumed);
    }
    bool anyCodeLayer = false;
    for (OGRLayer* layer : ds->GetLayers()) {
        OGRFeatureDefn* defn = layer->GetLayerDefn();
        const int codeIndex = opt.code ? -1 : defn->GetFieldIndex(opt.codeField.c_str());
        if (!opt.code && codeIndex < 0) {
            result.layersWithoutCode.push_back(std::string(layer->GetName()) + " (" +
                                               std::to_string(layer->GetFeatureCount()) + ")");
            continue;
        }
        anyCodeLayer = true;
        const int nameIndex = opt.nameField.empty() ? -1 : defn->GetFieldIndex(opt.nameField.c_str());
        if (!opt.nameField.empty() && nameIndex < 0)
            throw FileError("В слое " + std::string(layer->GetName()) + " файла " + pathText(in) + " нет поля " +
                            opt.nameField);
        // Reprojected into the map's system when the layer declares another.
        TransformPtr transform;
        const OGRSpatialReference* declared = layer->GetSpatialRef();
        std::optional<OGRSpatialReference> source;
        if (declared) {
            source.emplace(*declared);
            configureSrs(*source);
            // A file in degrees whose coordinates cannot be degrees (a GeoJSON
            // file without a "crs" member counts as degrees) declares nothing
            // true of them.
            OGREnvelope e;
            const bool notDegrees = source->IsGeographic() && layer->GetExtent(&e, TRUE) == OGRERR_NONE &&
                                    (e.MinX < -180 || e.MaxX > 360 || e.MinY < -90 || e.MaxY > 90);
            if (notDegrees) source.reset();
        }
        // A layer that declares no system is in the one given for such
        // layers, or else in the map's own.
        const bool assumedUsed = !source && assumed;
        if (assumedUsed) source = *assumed;
        if (!source && declared) result.takenAsMapCoordinates.push_back(layer->GetName());
        if (source && !source->IsSame(&target)) {
            CPLErrorReset();
            transform.reset(OGRCreateCoordinateTransformation(&*source, &target));
            if (!transform)
                throw FileError("Систему координат " +
                                (assumedUsed ? opt.crs : "слоя " + std::string(layer->GetName())) +
                                " нельзя пересчитать в систему карты: " + gdalMessage());
        }
        layer->ResetReading();
        for (auto& f : *layer) {
            ++result.features;
            int32_t code = 0;
            if (opt.code) {
                code = *opt.code;
            } else {
                if (!f->IsFieldSetAndNotNull(codeIndex)) {
                    ++result.noCode;
                    continue;
                }
                const OGRFieldType t = defn->GetFieldDefn(codeIndex)->GetType();
                if (t == OFTInteger || t == OFTInteger64) {
                    const long long v = f->GetFieldAsInteger64(codeIndex);
                    if (v < INT32_MIN || v > INT32_MAX)
                        throw FileError("Код " + std::to_string(v) + " объекта " + std::to_string(f->GetFID()) +
                                        " слоя " + layer->GetName() + " не помещается в код карты");
                    code = int32_t(v);
                } else {
                    // Text or real: only a whole number is a code.
                    const std::string text = f->GetFieldAsString(codeIndex);
                    char* end = nullptr;
                    errno = 0;
                    const double v = std::strtod(text.c_str(), &end);
                    if (text.empty() || !end || *end != '\0' || errno != 0 || v != std::floor(v) ||
                        v < INT32_MIN || v > INT32_MAX)
                        throw FileError("Поле " + opt.codeField + " объекта " + std::to_string(f->GetFID()) +
                                        " слоя " + layer->GetName() + " файла " + pathText(in) +
                                        " — не целое число: «" + text + "»");
                    code = int32_t(v);
                }
            }
            std::string name;
            if (nameIndex >= 0 && f->IsFieldSetAndNotNull(nameIndex)) {
                name = utf8ToCp1251(f->GetFieldAsString(nameIndex));
                if (name.size() > 255) name.resize(255);
            }
            std::unique_ptr<OGRGeometry> g(f->StealGeometry());
            if (g && transform && g->transform(transform.get()) != OGRERR_NONE) {
                ++result.noGeometry;
                continue;
            }
            if (!imp.take(g.get(), code, name, *f)) ++result.noGeometry;
        }
    }
    if (!opt.code && !anyCodeLayer)
        throw FileError("В файле " + pathText(in) + " нет поля кода " + opt.codeField);
    return result;
}

}  // namespace dm
