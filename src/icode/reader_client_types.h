// Type records (kind 116) into the optimizer's types: each defining record
// becomes a type of the package through its factory, list records fill the
// parameters, enumerators and member lists of the type they name.  Errors
// end the run with the type package's report ("TP>> internal error: ...").
#pragma once

#include "icode/records.h"
#include "ir/type.h"
#include "ir/type_numbering.h"

#include <string>
#include <vector>

namespace vx::ir {
class TYPE_PKG;
} // namespace vx::ir

namespace vx::icode {

struct TypeReadContext {
    ir::TYPE_PKG& package;
    ir::TypeNumberTable& table;
    // Names of the file-name section by index - 1, for positions.
    const std::vector<const std::string*>& file_names;
    int version;
};

// Applies one type record.  Returns the number of a type it defined, 0
// otherwise (list records, and codes that define nothing).
uint32_t read_type_record(const TypeRecord& record, TypeReadContext& context);

// The name of file `index` of the file-name section: nullptr for 0,
// "NO_FILE" for an index the section does not have.
const std::string* file_name_at(const std::vector<const std::string*>& file_names, uint32_t index);

} // namespace vx::icode
