#include "PartialRead.h"

namespace fs = std::filesystem;

namespace dm {

bool PartialRead::covers(const fs::path& target) const {
    if (file.empty()) return false;
    std::error_code ec;
    if (fs::exists(file, ec) && fs::exists(target, ec)) {
        const bool same = fs::equivalent(file, target, ec);
        if (!ec) return same;
    }
    // Names differing only in letter case are one file on the system the
    // data come from.
    const auto norm = [](const fs::path& p) {
        return QString::fromStdString(p.lexically_normal().string()).toCaseFolded();
    };
    return norm(fs::absolute(file, ec)) == norm(fs::absolute(target, ec));
}

bool ConfirmPartialSave(DialogPort& dialogs, PartialRead& partial, const fs::path& target) {
    if (!partial.covers(target)) return true;
    const QString text = QStringLiteral("Файл %1 прочитан не полностью (%2 записей). Сохранить только прочитанное?")
                             .arg(QString::fromStdString(partial.file.string()))
                             .arg(partial.records);
    if (dialogs.question(text) != DialogPort::Answer::Yes) return false;
    partial.clear();
    return true;
}

}  // namespace dm
