#include "RoadNetwork.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/Geometry.h"
#include "BucketQueue.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <limits>

namespace fs = std::filesystem;

namespace dm {

RoadNetwork LoadRoadNetwork(const fs::path& path) {
    BinReader in(resolvePathCase(path));
    const uint64_t n = in.size() / kRoadNodeSize;
    RoadNetwork net;
    net.RoadNodes.resize(size_t(n));
    for (uint64_t i = 0; i < n; ++i) {
        const uint64_t at = in.offset();
        TRoadNode& r = net.RoadNodes[size_t(i)];
        r.Id = in.i32();
        r.X = in.f64();
        r.Y = in.f64();
        for (auto& l : r.Link) l = in.i32();
        for (auto& s : r.Speed) s = in.f64();
        if (r.Id != int64_t(i))
            in.fail("узел " + std::to_string(i) + " записан с номером " + std::to_string(r.Id), at);
        if (!std::isfinite(r.X) || !std::isfinite(r.Y))
            in.fail("у узла " + std::to_string(i) + " нет координат (не число или бесконечность)", at + 4);
        for (int k = 0; k < kLinkSlots && r.Link[size_t(k)] != -1; ++k)
            if (r.Link[size_t(k)] < 0 || uint64_t(r.Link[size_t(k)]) >= n)
                in.fail("связь узла " + std::to_string(i) + " с несуществующим узлом " +
                            std::to_string(r.Link[size_t(k)]),
                        at + 20 + 4 * uint64_t(k));
    }
    return net;
}

void SaveRoadNetwork(const fs::path& path, const RoadNetwork& net) {
    BinWriter w;
    w.reserve(net.size() * kRoadNodeSize);
    for (const TRoadNode& r : net.RoadNodes) {
        w.i32(r.Id);
        w.f64(r.X);
        w.f64(r.Y);
        for (auto l : r.Link) w.i32(l);
        for (auto s : r.Speed) w.f64(s);
    }
    writeFileAtomically(path, w.data());
}

int LinkSlot(const TRoadNode& a, int32_t b) {
    for (int k = 0; k < kLinkSlots && a.Link[size_t(k)] != -1; ++k)
        if (a.Link[size_t(k)] == b && a.Speed[size_t(k)] > 0) return k;
    return -1;
}

bool HasLink(const TRoadNode& a, const TRoadNode& b) { return LinkSlot(a, b.Id) >= 0; }

namespace {
double dist(const TRoadNode& a, const TRoadNode& b) {
    return std::sqrt((a.X - b.X) * (a.X - b.X) + (a.Y - b.Y) * (a.Y - b.Y));
}
int timeOf(double d, double speed) { return rnd(d * 6 / speed); }
bool contains(const TRoadNode& a, int32_t id) {
    for (int32_t l : a.Link)
        if (l == id) return true;
    return false;
}
}  // namespace

int LinkTime(const TRoadNode& a, const TRoadNode& b) {
    const int k = LinkSlot(a, b.Id);
    if (k < 0) return kNoRoute;
    return timeOf(dist(a, b), a.Speed[size_t(k)]);
}

double ProjectOnLink(const TRoadNode& a, const TRoadNode& b, RoutePoint p, double& posClass, double& along) {
    if (!contains(a, b.Id) && !contains(b, a.Id)) return 65535.0;
    const double l = std::sqrt((a.X - b.X) * (a.X - b.X) + (a.Y - b.Y) * (a.Y - b.Y));
    if (l == 0) return 65535.0;  // a link of no length has no side and no foot
    const double off = ((a.X - p.X) * (b.Y - a.Y) - (a.Y - p.Y) * (b.X - a.X)) / l;
    along = ((p.X - a.X) * (b.X - a.X) + (p.Y - a.Y) * (b.Y - a.Y)) / l;
    const double dA = (p.X - a.X) * (b.X - a.X) + (p.Y - a.Y) * (b.Y - a.Y);
    const double dB = (p.X - b.X) * (a.X - b.X) + (p.Y - b.Y) * (a.Y - b.Y);
    posClass = dA <= -0.1 ? -2.0 : (dB <= -0.1 ? 2.0 : 0.5);
    return off;
}

StartLink FindStartLink(const RoadNetwork& net, RoutePoint p) {
    StartLink r;
    double best = 65535.0;
    int from = -1, to = -1;
    for (const TRoadNode& s : net.RoadNodes) {
        if (!(std::fabs(s.X - p.X) < 1000 && std::fabs(s.Y - p.Y) < 1000)) continue;
        for (int k = 0; k < kLinkSlots && s.Link[size_t(k)] != -1; ++k) {
            const TRoadNode& q = net.RoadNodes[size_t(s.Link[size_t(k)])];
            double cls = 0, along = 0;
            const double off = ProjectOnLink(s, q, p, cls, along);
            const bool onSegment = cls >= 0 && cls <= 1;
            if (off >= 0 && off < 1000 && std::fabs(off) < best && onSegment && HasLink(s, q)) {
                from = s.Id;
                to = q.Id;
                best = std::fabs(off);
            }
            if (off > -1000 && off <= 0 && std::fabs(off) < best && onSegment && HasLink(q, s)) {
                from = q.Id;
                to = s.Id;
                best = std::fabs(off);
            }
        }
    }
    if (from < 0 || from == to) return r;
    const TRoadNode& f = net.RoadNodes[size_t(from)];
    const TRoadNode& t = net.RoadNodes[size_t(to)];
    const double v = f.Speed[size_t(LinkSlot(f, to))];
    double cls = 0, a = 0;
    ProjectOnLink(t, f, p, cls, a);
    const double len = dist(f, t);
    r.from = from;
    r.to = to;
    r.timeFromStart = (len - a) * 6 / v;
    r.timeToEnd = a * 6 / v;
    return r;
}

namespace {

// The nodes of the search window: n first, the nodes strictly inside the
// square in file order, t last.
void buildWindow(const RoadNetwork& net, int n, int t, double h, std::vector<int>& w) {
    const TRoadNode& a = net.RoadNodes[size_t(n)];
    const TRoadNode& b = net.RoadNodes[size_t(t)];
    const double cx = std::fabs(a.X + b.X) / 2, cy = std::fabs(a.Y + b.Y) / 2, half = 1.25 * h;
    w.clear();
    w.push_back(n);
    for (const TRoadNode& s : net.RoadNodes) {
        if (s.Id == n || s.Id == t) continue;
        if (cx - half < s.X && s.X < cx + half && cy - half < s.Y && s.Y < cy + half) w.push_back(s.Id);
    }
    w.push_back(t);
}

// Distances within the window by repeated sweeps.
void sweepDistances(const RoadNetwork& net, const std::vector<int>& w, const std::vector<int>& pos,
                    std::vector<int>& d) {
    const size_t c = w.size();
    d.assign(c, kNoRoute);
    d[0] = 0;
    const TRoadNode& first = net.RoadNodes[size_t(w[0])];
    for (int k = 0; k < kLinkSlots && first.Link[size_t(k)] != -1; ++k) {
        const int o = pos[size_t(first.Link[size_t(k)])];
        if (o > 0) d[size_t(o)] = LinkTime(first, net.RoadNodes[size_t(w[size_t(o)])]);
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t m = 1; m < c; ++m) {
            const TRoadNode& nm = net.RoadNodes[size_t(w[m])];
            for (int k = 0; k < kLinkSlots && nm.Link[size_t(k)] != -1; ++k) {
                const int o = pos[size_t(nm.Link[size_t(k)])];
                if (o < 0) continue;
                const int lt = LinkTime(nm, net.RoadNodes[size_t(w[size_t(o)])]);
                if (lt + d[m] < d[size_t(o)]) {
                    d[size_t(o)] = lt + d[m];
                    changed = true;
                }
            }
        }
    }
}

// Back from the target.  A node k comes before the current node v when its
// time plus its link into v equals the time of v.  Scanning the window in
// order, the first such node is taken and the scan goes on after it with
// that node; a scan that reaches the end starts again from the beginning.
// Links of no time can make a node that qualifies lead away from the start
// (a spur whose time equals the route node's); then the walk steps back and
// takes the next qualifying node in the same order, so a path to the start
// is found whenever the qualifying links hold one, and without such links
// the first choice always leads there.  Each node is taken at most once.
// Only nodes with a link into v can qualify, so they are looked up instead
// of scanned.
void reconstruct(const RoadNetwork& net, const std::vector<int>& w, const std::vector<int>& pos,
                 const std::vector<int>& d, std::vector<int>& path) {
    const size_t c = w.size();
    // Window positions linking into each window position, ascending.
    std::vector<std::vector<int>> into(c);
    for (size_t k = 0; k < c; ++k) {
        const TRoadNode& nk = net.RoadNodes[size_t(w[k])];
        for (int s = 0; s < kLinkSlots && nk.Link[size_t(s)] != -1; ++s) {
            const int o = pos[size_t(nk.Link[size_t(s)])];
            if (o >= 0 && (into[size_t(o)].empty() || into[size_t(o)].back() != int(k))) into[size_t(o)].push_back(int(k));
        }
    }
    auto qualifies = [&](size_t k, size_t v) {
        const int lt = LinkTime(net.RoadNodes[size_t(w[k])], net.RoadNodes[size_t(w[v])]);
        return lt < kNoRoute && d[v] - lt == d[k];
    };
    // The qualifying nodes of v in the order of the scan that starts at
    // `from`: positions from..c-1, then 0..from-1.
    auto candidates = [&](size_t v, size_t from) {
        std::vector<int> out;
        const std::vector<int>& in = into[v];
        const auto mid = std::lower_bound(in.begin(), in.end(), int(from));
        for (auto it = mid; it != in.end(); ++it)
            if (qualifies(size_t(*it), v)) out.push_back(*it);
        for (auto it = in.begin(); it != mid; ++it)
            if (qualifies(size_t(*it), v)) out.push_back(*it);
        return out;
    };
    struct Frame {
        size_t v;
        std::vector<int> next;  // qualifying nodes not tried yet
        size_t tried = 0;
    };
    // A node from which no path reached the start stays closed: whatever
    // was tried from it is tried the same way again.
    std::vector<char> closed(c, 0);
    std::vector<Frame> stack;
    closed[c - 1] = 1;
    stack.push_back({c - 1, candidates(c - 1, 0)});
    while (!stack.empty() && stack.back().v != 0) {
        Frame& f = stack.back();
        if (f.tried == f.next.size()) {
            stack.pop_back();  // a dead end: back to the node before
            continue;
        }
        const size_t k = size_t(f.next[f.tried++]);
        if (closed[k]) continue;
        closed[k] = 1;
        stack.push_back({k, candidates(k, k + 1)});
    }
    path.clear();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) path.push_back(w[it->v]);
}

// True when the window of half side 1.25 h about the middle of a and b
// holds every node with finite coordinates.
bool windowCoversAll(const RoadNetwork& net, const TRoadNode& a, const TRoadNode& b, double h) {
    const double cx = std::fabs(a.X + b.X) / 2, cy = std::fabs(a.Y + b.Y) / 2, half = 1.25 * h;
    if (!std::isfinite(half) || !std::isfinite(cx) || !std::isfinite(cy)) return true;
    for (const TRoadNode& s : net.RoadNodes) {
        if (!std::isfinite(s.X) || !std::isfinite(s.Y)) continue;
        if (!(cx - half < s.X && s.X < cx + half && cy - half < s.Y && s.Y < cy + half)) return false;
    }
    return true;
}

// The routes found before any window: none to go, a direct link, or a node
// between with links on both sides (the first in slot order).
bool shortRoute(const RoadNetwork& net, int n, int t, std::vector<int>& path, int& time) {
    path.clear();
    if (n == t) {
        path = {n};
        time = 0;
        return true;
    }
    const TRoadNode& a = net.RoadNodes[size_t(n)];
    const TRoadNode& b = net.RoadNodes[size_t(t)];
    if (const int k = LinkSlot(a, t); k >= 0) {
        path = {n, t};
        time = LinkTime(a, b);
        return true;
    }
    for (int j = 0; j < kLinkSlots && a.Link[size_t(j)] != -1; ++j) {
        if (!(a.Speed[size_t(j)] > 0)) continue;
        const TRoadNode& m = net.RoadNodes[size_t(a.Link[size_t(j)])];
        for (int k = 0; k < kLinkSlots && m.Link[size_t(k)] != -1; ++k) {
            if (m.Link[size_t(k)] == t && m.Speed[size_t(k)] > 0) {
                path = {n, m.Id, t};
                // Two saturated link times (a damaged file) must not overflow.
                const int64_t two = int64_t(timeOf(dist(a, m), a.Speed[size_t(j)])) + timeOf(dist(m, b), m.Speed[size_t(k)]);
                time = int(std::min<int64_t>(two, INT_MAX));
                return true;
            }
        }
    }
    return false;
}

template <typename Distances>
int search(const RoadNetwork& net, int n, int t, std::vector<int>& path, Distances distances) {
    if (int time; shortRoute(net, n, t, path, time)) return time;
    const TRoadNode& a = net.RoadNodes[size_t(n)];
    const TRoadNode& b = net.RoadNodes[size_t(t)];
    double h = std::max(std::fabs(a.X - b.X), std::fabs(a.Y - b.Y));
    thread_local std::vector<int> w, d, pos;
    if (pos.size() != net.size()) pos.assign(net.size(), -1);
    for (;;) {
        buildWindow(net, n, t, h, w);
        for (size_t i = 0; i < w.size(); ++i) pos[size_t(w[i])] = int(i);
        distances(net, w, pos, d);
        const bool reached = d.back() < kNoRoute;
        if (reached) reconstruct(net, w, pos, d, path);
        for (int id : w) pos[size_t(id)] = -1;
        if (reached) return d[w.size() - 1];
        if (w.size() >= net.size()) return -2;
        // A window that already holds every node it ever can (a node without
        // finite coordinates is never inside one) has nothing more to find.
        if (windowCoversAll(net, a, b, h)) return -2;
        // A wider window; one of no size grows from a metre.
        h = h > 0 ? h * 1.5 : 1.0;
    }
}

}  // namespace

// ---- the prepared graph -------------------------------------------------------

RouteGraph::RouteGraph(const RoadNetwork& net) : net_(&net) {
    const size_t n = net.size();
    outStart_.assign(n + 1, 0);
    inStart_.assign(n + 1, 0);
    for (size_t a = 0; a < n; ++a) {
        const TRoadNode& na = net.RoadNodes[a];
        int deg = 0;
        for (int k = 0; k < kLinkSlots && na.Link[size_t(k)] != -1; ++k) ++deg;
        outStart_[a + 1] = outStart_[a] + deg;
    }
    outTo_.resize(size_t(outStart_[n]));
    outTime_.resize(size_t(outStart_[n]));
    // Sources into each node, each source once (a node may hold the same
    // target in several slots).
    std::vector<int32_t> lastFrom(n, -1);
    for (size_t a = 0; a < n; ++a) {
        const TRoadNode& na = net.RoadNodes[a];
        int e = outStart_[a];
        for (int k = 0; k < kLinkSlots && na.Link[size_t(k)] != -1; ++k, ++e) {
            const int32_t b = na.Link[size_t(k)];
            outTo_[size_t(e)] = b;
            outTime_[size_t(e)] = LinkTime(na, net.RoadNodes[size_t(b)]);
            if (outTime_[size_t(e)] < kNoRoute) maxLinkTime_ = std::max(maxLinkTime_, outTime_[size_t(e)]);
            if (lastFrom[size_t(b)] != int32_t(a)) {
                lastFrom[size_t(b)] = int32_t(a);
                ++inStart_[size_t(b) + 1];
            }
        }
    }
    for (size_t b = 0; b < n; ++b) inStart_[b + 1] += inStart_[b];
    inFrom_.resize(size_t(inStart_[n]));
    std::vector<int32_t> fill(inStart_.begin(), inStart_.end() - 1);
    std::fill(lastFrom.begin(), lastFrom.end(), -1);
    for (size_t a = 0; a < n; ++a) {  // ascending sources
        for (int e = outStart_[a]; e < outStart_[a + 1]; ++e) {
            const int32_t b = outTo_[size_t(e)];
            if (lastFrom[size_t(b)] == int32_t(a)) continue;
            lastFrom[size_t(b)] = int32_t(a);
            inFrom_[size_t(fill[size_t(b)]++)] = int32_t(a);
        }
    }
    // The extent of the nodes with finite coordinates (no other node is
    // ever inside a window).
    for (size_t a = 0; a < n; ++a) {
        const TRoadNode& na = net.RoadNodes[a];
        if (std::isfinite(na.X) && std::isfinite(na.Y)) {
            if (!anyFinite_) {
                minX_ = maxX_ = na.X;
                minY_ = maxY_ = na.Y;
                anyFinite_ = true;
            }
            minX_ = std::min(minX_, na.X);
            maxX_ = std::max(maxX_, na.X);
            minY_ = std::min(minY_, na.Y);
            maxY_ = std::max(maxY_, na.Y);
        }
    }
    xy_.resize(2 * n);
    for (size_t a = 0; a < n; ++a) {
        xy_[2 * a] = net.RoadNodes[a].X;
        xy_[2 * a + 1] = net.RoadNodes[a].Y;
    }
    // The least time a metre of any link takes (link times are rounded, so
    // this is below what the speeds give), a little less for the rounding
    // of the distances it is multiplied by.
    double least = std::numeric_limits<double>::infinity();
    for (size_t a = 0; a < n; ++a)
        for (int e = outStart_[a]; e < outStart_[a + 1]; ++e) {
            const TRoadNode &na = net.RoadNodes[a], &nb = net.RoadNodes[size_t(outTo_[size_t(e)])];
            const double len = dist(na, nb);
            if (outTime_[size_t(e)] >= kNoRoute || !std::isfinite(len) || len <= 0) continue;
            least = std::min(least, outTime_[size_t(e)] / len);
        }
    leastTimePerMetre_ = std::isfinite(least) ? least * (1 - 1e-6) : 0;
}

int RouteGraph::linkTime(int a, int b) const {
    for (int e = outStart_[size_t(a)]; e < outStart_[size_t(a) + 1]; ++e)
        if (outTo_[size_t(e)] == b) return outTime_[size_t(e)];
    return kNoRoute;
}

bool RouteGraph::coversAll(double cx, double cy, double half) const {
    if (!std::isfinite(half) || !std::isfinite(cx) || !std::isfinite(cy)) return true;
    if (!anyFinite_) return true;
    return cx - half < minX_ && maxX_ < cx + half && cy - half < minY_ && maxY_ < cy + half;
}

namespace {

// Buffers kept between searches.  Each node's state is one small record,
// so that a link looked at costs one memory access; the stamp of a window
// tells the states it has set from older ones, so nothing is cleared
// between windows.  A node is tested against the window the first time a
// link reaches it.
struct SearchBuffers {
    static constexpr int32_t kOutside = INT32_MIN;  // never improved on
    struct NodeState {
        int32_t d = kNoRoute;
        uint32_t seen = 0;  // the stamp of the window that set d
        int32_t h = 0;      // never more than the time left from it to the target
    };
    std::vector<NodeState> st;
    std::vector<uint32_t> closed;  // the stamp of the walk back that closed it
    uint32_t stamp = 0;
    BucketQueue queue;
    std::vector<int> in, cand, pool;
    const RouteGraph* g = nullptr;
    // The window: the two ends, and the nodes strictly inside the square.
    struct Window {
        int n = -1, t = -1;
        double lo = 0, hi = 0, ylo = 0, yhi = 0;
        double tx = 0, ty = 0, perMetre = 0;  // the target, and 0 for no estimate
        bool holds(int node, const double* xy) const {
            const double x = xy[2 * size_t(node)], y = xy[2 * size_t(node) + 1];
            return node == n || node == t || (lo < x && x < hi && ylo < y && y < yhi);
        }
        // The straight way to the target at the least time per metre, whole.
        int32_t estimate(int node, const double* xy) const {
            if (perMetre == 0) return 0;
            const double dx = xy[2 * size_t(node)] - tx, dy = xy[2 * size_t(node) + 1] - ty;
            // Held below the no-route time (a lower estimate stays true).
            return int32_t(std::min(std::sqrt(dx * dx + dy * dy) * perMetre, double(kNoRoute)));
        }
    } w;

    uint32_t nextStamp(size_t nodes) {
        if (st.size() != nodes || stamp == UINT32_MAX) {
            st.assign(nodes, NodeState{});
            closed.assign(nodes, 0);
            stamp = 0;
        }
        return ++stamp;
    }
    // The state of a node in the window of `stamp`, set on first sight:
    // outside the window it is never improved on.
    static NodeState& stateIn(NodeState* st, uint32_t stamp, const Window& w, const double* xy, int node) {
        NodeState& s = st[size_t(node)];
        if (s.seen != stamp) {
            const bool inside = w.holds(node, xy);
            s = {inside ? kNoRoute : kOutside, stamp, inside ? w.estimate(node, xy) : 0};
        }
        return s;
    }
    NodeState& state(int node) { return stateIn(st.data(), stamp, w, g->coords(), node); }
    bool inWindow(int node) { return state(node).d != kOutside; }
    int32_t dist(int node) { return state(node).d; }
};

// The window distances with a queue of buckets by time: the shortest times
// within the window, and kNoRoute (unreachable) for anything longer.  Nodes
// are taken by their time plus the estimate of the time left (never more
// than the real time left, and never falling by more than a link's time
// along a link), so that nodes away from the target wait.  The search stops
// once every node whose time plus estimate is at most the target's time is
// settled: that holds every node of every shortest way to the target with
// its exact time, and the path back from the target only looks at those
// (a node reached but not settled has a time above its exact one, which
// never adds up along a link to a settled node's).
void graphDistances(const RouteGraph& g, SearchBuffers& b) {
    // Everything the loop reads is held in locals: a push that grows the
    // queue would otherwise make the compiler fetch the buffers' and the
    // graph's fields again on every link.
    using NodeState = SearchBuffers::NodeState;
    NodeState* const st = b.st.data();
    const uint32_t stamp = b.stamp;
    const SearchBuffers::Window w = b.w;
    const int n = w.n;
    const int32_t* const start = g.outStarts();
    const int32_t* const to = g.outTargets();
    const int32_t* const time = g.outTimes();
    const double* const xy = g.coords();
    auto state = [&](int node) -> NodeState& { return SearchBuffers::stateIn(st, stamp, w, xy, node); };
    const NodeState& target = state(w.t);
    state(n).d = 0;
    BucketQueue& queue = b.queue;
    // A key grows along a link by at most its time twice and one for the
    // estimates' rounding.
    queue.reset(2 * g.maxLinkTime() + 1);
    // Keys counted from the start's (the queue starts at 0).
    const int base = state(n).h;
    queue.push(0, uint32_t(n));
    while (!queue.empty()) {
        int key = 0;
        const int node = int(queue.pop(key));
        const NodeState& s = st[size_t(node)];
        key += base;
        if (key != s.d + s.h) continue;
        if (key > target.d) break;
        const int t = s.d;
        for (int e = start[node], end = start[node + 1]; e < end; ++e) {
            const int v = to[e];
            if (v == n) continue;  // back to the start
            const int lt = time[e];
            if (lt >= kNoRoute) continue;
            NodeState& o = state(v);
            const int nt = t + lt;
            if (nt < o.d) {  // o.d is at most kNoRoute
                o.d = nt;
                queue.push(nt + o.h - base, uint32_t(v));
            }
        }
    }
}

// The walk back from the target as `reconstruct` does it, with the links
// into each node taken from the graph.  Nodes are taken in window order:
// the start first, then the nodes inside by number, the target last.
void graphReconstruct(const RouteGraph& g, SearchBuffers& b, std::vector<int>& path) {
    const uint32_t w = b.stamp;
    const int n = b.w.n, t = b.w.t;
    auto order = [&](int node) -> int64_t { return node == n ? -1 : node == t ? INT64_MAX : node; };
    auto qualifies = [&](int k, int v) {
        const int lt = g.linkTime(k, v);
        return lt < kNoRoute && b.dist(v) - lt == b.dist(k);
    };
    // The nodes the walk may go to from v, those after `from` in window
    // order first, then those before it.
    auto candidates = [&](int v, int64_t from, std::vector<int>& out) {
        std::vector<int>& in = b.in;
        in.clear();
        for (int e = g.inBegin(v), end = g.inEnd(v); e < end; ++e)
            if (const int u = g.inFrom(e); b.inWindow(u)) in.push_back(u);
        std::sort(in.begin(), in.end(), [&](int x, int y) { return order(x) < order(y); });
        out.clear();
        const auto mid = std::find_if(in.begin(), in.end(), [&](int u) { return order(u) >= from; });
        for (auto it = mid; it != in.end(); ++it)
            if (qualifies(*it, v)) out.push_back(*it);
        for (auto it = in.begin(); it != mid; ++it)
            if (qualifies(*it, v)) out.push_back(*it);
    };
    struct Frame {
        int v;
        size_t first, count;  // its candidates in `pool`
        size_t tried = 0;
    };
    std::vector<int>& pool = b.pool;
    pool.clear();
    std::vector<Frame> stack;
    auto enter = [&](int v, int64_t from) {
        b.closed[size_t(v)] = w;
        candidates(v, from, b.cand);
        stack.push_back({v, pool.size(), b.cand.size()});
        pool.insert(pool.end(), b.cand.begin(), b.cand.end());
    };
    enter(t, -1);
    while (!stack.empty() && stack.back().v != n) {
        Frame& f = stack.back();
        if (f.tried == f.count) {
            pool.resize(f.first);
            stack.pop_back();
            continue;
        }
        const int k = pool[f.first + f.tried++];
        if (b.closed[size_t(k)] == w) continue;
        enter(k, order(k) + 1);
    }
    path.clear();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) path.push_back(it->v);
}

}  // namespace

int SearchRoute(const RouteGraph& g, int n, int t, std::vector<int>& path) {
    const RoadNetwork& net = g.network();
    if (int time; shortRoute(net, n, t, path, time)) return time;
    const TRoadNode& a = net.RoadNodes[size_t(n)];
    const TRoadNode& b = net.RoadNodes[size_t(t)];
    double h = std::max(std::fabs(a.X - b.X), std::fabs(a.Y - b.Y));
    thread_local SearchBuffers buf;
    buf.g = &g;
    buf.w.n = n;
    buf.w.t = t;
    // No estimate from or to an end without coordinates (the keys would not
    // grow by the links' times along them).
    const bool placed = std::isfinite(a.X) && std::isfinite(a.Y) && std::isfinite(b.X) && std::isfinite(b.Y);
    buf.w.tx = b.X;
    buf.w.ty = b.Y;
    buf.w.perMetre = placed ? g.leastTimePerMetre() : 0;
    const double cx = std::fabs(a.X + b.X) / 2, cy = std::fabs(a.Y + b.Y) / 2;
    for (;;) {
        const double half = 1.25 * h;
        buf.w.lo = cx - half;
        buf.w.hi = cx + half;
        buf.w.ylo = cy - half;
        buf.w.yhi = cy + half;
        buf.nextStamp(net.size());
        graphDistances(g, buf);
        const int time = buf.dist(t);
        if (time < kNoRoute) {
            graphReconstruct(g, buf, path);
            return time;
        }
        // A window that already holds every node it ever can (a node without
        // finite coordinates is never inside one) has nothing more to find.
        if (g.coversAll(cx, cy, half)) return -2;
        h = h > 0 ? h * 1.5 : 1.0;
    }
}

int SearchRoute(const RoadNetwork& net, int n, int t, std::vector<int>& path) {
    const RouteGraph g(net);
    return SearchRoute(g, n, t, path);
}

int SearchRouteSweep(const RoadNetwork& net, int n, int t, std::vector<int>& path) {
    return search(net, n, t, path, sweepDistances);
}

RouteResult RouteTime(const RoadNetwork& net, RoutePoint p1, RoutePoint p2) {
    const RouteGraph g(net);
    return RouteTime(g, p1, p2);
}

RouteResult RouteTime(const RouteGraph& g, RoutePoint p1, RoutePoint p2) {
    const RoadNetwork& net = g.network();
    RouteResult r;
    if (p1.X == p2.X && p1.Y == p2.Y) {
        r.status = RouteResult::SamePoint;
        r.time = kNoRoute;
        return r;
    }
    const StartLink s1 = FindStartLink(net, p1);
    const StartLink s2 = FindStartLink(net, p2);
    if (!s1.found()) {
        r.status = RouteResult::StartWithoutLink;
        r.time = kNoRoute;
        return r;
    }
    if (!s2.found()) {
        r.status = RouteResult::EndWithoutLink;
        r.time = kNoRoute;
        return r;
    }
    if (s1.from == s2.from && s1.to == s2.to && s2.timeFromStart >= s1.timeFromStart) {
        // Both on one link, the end after the start in its direction: along it.
        r.time = s2.timeFromStart - s1.timeFromStart;
        return r;
    }
    if (s2.from == s1.to) {
        r.path = {s1.to};
        r.time = s1.timeToEnd + s2.timeFromStart;
        return r;
    }
    const int t = SearchRoute(g, s1.to, s2.from, r.path);
    if (t < 0) {
        r.status = RouteResult::Unreachable;
        r.time = kNoRoute;
        r.path.clear();
        return r;
    }
    r.time = t + s1.timeToEnd + s2.timeFromStart;
    return r;
}

RouteReport ReportRoute(const RoadNetwork& net, RoutePoint p1, RoutePoint p2, const RouteResult& r) {
    RouteReport rep;
    rep.minutes = rnd(r.time / 100);
    double prevX = p1.X, prevY = p1.Y;
    for (int id : r.path) {
        const TRoadNode& nd = net.RoadNodes[size_t(id)];
        rep.length += Distance(prevX, prevY, nd.X, nd.Y);
        prevX = nd.X;
        prevY = nd.Y;
    }
    rep.length += Distance(prevX, prevY, p2.X, p2.Y);
    // With a rounded time of 0 minutes the speed comes from the time itself.
    rep.speed = rep.minutes > 0 ? rep.length * 6 / (rep.minutes * 100.0) : (r.time > 0 ? rep.length * 6 / r.time : 0);
    char buf[128];
    std::snprintf(buf, sizeof buf, "Расстояние: %10.0f м.", rep.length);
    rep.lines[0] = buf;
    std::snprintf(buf, sizeof buf, "Время в пути: %3d мин.", rep.minutes);
    rep.lines[1] = buf;
    std::snprintf(buf, sizeof buf, "Средняя скорость: %3.1f км/ч.", rep.speed);
    rep.lines[2] = buf;
    return rep;
}

std::string NoRouteText(const RouteResult& r) {
    switch (r.status) {
        case RouteResult::StartWithoutLink: return "Маршрут не найден: начальная точка далеко от дорог.";
        case RouteResult::EndWithoutLink: return "Маршрут не найден: конечная точка далеко от дорог.";
        case RouteResult::Unreachable: return "Маршрут не найден: к конечной точке нет проезда.";
        case RouteResult::SamePoint: return "Начальная и конечная точки совпадают";
        default: return {};
    }
}

}  // namespace dm
