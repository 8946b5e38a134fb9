// The 96-bit value: wrapping arithmetic, normalisation to a type's width,
// and decimal text.
#include "ir/int96.h"

#include "support/termination.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace vx::ir {
namespace {

using Words = std::array<uint32_t, 3>;
constexpr uint32_t ones = 0xffffffffu;

Int96 dec(const char* text) {
    return Int96::parse_decimal(text).value();
}

TEST(Int96, NormalisationExtendsBySignedness) {
    Int96 minus_one = Int96::from_signed(-1);
    EXPECT_EQ(minus_one.words(), (Words{ones, ones, ones}));
    EXPECT_EQ(minus_one.normalized(32, false).words(), (Words{ones, 0, 0}));
    EXPECT_EQ(minus_one.normalized(16, false), Int96::from_unsigned(65535));
    EXPECT_EQ(minus_one.normalized(16, true), minus_one);

    EXPECT_EQ(Int96::from_unsigned(0x18000).normalized(16, true), Int96::from_signed(-32768));
    EXPECT_EQ(Int96::from_unsigned(1).normalized(1, true), minus_one);
    EXPECT_EQ(Int96::from_signed(-5).normalized(64, false).words(), (Words{ones - 4, ones, 0}));

    EXPECT_TRUE(Int96::from_signed(-32768).fits(16, true));
    EXPECT_FALSE(Int96::from_signed(-32769).fits(16, true));
    EXPECT_FALSE(minus_one.fits(64, false));
}

TEST(Int96, ArithmeticCarriesAcrossWordsAndWrapsAt96Bits) {
    EXPECT_EQ((Int96::from_unsigned(ones) + Int96::from_unsigned(1)).words(), (Words{0, 1, 0}));
    EXPECT_EQ((Int96::from_unsigned(0) - Int96::from_unsigned(1)), Int96::from_signed(-1));
    EXPECT_EQ(Int96::max_signed() + Int96::from_signed(1), Int96::min_signed());
    EXPECT_EQ(-Int96::min_signed(), Int96::min_signed());

    // (2^64 - 1)^2 = 2^128 - 2^65 + 1, which is 2^96 - 2^65 + 1 modulo 2^96.
    Int96 max64 = Int96::from_unsigned(UINT64_MAX);
    EXPECT_EQ((max64 * max64).words(), (Words{1, 0, ones - 1}));
    // The carry out of a 64-bit product is kept.
    EXPECT_EQ((Int96::from_unsigned(1ull << 63) * Int96::from_signed(4)).words(), (Words{0, 0, 2}));

    EXPECT_EQ(Int96::from_signed(-1) ^ Int96::from_unsigned(UINT64_MAX),
              Int96::from_words(0, 0, ones));
}

TEST(Int96, DivisionTruncatesTowardZero) {
    EXPECT_EQ(Int96::div_signed(Int96::from_signed(-7), Int96::from_signed(2)),
              Int96::from_signed(-3));
    EXPECT_EQ(Int96::rem_signed(Int96::from_signed(-7), Int96::from_signed(2)),
              Int96::from_signed(-1));
    EXPECT_EQ(Int96::div_signed(Int96::min_signed(), Int96::from_signed(-1)), Int96::min_signed());
    EXPECT_EQ(Int96::div_unsigned(Int96::from_signed(-1), Int96::from_signed(2)),
              Int96::max_signed());
    EXPECT_EQ(Int96::rem_unsigned(Int96::from_signed(-1), Int96::from_unsigned(10)),
              Int96::from_unsigned(5)); // 2^96 - 1 = ...335

    StopHandler previous = set_stop_handler(throwing_stop_handler);
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(Int96::div_signed(Int96::from_signed(1), Int96{}), RunStopped);
    ::testing::internal::GetCapturedStderr();
    set_stop_handler(previous);
}

// A folder computes in 96 bits and stores at the operand type's width.
TEST(Int96, FoldingAtTheOperandWidth) {
    auto fold16 = [](Int96 v, bool is_signed) { return v.normalized(16, is_signed); };
    EXPECT_EQ(fold16(Int96::from_signed(32767) + Int96::from_signed(1), true),
              Int96::from_signed(-32768));
    EXPECT_EQ(fold16(Int96::from_signed(0) - Int96::from_signed(1), false),
              Int96::from_unsigned(65535));
    EXPECT_EQ(fold16(Int96::from_unsigned(300) * Int96::from_unsigned(300), false),
              Int96::from_unsigned(90000 - 65536));
    // unsigned 64-bit: 2^64-1 + 1 wraps to 0, the carry lands in word 2.
    Int96 sum = Int96::from_unsigned(UINT64_MAX) + Int96::from_unsigned(1);
    EXPECT_EQ(sum.words(), (Words{0, 0, 1}));
    EXPECT_TRUE(sum.normalized(64, false).is_zero());
}

TEST(Int96, ShiftsByAnyCount) {
    Int96 one = Int96::from_signed(1);
    EXPECT_EQ(one.shift_left(70).words(), (Words{0, 0, 64}));
    EXPECT_EQ(one.shift_left(95), Int96::min_signed());
    EXPECT_TRUE(one.shift_left(96).is_zero());
    EXPECT_TRUE(one.shift_left(1000).is_zero());

    Int96 minus_eight = Int96::from_signed(-8);
    EXPECT_EQ(minus_eight.shift_right_arithmetic(2), Int96::from_signed(-2));
    EXPECT_EQ(minus_eight.shift_right_arithmetic(200), Int96::from_signed(-1));
    EXPECT_EQ(Int96::from_signed(-1).shift_right_logical(64).words(), (Words{ones, 0, 0}));
    EXPECT_TRUE(Int96::from_signed(-1).shift_right_logical(96).is_zero());
}

TEST(Int96, SignedAndUnsignedOrder) {
    Int96 minus_one = Int96::from_signed(-1);
    Int96 one = Int96::from_signed(1);
    EXPECT_EQ(Int96::compare_signed(minus_one, one), std::strong_ordering::less);
    EXPECT_EQ(Int96::compare_unsigned(minus_one, one), std::strong_ordering::greater);
    EXPECT_EQ(Int96::compare_unsigned(Int96::from_words(0, 0, 1), Int96::from_unsigned(UINT64_MAX)),
              std::strong_ordering::greater);
}

TEST(Int96, DecimalText) {
    EXPECT_EQ(Int96::from_signed(-5).to_decimal(true), "-5");
    EXPECT_EQ(Int96::from_signed(-5).to_decimal(false), "79228162514264337593543950331");
    EXPECT_EQ(Int96{}.to_decimal(true), "0");
    EXPECT_EQ(Int96::min_signed().to_decimal(true), "-39614081257132168796771975168");
    EXPECT_EQ(Int96::max_signed().to_decimal(true), "39614081257132168796771975167");

    EXPECT_EQ(dec("-5"), Int96::from_signed(-5));
    EXPECT_EQ(dec("+12"), Int96::from_signed(12));
    EXPECT_EQ(dec("-39614081257132168796771975168"), Int96::min_signed());
    EXPECT_EQ(dec("18446744073709551616").words(), (Words{0, 0, 1}));
    EXPECT_TRUE(dec("79228162514264337593543950336").is_zero()); // 2^96 wraps
    for (const char* bad : {"", "-", "+", "1x", " 1", "0x10", "--1"})
        EXPECT_FALSE(Int96::parse_decimal(bad).has_value()) << bad;
}

TEST(Int96, FloatingConversions) {
    EXPECT_EQ(Int96::from_words(0, 0, 1 << 16).to_double(true), std::ldexp(1.0, 80));
    EXPECT_EQ(Int96::from_signed(-1).to_double(false), std::ldexp(1.0, 96));
    EXPECT_EQ(Int96::from_double(-2.9), Int96::from_signed(-2));
    EXPECT_EQ(Int96::from_double(std::ldexp(1.0, 70)), Int96::from_words(0, 0, 64));
    EXPECT_EQ(Int96::from_double(1e40), Int96::max_signed());
    EXPECT_TRUE(Int96::from_double(std::nan("")).is_zero());
}

} // namespace
} // namespace vx::ir
