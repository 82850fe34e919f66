#pragma once
#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

// Runs dmap with arguments; returns exit code, fills stdout and stderr.
inline int runDmap(const std::string& args, std::string& out, std::string& err) {
    const std::string errFile = "/tmp/dmap_test_err_" + std::to_string(::getpid());
    const std::string cmd = std::string(DMAP_PATH) + " " + args + " 2>" + errFile;
    out.clear();
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = ::pclose(p);
    err.clear();
    if (FILE* e = std::fopen(errFile.c_str(), "r")) {
        while ((n = std::fread(buf.data(), 1, buf.size(), e)) > 0) err.append(buf.data(), n);
        std::fclose(e);
    }
    std::remove(errFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
