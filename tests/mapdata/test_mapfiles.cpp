#include "mapdata/Blocks.h"
#include "mapdata/MapDoc.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace dm;

namespace {

fs::path tempDir(const std::string& name) {
    fs::path d = fs::temp_directory_path() / ("dm_files_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// One record exactly as the format lays it out, independent of EncodeObject.
std::vector<uint8_t> record(int32_t number, uint8_t kind, int32_t code, const std::string& name,
                            const std::vector<TXY>& pts, uint32_t penStyle = 1, uint32_t brushStyle = 2) {
    BinWriter w;
    w.i32(number);
    w.i32(7);      // StartNode
    w.i32(-1);     // EndNode
    w.u8(kind);
    w.i32(code);
    w.u8(0);       // Shape
    w.i32(int32_t(name.size() + 1));
    w.u8(uint8_t(name.size()));
    w.bytes(name.data(), name.size());
    w.i32(0x00FF00);  // PenColor
    w.u32(penStyle);
    w.i32(2);         // PenWidth
    w.u32(brushStyle);
    w.i32(0x123456);  // BrushColor
    w.i32(-1);        // ExtraInt
    w.f64(0.25);      // ExtraReal
    w.f64(412.5);     // Elevation
    w.i32(int32_t(pts.size()));
    for (auto& p : pts) {
        w.f64(p.X);
        w.f64(p.Y);
    }
    return w.data();
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Names that together hold every byte 0x80..0xFF.
std::vector<std::string> highByteNames() {
    std::string a, b;
    for (int c = 0x80; c < 0xC0; ++c) a.push_back(char(c));
    for (int c = 0xC0; c <= 0xFF; ++c) b.push_back(char(c));
    return {a, b, a + b};
}

std::string loadError(const std::vector<uint8_t>& bytes, TObjList& list) {
    BinReader r(bytes.data(), bytes.size(), "damaged.bin");
    try {
        LoadObjects(r, list);
    } catch (const FileError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(ObjectFile, LayoutAndByteExactRoundTrip) {
    const auto names = highByteNames();
    const auto bytes = concat({record(0, 1, 2402, "", {{1, 2}}),
                               record(1, 2, 3060, names[0], {{1, 2}, {3, 4}, {5, 6}}),
                               record(5, 3, 1010, names[1], {{0, 0}, {0, 10}, {10, 10}, {0, 0}}),
                               record(3, 2, 2130, names[2], {{-1.5, 1e7}, {2.5, -3}})});
    const fs::path d = tempDir("roundtrip");
    writeBytes(d / "in.bin", bytes);
    TObjList list;
    LoadObjects(d / "in.bin", list);
    ASSERT_EQ(list.size(), 4u);
    const TObj& o = *list[2];
    EXPECT_EQ(o.Number, 5);
    EXPECT_EQ(o.StartNode, 7);
    EXPECT_EQ(o.Kind, 3);
    EXPECT_EQ(o.Code, 1010);
    EXPECT_EQ(o.Name, names[1]);
    EXPECT_EQ(o.PenColor, 0x00FF00);
    EXPECT_EQ(o.PenStyle, 1);
    EXPECT_EQ(o.PenWidth, 2);
    EXPECT_EQ(o.BrushStyle, 2);
    EXPECT_EQ(o.BrushColor, 0x123456);
    EXPECT_EQ(o.ExtraReal, 0.25);
    EXPECT_EQ(o.Elevation, 412.5);
    EXPECT_EQ(o.PointCount(), 4);
    EXPECT_EQ(list[3]->Name.size(), 128u);
    EXPECT_TRUE(list[0]->Name.empty());
    SaveObjects(d / "out.bin", list);
    EXPECT_EQ(readWholeFile(d / "out.bin"), bytes);
    fs::remove_all(d);
}

TEST(ObjectFile, NameLengthsAndEmptyNames) {
    TObjList list;
    auto o = std::make_unique<TObj>();
    o->Points = {{1, 1}};
    o->Name = std::string(255, '\xE0');
    list.append(std::move(o));
    auto e = std::make_unique<TObj>();
    e->Points = {{1, 1}};
    list.append(std::move(e));
    BinWriter w;
    EncodeObject(w, *list[0]);
    BinReader r(w.data().data(), w.size(), "m");
    r.skip(18);
    EXPECT_EQ(r.i32(), 256);
    EXPECT_EQ(r.u8(), 255);
    BinWriter w2;
    EncodeObject(w2, *list[1]);
    BinReader r2(w2.data().data(), w2.size(), "m");
    r2.skip(18);
    EXPECT_EQ(r2.i32(), 1);
    EXPECT_EQ(r2.u8(), 0);
    EXPECT_EQ(w2.size(), 66u + 1 + 16);
}

TEST(ObjectFile, SavingDropsObjectsWithoutVerticesAndHighStyleBytes) {
    const auto in = concat({record(0, 2, 1, "a", {{1, 1}, {2, 2}}, 0x0102, 0xFF000003),
                            record(1, 2, 1, "b", {}),
                            record(2, 1, 1, "c", {{3, 3}})});
    TObjList list;
    ASSERT_EQ(loadError(in, list), "");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->PenStyle, 2);
    EXPECT_EQ(list[0]->BrushStyle, 3);
    const fs::path d = tempDir("drop");
    SaveObjects(d / "out.bin", list);
    const auto expected = concat({record(0, 2, 1, "a", {{1, 1}, {2, 2}}, 2, 3), record(2, 1, 1, "c", {{3, 3}})});
    EXPECT_EQ(readWholeFile(d / "out.bin"), expected);
    fs::remove_all(d);
}

TEST(ObjectFile, ProgressFigures) {
    // Empty file: 0 and nothing else.
    std::vector<int> seen;
    auto rec = [&](int p) { seen.push_back(p); };
    TObjList list;
    {
        BinReader r(nullptr, 0, "empty");
        LoadObjects(r, list, rec);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(seen, std::vector<int>{0});
    }
    // Under 200 bytes: E = 0, the figure never advances.
    seen.clear();
    {
        const auto one = record(0, 1, 1, "", {{1, 1}});
        ASSERT_LT(one.size(), 200u);
        BinReader r(one.data(), one.size(), "small");
        LoadObjects(r, list, rec);
        EXPECT_EQ(seen, std::vector<int>{0});
    }
    // Records of 83 bytes: 10 of them make 830 bytes, E = 4, the figure
    // passes 100 (k/E x 100 for k = 1..10: 25, 50, 75, 100, 125, ... 250).
    seen.clear();
    {
        std::vector<uint8_t> ten;
        for (int i = 0; i < 10; ++i) {
            auto r1 = record(i, 1, 1, "", {{1, 1}});
            ten.insert(ten.end(), r1.begin(), r1.end());
        }
        BinReader r(ten.data(), ten.size(), "ten");
        LoadObjects(r, list, rec);
        EXPECT_EQ(seen, (std::vector<int>{0, 50, 100, 150, 200, 250}));
    }
    // 1,000 records of exactly 200 bytes (a name of 5 letters, 8 vertices):
    // E = 1,000, the figure is k / 10 and passes every tenth once.
    seen.clear();
    {
        std::vector<uint8_t> many;
        for (int i = 0; i < 1000; ++i) {
            auto r1 = record(i, 2, 1, "abcde", std::vector<TXY>(8, TXY{1, 2}));
            ASSERT_EQ(r1.size(), 200u);
            many.insert(many.end(), r1.begin(), r1.end());
        }
        BinReader r(many.data(), many.size(), "many");
        LoadObjects(r, list, rec);
        EXPECT_EQ(list.size(), 1000u);
        EXPECT_EQ(seen, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    }
    // Saving one object: D = 1, so the figure reads 100 for it.
    seen.clear();
    const fs::path d = tempDir("progress");
    TObjList one;
    auto o = std::make_unique<TObj>();
    o->Points = {{0, 0}};
    one.append(std::move(o));
    SaveObjects(d / "one.bin", one, rec);
    EXPECT_EQ(seen, (std::vector<int>{0, 100}));
    fs::remove_all(d);
}

TEST(ObjectFile, TruncatedAtEveryOffsetGivesAClearErrorAndKeepsWholeRecords) {
    const auto r1 = record(0, 2, 3060, "\xC0\xC1", {{1, 2}, {3, 4}});
    const auto r2 = record(1, 1, 2402, "", {{5, 6}});
    const auto all = concat({r1, r2});
    for (size_t cut = 0; cut < all.size(); ++cut) {
        std::vector<uint8_t> part(all.begin(), all.begin() + long(cut));
        TObjList list;
        const std::string e = loadError(part, list);
        if (cut == 0 || cut == r1.size()) {
            EXPECT_EQ(e, "") << cut;  // a whole number of records is a valid file
        } else {
            EXPECT_NE(e.find("damaged.bin"), std::string::npos) << cut << ": " << e;
            EXPECT_NE(e.find("смещение"), std::string::npos) << cut << ": " << e;
        }
        EXPECT_EQ(list.size(), cut < r1.size() ? 0u : 1u) << cut;
    }
}

TEST(ObjectFile, DamagedCountsAreRefusedWithoutOverrun) {
    const auto good = record(0, 1, 1, "", {{1, 1}});
    auto patch = [&](size_t at, int32_t v) {
        auto b = concat({good, good});
        std::memcpy(&b[good.size() + at], &v, 4);
        return b;
    };
    struct Case {
        size_t at;
        int32_t value;
        const char* offset;
    };
    const size_t g = good.size();
    // N at 18, PointCount at 62 + N (N = 1 here).
    for (const Case& c : {Case{18, -5, nullptr}, Case{18, 300, nullptr}, Case{18, 100000, nullptr},
                          Case{63, -1, nullptr}, Case{63, 2, nullptr}, Case{63, 0x7FFFFFFF, nullptr}}) {
        TObjList list;
        const std::string e = loadError(patch(c.at, c.value), list);
        ASSERT_FALSE(e.empty()) << c.at << " " << c.value;
        EXPECT_NE(e.find("смещение " + std::to_string(g + c.at)), std::string::npos) << e;
        EXPECT_EQ(list.size(), 1u);
    }
    // A length byte larger than the name field (N = 3, length 5).
    const auto named = record(0, 1, 1, "AB", {{1, 1}});
    auto b = concat({good, named});
    b[g + 22] = 5;
    TObjList list;
    EXPECT_NE(loadError(b, list).find("смещение " + std::to_string(g + 22)), std::string::npos);
}

TEST(ObjectFile, MissingFileLeavesTheListAlone) {
    TObjList list;
    list.append(std::make_unique<TObj>());
    try {
        LoadObjects(fs::path("/nonexistent/dir/map.bin"), list);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Файл /nonexistent/dir/map.bin не существует");
    }
    EXPECT_EQ(list.size(), 1u);
}

TEST(OrientationFile, RoundTripKeepsPaddingAndRejectsDamage) {
    const fs::path d = tempDir("orient");
    BinWriter w;
    for (double v : {4574000.5, 4569000.25, 13506000.0, 13499000.0, 1.2}) w.f64(v);
    w.u8(2);
    w.bytes("\x01\x02\x03", 3);
    w.i32(679);
    writeBytes(d / "m.or", w.data());
    OrientationRecord r = ReadOrientation(d / "m.or");
    EXPECT_EQ(r.XMax, 4574000.5);
    EXPECT_EQ(r.YMin, 13499000.0);
    EXPECT_EQ(r.CoordKind, 2);
    EXPECT_EQ(r.NextNode, 679);
    WriteOrientation(d / "copy.or", r);
    EXPECT_EQ(readWholeFile(d / "copy.or"), w.data());

    // Too short, and an unknown coordinate kind.
    writeBytes(d / "short.or", std::vector<uint8_t>(w.data().begin(), w.data().begin() + 47));
    EXPECT_THROW(ReadOrientation(d / "short.or"), FileError);
    auto bad = w.data();
    bad[40] = 3;
    writeBytes(d / "bad.or", bad);
    try {
        ReadOrientation(d / "bad.or");
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("смещение 40"), std::string::npos) << e.what();
    }
    fs::remove_all(d);
}

TEST(OrientationFile, ValuesThatAreNotFiniteNumbersAreRefused) {
    const fs::path d = tempDir("orient_nonfinite");
    // 4574140, 4569625, 13506020, 13499700, meridian 1.25, plane, node 7.
    const std::vector<uint8_t> good = {
        0x00, 0x00, 0x00, 0x00, 0xEF, 0x72, 0x51, 0x41,  // 4574140
        0x00, 0x00, 0x00, 0x40, 0x86, 0x6E, 0x51, 0x41,  // 4569625
        0x00, 0x00, 0x00, 0x80, 0xBC, 0xC2, 0x69, 0x41,  // 13506020
        0x00, 0x00, 0x00, 0x80, 0xA6, 0xBF, 0x69, 0x41,  // 13499700
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF4, 0x3F,  // 1.25
        0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00};
    writeBytes(d / "good.or", good);
    const OrientationRecord r = ReadOrientation(d / "good.or");
    EXPECT_EQ(r.XMax, 4574140.0);
    EXPECT_EQ(r.XMin, 4569625.0);
    EXPECT_EQ(r.YMax, 13506020.0);
    EXPECT_EQ(r.YMin, 13499700.0);
    EXPECT_EQ(r.AxialMeridian, 1.25);
    EXPECT_EQ(r.NextNode, 7);
    const std::vector<uint8_t> nan = {0, 0, 0, 0, 0, 0, 0xF8, 0x7F};
    const std::vector<uint8_t> inf = {0, 0, 0, 0, 0, 0, 0xF0, 0x7F};
    const std::vector<uint8_t> minusInf = {0, 0, 0, 0, 0, 0, 0xF0, 0xFF};
    const char* names[] = {"XMax", "XMin", "YMax", "YMin", "осевой меридиан"};
    for (int field = 0; field < 5; ++field) {
        for (const auto* value : {&nan, &inf, &minusInf}) {
            auto bad = good;
            std::copy(value->begin(), value->end(), bad.begin() + field * 8);
            writeBytes(d / "bad.or", bad);
            try {
                ReadOrientation(d / "bad.or");
                ADD_FAILURE() << "field " << field;
            } catch (const FileError& e) {
                EXPECT_EQ(std::string(e.what()), "Файл " + (d / "bad.or").string() + " повреждён: " + names[field] +
                                                     " не является конечным числом (смещение " +
                                                     std::to_string(field * 8) + ")");
            }
        }
    }
    fs::remove_all(d);
}

TEST(ObjectFile, FailedSaveKeepsTheOldFile) {
    const fs::path d = tempDir("failsave");
    writeBytes(d / "m.bin", {1, 2, 3});
    TObjList list;
    auto o = std::make_unique<TObj>();
    o->Points = {{0, 0}};
    list.append(std::move(o));
    EXPECT_THROW(SaveObjects(d / "missing" / "m.bin", list), FileError);
    fs::create_directories(d / "dir.bin" / "x");
    EXPECT_THROW(SaveObjects(d / "dir.bin", list), FileError);
    EXPECT_EQ(readWholeFile(d / "m.bin"), (std::vector<uint8_t>{1, 2, 3}));
    fs::remove_all(d);
}

namespace {
// One object record written out byte by byte from the layout table.
const std::vector<uint8_t> kLiteralRecord = {
    0x03, 0x00, 0x00, 0x00,                          // Number 3
    0x05, 0x00, 0x00, 0x00,                          // StartNode 5
    0xFF, 0xFF, 0xFF, 0xFF,                          // EndNode -1
    0x02,                                            // Kind 2
    0xF4, 0x0B, 0x00, 0x00,                          // Code 3060
    0x01,                                            // Shape 1
    0x03, 0x00, 0x00, 0x00,                          // N = 3
    0x02, 0xC0, 0x42,                                // name: 2 bytes "\xC0B"
    0xFF, 0x00, 0x00, 0x00,                          // PenColor 0x0000FF
    0x02, 0x00, 0x00, 0x00,                          // PenStyle 2
    0x03, 0x00, 0x00, 0x00,                          // PenWidth 3
    0x01, 0x00, 0x00, 0x00,                          // BrushStyle 1
    0x00, 0xFF, 0x00, 0x00,                          // BrushColor 0x00FF00
    0xFE, 0xFF, 0xFF, 0xFF,                          // ExtraInt -2
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F,  // ExtraReal 0.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x79, 0x40,  // Elevation 412.5
    0x02, 0x00, 0x00, 0x00,                          // PointCount 2
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // X 1.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // Y 2.0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0xBF,  // X -1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x40,  // Y 4.0
};
}  // namespace

TEST(ObjectFile, EveryFieldOfALiteralRecord) {
    TObjList list;
    ASSERT_EQ(loadError(kLiteralRecord, list), "");
    ASSERT_EQ(list.size(), 1u);
    const TObj& o = *list[0];
    EXPECT_EQ(o.Number, 3);
    EXPECT_EQ(o.StartNode, 5);
    EXPECT_EQ(o.EndNode, -1);
    EXPECT_EQ(o.Kind, 2);
    EXPECT_EQ(o.Code, 3060);
    EXPECT_EQ(o.Shape, 1);
    EXPECT_EQ(o.Name, std::string("\xC0" "B"));
    EXPECT_EQ(o.PenColor, 0x0000FF);
    EXPECT_EQ(o.PenStyle, 2);
    EXPECT_EQ(o.PenWidth, 3);
    EXPECT_EQ(o.BrushStyle, 1);
    EXPECT_EQ(o.BrushColor, 0x00FF00);
    EXPECT_EQ(o.ExtraInt, -2);
    EXPECT_EQ(o.ExtraReal, 0.5);
    EXPECT_EQ(o.Elevation, 412.5);
    ASSERT_EQ(o.PointCount(), 2);
    EXPECT_EQ(o.Points[0].X, 1.0);
    EXPECT_EQ(o.Points[0].Y, 2.0);
    EXPECT_EQ(o.Points[1].X, -1.5);
    EXPECT_EQ(o.Points[1].Y, 4.0);
    // Written back: the same bytes.
    BinWriter w;
    EncodeObject(w, o);
    EXPECT_EQ(w.data(), kLiteralRecord);
    // An object built field by field writes the same bytes.
    TObj n;
    n.Number = 3;
    n.StartNode = 5;
    n.Kind = 2;
    n.Code = 3060;
    n.Shape = 1;
    n.Name = "\xC0" "B";
    n.PenColor = 0xFF;
    n.PenStyle = 2;
    n.PenWidth = 3;
    n.BrushStyle = 1;
    n.BrushColor = 0xFF00;
    n.ExtraInt = -2;
    n.ExtraReal = 0.5;
    n.Elevation = 412.5;
    n.Points = {{1.0, 2.0}, {-1.5, 4.0}};
    BinWriter w2;
    EncodeObject(w2, n);
    EXPECT_EQ(w2.data(), kLiteralRecord);
}

TEST(ObjectFile, ANameFieldOfOneByteIsAnEmptyName) {
    // N = 1 with a stray byte 0x41 in the length place: the name is empty
    // and the record is read on, field by field.
    std::vector<uint8_t> b = kLiteralRecord;
    b.erase(b.begin() + 18, b.begin() + 25);
    const std::vector<uint8_t> field = {0x01, 0x00, 0x00, 0x00, 0x41};
    b.insert(b.begin() + 18, field.begin(), field.end());
    TObjList list;
    ASSERT_EQ(loadError(b, list), "");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0]->Name.empty());
    EXPECT_EQ(list[0]->PenColor, 0x0000FF);
    EXPECT_EQ(list[0]->Points[1].X, -1.5);
    // Saved again: N = 1 and a zero byte.
    BinWriter w;
    EncodeObject(w, *list[0]);
    b[22] = 0x00;
    EXPECT_EQ(w.data(), b);
}

TEST(OrientationFile, EveryFieldOfALiteralRecord) {
    const std::vector<uint8_t> bytes = {
        0x00, 0x00, 0x00, 0x00, 0x00, 0x88, 0xB3, 0x40,  // XMax 5000
        0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x8F, 0x40,  // XMin 1000
        0x00, 0x00, 0x00, 0x00, 0x00, 0x70, 0xA7, 0x40,  // YMax 3000
        0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x9F, 0x40,  // YMin 2000
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  // AxialMeridian 1.0
        0x02,                                            // CoordKind 2
        0xAA, 0xBB, 0xCC,                                // padding
        0x4D, 0x00, 0x00, 0x00,                          // NextNode 77
    };
    const fs::path d = tempDir("orlit");
    writeBytes(d / "m.or", bytes);
    const OrientationRecord r = ReadOrientation(d / "m.or");
    EXPECT_EQ(r.XMax, 5000);
    EXPECT_EQ(r.XMin, 1000);
    EXPECT_EQ(r.YMax, 3000);
    EXPECT_EQ(r.YMin, 2000);
    EXPECT_EQ(r.AxialMeridian, 1.0);
    EXPECT_EQ(r.CoordKind, 2);
    EXPECT_EQ(r.Padding[0], 0xAA);
    EXPECT_EQ(r.Padding[2], 0xCC);
    EXPECT_EQ(r.NextNode, 77);
    OrientationRecord n;
    n.XMax = 5000;
    n.XMin = 1000;
    n.YMax = 3000;
    n.YMin = 2000;
    n.AxialMeridian = 1;
    n.CoordKind = 2;
    n.Padding = {0xAA, 0xBB, 0xCC};
    n.NextNode = 77;
    WriteOrientation(d / "n.or", n);
    EXPECT_EQ(readWholeFile(d / "n.or"), bytes);
    fs::remove_all(d);
}

namespace {
// The fields of record i of the large file below.
struct Fields {
    int32_t number, start, end, code, penColor, penWidth, brushColor, extraInt, count;
    uint8_t kind, shape, penStyle, brushStyle;
    double extraReal, elevation;
    std::string name;
};
Fields fieldsOf(int i) {
    Fields f;
    f.number = i;
    f.start = 3 * i;
    f.end = -i;
    f.code = 100000 + i;
    f.penColor = i * 7919;
    f.penWidth = i % 4;
    f.brushColor = 0xFFFFFF - i;
    f.extraInt = i % 11 - 5;
    f.count = 1 + i % 9;
    if (i == 30000) f.count = 20000;  // longer than a chunk's room, and than a piece of a block
    if (i == 40000) f.count = 9000;   // longer than a piece of a block
    f.kind = uint8_t(1 + i % 3);
    f.shape = uint8_t(i % 3);
    f.penStyle = uint8_t(i % 6);
    f.brushStyle = uint8_t(i % 8);
    f.extraReal = i * 0.5;
    f.elevation = -i;
    if (i % 7 == 0) f.name = "\xD3\xEB. " + std::to_string(i);  // "Ул. i"
    return f;
}
TXY vertexOf(int i, int k) { return {i + k / 1024.0, -i - k / 8.0}; }
}  // namespace

// A map file of several MiB is read ahead while it is decoded, and its
// objects lie in shared blocks: every field of every record comes back,
// the file is written back byte for byte, and closing the map gives the
// blocks back.
TEST(ObjectFile, ALargeFileGivesEveryFieldAndSavesBackByteForByte) {
    const int n = 60000;
    BinWriter w;
    for (int i = 0; i < n; ++i) {
        const Fields f = fieldsOf(i);
        w.i32(f.number);
        w.i32(f.start);
        w.i32(f.end);
        w.u8(f.kind);
        w.i32(f.code);
        w.u8(f.shape);
        w.i32(int32_t(f.name.size() + 1));
        w.u8(uint8_t(f.name.size()));
        w.bytes(f.name.data(), f.name.size());
        w.i32(f.penColor);
        w.u32(f.penStyle);
        w.i32(f.penWidth);
        w.u32(f.brushStyle);
        w.i32(f.brushColor);
        w.i32(f.extraInt);
        w.f64(f.extraReal);
        w.f64(f.elevation);
        w.i32(f.count);
        for (int k = 0; k < f.count; ++k) {
            w.f64(vertexOf(i, k).X);
            w.f64(vertexOf(i, k).Y);
        }
    }
    ASSERT_GT(w.size(), size_t(8) << 20);
    const fs::path d = tempDir("large");
    writeBytes(d / "big.bin", w.data());
    const size_t blocksBefore = BlockCutter::blocksInUse();
    TObjList list;
    LoadObjects(d / "big.bin", list);
    ASSERT_EQ(list.size(), size_t(n));
    for (int i = 0; i < n; ++i) {
        const Fields f = fieldsOf(i);
        const TObj& o = *list[size_t(i)];
        ASSERT_EQ(o.Number, f.number);
        ASSERT_EQ(o.StartNode, f.start);
        ASSERT_EQ(o.EndNode, f.end);
        ASSERT_EQ(o.Kind, f.kind);
        ASSERT_EQ(o.Code, f.code);
        ASSERT_EQ(o.Shape, f.shape);
        ASSERT_EQ(o.Name.str(), f.name);
        ASSERT_EQ(o.PenColor, f.penColor);
        ASSERT_EQ(o.PenStyle, f.penStyle);
        ASSERT_EQ(o.PenWidth, f.penWidth);
        ASSERT_EQ(o.BrushStyle, f.brushStyle);
        ASSERT_EQ(o.BrushColor, f.brushColor);
        ASSERT_EQ(o.ExtraInt, f.extraInt);
        ASSERT_EQ(o.ExtraReal, f.extraReal);
        ASSERT_EQ(o.Elevation, f.elevation);
        ASSERT_EQ(o.PointCount(), f.count) << i;
        for (int k = 0; k < f.count; ++k) ASSERT_EQ(o.Points[size_t(k)], vertexOf(i, k)) << i << " " << k;
        // Short vertex lists lie in the blocks, long ones on their own.
        ASSERT_EQ(o.Points.isInBlock(), f.count * 16 <= int(BlockCutter::kLargestPiece)) << i;
    }
    EXPECT_GE(BlockCutter::blocksInUse(), blocksBefore + 3);
    SaveObjects(d / "back.bin", list);
    EXPECT_EQ(readWholeFile(d / "back.bin"), w.data());
    list.clear();
    // The calling thread's cutter may keep the block it cuts from.
    EXPECT_LE(BlockCutter::blocksInUse(), blocksBefore + 1);
    fs::remove_all(d);
}
