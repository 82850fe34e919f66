// Writes the seed inputs of every fuzz target from a small generated city,
// through the program's own writers:  make_seeds DIR
#include "cli/SampleCity.h"
#include "display/Layers.h"
#include "mapdata/MapFiles.h"
#include "mapdata/Rtf.h"

#include <cstdio>
#include <cstring>
#include <fstream>

using namespace dm;
namespace fs = std::filesystem;

namespace {
void put(const fs::path& p, const std::vector<uint8_t>& prefix, const std::vector<uint8_t>& body) {
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(prefix.data()), std::streamsize(prefix.size()));
    f.write(reinterpret_cast<const char*>(body.data()), std::streamsize(body.size()));
}
std::vector<uint8_t> bytes(const fs::path& p) { return readWholeFile(p); }
// The first n records of an object file: small seeds mutate faster.
std::vector<uint8_t> firstObjects(const MapDoc& doc, size_t n, size_t from = 0) {
    BinWriter w;
    for (size_t i = from; i < doc.ObjList.size() && i < from + n; ++i) EncodeObject(w, *doc.ObjList[i]);
    return w.data();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    const fs::path city = out / "city";
    fs::remove_all(city);
    sample::writeStartFolder(city, {.seed = 7, .objects = 300});
    const fs::path d = city / "Darvent";
    MapDoc doc;
    LoadObjects(d / "Darvent.bin", doc.ObjList);
    const std::vector<uint8_t> orient = bytes(d / "Darvent.or");
    // Object file and orientation record.
    for (size_t i = 0; i < 8; ++i) put(out / "objects" / ("obj" + std::to_string(i)), {}, firstObjects(doc, 4, i * 37));
    put(out / "objects" / "or", {0x01}, orient);
    // Names, streets (first records), network.
    const auto nam = bytes(d / "Darvent.nam");
    put(out / "names" / "all", {}, nam);
    const auto rue = bytes(d / "darvent.rue");
    put(out / "streets" / "all", {}, std::vector<uint8_t>(rue.begin(), rue.begin() + std::min<size_t>(rue.size(), 4000)));
    const auto uzl = bytes(city / "njoints.uzl");
    put(out / "network" / "all", {}, uzl);
    // Stops and metro; user areas and table.
    const auto stops = bytes(d / "ostanov.dat");
    put(out / "transport" / "stops", {0x00}, std::vector<uint8_t>(stops.begin(), stops.begin() + std::min<size_t>(stops.size(), 800)));
    put(out / "transport" / "metro", {0x01}, bytes(d / "metro.dat"));
    put(out / "userdata" / "areas", {0x00}, bytes(d / "places.dat"));
    put(out / "userdata" / "table", {0x01}, bytes(d / "table.txt"));
    // District boundaries, settlements, lists and a cut (a boundary, then objects).
    const auto tum = bytes(d / "frontier.tum");
    put(out / "admin" / "frontier", {0x00}, std::vector<uint8_t>(tum.begin(), tum.begin() + std::min<size_t>(tum.size(), 600)));
    put(out / "admin" / "grn", {0x00}, bytes(d / "centr.grn"));
    for (const auto& e : fs::recursive_directory_iterator(d))
        if (e.path().extension() == ".nsp") put(out / "admin" / ("nsp_" + e.path().stem().string()), {0x01}, bytes(e.path()));
    put(out / "admin" / "ray", {0x02}, bytes(d / "Darvent.ray"));
    put(out / "admin" / "viloyats", {0x02}, bytes(city / "Viloyats.txt"));
    {
        std::vector<uint8_t> cut = bytes(d / "centr.gtm");
        const auto objs = firstObjects(doc, 6, 40);
        cut.insert(cut.end(), objs.begin(), objs.end());
        put(out / "admin" / "cut", {0x03, 0x01}, cut);
    }
    // Symbols, lists, layer codes, layer list.
    const auto ris = bytes(city / "sem100n.ris");
    put(out / "classifier" / "ris", {0x00}, std::vector<uint8_t>(ris.begin(), ris.begin() + std::min<size_t>(ris.size(), 3000)));
    const auto smn = bytes(city / "sem100n.smn");
    put(out / "classifier" / "smn", {0x01}, std::vector<uint8_t>(smn.begin(), smn.begin() + std::min<size_t>(smn.size(), 3000)));
    put(out / "classifier" / "plain", {0x01}, std::vector<uint8_t>{'3', '2', '0', '0', '\r', '\n', '1', '0', '\r', '\n'});
    WriteLayerCodes(out / "layer.rtf", {3200, 3210, 1010});
    put(out / "classifier" / "layer", {0x02}, bytes(out / "layer.rtf"));
    SaveLayerList(out, {"Вода", "Дороги"});
    put(out / "classifier" / "sloys", {0x03}, bytes(out / "Sloys.rtf"));
    // Render: orientation, symbols, names, objects.
    const std::vector<uint8_t> risPart(ris.begin(), ris.begin() + std::min<size_t>(ris.size(), 2000));
    const std::vector<uint8_t> namPart(nam.begin(), nam.begin() + std::min<size_t>(nam.size(), 1500));
    for (size_t k = 0; k < 4; ++k) {
        std::vector<uint8_t> head;
        for (size_t len : {orient.size(), risPart.size(), namPart.size()}) {
            head.push_back(uint8_t(len & 0xFF));
            head.push_back(uint8_t(len >> 8));
        }
        head.insert(head.end(), orient.begin(), orient.end());
        head.insert(head.end(), risPart.begin(), risPart.end());
        head.insert(head.end(), namPart.begin(), namPart.end());
        put(out / "render" / ("r" + std::to_string(k)), head, firstObjects(doc, 6, k * 61));
    }
    // Route: two points inside the city, then the network.
    const OrientationRecord o = ReadOrientation(d / "Darvent.or");
    const double pts[4] = {o.XMin + 0.3 * (o.XMax - o.XMin), o.YMin + 0.3 * (o.YMax - o.YMin),
                           o.XMin + 0.7 * (o.XMax - o.XMin), o.YMin + 0.6 * (o.YMax - o.YMin)};
    std::vector<uint8_t> head(32);
    std::memcpy(head.data(), pts, 32);
    put(out / "route" / "city", head, uzl);
    fs::remove_all(city);
    fs::remove(out / "layer.rtf");
    fs::remove(out / "Sloys.rtf");
    return 0;
}
