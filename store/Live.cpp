#include "Live.h"

#include "Rows.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/MapFiles.h"
#include "streets/Streets.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

namespace dm {

using namespace store;

namespace {

using Params = std::vector<std::optional<std::string>>;

std::string num(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char b[32];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}
std::string num(int64_t v) { return std::to_string(v); }
std::string bytea(const std::string& b) { return "\\x" + hexOf(b); }

std::string floatArray(const std::vector<double>& v) {
    std::string s = "{";
    for (size_t k = 0; k < v.size(); ++k) s += (k ? "," : "") + num(v[k]);
    return s + "}";
}

std::optional<std::string> geomParam(const std::string& ewkb) {
    if (ewkb.empty()) return std::nullopt;
    return hexOf(ewkb);
}

const char* tableOf(RowImage::Table t) { return t == RowImage::Object ? "objects" : t == RowImage::Record ? "records" : "maps"; }

// The planes of the maps of a city.
std::map<int, Plane> planesOf(PgConnection& c, int cityId) {
    std::map<int, Plane> out;
    const PgResult r = c.exec("select id, srid, coord_kind from maps where id = $1 or city_id = $1", {num(int64_t(cityId))});
    for (int k = 0; k < r.rows(); ++k)
        out[int(r.integer(k, 0))] = Plane{int(r.integer(k, 1)), r.integer(k, 2) == 2};
    return out;
}

// The fields of an object row after the map id: pos .. geom ($2 .. $20).
Params objectFields(const RowImage& r, const Plane& plane) {
    RawObject o;
    BinReader in(reinterpret_cast<const uint8_t*>(r.content.data()), r.content.size(), "объект");
    if (!readRawObject(in, o)) throw StoreError("Пустая запись объекта в шаге");
    return {num(r.pos),        num(int64_t(o.number)),     num(int64_t(o.startNode)), num(int64_t(o.endNode)),
            num(int64_t(o.kind)), num(int64_t(o.code)),    num(int64_t(o.shape)),     bytea(o.name),
            num(int64_t(o.penColor)), num(int64_t(o.penStyle)), num(int64_t(o.penWidth)), num(int64_t(o.brushStyle)),
            num(int64_t(o.brushColor)), num(int64_t(o.extraInt)), num(o.extraReal), num(o.elevation),
            floatArray(o.xy),  nameText(o.name),       geomParam(geometry(o.kind, o.xy.data(), o.xy.size() / 2, plane))};
}
const char* const kObjectColumns =
    "pos, number, start_node, end_node, kind, code, shape, name, pen_color, pen_style, pen_width, brush_style, "
    "brush_color, extra_int, extra_real, elevation, xy, label, geom";

Params recordFields(const RowImage& r, const Plane& plane) {
    std::string name, geom;
    try {
        describeRecord(r.kind, r.content, plane, name, geom);
    } catch (const FileError&) {
        // A record the loaders refuse is kept as it is, without a name.
    }
    return {num(r.pos), r.file, r.kind, bytea(r.content), name, geomParam(geom)};
}
const char* const kRecordColumns = "pos, file, kind, record, name, geom";

// "$2, $3, ..." for n values after $1.
std::string placeholders(size_t n, size_t first = 2) {
    std::string s;
    for (size_t k = 0; k < n; ++k) s += (k ? ", $" : "$") + std::to_string(first + k);
    return s;
}

// The houses of a street record, for GIS programs and the counts.
void writeHouses(PgConnection& c, int64_t streetId, const std::string& record, const Plane& plane) {
    c.exec("delete from houses where street_id = $1", {num(streetId)});
    std::vector<StreetRef> v;
    try {
        BinReader in(reinterpret_cast<const uint8_t*>(record.data()), record.size(), "улица");
        LoadStreets(in, v);
    } catch (const FileError&) {
        return;
    }
    if (v.empty()) return;
    for (size_t h = 0; h < v[0]->Houses.size(); ++h) {
        const TDom& d = v[0]->Houses[h];
        const double p[] = {d.X, d.Y};
        c.exec("insert into houses (street_id, pos, number, floors, note, geom) values ($1, $2, $3, $4, $5, $6::geometry)",
               {num(streetId), num(int64_t(h)), cp1251ToUtf8(d.Nomer()), num(int64_t(d.Etage)), cp1251ToUtf8(d.DopInf),
                geomParam(geometry(1, p, 1, plane))});
    }
}

// The version a row's deletion left (the last log row that erased it), 0 when none.
int64_t deletedVersion(PgConnection& c, const RowImage& r, std::string& by, std::string& at) {
    const PgResult d = c.exec(
        "select r.version, l.by, to_char(l.at, 'HH24:MI') from change_rows r join change_log l on l.id = r.log_id "
        "where r.tab = $1 and r.row_id = $2 and r.erase order by r.log_id desc limit 1",
        {std::string(1, char(r.table)), num(r.id)});
    if (!d.rows()) return 0;
    by = d.text(0, 1);
    at = d.text(0, 2);
    return d.integer(0, 0);
}

// The row as it is now, for a conflict.
RowConflict currentRow(PgConnection& c, size_t index, const RowImage& mine) {
    RowConflict k;
    k.index = index;
    k.theirs = mine;
    k.theirs.erase = false;
    const std::string id = num(mine.id);
    if (mine.table == RowImage::Object) {
        const PgResult r = c.exec("select version, changed_by, to_char(changed_at, 'HH24:MI'), pos, map_id, number, "
                                  "start_node, end_node, kind, code, shape, name, pen_color, pen_style, pen_width, "
                                  "brush_style, brush_color, extra_int, extra_real, elevation, xy from objects "
                                  "where map_id = $2 and id = $1",
                                  {id, num(int64_t(mine.mapId))});
        if (r.rows()) {
            k.theirs.version = r.integer(0, 0);
            k.by = r.text(0, 1);
            k.at = r.text(0, 2);
            k.theirs.pos = std::stod(r.text(0, 3));
            k.theirs.mapId = int(r.integer(0, 4));
            RawObject o;
            o.number = int32_t(r.integer(0, 5));
            o.startNode = int32_t(r.integer(0, 6));
            o.endNode = int32_t(r.integer(0, 7));
            o.kind = uint8_t(r.integer(0, 8));
            o.code = int32_t(r.integer(0, 9));
            o.shape = uint8_t(r.integer(0, 10));
            o.name = r.bytes(0, 11);
            o.penColor = int32_t(r.integer(0, 12));
            o.penStyle = int32_t(r.integer(0, 13));
            o.penWidth = int32_t(r.integer(0, 14));
            o.brushStyle = int32_t(r.integer(0, 15));
            o.brushColor = int32_t(r.integer(0, 16));
            o.extraInt = int32_t(r.integer(0, 17));
            o.extraReal = std::stod(r.text(0, 18));
            o.elevation = std::stod(r.text(0, 19));
            // "{1,2,...}"
            const std::string xy = r.text(0, 20);
            for (size_t at = 1; at < xy.size() && xy[at] != '}';) {
                size_t end = xy.find_first_of(",}", at);
                o.xy.push_back(std::stod(xy.substr(at, end - at)));
                at = end + (xy[end] == ',' ? 1 : 0);
                if (xy[end] == '}') break;
            }
            BinWriter w;
            writeRawObject(w, o);
            k.theirs.content.assign(reinterpret_cast<const char*>(w.data().data()), w.size());
            return k;
        }
    } else {
        const PgResult r = c.exec("select version, changed_by, to_char(changed_at, 'HH24:MI'), pos, map_id, file, kind, "
                                  "record from records where id = $1",
                                  {id});
        if (r.rows()) {
            k.theirs.version = r.integer(0, 0);
            k.by = r.text(0, 1);
            k.at = r.text(0, 2);
            k.theirs.pos = std::stod(r.text(0, 3));
            k.theirs.mapId = int(r.integer(0, 4));
            k.theirs.file = r.text(0, 5);
            k.theirs.kind = r.text(0, 6);
            k.theirs.content = r.bytes(0, 7);
            return k;
        }
    }
    k.deleted = true;
    k.theirs.erase = true;
    k.theirs.version = deletedVersion(c, mine, k.by, k.at);
    return k;
}

// Writes one row; false when its version is not the one given (a conflict).
bool writeRow(PgConnection& c, RowImage& r, const Plane& plane) {
    if (r.table == RowImage::Orientation) {
        // The map's orientation: no version check, and the next node number
        // the greater of the two, so that two operators never hand out one node.
        const PgResult cur = c.exec("select orient from maps where id = $1 for update", {num(int64_t(r.mapId))});
        if (!cur.rows()) return false;
        const std::string theirs = cur.bytes(0, 0);
        if (theirs.size() >= kOrientationSize && r.content.size() >= kOrientationSize) {
            int32_t a, b;
            std::memcpy(&a, theirs.data() + 44, 4);
            std::memcpy(&b, r.content.data() + 44, 4);
            if (a > b) std::memcpy(r.content.data() + 44, &a, 4);
        }
        const PgResult u = c.exec("update maps set orient = $2, version = version + 1, changed_by = current_user, "
                                  "changed_at = now() where id = $1 returning version",
                                  {num(int64_t(r.mapId)), bytea(r.content)});
        r.version = u.integer(0, 0);
        return true;
    }
    const bool object = r.table == RowImage::Object;
    const char* table = tableOf(r.table);
    if (r.erase) {
        const PgResult d = c.exec(std::string("delete from ") + table +
                                      " where map_id = $3 and id = $1 and version = $2 returning id",
                                  {num(r.id), num(r.version), num(int64_t(r.mapId))});
        if (!d.rows()) return false;
        r.version += 1;  // the deletion's version
        return true;
    }
    const Params f = object ? objectFields(r, plane) : recordFields(r, plane);
    const std::string columns = object ? kObjectColumns : kRecordColumns;
    const size_t n = f.size();  // the geometry last
    auto values = [&](size_t first) { return placeholders(n, first) + "::geometry"; };
    auto with = [&](Params head, Params tail = {}) {
        head.insert(head.end(), f.begin(), f.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    if (r.id <= 0) {
        if (!object)
            c.exec("insert into files (map_id, file) values ($1, $2) on conflict do nothing", {num(int64_t(r.mapId)), r.file});
        const PgResult ins = c.exec(std::string("insert into ") + table + " (map_id, " + columns + ") values ($1, " +
                                        values(2) + ") returning id, version",
                                    with({num(int64_t(r.mapId))}));
        r.id = ins.integer(0, 0);
        r.version = ins.integer(0, 1);
    } else {
        std::string set;
        size_t k = 0;
        for (size_t from = 0;; ++k) {
            const size_t comma = columns.find(", ", from);
            const std::string col = columns.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
            set += (k ? ", " : "") + col + " = $" + std::to_string(k + 4) + (col == "geom" ? "::geometry" : "");
            if (comma == std::string::npos) break;
            from = comma + 2;
        }
        const PgResult u = c.exec(std::string("update ") + table + " set " + set +
                                      ", version = version + 1, changed_by = current_user, changed_at = now() "
                                      "where id = $1 and version = $2 and map_id = $3 returning version",
                                  with({num(r.id), num(r.version), num(int64_t(r.mapId))}));
        if (u.rows()) {
            r.version = u.integer(0, 0);
        } else {
            // A row deleted at the version given is put back under its id.
            std::string by, at;
            if (c.exec(std::string("select 1 from ") + table + " where map_id = $2 and id = $1",
                       {num(r.id), num(int64_t(r.mapId))})
                    .rows() ||
                deletedVersion(c, r, by, at) != r.version)
                return false;
            r.version += 1;
            c.exec(std::string("insert into ") + table + " (id, map_id, " + columns + ", version) values ($1, $2, " +
                       values(3) + ", $" + std::to_string(n + 3) + ")",
                   with({num(r.id), num(int64_t(r.mapId))}, {num(r.version)}));
        }
    }
    if (!object && r.kind == "street") writeHouses(c, r.id, r.content, plane);
    return true;
}

// The rows of a step that changed since their versions were seen, found
// without waiting for the locks of other steps under way (a step many
// others have overtaken fails at once instead of queueing behind them).
// Empty when every row present has its version (the writes decide then).
std::vector<RowConflict> staleRows(PgConnection& c, const LiveStep& step) {
    std::map<std::pair<char, int64_t>, int64_t> now;
    // By table and map (the objects' key is the map and the id).
    std::map<std::pair<char, int>, std::string> ids;
    for (const RowImage& r : step.rows)
        if (r.id > 0 && r.table != RowImage::Orientation) {
            std::string& list = ids[{char(r.table), r.table == RowImage::Object ? r.mapId : 0}];
            list += (list.empty() ? "{" : ",") + num(r.id);
        }
    for (const auto& [key, list] : ids) {
        const RowImage::Table t = RowImage::Table(key.first);
        const PgResult v = c.exec(std::string("select id, version from ") + tableOf(t) + " where id = any($1::bigint[])" +
                                      (t == RowImage::Object ? " and map_id = " + num(int64_t(key.second)) : ""),
                                  {list + "}"});
        for (int k = 0; k < v.rows(); ++k) now[{key.first, v.integer(k, 0)}] = v.integer(k, 1);
    }
    bool stale = false;
    for (const RowImage& r : step.rows)
        if (const auto n = now.find({char(r.table), r.id}); r.id > 0 && n != now.end() && n->second != r.version) stale = true;
    std::vector<RowConflict> out;
    if (!stale) return out;
    for (size_t k = 0; k < step.rows.size(); ++k) {
        const RowImage& r = step.rows[k];
        if (r.id <= 0 || r.table == RowImage::Orientation) continue;
        const auto n = now.find({char(r.table), r.id});
        std::string by, at;
        const bool conflict = n != now.end() ? n->second != r.version : r.erase || deletedVersion(c, r, by, at) != r.version;
        if (conflict) out.push_back(currentRow(c, k, r));
    }
    return out;
}

StepResult loggedResult(PgConnection& c, int64_t logId) {
    StepResult res;
    res.status = StepResult::AlreadyApplied;
    res.logId = logId;
    const std::vector<int64_t> none;
    PgResult r = c.exec("select tab, row_id, map_id, erase, version, pos, file, kind, content from change_rows "
                        "where log_id = $1 order by n",
                        {num(logId)});
    for (int k = 0; k < r.rows(); ++k) {
        RowImage i;
        i.table = RowImage::Table(r.text(k, 0)[0]);
        i.id = r.integer(k, 1);
        i.mapId = int(r.integer(k, 2));
        i.erase = r.text(k, 3) == "t";
        i.version = r.integer(k, 4);
        i.pos = std::stod(r.text(k, 5));
        i.file = r.text(k, 6);
        i.kind = r.text(k, 7);
        if (!r.isNull(k, 8)) i.content = r.bytes(k, 8);
        res.rows.push_back(std::move(i));
    }
    return res;
}

}  // namespace

std::string NewStepId() {
    std::random_device rd;
    std::string s;
    static const char* d = "0123456789abcdef";
    for (int k = 0; k < 8; ++k) {
        const uint32_t v = rd();
        for (int b = 0; b < 4; ++b) {
            s += d[(v >> (8 * b + 4)) & 15];
            s += d[(v >> (8 * b)) & 15];
        }
    }
    return s;
}

StepResult WriteStep(PgConnection& c, int cityId, const LiveStep& step) {
    for (int attempt = 0;; ++attempt) {
        try {
            PgTransaction t(c);
            const PgResult had = c.exec("select id from change_log where step_id = $1", {step.id});
            if (had.rows()) return loggedResult(c, had.integer(0, 0));
            const std::map<int, Plane> planes = planesOf(c, cityId);
            StepResult res;
            if (std::vector<RowConflict> stale = staleRows(c, step); !stale.empty()) {
                res.status = StepResult::Conflict;
                res.conflicts = std::move(stale);
                return res;  // rolled back
            }
            res.rows = step.rows;
            // Rows in one order, so that two steps never wait for each other.
            std::vector<size_t> order(res.rows.size());
            for (size_t k = 0; k < order.size(); ++k) order[k] = k;
            std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
                const RowImage &x = res.rows[a], &y = res.rows[b];
                if ((x.id <= 0) != (y.id <= 0)) return y.id <= 0;
                return std::make_pair(char(x.table), x.id) < std::make_pair(char(y.table), y.id);
            });
            for (size_t k : order) {
                RowImage& r = res.rows[k];
                const auto plane = planes.find(r.mapId);
                if (plane == planes.end()) throw StoreError("Шаг относится к карте, которой нет в этом городе");
                if (!writeRow(c, r, plane->second)) res.conflicts.push_back(currentRow(c, k, step.rows[k]));
            }
            if (!res.conflicts.empty()) {
                res.status = StepResult::Conflict;
                res.rows.clear();
                return res;  // rolled back
            }
            // Log ids in the order of commits: a program that has read a log
            // id then knows that every lower one is either readable or gone for
            // good (a transaction that rolled back), never still to come.  The
            // lock is held from taking the id to the commit.
            c.exec("select pg_advisory_xact_lock($1, $2)", {num(int64_t(kLogOrderLock)), num(int64_t(cityId))});
            const PgResult log = c.exec("insert into change_log (step, map_id, what, step_id) values ('edit', $1, $2, $3) "
                                        "returning id",
                                        {num(int64_t(cityId)), step.what, step.id});
            res.logId = log.integer(0, 0);
            c.copyIn("copy change_rows (log_id, n, tab, row_id, map_id, erase, version, pos, file, kind, content) "
                     "from stdin (format binary)",
                     [&](PgConnection::CopyIn& w) {
                         for (size_t k = 0; k < res.rows.size(); ++k) {
                             const RowImage& r = res.rows[k];
                             w.beginRow(11);
                             w.i64(res.logId);
                             w.i32(int32_t(k));
                             w.text(std::string(1, char(r.table)));
                             w.i64(r.id);
                             w.i32(r.mapId);
                             w.bytes(r.erase ? "\1" : "\0", 1);
                             w.i64(r.version);
                             w.f64(r.pos);
                             w.text(r.file);
                             w.text(r.kind);
                             if (r.erase) w.null();
                             else w.bytes(r.content.data(), r.content.size());
                         }
                     });
            c.exec("select pg_notify($1, $2)", {CityChannel(cityId), num(res.logId)});
            t.commit();
            res.status = StepResult::Applied;
            return res;
        } catch (const StoreError& e) {
            const std::string& s = e.sqlState();
            // Two steps that waited for each other, or one sent twice at once.
            if ((s == "40P01" || s == "40001" || s == "23505") && attempt < 8) continue;
            if (s == "42501") {
                StepResult res;
                res.status = StepResult::Refused;
                res.message = e.what();
                return res;
            }
            throw;
        }
    }
}

std::vector<LoggedStep> FetchSteps(PgConnection& c, int cityId, int64_t after, const std::vector<int64_t>& seen) {
    std::string seenList = "{";
    for (size_t k = 0; k < seen.size(); ++k) seenList += (k ? "," : "") + num(seen[k]);
    seenList += "}";
    const PgResult l = c.exec("select id, coalesce(step_id, ''), what, by, to_char(at, 'HH24:MI') from change_log "
                              "where map_id = $1 and id > $2 and not (id = any($3::bigint[])) and step = 'edit' order by id",
                              {num(int64_t(cityId)), num(after), seenList});
    std::vector<LoggedStep> out;
    for (int k = 0; k < l.rows(); ++k) {
        LoggedStep s;
        s.logId = l.integer(k, 0);
        s.stepId = l.text(k, 1);
        s.what = l.text(k, 2);
        s.by = l.text(k, 3);
        s.at = l.text(k, 4);
        s.rows = loggedResult(c, s.logId).rows;
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<RowImage> CurrentRows(PgConnection& c, const std::vector<RowImage>& rows) {
    std::vector<RowImage> out;
    for (size_t k = 0; k < rows.size(); ++k)
        if (rows[k].id > 0 && rows[k].table != RowImage::Orientation) out.push_back(currentRow(c, k, rows[k]).theirs);
    return out;
}

int64_t LastLogId(PgConnection& c, int cityId) {
    const PgResult r = c.exec("select coalesce(max(id), 0) from change_log where map_id = $1", {num(int64_t(cityId))});
    return r.integer(0, 0);
}

namespace {
std::vector<RowKey> keys(PgConnection& c, const std::string& sql) {
    std::vector<RowKey> out;
    c.copyOut(sql, [&](const PgConnection::Row& r) { out.push_back({r.i64(0), r.i64(1), r.f64(2)}); });
    return out;
}
}  // namespace

std::vector<RowKey> ObjectKeys(PgConnection& c, int mapId) {
    return keys(c, "copy (select id, version, pos from objects where map_id = " + num(int64_t(mapId)) +
                       " order by pos, id) to stdout (format binary)");
}

std::vector<RowKey> RecordKeys(PgConnection& c, int mapId, const std::string& file) {
    return keys(c, "copy (select id, version, pos from records where map_id = " + num(int64_t(mapId)) +
                       " and file = " + QuoteLiteral(file) + " order by pos, id) to stdout (format binary)");
}

std::string CityChannel(int cityId) { return "darvent_city_" + std::to_string(cityId); }

void Listen(PgConnection& c, int cityId) { c.exec("listen " + CityChannel(cityId)); }

bool TakeNotifications(PgConnection& c, std::vector<int64_t>& logIds) {
    if (!c.raw() || PQstatus(c.raw()) != CONNECTION_OK) return false;
    if (!PQconsumeInput(c.raw())) return false;
    while (PGnotify* n = PQnotifies(c.raw())) {
        try {
            logIds.push_back(std::stoll(n->extra));
        } catch (...) {
        }
        PQfreemem(n);
    }
    return PQstatus(c.raw()) == CONNECTION_OK;
}

// Each program with a city open holds a shared advisory lock on it for as
// long as its connection lives: the server's lock table, which every role
// may read (unlike other roles' sessions), counts the operators.
constexpr int kOperatorLock = 717171;

void NameConnection(PgConnection& c, int cityId) {
    c.exec("set application_name = '" + std::string("darvent-map ") + std::to_string(cityId) + "'");
    c.exec("select pg_advisory_lock_shared($1, $2)", {std::to_string(kOperatorLock), std::to_string(cityId)});
}

int OperatorCount(PgConnection& c, int cityId) {
    const PgResult r = c.exec(
        "select count(*) from pg_locks where locktype = 'advisory' and granted and classid = $1 and objid = $2 "
        "and objsubid = 2 and database = (select oid from pg_database where datname = current_database())",
        {std::to_string(kOperatorLock), std::to_string(cityId)});
    return int(r.integer(0, 0));
}

}  // namespace dm
