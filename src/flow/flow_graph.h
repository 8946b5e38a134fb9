// The control-flow graph of one function: basic blocks (BBLK), their edges
// and labels, and the per-function flow context that owns them.
//
// A function's statement list is cut into blocks by build_flow_graph
// (block_builder.cpp); every block ends with an explicit transfer (BRANCH,
// IF, SWITCH, RETURN, URETURN), so successors are read from the last
// statement alone.  Blocks sit on two lists: the layout list (next/prev, in
// depth-first order once numbered) and the chain of all blocks (creation
// order), which also holds blocks that have become unreachable.
//
//   FlowGraph& g = build_flow_graph(info, body, options);  // blocks, edges, DFN
//   ... analyses and passes on g ...
//   flatten_flow_graph(g);                                  // back to body.statements
#pragma once

#include "icode/reader_client.h"
#include "ir/function_info.h"
#include "ir/node.h"
#include "ir/tree_walk.h"
#include "support/bitvec.h"
#include "support/chunk_pool.h"

#include <boost/container/small_vector.hpp>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vx::flow {
struct BBLK;
} // namespace vx::flow

namespace vx::ir {

// A code label of the flow graph.  LABELREF and LABELDEF nodes point to it
// (NODE::label()); the block that it starts owns it.  Numbering the blocks
// renumbers the labels: a block's first label takes the block's DFN.
class LABEL_REC {
public:
    uint32_t index = 0;           // the label number written to the file
    flow::BBLK* block = nullptr;  // the block the label starts
    uint16_t reference_count = 0; // LABELREFs bound to it when edges were last built
    bool made_by_graph = false;   // not read from the file: written only while jumped to
    uint32_t read_number = 0;     // the number in the file (for tracing a label back)
};

} // namespace vx::ir

namespace vx::flow {

using icode::StatementEntry;
using ir::LABEL_REC;
using ir::NODE;

class Dominator;
struct LoopHierarchy;
struct Loop;
struct ReachingDefinitions;

// An edge to `block`.  Nothing is carried on an edge: no pass weighs its
// edges, and a pointer alone keeps two edges within half a cache line.
struct Edge {
    BBLK* block = nullptr;
};
// Most blocks have one or two successors and few predecessors; keeping
// those edges inside the block record saves an allocation and a cache
// miss per list on every walk over the graph.
using EdgeList = boost::container::small_vector<Edge, 2>;
using LabelList = boost::container::small_vector<LABEL_REC*, 1>;
// Blocks are short: a block's statements usually fit in the record itself.
using StatementList = boost::container::small_vector<StatementEntry, 3>;

// Adds an edge to `block` at the head of `list`; nothing when the block is
// already on it.
void add_edge(EdgeList& list, BBLK* block);
// Adds an edge to `block` at the end of `list`; nothing when the block is
// already on it.
void append_edge(EdgeList& list, BBLK* block);
// Removes the edge to `block`; false when there is none.
bool remove_edge(EdgeList& list, BBLK* block);
bool has_edge(const EdgeList& list, const BBLK* block);

// The live-variable sets of a block (liveness.h).  Empty vectors until the
// analysis has run.
struct BlockLiveSets {
    BITVEC in, out, def, use, defany, useany;
    // Live after each statement (same index), made when the analysis runs
    // without the self-update flag; valid until the block's statements change.
    std::vector<BITVEC> after_statement;
};

// The fields that every walk over the graph reads come first.  The live
// sets, read by few passes, are kept apart (FlowGraph::new_live_sets).
struct BBLK {
    BBLK* next = nullptr;          // layout order (depth-first once numbered)
    BBLK* prev = nullptr;          // the first block's prev is the last block
    BBLK* next_in_chain = nullptr; // every block, in creation order
    BBLK* prev_in_chain = nullptr;

    uint32_t serial = 0; // index in FlowGraph::blocks
    uint32_t uon = 0;    // position in the chain, from 1
    uint32_t dfn = 0;    // depth-first number; 0: not reached
    int16_t loop_depth = 0;
    bool visited = false;
    bool has_live_sets = false;
    bool in_layout = false; // on the layout list (unreached blocks are not, once numbered)

    EdgeList preds;
    EdgeList succs;
    LabelList labels;         // newest first
    StatementList statements; // execution order; the last decides successors

    Loop* loop = nullptr; // innermost loop containing the block

    uint32_t first_line = 0; // lines of the first and last statement that carry one
    uint32_t last_line = 0;

    BlockLiveSets* live_sets = nullptr; // null until the analysis gives it sets

    BlockLiveSets& live() { return *live_sets; }
    const BlockLiveSets& live() const { return *live_sets; }
    NODE* last_statement() const { return statements.empty() ? nullptr : statements.back().tree; }
    LABEL_REC* first_label() const { return labels.empty() ? nullptr : labels.front(); }
};

// How the graph is built.  The driver fills it from the function's levels.
struct BuildOptions {
    // Self-calls in tail position become jumps (optimization level >= 2 and
    // the driver's mode allows it).
    bool remove_tail_recursion = false;
    // The function forbids it (for instance, its frame must stay visible).
    bool no_tail_recursion = false;
};

// Label records by number.  After a renumbering the numbers run from 1
// without gaps, and the numbers of one function read from a file lie close
// together (though a file may number its labels across all functions), so
// a table indexed by the number less the lowest one serves nearly every
// lookup; a number far from the labels there are goes to a hash map
// instead of stretching the table.
class LabelIndex {
public:
    // The slot for `number`, null when no label has it yet.
    LABEL_REC*& slot(uint32_t number);
    LABEL_REC* find(uint32_t number) const;
    // Empties the index; the table starts at 0 again.
    void clear();
    void reserve(std::size_t labels);
    // The lowest number expected, while the index is empty; numbers below
    // it still work, through the hash map.
    void start_at(uint32_t lowest);

private:
    bool fits_table(uint32_t number) const;

    uint32_t base_ = 0; // the number of table_[0]
    std::vector<LABEL_REC*> table_;
    std::unordered_map<uint32_t, LABEL_REC*> far_;
    std::size_t count_ = 0;
};

// The flow graph of one function and everything the flow analyses keep for
// it.  Blocks are owned here; a destroyed block leaves an empty slot in
// `blocks` until chain_blocks() gives the serial numbers again.
class FlowGraph {
public:
    FlowGraph(ir::FUNINFO& function, icode::FunctionBody& body);
    ~FlowGraph();
    FlowGraph(const FlowGraph&) = delete;
    FlowGraph& operator=(const FlowGraph&) = delete;

    ir::FUNINFO& function;
    icode::FunctionBody& body;
    BuildOptions options;

    // By serial number; null once destroyed.  After chain_blocks() the
    // serial numbers follow the chain.
    std::vector<BBLK*> blocks;
    BBLK* first = nullptr; // head of the layout list
    BBLK* chain = nullptr; // head of the chain of all blocks
    BBLK* exit = nullptr;  // the block holding the function's URETURN
    uint32_t block_count = 0;
    // Set whenever the control structure changes; the dominator object and
    // the loop hierarchy use it to know that they are stale.
    bool cfg_changed = false;
    // Counts the changes of the control structure; the dominator object
    // compares it with the count it was built at.
    uint64_t version = 0;
    void note_change() {
        cfg_changed = true;
        ++version;
    }
    // Whether every block is on the layout list: nothing was made or
    // destroyed since the numbering.
    bool layout_holds_every_block() const { return numbered_ && numbered_at_ == version; }
    // Whether the DFNs and the layout are those number_blocks gave, nothing
    // has changed since, and numbering again would give them once more: it
    // would not when a block had two successors without successors of
    // their own, since the numbering turns those round each time.
    bool numbering_is_current() const {
        return numbered_ && numbered_at_ == version && numbering_repeats_;
    }
    void note_numbered(bool repeats) {
        numbered_ = true;
        numbered_at_ = version;
        numbering_repeats_ = repeats;
    }

    std::unique_ptr<Dominator> dominator;
    // The live-variable candidates by number (liveness.h).
    std::vector<ir::Symbol*> lva_candidates;
    // The sets of the live-range splitter (reaching_definitions.h).
    std::unique_ptr<ReachingDefinitions> reaching;
    std::unique_ptr<LoopHierarchy> loops;

    // Makes a block holding `statements` and puts it in front of `before`
    // in both lists (at the end when `before` is null).
    BBLK* make_block(StatementList statements, BBLK* before);
    // Unlinks the block from both lists, drops its edges and its labels'
    // owner, and destroys it.
    void destroy_block(BBLK* block);

    // Label records.  A fresh label takes a number no label of the
    // function uses.  find_label looks a number up as the labels are
    // numbered now (a renumbering changes every number).
    LABEL_REC* label_for_number(uint32_t number);
    LABEL_REC* find_label(uint32_t number) const;
    LABEL_REC* new_label();
    // The block's first label, made when it has none.
    LABEL_REC* label_of(BBLK* block);
    // A LABELREF bound to the label.
    NODE* label_ref(LABEL_REC* label);
    // A BRANCH to the block.
    NODE* branch_to(BBLK* block);
    void note_label_number(uint32_t number);
    // The lowest label number of the function read, before any label is
    // made, so that label lookups stay in the table.
    void note_lowest_label_number(uint32_t number) { labels_.start_at(number); }
    // Sets every label's reference count to 0, before the edges are built
    // again.
    void clear_label_references() {
        for (LABEL_REC& label : label_store_)
            label.reference_count = 0;
    }
    bool is_new_label(const LABEL_REC* label) const { return label->made_by_graph; }
    // After the blocks have their final DFNs: each block's first label takes
    // the block's DFN, every other label a number above the block count, and
    // the LABELREFs of the transfers show the new numbers.
    // `visit_each`, when given, is called on every block of the layout on
    // the way (a walk the caller may then spare itself).
    void renumber_labels(void (*visit_each)(BBLK*) = nullptr);
    // The same in parts, so that the numbering can give the labels of each
    // block while it places the block: forget every number, number the
    // labels of each block of the layout, in layout order, with the count
    // of blocks known; then number the rest.  The LABELREFs are the
    // caller's to update.
    void forget_label_numbers();
    void number_block_labels(BBLK* block, uint32_t& next_other) const;
    void finish_label_numbers(uint32_t next_other);
    // number_block_labels in two halves, for a walk that meets the blocks
    // in another order: the first label takes the block's DFN at once, the
    // others must still be numbered in layout order.
    static void number_first_label(BBLK* block);
    static void number_other_labels(BBLK* block, uint32_t& next_other);

    // The blocks in chain order, as `blocks` (with a null for each block
    // destroyed since): after the builder has made blocks in front of the
    // chain's head, the serial numbers are given again in chain order.
    // Walking this list rather than the chain lets the records ahead be
    // fetched while one is handled.
    const std::vector<BBLK*>& chain_blocks();
    // The builder makes the exit block first and every other block in front
    // of the chain's head, so the chain is the creation order reversed:
    // this gives the serial numbers in chain order without following it.
    void order_serials_after_building();
    // Whether the blocks' UONs still give their places in the chain: no
    // block has been made or destroyed since they were given.
    bool uons_follow_chain() const { return uons_given_ && uons_given_at_ == chain_edits_; }
    void note_uons_given() {
        uons_given_ = true;
        uons_given_at_ = chain_edits_;
        appended_since_uons_ = 0;
    }
    // When the only changes to the chain since the UONs were given are
    // blocks added at its end (as new preheaders are), those blocks take
    // the next UONs and true is returned; the others keep theirs.
    bool give_uons_to_appended_blocks();

    // Blocks in layout order.  The numbering leaves the order behind, so
    // that walks need not follow the `next` links, which on a function
    // larger than the cache costs a wait for memory per block.
    std::vector<BBLK*> layout() const { return layout_order(); }
    const std::vector<BBLK*>& layout_order() const;
    // The recorded order when it is current, else null (for the verifier).
    const std::vector<BBLK*>* cached_layout_order() const {
        return layout_order_valid_ ? &layout_order_ : nullptr;
    }
    void set_layout_order(std::vector<BBLK*> order);
    // Live sets for a block (liveness.h); all of them go at once with
    // free_live_sets.
    BlockLiveSets* new_live_sets() { return live_pool_.make(); }
    void drop_all_live_sets() { live_pool_.clear(); }
    bool has_live_sets() const { return !live_pool_.empty(); }

    // The block with that DFN (after numbering), or nullptr.
    BBLK* block_at_dfn(uint32_t dfn) const;

private:
    void link_in_layout(BBLK* block, BBLK* before);
    void link_in_chain(BBLK* block, BBLK* before);
    void unlink_from_chain(BBLK* block);
    void unlink_from_layout(BBLK* block);

    // Records sit in arena blocks, which a released graph hands on to the
    // next one (chunk_pool.h).
    ChunkPool<BBLK> block_pool_;
    ChunkPool<BlockLiveSets> live_pool_;

    bool numbered_ = false;
    uint64_t numbered_at_ = 0; // the version the numbering was made at
    bool numbering_repeats_ = false;
    BBLK* chain_tail_ = nullptr;
    bool serials_off_chain_ = false;          // a block was made in front of the chain's head
    mutable std::vector<BBLK*> layout_order_; // a cache, made again when stale
    mutable bool layout_order_valid_ = false;
    uint64_t chain_edits_ = 0; // blocks linked into or out of the chain
    bool uons_given_ = false;
    uint64_t uons_given_at_ = 0;       // chain_edits_ when they were given
    uint64_t appended_since_uons_ = 0; // of the edits since, those at the end
    std::deque<LABEL_REC> label_store_;
    LabelIndex labels_;
    uint32_t next_label_number_ = 1;
};

// The per-function flow state of the process: the graph of the current
// function.  Reset between functions (and by tests).
struct FlowContext {
    std::unique_ptr<FlowGraph> graph;
    // elim_dead_assigns leaves locals without references in place.
    bool keep_unreferenced_locals = false;
    // The dead-assignment scan met an assignment or increment inside an
    // expression; with the extra clean-up, blocks are tidied again.
    bool embedded_assignments_seen = false;
};
FlowContext& flow_context();
void reset_flow_context();
// The current function's graph, or nullptr when none is built.
FlowGraph* current_flow_graph();

// Points the node factory at the function's arena while a flow step makes
// nodes (the simplifier's included), and back at the previous one after.
class FunctionArenaScope {
public:
    explicit FunctionArenaScope(ir::FUNINFO& function);
    ~FunctionArenaScope();
    FunctionArenaScope(const FunctionArenaScope&) = delete;
    FunctionArenaScope& operator=(const FunctionArenaScope&) = delete;

private:
    Arena* saved_;
};

// --- Entry points of the schedule -----------------------------------------

// Cuts the function's statement list into blocks, builds the edges with
// UON numbers (removing tail recursion when the options allow), numbers the
// blocks depth first and removes unreachable blocks.  The graph becomes the
// current one; the body's statement list is emptied (the blocks hold the
// statements until flatten_flow_graph).
FlowGraph& build_flow_graph(ir::FUNINFO& function, icode::FunctionBody& body,
                            const BuildOptions& options = {});

// Parts of the build, for passes that have changed the graph.
void build_blocks(FlowGraph& graph); // block formation only
void build_edges(FlowGraph& graph);  // successors from last statements, UON
// Depth-first order, DFN and predecessors; then the unreachable blocks go
// and the labels are numbered after the blocks.
void number_blocks(FlowGraph& graph);
// build_edges and number_blocks in one: the numbering takes the successor
// lists the edge walk collected instead of reading every record again.
void build_edges_and_number(FlowGraph& graph);
// Successors, numbering and unreachable-block removal again, after a pass
// has rewritten transfers.
void renumber_flow_graph(FlowGraph& graph);
// The numbering again after preheaders were made (the blocks of serial
// `first_new` on) in a graph whose numbering was current before, with
// `layout` its layout then.  A preheader's only successor is its header
// and it takes over all of the header's entries from outside the loop, so
// a fresh depth-first walk meets it right before its header: unless some
// block's successors would now be ordered differently, the numbering is
// the old one with each preheader put in front of its header, found
// without the walk; otherwise it is made afresh.
// Returns true when it spliced, having also called `visit_each` on every
// block (a walk the caller may then spare itself).
bool number_blocks_after_preheaders(FlowGraph& graph, const std::vector<BBLK*>& layout,
                                    std::size_t first_new, void (*visit_each)(BBLK*) = nullptr);

// Tail-recursion removal on one block; true when a self-call became a jump.
bool remove_tail_recursion(FlowGraph& graph, BBLK* block);

// Flow-graph clean-up: jumps to jumps are retargeted, blocks holding only a
// jump are bypassed, an IF with equal targets becomes a BRANCH, and a block
// is merged into its only predecessor when it is that block's only
// successor.  Renumbers the graph; true when anything changed.
bool simpcfg(FlowGraph& graph);

// Writes the blocks back into the body's statement list in layout order,
// with a LABELDEF for each label and without jumps to the block that
// follows.  The graph stays as it is.
void flatten_flow_graph(FlowGraph& graph);

// Checks blocks and edges; returns a description of the first violation,
// or "" when the graph is consistent.
std::string verify_flow_graph(const FlowGraph& graph);

// The block dump ("++++(WRBBLOCKS)" lines) in layout order.
void dump_flow_graph(const FlowGraph& graph, FILE* out);
std::string flow_graph_text(const FlowGraph& graph);
// Dumps the current graph to the debug log (for RunContext::flow_graph_dumper).
void dump_current_flow_graph();

// The label targets of a transfer statement, in tree order (IF: true target
// first; SWITCH: cases in list order).
std::vector<LABEL_REC*> transfer_targets(const NODE* statement);
// Applies `visit` to each LABELREF that a transfer jumps to, in tree order.
// An IF's condition and a SWITCH's selector hold no targets and are not
// walked: on large functions every node touched is a likely cache miss.
template <typename Visit> void for_each_target_ref(NODE* transfer, Visit&& visit) {
    if (transfer == nullptr)
        return;
    NODE* targets = nullptr;
    switch (transfer->op) {
    case ir::BRANCH:
        targets = transfer->left;
        break;
    case ir::IF:
    case ir::SWITCH:
        targets = transfer->right;
        break;
    default:
        return;
    }
    ir::walk_tree(targets, [&](NODE* node) {
        if (node->op == ir::LABELREF)
            visit(node);
    });
}

// Starts loading every cache line of the block's record.  A record spans
// five or six lines and starts anywhere in a line, so fetching one or two
// chosen fields leaves the rest of a walk waiting for memory.
inline void fetch_block_record(const BBLK* block) {
    const char* bytes = reinterpret_cast<const char*>(block);
    for (std::size_t at = 0; at < sizeof(BBLK); at += 64)
        __builtin_prefetch(bytes + at);
    __builtin_prefetch(bytes + sizeof(BBLK) - 1);
}

// How far ahead of a walk over a block list the records are fetched: far
// enough to cover a miss to memory, near enough to stay in the cache.
inline constexpr std::size_t kFetchRecordsAhead = 16;

// Calls visit(block) for every block of `blocks` (skipping nulls), first to
// last, with the records ahead fetched.  A list of pointers gives the
// processor's own prefetcher nothing to follow.
template <typename Visit>
void for_each_block_fetching_records(const std::vector<BBLK*>& blocks, Visit&& visit) {
    const std::size_t n = blocks.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kFetchRecordsAhead < n && blocks[i + kFetchRecordsAhead] != nullptr)
            fetch_block_record(blocks[i + kFetchRecordsAhead]);
        if (blocks[i] != nullptr)
            visit(blocks[i]);
    }
}

// The same from the last block to the first.
template <typename Visit>
void for_each_block_backwards_fetching_records(const std::vector<BBLK*>& blocks, Visit&& visit) {
    for (std::size_t i = blocks.size(); i-- > 0;) {
        if (i >= kFetchRecordsAhead && blocks[i - kFetchRecordsAhead] != nullptr)
            fetch_block_record(blocks[i - kFetchRecordsAhead]);
        if (blocks[i] != nullptr)
            visit(blocks[i]);
    }
}

// Starts loading the nodes under a transfer's operand that hold its
// targets: an IF's and a SWITCH's targets hang below a COLON or a list.
inline void fetch_operands(const NODE* node) {
    if (node == nullptr)
        return;
    __builtin_prefetch(node->left);
    __builtin_prefetch(node->right);
}

// Calls visit(block) for every block of `blocks` (skipping nulls), with
// the records ahead, the transfers they end with, those transfers'
// operands and the operands' operands (where an IF keeps its target
// labels) fetched while the current block is handled: each is a miss on
// a function larger than the cache, and they depend on one another.
template <bool backwards, typename Visit>
void walk_blocks_fetching_transfers(const std::vector<BBLK*>& blocks, Visit&& visit) {
    constexpr std::size_t kRecordAhead = 32, kTransferAhead = 24, kOperandsAhead = 16,
                          kTargetsAhead = 8;
    const std::size_t n = blocks.size();
    // The k-th block of the walk.
    auto block_at = [&](std::size_t k) { return blocks[backwards ? n - 1 - k : k]; };
    auto transfer_at = [&](std::size_t k) -> const NODE* {
        return k < n && block_at(k) != nullptr ? block_at(k)->last_statement() : nullptr;
    };
    for (std::size_t k = 0; k < n; ++k) {
        if (k + kRecordAhead < n && block_at(k + kRecordAhead) != nullptr)
            fetch_block_record(block_at(k + kRecordAhead));
        if (const NODE* last = transfer_at(k + kTransferAhead))
            __builtin_prefetch(last);
        fetch_operands(transfer_at(k + kOperandsAhead));
        if (const NODE* last = transfer_at(k + kTargetsAhead))
            fetch_operands(last->op == ir::BRANCH ? nullptr : last->right);
        if (block_at(k) != nullptr)
            visit(block_at(k));
    }
}

template <typename Visit>
void for_each_block_fetching_transfers(const std::vector<BBLK*>& blocks, Visit&& visit) {
    walk_blocks_fetching_transfers<false>(blocks, visit);
}

// The same from the last block to the first.  On a function larger than
// the cache, a walk that follows another in the same direction finds
// little of what that one read (the oldest lines go first); going back
// the other way it starts with what the walk before it touched last.
template <typename Visit>
void for_each_block_backwards_fetching_transfers(const std::vector<BBLK*>& blocks, Visit&& visit) {
    walk_blocks_fetching_transfers<true>(blocks, visit);
}

// Points every LABELREF of the statement that leads to `from` at `to`;
// returns how many it changed.
int retarget_label_refs(NODE* statement, const BBLK* from, LABEL_REC* to);
// True for the statements that end a block.
bool is_transfer(const NODE* statement);

} // namespace vx::flow
