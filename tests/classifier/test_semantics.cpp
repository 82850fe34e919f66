#include "classifier/Semantics.h"
#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;

namespace {
ActiveSemanticList list(std::initializer_list<const char*> utf8) {
    std::vector<std::string> lines;
    for (const char* l : utf8) lines.push_back(utf8ToCp1251(l));
    return SemanticsFromLines(lines);
}
std::string name(const ActiveSemanticList& l, int code) {
    auto n = SemanticDisplayName(l, code);
    return n ? cp1251ToUtf8(*n) : "<none>";
}
}  // namespace

TEST(Semantics, StyleDigitTables) {
    const int pen[] = {0, 1, 2, 3, 4, 5};
    for (int d = 1; d <= 6; ++d) {
        EXPECT_EQ(PenStyleFromDigit(d), pen[d - 1]);
        EXPECT_EQ(PenStyleToDigit(pen[d - 1]), d);
    }
    const int brush[] = {0, 2, 3, 4, 5, 6, 7, 1};
    for (int d = 1; d <= 8; ++d) {
        EXPECT_EQ(BrushStyleFromDigit(d), brush[d - 1]);
        EXPECT_EQ(BrushStyleToDigit(brush[d - 1]), d);
    }
    EXPECT_EQ(PenStyleFromDigit(0), -1);
    EXPECT_EQ(PenStyleFromDigit(7), -1);
    EXPECT_EQ(BrushStyleFromDigit(9), -1);
}

TEST(Semantics, KodSemTakesTheLineOfTheSelectedIndex) {
    const auto l = list({"Дороги...;0;0;1;1;8;0;", "...улицы;3060;5942984;3;6;8;255;", "Плохая;12x;0;1;1;1;0;",
                         "Стиль;5;0;1;7;1;0;"});
    TCurrentSemantic cur;
    EXPECT_EQ(cp1251ToUtf8(KodSem(l, -1, cur)), "Семантика не выбрана");
    EXPECT_EQ(cur.Code, -1);
    ASSERT_EQ(KodSem(l, 1, cur), "");
    EXPECT_EQ(cur.Code, 3060);
    EXPECT_EQ(cur.PenColor, 5942984);
    EXPECT_EQ(cur.PenWidth, 3);
    EXPECT_EQ(cur.PenStyle, 5);   // digit 6: no line
    EXPECT_EQ(cur.BrushStyle, 1); // digit 8: hollow
    EXPECT_EQ(cur.BrushColor, 255);
    // A line with a field that is not a number, or a digit outside its
    // table, is refused and the current semantic stays.
    EXPECT_NE(KodSem(l, 2, cur), "");
    EXPECT_NE(KodSem(l, 3, cur), "");
    EXPECT_EQ(cur.Code, 3060);
    EXPECT_EQ(l.Names[1], utf8ToCp1251("...улицы"));
}

TEST(Semantics, NamesAndFiles) {
    const fs::path d = fs::temp_directory_path() / ("dm_sem_" + std::to_string(::getpid()));
    fs::create_directories(d);
    const std::vector<std::string> lines = {utf8ToCp1251("Здания...;0;0;1;1;8;0;"), "no separator",
                                            utf8ToCp1251("...жилые;1010;1;1;1;1;2;")};
    WriteListFile(d / "a.smn", lines);
    const auto fromRtf = LoadSemantics(d / "a.smn");
    EXPECT_EQ(fromRtf.Lines, lines);
    EXPECT_EQ(fromRtf.Names, (std::vector<std::string>{utf8ToCp1251("Здания..."), "", utf8ToCp1251("...жилые")}));
    // The same list as plain text, and found by case.
    std::string plain = lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n";
    writeFileAtomically(d / "PLAIN.SMN", std::vector<uint8_t>(plain.begin(), plain.end()));
    EXPECT_EQ(LoadSemantics(d / "plain.smn").Lines, lines);
    EXPECT_THROW(LoadSemantics(d / "missing.smn"), FileError);
    fs::remove_all(d);
}

TEST(Semantics, DisplayNameWithGroupPrefixes) {
    const auto l = list({"...сирота;7;0;1;1;8;0;",          // member without a heading
                         "Дороги...;1000;0;1;1;8;0;",       // heading
                         "...асфальт;3060;0;1;1;8;0;",      // member
                         "...грунт;30701;0;1;1;8;0;",       // five digits: matches 3070
                         "Река;3200;0;1;1;8;0;",            // plain entry ends the group
                         "...после реки;3210;0;1;1;8;0;",   // member without heading again
                         "Мосты и т.д.;901;0;1;1;8;0;"});   // a single dot is no heading
    EXPECT_EQ(name(l, 7), "...сирота");
    EXPECT_EQ(name(l, 1000), "Дороги...");
    EXPECT_EQ(name(l, 3060), "Дороги...асфальт");
    EXPECT_EQ(name(l, 3070), "Дороги...грунт");
    EXPECT_EQ(name(l, 30701), "<none>");
    EXPECT_EQ(name(l, 3200), "Река");
    EXPECT_EQ(name(l, 3210), "...после реки");
    EXPECT_EQ(name(l, 901), "Мосты и т.д.");
    EXPECT_EQ(name(l, 4444), "<none>");
}
