#include "display/MapView.h"
#include "mapdata/Cp1251.h"
#include "streets/Streets.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;
using namespace dm;

namespace {

// One street record written out byte by byte from the layout tables.
const std::vector<uint8_t> kLiteralStreet = {
    0x07, 0x00, 0x00, 0x00,                          // StreetNo 7
    0x03, 0x00, 0x00, 0x00, 0x02, 0xC6, 0x61,        // OldName "Жa"
    0x01, 0x00, 0x00, 0x00, 0x00,                    // NewName empty
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // X1 1.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // Y1 2.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0xBF,  // X2 -1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x40,  // Y2 4.0
    0x06, 0x00, 0x00, 0x00, 0x05, 'A', 'r', 'i', 'a', 'l',  // FontName
    0x01,                                            // Bold
    0x00,                                            // Italic
    0x00, 0xFF, 0x00, 0x00,                          // FontColor 0x00FF00
    0x0B,                                            // FontSize 11
    0xFF, 0xFF, 0xFF, 0xFF,                          // BoundObject -1
    0x03,                                            // Anchor 3
    0x02, 0x00, 0x00, 0x00,                          // AxisCount 2
    0x01, 0x00, 0x00, 0x00,                          // HouseCount 1
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // axis X 1.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // axis Y 2.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0xBF,  // axis X -1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x40,  // axis Y 4.0
    0x02, '1', '2', 0xAA, 0xBB, 0xCC,                // Nomer "12", unused bytes as they were
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F,  // X 0.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x79, 0x40,  // Y 412.5
    0x10,                                            // Etage 16
    0x02, 0x00, 0x00, 0x00, 0x01, 'x',               // DopInf "x"
};

std::string loadError(const std::vector<uint8_t>& bytes, std::vector<StreetRef>& out) {
    BinReader r(bytes.data(), bytes.size(), "darvent.rue");
    try {
        LoadStreets(r, out);
    } catch (const FileError& e) {
        return e.what();
    }
    return {};
}

StreetRef street(const char* oldU, const char* newU) {
    auto s = std::make_shared<Trues>();
    s->OldName = utf8ToCp1251(oldU);
    s->NewName = utf8ToCp1251(newU);
    return s;
}

std::vector<std::string> firsts(const std::vector<StreetRow>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(cp1251ToUtf8(r.first) + "|" + cp1251ToUtf8(r.second));
    return out;
}

MapView unitView() {
    MapView v;
    v.ViewXMax = 1000;
    v.ViewXMin = 0;
    v.ViewYMin = 0;
    v.ViewYMax = 1000;
    v.Scale = 1;
    v.ScaleDenominator = 5000;
    return v;
}

}  // namespace

TEST(StreetsFile, EveryFieldOfALiteralRecordAndBackByteForByte) {
    std::vector<StreetRef> streets;
    ASSERT_EQ(loadError(kLiteralStreet, streets), "");
    ASSERT_EQ(streets.size(), 1u);
    const Trues& s = *streets[0];
    EXPECT_EQ(s.StreetNo, 7);
    EXPECT_EQ(s.OldName, std::string("\xC6" "a"));
    EXPECT_EQ(s.NewName, "");
    EXPECT_EQ(s.X1, 1.0);
    EXPECT_EQ(s.Y1, 2.0);
    EXPECT_EQ(s.X2, -1.5);
    EXPECT_EQ(s.Y2, 4.0);
    EXPECT_EQ(s.FontName, "Arial");
    EXPECT_EQ(s.Bold, 1);
    EXPECT_EQ(s.Italic, 0);
    EXPECT_EQ(s.FontColor, 0x00FF00);
    EXPECT_EQ(s.FontSize, 11);
    EXPECT_EQ(s.BoundObject, -1);
    EXPECT_EQ(s.Anchor, 3);
    ASSERT_EQ(s.Axis.size(), 2u);
    EXPECT_EQ(s.Axis[0].X, 1.0);
    EXPECT_EQ(s.Axis[0].Y, 2.0);
    EXPECT_EQ(s.Axis[1].X, -1.5);
    EXPECT_EQ(s.Axis[1].Y, 4.0);
    ASSERT_EQ(s.Houses.size(), 1u);
    const TDom& h = s.Houses[0];
    EXPECT_EQ(h.Nomer(), "12");
    EXPECT_EQ(h.NomerField[3], 0xAA);
    EXPECT_EQ(h.NomerField[5], 0xCC);
    EXPECT_EQ(h.X, 0.5);
    EXPECT_EQ(h.Y, 412.5);
    EXPECT_EQ(h.Etage, 16);
    EXPECT_EQ(h.DopInf, "x");
    BinWriter w;
    EncodeStreet(w, s);
    EXPECT_EQ(w.data(), kLiteralStreet);
    // Twice in a file, through the disk.
    const fs::path d = fs::temp_directory_path() / ("dm_rue_" + std::to_string(::getpid()));
    fs::create_directories(d);
    std::vector<uint8_t> two = kLiteralStreet;
    two.insert(two.end(), kLiteralStreet.begin(), kLiteralStreet.end());
    {
        std::ofstream f(d / "a.rue", std::ios::binary);
        f.write(reinterpret_cast<const char*>(two.data()), std::streamsize(two.size()));
    }
    LoadStreets(d / "a.rue", streets);
    ASSERT_EQ(streets.size(), 2u);
    SaveStreets(d / "b.rue", streets);
    EXPECT_EQ(readWholeFile(d / "b.rue"), two);
    // No streets: an empty file.
    SaveStreets(d / "c.rue", {});
    EXPECT_TRUE(readWholeFile(d / "c.rue").empty());
    fs::remove_all(d);
}

TEST(StreetsFile, CoordinatesThatAreNotFiniteNumbersAreKeptButNotDrawn) {
    // The literal record with its name's second point not a number and its
    // house at infinity: read, written back byte for byte, not drawn.
    std::vector<uint8_t> bytes = kLiteralStreet;
    const uint8_t nan[8] = {0, 0, 0, 0, 0, 0, 0xF8, 0x7F}, inf[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x7F};
    std::copy(std::begin(nan), std::end(nan), bytes.begin() + 32);  // X2
    const uint8_t half[8] = {0, 0, 0, 0, 0, 0, 0xE0, 0x3F};          // the house's X 0.5
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(half), std::end(half));
    ASSERT_EQ(at - bytes.begin(), 116);
    std::copy(std::begin(inf), std::end(inf), at);
    std::vector<StreetRef> streets;
    ASSERT_EQ(loadError(bytes, streets), "");
    ASSERT_EQ(streets.size(), 1u);
    Trues& s = *streets[0];
    EXPECT_TRUE(std::isnan(s.X2));
    EXPECT_EQ(s.Houses[0].X, std::numeric_limits<double>::infinity());
    BinWriter w;
    EncodeStreet(w, s);
    EXPECT_EQ(w.data(), bytes);
    // In a view where the finite record shows both its name and its house.
    s.X1 = 900;
    s.Y1 = 50;
    s.Y2 = 250;
    s.Houses[0].Y = 100;
    s.Houses[0].X = std::nan("");  // would stand in the top row
    QImage img(300, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QImage white = img;
    {
        QPainter p(&img);
        DrawStreetName(p, s, unitView(), false);
        DrawHouseNumber(p, s.Houses[0], unitView());
    }
    EXPECT_EQ(img, white);
    s.X2 = 900;
    {
        QPainter p(&img);
        DrawStreetName(p, s, unitView(), false);
    }
    EXPECT_NE(img, white);
    img = white;
    s.Houses[0].X = 800;
    {
        QPainter p(&img);
        DrawHouseNumber(p, s.Houses[0], unitView());
    }
    EXPECT_NE(img, white);
}

TEST(StreetsFile, ABoundStreetsNameIsDrawnWithThePrintedOffsets) {
    // A street bound to an object (anchor 1), its baseline straight down
    // from (100, 100) to (100, 400): as a printed label the first end moves
    // 5 right and 6 up, the second only 6 up, so the text leans back by
    // 5 pixels over its 300; the screen's offsets would keep it upright.
    Trues s;
    s.OldName = std::string(40, '\xC6');  // "Ж" x 40
    s.FontName = "Arial";
    s.FontSize = 10;
    s.Italic = 0;
    s.BoundObject = 3;
    s.Anchor = 1;
    s.X1 = 1000 - 100;
    s.Y1 = 100;
    s.X2 = 1000 - 400;
    s.Y2 = 100;
    QImage img(500, 600, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        DrawStreetName(p, s, unitView(), false);
    }
    // The middle of the ink across a few rows near each end of the text.
    auto middle = [&](int y0, int y1) {
        double sum = 0;
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 128) sum += x, ++n;
        return n ? sum / n : -1.0;
    };
    const double top = middle(110, 140), bottom = middle(320, 350);
    ASSERT_GT(top, 0);
    ASSERT_GT(bottom, 0);
    EXPECT_NEAR(top - bottom, 5.0 * 210 / 300, 1.2);  // 3.5 pixels between rows 125 and 335
}

TEST(StreetsFile, HouseNumbersTakeSixBytesAndAreCutToFive) {
    TDom h;
    h.setNomer("123456");
    EXPECT_EQ(h.Nomer(), "12345");
    EXPECT_EQ(h.NomerField, (std::array<uint8_t, 6>{5, '1', '2', '3', '4', '5'}));
    h.setNomer("7");  // the bytes after the length stay as they were
    EXPECT_EQ(h.NomerField, (std::array<uint8_t, 6>{1, '7', '2', '3', '4', '5'}));
    TDom fresh;
    fresh.setNomer("12\xE0");  // "12а"
    EXPECT_EQ(fresh.NomerField, (std::array<uint8_t, 6>{3, '1', '2', 0xE0, 0, 0}));
    // Names longer than 80 and notes longer than 255 are written cut.
    Trues s;
    s.OldName = std::string(100, 'a');
    s.NewName = std::string(81, 'b');
    TDom note;
    note.DopInf = std::string(300, 'n');
    s.Houses.push_back(note);
    BinWriter w;
    EncodeStreet(w, s);
    std::vector<StreetRef> back;
    ASSERT_EQ(loadError(w.data(), back), "");
    EXPECT_EQ(back[0]->OldName, std::string(80, 'a'));
    EXPECT_EQ(back[0]->NewName, std::string(80, 'b'));
    EXPECT_EQ(back[0]->Houses[0].DopInf, std::string(255, 'n'));
}

TEST(StreetsFile, DamagedFilesNameTheOffsetAndKeepTheStreetsBefore) {
    std::vector<uint8_t> two = kLiteralStreet;
    two.insert(two.end(), kLiteralStreet.begin(), kLiteralStreet.end());
    const size_t g = kLiteralStreet.size();
    // Cut at every length inside the second record: one street stays.
    for (size_t cut = g + 1; cut < two.size(); ++cut) {
        std::vector<StreetRef> out;
        const std::vector<uint8_t> b(two.begin(), two.begin() + long(cut));
        const std::string e = loadError(b, out);
        ASSERT_FALSE(e.empty()) << cut;
        EXPECT_NE(e.find("darvent.rue"), std::string::npos) << e;
        EXPECT_NE(e.find("смещение"), std::string::npos) << e;
        EXPECT_EQ(out.size(), 1u) << cut;
    }
    auto patched = [&](size_t at, int32_t v) {
        std::vector<uint8_t> b = two;
        std::memcpy(&b[g + at], &v, 4);
        return b;
    };
    // Lengths and counts that cannot be right, with the offset of the field.
    struct Case {
        size_t at;
        int32_t value;
    };
    for (const Case c : {Case{4, 0}, Case{4, 82}, Case{4, -3}, Case{11, 200}, Case{48, 27}, Case{70, -1},
                         Case{70, 1000000}, Case{74, -2}, Case{74, 5000000}}) {
        std::vector<StreetRef> out;
        const std::string e = loadError(patched(c.at, c.value), out);
        ASSERT_FALSE(e.empty()) << c.at;
        EXPECT_NE(e.find("смещение " + std::to_string(g + c.at)), std::string::npos) << e;
        EXPECT_EQ(out.size(), 1u);
    }
    // A length byte beyond its field, a house number longer than 5.
    std::vector<uint8_t> b = two;
    b[g + 8] = 5;
    std::vector<StreetRef> out;
    EXPECT_NE(loadError(b, out).find("смещение " + std::to_string(g + 8)), std::string::npos);
    b = two;
    b[g + 110] = 6;
    EXPECT_NE(loadError(b, out).find("смещение " + std::to_string(g + 110)), std::string::npos);
}

TEST(StreetList, SortedWithoutRegardToCaseAndByTheSecondName) {
    std::vector<StreetRef> s = {street("Навои, улица", "Бобура, улица"), street("абая, улица", ""),
                                street("Навои, улица", "Амира Темура, улица"), street("Zeta", "Ёлочная, улица"),
                                street("Бобура, проезд", "Лермонтова, улица")};
    EXPECT_EQ(firsts(FillStreetList(s, StreetOrder::Old)),
              (std::vector<std::string>{"Zeta|Ёлочная, улица", "абая, улица|", "Бобура, проезд|Лермонтова, улица",
                                        "Навои, улица|Амира Темура, улица", "Навои, улица|Бобура, улица"}));
    const auto byNew = FillStreetList(s, StreetOrder::New);
    EXPECT_EQ(firsts(byNew), (std::vector<std::string>{"|абая, улица", "Амира Темура, улица|Навои, улица",
                                                       "Бобура, улица|Навои, улица", "Ёлочная, улица|Zeta",
                                                       "Лермонтова, улица|Бобура, проезд"}));
    EXPECT_EQ(byNew[0].street, 1);
    EXPECT_EQ(byNew[4].street, 4);
    // Names that differ only in letter case are equal: they keep the order
    // of the register.
    std::vector<StreetRef> c = {street("НАВОИ, улица", ""), street("Навои, улица", ""), street("навои, улица", "")};
    const auto rows = FillStreetList(c, StreetOrder::Old);
    EXPECT_EQ(rows[0].street, 0);
    EXPECT_EQ(rows[1].street, 1);
    EXPECT_EQ(rows[2].street, 2);
    std::vector<StreetRef> d = {street("навои, улица", ""), street("НАВОИ, улица", "")};
    EXPECT_EQ(FillStreetList(d, StreetOrder::Old)[0].street, 0);
}

TEST(StreetSearch, ByNamesTakesTheFirstMatch) {
    std::vector<StreetRef> s = {street("A", "B"), street("A", ""), street("A", "B")};
    EXPECT_EQ(FindStreetByNames(s, "A", "B"), 0);
    EXPECT_EQ(FindStreetByNames(s, "A", ""), 1);
    EXPECT_EQ(FindStreetByNames(s, "a", "B"), -1);  // exactly, letter case included
    EXPECT_EQ(FindStreetByNames(s, "B", "A"), -1);
}

TEST(StreetSearch, ByTheNameOfAStreetNearItsFirstPoint) {
    // unitView: pixel (column, row) = (Y, 1000 - X).
    std::vector<StreetRef> s = {street("a", ""), street("b", ""), street("c", "")};
    s[0]->X1 = 900;
    s[0]->Y1 = 100;  // pixel (100, 100)
    s[0]->Anchor = 3;  // bound by its end: not found by its name
    s[1]->X1 = 900;
    s[1]->Y1 = 102;  // pixel (102, 100)
    s[2]->X1 = 900;
    s[2]->Y1 = 104;  // pixel (104, 100)
    const MapView v = unitView();
    EXPECT_EQ(FindStreetByName(s, v, {100, 100}), 1);
    EXPECT_EQ(FindStreetByName(s, v, {106, 104}), 1);  // both within 5: the earlier
    EXPECT_EQ(FindStreetByName(s, v, {108, 104}), 2);
    EXPECT_EQ(FindStreetByName(s, v, {109, 100}), -1);  // 5 away from the last
    EXPECT_EQ(FindStreetByName(s, v, {104, 105}), -1);
}

TEST(StreetSearch, ByTheAxisPointOrSegment) {
    std::vector<StreetRef> s = {street("none", ""), street("a", ""), street("b", "")};
    // A street without axis points is never found.
    s[1]->Axis = {{900, 100}, {900, 300}};          // pixels (100,100)-(300,100)
    s[2]->Axis = {{800, 200}, {950, 200}, {950, 400}};  // (200,200)-(200,50)-(400,50)
    const MapView v = unitView();
    EXPECT_EQ(FindStreetByAxis(s, v, {150, 104}), 1);   // on the segment, 4 from the line
    EXPECT_EQ(FindStreetByAxis(s, v, {150, 105}), -1);
    EXPECT_EQ(FindStreetByAxis(s, v, {202, 198}), 2);   // near an axis point
    EXPECT_EQ(FindStreetByAxis(s, v, {200, 100}), 1);   // both: the earlier street
    EXPECT_EQ(FindStreetByAxis(s, v, {350, 52}), 2);
    EXPECT_EQ(FindStreetByAxis(s, v, {303, 100}), -1);  // past the end
    std::vector<StreetRef> only = {street("none", "")};
    EXPECT_EQ(FindStreetByAxis(only, v, {0, 0}), -1);
}

TEST(StreetList, SearchFieldFiltersOnAnyPartOfEitherName) {
    std::vector<StreetRef> s = {street("Навои, улица", "Бобура, улица"), street("Ёлочная, улица", ""),
                                street("Абая, тупик", "Елочный, переулок"), street("Chekhov", "")};
    const auto rows = FillStreetList(s, StreetOrder::Old);
    StreetFilter f;
    f.setRows(rows);
    auto names = [&](const char* q) {
        std::vector<std::string> out;
        for (int i : f.filter(utf8ToCp1251(q))) out.push_back(cp1251ToUtf8(rows[size_t(i)].first));
        return out;
    };
    EXPECT_EQ(names("").size(), 4u);
    EXPECT_EQ(names("бобур"), (std::vector<std::string>{"Навои, улица"}));  // the new name
    EXPECT_EQ(names("НАВОИ"), (std::vector<std::string>{"Навои, улица"}));
    EXPECT_EQ(names("елочн"), (std::vector<std::string>{"Абая, тупик", "Ёлочная, улица"}));
    EXPECT_EQ(names("ЁЛОЧ"), (std::vector<std::string>{"Абая, тупик", "Ёлочная, улица"}));
    EXPECT_EQ(names("hek"), (std::vector<std::string>{"Chekhov"}));
    EXPECT_EQ(names("тупик"), (std::vector<std::string>{"Абая, тупик"}));
    EXPECT_TRUE(names("улица,").empty());
    // Not across the two names: the end of one and the start of the other.
    EXPECT_TRUE(names("улицабобура").empty());
    EXPECT_TRUE(names("улица бобура").empty());
}

TEST(StreetList, StreetsOfTheSameNamesShowWhereTheirAxesStart) {
    auto street = [](const char* oldName, double x, double y) {
        auto s = std::make_shared<Trues>();
        s->OldName = oldName;
        s->NewName = "N";
        s->Axis = {{x, y}, {x + 10, y}};
        return s;
    };
    std::vector<StreetRef> streets = {street("B", 1, 2), street("A", 4571000.4, 13500300), street("B", 7, 8),
                                      street("A", 4571500, 13500900.6)};
    streets.push_back(std::make_shared<Trues>(*streets[1]));
    streets.back()->Axis.clear();
    const std::vector<StreetRow> rows = FillStreetList(streets, StreetOrder::Old);
    ASSERT_EQ(rows.size(), 5u);
    std::vector<std::pair<int, std::string>> got;
    for (const StreetRow& r : rows) got.emplace_back(r.street, r.note);
    EXPECT_EQ(got, (std::vector<std::pair<int, std::string>>{{1, "ось от 4571000, 13500300"},
                                                             {3, "ось от 4571500, 13500901"},
                                                             {4, "без оси"},
                                                             {0, "ось от 1, 2"},
                                                             {2, "ось от 7, 8"}}));
    // A street of its own names has no note.
    streets.pop_back();
    streets.pop_back();
    streets.pop_back();
    for (const StreetRow& r : FillStreetList(streets, StreetOrder::Old)) EXPECT_TRUE(r.note.empty()) << r.first;
}
