#include "support/arena.h"

#include "support/page_regions.h"

#include <algorithm>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define VX_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define VX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define VX_POISON(p, n) ((void)(p), (void)(n))
#define VX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace vx {

// ---- The block pool -------------------------------------------------------------

// A kept block stays poisoned under the address sanitizer, so that a use of
// a released arena's memory is still caught.
std::byte* ArenaBlockPool::take() {
    if (!free_.empty()) {
        std::byte* block = free_.back();
        free_.pop_back();
        VX_UNPOISON(block, kBlockSize);
        return block;
    }
    if (region_next_ == region_end_) {
        region_next_ = take_page_region();
        region_end_ = region_next_ + kPageRegionSize;
    }
    std::byte* block = region_next_;
    region_next_ += kBlockSize;
    ++made_;
    return block;
}

void ArenaBlockPool::give_back(std::byte* block) {
    VX_POISON(block, kBlockSize);
    free_.push_back(block);
}

namespace {

// Never destroyed: arenas of static objects release their blocks into it
// while the program exits.
ArenaBlockPool*& pool_slot() {
    static ArenaBlockPool* pool = new ArenaBlockPool;
    return pool;
}

} // namespace

ArenaBlockPool& arena_block_pool() {
    return *pool_slot();
}

// ---- Arenas ---------------------------------------------------------------------

void* Arena::allocate_in_new_block(std::size_t size, std::size_t alignment) {
    // Large requests get a block of their own so the current block's
    // remaining space is not wasted on them.
    const std::size_t block = std::max(block_size_, size + alignment);
    std::byte* base =
        block == ArenaBlockPool::kBlockSize ? arena_block_pool().take() : new std::byte[block];
    blocks_.push_back({base, block});
    reserved_ += block;
    std::byte* start = align_up(base, alignment);
    if (size + alignment <= block_size_ || !next_) {
        next_ = start + size;
        end_ = base + block;
    }
    used_ += size;
    return start;
}

void Arena::release() {
    for (auto it = finalizers_.rbegin(); it != finalizers_.rend(); ++it)
        it->destroy(it->object);
    finalizers_.clear();
    for (OwnedBlock& block : blocks_)
        if (block.size == ArenaBlockPool::kBlockSize)
            arena_block_pool().give_back(block.bytes);
        else
            delete[] block.bytes;
    blocks_.clear();
    next_ = end_ = nullptr;
    reserved_ = used_ = 0;
}

} // namespace vx
