// Edges and numbering: successors from each block's last statement with
// UON numbers in chain order, then depth-first numbers (DFN) that put the
// layout list in reverse post-order.  Removing the unreachable blocks fixes
// the DFNs and renumbers the labels after them, so that a block's first
// label and its DFN agree in dumps and in the output.
#include "driver/abnormal_end.h"
#include "driver/listing.h"
#include "flow/flow_graph.h"
#include "ir/tree_walk.h"
#include "support/check.h"

#include <algorithm>
#include <cstdio>

namespace vx::flow {

namespace {

[[noreturn]] void unknown_label(uint32_t number) {
    std::fprintf(stderr, "\n!!! COMPILER (OPTIMIZER) ERROR IN 'find_label', INDEX=%d !!!\n",
                 static_cast<int>(number));
    driver::terminate_abnormally();
}

// An URETURN outside the exit block becomes a jump to the exit block, so
// that the function keeps one way out without a value.
void route_ureturn_to_exit(FlowGraph& graph, BBLK* block) {
    StatementEntry& last = block->statements.back();
    if (last.tree->op != ir::URETURN || block == graph.exit || graph.exit == nullptr)
        return;
    last.tree = graph.branch_to(graph.exit);
}

// Binds every LABELREF of the block's last statement and adds the edges.
// The list ends up in tree order (left to right).
void add_successors(FlowGraph& graph, BBLK* block) {
    boost::container::small_vector<NODE*, 2> refs;
    for_each_target_ref(block->last_statement(), [&](NODE* ref) { refs.push_back(ref); });
    for (auto at = refs.rbegin(); at != refs.rend(); ++at) {
        NODE* ref = *at;
        LABEL_REC* label = graph.find_label(ref->label_number());
        if (label == nullptr || label->block == nullptr)
            unknown_label(ref->label_number());
        ref->set_label(label);
        ++label->reference_count;
        add_edge(block->succs, label->block);
    }
}

// Successors with one successor of their own first, then those with more,
// then those with none (reversed): the walk then tends to lay out straight
// code first and exits last.
void order_successors(BBLK* block) {
    EdgeList& succs = block->succs;
    if (succs.size() < 2)
        return;
    auto kind = [](const Edge& e) {
        const std::size_t n = e.block->succs.size();
        return n == 1 ? 0 : n == 0 ? 2 : 1;
    };
    EdgeList ordered;
    for (int wanted : {0, 1})
        for (const Edge& e : succs)
            if (kind(e) == wanted)
                ordered.push_back(e);
    for (auto at = succs.rbegin(); at != succs.rend(); ++at)
        if (kind(*at) == 2)
            ordered.push_back(*at);
    succs = std::move(ordered);
}

} // namespace

void build_edges(FlowGraph& graph) {
    for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
        for (LABEL_REC* label : b->labels)
            label->reference_count = 0;
    uint32_t count = 0;
    for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain) {
        b->succs.clear();
        b->preds.clear();
        b->uon = ++count;
        b->dfn = 0;
        route_ureturn_to_exit(graph, b);
        add_successors(graph, b);
    }
    graph.block_count = count;
    if (graph.options.remove_tail_recursion && !graph.options.no_tail_recursion) {
        for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
            remove_tail_recursion(graph, b);
        count = 0;
        for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
            b->uon = ++count;
        graph.block_count = count;
    }
    graph.note_change();
}

// An iterative walk: each block remembers its parent and the successor to
// try next, so deep graphs cost no stack.
void number_blocks(FlowGraph& graph) {
    for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain) {
        order_successors(b);
        b->dfn = 0;
        b->walk_cursor = 0;
        b->walk_parent = nullptr;
    }
    if (graph.first == nullptr)
        return;
    uint32_t n = graph.block_count;
    BBLK* finished = nullptr;
    BBLK* b = graph.first;
    b->dfn = 1;
    while (b != nullptr) {
        if (b->walk_cursor < b->succs.size()) {
            BBLK* s = b->succs[b->walk_cursor++].block;
            if (s->dfn == 0) {
                s->dfn = 1;
                s->walk_parent = b;
                b = s;
            }
            continue;
        }
        b->dfn = n--;
        b->next = finished;
        finished = b;
        b = b->walk_parent;
    }
    graph.first = finished;
    graph.note_change();
}

void remove_unreachable_blocks(FlowGraph& graph) {
    for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
        b->preds.clear();
    graph.block_count = 0;
    BBLK* last = nullptr;
    for (BBLK* b = graph.first; b != nullptr; b = b->next) {
        VX_CHECK(!b->visited);
        b->visited = true;
        for (const Edge& e : b->succs)
            add_edge(e.block->preds, b);
        b->dfn = ++graph.block_count;
        b->prev = last;
        last = b;
    }
    if (graph.first != nullptr)
        graph.first->prev = last;
    // Unreachable blocks may form cycles among themselves; their edges go
    // first, so that destroying one never reaches another already destroyed.
    // (No reached block lists one as a predecessor.)
    for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
        if (b->dfn == 0) {
            b->succs.clear();
            b->preds.clear();
        }
    for (BBLK* b = graph.chain; b != nullptr;) {
        BBLK* following = b->next_in_chain;
        b->visited = false;
        if (b->dfn == 0) {
            if (!b->statements.empty())
                driver::debug_printf("\nUNREACHABLE BASIC BLOCK: UON==%d\n",
                                     static_cast<int>(b->uon));
            graph.destroy_block(b);
        }
        b = following;
    }
    uint32_t uon = 0;
    for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
        b->uon = ++uon;
    graph.renumber_labels();
    graph.note_change();
}

} // namespace vx::flow
