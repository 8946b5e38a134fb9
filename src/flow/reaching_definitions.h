// Reaching definitions: per-block GEN, KILL, IN and OUT sets over a
// numbered list of definition statements, indexed by block DFN.  The
// live-range splitter fills them; this module keeps them and dumps them.
#pragma once

#include "flow/flow_graph.h"

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace vx::flow {

struct ReachingDefinitions {
    std::vector<NODE*> definitions; // by definition number
    std::unordered_map<const NODE*, uint32_t> number_of;
    std::vector<BITVEC> gen, kill, in, out; // by DFN 0..N

    // Numbers the definition (once) and returns its number.
    uint32_t add_definition(NODE* statement);
    // Sizes the four arrays for the graph's blocks and the definitions so
    // far, all sets clear.
    void size_sets(uint32_t block_count);
};

// The graph's sets, made empty on first use.
ReachingDefinitions& reaching_definitions(FlowGraph& graph);
void free_reaching_definitions(FlowGraph& graph);

// The dump of the debug log; nothing below debug level 2 or without
// definitions.
std::string reaching_definitions_text(const FlowGraph& graph, long debug_level);
void dump_reaching_definitions(const FlowGraph& graph, long debug_level, FILE* out);

} // namespace vx::flow
