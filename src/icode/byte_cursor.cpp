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

// The careful loops of the decoders, without a cursor: what they take
// does not depend on anything but the bytes.  A value cut off by the end
// takes every byte that is left.
LebValue scan_uleb(const uint8_t* bytes, size_t left) {
    uint32_t value = 0;
    for (size_t i = 0; i < left; ++i) {
        const unsigned shift = 7 * static_cast<unsigned>(i < 5 ? i : 5);
        if (shift < 32)
            value |= static_cast<uint32_t>(bytes[i] & 0x7F) << shift;
        if (!(bytes[i] & 0x80))
            return {value, i + 1, false};
    }
    return {0, left, true};
}

LebValue scan_sleb(const uint8_t* bytes, size_t left) {
    uint32_t value = 0;
    for (size_t i = 0; i < left; ++i) {
        const unsigned shift = 7 * static_cast<unsigned>(i < 5 ? i : 5);
        if (shift < 32)
            value |= static_cast<uint32_t>(bytes[i] & 0x7F) << shift;
        if (!(bytes[i] & 0x80)) {
            const unsigned next = 7 * static_cast<unsigned>(i < 5 ? i + 1 : 5);
            if (next < 32 && (bytes[i] & 0x40))
                value |= ~0u << next;
            return {value, i + 1, false};
        }
    }
    return {0, left, true};
}

std::string ByteCursor::string() {
    return std::string(text());
}

} // namespace vx::icode
