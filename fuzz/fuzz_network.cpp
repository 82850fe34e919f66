// The road network ("njoints.uzl").
#include "FuzzCommon.h"
#include "routing/RoadNetwork.h"

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::roundTrip<RoadNetwork>(
        data, size,
        [](const uint8_t* d, size_t n, RoadNetwork& net) { net = LoadRoadNetwork(fuzz::writeInput("in.uzl", d, n)); },
        [](const RoadNetwork& net) {
            return fuzz::savedBytes("out.uzl", [&](const auto& p) { SaveRoadNetwork(p, net); });
        });
    return 0;
}
