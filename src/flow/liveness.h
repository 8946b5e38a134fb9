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

// Tidies every statement (the simplifier; COMMAOP chains become one
// statement each), selects the candidates, computes the local sets and
// solves the global equations.  With `self_updates_not_uses`, an
// assignment x = f(x) without side effects does not make x live by itself;
// without it, every statement is marked with the candidates live after it
// (BlockLiveSets::after_statement, see live_after_statement).  With `vector_arrays`,
// locals of vector-array type filed apart are candidates too.  Returns the
// candidate count (also graph.lva_candidates.size()).
uint32_t find_live_variables(FlowGraph& graph, bool self_updates_not_uses, bool vector_arrays);

// Numbers the candidates only (no sets): Symbol::candidate of every local,
// -1 for those that are not candidates.  Returns the count.
uint32_t number_lva_candidates(FlowGraph& graph, bool vector_arrays = false);

// Drops the live sets of every block.
void free_live_sets(FlowGraph& graph);

// True when `symbol` (a candidate) is live after statement `index` of the
// block, by the marks of the last run without the self-update flag; false
// when the block has no marks.
bool live_after_statement(const BBLK& block, std::size_t index, const ir::Symbol& symbol);

// Simplifies the block's statements and splits COMMAOP chains; a statement
// left without effect goes, the transfer at the end stays.
void tidy_block_statements(FlowGraph& graph, BBLK& block);

// Deletes assignments, increments and compound assignments whose value no
// one reads, keeps the side effects of their right sides, and drops local
// variables left without references.  Returns the number of statements
// deleted or rewritten.  `delay` and `extra_cleanup` select the follow-up
// clean-ups.
uint32_t elim_dead_assigns(FlowGraph& graph, bool delay = false, bool extra_cleanup = false);

// Moves assignments to candidates from the end of a block with several
// successors into the successors that read the value, so that paths that
// do not need it skip the computation.  An edge to a block with other
// predecessors gets a block of its own when no loop hierarchy is built.
// Needs the IN sets of the last dead-assignment scan; true when the
// control structure changed.
bool delay_assignments(FlowGraph& graph);

// True when evaluating the tree has an effect besides its value (a store,
// an increment, a call, an assembly text or a volatile access).
bool has_side_effects(const NODE* tree);

} // namespace vx::flow
