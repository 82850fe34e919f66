#pragma once
// Qt wants a private runtime folder (XDG_RUNTIME_DIR) and complains on every
// start when a session has none, as under cron, ssh or a virtual display.
// Before the application object is made, an unset one is pointed at a
// folder of this user's own, created with the permissions Qt expects.

#include <QByteArray>
#include <QtGlobal>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace dm {

inline void EnsureRuntimeDir() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const std::string dir = "/tmp/runtime-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || st.st_uid != ::getuid()) return;
    if ((st.st_mode & 0777) != 0700) ::chmod(dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
}

// A write past the file-size limit (ulimit -f) ends the process by a signal
// before it can remove its temporary file; ignored, the write fails with an
// error instead, which every save reports and cleans up after.
inline void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace dm
