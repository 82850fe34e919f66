#include "PngEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace dm {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

// Length, type, data, CRC of type and data.
void chunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data, size_t n) {
    put32(out, uint32_t(n));
    const size_t from = out.size();
    out.insert(out.end(), type, type + 4);
    if (n) out.insert(out.end(), data, data + n);
    put32(out, uint32_t(crc32(0, out.data() + from, uInt(n + 4))));
}

}  // namespace

std::vector<uint8_t> EncodePngFast(const QImage& source, int level) {
    const QImage img = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
    const uint32_t w = uint32_t(img.width()), h = uint32_t(img.height());
    if (w == 0 || h == 0) throw std::invalid_argument("an empty picture has no PNG");
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t ihdr[13];
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = uint8_t(w >> (24 - 8 * i));
        ihdr[4 + i] = uint8_t(h >> (24 - 8 * i));
    }
    ihdr[8] = 8;   // bits per sample
    ihdr[9] = 2;   // truecolour
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // adaptive filtering (one filter byte per row)
    ihdr[12] = 0;  // not interlaced
    chunk(out, "IHDR", ihdr, sizeof ihdr);

    z_stream z{};
    if (deflateInit2(&z, std::clamp(level, 0, 9), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib cannot start");
    const size_t rowBytes = 1 + size_t(w) * 3;
    std::vector<uint8_t> row(rowBytes), prev(rowBytes, 0), filtered(rowBytes);
    // Compressed data gather in one buffer; each full buffer is one IDAT.
    std::vector<uint8_t> idat(1 << 20);
    z.next_out = idat.data();
    z.avail_out = uInt(idat.size());
    auto drain = [&](int flush) {
        for (;;) {
            const int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR) {
                deflateEnd(&z);
                throw std::runtime_error("zlib failed");
            }
            const bool full = z.avail_out == 0, done = flush == Z_FINISH && rc == Z_STREAM_END;
            if (full || done) {
                const size_t n = idat.size() - z.avail_out;
                if (n) chunk(out, "IDAT", idat.data(), n);
                z.next_out = idat.data();
                z.avail_out = uInt(idat.size());
            }
            if (done || (flush != Z_FINISH && z.avail_in == 0 && !full)) return;
        }
    };
    for (uint32_t y = 0; y < h; ++y) {
        const auto* px = reinterpret_cast<const QRgb*>(img.constScanLine(int(y)));
        uint8_t* r = row.data() + 1;
        for (uint32_t x = 0; x < w; ++x) {
            r[3 * x] = uint8_t(qRed(px[x]));
            r[3 * x + 1] = uint8_t(qGreen(px[x]));
            r[3 * x + 2] = uint8_t(qBlue(px[x]));
        }
        filtered[0] = 2;  // Up
        for (size_t i = 1; i < rowBytes; ++i) filtered[i] = uint8_t(row[i] - prev[i]);
        row.swap(prev);
        z.next_in = filtered.data();
        z.avail_in = uInt(rowBytes);
        drain(Z_NO_FLUSH);
    }
    drain(Z_FINISH);
    deflateEnd(&z);
    chunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace dm
