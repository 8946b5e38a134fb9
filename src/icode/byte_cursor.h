// Bounds-checked decoding of the primitive encodings of I-code: bytes,
// little-endian s16 and u32, unsigned and signed LEB128, NUL-terminated
// strings.  A read past the end sets the failure flag and yields zero, so a
// decoder can read a whole record and test once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::icode {

class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t u8();
    int16_t s16();
    uint32_t u32();
    uint32_t uleb();
    int32_t sleb();
    std::string string();

    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }
    bool failed() const { return failed_; }
    bool at_end() const { return offset_ == size_; }

private:
    bool need(size_t count);

    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool failed_ = false;
};

// Encoders, appending to a byte string.
void put_u8(std::string& out, uint8_t value);
void put_s16(std::string& out, int32_t value);
void put_u32(std::string& out, uint32_t value);
void put_uleb(std::string& out, uint32_t value);
void put_sleb(std::string& out, int32_t value);
void put_string(std::string& out, const std::string& value);

} // namespace vx::icode
