#include "admin/Settlements.h"

#include "mapdata/BinaryIO.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace dm;
namespace fs = std::filesystem;

namespace {
// One settlement written out byte by byte.
std::vector<uint8_t> record(uint8_t head0 = 0x05, uint8_t head1 = 'F', uint8_t head2 = 'G', uint8_t head3 = 'H') {
    return {
        0x03, 0x00, 0x00, 0x00, 0x02, 'B', 'B',          // Text2 "BB"
        0x01, 0x00, 0x00, 0x00, 0x00,                    // Text1 ""
        0x02, 0x00, 0x00, 0x00, 0x01, 'C',               // Text3 "C"
        0x02, 0x00, 0x00, 0x00, 0x01, 0xC4,              // Text4 "Д"
        1, 2, 3, 4, 5, 6, 7, 8, 9,                       // Bytes9
        0x02, 0x00, 0x00, 0x00, 0x01, 'E',               // Text5 "E"
        0x04, 0x03, 0x02, 0x01,                          // Count4 0x01020304
        head0, head1, head2, head3,                      // Text6 as held in memory
        0x06, 0x00, 0x00, 0x00, 0x05, 'F', 'G', 'H', 'I', 'J',  // Text6 "FGHIJ"
        0x01, 0x00, 0x00, 0x00,                          // 1 vertex
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // X 1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // Y 2
    };
}
fs::path tempDir(const char* name) {
    const fs::path d = fs::temp_directory_path() / ("dm_nsp_" + std::to_string(::getpid()) + name);
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}
}  // namespace

TEST(Settlements, LiteralRecordEveryFieldAndBackByteForByte) {
    const auto bytes = record();
    BinReader in(bytes.data(), bytes.size(), "a.nsp");
    SettlementList list;
    ReadSettlements(in, list);
    ASSERT_EQ(list.size(), 1u);
    const TNasPunkt& s = *list[0];
    EXPECT_EQ(s.Text1, "");
    EXPECT_EQ(s.Text2, "BB");
    EXPECT_EQ(s.Text3, "C");
    EXPECT_EQ(s.Text4, "\xC4");
    EXPECT_EQ(s.Bytes9, (std::array<uint8_t, 9>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(s.Text5, "E");
    EXPECT_EQ(s.Count4, 0x01020304);
    EXPECT_EQ(s.Text6, "FGHIJ");
    ASSERT_EQ(s.PointCount(), 1);
    EXPECT_EQ(s.Points[0], (TXY{1, 2}));
    BinWriter w;
    EncodeSettlement(w, s);
    EXPECT_EQ(w.data(), bytes);
}

TEST(Settlements, BlockSevenBytesHaveNoEffectOnTheText) {
    // Other bytes after Count4: Text6 read over them gives the same text,
    // and its four bytes in memory are its own again.
    const auto odd = record('Z', 'Z', 'Z', 'Z');
    BinReader in(odd.data(), odd.size(), "b.nsp");
    SettlementList list;
    ReadSettlements(in, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->Text6, "FGHIJ");
    BinWriter w;
    EncodeSettlement(w, *list[0]);
    EXPECT_EQ(w.data(), record());

    // A one-character Text6 overwrites only its length byte and character:
    // the two bytes after it keep what block 7 put there.
    std::vector<uint8_t> shortText = record('Q', 'R', 'S', 'T');
    const size_t at = 47;  // the Text6 field
    ASSERT_EQ(shortText[at], 0x06);
    shortText.erase(shortText.begin() + long(at), shortText.begin() + long(at) + 10);
    const std::vector<uint8_t> one = {0x02, 0x00, 0x00, 0x00, 0x01, 'F'};
    shortText.insert(shortText.begin() + long(at), one.begin(), one.end());
    BinReader in2(shortText.data(), shortText.size(), "c.nsp");
    list.clear();
    ReadSettlements(in2, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->Text6, "F");
    EXPECT_EQ(list[0]->Text6Head, (std::array<uint8_t, 4>{0x01, 'F', 'S', 'T'}));
    // Written back with the four bytes as held.
    std::vector<uint8_t> expected = shortText;
    expected[43] = 0x01;
    expected[44] = 'F';
    BinWriter w2;
    EncodeSettlement(w2, *list[0]);
    EXPECT_EQ(w2.data(), expected);
}

TEST(Settlements, DamageNamedWithTheOffset) {
    auto bytes = record();
    bytes.resize(bytes.size() - 3);
    BinReader in(bytes.data(), bytes.size(), "d.nsp");
    SettlementList list;
    EXPECT_THROW(ReadSettlements(in, list), FileError);
    // A text longer than its field allows.
    auto tooLong = record();
    tooLong[12] = 62;  // Text3 holds at most 60
    BinReader in2(tooLong.data(), tooLong.size(), "e.nsp");
    try {
        ReadSettlements(in2, list);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("e.nsp"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("12"), std::string::npos) << e.what();
    }
    auto negative = record();
    negative[57] = 0xFF;  // the vertex count: -1
    negative[58] = 0xFF;
    negative[59] = 0xFF;
    negative[60] = 0xFF;
    BinReader in3(negative.data(), negative.size(), "f.nsp");
    EXPECT_THROW(ReadSettlements(in3, list), FileError);
}

// Every text at its longest reads and writes back byte for byte; one byte
// more in any of them is refused, naming the field.
TEST(Settlements, EachTextAtItsLongestAndOneByteMore) {
    const char* names[] = {"Text2", "Text1", "Text3", "Text4", "Text5", "Text6"};
    const size_t longest[] = {255, 255, 60, 60, 60, 63};
    auto make = [&](int over) {
        std::vector<uint8_t> r;
        auto text = [&](int k) {
            const size_t n = longest[k] + (k == over ? 1 : 0);
            for (uint8_t b : {uint8_t(n + 1), uint8_t((n + 1) >> 8), uint8_t(0), uint8_t(0)}) r.push_back(b);
            r.push_back(uint8_t(n));
            for (size_t i = 0; i < n; ++i) r.push_back(uint8_t(0xC0 + (i + k) % 64));
        };
        for (int k = 0; k < 4; ++k) text(k);
        for (int i = 1; i <= 9; ++i) r.push_back(uint8_t(i));
        text(4);
        for (uint8_t b : {4, 3, 2, 1}) r.push_back(b);
        const size_t head = r.size();
        r.insert(r.end(), {0, 0, 0, 0});
        text(5);
        std::copy_n(r.begin() + long(head) + 8, 4, r.begin() + long(head));  // its first bytes, as held in memory
        r.insert(r.end(), {0, 0, 0, 0});
        return r;
    };
    const auto whole = make(-1);
    BinReader in(whole.data(), whole.size(), "long.nsp");
    SettlementList list;
    ReadSettlements(in, list);
    ASSERT_EQ(list.size(), 1u);
    const TNasPunkt& s = *list[0];
    const std::string* texts[] = {&s.Text2, &s.Text1, &s.Text3, &s.Text4, &s.Text5, &s.Text6};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(texts[k]->size(), longest[k]) << names[k];
    BinWriter w;
    EncodeSettlement(w, s);
    EXPECT_EQ(w.data(), whole);
    for (int k = 0; k < 6; ++k) {
        const auto bytes = make(k);
        BinReader over(bytes.data(), bytes.size(), "over.nsp");
        SettlementList none;
        try {
            ReadSettlements(over, none);
            ADD_FAILURE() << names[k];
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find(names[k]), std::string::npos) << e.what();
        }
    }
}

TEST(Settlements, MergeTakesTheDistrictFilesInListOrder) {
    const fs::path dir = tempDir("merge");
    fs::create_directories(dir / "reg" / "a");
    fs::create_directories(dir / "reg" / "c");
    auto one = record();
    auto two = record();
    two[5] = 'X';  // Text2 "XB"
    std::vector<uint8_t> c = two;
    c.insert(c.end(), one.begin(), one.end());
    writeFileAtomically(dir / "reg" / "a" / "a.nsp", one);
    writeFileAtomically(dir / "reg" / "c" / "c.nsp", c);
    SettlementList list;
    // "b" has no file and contributes nothing; a stem that leaves the
    // region's folder is passed over (its file there is not read).
    fs::create_directories(dir / "outside");
    writeFileAtomically(dir / "outside.nsp", one);
    MergeSettlements(dir, "reg", {"c", "b", "../outside", "a"}, list);
    std::vector<uint8_t> expected = c;
    expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(readWholeFile(dir / "reg" / "reg.nsp"), expected);
    // A region without any district file gets an empty file.
    MergeSettlements(dir, "reg", {"b"}, list);
    EXPECT_TRUE(readWholeFile(dir / "reg" / "reg.nsp").empty());

    // A missing file changes nothing.
    SettlementList kept;
    kept.push_back(std::make_unique<TNasPunkt>());
    EXPECT_FALSE(LoadSettlements(dir / "none.nsp", kept));
    EXPECT_EQ(kept.size(), 1u);
    EXPECT_TRUE(LoadSettlements(dir / "reg" / "c" / "c.nsp", kept));
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0]->Text2, "XB");
    fs::remove_all(dir);
}
