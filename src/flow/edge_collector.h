// Edges made while the blocks are formed, for a fresh build.  The builder
// walks from the last statement to the first, so a block's forward targets
// already have their blocks when it is made, and its edges are added while
// its transfer is still in the cache; a block that jumps back waits until
// the label it names is defined.  The lists also go into arrays by serial
// number, from which the numbering orders and walks them, so that no walk
// over the records comes between forming the blocks and placing them.
#pragma once

#include "flow/flow_graph.h"

#include <unordered_map>
#include <utility>
#include <vector>

namespace vx::flow {

class EdgeCollector {
public:
    explicit EdgeCollector(FlowGraph& graph) : g_(graph) {}

    // The builder has made `block`; its serial number is still its place
    // in creation order.
    void block_made(BBLK* block);
    // A label of the file now starts a block; `again` when it already did
    // (a label defined twice), which the collector leaves to the records.
    void label_defined(uint32_t number, bool again);
    // The serial numbers now follow the chain; `as_built` when they are
    // the creation order reversed.
    void blocks_done(bool as_built) { as_built_ = as_built; }

    // Numbers the blocks from the arrays, or, after anything the collector
    // does not follow, builds the edges and numbers the blocks afresh.
    void number();

private:
    bool label_has_block(const NODE* ref) const;
    bool targets_known(const BBLK* block) const;
    void add_edges(BBLK* block);

    FlowGraph& g_;
    // (block, target) by creation order, each block's edges together and
    // in list order.
    std::vector<std::pair<uint32_t, uint32_t>> edges_;
    // Blocks waiting, by the number of a label not defined yet.
    std::unordered_map<uint32_t, std::vector<uint32_t>> waiting_;
    uint32_t still_waiting_ = 0;
    bool as_built_ = false;
    bool label_defined_twice_ = false;
};

} // namespace vx::flow
