#include "Rows.h"

#include "mapdata/Cp1251.h"
#include "names/Names.h"
#include "streets/Streets.h"
#include "transport/Stops.h"
#include "userdata/UserAreas.h"

#include <cmath>

namespace dm::store {

constexpr double kRadToDeg = 180.0 / 3.14159265358979323846;

// ---- object records -----------------------------------------------------------------------

bool readRawObject(BinReader& in, RawObject& o) {
    if (in.atEnd()) return false;
    const uint64_t at = in.offset();
    in.require(22, "запись объекта");
    const uint8_t* h = in.take(22);
    o.number = BinReader::i32At(h);
    o.startNode = BinReader::i32At(h + 4);
    o.endNode = BinReader::i32At(h + 8);
    o.kind = h[12];
    o.code = BinReader::i32At(h + 13);
    o.shape = h[17];
    const int32_t n = BinReader::i32At(h + 18);
    if (n < 1 || n > 256) in.fail("недопустимая длина имени объекта " + std::to_string(n), at + 18);
    in.require(uint64_t(n) + 44, "запись объекта");
    const uint8_t* nm = in.take(size_t(n));
    o.name.assign(reinterpret_cast<const char*>(nm), size_t(n));
    const uint8_t* b = in.take(44);
    o.penColor = BinReader::i32At(b);
    o.penStyle = BinReader::i32At(b + 4);
    o.penWidth = BinReader::i32At(b + 8);
    o.brushStyle = BinReader::i32At(b + 12);
    o.brushColor = BinReader::i32At(b + 16);
    o.extraInt = BinReader::i32At(b + 20);
    o.extraReal = BinReader::f64At(b + 24);
    o.elevation = BinReader::f64At(b + 32);
    const int32_t count = BinReader::i32At(b + 40);
    if (count < 0 || uint64_t(count) * 16 > in.remaining())
        in.fail("недопустимое число точек объекта " + std::to_string(count), at + 62 + uint64_t(n));
    o.xy.resize(size_t(count) * 2);
    if (count) {
        const uint8_t* v = in.take(size_t(count) * 16);
        for (size_t k = 0; k < o.xy.size(); ++k) o.xy[k] = BinReader::f64At(v + 8 * k);
    }
    return true;
}

void writeRawObject(BinWriter& w, const RawObject& o) {
    w.i32(o.number);
    w.i32(o.startNode);
    w.i32(o.endNode);
    w.u8(o.kind);
    w.i32(o.code);
    w.u8(o.shape);
    w.i32(int32_t(o.name.size()));
    w.bytes(o.name.data(), o.name.size());
    w.i32(o.penColor);
    w.i32(o.penStyle);
    w.i32(o.penWidth);
    w.i32(o.brushStyle);
    w.i32(o.brushColor);
    w.i32(o.extraInt);
    w.f64(o.extraReal);
    w.f64(o.elevation);
    w.i32(int32_t(o.xy.size() / 2));
    for (double v : o.xy) w.f64(v);
}

std::string nameText(const std::string& field) {
    if (field.empty()) return {};
    const size_t len = std::min<size_t>(uint8_t(field[0]), field.size() - 1);
    return cp1251ToUtf8(std::string_view(field).substr(1, len));
}

// ---- geometries as EWKB -----------------------------------------------------------------

void Plane::put(std::string& g, double X, double Y) const {
    const double x = geographic ? Y * kRadToDeg : Y, y = geographic ? X * kRadToDeg : X;
    g.append(reinterpret_cast<const char*>(&x), 8);
    g.append(reinterpret_cast<const char*>(&y), 8);
}

static void wkbHead(std::string& g, uint32_t type, const Plane* withSrid) {
    g.push_back(1);  // little-endian
    const uint32_t t = type | (withSrid ? 0x20000000u : 0);
    g.append(reinterpret_cast<const char*>(&t), 4);
    if (withSrid) {
        const uint32_t s = uint32_t(withSrid->srid);
        g.append(reinterpret_cast<const char*>(&s), 4);
    }
}

static void wkbCount(std::string& g, size_t n) {
    const uint32_t v = uint32_t(n);
    g.append(reinterpret_cast<const char*>(&v), 4);
}

static bool allFinite(const double* xy, size_t n) {
    for (size_t k = 0; k < n; ++k)
        if (!std::isfinite(xy[k])) return false;
    return true;
}

// The geometry of a figure of kind 1 (point), 2 (line) or 3 (area) through
// `n` vertices; empty when it has none (no vertex, a line of one vertex, an
// area of fewer than three, a coordinate that is not a number).
std::string geometry(int kind, const double* xy, size_t n, const Plane& p) {
    std::string g;
    if (n == 0 || !allFinite(xy, 2 * n)) return g;
    if (kind == 1) {
        if (n == 1) {
            wkbHead(g, 1, &p);
            p.put(g, xy[0], xy[1]);
            return g;
        }
        wkbHead(g, 4, &p);
        wkbCount(g, n);
        for (size_t k = 0; k < n; ++k) {
            wkbHead(g, 1, nullptr);
            p.put(g, xy[2 * k], xy[2 * k + 1]);
        }
        return g;
    }
    if (kind == 3) {
        const bool closed = xy[0] == xy[2 * n - 2] && xy[1] == xy[2 * n - 1];
        const size_t ring = n + (closed ? 0 : 1);
        if (ring < 4) return g;
        wkbHead(g, 3, &p);
        wkbCount(g, 1);
        wkbCount(g, ring);
        for (size_t k = 0; k < n; ++k) p.put(g, xy[2 * k], xy[2 * k + 1]);
        if (!closed) p.put(g, xy[0], xy[1]);
        return g;
    }
    if (n < 2) return g;
    wkbHead(g, 2, &p);
    wkbCount(g, n);
    for (size_t k = 0; k < n; ++k) p.put(g, xy[2 * k], xy[2 * k + 1]);
    return g;
}


namespace {

void pointsXY(const std::vector<TXY>& pts, std::vector<double>& xy) {
    xy.clear();
    for (const TXY& p : pts) {
        xy.push_back(p.X);
        xy.push_back(p.Y);
    }
}

}  // namespace

void describeRecord(const std::string& kind, const std::string& record, const Plane& plane, std::string& name,
                    std::string& geom) {
    BinReader in(reinterpret_cast<const uint8_t*>(record.data()), record.size(), kind);
    std::vector<double> xy;
    name.clear();
    geom.clear();
    if (kind == "label") {
        std::vector<NameRef> v;
        LoadNames(in, v);
        if (v.empty()) return;
        const TNaz& n = *v[0];
        name = cp1251ToUtf8(n.NewName.empty() ? n.OldName : n.NewName);
        const double line[] = {n.X1, n.Y1, n.X2, n.Y2};
        geom = geometry(2, line, 2, plane);
    } else if (kind == "street") {
        std::vector<StreetRef> v;
        LoadStreets(in, v);
        if (v.empty()) return;
        const Trues& s = *v[0];
        name = cp1251ToUtf8(s.NewName.empty() ? s.OldName : s.NewName);
        pointsXY(s.Axis, xy);
        geom = geometry(2, xy.data(), s.Axis.size(), plane);
    } else if (kind == "stop") {
        std::vector<StopRef> v;
        LoadStops(in, v);
        if (v.empty()) return;
        name = cp1251ToUtf8(v[0]->Name);
        const double pt[] = {v[0]->X, v[0]->Y};
        geom = geometry(1, pt, 1, plane);
    } else if (kind == "metro") {
        std::vector<TMetro> v;
        LoadMetro(in, v);
        if (v.empty()) return;
        name = cp1251ToUtf8(v[0].Name);
        const double pt[] = {v[0].X, v[0].Y};
        geom = geometry(1, pt, 1, plane);
    } else if (kind == "area") {
        std::vector<AreaRef> v;
        LoadUserAreas(in, v);
        if (v.empty()) return;
        const TRovd& a = *v[0];
        name = cp1251ToUtf8(a.Name);
        pointsXY(a.Points, xy);
        geom = geometry(a.Figure == 5 ? 2 : 3, xy.data(), a.Points.size(), plane);
    } else if (kind == "boundary") {
        RawObject o;
        if (!readRawObject(in, o)) return;
        name = nameText(o.name);
        geom = geometry(3, o.xy.data(), o.xy.size() / 2, plane);
    }
}

std::string hexOf(const std::string& bytes) {
    static const char* d = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

}  // namespace dm::store
