// The optimizer's types as type records (kind 116): a type's own record,
// and its lists (parameters, enumerators, members) bracketed by list-begin
// and list-end records.  The inverse of reader_client_types.h.
#pragma once

#include "icode/records.h"
#include "ir/type_numbering.h"

namespace vx::icode {

class IcodeWriter;

// The record that defines `type` (numbers through the writer).
TypeRecord own_type_record(IcodeWriter& writer, ir::TYPE* type);

// Writes one item of the type section: a type's own record or one of its
// lists.
void write_type_emission(IcodeWriter& writer, const ir::TypeEmission& item);

} // namespace vx::icode
