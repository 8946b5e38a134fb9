// Records handed out from arena-block chunks: side by side, value-initialised,
// destroyed together, and their chunks reused by the next pool.
#include "support/chunk_pool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

struct Counted {
    static inline int alive = 0;
    int value = 0;
    std::string text = "a string long enough to allocate its own storage";
    Counted() { ++alive; }
    ~Counted() { --alive; }
};

TEST(ChunkPoolTest, RecordsSitSideBySideAndAllGoTogether) {
    {
        ChunkPool<Counted> pool;
        std::vector<Counted*> made;
        const std::size_t count = 2 * ChunkPool<Counted>::kPerChunk + 3; // into a third chunk
        for (std::size_t i = 0; i < count; ++i) {
            made.push_back(pool.make());
            EXPECT_EQ(made.back()->value, 0);
            made.back()->value = static_cast<int>(i);
        }
        EXPECT_EQ(Counted::alive, static_cast<int>(count));
        for (std::size_t i = 1; i < ChunkPool<Counted>::kPerChunk; ++i) {
            EXPECT_EQ(made[i], made[i - 1] + 1);
        }
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(made[i]->value, static_cast<int>(i));
        }
        pool.clear();
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_TRUE(pool.empty());
        pool.make(); // usable again after clear()
        EXPECT_FALSE(pool.empty());
    }
    EXPECT_EQ(Counted::alive, 0); // the destructor clears too
}

TEST(ChunkPoolTest, AClearedPoolsChunksGoToTheNext) {
    ArenaBlockPool& blocks = arena_block_pool();
    Counted* first = nullptr;
    {
        ChunkPool<Counted> pool;
        first = pool.make();
    }
    const std::size_t made_before = blocks.blocks_made();
    ChunkPool<Counted> next;
    EXPECT_EQ(next.make(), first);
    EXPECT_EQ(blocks.blocks_made(), made_before);
}

} // namespace
} // namespace vx
