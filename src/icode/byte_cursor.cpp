#include "icode/byte_cursor.h"

#include <algorithm>
#include <cstring>

namespace vx::icode {

int16_t ByteCursor::s16() {
    if (!need(2))
        return 0;
    uint16_t value = static_cast<uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
    offset_ += 2;
    return static_cast<int16_t>(value);
}

uint32_t ByteCursor::u32() {
    if (!need(4))
        return 0;
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | data_[offset_ + static_cast<size_t>(i)];
    offset_ += 4;
    return value;
}

// The loops of the decoders, without a cursor: what they take does not
// depend on anything but the bytes.  A value cut off by the end takes every
// byte that is left.  Bytes after the fifth add no bits to 32: they are
// only looked at for the end of the value.
LebValue scan_uleb(const uint8_t* bytes, size_t left) {
    // Values of up to three bytes (line numbers, constants, indexes) are
    // most of those that take more than one: they are taken at once.
    auto low = [bytes](size_t i) { return static_cast<uint32_t>(bytes[i] & 0x7F) << (7 * i); };
    if (left >= 2 && !(bytes[1] & 0x80) && (bytes[0] & 0x80))
        return {low(0) | low(1), 2, false};
    if (left >= 3 && !(bytes[2] & 0x80) && (bytes[1] & bytes[0] & 0x80))
        return {low(0) | low(1) | low(2), 3, false};
    uint32_t value = 0;
    const size_t with_bits = left < 5 ? left : 5;
    for (size_t i = 0; i < with_bits; ++i) {
        value |= static_cast<uint32_t>(bytes[i] & 0x7F) << (7 * i);
        if (!(bytes[i] & 0x80))
            return {value, i + 1, false};
    }
    for (size_t i = with_bits; i < left; ++i)
        if (!(bytes[i] & 0x80))
            return {value, i + 1, false};
    return {0, left, true};
}

// The sign bit of the last byte extends into the bits above it, when there
// are any (a value of five bytes fills all 32).
LebValue scan_sleb(const uint8_t* bytes, size_t left) {
    auto low = [bytes](size_t i) { return static_cast<uint32_t>(bytes[i] & 0x7F) << (7 * i); };
    auto sign = [bytes](size_t last) {
        return (bytes[last] & 0x40) ? ~0u << (7 * (last + 1)) : 0u;
    };
    if (left >= 2 && !(bytes[1] & 0x80) && (bytes[0] & 0x80))
        return {low(0) | low(1) | sign(1), 2, false};
    if (left >= 3 && !(bytes[2] & 0x80) && (bytes[1] & bytes[0] & 0x80))
        return {low(0) | low(1) | low(2) | sign(2), 3, false};
    uint32_t value = 0;
    const size_t with_bits = left < 5 ? left : 5;
    for (size_t i = 0; i < with_bits; ++i) {
        value |= static_cast<uint32_t>(bytes[i] & 0x7F) << (7 * i);
        if (!(bytes[i] & 0x80)) {
            if (i < 4 && (bytes[i] & 0x40))
                value |= ~0u << (7 * (i + 1));
            return {value, i + 1, false};
        }
    }
    for (size_t i = with_bits; i < left; ++i)
        if (!(bytes[i] & 0x80))
            return {value, i + 1, false};
    return {0, left, true};
}

std::string ByteCursor::string() {
    return std::string(text());
}

} // namespace vx::icode
