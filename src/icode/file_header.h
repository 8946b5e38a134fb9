// The file header record (kind 8): magic, version, format number, the five
// section offsets and the file's name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vx::icode {

constexpr uint8_t kHeaderRecordKind = 8;
constexpr const char kMagic[] = "!<icode>\n";
constexpr int kOldestVersion = -86;
constexpr int kNewestVersion = -73;
constexpr int kFormatNumber = 600;

// The sections whose offsets the header holds, in the header's order, and
// the main part, which follows the header and has no offset.
enum Section {
    PRAGMA_SECTION,
    INIT_SECTION,
    TYPE_SECTION,
    FILENAME_SECTION,
    SYMBOL_SECTION,
    MAIN_PART
};
constexpr int kOffsetSectionCount = 5;

// "type section", "main part"...: for messages.
const char* section_title(Section section);

struct FileHeader {
    int version = kNewestVersion;
    int format = kFormatNumber;
    std::array<uint32_t, 5> section_offsets{};
    std::string name;
    uint32_t trailing_word = 0; // present from version -83 on
    size_t record_size = 0;     // bytes of the whole record, kind and length included
};

// Why a stream's start is not a header this program reads.
enum class HeaderProblem {
    none,
    not_a_header,
    cut_short,
    bad_magic,
    bad_version,
    bad_format,
    bad_length
};

// "the magic is not !<icode>"...: for tools that say why a file was refused.
const char* describe(HeaderProblem problem);

struct HeaderCheck {
    std::optional<FileHeader> header;
    HeaderProblem problem = HeaderProblem::none;
};

// Decodes the header at the start of `data` and says what is wrong with it.
HeaderCheck check_file_header(const uint8_t* data, size_t size);

// Decodes the header at the start of `data`; nothing when it is not a
// well-formed header of a version and format this program reads.
std::optional<FileHeader> decode_file_header(const uint8_t* data, size_t size);

// Whether headers of `version` end with the extra u32 word.
inline bool header_has_trailing_word(int version) {
    return version >= -83;
}

// Encodes the header record as the writer emits it.
std::string encode_file_header(const FileHeader& header);

} // namespace vx::icode
