#pragma once
// User thematic areas: a small figure (rectangle, triangle, circle,
// pentagon, square) at a place the operator clicks, with a name, its own
// colours and a note of several lines; kept in ".dat" files the operator
// names.

#include "mapdata/BinaryIO.h"
#include "mapdata/MapObjects.h"

#include <QPoint>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace dm {

struct MapView;

constexpr size_t kAreaNameMax = 60;
constexpr size_t kAreaFontMax = 25;
constexpr size_t kAreaNoteMax = 40;
constexpr size_t kAreaLineMax = 79;

enum AreaFigure : uint8_t { FigureNone = 0, FigureRectangle = 3, FigureTriangle = 4, FigureCircle = 5,
                            FigurePentagon = 6, FigureSquare = 7 };

struct TRovd {
    int32_t Number = 0;
    std::string Name;      // Windows-1251, at most 60
    std::string FontName;  // at most 25
    uint8_t Bold = 0, Italic = 0;
    int32_t FontColor = 0;
    uint8_t FontSize = 8;
    std::string Note;      // always empty
    uint8_t Figure = 0;
    int32_t PenColor = 0;
    int32_t BrushColor = 0;
    int32_t PenWidth = 1;
    std::vector<TXY> Points;
    std::vector<std::string> Lines;  // the note, at most 79 each
};
using AreaRef = std::shared_ptr<TRovd>;

// The ".dat" file: BrushColor and PenWidth are written twice (the later
// copies win on reading); the areas are numbered by their position.  A
// damaged file throws FileError naming the file and offset; the areas
// before it stay in `out`.
void LoadUserAreas(const std::filesystem::path& path, std::vector<AreaRef>& out);
// `ends`, when given, gets the offset after each record read.
void LoadUserAreas(BinReader& in, std::vector<AreaRef>& out, std::vector<uint64_t>* ends = nullptr);
void SaveUserAreas(const std::filesystem::path& path, const std::vector<AreaRef>& areas);
// Appends one area's record.
void EncodeUserArea(BinWriter& w, const TRovd& a);

// The figure's vertices (screen pixels) from the three clicked pixels and
// the size in pixels.
std::vector<QPoint> BuildFigure(uint8_t figure, QPoint p0, QPoint p1, QPoint p2, int size);

// Draws a figure: filled in the area's colours, or, in blink form, with
// the painter's own pen and brush (a circle as its ellipse, the rest as a
// polyline).
void DrawFigure(QPainter& p, const TRovd& area, const std::vector<QPoint>& pts, bool blinkForm);
// An area as "Показать" draws it (nothing for a vertex that is not a finite
// number): the figure, the outline through all its
// points (not for a circle) and the name beside the last vertex.  Returns
// the screen points.
std::vector<QPoint> DrawUserArea(QPainter& p, const TRovd& area, const MapView& view);

}  // namespace dm
