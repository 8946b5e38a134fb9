// Arena blocks kept from one arena for the next: what a run that reads,
// writes and drops one function after another allocates only once.
#include "support/arena.h"
#include "support/page_regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vx {
namespace {

// Each allocation of this size needs a block of its own.
constexpr std::size_t kMoreThanHalf = ArenaBlockPool::kBlockSize / 2 + 64;

TEST(ArenaBlockPoolTest, ReleasedBlocksAreTakenByTheNextArena) {
    ArenaBlockPool& pool = arena_block_pool();
    const std::size_t kept_before = pool.blocks_kept();
    std::vector<void*> places;
    {
        Arena arena;
        for (int i = 0; i < 4; ++i)
            places.push_back(arena.allocate(kMoreThanHalf));
        EXPECT_EQ(arena.bytes_reserved(), 4 * ArenaBlockPool::kBlockSize);
    }
    EXPECT_EQ(pool.blocks_kept(), kept_before + 4);
    const std::size_t made_before = pool.blocks_made();
    Arena next;
    void* reused = next.allocate(16);
    EXPECT_EQ(pool.blocks_kept(), kept_before + 3);
    EXPECT_EQ(pool.blocks_made(), made_before);
    // The block comes back where it was: the same memory, and usable.
    EXPECT_NE(std::find(places.begin(), places.end(), reused), places.end());
    std::memset(reused, 0xAB, 16);
}

TEST(ArenaBlockPoolTest, LargeAndOddBlocksAreNotKept) {
    const std::size_t kept_before = arena_block_pool().blocks_kept();
    {
        Arena arena;
        void* large = arena.allocate(3 * ArenaBlockPool::kBlockSize); // a block of its own
        std::memset(large, 0, 3 * ArenaBlockPool::kBlockSize);
        Arena small_blocks(128);
        small_blocks.allocate(100);
    }
    EXPECT_EQ(arena_block_pool().blocks_kept(), kept_before);
}

TEST(ArenaBlockPoolTest, FreshBlocksAreCutFromAlignedRegions) {
    ArenaBlockPool& pool = arena_block_pool();
    // Use up what is kept, so that the next blocks are fresh.
    std::vector<std::byte*> taken;
    while (pool.blocks_kept() > 0)
        taken.push_back(pool.take());
    const std::size_t per_region = kPageRegionSize / ArenaBlockPool::kBlockSize;
    std::vector<std::byte*> fresh;
    for (std::size_t i = 0; i < per_region + 1; ++i)
        fresh.push_back(pool.take());
    std::sort(fresh.begin(), fresh.end());
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(fresh[i]);
        EXPECT_EQ(address % ArenaBlockPool::kBlockSize, 0u);
        if (i > 0) { // no two blocks overlap
            EXPECT_GE(fresh[i] - fresh[i - 1],
                      static_cast<std::ptrdiff_t>(ArenaBlockPool::kBlockSize));
        }
        std::memset(fresh[i], 0x5A, ArenaBlockPool::kBlockSize);
    }
    for (std::byte* block : fresh)
        pool.give_back(block);
    for (std::byte* block : taken)
        pool.give_back(block);
}

TEST(ArenaBlockPoolTest, AReleasedArenaCanBeUsedAgain) {
    const std::size_t kept_before = arena_block_pool().blocks_kept();
    Arena arena;
    arena.make<int>(1);
    arena.release();
    EXPECT_EQ(arena_block_pool().blocks_kept(), std::max<std::size_t>(kept_before, 1));
    int* b = arena.make<int>(2);
    EXPECT_EQ(*b, 2);
    EXPECT_EQ(arena.bytes_reserved(), ArenaBlockPool::kBlockSize);
}

} // namespace
} // namespace vx
