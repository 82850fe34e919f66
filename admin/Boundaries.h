#pragma once
// District boundaries: area objects in the object-record layout, stored in
// ".grn" (the fill boundary), ".gtm" (the outline used for cutting) and
// "frontier.tum" (every district of a region), and the point-in-boundary
// test used to find the district under a click.
#include "AdminLists.h"
#include "display/MapView.h"
#include "mapdata/MapObjects.h"

#include <QPoint>
#include <filesystem>
#include <vector>

class QPainter;

namespace dm {

// A boundary has exactly the fields of a map object.
using TRayObj = TObj;

// Appends every record of a boundary file to `into` (nothing is removed).
// With `drawn` set each boundary gets pen width 2 (the readers that draw).
// A missing file throws FileError "Файл <path> не существует"; a damaged one
// FileError naming the file and offset, the records before it appended.
void ReadBoundaryFile(const std::filesystem::path& path, TObjList& into, bool drawn = false);

// Writes the boundaries that have vertices, in order (through a temporary
// file).
void WriteBoundaries(const std::filesystem::path& path, const TObjList& bounds);

// Writes every boundary in order, empty ones too (a rewrite of a file read).
void RewriteBoundaryFile(const std::filesystem::path& path, const TObjList& bounds);

// The vertices as pixels of the view: (column, row); none when a vertex is
// not a finite number.
std::vector<QPoint> ScreenPolygon(const TObj& o, const MapView& view);

// Even-odd rule over the edges (last, first), (first, second), ...; a
// polygon without vertices contains nothing.
bool PointInBoundary(const std::vector<QPoint>& poly, int x, int y);

// PointInBoundary for many pixels against one polygon: pixels outside the
// polygon's bounding box are answered at once (the even-odd count is 0
// there), the others by the same rule.
class BoundaryTester {
public:
    explicit BoundaryTester(const std::vector<QPoint>& poly);
    bool contains(int x, int y) const {
        if (x < left_ || x > right_ || y < top_ || y > bottom_) return false;
        return PointInBoundary(poly_, x, y);
    }
    const std::vector<QPoint>& polygon() const { return poly_; }

private:
    std::vector<QPoint> poly_;
    int left_ = 1, right_ = 0, top_ = 1, bottom_ = 0;  // empty: nothing inside
};

// The district under a pixel: the first boundary (in list order) that holds
// the pixel and whose name is in the district list exactly (letter case
// counts).  Null when none.
const ListEntry* FindDistrict(const TObjList& bounds, const MapView& view, int x, int y,
                              const std::vector<ListEntry>& districts);

// The name (Windows-1251) of the first boundary, in list order, that holds
// the map point; empty when none does.
std::string DistrictNameAt(const TObjList& bounds, double x, double y);

// Draws a boundary: brush style `chosenStyle` unless it is 1, else the
// boundary's; colour `chosenColor` unless it is 0xFFFFFF, else the
// boundary's; black pen.  A closed outline is filled, an open one drawn as
// segments.
void DrawBoundary(QPainter& p, const TObj& b, const MapView& view, int32_t chosenColor, int chosenStyle);

}  // namespace dm
