#include "Znak.h"

#include "PaintTarget.h"

#include "mapdata/Geometry.h"

#include <QPainter>
#include <QPoint>

#include <algorithm>

namespace dm {

TZnak DecodeZnak(BinReader& in) {
    in.require(kZnakRecordSize, "запись знака обрезана");
    TZnak z;
    z.Code = in.i32();
    z.Count = in.u8();
    in.bytes(z.Padding.data(), 3);
    z.Color = in.i32();
    for (auto& c : z.Col) c = in.i32();
    for (auto& r : z.Row) r = in.i32();
    return z;
}

void EncodeZnak(BinWriter& out, const TZnak& z) {
    out.i32(z.Code);
    out.u8(z.Count);
    out.bytes(z.Padding.data(), 3);
    out.i32(z.Color);
    for (auto c : z.Col) out.i32(c);
    for (auto r : z.Row) out.i32(r);
}

std::vector<TZnak> ReadZnakFile(const std::filesystem::path& path) {
    BinReader in(resolvePathCase(path));
    std::vector<TZnak> out;
    const uint64_t n = in.size() / kZnakRecordSize;
    out.reserve(size_t(n));
    for (uint64_t i = 0; i < n; ++i) out.push_back(DecodeZnak(in));
    return out;
}

void WriteZnakFile(const std::filesystem::path& path, const std::vector<TZnak>& records) {
    BinWriter w;
    w.reserve(records.size() * kZnakRecordSize);
    for (const auto& z : records) EncodeZnak(w, z);
    writeFileAtomically(path, w.data());
}

void ZnakSet::clear() {
    path_.clear();
    index_.clear();
    records_.clear();
    first_.clear();
    dense_.clear();
}

void ZnakSet::LoadZnakIndex(const std::filesystem::path& path) {
    BinReader in(resolvePathCase(path));
    const uint64_t n = std::min<uint64_t>(in.size() / kZnakRecordSize, kZnakIndexCap);
    std::vector<TZnak> records;
    records.reserve(size_t(n));
    for (uint64_t i = 0; i < n; ++i) records.push_back(DecodeZnak(in));
    clear();
    path_ = path;
    records_ = std::move(records);
    reach_ = 0;
    for (const TZnak& z : records_) {
        const int count = std::min<int>(z.Count, kZnakMaxPixels);
        for (int j = 0; j < count; ++j)
            reach_ = std::max({reach_, std::abs(int64_t(z.Col[size_t(j)]) - 3), std::abs(int64_t(z.Row[size_t(j)]) - 3)});
    }
    for (size_t i = 0; i < records_.size(); ++i) {
        index_.push_back({records_[i].Code, int32_t(i)});
        first_.emplace(records_[i].Code, i);  // keeps the first record of a code
    }
    dense_.assign(size_t(kDenseCodes), 0);
    for (const auto& [code, i] : first_)
        if (code >= 0 && code < kDenseCodes) dense_[size_t(code)] = uint32_t(i + 1);
}

const TZnak* ZnakSet::find(int32_t code) const {
    if (code >= 0 && code < kDenseCodes && !dense_.empty()) {
        const uint32_t i = dense_[size_t(code)];
        return i ? &records_[i - 1] : nullptr;
    }
    auto it = first_.find(code);
    return it == first_.end() ? nullptr : &records_[it->second];
}

bool ZnakSet::DrawZnak(QPainter& p, int x, int y, int32_t code, double factor) const {
    return DrawZnak(p, directImageTarget(p), x, y, code, factor);
}

bool ZnakSet::DrawZnak(QPainter& p, QImage* direct, int x, int y, int32_t code, double factor) const {
    const TZnak* z = find(code);
    if (!z) return false;
    const int k = rnd(factor);
    // A count above the record's room is taken as the room.
    const int count = std::min<int>(z->Count, kZnakMaxPixels);
    if (count == 0) return true;
    QPoint pts[kZnakMaxPixels];
    int x0 = x, x1 = x, y0 = y, y1 = y;
    int used = 0;
    for (int j = 0; j < count; ++j) {
        // In 64 bits: a damaged record may hold any column or row, the
        // anchor may lie far off; such pixels cannot reach a picture.
        const int64_t px = int64_t(x) + int64_t(k) * (int64_t(z->Col[size_t(j)]) - 3);
        const int64_t py = int64_t(y) + int64_t(k) * (int64_t(z->Row[size_t(j)]) - 3);
        constexpr int64_t kFar = int64_t(1) << 30;
        if (px < -kFar || px > kFar || py < -kFar || py > kFar) continue;
        pts[used] = QPoint(int(px), int(py));
        x0 = std::min(x0, pts[used].x());
        x1 = std::max(x1, pts[used].x());
        y0 = std::min(y0, pts[used].y());
        y1 = std::max(y1, pts[used].y());
        ++used;
    }
    if (used == 0) return true;
    const int32_t c = z->Color;
    if (QImage* img = direct; img && x0 >= 0 && y0 >= 0 && x1 < img->width() && y1 < img->height()) {
        // Straight into the map image: the same pixels, without the painter's overhead.
        const QRgb rgb = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        uchar* bits = img->bits();
        const qsizetype bpl = img->bytesPerLine();
        for (int j = 0; j < used; ++j) reinterpret_cast<QRgb*>(bits + pts[j].y() * bpl)[pts[j].x()] = rgb;
        return true;
    }
    const QPen old = p.pen();
    p.setPen(QPen(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF), 0));
    p.drawPoints(pts, used);
    p.setPen(old);
    return true;
}

}  // namespace dm
