// Name labels (".nam").
#include "FuzzCommon.h"
#include "names/Names.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::roundTrip<std::vector<NameRef>>(
        data, size,
        [](const uint8_t* d, size_t n, std::vector<NameRef>& out) {
            BinReader in(d, n, "fuzz.nam");
            LoadNames(in, out);
        },
        [](const std::vector<NameRef>& names) {
            BinWriter w;
            for (const auto& n : names) EncodeName(w, *n);
            return w.data();
        });
    return 0;
}
