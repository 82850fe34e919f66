#include "Schema.h"

#include <algorithm>
#include <string>
#include <vector>

namespace dm {

namespace {

// The layers GIS programs open, one per kind of object.
const std::string kViews = R"SQL(
-- For GIS programs: one layer per kind of object.
create view object_points as
  select o.id, m.name as map, o.pos, o.code, coalesce(s.name, '') as semantic, o.label as name, o.elevation,
         st_multi(o.geom) as geom
    from objects o join maps m on m.id = o.map_id
    left join semantics s on s.city_id = coalesce(m.city_id, m.id) and s.code = o.code
   where o.kind = 1 and geometrytype(o.geom) in ('POINT', 'MULTIPOINT');
create view object_lines as
  select o.id, m.name as map, o.pos, o.code, coalesce(s.name, '') as semantic, o.label as name, o.elevation,
         st_multi(o.geom) as geom
    from objects o join maps m on m.id = o.map_id
    left join semantics s on s.city_id = coalesce(m.city_id, m.id) and s.code = o.code
   where o.kind = 2 and geometrytype(o.geom) = 'LINESTRING';
create view object_areas as
  select o.id, m.name as map, o.pos, o.code, coalesce(s.name, '') as semantic, o.label as name, o.elevation,
         st_multi(o.geom) as geom
    from objects o join maps m on m.id = o.map_id
    left join semantics s on s.city_id = coalesce(m.city_id, m.id) and s.code = o.code
   where o.kind = 3 and geometrytype(o.geom) = 'POLYGON';
grant select on object_points, object_lines, object_areas to darvent_reader;
)SQL";

// Step k brings version k - 1 to version k.
const std::string kSteps[] = {
    // 1: maps, objects, the registers' records, houses, districts, rights.
    R"SQL(
do $$ begin
  if not exists (select 1 from pg_roles where rolname = 'darvent_reader') then
    create role darvent_reader nologin;
  end if;
  if not exists (select 1 from pg_roles where rolname = 'darvent_editor') then
    create role darvent_editor nologin in role darvent_reader;
  end if;
  if not exists (select 1 from pg_roles where rolname = 'darvent_admin') then
    create role darvent_admin nologin createrole in role darvent_editor;
  end if;
end $$;

create table darvent_schema (version int not null);
insert into darvent_schema values (0);

-- A map: the city's or a district's, under a name of its own; its
-- orientation record as the file holds it.
create table maps (
  id serial primary key,
  name text not null unique,
  city_id int references maps(id) on delete cascade,
  folder text not null,
  stem text not null,
  orient bytea not null,
  x_max float8, x_min float8, y_max float8, y_min float8,
  coord_kind smallint,
  srid int not null,
  version bigint not null default 1,
  changed_by text not null default current_user,
  changed_at timestamptz not null default now()
);

-- Every field of the object record; the vertices as X, Y pairs; the
-- geometry (plane: east, north) derived from them for GIS programs.  One
-- partition per map: a map is loaded into a table of its own and attached,
-- its indexes built once, and replaced by dropping that table.
create table objects (
  id bigserial,
  map_id int not null references maps(id) on delete cascade,
  pos int not null,
  number int not null, start_node int not null, end_node int not null,
  kind smallint not null, code int not null, shape smallint not null,
  name bytea not null,
  pen_color int not null, pen_style int not null, pen_width int not null,
  brush_style int not null, brush_color int not null, extra_int int not null,
  extra_real float8 not null, elevation float8 not null,
  xy float8[] not null,
  label text not null default '',
  geom geometry,
  version bigint not null default 1,
  changed_by text not null default current_user,
  changed_at timestamptz not null default now(),
  primary key (map_id, id)
) partition by list (map_id);
create index objects_map_pos on objects (map_id, pos);
create index objects_geom on objects using gist (geom);

-- The records of the registers beside a map (labels, streets with their
-- houses, stops, metro stations, user areas, district boundaries), each as
-- its file holds it, in file order; a name and a geometry for GIS programs.
create table records (
  id bigserial primary key,
  map_id int not null references maps(id) on delete cascade,
  file text not null,
  kind text not null,
  pos int not null,
  record bytea not null,
  name text not null default '',
  geom geometry,
  version bigint not null default 1,
  changed_by text not null default current_user,
  changed_at timestamptz not null default now()
);
create index records_map_file on records (map_id, file, pos);
create index records_geom on records using gist (geom);

create table houses (
  id bigserial primary key,
  street_id bigint not null references records(id) on delete cascade,
  pos int not null,
  number text not null, floors int not null, note text not null,
  geom geometry,
  version bigint not null default 1,
  changed_by text not null default current_user,
  changed_at timestamptz not null default now()
);
create index houses_street on houses (street_id, pos);

-- Every file pushed, by its name in the city folder: kept whole (the
-- district list), or (no content) made of the map's orientation record,
-- its objects or the records of that file.
create table files (
  map_id int not null references maps(id) on delete cascade,
  file text not null,
  content bytea,
  primary key (map_id, file)
);

-- The districts of a city and their outlines (the last boundary of each
-- district's outline file).
create table districts (
  id serial primary key,
  city_id int not null references maps(id) on delete cascade,
  pos int not null,
  name text not null,
  stem text not null,
  outline geometry
);

create table semantics (
  city_id int not null references maps(id) on delete cascade,
  code int not null,
  name text not null,
  primary key (city_id, code)
);

-- Editors limited to districts.
create table editor_districts (
  usename text not null,
  district_id int not null references districts(id) on delete cascade,
  primary key (usename, district_id)
);

create table change_log (
  id bigserial primary key,
  at timestamptz not null default now(),
  by text not null default current_user,
  step text not null,
  map_id int,
  what text not null
);

-- May the current user change an object of this geometry?  An editor
-- granted districts only within (meeting) their outlines.
create function darvent_may_edit(g geometry) returns boolean language sql stable as $$
  select not exists (select 1 from editor_districts where usename = current_user)
      or (g is not null and exists (
            select 1 from editor_districts e join districts d on d.id = e.district_id
             where e.usename = current_user and d.outline is not null and st_intersects(d.outline, g)))
$$;

-- The same for an object as it is to be written: a refusal that names the
-- user's districts.
create function darvent_check_edit(g geometry) returns boolean language plpgsql stable as $$
begin
  if darvent_may_edit(g) then return true; end if;
  raise exception using errcode = 'insufficient_privilege',
    message = 'Нет прав на изменение объектов вне районов: ' ||
      (select string_agg(d.name, ', ' order by d.pos) from editor_districts e join districts d on d.id = e.district_id
        where e.usename = current_user);
end
$$;

alter table objects enable row level security;
create policy objects_read on objects for select using (true);
create policy objects_edit on objects for all to darvent_editor
  using (darvent_may_edit(geom)) with check (darvent_check_edit(geom));

grant usage on schema public to darvent_reader;
grant select on all tables in schema public to darvent_reader;
grant insert, update, delete on objects, records, houses to darvent_editor;
grant insert on change_log to darvent_editor;
grant usage on all sequences in schema public to darvent_editor;
grant insert, update, delete, truncate on all tables in schema public to darvent_admin;
grant insert on spatial_ref_sys to darvent_admin;
-- Admins push and replace maps: each map's objects are a table of their own,
-- created by the admin and attached to the objects (which takes the owner).
grant create on schema public to darvent_admin;
alter table objects owner to darvent_admin;

)SQL" + kViews,
    // 2: several operators editing one map live.  Each step of an operator
    // is applied once (its id), with the rows as it left them, so that the
    // others fetch only those rows and the log can be replayed.  Positions
    // in the draw order and the registers become fractions, so that a
    // moved or inserted row takes a place between two others.
    R"SQL(
drop view object_points, object_lines, object_areas;
alter table objects alter column pos type float8;
alter table records alter column pos type float8;
alter table change_log add column step_id text unique;
create table change_rows (
  log_id bigint not null references change_log(id) on delete cascade,
  n int not null,
  tab char(1) not null,           -- o: an object, r: a register's record, m: a map's orientation
  row_id bigint not null,
  map_id int not null,
  erase boolean not null,
  version bigint not null,
  pos float8 not null,
  file text not null default '',
  kind text not null default '',
  content bytea,                  -- the record as its file holds it
  primary key (log_id, n)
);
create index change_log_map on change_log (map_id, id);
grant select on change_rows to darvent_reader;
grant insert on change_rows to darvent_editor;
grant insert on files to darvent_editor;
grant update (orient, version, changed_by, changed_at) on maps to darvent_editor;
)SQL" + kViews,
    // 3: the deletions of a row found without reading the whole change log
    // (a step over a deleted row asks for the version its deletion left).
    R"SQL(
create index change_rows_erased on change_rows (tab, row_id, log_id) where erase;
)SQL",
};

bool hasTable(PgConnection& c, const char* name) {
    return c.exec("select 1 from information_schema.tables where table_schema = 'public' and table_name = $1",
                  {std::string(name)})
               .rows() > 0;
}

}  // namespace

int StoredSchemaVersion(PgConnection& c) {
    if (!hasTable(c, "darvent_schema")) return 0;
    const PgResult r = c.exec("select max(version) from darvent_schema");
    return r.rows() && !r.isNull(0, 0) ? int(r.integer(0, 0)) : 0;
}

int InitSchema(PgConnection& c, int upTo) {
    constexpr int known = int(std::size(kSteps));
    static_assert(known == kSchemaVersion);
    PgTransaction t(c);
    // One initialisation at a time.
    c.exec("select pg_advisory_xact_lock(717170)");
    const int found = StoredSchemaVersion(c);
    if (found > kSchemaVersion)
        throw StoreError("Схема базы версии " + std::to_string(found) + " новее, чем знает программа (версия " +
                         std::to_string(kSchemaVersion) + "): обновите программу");
    if (found == 0) {
        // Tables of another program: not ours to build among.
        const PgResult other = c.exec(
            "select string_agg(table_name, ', ' order by table_name) from information_schema.tables "
            "where table_schema = 'public' and table_name not in ('spatial_ref_sys', 'geometry_columns', "
            "'geography_columns', 'raster_columns', 'raster_overviews')");
        if (!other.isNull(0, 0))
            throw StoreError("База «" + c.database() + "» занята другой программой (таблицы: " + other.text(0, 0) +
                             "); карты Дарвента создаются только в пустой базе");
        if (c.exec("select 1 from pg_extension where extname = 'postgis'").rows() == 0) {
            try {
                c.exec("savepoint postgis");
                c.exec("create extension postgis");
            } catch (const StoreError& e) {
                throw StoreError("В базе «" + c.database() + "» нет расширения PostGIS, и создать его не удалось: " +
                                 e.what());
            }
        }
    }
    for (int v = found; v < std::min(upTo, kSchemaVersion); ++v) {
        c.exec(kSteps[v]);
        c.exec("update darvent_schema set version = $1", {std::to_string(v + 1)});
    }
    t.commit();
    return found;
}

void RequireSchema(PgConnection& c) {
    const int v = StoredSchemaVersion(c);
    if (v == kSchemaVersion) return;
    if (v == 0) {
        if (c.exec("select 1 from pg_extension where extname = 'postgis'").rows() == 0)
            throw StoreError("В базе «" + c.database() + "» нет расширения PostGIS и схемы карт: сначала dmap db-init");
        throw StoreError("В базе «" + c.database() + "» нет схемы карт Дарвента: сначала dmap db-init");
    }
    if (v > kSchemaVersion)
        throw StoreError("Схема базы версии " + std::to_string(v) + " новее, чем знает программа (версия " +
                         std::to_string(kSchemaVersion) + "): обновите программу");
    throw StoreError("Схема базы версии " + std::to_string(v) + " старее программы (версия " +
                     std::to_string(kSchemaVersion) + "): dmap db-init её обновит");
}

}  // namespace dm
