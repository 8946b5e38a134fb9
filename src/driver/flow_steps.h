// The current function's flow graph as the steps see it, and the checks of
// `debug:verify`.
//
// A function's graph is built by the first step of a stretch that needs
// blocks and lives until the function leaves the stretch (the end of "pass
// 1", or the trailer), when its blocks are written back into the statement
// list: only one function has blocks at a time.
#pragma once

#include "flow/flow_graph.h"

namespace vx::driver {

// False under `debug:passthrough`: the steps then leave every function as
// read, and the output means what the input means record for record (the
// reader and writer are tested that way).
bool steps_transform();

// Notes `debug:passthrough` and `debug:verify` in the run's context; called
// whenever the switch lists have been applied.
void note_step_switches();

// The graph of the current function, built when it has none.
flow::FlowGraph& function_flow_graph();
// Writes the graph back into the statement list and drops it (nothing when
// the function has no graph).
void release_function_flow_graph();

// With `debug:verify`: checks the current function's trees, symbols and,
// when it has one, its flow graph, and ends the run abnormally naming the
// step when something is broken.
void verify_after_step(int step_number, const char* step_name);

} // namespace vx::driver
