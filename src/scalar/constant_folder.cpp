#include "scalar/constant_folder.h"

#include "ir/type.h"

#include <cmath>

namespace vx::scalar {

using ir::Int96;
using ir::Opcode;

std::optional<IntShape> integral_shape(const ir::TYPE* type) {
    if (type == nullptr || type->real() == nullptr)
        return std::nullopt;
    const ir::TYPE* real = type->real();
    if (real->is_pointer())
        return IntShape{real->size(), false};
    if (!real->is_integer() || real->is_bool())
        return std::nullopt;
    const unsigned bits = real->size();
    if (bits == 0 || bits > 64)
        return std::nullopt;
    return IntShape{bits, real->is_signed()};
}

std::optional<unsigned> floating_width(const ir::TYPE* type) {
    if (type == nullptr || type->real() == nullptr || !type->real()->is_fltpt())
        return std::nullopt;
    const unsigned bits = type->real()->size();
    if (bits != 32 && bits != 64)
        return std::nullopt;
    return bits;
}

Int96 all_ones(IntShape shape) {
    return Int96::from_signed(-1).normalized(shape.bits, shape.is_signed);
}

Int96 most_negative(IntShape shape) {
    return Int96::from_signed(1).shift_left(shape.bits - 1).normalized(shape.bits, true);
}

namespace {

Int96 normal(const Int96& value, IntShape shape) {
    return value.normalized(shape.bits, shape.is_signed);
}

Int96 truth(bool value, IntShape result) {
    return normal(Int96::from_signed(value ? 1 : 0), result);
}

bool is_most_negative(const Int96& value, IntShape shape) {
    return shape.is_signed && value == most_negative(shape);
}

// DIV and MOD, undefined for a zero divisor and for MIN / -1.
std::optional<Int96> fold_division(Opcode op, IntShape shape, const Int96& a, const Int96& b) {
    if (b.is_zero())
        return std::nullopt;
    if (shape.is_signed) {
        if (is_most_negative(a, shape) && b == Int96::from_signed(-1))
            return std::nullopt;
        return normal(op == ir::DIV ? Int96::div_signed(a, b) : Int96::rem_signed(a, b), shape);
    }
    return normal(op == ir::DIV ? Int96::div_unsigned(a, b) : Int96::rem_unsigned(a, b), shape);
}

// The shift count, when it is within 0..width-1.
std::optional<unsigned> shift_count(IntShape result, IntShape count_shape, const Int96& count) {
    if (count.is_negative() && count_shape.is_signed)
        return std::nullopt;
    if (Int96::compare_unsigned(count, Int96::from_unsigned(result.bits)) !=
        std::strong_ordering::less)
        return std::nullopt;
    return count.low32();
}

std::optional<Int96> fold_shift(Opcode op, IntShape result, IntShape count_shape, const Int96& a,
                                const Int96& b) {
    std::optional<unsigned> count = shift_count(result, count_shape, b);
    if (!count)
        return std::nullopt;
    if (op == ir::SLL)
        return normal(a.shift_left(*count), result);
    return normal(result.is_signed ? a.shift_right_arithmetic(*count)
                                   : a.shift_right_logical(*count),
                  result);
}

bool ordered_true(Opcode op, std::strong_ordering order) {
    switch (op) {
    case ir::LT:
    case ir::ULT:
        return order == std::strong_ordering::less;
    case ir::LE:
    case ir::ULE:
        return order != std::strong_ordering::greater;
    case ir::GT:
    case ir::UGT:
        return order == std::strong_ordering::greater;
    default: // GE, UGE
        return order != std::strong_ordering::less;
    }
}

// A signed comparison of operands of an unsigned type is folded only when
// reading the bits as signed or as unsigned gives the same answer.
std::optional<bool> fold_comparison(Opcode op, IntShape operands, const Int96& a, const Int96& b) {
    if (op == ir::EQ || op == ir::NEQ)
        return (a == b) == (op == ir::EQ);
    const Int96 ua = a.normalized(operands.bits, false);
    const Int96 ub = b.normalized(operands.bits, false);
    const bool as_unsigned = ordered_true(op, Int96::compare_unsigned(ua, ub));
    if (op == ir::ULT || op == ir::ULE || op == ir::UGT || op == ir::UGE)
        return as_unsigned;
    const bool as_signed =
        ordered_true(op, Int96::compare_signed(a.normalized(operands.bits, true),
                                               b.normalized(operands.bits, true)));
    if (!operands.is_signed && as_signed != as_unsigned)
        return std::nullopt;
    return as_signed;
}

std::optional<Int96> fold_arithmetic(Opcode op, IntShape shape, const Int96& a, const Int96& b) {
    switch (op) {
    case ir::PLUS:
        return normal(a + b, shape);
    case ir::MINUS:
        return normal(a - b, shape);
    case ir::MULT:
        return normal(a * b, shape);
    case ir::ANDB:
        return normal(a & b, shape);
    case ir::ORB:
        return normal(a | b, shape);
    case ir::XORB:
        return normal(a ^ b, shape);
    case ir::DIV:
    case ir::MOD:
        return fold_division(op, shape, a, b);
    default:
        return std::nullopt;
    }
}

} // namespace

bool is_comparison(Opcode op) {
    switch (op) {
    case ir::EQ:
    case ir::NEQ:
    case ir::LE:
    case ir::LT:
    case ir::GE:
    case ir::GT:
    case ir::ULE:
    case ir::ULT:
    case ir::UGE:
    case ir::UGT:
        return true;
    default:
        return false;
    }
}

Opcode mirrored_comparison(Opcode op) {
    switch (op) {
    case ir::LT:
        return ir::GT;
    case ir::GT:
        return ir::LT;
    case ir::LE:
        return ir::GE;
    case ir::GE:
        return ir::LE;
    case ir::ULT:
        return ir::UGT;
    case ir::UGT:
        return ir::ULT;
    case ir::ULE:
        return ir::UGE;
    case ir::UGE:
        return ir::ULE;
    default:
        return op;
    }
}

Opcode inverted_comparison(Opcode op) {
    switch (op) {
    case ir::EQ:
        return ir::NEQ;
    case ir::NEQ:
        return ir::EQ;
    case ir::LT:
        return ir::GE;
    case ir::GE:
        return ir::LT;
    case ir::LE:
        return ir::GT;
    case ir::GT:
        return ir::LE;
    case ir::ULT:
        return ir::UGE;
    case ir::UGE:
        return ir::ULT;
    case ir::ULE:
        return ir::UGT;
    case ir::UGT:
        return ir::ULE;
    default:
        return op;
    }
}

std::optional<Int96> fold_integer_unary(Opcode op, IntShape result, IntShape operand,
                                        const Int96& value) {
    const Int96 v = normal(value, operand);
    switch (op) {
    case ir::UMINUS:
        return operand == result ? std::optional(normal(-v, result)) : std::nullopt;
    case ir::NOTB:
        return operand == result ? std::optional(normal(~v, result)) : std::nullopt;
    case ir::EXCLAIM:
        return truth(v.is_zero(), result);
    default:
        return std::nullopt;
    }
}

std::optional<Int96> fold_integer_binary(Opcode op, IntShape result, IntShape left, IntShape right,
                                         const Int96& a, const Int96& b) {
    const Int96 na = normal(a, left);
    const Int96 nb = normal(b, right);
    if (is_comparison(op)) {
        if (left.bits != right.bits || left.is_signed != right.is_signed)
            return std::nullopt;
        std::optional<bool> answer = fold_comparison(op, left, na, nb);
        return answer ? std::optional(truth(*answer, result)) : std::nullopt;
    }
    if (op == ir::SLL || op == ir::SRL)
        return left == result ? fold_shift(op, result, right, na, nb) : std::nullopt;
    if (left != result || right != result)
        return std::nullopt;
    return fold_arithmetic(op, result, na, nb);
}

Int96 convert_integer(IntShape to, IntShape from, const Int96& value) {
    return normal(normal(value, from), to);
}

// ---- Floating point ---------------------------------------------------------------------

namespace {

bool representable(double value, unsigned bits) {
    return bits == 64 || static_cast<double>(static_cast<float>(value)) == value;
}

// A finite value that is a normal number of the format, or zero.
bool exact_result(double value, unsigned bits) {
    if (!std::isfinite(value))
        return false;
    if (value == 0.0)
        return true;
    if (bits == 32)
        return std::fpclassify(static_cast<float>(value)) == FP_NORMAL;
    return std::fpclassify(value) == FP_NORMAL;
}

bool usable_operand(double value, unsigned bits) {
    return representable(value, bits) && exact_result(value, bits);
}

double compute(Opcode op, unsigned bits, double a, double b) {
    if (bits == 32) {
        const float x = static_cast<float>(a);
        const float y = static_cast<float>(b);
        switch (op) {
        case ir::PLUS:
            return x + y;
        case ir::MINUS:
            return x - y;
        case ir::MULT:
            return x * y;
        default:
            return x / y;
        }
    }
    switch (op) {
    case ir::PLUS:
        return a + b;
    case ir::MINUS:
        return a - b;
    case ir::MULT:
        return a * b;
    default:
        return a / b;
    }
}

} // namespace

std::optional<double> fold_float_binary(Opcode op, unsigned bits, double a, double b) {
    if (op != ir::PLUS && op != ir::MINUS && op != ir::MULT && op != ir::DIV)
        return std::nullopt;
    if (!usable_operand(a, bits) || !usable_operand(b, bits))
        return std::nullopt;
    if (op == ir::DIV && b == 0.0)
        return std::nullopt;
    const double result = compute(op, bits, a, b);
    // A zero from a product or quotient of non-zero values is an underflow,
    // which the target may flush differently.
    if (result == 0.0 && (op == ir::MULT || op == ir::DIV) && a != 0.0 && b != 0.0)
        return std::nullopt;
    if (!exact_result(result, bits))
        return std::nullopt;
    return result;
}

std::optional<bool> fold_float_comparison(Opcode op, double a, double b) {
    if (std::isnan(a) || std::isnan(b))
        return std::nullopt;
    switch (op) {
    case ir::EQ:
        return a == b;
    case ir::NEQ:
        return a != b;
    case ir::LT:
        return a < b;
    case ir::LE:
        return a <= b;
    case ir::GT:
        return a > b;
    case ir::GE:
        return a >= b;
    default:
        return std::nullopt;
    }
}

std::optional<double> integer_to_float(IntShape from, const Int96& value, unsigned bits) {
    const Int96 v = normal(value, from);
    const double converted = v.to_double(from.is_signed);
    // Exact when converting back gives the same integer and the format
    // holds the value without rounding.
    if (!representable(converted, bits) || !std::isfinite(converted))
        return std::nullopt;
    if (std::fabs(converted) >= 0x1p63 || Int96::from_double(converted) != v)
        return std::nullopt;
    return converted;
}

std::optional<Int96> float_to_integer(double value, IntShape to) {
    if (!std::isfinite(value) || std::fabs(value) >= 0x1p64)
        return std::nullopt;
    const Int96 truncated = Int96::from_double(value);
    if (!truncated.fits(to.bits, to.is_signed))
        return std::nullopt;
    return truncated;
}

std::optional<double> float_to_float(double value, unsigned bits) {
    if (!std::isfinite(value) || !representable(value, bits) || !exact_result(value, bits))
        return std::nullopt;
    return value;
}

} // namespace vx::scalar
