// Bounds-checked decoding of the primitive encodings of I-code: bytes,
// little-endian s16 and u32, unsigned and signed LEB128, NUL-terminated
// strings.  A read past the end sets the failure flag and yields zero, so a
// decoder can read a whole record and test once.  The one-byte cases are
// inline: they are most of what a stream holds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vx::icode {

class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t u8() {
        if (offset_ < size_)
            return data_[offset_++];
        failed_ = true;
        return 0;
    }
    int16_t s16();
    uint32_t u32();
    uint32_t uleb() {
        if (offset_ < size_ && data_[offset_] < 0x80)
            return data_[offset_++];
        return long_uleb();
    }
    int32_t sleb() {
        if (offset_ < size_ && data_[offset_] < 0x80) {
            uint8_t byte = data_[offset_++];
            return (byte & 0x40) ? static_cast<int32_t>(byte) - 0x80 : byte;
        }
        return long_sleb();
    }
    std::string string();
    // The same without a copy: a view of the characters before the NUL.
    std::string_view text();
    // The next `count` bytes (a failure when fewer are left).
    std::string_view bytes(size_t count);
    std::string_view rest() { return bytes(remaining()); }

    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }
    bool failed() const { return failed_; }
    bool at_end() const { return offset_ == size_; }
    // Marks the cursor failed, for a decoder that sees a count it cannot meet.
    void fail() { failed_ = true; }

private:
    bool need(size_t count);
    uint32_t long_uleb();
    int32_t long_sleb();

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool failed_ = false;
};

// A growable byte buffer that a record body is encoded into; it keeps its
// room from record to record.
class ByteBuffer {
public:
    void push_back(char byte) {
        if (size_ == room_.size())
            grow(1);
        room_[size_++] = byte;
    }
    void append(const char* bytes, size_t count) {
        if (count == 0)
            return;
        if (count > room_.size() - size_)
            grow(count);
        std::memcpy(room_.data() + size_, bytes, count);
        size_ += count;
    }
    void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
    void clear() { size_ = 0; }
    size_t size() const { return size_; }
    char* data() { return room_.data(); }
    std::string_view view() const { return std::string_view(room_.data(), size_); }

private:
    void grow(size_t count) {
        room_.resize(std::max<size_t>(2 * room_.size(), size_ + count + 64));
    }

    std::vector<char> room_;
    size_t size_ = 0;
};

// Encoders, appending to a std::string or a ByteBuffer.
template <class Out> void put_u8(Out& out, uint8_t value) {
    out.push_back(static_cast<char>(value));
}
template <class Out> void put_s16(Out& out, int32_t value) {
    const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
    out.append(bytes, 2);
}
template <class Out> void put_u32(Out& out, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    out.append(bytes, 4);
}
template <class Out> void put_uleb(Out& out, uint32_t value) {
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
        return;
    }
    char bytes[5];
    size_t count = 0;
    do {
        uint8_t low = value & 0x7F;
        value >>= 7;
        bytes[count++] = static_cast<char>(low | (value ? 0x80 : 0));
    } while (value);
    out.append(bytes, count);
}
// Stops after the byte whose remaining value is 0 with bit 6 clear, or -1
// with bit 6 set.
template <class Out> void put_sleb(Out& out, int32_t value) {
    if (value >= -64 && value < 64) {
        out.push_back(static_cast<char>(value & 0x7F));
        return;
    }
    char bytes[5];
    size_t count = 0;
    for (;;) {
        uint8_t low = static_cast<uint8_t>(value & 0x7F);
        value >>= 7; // arithmetic shift keeps the sign
        bool done = (value == 0 && !(low & 0x40)) || (value == -1 && (low & 0x40));
        bytes[count++] = static_cast<char>(low | (done ? 0 : 0x80));
        if (done)
            break;
    }
    out.append(bytes, count);
}
template <class Out> void put_string(Out& out, std::string_view value) {
    out.append(value.data(), value.size());
    out.push_back('\0');
}
template <class Out> void put_bytes(Out& out, std::string_view value) {
    out.append(value.data(), value.size());
}

} // namespace vx::icode
