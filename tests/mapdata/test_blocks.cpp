#include "mapdata/Blocks.h"
#include "mapdata/MapObjects.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace dm;

namespace {

TXY pt(double x, double y) { return TXY{x, y}; }

// A list whose vertices lie in a block, as the loader makes them.
PointList listInBlock(BlockCutter& cutter, const std::vector<TXY>& v) {
    auto* piece = static_cast<TXY*>(cutter.cut(v.size() * sizeof(TXY)));
    std::copy(v.begin(), v.end(), piece);
    return PointList::inBlock(piece, uint32_t(v.size()));
}

void expectSame(const PointList& l, const std::vector<TXY>& v, int step) {
    ASSERT_EQ(l.size(), v.size()) << "step " << step;
    ASSERT_EQ(l.empty(), v.empty()) << "step " << step;
    for (size_t i = 0; i < v.size(); ++i) {
        ASSERT_EQ(l[i].X, v[i].X) << "step " << step << " vertex " << i;
        ASSERT_EQ(l[i].Y, v[i].Y) << "step " << step << " vertex " << i;
    }
    ASSERT_GE(l.capacity(), l.size());
}

}  // namespace

// Every change a vertex list allows, done at random to a list and to a
// std::vector side by side, starting in a block and on the heap.
TEST(PointList, BehavesAsAVectorOfVerticesInABlockAndOnItsOwn) {
    for (const bool startInBlock : {true, false}) {
        BlockCutter cutter;
        std::mt19937 rnd(startInBlock ? 11 : 12);
        std::vector<TXY> v;
        for (int i = 0; i < 7; ++i) v.push_back(pt(i, -i));
        PointList l = startInBlock ? listInBlock(cutter, v) : PointList(v);
        EXPECT_EQ(l.isInBlock(), startInBlock);
        double next = 100;
        for (int step = 0; step < 4000; ++step) {
            const size_t n = v.size();
            const size_t at = n ? rnd() % (n + 1) : 0;
            switch (rnd() % 12) {
                case 0: l.push_back(pt(next, next + 1)); v.push_back(pt(next, next + 1)); break;
                case 1: if (n) { l.pop_back(); v.pop_back(); } break;
                case 2: if (at < n) { l.erase(l.begin() + at); v.erase(v.begin() + long(at)); } break;
                case 3: {
                    const size_t to = at + (n - at ? rnd() % (n - at + 1) : 0);
                    l.erase(l.begin() + at, l.begin() + to);
                    v.erase(v.begin() + long(at), v.begin() + long(to));
                    break;
                }
                case 4: l.insert(l.begin() + at, pt(next, 0)); v.insert(v.begin() + long(at), pt(next, 0)); break;
                case 5: {
                    // A range of the list itself put back into it.
                    const size_t from = n ? rnd() % n : 0, len = n ? rnd() % (n - from + 1) : 0;
                    const std::vector<TXY> part(v.begin() + long(from), v.begin() + long(from + len));
                    l.insert(l.begin() + at, l.begin() + from, l.begin() + from + len);
                    v.insert(v.begin() + long(at), part.begin(), part.end());
                    break;
                }
                case 6: {
                    const size_t m = rnd() % 12;
                    l.resize(m);
                    v.resize(m);
                    break;
                }
                case 7: l.push_back(l.empty() ? pt(1, 1) : l.front()); v.push_back(v.empty() ? pt(1, 1) : v.front()); break;
                case 8: {
                    // Assigned a part of itself.
                    const size_t from = n ? rnd() % n : 0;
                    const std::vector<TXY> part(v.begin() + long(from), v.end());
                    l.assign(l.begin() + from, l.end());
                    v = part;
                    break;
                }
                case 9: if (n) { l[at % n].X = next; v[at % n].X = next; } break;
                case 10: if (rnd() % 8 == 0) { l.clear(); v.clear(); } break;
                case 11: {
                    const PointList copy = l;  // a copy is a list of its own
                    ASSERT_FALSE(copy.isInBlock());
                    l = copy;
                    l.shrink_to_fit();
                    ASSERT_EQ(l.capacity(), l.size());
                    break;
                }
            }
            next += 1;
            expectSame(l, v, step);
            if (::testing::Test::HasFatalFailure()) return;
        }
        EXPECT_TRUE(l == v);
        EXPECT_EQ(l.vec(), v);
    }
}

TEST(PointList, ChangesInPlaceInItsBlockAndMovesOutOnlyToGrow) {
    BlockCutter cutter;
    PointList l = listInBlock(cutter, {pt(1, 2), pt(3, 4), pt(5, 6)});
    const TXY* where = l.data();
    l[1] = pt(7, 8);
    l.erase(l.begin());
    EXPECT_EQ(l.data(), where);
    EXPECT_TRUE(l.isInBlock());
    EXPECT_EQ(l.vec(), (std::vector<TXY>{pt(7, 8), pt(5, 6)}));
    l.push_back(pt(9, 9));  // fits in the three vertices it had
    EXPECT_TRUE(l.isInBlock());
    l.push_back(pt(10, 10));
    EXPECT_FALSE(l.isInBlock());
    EXPECT_EQ(l.vec(), (std::vector<TXY>{pt(7, 8), pt(5, 6), pt(9, 9), pt(10, 10)}));
    // A list moved takes the block's vertices along; the one left is empty.
    PointList m = listInBlock(cutter, {pt(1, 1)});
    const TXY* piece = m.data();
    PointList n = std::move(m);
    EXPECT_EQ(n.data(), piece);
    EXPECT_TRUE(n.isInBlock());
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(m.data(), nullptr);
}

// A block goes back to the system when its last piece does, whichever
// thread gives it back, and not while a cutter still cuts from it.
TEST(BlockCutter, ABlockGoesBackWithItsLastPiece) {
    const size_t before = BlockCutter::blocksInUse();
    std::vector<std::pair<void*, size_t>> pieces;
    {
        BlockCutter cutter;
        size_t total = 0;
        for (size_t i = 0; total < 3 * BlockCutter::kBlockSize; ++i) {
            const size_t bytes = 1 + (i * 37) % 4000;  // rounded up to 16 by the cutter
            auto* p = static_cast<uint8_t*>(cutter.cut(bytes));
            ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
            std::fill(p, p + bytes, uint8_t(i));
            pieces.emplace_back(p, bytes);
            total += bytes;
        }
        EXPECT_GE(BlockCutter::blocksInUse(), before + 3);
        // No piece overlaps another: each still holds its own byte.
        for (size_t i = 0; i < pieces.size(); ++i) {
            const auto* p = static_cast<const uint8_t*>(pieces[i].first);
            for (size_t k = 0; k < pieces[i].second; ++k) ASSERT_EQ(p[k], uint8_t(i)) << i;
        }
        EXPECT_THROW(cutter.cut(0), std::bad_alloc);
        EXPECT_THROW(cutter.cut(BlockCutter::kLargestPiece + 1), std::bad_alloc);
        void* largest = cutter.cut(BlockCutter::kLargestPiece);
        BlockCutter::release(largest, BlockCutter::kLargestPiece);
        // Every piece given back on another thread while the cutter lives:
        // only its current block stays.
        std::thread([&] {
            for (auto& [p, bytes] : pieces) BlockCutter::release(p, bytes);
        }).join();
        EXPECT_EQ(BlockCutter::blocksInUse(), before + 1);
    }
    EXPECT_EQ(BlockCutter::blocksInUse(), before);
    // Pieces that outlive their cutter keep the block until the last goes.
    void* a;
    void* b;
    {
        BlockCutter cutter;
        a = cutter.cut(100);
        b = cutter.cut(100);
    }
    EXPECT_EQ(BlockCutter::blocksInUse(), before + 1);
    BlockCutter::release(a, 100);
    EXPECT_EQ(BlockCutter::blocksInUse(), before + 1);
    BlockCutter::release(b, 100);
    EXPECT_EQ(BlockCutter::blocksInUse(), before);
}
