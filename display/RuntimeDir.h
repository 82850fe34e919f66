#pragma once
// Qt wants a private runtime folder (XDG_RUNTIME_DIR) and complains on every
// start when a session has none, as under cron, ssh or a virtual display.
// Before the application object is made, an unset one is pointed at a
// folder of this user's own, created with the permissions Qt expects.

#include <QByteArray>
#include <QtGlobal>

#include <csignal>
#include <cstdlib>
#include <cstring>
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

// A map of millions of objects is millions of small allocations, and the
// first load of such a map spends much of its time taking page faults for
// the new memory.  With the heap in transparent huge pages (where the system
// gives them on request) it takes far fewer: the first load of 1,000,000
// objects takes about half the time.  The C library reads this setting only
// when a process starts, so the process starts itself once more with it;
// when that cannot be done it goes on as it is.  A setting of the user's own
// is left alone; DM_HEAP_SET=1 turns this off, and under valgrind (whose
// tools would not follow the new start) it is not done.
inline void UseLargePagesForTheHeap(char** argv) {
    if (std::getenv("DM_HEAP_SET")) return;
    ::setenv("DM_HEAP_SET", "1", 1);
    if (const char* pre = std::getenv("LD_PRELOAD"); pre && std::strstr(pre, "vgpreload")) return;
    const char* t = std::getenv("GLIBC_TUNABLES");
    if (t && std::strstr(t, "glibc.malloc.hugetlb")) return;
    const std::string v = t && *t ? std::string(t) + ":glibc.malloc.hugetlb=1" : "glibc.malloc.hugetlb=1";
    if (::setenv("GLIBC_TUNABLES", v.c_str(), 1) != 0) return;
    ::execv("/proc/self/exe", argv);
    // Still here: started as we are.
    if (t)
        ::setenv("GLIBC_TUNABLES", t, 1);
    else
        ::unsetenv("GLIBC_TUNABLES");
}

}  // namespace dm
