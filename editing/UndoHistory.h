#pragma once
// Undo and redo of object edits.  A step records what an operation changed:
// object contents (before and after), objects added or removed (the removed
// ones are kept alive by the step), moves in the list, the orientation
// record, and changes of other subsystems given as a pair of functions.
// The registers beside the map (streets and houses, stops, user areas) put
// their operations here too, as steps of their own that leave the map's
// change flag alone.

#include "mapdata/MapDoc.h"

#include <QString>

#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace dm {

// Where a step changed the map: the extents of the objects it touched
// (before and after), and whether the whole picture may differ.
struct TouchedAreas {
    static constexpr size_t kMaxBoxes = 512;
    std::vector<ObjectIndex::Box> boxes;
    bool everything = false;
};

class UndoHistory {
public:
    // The history is emptied when the map is opened, replaced or closed,
    // and forgets the steps of an object removed outside it.
    explicit UndoHistory(MapDoc& doc);
    // Told at each commit of the parts of the map the step touched.
    std::function<void(const TouchedAreas&)> changedAreas;
    // Told whenever what can be undone or redone may have changed.
    std::function<void()> stepsChanged;
    // Not empty: the map may not change; every step is taken back when it
    // ends and `refused` is told this text.
    QString readOnly;
    std::function<void(const QString&)> refused;
    // Told before each undo and redo, so that a tool ends an operation
    // under way whose first part the step could change (the owner of `f`
    // lives as long as the history).
    void whenTravelling(std::function<void()> f) { travelling_.push_back(std::move(f)); }

    // What a step did, told after it was committed, undone or redone (to
    // keep a copy of the map elsewhere: the shared database's).
    struct StepEffect {
        enum Kind { Done, Undone, Redone };
        Kind kind = Done;
        uint64_t serial = 0;
        QString what;
        std::vector<TObj*> changed;        // contents changed, in the list
        std::vector<TObj*> added;          // came into the list
        std::vector<const TObj*> removed;  // left the list (kept alive by the history)
        bool moved = false;                // places in the list changed otherwise
        bool orientation = false;
        std::vector<const void*> registers;  // the registers whose records changed
    };
    std::function<void(const StepEffect&)> applied;
    // Takes the step last done (or undone) out of the history, as if it had
    // never been: for a step the shared database would not take.
    void dropLastDone();
    void dropLastUndone();

    // Starts recording a step; nested begin() calls join the open step.
    void begin(const QString& what);
    // Records the content of an object before it changes.
    void willChange(TObj* o);
    // An object appended (or inserted) by the operation.
    void added(TObj* o);
    // Removes an object from the list and keeps it for undo.
    void remove(TObj* o);
    // Moves an object within the list.
    void move(size_t from, size_t to);
    // Puts the list in a new order (a permutation of positions).
    void reorder(const std::vector<size_t>& order);
    // The orientation record before it changes.
    void willChangeOrientation();
    // A change elsewhere (labels...): how to take it back and do it again.
    void custom(std::function<void()> undo, std::function<void()> redo);
    // A change of a register beside the map, known by `tag` (its owner): a
    // step of such changes alone does not mark the map changed when it is
    // undone or redone.
    void registerChange(const void* tag, std::function<void()> undo, std::function<void()> redo);
    // The register `tag` was read again or went away: the steps that hold
    // its changes are dropped (the others stay).
    void forget(const void* tag);
    // Ends the step; an empty step is dropped.
    void commit();
    // Drops the open step without undoing it (the operation did nothing).
    void cancel();

    bool canUndo() const { return !done_.empty(); }
    bool canRedo() const { return !undone_.empty(); }
    QString undoText() const { return done_.empty() ? QString() : done_.back().what; }
    bool undo();
    bool redo();
    void clear();
    bool recording() const { return depth_ > 0; }
    // A number of the step last done (0 before any): equal numbers mean the
    // history stands where it stood.
    uint64_t topStep() const { return done_.empty() ? 0 : done_.back().serial; }
    // The memory the steps hold (their records, the object copies and the
    // vertices in them), for the memory figures of the benchmarks.
    size_t heldBytes() const;

private:
    struct Content {
        TObj* obj;
        TObj before, after;
    };
    struct Added {
        TObj* obj;
        size_t index = 0;
        std::unique_ptr<TObj> holder;  // while undone
    };
    struct Removed {
        TObj* obj;
        size_t index;
        std::unique_ptr<TObj> holder;  // while done
    };
    struct Moved {
        size_t from, to;
        TObj* obj = nullptr;
    };
    struct Reordered {
        std::vector<size_t> order;
    };
    struct Orientation {
        OrientationRecord before, after;
        bool modifiedBefore;
    };
    struct Custom {
        std::function<void()> undo, redo;
    };
    struct Register {
        const void* tag;
        std::function<void()> undo, redo;
    };
    using Change = std::variant<Content, Added, Removed, Moved, Reordered, Orientation, Custom, Register>;
    struct Step {
        QString what;
        std::vector<Change> changes;
        bool mapModifiedBefore = false;
        uint64_t serial = 0;
    };

    // `gone`: the objects the step takes out of the list.
    // Whether the step changes the map itself (not only a register).
    static bool touchesMap(const Step& s);
    void undoStep(Step& s, std::vector<const TObj*>& gone);
    void redoStep(Step& s, std::vector<const TObj*>& gone);
    void tell(const MapEvent& e);
    void tellApplied(const Step& s, StepEffect::Kind kind) const;

    void mapChanged(const MapEvent& e);
    bool refersTo(const Step& s, const MapEvent& e) const;

    MapDoc& doc_;
    std::vector<std::function<void()>> travelling_;
    bool telling_ = false;  // the history itself tells the map's subscribers
    std::vector<Step> done_, undone_;
    Step open_;
    int depth_ = 0;
    uint64_t serials_ = 0;
    MapSubscription sub_;
};

}  // namespace dm
