// The constant folder against a plain 64-bit model of wrap-around
// arithmetic, over every integer width and signedness of the target and
// many operand values; and the cases that must not fold.
#include "scalar/constant_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace vx::scalar {
namespace {

using ir::Int96;

// ---- The reference model: values as the low `bits` of a uint64 --------------------------

uint64_t mask(unsigned bits) {
    return bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

int64_t as_signed(uint64_t value, unsigned bits) {
    value &= mask(bits);
    if (bits < 64 && (value >> (bits - 1)) != 0)
        value |= ~mask(bits);
    return static_cast<int64_t>(value);
}

std::optional<uint64_t> reference_compare(ir::Opcode op, IntShape s, uint64_t a, uint64_t b) {
    const int64_t sa = as_signed(a, s.bits), sb = as_signed(b, s.bits);
    const uint64_t ua = a & mask(s.bits), ub = b & mask(s.bits);
    switch (op) {
    case ir::EQ:
        return ua == ub;
    case ir::NEQ:
        return ua != ub;
    case ir::ULT:
        return ua < ub;
    case ir::ULE:
        return ua <= ub;
    case ir::UGT:
        return ua > ub;
    case ir::UGE:
        return ua >= ub;
    default:
        break;
    }
    auto pick = [&](bool signed_answer, bool unsigned_answer) -> std::optional<uint64_t> {
        if (!s.is_signed && signed_answer != unsigned_answer)
            return std::nullopt; // ambiguous: left to run time
        return signed_answer;
    };
    switch (op) {
    case ir::LT:
        return pick(sa < sb, ua < ub);
    case ir::LE:
        return pick(sa <= sb, ua <= ub);
    case ir::GT:
        return pick(sa > sb, ua > ub);
    default:
        return pick(sa >= sb, ua >= ub);
    }
}

std::optional<uint64_t> reference_binary(ir::Opcode op, IntShape s, uint64_t a, uint64_t b) {
    const uint64_t m = mask(s.bits);
    const int64_t sa = as_signed(a, s.bits), sb = as_signed(b, s.bits);
    const uint64_t ua = a & m, ub = b & m;
    switch (op) {
    case ir::PLUS:
        return (ua + ub) & m;
    case ir::MINUS:
        return (ua - ub) & m;
    case ir::MULT:
        return (ua * ub) & m;
    case ir::ANDB:
        return ua & ub;
    case ir::ORB:
        return ua | ub;
    case ir::XORB:
        return ua ^ ub;
    case ir::DIV:
    case ir::MOD:
        if (ub == 0)
            return std::nullopt;
        if (s.is_signed) {
            if (sb == -1 && sa == as_signed(uint64_t{1} << (s.bits - 1), s.bits))
                return std::nullopt;
            if (sb == -1)
                return op == ir::DIV ? (0 - ua) & m : 0;
            return static_cast<uint64_t>(op == ir::DIV ? sa / sb : sa % sb) & m;
        }
        return op == ir::DIV ? ua / ub : ua % ub;
    case ir::SLL:
    case ir::SRL: {
        const int64_t count = as_signed(b, s.bits);
        if (count < 0 || count >= static_cast<int64_t>(s.bits))
            return std::nullopt;
        if (op == ir::SLL)
            return (ua << count) & m;
        return s.is_signed ? static_cast<uint64_t>(sa >> count) & m : ua >> count;
    }
    default:
        return reference_compare(op, s, a, b);
    }
}

uint64_t low_bits_of(const Int96& value, unsigned bits) {
    return value.low64() & mask(bits);
}

Int96 to_int96(uint64_t value, IntShape s) {
    return Int96::from_unsigned(value & mask(s.bits)).normalized(s.bits, s.is_signed);
}

const IntShape kShapes[] = {{16, true}, {16, false}, {32, true}, {32, false},
                            {64, true}, {64, false}, {8, true},  {8, false}};

const ir::Opcode kBinaryOps[] = {
    ir::PLUS, ir::MINUS, ir::MULT, ir::ANDB, ir::ORB, ir::XORB, ir::DIV, ir::MOD, ir::SLL, ir::SRL,
    ir::EQ,   ir::NEQ,   ir::LT,   ir::LE,   ir::GT,  ir::GE,   ir::ULT, ir::ULE, ir::UGT, ir::UGE};

// Edge values and random ones, with small shift counts now and then.
uint64_t operand(std::mt19937_64& random, IntShape s) {
    const uint64_t m = mask(s.bits);
    switch (random() % 8) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        return m; // -1
    case 3:
        return uint64_t{1} << (s.bits - 1); // most negative
    case 4:
        return (uint64_t{1} << (s.bits - 1)) - 1; // most positive
    case 5:
        return random() % (s.bits + 2);
    default:
        return random() & m;
    }
}

TEST(ConstantFolder, BinaryOperatorsMatchWrapAroundArithmeticAtEveryWidth) {
    std::mt19937_64 random(20240611);
    int folded = 0;
    for (IntShape s : kShapes)
        for (ir::Opcode op : kBinaryOps)
            for (int round = 0; round < 400; ++round) {
                const uint64_t a = operand(random, s), b = operand(random, s);
                const std::optional<uint64_t> expected = reference_binary(op, s, a, b);
                const IntShape result = is_comparison(op) ? IntShape{16, true} : s;
                const std::optional<Int96> got =
                    fold_integer_binary(op, result, s, s, to_int96(a, s), to_int96(b, s));
                ASSERT_EQ(got.has_value(), expected.has_value())
                    << ir::opcode_name(op) << " " << s.bits << (s.is_signed ? "s " : "u ") << a
                    << ", " << b;
                if (!got)
                    continue;
                ++folded;
                EXPECT_EQ(low_bits_of(*got, result.bits), *expected)
                    << ir::opcode_name(op) << " " << s.bits << (s.is_signed ? "s " : "u ") << a
                    << ", " << b;
                // The result is normalised: it reads back as the type holds it.
                EXPECT_TRUE(got->fits(result.bits, result.is_signed));
            }
    EXPECT_GT(folded, 50000);
}

TEST(ConstantFolder, ConversionsTruncateOrExtendBySourceSignedness) {
    std::mt19937_64 random(7);
    for (IntShape from : kShapes)
        for (IntShape to : kShapes)
            for (int round = 0; round < 200; ++round) {
                const uint64_t v = operand(random, from);
                const uint64_t extended = from.is_signed
                                              ? static_cast<uint64_t>(as_signed(v, from.bits))
                                              : v & mask(from.bits);
                const Int96 got = convert_integer(to, from, to_int96(v, from));
                EXPECT_EQ(low_bits_of(got, to.bits), extended & mask(to.bits));
                EXPECT_TRUE(got.fits(to.bits, to.is_signed));
            }
}

TEST(ConstantFolder, UnaryOperatorsWrap) {
    for (IntShape s : kShapes) {
        const Int96 most_negative = to_int96(uint64_t{1} << (s.bits - 1), s);
        // -MIN wraps to MIN for signed types.
        EXPECT_EQ(fold_integer_unary(ir::UMINUS, s, s, most_negative), most_negative);
        EXPECT_EQ(fold_integer_unary(ir::NOTB, s, s, Int96{}), all_ones(s));
        EXPECT_EQ(fold_integer_unary(ir::EXCLAIM, s, s, Int96{}), Int96::from_signed(1));
        EXPECT_EQ(fold_integer_unary(ir::EXCLAIM, s, s, most_negative), Int96{});
    }
    // Width changes are not negation's business.
    EXPECT_FALSE(fold_integer_unary(ir::UMINUS, {32, true}, {16, true}, Int96::from_signed(1)));
}

// ---- What must not fold ---------------------------------------------------------------------

TEST(ConstantFolder, UndefinedOperationsAreLeftToRunTime) {
    const IntShape i16{16, true}, u16{16, false}, i64{64, true};
    const Int96 zero{}, one = Int96::from_signed(1), minus_one = Int96::from_signed(-1);
    EXPECT_FALSE(fold_integer_binary(ir::DIV, i16, i16, i16, one, zero));
    EXPECT_FALSE(fold_integer_binary(ir::MOD, u16, u16, u16, one, zero));
    EXPECT_FALSE(
        fold_integer_binary(ir::DIV, i16, i16, i16, Int96::from_signed(-32768), minus_one));
    EXPECT_FALSE(
        fold_integer_binary(ir::MOD, i64, i64, i64, Int96::from_signed(INT64_MIN), minus_one));
    // Unsigned 0x8000 / 0xFFFF is an ordinary division.
    EXPECT_EQ(fold_integer_binary(ir::DIV, u16, u16, u16, Int96::from_signed(0x8000),
                                  Int96::from_signed(0xFFFF)),
              Int96{});
    // Shift counts at or above the width, and negative ones.
    EXPECT_FALSE(fold_integer_binary(ir::SLL, i16, i16, i16, one, Int96::from_signed(16)));
    EXPECT_FALSE(fold_integer_binary(ir::SRL, u16, u16, u16, one, Int96::from_signed(17)));
    EXPECT_FALSE(fold_integer_binary(ir::SLL, i16, i16, i16, one, minus_one));
    EXPECT_TRUE(
        fold_integer_binary(ir::SLL, {32, true}, {32, true}, i16, one, Int96::from_signed(16)));
    // A count of an unsigned type is never negative: 0xFFFF is just too big.
    EXPECT_FALSE(fold_integer_binary(ir::SLL, i64, i64, u16, one, Int96::from_signed(0xFFFF)));
}

TEST(ConstantFolder, ArithmeticOnMixedShapesIsNotGuessed) {
    const IntShape i16{16, true}, i32{32, true};
    EXPECT_FALSE(fold_integer_binary(ir::PLUS, i32, i16, i32, Int96{}, Int96{}));
    EXPECT_FALSE(fold_integer_binary(ir::LT, i16, i16, i32, Int96{}, Int96{}));
    EXPECT_FALSE(fold_integer_binary(ir::LT, i16, i16, {16, false}, Int96{}, Int96{}));
}

TEST(ConstantFolder, SignedAndUnsignedComparisonsDifferOnTheTopBit) {
    const IntShape s{16, true}, u{16, false}, result{16, true};
    const Int96 top = Int96::from_signed(0x8000), one = Int96::from_signed(1);
    EXPECT_EQ(fold_integer_binary(ir::LT, result, s, s, top, one), Int96::from_signed(1));
    EXPECT_EQ(fold_integer_binary(ir::ULT, result, s, s, top, one), Int96{});
    EXPECT_EQ(fold_integer_binary(ir::ULT, result, u, u, top, one), Int96{});
    // LT on unsigned operands that disagree by reading is not folded.
    EXPECT_FALSE(fold_integer_binary(ir::LT, result, u, u, top, one));
    EXPECT_EQ(fold_integer_binary(ir::LT, result, u, u, Int96::from_signed(2), one), Int96{});
}

TEST(ConstantFolder, ComparisonsAreMirroredAndInverted) {
    for (ir::Opcode op :
         {ir::EQ, ir::NEQ, ir::LT, ir::LE, ir::GT, ir::GE, ir::ULT, ir::ULE, ir::UGT, ir::UGE}) {
        const IntShape s{16, false};
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) {
                const Int96 x = Int96::from_signed(a), y = Int96::from_signed(b);
                EXPECT_EQ(fold_integer_binary(op, s, s, s, x, y),
                          fold_integer_binary(mirrored_comparison(op), s, s, s, y, x));
                EXPECT_NE(fold_integer_binary(op, s, s, s, x, y),
                          fold_integer_binary(inverted_comparison(op), s, s, s, x, y));
            }
    }
}

// ---- Floating point ---------------------------------------------------------------------------

TEST(ConstantFolder, FloatArithmeticRoundsAtTheTargetWidth) {
    // 1 + 2^-30 is 1 in single precision but not in double precision.
    EXPECT_EQ(fold_float_binary(ir::PLUS, 32, 1.0, std::ldexp(1.0, -30)), 1.0);
    EXPECT_EQ(fold_float_binary(ir::PLUS, 32, 1.0, 0.5), 1.5);
    EXPECT_EQ(fold_float_binary(ir::PLUS, 64, 1.0, std::ldexp(1.0, -30)),
              1.0 + std::ldexp(1.0, -30));
    EXPECT_EQ(fold_float_binary(ir::DIV, 32, 1.0, 3.0), static_cast<double>(1.0f / 3.0f));
    EXPECT_EQ(fold_float_binary(ir::MULT, 64, 3.0, -2.0), -6.0);
}

TEST(ConstantFolder, FloatFoldingLeavesInexactOrSpecialResultsAlone) {
    EXPECT_FALSE(fold_float_binary(ir::DIV, 32, 1.0, 0.0));
    EXPECT_FALSE(fold_float_binary(ir::MULT, 32, 1e30, 1e30));     // overflow
    EXPECT_FALSE(fold_float_binary(ir::MULT, 32, 1e-30, 1e-30));   // underflow
    EXPECT_FALSE(fold_float_binary(ir::MULT, 64, 1e-200, 1e-200)); // underflow
    EXPECT_FALSE(fold_float_binary(ir::PLUS, 32, 0.1, 1.0));       // 0.1 is no float
    EXPECT_FALSE(fold_float_comparison(ir::LT, std::nan(""), 1.0));
    EXPECT_EQ(fold_float_comparison(ir::LT, -1.0, 1.0), true);
    EXPECT_FALSE(fold_float_comparison(ir::ULT, -1.0, 1.0));
}

TEST(ConstantFolder, ConversionsBetweenIntegersAndFloatsOnlyWhenExact) {
    const IntShape i32{32, true}, u16{16, false};
    EXPECT_EQ(integer_to_float(i32, Int96::from_signed(-5), 32), -5.0);
    EXPECT_FALSE(integer_to_float(i32, Int96::from_signed((1 << 24) + 1), 32));
    EXPECT_EQ(integer_to_float(i32, Int96::from_signed((1 << 24) + 1), 64), (1 << 24) + 1);
    EXPECT_EQ(integer_to_float(u16, Int96::from_signed(-1), 32), 65535.0);
    EXPECT_EQ(float_to_integer(-2.75, i32), Int96::from_signed(-2));
    EXPECT_FALSE(float_to_integer(70000.0, u16));
    EXPECT_FALSE(float_to_integer(-1.0, u16));
    EXPECT_FALSE(float_to_integer(std::nan(""), i32));
    EXPECT_EQ(float_to_float(0.5, 32), 0.5);
    EXPECT_FALSE(float_to_float(0.1, 32));
}

} // namespace
} // namespace vx::scalar
