// The flow-graph half of the IR verifier: blocks, edges, numbers and label
// references.  It reports the first violation it finds, in words that name
// the block by its DFN and UON.
#include "flow/flow_graph.h"
#include "ir/tree_walk.h"

#include <algorithm>
#include <unordered_set>

namespace vx::flow {

namespace {

std::string block_name(const BBLK* b) {
    return "BB" + std::to_string(b->dfn) + " (UON " + std::to_string(b->uon) + ")";
}

std::vector<const NODE*> label_refs(const NODE* statement) {
    std::vector<const NODE*> refs;
    ir::walk_tree(statement, [&](const NODE* node) {
        if (node->op == ir::LABELREF)
            refs.push_back(node);
    });
    return refs;
}

bool has_duplicates(const EdgeList& edges) {
    std::unordered_set<const BBLK*> seen;
    for (const Edge& e : edges)
        if (!seen.insert(e.block).second)
            return true;
    return false;
}

class FlowVerifier {
public:
    explicit FlowVerifier(const FlowGraph& graph) : g_(graph) {}
    std::string run();

private:
    std::string check_layout();
    std::string check_statements(const BBLK* b);
    std::string check_successors(const BBLK* b);
    std::string check_predecessors(const BBLK* b);

    const FlowGraph& g_;
    std::unordered_set<const BBLK*> live_;
};

std::string FlowVerifier::run() {
    if (std::string problem = check_layout(); !problem.empty())
        return problem;
    for (const BBLK* b = g_.first; b != nullptr; b = b->next) {
        for (auto check : {&FlowVerifier::check_statements, &FlowVerifier::check_successors,
                           &FlowVerifier::check_predecessors})
            if (std::string problem = (this->*check)(b); !problem.empty())
                return problem;
    }
    return "";
}

std::string FlowVerifier::check_layout() {
    uint32_t position = 0;
    const BBLK* last = nullptr;
    for (const BBLK* b = g_.first; b != nullptr; b = b->next) {
        ++position;
        if (position > g_.blocks.size())
            return "the layout list has a cycle";
        if (b->serial >= g_.blocks.size() || g_.blocks[b->serial] != b)
            return block_name(b) + " is on the layout list but not registered";
        if (b->dfn != position)
            return block_name(b) + " is at layout position " + std::to_string(position);
        if (last != nullptr && b->prev != last)
            return block_name(b) + " has a wrong prev link";
        if (const std::vector<BBLK*>* order = g_.cached_layout_order();
            order != nullptr && (order->size() < position || (*order)[position - 1] != b))
            return block_name(b) + " is not at its place in the recorded layout order";
        live_.insert(b);
        last = b;
    }
    if (position != g_.block_count)
        return "the block count is " + std::to_string(g_.block_count) + " but the layout holds " +
               std::to_string(position) + " blocks";
    if (g_.first != nullptr && g_.first->prev != last)
        return "the first block's prev is not the last block";
    if (const std::vector<BBLK*>* order = g_.cached_layout_order();
        order != nullptr && order->size() != position)
        return "the recorded layout order holds " + std::to_string(order->size()) + " blocks";
    uint32_t chained = 0;
    for (const BBLK* b = g_.chain; b != nullptr && chained <= g_.blocks.size();
         b = b->next_in_chain)
        chained += live_.contains(b) ? 1 : 0;
    if (chained != position)
        return "the chain of blocks misses a block of the layout";
    return "";
}

std::string FlowVerifier::check_statements(const BBLK* b) {
    if (b->statements.empty())
        return block_name(b) + " has no statements";
    for (std::size_t i = 0; i < b->statements.size(); ++i) {
        const NODE* tree = b->statements[i].tree;
        if (tree == nullptr)
            return block_name(b) + " holds a null statement";
        const bool last = i + 1 == b->statements.size();
        if (is_transfer(tree) != last)
            return block_name(b) + (last ? " does not end with a transfer"
                                         : " has a transfer before its last statement");
        if (tree->op == ir::LABELDEF || tree->op == ir::CBRANCH)
            return block_name(b) + " holds a " +
                   (tree->op == ir::LABELDEF ? "LABELDEF" : "CBRANCH");
    }
    for (const LABEL_REC* label : b->labels)
        if (label->block != b)
            return block_name(b) + " carries label " + std::to_string(label->index) +
                   " owned by another block";
    return "";
}

std::string FlowVerifier::check_successors(const BBLK* b) {
    std::unordered_set<const BBLK*> targets;
    for (const NODE* ref : label_refs(b->last_statement())) {
        const LABEL_REC* label = ref->label();
        if (label == nullptr)
            return block_name(b) + " refers to unbound label " +
                   std::to_string(ref->label_number());
        if (label->index != ref->label_number())
            return block_name(b) + " refers to label " + std::to_string(ref->label_number()) +
                   " bound to label " + std::to_string(label->index);
        if (label->block == nullptr || !live_.contains(label->block))
            return block_name(b) + " refers to label " + std::to_string(label->index) +
                   " that no block defines";
        if (std::find(label->block->labels.begin(), label->block->labels.end(), label) ==
            label->block->labels.end())
            return block_name(b) + " refers to label " + std::to_string(label->index) +
                   " missing from its block";
        targets.insert(label->block);
    }
    if (has_duplicates(b->succs))
        return block_name(b) + " lists a successor twice";
    for (const Edge& e : b->succs) {
        if (!live_.contains(e.block))
            return block_name(b) + " has a successor outside the layout";
        if (!targets.contains(e.block))
            return block_name(b) + " has successor " + block_name(e.block) +
                   " that its last statement does not name";
    }
    if (targets.size() != b->succs.size())
        return block_name(b) + " lacks a successor that its last statement names";
    return "";
}

std::string FlowVerifier::check_predecessors(const BBLK* b) {
    if (has_duplicates(b->preds))
        return block_name(b) + " lists a predecessor twice";
    for (const Edge& e : b->preds)
        if (!live_.contains(e.block) || !has_edge(e.block->succs, b))
            return block_name(b) + " has predecessor " + block_name(e.block) +
                   " that does not list it as a successor";
    for (const Edge& e : b->succs)
        if (!has_edge(e.block->preds, b))
            return block_name(b) + " is not a predecessor of its successor " + block_name(e.block);
    return "";
}

} // namespace

std::string verify_flow_graph(const FlowGraph& graph) {
    return FlowVerifier(graph).run();
}

} // namespace vx::flow
