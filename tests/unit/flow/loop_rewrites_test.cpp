// The rewrites of the loop hierarchy's repeat loop: WHILE-loop test
// replication and loop-guard folding, checked on the graph and by running
// the functions before and after.
#include "unit/flow/flow_test_support.h"
#include "unit/flow/run_support.h"

#include "flow/liveness.h"
#include "flow/loop_hierarchy.h"
#include "flow/loop_transforms.h"

namespace vx::flow::testing {
namespace {

using LoopRewrites = FlowTest;

// while (y < n) { z += y; y++; }  with y starting at x; the test on top.
const char* kTopTested = R"(stmt (ASG:1 (NAME:1 2 2) (NAME:1 1 0))
stmt (ASG:1 (NAME:1 2 3) (ICON:1 0))
label 1
stmt (CBRANCH (GE:1 (NAME:1 2 2) (NAME:1 1 1)) (LABEL 2))
stmt (PLUSASG:1 (NAME:1 2 3) (NAME:1 2 2))
stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
stmt (BRANCH (LABEL 1))
label 2
stmt (RETURN:1 (NAME:1 2 3) (NOP)))";

// The same loop from a constant start and to a constant end: its guard
// is decided before the loop.
const char* kConstantBounds = R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 0))
stmt (ASG:1 (NAME:1 2 3) (ICON:1 0))
label 1
stmt (CBRANCH (GE:1 (NAME:1 2 2) (ICON:1 10)) (LABEL 2))
stmt (PLUSASG:1 (NAME:1 2 3) (NAME:1 1 0))
stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
stmt (BRANCH (LABEL 1))
label 2
stmt (RETURN:1 (NAME:1 2 3) (NOP)))";

// The start makes the guard false: the loop is never entered.
const char* kNeverEntered = R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 20))
stmt (ASG:1 (NAME:1 2 3) (ICON:1 0))
label 1
stmt (CBRANCH (LE:1 (ICON:1 10) (NAME:1 2 2)) (LABEL 2))
stmt (PLUSASG:1 (NAME:1 2 3) (NAME:1 1 0))
stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
stmt (BRANCH (LABEL 1))
label 2
stmt (RETURN:1 (NAME:1 2 3) (NOP)))";

int ifs_in(const FlowGraph& g) {
    int count = 0;
    for (const BBLK* b = g.first; b != nullptr; b = b->next)
        count += b->last_statement()->op == ir::IF;
    return count;
}

Loop* only_loop(const LoopHierarchy& h) {
    std::vector<Loop*> loops = h.root->children();
    return loops.size() == 1 ? loops.front() : nullptr;
}

TEST_F(LoopRewrites, TopTestedLoopGetsItsTestReplicatedAtTheLatch) {
    FlowGraph& g = build(kTopTested);
    LoopHierarchy* h = build_loop_hierarchy(g, {.transform_loops = true});
    ASSERT_NE(h, nullptr);
    ASSERT_FALSE(h->abandoned);
    EXPECT_EQ(verify_flow_graph(g), "");
    Loop* loop = only_loop(*h);
    ASSERT_NE(loop, nullptr);
    // The old header is now the guard in front of the loop.
    BBLK* guard = block_read_as(g, 1);
    EXPECT_FALSE(loop->contains(guard));
    const NODE* bottom = loop->latch->last_statement();
    ASSERT_EQ(bottom->op, ir::IF);
    EXPECT_EQ(shape(bottom->left), "(LT (NAME y) (NAME n))"); // inverted: stay while true
    EXPECT_TRUE(loop->contains(bottom->right->left->label()->block));
    EXPECT_FALSE(loop->contains(bottom->right->right->label()->block));
    EXPECT_EQ(ifs_in(g), 2); // the guard keeps its test: n is unknown
}

TEST_F(LoopRewrites, WithoutTransformFlagTheLoopStaysTopTested) {
    FlowGraph& g = build(kTopTested);
    LoopHierarchy* h = build_loop_hierarchy(g, {});
    ASSERT_NE(h, nullptr);
    Loop* loop = only_loop(*h);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->header, block_read_as(g, 1));
    EXPECT_EQ(loop->latch->last_statement()->op, ir::BRANCH);
}

TEST_F(LoopRewrites, GuardWithKnownStartIsFolded) {
    FlowGraph& g = build(kConstantBounds);
    LoopHierarchy* h = build_loop_hierarchy(g, {.transform_loops = true});
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_EQ(ifs_in(g), 1); // only the loop's own test is left
    ASSERT_NE(only_loop(*h), nullptr);
}

TEST_F(LoopRewrites, GuardKnownFalseRemovesTheLoop) {
    FlowGraph& g = build(kNeverEntered);
    LoopHierarchy* h = build_loop_hierarchy(g, {.transform_loops = true});
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_TRUE(h->root->children().empty());
    EXPECT_EQ(ifs_in(g), 0);
}

TEST_F(LoopRewrites, EqualityTestThatStaysInTheLoopIsNotReplicated) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (NAME:1 1 0))
label 1
stmt (CBRANCH (EQ:1 (NAME:1 2 2) (NAME:1 1 1)) (LABEL 3))
stmt (BRANCH (LABEL 2))
label 3
stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
stmt (BRANCH (LABEL 1))
label 2
stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    LoopHierarchy* h = build_loop_hierarchy(g, {.transform_loops = true});
    ASSERT_NE(h, nullptr);
    ASSERT_NE(only_loop(*h), nullptr);
    EXPECT_EQ(only_loop(*h)->header, block_read_as(g, 1));
}

TEST_F(LoopRewrites, TestOfInvariantsOnlyIsNotReplicated) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 0))
label 1
stmt (CBRANCH (GE:1 (NAME:1 1 0) (NAME:1 1 1)) (LABEL 2))
stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
stmt (BRANCH (LABEL 1))
label 2
stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    LoopHierarchy* h = build_loop_hierarchy(g, {.transform_loops = true});
    ASSERT_NE(h, nullptr);
    ASSERT_NE(only_loop(*h), nullptr);
    EXPECT_EQ(only_loop(*h)->header, block_read_as(g, 1));
}

TEST_F(LoopRewrites, InvariantOnTheLeftIsMovedToTheRight) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (NAME:1 1 0))
label 1
stmt (CBRANCH (LE:1 (NAME:1 1 1) (NAME:1 2 2)) (LABEL 2))
stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
stmt (BRANCH (LABEL 1))
label 2
stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    LoopHierarchy* h = build_loop_hierarchy(g, {.transform_loops = true});
    ASSERT_NE(h, nullptr);
    ASSERT_NE(only_loop(*h), nullptr);
    // n <= y leaves the loop: it stays while n > y, that is while y < n.
    EXPECT_EQ(shape(only_loop(*h)->latch->last_statement()->left), "(LT (NAME y) (NAME n))");
}

// Every rewrite keeps the function's results, for loops run zero, one and
// several times.
TEST_F(TransformedPrograms, RewrittenLoopsComputeTheSameResults) {
    std::vector<interp::RunRequest> requests;
    for (int64_t x : {-3, 0, 2, 7})
        for (int64_t n : {0, 1, 5}) {
            interp::RunRequest request = main_request();
            request.entry = "f";
            request.args = {x, n};
            requests.push_back(request);
        }
    for (const char* body : {kTopTested, kConstantBounds, kNeverEntered})
        check_program(function_text(body), requests, body);
}

} // namespace
} // namespace vx::flow::testing
