// The successor lists handed from one part of the flow-graph build to the
// next, so that the parts need not read every block record to learn them.
#pragma once

#include "flow/flow_graph.h"

#include <cstdint>
#include <vector>

namespace vx::flow {

// Successor lists by serial number: block s lists the serial numbers
// targets[first[s] .. first[s + 1]).
struct EdgeArrays {
    std::vector<uint32_t> first;
    std::vector<uint32_t> targets;
    uint32_t live = 0; // blocks not destroyed
};

// Where the label references of every transfer are, taken by a fresh
// build while it forms each block: the trees that for_each_target_ref
// would walk (a jump's label node, an IF's two targets, a SWITCH's case
// list), in tree order, not yet read.
struct GatheredTargets {
    // Block c in creation order (its serial number while the builder runs)
    // has its targets in target_trees[start[c] .. start[c + 1]).
    std::vector<uint32_t> start;
    std::vector<NODE*> target_trees;
};

// Forms the blocks as build_blocks does, routes every URETURN but the
// exit block's to the exit block, and notes where the transfers' label
// references are.
// False when the serial numbers do not follow creation order reversed
// (never after a fresh start); the references are then of no use.
bool build_blocks_gathering_targets(FlowGraph& graph, GatheredTargets& gathered);

// The edges, UONs and numbering of a graph just formed, from the gathered
// references: the block records get their successors only when the
// numbering places them.
void number_gathered_blocks(FlowGraph& graph, GatheredTargets&& gathered);

} // namespace vx::flow
