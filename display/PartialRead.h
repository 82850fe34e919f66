#pragma once
// A register read with "the records before the damage stay": what was read
// is kept, but it is not the whole file, and saving it over that file would
// cut the file down.  Such a save asks first.

#include "DialogPort.h"

#include <filesystem>

namespace dm {

struct PartialRead {
    std::filesystem::path file;  // empty: nothing was read only in part
    size_t records = 0;          // the records read before the damage

    bool any() const { return !file.empty(); }
    void clear() { *this = PartialRead{}; }
    // After a read that threw with `count` records kept.
    void set(const std::filesystem::path& path, size_t count) {
        file = path;
        records = count;
    }
    // `target` is the file that was read only in part.
    bool covers(const std::filesystem::path& target) const;
};

// Before writing `target`: when it is the file read only in part, the
// question "Файл … прочитан не полностью (… записей). Сохранить только
// прочитанное?"; false (nothing is to be written) on No.  Yes forgets the
// partial read, since the file is then written as the list is.
bool ConfirmPartialSave(DialogPort& dialogs, PartialRead& partial, const std::filesystem::path& target);

}  // namespace dm
