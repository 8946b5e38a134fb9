#include "support/arena.h"

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
ArenaBlockPool::Block ArenaBlockPool::take() {
    if (free_.empty())
        return std::make_unique_for_overwrite<std::byte[]>(kBlockSize);
    Block block = std::move(free_.back());
    free_.pop_back();
    VX_UNPOISON(block.get(), kBlockSize);
    return block;
}

void ArenaBlockPool::give_back(Block block) {
    if (free_.size() >= limit_blocks_)
        return;
    VX_POISON(block.get(), kBlockSize);
    free_.push_back(std::move(block));
}

void ArenaBlockPool::set_limit(std::size_t limit_bytes) {
    limit_blocks_ = limit_bytes / kBlockSize;
    while (free_.size() > limit_blocks_) {
        VX_UNPOISON(free_.back().get(), kBlockSize);
        free_.pop_back();
    }
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

void reset_arena_block_pool() {
    ArenaBlockPool& pool = arena_block_pool();
    pool.set_limit(0);
    pool.set_limit(ArenaBlockPool::kDefaultLimit);
}

// ---- Arenas ---------------------------------------------------------------------

void* Arena::allocate_in_new_block(std::size_t size, std::size_t alignment) {
    // Large requests get a block of their own so the current block's
    // remaining space is not wasted on them.
    const std::size_t block = std::max(block_size_, size + alignment);
    ArenaBlockPool::Block bytes = block == ArenaBlockPool::kBlockSize
                                      ? arena_block_pool().take()
                                      : std::make_unique_for_overwrite<std::byte[]>(block);
    std::byte* base = bytes.get();
    blocks_.push_back({std::move(bytes), block});
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
            arena_block_pool().give_back(std::move(block.bytes));
    blocks_.clear();
    next_ = end_ = nullptr;
    reserved_ = used_ = 0;
}

} // namespace vx
