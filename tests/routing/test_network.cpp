#include <climits>
#include "routing/RoadNetwork.h"
#include "routing/BucketQueue.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/Geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace fs = std::filesystem;
using namespace dm;

namespace {

// A network built by hand: nodes at (X, Y), links added with their speeds.
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
    void link(int a, int b, double speed) {
        TRoadNode& n = net.RoadNodes[size_t(a)];
        for (int k = 0; k < kLinkSlots; ++k)
            if (n.Link[size_t(k)] == -1) {
                n.Link[size_t(k)] = b;
                n.Speed[size_t(k)] = speed;
                return;
            }
        FAIL() << "no free slot";
    }
    void both(int a, int b, double speed) {
        link(a, b, speed);
        link(b, a, speed);
    }
    const TRoadNode& operator[](int i) const { return net.RoadNodes[size_t(i)]; }
};

fs::path tempDir() {
    fs::path d = fs::temp_directory_path() / ("dm_route_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}

}  // namespace

TEST(RoadNetwork, FileLayoutPartialRecordAndDamage) {
    Net g;
    g.node(0, 0);
    g.node(100, 0);
    g.both(0, 1, 60);
    const fs::path d = tempDir();
    SaveRoadNetwork(d / "n.uzl", g.net);
    auto bytes = readWholeFile(d / "n.uzl");
    ASSERT_EQ(bytes.size(), 2 * kRoadNodeSize);
    EXPECT_EQ(bytes[116], 1);  // Id of the second record
    bytes.resize(bytes.size() + 50, 0);  // a partial record at the end
    writeFileAtomically(d / "n.uzl", bytes);
    EXPECT_EQ(LoadRoadNetwork(d / "n.uzl").size(), 2u);
    // An Id that is not its position, and a link outside the file.
    auto bad = bytes;
    bad[116] = 7;
    writeFileAtomically(d / "bad.uzl", bad);
    try {
        LoadRoadNetwork(d / "bad.uzl");
        FAIL();
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("bad.uzl"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("смещение 116"), std::string::npos) << e.what();
    }
    bad = bytes;
    bad[20] = 9;  // first link of node 0 -> node 9
    writeFileAtomically(d / "bad.uzl", bad);
    EXPECT_THROW(LoadRoadNetwork(d / "bad.uzl"), FileError);
    EXPECT_THROW(LoadRoadNetwork(d / "missing.uzl"), FileError);
    fs::remove_all(d);
}

TEST(RoadNetwork, LinkTimesSlotsAndSpeedZero) {
    Net g;
    const int a = g.node(0, 0);
    // 1000 m at 60 km/h = 1 minute = 100 hundredths; 125 m at 60 = 12.5 -> 12 (even)
    const int b = g.node(1000, 0), c = g.node(0, 125), z = g.node(0, -50);
    g.link(a, b, 60);
    g.link(a, c, 60);
    g.link(a, z, 0);  // speed 0: no link
    EXPECT_EQ(LinkTime(g[a], g[b]), 100);
    EXPECT_EQ(LinkTime(g[a], g[c]), 12);
    EXPECT_EQ(LinkTime(g[b], g[a]), kNoRoute);
    EXPECT_FALSE(HasLink(g[a], g[z]));
    EXPECT_EQ(LinkTime(g[a], g[z]), kNoRoute);
    // Eight full slots, no terminator: the scans stop after slot 8.
    Net f;
    const int hub = f.node(0, 0);
    for (int i = 0; i < 8; ++i) f.link(hub, f.node(10 * (i + 1), 0), 60);
    const int far = f.node(500, 0);
    EXPECT_EQ(LinkSlot(f[hub], 8), 7);
    EXPECT_FALSE(HasLink(f[hub], f[far]));
}

TEST(RoadNetwork, ProjectionSideAndTolerance) {
    Net g;
    const int a = g.node(0, 0), b = g.node(0, 100);  // A -> B runs east
    g.link(a, b, 60);
    double cls = 0, along = 0;
    // South of an eastward link is its right-hand side (X up, Y right).
    EXPECT_DOUBLE_EQ(ProjectOnLink(g[a], g[b], {-10, 50}, cls, along), 10);
    EXPECT_EQ(cls, 0.5);
    EXPECT_DOUBLE_EQ(along, 50);
    EXPECT_DOUBLE_EQ(ProjectOnLink(g[a], g[b], {10, 50}, cls, along), -10);
    // The foot a little before A: inside the -0.1 tolerance, then outside it.
    ProjectOnLink(g[a], g[b], {-5, -0.0009}, cls, along);
    EXPECT_EQ(cls, 0.5);
    ProjectOnLink(g[a], g[b], {-5, -0.002}, cls, along);
    EXPECT_EQ(cls, -2.0);
    ProjectOnLink(g[a], g[b], {-5, 100.002}, cls, along);
    EXPECT_EQ(cls, 2.0);
    // Not linked either way.
    const int c = g.node(50, 50);
    EXPECT_EQ(ProjectOnLink(g[a], g[c], {0, 0}, cls, along), 65535.0);
}

TEST(RoadNetwork, AttachingPointsToTwoWayAndOneWayStreets) {
    Net g;
    const int a = g.node(0, 0), b = g.node(0, 100), c = g.node(100, 0), d = g.node(100, 100);
    g.both(a, b, 60);  // a two-way street along Y at X = 0
    g.link(c, d, 60);  // a one-way street eastwards at X = 100
    // South of the two-way street: its eastward direction has the point on the right.
    StartLink s = FindStartLink(g.net, {-20, 30});
    EXPECT_EQ(s.from, a);
    EXPECT_EQ(s.to, b);
    EXPECT_NEAR(s.timeFromStart, 30 * 6 / 60.0, 1e-9);  // unrounded
    EXPECT_NEAR(s.timeToEnd, 70 * 6 / 60.0, 1e-9);
    // North of it: the westward direction.
    s = FindStartLink(g.net, {20, 30});
    EXPECT_EQ(s.from, b);
    EXPECT_EQ(s.to, a);
    // The one-way street: a point on its right (south) side attaches, one on
    // its left (north) side does not (it goes to the two-way street), one on
    // its line does.
    EXPECT_EQ(FindStartLink(g.net, {95, 50}).from, c);
    EXPECT_EQ(FindStartLink(g.net, {130, 50}).from, b);
    EXPECT_EQ(FindStartLink(g.net, {100, 50}).from, c);
    Net one;
    const int e = one.node(0, 0), f = one.node(0, 100);
    one.link(e, f, 60);
    EXPECT_FALSE(FindStartLink(one.net, {30, 50}).found());
    EXPECT_TRUE(FindStartLink(one.net, {-30, 50}).found());
    // Beyond the ends, or far away: no link.
    EXPECT_FALSE(FindStartLink(one.net, {-30, 120}).found());
    EXPECT_FALSE(FindStartLink(one.net, {-30, -20}).found());
    EXPECT_FALSE(FindStartLink(g.net, {5000, 50}).found());
}

TEST(RoadNetwork, DirectLinkAndFirstTwoLinkPairWinOverFasterWays) {
    Net g;
    const int n = g.node(0, 0), t = g.node(0, 1000), m1 = g.node(10, 500);
    g.node(-10, 500);  // a node that no link uses
    g.link(n, t, 5);      // direct but slow: 1000 m at 5 km/h = 1200
    g.link(n, m1, 120);
    g.link(m1, t, 120);
    std::vector<int> path;
    EXPECT_EQ(SearchRoute(g.net, n, t, path), 1200);
    EXPECT_EQ(path, (std::vector<int>{n, t}));
    // Without the direct link: the first pair in slot order, not the faster one.
    Net h;
    const int n2 = h.node(0, 0), t2 = h.node(0, 1000), s1 = h.node(100, 500), s2 = h.node(-10, 500);
    h.link(n2, s1, 10);
    h.link(n2, s2, 200);
    h.link(s1, t2, 10);
    h.link(s2, t2, 200);
    const int expected = rnd(std::hypot(100.0, 500.0) * 6 / 10) * 2;
    EXPECT_EQ(SearchRoute(h.net, n2, t2, path), expected);
    EXPECT_EQ(path, (std::vector<int>{n2, s1, t2}));
    EXPECT_EQ(SearchRoute(h.net, n2, n2, path), 0);
    EXPECT_EQ(path, std::vector<int>{n2});
}

TEST(RoadNetwork, TwoLinkTimesAtTheIntegerLimitDoNotOverflow) {
    // A damaged file: links of 10^12 m at 10^-6 km/h; each link time
    // saturates at the integer limit, and so does their sum.
    Net g;
    const int n = g.node(0, 0), t = g.node(0, 2e12), m = g.node(0, 1e12);
    g.link(n, m, 1e-6);
    g.link(m, t, 1e-6);
    std::vector<int> path;
    EXPECT_EQ(SearchRoute(g.net, n, t, path), INT_MAX);
    EXPECT_EQ(path, (std::vector<int>{n, m, t}));
}

TEST(RoadNetwork, NodesAsFarAsTheTargetOverLinksOfNoTimeAreSettledForTheWalkBack) {
    // 60 km/h, 100 m a link (10 hundredths); nodes 2, 1 and the target 5
    // at one place, 4 -> 2 -> 1 -> 5 as fast as 4 -> 5 (30 either way).
    // The walk back tries node 1 before node 4 (window order), so the
    // route goes through 2 and 1, which only the nodes at the target's
    // own time reach.
    Net g;
    const int s = g.node(0, 0);
    g.node(0, 300);  // 1
    g.node(0, 300);  // 2
    g.node(0, 100);  // 3
    g.node(0, 200);  // 4
    const int t = g.node(0, 300);
    ASSERT_EQ(s, 0);
    ASSERT_EQ(t, 5);
    g.link(0, 3, 60);
    g.link(3, 4, 60);
    g.link(4, 2, 60);
    g.link(4, 5, 60);
    g.link(2, 1, 60);
    g.link(1, 5, 60);
    std::vector<int> path, sweep;
    EXPECT_EQ(SearchRoute(g.net, s, t, path), 30);
    EXPECT_EQ(path, (std::vector<int>{0, 3, 4, 2, 1, 5}));
    EXPECT_EQ(SearchRouteSweep(g.net, s, t, sweep), 30);
    EXPECT_EQ(sweep, path);
}

TEST(RoadNetwork, SingleNodePathWhenTheFirstLinkEndsWhereTheSecondStarts) {
    Net g;
    const int a = g.node(0, 0), b = g.node(0, 100), c = g.node(0, 200);
    g.link(a, b, 60);
    g.link(b, c, 60);
    const RouteResult r = RouteTime(g.net, {-1, 50}, {-1, 150});
    ASSERT_EQ(r.status, RouteResult::Found);
    EXPECT_EQ(r.path, std::vector<int>{b});
    EXPECT_NEAR(r.time, 50 * 6 / 60.0 + 50 * 6 / 60.0, 1e-9);
}

TEST(RoadNetwork, WindowedSearchAndUnreachableTargets) {
    // A chain far from the direct line, and a dead end.
    Net g;
    std::vector<int> chain;
    for (int i = 0; i < 10; ++i) chain.push_back(g.node(i % 2 ? 3000 : 0, 100.0 * i));
    for (int i = 0; i + 1 < 10; ++i) g.link(chain[size_t(i)], chain[size_t(i) + 1], 50);
    const int lonely = g.node(0, 5000);
    std::vector<int> path;
    const int t = SearchRoute(g.net, chain[0], chain[9], path);
    EXPECT_EQ(path, chain);  // the window grows until it holds the detour
    std::vector<int> sweepPath;
    EXPECT_EQ(SearchRouteSweep(g.net, chain[0], chain[9], sweepPath), t);
    EXPECT_EQ(sweepPath, path);
    EXPECT_EQ(SearchRoute(g.net, chain[0], lonely, path), -2);
    EXPECT_EQ(SearchRoute(g.net, chain[9], chain[0], path), -2);  // one-way
    // Two nodes at one place linked both ways (a link of no length) do not
    // make the path go round.
    Net z;
    const int p = z.node(0, 0), q = z.node(0, 0), r = z.node(0, 300), s = z.node(0, 600), u = z.node(300, 600);
    z.both(p, q, 40);
    z.link(q, r, 40);
    z.link(r, s, 40);
    z.link(s, u, 40);
    EXPECT_EQ(SearchRoute(z.net, p, u, path), 45 + 45 + 45);
    EXPECT_EQ(path, (std::vector<int>{p, q, r, s, u}));
    // A target at the same place as the start but not linked: no endless widening.
    Net w;
    const int w1 = w.node(0, 0), w2 = w.node(0, 0);
    EXPECT_EQ(SearchRoute(w.net, w1, w2, path), -2);
}

TEST(RoadNetwork, HeapAndSweepGiveTheSameRoutesOnRandomNetworks) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> U(0, 5000);
    int compared = 0, found = 0;
    for (int round = 0; round < 12; ++round) {
        Net g;
        const int n = 120 + round % 8 * 20;
        // From round 8 on, every third node lies within 4 m of the one
        // before (links of no time or of one hundredth), and some links are
        // very slow (times in the tens of thousands).
        const bool crowded = round >= 8;
        for (int i = 0; i < n; ++i) {
            if (crowded && i % 3 == 2)
                g.node(g[i - 1].X + double(rng() % 5), g[i - 1].Y + double(rng() % 3));
            else
                g.node(std::round(U(rng)), std::round(U(rng)));
        }
        for (int i = 0; i < n; ++i) {
            // Links to a few near nodes, some one-way, speeds by class.
            std::vector<std::pair<double, int>> near;
            for (int j = 0; j < n; ++j)
                if (j != i) near.push_back({std::hypot(g[i].X - g[j].X, g[i].Y - g[j].Y), j});
            std::sort(near.begin(), near.end());
            for (int k = 0; k < 3; ++k) {
                const int j = near[size_t(k)].second;
                if (LinkSlot(g[i], j) >= 0 || rng() % 5 == 0) continue;
                const double speed = crowded && rng() % 10 == 0 ? 0.5 : (rng() % 3 + 1) * 20.0;
                g.link(i, j, speed);
                if (rng() % 4 != 0 && LinkSlot(g[j], i) < 0) {
                    int used = 0;
                    while (used < kLinkSlots && g[j].Link[size_t(used)] != -1) ++used;
                    if (used < kLinkSlots) g.link(j, i, speed);
                }
            }
        }
        if (crowded) {  // the fixture holds what it is meant to
            const RouteGraph rg(g.net);
            int none = 0;
            for (int e = 0; e < rg.outBegin(n); ++e) none += rg.outTime(e) == 0;
            EXPECT_GT(none, 3) << round;
            EXPECT_GT(rg.maxLinkTime(), 2000) << round;
        }
        for (int q = 0; q < 60; ++q) {
            const int a = int(rng() % uint32_t(n)), b = int(rng() % uint32_t(n));
            std::vector<int> p1, p2;
            const int t1 = SearchRoute(g.net, a, b, p1);
            const int t2 = SearchRouteSweep(g.net, a, b, p2);
            ASSERT_EQ(t1, t2) << round << " " << a << "->" << b;
            ASSERT_EQ(p1, p2);
            ++compared;
            found += t1 >= 0;
            // Points near the nodes give the same routes too.
            const RouteResult r = RouteTime(g.net, RouteEndPoint(g[a].X + 3, g[a].Y + 7), RouteEndPoint(g[b].X - 2, g[b].Y + 5));
            if (r.status == RouteResult::Found && r.path.size() > 1) {
                std::vector<int> sp;
                const int st = SearchRouteSweep(g.net, r.path.front(), r.path.back(), sp);
                EXPECT_EQ(sp, r.path);
                EXPECT_GE(st, 0);
            }
        }
    }
    EXPECT_EQ(compared, 720);
    EXPECT_GT(found, 150);
}

TEST(RoadNetwork, ReportLinesAndZeroMinutes) {
    Net g;
    const int a = g.node(0, 0), b = g.node(0, 1000), c = g.node(0, 2000);
    g.link(a, b, 60);
    g.link(b, c, 60);
    RouteResult r = RouteTime(g.net, {-1, 100}, {-1, 1900});
    ASSERT_EQ(r.status, RouteResult::Found);
    RouteReport rep = ReportRoute(g.net, {-1, 100}, {-1, 1900}, r);
    EXPECT_EQ(rep.lines[0], "Расстояние:       1800 м.");
    EXPECT_EQ(rep.lines[1], "Время в пути:   2 мин.");
    EXPECT_EQ(rep.lines[2], "Средняя скорость: 54.0 км/ч.");
    // 40 m along the links: 4 hundredths of a minute, shown as 0 minutes;
    // the speed comes from the time itself (40.05 m measured from the clicks).
    r = RouteTime(g.net, {-1, 980}, {-1, 1020});
    EXPECT_NEAR(r.time, 4, 1e-9);
    rep = ReportRoute(g.net, {-1, 980}, {-1, 1020}, r);
    EXPECT_EQ(rep.lines[1], "Время в пути:   0 мин.");
    EXPECT_EQ(rep.lines[2], "Средняя скорость: 60.1 км/ч.");
    // No link, unreachable.
    r = RouteTime(g.net, {5000, 5000}, {-1, 100});
    EXPECT_EQ(r.status, RouteResult::StartWithoutLink);
    EXPECT_FALSE(NoRouteText(r).empty());
    r = RouteTime(g.net, {-1, 1900}, {-1, 100});
    EXPECT_EQ(r.status, RouteResult::Unreachable);
}

TEST(BucketQueue, TakesTheLeastTimeAcrossTheRingAndForgetsTheLastSearch) {
    // Pops until empty: times in the order taken, and the (time, node)
    // pairs sorted (nodes of one time come in no set order).
    auto drain = [](BucketQueue& q, std::vector<int32_t>& times) {
        std::vector<std::pair<int32_t, uint32_t>> got;
        while (!q.empty()) {
            int32_t t = -1;
            const uint32_t node = q.pop(t);
            times.push_back(t);
            got.emplace_back(t, node);
        }
        std::sort(got.begin(), got.end());
        return got;
    };
    using Pairs = std::vector<std::pair<int32_t, uint32_t>>;
    BucketQueue q;
    // Steps of at most 4: a ring of 8 buckets, so times 0 and 4 must not share one.
    q.reset(4);
    q.push(0, 5);
    q.push(4, 2);
    q.push(0, 9);
    q.push(3, 1);
    q.push(0, 5);  // queued twice
    int32_t t = -1;
    std::vector<uint32_t> first;
    for (int i = 0; i < 3; ++i) {
        first.push_back(q.pop(t));
        EXPECT_EQ(t, 0);
    }
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<uint32_t>{5, 5, 9}));
    q.push(2, 7);
    EXPECT_EQ(q.pop(t), 7u);
    EXPECT_EQ(t, 2);
    q.push(6, 4);   // 2 + 4: past the end of the ring, back to its start
    q.push(3, 8);
    q.push(2, 6);   // a link of no time
    std::vector<int32_t> times;
    EXPECT_EQ(drain(q, times), (Pairs{{2, 6}, {3, 1}, {3, 8}, {4, 2}, {6, 4}}));
    EXPECT_EQ(times, (std::vector<int32_t>{2, 3, 3, 4, 6}));

    // A search stopped early leaves nodes behind: the next one starts clean,
    // with the same ring and with another.
    for (int32_t step : {4, 100}) {
        q.reset(4);
        q.push(0, 1);
        q.pop(t);
        q.push(3, 2);
        q.push(4, 3);
        q.push(1, 4);
        q.pop(t);
        ASSERT_EQ(t, 1);
        q.reset(step);
        q.push(0, 11);
        q.push(step, 12);
        times.clear();
        EXPECT_EQ(drain(q, times), (Pairs{{0, 11}, {step, 12}})) << step;
        EXPECT_EQ(times, (std::vector<int32_t>{0, step}));
    }
    // Every link of no time: one bucket.
    q.reset(0);
    q.push(0, 3);
    q.push(0, 2);
    times.clear();
    EXPECT_EQ(drain(q, times), (Pairs{{0, 2}, {0, 3}}));
    // Times far along, up to the route's limit.
    q.reset(65534);
    q.push(0, 1);
    q.pop(t);
    q.push(65534, 2);
    q.push(40000, 3);
    times.clear();
    EXPECT_EQ(drain(q, times), (Pairs{{40000, 3}, {65534, 2}}));
    EXPECT_EQ(times, (std::vector<int32_t>{40000, 65534}));
}

TEST(RouteGraph, LinksIntoANodeListEachSourceOnceAscending) {
    // Node 2 holds node 0 in two slots; nodes 3 and 1 link into 0 too.
    Net n;
    for (int i = 0; i < 4; ++i) n.node(i * 10, 0);
    n.link(2, 0, 30);
    n.link(2, 0, 60);
    n.link(3, 0, 30);
    n.link(1, 0, 30);
    n.link(0, 3, 30);
    // 10 km away: 1000 at 60 km/h, and 120000 (no route) at half a km/h.
    n.node(10030, 0);
    n.link(3, 4, 60);
    n.link(4, 3, 0.5);
    const RouteGraph g(n.net);
    std::vector<int> into0, into3;
    for (int e = g.inBegin(0); e < g.inEnd(0); ++e) into0.push_back(g.inFrom(e));
    for (int e = g.inBegin(3); e < g.inEnd(3); ++e) into3.push_back(g.inFrom(e));
    EXPECT_EQ(into0, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(into3, (std::vector<int>{0, 4}));
    EXPECT_EQ(g.maxLinkTime(), 1000);
    // Out of node 2: both slots, each with the time of the first slot that
    // holds the target (20 m at 30 km/h: rnd(20 * 6 / 30) = 4).
    ASSERT_EQ(g.outEnd(2) - g.outBegin(2), 2);
    EXPECT_EQ(g.outTo(g.outBegin(2)), 0);
    EXPECT_EQ(g.outTime(g.outBegin(2)), 4);
    EXPECT_EQ(g.outTime(g.outBegin(2) + 1), 4);
    EXPECT_EQ(g.nodeX(3), 30);
    EXPECT_EQ(g.nodeY(3), 0);
}
