#pragma once
// Public transport: the stops of the city (name, bus, tram and trolleybus
// routes, nearest metro station, position) and the metro stations, kept in
// "ostanov.dat" and "metro.dat" in the city folder.

#include "mapdata/BinaryIO.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dm {

constexpr size_t kStopNameMax = 60;
constexpr size_t kStopRoutesMax = 20;
constexpr size_t kStopMetroMax = 40;
constexpr size_t kMetroNameMax = 20;

struct TOstnv {
    int32_t Number = 0;
    std::string Name;              // Windows-1251, at most 60
    std::string BusRoutes;         // at most 20
    std::string TramRoutes;        // at most 20
    std::string TrolleybusRoutes;  // at most 20
    std::string NearestMetro;      // at most 40
    double X = 0, Y = 0;           // map position
};
using StopRef = std::shared_ptr<TOstnv>;

struct TMetro {
    std::string Name;  // at most 20
    double X = 0, Y = 0;
};

// Reads the stops in file order, numbered by their position (0, 1, ...).
// A record that ends early, or a length that cannot be right, throws
// FileError naming the file and the offset; the stops before it stay.
void LoadStops(const std::filesystem::path& path, std::vector<StopRef>& out);
// `ends`, when given, gets the offset after each record read.
void LoadStops(BinReader& in, std::vector<StopRef>& out, std::vector<uint64_t>* ends = nullptr);
void SaveStops(const std::filesystem::path& path, const std::vector<StopRef>& stops);
// Appends one stop's record.
void EncodeStop(BinWriter& w, const TOstnv& s);
void LoadMetro(const std::filesystem::path& path, std::vector<TMetro>& out);
// `ends`, when given, gets the offset after each record read.
void LoadMetro(BinReader& in, std::vector<TMetro>& out, std::vector<uint64_t>* ends = nullptr);
void SaveMetro(const std::filesystem::path& path, const std::vector<TMetro>& stations);

// The stop list's line: the name (cut so that it and "; " take at most 62
// characters), "; " and the number.
std::string StopListLine(const TOstnv& s);
// The number of a list line: the text after its first ";", leading blanks
// skipped; -1 when there is none.
int32_t StopLineNumber(const std::string& line);

}  // namespace dm
