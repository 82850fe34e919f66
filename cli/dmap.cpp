// dmap: the command-line companion of the map program.
#include "SampleCity.h"

#include "mapdata/Geometry.h"
#include "mapdata/MapDoc.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace dm;

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

struct UsageError {
    std::string text;
};

struct Command {
    const char* name;
    const char* args;
    const char* help;
    std::function<int(const std::vector<std::string>&)> run;
};

bool parseDouble(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(v);
}

bool parseLong(const std::string& s, long long& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s.c_str(), &end, 10);
    return end && *end == '\0' && errno == 0;
}

// The ".or" and ".bin" of a map given by either of them.
void mapPaths(const std::string& arg, fs::path& orPath, fs::path& binPath) {
    fs::path p(arg);
    orPath = resolvePathCase(withExtension(p, ".or"));
    binPath = resolvePathCase(withExtension(p, ".bin"));
}

int cmdInfo(const std::vector<std::string>& a) {
    if (a.size() != 1) throw UsageError{"info: нужен один аргумент MAP"};
    fs::path orPath, binPath;
    mapPaths(a[0], orPath, binPath);
    if (!fs::exists(orPath)) throw FileError("Нет ориентирного файла " + pathText(orPath));
    MapDoc doc;
    doc.Orientation = ReadOrientation(orPath);
    LoadObjects(binPath, doc.ObjList);
    const auto& o = doc.Orientation;
    long long vertices = 0, points = 0, lines = 0, areas = 0;
    for (const auto& obj : doc.ObjList) {
        vertices += obj->PointCount();
        points += obj->Kind == KindPoint;
        lines += obj->Kind == KindLine;
        areas += obj->Kind == KindArea;
    }
    std::printf("extent: %.3f %.3f %.3f %.3f\n", o.XMax, o.XMin, o.YMax, o.YMin);
    std::printf("coord-kind: %d\n", o.CoordKind);
    std::printf("axial-meridian: %.9f\n", o.AxialMeridian);
    std::printf("next-node: %d\n", o.NextNode);
    std::printf("objects: %zu\n", doc.ObjList.size());
    std::printf("vertices: %lld\n", vertices);
    std::printf("kinds: points=%lld lines=%lld areas=%lld\n", points, lines, areas);
    return 0;
}

int cmdConvert(const std::vector<std::string>& a) {
    if (a.size() != 2) throw UsageError{"convert: нужны аргументы IN.bin OUT.bin"};
    TObjList list;
    LoadObjects(fs::path(a[0]), list);
    SaveObjects(fs::path(a[1]), list);
    return 0;
}

int cmdCoord(const std::vector<std::string>& a) {
    if (a.size() != 3) throw UsageError{"coord: нужны аргументы LAT LON MERIDIAN"};
    double lat, lon, mer;
    if (!parseDouble(a[0], lat) || !parseDouble(a[1], lon) || !parseDouble(a[2], mer))
        throw UsageError{"coord: LAT, LON и MERIDIAN должны быть числами (градусы)"};
    const double k = std::numbers::pi / 180;
    double x, y;
    PlaneFromGeographic(lat * k, lon * k, mer * k, x, y);
    std::printf("x=%.4f y=%.4f\n", x, y);
    return 0;
}

int cmdSampleCity(const std::vector<std::string>& a) {
    sample::Options opt;
    std::string dir;
    for (size_t i = 0; i < a.size(); ++i) {
        long long v;
        if (a[i] == "--objects" || a[i] == "--seed") {
            if (i + 1 >= a.size() || !parseLong(a[i + 1], v) || v < 0)
                throw UsageError{"sample-city: " + a[i] + " требует неотрицательное целое число"};
            if (a[i] == "--objects") opt.objects = long(v);
            else opt.seed = uint64_t(v);
            ++i;
        } else if (!a[i].empty() && a[i][0] == '-') {
            throw UsageError{"sample-city: неизвестный параметр " + a[i]};
        } else if (dir.empty()) {
            dir = a[i];
        } else {
            throw UsageError{"sample-city: лишний аргумент " + a[i]};
        }
    }
    if (dir.empty()) throw UsageError{"sample-city: нужен аргумент DIR"};
    sample::writeStartFolder(fs::path(dir), opt);
    return 0;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> c = {
        {"info", "MAP", "summary of a map (MAP is its .or or .bin)", cmdInfo},
        {"convert", "IN.bin OUT.bin", "load an object file and save it again", cmdConvert},
        {"coord", "LAT LON MERIDIAN", "plane x, y of a geographic point (decimal degrees)", cmdCoord},
        {"sample-city", "DIR [--objects N] [--seed S]", "write a sample start folder with the city map",
         cmdSampleCity},
    };
    return c;
}

void printHelp(std::FILE* to) {
    std::fprintf(to, "usage: dmap <command> [arguments]\n\ncommands:\n");
    for (const auto& c : commands()) std::fprintf(to, "  %-12s %-30s %s\n", c.name, c.args, c.help);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        printHelp(stderr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printHelp(stdout);
        return 0;
    }
    for (const auto& c : commands()) {
        if (args[0] != c.name) continue;
        try {
            return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const UsageError& e) {
            std::fprintf(stderr, "dmap: %s\nusage: dmap %s %s\n", e.text.c_str(), c.name, c.args);
            return kExitUsage;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dmap: %s\n", e.what());
            return kExitError;
        }
    }
    std::fprintf(stderr, "dmap: неизвестная команда %s\n", args[0].c_str());
    printHelp(stderr);
    return kExitUsage;
}
