// Edges made while the blocks are formed, for a fresh build.  The builder
// walks from the last statement to the first, so a block's forward targets
// already have their blocks when it is made, and its edges are added while
// its transfer is still in the cache; a block that jumps back waits until
// the label it names is defined.  The lists also go into arrays by serial
// number, from which the numbering orders and walks them, so that no walk
// over the records comes between forming the blocks and placing them.
#pragma once

#include "flow/flow_graph.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace vx::flow {

class EdgeCollector {
public:
    explicit EdgeCollector(FlowGraph& graph) : g_(graph) {}

    // Before the first block: the range of the label numbers the function
    // defines, and its length in statements.
    void expect_labels(uint32_t lowest, uint32_t highest, std::size_t statements);
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
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Wait {
        uint32_t block; // creation place
        uint32_t next;  // the next wait for the same label, or kNone
    };

    bool try_edges(BBLK* block);
    void wait(BBLK* block);

    FlowGraph& g_;
    // (block, target) by creation place, each block's edges together and
    // in list order.
    std::vector<std::pair<uint32_t, uint32_t>> edges_;
    // The blocks waiting for each label not defined yet, by its number less
    // the lowest: a list through waits_.
    std::vector<uint32_t> first_waiting_;
    std::vector<Wait> waits_;
    uint32_t lowest_label_ = 0;
    uint32_t still_waiting_ = 0;
    bool as_built_ = false;
    // Something the collector does not follow (a label defined twice, a
    // number never defined, numbers spread too far): the edges are made
    // from the records after all.
    bool gave_up_ = false;
};

} // namespace vx::flow
