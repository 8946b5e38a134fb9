// Tail-recursion removal and the flow-graph clean-up.
#include "unit/flow/flow_test_support.h"

namespace vx::flow::testing {
namespace {

using Cleanup = FlowTest;

const char* kTailCall = R"(stmt (CBRANCH (LE:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 1))
stmt (RETURN:1 (CALL:1 1 1 (UAND:5 (NAME:4 0 0))
                 (COMMA (MINUS:1 (NAME:1 1 0) (ICON:1 1)) (NAME:1 1 1))) (NOP))
label 1
stmt (RETURN:1 (NAME:1 1 1) (NOP)))";

TEST_F(Cleanup, TailSelfCallBecomesAssignmentsAndJump) {
    FlowGraph& g = build(kTailCall, BuildOptions{.remove_tail_recursion = true});
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_TRUE(g.first->preds.empty());
    int calls = 0, asms = 0;
    for (BBLK* b = g.first; b != nullptr; b = b->next)
        for (const StatementEntry& s : b->statements) {
            calls += shape(s.tree).find("CALL") != std::string::npos;
            asms += s.tree->op == ir::ASM;
        }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(asms, 1);
    BBLK* body = g.first->succs.front().block;
    EXPECT_EQ(body->preds.size(), 2u); // the new entry and the former call
}

TEST_F(Cleanup, TailCallKeptWithoutTheOption) {
    FlowGraph& g = build(kTailCall);
    bool call = false;
    for (BBLK* b = g.first; b != nullptr; b = b->next)
        for (const StatementEntry& s : b->statements)
            call = call || shape(s.tree).find("CALL") != std::string::npos;
    EXPECT_TRUE(call);
}

TEST_F(Cleanup, TailCallWhoseArgumentsReadChangedParametersIsKept) {
    FlowGraph& g = build(R"(stmt (CBRANCH (LE:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 1))
stmt (RETURN:1 (CALL:1 1 1 (UAND:5 (NAME:4 0 0))
                 (COMMA (NAME:1 1 1) (NAME:1 1 0))) (NOP))
label 1
stmt (RETURN:1 (NAME:1 1 1) (NOP)))",
                         BuildOptions{.remove_tail_recursion = true});
    EXPECT_EQ(g.first->preds.size(), 0u);
    EXPECT_EQ(picture().find("ASM"), std::string::npos);
}

TEST_F(Cleanup, JumpsToJumpsAreRetargetedAndBlocksMerged) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 1))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (BRANCH (LABEL 2))
                            label 1
                            stmt (BRANCH (LABEL 2))
                            label 2
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(g.block_count, 4u);
    EXPECT_TRUE(simpcfg(g));
    EXPECT_EQ(g.block_count, 3u);
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_FALSE(simpcfg(g));
}

TEST_F(Cleanup, StraightLineBlocksMergeIntoOne) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            label 1
                            stmt (ASG:1 (NAME:1 2 3) (ICON:1 2))
                            label 2
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(g.block_count, 3u);
    EXPECT_TRUE(simpcfg(g));
    EXPECT_EQ(picture(), "1:[ASG ASG RETURN]->");
    EXPECT_EQ(verify_flow_graph(g), "");
}

TEST_F(Cleanup, IfWithEqualTargetsBecomesJump) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 1))
                            label 1
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_TRUE(simpcfg(g));
    EXPECT_EQ(picture(), "1:[RETURN]->");
}

} // namespace
} // namespace vx::flow::testing
