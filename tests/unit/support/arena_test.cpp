#include "support/arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(Arena, ObjectsAreAlignedAndDistinct) {
    vx::Arena arena(128);
    char* c = arena.make<char>('x');
    double* d = arena.make<double>(1.5);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d) % alignof(double), 0u);
    EXPECT_EQ(*c, 'x');
    EXPECT_EQ(*d, 1.5);
    // Enough objects to need several blocks, and one larger than a block.
    std::vector<int*> ints;
    for (int i = 0; i < 100; ++i)
        ints.push_back(arena.make<int>(i));
    auto* big = static_cast<char*>(arena.allocate(1000));
    big[999] = 1;
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(*ints[static_cast<size_t>(i)], i);
    int* after = arena.make<int>(7);
    EXPECT_EQ(*after, 7);
}

TEST(Arena, ReleaseRunsDestructorsNewestFirst) {
    std::string order;
    struct Tracker {
        std::string* log;
        char name;
        ~Tracker() { *log += name; }
    };
    {
        vx::Arena arena;
        arena.make<Tracker>(&order, 'a');
        arena.make<Tracker>(&order, 'b');
        arena.release();
        EXPECT_EQ(order, "ba");
        EXPECT_EQ(arena.bytes_used(), 0u);
        arena.make<Tracker>(&order, 'c');
    }
    EXPECT_EQ(order, "bac");
}

} // namespace
