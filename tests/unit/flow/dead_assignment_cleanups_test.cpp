// The follow-ups of dead-assignment removal: the statement tidying before
// candidate selection, the per-statement liveness marks, the extra
// clean-up after embedded assignments and the delayed assignments.
#include "unit/flow/flow_test_support.h"
#include "unit/flow/run_support.h"

#include "flow/liveness.h"

namespace vx::flow::testing {
namespace {

using DeadAssignmentCleanups = FlowTest;

std::vector<std::string> statements_of(const BBLK* b) {
    std::vector<std::string> shapes;
    for (const StatementEntry& s : b->statements)
        shapes.push_back(shape(s.tree));
    return shapes;
}

TEST_F(DeadAssignmentCleanups, CommaChainsBecomeStatementsBeforeCandidatesAreChosen) {
    FlowGraph& g = build(R"(stmt (COMMAOP:1 (ASG:1 (NAME:1 2 2) (ICON:1 1))
                                            (ASG:1 (NAME:1 2 3) (PLUS:1 (ICON:1 2) (ICON:1 3))))
                            stmt (RETURN:1 (PLUS:1 (NAME:1 2 2) (NAME:1 2 3)) (NOP)))");
    find_live_variables(g, true, false);
    EXPECT_EQ(statements_of(g.first),
              (std::vector<std::string>{"(ASG (NAME y) (ICON 1))", "(ASG (NAME z) (ICON 5))",
                                        "(RETURN (PLUS (NAME y) (NAME z)) (NOP))"}));
}

TEST_F(DeadAssignmentCleanups, StatementsAreMarkedWithWhatIsLiveAfterThem) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (NAME:1 1 0))
                            stmt (ASG:1 (NAME:1 2 3) (PLUS:1 (NAME:1 2 2) (NAME:1 1 1)))
                            stmt (RETURN:1 (NAME:1 2 3) (NOP)))");
    find_live_variables(g, false, false);
    const BBLK& b = *g.first;
    ASSERT_EQ(b.live().after_statement.size(), 3u);
    EXPECT_TRUE(live_after_statement(b, 0, *local("y")));
    EXPECT_TRUE(live_after_statement(b, 0, *local("n")));
    EXPECT_FALSE(live_after_statement(b, 0, *local("x")));
    EXPECT_FALSE(live_after_statement(b, 1, *local("y")));
    EXPECT_TRUE(live_after_statement(b, 1, *local("z")));
    EXPECT_FALSE(live_after_statement(b, 2, *local("z")));
    EXPECT_FALSE(live_after_statement(b, 7, *local("z")));
}

TEST_F(DeadAssignmentCleanups, SelfUpdatePassLeavesNoMarks) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (NAME:1 1 0))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    find_live_variables(g, true, false);
    EXPECT_TRUE(g.first->live().after_statement.empty());
}

const char* kEmbedded =
    R"(stmt (ASG:1 (NAME:1 2 2) (PLUS:1 (ASG:1 (NAME:1 2 3) (PLUS:1 (NAME:1 1 0) (ICON:1 1)))
                                                 (ICON:1 2)))
                           stmt (RETURN:1 (NAME:1 2 2) (NOP)))";

TEST_F(DeadAssignmentCleanups, ExtraCleanupFoldsWhatADeadEmbeddedStoreLeaves) {
    FlowGraph& g = build(kEmbedded);
    elim_dead_assigns(g, false, true);
    EXPECT_TRUE(flow_context().embedded_assignments_seen);
    EXPECT_EQ(shape(g.first->statements.front().tree), "(ASG (NAME y) (PLUS (NAME x) (ICON 3)))");
}

TEST_F(DeadAssignmentCleanups, WithoutExtraCleanupTheValueStaysAsItWas) {
    FlowGraph& g = build(kEmbedded);
    elim_dead_assigns(g, false, false);
    EXPECT_EQ(shape(g.first->statements.front().tree),
              "(ASG (NAME y) (PLUS (PLUS (NAME x) (ICON 1)) (ICON 2)))");
}

// y = x + 1 is read only where n is non-zero.
const char* kDelayIntoOnlyReader = R"(stmt (ASG:1 (NAME:1 2 2) (PLUS:1 (NAME:1 1 0) (ICON:1 1)))
                            stmt (CBRANCH (NAME:1 1 1) (LABEL 5))
                            stmt (RETURN:1 (ICON:1 0) (NOP))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))";

TEST_F(DeadAssignmentCleanups, DelayedAssignmentMovesIntoTheSuccessorThatReadsIt) {
    FlowGraph& g = build(kDelayIntoOnlyReader);
    elim_dead_assigns(g, true, false);
    EXPECT_EQ(g.first->statements.size(), 1u);
    EXPECT_EQ(statements_of(block_read_as(g, 5)),
              (std::vector<std::string>{"(ASG (NAME y) (PLUS (NAME x) (ICON 1)))",
                                        "(RETURN (NAME y) (NOP))"}));
    EXPECT_EQ(verify_flow_graph(g), "");
}

TEST_F(DeadAssignmentCleanups, AssignmentStaysWhenTheBranchReadsIt) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (PLUS:1 (NAME:1 1 0) (ICON:1 1)))
                            stmt (CBRANCH (NAME:1 2 2) (LABEL 5))
                            stmt (RETURN:1 (ICON:1 0) (NOP))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    elim_dead_assigns(g, true, false);
    EXPECT_EQ(g.first->statements.size(), 2u);
}

TEST_F(DeadAssignmentCleanups, AssignmentThatCanFaultIsNotDelayed) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (DIV:1 (ICON:1 7) (NAME:1 1 0)))
                            stmt (CBRANCH (NAME:1 1 1) (LABEL 5))
                            stmt (RETURN:1 (ICON:1 0) (NOP))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    elim_dead_assigns(g, true, false);
    EXPECT_EQ(g.first->statements.size(), 2u);
}

// Label 5 is also entered from the block of label 6: the delayed
// assignment gets a block of its own on the edge from the first block.
const char* kDelayOntoEdge = R"(stmt (ASG:1 (NAME:1 2 2) (PLUS:1 (NAME:1 1 0) (ICON:1 1)))
                            stmt (CBRANCH (NAME:1 1 1) (LABEL 5))
                            stmt (CBRANCH (NAME:1 1 0) (LABEL 6))
                            stmt (RETURN:1 (ICON:1 0) (NOP))
                            label 6
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 7))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))";

TEST_F(DeadAssignmentCleanups, DelayedAssignmentIntoAJoinGetsABlockOnTheEdge) {
    FlowGraph& g = build(kDelayOntoEdge);
    const uint32_t blocks = g.block_count;
    elim_dead_assigns(g, true, false);
    EXPECT_EQ(g.block_count, blocks + 1);
    EXPECT_EQ(g.first->statements.size(), 1u);
    EXPECT_EQ(verify_flow_graph(g), "");
}

// The same functions run before and after, for every way through them.
TEST_F(TransformedPrograms, DelayedAssignmentsKeepEveryPathsResult) {
    std::vector<interp::RunRequest> requests;
    for (int64_t x : {0, 1, 5})
        for (int64_t n : {0, 3}) {
            interp::RunRequest request = main_request();
            request.entry = "f";
            request.args = {x, n};
            requests.push_back(request);
        }
    for (const char* body : {kDelayIntoOnlyReader, kDelayOntoEdge, kEmbedded})
        check_program(function_text(body), requests, body);
}

} // namespace
} // namespace vx::flow::testing
