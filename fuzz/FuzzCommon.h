#pragma once
// Shared pieces of the fuzz targets: the input as a file, and the check
// that what a reader accepted writes back and reads again to the same bytes.

#include "mapdata/BinaryIO.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace dm::fuzz {

// A folder of this process for the files the readers and writers need.
inline const std::filesystem::path& workDir() {
    static const std::filesystem::path d = [] {
        auto p = std::filesystem::temp_directory_path() / ("dm-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    return d;
}

inline std::filesystem::path writeInput(const char* name, const uint8_t* data, size_t size) {
    const auto p = workDir() / name;
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return p;
}

[[noreturn]] inline void finding(const char* what) {
    std::fprintf(stderr, "FUZZ FINDING: %s\n", what);
    std::abort();
}

// Reads `data` with `load`; when it is accepted, writes it with `save`,
// reads that back and writes again: both writings must be the same bytes
// and the second reading must not fail.
template <class T, class Load, class Save>
void roundTrip(const uint8_t* data, size_t size, Load load, Save save) {
    T first{};
    try {
        load(data, size, first);
    } catch (const FileError&) {
        return;  // refused with a message: fine
    }
    const std::vector<uint8_t> b1 = save(first);
    T second{};
    try {
        load(b1.data(), b1.size(), second);
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        finding("what was written cannot be read back");
    }
    if (save(second) != b1) finding("written, read and written again differs");
}

// Saves through a file-writing function and returns the file's bytes.
template <class F>
std::vector<uint8_t> savedBytes(const char* name, F write) {
    const auto p = workDir() / name;
    write(p);
    return readWholeFile(p);
}

}  // namespace dm::fuzz
