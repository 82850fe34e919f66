#pragma once
// The directed road network ("njoints.uzl": 116-byte node records with up
// to eight outgoing links each) and the shortest-time route between two
// points.  Times are in hundredths of a minute, speeds in km/h, distances in
// metres.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dm {

constexpr int kNoRoute = 65535;
constexpr size_t kRoadNodeSize = 116;
constexpr int kLinkSlots = 8;

struct TRoadNode {
    int32_t Id = 0;
    double X = 0;  // north
    double Y = 0;  // east
    std::array<int32_t, kLinkSlots> Link{-1, -1, -1, -1, -1, -1, -1, -1};
    std::array<double, kLinkSlots> Speed{};
};

struct RoadNetwork {
    std::vector<TRoadNode> RoadNodes;
    size_t size() const { return RoadNodes.size(); }
};

// A clicked end point as the route search takes it: each coordinate held in
// single precision, as the route window's point records store them.  The
// values are floats, not doubles that went through a float: an optimiser
// may drop such a round trip, it cannot widen what a float holds.  They
// take part in the computations as doubles.
struct RoutePoint {
    float X = 0, Y = 0;
};

inline RoutePoint RouteEndPoint(double x, double y) { return {float(x), float(y)}; }

// Reads the network.  Whole records only (a trailing partial record is
// ignored); a record whose Id is not its position, or a link to a node
// outside the file, refuses the network with FileError.
RoadNetwork LoadRoadNetwork(const std::filesystem::path& path);
void SaveRoadNetwork(const std::filesystem::path& path, const RoadNetwork& net);

// A link from a to b: the first slot (before a -1) that holds b.  A link
// stored with speed 0 (or less) counts as absent.
int LinkSlot(const TRoadNode& a, int32_t b);
bool HasLink(const TRoadNode& a, const TRoadNode& b);
int LinkTime(const TRoadNode& a, const TRoadNode& b);

// Signed offset of P from the line A->B (positive on the right-hand side),
// with its position class (0.5 when the foot lies on the segment, -2 before
// A, 2 beyond B) and the distance from A to the foot; 65535 when A and B are
// not linked either way.
double ProjectOnLink(const TRoadNode& a, const TRoadNode& b, RoutePoint p, double& posClass, double& along);

struct StartLink {
    int from = -1, to = -1;
    double timeFromStart = 0;  // from the from-node to P
    double timeToEnd = 0;      // from P to the to-node
    bool found() const { return from >= 0; }
};
StartLink FindStartLink(const RoadNetwork& net, RoutePoint p);

// The network made ready for many searches: every link's time computed
// once, the links of each node (and into each node) and the nodes' places
// in flat arrays, so that a search looks only at the nodes it reaches.  The
// network must stay as it is while the graph is used.
class RouteGraph {
public:
    explicit RouteGraph(const RoadNetwork& net);
    const RoadNetwork& network() const { return *net_; }
    size_t size() const { return net_->size(); }
    // A node's northing and easting.
    double nodeX(int a) const { return xy_[2 * size_t(a)]; }
    double nodeY(int a) const { return xy_[2 * size_t(a) + 1]; }

    // Links out of node a: targets and times, in slot order.
    int outBegin(int a) const { return outStart_[size_t(a)]; }
    int outEnd(int a) const { return outStart_[size_t(a) + 1]; }
    int32_t outTo(int e) const { return outTo_[size_t(e)]; }
    int32_t outTime(int e) const { return outTime_[size_t(e)]; }
    // The same as flat arrays, for a search's inner loop: outStarts()[a] to
    // outStarts()[a + 1] index outTargets() and outTimes(); coords() holds
    // each node's northing and easting in turn.
    const int32_t* outStarts() const { return outStart_.data(); }
    const int32_t* outTargets() const { return outTo_.data(); }
    const int32_t* outTimes() const { return outTime_.data(); }
    const double* coords() const { return xy_.data(); }
    // The longest link time below kNoRoute (0 without such links).
    int32_t maxLinkTime() const { return maxLinkTime_; }
    // A time per metre that no link between nodes with coordinates beats:
    // this times the straight distance between two such nodes is never more
    // than the time of a way between them (0 when nothing is known).
    double leastTimePerMetre() const { return leastTimePerMetre_; }
    // The nodes with a link into a, each once, ascending.
    int inBegin(int a) const { return inStart_[size_t(a)]; }
    int inEnd(int a) const { return inStart_[size_t(a) + 1]; }
    int32_t inFrom(int e) const { return inFrom_[size_t(e)]; }
    // LinkTime(a, b) as stored.
    int linkTime(int a, int b) const;

    // True when the square of half side `half` about (cx, cy) holds every
    // node with finite coordinates.
    bool coversAll(double cx, double cy, double half) const;

private:
    const RoadNetwork* net_;
    std::vector<double> xy_;  // northing and easting of each node
    std::vector<int32_t> outStart_, outTo_, outTime_;
    std::vector<int32_t> inStart_, inFrom_;
    int32_t maxLinkTime_ = 0;
    double leastTimePerMetre_ = 0;
    bool anyFinite_ = false;
    double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
};

// Node to node: the time, or -2 when the target cannot be reached; `path`
// gets the node numbers.  SearchRoute computes the window distances with a
// queue by time (the network overload prepares a graph for the one search);
// SearchRouteSweep by repeated sweeps straight on the node records, as the
// reference.
int SearchRoute(const RouteGraph& g, int n, int t, std::vector<int>& path);
int SearchRoute(const RoadNetwork& net, int n, int t, std::vector<int>& path);
int SearchRouteSweep(const RoadNetwork& net, int n, int t, std::vector<int>& path);

struct RouteResult {
    enum Status { Found, StartWithoutLink, EndWithoutLink, Unreachable, SamePoint } status = Found;
    double time = 0;        // hundredths of a minute
    std::vector<int> path;
};
RouteResult RouteTime(const RouteGraph& g, RoutePoint p1, RoutePoint p2);
RouteResult RouteTime(const RoadNetwork& net, RoutePoint p1, RoutePoint p2);

// The report of a found route: length along the path, minutes and the
// three lines of the route window.
struct RouteReport {
    double length = 0;
    int minutes = 0;
    double speed = 0;
    std::string lines[3];  // UTF-8
};
RouteReport ReportRoute(const RoadNetwork& net, RoutePoint p1, RoutePoint p2, const RouteResult& r);
// The message when there is no route (UTF-8).
std::string NoRouteText(const RouteResult& r);

}  // namespace dm
