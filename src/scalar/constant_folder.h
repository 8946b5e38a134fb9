// The constant folder: the value an operator gives for constant operands,
// exactly as the target computes it, or nothing when folding would not be
// exact or the operation is undefined at run time.
//
// Integers are computed at the width and signedness of the types involved
// and wrap modulo 2^width (signed overflow included).  Division by zero,
// the most negative value divided by -1 and shift counts outside
// 0..width-1 are undefined on the target, so they are never folded: the
// folder answers nothing and the caller leaves the operation in place.
//
// Floating values are folded only where the host's IEEE arithmetic gives
// exactly the target's result: float and double are 32-bit single
// precision, long double 64-bit double precision.  Results that are not
// finite, that are subnormal, and conversions that would round are left to
// run time.
#pragma once

#include "ir/int96.h"
#include "ir/opcode.h"

#include <optional>

namespace vx::ir {
class TYPE;
} // namespace vx::ir

namespace vx::scalar {

// Width and signedness of an integral value.
struct IntShape {
    unsigned bits = 16;
    bool is_signed = true;

    friend bool operator==(const IntShape&, const IntShape&) = default;
};

// The shape of an integer or pointer type whose values the folder
// computes; nothing for other types, for bool (whose conversions are not
// truncations) and for a missing type.
std::optional<IntShape> integral_shape(const ir::TYPE* type);
// The width of a floating type (32 or 64); nothing for other types.
std::optional<unsigned> floating_width(const ir::TYPE* type);

// All ones at `shape`: the value of -1 (signed) or the maximum (unsigned).
ir::Int96 all_ones(IntShape shape);
// The most negative value of a signed shape (the top bit alone).
ir::Int96 most_negative(IntShape shape);

// UMINUS, NOTB, EXCLAIM of `value` (of shape `operand`) into `result`.
std::optional<ir::Int96> fold_integer_unary(ir::Opcode op, IntShape result, IntShape operand,
                                            const ir::Int96& value);

// A binary operator on constants.  `left` and `right` are the operands'
// shapes; arithmetic requires both to equal `result` (shift counts may be
// of any shape), comparisons require equal operand shapes.
std::optional<ir::Int96> fold_integer_binary(ir::Opcode op, IntShape result, IntShape left,
                                             IntShape right, const ir::Int96& a,
                                             const ir::Int96& b);

// An integer conversion: truncation, or extension by the source's
// signedness.
ir::Int96 convert_integer(IntShape to, IntShape from, const ir::Int96& value);

// The comparison as the other operand order sees it (LT becomes GT ...);
// the opcode itself for EQ and NEQ.
ir::Opcode mirrored_comparison(ir::Opcode op);
// The comparison that is true exactly when `op` is false, for integer
// operands.
ir::Opcode inverted_comparison(ir::Opcode op);
bool is_comparison(ir::Opcode op);

// ---- Floating point ---------------------------------------------------------------------

// PLUS, MINUS, MULT, DIV on values of a floating type of `bits` bits.
std::optional<double> fold_float_binary(ir::Opcode op, unsigned bits, double a, double b);
// EQ ... GT on floating values; ULE ... UGT are not folded.
std::optional<bool> fold_float_comparison(ir::Opcode op, double a, double b);
// An integer converted to a floating type, when the value is exact there.
std::optional<double> integer_to_float(IntShape from, const ir::Int96& value, unsigned bits);
// A floating value converted (toward zero) to an integer type, when it is
// in range.
std::optional<ir::Int96> float_to_integer(double value, IntShape to);
// A floating value converted between floating widths, when it is exact.
std::optional<double> float_to_float(double value, unsigned bits);

} // namespace vx::scalar
