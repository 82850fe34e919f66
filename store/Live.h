#pragma once
// Several operators editing one city of the shared database at once.  An
// operator's step (one step of the undo history) is a set of rows as the
// step left them: objects and registers' records, each with the version the
// operator last saw.  It is applied in one transaction only if none of those
// rows changed since; then their versions go up, the change log gets the
// step with its rows, and the other programs are notified.  A step carries
// an id of its own and is applied once, however often it is sent.

#include "Pg.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dm {

// One row as a step leaves it.
struct RowImage {
    enum Table : char { Object = 'o', Record = 'r', Orientation = 'm' };
    Table table = Object;
    int64_t id = 0;       // 0: a new row
    int64_t version = 0;  // the version last seen (the new one in what the server returns)
    bool erase = false;
    double pos = 0;       // its place in the map's draw order or in its file
    int mapId = 0;        // the map (the city's or a district's)
    std::string file, kind;  // a record's file and kind ("label", "street", ...)
    std::string content;     // the record as the file holds it (an object: its object record)

    bool operator==(const RowImage&) const = default;
};

struct LiveStep {
    std::string id;    // unique (NewStepId)
    std::string what;  // "Перемещение объекта" (the step's name, UTF-8)
    std::vector<RowImage> rows;
};

// 32 hexadecimal digits from the system's random source.
std::string NewStepId();

// A row of a step that another operator changed or deleted meanwhile.
struct RowConflict {
    size_t index = 0;      // in the step's rows
    bool deleted = false;  // deleted (else changed)
    RowImage theirs;       // as it is now (deleted: as its deletion left it)
    std::string by, at;    // who and when (HH:MM)
};

struct StepResult {
    enum Status { Applied, AlreadyApplied, Conflict, Refused };
    Status status = Applied;
    int64_t logId = 0;
    std::vector<RowImage> rows;  // Applied, AlreadyApplied: the rows with their ids and new versions
    std::vector<RowConflict> conflicts;
    std::string message;  // Refused: the server's reason (Russian)
};

// Writes a step of the city `cityId` (its maps share one change log).
// A row whose version is not the one given is a conflict, and nothing is
// written; a deleted row given with `version` of its deletion and without
// `erase` is put back under its id.  Throws StoreError when the server
// cannot be reached (nothing is written then, or the step was written
// whole: sending it again is safe).
StepResult WriteStep(PgConnection& c, int cityId, const LiveStep& step);

// The rows as the database holds them now (a row not there: `erase`, with
// the version its deletion left).
std::vector<RowImage> CurrentRows(PgConnection& c, const std::vector<RowImage>& rows);

// A step of the change log as the others fetch it.
struct LoggedStep {
    int64_t logId = 0;
    std::string stepId, what, by, at;  // at: HH:MM
    std::vector<RowImage> rows;
};

// The steps of the city's log with ids above `after`, other than `seen`,
// in the log's order.
std::vector<LoggedStep> FetchSteps(PgConnection& c, int cityId, int64_t after, const std::vector<int64_t>& seen = {});

// The last log id of the city (0 when none).
int64_t LastLogId(PgConnection& c, int cityId);

// The ids, versions and positions of a map's objects in draw order.
struct RowKey {
    int64_t id = 0, version = 0;
    double pos = 0;
};
std::vector<RowKey> ObjectKeys(PgConnection& c, int mapId);
// The same for the records of a file of a map, in file order.
std::vector<RowKey> RecordKeys(PgConnection& c, int mapId, const std::string& file);

// The notification channel of a city; the programs that listen on it.
std::string CityChannel(int cityId);

// The advisory lock (with the city's id) a step holds from taking its log id
// to its commit.
constexpr int kLogOrderLock = 0x4c6f67;

void Listen(PgConnection& c, int cityId);
// The notifications that arrived (their payloads: log ids); false when
// the connection is lost.
bool TakeNotifications(PgConnection& c, std::vector<int64_t>& logIds);
// The operators with the city open (the connections named for it, each
// holding a shared lock on the city while it lives).
int OperatorCount(PgConnection& c, int cityId);
void NameConnection(PgConnection& c, int cityId);

}  // namespace dm
