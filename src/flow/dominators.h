// Dominators and postdominators of the current function's blocks, by DFN.
//
// One Dominator object per function, built on first demand by
// compute_dominators and rebuilt lazily: every query first checks whether
// the graph has changed since the last build (its change count, its block
// count, or an explicit mark_dirty) and rebuilds when it has.
//
// Tables are indexed by DFN 0..N.  idom 0 marks an entry block; ipdom N+1
// stands for the virtual exit that follows every exit block.
#pragma once

#include "flow/flow_graph.h"

#include <cstdint>
#include <vector>

namespace vx::flow {

class Dominator {
public:
    // The value of an entry still to be found while building.
    static constexpr int32_t unknown = -556;

    explicit Dominator(FlowGraph& graph);

    void rebuild();
    void mark_dirty() { dirty_ = true; }

    // The immediate dominator of the block with that DFN (or of the block);
    // nullptr for an entry block.
    BBLK* idom(uint32_t dfn);
    BBLK* idom(const BBLK* block) { return idom(block->dfn); }
    // The immediate postdominator; nullptr when it is the virtual exit.
    BBLK* ipdom(const BBLK* block);
    bool dominates(uint32_t a, uint32_t b);
    bool postdominates(uint32_t a, uint32_t b);
    bool dominates(const BBLK* a, const BBLK* b) { return dominates(a->dfn, b->dfn); }
    bool postdominates(const BBLK* a, const BBLK* b) { return postdominates(a->dfn, b->dfn); }

    // The raw numbers, for tests and dumps.
    int32_t idom_number(uint32_t dfn);
    int32_t ipdom_number(uint32_t dfn);
    const std::vector<BBLK*>& dominator_preorder();
    const std::vector<BBLK*>& postdominator_preorder();
    const std::vector<BBLK*>& dominator_children(uint32_t dfn);
    const std::vector<BBLK*>& postdominator_children(uint32_t dfn);
    uint32_t block_count() const { return n_; }

private:
    // One direction of the edges by DFN: the neighbours of block d are
    // targets[start[d]] .. targets[start[d + 1] - 1].
    struct Adjacency {
        std::vector<uint32_t> start, targets;
        void add(uint32_t dfn, const EdgeList& edges);
        void finish(uint32_t n);
        uint32_t count(uint32_t dfn) const { return start[dfn + 1] - start[dfn]; }
    };

    void ensure_fresh();
    void build();
    void collect_blocks(std::vector<BBLK*>& entries, std::vector<BBLK*>& exits);
    std::vector<uint32_t> depth_first(const std::vector<uint32_t>& starts,
                                      const Adjacency& edges) const;
    std::vector<uint32_t> forward_order(const std::vector<BBLK*>& entries);
    std::vector<uint32_t> reverse_order(const std::vector<BBLK*>& exits);
    void iterate_dominators(const std::vector<uint32_t>& order);
    void iterate_postdominators(const std::vector<uint32_t>& order, const std::vector<bool>& fixed);
    int32_t intersect_dom(int32_t x, int32_t y) const;
    int32_t intersect_postdom(int32_t x, int32_t y) const;
    void make_trees(const std::vector<BBLK*>& exits);
    void repair();
    bool climbs_to(const std::vector<int32_t>& parent, uint32_t a, uint32_t b);

    FlowGraph& graph_;
    uint32_t n_ = 0;
    uint64_t built_version_ = 0;
    bool dirty_ = false;
    std::vector<int32_t> idom_, ipdom_;
    std::vector<uint32_t> order_, reverse_order_numbers_;
    std::vector<BBLK*> block_of_;
    std::vector<std::vector<BBLK*>> dom_children_, postdom_children_;
    std::vector<BBLK*> dom_preorder_, postdom_preorder_;
    Adjacency succs_, preds_; // while building
};

// Builds the current function's dominator object, or rebuilds it; with
// `with_liveness` the live-variable analysis runs afterwards.
Dominator& compute_dominators(FlowGraph& graph, bool with_liveness = false);

} // namespace vx::flow
