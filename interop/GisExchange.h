#pragma once
// Exchange with GIS programs through GDAL/OGR: the open map, its labels and
// its street register written as a GeoPackage or GeoJSON file, and point,
// line and polygon features of any file GDAL reads taken in as objects.
//
// Coordinates: a map stores X north and Y east; a GIS file holds east, north
// (x = Y, y = X).  A plane map is declared as a transverse Mercator on the
// Krasovsky 1940 ellipsoid (Pulkovo 1942 datum) around the map's axial
// meridian, with the false easting its Y values carry (the zone number in
// the millions and 500 000 m); a geographic map (latitude and longitude in
// radians) is written in degrees, Pulkovo 1942 geographic.

#include "classifier/Semantics.h"
#include "mapdata/MapFiles.h"
#include "mapdata/MapObjects.h"
#include "names/Names.h"
#include "streets/Streets.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dm {

// The coordinate system of a map (its definition as WKT).
struct MapCrs {
    std::string definition;
    double axialMeridianDeg = 0;  // the projection's central meridian
    double falseEasting = 0;
    bool geographic = false;
};
MapCrs MapCrsOf(const OrientationRecord& o);

// What an export writes; the labels and the streets are written when given.
struct ExportData {
    const OrientationRecord* orientation = nullptr;
    const TObjList* objects = nullptr;
    const ActiveSemanticList* semantics = nullptr;  // the classifier's names
    const std::vector<NameRef>* labels = nullptr;
    const std::vector<StreetRef>* streets = nullptr;
};

struct ExportReport {
    std::vector<std::pair<std::string, long>> layers;  // name, features written
    long skipped = 0;  // objects without enough vertices, of no known kind, or with a non-finite vertex
    long multiPoints = 0;  // point objects of several placements (written as multi-points)
    // Features not written because a coordinate is out of the file's range
    // or cannot be put into the target system: how many, and the first of
    // them named ("объект 17 (код 3060)").
    long outOfRange = 0;
    std::vector<std::string> outOfRangeNamed;
    std::string crs;   // the declared system (its name)
    std::string summary() const;  // for the operator (UTF-8)
};

// The coordinate system of an exported file.
struct ExportCrs {
    std::string definition;  // any definition GDAL accepts; empty: the map's own
    // true: the coordinates are transformed into the system; false: the
    // system is only declared, the coordinates written as they are.
    bool transform = true;
};

// The file format from the name's extension: "GPKG" for .gpkg, "GeoJSON"
// for .geojson and .json; empty for anything else.
std::string GisDriverFor(const std::filesystem::path& file);

// Writes the file (GeoPackage: layers "points", "lines", "areas", "labels",
// "streets", "houses"; GeoJSON: one collection whose features name their
// layer in the field "layer").  A point object of several vertices is
// written as a multi-point (every placement of its symbol).  With a system
// in `crs` the coordinates are transformed into it (or, when it is only to
// be declared, written as they are).  Written to a temporary file that
// replaces `out` only when complete.  Throws FileError with the reason (UTF-8).
ExportReport ExportMap(const std::filesystem::path& out, const ExportData& data, const ExportCrs& crs = {});

struct ImportOptions {
    std::string codeField;       // the attribute holding the object code
    std::string nameField;       // the attribute holding the name (empty: none)
    std::optional<int32_t> code; // a fixed code instead of the attribute
    // The system of the layers that declare none (any definition GDAL
    // accepts); empty: such coordinates are the map's own.
    std::string crs;
};

struct ImportResult {
    std::vector<std::unique_ptr<TObj>> objects;  // in the file's order
    long features = 0;       // features read
    long points = 0, lines = 0, areas = 0;  // objects made, by kind
    long noGeometry = 0;     // without a point, line or polygon geometry
    long noCode = 0;         // the code attribute empty
    long holes = 0;          // inner rings of polygons (not taken)
    long parts = 0;          // objects made from multi-part features
    long multiPoints = 0;    // multi-points taken as one point object of several placements
    long badParts = 0;       // unusable parts of multi-part features that gave objects
    std::vector<std::string> layersWithoutCode;  // layers without the code attribute: name (features)
    std::vector<std::string> takenAsMapCoordinates;  // layers said to be in degrees whose values cannot be
    std::string summary() const;  // for the operator (UTF-8)
};

// Reads every layer of the file.  A feature becomes one object per part
// (point, line, polygon's outer ring as an area; a multi-point is one point
// object with a vertex for each of its points) of the code in the
// attribute or the fixed code, in the map's coordinates (reprojected when
// the file declares another system; taken as they are when it declares
// none).  The style comes from the semantic line of the code when there is
// one, from the file's own style fields (as an export writes them) when
// present.  Throws FileError for a file GDAL cannot read, a code attribute
// missing from every layer, or a code value that is not an integer.
ImportResult ImportFeatures(const std::filesystem::path& in, const OrientationRecord& map,
                            const ImportOptions& options, const ActiveSemanticList* semantics = nullptr);

// The attribute names of a GIS file, of every layer in turn, each once (in
// UTF-8, as GDAL gives them).  Throws FileError as ImportFeatures does for
// a file GDAL cannot read.
std::vector<std::string> ImportFieldNames(const std::filesystem::path& in);

}  // namespace dm
