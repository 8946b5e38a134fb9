// The output intrinsics' formatting: a printf subset at the target's widths
// (%d is 16 bits, %ld 32, %lld 64).
#pragma once

#include "interp/code.h"

#include <cstdint>
#include <string>

namespace vx::interp {

// Where printf takes its arguments from.
class FormatArguments {
public:
    virtual ~FormatArguments() = default;
    // The next argument; false when there is none.
    virtual bool next(Shape& shape, uint64_t& value) = 0;
    // The NUL-terminated string at a word address (one character a word).
    virtual std::string string_at(uint64_t address) = 0;
};

// Appends the text `format` asks for to `out`.  Conversions: d i u o x X c
// s p f F e E g G %, with the flags - + space # 0, a width and a precision
// (numbers or *), and the lengths h, l, ll (also L, j, z, t as ll).
void format_printf(const std::string& format, FormatArguments& args, std::string& out);

} // namespace vx::interp
