// Block formation: the function's statement list is cut into basic blocks,
// walking from the last statement to the first so that each block is made
// in front of the one that follows it.  The exit block (one URETURN) is
// made first and stays last.
//
// Afterwards every block ends with an explicit transfer: a labelled block
// that control falls into gets a BRANCH at the end of the block before it,
// a CBRANCH becomes IF(cond, COLON(target, next)), and a SWITCH without a
// default gets one naming the block after it.
#include "flow/flow_graph.h"

#include "ir/node_build.h"
#include "ir/tree_walk.h"

#include <algorithm>

namespace vx::flow {

namespace {

using ir::Opcode;

constexpr std::size_t kPrefetchDistance = 16;
// The scan for label numbers does almost nothing per statement, so it
// must fetch much further ahead to cover a miss.
constexpr std::size_t kLabelScanAhead = 64;

bool ends_function(Opcode op) {
    return op == ir::BRANCH || op == ir::RETURN || op == ir::URETURN;
}

// Statements after which control does not fall into a following label.
bool leaves_no_fall_through(Opcode op) {
    switch (op) {
    case ir::RETURN:
    case ir::CBRANCH:
    case ir::BRANCH:
    case ir::URETURN:
    case ir::IF:
    case ir::LABELDEF:
        return true;
    default:
        return false;
    }
}

icode::StatementPos end_position(const ir::FUNINFO& function) {
    icode::StatementPos pos;
    if (function.end_position.known())
        pos.file = &function.end_position.file;
    pos.line = function.end_position.line;
    pos.column = function.end_position.column;
    return pos;
}

NODE* make_ureturn() {
    return ir::make_node(ir::URETURN, nullptr, ir::make_node(ir::NOP, nullptr));
}

// True when a SWITCH's case list has no DEFAULT entry.
bool lacks_default(const NODE* cases) {
    for (const NODE* item = cases; item != nullptr;) {
        const NODE* entry = item->op == ir::COMMA ? item->left : item;
        if (entry->op == ir::DEFAULT)
            return false;
        item = item->op == ir::COMMA ? item->right : nullptr;
    }
    return true;
}

// Appends an entry at the end of a case list.  The list is a right-leaning
// COMMA chain, which the writer and every reader of a SWITCH expect.
void append_case(NODE*& cases, NODE* entry) {
    NODE** tail = &cases;
    while (*tail != nullptr && (*tail)->op == ir::COMMA)
        tail = &(*tail)->right;
    *tail = *tail == nullptr ? entry : ir::make_node(ir::COMMA, nullptr, *tail, entry);
}

class BlockBuilder {
public:
    explicit BlockBuilder(FlowGraph& graph) : g_(graph) {}
    void run();

private:
    void note_label_numbers(const std::vector<StatementEntry>& statements);
    void flush();
    void start_run(const StatementEntry& statement);
    void handle(std::vector<StatementEntry>& statements, std::size_t index);
    void handle_cbranch(const StatementEntry& statement);
    void handle_switch(const StatementEntry& statement);
    void handle_label(std::vector<StatementEntry>& statements, std::size_t index);

    FlowGraph& g_;
    std::vector<StatementEntry> pending_; // reverse execution order
};

void BlockBuilder::run() {
    std::vector<StatementEntry> statements = std::move(g_.body.statements);
    g_.body.statements.clear();
    note_label_numbers(statements);

    g_.exit = g_.make_block({StatementEntry{make_ureturn(), end_position(g_.function)}}, nullptr);
    g_.label_of(g_.exit);

    if (statements.empty() || !ends_function(statements.back().tree->op)) {
        icode::StatementPos pos =
            statements.empty() ? end_position(g_.function) : statements.back().pos;
        statements.push_back(StatementEntry{make_ureturn(), pos});
    }
    for (std::size_t i = statements.size(); i-- > 0;) {
        // Large functions do not fit in the cache: fetch the trees a few
        // statements ahead of the walk.
        if (i >= kPrefetchDistance)
            __builtin_prefetch(statements[i - kPrefetchDistance].tree);
        handle(statements, i);
    }
    if (pending_.empty())
        start_run(StatementEntry{g_.branch_to(g_.first), {}});
    flush();
    g_.order_serials_after_building();
}

// New labels must not take a number that the function already uses.  A
// transfer may only name a label that the function defines (the edge
// builder stops on any other), so the definitions are all there is to
// see, and a look at each statement's root is enough: a full walk of every
// tree costs a cache miss per node on large functions.
void BlockBuilder::note_label_numbers(const std::vector<StatementEntry>& statements) {
    uint32_t lowest = UINT32_MAX;
    for (std::size_t i = 0; i < statements.size(); ++i) {
        if (i + kLabelScanAhead < statements.size())
            __builtin_prefetch(statements[i + kLabelScanAhead].tree);
        const NODE* tree = statements[i].tree;
        if (tree->op == ir::LABELDEF) {
            g_.note_label_number(tree->label_number());
            lowest = std::min(lowest, tree->label_number());
        }
    }
    if (lowest != UINT32_MAX)
        g_.note_lowest_label_number(lowest);
}

void BlockBuilder::flush() {
    if (pending_.empty())
        return;
    // One exactly sized list per block; pending_ keeps its room for the next.
    g_.make_block(StatementList(pending_.rbegin(), pending_.rend()), g_.first);
    pending_.clear();
}

void BlockBuilder::start_run(const StatementEntry& statement) {
    pending_.clear();
    pending_.push_back(statement);
}

void BlockBuilder::handle(std::vector<StatementEntry>& statements, std::size_t index) {
    const StatementEntry& statement = statements[index];
    switch (statement.tree->op) {
    case ir::RETURN:
    case ir::BRANCH:
    case ir::URETURN:
        // Whatever followed up to the next label cannot be reached.
        start_run(statement);
        return;
    case ir::IF:
        flush();
        start_run(statement);
        return;
    case ir::CBRANCH:
        handle_cbranch(statement);
        return;
    case ir::SWITCH:
        handle_switch(statement);
        return;
    case ir::LABELDEF:
        handle_label(statements, index);
        return;
    default:
        pending_.push_back(statement);
        return;
    }
}

// CBRANCH(cond, L) and the statement after it become IF(cond, COLON(L, Lnext)).
// A jump right after the CBRANCH is its false target and needs no block.
void BlockBuilder::handle_cbranch(const StatementEntry& statement) {
    NODE* next = nullptr;
    if (pending_.size() == 1 && pending_.back().tree->op == ir::BRANCH)
        next = pending_.back().tree->left;
    else
        flush();
    pending_.clear();
    NODE* cbranch = statement.tree;
    if (next == nullptr)
        next = g_.label_ref(g_.label_of(g_.first));
    NODE* targets = ir::make_node(ir::COLON, nullptr, cbranch->right, next);
    NODE* decision = ir::make_node(ir::IF, cbranch->type, cbranch->left, targets);
    start_run(StatementEntry{decision, statement.pos});
}

void BlockBuilder::handle_switch(const StatementEntry& statement) {
    NODE* default_target = nullptr;
    const bool branch_follows = !pending_.empty() && pending_.back().tree->op == ir::BRANCH;
    if (branch_follows)
        default_target = pending_.back().tree->left; // the jump serves as the default
    else
        flush();
    pending_.clear();
    NODE* tree = statement.tree;
    if (lacks_default(tree->right)) {
        if (default_target == nullptr)
            default_target = g_.label_ref(g_.label_of(g_.first));
        append_case(tree->right, ir::make_node(ir::DEFAULT, nullptr, default_target));
    }
    start_run(statement);
}

void BlockBuilder::handle_label(std::vector<StatementEntry>& statements, std::size_t index) {
    flush();
    const StatementEntry& statement = statements[index];
    LABEL_REC* label = g_.label_for_number(statement.tree->label_number());
    label->read_number = statement.tree->label_number();
    label->block = g_.first;
    g_.first->labels.insert(g_.first->labels.begin(), label);
    const bool falls_in = index == 0 || !leaves_no_fall_through(statements[index - 1].tree->op);
    if (falls_in) {
        NODE* branch = ir::make_node(ir::BRANCH, nullptr, g_.label_ref(label));
        start_run(StatementEntry{branch, statement.pos});
    }
}

} // namespace

void build_blocks(FlowGraph& graph) {
    BlockBuilder(graph).run();
}

} // namespace vx::flow
