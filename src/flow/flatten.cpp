// Blocks back into a statement list for the writer, in layout order.  A
// label goes out as a LABELDEF when something still jumps to it (labels
// read from the file are always kept), a jump to the block that follows is
// left out, and an IF becomes CBRANCH to its true target followed by a
// BRANCH to its false target unless that block follows.
//
// New nodes are made for everything that differs from the blocks, so the
// graph stays usable after flattening.
#include "flow/flow_graph.h"
#include "ir/node_build.h"
#include "ir/tree_walk.h"

#include <unordered_set>

namespace vx::flow {

namespace {

const BBLK* target_block(const NODE* ref) {
    return ref != nullptr && ref->op == ir::LABELREF && ref->label() != nullptr
               ? ref->label()->block
               : nullptr;
}

NODE* copy_ref(const NODE* ref) {
    NODE* copy = ir::copy_node(ref);
    return copy;
}

void emit_last(const BBLK* block, const StatementEntry& last, std::vector<StatementEntry>& out) {
    NODE* tree = last.tree;
    if (tree->op == ir::BRANCH && target_block(tree->left) == block->next && block->next != nullptr)
        return;
    if (tree->op != ir::IF) {
        out.push_back(last);
        return;
    }
    NODE* taken = tree->right->left;
    NODE* fall = tree->right->right;
    NODE* cbranch = ir::make_node(ir::CBRANCH, tree->type, tree->left, copy_ref(taken));
    out.push_back(StatementEntry{cbranch, last.pos});
    if (target_block(fall) != block->next || block->next == nullptr)
        out.push_back(StatementEntry{ir::make_node(ir::BRANCH, nullptr, copy_ref(fall)), last.pos});
}

// Labels made by the flow graph go out only when the output still jumps
// to them.  Only the graph makes references to its labels, and only in
// transfers, so the other statements (most of the trees) need no walk.
void drop_unused_new_labels(const FlowGraph& graph, std::vector<StatementEntry>& out) {
    std::unordered_set<const LABEL_REC*> used;
    for (const StatementEntry& s : out)
        if (is_transfer(s.tree) || s.tree->op == ir::CBRANCH)
            ir::walk_tree(s.tree, [&](const NODE* node) {
                if (node->op == ir::LABELREF && node->label() != nullptr)
                    used.insert(node->label());
            });
    std::erase_if(out, [&](const StatementEntry& s) {
        return s.tree->op == ir::LABELDEF && graph.is_new_label(s.tree->label()) &&
               !used.contains(s.tree->label());
    });
}

} // namespace

void flatten_flow_graph(FlowGraph& graph) {
    std::vector<StatementEntry> out;
    for (BBLK* b = graph.first; b != nullptr; b = b->next) {
        const icode::StatementPos label_pos =
            b->statements.empty() ? icode::StatementPos{} : b->statements.front().pos;
        for (auto at = b->labels.rbegin(); at != b->labels.rend(); ++at) {
            NODE* definition = ir::make_label_def((*at)->index);
            definition->set_label(*at);
            out.push_back(StatementEntry{definition, label_pos});
        }
        for (std::size_t i = 0; i + 1 < b->statements.size(); ++i)
            out.push_back(b->statements[i]);
        if (!b->statements.empty())
            emit_last(b, b->statements.back(), out);
    }
    drop_unused_new_labels(graph, out);
    graph.body.statements = std::move(out);
}

} // namespace vx::flow
