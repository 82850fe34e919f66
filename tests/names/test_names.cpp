#include "display/MapView.h"
#include "mapdata/Cp1251.h"
#include "names/Names.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace dm;

namespace {
TNaz labelOf(const char* oldUtf8, const char* newUtf8 = "") {
    TNaz n;
    n.OldName = utf8ToCp1251(oldUtf8);
    n.NewName = utf8ToCp1251(newUtf8);
    return n;
}
std::string shown(const TNaz& n) { return cp1251ToUtf8(NameDisplayText(n)); }
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

TEST(Names, FileRoundTripByteForByte) {
    std::vector<NameRef> names;
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) high.push_back(char(c));
    for (int i = 0; i < 3; ++i) {
        auto n = std::make_shared<TNaz>();
        n->OldName = i == 0 ? high : utf8ToCp1251("Навои, улица");
        n->NewName = i == 1 ? std::string(255, '\xE0') : "";
        n->X1 = 1.5 + i;
        n->Y1 = -2.25;
        n->X2 = 1e7;
        n->Y2 = 3;
        n->FontName = i == 2 ? "Times New Roman Cyr" : "Arial";
        n->Bold = i == 1;
        n->Italic = true;
        n->FontColor = 0x00123456;
        n->FontSize = 11;
        n->BoundObject = i == 2 ? 17 : -1;
        n->Anchor = i == 2 ? 3 : 0;
        names.push_back(n);
    }
    const fs::path d = fs::temp_directory_path() / ("dm_names_" + std::to_string(::getpid()));
    fs::create_directories(d);
    SaveNames(d / "a.nam", names);
    const auto bytes = readWholeFile(d / "a.nam");
    // The layout of the first record: counted strings, four doubles, the font name.
    int32_t l1;
    std::memcpy(&l1, bytes.data(), 4);
    EXPECT_EQ(l1, 129);
    EXPECT_EQ(bytes[4], 128);
    std::vector<NameRef> back;
    LoadNames(d / "a.nam", back);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0]->OldName, high);
    EXPECT_EQ(back[1]->NewName.size(), 255u);
    EXPECT_EQ(back[2]->FontName, "Times New Roman Cyr");  // 19 characters fit
    EXPECT_EQ(back[2]->Anchor, 3);
    EXPECT_EQ(back[2]->BoundObject, 17);
    SaveNames(d / "b.nam", back);
    EXPECT_EQ(readWholeFile(d / "b.nam"), bytes);
    // A longer font name is cut to 19 characters in the file.
    names[0]->FontName = "A very long font face name";
    SaveNames(d / "c.nam", names);
    LoadNames(d / "c.nam", back);
    EXPECT_EQ(back[0]->FontName, "A very long font fa");
    fs::remove_all(d);
}

TEST(Names, DamagedFilesKeepTheLabelsReadBefore) {
    std::vector<NameRef> names;
    for (int i = 0; i < 2; ++i) {
        auto n = std::make_shared<TNaz>();
        n->OldName = "abc";
        n->FontName = "Arial";
        names.push_back(n);
    }
    BinWriter w;
    EncodeName(w, *names[0]);
    const size_t one = w.size();
    EncodeName(w, *names[1]);
    for (size_t cut = 1; cut < w.size(); ++cut) {
        BinReader r(w.data().data(), cut, "cut.nam");
        std::vector<NameRef> out;
        try {
            LoadNames(r, out);
            EXPECT_EQ(cut, one) << cut;
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("cut.nam"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("смещение"), std::string::npos);
        }
        EXPECT_EQ(out.size(), cut < one ? 0u : 1u) << cut;
    }
    // An impossible length prefix.
    auto bytes = w.data();
    bytes[0] = 0x00;
    bytes[1] = 0x10;  // 4096
    BinReader r(bytes.data(), bytes.size(), "bad.nam");
    std::vector<NameRef> out;
    EXPECT_THROW(LoadNames(r, out), FileError);
}

TEST(Names, DisplayText) {
    EXPECT_EQ(shown(labelOf("Навои, улица")), "Навои, ул.");
    EXPECT_EQ(shown(labelOf("Навои,улица")), "Навои,улица");
    EXPECT_EQ(shown(labelOf("Бобура, проезд")), "Бобура, пр.");
    EXPECT_EQ(shown(labelOf("Чехова, переулок")), "Чехова, пер.");
    EXPECT_EQ(shown(labelOf("Абая, тупик")), "Абая, туп.");
    EXPECT_EQ(shown(labelOf("Абая, тупик дальний")), "Абая, тупик дальний");
    EXPECT_EQ(shown(labelOf(" улица")), " ул.");  // no comma: the whole text is the tail
    EXPECT_EQ(shown(labelOf("улица")), "улица");
    EXPECT_EQ(shown(labelOf("Ленина, улица", "Навои, улица")), "Навои, ул.");
    EXPECT_EQ(shown(labelOf("Старое", "")), "Старое");
    EXPECT_EQ(shown(labelOf("a, b, улица")), "a, b, улица");  // split at the first comma
}

TEST(Names, FontSizeAndAngle) {
    EXPECT_EQ(NameFontSize(1999), 13);
    EXPECT_EQ(NameFontSize(2000), 12);
    EXPECT_EQ(NameFontSize(4499.9), 11);
    EXPECT_EQ(NameFontSize(4500), 10);
    EXPECT_EQ(NameFontSize(9999), 9);
    EXPECT_EQ(NameFontSize(14999), 8);
    EXPECT_EQ(NameFontSize(19999), 7);
    EXPECT_EQ(NameFontSize(20000), 6);
    EXPECT_EQ(NameAngle(10, 10, 50, 10), 0);
    EXPECT_EQ(NameAngle(50, 10, 10, 10), 0);    // leftwards on one row: still horizontal
    EXPECT_EQ(NameAngle(10, 50, 10, 10), 90);   // point 2 above
    EXPECT_EQ(NameAngle(10, 10, 10, 50), -90);  // point 2 below
    EXPECT_EQ(NameAngle(10, 10, 20, 0), 45);
    EXPECT_EQ(NameAngle(20, 10, 10, 0), 135);   // leftwards and up: upside down
    EXPECT_EQ(NameAngle(20, 10, 10, 20), -135);
}

TEST(Names, BoundLabelOffsets) {
    TNaz n = labelOf("Abcd");
    const QPoint a(100, 100), b(200, 100);
    EXPECT_EQ(BoundLabelPoints(n, a, b, false), std::make_pair(a, b));  // free
    n.BoundObject = 3;
    n.Anchor = 0;
    EXPECT_EQ(BoundLabelPoints(n, a, b, false), std::make_pair(a, b));  // bound, anchor 0: not moved
    n.Anchor = 1;
    EXPECT_EQ(BoundLabelPoints(n, a, b, false), std::make_pair(QPoint(105, 94), QPoint(205, 94)));
    EXPECT_EQ(BoundLabelPoints(n, a, b, true), std::make_pair(QPoint(105, 94), QPoint(200, 94)));
    n.Anchor = 3;  // ends at the object: starts 7 pixels per character before
    EXPECT_EQ(BoundLabelPoints(n, a, b, false), std::make_pair(QPoint(172, 94), QPoint(200, 94)));
}

TEST(Names, FindByTheFirstOrTheSecondPoint) {
    std::vector<NameRef> names;
    auto free = std::make_shared<TNaz>(labelOf("free"));
    free->X1 = 900;  // pixel (100, 100)
    free->Y1 = 100;
    free->X2 = 900;
    free->Y2 = 200;
    auto byEnd = std::make_shared<TNaz>(labelOf("end"));
    byEnd->X1 = 500;  // pixel (300, 500)
    byEnd->Y1 = 300;
    byEnd->X2 = 500;  // pixel (400, 500)
    byEnd->Y2 = 400;
    byEnd->Anchor = 3;
    byEnd->BoundObject = 1;
    names = {free, byEnd};
    const MapView v = unitView();
    NameHit h = FindName(names, v, {104, 96});
    EXPECT_EQ(h.Index, 0);
    EXPECT_EQ(h.Second, QPoint(200, 100));
    EXPECT_EQ(FindName(names, v, {105, 100}).Index, -1);
    EXPECT_EQ(FindName(names, v, {200, 100}).Index, -1);  // the second point of a free label
    EXPECT_EQ(FindName(names, v, {402, 503}).Index, 1);
    EXPECT_EQ(FindName(names, v, {300, 500}).Index, -1);  // the first point of an end-bound label
}

TEST(Names, DrawingOnlyInsideTheViewAndErasedInWhite) {
    QImage img(300, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    MapView v = unitView();
    TNaz n = labelOf("ДАРВЕНТ");
    n.FontName = "Arial";
    n.FontColor = 0x0000FF;
    n.X1 = 900;  // pixel (50, 100)
    n.Y1 = 50;
    n.X2 = 900;
    n.Y2 = 250;
    auto count = [&](QRgb c) {
        int k = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) k += img.pixel(x, y) == c;
        return k;
    };
    {
        QPainter p(&img);
        DrawName(p, n, v, false);
    }
    EXPECT_GT(count(qRgb(255, 0, 0)), 20);
    // The text hangs below its first point and runs to the right.
    int minX = 300, minY = 300;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                minX = std::min(minX, x);
                minY = std::min(minY, y);
            }
    EXPECT_GE(minX, 50);
    EXPECT_LE(minX, 53);
    EXPECT_GE(minY, 100);
    EXPECT_LE(minY, 104);
    // A first point just outside the view: nothing drawn.
    QImage other(300, 300, QImage::Format_RGB32);
    other.fill(Qt::white);
    TNaz out = n;
    out.Y1 = -0.001;
    {
        QPainter p(&other);
        DrawName(p, out, v, false);
    }
    EXPECT_EQ(other.pixel(60, 105), qRgb(255, 255, 255));
    bool any = false;
    for (int y = 0; y < 300 && !any; ++y)
        for (int x = 0; x < 300 && !any; ++x) any = other.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_FALSE(any);
}

TEST(Names, ALabelWithAnEndThatIsNotAFiniteNumberIsKeptButNotDrawn) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    TNaz n = labelOf("ДАРВЕНТ");
    n.FontName = "Arial";
    n.FontColor = 0x0000FF;
    n.X1 = 900;  // pixel (50, 100), in the view
    n.Y1 = 50;
    // In the file the label keeps its bytes: not a number, infinity and
    // its sign come back as they were.
    const fs::path d = fs::temp_directory_path() / ("dm_names_nf_" + std::to_string(::getpid()));
    fs::create_directories(d);
    std::vector<NameRef> labels;
    for (auto [x2, y2] : {std::pair{nan, 250.0}, {900.0, inf}, {-inf, nan}}) {
        auto l = std::make_shared<TNaz>(n);
        l->X2 = x2;
        l->Y2 = y2;
        labels.push_back(l);
    }
    SaveNames(d / "a.nam", labels);
    const auto bytes = readWholeFile(d / "a.nam");
    std::vector<NameRef> back;
    LoadNames(d / "a.nam", back);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_TRUE(std::isnan(back[0]->X2));
    EXPECT_EQ(back[1]->Y2, inf);
    EXPECT_EQ(back[2]->X2, -inf);
    SaveNames(d / "b.nam", back);
    EXPECT_EQ(readWholeFile(d / "b.nam"), bytes);
    fs::remove_all(d);
    // Not drawn on the screen nor on the printed page.
    QImage img(300, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    const QImage white = img;
    {
        QPainter p(&img);
        for (const auto& l : back) {
            DrawName(p, *l, unitView(), false);
            DrawNameScaled(p, *l, unitView(), 1, 1, false);
        }
        TNaz first = n;
        first.X2 = 900;
        first.Y2 = 250;
        first.X1 = nan;
        DrawNameScaled(p, first, unitView(), 1, 1, false);
    }
    EXPECT_EQ(img, white);
    // The same label with a finite end is drawn.
    {
        QPainter p(&img);
        TNaz fine = n;
        fine.X2 = 900;
        fine.Y2 = 250;
        DrawName(p, fine, unitView(), false);
    }
    EXPECT_NE(img, white);
}

TEST(Names, ATextWithAZeroByteIsShownWhole) {
    // The bytes after a zero byte are part of the text, shown and drawn.
    TNaz n;
    n.OldName = std::string("AB\0WWWW", 7);
    n.FontName = "Arial";
    EXPECT_EQ(NameDisplayText(n), n.OldName);
    EXPECT_EQ(fromCp1251(NameDisplayText(n)).size(), 7);
    n.X1 = 950;  // row 50
    n.Y1 = 100;
    n.X2 = 950;
    n.Y2 = 300;
    QImage whole(400, 100, QImage::Format_RGB32), head(400, 100, QImage::Format_RGB32);
    whole.fill(Qt::white);
    head.fill(Qt::white);
    {
        QPainter p(&whole);
        DrawName(p, n, unitView(), false);
    }
    TNaz h = n;
    h.OldName = "AB";
    {
        QPainter p(&head);
        DrawName(p, h, unitView(), false);
    }
    // "AB" ends well before column 100+40; the Ws reach beyond it.
    auto inkRightOf = [](const QImage& img, int x0) {
        int k = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = x0; x < img.width(); ++x) k += img.pixel(x, y) != qRgb(255, 255, 255);
        return k;
    };
    EXPECT_EQ(inkRightOf(head, 140), 0);
    EXPECT_GT(inkRightOf(whole, 140), 20);
}

TEST(Names, PrintedLabelsTakeRowsAndColumnsFromTheirOwnFactors) {
    // DrawNameScaled: rows from PrintScaleX, columns from PrintScaleY.
    TNaz n;
    n.OldName = "Mmm";
    n.FontName = "Arial";
    n.X1 = 990;  // (1000 - 990) * 4 = row 40
    n.Y1 = 30;   // 30 * 1 = column 30
    n.X2 = 990;
    n.Y2 = 130;
    QImage img(300, 200, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        DrawNameScaled(p, n, unitView(), 4, 1, false);
    }
    int left = img.width(), top = img.height();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                left = std::min(left, x);
                top = std::min(top, y);
            }
    EXPECT_GE(left, 30);
    EXPECT_LE(left, 33);
    EXPECT_GE(top, 40);
    EXPECT_LE(top, 48);
}
