#include "Settlements.h"

#include "AdminLists.h"

#include <algorithm>
#include <cstring>

namespace fs = std::filesystem;

namespace dm {

void TNasPunkt::setText6(const std::string& text) {
    Text6 = text.substr(0, 63);
    Text6Head = {uint8_t(Text6.size()), 0, 0, 0};
    for (size_t i = 0; i < 3 && i < Text6.size(); ++i) Text6Head[i + 1] = uint8_t(Text6[i]);
}

namespace {

// "int32 (L) + L bytes": the length byte and the characters, at most `max`.
// `raw` receives all L bytes as stored.
std::string readText(BinReader& in, size_t max, const char* what, const uint8_t** raw = nullptr,
                     size_t* rawSize = nullptr) {
    const uint64_t at = in.offset();
    if (in.remaining() < 4) in.fail(std::string("запись обрезана: ") + what, at);
    const int32_t n = in.i32();
    if (n < 1 || uint64_t(n) > max + 1) in.fail(std::string("недопустимая длина поля ") + what + " " + std::to_string(n), at);
    if (uint64_t(n) > in.remaining()) in.fail(std::string("запись обрезана: ") + what, at);
    const uint8_t* p = in.take(size_t(n));
    if (p[0] > n - 1) in.fail(std::string("длина ") + what + " больше поля", at + 4);
    if (raw) *raw = p;
    if (rawSize) *rawSize = size_t(n);
    return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

void writeText(BinWriter& w, const std::string& s, size_t max) {
    const size_t len = std::min(s.size(), max);
    w.i32(int32_t(len + 1));
    w.u8(uint8_t(len));
    w.bytes(s.data(), len);
}

}  // namespace

void ReadSettlements(BinReader& in, SettlementList& out) {
    while (!in.atEnd()) {
        auto s = std::make_unique<TNasPunkt>();
        s->Text2 = readText(in, 255, "Text2");
        s->Text1 = readText(in, 255, "Text1");
        s->Text3 = readText(in, 60, "Text3");
        s->Text4 = readText(in, 60, "Text4");
        in.require(9, "Bytes9");
        in.bytes(s->Bytes9.data(), 9);
        s->Text5 = readText(in, 60, "Text5");
        in.require(8, "Count4");
        s->Count4 = in.i32();
        in.bytes(s->Text6Head.data(), 4);
        const uint8_t* raw = nullptr;
        size_t rawSize = 0;
        s->Text6 = readText(in, 63, "Text6", &raw, &rawSize);
        // The text is read over the bytes that block 7 put there.
        std::memcpy(s->Text6Head.data(), raw, std::min<size_t>(4, rawSize));
        const uint64_t countAt = in.offset();
        in.require(4, "PointCount");
        const int32_t count = in.i32();
        if (count < 0 || uint64_t(count) * 16 > in.remaining())
            in.fail("недопустимое число точек " + std::to_string(count), countAt);
        s->Points.resize(size_t(count));
        if (count > 0) std::memcpy(s->Points.data(), in.take(size_t(count) * 16), size_t(count) * 16);
        out.push_back(std::move(s));
    }
}

void EncodeSettlement(BinWriter& w, const TNasPunkt& s) {
    writeText(w, s.Text2, 255);
    writeText(w, s.Text1, 255);
    writeText(w, s.Text3, 60);
    writeText(w, s.Text4, 60);
    w.bytes(s.Bytes9.data(), 9);
    writeText(w, s.Text5, 60);
    w.i32(s.Count4);
    w.bytes(s.Text6Head.data(), 4);
    writeText(w, s.Text6, 63);
    w.i32(s.PointCount());
    w.bytes(s.Points.data(), s.Points.size() * sizeof(TXY));
}

bool LoadSettlements(const fs::path& path, SettlementList& settlements) {
    if (!fileExistsCI(path)) return false;
    settlements.clear();
    BinReader in(resolvePathCase(path));
    ReadSettlements(in, settlements);
    return true;
}

void MergeSettlements(const fs::path& startDir, const std::string& region, const std::vector<std::string>& stems,
                      SettlementList& settlements) {
    const fs::path folder = startDir / StemPath(region);
    BinWriter w;
    for (const std::string& stem : stems) {
        if (stem.empty() || !SafeStem(stem)) continue;
        if (!LoadSettlements(folder / StemPath(stem) / StemPath(stem + ".nsp"), settlements)) continue;
        for (const auto& s : settlements) EncodeSettlement(w, *s);
    }
    writeFileAtomically(folder / StemPath(region + ".nsp"), w.data());
}

}  // namespace dm
