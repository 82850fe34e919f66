#include "classifier/Znak.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;

namespace {

TZnak symbol(int code, int32_t color, std::vector<std::pair<int, int>> cells) {
    TZnak z;
    z.Code = code;
    z.Color = color;
    z.Count = uint8_t(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        z.Col[i] = cells[i].first - 5;
        z.Row[i] = cells[i].second - 5;
    }
    return z;
}

struct Dir {
    fs::path p = fs::temp_directory_path() / ("dm_znak_" + std::to_string(::getpid()));
    Dir() { fs::create_directories(p); }
    ~Dir() { fs::remove_all(p); }
};

QImage blank() {
    QImage img(60, 60, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

}  // namespace

TEST(Znak, RecordLayout) {
    TZnak z = symbol(2402, 0x00112233, {{1, 1}, {15, 15}});
    z.Padding = {7, 8, 9};
    BinWriter w;
    EncodeZnak(w, z);
    ASSERT_EQ(w.size(), kZnakRecordSize);
    const auto& b = w.data();
    EXPECT_EQ(b[0] | b[1] << 8, 2402);
    EXPECT_EQ(b[4], 2);
    EXPECT_EQ(b[5], 7);
    EXPECT_EQ(b[8], 0x33);
    EXPECT_EQ(int32_t(b[12] | b[13] << 8 | b[14] << 16 | b[15] << 24), -4);   // Col[1]
    EXPECT_EQ(b[16], 10);                                                      // Col[2]
    EXPECT_EQ(int32_t(b[912] | b[913] << 8 | b[914] << 16 | b[915] << 24), -4); // Row[1]
    BinReader r(b.data(), b.size(), "z");
    const TZnak back = DecodeZnak(r);
    EXPECT_EQ(back.Code, 2402);
    EXPECT_EQ(back.Padding, z.Padding);
    EXPECT_EQ(back.Col, z.Col);
    EXPECT_EQ(back.Row, z.Row);
}

TEST(Znak, FactorOneIsFifteenPixelsAroundTheAnchor) {
    Dir d;
    WriteZnakFile(d.p / "s.ris", {symbol(5, 0x0000FF, {{1, 1}, {8, 8}, {15, 15}, {15, 1}})});
    ZnakSet set;
    set.LoadZnakIndex(d.p / "s.ris");
    QImage img = blank();
    {
        QPainter p(&img);
        EXPECT_TRUE(set.DrawZnak(p, 30, 30, 5, 1));
    }
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(img.pixel(30, 30), red);
    EXPECT_EQ(img.pixel(23, 23), red);
    EXPECT_EQ(img.pixel(37, 37), red);
    EXPECT_EQ(img.pixel(37, 23), red);
    EXPECT_EQ(img.pixel(24, 24), qRgb(255, 255, 255));
    // Factor 2 (and 2.4, rounded): the same pixels two apart, not bigger.
    for (double f : {2.0, 2.4}) {
        QImage img2 = blank();
        {
            QPainter p(&img2);
            set.DrawZnak(p, 30, 30, 5, f);
        }
        EXPECT_EQ(img2.pixel(16, 16), red);
        EXPECT_EQ(img2.pixel(44, 44), red);
        EXPECT_EQ(img2.pixel(17, 17), qRgb(255, 255, 255));
        EXPECT_EQ(img2.pixel(30, 30), red);
    }
    QImage img3 = blank();
    QPainter p3(&img3);
    EXPECT_FALSE(set.DrawZnak(p3, 30, 30, 6, 1));
}

TEST(Znak, IndexCapDuplicatesAndEmptySymbols) {
    Dir d;
    std::vector<TZnak> recs;
    recs.push_back(symbol(10, 0x0000FF, {{8, 8}}));  // red
    recs.push_back(symbol(10, 0x00FF00, {{8, 8}}));  // green, same code: never used
    recs.push_back(symbol(11, 0, {}));                // no pixels
    for (int i = 3; i < 900; ++i) recs.push_back(symbol(1000 + i, 0, {{8, 8}}));
    recs.push_back(symbol(77, 0, {{8, 8}}));          // record 900: beyond the cap
    WriteZnakFile(d.p / "big.ris", recs);
    // A trailing partial record does not count.
    {
        auto bytes = readWholeFile(d.p / "big.ris");
        bytes.resize(bytes.size() + 100, 0);
        writeFileAtomically(d.p / "big.ris", bytes);
    }
    ZnakSet set;
    set.LoadZnakIndex(d.p / "big.ris");
    EXPECT_EQ(set.ZnakIndex().size(), 900u);
    EXPECT_EQ(set.ZnakIndex()[1].Code, 10);
    EXPECT_EQ(set.ZnakIndex()[1].Record, 1);
    EXPECT_EQ(set.find(77), nullptr);
    QImage img = blank();
    QPainter p(&img);
    EXPECT_FALSE(set.DrawZnak(p, 5, 5, 77, 1));
    EXPECT_TRUE(set.DrawZnak(p, 5, 5, 10, 1));
    EXPECT_TRUE(set.DrawZnak(p, 20, 20, 11, 1));  // found, draws nothing
    p.end();
    EXPECT_EQ(img.pixel(5, 5), qRgb(255, 0, 0));
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 30; ++x) ASSERT_EQ(img.pixel(x, y), qRgb(255, 255, 255));
    EXPECT_EQ(ReadZnakFile(d.p / "big.ris").size(), 901u);
}

TEST(Znak, MissingFileIsAnErrorAndKeepsTheOldSet) {
    Dir d;
    WriteZnakFile(d.p / "s.ris", {symbol(5, 0, {{8, 8}})});
    ZnakSet set;
    set.LoadZnakIndex(d.p / "s.ris");
    EXPECT_THROW(set.LoadZnakIndex(d.p / "none.ris"), FileError);
    EXPECT_NE(set.find(5), nullptr);
}

TEST(Znak, CodesOfEveryRangeFindTheirFirstRecord) {
    // Codes near and beyond the usual range, negative ones, and repeated
    // ones: each finds the first record with its code, and no other code
    // finds anything.
    Dir d;
    const std::vector<TZnak> recs = {symbol(65535, 1, {{8, 8}}), symbol(65536, 2, {{8, 8}}), symbol(-5, 3, {{8, 8}}),
                                     symbol(70000, 4, {{8, 8}}), symbol(0, 5, {{8, 8}}),     symbol(65536, 6, {{8, 8}}),
                                     symbol(65535, 7, {{8, 8}}), symbol(0, 8, {{8, 8}})};
    WriteZnakFile(d.p / "s.ris", recs);
    ZnakSet set;
    set.LoadZnakIndex(d.p / "s.ris");
    const std::pair<int32_t, int32_t> expected[] = {{65535, 1}, {65536, 2}, {-5, 3}, {70000, 4}, {0, 5}};
    for (auto [code, color] : expected) {
        const TZnak* z = set.find(code);
        ASSERT_NE(z, nullptr) << code;
        EXPECT_EQ(z->Color, color) << code;
    }
    for (int32_t code : {1, 65534, 65537, -1, -6, 69999, 1 << 30}) EXPECT_EQ(set.find(code), nullptr) << code;
    // Another file in its place forgets the first one's codes.
    WriteZnakFile(d.p / "t.ris", {symbol(1, 9, {{8, 8}})});
    set.LoadZnakIndex(d.p / "t.ris");
    EXPECT_EQ(set.find(65535), nullptr);
    EXPECT_EQ(set.find(0), nullptr);
    ASSERT_NE(set.find(1), nullptr);
    EXPECT_EQ(set.find(1)->Color, 9);
}
