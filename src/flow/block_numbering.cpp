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

// The successor lists by serial number, as the edge walk found them, for
// the numbering that follows it: block s lists targets[first[s] ..
// first[s + 1]).
struct EdgeArrays {
    std::vector<uint32_t> first;
    std::vector<uint32_t> targets;
    uint32_t live = 0; // blocks not destroyed
    // Every label reference of every transfer, bound to its label.
    std::vector<NODE*> refs;
};

// Takes the block off the layout list and clears its DFN, mark and
// predecessors; the numbering gives them again as it places the blocks.
void forget_place(BBLK* b) {
    b->dfn = 0;
    b->next = b->prev = nullptr;
    b->in_layout = false;
    b->visited = false;
    b->preds.clear();
}

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
// The list ends up in tree order (left to right).  The references are
// also kept in `all_refs` when it is given.
void add_successors(FlowGraph& graph, BBLK* block, std::vector<NODE*>* all_refs) {
    boost::container::small_vector<NODE*, 2> refs;
    for_each_target_ref(block->last_statement(), [&](NODE* ref) { refs.push_back(ref); });
    if (all_refs != nullptr)
        all_refs->insert(all_refs->end(), refs.begin(), refs.end());
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
int kind_of_degree(std::size_t successors) {
    return successors == 1 ? 0 : successors == 0 ? 2 : 1;
}

int successor_kind(const Edge& e) {
    return kind_of_degree(e.block->succs.size());
}

// Successor kinds of one block, in list order.
using Kinds = boost::container::small_vector<uint8_t, 4>;

// Whether successors of these kinds are in that order already: kinds never
// fall along the list, and at most one successor has none (several would
// be reversed).
bool kinds_in_order(const Kinds& kinds) {
    int previous = 0;
    for (const int kind : kinds) {
        if (kind < previous || (kind == 2 && previous == 2))
            return false;
        previous = kind;
    }
    return true;
}

bool successors_in_order(const BBLK* block) {
    Kinds kinds;
    for (const Edge& e : block->succs)
        kinds.push_back(static_cast<uint8_t>(successor_kind(e)));
    return kinds_in_order(kinds);
}

// The positions of the list in that order.
boost::container::small_vector<uint32_t, 4> order_of_kinds(const Kinds& kinds) {
    boost::container::small_vector<uint32_t, 4> order;
    for (int wanted : {0, 1})
        for (uint32_t at = 0; at < kinds.size(); ++at)
            if (kinds[at] == wanted)
                order.push_back(at);
    for (auto at = static_cast<uint32_t>(kinds.size()); at-- > 0;)
        if (kinds[at] == 2)
            order.push_back(at);
    return order;
}

// Whether putting a list of these kinds in order turns exits round: two
// successors or more without successors of their own change places
// whenever the blocks are numbered (such a list is never in order already).
bool exits_turn_round(const Kinds& kinds) {
    return std::count(kinds.begin(), kinds.end(), uint8_t{2}) > 1;
}

// Puts the block's successors in that order; true when exits turned round.
// The successors' records are the ones the table reads next for their
// serial numbers, so asking them for their degree costs no extra miss.
bool order_successors(BBLK* block) {
    if (block->succs.size() < 2)
        return false;
    Kinds kinds;
    for (const Edge& e : block->succs)
        kinds.push_back(static_cast<uint8_t>(successor_kind(e)));
    if (kinds_in_order(kinds))
        return false;
    EdgeList edges;
    for (const uint32_t at : order_of_kinds(kinds))
        edges.push_back(block->succs[at]);
    block->succs = std::move(edges);
    return exits_turn_round(kinds);
}

// The successor lists as arrays indexed by the blocks' serial numbers: a
// depth-first walk over them touches a few compact arrays instead of a
// block record per edge, which on large functions is a cache miss each.
struct SuccessorTable {
    const std::vector<BBLK*>& blocks; // by serial; null for a destroyed block
    std::vector<uint32_t> first;      // successors of block i: targets[first[i] .. first[i + 1])
    std::vector<uint32_t> targets;
    uint32_t live = 0;           // blocks not destroyed
    bool exits_reversed = false; // some block's exits changed places
    // Blocks whose record still lists its successors in the old order (a
    // table made from the edge walk's arrays orders only itself; placing
    // the blocks copies the order into the records).
    std::vector<bool> reordered;
    // The transfers' label references, when the edge walk kept them: the
    // numbering then gives them their numbers from this list, without
    // reading the transfers again.
    bool refs_listed = false;
    std::vector<NODE*> refs;

    // From the records.  The blocks are visited through FlowGraph::blocks
    // rather than the chain, so that their records are fetched side by
    // side instead of one pointer after the other.  Reading the lists, it
    // also orders every block's successors, takes the block off the layout
    // list and clears its DFN, mark and predecessors, so that the
    // numbering visits each record once more only to place it.
    explicit SuccessorTable(FlowGraph& graph) : blocks(graph.blocks) {
        first.reserve(blocks.size() + 1);
        targets.reserve(2 * blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (i + kFetchRecordsAhead < blocks.size() && blocks[i + kFetchRecordsAhead] != nullptr)
                fetch_block_record(blocks[i + kFetchRecordsAhead]);
            BBLK* b = blocks[i];
            first.push_back(static_cast<uint32_t>(targets.size()));
            if (b == nullptr)
                continue;
            if (order_successors(b))
                exits_reversed = true;
            for (const Edge& e : b->succs)
                targets.push_back(e.block->serial);
            ++live;
            forget_place(b);
        }
        first.push_back(static_cast<uint32_t>(targets.size()));
    }

    // From the lists the edge walk collected, which also cleared what the
    // records' own walk would (forget_place): the lists are put in order
    // here, from the arrays alone, and no record is read.
    SuccessorTable(FlowGraph& graph, EdgeArrays&& arrays)
        : blocks(graph.blocks), first(std::move(arrays.first)), targets(std::move(arrays.targets)),
          live(arrays.live), reordered(blocks.size(), false), refs_listed(true),
          refs(std::move(arrays.refs)) {
        for (std::size_t b = 0; b < blocks.size(); ++b)
            if (first[b + 1] - first[b] >= 2)
                order_in_table(b);
    }

    // Gives the block's record its successors in the table's order.
    void copy_order_to_record(BBLK* b) const {
        if (reordered.empty() || !reordered[b->serial])
            return;
        EdgeList edges;
        for (uint32_t at = first[b->serial]; at < first[b->serial + 1]; ++at)
            edges.push_back(Edge{blocks[targets[at]]});
        b->succs = std::move(edges);
    }

private:
    int kind_in_table(uint32_t serial) const {
        return kind_of_degree(first[serial + 1] - first[serial]);
    }

    void order_in_table(std::size_t b) {
        if (first[b + 1] - first[b] == 2) {
            // Most lists with a choice have two entries: out of order, they
            // change places.
            uint32_t* pair = &targets[first[b]];
            const int k0 = kind_in_table(pair[0]), k1 = kind_in_table(pair[1]);
            if (k0 > k1 || (k0 == 2 && k1 == 2)) {
                std::swap(pair[0], pair[1]);
                reordered[b] = true;
                exits_reversed = exits_reversed || k0 == k1;
            }
            return;
        }
        Kinds kinds;
        for (uint32_t at = first[b]; at < first[b + 1]; ++at)
            kinds.push_back(static_cast<uint8_t>(kind_in_table(targets[at])));
        if (kinds_in_order(kinds))
            return;
        boost::container::small_vector<uint32_t, 4> serials;
        for (const uint32_t at : order_of_kinds(kinds))
            serials.push_back(targets[first[b] + at]);
        std::copy(serials.begin(), serials.end(), targets.begin() + first[b]);
        reordered[b] = true;
        exits_reversed = exits_reversed || exits_turn_round(kinds);
    }
};

} // namespace

namespace {

// Successors from every block's transfer, UONs in chain order.  With
// `arrays`, the lists are also collected by serial number and every
// block's place in the layout forgotten, while the record is at hand, so
// that the numbering need not read the records before placing them.
void collect_edges(FlowGraph& graph, EdgeArrays* arrays) {
    graph.clear_label_references();
    const std::vector<BBLK*>& blocks = graph.chain_blocks();
    if (arrays != nullptr) {
        arrays->first.reserve(blocks.size() + 1);
        arrays->targets.reserve(2 * blocks.size());
        arrays->refs.reserve(2 * blocks.size());
    }
    auto close_lists_up_to = [&](std::size_t serial) {
        while (arrays->first.size() <= serial)
            arrays->first.push_back(static_cast<uint32_t>(arrays->targets.size()));
    };
    uint32_t count = 0;
    for_each_block_fetching_transfers(blocks, [&](BBLK* b) {
        b->succs.clear();
        b->uon = ++count;
        route_ureturn_to_exit(graph, b);
        add_successors(graph, b, arrays != nullptr ? &arrays->refs : nullptr);
        if (arrays == nullptr) {
            b->preds.clear();
            b->dfn = 0;
            return;
        }
        close_lists_up_to(b->serial);
        for (const Edge& e : b->succs)
            arrays->targets.push_back(e.block->serial);
        forget_place(b);
    });
    graph.block_count = count;
    if (arrays != nullptr) {
        close_lists_up_to(blocks.size());
        arrays->live = count;
    }
}

} // namespace

void build_edges(FlowGraph& graph) {
    collect_edges(graph, nullptr);
    if (graph.options.remove_tail_recursion && !graph.options.no_tail_recursion) {
        for (BBLK* b = graph.chain; b != nullptr; b = b->next_in_chain)
            remove_tail_recursion(graph, b);
        uint32_t count = 0;
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
    std::vector<uint32_t> dfn_by_serial; // 0: not reached
};

// Each block's UON when the UONs are given again, by serial number (the
// serial numbers follow the chain): its position among the reached blocks.
// Placing the blocks gives them, so that no further walk over the records
// is needed; the unreached blocks keep theirs for the message that reports
// them.
std::vector<uint32_t> uons_by_serial(const SuccessorTable& table,
                                     const std::vector<uint32_t>& dfn_by_serial) {
    std::vector<uint32_t> uons(table.blocks.size(), 0);
    uint32_t uon = 0;
    for (std::size_t s = 0; s < uons.size(); ++s)
        if (dfn_by_serial[s] != 0)
            uons[s] = ++uon;
    return uons;
}

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
// are on the new layout list.  Each one gives itself to its successors'
// predecessor lists, numbers its first label (with the block's DFN) and,
// unless the edge walk listed the references (number_listed_refs), the
// label references of its transfer, so the records and the transfers are
// visited once; they are fetched ahead, since the order jumps about in
// memory.  The walk goes from the last block of the layout to the
// first: the edge walk before it went the other way, so on a function
// larger than the cache this one starts with what is still there.  The
// blocks with more than one label number the others afterwards, in layout
// order; they are few.
Placement place_in_layout(FlowGraph& graph, const SuccessorTable& table,
                          const std::vector<uint32_t>& finished, bool give_uons) {
    const auto reached = static_cast<uint32_t>(finished.size());
    Placement placement;
    std::vector<uint32_t>& dfn_by_serial = placement.dfn_by_serial;
    dfn_by_serial.assign(table.blocks.size(), 0);
    std::vector<BBLK*> order;
    order.reserve(reached);
    for (uint32_t k = reached; k-- > 0;) {
        dfn_by_serial[finished[k]] = reached - k;
        order.push_back(table.blocks[finished[k]]);
    }
    const std::vector<uint32_t> uons =
        give_uons ? uons_by_serial(table, dfn_by_serial) : std::vector<uint32_t>{};
    graph.forget_label_numbers();
    std::vector<BBLK*> more_labels; // last in the layout first
    auto place = [&](BBLK* block) {
        const uint32_t dfn = dfn_by_serial[block->serial];
        block->dfn = dfn;
        // The first block's prev is the last block.
        block->prev = order[dfn >= 2 ? dfn - 2 : reached - 1];
        block->next = dfn < reached ? order[dfn] : nullptr;
        block->in_layout = true;
        if (give_uons)
            block->uon = uons[block->serial];
        table.copy_order_to_record(block);
        // Met from the last to the first and appended, a block's
        // predecessors come latest in the layout first, as they always have.
        for (const Edge& e : block->succs)
            append_edge(e.block->preds, block);
        FlowGraph::number_first_label(block);
        if (block->labels.size() > 1)
            more_labels.push_back(block);
        if (!table.refs_listed)
            number_refs(block, dfn_by_serial, placement);
    };
    // With the edge walk's list of references the walk has no transfer to
    // read: on a function larger than the cache the transfers are a good
    // part of what it would wait for.
    if (!table.refs_listed)
        for_each_block_backwards_fetching_transfers(order, place);
    else
        for_each_block_backwards_fetching_records(order, place);
    placement.next_label = reached + 1;
    for (auto it = more_labels.rbegin(); it != more_labels.rend(); ++it)
        FlowGraph::number_other_labels(*it, placement.next_label);
    graph.first = order.empty() ? nullptr : order.front();
    graph.block_count = reached;
    graph.set_layout_order(std::move(order));
    return placement;
}

// Every label has its number: the references the edge walk listed take
// them, fetched well ahead (the list knows where each one is).  The
// references of unreached blocks, gone now, are numbered too, harmlessly.
void number_listed_refs(const std::vector<NODE*>& refs) {
    constexpr std::size_t kFetchAhead = 16;
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (i + kFetchAhead < refs.size())
            __builtin_prefetch(refs[i + kFetchAhead]);
        refs[i]->value = ir::Int96::from_unsigned(refs[i]->label()->index);
    }
}

// The unreached blocks lose their edges first, so that destroying one
// never reaches another already destroyed (they may form cycles among
// themselves; no reached block lists one as a predecessor).  Which blocks
// were reached is read from the placement, so that the reached blocks'
// records are not visited again.
void remove_unreached(FlowGraph& graph, const std::vector<uint32_t>& dfn_by_serial) {
    std::vector<BBLK*> unreached;
    for (std::size_t s = 0; s < dfn_by_serial.size(); ++s)
        if (dfn_by_serial[s] == 0 && graph.blocks[s] != nullptr)
            unreached.push_back(graph.blocks[s]);
    for (BBLK* b : unreached) {
        b->succs.clear();
        b->preds.clear();
    }
    // Destroying a block leaves a null in its place; the list keeps its
    // length.  The message shows the UON the edges were built with.
    for (BBLK* b : unreached) {
        if (!b->statements.empty())
            driver::debug_printf("\nUNREACHABLE BASIC BLOCK: UON==%d\n", static_cast<int>(b->uon));
        graph.destroy_block(b);
    }
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

namespace {

// The UONs are given again when blocks went or were made since they were
// given; blocks added at the chain's end only take the next ones.
void number_from_table(FlowGraph& graph, const SuccessorTable& table) {
    std::vector<uint32_t> finished;
    if (graph.first != nullptr)
        finished = depth_first_finish_order(table, graph.first->serial);
    const bool any_unreached = finished.size() != table.live;
    const bool give_uons =
        any_unreached || !(graph.uons_follow_chain() || graph.give_uons_to_appended_blocks());
    const Placement placement = place_in_layout(graph, table, finished, give_uons);
    if (any_unreached)
        remove_unreached(graph, placement.dfn_by_serial);
    graph.note_uons_given();
    graph.finish_label_numbers(placement.next_label);
    for (NODE* ref : placement.unnumbered_refs)
        ref->value = ir::Int96::from_unsigned(ref->label()->index);
    number_listed_refs(table.refs);
    graph.note_change();
    graph.note_numbered(!table.exits_reversed);
}

} // namespace

void number_blocks(FlowGraph& graph) {
    // Serial numbers in chain order, so that a block's UON can be told
    // from its serial number.
    graph.chain_blocks();
    number_from_table(graph, SuccessorTable(graph));
}

void build_edges_and_number(FlowGraph& graph) {
    if (graph.options.remove_tail_recursion && !graph.options.no_tail_recursion) {
        // Removing tail calls changes edges after the walk and makes a
        // block in the layout: the records are read again.
        build_edges(graph);
        number_blocks(graph);
        return;
    }
    EdgeArrays arrays;
    collect_edges(graph, &arrays);
    graph.note_uons_given();
    graph.note_change();
    number_from_table(graph, SuccessorTable(graph, std::move(arrays)));
}

namespace {

// Whether a fresh walk would meet each preheader made from serial
// `first_new` on right before its header: not when some block entering a
// loop would order its successors differently now that one of them has a
// single successor.  Each header must also have its preheader at the head
// of its predecessors, where making the preheader put it.
bool preheaders_keep_walk(const FlowGraph& graph, std::size_t first_new) {
    for (std::size_t s = first_new; s < graph.blocks.size(); ++s) {
        const BBLK* pre = graph.blocks[s];
        if (pre == nullptr || pre->succs.size() != 1)
            return false;
        const BBLK* header = pre->succs.front().block;
        if (header->serial >= first_new || header->preds.front().block != pre)
            return false;
        for (const Edge& e : pre->preds)
            if (!successors_in_order(e.block))
                return false;
    }
    return true;
}

// The layout with each preheader in front of its header, every block
// numbered by its place in it.  Only the first line of each record, where
// the numbers are, is fetched ahead.
std::vector<BBLK*> splice_preheaders(FlowGraph& graph, const std::vector<BBLK*>& layout,
                                     std::size_t first_new) {
    std::vector<BBLK*> preheader_by_serial(first_new, nullptr);
    for (std::size_t s = first_new; s < graph.blocks.size(); ++s)
        preheader_by_serial[graph.blocks[s]->succs.front().block->serial] = graph.blocks[s];
    std::vector<BBLK*> order;
    order.reserve(layout.size() + graph.blocks.size() - first_new);
    uint32_t dfn = 0;
    auto place = [&](BBLK* b) {
        b->dfn = ++dfn;
        b->visited = false;
        order.push_back(b);
    };
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (i + kFetchRecordsAhead < layout.size())
            __builtin_prefetch(&layout[i + kFetchRecordsAhead]->visited);
        BBLK* b = layout[i];
        if (BBLK* pre = preheader_by_serial[b->serial])
            place(pre);
        place(b);
    }
    graph.block_count = dfn;
    return order;
}

// Predecessor lists as placing the blocks gives them, highest DFN first: a
// header's outside entries (lower DFNs than the header, at the end of its
// list) were replaced by its preheader, put at the head; the preheader
// took them in reverse.
void order_preheader_edges(FlowGraph& graph, std::size_t first_new) {
    for (std::size_t s = first_new; s < graph.blocks.size(); ++s) {
        BBLK* pre = graph.blocks[s];
        EdgeList& entries = pre->succs.front().block->preds;
        std::rotate(entries.begin(), entries.begin() + 1, entries.end());
        std::reverse(pre->preds.begin(), pre->preds.end());
    }
}

} // namespace

bool number_blocks_after_preheaders(FlowGraph& graph, const std::vector<BBLK*>& layout,
                                    std::size_t first_new, void (*visit_each)(BBLK*)) {
    if (first_new >= graph.blocks.size() || !preheaders_keep_walk(graph, first_new) ||
        !(graph.uons_follow_chain() || graph.give_uons_to_appended_blocks())) {
        number_blocks(graph);
        return false;
    }
    std::vector<BBLK*> order = splice_preheaders(graph, layout, first_new);
    order_preheader_edges(graph, first_new);
    graph.set_layout_order(std::move(order));
    graph.renumber_labels(visit_each);
    graph.note_change();
    // The preheaders have one successor each and took over successors
    // that had some: no block gained or lost a successor without any.
    graph.note_numbered(true);
    return true;
}

} // namespace vx::flow
