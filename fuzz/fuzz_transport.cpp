// Stops ("ostanov.dat") and metro stations ("metro.dat").
#include "FuzzCommon.h"
#include "transport/Stops.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && (data[0] & 1)) {
        fuzz::roundTrip<std::vector<TMetro>>(
            data + 1, size - 1,
            [](const uint8_t* d, size_t n, std::vector<TMetro>& out) {
                BinReader in(d, n, "metro.dat");
                LoadMetro(in, out);
            },
            [](const std::vector<TMetro>& m) {
                return fuzz::savedBytes("metro.dat", [&](const auto& p) { SaveMetro(p, m); });
            });
        return 0;
    }
    fuzz::roundTrip<std::vector<StopRef>>(
        data, size,
        [](const uint8_t* d, size_t n, std::vector<StopRef>& out) {
            BinReader in(d, n, "ostanov.dat");
            LoadStops(in, out);
        },
        [](const std::vector<StopRef>& s) {
            return fuzz::savedBytes("ostanov.dat", [&](const auto& p) { SaveStops(p, s); });
        });
    return 0;
}
