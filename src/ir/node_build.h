// Shorthands for making nodes: the leaves with payloads, and lists.  The
// nodes go to the environment's arena (make_node).
#pragma once

#include "ir/node.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace vx::ir {

// An ICON holding `value` as `type` holds it (normalised to its shape).
NODE* make_icon(TYPE* type, const Int96& value);
NODE* make_icon(TYPE* type, int64_t value);
NODE* make_name(Symbol* symbol, TYPE* type);
NODE* make_fcon(TYPE* type, double value);
NODE* make_scon(TYPE* type, std::string_view bytes);
// A reference to code label `number` (opcode 1).
NODE* make_label_ref(uint32_t number);
// A statement that defines code label `number`.
NODE* make_label_def(uint32_t number);
NODE* make_unary(Opcode op, TYPE* type, NODE* operand);
NODE* make_binary(Opcode op, TYPE* type, NODE* left, NODE* right);

// A right-leaning list: op(items[0], op(items[1], ... items[n-1])), the
// shape of COMMA lists and argument lists.  One item is returned as it is;
// no items give nullptr.
NODE* make_list(Opcode op, TYPE* type, std::span<NODE* const> items);
NODE* make_list(Opcode op, TYPE* type, std::initializer_list<NODE*> items);

} // namespace vx::ir
