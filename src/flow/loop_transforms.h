// The loop rewrites that the loop hierarchy repeats while they change
// something: WHILE-loop test replication and loop-guard folding.  Both
// work on a current hierarchy, change statements only, and leave the edges,
// the numbering and the hierarchy to be rebuilt by the caller
// (build_loop_hierarchy does it when `transform_loops` is set).
#pragma once

#include "flow/loop_hierarchy.h"

namespace vx::flow {

// A loop whose header only tests (an IF comparing a varying left side with
// an invariant right side, one target in the loop) and whose latch jumps
// back to it gets a copy of the test at the end of its latch: the header
// becomes the loop's guard.  True when a loop was rewritten.
bool replicate_while_loop_tests(FlowGraph& graph, LoopHierarchy& hierarchy);

// The IF in front of a loop's preheader that compares a local with a
// constant becomes a jump when the local is assigned a constant on the
// straight path into it.  True when a guard was folded.
bool fold_loop_guards(FlowGraph& graph, LoopHierarchy& hierarchy);

} // namespace vx::flow
