#include "icode/byte_cursor.h"

#include <cstring>

namespace vx::icode {

bool ByteCursor::need(size_t count) {
    if (failed_ || count > size_ - offset_) {
        failed_ = true;
        return false;
    }
    return true;
}

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

uint32_t ByteCursor::long_uleb() {
    uint32_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        uint8_t byte = u8();
        if (failed_)
            return 0;
        if (shift < 32)
            value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

int32_t ByteCursor::long_sleb() {
    uint32_t value = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
        byte = u8();
        if (failed_)
            return 0;
        if (shift < 32)
            value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        shift += 7;
    } while (byte & 0x80);
    if (shift < 32 && (byte & 0x40))
        value |= ~0u << shift;
    return static_cast<int32_t>(value);
}

std::string ByteCursor::string() {
    return std::string(text());
}

std::string_view ByteCursor::text() {
    if (failed_ || offset_ >= size_) {
        failed_ = true;
        return {};
    }
    const void* nul = std::memchr(data_ + offset_, 0, size_ - offset_);
    if (!nul) {
        failed_ = true;
        return {};
    }
    size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - (data_ + offset_));
    std::string_view view(reinterpret_cast<const char*>(data_ + offset_), length);
    offset_ += length + 1;
    return view;
}

std::string_view ByteCursor::bytes(size_t count) {
    if (!need(count))
        return {};
    std::string_view view(reinterpret_cast<const char*>(data_ + offset_), count);
    offset_ += count;
    return view;
}

} // namespace vx::icode
