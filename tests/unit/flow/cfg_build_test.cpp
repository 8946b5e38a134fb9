// Block formation, edges, numbering, unreachable blocks, the dump, the
// verifier and flattening back into statements.
#include "unit/flow/flow_test_support.h"

#include "flow/flow_graph.h"
#include "ir/tree_printer.h"

namespace vx::flow::testing {
namespace {

using Cfg = FlowTest;

TEST_F(Cfg, EmptyFunctionGetsEntryAndExit) {
    FlowGraph& g = build("");
    EXPECT_EQ(g.block_count, 2u);
    EXPECT_EQ(picture(), "1:[BRANCH]->2 2:[URETURN]->");
    EXPECT_EQ(verify_flow_graph(g), "");
}

TEST_F(Cfg, StatementsAfterBranchUpToLabelDisappear) {
    build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             stmt (BRANCH (LABEL 3))
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
             label 3
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(picture(), "1:[ASG BRANCH]->2 2:[RETURN]->");
    EXPECT_EQ(verify_flow_graph(graph()), "");
}

TEST_F(Cfg, FallThroughIntoLabelGetsExplicitBranch) {
    build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             label 3
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(picture(), "1:[ASG BRANCH]->2 2:[ASG RETURN]->");
    // Label 3 starts the second block and takes its DFN.
    EXPECT_EQ(graph().first->next->labels.front()->index, 2u);
    EXPECT_EQ(graph().first->next->labels.front()->read_number, 3u);
}

TEST_F(Cfg, ConditionalBranchBecomesTwoTargetIf) {
    build(R"(stmt (CBRANCH (GT:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 5))
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             label 5
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const NODE* decision = graph().first->last_statement();
    ASSERT_EQ(decision->op, ir::IF);
    EXPECT_EQ(decision->right->op, ir::COLON);
    EXPECT_EQ(decision->right->left->label()->block, block_read_as(graph(), 5));
    EXPECT_EQ(decision->right->left->label()->index, decision->right->left->label()->block->dfn);
    EXPECT_EQ(verify_flow_graph(graph()), "");
    EXPECT_EQ(graph().first->succs.size(), 2u);
}

TEST_F(Cfg, SwitchWithoutDefaultReachesStatementAfterIt) {
    build(
        R"(stmt (SWITCH 1 (NAME:1 1 0) (COMMA (CASE (ICON:1 0) (LABEL 1)) (CASE (ICON:1 1) (LABEL 2))))
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 9))
             label 1
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 10))
             label 2
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const NODE* sw = graph().first->last_statement();
    ASSERT_EQ(sw->op, ir::SWITCH);
    // The default goes at the end of the right-leaning case chain.  Labels
    // show their blocks' DFNs: the statement after the switch is laid out
    // second, then the blocks of labels 1 and 2.
    EXPECT_EQ(shape(sw->right), "(COMMA (CASE (ICON 0) (LABEL 3)) "
                                "(COMMA (CASE (ICON 1) (LABEL 4)) (DEFAULT (LABEL 2))))");
    EXPECT_EQ(block_read_as(graph(), 1)->dfn, 3u);
    EXPECT_EQ(block_read_as(graph(), 2)->dfn, 4u);
    EXPECT_EQ(graph().first->succs.size(), 3u);
    EXPECT_EQ(verify_flow_graph(graph()), "");
}

TEST_F(Cfg, SwitchFollowedByBranchTakesItsTargetAsDefault) {
    build(R"(stmt (SWITCH 1 (NAME:1 1 0) (CASE (ICON:1 0) (LABEL 1)))
             stmt (BRANCH (LABEL 2))
             label 1
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 10))
             label 2
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const NODE* sw = graph().first->last_statement();
    EXPECT_EQ(sw->right->right->left->label()->block, block_read_as(graph(), 2));
    EXPECT_EQ(shape(sw->right->right), "(DEFAULT (LABEL 3))");
    EXPECT_EQ(verify_flow_graph(graph()), "");
}

TEST_F(Cfg, DepthFirstNumbersFollowLayoutFromEntry) {
    build(R"(stmt (CBRANCH (GT:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 5))
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             stmt (BRANCH (LABEL 6))
             label 5
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
             label 6
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    uint32_t expected = 1;
    for (const BBLK* b = graph().first; b != nullptr; b = b->next)
        EXPECT_EQ(b->dfn, expected++);
    EXPECT_EQ(graph().block_count, 4u); // the exit block is unreachable
    EXPECT_EQ(graph().first->prev->next, nullptr);
    EXPECT_EQ(verify_flow_graph(graph()), "");
}

TEST_F(Cfg, UnreachableBlockIsReportedAndRemoved) {
    FILE* log = std::tmpfile();
    build(R"(stmt (BRANCH (LABEL 2))
             label 1
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             label 2
             stmt (RETURN:1 (NAME:1 1 0) (NOP)))");
    std::fclose(log);
    EXPECT_EQ(picture(), "1:[BRANCH]->2 2:[RETURN]->");
    for (BBLK* b = graph().chain; b != nullptr; b = b->next_in_chain)
        EXPECT_NE(b->dfn, 0u);
    EXPECT_EQ(verify_flow_graph(graph()), "");
}

// Two unreachable blocks that jump to each other: destroying the first must
// not leave the second with an edge to it (found under the address
// sanitizer after a folded loop guard cut a loop off).
TEST_F(Cfg, UnreachableCycleIsRemovedWhole) {
    build(R"(stmt (RETURN:1 (NAME:1 1 0) (NOP))
             label 1
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             stmt (BRANCH (LABEL 2))
             label 2
             stmt (PLUSPLUS:1 (NAME:1 2 2) (ICON:1 1))
             stmt (BRANCH (LABEL 1)))");
    EXPECT_EQ(picture(), "1:[RETURN]->");
    EXPECT_EQ(verify_flow_graph(graph()), "");
    renumber_flow_graph(graph());
    EXPECT_EQ(graph().block_count, 1u);
}

// Everything the build leaves: numbering, edges, labels, the dump and the
// transfers with their label numbers.
std::string built_state(const FlowGraph& g) {
    std::string state = numbering_state(g) + "\n" + flow_graph_text(g);
    for (const BBLK* b : g.layout_order())
        for (const StatementEntry& s : b->statements)
            state += ir::tree_text(s.tree) + "\n";
    return state;
}

// A build numbers the blocks from the successor lists the edge walk
// gathered, ordering them in those arrays; number_blocks alone reads and
// orders the lists in the records.  Both must give the same graph.
TEST_F(Cfg, NumberingFromTheEdgeWalksListsIsNumberingFromTheRecords) {
    for (uint32_t seed = 1; seed <= 600; ++seed) {
        const std::string body = random_jumps(seed, 2 + static_cast<int>(seed % 30));
        std::string states[2];
        for (int in_steps = 0; in_steps < 2; ++in_steps) {
            TearDown();
            SetUp();
            FlowGraph& g = in_steps == 1 ? build_in_steps(body) : build(body);
            ASSERT_EQ(verify_flow_graph(g), "") << "seed " << seed;
            states[in_steps] = built_state(g);
        }
        ASSERT_EQ(states[0], states[1]) << "seed " << seed;
    }
}

// What the numbering promises whatever order it visits the blocks in: a
// block's first label takes its DFN, the other labels of the reached
// blocks follow the block count in layout order (and within a block in
// the order of its list), every reference carries its label's number,
// and a block's predecessors come latest in the layout first.
TEST_F(Cfg, ExtraLabelsFollowTheBlocksInLayoutOrder) {
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        std::string body = random_jumps(seed, 3 + static_cast<int>(seed % 20));
        // Give some labels one or two more names, jumped to as well.
        std::string extra;
        for (int l = 1; l <= 3 + static_cast<int>(seed % 20); ++l) {
            const std::string line = "label " + std::to_string(l) + "\n";
            const auto at = body.find(line);
            if (at == std::string::npos || (l + seed) % 3 == 0)
                continue;
            std::string names = line + "label " + std::to_string(500 + l) + "\n";
            if ((l + seed) % 4 == 0)
                names += "label " + std::to_string(700 + l) + "\n";
            body.replace(at, line.size(), names);
            extra += "stmt (CBRANCH (EQ:1 (NAME:1 2 2) (ICON:1 " + std::to_string(l) +
                     ")) (LABEL " + std::to_string(500 + l) + "))\n";
        }
        TearDown();
        SetUp();
        FlowGraph& g = build(extra + body);
        ASSERT_EQ(verify_flow_graph(g), "") << "seed " << seed;
        uint32_t next_other = g.block_count + 1;
        bool several = false;
        for (BBLK* b = g.first; b != nullptr; b = b->next) {
            for (std::size_t i = 0; i < b->labels.size(); ++i)
                ASSERT_EQ(b->labels[i]->index, i == 0 ? b->dfn : next_other++) << "seed " << seed;
            several = several || b->labels.size() > 1;
            for (std::size_t i = 1; i < b->preds.size(); ++i)
                ASSERT_GT(b->preds[i - 1].block->dfn, b->preds[i].block->dfn) << "seed " << seed;
            for_each_target_ref(b->last_statement(), [&](NODE* ref) {
                ASSERT_EQ(ref->value.low64(), ref->label()->index) << "seed " << seed;
            });
        }
        EXPECT_TRUE(several) << "seed " << seed;
    }
}

// The same for a label defined twice (the earlier block takes it) and
// label numbers spread far apart.
TEST_F(Cfg, LabelsDefinedTwiceOrFarApartNumberAlike) {
    const char* bodies[] = {
        R"(stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 2))
           label 2
           stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
           stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 2))
           label 2
           stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
           stmt (RETURN:1 (NAME:1 1 0) (NOP)))",
        R"(label 7
           stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
           stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 900000))
           stmt (CBRANCH (GT:1 (NAME:1 2 2) (ICON:1 9)) (LABEL 7))
           label 900000
           stmt (RETURN:1 (NAME:1 1 0) (NOP)))",
    };
    for (const char* body : bodies) {
        const std::string fresh = built_state(build(body));
        TearDown();
        SetUp();
        EXPECT_EQ(fresh, built_state(build_in_steps(body)));
        TearDown();
        SetUp();
    }
}

TEST_F(Cfg, UreturnInsideTheFunctionJumpsToTheExitBlock) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 5))
                            stmt (URETURN (NOP))
                            label 5
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 2)))");
    EXPECT_EQ(verify_flow_graph(g), "");
    int ureturns = 0;
    for (const BBLK* b = g.first; b != nullptr; b = b->next)
        for (const StatementEntry& s : b->statements)
            ureturns += s.tree->op == ir::URETURN;
    EXPECT_EQ(ureturns, 1);
    EXPECT_EQ(g.exit->statements.size(), 1u);
}

TEST_F(Cfg, DumpShowsNumbersLabelsAndNeighbours) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            label 3
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(flow_graph_text(g), "\n++++(WRBBLOCKS): START NEXT BB, UON=1, DFN=1\n"
                                  "\tPREDECESSORS = ( )\n"
                                  "\tSUCCESSORS =   ( 2 )\n"
                                  "\n++++(WRBBLOCKS): START NEXT BB, UON=2, DFN=2\n"
                                  "\tLABEL, INDEX=2, REFCOUNT=1, NAME=<NONE>\n"
                                  "\tPREDECESSORS = ( 1 )\n"
                                  "\tSUCCESSORS =   ( )\n");
}

TEST_F(Cfg, VerifierNamesTheFirstViolation) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 5))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            label 5
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    ASSERT_EQ(verify_flow_graph(g), "");
    BBLK* entry = g.first;
    BBLK* other = entry->succs.front().block;
    remove_edge(other->preds, entry);
    EXPECT_NE(verify_flow_graph(g).find("not a predecessor of its successor"), std::string::npos);
    add_edge(other->preds, entry);
    remove_edge(entry->succs, other);
    EXPECT_NE(verify_flow_graph(g).find("names"), std::string::npos);
    add_edge(entry->succs, other);
    ++g.block_count;
    EXPECT_NE(verify_flow_graph(g).find("block count"), std::string::npos);
    --g.block_count;
    g.first->statements.back().tree->right->left->set_label(nullptr);
    EXPECT_NE(verify_flow_graph(g).find("unbound label"), std::string::npos);
}

TEST_F(Cfg, FlattenDropsJumpsToTheNextBlockAndLowersIf) {
    build(R"(stmt (CBRANCH (GT:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 5))
             stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             label 5
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const std::vector<std::string> ops = flattened_ops();
    EXPECT_EQ(ops, (std::vector<std::string>{"(CBRANCH (GT (NAME x) (ICON 0)) (LABEL 3))",
                                             "(ASG (NAME y) (ICON 1))", "(LABELDEF 3)",
                                             "(RETURN (NAME y) (NOP))"}));
}

TEST_F(Cfg, RoundTripThroughStatementsKeepsTheGraph) {
    FlowGraph& g = build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 0))
                            label 1
                            stmt (CBRANCH (GE:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 2))
                            stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (BRANCH (LABEL 1))
                            label 2
                            stmt (SWITCH 1 (NAME:1 2 2) (CASE (ICON:1 3) (LABEL 4)))
                            stmt (RETURN:1 (NAME:1 2 2) (NOP))
                            label 4
                            stmt (RETURN:1 (ICON:1 7) (NOP)))");
    const std::string before = picture();
    flatten_flow_graph(g);
    icode::FunctionBody body = g.body;
    ir::FUNINFO& info = g.function;
    FlowGraph& again = build_flow_graph(info, body);
    EXPECT_EQ(verify_flow_graph(again), "");
    EXPECT_EQ(picture(), before);
}

} // namespace
} // namespace vx::flow::testing
