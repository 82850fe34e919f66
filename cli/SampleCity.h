#pragma once
// A generated start folder for the program: the city map of Darvent (and,
// as the program grows, its companion files), deterministic for a seed.

#include "classifier/Znak.h"
#include "mapdata/MapDoc.h"
#include "names/Names.h"
#include "routing/RoadNetwork.h"
#include "streets/Streets.h"
#include "transport/Stops.h"
#include "userdata/UserAreas.h"
#include "userdata/UserTable.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace dm::sample {

// One kind of object the sample city uses, with its classifier line values.
struct SampleKind {
    int code;
    uint8_t kind;          // 1 point, 2 line, 3 area
    const char* name;      // UTF-8; group heading entries have code 0
    int32_t penColor;      // 0x00BBGGRR
    int penWidth;
    int penDigit;          // 1..6
    int brushDigit;        // 1..8
    int32_t brushColor;
};
const std::vector<SampleKind>& sampleKinds();

// The screen width the sample's district maps are cut at (as the program
// would show the city on a screen of this width).
constexpr int kSampleScreenWidth = 1920;

struct Options {
    uint64_t seed = 1;
    long objects = 0;      // 0: the natural size of the default city
    // Nodes of the road network: 0 for the street grid of the city (at most
    // 32768 nodes); otherwise a grid of about that many nodes built the same
    // way, reaching beyond the city where it must.
    long networkNodes = 0;
    // Told what is being done, for long runs (text in UTF-8); may be empty.
    std::function<void(const std::string&)> progress = nullptr;
};

// Bytes of memory that building and writing a city of n objects needs at
// most (the objects, their vertices and the file image being written).
uint64_t MemoryForObjects(long n);

// The classifier of the sample city: semantic list lines (Windows-1251)
// and point symbols.
std::vector<std::string> semanticLines();
std::vector<TZnak> symbols();

// The city's public transport and an operator's own data: stops along the
// streets (routes, nearest metro station), the metro stations, user areas
// (one of each figure, with notes) and a user table of addresses.
struct Extras {
    std::vector<StopRef> stops;
    std::vector<TMetro> metro;
    std::vector<AreaRef> areas;
    UserTable table;
};

// Builds the city's objects and orientation record and, when asked, its
// name labels (street names along the streets, districts, the river and
// parks, labels bound to objects).
// and, when asked, the road network of its street grid (two-way and one-way
// streets, speeds by street class; at most 32768 nodes unless
// `networkNodes` says otherwise) and the street
// register (every street with its axis, names, name baseline and houses).
// With `extras`, also the stops, metro stations, user areas and user table.
void buildCity(MapDoc& doc, const Options& opt, std::vector<NameRef>* names = nullptr,
               RoadNetwork* network = nullptr, std::vector<StreetRef>* streets = nullptr, Extras* extras = nullptr);

// Writes DIR/Darvent/Darvent.or and Darvent.bin (and the other files the
// program reads: names, street register, classifier, road network, stops
// "ostanov.dat" and "metro.dat", the user areas "places.dat" and the user
// table "table.txt").  Throws FileError on failure; the folders it made are
// then removed again.
void writeStartFolder(const std::filesystem::path& dir, const Options& opt);

}  // namespace dm::sample
