// Small helpers that spell tree nodes in the I-code text form.
#pragma once

#include "progen/types.h"

#include <string>

namespace vx::progen::tree {

std::string constant(Scalar s, int64_t value);
std::string int_constant(int value);
std::string name(int type, int level, int index);
std::string unary(const char* opcode, int type, const std::string& operand);
std::string binary(const char* opcode, int type, const std::string& left, const std::string& right);
std::string label(int number);
std::string nop();
// `value` converted to `to`, or `value` itself when it already has that type.
std::string convert(Scalar from, Scalar to, const std::string& value);
// The number of nodes of a tree text: every node opens a parenthesis.
int node_count(const std::string& text);

} // namespace vx::progen::tree
