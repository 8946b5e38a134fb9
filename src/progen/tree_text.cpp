#include "progen/tree_text.h"

#include <algorithm>
#include <cstdint>

namespace vx::progen::tree {

namespace {

std::string typed(const char* opcode, int type) {
    std::string text = "(";
    text += opcode;
    if (type != 0)
        text += ":" + std::to_string(type);
    return text;
}

// An ICON carries only 32 bits; wider values are written as LCON.
bool fits_icon(Scalar s, int64_t value) {
    if (is_signed(s))
        return value >= INT32_MIN && value <= INT32_MAX;
    return static_cast<uint64_t>(value) <= UINT32_MAX;
}

} // namespace

std::string constant(Scalar s, int64_t value) {
    value = wrap_to(s, value);
    const std::string digits =
        is_signed(s) ? std::to_string(value) : std::to_string(static_cast<uint64_t>(value));
    if (fits_icon(s, value))
        return typed("ICON", type_no(s)) + " " + digits + ")";
    return typed("LCON", type_no(s)) + " \"" + digits + "\")";
}

std::string int_constant(int value) {
    return constant(Scalar::i16, value);
}

std::string name(int type, int level, int index) {
    return typed("NAME", type) + " " + std::to_string(level) + " " + std::to_string(index) + ")";
}

std::string unary(const char* opcode, int type, const std::string& operand) {
    return typed(opcode, type) + " " + operand + ")";
}

std::string binary(const char* opcode, int type, const std::string& left,
                   const std::string& right) {
    return typed(opcode, type) + " " + left + " " + right + ")";
}

std::string label(int number) {
    return "(LABEL " + std::to_string(number) + ")";
}

std::string nop() {
    return "(NOP)";
}

std::string convert(Scalar from, Scalar to, const std::string& value) {
    if (from == to)
        return value;
    return unary("SCONV", type_no(to), value);
}

int node_count(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '('));
}

} // namespace vx::progen::tree
