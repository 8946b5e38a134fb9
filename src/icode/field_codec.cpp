#include "icode/field_codec.h"

#include "icode/format_errors.h"
#include "support/check.h"

namespace vx::icode {

void FieldDecoder::string_list(Key, std::span<const std::string_view>& field) {
    uint32_t count = body_.uleb();
    // Every string takes at least its NUL: a larger count cannot be met,
    // and must not make us reserve room for it.
    if (count > body_.remaining() || string_lists_ == nullptr) {
        body_.fail();
        return;
    }
    std::vector<std::string_view>& list = string_lists_->take();
    for (uint32_t i = 0; i < count && !body_.failed(); ++i)
        list.push_back(body_.text());
    field = list;
}

void FieldDecoder::type_code(uint8_t& code, TypeBody& body) {
    code = body_.u8();
    body = type_body_for(code);
}

void FieldEncoder::string(Key, std::string_view field) {
    VX_CHECK(field.find('\0') == std::string_view::npos);
    put_string(body_, field);
}

void FieldEncoder::counted(Key, std::string_view field) {
    put_uleb(body_, static_cast<uint32_t>(field.size()));
    put_bytes(body_, field);
}

void FieldEncoder::string_list(Key key, std::span<const std::string_view> field) {
    put_uleb(body_, static_cast<uint32_t>(field.size()));
    for (std::string_view text : field)
        string(key, text);
}

void FieldEncoder::pairs(Key, Bytes field) {
    VX_CHECK(field.size() % 2 == 0 && field.size() / 2 <= 255);
    put_u8(body_, static_cast<uint8_t>(field.size() / 2));
    put_bytes(body_, field);
}

void FieldEncoder::type_code(uint8_t code, const TypeBody& body) {
    VX_CHECK(type_body_for(code).index() == body.index());
    put_u8(body_, code);
}

void FieldEncoder::put_short(int64_t value) {
    if (value < -32768 || value > 65535)
        fail_short_value();
    put_s16(body_, static_cast<int32_t>(value));
}

void FieldEncoder::put_count_u8(size_t count) {
    VX_CHECK(count <= 255);
    put_u8(body_, static_cast<uint8_t>(count));
}

} // namespace vx::icode
