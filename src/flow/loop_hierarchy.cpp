// Loop finding over the depth-first numbering: a back edge goes to a block
// whose DFN is not greater; its target is the header, which must dominate
// the latch.  Headers are visited from the highest DFN down, so inner
// loops are found before the loops around them.
#include "flow/loop_hierarchy.h"

#include "driver/abnormal_end.h"
#include "driver/listing.h"
#include "flow/dominators.h"
#include "flow/loop_transforms.h"

#include <algorithm>
#include <cstdio>

namespace vx::flow {

namespace {

Loop* outermost(Loop* loop) {
    while (loop->parent != nullptr)
        loop = loop->parent;
    return loop;
}

void note_lines(Loop& loop, const BBLK* b) {
    if (b->first_line != 0 && (loop.first_line == 0 || b->first_line < loop.first_line))
        loop.first_line = b->first_line;
    loop.last_line = std::max(loop.last_line, b->last_line);
}

class LoopFinder {
public:
    LoopFinder(FlowGraph& graph, LoopHierarchy& hierarchy) : g_(graph), h_(hierarchy) {}
    // False when the hierarchy must be abandoned.
    bool find();
    void make_root();
    void abandon();

private:
    Loop* new_loop(BBLK* header, BBLK* latch);
    void fill(Loop* loop);
    void take(Loop* loop, BBLK* b, std::vector<BBLK*>& work);

    FlowGraph& g_;
    LoopHierarchy& h_;
};

Loop* LoopFinder::new_loop(BBLK* header, BBLK* latch) {
    Loop* loop = h_.loops.emplace_back(h_.pool.make());
    loop->header = header;
    loop->latch = latch;
    loop->number = static_cast<uint16_t>(++h_.loops_found);
    return loop;
}

void LoopFinder::take(Loop* loop, BBLK* b, std::vector<BBLK*>& work) {
    if (b == loop->header)
        return;
    if (b->loop == nullptr) {
        b->loop = loop;
        loop->blocks.push_back(b);
        note_lines(*loop, b);
        work.push_back(b);
        return;
    }
    Loop* inner = outermost(b->loop);
    if (inner == loop)
        return;
    inner->parent = loop;
    loop->blocks.push_back(inner->header);
    work.push_back(inner->header);
}

void LoopFinder::fill(Loop* loop) {
    loop->header->loop = loop;
    std::vector<BBLK*> work;
    if (loop->latch != loop->header)
        take(loop, loop->latch, work);
    while (!work.empty()) {
        BBLK* b = work.back();
        work.pop_back();
        for (const Edge& e : b->preds)
            if (e.block->loop != loop)
                take(loop, e.block, work);
    }
    loop->blocks.push_back(loop->header);
    note_lines(*loop, loop->header);
}

bool LoopFinder::find() {
    Dominator& dom = g_.dominator ? *g_.dominator : compute_dominators(g_);
    const std::vector<BBLK*>& order = g_.layout_order();
    for (std::size_t i = order.size(); i-- > 0;) {
        if (i >= kFetchRecordsAhead)
            fetch_block_record(order[i - kFetchRecordsAhead]);
        BBLK* b = order[i];
        if (b->preds.empty())
            continue;
        if (b->loop != nullptr)
            return false;
        BBLK* latch = nullptr;
        for (const Edge& e : b->preds) {
            if (e.block->dfn < b->dfn)
                continue;
            if (latch != nullptr || e.block->loop != nullptr || !dom.dominates(b, e.block))
                return false;
            latch = e.block;
        }
        if (latch != nullptr)
            fill(new_loop(b, latch));
    }
    return true;
}

void LoopFinder::make_root() {
    Loop* root = h_.loops.emplace_back(h_.pool.make());
    h_.root = root;
    root->header = g_.first;
    root->number = static_cast<uint16_t>(h_.loops_found + 1);
    for_each_block_backwards_fetching_records(g_.layout_order(), [&](BBLK* b) {
        if (b->loop == nullptr) {
            b->loop = root;
            root->blocks.push_back(b);
            note_lines(*root, b);
            if (root->latch == nullptr)
                root->latch = b;
        } else if (b->loop != root && b->loop->header == b && b->loop->parent == nullptr) {
            b->loop->parent = root;
            root->blocks.push_back(b);
        }
    });
}

void LoopFinder::abandon() {
    for_each_block_fetching_records(g_.layout_order(), [](BBLK* b) { b->loop = nullptr; });
    h_.loops.clear();
    h_.pool.clear();
    h_.loops_found = 0;
    h_.abandoned = true;
}

void make_children_preheaders(FlowGraph& graph, Loop& loop);

// Loops from the inside out, so that an inner preheader exists before the
// loop around it looks for its own.
void make_preheaders(FlowGraph& graph, Loop& loop) {
    make_children_preheaders(graph, loop);
    make_preheader(graph, loop);
}

// Making a preheader reads the header, the blocks that jump to it and
// their transfers, each a likely miss on a large function and each found
// through the one before: the headers ahead are fetched in stages.
void fetch_entries(const std::vector<BBLK*>& blocks, std::size_t i) {
    constexpr std::size_t kHeaderAhead = 16, kPredecessorsAhead = 12, kTransfersAhead = 8,
                          kTargetsAhead = 4;
    const std::size_t n = blocks.size();
    if (i + kHeaderAhead < n)
        fetch_block_record(blocks[i + kHeaderAhead]);
    if (i + kPredecessorsAhead < n)
        for (const Edge& e : blocks[i + kPredecessorsAhead]->preds)
            fetch_block_record(e.block);
    if (i + kTransfersAhead < n)
        for (const Edge& e : blocks[i + kTransfersAhead]->preds)
            if (const NODE* last = e.block->last_statement())
                __builtin_prefetch(last);
    if (i + kTargetsAhead < n)
        for (const Edge& e : blocks[i + kTargetsAhead]->preds)
            if (const NODE* last = e.block->last_statement())
                fetch_operands(last->op == ir::BRANCH ? last : last->right);
}

// The list grows while it is walked (a child's preheader joins it), so it is
// walked by position; a preheader heads no loop.
void make_children_preheaders(FlowGraph& graph, Loop& loop) {
    for (std::size_t i = 0; i < loop.blocks.size(); ++i) {
        fetch_entries(loop.blocks, i);
        if (Loop* child = loop.child_headed_by(loop.blocks[i]))
            make_preheaders(graph, *child);
    }
}

} // namespace

std::vector<Loop*> Loop::children() const {
    std::vector<Loop*> kids;
    for (BBLK* b : blocks)
        if (Loop* child = child_headed_by(b))
            kids.push_back(child);
    return kids;
}

bool Loop::contains(const BBLK* block) const {
    for (const Loop* l = block->loop; l != nullptr; l = l->parent)
        if (l == this)
            return true;
    return false;
}

BBLK* make_preheader(FlowGraph& graph, Loop& loop) {
    if (loop.parent == nullptr)
        return nullptr;
    BBLK* header = loop.header;
    boost::container::small_vector<BBLK*, 4> outside;
    for (const Edge& e : header->preds)
        if (!loop.contains(e.block))
            outside.push_back(e.block);
    if (outside.size() == 1 && outside.front()->loop == loop.parent &&
        outside.front()->succs.size() == 1) {
        loop.preheader = outside.front();
        return loop.preheader;
    }
    StatementEntry jump{graph.branch_to(header), {}};
    if (!header->statements.empty())
        jump.pos = header->statements.front().pos;
    BBLK* pre = graph.make_block({jump}, header);
    driver::debug_printf("\t\tAdding preheader for loop #%d with header BB%d.\n", loop.number,
                         static_cast<int>(header->dfn));
    pre->dfn = header->dfn;
    pre->loop = loop.parent;
    loop.parent->blocks.push_back(pre);
    add_edge(pre->succs, header);
    add_edge(header->preds, pre);
    LABEL_REC* entry = graph.label_of(pre);
    for (BBLK* o : outside) {
        retarget_label_refs(o->last_statement(), header, entry);
        remove_edge(header->preds, o);
        add_edge(pre->preds, o);
        for (Edge& e : o->succs)
            if (e.block == header)
                e.block = pre;
        if (o->last_line != 0)
            pre->first_line = pre->last_line = o->last_line;
    }
    ++graph.block_count;
    graph.note_change();
    loop.preheader = pre;
    return pre;
}

void number_loop_depths(LoopHierarchy& hierarchy) {
    for (auto at = hierarchy.loops.rbegin(); at != hierarchy.loops.rend(); ++at) {
        Loop& l = **at;
        const int d = l.parent == nullptr ? 0 : l.parent->depth + 1;
        if (d > 32767) {
            std::fprintf(stderr, "Too many nested loops:  %d\n", d);
            driver::terminate_abnormally();
        }
        l.depth = static_cast<int16_t>(d);
    }
}

void finish_loop_lists(LoopHierarchy& hierarchy) {
    for (Loop* l : hierarchy.loops)
        if (!l->blocks.empty() && l->blocks.front()->dfn > l->header->dfn)
            std::reverse(l->blocks.begin(), l->blocks.end());
    // Inner loops first, each widening its parent's span with its own
    // (already widened) one.
    for (const Loop* l : hierarchy.loops) {
        Loop* p = l->parent;
        if (p == nullptr)
            continue;
        if (l->first_line != 0 && (p->first_line == 0 || l->first_line < p->first_line))
            p->first_line = l->first_line;
        p->last_line = std::max(p->last_line, l->last_line);
    }
}

void take_loop_depth(BBLK* block) {
    if (block->loop != nullptr)
        block->loop_depth = block->loop->depth;
}

void clear_loop_hierarchy(FlowGraph& graph) {
    for_each_block_fetching_records(graph.blocks, [](BBLK* b) {
        b->loop = nullptr;
        b->loop_depth = 0;
    });
    graph.loops.reset();
}

namespace {

// Each round of the rewrites makes a loop's test bottom-tested or removes a
// guard, so few rounds are ever needed; the bound only guards against a
// rewrite that keeps undoing another.
constexpr int kMaxRewriteRounds = 16;

LoopHierarchy* build_once(FlowGraph& graph, const LoopHierarchyFlags& flags) {
    // While the numbering stands every block is on the layout list, and
    // the walk that counts the back edges also clears what an earlier
    // hierarchy left in the records.
    const bool whole_layout = graph.layout_holds_every_block();
    if (graph.first == nullptr || !graph.first->preds.empty() || !whole_layout) {
        clear_loop_hierarchy(graph);
        if (graph.first == nullptr || !graph.first->preds.empty())
            return nullptr;
    }
    graph.loops.reset();
    uint32_t back_edges = 0;
    bool entered_elsewhere = false; // a block other than the first has no predecessor
    for_each_block_fetching_records(graph.layout_order(), [&](BBLK* b) {
        b->loop = nullptr;
        b->loop_depth = 0;
        entered_elsewhere = entered_elsewhere || (b != graph.first && b->preds.empty());
        for (const Edge& e : b->succs)
            back_edges += e.block->dfn <= b->dfn ? 1 : 0;
    });
    if (entered_elsewhere)
        return nullptr;
    if (back_edges == 0 && flags.loops_only)
        return nullptr;

    graph.loops = std::make_unique<LoopHierarchy>();
    LoopHierarchy& h = *graph.loops;
    LoopFinder finder(graph, h);
    if (!finder.find())
        finder.abandon();
    finder.make_root();
    number_loop_depths(h);
    // Preheaders added give every block its place in the depth-first order
    // again; the order before them usually tells where they go, and the
    // walk that puts them there gives the blocks their depths too.
    const bool numbered = graph.numbering_is_current();
    const std::vector<BBLK*> layout = numbered ? graph.layout_order() : std::vector<BBLK*>{};
    const std::size_t first_new = graph.blocks.size();
    make_children_preheaders(graph, *h.root);
    bool depths_given = false;
    if (graph.blocks.size() != first_new) {
        if (numbered)
            depths_given =
                number_blocks_after_preheaders(graph, layout, first_new, take_loop_depth);
        else
            number_blocks(graph);
    }
    if (!depths_given)
        for_each_block_fetching_records(graph.layout_order(), take_loop_depth);
    finish_loop_lists(h);
    return &h;
}

} // namespace

LoopHierarchy* build_loop_hierarchy(FlowGraph& graph, const LoopHierarchyFlags& flags) {
    driver::debug_printf("\n\n\t\t\t---------- ENTERING 'build_loop_hierarchy' -------\n");
    LoopHierarchy* hierarchy = build_once(graph, flags);
    if (!flags.transform_loops)
        return hierarchy;
    for (int round = 0; hierarchy != nullptr && round < kMaxRewriteRounds; ++round) {
        // Either rewrite leaves the hierarchy stale: one per round.
        if (!replicate_while_loop_tests(graph, *hierarchy) && !fold_loop_guards(graph, *hierarchy))
            break;
        renumber_flow_graph(graph);
        hierarchy = build_once(graph, flags);
    }
    return hierarchy;
}

} // namespace vx::flow
