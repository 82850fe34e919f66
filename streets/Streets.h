#pragma once
// The street register: streets with their old and new names, the baseline
// where the name is written, the axis and the houses; the streets file
// (".rue"), the searches, the street list and the drawing of street names
// and house numbers.

#include "display/PartialRead.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/MapObjects.h"

#include <QPoint>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace dm {

struct MapView;

constexpr size_t kStreetNameMax = 80;
constexpr size_t kHouseNumberMax = 5;
constexpr size_t kHouseNoteMax = 255;
constexpr size_t kStreetFontMax = 25;

struct TDom {
    // The number as stored: a length byte and five character bytes.  Bytes
    // past the length are kept as read (zero for a new house).
    std::array<uint8_t, 6> NomerField{};
    double X = 0, Y = 0;  // where the number is written (map X north, Y east)
    uint8_t Etage = 0;    // floors
    std::string DopInf;   // Windows-1251, at most 255

    std::string Nomer() const;
    // Cut to 5 characters; the unused bytes stay as they are.
    void setNomer(std::string_view s);
};

struct Trues {
    int32_t StreetNo = 0;
    std::string OldName;  // Windows-1251, at most 80
    std::string NewName;  // at most 80; empty when the street kept its name
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // the name's baseline
    std::string FontName = "Arial";
    uint8_t Bold = 0;     // as stored (non-zero: bold)
    uint8_t Italic = 1;
    int32_t FontColor = 0;
    uint8_t FontSize = 8;
    int32_t BoundObject = -1;
    uint8_t Anchor = 0;
    std::vector<TXY> Axis;
    std::vector<TDom> Houses;
};
using StreetRef = std::shared_ptr<Trues>;

enum class StreetOrder { Old, New };

// The register of the open map, as the street menu works on it.
struct StreetState {
    std::vector<StreetRef> Streets;
    // The register's file was read only up to a damage.
    PartialRead partial;
    StreetRef CurrentStreet;
    StreetOrder StreetListOrder = StreetOrder::Old;
};

// Reads the streets file into `out` (emptied first).  A record that ends
// early, or whose counts or lengths cannot be right, throws FileError
// naming the file and the offset; the streets read before stay in `out`.
void LoadStreets(const std::filesystem::path& path, std::vector<StreetRef>& out);
// `ends`, when given, gets the offset after each record read.
void LoadStreets(BinReader& in, std::vector<StreetRef>& out, std::vector<uint64_t>* ends = nullptr);
// Writes every street in list order (an empty list gives an empty file).
void SaveStreets(const std::filesystem::path& path, const std::vector<StreetRef>& streets,
                 FileBatch* batch = nullptr);
void EncodeStreet(BinWriter& w, const Trues& s);

// The new name, or the old one when it is empty, abbreviated as a label's.
std::string StreetDisplayText(const Trues& s);

// Draws the street's name along its baseline (white when erasing); there
// is no visibility test.
void DrawStreetName(QPainter& p, const Trues& s, const MapView& view, bool erase);
// A house number, horizontally from the house's position, in blue.
void DrawHouseNumber(QPainter& p, const TDom& h, const MapView& view);

// Index of the first street whose name's first point lies less than 5
// pixels from the click in both directions (streets with Anchor 3 or more
// are skipped); -1 when none.
int FindStreetByName(const std::vector<StreetRef>& streets, const MapView& view, QPoint click);
// Index of the first street with an axis point less than 3 pixels from the
// click, or an axis segment under it; -1 when none.
int FindStreetByAxis(const std::vector<StreetRef>& streets, const MapView& view, QPoint click);
// Index of the first street with exactly these names; -1 when none.
int FindStreetByNames(const std::vector<StreetRef>& streets, std::string_view oldName, std::string_view newName);

// The street's axis as screen points.
std::vector<TGn> AxisPixels(const Trues& s, const MapView& view);

// One row of the street list: the name that heads the sort, then the other
// (Windows-1251), and the street it stands for.
struct StreetRow {
    std::string first, second;
    int street = -1;
    // For streets whose two names are those of another street: where the
    // axis starts ("ось от X, Y", UTF-8), so that they can be told apart.
    std::string note;
};
// The rows sorted as a sorted list of the platform sorts the entries
// "first;second;": alphabetically without regard to letter case.
std::vector<StreetRow> FillStreetList(const std::vector<StreetRef>& streets, StreetOrder order);

// The search field of the street list: rows whose old or new name holds the
// query anywhere, letter case ignored and "ё" taken as "е".
class StreetFilter {
public:
    void setRows(const std::vector<StreetRow>& rows);
    // Positions of the matching rows, in order; every row for an empty query.
    std::vector<int> filter(std::string_view queryCp1251) const;

private:
    std::vector<std::string> keys_;  // both names, folded, separated by a byte no name holds
};
// Lower case, "ё" as "е" (Windows-1251 in and out).
std::string FoldForSearch(std::string_view cp1251);

}  // namespace dm
