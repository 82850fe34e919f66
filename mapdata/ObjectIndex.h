#pragma once
// A spatial index of the objects of a list: a grid over the objects' vertex
// extents in map coordinates.  It follows the list: additions, removals,
// moves in the draw order and changed objects are applied in place as the
// list reports them; any other change of the list (its revision moved on
// without a report) makes it build itself anew at the next query.
// Queries answer in list order (each object carries an order key that
// grows along the list).
#include "MapObjects.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace dm {

class ObjectIndex : public TObjListObserver {
public:
    ObjectIndex() = default;
    ObjectIndex(const ObjectIndex&) = delete;
    ObjectIndex& operator=(const ObjectIndex&) = delete;
    ~ObjectIndex() override;

    // Follows this list (null: none).
    void attach(TObjList* list);

    // Objects that draw far beyond their vertices (circles and arcs, pens
    // wider than this) are answered by every drawing query; a query by the
    // vertices (a click) finds them in their cells as any other object.
    static constexpr int kWidePen = 32;
    static bool farReaching(const TObj& o) { return o.Shape != 0 || o.PenWidth > kWidePen; }

    // The objects whose vertex extent meets the box, in list order; with
    // `withFar`, also every far-reaching object with vertices.
    void query(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out, bool withFar = false);
    // The same, the far-reaching objects with vertices answered, wherever
    // they are, exactly when `keepFar` keeps them (asked once each).
    using FarFilter = std::function<bool(const TObj&)>;
    void query(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out, const FarFilter& keepFar);
    // What a filter may keep of a far-reaching object from one query to the
    // next (figures of its own, worked out from the object): emptied
    // whenever the object is reported changed or the index is built anew.
    struct FarNote {
        bool filled = false;
        double v[11] = {};
    };
    // The same, the filter given the object's note as well.
    using NotedFarFilter = std::function<bool(const TObj&, FarNote&)>;
    void query(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out,
               const NotedFarFilter& keepFar);
    // The order key of a member (keys grow along the list).
    int64_t key(const TObj* o);
    // The extent of the vertices (false: none usable).
    struct Box {
        double xmin = 1, xmax = -1, ymin = 1, ymax = -1;
        bool valid() const { return xmin <= xmax && ymin <= ymax; }
    };
    static Box extentOf(const TObj& o);
    // The diagonal of the extent of every object's vertices as built (0
    // when none; infinite when no grid could be laid over them).
    double extentDiagonal();
    // How often the whole index was built (tests and benchmarks).
    uint64_t builds() const { return builds_; }
    // Builds now when the list changed behind the index's back.
    void ensure();
    // Swaps the list this index follows with `from` (a list read elsewhere)
    // and takes over what `other` built over `from`, when `other` follows it
    // and is built at its revision; otherwise builds at the next query.
    void adopt(ObjectIndex& other, TObjList& from);

    // TObjListObserver
    void objectInserted(const TObjList& list, size_t position) override;
    void objectRemoved(const TObjList& list, const TObj* o) override;
    void objectMoved(const TObjList& list, size_t to) override;
    void objectChanged(const TObjList& list, const TObj* o) override;
    void objectsReordered(const TObjList& list) override;

private:
    struct Entry {
        Box box;
        int64_t key = 0;
        TObj* obj = nullptr;
        int32_t cx0 = 0, cy0 = 0;  // its first cell: a query reports it from one cell only
        bool inLarge = false;
        bool inFar = false;
        uint8_t cw = 0, ch = 0;  // its last cell: cx0 + cw, cy0 + ch
        uint32_t farAt = 0;  // its place in far_ when inFar
    };
    void build();
    void select(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out, const FarFilter* keepFar,
                const NotedFarFilter* keepNoted = nullptr);
    bool followsReport(const TObjList& list);  // false: a rebuild is due anyway
    void place(Entry& e, uint32_t slot);
    void unplace(const Entry& e, uint32_t slot);
    void cellRange(const Box& b, int& cx0, int& cx1, int& cy0, int& cy1) const;
    Entry* entryOf(const TObj* o);
    int64_t keyBetween(const TObjList& list, size_t position);
    int64_t renumber(size_t position);

    TObjList* list_ = nullptr;
    uint64_t revision_ = 0;
    bool built_ = false;
    uint64_t builds_ = 0;
    std::vector<Entry> slots_;    // by the objects' Slot
    std::vector<uint32_t> free_;  // slots of removed objects
    // The cells and the side lists hold slots: one look-up reaches an
    // entry's box and key without touching the object.  A build lays the
    // cells out one after another (cell c: cellItems_ from cellStart_[c] to
    // cellStart_[c + 1], kGone where an object left); objects placed later
    // go to the cell's own extra list (extras_[extraAt_[c] - 1]; made for
    // the cells that get one, extraAt_ at the first).
    static constexpr uint32_t kGone = UINT32_MAX;
    // A far-reaching object's slot carries this bit in the cells, so that a
    // drawing query passes it by without looking it up.
    static constexpr uint32_t kFarBit = 0x80000000u;
    static uint32_t cellItem(const Entry& e, uint32_t slot) { return e.inFar ? slot | kFarBit : slot; }
    std::vector<uint32_t> cellStart_, cellItems_;
    std::vector<uint32_t> extraAt_;
    std::vector<std::vector<uint32_t>> extras_;
    std::vector<uint32_t>& extraOf(size_t c);
    std::vector<uint32_t>* extraIn(size_t c) {
        return extraAt_.empty() || extraAt_[c] == 0 ? nullptr : &extras_[extraAt_[c] - 1];
    }
    // Where an entry goes: false when to the side list of large objects
    // (or nowhere), true with its cell range.
    bool classify(Entry& e, uint32_t slot, int& cx0, int& cx1, int& cy0, int& cy1);
    size_t cellIndex(int cx, int cy) const { return size_t(cx) * size_t(ny_) + size_t(cy); }
    // Objects over many cells, with a copy of their box and whether they
    // reach far: every query looks at each of them.
    struct Large {
        Box box;
        uint32_t slot;
        bool far;
    };
    std::vector<Large> large_;
    struct Far {
        uint32_t slot;
        FarNote note;
    };
    std::vector<Far> far_;  // far-reaching (also in their cells)
    double x0_ = 0, y0_ = 0, gx1_ = -1, gy1_ = -1, cell_ = 1;
    int nx_ = 0, ny_ = 0;
    std::vector<std::pair<int64_t, TObj*>> scratch_;
    // While the keys grow with the slots (as built, and while objects are
    // only appended or removed), a query marks the slots it answers and
    // reads them off in order instead of sorting.
    bool keysFollowSlots_ = false;
    std::vector<uint64_t> marks_;
    std::vector<uint32_t> taken_;
};

}  // namespace dm
