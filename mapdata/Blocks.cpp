#include "Blocks.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define DM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DM_ASAN 1
#endif
#endif

#ifdef DM_ASAN
#include <sanitizer/asan_interface.h>
#define DM_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define DM_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define DM_POISON(p, n) ((void)(p), (void)(n))
#define DM_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace dm {

namespace {

// The head of a block.  While a cutter works in a block the count holds
// kHold more than the pieces counted so far, so that pieces given back
// meanwhile never bring it to zero; the cutter settles it when it leaves.
struct BlockHead {
    std::atomic<int64_t> live;
};
constexpr size_t kHeadSize = 64;
constexpr int64_t kHold = int64_t(1) << 40;
static_assert(sizeof(BlockHead) <= kHeadSize);

std::atomic<size_t> gBlocks{0};

#ifndef DM_ASAN
// Blocks are mapped 16 at a time (one system call instead of sixteen); the
// ones not handed out yet are address space only, nothing resident.
constexpr size_t kBlocksPerMapping = 16;
std::mutex gSpareLock;
std::vector<char*> gSpare;

void mapBlocks() {
    const size_t want = kBlocksPerMapping * BlockCutter::kBlockSize;
    // One block more is mapped, and what lies outside the aligned blocks is
    // given back at once.
    const size_t span = want + BlockCutter::kBlockSize;
    void* m = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(m);
    const uintptr_t aligned = (start + BlockCutter::kBlockSize - 1) & ~uintptr_t(BlockCutter::kBlockSize - 1);
    if (aligned > start) ::munmap(m, aligned - start);
    const uintptr_t tail = aligned + want;
    if (tail < start + span) ::munmap(reinterpret_cast<void*>(tail), start + span - tail);
    // No huge pages asked for: where the system grants them only to those
    // who ask (and then compacts memory on the fault to find them), a large
    // map took 0.2 to 1.2 s to load instead of a steady 0.4 s.
    for (size_t i = kBlocksPerMapping; i-- > 0;)
        gSpare.push_back(reinterpret_cast<char*>(aligned + i * BlockCutter::kBlockSize));
}
#endif

char* newBlock() {
    char* block;
#ifdef DM_ASAN
    // Under the address sanitizer the blocks come from its heap, so that
    // the leak checker sees the records in them (and what they point to).
    block = static_cast<char*>(std::aligned_alloc(BlockCutter::kBlockSize, BlockCutter::kBlockSize));
    if (!block) throw std::bad_alloc();
#else
    {
        std::lock_guard<std::mutex> lock(gSpareLock);
        if (gSpare.empty()) mapBlocks();
        block = gSpare.back();
        gSpare.pop_back();
    }
#endif
    new (block) BlockHead{kHold};
    DM_POISON(block + kHeadSize, BlockCutter::kBlockSize - kHeadSize);
    gBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void freeBlock(char* block) noexcept {
    static_cast<BlockHead*>(static_cast<void*>(block))->~BlockHead();
    DM_UNPOISON(block, BlockCutter::kBlockSize);
#ifdef DM_ASAN
    std::free(block);
#else
    ::munmap(block, BlockCutter::kBlockSize);
#endif
    gBlocks.fetch_sub(1, std::memory_order_relaxed);
}

BlockHead* headOf(void* piece) {
    return reinterpret_cast<BlockHead*>(reinterpret_cast<uintptr_t>(piece) & ~uintptr_t(BlockCutter::kBlockSize - 1));
}

}  // namespace

void* BlockCutter::cut(size_t bytes) {
    bytes = (bytes + 15) & ~size_t(15);
    if (bytes == 0 || bytes > kLargestPiece) throw std::bad_alloc();
    if (!block_ || used_ + bytes > kBlockSize) {
        leave();
        block_ = newBlock();
        used_ = kHeadSize;
        cut_ = 0;
    }
    char* p = block_ + used_;
    used_ += bytes;
    ++cut_;
    DM_UNPOISON(p, bytes);
    return p;
}

void BlockCutter::leave() noexcept {
    if (!block_) return;
    BlockHead* head = headOf(block_);
    if (head->live.fetch_add(cut_ - kHold, std::memory_order_acq_rel) + cut_ - kHold == 0) freeBlock(block_);
    block_ = nullptr;
}

void BlockCutter::release(void* piece, size_t bytes) noexcept {
    if (!piece) return;
    DM_POISON(piece, (bytes + 15) & ~size_t(15));
    BlockHead* head = headOf(piece);
    if (head->live.fetch_sub(1, std::memory_order_acq_rel) == 1) freeBlock(reinterpret_cast<char*>(head));
}

size_t BlockCutter::blocksInUse() { return gBlocks.load(std::memory_order_relaxed); }

BlockCutter& ThreadCutter() {
    thread_local BlockCutter cutter;
    return cutter;
}

}  // namespace dm
