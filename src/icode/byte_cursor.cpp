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

uint8_t ByteCursor::u8() {
    if (!need(1))
        return 0;
    return data_[offset_++];
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

uint32_t ByteCursor::uleb() {
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

int32_t ByteCursor::sleb() {
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
    if (failed_)
        return {};
    const void* nul = std::memchr(data_ + offset_, 0, size_ - offset_);
    if (!nul) {
        failed_ = true;
        return {};
    }
    size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - (data_ + offset_));
    std::string text(reinterpret_cast<const char*>(data_ + offset_), length);
    offset_ += length + 1;
    return text;
}

void put_u8(std::string& out, uint8_t value) {
    out.push_back(static_cast<char>(value));
}

void put_s16(std::string& out, int32_t value) {
    put_u8(out, static_cast<uint8_t>(value & 0xFF));
    put_u8(out, static_cast<uint8_t>((value >> 8) & 0xFF));
}

void put_u32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        put_u8(out, static_cast<uint8_t>(value >> (8 * i)));
}

void put_uleb(std::string& out, uint32_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        put_u8(out, static_cast<uint8_t>(byte | (value ? 0x80 : 0)));
    } while (value);
}

void put_sleb(std::string& out, int32_t value) {
    for (;;) {
        uint8_t byte = static_cast<uint8_t>(value & 0x7F);
        value >>= 7; // arithmetic shift keeps the sign
        bool done = (value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40));
        put_u8(out, static_cast<uint8_t>(byte | (done ? 0 : 0x80)));
        if (done)
            return;
    }
}

void put_string(std::string& out, const std::string& value) {
    out.append(value);
    out.push_back('\0');
}

} // namespace vx::icode
