#include "MapFiles.h"

#include "Blocks.h"
#include "Geometry.h"

#include <optional>

namespace fs = std::filesystem;

namespace dm {

OrientationRecord DecodeOrientation(BinReader& in) {
    in.require(kOrientationSize, "ориентирная запись короче 48 байт");
    OrientationRecord r;
    // The extent sets every view of the map and the meridian every
    // geographic conversion: a value that is not a finite number cannot
    // stand for anything, so the record is refused.
    auto finite = [&in](const char* what) {
        const uint64_t at = in.offset();
        const double v = in.f64();
        if (!std::isfinite(v)) in.fail(std::string(what) + " не является конечным числом", at);
        return v;
    };
    r.XMax = finite("XMax");
    r.XMin = finite("XMin");
    r.YMax = finite("YMax");
    r.YMin = finite("YMin");
    r.AxialMeridian = finite("осевой меридиан");
    const uint64_t kindAt = in.offset();
    r.CoordKind = in.u8();
    in.bytes(r.Padding.data(), 3);
    r.NextNode = in.i32();
    if (r.CoordKind != 1 && r.CoordKind != 2)
        in.fail("недопустимый вид координат " + std::to_string(r.CoordKind), kindAt);
    return r;
}

void EncodeOrientation(BinWriter& out, const OrientationRecord& r) {
    out.f64(r.XMax);
    out.f64(r.XMin);
    out.f64(r.YMax);
    out.f64(r.YMin);
    out.f64(r.AxialMeridian);
    out.u8(r.CoordKind);
    out.bytes(r.Padding.data(), 3);
    out.i32(r.NextNode);
}

OrientationRecord ReadOrientation(const fs::path& path) {
    BinReader in(path);
    return DecodeOrientation(in);
}

void WriteOrientation(const fs::path& path, const OrientationRecord& r, FileBatch* batch) {
    BinWriter w;
    EncodeOrientation(w, r);
    writeFileAtomically(path, w.data(), batch);
}

namespace {
class Progress {
public:
    explicit Progress(const ProgressFn& fn) : fn_(fn) {}
    void set(int percent) {
        if (fn_ && percent % 10 == 0 && percent != last_) {
            last_ = percent;
            fn_(percent);
        }
    }

private:
    const ProgressFn& fn_;
    int last_ = -1;
};
}  // namespace

void LoadObjects(BinReader& in, TObjList& list, const ProgressFn& progress, const LoadedObjectFn& onObject) {
    list.clear();
    // No record is shorter than 66 bytes (an empty name field and no
    // vertices); the room asked for is only address space until it is used.
    list.reserve(size_t(std::min<uint64_t>(in.size() / 66, uint64_t(1) << 28)));
    Progress pr(progress);
    pr.set(0);
    // The figure is k / expected x 100 for the k-th record; it is worked
    // out only from the record where it can first change.
    const uint64_t expected = in.size() / 200;
    uint64_t k = 0, nextFigureAt = 1;
    BlockCutter& cutter = ThreadCutter();
    // Each part of a record (head, name, tail, vertices) is checked and
    // taken whole, and its fields read from the bytes taken.
    constexpr auto i32At = BinReader::i32At;
    constexpr auto f64At = BinReader::f64At;
    while (!in.atEnd()) {
        ++k;
        if (expected > 0 && k >= nextFigureAt) {
            const int figure = rnd(double(k) / double(expected) * 100);
            pr.set(figure);
            // The figure stays below figure + 0.5 up to that record.
            const double next = (double(figure) + 0.5) * double(expected) / 100;
            nextFigureAt = std::max<uint64_t>(k + 1, next > 2 ? uint64_t(next) - 1 : 0);
        }
        const uint64_t at = in.offset();
        if (in.remaining() < 22) in.fail("запись объекта обрезана", at);
        auto o = std::make_unique<TObj>();
        const uint8_t* head = in.take(22);
        o->Number = i32At(head);
        o->StartNode = i32At(head + 4);
        o->EndNode = i32At(head + 8);
        o->Kind = head[12];
        o->Code = i32At(head + 13);
        o->Shape = head[17];
        const int32_t n = i32At(head + 18);
        if (n < 0 || n > 256) in.fail("недопустимая длина имени объекта " + std::to_string(n), at + 18);
        if (uint64_t(n) + 44 > in.remaining()) in.fail("запись объекта обрезана", at);
        if (n > 0) {
            const uint8_t* name = in.take(size_t(n));
            // A field of one byte is an empty name, whatever that byte holds.
            if (n > 1) {
                const uint8_t len = name[0];
                if (len > n - 1) in.fail("длина имени " + std::to_string(len) + " больше поля", at + 22);
                o->Name.assign(reinterpret_cast<const char*>(name + 1), len);
            }
        }
        const uint8_t* tail = in.take(44);
        o->PenColor = i32At(tail);
        o->PenStyle = tail[4];  // the low byte of a 32-bit field
        o->PenWidth = i32At(tail + 8);
        o->BrushStyle = tail[12];
        o->BrushColor = i32At(tail + 16);
        o->ExtraInt = i32At(tail + 20);
        o->ExtraReal = f64At(tail + 24);
        o->Elevation = f64At(tail + 32);
        const uint64_t countAt = at + 22 + uint64_t(n) + 40;
        const int32_t count = i32At(tail + 40);
        if (count < 0) in.fail("отрицательное число точек " + std::to_string(count), countAt);
        if (uint64_t(count) * 16 > in.remaining())
            in.fail("число точек " + std::to_string(count) + " больше, чем помещается в файле", countAt);
        if (count > 0) {
            const size_t bytes = size_t(count) * 16;
            const uint8_t* p = in.take(bytes);
            static_assert(sizeof(TXY) == 16);
            if (bytes <= BlockCutter::kLargestPiece) {
                // Beside the object, in the same block.
                auto* piece = static_cast<TXY*>(cutter.cut(bytes));
                std::memcpy(static_cast<void*>(piece), p, bytes);
                o->Points = PointList::inBlock(piece, uint32_t(count));
            } else {
                o->Points.resize(size_t(count));
                std::memcpy(static_cast<void*>(o->Points.data()), p, bytes);
            }
        }
        TObj* added = list.appendAsIs(std::move(o));
        if (onObject) onObject(*added);
    }
}

void LoadObjects(const fs::path& path, TObjList& list, const ProgressFn& progress, const LoadedObjectFn& onObject) {
    const fs::path real = resolvePathCase(path);
    std::error_code ec;
    if (fs::is_directory(real, ec)) throw FileError(pathText(path) + " — это папка, а не файл");
    if (!fs::is_regular_file(real, ec)) throw FileError("Файл " + pathText(path) + " не существует");
    BinReader in(real);
    LoadObjects(in, list, progress, onObject);
}

void EncodeObject(BinWriter& w, const TObj& o) {
    w.i32(o.Number);
    w.i32(o.StartNode);
    w.i32(o.EndNode);
    w.u8(o.Kind);
    w.i32(o.Code);
    w.u8(o.Shape);
    const size_t len = std::min<size_t>(o.Name.size(), 255);
    w.i32(int32_t(len + 1));
    w.u8(uint8_t(len));
    w.bytes(o.Name.data(), len);
    w.i32(o.PenColor);
    w.i32(int32_t(o.PenStyle));
    w.i32(o.PenWidth);
    w.i32(int32_t(o.BrushStyle));
    w.i32(o.BrushColor);
    w.i32(o.ExtraInt);
    w.f64(o.ExtraReal);
    w.f64(o.Elevation);
    w.i32(o.PointCount());
    w.bytes(o.Points.data(), o.Points.size() * sizeof(TXY));
}

void SaveObjects(const fs::path& path, const TObjList& list, const ProgressFn& progress, FileBatch* batch) {
    std::optional<AtomicFile> own;
    AtomicFile& file = batch ? batch->add(path) : own.emplace(path);
    Progress pr(progress);
    pr.set(0);
    const double d = double(std::max<long>(long(list.size()) - 1, 1));
    BinWriter w;
    constexpr size_t kFlushAt = 1 << 20;
    w.reserve(kFlushAt + 4096);
    uint64_t k = 0;
    for (const auto& o : list) {
        ++k;
        pr.set(rnd(double(k) / d * 100));
        if (o->Points.empty()) continue;
        EncodeObject(w, *o);
        if (w.size() >= kFlushAt) {
            file.write(w.data());
            w.clear();
        }
    }
    file.write(w.data());
    if (batch)
        file.finish();
    else
        file.commit();
}

}  // namespace dm
