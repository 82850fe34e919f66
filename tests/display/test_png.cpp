// The fast PNG writer: the file's chunks byte by byte for a tiny picture,
// its rows decompressed by zlib itself, and pictures read back by Qt's
// reader (libpng) with every pixel the same.
#include "display/PngEncoder.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace dm;

namespace {
uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

QImage readBack(const std::vector<uint8_t>& png) {
    QByteArray bytes(reinterpret_cast<const char*>(png.data()), qsizetype(png.size()));
    QBuffer buf(&bytes);
    QImageReader r(&buf, "png");
    return r.read();
}
}  // namespace

TEST(PngEncoder, ATinyPictureByteByByteWithItsRowsFilteredUp) {
    QImage img(2, 2, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(10, 20, 30));
    img.setPixel(1, 0, qRgb(40, 50, 60));
    img.setPixel(0, 1, qRgb(11, 22, 33));
    img.setPixel(1, 1, qRgb(40, 50, 60));
    const std::vector<uint8_t> png = EncodePngFast(img);
    // Signature; IHDR: length 13, 2 x 2, 8 bits, truecolour, deflate, no
    // interlace, CRC 0xFDD49A73 (of "IHDR" and the 13 bytes, by zlib.crc32
    // in Python).
    const std::vector<uint8_t> head = {0x89, 'P',  'N',  'G',  '\r', '\n', 0x1A, '\n', 0,    0,    0,
                                       13,   'I',  'H',  'D',  'R',  0,    0,    0,    2,    0,    0,
                                       0,    2,    8,    2,    0,    0,    0,    0xFD, 0xD4, 0x9A, 0x73};
    ASSERT_GT(png.size(), head.size() + 12);
    EXPECT_EQ(std::vector<uint8_t>(png.begin(), png.begin() + long(head.size())), head);
    // IEND at the end: length 0, type, CRC 0xAE426082.
    const std::vector<uint8_t> tail = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    EXPECT_EQ(std::vector<uint8_t>(png.end() - long(tail.size()), png.end()), tail);
    // One IDAT between them whose zlib stream holds the two rows: filter 2
    // (Up), the first row as it is, the second minus the first.
    const size_t at = head.size();
    const uint32_t n = be32(png, at);
    ASSERT_EQ(std::string(png.begin() + long(at) + 4, png.begin() + long(at) + 8), "IDAT");
    ASSERT_EQ(at + 12 + n, png.size() - tail.size());
    EXPECT_EQ(be32(png, at + 8 + n), uint32_t(crc32(0, png.data() + at + 4, n + 4)));
    std::vector<uint8_t> rows(14);
    uLongf got = rows.size();
    ASSERT_EQ(uncompress(rows.data(), &got, png.data() + at + 8, n), Z_OK);
    EXPECT_EQ(got, 14u);
    EXPECT_EQ(rows, (std::vector<uint8_t>{2, 10, 20, 30, 40, 50, 60, 2, 1, 2, 3, 0, 0, 0}));
}

TEST(PngEncoder, PicturesReadBackPixelForPixel) {
    std::mt19937 rng(9);
    for (QSize size : {QSize(1, 1), QSize(3, 7), QSize(257, 33), QSize(1200, 900)}) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::white);
        // Noise in one half, flat runs and lines in the other, as a map.
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (x < size.width() / 2 || (x + y) % 17 == 0) img.setPixel(x, y, qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256)));
        for (int level : {0, 1, 6, 9}) {
            const QImage back = readBack(EncodePngFast(img, level));
            ASSERT_EQ(back.size(), size) << level;
            ASSERT_EQ(back.convertToFormat(QImage::Format_RGB32), img) << size.width() << " " << level;
        }
    }
    // Other formats: converted; alpha dropped.
    QImage argb(5, 4, QImage::Format_ARGB32);
    argb.fill(qRgba(200, 100, 50, 128));
    QImage back = readBack(EncodePngFast(argb));
    ASSERT_EQ(back.size(), QSize(5, 4));
    EXPECT_EQ(back.pixel(4, 3), qRgb(200, 100, 50));
    QImage mono(9, 9, QImage::Format_Mono);
    mono.fill(1);
    back = readBack(EncodePngFast(mono));
    ASSERT_EQ(back.size(), QSize(9, 9));
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), mono.convertToFormat(QImage::Format_RGB32));
    EXPECT_THROW(EncodePngFast(QImage()), std::invalid_argument);
}
