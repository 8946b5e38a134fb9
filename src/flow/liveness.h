// Live variables: which local scalars (the LVA candidates) are live on
// entry to and exit from every block, and dead-assignment removal built on
// it.
//
// Candidates are the function's local scalars whose address is never taken
// and that are not volatile; they are numbered 0, 1, ... in the order of
// the local lists and each block gets IN, OUT, DEF, USE, DEFANY and USEANY
// sets of candidate-count bits (BBLK::live).
#pragma once

#include "flow/flow_graph.h"

namespace vx::flow {

// Selects the candidates, computes the local sets and solves the global
// equations.  With `self_updates_not_uses`, an assignment x = f(x) without
// side effects does not make x live by itself.  With `vector_arrays`,
// locals of vector-array type filed apart are candidates too.  Returns the
// candidate count (also graph.lva_candidates.size()).
uint32_t find_live_variables(FlowGraph& graph, bool self_updates_not_uses, bool vector_arrays);

// Drops the live sets of every block.
void free_live_sets(FlowGraph& graph);

// Deletes assignments, increments and compound assignments whose value no
// one reads, keeps the side effects of their right sides, and drops local
// variables left without references.  Returns the number of statements
// deleted or rewritten.  `delay` and `extra_cleanup` select the follow-up
// clean-ups.
uint32_t elim_dead_assigns(FlowGraph& graph, bool delay = false, bool extra_cleanup = false);

// True when evaluating the tree has an effect besides its value (a store,
// an increment, a call, an assembly text or a volatile access).
bool has_side_effects(const NODE* tree);

} // namespace vx::flow
