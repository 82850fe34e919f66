// A route query on a fuzzed road network: the input's first 32 bytes are
// the two end points, the rest the network file.
#include "FuzzCommon.h"
#include "routing/RoadNetwork.h"

#include <cstring>

using namespace dm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 32) return 0;
    double c[4];
    std::memcpy(c, data, 32);
    RoadNetwork net;
    try {
        net = LoadRoadNetwork(fuzz::writeInput("route.uzl", data + 32, size - 32));
    } catch (const FileError&) {
        return 0;
    }
    const RoutePoint a = RouteEndPoint(c[0], c[1]), b = RouteEndPoint(c[2], c[3]);
    const RouteResult r = RouteTime(net, a, b);
    if (r.status == RouteResult::Found) (void)ReportRoute(net, a, b, r);
    else (void)NoRouteText(r);
    return 0;
}
