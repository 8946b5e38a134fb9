#include "icode/file_header.h"

#include "icode/byte_cursor.h"

namespace vx::icode {

namespace {

constexpr size_t kMagicSize = sizeof kMagic; // with its NUL

HeaderCheck refused(HeaderProblem problem) {
    return HeaderCheck{std::nullopt, problem};
}

} // namespace

const char* section_title(Section section) {
    switch (section) {
    case PRAGMA_SECTION:
        return "pragma section";
    case INIT_SECTION:
        return "initializer section";
    case TYPE_SECTION:
        return "type section";
    case FILENAME_SECTION:
        return "file-name section";
    case SYMBOL_SECTION:
        return "symbol section";
    case MAIN_PART:
        break;
    }
    return "main part";
}

const char* describe(HeaderProblem problem) {
    switch (problem) {
    case HeaderProblem::none:
        return "no problem";
    case HeaderProblem::not_a_header:
        return "the first record is not a header (kind 8)";
    case HeaderProblem::cut_short:
        return "the header is cut short";
    case HeaderProblem::bad_magic:
        return "the magic is not \"!<icode>\\n\"";
    case HeaderProblem::bad_version:
        return "the version is not one of -86 to -73";
    case HeaderProblem::bad_format:
        return "the format number is not 600";
    case HeaderProblem::bad_length:
        return "the header's length disagrees with its fields";
    }
    return "unknown problem";
}

HeaderCheck check_file_header(const uint8_t* data, size_t size) {
    ByteCursor record(data, size);
    if (record.u8() != kHeaderRecordKind)
        return refused(record.failed() ? HeaderProblem::cut_short : HeaderProblem::not_a_header);
    uint32_t length = record.uleb();
    if (record.failed() || length > record.remaining())
        return refused(HeaderProblem::cut_short);
    ByteCursor body(data + record.offset(), length);
    FileHeader header;
    if (body.text() != std::string_view(kMagic, kMagicSize - 1))
        return refused(body.failed() ? HeaderProblem::bad_length : HeaderProblem::bad_magic);
    header.version = body.s16();
    header.format = body.s16();
    if (body.failed())
        return refused(HeaderProblem::bad_length);
    if (header.version < kOldestVersion || header.version > kNewestVersion)
        return refused(HeaderProblem::bad_version);
    if (header.format != kFormatNumber)
        return refused(HeaderProblem::bad_format);
    for (uint32_t& offset : header.section_offsets)
        offset = body.u32();
    header.name = body.string();
    if (header_has_trailing_word(header.version))
        header.trailing_word = body.u32();
    if (body.failed() || !body.at_end())
        return refused(HeaderProblem::bad_length);
    header.record_size = record.offset() + length;
    return HeaderCheck{std::move(header), HeaderProblem::none};
}

std::optional<FileHeader> decode_file_header(const uint8_t* data, size_t size) {
    return check_file_header(data, size).header;
}

std::string encode_file_header(const FileHeader& header) {
    std::string body;
    put_string(body, kMagic);
    put_s16(body, header.version);
    put_s16(body, header.format);
    for (uint32_t offset : header.section_offsets)
        put_u32(body, offset);
    put_string(body, header.name);
    if (header_has_trailing_word(header.version))
        put_u32(body, header.trailing_word);
    std::string record;
    put_u8(record, kHeaderRecordKind);
    put_uleb(record, static_cast<uint32_t>(body.size()));
    return record + body;
}

} // namespace vx::icode
