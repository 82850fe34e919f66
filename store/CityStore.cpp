#include "CityStore.h"

#include "Rows.h"
#include "Schema.h"
#include "admin/AdminLists.h"
#include "classifier/Semantics.h"
#include "interop/GisExchange.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/MapFiles.h"
#include "names/Names.h"
#include "streets/Streets.h"
#include "transport/Stops.h"
#include "userdata/UserAreas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace dm {

namespace {

using namespace store;

// ---- the coordinate system ----------------------------------------------------------------

// The SRID of a map's plane system: a Gauss–Krüger zone of Pulkovo 1942
// PostGIS knows, else one registered here (900000 and up).
int mapSrid(PgConnection& c, const OrientationRecord& o) {
    const MapCrs crs = MapCrsOf(o);
    if (crs.geographic) return 4284;
    const double l0 = crs.axialMeridianDeg, fe = crs.falseEasting;
    const int zone = int(std::floor(fe / 1e6));
    if (zone >= 4 && zone <= 32 && fe == zone * 1e6 + 500000 && l0 == zone * 6 - 3 &&
        c.exec("select 1 from spatial_ref_sys where srid = $1", {std::to_string(28400 + zone)}).rows())
        return 28400 + zone;
    char proj[256];
    std::snprintf(proj, sizeof proj,
                  "+proj=tmerc +lat_0=0 +lon_0=%.10g +k=1 +x_0=%.10g +y_0=0 +ellps=krass "
                  "+towgs84=23.92,-141.27,-80.9,0,0.35,0.82,-0.12 +units=m +no_defs",
                  l0, fe);
    const PgResult had = c.exec("select srid from spatial_ref_sys where proj4text = $1", {std::string(proj)});
    if (had.rows()) return int(had.integer(0, 0));
    const PgResult next = c.exec("select coalesce(max(srid), 899999) + 1 from spatial_ref_sys where srid >= 900000");
    const int srid = int(next.integer(0, 0));
    char wkt[1024];
    std::snprintf(wkt, sizeof wkt,
                  "PROJCS[\"Pulkovo 1942 / Transverse Mercator %.10g\",GEOGCS[\"Pulkovo 1942\",DATUM[\"Pulkovo_1942\","
                  "SPHEROID[\"Krassowsky 1940\",6378245,298.3],TOWGS84[23.92,-141.27,-80.9,0,0.35,0.82,-0.12]],"
                  "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
                  "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",%.10g],"
                  "PARAMETER[\"scale_factor\",1],PARAMETER[\"false_easting\",%.10g],PARAMETER[\"false_northing\",0],"
                  "UNIT[\"metre\",1]]",
                  l0, l0, fe);
    c.exec("insert into spatial_ref_sys (srid, auth_name, auth_srid, srtext, proj4text) values ($1, 'darvent', $1, $2, $3)",
           {std::to_string(srid), std::string(wkt), std::string(proj)});
    return srid;
}

// ---- what a push reads --------------------------------------------------------------------

struct RegisterFile {
    std::string file;  // its name in the city folder
    std::string kind;  // label, street, stop, metro, area, boundary
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> ends;  // where each record ends
    // For GIS programs, record by record.
    std::vector<std::string> names, geoms;
    std::vector<StreetRef> streets;  // the street register's streets (their houses)
};

struct MapFiles {
    std::string stem;      // its file stem
    std::string orFile, binFile;
    std::vector<uint8_t> orient;
    OrientationRecord record;
};

fs::path inCity(const fs::path& city, const std::string& name) { return resolvePathCase(city / name); }
// A file of a map whose stem (Windows-1251, from a list) names it.
fs::path stemFile(const fs::path& city, const std::string& stem, const char* ext) {
    return resolvePathCase(city / (StemPath(stem).string() + ext));
}
bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}
std::string fileName(const fs::path& p) { return p.filename().string(); }

// A register file read record by record (`load` tells where each ends),
// with each record's name and geometry.
template <typename T, typename Load>
RegisterFile readRegister(const fs::path& path, const char* kind, Load load, const Plane& plane) {
    RegisterFile r;
    r.file = fileName(path);
    r.kind = kind;
    r.bytes = readWholeFile(path);
    BinReader in(r.bytes.data(), r.bytes.size(), pathText(path));
    std::vector<T> items;
    load(in, items, &r.ends);
    uint64_t from = 0;
    for (const uint64_t end : r.ends) {
        std::string name, geom;
        describeRecord(kind, std::string(reinterpret_cast<const char*>(r.bytes.data()) + from, size_t(end - from)), plane,
                       name, geom);
        r.names.push_back(std::move(name));
        r.geoms.push_back(std::move(geom));
        from = end;
    }
    return r;
}

void loadBoundaries(BinReader& in, std::vector<int>& items, std::vector<uint64_t>* ends) {
    RawObject o;
    while (readRawObject(in, o)) {
        ends->push_back(in.offset());
        items.push_back(0);
    }
}

// Every register file of a map (`stem`) in the city folder.
void readRegisters(const fs::path& city, const std::string& stem, bool isCity, const Plane& plane,
                   std::vector<RegisterFile>& out) {
    const fs::path nam = stemFile(city, stem, ".nam");
    if (isFile(nam))
        out.push_back(readRegister<NameRef>(
            nam, "label", [](BinReader& in, std::vector<NameRef>& v, std::vector<uint64_t>* e) { LoadNames(in, v, e); },
            plane));
    if (!isCity) return;
    const fs::path rue = inCity(city, "darvent.rue");
    if (isFile(rue)) {
        RegisterFile r = readRegister<StreetRef>(
            rue, "street", [](BinReader& in, std::vector<StreetRef>& v, std::vector<uint64_t>* e) { LoadStreets(in, v, e); },
            plane);
        BinReader again(r.bytes.data(), r.bytes.size(), pathText(rue));
        LoadStreets(again, r.streets);
        out.push_back(std::move(r));
    }
    const fs::path stops = inCity(city, "ostanov.dat");
    if (isFile(stops))
        out.push_back(readRegister<StopRef>(
            stops, "stop", [](BinReader& in, std::vector<StopRef>& v, std::vector<uint64_t>* e) { LoadStops(in, v, e); },
            plane));
    const fs::path metro = inCity(city, "metro.dat");
    if (isFile(metro))
        out.push_back(readRegister<TMetro>(
            metro, "metro", [](BinReader& in, std::vector<TMetro>& v, std::vector<uint64_t>* e) { LoadMetro(in, v, e); },
            plane));
    // User areas: every other ".dat" file of the city folder.
    std::vector<fs::path> areaFiles;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(city, ec)) {
        std::string lower = e.path().filename().string();
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
        if (e.is_regular_file(ec) && e.path().extension().string().size() == 4 && lower.size() > 4 &&
            lower.substr(lower.size() - 4) == ".dat" && lower != "ostanov.dat" && lower != "metro.dat")
            areaFiles.push_back(e.path());
    }
    std::sort(areaFiles.begin(), areaFiles.end());
    for (const fs::path& f : areaFiles)
        out.push_back(readRegister<AreaRef>(
            f, "area", [](BinReader& in, std::vector<AreaRef>& v, std::vector<uint64_t>* e) { LoadUserAreas(in, v, e); },
            plane));
}


void copyObjects(PgConnection& c, int mapId, const fs::path& bin, const Plane& plane, size_t& count,
                 const std::function<void(uint64_t done, uint64_t all)>& tick) {
    BinReader in(bin);
    RawObject o;
    int32_t pos = 0;
    // Into a table of the map's own, attached as the objects' partition
    // when it is full (its indexes are built then, in one go).
    const std::string part = "objects_" + std::to_string(mapId);
    c.exec("create table " + part + " (like objects including defaults including constraints)");
    c.exec("alter table " + part + " owner to darvent_admin");  // any admin may replace it
    c.copyIn("copy " + part + " (map_id, pos, number, start_node, end_node, kind, code, shape, name, pen_color, pen_style, "
             "pen_width, brush_style, brush_color, extra_int, extra_real, elevation, xy, label, geom) "
             "from stdin (format binary)",
             [&](PgConnection::CopyIn& w) {
                 while (readRawObject(in, o)) {
                     w.beginRow(20);
                     w.i32(mapId);
                     w.f64(double(pos++));
                     w.i32(o.number);
                     w.i32(o.startNode);
                     w.i32(o.endNode);
                     w.i16(o.kind);
                     w.i32(o.code);
                     w.i16(o.shape);
                     w.bytes(o.name.data(), o.name.size());
                     w.i32(o.penColor);
                     w.i32(o.penStyle);
                     w.i32(o.penWidth);
                     w.i32(o.brushStyle);
                     w.i32(o.brushColor);
                     w.i32(o.extraInt);
                     w.f64(o.extraReal);
                     w.f64(o.elevation);
                     w.f64Array(o.xy.data(), o.xy.size());
                     w.text(nameText(o.name));
                     const std::string g = geometry(o.kind, o.xy.data(), o.xy.size() / 2, plane);
                     if (g.empty()) w.null();
                     else w.bytes(g.data(), g.size());
                     if ((pos & 4095) == 0 && tick) tick(in.offset(), in.size());
                 }
             });
    c.exec("alter table objects attach partition " + part + " for values in (" + std::to_string(mapId) + ")");
    count += size_t(pos);
}

std::string joined(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : sep) + p;
    return out;
}

}  // namespace

bool ValidMapName(const std::string& name, std::string& why) {
    if (name.empty() || name.size() > 100) {
        why = "Имя карты должно быть от 1 до 100 знаков";
        return false;
    }
    for (unsigned char ch : name) {
        const bool ok = ch >= 0x80 || std::isalnum(ch) || std::strchr(" _-./()", ch);
        if (!ok || ch == 0) {
            why = "Недопустимый знак в имени карты «" + name + "»: только буквы, цифры, пробел и _-./()";
            return false;
        }
    }
    return true;
}

PushReport PushCity(PgConnection& c, const fs::path& startDir, const PushOptions& options) {
    const std::string folder = "Darvent";
    const fs::path city = resolvePathCase(startDir / folder);
    PushReport rep;
    rep.mapName = options.mapName.empty() ? folder : options.mapName;
    std::string why;
    if (!ValidMapName(rep.mapName, why)) throw StoreError(why);
    // The city map and the district maps of its list.
    std::vector<MapFiles> maps;
    auto readMap = [&](const std::string& stem) {
        MapFiles m;
        m.stem = stem;
        const fs::path orPath = stemFile(city, stem, ".or");
        if (!isFile(orPath)) throw FileError("Нет ориентирного файла " + pathText(orPath));
        m.orFile = fileName(orPath);
        m.orient = readWholeFile(orPath);
        m.record = ReadOrientation(orPath);
        const fs::path bin = stemFile(city, stem, ".bin");
        if (isFile(bin)) m.binFile = fileName(bin);
        return m;
    };
    maps.push_back(readMap(folder));
    const fs::path ray = inCity(city, folder + ".ray");
    std::vector<ListEntry> districts;
    if (isFile(ray)) districts = ReadDistrictList(ray);
    for (const ListEntry& d : districts)
        if (!d.file.empty() && isFile(stemFile(city, d.file, ".or"))) maps.push_back(readMap(d.file));

    PgTransaction t(c);
    RequireSchema(c);
    const PgResult had = c.exec("select id from maps where name = $1 and city_id is null", {rep.mapName});
    const bool replacing = had.rows() > 0;
    if (replacing && !options.replace)
        throw StoreError("Карта «" + rep.mapName + "» уже есть в базе; заменить её: --replace");
    if (c.exec("select 1 from maps where name = $1 and city_id is not null", {rep.mapName}).rows())
        throw StoreError("Имя «" + rep.mapName + "» занято картой района");
    if (replacing) {
        // The maps' objects go with their tables, not row by row.
        const PgResult gone = c.exec("select id from maps where id = $1 or city_id = $1", {had.text(0, 0)});
        for (int k = 0; k < gone.rows(); ++k) c.exec("drop table if exists objects_" + std::to_string(gone.integer(k, 0)));
        c.exec("delete from maps where id = $1", {had.text(0, 0)});
    }

    const int srid = mapSrid(c, maps[0].record);
    const Plane plane{srid, maps[0].record.CoordKind == 2};
    uint64_t allBytes = 0, doneBytes = 0;
    for (const MapFiles& m : maps)
        if (!m.binFile.empty()) allBytes += fs::file_size(city / m.binFile);
    auto tick = [&](uint64_t done, uint64_t) {
        if (options.progress && !options.progress(int(allBytes ? (doneBytes + done) * 100 / allBytes : 100)))
            throw StoreError("Загрузка в базу отменена: ничего не записано");
    };
    int cityId = 0;
    for (const MapFiles& m : maps) {
        const bool isCity = &m == &maps[0];
        const std::string name = isCity ? rep.mapName : rep.mapName + "/" + cp1251ToUtf8(m.stem);
        if (!ValidMapName(name, why)) throw StoreError(why);
        const OrientationRecord& o = m.record;
        auto num = [](double v) {
            char b[40];
            std::snprintf(b, sizeof b, "%.17g", v);
            return std::string(b);
        };
        const PgResult id = c.exec(
            "insert into maps (name, city_id, folder, stem, orient, x_max, x_min, y_max, y_min, coord_kind, srid) "
            "values ($1, $2, $3, $4, decode($5, 'hex'), $6, $7, $8, $9, $10, $11) returning id",
            {name, isCity ? std::nullopt : std::optional<std::string>(std::to_string(cityId)), folder,
             cp1251ToUtf8(m.stem), hexOf(std::string(m.orient.begin(), m.orient.end())), num(o.XMax), num(o.XMin),
             num(o.YMax), num(o.YMin), std::to_string(int(o.CoordKind)), std::to_string(srid)});
        const int mapId = int(id.integer(0, 0));
        if (isCity) cityId = mapId;
        ++rep.maps;
        auto fileRow = [&](const std::string& file, const std::optional<std::string>& content) {
            c.exec("insert into files (map_id, file, content) values ($1, $2, " +
                       std::string(content ? "decode($3, 'hex'))" : "null)"),
                   content ? std::vector<std::optional<std::string>>{std::to_string(mapId), file, hexOf(*content)}
                           : std::vector<std::optional<std::string>>{std::to_string(mapId), file});
            rep.files.push_back(folder + "/" + file);
        };
        fileRow(m.orFile, std::nullopt);
        if (!m.binFile.empty()) {
            fileRow(m.binFile, std::nullopt);
            copyObjects(c, mapId, city / m.binFile, plane, rep.objects, tick);
            doneBytes += fs::file_size(city / m.binFile);
        }
        std::vector<RegisterFile> registers;
        readRegisters(city, m.stem, isCity, plane, registers);
        if (isCity) {
            if (isFile(ray)) {
                const std::vector<uint8_t> list = readWholeFile(ray);
                fileRow(fileName(ray), std::string(list.begin(), list.end()));
            }
            for (const std::string& ext : {std::string(".grn"), std::string(".gtm")})
                for (const ListEntry& d : districts)
                    if (!d.file.empty() && isFile(stemFile(city, d.file, ext.c_str())))
                        registers.push_back(readRegister<int>(stemFile(city, d.file, ext.c_str()), "boundary", loadBoundaries, plane));
            if (isFile(inCity(city, "frontier.tum")))
                registers.push_back(readRegister<int>(inCity(city, "frontier.tum"), "boundary", loadBoundaries, plane));
        }
        for (RegisterFile& r : registers) {
            fileRow(r.file, std::nullopt);
            c.copyIn("copy records (map_id, file, kind, pos, record, name, geom) from stdin (format binary)",
                     [&](PgConnection::CopyIn& w) {
                         uint64_t from = 0;
                         for (size_t k = 0; k < r.ends.size(); ++k) {
                             w.beginRow(7);
                             w.i32(mapId);
                             w.text(r.file);
                             w.text(r.kind);
                             w.f64(double(k));
                             w.bytes(r.bytes.data() + from, size_t(r.ends[k] - from));
                             w.text(r.names[k]);
                             if (r.geoms[k].empty()) w.null();
                             else w.bytes(r.geoms[k].data(), r.geoms[k].size());
                             from = r.ends[k];
                         }
                     });
            rep.records += r.ends.size();
            if (r.kind != "street") continue;
            // The houses of each street, for GIS programs and the counts.
            const PgResult ids = c.exec("select id from records where map_id = $1 and file = $2 order by pos",
                                        {std::to_string(mapId), r.file});
            c.copyIn("copy houses (street_id, pos, number, floors, note, geom) from stdin (format binary)",
                     [&](PgConnection::CopyIn& w) {
                         for (int k = 0; k < ids.rows() && size_t(k) < r.streets.size(); ++k)
                             for (size_t h = 0; h < r.streets[size_t(k)]->Houses.size(); ++h) {
                                 const TDom& d = r.streets[size_t(k)]->Houses[h];
                                 w.beginRow(6);
                                 w.i64(ids.integer(k, 0));
                                 w.i32(int32_t(h));
                                 w.text(cp1251ToUtf8(d.Nomer()));
                                 w.i32(d.Etage);
                                 w.text(cp1251ToUtf8(d.DopInf));
                                 const double p[] = {d.X, d.Y};
                                 const std::string g = geometry(1, p, 1, plane);
                                 if (g.empty()) w.null();
                                 else w.bytes(g.data(), g.size());
                                 ++rep.houses;
                             }
                     });
        }
    }
    // The districts and their outlines (the last boundary of each outline
    // file), for the editors' rights.
    for (size_t k = 0; k < districts.size(); ++k) {
        const ListEntry& d = districts[k];
        std::string outline;
        const fs::path gtm = d.file.empty() ? fs::path() : stemFile(city, d.file, ".gtm");
        if (!gtm.empty() && isFile(gtm)) {
            const RegisterFile b = readRegister<int>(gtm, "boundary", loadBoundaries, plane);
            if (!b.geoms.empty()) outline = b.geoms.back();
        }
        c.exec("insert into districts (city_id, pos, name, stem, outline) values ($1, $2, $3, $4, " +
                   std::string(outline.empty() ? "null)" : "st_geomfromewkb(decode($5, 'hex')))"),
               outline.empty() ? std::vector<std::optional<std::string>>{std::to_string(cityId), std::to_string(k),
                                                                         cp1251ToUtf8(d.name), cp1251ToUtf8(d.file)}
                               : std::vector<std::optional<std::string>>{std::to_string(cityId), std::to_string(k),
                                                                         cp1251ToUtf8(d.name), cp1251ToUtf8(d.file),
                                                                         hexOf(outline)});
    }
    // The classifier's names beside the codes.
    const fs::path smn = resolvePathCase(startDir / "sem100n.smn");
    if (isFile(smn)) {
        try {
            const ActiveSemanticList list = LoadSemantics(smn);
            std::set<int32_t> seen;
            for (const std::string& line : list.Lines)
                if (const auto s = ParseSemanticLine(line); s && seen.insert(s->Code).second)
                    c.exec("insert into semantics (city_id, code, name) values ($1, $2, $3)",
                           {std::to_string(cityId), std::to_string(s->Code), cp1251ToUtf8(s->Name)});
        } catch (const FileError&) {
            // A damaged classifier leaves the layers without names, not the push undone.
        }
    }
    c.exec("insert into change_log (step, map_id, what) values ($1, $2, $3)",
           {replacing ? "replace" : "push", std::to_string(cityId),
            std::string(replacing ? "замена" : "загрузка") + " из " + pathText(startDir) + ": " +
                std::to_string(rep.objects) + " объектов, " + std::to_string(rep.records) + " записей"});
    if (options.progress && !options.progress(100)) throw StoreError("Загрузка в базу отменена: ничего не записано");
    t.commit();
    return rep;
}

std::vector<std::string> PullCity(PgConnection& c, const std::string& name, const fs::path& out, PulledRows* rows) {
    RequireSchema(c);
    PgTransaction t(c);
    c.exec("set transaction isolation level repeatable read, read only");
    const PgResult city = c.exec("select id, folder from maps where name = $1 and city_id is null", {name});
    if (!city.rows()) throw StoreError("Нет карты «" + name + "» в базе");
    const std::string cityId = city.text(0, 0);
    const fs::path folder = out / city.text(0, 1);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw FileError("Папка " + pathText(folder) + " не создана: " + ReasonText(ec));
    FileBatch batch;
    std::vector<std::string> written;
    const PgResult files = c.exec(
        "select f.map_id, f.file, f.content is null, encode(f.content, 'hex'), m.orient is null, encode(m.orient, 'hex') "
        "from files f join maps m on m.id = f.map_id where m.id = $1 or m.city_id = $1 order by f.map_id, f.file",
        {cityId});
    auto unhex = [](const std::string& h) {
        std::vector<uint8_t> v(h.size() / 2);
        for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(std::stoi(h.substr(2 * i, 2), nullptr, 16));
        return v;
    };
    for (int k = 0; k < files.rows(); ++k) {
        const std::string mapId = files.text(k, 0), file = files.text(k, 1);
        const fs::path target = folder / fs::path(file);
        std::vector<uint8_t> bytes;
        std::string lower = file;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
        const auto ends = [&](const char* ext) {
            return lower.size() >= std::strlen(ext) && lower.compare(lower.size() - std::strlen(ext), std::string::npos, ext) == 0;
        };
        if (files.text(k, 2) == "f") {
            bytes = unhex(files.text(k, 3));
        } else if (ends(".or")) {
            bytes = unhex(files.text(k, 5));
        } else if (ends(".bin") && c.exec("select 1 from records where map_id = $1 and file = $2 limit 1", {mapId, file}).rows() == 0) {
            // Written out a megabyte at a time as the rows come.
            AtomicFile& f = batch.add(target);
            BinWriter w;
            RawObject o;
            c.copyOut("copy (select number, start_node, end_node, kind, code, shape, name, pen_color, pen_style, pen_width, "
                      "brush_style, brush_color, extra_int, extra_real, elevation, xy from objects where map_id = " +
                          std::to_string(std::stoi(mapId)) + " order by pos, id) to stdout (format binary)",
                      [&](const PgConnection::Row& r) {
                          o.number = r.i32(0);
                          o.startNode = r.i32(1);
                          o.endNode = r.i32(2);
                          o.kind = uint8_t(r.i16(3));
                          o.code = r.i32(4);
                          o.shape = uint8_t(r.i16(5));
                          o.name.assign(r.bytes(6));
                          o.penColor = r.i32(7);
                          o.penStyle = r.i32(8);
                          o.penWidth = r.i32(9);
                          o.brushStyle = r.i32(10);
                          o.brushColor = r.i32(11);
                          o.extraInt = r.i32(12);
                          o.extraReal = r.f64(13);
                          o.elevation = r.f64(14);
                          o.xy.clear();
                          r.f64Array(15, o.xy);
                          writeRawObject(w, o);
                          if (w.size() >= (1u << 20)) {
                              f.write(w.data());
                              w.clear();
                          }
                      });
            f.write(w.data());
            f.finish();
            written.push_back(city.text(0, 1) + "/" + file);
            continue;
        } else {
            AtomicFile& f = batch.add(target);
            BinWriter w;
            c.copyOut("copy (select record from records where map_id = " + std::to_string(std::stoi(mapId)) +
                          " and file = " + QuoteLiteral(file) + " order by pos, id) to stdout (format binary)",
                      [&](const PgConnection::Row& r) {
                          const std::string_view b = r.bytes(0);
                          w.bytes(b.data(), b.size());
                          if (w.size() >= (1u << 20)) {
                              f.write(w.data());
                              w.clear();
                          }
                      });
            f.write(w.data());
            f.finish();
            written.push_back(city.text(0, 1) + "/" + file);
            continue;
        }
        writeFileAtomically(target, bytes, &batch);
        written.push_back(city.text(0, 1) + "/" + file);
    }
    if (rows) {
        rows->cityId = std::stoi(cityId);
        rows->lastLogId = c.exec("select coalesce(max(id), 0) from change_log where map_id = $1", {cityId}).integer(0, 0);
        const PgResult maps = c.exec("select id, stem from maps where id = $1 or city_id = $1", {cityId});
        for (int k = 0; k < maps.rows(); ++k) {
            const int id = int(maps.integer(k, 0));
            rows->mapIds[maps.text(k, 1)] = id;
            std::vector<PulledRows::Row>& v = rows->objects[id];
            c.copyOut("copy (select id, version, pos from objects where map_id = " + std::to_string(id) +
                          " order by pos, id) to stdout (format binary)",
                      [&](const PgConnection::Row& r) { v.push_back({r.i64(0), r.i64(1), r.f64(2), {}}); });
            c.copyOut("copy (select file, kind, id, version, pos, record from records where map_id = " + std::to_string(id) +
                          " order by file, pos, id) to stdout (format binary)",
                      [&](const PgConnection::Row& r) {
                          const auto key = std::make_pair(id, std::string(r.bytes(0)));
                          rows->recordKinds[key] = std::string(r.bytes(1));
                          rows->records[key].push_back({r.i64(2), r.i64(3), r.f64(4), std::string(r.bytes(5))});
                      });
        }
    }
    t.commit();
    batch.commit();
    return written;
}

StoreSummary DescribeStore(PgConnection& c) {
    StoreSummary s;
    s.schema = StoredSchemaVersion(c);
    if (s.schema != kSchemaVersion) RequireSchema(c);
    const PgResult r = c.exec(R"SQL(
select m.name, m.city_id is null,
  (select count(*) from objects o where o.map_id = m.id),
  (select count(*) from records r where r.map_id = m.id and r.kind = 'label'),
  (select count(*) from records r where r.map_id = m.id and r.kind = 'street'),
  (select count(*) from houses h join records r on r.id = h.street_id where r.map_id = m.id),
  (select count(*) from records r where r.map_id = m.id and r.kind = 'stop'),
  (select count(*) from records r where r.map_id = m.id and r.kind = 'area'),
  coalesce(last.by, m.changed_by), to_char(coalesce(last.at, m.changed_at), 'YYYY-MM-DD HH24:MI:SS')
from maps m
left join lateral (select x.by, x.at from (
    select changed_by as by, changed_at as at from objects where map_id = m.id
    union all select changed_by, changed_at from records where map_id = m.id) x
  order by x.at desc limit 1) last on true
order by coalesce(m.city_id, m.id), m.city_id is not null, m.name
)SQL");
    for (int k = 0; k < r.rows(); ++k) {
        MapSummary m;
        m.name = r.text(k, 0);
        m.city = r.text(k, 1) == "t";
        m.objects = r.integer(k, 2);
        m.labels = r.integer(k, 3);
        m.streets = r.integer(k, 4);
        m.houses = r.integer(k, 5);
        m.stops = r.integer(k, 6);
        m.areas = r.integer(k, 7);
        m.changedBy = r.text(k, 8);
        m.changedAt = r.text(k, 9);
        s.maps.push_back(std::move(m));
    }
    const PgResult last = c.exec("select by, to_char(at, 'YYYY-MM-DD HH24:MI:SS'), what from change_log order by id desc limit 1");
    if (last.rows()) {
        s.lastBy = last.text(0, 0);
        s.lastAt = last.text(0, 1);
        s.lastWhat = last.text(0, 2);
    }
    return s;
}

void GrantRole(PgConnection& c, const std::string& user, const std::string& role, const std::vector<std::string>& districts) {
    static const std::map<std::string, std::string> roles{
        {"reader", "darvent_reader"}, {"editor", "darvent_editor"}, {"admin", "darvent_admin"}};
    const auto it = roles.find(role);
    if (it == roles.end()) throw StoreError("Роль «" + role + "» неизвестна: reader, editor или admin");
    if (!districts.empty() && role != "editor") throw StoreError("Районы даются только роли editor");
    RequireSchema(c);
    PgTransaction t(c);
    if (c.exec("select 1 from pg_roles where rolname = $1", {user}).rows() == 0)
        throw StoreError("Нет пользователя «" + user + "» на сервере");
    c.exec("grant " + it->second + " to " + QuoteIdentifier(user) + (role == "admin" ? " with admin option" : ""));
    if (role == "admin")
        for (const char* r : {"darvent_reader", "darvent_editor"})
            c.exec(std::string("grant ") + r + " to " + QuoteIdentifier(user) + " with admin option");
    c.exec("delete from editor_districts where usename = $1", {user});
    std::vector<std::string> unknown;
    for (const std::string& d : districts) {
        const PgResult ids = c.exec("select id from districts where name = $1 or stem = $1", {d});
        if (!ids.rows()) unknown.push_back(d);
        for (int k = 0; k < ids.rows(); ++k)
            c.exec("insert into editor_districts (usename, district_id) values ($1, $2) on conflict do nothing",
                   {user, ids.text(k, 0)});
    }
    if (!unknown.empty()) throw StoreError("Нет таких районов в базе: " + joined(unknown, ", "));
    c.exec("insert into change_log (step, what) values ('grant', $1)",
           {user + ": " + role + (districts.empty() ? "" : " (" + joined(districts, ", ") + ")")});
    t.commit();
}

}  // namespace dm
