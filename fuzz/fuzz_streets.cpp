// The street register (".rue").
#include "FuzzCommon.h"
#include "streets/Streets.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::roundTrip<std::vector<StreetRef>>(
        data, size,
        [](const uint8_t* d, size_t n, std::vector<StreetRef>& out) {
            BinReader in(d, n, "fuzz.rue");
            LoadStreets(in, out);
        },
        [](const std::vector<StreetRef>& streets) {
            return fuzz::savedBytes("out.rue", [&](const auto& p) { SaveStreets(p, streets); });
        });
    return 0;
}
