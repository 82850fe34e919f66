#include "ObjectIndex.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace dm {

namespace {
constexpr size_t kLargeCells = 64;      // objects over more cells are kept aside
constexpr int64_t kGap = int64_t(1) << 20;  // between the keys of neighbours

bool meets(const ObjectIndex::Box& b, double xmin, double xmax, double ymin, double ymax) {
    return b.valid() && b.xmin <= xmax && b.xmax >= xmin && b.ymin <= ymax && b.ymax >= ymin;
}
}  // namespace

ObjectIndex::~ObjectIndex() {
    if (list_ && list_->observer() == this) list_->setObserver(nullptr);
}

void ObjectIndex::attach(TObjList* list) {
    if (list_ && list_->observer() == this) list_->setObserver(nullptr);
    list_ = list;
    if (list_) list_->setObserver(this);
    built_ = false;
}

ObjectIndex::Box ObjectIndex::extentOf(const TObj& o) {
    Box b{INFINITY, -INFINITY, INFINITY, -INFINITY};
    for (const TXY& p : o.Points) {
        if (!std::isfinite(p.X) || !std::isfinite(p.Y)) continue;
        b.xmin = std::min(b.xmin, p.X);
        b.xmax = std::max(b.xmax, p.X);
        b.ymin = std::min(b.ymin, p.Y);
        b.ymax = std::max(b.ymax, p.Y);
    }
    if (!(b.xmin <= b.xmax)) return Box{};
    return b;
}

void ObjectIndex::ensure() {
    if (!list_) return;
    if (!built_ || revision_ != list_->revision()) build();
}

void ObjectIndex::adopt(ObjectIndex& other, TObjList& from) {
    // What `other` built holds for `from` while `from` is at the revision it
    // built or followed to: the same objects in the same order.
    const bool holds = other.list_ == &from && other.built_ && other.revision_ == from.revision() && list_ &&
                       list_ != &from;
    if (list_) list_->swap(from);
    built_ = false;
    if (!holds) return;
    slots_.swap(other.slots_);
    free_.swap(other.free_);
    cellStart_.swap(other.cellStart_);
    cellItems_.swap(other.cellItems_);
    extraAt_.swap(other.extraAt_);
    extras_.swap(other.extras_);
    large_.swap(other.large_);
    far_.swap(other.far_);
    keysFollowSlots_ = other.keysFollowSlots_;
    x0_ = other.x0_;
    y0_ = other.y0_;
    gx1_ = other.gx1_;
    gy1_ = other.gy1_;
    cell_ = other.cell_;
    nx_ = other.nx_;
    ny_ = other.ny_;
    ++builds_;
    other.built_ = false;
    revision_ = list_->revision();
    built_ = true;
}

void ObjectIndex::build() {
    ++builds_;
    const TObjList& list = *list_;
    const size_t n = list.size();
    slots_.assign(n, Entry{});
    free_.clear();
    large_.clear();
    far_.clear();
    keysFollowSlots_ = true;
    double gx0 = INFINITY, gx1 = -INFINITY, gy0 = INFINITY, gy1 = -INFINITY;
    for (size_t i = 0; i < n; ++i) {
        TObj& o = *list[i];
        Entry& e = slots_[i];
        e.obj = &o;
        e.key = int64_t(i) * kGap;
        e.box = extentOf(o);
        o.Slot.set(uint32_t(i));
        if (!e.box.valid()) continue;
        gx0 = std::min(gx0, e.box.xmin);
        gx1 = std::max(gx1, e.box.xmax);
        gy0 = std::min(gy0, e.box.ymin);
        gy1 = std::max(gy1, e.box.ymax);
    }
    // Extents too wide for a grid (far-off or damaged coordinates) keep
    // every object aside.
    if (gx0 <= gx1 && std::isfinite(gx1 - gx0) && std::isfinite(gy1 - gy0)) {
        const double w = std::max(gx1 - gx0, 1e-3), h = std::max(gy1 - gy0, 1e-3);
        const double cells = std::clamp(double(n) / 2, 1.0, 4e6);
        cell_ = std::max({std::sqrt(w * h / cells), std::max(w, h) / 4096, 1e-3});
        x0_ = gx0;
        y0_ = gy0;
        nx_ = std::max(1, int(std::ceil(w / cell_)) + 1);
        ny_ = std::max(1, int(std::ceil(h / cell_)) + 1);
        gx1_ = gx1;
        gy1_ = gy1;
    } else {
        nx_ = ny_ = 0;
        x0_ = y0_ = 0;
        cell_ = 1;
        gx1_ = gy1_ = -1;
    }
    // Two passes: how many go into each cell (cellStart_[c] ends as the end
    // of cell c), then each into its place from the back (cellStart_[c]
    // ends as its start).  No memory beyond the cells' own: at start-up a
    // map of millions of objects is indexed while it is being drawn.
    const size_t ncells = size_t(nx_) * size_t(ny_);
    extraAt_.clear();
    extras_.clear();
    cellStart_.assign(ncells + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        int cx0, cx1, cy0, cy1;
        if (!classify(slots_[i], uint32_t(i), cx0, cx1, cy0, cy1)) continue;
        for (int cx = cx0; cx <= cx1; ++cx)
            for (int cy = cy0; cy <= cy1; ++cy) ++cellStart_[cellIndex(cx, cy)];
    }
    for (size_t c = 1; c < ncells; ++c) cellStart_[c] += cellStart_[c - 1];
    if (ncells > 0) cellStart_[ncells] = cellStart_[ncells - 1];
    cellItems_.assign(cellStart_[ncells], kGone);
    for (size_t i = n; i-- > 0;) {
        const Entry& e = slots_[i];
        if (!e.box.valid() || e.inLarge) continue;  // not in the cells
        const uint32_t item = cellItem(e, uint32_t(i));
        for (int cx = e.cx0; cx <= e.cx0 + e.cw; ++cx)
            for (int cy = e.cy0; cy <= e.cy0 + e.ch; ++cy) cellItems_[--cellStart_[cellIndex(cx, cy)]] = item;
    }
    revision_ = list.revision();
    built_ = true;
}

void ObjectIndex::cellRange(const Box& b, int& cx0, int& cx1, int& cy0, int& cy1) const {
    // Cell numbers in doubles first: a box far off the grid must not overflow.
    auto cellOf = [this](double v, double origin, int count) {
        return int(std::clamp(std::floor((v - origin) / cell_), 0.0, double(count - 1)));
    };
    cx0 = cellOf(b.xmin, x0_, nx_);
    cx1 = cellOf(b.xmax, x0_, nx_);
    cy0 = cellOf(b.ymin, y0_, ny_);
    cy1 = cellOf(b.ymax, y0_, ny_);
}

bool ObjectIndex::classify(Entry& e, uint32_t slot, int& cx0, int& cx1, int& cy0, int& cy1) {
    e.inLarge = e.inFar = false;
    if (!e.box.valid()) return false;
    if (farReaching(*e.obj)) {
        e.inFar = true;
        e.farAt = uint32_t(far_.size());
        far_.push_back(Far{slot, {}});
    }
    cx0 = 0, cx1 = -1, cy0 = 0, cy1 = -1;
    if (nx_ > 0) cellRange(e.box, cx0, cx1, cy0, cy1);
    if (nx_ == 0 || size_t(cx1 - cx0 + 1) * size_t(cy1 - cy0 + 1) > kLargeCells) {
        e.inLarge = true;
        large_.push_back(Large{e.box, slot, e.inFar});
        return false;
    }
    e.cx0 = cx0;
    e.cy0 = cy0;
    e.cw = uint8_t(cx1 - cx0);
    e.ch = uint8_t(cy1 - cy0);
    return true;
}

std::vector<uint32_t>& ObjectIndex::extraOf(size_t c) {
    if (extraAt_.empty()) extraAt_.assign(cellStart_.size() - 1, 0);
    if (extraAt_[c] == 0) {
        extras_.emplace_back();
        extraAt_[c] = uint32_t(extras_.size());
    }
    return extras_[extraAt_[c] - 1];
}

void ObjectIndex::place(Entry& e, uint32_t slot) {
    int cx0, cx1, cy0, cy1;
    if (!classify(e, slot, cx0, cx1, cy0, cy1)) return;
    for (int cx = cx0; cx <= cx1; ++cx)
        for (int cy = cy0; cy <= cy1; ++cy) extraOf(cellIndex(cx, cy)).push_back(cellItem(e, slot));
}

void ObjectIndex::unplace(const Entry& e, uint32_t slot) {
    const uint32_t item = cellItem(e, slot);
    auto drop = [&](std::vector<uint32_t>& v, uint32_t what) {
        auto it = std::find(v.begin(), v.end(), what);
        if (it == v.end()) return;
        *it = v.back();
        v.pop_back();
    };
    if (e.inFar && e.farAt < far_.size() && far_[e.farAt].slot == slot) {
        far_[e.farAt] = far_.back();
        slots_[far_[e.farAt].slot].farAt = e.farAt;
        far_.pop_back();
    }
    if (e.inLarge) {
        auto it = std::find_if(large_.begin(), large_.end(), [&](const Large& l) { return l.slot == slot; });
        if (it != large_.end()) {
            *it = large_.back();
            large_.pop_back();
        }
        return;
    }
    if (!e.box.valid() || nx_ == 0) return;
    int cx0, cx1, cy0, cy1;
    cellRange(e.box, cx0, cx1, cy0, cy1);
    for (int cx = cx0; cx <= cx1; ++cx)
        for (int cy = cy0; cy <= cy1; ++cy) {
            const size_t c = cellIndex(cx, cy);
            const auto from = cellItems_.begin() + cellStart_[c], to = cellItems_.begin() + cellStart_[c + 1];
            if (auto it = std::find(from, to, item); it != to) {
                *it = kGone;
                continue;
            }
            if (std::vector<uint32_t>* extra = extraIn(c)) drop(*extra, item);
        }
}

ObjectIndex::Entry* ObjectIndex::entryOf(const TObj* o) {
    const uint32_t s = o->Slot.get();
    if (s >= slots_.size() || slots_[s].obj != o) return nullptr;
    return &slots_[s];
}

bool ObjectIndex::followsReport(const TObjList& list) {
    if (&list != list_ || !built_) return false;
    if (revision_ + 1 != list.revision()) {
        built_ = false;  // something went by unreported
        return false;
    }
    revision_ = list.revision();
    return true;
}

int64_t ObjectIndex::keyBetween(const TObjList& list, size_t position) {
    const Entry* prev = position > 0 ? entryOf(list[position - 1]) : nullptr;
    const Entry* next = position + 1 < list.size() ? entryOf(list[position + 1]) : nullptr;
    if ((position > 0 && !prev) || (position + 1 < list.size() && !next)) return renumber(position);
    if (!prev && !next) return 0;
    if (!next) {
        if (prev->key > INT64_MAX - 2 * kGap) return renumber(position);
        return prev->key + kGap;
    }
    if (!prev) {
        if (next->key < INT64_MIN + 2 * kGap) return renumber(position);
        return next->key - kGap;
    }
    if (next->key - prev->key < 2) return renumber(position);
    return prev->key + (next->key - prev->key) / 2;
}

int64_t ObjectIndex::renumber(size_t position) {
    const TObjList& list = *list_;
    keysFollowSlots_ = false;
    for (size_t i = 0; i < list.size(); ++i)
        if (Entry* e = entryOf(list[i])) e->key = int64_t(i) * kGap;
    return int64_t(position) * kGap;
}

void ObjectIndex::objectInserted(const TObjList& list, size_t position) {
    if (!followsReport(list)) return;
    TObj* o = list[position];
    uint32_t s;
    // An object appended while the keys follow the slots takes a new slot
    // at the end, so that they go on following them.
    const bool appended = position + 1 == list.size();
    if (!free_.empty() && !(appended && keysFollowSlots_)) {
        s = free_.back();
        free_.pop_back();
    } else {
        s = uint32_t(slots_.size());
        slots_.emplace_back();
    }
    o->Slot.set(s);
    Entry& e = slots_[s];
    e = Entry{};
    e.obj = o;
    e.box = extentOf(*o);
    e.key = keyBetween(list, position);
    // Appended in a new slot: its key and its slot are both the greatest.
    if (s + 1 != slots_.size() || !appended) keysFollowSlots_ = false;
    place(e, s);
}

void ObjectIndex::objectRemoved(const TObjList& list, const TObj* o) {
    if (!followsReport(list)) return;
    Entry* e = entryOf(o);
    if (!e) {
        built_ = false;
        return;
    }
    const uint32_t s = o->Slot.get();
    unplace(*e, s);
    *e = Entry{};
    free_.push_back(s);
}

void ObjectIndex::objectMoved(const TObjList& list, size_t to) {
    if (!followsReport(list)) return;
    Entry* e = entryOf(list[to]);
    if (!e) {
        built_ = false;
        return;
    }
    keysFollowSlots_ = false;
    const int64_t k = keyBetween(list, to);
    if (Entry* again = entryOf(list[to])) again->key = k;
}

void ObjectIndex::objectChanged(const TObjList& list, const TObj* o) {
    if (!followsReport(list)) return;
    Entry* e = entryOf(o);
    if (!e) return;  // not a member (any more)
    const uint32_t s = o->Slot.get();
    unplace(*e, s);
    e->box = extentOf(*o);
    place(*e, s);
}

void ObjectIndex::objectsReordered(const TObjList& list) {
    if (!followsReport(list)) return;
    keysFollowSlots_ = false;
    for (size_t i = 0; i < list.size(); ++i) {
        Entry* e = entryOf(list[i]);
        if (!e) {
            built_ = false;
            return;
        }
        e->key = int64_t(i) * kGap;
    }
}

double ObjectIndex::extentDiagonal() {
    ensure();
    if (nx_ == 0) return slots_.empty() ? 0 : INFINITY;
    return std::hypot(gx1_ - x0_, gy1_ - y0_);
}

int64_t ObjectIndex::key(const TObj* o) {
    ensure();
    const Entry* e = entryOf(o);
    return e ? e->key : INT64_MIN;
}

void ObjectIndex::query(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out, bool withFar) {
    static const FarFilter all = [](const TObj&) { return true; };
    select(xmin, xmax, ymin, ymax, out, withFar ? &all : nullptr);
}

void ObjectIndex::query(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out,
                        const FarFilter& keepFar) {
    select(xmin, xmax, ymin, ymax, out, &keepFar);
}

void ObjectIndex::query(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out,
                        const NotedFarFilter& keepFar) {
    static const FarFilter unused = [](const TObj&) { return true; };
    select(xmin, xmax, ymin, ymax, out, &unused, &keepFar);
}

// Without a filter, far-reaching objects are answered as any other (when
// their extent meets the box); with one, they are answered when it keeps
// them, wherever they are.
void ObjectIndex::select(double xmin, double xmax, double ymin, double ymax, std::vector<TObj*>& out,
                         const FarFilter* keepFar, const NotedFarFilter* keepNoted) {
    out.clear();
    if (!list_) return;
    ensure();
    if (std::isnan(xmin) || std::isnan(xmax) || std::isnan(ymin) || std::isnan(ymax)) {
        xmin = ymin = -INFINITY;
        xmax = ymax = INFINITY;
    }
    // A box over the whole grid: every object, as the list has them.
    if (nx_ == 0 || (xmin <= x0_ && xmax >= gx1_ && ymin <= y0_ && ymax >= gy1_)) {
        for (const auto& o : *list_) {
            const Entry* e = entryOf(o.get());
            if (!e) continue;
            bool take;
            if (keepFar && e->inFar) {
                take = e->box.valid() && (keepNoted ? (*keepNoted)(*o, far_[e->farAt].note) : (*keepFar)(*o));
            } else {
                take = meets(e->box, xmin, xmax, ymin, ymax);
            }
            if (take) out.push_back(o.get());
        }
        return;
    }
    // The answers are marked by slot, or gathered with their keys and sorted.
    const bool marking = keysFollowSlots_;
    size_t lo = SIZE_MAX, hi = 0;
    if (marking) marks_.resize((slots_.size() + 63) / 64, 0);
    scratch_.clear();
    taken_.clear();
    auto take = [&](uint32_t s) {
        if (marking) {
            const size_t w = s / 64;
            const uint64_t bit = uint64_t(1) << (s % 64);
            if (marks_[w] & bit) return;  // taken from another cell
            marks_[w] |= bit;
            lo = std::min(lo, w);
            hi = std::max(hi, w);
            taken_.push_back(s);
        } else {
            scratch_.emplace_back(slots_[s].key, slots_[s].obj);
        }
    };
    for (const Large& l : large_)
        if (!(keepFar && l.far) && meets(l.box, xmin, xmax, ymin, ymax)) take(l.slot);
    if (keepFar)
        for (Far& f : far_) {
            const Entry& e = slots_[f.slot];
            if (e.box.valid() && (keepNoted ? (*keepNoted)(*e.obj, f.note) : (*keepFar)(*e.obj))) take(f.slot);
        }
    {
        // Objects beyond the grid (moved there by edits) sit in its border
        // cells, where a query beyond it looks too.
        int cx0, cx1, cy0, cy1;
        cellRange(Box{xmin, xmax, ymin, ymax}, cx0, cx1, cy0, cy1);
        // A cell inside the box, off the grid's border: every object in it
        // meets the box (with room for the rounding of the cell numbers).
        const double room = cell_ * 1e-6 + (std::abs(x0_) + std::abs(y0_) + std::abs(gx1_) + std::abs(gy1_)) * 1e-12;
        for (int cx = cx0; cx <= cx1; ++cx)
            for (int cy = cy0; cy <= cy1; ++cy) {
                const bool inside = marking && cx > 0 && cy > 0 && cx + 1 < nx_ && cy + 1 < ny_ &&
                                    xmin <= x0_ + cx * cell_ - room && xmax >= x0_ + (cx + 1) * cell_ + room &&
                                    ymin <= y0_ + cy * cell_ - room && ymax >= y0_ + (cy + 1) * cell_ + room;
                // An object over several cells answers from the first of
                // them the query looks at (marked ones once anyway).
                auto look = [&](uint32_t item) {
                    if (item == kGone) return;
                    if (keepFar && (item & kFarBit)) return;  // answered from their own list
                    const uint32_t s = item & ~kFarBit;
                    if (inside) {
                        take(s);
                        return;
                    }
                    const Entry& e = slots_[s];
                    if (std::max(e.cx0, cx0) == cx && std::max(e.cy0, cy0) == cy &&
                        meets(e.box, xmin, xmax, ymin, ymax))
                        take(s);
                };
                const size_t c = cellIndex(cx, cy);
                if (!inside)  // the entries looked at below, fetched together
                    for (uint32_t k = cellStart_[c]; k < cellStart_[c + 1]; ++k)
                        if (cellItems_[k] != kGone) __builtin_prefetch(&slots_[cellItems_[k] & ~kFarBit]);
                for (uint32_t k = cellStart_[c]; k < cellStart_[c + 1]; ++k) look(cellItems_[k]);
                if (const std::vector<uint32_t>* extra = extraIn(c))
                    for (const uint32_t s : *extra) look(s);
            }
    }
    if (marking && taken_.size() * 16 < hi - lo + 1) {
        // Few answers spread over many slots (a click): sorted, not read off.
        for (const uint32_t s : taken_) marks_[s / 64] = 0;
        std::sort(taken_.begin(), taken_.end());
        out.reserve(taken_.size());
        for (const uint32_t s : taken_) out.push_back(slots_[s].obj);
        return;
    }
    if (marking) {
        for (size_t w = lo; w <= hi && lo != SIZE_MAX; ++w) {
            for (uint64_t bits = marks_[w]; bits; bits &= bits - 1)
                out.push_back(slots_[w * 64 + size_t(std::countr_zero(bits))].obj);
            marks_[w] = 0;
        }
        return;
    }
    std::sort(scratch_.begin(), scratch_.end());
    scratch_.erase(std::unique(scratch_.begin(), scratch_.end()), scratch_.end());
    out.reserve(scratch_.size());
    for (const auto& k : scratch_) out.push_back(k.second);
}

}  // namespace dm
