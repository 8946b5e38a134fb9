// The words of the I-code text form: record keywords, type-code keywords,
// section names.
#pragma once

#include "icode/file_header.h"
#include "icode/records.h"

#include <optional>
#include <string_view>

namespace vx::icode::text {

// The keyword of a top-level record ("func", "stmt", "lone-attr"...).
// Unknown records have none (they are written as raw bytes).
const char* record_keyword(uint8_t kind);

// The empty record for a top-level keyword; nothing for other words.
std::optional<RecordBody> record_for_keyword(std::string_view keyword);

// "int", "ptr", "list"...; nullptr for a code without a keyword (written
// "codeN").
const char* type_code_keyword(uint8_t code);
// The code of a keyword or of "codeN"; -1 when it is neither.
int type_code_for_keyword(std::string_view keyword);

// "main", "init", "pragma", "types", "files", "symbols".
const char* section_keyword(Section section);
std::optional<Section> section_for_keyword(std::string_view keyword);

} // namespace vx::icode::text
