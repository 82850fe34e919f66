#pragma once
// Settlement files (".nsp"): the settlements of a district, each with six
// texts, nine bytes, a number and an outline; carried through unchanged.
#include "mapdata/BinaryIO.h"
#include "mapdata/MapObjects.h"

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dm {

struct TNasPunkt {
    std::string Text1;  // at most 255 bytes, Windows-1251
    std::string Text2;  // at most 255
    std::string Text3;  // at most 60
    std::string Text4;  // at most 60
    std::array<uint8_t, 9> Bytes9{};
    std::string Text5;  // at most 60
    int32_t Count4 = 0;
    std::string Text6;  // at most 63
    // The first four bytes of Text6 as held in memory (its length byte and
    // three characters; past the text's end they keep what was there): the
    // file repeats them after Count4.
    std::array<uint8_t, 4> Text6Head{};
    std::vector<TXY> Points;

    int32_t PointCount() const { return int32_t(Points.size()); }
    // Text6Head from Text6, zero past its end (a record made anew).
    void setText6(const std::string& text);
    bool operator==(const TNasPunkt&) const = default;
};

using SettlementList = std::vector<std::unique_ptr<TNasPunkt>>;

// Every record of a settlement file, appended to `out`.  A damaged file
// throws FileError naming the file and offset; the records before it stay.
void ReadSettlements(BinReader& in, SettlementList& out);
void EncodeSettlement(BinWriter& w, const TNasPunkt& s);

// LoadSettlements: when the file exists, `settlements` is emptied and
// filled from it; a missing file changes nothing (false).
bool LoadSettlements(const std::filesystem::path& path, SettlementList& settlements);

// The region file StartDir/<region>/<region>.nsp made anew from the files
// StartDir/<region>/<stem>/<stem>.nsp of the districts, in list order; a
// district without a file adds nothing.  `settlements` ends up holding the
// last district file read.  Written through a temporary file.
void MergeSettlements(const std::filesystem::path& startDir, const std::string& region,
                      const std::vector<std::string>& districtStems, SettlementList& settlements);

}  // namespace dm
