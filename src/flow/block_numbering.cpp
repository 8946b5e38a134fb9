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
    uint32_t live = 0; // blocks not destroyed

    // Reading the lists, it also takes every block off the layout list and
    // clears its DFN, mark and predecessors, so that the numbering visits
    // each record once more only to place it.
    explicit SuccessorTable(FlowGraph& graph) : blocks(graph.blocks) {
        first.reserve(blocks.size() + 1);
        targets.reserve(2 * blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (i + kFetchRecordAhead < blocks.size() && blocks[i + kFetchRecordAhead] != nullptr)
                fetch_record(blocks[i + kFetchRecordAhead]);
            BBLK* b = blocks[i];
            first.push_back(static_cast<uint32_t>(targets.size()));
            if (b == nullptr)
                continue;
            for (const Edge& e : b->succs)
                targets.push_back(e.block->serial);
            ++live;
            b->dfn = 0;
            b->next = b->prev = nullptr;
            b->in_layout = false;
            b->visited = false;
            b->preds.clear(); // given again as the blocks are placed
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
    graph.note_uons_given();
    graph.note_change();
}

namespace {

// What placing the blocks leaves for the end of the numbering: the number
// for the next label that is not a block's first, and the LABELREFs whose
// new number was not known yet.
struct Placement {
    uint32_t next_label = 0;
    std::vector<NODE*> unnumbered_refs;
};

// A LABELREF naming a block's first label takes the block's DFN, known for
// every reached block once the walk is done; a reference to any other
// label waits until all labels have their numbers.
void number_refs(BBLK* block, const std::vector<uint32_t>& dfn_by_serial, Placement& placement) {
    for_each_target_ref(block->last_statement(), [&](NODE* ref) {
        LABEL_REC* label = ref->label();
        if (label == nullptr)
            return;
        const BBLK* target = label->block;
        const uint32_t dfn =
            target != nullptr && target->first_label() == label ? dfn_by_serial[target->serial] : 0;
        if (dfn != 0)
            ref->value = ir::Int96::from_unsigned(dfn);
        else
            placement.unnumbered_refs.push_back(ref);
    });
}

// Reverse post-order: the block left last comes first.  Only reached blocks
// are on the new layout list.  Each one, in layout order, gives itself to
// its successors' predecessor lists, numbers its labels (the first one
// takes the block's DFN) and the label references of its transfer, so the
// records and the transfers are visited once; they are fetched ahead,
// since the order jumps about in memory.
Placement place_in_layout(FlowGraph& graph, const SuccessorTable& table,
                          const std::vector<uint32_t>& finished) {
    const auto reached = static_cast<uint32_t>(finished.size());
    std::vector<uint32_t> dfn_by_serial(table.blocks.size(), 0);
    std::vector<BBLK*> order;
    order.reserve(reached);
    for (uint32_t k = reached; k-- > 0;) {
        dfn_by_serial[finished[k]] = reached - k;
        order.push_back(table.blocks[finished[k]]);
    }
    Placement placement;
    placement.next_label = reached + 1;
    BBLK* previous = nullptr;
    uint32_t dfn = 0;
    graph.first = nullptr;
    graph.forget_label_numbers();
    for_each_block_fetching_transfers(order, [&](BBLK* block) {
        block->dfn = ++dfn;
        block->prev = previous;
        block->in_layout = true;
        for (const Edge& e : block->succs)
            add_edge(e.block->preds, block);
        graph.number_block_labels(block, placement.next_label);
        number_refs(block, dfn_by_serial, placement);
        (previous != nullptr ? previous->next : graph.first) = block;
        previous = block;
    });
    if (graph.first != nullptr)
        graph.first->prev = previous;
    graph.block_count = reached;
    graph.set_layout_order(std::move(order));
    return placement;
}

// The unreached blocks lose their edges first, so that destroying one
// never reaches another already destroyed (they may form cycles among
// themselves; no reached block lists one as a predecessor).  The UONs are
// given again when blocks went or were made since they were given; blocks
// added at the chain's end only take the next ones.
void remove_unreached(FlowGraph& graph, bool any_unreached) {
    if (!any_unreached && (graph.uons_follow_chain() || graph.give_uons_to_appended_blocks()))
        return;
    const std::vector<BBLK*>& chain = graph.chain_blocks();
    uint32_t uon = 0;
    for (BBLK* b : chain) {
        if (b == nullptr)
            continue;
        if (b->dfn == 0) {
            b->succs.clear();
            b->preds.clear();
        } else {
            b->uon = ++uon; // the position among the blocks that stay
        }
    }
    // Destroying a block leaves a null in its place; the list keeps its
    // length.  The message shows the UON the edges were built with.
    for (std::size_t i = 0; any_unreached && i < chain.size(); ++i) {
        BBLK* b = chain[i];
        if (b == nullptr || b->dfn != 0)
            continue;
        if (!b->statements.empty())
            driver::debug_printf("\nUNREACHABLE BASIC BLOCK: UON==%d\n", static_cast<int>(b->uon));
        graph.destroy_block(b);
    }
    graph.note_uons_given();
}

// Follows the successor table depth first from the entry block; the blocks
// in the order the walk leaves them.  Each block remembers its parent and
// the successor to try next, so deep graphs cost no stack.
std::vector<uint32_t> depth_first_finish_order(const SuccessorTable& table, uint32_t entry) {
    constexpr uint32_t kNone = UINT32_MAX;
    const auto count = static_cast<uint32_t>(table.blocks.size());
    std::vector<uint32_t> cursor(table.first.begin(), table.first.end() - 1);
    std::vector<uint32_t> parent(count, kNone);
    std::vector<bool> seen(count, false);
    std::vector<uint32_t> finished;
    finished.reserve(table.live);
    uint32_t b = entry;
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
    return finished;
}

} // namespace

void number_blocks(FlowGraph& graph) {
    SuccessorTable table(graph);
    const auto count = static_cast<uint32_t>(table.blocks.size());
    for (uint32_t i = 0; i < count; ++i)
        if (table.blocks[i] != nullptr)
            order_successors(table, i);
    std::vector<uint32_t> finished;
    if (graph.first != nullptr)
        finished = depth_first_finish_order(table, graph.first->serial);
    const Placement placement = place_in_layout(graph, table, finished);
    remove_unreached(graph, finished.size() != table.live);
    graph.finish_label_numbers(placement.next_label);
    for (NODE* ref : placement.unnumbered_refs)
        ref->value = ir::Int96::from_unsigned(ref->label()->index);
    graph.note_change();
}

} // namespace vx::flow
