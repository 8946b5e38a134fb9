// The two block lists (layout and chain) and the serial table stay
// consistent when blocks are made and destroyed at either end or in the
// middle, and when the builder has made blocks in front of the chain.
#include "unit/flow/flow_test_support.h"

namespace vx::flow::testing {
namespace {

using BlockLists = FlowTest;

// Four blocks in a row, each jumping to the next, then the exit.
const char* kStraight = R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                           stmt (CBRANCH (NAME:1 1 0) (LABEL 2))
                           label 1
                           stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
                           label 2
                           stmt (ASG:1 (NAME:1 2 3) (ICON:1 3))
                           label 3
                           stmt (RETURN:1 (NAME:1 2 2) (NOP)))";

std::vector<BBLK*> forward_layout(const FlowGraph& g) {
    std::vector<BBLK*> order;
    for (BBLK* b = g.first; b != nullptr; b = b->next)
        order.push_back(b);
    return order;
}

// The prev links mirror the next links, the first block's prev is the last
// one, the chain is doubly linked, and chain_blocks() lists it in order.
void expect_lists_consistent(FlowGraph& g) {
    const std::vector<BBLK*> layout = forward_layout(g);
    for (std::size_t i = 1; i < layout.size(); ++i) {
        EXPECT_EQ(layout[i]->prev, layout[i - 1]);
    }
    if (!layout.empty()) {
        EXPECT_EQ(g.first->prev, layout.back());
    }
    EXPECT_EQ(g.layout(), layout); // the recorded order follows every change
    std::vector<BBLK*> chain;
    for (BBLK* b = g.chain; b != nullptr; b = b->next_in_chain) {
        if (!chain.empty()) {
            EXPECT_EQ(b->prev_in_chain, chain.back());
        }
        chain.push_back(b);
    }
    std::vector<BBLK*> listed;
    for (BBLK* b : g.chain_blocks())
        if (b != nullptr)
            listed.push_back(b);
    EXPECT_EQ(listed, chain);
    for (std::size_t i = 0; i < g.blocks.size(); ++i) {
        if (g.blocks[i] != nullptr) {
            EXPECT_EQ(g.blocks[i]->serial, i);
        }
    }
}

TEST_F(BlockLists, BuilderBlocksAreListedInChainOrder) {
    FlowGraph& g = build(kStraight);
    expect_lists_consistent(g);
    EXPECT_EQ(verify_flow_graph(g), "");
}

TEST_F(BlockLists, DestroyingTheFirstLastAndMiddleBlocksKeepsBothLists) {
    FlowGraph& g = build(kStraight);
    std::vector<BBLK*> layout = forward_layout(g);
    ASSERT_GE(layout.size(), 4u);
    g.destroy_block(layout[1]);
    expect_lists_consistent(g);
    g.destroy_block(layout.back());
    expect_lists_consistent(g);
    g.destroy_block(layout.front());
    expect_lists_consistent(g);
    EXPECT_EQ(forward_layout(g).size(), layout.size() - 3);
}

TEST_F(BlockLists, BlocksMadeAtEitherEndJoinBothLists) {
    FlowGraph& g = build(kStraight);
    BBLK* at_end = g.make_block({StatementEntry{g.branch_to(g.first), {}}}, nullptr);
    BBLK* in_front = g.make_block({StatementEntry{g.branch_to(g.first), {}}}, g.chain);
    expect_lists_consistent(g);
    EXPECT_EQ(g.chain, in_front);
    EXPECT_EQ(g.first, in_front);
    EXPECT_EQ(g.first->prev, at_end);
    g.destroy_block(in_front);
    g.destroy_block(at_end);
    expect_lists_consistent(g);
}

// Blocks that the numbering leaves out of the layout are not on it any
// more, and destroying them leaves the layout alone.
TEST_F(BlockLists, UnreachedBlocksLeaveTheLayoutWhenNumbered) {
    FlowGraph& g = build(R"(stmt (RETURN:1 (ICON:1 1) (NOP))
                            label 5
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
                            label 6
                            stmt (BRANCH (LABEL 5)))");
    expect_lists_consistent(g);
    for (BBLK* b = g.chain; b != nullptr; b = b->next_in_chain) {
        EXPECT_TRUE(b->in_layout);
    }
    EXPECT_EQ(verify_flow_graph(g), "");
}

} // namespace
} // namespace vx::flow::testing
