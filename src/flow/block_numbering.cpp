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
#include <vector>

namespace vx::flow {

namespace {

[[noreturn]] void unknown_label(uint32_t number) {
    std::fprintf(stderr, "\n!!! COMPILER (OPTIMIZER) ERROR IN 'find_label', INDEX=%d !!!\n",
                 static_cast<int>(number));
    driver::terminate_abnormally();
}

// How far ahead of the walk block records, and the transfers they end
// with, are fetched.
constexpr std::size_t kFetchRecordAhead = 16;
constexpr std::size_t kFetchAhead = 8;

void fetch_record(const BBLK* block) {
    __builtin_prefetch(block);
    __builtin_prefetch(&block->statements);
}

// Starts loading the block's last statement, which decides its successors.
void fetch_transfer(const BBLK* block) {
    if (!block->statements.empty())
        __builtin_prefetch(block->statements.back().tree);
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

// The successor lists as arrays indexed by the blocks' serial numbers: a
// depth-first walk over them touches a few compact arrays instead of a
// block record per edge, which on large functions is a cache miss each.
// The blocks are visited through FlowGraph::blocks rather than the chain,
// so that their records are fetched side by side instead of one pointer
// after the other.
struct SuccessorTable {
    const std::vector<BBLK*>& blocks; // by serial; null for a destroyed block
    std::vector<uint32_t> first;      // successors of block i: targets[first[i] .. first[i + 1])
    std::vector<uint32_t> targets;

    // Reading the lists, it also takes every block off the layout list and
    // clears its DFN and predecessors, so that the numbering and the
    // removal of unreachable blocks visit each record once more only to
    // place it.
    explicit SuccessorTable(FlowGraph& graph) : blocks(graph.blocks) {
        first.reserve(blocks.size() + 1);
        targets.reserve(2 * blocks.size());
        for (BBLK* b : blocks) {
            first.push_back(static_cast<uint32_t>(targets.size()));
            if (b == nullptr)
                continue;
            for (const Edge& e : b->succs)
                targets.push_back(e.block->serial);
            b->dfn = 0;
            b->next = b->prev = nullptr;
            b->in_layout = false;
            b->preds.clear(); // remove_unreachable_blocks gives them again
        }
        first.push_back(static_cast<uint32_t>(targets.size()));
    }
    uint32_t degree(uint32_t i) const { return first[i + 1] - first[i]; }
};

// Successors with one successor of their own first, then those with more,
// then those with none (reversed): the walk then tends to lay out straight
// code first and exits last.  The block's edge list follows the new order.
void order_successors(SuccessorTable& table, uint32_t i) {
    const uint32_t begin = table.first[i];
    const uint32_t count = table.degree(i);
    if (count < 2)
        return;
    auto kind = [&](uint32_t target) {
        const uint32_t n = table.degree(target);
        return n == 1 ? 0 : n == 0 ? 2 : 1;
    };
    boost::container::small_vector<uint32_t, 4> order; // positions in the old list
    for (int wanted : {0, 1})
        for (uint32_t k = 0; k < count; ++k)
            if (kind(table.targets[begin + k]) == wanted)
                order.push_back(k);
    for (uint32_t k = count; k-- > 0;)
        if (kind(table.targets[begin + k]) == 2)
            order.push_back(k);
    bool moved = false;
    for (uint32_t k = 0; k < count; ++k)
        moved = moved || order[k] != k;
    if (!moved)
        return;
    EdgeList& succs = table.blocks[i]->succs;
    EdgeList edges;
    boost::container::small_vector<uint32_t, 4> targets;
    for (uint32_t k : order) {
        edges.push_back(succs[k]);
        targets.push_back(table.targets[begin + k]);
    }
    succs = std::move(edges);
    std::copy(targets.begin(), targets.end(), table.targets.begin() + begin);
}

} // namespace

void build_edges(FlowGraph& graph) {
    graph.clear_label_references();
    // The blocks ahead are fetched while the current one is handled.
    const std::vector<BBLK*>& chain = graph.chain_blocks();
    uint32_t count = 0;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (i + kFetchRecordAhead < chain.size() && chain[i + kFetchRecordAhead] != nullptr)
            fetch_record(chain[i + kFetchRecordAhead]);
        if (i + kFetchAhead < chain.size() && chain[i + kFetchAhead] != nullptr)
            fetch_transfer(chain[i + kFetchAhead]);
        BBLK* b = chain[i];
        if (b == nullptr)
            continue;
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

// An iterative walk over the successor table: each block remembers its
// parent and the successor to try next, so deep graphs cost no stack.
void number_blocks(FlowGraph& graph) {
    SuccessorTable table(graph);
    const uint32_t count = static_cast<uint32_t>(table.blocks.size());
    for (uint32_t i = 0; i < count; ++i)
        if (table.blocks[i] != nullptr)
            order_successors(table, i);
    if (graph.first == nullptr)
        return;
    constexpr uint32_t kNone = UINT32_MAX;
    std::vector<uint32_t> cursor(table.first.begin(), table.first.end() - 1);
    std::vector<uint32_t> parent(count, kNone);
    std::vector<bool> seen(count, false);
    std::vector<uint32_t> finished; // in the order the walk leaves the blocks
    finished.reserve(count);
    uint32_t b = graph.first->serial;
    seen[b] = true;
    while (b != kNone) {
        if (cursor[b] < table.first[b + 1]) {
            const uint32_t s = table.targets[cursor[b]++];
            if (!seen[s]) {
                seen[s] = true;
                parent[s] = b;
                b = s;
            }
            continue;
        }
        finished.push_back(b);
        b = parent[b];
    }
    // Reverse post-order: the block left last comes first.  Only reached
    // blocks are on the new layout list.
    BBLK* previous = nullptr;
    graph.first = nullptr;
    for (uint32_t k = static_cast<uint32_t>(finished.size()); k-- > 0;) {
        BBLK* block = table.blocks[finished[k]];
        block->dfn = graph.block_count - k;
        block->prev = previous;
        block->in_layout = true;
        (previous != nullptr ? previous->next : graph.first) = block;
        previous = block;
    }
    graph.first->prev = previous;
    graph.note_change();
}

// The predecessor lists were emptied by number_blocks, which always runs
// just before.
void remove_unreachable_blocks(FlowGraph& graph) {
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
    // One walk over the chain when every block was reached; otherwise the
    // unreached blocks lose their edges first, so that destroying one never
    // reaches another already destroyed (they may form cycles among
    // themselves; no reached block lists one as a predecessor).
    const std::vector<BBLK*>& chain = graph.chain_blocks();
    bool unreached = false;
    uint32_t uon = 0;
    for (BBLK* b : chain) {
        if (b == nullptr)
            continue;
        b->visited = false;
        if (b->dfn == 0) {
            unreached = true;
            b->succs.clear();
            b->preds.clear();
        } else {
            b->uon = ++uon; // the position among the blocks that stay
        }
    }
    // Destroying a block leaves a null in its place; the list keeps its
    // length.  The message shows the UON the edges were built with.
    for (std::size_t i = 0; unreached && i < chain.size(); ++i) {
        BBLK* b = chain[i];
        if (b == nullptr || b->dfn != 0)
            continue;
        if (!b->statements.empty())
            driver::debug_printf("\nUNREACHABLE BASIC BLOCK: UON==%d\n", static_cast<int>(b->uon));
        graph.destroy_block(b);
    }
    graph.renumber_labels();
    graph.note_change();
}

} // namespace vx::flow
