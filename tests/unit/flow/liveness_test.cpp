// Live variables and dead-assignment removal.
#include "unit/flow/flow_test_support.h"

#include "flow/liveness.h"

namespace vx::flow::testing {
namespace {

using Liveness = FlowTest;

// Statement shapes of every block in layout order.
std::vector<std::string> all_statements(const FlowGraph& g) {
    std::vector<std::string> shapes;
    for (const BBLK* b = g.first; b != nullptr; b = b->next)
        for (const StatementEntry& s : b->statements)
            shapes.push_back(shape(s.tree));
    return shapes;
}

TEST_F(Liveness, CandidatesAreLocalScalarsWithoutAddressOrVolatile) {
    FlowGraph& g = build(R"(stmt (ASG:9 (NAME:9 0 1) (UAND:9 (NAME:1 2 3)))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    find_live_variables(g, false, false);
    EXPECT_GE(local("x")->candidate, 0);
    EXPECT_GE(local("y")->candidate, 0);
    EXPECT_EQ(local("z")->candidate, -1); // address taken
    EXPECT_EQ(local("v")->candidate, -1); // volatile
    EXPECT_EQ(local("a")->candidate, -1); // not a scalar
}

TEST_F(Liveness, LiveAcrossTheLoopAndEmptyOutAtExits) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 0))
                            label 1
                            stmt (PLUSASG:1 (NAME:1 2 2) (NAME:1 1 1))
                            stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 1))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    ASSERT_GT(find_live_variables(g, false, false), 0u);
    const int y = local("y")->candidate, x = local("x")->candidate, n = local("n")->candidate;
    BBLK* header = block_read_as(g, 1);
    EXPECT_TRUE(header->live().in.test(y));
    EXPECT_TRUE(header->live().in.test(x));
    EXPECT_TRUE(header->live().in.test(n));
    EXPECT_TRUE(header->live().out.test(y));
    EXPECT_FALSE(g.first->live().in.test(y)); // killed by y = 0
    EXPECT_TRUE(g.first->live().def.test(y));
    for (BBLK* b = g.first; b != nullptr; b = b->next) {
        if (b->succs.empty()) {
            EXPECT_EQ(b->live().out.count(), 0u);
        }
    }
}

TEST_F(Liveness, DeadStoreIsDeletedAndLiveOneKept) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 5))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 6))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(elim_dead_assigns(g), 1u);
    EXPECT_EQ(all_statements(g),
              (std::vector<std::string>{"(ASG (NAME y) (ICON 6))", "(RETURN (NAME y) (NOP))"}));
}

TEST_F(Liveness, SelfUpdateInALoopIsDeletedWithItsVariable) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 3) (ICON:1 0))
                            label 1
                            stmt (ASG:1 (NAME:1 2 3) (PLUS:1 (NAME:1 2 3) (ICON:1 1)))
                            stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 1))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    elim_dead_assigns(g);
    for (const std::string& s : all_statements(g))
        EXPECT_EQ(s.find("NAME z"), std::string::npos) << s;
    EXPECT_EQ(local("z"), nullptr); // no references left: dropped
    EXPECT_NE(local("y"), nullptr);
}

TEST_F(Liveness, EmbeddedIncrementOfDeadVariableKeepsItsValue) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (PLUSPLUS:1 (NAME:1 1 0) (ICON:1 1)))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    elim_dead_assigns(g);
    EXPECT_EQ(all_statements(g),
              (std::vector<std::string>{"(ASG (NAME y) (NAME x))", "(RETURN (NAME y) (NOP))"}));
}

TEST_F(Liveness, AddressTakenGlobalsAndVolatilesKeepTheirStores) {
    FlowGraph& g = build(R"(stmt (ASG:9 (NAME:9 0 1) (UAND:9 (NAME:1 2 3)))
                            stmt (ASG:1 (NAME:1 2 3) (ICON:1 1))
                            stmt (ASG:1 (NAME:1 0 1) (ICON:1 2))
                            stmt (ASG:7 (NAME:7 2 4) (ICON:7 3))
                            stmt (RETURN:1 (ICON:1 0) (NOP)))");
    EXPECT_EQ(elim_dead_assigns(g), 0u);
    EXPECT_EQ(all_statements(g).size(), 5u);
}

TEST_F(Liveness, DeadStoreOfACallKeepsTheCall) {
    FlowGraph& g =
        build(R"(stmt (ASG:1 (NAME:1 2 2) (CALL:1 1 1 (UAND:5 (NAME:4 0 0)) (NAME:1 1 0)))
                            stmt (RETURN:1 (ICON:1 0) (NOP)))");
    elim_dead_assigns(g);
    EXPECT_EQ(all_statements(g), (std::vector<std::string>{"(CALL (UAND (NAME f)) (NAME x))",
                                                           "(RETURN (ICON 0) (NOP))"}));
}

TEST_F(Liveness, StoreLiveOnOnePathIsKept) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (CBRANCH (NAME:1 1 0) (LABEL 5))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(elim_dead_assigns(g), 0u);
    EXPECT_EQ(verify_flow_graph(g), "");
}

} // namespace
} // namespace vx::flow::testing
