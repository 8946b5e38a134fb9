#include "ir/int96.h"

#include "support/check.h"

#include <algorithm>
#include <cmath>

namespace vx::ir {

namespace {

// The host's 128-bit integers are the working type: a 96-bit operand is
// widened, the operation done once, and the result cut back to 96 bits.
// 128 bits hold every intermediate, including -2^95 / -1.
__extension__ typedef unsigned __int128 Wide;
__extension__ typedef __int128 SignedWide;

constexpr Wide low_bits(unsigned width) {
    return width >= 128 ? ~Wide{0} : (Wide{1} << width) - 1;
}

constexpr Wide mask96 = low_bits(96);

Wide widen_unsigned(const Int96& v) {
    return (Wide{v.word(2)} << 64) | (Wide{v.word(1)} << 32) | v.word(0);
}

SignedWide widen_signed(const Int96& v) {
    Wide bits = widen_unsigned(v);
    if (v.is_negative())
        bits |= ~mask96;
    return static_cast<SignedWide>(bits);
}

Int96 narrow(Wide w) {
    return Int96::from_words(static_cast<uint32_t>(w), static_cast<uint32_t>(w >> 32),
                             static_cast<uint32_t>(w >> 64));
}

Int96 narrow(SignedWide w) {
    return narrow(static_cast<Wide>(w));
}

std::strong_ordering order(auto a, auto b) {
    return a < b ? std::strong_ordering::less
                 : (a == b ? std::strong_ordering::equal : std::strong_ordering::greater);
}

} // namespace

Int96 Int96::normalized(unsigned width, bool is_signed) const {
    VX_CHECK(width >= 1 && width <= bits);
    if (width == bits)
        return *this;
    Wide value = widen_unsigned(*this) & low_bits(width);
    bool top_bit_set = ((value >> (width - 1)) & 1) != 0;
    if (is_signed && top_bit_set)
        value |= ~low_bits(width);
    return narrow(value);
}

Int96 operator+(const Int96& a, const Int96& b) {
    return narrow(widen_unsigned(a) + widen_unsigned(b));
}

Int96 operator-(const Int96& a, const Int96& b) {
    return narrow(widen_unsigned(a) - widen_unsigned(b));
}

Int96 operator*(const Int96& a, const Int96& b) {
    return narrow(widen_unsigned(a) * widen_unsigned(b));
}

Int96 Int96::operator-() const {
    return narrow(Wide{0} - widen_unsigned(*this));
}

Int96 Int96::operator~() const {
    return from_words(~words_[0], ~words_[1], ~words_[2]);
}

Int96 operator&(const Int96& a, const Int96& b) {
    return Int96::from_words(a.word(0) & b.word(0), a.word(1) & b.word(1), a.word(2) & b.word(2));
}

Int96 operator|(const Int96& a, const Int96& b) {
    return Int96::from_words(a.word(0) | b.word(0), a.word(1) | b.word(1), a.word(2) | b.word(2));
}

Int96 operator^(const Int96& a, const Int96& b) {
    return Int96::from_words(a.word(0) ^ b.word(0), a.word(1) ^ b.word(1), a.word(2) ^ b.word(2));
}

Int96 Int96::div_signed(const Int96& a, const Int96& b) {
    VX_CHECK(!b.is_zero());
    return narrow(widen_signed(a) / widen_signed(b));
}

Int96 Int96::rem_signed(const Int96& a, const Int96& b) {
    VX_CHECK(!b.is_zero());
    return narrow(widen_signed(a) % widen_signed(b));
}

Int96 Int96::div_unsigned(const Int96& a, const Int96& b) {
    VX_CHECK(!b.is_zero());
    return narrow(widen_unsigned(a) / widen_unsigned(b));
}

Int96 Int96::rem_unsigned(const Int96& a, const Int96& b) {
    VX_CHECK(!b.is_zero());
    return narrow(widen_unsigned(a) % widen_unsigned(b));
}

Int96 Int96::shift_left(unsigned count) const {
    if (count >= bits)
        return Int96{};
    return narrow(widen_unsigned(*this) << count);
}

Int96 Int96::shift_right_arithmetic(unsigned count) const {
    return narrow(widen_signed(*this) >> std::min(count, bits));
}

Int96 Int96::shift_right_logical(unsigned count) const {
    if (count >= bits)
        return Int96{};
    return narrow(widen_unsigned(*this) >> count);
}

std::strong_ordering Int96::compare_signed(const Int96& a, const Int96& b) {
    return order(widen_signed(a), widen_signed(b));
}

std::strong_ordering Int96::compare_unsigned(const Int96& a, const Int96& b) {
    return order(widen_unsigned(a), widen_unsigned(b));
}

double Int96::to_double(bool as_signed) const {
    return as_signed ? static_cast<double>(widen_signed(*this))
                     : static_cast<double>(widen_unsigned(*this));
}

Int96 Int96::from_double(double value) {
    const double limit = std::ldexp(1.0, bits - 1);
    if (std::isnan(value))
        return Int96{};
    if (value >= limit)
        return max_signed();
    if (value <= -limit)
        return min_signed();
    return narrow(static_cast<SignedWide>(value));
}

std::string Int96::to_decimal(bool as_signed) const {
    bool negative = as_signed && is_negative();
    Wide magnitude = negative ? static_cast<Wide>(-widen_signed(*this)) : widen_unsigned(*this);
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        digits.push_back('-');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::optional<Int96> Int96::parse_decimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    Wide value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = (value * 10 + static_cast<unsigned>(c - '0')) & mask96;
    }
    return negative ? -narrow(value) : narrow(value);
}

} // namespace vx::ir
