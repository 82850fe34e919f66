#include "UndoHistory.h"

#include <algorithm>

namespace dm {

UndoHistory::UndoHistory(MapDoc& doc) : doc_(doc), sub_(doc.events, [this](const MapEvent& e) { mapChanged(e); }) {}

bool UndoHistory::refersTo(const Step& s, const MapEvent& e) const {
    for (const Change& c : s.changes) {
        const TObj* o = nullptr;
        if (const auto* ct = std::get_if<Content>(&c)) o = ct->obj;
        else if (const auto* a = std::get_if<Added>(&c)) o = a->obj;
        else if (const auto* r = std::get_if<Removed>(&c)) o = r->obj;
        else if (const auto* m = std::get_if<Moved>(&c)) o = m->obj;
        else if (std::holds_alternative<Reordered>(c)) return true;  // positions of every object
        if (o && e.drops(o)) return true;
    }
    return false;
}

void UndoHistory::mapChanged(const MapEvent& e) {
    if (telling_) return;
    if (e.everything()) {
        clear();
        return;
    }
    if (e.kind == MapEvent::Synced) {
        // Another operator's change: only the steps over objects it took
        // away go (with the older ones, or the later ones to be done again).
        for (size_t i = done_.size(); i-- > 0;)
            if (refersTo(done_[i], e)) {
                done_.erase(done_.begin(), done_.begin() + long(i) + 1);
                break;
            }
        for (size_t i = undone_.size(); i-- > 0;)
            if (refersTo(undone_[i], e)) {
                undone_.erase(undone_.begin(), undone_.begin() + long(i) + 1);
                break;
            }
        if (depth_ && refersTo(open_, e)) cancel();
        if (stepsChanged) stepsChanged();
        return;
    }
    // An object removed outside the history: a step that refers to it can
    // no longer be taken back, nor any step older than it.
    for (size_t i = done_.size(); i-- > 0;)
        if (refersTo(done_[i], e)) {
            done_.erase(done_.begin(), done_.begin() + long(i) + 1);
            break;
        }
    undone_.clear();
    if (depth_ && refersTo(open_, e)) cancel();
    if (stepsChanged) stepsChanged();
}

void UndoHistory::begin(const QString& what) {
    if (depth_++ == 0) {
        open_ = Step{};
        open_.what = what;
        open_.mapModifiedBefore = doc_.MapModified;
    }
}

void UndoHistory::willChange(TObj* o) {
    if (!depth_ || !o) return;
    for (const Change& c : open_.changes)
        if (const auto* ct = std::get_if<Content>(&c); ct && ct->obj == o) return;  // first state counts
    open_.changes.push_back(Content{o, *o, TObj{}});
}

void UndoHistory::added(TObj* o) {
    if (!depth_) return;
    open_.changes.push_back(Added{o, 0, nullptr});
}

void UndoHistory::remove(TObj* o) {
    const long i = doc_.ObjList.indexOf(o);
    if (i < 0) return;
    tell(MapEvent{MapEvent::Removed, {o}});
    if (doc_.CurObj == o) doc_.CurObj = nullptr;
    doc_.EditPoints.clear();
    auto holder = doc_.ObjList.take(o);
    if (depth_) open_.changes.push_back(Removed{o, size_t(i), std::move(holder)});
}

void UndoHistory::move(size_t from, size_t to) {
    doc_.ObjList.move(from, to);
    if (depth_) open_.changes.push_back(Moved{from, to, to < doc_.ObjList.size() ? doc_.ObjList[to] : nullptr});
}

void UndoHistory::reorder(const std::vector<size_t>& order) {
    doc_.ObjList.reorder(order);
    if (depth_) open_.changes.push_back(Reordered{order});
}

void UndoHistory::willChangeOrientation() {
    if (!depth_) return;
    open_.changes.push_back(Orientation{doc_.Orientation, {}, doc_.OrientationModified});
}

void UndoHistory::custom(std::function<void()> undo, std::function<void()> redo) {
    if (!depth_) return;
    open_.changes.push_back(Custom{std::move(undo), std::move(redo)});
}

void UndoHistory::registerChange(const void* tag, std::function<void()> undo, std::function<void()> redo) {
    if (!depth_) return;
    open_.changes.push_back(Register{tag, std::move(undo), std::move(redo)});
}

void UndoHistory::forget(const void* tag) {
    const auto holds = [tag](const Step& s) {
        for (const Change& c : s.changes)
            if (const auto* r = std::get_if<Register>(&c); r && r->tag == tag) return true;
        return false;
    };
    std::erase_if(done_, holds);
    std::erase_if(undone_, holds);
    if (depth_ && holds(open_)) cancel();
    if (stepsChanged) stepsChanged();
}

bool UndoHistory::touchesMap(const Step& s) {
    for (const Change& c : s.changes)
        if (!std::holds_alternative<Register>(c)) return true;
    return false;
}

void UndoHistory::commit() {
    if (depth_ == 0 || --depth_ > 0) return;
    if (open_.changes.empty()) return;
    if (!readOnly.isEmpty()) {
        // Nothing of a map that may not change stays changed: the step is
        // taken back at once, and the tools hear of it as of an undo.
        Step s = std::move(open_);
        open_ = Step{};
        const bool map = touchesMap(s);
        MapEvent e{MapEvent::Restored, {}};
        const bool modified = doc_.MapModified;
        undoStep(s, e.gone);
        doc_.MapModified = modified;
        if (map) {
            doc_.CurObj = nullptr;
            doc_.EditPoints.clear();
            tell(e);
        }
        if (refused) refused(readOnly);
        return;
    }
    for (Change& c : open_.changes) {
        if (auto* ct = std::get_if<Content>(&c)) {
            ct->after = *ct->obj;
            doc_.ObjList.changed(ct->obj);
        }
        else if (auto* o = std::get_if<Orientation>(&c)) o->after = doc_.Orientation;
    }
    if (changedAreas) {
        TouchedAreas t;
        auto add = [&t](const TObj* o) {
            if (!o) return;
            if (ObjectIndex::farReaching(*o)) t.everything = true;
            const ObjectIndex::Box b = ObjectIndex::extentOf(*o);
            if (b.valid()) t.boxes.push_back(b);
        };
        for (const Change& c : open_.changes) {
            if (const auto* ct = std::get_if<Content>(&c)) {
                add(&ct->before);
                add(&ct->after);
            } else if (const auto* a = std::get_if<Added>(&c)) {
                add(a->obj);
            } else if (const auto* r = std::get_if<Removed>(&c)) {
                add(r->obj);
            } else if (const auto* m = std::get_if<Moved>(&c)) {
                add(m->obj);
            } else if (std::holds_alternative<Reordered>(c)) {
                t.everything = true;
            }
        }
        // A step over many objects (an import) redraws the whole picture
        // rather than merging thousands of rectangles.
        if (t.boxes.size() > TouchedAreas::kMaxBoxes) {
            t.everything = true;
            t.boxes.clear();
        }
        if (t.everything || !t.boxes.empty()) changedAreas(t);
    }
    open_.serial = ++serials_;
    done_.push_back(std::move(open_));
    open_ = Step{};
    undone_.clear();
    if (stepsChanged) stepsChanged();
    tellApplied(done_.back(), StepEffect::Done);
}

void UndoHistory::tellApplied(const Step& s, StepEffect::Kind kind) const {
    if (!applied) return;
    StepEffect e;
    e.kind = kind;
    e.serial = s.serial;
    e.what = s.what;
    const bool back = kind == StepEffect::Undone;
    for (const Change& c : s.changes) {
        if (const auto* ct = std::get_if<Content>(&c)) {
            e.changed.push_back(ct->obj);
        } else if (const auto* a = std::get_if<Added>(&c)) {
            if (back) e.removed.push_back(a->obj);
            else e.added.push_back(a->obj);
        } else if (const auto* r = std::get_if<Removed>(&c)) {
            if (back) e.added.push_back(r->obj);
            else e.removed.push_back(r->obj);
        } else if (std::holds_alternative<Moved>(c) || std::holds_alternative<Reordered>(c)) {
            e.moved = true;
        } else if (std::holds_alternative<Orientation>(c)) {
            e.orientation = true;
        } else if (const auto* g = std::get_if<Register>(&c)) {
            if (std::find(e.registers.begin(), e.registers.end(), g->tag) == e.registers.end())
                e.registers.push_back(g->tag);
        }
    }
    // An object changed and then taken away by the same step is told as taken away.
    std::erase_if(e.changed, [&](const TObj* o) {
        return std::find(e.removed.begin(), e.removed.end(), o) != e.removed.end();
    });
    applied(e);
}

void UndoHistory::dropLastDone() {
    if (!done_.empty()) done_.pop_back();
    if (stepsChanged) stepsChanged();
}

void UndoHistory::dropLastUndone() {
    if (!undone_.empty()) undone_.pop_back();
    if (stepsChanged) stepsChanged();
}

void UndoHistory::cancel() {
    depth_ = 0;
    open_ = Step{};
}

void UndoHistory::undoStep(Step& s, std::vector<const TObj*>& gone) {
    TObjList& list = doc_.ObjList;
    for (auto it = s.changes.rbegin(); it != s.changes.rend(); ++it) {
        std::visit(
            [&](auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, Content>) {
                    *c.obj = c.before;
                    list.changed(c.obj);
                } else if constexpr (std::is_same_v<T, Added>) {
                    c.index = size_t(std::max(0L, list.indexOf(c.obj)));
                    c.holder = list.take(c.obj);
                    if (c.holder) gone.push_back(c.obj);
                } else if constexpr (std::is_same_v<T, Removed>) {
                    list.insertAt(c.index, std::move(c.holder));
                } else if constexpr (std::is_same_v<T, Moved>) {
                    list.move(c.to, c.from);
                } else if constexpr (std::is_same_v<T, Reordered>) {
                    std::vector<size_t> inverse(c.order.size());
                    for (size_t i = 0; i < c.order.size(); ++i) inverse[c.order[i]] = i;
                    list.reorder(inverse);
                } else if constexpr (std::is_same_v<T, Orientation>) {
                    doc_.Orientation = c.before;
                    doc_.OrientationModified = c.modifiedBefore;
                } else {
                    c.undo();
                }
            },
            *it);
    }
}

void UndoHistory::redoStep(Step& s, std::vector<const TObj*>& gone) {
    TObjList& list = doc_.ObjList;
    for (auto& ch : s.changes) {
        std::visit(
            [&](auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, Content>) {
                    *c.obj = c.after;
                    list.changed(c.obj);
                } else if constexpr (std::is_same_v<T, Added>) {
                    if (c.holder) list.insertAt(c.index, std::move(c.holder));
                } else if constexpr (std::is_same_v<T, Removed>) {
                    c.index = size_t(std::max(0L, list.indexOf(c.obj)));
                    c.holder = list.take(c.obj);
                    if (c.holder) gone.push_back(c.obj);
                } else if constexpr (std::is_same_v<T, Moved>) {
                    list.move(c.from, c.to);
                } else if constexpr (std::is_same_v<T, Reordered>) {
                    list.reorder(c.order);
                } else if constexpr (std::is_same_v<T, Orientation>) {
                    doc_.Orientation = c.after;
                    doc_.OrientationModified = true;
                } else {
                    c.redo();
                }
            },
            ch);
    }
}

size_t UndoHistory::heldBytes() const {
    auto objectBytes = [](const TObj& o) { return o.Points.capacity() * sizeof(TXY); };
    size_t n = 0;
    for (const auto* steps : {&done_, &undone_}) {
        n += steps->capacity() * sizeof(Step);
        for (const Step& s : *steps) {
            n += size_t(s.what.capacity()) * sizeof(QChar) + s.changes.capacity() * sizeof(Change);
            for (const Change& c : s.changes) {
                if (const auto* k = std::get_if<Content>(&c)) n += objectBytes(k->before) + objectBytes(k->after);
                if (const auto* a = std::get_if<Added>(&c); a && a->holder)
                    n += sizeof(TObj) + objectBytes(*a->holder);
                if (const auto* r = std::get_if<Removed>(&c); r && r->holder)
                    n += sizeof(TObj) + objectBytes(*r->holder);
                if (const auto* o = std::get_if<Reordered>(&c)) n += o->order.capacity() * sizeof(size_t);
            }
        }
    }
    return n;
}

bool UndoHistory::undo() {
    if (done_.empty() || depth_) return false;
    for (const auto& f : travelling_) f();
    Step s = std::move(done_.back());
    done_.pop_back();
    MapEvent e{MapEvent::Restored, {}};
    const bool map = touchesMap(s);
    undoStep(s, e.gone);
    undone_.push_back(std::move(s));
    if (stepsChanged) stepsChanged();
    if (map) {
        doc_.CurObj = nullptr;
        doc_.EditPoints.clear();
        doc_.MapModified = true;
        tell(e);
    }
    // (a register's step: its owner refreshes itself)
    tellApplied(undone_.back(), StepEffect::Undone);
    return true;
}

bool UndoHistory::redo() {
    if (undone_.empty() || depth_) return false;
    for (const auto& f : travelling_) f();
    Step s = std::move(undone_.back());
    undone_.pop_back();
    MapEvent e{MapEvent::Restored, {}};
    const bool map = touchesMap(s);
    redoStep(s, e.gone);
    done_.push_back(std::move(s));
    if (stepsChanged) stepsChanged();
    if (map) {
        doc_.CurObj = nullptr;
        doc_.EditPoints.clear();
        doc_.MapModified = true;
        tell(e);
    }
    tellApplied(done_.back(), StepEffect::Redone);
    return true;
}

void UndoHistory::tell(const MapEvent& e) {
    telling_ = true;
    doc_.events.notify(e);
    telling_ = false;
}

void UndoHistory::clear() {
    done_.clear();
    undone_.clear();
    cancel();
    if (stepsChanged) stepsChanged();
}

}  // namespace dm
