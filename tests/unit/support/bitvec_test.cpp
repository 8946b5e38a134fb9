#include "support/bitvec.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace vx {
namespace {

using Members = std::vector<uint32_t>;
using Warnings = std::vector<std::string>;

Warnings warnings;
void record_warning(const char* message) {
    warnings.emplace_back(message);
}

BITVEC with(uint32_t size, std::initializer_list<uint32_t> members) {
    BITVEC vector(size);
    for (uint32_t member : members)
        vector.add(member);
    return vector;
}

// Like with(), but every tail bit set, as a caller's whole-word write may leave it.
BITVEC soiled(uint32_t size, std::initializer_list<uint32_t> members) {
    BITVEC vector = with(size, members);
    vector.words().back() |= ~BITVEC::Word{0} << (size % BITVEC::word_bits);
    return vector;
}

Members members(const BITVEC& vector) {
    Members result;
    for (uint32_t i = vector.next_member(0); i < vector.size(); i = vector.next_member(i + 1))
        result.push_back(i);
    return result;
}

class BitVec : public ::testing::Test {
protected:
    void SetUp() override {
        warnings.clear();
        previous_hook_ = set_bitvec_warning_hook(record_warning);
    }
    void TearDown() override { set_bitvec_warning_hook(previous_hook_); }

private:
    BitvecWarningHook previous_hook_ = nullptr;
};

TEST_F(BitVec, SingleBitsBeyondSizeGrowTheVector) {
    BITVEC empty;
    EXPECT_FALSE(empty.test(1000));
    empty.add(0);
    EXPECT_EQ(members(empty), Members{0});

    BITVEC vector(10);
    vector.words()[0] = ~BITVEC::Word{0}; // garbage beyond the ten members
    vector.add(40);                       // within the allocated word
    vector.remove(200);                   // needs new storage
    EXPECT_EQ(vector.size(), 201u);
    EXPECT_EQ(vector.count(), 11u);
    EXPECT_EQ(vector.next_member(10), 40u);
    EXPECT_EQ(warnings, (Warnings{"Index beyond size:add", "Index beyond size:add",
                                  "Index beyond size:remove"}));

    vector.resize(40); // shrinking and growing again does not revive bit 40
    vector.resize(201);
    EXPECT_EQ(vector.count(), 10u);
}

TEST_F(BitVec, ClearAndCopyRanges) {
    BITVEC vector = with(200, {0, 63, 64, 65, 127, 128, 199});
    vector.clear_range(63, 128);
    vector.clear_range(5, 4);
    vector.clear_range(0, UINT32_MAX);
    EXPECT_EQ(members(vector), (Members{0, 199}));

    BITVEC target = with(10, {0, 1});
    target.copy_range(with(130, {2, 3, 64, 129}), 1, 1000); // cut to the source's size
    EXPECT_EQ(target.size(), 130u);
    EXPECT_EQ(members(target), (Members{0, 2, 3, 64, 129}));
}

TEST_F(BitVec, MergeAndUnionGrowAndReportChange) {
    BITVEC target = with(40, {1});
    target.merge(soiled(70, {3, 69}));
    EXPECT_EQ(target.size(), 70u);
    EXPECT_EQ(members(target), (Members{1, 3, 69}));

    EXPECT_FALSE(target.union_with(soiled(65, {3})));
    EXPECT_FALSE(target.union_with(nullptr));
    EXPECT_TRUE(target.union_with(with(150, {149})));
    EXPECT_EQ(members(target), (Members{1, 3, 69, 149}));
    EXPECT_EQ(warnings, (Warnings{"Vector size mismatch:merge", "Vector size mismatch:union"}));
}

TEST_F(BitVec, UnionOfTwoOperandsLeavesHigherBitsAlone) {
    BITVEC target = with(200, {150});
    target.union3(soiled(10, {1}), with(130, {2, 129}));
    EXPECT_EQ(members(target), (Members{1, 2, 129, 150}));

    BITVEC small(5);
    small.union3(with(10, {9}), with(70, {69}));
    EXPECT_EQ(members(small), (Members{9, 69}));
    EXPECT_EQ(warnings, Warnings{"Vector size mismatch:merge"});
}

TEST_F(BitVec, IntersectionsAndDifferences) {
    BITVEC kept = with(200, {1, 2, 40, 41, 100});
    kept.intersect(soiled(41, {2, 40}));
    EXPECT_EQ(members(kept), (Members{2, 40, 41, 100})); // beyond the operand: kept

    BITVEC anded = with(300, {5, 90, 250});
    anded.and3(with(100, {5, 6, 90, 99}), soiled(95, {5, 90, 94}));
    EXPECT_EQ(members(anded), (Members{5, 90}));

    BITVEC all_equal(70);
    all_equal.and4(with(70, {1, 2, 3}), with(70, {2, 3}), with(70, {3, 69}));
    EXPECT_EQ(members(all_equal), Members{3});
    BITVEC c = with(80, {3, 4, 75});
    c.and4(with(80, {3, 75}), with(90, {3, 4, 75}), c); // the target is also an operand
    EXPECT_EQ(members(c), (Members{3, 75}));

    BITVEC subtracted = with(100, {1, 2, 64, 99});
    subtracted.subtract(soiled(65, {2, 64}));
    EXPECT_EQ(members(subtracted), (Members{1, 99}));

    BITVEC difference = with(1, {0});
    difference.difference(soiled(130, {1, 2, 100, 129}), soiled(50, {2}));
    EXPECT_EQ(difference.size(), 130u);
    EXPECT_EQ(members(difference), (Members{1, 100, 129}));
    EXPECT_TRUE(warnings.empty());

    BITVEC small(3);
    small.and3(with(100, {99}), with(100, {99}));
    EXPECT_EQ(members(small), Members{99});
    EXPECT_EQ(warnings, Warnings{"Vector size mismatch:and3"});
}

TEST_F(BitVec, CmpCpyReportsChangedMembers) {
    BITVEC target = with(100, {4, 70});
    EXPECT_FALSE(target.cmp_cpy(soiled(100, {4, 70})));
    EXPECT_TRUE(target.cmp_cpy(with(100, {4, 71})));
    EXPECT_EQ(target, with(100, {4, 71}));
    EXPECT_TRUE(warnings.empty());

    EXPECT_FALSE(target.cmp_cpy(with(30, {4}))); // a size change alone is no change
    EXPECT_EQ(target, with(30, {4}));
    EXPECT_EQ(warnings, Warnings{"Vector size mismatch:cmp_cpy"});
    EXPECT_FALSE(BITVEC().cmp_cpy(BITVEC()));
}

TEST_F(BitVec, ZoneOwnedWordsAreNeverFreed) {
    std::vector<BITVEC::Word> zone_words(4, ~BITVEC::Word{0});
    const int zone = 0;
    {
        BITVEC vector = BITVEC::in_zone(&zone, zone_words, 100);
        vector.add(7);
        EXPECT_EQ(members(vector), Members{7});
    }
    EXPECT_EQ(warnings, Warnings{"Should not free a zoned bitvector"});
    EXPECT_EQ(zone_words[0], BITVEC::Word{1} << 7);
}

// Vectors of up to one word keep it in themselves: moves and copies must
// carry the bits, and growing past one word must keep them.
TEST_F(BitVec, OneWordVectorsSurviveMovesCopiesAndGrowth) {
    BITVEC small = with(40, {3, 39});
    BITVEC moved(std::move(small));
    EXPECT_EQ(members(moved), (Members{3, 39}));
    BITVEC copy = moved;
    copy.add(5);
    EXPECT_EQ(members(moved), (Members{3, 39}));
    BITVEC assigned;
    assigned = std::move(copy);
    EXPECT_EQ(members(assigned), (Members{3, 5, 39}));
    assigned.resize(300);
    assigned.add(250);
    EXPECT_EQ(members(assigned), (Members{3, 5, 39, 250}));
    std::vector<BITVEC> many(50, with(10, {1}));
    many.resize(500, with(10, {2})); // reallocation moves every element
    EXPECT_EQ(members(many[0]), Members{1});
    EXPECT_EQ(members(many[499]), Members{2});
    EXPECT_TRUE(warnings.empty());
}

} // namespace
} // namespace vx
