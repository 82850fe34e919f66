#pragma once
// A min-heap of 64-bit keys with four children to a node: half the levels
// of a binary heap, and the four children of a node share a cache line.
// Searches put the time in the high half of a key (its sign bit turned, so
// that negative times come first) and the node in the low half, so that
// keys pop by time and then by node.
#include <cstdint>
#include <vector>

namespace dm {

class QuadHeap {
public:
    static uint64_t key(int32_t time, uint32_t node) { return uint64_t(uint32_t(time) ^ 0x80000000u) << 32 | node; }
    static int32_t timeOf(uint64_t k) { return int32_t(uint32_t(k >> 32) ^ 0x80000000u); }
    static uint32_t nodeOf(uint64_t k) { return uint32_t(k); }

    bool empty() const { return v_.empty(); }
    size_t size() const { return v_.size(); }
    void clear() { v_.clear(); }

    void push(uint64_t k) {
        size_t i = v_.size();
        v_.push_back(k);
        while (i > 0) {
            const size_t parent = (i - 1) / 4;
            if (v_[parent] <= k) break;
            v_[i] = v_[parent];
            i = parent;
        }
        v_[i] = k;
    }

    // Takes the least key off the heap (the heap must not be empty).
    uint64_t pop() {
        const uint64_t top = v_.front();
        const uint64_t last = v_.back();
        v_.pop_back();
        const size_t n = v_.size();
        if (n == 0) return top;
        size_t i = 0;
        for (;;) {
            const size_t first = 4 * i + 1;
            if (first >= n) break;
            size_t best = first;
            const size_t end = first + 4 < n ? first + 4 : n;
            for (size_t c = first + 1; c < end; ++c)
                if (v_[c] < v_[best]) best = c;
            if (v_[best] >= last) break;
            v_[i] = v_[best];
            i = best;
        }
        v_[i] = last;
        return top;
    }

private:
    std::vector<uint64_t> v_;
};

}  // namespace dm
