#include "unit/flow/flow_test_support.h"

#include "icode/text/assembler.h"
#include "ir/symbol_table.h"
#include "ir/symbol_type_queries.h"
#include "ir/type.h"
#include "options/option_sets.h"
#include "support/switches.h"

#include "ir/tree_walk.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

namespace vx::flow::testing {

namespace {

const char* kSections = R"(
section types
type 1 int explicit=1 size=16 align=16
type 4 func 1
type 4 list 0
type 4 endlist 0
type 5 ptr 4 size=32 align=32
type 7 qual 1 quals=2 size=16 align=16
type 8 array 1 4 size=64 align=16 complete=1
type 9 ptr 1 size=32 align=32
section files
file "t.c"
section symbols
sym "f" class=2 type=4 align=16
sym "g" size=16 class=2 type=1 align=16
)";

} // namespace

std::string function_text(const std::string& body) {
    return "icode -73 600 \"t.c\"\nsection main\nfunc 0 @1:1:1\n"
           "sym \"x\" size=16 class=9 type=1 align=16\n"
           "sym \"n\" size=16 class=9 type=1 align=16\nendparams @1:2:1\n"
           "sym \"y\" size=16 class=1 type=1 align=16\n"
           "sym \"z\" size=16 class=1 type=1 align=16\n"
           "sym \"v\" size=16 class=1 type=7 align=16\n"
           "sym \"a\" size=64 class=1 type=8 align=16\n"
           "endlocals @1:3:1\n" +
           body + "\nendfunc @1:99:1\n" + kSections;
}

BBLK* block_read_as(const FlowGraph& graph, uint32_t number) {
    for (BBLK* b = graph.first; b != nullptr; b = b->next)
        for (const LABEL_REC* label : b->labels)
            if (!label->made_by_graph && label->read_number == number)
                return b;
    return nullptr;
}

std::string label_numbering_problem(const FlowGraph& graph) {
    std::set<uint32_t> numbers;
    for (const BBLK* b = graph.first; b != nullptr; b = b->next) {
        const std::string where = "block DFN " + std::to_string(b->dfn);
        if (b->first_label() != nullptr && b->first_label()->index != b->dfn)
            return where + ": first label " + std::to_string(b->first_label()->index);
        for (const LABEL_REC* label : b->labels)
            if (!numbers.insert(label->index).second)
                return where + ": label " + std::to_string(label->index) + " twice";
        for (const StatementEntry& s : b->statements)
            for (const LABEL_REC* target : transfer_targets(s.tree))
                if (graph.find_label(target->index) != target)
                    return where + ": label " + std::to_string(target->index) + " not found";
        std::string stale;
        ir::walk_tree(b->last_statement(), [&](const NODE* node) {
            if (node->op == ir::LABELREF && node->label() != nullptr &&
                node->label_number() != node->label()->index)
                stale = where + ": reference shows " + std::to_string(node->label_number());
        });
        if (!stale.empty())
            return stale;
    }
    return "";
}

std::string shape(const ir::NODE* node) {
    if (node == nullptr)
        return "-";
    std::string text = "(";
    text += ir::opcode_name(node->op) ? ir::opcode_name(node->op) : "?";
    if (node->op == ir::NAME)
        text += " " + node->sym()->name;
    if (node->op == ir::ICON || node->op == ir::LABEL || node->op == ir::LABELDEF)
        text += " " + node->lcon_text();
    if (node->left)
        text += " " + shape(node->left);
    if (node->right)
        text += " " + shape(node->right);
    return text + ")";
}

void FlowTest::SetUp() {
    sw::reset_switches();
    ir::reset_symbol_state();
    ir::reset_node_environment();
    ir::reset_type_world();
    opt::reset_option_registry();
    reset_flow_context();
    package_ = std::make_unique<ir::TYPE_PKG>();
    icode::install_reading_environment();
}

void FlowTest::TearDown() {
    reset_flow_context();
    reader_.reset();
    writer_.reset();
    functions_.clear();
    ir::reset_symbol_state();
    ir::reset_node_environment();
    ir::install_type_queries(ir::TypeQueries{});
    package_.reset();
    ir::reset_type_world();
    sw::reset_switches();
}

void FlowTest::read(const std::string& text) {
    FILE* in = std::tmpfile();
    const std::string bytes = icode::text::assemble(text);
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    reader_ = icode::IcodeReader::open(in, "t.icode");
    ASSERT_NE(reader_, nullptr);
    writer_ = icode::IcodeWriter::create(std::tmpfile(), "t.c");
    icode::OptimizerReaderClient client(*package_, *writer_, [this](icode::FunctionRead&& f) {
        functions_.push_back(std::move(f));
    });
    reader_->read_all(client);
}

FlowGraph& FlowTest::build(const std::string& body, BuildOptions options) {
    read(function_text(body));
    EXPECT_EQ(functions_.size(), 1u);
    icode::FunctionRead& f = functions_.at(0);
    ir::node_environment().arena = &f.info->arena;
    return build_flow_graph(*f.info, f.body, options);
}

FlowGraph& FlowTest::build_in_steps(const std::string& body) {
    read(function_text(body));
    EXPECT_EQ(functions_.size(), 1u);
    icode::FunctionRead& f = functions_.at(0);
    ir::node_environment().arena = &f.info->arena;
    FlowContext& context = flow_context();
    context.graph = std::make_unique<FlowGraph>(*f.info, f.body);
    build_blocks(*context.graph);
    build_edges(*context.graph);
    number_blocks(*context.graph);
    return *context.graph;
}

std::string FlowTest::picture() const {
    std::string text;
    for (const BBLK* b = graph().first; b != nullptr; b = b->next) {
        text += std::to_string(b->dfn) + ":[";
        for (std::size_t i = 0; i < b->statements.size(); ++i)
            text += (i ? " " : "") + std::string(ir::opcode_name(b->statements[i].tree->op));
        text += "]->";
        for (std::size_t i = 0; i < b->succs.size(); ++i)
            text += (i ? "," : "") + std::to_string(b->succs[i].block->dfn);
        text += " ";
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

std::vector<std::string> FlowTest::flattened_ops() {
    flatten_flow_graph(graph());
    std::vector<std::string> ops;
    for (const icode::StatementEntry& s : graph().body.statements)
        ops.push_back(shape(s.tree));
    return ops;
}

ir::Symbol* FlowTest::local(const char* name) const {
    for (ir::SymbolListKind kind : ir::symbol_lists_in_output_order)
        for (ir::Symbol* s : graph().function.list(kind))
            if (s->name == name)
                return s;
    return nullptr;
}

// A random function of `labels` labelled pieces: each piece updates y and
// may leave by a conditional jump, a jump or a switch to any label, so the
// graphs have loops of every nesting, loops entered from several places
// and, now and then, loops that cannot be represented.
std::string random_jumps(uint32_t seed, int labels) {
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::ostringstream body;
    for (int l = 1; l <= labels; ++l) {
        body << "label " << l << "\n";
        body << "stmt (PLUSASG:1 (NAME:1 2 2) (ICON:1 " << l << "))\n";
        // Jumps mostly to the nearest labels, so that loops nest.
        auto target = [&] {
            const int kind = pick(10);
            if (kind == 0)
                return 1 + pick(labels);
            return kind < 6 ? std::max(1, l - pick(3)) : std::min(labels, l + 1 + pick(3));
        };
        switch (pick(9)) {
        case 0:
        case 1:
        case 2:
            body << "stmt (CBRANCH (LT:1 (NAME:1 2 2) (NAME:1 1 0)) (LABEL " << target() << "))\n";
            break;
        case 3:
            body << "stmt (BRANCH (LABEL " << target() << "))\n";
            break;
        case 4:
            body << "stmt (SWITCH 1 (NAME:1 1 0) (COMMA (CASE (ICON:1 0) (LABEL " << target()
                 << ")) (CASE (ICON:1 1) (LABEL " << target() << "))))\n";
            break;
        case 5:
            // Blocks that end the function, so that a block may have
            // several successors without successors.
            body << "stmt (CBRANCH (GT:1 (NAME:1 2 2) (ICON:1 9)) (LABEL " << target() << "))\n";
            body << "stmt (RETURN:1 (NAME:1 2 2) (NOP))\n";
            break;
        case 6:
            body << "stmt (RETURN:1 (NAME:1 2 2) (NOP))\n";
            break;
        default:
            break;
        }
    }
    body << "stmt (RETURN:1 (NAME:1 2 2) (NOP))";
    return body.str();
}

// What the numbering leaves in the graph: the layout with DFNs, every
// block's edge lists in order, its UON, and the label numbers.
std::string numbering_state(const FlowGraph& g) {
    std::ostringstream out;
    for (const BBLK* b : g.layout_order()) {
        out << b->dfn << " uon " << b->uon << " preds";
        for (const Edge& e : b->preds)
            out << ' ' << e.block->dfn;
        out << " succs";
        for (const Edge& e : b->succs)
            out << ' ' << e.block->dfn;
        out << " labels";
        for (const LABEL_REC* label : b->labels)
            out << ' ' << label->index;
        out << '\n';
    }
    out << "count " << g.block_count;
    return out.str();
}

} // namespace vx::flow::testing
