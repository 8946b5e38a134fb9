// Arena blocks kept from one arena for the next: what a run that reads,
// writes and drops one function after another allocates only once.
#include "support/arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace vx {
namespace {

class ArenaBlockPoolTest : public ::testing::Test {
protected:
    void SetUp() override { reset_arena_block_pool(); }
    void TearDown() override { reset_arena_block_pool(); }
};

TEST_F(ArenaBlockPoolTest, ReleasedBlocksAreTakenByTheNextArena) {
    ArenaBlockPool& pool = arena_block_pool();
    constexpr std::size_t kMoreThanHalf = ArenaBlockPool::kBlockSize / 2 + 64;
    std::vector<void*> places;
    {
        Arena arena;
        // Each allocation needs a block of its own.
        for (int i = 0; i < 4; ++i)
            places.push_back(arena.allocate(kMoreThanHalf));
        EXPECT_EQ(pool.blocks_kept(), 0u);
        EXPECT_EQ(arena.bytes_reserved(), 4 * ArenaBlockPool::kBlockSize);
    }
    EXPECT_EQ(pool.blocks_kept(), 4u);
    Arena next;
    void* reused = next.allocate(16);
    EXPECT_EQ(pool.blocks_kept(), 3u);
    // The block comes back where it was: the same memory, and usable.
    EXPECT_NE(std::find(places.begin(), places.end(), reused), places.end());
    std::memset(reused, 0xAB, 16);
}

TEST_F(ArenaBlockPoolTest, LargeAndOddBlocksAreNotKept) {
    {
        Arena arena;
        arena.allocate(3 * ArenaBlockPool::kBlockSize); // a block of its own
        Arena small_blocks(128);
        small_blocks.allocate(100);
    }
    EXPECT_EQ(arena_block_pool().blocks_kept(), 0u);
}

TEST_F(ArenaBlockPoolTest, TheLimitBoundsWhatIsKept) {
    ArenaBlockPool& pool = arena_block_pool();
    pool.set_limit(2 * ArenaBlockPool::kBlockSize);
    {
        Arena arena;
        for (int i = 0; i < 5; ++i)
            arena.allocate(ArenaBlockPool::kBlockSize - 64);
    }
    EXPECT_EQ(pool.blocks_kept(), 2u);
    pool.set_limit(ArenaBlockPool::kBlockSize);
    EXPECT_EQ(pool.blocks_kept(), 1u);
    reset_arena_block_pool();
    EXPECT_EQ(pool.blocks_kept(), 0u);
}

TEST_F(ArenaBlockPoolTest, AReleasedArenaCanBeUsedAgain) {
    Arena arena;
    int* a = arena.make<int>(1);
    arena.release();
    EXPECT_EQ(arena_block_pool().blocks_kept(), 1u);
    int* b = arena.make<int>(2);
    EXPECT_EQ(*b, 2);
    EXPECT_EQ(arena_block_pool().blocks_kept(), 0u);
    EXPECT_EQ(arena.bytes_reserved(), ArenaBlockPool::kBlockSize);
    (void)a;
}

} // namespace
} // namespace vx
