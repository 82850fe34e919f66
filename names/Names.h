#pragma once
// Name labels: a text along a short baseline between two map points, with an
// old and a new name, its own font, and optionally bound to a map object.

#include "display/PartialRead.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/MapObjects.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace dm {

struct MapView;

struct TNaz {
    std::string OldName;   // Windows-1251, at most 255
    std::string NewName;   // at most 255; empty when there is none
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    std::string FontName;  // at most 25 in memory, 19 in the file
    bool Bold = false;
    bool Italic = false;
    int32_t FontColor = 0;  // 0x00BBGGRR
    uint8_t FontSize = 8;
    int32_t BoundObject = -1;
    uint8_t Anchor = 0;     // 0 free, 1 bound by its start, 3 by its end (2 drawn like 1)
};
using NameRef = std::shared_ptr<TNaz>;

// The current name font given to new and corrected labels.
struct TNameFont {
    std::string Face = "MS Sans Serif";  // Windows-1251
    bool Bold = false;
    bool Italic = false;
    int32_t Color = 0;
    int Size = 8;
};

// The labels of the open map and the switches that go with them.
struct NameState {
    std::vector<NameRef> MapNames;   // drawn, searched, edited and saved
    std::vector<NameRef> AllNames;   // every label read from the names file
    bool NamesErased = false;        // "Убрать с экрана": labels drawn in white
    bool NamesShown = true;          // "Названия карты"
    TNameFont NameFont;
    // The names file was read only up to a damage.
    PartialRead partial;

    // Removes a label from both lists.
    void remove(const TNaz* n);
};

constexpr size_t kNameTextMax = 255;
constexpr size_t kFontNameMax = 25;
constexpr size_t kFontNameFileMax = 19;

// Reads the names file into `out` (emptied first).  A damaged file throws
// FileError naming the file and offset; the labels read before stay in `out`.
void LoadNames(const std::filesystem::path& path, std::vector<NameRef>& out);
// `ends`, when given, gets the offset after each record read.
void LoadNames(BinReader& in, std::vector<NameRef>& out, std::vector<uint64_t>* ends = nullptr);
// Writes every label in order (through a temporary file).
void SaveNames(const std::filesystem::path& path, const std::vector<NameRef>& names, FileBatch* batch = nullptr);
void EncodeName(BinWriter& w, const TNaz& n);

// NewName, or OldName when it is empty, with " улица", " проезд",
// " переулок", " тупик" after the first comma abbreviated.  Windows-1251.
std::string NameDisplayText(const TNaz& n);

// Draws a label whose ends are the pixels a and b (before the offsets of a
// bound label; `print` takes the offsets of printing), white when erased.
void DrawNameAt(QPainter& p, const TNaz& n, QPoint a, QPoint b, bool erased, double scaleDenominator, bool print);

// The labels on a printed page (row and column factors): a label in "Arial"
// is printed in "Courier New Cyr" and keeps its own face.
void DrawPrintedLabels(QPainter& p, const std::vector<NameRef>& names, const MapView& view, double psx, double psy,
                       bool erased = false);

// Point size of label text at a scale denominator.
int NameFontSize(double scaleDenominator);
// Angle in whole degrees, counter-clockwise on the screen, of the baseline
// from (x1, y1) to (x2, y2): 0 for a horizontal one, also leftwards.
int NameAngle(int x1, int y1, int x2, int y2);

// The screen font of a face name (Windows faces map to installed fonts with
// Cyrillic letters).
QFont ScreenFont(const QString& face, bool bold, bool italic, int pointSize);

// Text along a baseline: its top-left corner at (x1, y1), turned to follow the
// line, size from the scale denominator, transparent background.
void DrawRotatedText(QPainter& p, const QString& text, int x1, int y1, int x2, int y2, QFont font,
                     const QColor& color, double scaleDenominator);

// The screen points of a label drawn from (a, b): a bound label moves 5
// pixels right and 6 up (anchor 1 or 2; in print only its first point moves
// right), or ends at its object's point with its start 7 pixels per
// character before it (anchor 3).
std::pair<QPoint, QPoint> BoundLabelPoints(const TNaz& n, QPoint a, QPoint b, bool print);

// One label on the map picture (only when its first point is in the view).
void DrawName(QPainter& p, const TNaz& n, const MapView& view, bool erased);
void DrawAllNames(QPainter& p, const NameState& names, const MapView& view, bool show);
// One label for printing: rows by printScaleX, columns by printScaleY.
void DrawNameScaled(QPainter& p, const TNaz& n, const MapView& view, double printScaleX, double printScaleY,
                    bool erased);

struct NameHit {
    int Index = -1;
    QPoint First, Second;  // screen points of both ends
};
// The first label whose first point (second for anchor 3) is less than 5
// pixels from the click in x and in y.
NameHit FindName(const std::vector<NameRef>& names, const MapView& view, QPoint click);

// Takes the font of a label from the name font (face cut to 25).
void ApplyNameFont(TNaz& n, const TNameFont& f);

}  // namespace dm
