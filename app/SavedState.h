#pragma once
// Whether the map, its labels and its streets still differ from what was
// last read or saved: fingerprints of the bytes their files would hold,
// noted whenever a change flag turns clean and compared after an undo or a
// redo, so that taking every edit back clears the flag again.

#include "mapdata/MapDoc.h"
#include "names/Names.h"
#include "streets/Streets.h"

#include <cstdint>
#include <optional>

namespace dm {

// The objects' fingerprint, one object at a time in list order (as a map
// is read).  It covers every field the map file holds for an object, the
// doubles bit for bit, and where each object's name and vertices end.
class ObjectsPrinter {
public:
    void add(const TObj& o);
    uint64_t value() const { return h_; }

private:
    void step(uint64_t a, uint64_t b);
    uint64_t h_ = 0x243f6a8885a308d3ULL;
};

uint64_t ObjectsFingerprint(const TObjList& objects);
// The orientation record's and the objects' (the known one when the list is
// still at its revision; it is used up).
// `workedOut` (when given) counts the objects' fingerprints worked out.
uint64_t MapFingerprint(const MapDoc& doc, uint64_t* workedOut = nullptr);
// The labels and the streets: FNV-1a, eight bytes at a time, over the bytes
// their files would hold.
uint64_t NamesFingerprint(const std::vector<NameRef>& names);
uint64_t StreetsFingerprint(const std::vector<StreetRef>& streets);

class SavedState {
public:
    struct Flags {
        bool& map;
        bool& names;
        bool& streets;
    };
    struct Sources {
        const MapDoc& doc;
        const std::vector<NameRef>& names;
        const std::vector<StreetRef>& streets;
        uint64_t historyTop;  // the undo history's last step
    };

    // Notes the state of whatever is clean (the objects only when they
    // turned clean since the last look: a save, an open).
    void look(const Flags& f, const Sources& s);
    // After an undo or a redo: clears the flags of what is back to its
    // noted state.
    void backToSaved(const Flags& f, const Sources& s);
    // Another map: nothing noted holds.
    void forget() {
        const uint64_t prints = objectPrints_;
        *this = SavedState{};
        objectPrints_ = prints;
    }
    // How often the objects' fingerprint was worked out in full rather than
    // taken as known (tests and benchmarks).
    uint64_t objectPrints() const { return objectPrints_; }

private:
    struct Part {
        std::optional<uint64_t> print;
        bool wasModified = true;
    };
    Part map_, names_, streets_;  // wasModified: the objects' only
    uint64_t top_ = 0;  // the history's last step when the map was noted
    uint64_t objectPrints_ = 0;
};

}  // namespace dm
