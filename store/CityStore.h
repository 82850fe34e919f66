#pragma once
// A start folder's city in the shared database and back: the city map and
// its district maps (objects field by field, with a PostGIS geometry), their
// labels, the street register with its houses, stops, metro stations, user
// areas, the district list, boundaries and outlines, and the classifier's
// names.  A push is one transaction (COPY, not row by row); a pull writes
// every file through a temporary file, the files of the city together.
// A push and a pull give back every file pushed byte for byte.

#include "Pg.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dm {

struct PushOptions {
    std::string mapName;          // empty: the city folder's name
    bool replace = false;         // a map of that name is replaced
    // Told now and then with the share done (0..100); false stops the push
    // with nothing written.
    std::function<bool(int percent)> progress;
};

struct PushReport {
    std::string mapName;
    size_t maps = 0, objects = 0, records = 0, houses = 0;
    std::vector<std::string> files;  // relative to the start folder, as pushed
};

// A map name may hold letters, digits, spaces and "_-./()": no quotes,
// semicolons or control characters.  False with the reason otherwise.
bool ValidMapName(const std::string& name, std::string& why);

// Pushes the city of `startDir` (its folder "Darvent" with "Darvent.or").
// Needs the darvent_admin role (or the tables' owner).  Throws StoreError
// or FileError; then nothing is written.
PushReport PushCity(PgConnection& c, const std::filesystem::path& startDir, const PushOptions& options);

// Writes the city `name` (pushed before) as a start folder `out`: every
// file pushed, at its place.  Returns the files written (relative).
// What a program editing the city live needs besides the files, read in
// the same snapshot: the last step of the change log, and the ids, versions
// and places of every map's objects and of every register file's records.
struct PulledRows {
    struct Row {
        int64_t id = 0, version = 0;
        double pos = 0;
        std::string content;  // records only
    };
    int cityId = 0;
    int64_t lastLogId = 0;
    std::map<std::string, int> mapIds;  // by stem ("Darvent", a district's stem)
    std::map<int, std::vector<Row>> objects;  // by map, in draw order
    std::map<std::pair<int, std::string>, std::vector<Row>> records;  // by map and file, in file order
    std::map<std::pair<int, std::string>, std::string> recordKinds;
};
std::vector<std::string> PullCity(PgConnection& c, const std::string& name, const std::filesystem::path& out,
                                  PulledRows* rows = nullptr);

struct MapSummary {
    std::string name;
    bool city = true;
    long long objects = 0, labels = 0, streets = 0, houses = 0, stops = 0, areas = 0;
    std::string changedBy, changedAt;  // the last change of any of its rows
};
struct StoreSummary {
    int schema = 0;
    std::vector<MapSummary> maps;
    std::string lastBy, lastAt, lastWhat;  // the change log's last entry
};
StoreSummary DescribeStore(PgConnection& c);

// Gives `user` the role darvent_reader, darvent_editor or darvent_admin;
// an editor may be limited to districts of a city (their names).
void GrantRole(PgConnection& c, const std::string& user, const std::string& role,
               const std::vector<std::string>& districts = {});

}  // namespace dm
