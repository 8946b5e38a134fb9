// Questions the simplifier asks of trees: does evaluating it have an
// effect, is it a volatile access, are two trees the same computation.
#pragma once

#include "ir/node.h"

namespace vx::scalar {

// The type, or what it is built on, is volatile-qualified.
bool is_volatile_type(const ir::TYPE* type);

// The node itself reads or writes volatile memory: a NAME of a volatile
// variable, or an indirection or member access of volatile type or through
// a volatile aggregate or pointer.
bool is_volatile_access(const ir::NODE* node);

// The node itself has an effect beyond its value: an assignment of any
// kind, an increment, a call, a volatile access, inline text, or an opcode
// the simplifier does not know (which it treats as having one).
bool has_own_effect(const ir::NODE* node);

// Evaluating the tree has an effect somewhere.
bool has_side_effects(const ir::NODE* tree);
inline bool is_pure(const ir::NODE* tree) {
    return !has_side_effects(tree);
}

// Both trees compute the same value from the same variables: equal
// opcodes, types, payloads and operands.  Says nothing about effects.
bool same_tree(const ir::NODE* a, const ir::NODE* b);

// The type of a node whose value the simplifier may hand on for another:
// equal records, or integers of equal width and signedness (neither bool),
// or the same type under qualifiers and typedefs.
bool same_value_type(const ir::TYPE* a, const ir::TYPE* b);

// The node's opcode yields 0 or 1 (a comparison, EXCLAIM, ANDAND, OROR).
bool yields_truth_value(const ir::NODE* node);

} // namespace vx::scalar
