// The debug log's picture of a tree: one line per node, operators before
// their operands, each operand indented two columns more than its operator:
//
//   =        : int
//     NAME     x : int
//     +        : int
//       NAME     y : int
//       ICON     1 : int
//
// A line is the opcode's printed form, the node's payload, " : " and the
// type's spelling (when the type package has given one), and " #id" for a
// node with an id.  See docs/trees.md for the payload of each opcode.
#pragma once

#include "ir/node.h"

#include <cstdio>
#include <string>

namespace vx::ir {

// Indentation stops growing at this depth; deeper lines show their depth
// as "(depth) " after the deepest indentation instead.
inline constexpr std::size_t deepest_indented_level = 30;

// The payload part of a node's line, with its leading blank ("" for none).
std::string node_payload_text(const NODE* node);
// One node's line, without indentation or newline.
std::string node_line(const NODE* node);
// The whole tree, one line per node, each ending with a newline.
std::string tree_text(const NODE* root);
// Writes tree_text to the log and flushes it.
void print_tree(FILE* log, const NODE* root);

} // namespace vx::ir
