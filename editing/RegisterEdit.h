#pragma once
// One operation on a register kept as a list of shared records (streets,
// stops, user areas), made a step of the undo history: the list and the
// content of the record it touches are noted before the operation and
// after it, and an undo or a redo puts them back.

#include "UndoHistory.h"

#include <algorithm>
#include <functional>
#include <unordered_set>
#include <memory>
#include <vector>

namespace dm {

// The change that turned the list `from` into `to`, made on `current`,
// which may also hold other changes (another operator's records added or
// taken away meanwhile): those stay as they are.
template <class Ref>
std::vector<Ref> Rebased(const std::vector<Ref>& current, const std::vector<Ref>& from, const std::vector<Ref>& to) {
    if (current == from) return to;
    std::unordered_set<const void*> inFrom, inTo, inCurrent;
    for (const Ref& r : from) inFrom.insert(r.get());
    for (const Ref& r : to) inTo.insert(r.get());
    for (const Ref& r : current) inCurrent.insert(r.get());
    std::vector<Ref> out;
    // The step's records, but not those others took away meanwhile.
    for (const Ref& r : to)
        if (!inFrom.count(r.get()) || inCurrent.count(r.get())) out.push_back(r);
    // Others' records, each after the one it follows now.
    for (size_t i = 0; i < current.size(); ++i) {
        if (inFrom.count(current[i].get()) || inTo.count(current[i].get())) continue;
        auto at = out.begin();
        for (size_t j = i; j-- > 0;)
            if (auto p = std::find(out.begin(), out.end(), current[j]); p != out.end()) {
                at = p + 1;
                break;
            }
        out.insert(at, current[i]);
    }
    return out;
}

template <class T>
class RegisterEdit {
public:
    using List = std::vector<std::shared_ptr<T>>;
    // Before the operation; `touched` is the record whose fields it changes
    // (none when it only adds or removes records).
    explicit RegisterEdit(List& list, std::shared_ptr<T> touched = {})
        : list_(list), before_(list), touched_(std::move(touched)) {
        if (touched_) contentBefore_ = *touched_;
    }
    // The same, for an operation already under way: the record's content
    // as it was when the operation began.
    RegisterEdit(List& list, std::shared_ptr<T> touched, T contentBefore)
        : list_(list), before_(list), touched_(std::move(touched)), contentBefore_(std::move(contentBefore)) {}

    // After the operation: one step named `what`.  `restored` runs after
    // each undo and redo, for the owner to refresh what shows the register.
    // An undo or a redo changes only the records the operation changed.
    void commit(UndoHistory& history, const void* tag, const QString& what, std::function<void()> restored) {
        List* list = &list_;
        auto undo = [list, before = before_, after = list_, touched = touched_, content = contentBefore_, restored] {
            *list = Rebased(*list, after, before);
            if (touched) *touched = content;
            if (restored) restored();
        };
        auto redo = [list, before = before_, after = list_, touched = touched_, content = touched_ ? *touched_ : T{},
                     restored] {
            *list = Rebased(*list, before, after);
            if (touched) *touched = content;
            if (restored) restored();
        };
        history.begin(what);
        history.registerChange(tag, std::move(undo), std::move(redo));
        history.commit();
    }

private:
    List& list_;
    List before_;
    std::shared_ptr<T> touched_;
    T contentBefore_{};
};

}  // namespace dm
