// Object file (".bin") and orientation record (".or").
#include "FuzzCommon.h"
#include "mapdata/MapFiles.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] < 0x40) {
        // The orientation record.
        fuzz::roundTrip<OrientationRecord>(
            data + 1, size - 1,
            [](const uint8_t* d, size_t n, OrientationRecord& r) {
                BinReader in(d, n, "fuzz.or");
                r = DecodeOrientation(in);
            },
            [](const OrientationRecord& r) {
                BinWriter w;
                EncodeOrientation(w, r);
                return w.data();
            });
        return 0;
    }
    fuzz::roundTrip<TObjList>(
        data, size,
        [](const uint8_t* d, size_t n, TObjList& list) {
            BinReader in(d, n, "fuzz.bin");
            LoadObjects(in, list);
        },
        [](const TObjList& list) {
            BinWriter w;
            for (const auto& o : list)
                if (!o->Points.empty()) EncodeObject(w, *o);
            return w.data();
        });
    return 0;
}
