#include "SavedState.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/MapFiles.h"

#include <algorithm>
#include <cstring>

namespace dm {

namespace {

class Fnv {
public:
    void add(const std::vector<uint8_t>& bytes) {
        const size_t n = bytes.size();
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            h_ = (h_ ^ word) * 0x100000001b3ULL;
        }
        for (; i < n; ++i) h_ = (h_ ^ bytes[i]) * 0x100000001b3ULL;
        h_ = (h_ ^ n) * 0x100000001b3ULL;  // where one record ends
    }
    uint64_t value() const { return h_; }

private:
    uint64_t h_ = 0xcbf29ce484222325ULL;
};

// The records of a list, each as its file writes it, into one fingerprint.
template <class List, class Encode>
uint64_t listFingerprint(Fnv& h, const List& list, Encode encode) {
    BinWriter w;
    for (const auto& item : list) {
        w.clear();
        encode(w, *item);
        h.add(w.data());
    }
    return h.value();
}
}  // namespace

// Two words at a time: their product folded into 64 bits (every bit of
// either word reaches the result), added to the state, which an odd factor
// then moves on, so that where a word stands counts.  A map of millions of
// objects is printed in a fraction of the time its records take to encode.
void ObjectsPrinter::step(uint64_t a, uint64_t b) {
    const unsigned __int128 p = static_cast<unsigned __int128>(a ^ 0xa0761d6478bd642fULL) * (b ^ 0xe7037ed1a0b428dbULL);
    h_ = (h_ + (uint64_t(p) ^ uint64_t(p >> 64))) * 0x9fb21c651e98df25ULL;
}

void ObjectsPrinter::add(const TObj& o) {
    auto u = [](int32_t v) { return uint64_t(uint32_t(v)); };
    auto bits = [](double d) {
        uint64_t v;
        std::memcpy(&v, &d, 8);
        return v;
    };
    const size_t len = std::min<size_t>(o.Name.size(), 255);
    const size_t count = o.Points.size();
    step(u(o.Number) | u(o.StartNode) << 32, u(o.EndNode) | u(o.Code) << 32);
    step(uint64_t(o.Kind) | uint64_t(o.Shape) << 8 | uint64_t(o.PenStyle) << 16 | uint64_t(o.BrushStyle) << 24 |
             uint64_t(len) << 32,
         u(o.PenColor) | u(o.PenWidth) << 32);
    step(u(o.BrushColor) | u(o.ExtraInt) << 32, bits(o.ExtraReal));
    step(bits(o.Elevation), uint64_t(count));
    for (size_t i = 0; i < len; i += 16) {
        uint64_t w[2] = {0, 0};
        std::memcpy(w, o.Name.data() + i, std::min<size_t>(16, len - i));
        step(w[0], w[1]);
    }
    const TXY* p = o.Points.data();
    for (size_t i = 0; i < count; ++i) step(bits(p[i].X), bits(p[i].Y));
}

uint64_t ObjectsFingerprint(const TObjList& objects) {
    ObjectsPrinter p;
    for (const auto& o : objects) p.add(*o);
    return p.value();
}

uint64_t MapFingerprint(const MapDoc& doc, uint64_t* workedOut) {
    Fnv h;
    BinWriter w;
    EncodeOrientation(w, doc.Orientation);
    h.add(w.data());
    const auto known = doc.KnownObjectsPrint;
    doc.KnownObjectsPrint.reset();
    const bool holds = known && known->revision == doc.ObjList.revision();
    if (!holds && workedOut) ++*workedOut;
    const uint64_t objects = holds ? known->print : ObjectsFingerprint(doc.ObjList);
    return (h.value() ^ objects) * 0x100000001b3ULL + objects;
}

uint64_t NamesFingerprint(const std::vector<NameRef>& names) {
    Fnv h;
    return listFingerprint(h, names, [](BinWriter& w, const TNaz& n) { EncodeName(w, n); });
}

uint64_t StreetsFingerprint(const std::vector<StreetRef>& streets) {
    Fnv h;
    return listFingerprint(h, streets, [](BinWriter& w, const Trues& s) { EncodeStreet(w, s); });
}

void SavedState::look(const Flags& f, const Sources& s) {
    // The objects (a large list) when their flag turns clean; the labels and
    // the streets, small and read at other moments than the map (the
    // register when first needed), each time they are clean.
    if (!f.map && (map_.wasModified || !map_.print)) {
        map_.print = MapFingerprint(s.doc, &objectPrints_);
        top_ = s.historyTop;
    }
    map_.wasModified = f.map;
    if (!f.names) names_.print = NamesFingerprint(s.names);
    if (!f.streets) streets_.print = StreetsFingerprint(s.streets);
}

void SavedState::backToSaved(const Flags& f, const Sources& s) {
    // The objects only where the history stands where it stood when they
    // were noted (an edit outside the history leaves the print unequal).
    if (f.map && map_.print && s.historyTop == top_ && MapFingerprint(s.doc, &objectPrints_) == *map_.print) f.map = false;
    if (f.names && names_.print && NamesFingerprint(s.names) == *names_.print) f.names = false;
    if (f.streets && streets_.print && StreetsFingerprint(s.streets) == *streets_.print) f.streets = false;
    map_.wasModified = f.map;
}

}  // namespace dm
