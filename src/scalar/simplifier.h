// The tree simplifier that every pass calls.
//
// It rewrites a tree into a simpler one with the same meaning: constants
// folded exactly (constant_folder.h), redundant conversions dropped,
// algebraic identities applied where they hold under wrap-around at the
// node's width, constants moved to the right of commutative operators and
// constant additions gathered into one.  It never removes a side effect
// (assignment, increment, call, volatile access) and never folds or
// introduces a division by zero or an out-of-range shift.  docs/simplifier.md
// lists the rules.
//
// Trees are rewritten in place where possible; new nodes come from the node
// factory (ir::make_node), that is from the current function's arena.  The
// dropped parts of a tree are not freed: they go with the arena.
#pragma once

#include <boost/container/small_vector.hpp>

#include "ir/node.h"

#include <vector>

namespace vx::icode {
struct StatementEntry;
} // namespace vx::icode

namespace vx::scalar {

// The tree that takes the place of expression `tree` (never null): same
// value, same effects.
ir::NODE* simplify_expression(ir::NODE* tree);

// The statement that takes the place of `statement`, or nullptr when
// nothing of it has an effect.  Control statements keep their form (only
// their conditions and values are simplified); an expression statement is
// reduced to the parts that have effects, joined by COMMAOP.
ir::NODE* simplify_statement(ir::NODE* statement);

// Statements the tidy step leaves exactly as they are: labels, branches,
// inline text, block and loop marks, assertions and the optimizer's
// internal statement forms.
bool is_kept_statement(ir::Opcode op);

// A statement tidied: kept statements come back unchanged; others are
// simplified, and a COMMAOP chain at the top (or in the condition or
// value of a control statement) becomes one statement per operand, in
// evaluation order.  Empty when nothing is left.
// Most statements stay one piece: the list keeps two in place.
using StatementPieces = boost::container::small_vector<ir::NODE*, 2>;
StatementPieces tidy_statement(ir::NODE* statement);

// Tidies every statement of a function's list; the pieces of a split
// statement keep its position.
void tidy_statements(std::vector<icode::StatementEntry>& statements);

} // namespace vx::scalar
