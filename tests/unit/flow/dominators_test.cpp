// Dominators and postdominators: single blocks, several exits, endless
// loops, blocks without predecessors, and rebuilding after changes.
#include "unit/flow/flow_test_support.h"

#include "flow/dominators.h"

namespace vx::flow::testing {
namespace {

using Dominators = FlowTest;

TEST_F(Dominators, SingleBlockFunction) {
    FlowGraph& g = build("stmt (RETURN:1 (NAME:1 1 0) (NOP))");
    ASSERT_EQ(g.block_count, 1u);
    Dominator& dom = compute_dominators(g);
    EXPECT_EQ(dom.idom_number(1), 0);
    EXPECT_EQ(dom.ipdom_number(1), 2);
    EXPECT_TRUE(dom.dominates(1, 1));
    EXPECT_EQ(dom.idom(g.first), nullptr);
    EXPECT_EQ(dom.ipdom(g.first), nullptr);
    EXPECT_FALSE(dom.dominates(1, 5));
    EXPECT_TRUE(dom.dominates(5, 5));
}

TEST_F(Dominators, DiamondWithSeveralExits) {
    FlowGraph& g = build(R"(stmt (CBRANCH (GT:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 5))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP))
                            label 5
                            stmt (CBRANCH (GT:1 (NAME:1 1 1) (ICON:1 0)) (LABEL 6))
                            stmt (RETURN:1 (ICON:1 2) (NOP))
                            label 6
                            stmt (RETURN:1 (ICON:1 3) (NOP)))");
    Dominator& dom = compute_dominators(g);
    const uint32_t n = g.block_count;
    ASSERT_EQ(n, 5u) << picture();
    for (uint32_t b = 2; b <= n; ++b)
        EXPECT_TRUE(dom.dominates(1, b)) << b;
    for (BBLK* b = g.first; b != nullptr; b = b->next) {
        if (b->succs.empty()) {
            EXPECT_EQ(dom.ipdom_number(b->dfn), static_cast<int32_t>(n + 1));
            EXPECT_EQ(dom.ipdom(b), nullptr);
        }
    }
    // No block but the virtual exit postdominates the entry.
    EXPECT_EQ(dom.ipdom_number(1), static_cast<int32_t>(n + 1));
    EXPECT_EQ(dom.postdominator_preorder().size(), n);
    EXPECT_EQ(dom.dominator_preorder().size(), n);
    EXPECT_EQ(dom.dominator_preorder().front(), g.first);
}

TEST_F(Dominators, EndlessLoopGetsExitsForPostdominators) {
    FlowGraph& g = build(R"(label 1
                            stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (BRANCH (LABEL 1)))");
    ASSERT_EQ(g.block_count, 2u);
    Dominator& dom = compute_dominators(g);
    EXPECT_EQ(dom.idom_number(2), 1);
    EXPECT_EQ(dom.ipdom_number(2), 3);
    EXPECT_EQ(dom.ipdom(g.first), g.first->next);
    EXPECT_TRUE(dom.postdominates(2, 1));
}

TEST_F(Dominators, BlockWithoutPredecessorsIsRepaired) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 5))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    // A second entry, as a label reached only through a computed jump.
    BBLK* last = g.first->prev;
    BBLK* extra = g.make_block({StatementEntry{g.branch_to(last), {}}}, nullptr);
    extra->dfn = ++g.block_count;
    extra->prev = last;
    g.first->prev = extra;
    add_edge(extra->succs, last);
    add_edge(last->preds, extra);
    Dominator& dom = compute_dominators(g);
    EXPECT_EQ(dom.idom_number(extra->dfn), 1); // repaired
    // Reached from both entries, the join has no single dominator below the
    // virtual root; every block still has a dominator after the repair.
    for (uint32_t dfn = 1; dfn <= g.block_count; ++dfn)
        EXPECT_GE(dom.idom_number(dfn), dfn == 1 ? 0 : 1) << dfn;
}

TEST_F(Dominators, QueriesRebuildAfterTheGraphChanges) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 5))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    Dominator& dom = compute_dominators(g);
    BBLK* join = g.first->prev;
    EXPECT_EQ(dom.idom(join), g.first);
    // Make the conditional a jump to the middle block: the join then has it
    // as its dominator.
    BBLK* middle = g.first->next;
    g.first->statements.back().tree = g.branch_to(middle);
    renumber_flow_graph(g);
    EXPECT_EQ(dom.idom(join), middle);
    EXPECT_TRUE(dom.dominates(middle, join));
}

} // namespace
} // namespace vx::flow::testing
