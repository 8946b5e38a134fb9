// Tail-recursion removal: a self-call whose value (or nothing) is returned
// at once becomes assignments of the arguments to the parameters and a jump
// back to the start of the body.
//
// The jump does not go to the entry block itself: the entry must keep no
// predecessors (the loop finder and the dominators rely on it), so the
// first removal puts a new entry block holding only a jump in front of it.
#include "driver/listing.h"
#include "flow/flow_graph.h"
#include "ir/node_build.h"
#include "ir/symbol_table.h"
#include "ir/tree_printer.h"
#include "ir/tree_walk.h"

#include <algorithm>

namespace vx::flow {

namespace {

constexpr uint32_t kAsmTextKind = 36; // a text with a position
constexpr const char* kTailCallComment = "***\t; tail recursive call occurs here";

bool is_self_call(const NODE* call, const ir::Symbol* self) {
    if (call == nullptr || (call->op != ir::CALL && call->op != ir::UCALL))
        return false;
    const NODE* callee = call->left;
    return callee != nullptr && callee->op == ir::UAND && callee->left != nullptr &&
           callee->left->op == ir::NAME && callee->left->sym() == self;
}

std::vector<NODE*> call_arguments(NODE* call) {
    std::vector<NODE*> arguments;
    if (call->op != ir::CALL)
        return arguments;
    NODE* list = call->right;
    while (list != nullptr && list->op == ir::COMMA) {
        arguments.push_back(list->left);
        list = list->right;
    }
    if (list != nullptr)
        arguments.push_back(list);
    return arguments;
}

bool reads_symbol(const NODE* tree, const ir::Symbol* symbol) {
    bool found = false;
    ir::walk_tree(tree, [&](const NODE* node) {
        if (node->op == ir::NAME && node->sym() == symbol)
            found = true;
    });
    return found;
}

// The arguments can be assigned to the parameters in order: same count,
// same types, no structure argument, and no argument reads a parameter
// that an earlier assignment has already changed.
bool arguments_fit(const std::vector<NODE*>& arguments,
                   const std::vector<ir::Symbol*>& parameters) {
    if (arguments.size() != parameters.size())
        return false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i]->op == ir::STARG || arguments[i]->type != parameters[i]->type)
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (reads_symbol(arguments[i], parameters[j]))
                return false;
    }
    return true;
}

// True when control goes from `block` to the function's end without doing
// anything: the exit block itself, or blocks that only jump towards it (an
// URETURN in another block has become such a jump).
bool leads_straight_to_exit(const FlowGraph& graph, const BBLK* block) {
    for (uint32_t steps = 0; block != nullptr && steps <= graph.block_count; ++steps) {
        if (block == graph.exit || block->last_statement()->op == ir::URETURN)
            return block->statements.size() == 1;
        if (block->statements.size() != 1 || block->last_statement()->op != ir::BRANCH ||
            block->succs.size() != 1)
            return false;
        block = block->succs.front().block;
    }
    return false;
}

// The self-call that ends the block, or nullptr: RETURN(call), or a call
// statement followed by a jump to the exit block.
NODE* tail_call(FlowGraph& graph, BBLK* block) {
    const ir::Symbol* self = graph.function.symbol;
    NODE* last = block->last_statement();
    if (last == nullptr)
        return nullptr;
    if (last->op == ir::RETURN && block->succs.empty())
        return is_self_call(last->left, self) ? last->left : nullptr;
    const bool to_exit =
        block->succs.size() == 1 && leads_straight_to_exit(graph, block->succs.front().block);
    if (last->op != ir::BRANCH || !to_exit || block->statements.size() < 2)
        return nullptr;
    NODE* call = block->statements[block->statements.size() - 2].tree;
    return is_self_call(call, self) ? call : nullptr;
}

// The block that the jump goes to: the old entry, behind a new entry
// block that only jumps there.
BBLK* body_start(FlowGraph& graph) {
    BBLK* entry = graph.first;
    if (entry->preds.empty() && entry->statements.size() == 1 &&
        entry->last_statement()->op == ir::BRANCH && !entry->succs.empty())
        return entry->succs.front().block; // already split
    BBLK* fresh = graph.make_block({StatementEntry{graph.branch_to(entry), {}}}, entry);
    graph.label_of(entry)->reference_count++;
    add_edge(fresh->succs, entry);
    return entry;
}

} // namespace

bool remove_tail_recursion(FlowGraph& graph, BBLK* block) {
    NODE* call = tail_call(graph, block);
    if (call == nullptr || graph.function.takes_local_address)
        return false;
    const std::vector<NODE*> arguments = call_arguments(call);
    const std::vector<ir::Symbol*> parameters = ir::parameters_for_output(graph.function);
    if (!arguments_fit(arguments, parameters))
        return false;

    const icode::StatementPos pos = block->statements.back().tree->op == ir::RETURN
                                        ? block->statements.back().pos
                                        : block->statements[block->statements.size() - 2].pos;
    driver::debug_printf("\n  ===> Tail recursive self-call removed at line %ld: %s\n\n",
                         static_cast<long>(pos.line), ir::tree_text(call).c_str());
    const std::size_t drop = block->last_statement()->op == ir::RETURN ? 1 : 2;
    block->statements.resize(block->statements.size() - drop);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        ir::Symbol* parameter = parameters[i];
        if (arguments[i]->op == ir::NAME && arguments[i]->sym() == parameter)
            continue;
        NODE* target = ir::make_name(parameter, parameter->type);
        NODE* assign = ir::make_node(ir::ASG, parameter->type, target, arguments[i]);
        block->statements.push_back(StatementEntry{assign, pos});
    }
    NODE* comment = ir::make_node(ir::ASM, nullptr);
    comment->value = ir::Int96::from_unsigned(kAsmTextKind);
    comment->set_text(kTailCallComment);
    block->statements.push_back(StatementEntry{comment, pos});

    BBLK* target = body_start(graph);
    block->statements.push_back(StatementEntry{graph.branch_to(target), pos});
    for (const Edge& e : block->succs)
        remove_edge(e.block->preds, block);
    block->succs.clear();
    add_edge(block->succs, target);
    graph.label_of(target)->reference_count++;
    graph.note_change();
    return true;
}

} // namespace vx::flow
