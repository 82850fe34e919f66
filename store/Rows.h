#pragma once
// The rows of the shared city as the store writes and reads them: an object
// record field by field as its file holds it, and the PostGIS geometry (as
// EWKB) of a figure in the map's plane system.  For the store's own code.

#include "mapdata/BinaryIO.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dm::store {

// ---- object records, every field as the file holds it --------------------------------

struct RawObject {
    int32_t number = 0, startNode = 0, endNode = 0, code = 0;
    uint8_t kind = 0, shape = 0;
    std::string name;  // the whole name field: its length byte and characters
    int32_t penColor = 0, penStyle = 0, penWidth = 0, brushStyle = 0, brushColor = 0, extraInt = 0;
    double extraReal = 0, elevation = 0;
    std::vector<double> xy;  // X, Y of each vertex
};

// One record; false at the end of the file.  A damaged record throws
// FileError naming the file and the offset.
bool readRawObject(BinReader& in, RawObject& o);
void writeRawObject(BinWriter& w, const RawObject& o);

// The characters of a name field, as UTF-8.
std::string nameText(const std::string& field);

// ---- geometries as EWKB -----------------------------------------------------------------

struct Plane {
    int srid = 0;
    bool geographic = false;
    // A map point (X north, Y east) as the geometry's x, y.
    void put(std::string& g, double X, double Y) const;
};

// The geometry of a figure of kind 1 (point), 2 (line) or 3 (area) through
// `n` vertices; empty when it has none (no vertex, a line of one vertex, an
// area of fewer than three, a coordinate that is not a number).
std::string geometry(int kind, const double* xy, size_t n, const Plane& p);

// A register's record (of kind "label", "street", "stop", "metro", "area"
// or "boundary") as GIS programs see it: its name and its geometry.
void describeRecord(const std::string& kind, const std::string& record, const Plane& p, std::string& name,
                    std::string& geom);

std::string hexOf(const std::string& bytes);

}  // namespace dm::store
