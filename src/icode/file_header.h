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

enum Section { PRAGMA_SECTION, INIT_SECTION, TYPE_SECTION, FILENAME_SECTION, SYMBOL_SECTION };

struct FileHeader {
    int version = kNewestVersion;
    int format = kFormatNumber;
    std::array<uint32_t, 5> section_offsets{};
    std::string name;
    uint32_t trailing_word = 0; // present from version -83 on
    size_t record_size = 0;     // bytes of the whole record, kind and length included
};

// Decodes the header at the start of `data`; nothing when it is not a
// well-formed header of a version and format this program reads.
std::optional<FileHeader> decode_file_header(const uint8_t* data, size_t size);

// Encodes the header record as the writer emits it.
std::string encode_file_header(const FileHeader& header);

} // namespace vx::icode
