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

// A LEB128 value of more than one byte at `bytes`, with `left` bytes from
// there to the end: its value and how many bytes it takes, or cut off when
// the end comes first.  Free functions, so that a cursor that calls them
// stays in registers.
struct LebValue {
    uint32_t value;
    size_t length;
    bool cut_off;
};
LebValue scan_uleb(const uint8_t* bytes, size_t left);
LebValue scan_sleb(const uint8_t* bytes, size_t left);

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
        // Two bytes (line numbers, most indexes past 127) and three (the
        // line numbers of a long file) without a call.
        if (!failed_ && offset_ + 2 <= size_) {
            const uint32_t value = (data_[offset_] & 0x7Fu) | (data_[offset_ + 1] & 0x7Fu) << 7;
            if (data_[offset_ + 1] < 0x80) {
                offset_ += 2;
                return value;
            }
            if (offset_ + 3 <= size_ && data_[offset_ + 2] < 0x80) {
                offset_ += 3;
                return value | uint32_t{data_[offset_ - 1]} << 14;
            }
        }
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
    std::string_view text() {
        if (failed_ || offset_ >= size_) {
            failed_ = true;
            return {};
        }
        const void* nul = std::memchr(data_ + offset_, 0, size_ - offset_);
        if (!nul) {
            failed_ = true;
            return {};
        }
        const auto length =
            static_cast<size_t>(static_cast<const uint8_t*>(nul) - (data_ + offset_));
        std::string_view view(reinterpret_cast<const char*>(data_ + offset_), length);
        offset_ += length + 1;
        return view;
    }
    // The next `count` bytes (a failure when fewer are left).
    std::string_view bytes(size_t count) {
        if (!need(count))
            return {};
        std::string_view view(reinterpret_cast<const char*>(data_ + offset_), count);
        offset_ += count;
        return view;
    }
    std::string_view rest() { return bytes(remaining()); }

    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }
    bool failed() const { return failed_; }
    bool at_end() const { return offset_ == size_; }
    // Marks the cursor failed, for a decoder that sees a count it cannot meet.
    void fail() { failed_ = true; }

private:
    bool need(size_t count) {
        if (failed_ || count > size_ - offset_) {
            failed_ = true;
            return false;
        }
        return true;
    }
    // A cursor that has failed takes one more byte and yields 0, as the
    // one-byte reads do.
    uint32_t long_uleb() {
        if (failed_ || offset_ >= size_) {
            u8();
            return 0;
        }
        return take(scan_uleb(data_ + offset_, size_ - offset_));
    }
    int32_t long_sleb() {
        if (failed_ || offset_ >= size_) {
            u8();
            return 0;
        }
        return static_cast<int32_t>(take(scan_sleb(data_ + offset_, size_ - offset_)));
    }
    uint32_t take(const LebValue& scanned) {
        offset_ += scanned.length;
        failed_ = failed_ || scanned.cut_off;
        return scanned.value;
    }

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
    // Room for `count` more bytes at the end, for an encoder that writes
    // through a pointer; commit() then keeps the bytes up to `end`.
    char* room(size_t count) {
        if (count > room_.size() - size_)
            grow(count);
        return room_.data() + size_;
    }
    void commit(const char* end) { size_ = static_cast<size_t>(end - room_.data()); }
    // The end of the room there is (past the bytes kept).
    char* room_end() { return room_.data() + room_.size(); }
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

// Encoders into room the caller has made (5 bytes for a LEB128 of 32
// bits); each returns the end of what it wrote.
inline char* encode_uleb(char* out, uint32_t value) {
    while (value >= 0x80) {
        *out++ = static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    *out++ = static_cast<char>(value);
    return out;
}
// Stops after the byte whose remaining value is 0 with bit 6 clear, or -1
// with bit 6 set.
inline char* encode_sleb(char* out, int32_t value) {
    for (;;) {
        uint8_t low = static_cast<uint8_t>(value & 0x7F);
        value >>= 7; // arithmetic shift keeps the sign
        bool done = (value == 0 && !(low & 0x40)) || (value == -1 && (low & 0x40));
        *out++ = static_cast<char>(low | (done ? 0 : 0x80));
        if (done)
            return out;
    }
}

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
    out.append(bytes, static_cast<size_t>(encode_uleb(bytes, value) - bytes));
}
template <class Out> void put_sleb(Out& out, int32_t value) {
    if (value >= -64 && value < 64) {
        out.push_back(static_cast<char>(value & 0x7F));
        return;
    }
    char bytes[5];
    out.append(bytes, static_cast<size_t>(encode_sleb(bytes, value) - bytes));
}
template <class Out> void put_string(Out& out, std::string_view value) {
    out.append(value.data(), value.size());
    out.push_back('\0');
}
template <class Out> void put_bytes(Out& out, std::string_view value) {
    out.append(value.data(), value.size());
}

} // namespace vx::icode
