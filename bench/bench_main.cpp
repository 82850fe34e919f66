// Benchmarks of whole operations on a large generated map.  Each figure is
// the median of several runs, next to a baseline measured in the same run.
#include "cli/SampleCity.h"
#include "mapdata/MapDoc.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace dm;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long rssKb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Reads the file's bytes into memory, the way any program would at best.
size_t rawRead(const fs::path& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) throw FileError("cannot open " + p.string());
    const size_t size = fs::file_size(p);
    std::unique_ptr<uint8_t[]> buf(new uint8_t[size]);
    size_t got = std::fread(buf.get(), 1, size, f);
    std::fclose(f);
    // Touch the bytes so that nothing is optimised away.
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < got; i += 4096) sink = sink + buf[i];
    return got;
}

int benchLoad(const fs::path& bin, int runs) {
    const double mb = double(fs::file_size(bin)) / 1e6;
    std::printf("file: %s (%.1f MB)\n", bin.c_str(), mb);
    rawRead(bin);  // warm the page cache
    malloc_trim(0);
    const long rssBefore = rssKb();
    TObjList list;
    LoadObjects(bin, list);
    const long rssAfter = rssKb();
    const size_t objects = list.size();
    std::vector<double> raw, load, save;
    const fs::path out = bin.parent_path() / "bench-save.bin";
    for (int i = 0; i < runs; ++i) {
        raw.push_back(seconds([&] { rawRead(bin); }));
        TObjList l;
        load.push_back(seconds([&] { LoadObjects(bin, l); }));
        save.push_back(seconds([&] { SaveObjects(out, l); }));
    }
    fs::remove(out);
    const double r = median(raw), l = median(load), s = median(save);
    std::printf("objects: %zu, runs: %d (medians)\n", objects, runs);
    std::printf("raw read: %8.3f s  %8.1f MB/s\n", r, mb / r);
    std::printf("load:     %8.3f s  %8.1f MB/s  %10.0f objects/s  = %.2f of raw read speed (target >= 0.33)\n", l,
                mb / l, objects / l, r / l);
    std::printf("save:     %8.3f s  %8.1f MB/s  %10.0f objects/s\n", s, mb / s, objects / s);
    const double resident = double(rssAfter - rssBefore) * 1024 / 1e6;
    std::printf("resident memory after loading: %.1f MB = %.2f x file size (target <= 1.5)\n", resident,
                resident / mb);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() >= 2 && a[0] == "load") {
        const int runs = a.size() >= 3 ? std::max(1, std::atoi(a[2].c_str())) : 5;
        try {
            return benchLoad(a[1], runs);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "usage: darvent-bench load MAP.bin [RUNS]\n");
    return 2;
}
