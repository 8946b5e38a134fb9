// Labels are renumbered with the blocks: a block's first label takes the
// block's DFN, other labels take numbers above the block count, and every
// node that names a label shows the new number.
#include "unit/flow/flow_test_support.h"

#include "flow/loop_hierarchy.h"

#include <deque>
#include <set>

namespace vx::flow::testing {
namespace {

using LabelNumbering = FlowTest;

// File labels 1 and 2 are laid out fourth and second, and the block of
// label 2 carries a second label (7), so read numbers, DFNs and the extra
// numbers would collide without renumbering every label.
const char* kCrossedLabels = R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 1))
                                stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                                label 2
                                label 7
                                stmt (ASG:1 (NAME:1 2 3) (ICON:1 2))
                                stmt (CBRANCH (NAME:1 1 1) (LABEL 7))
                                stmt (RETURN:1 (NAME:1 2 2) (NOP))
                                label 1
                                stmt (BRANCH (LABEL 2)))";

// The LABELDEF numbers of the flattened statements, and the numbers the
// flattened jumps name.
struct FlattenedLabels {
    std::multiset<std::string> defined;
    std::set<std::string> named;
};

FlattenedLabels flattened_labels(const std::vector<std::string>& ops) {
    FlattenedLabels labels;
    for (const std::string& op : ops) {
        if (op.starts_with("(LABELDEF "))
            labels.defined.insert(op.substr(10, op.size() - 11));
        for (std::size_t at = op.find("(LABEL "); at != std::string::npos;
             at = op.find("(LABEL ", at + 1))
            labels.named.insert(op.substr(at + 7, op.find(')', at) - at - 7));
    }
    return labels;
}

TEST_F(LabelNumbering, FirstLabelsTakeTheDfnAfterBuilding) {
    FlowGraph& g = build(kCrossedLabels);
    EXPECT_EQ(label_numbering_problem(g), "");
    EXPECT_EQ(verify_flow_graph(g), "");
    BBLK* joined = block_read_as(g, 2);
    ASSERT_NE(joined, nullptr);
    ASSERT_EQ(joined->labels.size(), 2u);
    EXPECT_EQ(joined->labels[0]->index, joined->dfn);
    EXPECT_GT(joined->labels[1]->index, g.block_count);
    EXPECT_EQ(block_read_as(g, 1)->first_label()->index, block_read_as(g, 1)->dfn);
}

TEST_F(LabelNumbering, DumpShowsTheDfnOfEachFirstLabel) {
    FlowGraph& g = build(kCrossedLabels);
    const std::string dump = flow_graph_text(g);
    for (const BBLK* b = g.first; b != nullptr; b = b->next) {
        if (b->first_label() == nullptr)
            continue;
        const std::string block_line = "DFN=" + std::to_string(b->dfn) + "\n";
        const std::string label_line = "\tLABEL, INDEX=" + std::to_string(b->dfn) + ",";
        const std::size_t at = dump.find(block_line);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(dump.compare(at + block_line.size(), label_line.size(), label_line), 0) << dump;
    }
}

TEST_F(LabelNumbering, NewLabelsNeverClashWithRenumberedOnes) {
    FlowGraph& g = build(kCrossedLabels);
    std::set<uint32_t> numbers;
    for (const BBLK* b = g.first; b != nullptr; b = b->next)
        for (const LABEL_REC* label : b->labels)
            numbers.insert(label->index);
    const LABEL_REC* fresh = g.new_label();
    EXPECT_FALSE(numbers.contains(fresh->index));
    EXPECT_TRUE(fresh->made_by_graph);
    EXPECT_EQ(g.find_label(fresh->index), fresh);
}

TEST_F(LabelNumbering, SimpcfgLeavesFirstLabelsEqualToDfns) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 1))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (BRANCH (LABEL 2))
                            label 1
                            stmt (BRANCH (LABEL 2))
                            label 2
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    ASSERT_TRUE(simpcfg(g));
    EXPECT_EQ(label_numbering_problem(g), "");
    EXPECT_EQ(verify_flow_graph(g), "");
    // Label 2's block moved up from DFN 4 to DFN 3.
    EXPECT_EQ(block_read_as(g, 2)->first_label()->index, 3u);
}

TEST_F(LabelNumbering, RenumberingAfterANewBlockFollowsTheNewDfns) {
    FlowGraph& g = build(kCrossedLabels);
    // A block on the edge into label 1's block, as a pass splitting an edge makes.
    BBLK* target = block_read_as(g, 1);
    BBLK* split = g.make_block({StatementEntry{g.branch_to(target), {}}}, target);
    retarget_label_refs(g.first->last_statement(), target, g.label_of(split));
    renumber_flow_graph(g);
    EXPECT_EQ(label_numbering_problem(g), "");
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_EQ(split->first_label()->index, split->dfn);
}

TEST_F(LabelNumbering, PreheadersKeepTheNumbering) {
    FlowGraph& loops = build(R"(stmt (CBRANCH (EQ:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 9))
                                label 1
                                stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 1))
                                stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL 1))
                                label 9
                                stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const uint32_t blocks = loops.block_count;
    ASSERT_NE(build_loop_hierarchy(loops, {}), nullptr);
    ASSERT_EQ(loops.block_count, blocks + 1);
    EXPECT_EQ(label_numbering_problem(loops), "");
    EXPECT_EQ(verify_flow_graph(loops), "");
}

TEST_F(LabelNumbering, TailRecursionKeepsTheNumbering) {
    FlowGraph& tail = build(R"(stmt (CBRANCH (LE:1 (NAME:1 1 0) (ICON:1 0)) (LABEL 1))
stmt (RETURN:1 (CALL:1 1 1 (UAND:5 (NAME:4 0 0))
                 (COMMA (MINUS:1 (NAME:1 1 0) (ICON:1 1)) (NAME:1 1 1))) (NOP))
label 1
stmt (RETURN:1 (NAME:1 1 1) (NOP)))",
                            BuildOptions{.remove_tail_recursion = true});
    EXPECT_EQ(label_numbering_problem(tail), "");
    EXPECT_EQ(verify_flow_graph(tail), "");
}

TEST_F(LabelNumbering, FlattenedLabelsAreUniqueAndDefined) {
    FlowGraph& g = build(kCrossedLabels);
    simpcfg(g);
    const FlattenedLabels labels = flattened_labels(flattened_ops());
    EXPECT_EQ(std::set<std::string>(labels.defined.begin(), labels.defined.end()).size(),
              labels.defined.size());
    for (const std::string& number : labels.named)
        EXPECT_TRUE(labels.defined.contains(number)) << "label " << number;
}

// A label read from the file stays in the output even when nothing jumps to
// it; one made by the graph goes only while something jumps to it.
TEST_F(LabelNumbering, UnusedFileLabelsStayAndUnusedNewOnesGo) {
    build(R"(stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
             label 4
             stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    const std::vector<std::string> ops = flattened_ops();
    EXPECT_EQ(ops, (std::vector<std::string>{"(ASG (NAME y) (ICON 1))", "(LABELDEF 2)",
                                             "(RETURN (NAME y) (NOP))"}));
}

// Label numbers far beyond the function's label count are looked up as
// well as small ones, and new labels still take fresh numbers.
TEST_F(LabelNumbering, HugeFileLabelNumbersAreFound) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 4000000000))
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            label 4000000000
                            label 3
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_EQ(label_numbering_problem(g), "");
    const FlattenedLabels labels = flattened_labels(flattened_ops());
    for (const std::string& number : labels.named)
        EXPECT_TRUE(labels.defined.contains(number)) << "label " << number;
}

// The builder meets the labels from the last statement back, highest
// first here; every one must be found, before and after a renumbering.
TEST_F(LabelNumbering, LabelsFiledBeforeTheTableGrowsPastThemAreFound) {
    FlowGraph& g = build(R"(stmt (CBRANCH (NAME:1 1 0) (LABEL 1100))
                            label 1035
                            stmt (ASG:1 (NAME:1 2 3) (ICON:1 3))
                            label 1020
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 1))
                            stmt (CBRANCH (NAME:1 1 1) (LABEL 1020))
                            label 1030
                            stmt (ASG:1 (NAME:1 2 2) (ICON:1 2))
                            label 1100
                            stmt (RETURN:1 (NAME:1 2 2) (NOP)))");
    EXPECT_EQ(verify_flow_graph(g), "");
    EXPECT_EQ(label_numbering_problem(g), "");
    EXPECT_NE(block_read_as(g, 1100), nullptr);
    simpcfg(g);
    renumber_flow_graph(g);
    EXPECT_EQ(verify_flow_graph(g), "");
}

// A number filed in the hash map while few labels are known stays found
// once the table grows past it.
TEST(LabelIndexTest, ANumberFiledApartIsFoundAfterTheTableGrows) {
    std::deque<LABEL_REC> records(1201);
    LabelIndex index;
    index.slot(1100) = &records[1100]; // far beyond an empty table
    for (uint32_t n = 1; n <= 1200; ++n)
        if (n != 1100)
            index.slot(n) = &records[n];
    for (uint32_t n = 1; n <= 1200; ++n)
        EXPECT_EQ(index.find(n), &records[n]) << n;
    EXPECT_EQ(index.slot(1100), &records[1100]);
}

// A file may number labels across all its functions: the table starts at
// the lowest number given, a number below it still works, and clearing
// starts the table at 0 again.
TEST(LabelIndexTest, TheTableStartsAtTheLowestNumber) {
    std::deque<LABEL_REC> records(300);
    LabelIndex index;
    index.start_at(700000);
    for (uint32_t i = 0; i < 200; ++i)
        index.slot(700000 + i) = &records[i];
    index.slot(3) = &records[250];
    for (uint32_t i = 0; i < 200; ++i)
        EXPECT_EQ(index.find(700000 + i), &records[i]) << i;
    EXPECT_EQ(index.find(3), &records[250]);
    EXPECT_EQ(index.find(699999), nullptr);
    EXPECT_EQ(index.find(700200), nullptr);
    index.clear();
    EXPECT_EQ(index.find(700000), nullptr);
    index.slot(1) = &records[1];
    EXPECT_EQ(index.find(1), &records[1]);
}

// The flattened statements name labels by their DFNs; reading them again
// gives the same kind of graph.
TEST_F(LabelNumbering, RebuildingFromFlattenedStatementsKeepsTheNumbering) {
    FlowGraph& g = build(kCrossedLabels);
    ASSERT_TRUE(simpcfg(g));
    const std::string before = picture();
    flatten_flow_graph(g);
    icode::FunctionBody body = g.body;
    ir::FUNINFO& info = g.function;
    FlowGraph& again = build_flow_graph(info, body);
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(label_numbering_problem(again), "");
    EXPECT_EQ(verify_flow_graph(again), "");
}

} // namespace
} // namespace vx::flow::testing
