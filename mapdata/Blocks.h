#pragma once
// Memory for the many small records of a map: its objects and their
// vertices.  A map of millions of objects read one allocation at a time
// spends as long in the allocator as in the file, and every allocation
// carries its own header.  Here the records are cut one after another from
// blocks of 2 MiB (each on a 2 MiB boundary, so that a piece finds its
// block from its address); a block counts the pieces alive in it and goes
// back to the system with the last one.  A piece given back is not used
// again on its own: the records of a map are loaded together and freed
// together.

#include <cstddef>
#include <cstdint>

namespace dm {

class BlockCutter {
public:
    static constexpr size_t kBlockSize = size_t(2) << 20;
    // Larger pieces are not cut from blocks (a block would hold few).
    static constexpr size_t kLargestPiece = kBlockSize / 16;

    BlockCutter() = default;
    ~BlockCutter() { leave(); }
    BlockCutter(const BlockCutter&) = delete;
    BlockCutter& operator=(const BlockCutter&) = delete;

    // A piece of `bytes` (1..kLargestPiece), aligned on 16 bytes.  Throws
    // std::bad_alloc when the system has no memory for a new block.
    void* cut(size_t bytes);
    // Gives back a piece of `bytes` cut by any cutter on any thread.
    static void release(void* piece, size_t bytes) noexcept;

    // Blocks taken from the system and not yet given back.
    static size_t blocksInUse();

private:
    void leave() noexcept;
    char* block_ = nullptr;
    size_t used_ = 0;
    int64_t cut_ = 0;  // pieces cut from block_, not yet counted in it
};

// The cutter of the calling thread, for records that are made one by one
// (objects, and the vertices read with them, lie side by side in it).
BlockCutter& ThreadCutter();

}  // namespace dm
