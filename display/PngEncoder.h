#pragma once
// A fast PNG writer for large map pictures: 8-bit RGB, every row with the
// "Up" filter (the row above subtracted: the long runs of a map picture
// become zeros), zlib at the given level.  Qt's writer tries every filter on
// every row, which at its fastest level still costs more than drawing the
// picture.

#include <QImage>

#include <cstdint>
#include <vector>

namespace dm {

// The PNG file of `image` (any format; alpha is dropped).  level 0..9 as
// zlib's (1: fastest that compresses).
std::vector<uint8_t> EncodePngFast(const QImage& image, int level = 1);

}  // namespace dm
