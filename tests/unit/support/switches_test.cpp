#include "support/switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx::sw {
namespace {

class SwitchRegistry : public ::testing::Test {
protected:
    void SetUp() override { reset_switches(); }
    void TearDown() override { reset_switches(); }
};

TEST_F(SwitchRegistry, ListItemsBecomeSwitchesOfTheirCategory) {
    add_switches(Category::disable, "ilp,vn,cps=0");
    add_switches(Category::enable, "lir");

    EXPECT_TRUE(disabled("ilp"));
    EXPECT_TRUE(disabled("vn"));
    EXPECT_FALSE(disabled("cps")); // present but zero
    EXPECT_EQ(lookup("disable:cps"), 0);
    EXPECT_TRUE(enabled("lir"));
    EXPECT_FALSE(disabled("lir"));
    EXPECT_EQ(debug("absent"), 0);
}

TEST_F(SwitchRegistry, NumbersAreReadWithCRadixRules) {
    add_switches(Category::debug, "max_unroll_size=0x20,oct=010,neg=-3,up=0XfF,all=0xFFFFFFFF");
    EXPECT_EQ(debug("max_unroll_size"), 32);
    EXPECT_EQ(debug("oct"), 8);
    EXPECT_EQ(debug("neg"), -3);
    EXPECT_EQ(debug("up"), 255);
    EXPECT_EQ(debug("all"), -1);

    add_switches(Category::debug, "a=12k,b=k,c=,d=09"); // malformed: the valid start counts
    EXPECT_EQ(debug("a"), 12);
    EXPECT_EQ(debug("b"), 0);
    EXPECT_EQ(debug("c"), 0);
    EXPECT_EQ(debug("d"), 0);
}

TEST_F(SwitchRegistry, LaterSettingReplacesEarlier) {
    add_switches(Category::debug, "unroll=5");
    add_switches(Category::debug, "unroll=7,unroll");
    EXPECT_EQ(debug("unroll"), 1);
    EXPECT_EQ(all_switches().size(), 1u);
}

TEST_F(SwitchRegistry, TableIsSortedByteWiseWithoutEmptyItems) {
    add_switches(Category::debug, "b,\xff,,B,=5,a,");
    add_switches(Category::disable, "z");
    std::vector<std::string> names;
    for (const Switch& entry : all_switches())
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"debug:B", "debug:a", "debug:b", "debug:\xff",
                                               "disable:z"}));
    EXPECT_EQ(debug("\xff"), 1);
}

TEST_F(SwitchRegistry, HandlesQueryByFullName) {
    EXPECT_FALSE(debug_abort.is_set());
    add_switches(Category::debug, "abort,split_odb=3");
    EXPECT_TRUE(debug_abort.is_set());
    EXPECT_EQ(debug_split_odb.value(), 3);
    EXPECT_FALSE(debug_SIMD.is_set());
}

TEST_F(SwitchRegistry, OverlongNamesAreCutTheSameWayWhenSetAndQueried) {
    const std::string bare(600, 'x');
    add_switches(Category::debug, bare + "=4");
    EXPECT_EQ(all_switches().at(0).name.size(), max_name_bytes);
    EXPECT_EQ(lookup("debug:" + bare + "yyy"), 4);
}

} // namespace
} // namespace vx::sw
