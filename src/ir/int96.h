// Int96: the 96-bit two's-complement integer that a tree node carries as
// its value, held as three 32-bit words, least significant first.
//
// The target's widest integer is 64 bits; 96 bits leave room to fold an
// operation on two 64-bit operands (signed or unsigned) without losing the
// carry, and then to reduce the result to the operand type's width with
// normalized().  Every operation wraps modulo 2^96; none is undefined.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::ir {

class Int96 {
public:
    static constexpr unsigned bits = 96;

    constexpr Int96() = default;
    static constexpr Int96 from_words(uint32_t low, uint32_t middle, uint32_t high) {
        Int96 v;
        v.words_ = {low, middle, high};
        return v;
    }
    // Sign-extends.
    static constexpr Int96 from_signed(int64_t v) {
        uint32_t fill = v < 0 ? ~uint32_t{0} : 0;
        return from_words(static_cast<uint32_t>(v), static_cast<uint32_t>(uint64_t(v) >> 32), fill);
    }
    // Zero-extends.
    static constexpr Int96 from_unsigned(uint64_t v) {
        return from_words(static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32), 0);
    }
    static constexpr Int96 min_signed() { return from_words(0, 0, 0x80000000u); }
    static constexpr Int96 max_signed() { return from_words(~0u, ~0u, 0x7fffffffu); }

    // Word 0 is the least significant.
    constexpr uint32_t word(unsigned index) const { return words_[index]; }
    constexpr const std::array<uint32_t, 3>& words() const { return words_; }

    constexpr bool is_zero() const { return (words_[0] | words_[1] | words_[2]) == 0; }
    constexpr bool is_negative() const { return (words_[2] >> 31) != 0; }

    // The low 32 or 64 bits, reinterpreted.
    constexpr uint32_t low32() const { return words_[0]; }
    constexpr uint64_t low64() const { return (uint64_t{words_[1]} << 32) | words_[0]; }
    constexpr int64_t low64_signed() const { return static_cast<int64_t>(low64()); }

    // The value reduced to `width` bits (1..96) and extended back to 96:
    // sign-extended from bit width-1 when `is_signed`, zero-extended
    // otherwise.  This is what storing into a type of that width does.
    Int96 normalized(unsigned width, bool is_signed) const;
    // True when normalized(width, is_signed) leaves the value unchanged.
    bool fits(unsigned width, bool is_signed) const {
        return normalized(width, is_signed) == *this;
    }

    // Arithmetic modulo 2^96.  Division truncates toward zero as C does;
    // the divisor must not be zero (a folder checks before it folds).
    friend Int96 operator+(const Int96& a, const Int96& b);
    friend Int96 operator-(const Int96& a, const Int96& b);
    friend Int96 operator*(const Int96& a, const Int96& b);
    Int96 operator-() const;
    Int96 operator~() const;
    friend Int96 operator&(const Int96& a, const Int96& b);
    friend Int96 operator|(const Int96& a, const Int96& b);
    friend Int96 operator^(const Int96& a, const Int96& b);
    static Int96 div_signed(const Int96& a, const Int96& b);
    static Int96 rem_signed(const Int96& a, const Int96& b);
    static Int96 div_unsigned(const Int96& a, const Int96& b);
    static Int96 rem_unsigned(const Int96& a, const Int96& b);

    // Shifts by any count; 96 or more shifts everything out.
    Int96 shift_left(unsigned count) const;
    Int96 shift_right_arithmetic(unsigned count) const;
    Int96 shift_right_logical(unsigned count) const;

    friend constexpr bool operator==(const Int96& a, const Int96& b) = default;
    static std::strong_ordering compare_signed(const Int96& a, const Int96& b);
    static std::strong_ordering compare_unsigned(const Int96& a, const Int96& b);

    // Conversions with floating point.  to_double rounds to nearest;
    // from_double truncates toward zero and saturates at the signed 96-bit
    // limits (NaN gives 0).
    double to_double(bool as_signed) const;
    static Int96 from_double(double value);

    // Decimal text: "-" followed by the magnitude when as_signed and
    // negative, else the digits of the value read as unsigned.
    std::string to_decimal(bool as_signed) const;
    // Digits with an optional leading "-" or "+"; wraps modulo 2^96.
    // Nothing for empty text, a lone sign or any other character.
    static std::optional<Int96> parse_decimal(std::string_view text);

private:
    std::array<uint32_t, 3> words_{};
};

} // namespace vx::ir
