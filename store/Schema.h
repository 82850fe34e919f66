#pragma once
// The shared city's schema in PostgreSQL/PostGIS, by versions: a new
// database gets it whole, an older one the missing steps in one
// transaction; a newer one is refused.

#include "Pg.h"

namespace dm {

// The schema this program knows.
constexpr int kSchemaVersion = 3;

// The database's schema version: 0 when it has none of ours.
int StoredSchemaVersion(PgConnection& c);

// Creates or brings up to date the schema (and the roles darvent_reader,
// darvent_editor, darvent_admin).  Refuses, with nothing written, a
// database of another program, one without PostGIS that cannot get it, and
// a schema newer than this program's.  Returns the version it found.
// upTo stops at an earlier version (for checking an upgrade).
int InitSchema(PgConnection& c, int upTo = kSchemaVersion);

// Throws StoreError unless the schema is this program's version.
void RequireSchema(PgConnection& c);

}  // namespace dm
