#pragma once
// A map of the shared database open for editing in this program, kept equal
// to the database while this operator and others edit it.  Each step of the
// undo history (and each operation on the labels, which have no undo) is
// kept in a journal on disk, then written as one step of the database; the
// others' steps arrive through the server's notifications and change only
// the objects and records they name.  A step the database will not take as
// it is (another operator changed or deleted one of its rows) is put to the
// operator; one made while the server cannot be reached waits in the
// journal, in order, until it can.

#include "CityStore.h"
#include "Live.h"
#include "editing/UndoHistory.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/MapDoc.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <string>
#include <unordered_map>
#include <vector>

namespace dm {

// A register beside the map (labels, streets, stops, user areas) as a
// program holds it: records in order, each known by an identity that stays
// while the record does.
class LiveRecords {
public:
    virtual ~LiveRecords() = default;
    using Record = std::pair<const void*, std::string>;  // identity, the record as its file holds it
    virtual std::vector<Record> records() const = 0;
    // Puts these records in this order: a known identity keeps its record
    // (its fields read from the bytes), null makes a new one.  Returns the
    // identities in order.
    virtual std::vector<const void*> assign(const std::vector<Record>& records) = 0;
};

// A register kept as a list of shared records.
template <class T>
class LiveRecordList final : public LiveRecords {
public:
    using Ref = std::shared_ptr<T>;
    using Encode = void (*)(BinWriter&, const T&);
    using Load = void (*)(BinReader&, std::vector<Ref>&, std::vector<uint64_t>*);
    LiveRecordList(std::vector<Ref>& list, Encode encode, Load load) : list_(list), encode_(encode), load_(load) {}

    std::vector<Record> records() const override {
        std::vector<Record> out;
        out.reserve(list_.size());
        for (const Ref& r : list_) {
            BinWriter w;
            encode_(w, *r);
            out.push_back({r.get(), std::string(reinterpret_cast<const char*>(w.data().data()), w.size())});
        }
        return out;
    }
    std::vector<const void*> assign(const std::vector<Record>& records) override {
        // Read as the file they make is read (stops and areas are numbered by place).
        std::string all;
        for (const auto& r : records) all += r.second;
        std::vector<Ref> read;
        BinReader in(reinterpret_cast<const uint8_t*>(all.data()), all.size(), "записи");
        try {
            load_(in, read, nullptr);
        } catch (const FileError&) {
            // A damaged record: those before it stay.
        }
        std::unordered_map<const void*, Ref> known;
        for (const Ref& r : list_) known[r.get()] = r;
        std::vector<Ref> next;
        std::vector<const void*> ids;
        for (size_t k = 0; k < read.size() && k < records.size(); ++k) {
            // Each record of the list stands for one record only.
            auto old = records[k].first ? known.find(records[k].first) : known.end();
            if (old != known.end()) {
                *old->second = std::move(*read[k]);
                next.push_back(old->second);
                known.erase(old);
            } else {
                next.push_back(read[k]);
            }
            ids.push_back(next.back().get());
        }
        list_ = std::move(next);
        return ids;
    }

private:
    std::vector<Ref>& list_;
    Encode encode_;
    Load load_;
};

// The steps not yet taken by the server, in order, in a file: a step is
// written and flushed to the disk before it shows as done, and marked when
// the server took it.
class StepJournal {
public:
    struct Entry {
        LiveStep step;
        int64_t time = 0;  // seconds since 1970
    };
    explicit StepJournal(std::filesystem::path file);
    const std::filesystem::path& file() const { return file_; }
    void append(const LiveStep& s);
    // The step taken by the server, with the ids its new rows got.
    void sent(const std::string& stepId, const std::map<int64_t, int64_t>& newIds = {});
    // The ids new rows of the steps sent got (a later step may name them by key).
    const std::map<int64_t, int64_t>& realIds() const { return realIds_; }
    const std::vector<Entry>& pending() const { return pending_; }
    // The file renamed aside (its steps kept, no longer waiting); returns its new name.
    std::filesystem::path keepAside();

private:
    void write(const BinWriter& w, bool durable);
    std::filesystem::path file_;
    std::vector<Entry> pending_;
    std::map<int64_t, int64_t> realIds_;
};

struct ConflictQuestion {
    QString text;  // as it is asked: "Объект изменён оператором … в …. Записать ваше изменение поверх?"
    bool deleted = false;
    std::vector<const TObj*> objects;  // the objects concerned, to be shown
};

class LiveMap {
public:
    struct Target {
        std::string url;                   // with its password, never kept elsewhere
        std::string stem;                  // the open map's stem ("Darvent" for the city)
        std::filesystem::path cityFolder;  // the pulled city's folder, whose files follow the database
        std::filesystem::path journal;
    };
    // Takes the rows of the pull that made the open map (`doc` holds its
    // objects in draw order).  Throws StoreError when the server cannot be
    // reached.
    LiveMap(const Target& t, PulledRows rows, MapDoc& doc, UndoHistory& history);
    ~LiveMap();
    LiveMap(const LiveMap&) = delete;
    LiveMap& operator=(const LiveMap&) = delete;

    // A register held in memory by a tool: its steps in the history carry
    // `tag`.  The tool keeps `records` alive until it unbinds it.
    void bindRecords(const std::string& file, int mapId, const void* tag, LiveRecords* records);
    void unbindRecords(const void* tag);
    // A register changed by an operation outside the history (the labels).
    void recordsChanged(const void* tag, const QString& what);

    // Asked when a step meets another operator's change: true writes it over.
    std::function<bool(const ConflictQuestion&)> askOverwrite;
    // The parts of the map that others' steps changed.
    std::function<void(const TouchedAreas&)> changedAreas;
    // A register file that others' steps changed (after its records were put in place).
    std::function<void(const std::string& file)> recordsArrived;
    // The server refused a step (rights): the reason, in Russian.
    std::function<void(const QString&)> refused;
    // The connection, the waiting steps or the last arrival changed.
    std::function<void()> statusChanged;
    // A step of this operator written into the journal; then taken by the
    // server (true) or dropped (a conflict answered No, a refusal).
    std::function<void(const LiveStep&)> journaled;
    std::function<void(const std::string& stepId, bool taken)> settled;
    // Another operator's step brought into the view.
    std::function<void(const std::string& stepId)> arrived;

    bool online() const { return c_ != nullptr; }
    size_t waiting() const { return journal_.pending().size(); }
    const StepJournal& journal() const { return journal_; }
    // The waiting steps of an earlier run not sent: their journal renamed
    // aside (returned), nothing of them kept waiting.
    std::filesystem::path keepJournalAside() { return journal_.keepAside(); }
    // "Иванов: Перемещение объекта, 12:41" (empty before any).
    const QString& lastArrival() const { return lastArrival_; }
    int operators();
    std::string user() const { return user_; }
    int cityId() const { return cityId_; }
    int mapId() const { return mapId_; }
    // The connection's socket, for a notifier (-1 when offline).
    int socket() const;

    // Takes the notifications and the steps they name; false when the
    // connection was lost (the program goes offline).
    bool poll();
    // Tries to reach the server again (when offline): catches up with the
    // others' steps and sends the waiting ones.  True when online.
    bool reconnect();
    // Sends the waiting steps (after a start with steps of an earlier run).
    void sendWaiting();
    // Sends the steps that wait (while online).
    void flushWaiting() { flush(nullptr); }
    // Brings every step of the change log into the view; false when offline.
    bool caughtUp();

    // Figures of the steps sent (for the harness).
    struct Counts {
        size_t accepted = 0, conflicts = 0, overwritten = 0, dropped = 0, refused = 0, arrived = 0;
    };
    const Counts& counts() const { return counts_; }
    // The id of every step this program made that the server took.
    const std::set<std::string>& acceptedSteps() const { return accepted_; }

    // What is wrong with the view's bookkeeping: every object with its row,
    // each id once and indexed, the list in the database's order. Empty when
    // all holds.
    std::string checkBookkeeping() const;
    // The database id of an object of the open map (0 when not yet written).
    int64_t objectId(const TObj* o) const;
    // Its place in the draw order as the database keeps it.
    double objectPlace(const TObj* o) const;

private:
    struct ObjRow {
        int64_t id = 0, version = 0;
        double pos = 0;
        int64_t remoteLog = 0;  // the others' last step that changed it
    };
    struct Shadow {  // a register file as the database holds it
        int mapId = 0;
        std::string file, kind;
        struct Rec {
            int64_t id = 0, version = 0;
            double pos = 0;
            std::string bytes;
            const void* identity = nullptr;
            int64_t remoteLog = 0;
        };
        std::vector<Rec> recs;
        const void* tag = nullptr;
        LiveRecords* bound = nullptr;
    };

    void connect();
    void goOffline();
    void onApplied(const UndoHistory::StepEffect& e);
    void objectRows(const UndoHistory::StepEffect& e, LiveStep& step, std::vector<const TObj*>& objects);
    void placeObjects(const std::vector<TObj*>& fresh, bool wholeList, std::vector<TObj*>& placed);
    RowImage objectRow(const TObj* o) const;
    void recordRows(Shadow& s, LiveStep& step);
    // Writes the journal's steps in order; the last may be the step just made
    // (`local`: its effect can be taken back in this program's view).
    void flush(const UndoHistory::StepEffect* local);
    enum class Outcome { Written, Dropped, Offline };
    Outcome writeOne(LiveStep& step, const UndoHistory::StepEffect* local, std::map<int64_t, int64_t>& newIds);
    // `original`: the step as journaled; `step`: as written.
    void tookStep(const LiveStep& original, const LiveStep& step, const StepResult& r);
    // A step waits: its rows' versions as it will leave them.
    void pend(const LiveStep& step);
    std::pair<char, int64_t> pendKey(const RowImage& r) const;
    void unpend(const LiveStep& step);
    void substituteVersions(LiveStep& step) const;
    void takeBack(const LiveStep& step, const UndoHistory::StepEffect* local);
    QString question(const RowConflict& k, const LiveStep& step) const;
    // Rows brought into the view, and what the view must hear of them.
    struct Arrival {
        TouchedAreas areas;
        std::vector<const TObj*> gone;
        std::vector<std::unique_ptr<TObj>> holders;  // the objects taken away, alive until told
        std::set<Shadow*> files;
        bool moved = false;  // objects changed places in the draw order
    };
    void applyRemote(const LoggedStep& s);
    void applyRows(const std::vector<RowImage>& rows, int64_t logId, Arrival& a);
    void applyObject(const RowImage& r, int64_t logId, Arrival& a);
    void finish(Arrival& a);
    // Undoing or doing again a step whose rows others changed since it was
    // written: the conflict to ask about, if any.
    bool changedSince(const UndoHistory::StepEffect& e, const LiveStep& step, RowConflict& k) const;
    void applyRecord(Shadow& s, const RowImage& r, int64_t logId);
    void writeFile(Shadow& s);
    void seen(int64_t logId);
    void readUpTo(int64_t logId);
    Shadow* shadowOf(int mapId, const std::string& file);
    Shadow* shadowOf(const void* tag);
    void substituteIds(LiveStep& step) const;

    Target target_;
    std::unique_ptr<PgConnection> c_;
    std::string user_;
    int cityId_ = 0, mapId_ = 0;
    MapDoc& doc_;
    UndoHistory& history_;
    StepJournal journal_;
    std::unordered_map<const TObj*, ObjRow> rows_;
    std::unordered_map<int64_t, TObj*> byId_;             // the objects in the list
    std::unordered_map<int64_t, const TObj*> outOfList_;  // taken out by this program's steps (keys only)
    std::map<std::pair<int, std::string>, Shadow> shadows_;
    // The registers' records as they were before this operator's last step
    // (a step taken back puts them back, as the history puts back the list).
    std::map<const Shadow*, std::vector<Shadow::Rec>> before_;
    // Rows of steps taken back while the server could not be read: read
    // again when it can.
    std::vector<RowImage> unsynced_;
    std::unordered_map<int64_t, const void*> erasedIdentity_;  // records this program took away
    std::map<std::pair<char, int64_t>, int64_t> deleted_;        // rows deleted, at the version of their deletion
    std::map<int64_t, int64_t> realIds_;          // a new row's key in the journal -> its id
    std::map<std::tuple<char, int64_t, int64_t>, int64_t> renamed_;  // a version expected -> the one written
    std::map<std::pair<char, int64_t>, int> pending_;                // rows of the steps that wait
    int64_t nextKey_ = -1;                          // keys of new rows (negative)
    std::unordered_map<uint64_t, int64_t> stepLog_;  // a history step -> the log id it was last written at
    std::set<std::string> mine_;                     // the steps this program has in its view
    std::set<std::string> accepted_;
    int64_t contiguous_ = 0;                         // every log id up to it seen
    std::set<int64_t> seenAbove_;
    bool quiet_ = false;                             // the history moved by this class itself
    QString lastArrival_;
    std::map<int64_t, std::pair<std::string, std::string>> arrivals_;  // the others' steps: who and when
    Counts counts_;
};

}  // namespace dm
