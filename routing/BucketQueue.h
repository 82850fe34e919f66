#pragma once
// A queue of nodes by whole time for searches in which times only grow and
// each link adds at most a known step: every time waiting lies within one
// step of the last one taken, so each time has its bucket in a ring and
// taking the least is a walk along the ring instead of a heap's sifting.
// Nodes of the same time come out in no set order; a node may be queued
// more than once, and the search skips what it has already bettered.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dm {

class BucketQueue {
public:
    // Empties the queue for a search starting at time 0 whose links add
    // at most `maxStep` (0 or more).
    void reset(int32_t maxStep) {
        size_t span = 1;
        while (span <= size_t(maxStep)) span <<= 1;
        if (ring_.size() != span) {
            ring_.assign(span, {});
        } else {
            // Only the buckets from the last time taken to the last time
            // queued can still hold anything.
            for (int64_t t = now_; t <= last_ && t < now_ + int64_t(span); ++t) ring_[size_t(t) & (span - 1)].clear();
        }
        mask_ = span - 1;
        now_ = 0;
        last_ = -1;
        count_ = 0;
    }

    bool empty() const { return count_ == 0; }

    // `time` is at least the last time taken and at most `maxStep` past it.
    void push(int32_t time, uint32_t node) {
        ring_[size_t(time) & mask_].push_back(node);
        ++count_;
        if (time > last_) last_ = time;
    }

    // Takes a node of the least time waiting (the queue must not be empty).
    uint32_t pop(int32_t& time) {
        std::vector<uint32_t>* b = &ring_[size_t(now_) & mask_];
        while (b->empty()) b = &ring_[size_t(++now_) & mask_];
        const uint32_t node = b->back();
        b->pop_back();
        --count_;
        time = now_;
        return node;
    }

private:
    std::vector<std::vector<uint32_t>> ring_;
    size_t mask_ = 0;
    int32_t now_ = 0, last_ = -1;
    size_t count_ = 0;
};

}  // namespace dm
