#pragma once
// One operation on a register kept as a list of shared records (streets,
// stops, user areas), made a step of the undo history: the list and the
// content of the record it touches are noted before the operation and
// after it, and an undo or a redo puts them back.

#include "UndoHistory.h"

#include <functional>
#include <memory>
#include <vector>

namespace dm {

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
    void commit(UndoHistory& history, const void* tag, const QString& what, std::function<void()> restored) {
        List* list = &list_;
        auto undo = [list, before = before_, touched = touched_, content = contentBefore_, restored] {
            *list = before;
            if (touched) *touched = content;
            if (restored) restored();
        };
        auto redo = [list, after = list_, touched = touched_, content = touched_ ? *touched_ : T{}, restored] {
            *list = after;
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
