// The route search against figures worked by hand on small networks where
// the window, its growth and the order of the scans decide the answer, and
// against a plain reference written step by step from the route rules
// (sweeps until nothing changes, the back-walk as one running scan).

#include "routing/RoadNetwork.h"
#include "mapdata/BinaryIO.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace dm;

namespace {

struct Net {
    RoadNetwork net;
    int node(double x, double y) {
        TRoadNode n;
        n.Id = int(net.RoadNodes.size());
        n.X = x;
        n.Y = y;
        net.RoadNodes.push_back(n);
        return n.Id;
    }
    bool link(int a, int b, double speed) {
        TRoadNode& n = net.RoadNodes[size_t(a)];
        for (int k = 0; k < kLinkSlots; ++k)
            if (n.Link[size_t(k)] == -1) {
                n.Link[size_t(k)] = b;
                n.Speed[size_t(k)] = speed;
                return true;
            }
        return false;
    }
    void both(int a, int b, double speed) {
        link(a, b, speed);
        link(b, a, speed);
    }
    const TRoadNode& operator[](int i) const { return net.RoadNodes[size_t(i)]; }
};

using Path = std::vector<int>;

// ---- the reference, one rule at a time -------------------------------------

int refRound(double v) { return int(std::nearbyint(v)); }  // halves to even

int refLinkTime(const TRoadNode& a, const TRoadNode& b) {
    for (int k = 0; k < 8 && a.Link[size_t(k)] != -1; ++k)
        if (a.Link[size_t(k)] == b.Id)
            return refRound(std::sqrt((a.X - b.X) * (a.X - b.X) + (a.Y - b.Y) * (a.Y - b.Y)) * 6 /
                            a.Speed[size_t(k)]);
    return 65535;
}

int refSearch(const RoadNetwork& g, int n, int t, Path& path) {
    const auto& N = g.RoadNodes;
    path.clear();
    if (n == t) {
        path = {n};
        return 0;
    }
    for (int k = 0; k < 8 && N[size_t(n)].Link[size_t(k)] != -1; ++k)
        if (N[size_t(n)].Link[size_t(k)] == t) {
            path = {n, t};
            return refLinkTime(N[size_t(n)], N[size_t(t)]);
        }
    for (int j = 0; j < 8 && N[size_t(n)].Link[size_t(j)] != -1; ++j) {
        const TRoadNode& m = N[size_t(N[size_t(n)].Link[size_t(j)])];
        for (int k = 0; k < 8 && m.Link[size_t(k)] != -1; ++k)
            if (m.Link[size_t(k)] == t) {
                path = {n, m.Id, t};
                return refLinkTime(N[size_t(n)], m) + refLinkTime(m, N[size_t(t)]);
            }
    }
    const TRoadNode& a = N[size_t(n)];
    const TRoadNode& b = N[size_t(t)];
    double h = std::max(std::fabs(a.X - b.X), std::fabs(a.Y - b.Y));
    for (;;) {
        const double cx = std::fabs(a.X + b.X) / 2, cy = std::fabs(a.Y + b.Y) / 2;
        std::vector<int> w{n};
        for (const TRoadNode& s : N)
            if (s.Id != n && s.Id != t && cx - 1.25 * h < s.X && s.X < cx + 1.25 * h && cy - 1.25 * h < s.Y &&
                s.Y < cy + 1.25 * h)
                w.push_back(s.Id);
        w.push_back(t);
        const size_t c = w.size();
        auto at = [&](int id) -> long {
            for (size_t i = 0; i < c; ++i)
                if (w[i] == id) return long(i);
            return -1;
        };
        std::vector<int> dist(c, 65535);
        dist[0] = 0;
        for (int k = 0; k < 8 && a.Link[size_t(k)] != -1; ++k)
            if (const long o = at(a.Link[size_t(k)]); o >= 0) dist[size_t(o)] = refLinkTime(a, N[size_t(w[size_t(o)])]);
        for (bool changed = true; changed;) {
            changed = false;
            for (size_t m = 1; m < c; ++m) {
                const TRoadNode& wm = N[size_t(w[m])];
                for (int k = 0; k < 8 && wm.Link[size_t(k)] != -1; ++k) {
                    const long o = at(wm.Link[size_t(k)]);
                    if (o < 0) continue;
                    const int s = refLinkTime(wm, N[size_t(w[size_t(o)])]) + dist[m];
                    if (s < dist[size_t(o)]) {
                        dist[size_t(o)] = s;
                        changed = true;
                    }
                }
            }
        }
        if (dist[c - 1] == 65535 && c < N.size()) {
            h *= 1.5;
            continue;
        }
        if (dist[c - 1] == 65535) return -2;
        size_t v = c - 1;
        path = {w[v]};
        for (int guard = 0; v != 0 && guard < 100; ++guard)
            for (size_t k = 0; k < c; ++k)
                if (dist[v] - refLinkTime(N[size_t(w[k])], N[size_t(w[v])]) == dist[k]) {
                    path.insert(path.begin(), w[k]);
                    v = k;
                }
        return dist[c - 1];
    }
}

// A random city-like network: nodes at least 20 m apart, links to near
// nodes, some one-way, speeds 20, 40 or 60 km/h (so no link has time 0).
Net randomNetwork(std::mt19937& rng, int n) {
    std::uniform_real_distribution<double> U(0, 4000);
    Net g;
    while (int(g.net.size()) < n) {
        const double x = std::round(U(rng)), y = std::round(U(rng));
        bool farEnough = true;
        for (const TRoadNode& s : g.net.RoadNodes) farEnough &= std::hypot(s.X - x, s.Y - y) >= 20;
        if (farEnough) g.node(x, y);
    }
    for (int i = 0; i < n; ++i) {
        std::vector<std::pair<double, int>> near;
        for (int j = 0; j < n; ++j)
            if (j != i) near.push_back({std::hypot(g[i].X - g[j].X, g[i].Y - g[j].Y), j});
        std::sort(near.begin(), near.end());
        for (int k = 0; k < 3; ++k) {
            const int j = near[size_t(k)].second;
            if (LinkSlot(g[i], j) >= 0 || rng() % 6 == 0) continue;
            const double speed = (rng() % 3 + 1) * 20.0;
            if (!g.link(i, j, speed)) continue;
            if (rng() % 4 != 0 && LinkSlot(g[j], i) < 0) g.link(j, i, speed);
        }
    }
    return g;
}

}  // namespace

TEST(RouteReference, HalfSideOfTheFirstWindowIsOneAndAQuarterSpans) {
    // Start and target 100 m apart: the first window reaches 125 m from the
    // middle.  A slow detour 120 m off the line lies inside it, a fast one
    // at 130 m outside, so the slow one is found and the window stops there.
    Net g;
    const int n = g.node(0, 0), t = g.node(0, 100);
    const int s1 = g.node(120, 0), s2 = g.node(120, 100);
    const int f1 = g.node(130, 0), f2 = g.node(130, 100);
    g.link(n, s1, 6);   // 120 m at 6 km/h: 120 hundredths of a minute
    g.link(s1, s2, 6);  // 100
    g.link(s2, t, 6);   // 120
    g.link(n, f1, 60);  // 13
    g.link(f1, f2, 60); // 10
    g.link(f2, t, 60);  // 13
    Path p;
    EXPECT_EQ(SearchRoute(g.net, n, t, p), 340);
    EXPECT_EQ(p, (Path{n, s1, s2, t}));
    EXPECT_EQ(SearchRouteSweep(g.net, n, t, p), 340);
    EXPECT_EQ(p, (Path{n, s1, s2, t}));
}

TEST(RouteReference, WindowGrowsByHalfItsSpan) {
    // Nothing links inside the first window (half side 125 m).  Grown once
    // (h = 150, half side 187.5 m) it holds the slow detour at 180 m; the
    // fast one at 240 m would need a second growth (half side 281.25 m).
    Net g;
    const int n = g.node(0, 0), t = g.node(0, 100);
    const int s1 = g.node(180, 0), s2 = g.node(180, 100);
    const int f1 = g.node(240, 0), f2 = g.node(240, 100);
    g.link(n, s1, 6);   // 180
    g.link(s1, s2, 6);  // 100
    g.link(s2, t, 6);   // 180
    g.link(n, f1, 60);  // 24
    g.link(f1, f2, 60); // 10
    g.link(f2, t, 60);  // 24
    Path p;
    EXPECT_EQ(SearchRoute(g.net, n, t, p), 460);
    EXPECT_EQ(p, (Path{n, s1, s2, t}));
    // With negative northings the window is centred at X = +1000, far
    // from every node; it grows until one window covers both detours, and
    // the fast one wins.
    Net m;
    const int mn = m.node(-1000, 0), mt = m.node(-1000, 100);
    const int ms1 = m.node(-1180, 0), ms2 = m.node(-1180, 100);
    const int mf1 = m.node(-1240, 0), mf2 = m.node(-1240, 100);
    m.link(mn, ms1, 6);
    m.link(ms1, ms2, 6);
    m.link(ms2, mt, 6);
    m.link(mn, mf1, 60);
    m.link(mf1, mf2, 60);
    m.link(mf2, mt, 60);
    EXPECT_EQ(SearchRoute(m.net, mn, mt, p), 58);
    EXPECT_EQ(p, (Path{mn, mf1, mf2, mt}));
}

TEST(RouteReference, BackWalkGoesOnScanningAfterThePickedNode) {
    // Two equally fast ways n -> a -> c and n -> b -> c.  Walking back from
    // t the scan finds c and goes on after c's place in the window: a node
    // after it wins over one before it.
    for (int order = 0; order < 2; ++order) {
        Net g;
        int n = g.node(0, 0), a, b, c;
        if (order == 0) {  // window: n, a, c, b, t
            a = g.node(50, 100);
            c = g.node(0, 200);
            b = g.node(-50, 100);
        } else {  // window: n, a, b, c, t
            a = g.node(50, 100);
            b = g.node(-50, 100);
            c = g.node(0, 200);
        }
        const int t = g.node(0, 300);
        g.link(n, a, 60);  // 111.8 m: 11
        g.link(n, b, 60);
        g.link(a, c, 60);
        g.link(b, c, 60);
        g.link(c, t, 60);  // 10
        Path p;
        EXPECT_EQ(SearchRoute(g.net, n, t, p), 32);
        EXPECT_EQ(p, order == 0 ? (Path{n, b, c, t}) : (Path{n, a, c, t})) << order;
        Path q;
        refSearch(g.net, n, t, q);
        EXPECT_EQ(q, p);
    }
}

TEST(RouteReference, BackWalkStepsBackOutOfASpurOfNoTime) {
    // n -> a -> b -> t, and a spur s 0.1 m beside b linked both ways (time
    // 0).  s comes before a in the window and has b's time, so the first
    // node the walk finds before b is s, from which only b leads on.  The
    // walk takes the next candidate, a, and the path starts at n.
    Net g;
    const int n = g.node(0, 0);
    const int s = g.node(0.1, 200);
    const int a = g.node(0, 100), b = g.node(0, 200), t = g.node(0, 300);
    g.link(n, a, 60);
    g.link(a, b, 60);
    g.link(b, t, 60);
    g.both(b, s, 60);
    Path p;
    EXPECT_EQ(SearchRoute(g.net, n, t, p), 30);
    EXPECT_EQ(p, (Path{n, a, b, t}));
    EXPECT_EQ(SearchRouteSweep(g.net, n, t, p), 30);
    EXPECT_EQ(p, (Path{n, a, b, t}));
    // Clicked points on links before n and after t: the search runs from
    // n to t and the report measures the true path.
    const int z = g.node(0, -100), u = g.node(0, 400);
    g.link(z, n, 60);
    g.link(t, u, 60);
    const RouteResult r = RouteTime(g.net, {-1, -90}, {-1, 390});
    ASSERT_EQ(r.status, RouteResult::Found);
    EXPECT_EQ(r.path, (Path{n, a, b, t}));
    EXPECT_NEAR(r.time, 30 + 9 + 9, 1e-9);  // 90 m at 60 km/h before n and after t
    const RouteReport rep = ReportRoute(g.net, {-1, -90}, {-1, 390}, r);
    EXPECT_NEAR(rep.length, 2 * std::hypot(1, 90) + 300, 1e-9);
}

TEST(RouteReference, SameAnswersAsThePlainReferenceOnRandomNetworks) {
    std::mt19937 rng(2027);
    int compared = 0, found = 0;
    for (int round = 0; round < 5; ++round) {
        const Net g = randomNetwork(rng, 90 + 15 * round);
        const int n = int(g.net.size());
        for (int q = 0; q < 60; ++q) {
            const int a = int(rng() % uint32_t(n)), b = int(rng() % uint32_t(n));
            Path p, r;
            const int t = SearchRoute(g.net, a, b, p);
            const int rt = refSearch(g.net, a, b, r);
            ASSERT_EQ(t, rt) << round << ": " << a << " -> " << b;
            ASSERT_EQ(p, r) << round << ": " << a << " -> " << b;
            ++compared;
            found += t > 0;
        }
    }
    EXPECT_EQ(compared, 300);
    EXPECT_GT(found, 60);
}

TEST(RouteReference, EndPointsAreTakenInSinglePrecision) {
    // At a northing of 4.4 million metres single precision steps by 0.5 m:
    // 4400000.3 is held as 4400000.5.
    const RoutePoint p = RouteEndPoint(4400000.3, 1234.56);
    EXPECT_EQ(p.X, 4400000.5);
    EXPECT_EQ(p.Y, double(1234.56f));
    // A two-way street along the easting at X = 4400000.4: the clicked
    // point 4400000.3 would lie south of it (on the right of west -> east),
    // the single-precision point lies north of it (on the right of east -> west).
    Net g;
    const int w = g.node(4400000.4, 0), e = g.node(4400000.4, 1000);
    g.both(w, e, 60);
    const StartLink asTaken = FindStartLink(g.net, RouteEndPoint(4400000.3, 500));
    EXPECT_EQ(asTaken.from, e);
    EXPECT_EQ(asTaken.to, w);
}

TEST(RouteReference, ANodeWithoutCoordinatesDoesNotKeepTheWindowGrowing) {
    // An unreachable target in a network with a node at NaN: the window can
    // never hold that node, and the search still ends with "unreachable".
    Net g;
    const int n = g.node(0, 0), a = g.node(0, 100), b = g.node(0, 200), t = g.node(0, 300);
    g.node(std::nan(""), 50);
    g.link(n, a, 60);
    g.link(a, b, 60);
    Path p;
    EXPECT_EQ(SearchRoute(g.net, n, t, p), -2);
    EXPECT_EQ(SearchRouteSweep(g.net, n, t, p), -2);
    g.link(b, t, 60);
    EXPECT_EQ(SearchRoute(g.net, n, t, p), 30);
    // Such a node in a file is refused, naming the offset of its X.
    const auto dir = std::filesystem::temp_directory_path() / ("dm_nan_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    SaveRoadNetwork(dir / "n.uzl", g.net);
    try {
        LoadRoadNetwork(dir / "n.uzl");
        ADD_FAILURE() << "loaded";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("смещение " + std::to_string(4 * 116 + 4)), std::string::npos) << e.what();
    }
    std::filesystem::remove_all(dir);
}

TEST(RouteReference, OnePreparedGraphAnswersManyQueriesAsTheSweeps) {
    // A graph made once and searched again and again (its buffers reused
    // from one query to the next) against the sweeps straight on the node
    // records (the plain reference above knows no speed-0 links), on networks with one-way links, links
    // stored with speed 0, a node holding the same target twice and links
    // of no length.
    std::mt19937 rng(4242);
    int compared = 0, found = 0, windowsGrown = 0;
    for (int round = 0; round < 4; ++round) {
        Net g = randomNetwork(rng, 150 + 40 * round);
        const int n = int(g.net.size());
        for (int i = 0; i < n; i += 7) {
            TRoadNode& s = g.net.RoadNodes[size_t(i)];
            if (s.Link[0] != -1) s.Speed[0] = 0;  // stored, but no way through
        }
        for (int i = 3; i < n; i += 11) {
            TRoadNode& s = g.net.RoadNodes[size_t(i)];
            if (s.Link[0] != -1 && s.Link[7] == -1) {
                int used = 0;
                while (s.Link[size_t(used)] != -1) ++used;
                s.Link[size_t(used)] = s.Link[0];
                s.Speed[size_t(used)] = 60;
                // Half of them stored first with speed 0 (the later slot
                // counts), half with a lower speed (the first slot counts).
                s.Speed[0] = (i / 11) % 2 ? 0 : 20;
            }
        }
        const int twin = g.node(g[5].X, g[5].Y);  // a link of no length
        g.link(5, twin, 20);
        g.link(twin, 9, 40);
        const RouteGraph prepared(g.net);
        for (int q = 0; q < 80; ++q) {
            const int a = int(rng() % uint32_t(n + 1)), b = int(rng() % uint32_t(n + 1));
            Path p, r;
            const int t = SearchRoute(prepared, a, b, p);
            const int rt = SearchRouteSweep(g.net, a, b, r);
            ASSERT_EQ(t, rt) << round << ": " << a << " -> " << b;
            ASSERT_EQ(p, r) << round << ": " << a << " -> " << b;
            ++compared;
            found += t > 0;
            windowsGrown += t > 0 && std::hypot(g[a].X - g[b].X, g[a].Y - g[b].Y) < 1500 && p.size() > 12;
            const RoutePoint from = RouteEndPoint(g[a].X + 3, g[a].Y + 7), to = RouteEndPoint(g[b].X - 2, g[b].Y + 5);
            const RouteResult x = RouteTime(prepared, from, to), y = RouteTime(g.net, from, to);
            EXPECT_EQ(x.status, y.status);
            EXPECT_EQ(x.time, y.time);
            EXPECT_EQ(x.path, y.path);
        }
    }
    EXPECT_EQ(compared, 320);
    EXPECT_GT(found, 80);
    EXPECT_GT(windowsGrown, 0);
}

TEST(RouteReference, ANodeOnTheWindowsEdgeIsNotInsideSoTheWindowGrows) {
    // Start (0, 0), target (0, 100): the first window reaches 125 m north of
    // the middle.  The only way runs through two nodes exactly on that edge
    // (X = 125): not inside, so the window grows once and finds them.
    // 60 km/h: 125 m = 12.5 -> 12 (halves to even), 100 m = 10, 125 m = 12.
    // Alone, and among 200 nodes far off (the window then holds few of
    // the network's nodes, which are found by their northing).
    for (const int far : {0, 200})
    for (const bool prepared : {false, true}) {
        Net g;
        const int n = g.node(0, 0), t = g.node(0, 100), d1 = g.node(125, 0), d2 = g.node(125, 100);
        g.link(n, d1, 60);
        g.link(d1, d2, 60);
        g.link(d2, t, 60);
        for (int i = 0; i < far; ++i) g.node(5000 + i, 7000 - i);
        Path p;
        const int time = prepared ? SearchRoute(RouteGraph(g.net), n, t, p) : SearchRouteSweep(g.net, n, t, p);
        EXPECT_EQ(time, 34) << prepared;
        EXPECT_EQ(p, (Path{n, d1, d2, t})) << prepared;
    }
}

TEST(RouteReference, ASlowWayOnTheWindowsEdgeIsNotTakenBeforeTheWindowGrows) {
    // Start (0, 0), target (0, 100); the first window reaches 125 m south
    // and north of them.  A slow way through two nodes exactly on that edge
    // (20 km/h: 125 m = 37.5 -> 38, 100 m = 30: 106) is outside it; the grown
    // window (187.5 m) holds it and a fast way 150 m off (120 km/h: 150 m =
    // 7.5 -> 8, 100 m = 5: 21), which wins.  On either edge; alone, and among
    // 200 nodes far off (the window then holds few of the network's nodes,
    // which are found by their northing).
    for (const double side : {-1.0, 1.0})
    for (const int far : {0, 200})
    for (const bool prepared : {false, true}) {
        Net g;
        const int n = g.node(0, 0), t = g.node(0, 100);
        const int a = g.node(125 * side, 0), b = g.node(125 * side, 100);
        const int c = g.node(150 * side, 0), d = g.node(150 * side, 100);
        for (auto [x, y] : {std::pair{n, a}, {a, b}, {b, t}}) g.link(x, y, 20);
        for (auto [x, y] : {std::pair{n, c}, {c, d}, {d, t}}) g.link(x, y, 120);
        for (int i = 0; i < far; ++i) g.node(5000 + i, 7000 - i);
        Path p;
        const int time = prepared ? SearchRoute(RouteGraph(g.net), n, t, p) : SearchRouteSweep(g.net, n, t, p);
        EXPECT_EQ(time, 21) << side << " " << far << " " << prepared;
        EXPECT_EQ(p, (Path{n, c, d, t})) << side << " " << far << " " << prepared;
    }
}

TEST(RouteReference, OfTwoEqualWaysTheBackWalkTakesTheNodeFirstInTheFile) {
    // Two ways of the same time, 30 m north and 30 m south of the line from
    // (0, 0) to (0, 100); the northern nodes come first in the file, so the
    // walk back from the target takes them, whatever their northing.
    for (const int far : {0, 200})
    for (const bool prepared : {false, true}) {
        Net g;
        const int n = g.node(0, 0), t = g.node(0, 100);
        const int a1 = g.node(30, 0), a2 = g.node(30, 100), b1 = g.node(-30, 0), b2 = g.node(-30, 100);
        for (auto [x, y] : {std::pair{n, a1}, {a1, a2}, {a2, t}, {n, b1}, {b1, b2}, {b2, t}}) g.link(x, y, 40);
        for (int i = 0; i < far; ++i) g.node(5000 + i, 7000 - i);
        Path p;
        const int time = prepared ? SearchRoute(RouteGraph(g.net), n, t, p) : SearchRouteSweep(g.net, n, t, p);
        // 30 m at 40 km/h: 4.5 -> 4 (halves to even); 100 m: 15.
        EXPECT_EQ(time, 4 + 15 + 4) << far << " " << prepared;
        EXPECT_EQ(p, (Path{n, a1, a2, t})) << far << " " << prepared;
    }
}
