#include "icode/file_header.h"

#include "icode/byte_cursor.h"

namespace vx::icode {

namespace {

constexpr size_t kMagicSize = sizeof kMagic; // with its NUL

bool has_trailing_word(int version) {
    return version >= -83;
}

} // namespace

std::optional<FileHeader> decode_file_header(const uint8_t* data, size_t size) {
    ByteCursor record(data, size);
    if (record.u8() != kHeaderRecordKind)
        return std::nullopt;
    uint32_t length = record.uleb();
    if (record.failed() || length > record.remaining())
        return std::nullopt;
    ByteCursor body(data + record.offset(), length);
    FileHeader header;
    if (body.string() != std::string(kMagic, kMagicSize - 1))
        return std::nullopt;
    header.version = body.s16();
    header.format = body.s16();
    if (header.version < kOldestVersion || header.version > kNewestVersion ||
        header.format != kFormatNumber)
        return std::nullopt;
    for (uint32_t& offset : header.section_offsets)
        offset = body.u32();
    header.name = body.string();
    if (has_trailing_word(header.version))
        header.trailing_word = body.u32();
    if (body.failed() || !body.at_end())
        return std::nullopt;
    header.record_size = record.offset() + length;
    return header;
}

std::string encode_file_header(const FileHeader& header) {
    std::string body;
    put_string(body, kMagic);
    put_s16(body, header.version);
    put_s16(body, header.format);
    for (uint32_t offset : header.section_offsets)
        put_u32(body, offset);
    put_string(body, header.name);
    if (has_trailing_word(header.version))
        put_u32(body, header.trailing_word);
    std::string record;
    put_u8(record, kHeaderRecordKind);
    put_uleb(record, static_cast<uint32_t>(body.size()));
    return record + body;
}

} // namespace vx::icode
