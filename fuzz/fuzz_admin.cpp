// District files: boundaries (".grn", ".gtm", "frontier.tum"), settlements
// (".nsp"), the plain lists (".ray", "Viloyats.txt"), and both cuts of a
// map to a polygon.
#include "FuzzCommon.h"
#include "admin/AdminLists.h"
#include "admin/Boundaries.h"
#include "admin/MapCut.h"
#include "admin/Settlements.h"

using namespace dm;

namespace {

void boundaries(const uint8_t* data, size_t size) {
    fuzz::roundTrip<TObjList>(
        data, size,
        [](const uint8_t* d, size_t n, TObjList& out) { ReadBoundaryFile(fuzz::writeInput("in.grn", d, n), out); },
        [](const TObjList& b) { return fuzz::savedBytes("out.grn", [&](const auto& p) { RewriteBoundaryFile(p, b); }); });
}

void settlements(const uint8_t* data, size_t size) {
    fuzz::roundTrip<SettlementList>(
        data, size,
        [](const uint8_t* d, size_t n, SettlementList& out) {
            BinReader in(d, n, "in.nsp");
            ReadSettlements(in, out);
        },
        [](const SettlementList& s) {
            BinWriter w;
            for (const auto& r : s) EncodeSettlement(w, *r);
            return w.data();
        });
}

void lists(const uint8_t* data, size_t size) {
    fuzz::roundTrip<std::vector<ListEntry>>(
        data, size,
        [](const uint8_t* d, size_t n, std::vector<ListEntry>& out) {
            out = ReadPlainList(fuzz::writeInput("in.ray", d, n));
            // The checked reader refuses or accepts; it never reads outside.
            try {
                for (const ListEntry& e : ReadDistrictList(fuzz::workDir() / "in.ray"))
                    if (!SafeStem(e.file)) fuzz::finding("an unsafe stem passed the district list");
            } catch (const FileError&) {
            }
        },
        [](const std::vector<ListEntry>& l) {
            return fuzz::savedBytes("out.ray", [&](const auto& p) { WritePlainList(p, l); });
        });
}

// The input as an object file: the first object is the polygon, the others
// are cut; a byte sets the scale.
void cuts(const uint8_t* data, size_t size) {
    if (size < 1) return;
    const double scale = 0.01 + data[0] / 16.0;
    TObjList objects;
    try {
        BinReader in(data + 1, size - 1, "cut.bin");
        LoadObjects(in, objects);
    } catch (const FileError&) {
    }
    if (objects.empty()) return;
    auto polygon = objects.take(objects[0]);
    MapView view;
    view.ViewXMax = 1000;
    view.ViewXMin = 0;
    view.ViewYMin = 0;
    view.ViewYMax = 1000;
    view.Scale = scale;
    std::vector<size_t> before;
    for (const auto& o : objects) before.push_back(o->Points.size());
    TObjList copy;
    for (const auto& o : objects) copy.appendAsIs(std::make_unique<TObj>(*o));
    std::vector<TObj*> collection;
    CutMapToLasso(copy, ScreenPolygon(*polygon, view), view, collection);
    for (size_t i = 0; i < copy.size(); ++i)
        if (copy[i]->Points.size() > 2 * before[i]) fuzz::finding("the lasso cut more than doubled an object");
    collection.clear();
    const DistrictCut cut = CutRegionToBoundary(objects, *polygon, view, {});
    for (size_t i = 0; i < objects.size(); ++i)
        if (objects[i]->Points.size() > 2 * before[i] + 1) fuzz::finding("the boundary cut more than doubled an object");
    if (cut.objects.empty() || cut.objects[0] != polygon.get()) fuzz::finding("the cut map does not start with its boundary");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    switch (data[0] & 3) {
        case 0: boundaries(data + 1, size - 1); break;
        case 1: settlements(data + 1, size - 1); break;
        case 2: lists(data + 1, size - 1); break;
        default: cuts(data + 1, size - 1); break;
    }
    return 0;
}
