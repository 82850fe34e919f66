#pragma once
// The standard output of a shell command (pdfinfo, pdftotext, ...).

#include <cstdio>
#include <string>

inline std::string commandOutput(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}
