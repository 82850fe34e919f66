#pragma once
// Point symbols: a file of 1812-byte records, each up to 225 single pixels of
// a 15 x 15 grid in one colour, and the index of its first 900 records.

#include "mapdata/BinaryIO.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <unordered_map>
#include <vector>

class QImage;
class QPainter;

namespace dm {

constexpr size_t kZnakRecordSize = 1812;
constexpr size_t kZnakIndexCap = 900;
constexpr int kZnakMaxPixels = 225;

struct TZnak {
    int32_t Code = 0;
    uint8_t Count = 0;
    std::array<uint8_t, 3> Padding{0, 0, 0};
    int32_t Color = 0;                      // 0x00BBGGRR
    std::array<int32_t, 225> Col{};         // grid column - 5, entries 0..Count-1 used
    std::array<int32_t, 225> Row{};         // grid row - 5
};

TZnak DecodeZnak(BinReader& in);
void EncodeZnak(BinWriter& out, const TZnak& z);
std::vector<TZnak> ReadZnakFile(const std::filesystem::path& path);   // every whole record
void WriteZnakFile(const std::filesystem::path& path, const std::vector<TZnak>& records);

// One index entry: the code of record `Record`.
struct ZnakIndexEntry {
    int32_t Code;
    int32_t Record;
};

// The active symbol file.  Its first 900 records are kept in memory (they
// are small) instead of being read from disk for every drawn symbol; what
// is drawn is the same.
class ZnakSet {
public:
    // Makes `path` the active symbol file and rebuilds the index.  Throws
    // FileError when the file cannot be read; only whole records count.
    void LoadZnakIndex(const std::filesystem::path& path);
    void clear();

    const std::vector<ZnakIndexEntry>& ZnakIndex() const { return index_; }
    const std::filesystem::path& path() const { return path_; }
    // The record for a code: the lowest-numbered indexed record; null if none.
    const TZnak* find(int32_t code) const;
    // The farthest any symbol's pixel lies from its anchor, in grid cells
    // (before the factor); 0 without symbols.
    int64_t maxReach() const { return reach_; }

    // Draws the symbol with its anchor (grid cell 8, 8) at (x, y), each
    // pixel spread by the factor rounded to an integer; false when the code
    // has no symbol (nothing drawn).  Uses the painter's composition mode.
    bool DrawZnak(QPainter& p, int x, int y, int32_t code, double factor) const;
    // The same, with the image behind the painter already found (see
    // directImageTarget; null when the painter must draw).
    bool DrawZnak(QPainter& p, QImage* direct, int x, int y, int32_t code, double factor) const;

private:
    std::filesystem::path path_;
    std::vector<ZnakIndexEntry> index_;
    std::vector<TZnak> records_;
    int64_t reach_ = 0;
    std::unordered_map<int32_t, size_t> first_;  // code -> record number
    // The same for codes 0 to kDenseCodes - 1 (every code of a usual
    // classifier), record number + 1, 0 for none: one look-up per symbol drawn.
    static constexpr int32_t kDenseCodes = 1 << 16;
    std::vector<uint32_t> dense_;
};

}  // namespace dm
