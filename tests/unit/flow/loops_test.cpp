// The loop hierarchy: nesting, numbering, preheaders reused and made,
// abandoned hierarchies, depths in the block dump.
#include "unit/flow/flow_test_support.h"

#include "flow/loop_hierarchy.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace vx::flow::testing {
namespace {

using Loops = FlowTest;

const char* kNested = R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 0))
label 1
stmt (ASG:1 (NAME:1 2 3) (ICON:1 0))
label 2
stmt (PLUSASG:1 (NAME:1 2 3) (ICON:1 1))
stmt (CBRANCH (LT:1 (NAME:1 2 3) (NAME:1 1 0)) (LABEL 2))
stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 1))
stmt (RETURN:1 (NAME:1 2 2) (NOP)))";

BBLK* block_labelled(FlowGraph& g, uint32_t label) {
    return block_read_as(g, label);
}

TEST_F(Loops, NoBackEdges) {
    FlowGraph& g =
        build("stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))\nstmt (RETURN:1 (NAME:1 2 2) (NOP))");
    EXPECT_EQ(build_loop_hierarchy(g, {.loops_only = true}), nullptr);
    LoopHierarchy* h = build_loop_hierarchy(g, {});
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->root->number, 1);
    EXPECT_EQ(h->root->blocks.size(), g.block_count);
    EXPECT_EQ(h->root->depth, 0);
}

TEST_F(Loops, NestedLoopsInnerFirstAndPreheadersReused) {
    FlowGraph& g = build(kNested);
    const uint32_t blocks = g.block_count;
    LoopHierarchy* h = build_loop_hierarchy(g, {});
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(h->abandoned);
    BBLK* inner_header = block_labelled(g, 2);
    BBLK* outer_header = block_labelled(g, 1);
    Loop* inner = inner_header->loop;
    Loop* outer = outer_header->loop;
    EXPECT_EQ(inner->number, 1);
    EXPECT_EQ(outer->number, 2);
    EXPECT_EQ(h->root->number, 3);
    EXPECT_EQ(inner->parent, outer);
    EXPECT_EQ(outer->parent, h->root);
    EXPECT_NE(std::find(outer->blocks.begin(), outer->blocks.end(), inner_header),
              outer->blocks.end());
    EXPECT_EQ(inner->depth, 2);
    EXPECT_EQ(outer->depth, 1);
    EXPECT_EQ(inner_header->loop_depth, 2);
    EXPECT_EQ(g.block_count, blocks); // both preheaders existed already
    EXPECT_EQ(inner->preheader, outer_header);
    EXPECT_EQ(outer->preheader, g.first);
    EXPECT_NE(flow_graph_text(g).find("\tLOOP DEPTH = 2\n"), std::string::npos);
    EXPECT_EQ(verify_flow_graph(g), "");
}

TEST_F(Loops, PreheaderMadeWhenTheEntryBranches) {
    FlowGraph& g = build(R"(stmt (CBRANCH (EQ:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 9))
                            label 1
                            stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 1))
                            label 9
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const uint32_t blocks = g.block_count;
    LoopHierarchy* h = build_loop_hierarchy(g, {});
    ASSERT_NE(h, nullptr);
    Loop* loop = block_labelled(g, 1)->loop;
    ASSERT_NE(loop->preheader, nullptr);
    EXPECT_EQ(g.block_count, blocks + 1);
    EXPECT_EQ(loop->preheader->succs.size(), 1u);
    EXPECT_EQ(loop->preheader->succs.front().block, loop->header);
    EXPECT_EQ(loop->preheader->loop, h->root);
    EXPECT_EQ(loop->header->preds.size(), 2u);
    EXPECT_EQ(verify_flow_graph(g), "");
    // The numbering after the new block gives the UONs again in chain order
    // and records the new layout.
    uint32_t uon = 0;
    for (BBLK* b = g.chain; b != nullptr; b = b->next_in_chain)
        EXPECT_EQ(b->uon, ++uon);
    std::vector<BBLK*> linked;
    for (BBLK* b = g.first; b != nullptr; b = b->next)
        linked.push_back(b);
    ASSERT_NE(g.cached_layout_order(), nullptr);
    EXPECT_EQ(*g.cached_layout_order(), linked);
}

TEST_F(Loops, HeaderWithTwoLatchesAbandonsTheHierarchy) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 0))
                            label 1
                            stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 1))
                            stmt (PLUSASG:1 (NAME:1 2 3) (ICON:1 1))
                            stmt (CBRANCH (LT:1 (NAME:1 2 3) (NAME:1 1 0)) (LABEL 1))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    LoopHierarchy* h = build_loop_hierarchy(g, {});
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(h->abandoned);
    EXPECT_EQ(h->root->number, 1);
    for (BBLK* b = g.first; b != nullptr; b = b->next)
        EXPECT_EQ(b->loop, h->root);
}

// Preheaders are put into the numbering without a new depth-first walk
// where that gives the same result: the same function with its numbering
// marked stale, so that it is made afresh, must end up numbered alike.
TEST_F(Loops, NumberingAfterPreheadersIsAFreshNumbering) {
    int spliced = 0;
    for (uint32_t seed = 1; seed <= 1000; ++seed) {
        const std::string body = random_jumps(seed, 4 + static_cast<int>(seed % 20));
        std::string states[2];
        for (int fresh = 0; fresh < 2; ++fresh) {
            TearDown(); // a fresh world for each function
            SetUp();
            FlowGraph& g = build(body);
            const std::size_t before = g.blocks.size();
            if (fresh == 1)
                g.note_change();
            else if (!g.numbering_is_current())
                break;
            if (build_loop_hierarchy(g, {}) == nullptr || g.blocks.size() == before)
                break;
            spliced += fresh == 0 ? 1 : 0;
            ASSERT_EQ(verify_flow_graph(g), "") << "seed " << seed;
            ASSERT_EQ(label_numbering_problem(g), "") << "seed " << seed;
            states[fresh] = numbering_state(g);
        }
        ASSERT_EQ(states[0], states[1]) << "seed " << seed;
    }
    EXPECT_GT(spliced, 50);
}
} // namespace
} // namespace vx::flow::testing
