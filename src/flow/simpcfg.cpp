// Flow-graph clean-up.  Works on the last statements and lets the
// renumbering rebuild the edges: blocks that only jump somewhere are
// bypassed (and then dropped as unreachable), and a block that is the only
// successor of its only predecessor joins that predecessor.
#include "flow/flow_graph.h"
#include "flow/liveness.h"
#include "flow/loop_hierarchy.h"
#include "ir/node_build.h"
#include "ir/tree_walk.h"

#include <unordered_set>

namespace vx::flow {

namespace {

BBLK* ref_block(const NODE* ref) {
    return ref != nullptr && ref->op == ir::LABELREF && ref->label() != nullptr
               ? ref->label()->block
               : nullptr;
}

bool is_jump_only(const BBLK* b) {
    return b->statements.size() == 1 && b->last_statement()->op == ir::BRANCH;
}

// An IF whose two targets are one block is a jump (after its condition,
// when that has effects).
bool fold_equal_targets(BBLK* b) {
    NODE* last = b->last_statement();
    if (last == nullptr || last->op != ir::IF || last->right == nullptr)
        return false;
    NODE* taken = last->right->left;
    if (ref_block(taken) == nullptr || ref_block(taken) != ref_block(last->right->right))
        return false;
    const icode::StatementPos pos = b->statements.back().pos;
    b->statements.back().tree = ir::make_node(ir::BRANCH, nullptr, taken);
    if (has_side_effects(last->left))
        b->statements.insert(b->statements.end() - 1, StatementEntry{last->left, pos});
    return true;
}

// Where a jump to `target` finally arrives when blocks that only jump are
// skipped.  The entry block is never skipped, and a cycle of jumps stops
// the search.
BBLK* final_target(FlowGraph& graph, BBLK* target) {
    std::unordered_set<const BBLK*> seen;
    while (target != graph.first && is_jump_only(target) && seen.insert(target).second) {
        BBLK* next = ref_block(target->last_statement()->left);
        if (next == nullptr || next == target)
            break;
        target = next;
    }
    return target;
}

bool bypass_jumps(FlowGraph& graph, BBLK* b) {
    bool changed = false;
    for (const Edge& e : EdgeList(b->succs)) {
        BBLK* to = final_target(graph, e.block);
        if (to != e.block && to != b)
            changed = retarget_label_refs(b->last_statement(), e.block, graph.label_of(to)) > 0 ||
                      changed;
    }
    return changed;
}

// Appends the only successor `s` to `b` when `b` is its only predecessor.
bool merge_successor(FlowGraph& graph, BBLK* b) {
    NODE* last = b->last_statement();
    if (last == nullptr || last->op != ir::BRANCH || b->succs.size() != 1)
        return false;
    BBLK* s = b->succs.front().block;
    if (s == b || s == graph.first || s->preds.size() != 1 || s == graph.exit)
        return false;
    b->statements.pop_back();
    b->statements.insert(b->statements.end(), s->statements.begin(), s->statements.end());
    s->statements.clear();
    b->succs = s->succs;
    for (const Edge& e : s->succs)
        for (Edge& back : e.block->preds)
            if (back.block == s)
                back.block = b;
    s->succs.clear();
    s->preds.clear();
    b->last_line = s->last_line != 0 ? s->last_line : b->last_line;
    graph.destroy_block(s);
    return true;
}

} // namespace

bool simpcfg(FlowGraph& graph) {
    bool changed = false;
    bool retargeted = false;
    for (BBLK* b = graph.first; b != nullptr; b = b->next) {
        retargeted = fold_equal_targets(b) || retargeted;
        retargeted = bypass_jumps(graph, b) || retargeted;
    }
    if (retargeted)
        renumber_flow_graph(graph);
    bool merged = false;
    for (BBLK* b = graph.first; b != nullptr; b = b->next)
        while (merge_successor(graph, b))
            merged = true;
    if (merged)
        renumber_flow_graph(graph);
    changed = retargeted || merged;
    if (changed && graph.loops != nullptr)
        clear_loop_hierarchy(graph);
    return changed;
}

} // namespace vx::flow
