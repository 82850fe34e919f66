#pragma once
// The objects of the open map together with the current object, the screen
// vertices of the current object and the orientation record.  One instance
// is owned by the main window; tests and the command-line tool make their own.

#include "MapFiles.h"
#include "MapObjects.h"
#include "ObjectIndex.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace dm {

// What happened to the open map's objects.  A tool that keeps an object, a
// vertex list or a list position between two steps answers by dropping it
// (or by finding it again), so that nothing refers to objects that are gone.
struct MapEvent {
    enum Kind {
        Opened,    // another map replaced the list (its objects are gone)
        Replaced,  // the list was rebuilt in place (a cut, a region map read)
        Closed,    // the map is closed (the program ends)
        Removed,   // the objects in `gone` left the list
        Restored,  // undo or redo: objects may have changed; those in `gone` left the list
        Synced,    // another operator's change arrived: objects may have changed; those in `gone` left the list
    };
    Kind kind = Opened;
    // Removed, Restored and Synced: the objects that left the list; they
    // are still alive while the event is told.
    std::vector<const TObj*> gone;

    // Every object may be gone (Opened, Replaced, Closed).
    bool everything() const { return kind == Opened || kind == Replaced || kind == Closed; }
    // `o` is no longer (or may no longer be) an object of the list.
    bool drops(const TObj* o) const;
};

// The subscribers of the map's life cycle, told in the order they came.
class MapEvents {
public:
    using Handler = std::function<void(const MapEvent&)>;
    // Returns a key for unsubscribe().
    int subscribe(Handler h);
    void unsubscribe(int key);
    void notify(const MapEvent& e) const;
    void notify(MapEvent::Kind k) const { notify(MapEvent{k, {}}); }

private:
    struct Entry {
        int key;
        Handler handler;
        bool live = true;  // false once unsubscribed, even mid-notification
    };
    std::vector<std::shared_ptr<Entry>> handlers_;
    int next_ = 1;
};

// A subscription for the life of its owner (which must not outlive the map).
class MapSubscription {
public:
    MapSubscription(MapEvents& events, MapEvents::Handler h) : events_(events), key_(events.subscribe(std::move(h))) {}
    ~MapSubscription() { events_.unsubscribe(key_); }
    MapSubscription(const MapSubscription&) = delete;
    MapSubscription& operator=(const MapSubscription&) = delete;

private:
    MapEvents& events_;
    int key_;
};

struct MapDoc {
    MapDoc() { Index.attach(&ObjList); }
    MapDoc(const MapDoc&) = delete;
    MapDoc& operator=(const MapDoc&) = delete;
    TObjList ObjList;
    // Where the objects lie; it follows ObjList (a cache: queries of a
    // constant map may bring it up to date).
    mutable ObjectIndex Index;
    // A fingerprint of the objects made where they were read (on another
    // thread), valid while ObjList stays at that revision; taken once by
    // whoever fingerprints the map next.
    struct ObjectsPrint {
        uint64_t revision = 0;
        uint64_t print = 0;
    };
    mutable std::optional<ObjectsPrint> KnownObjectsPrint;
    std::vector<TGn> EditPoints;
    TObj* CurObj = nullptr;
    OrientationRecord Orientation;
    bool MapModified = false;
    // Keeps CurObj and EditPoints over a scope that may change them.
    struct Keep {
        explicit Keep(MapDoc& d) : doc(d), cur(d.CurObj), points(d.EditPoints) {}
        ~Keep() {
            doc.CurObj = cur;
            doc.EditPoints = points;
        }
        MapDoc& doc;
        TObj* cur;
        std::vector<TGn> points;
    };
    bool OrientationModified = false;
    // The map's life cycle: opened, replaced, closed, objects removed, undo.
    MapEvents events;

    // Removes an object by identity and frees it; EditPoints is cleared and
    // CurObj forgotten if it was that object; the subscribers are told first.
    bool removeObject(const TObj* o);
    // Drops every object (opening another map).
    void clearObjects();

    // Hands out the next node number of the orientation record.
    int32_t takeNextNode();

    // Divides `o` at vertex k: `o` keeps vertices 0..k and ends in a fresh
    // node; a new object with vertices k..last, starting at that node and
    // ending at the old end node, is appended and returned.  Null (nothing
    // changed) when k is not a vertex of `o`.
    TObj* divideObject(TObj& o, int k);
};

}  // namespace dm
