// The optimizer's writer client: which records the optimized program is
// written as.
//
//   write_global_symbols(writer);           // at "intermission"
//   write_function(writer, info, body);     // by the trailer, function by function
//   write_initializers(writer);             // after the last function
//   writer.close();                         // the trailing sections
//
// A function is written as: I_BF, its parameters, I_EA, its locals (those
// of nested blocks with the others: the output has no block records), I_EL,
// the leaf mark, the pending texts, its statements, its exception table and
// I_EF.  Until the flow graph exists the statements go out in the order of
// the function's statement list; IF (should one be there) is lowered to
// CBRANCH and BRANCH.
#pragma once

#include "icode/reader_client.h"
#include "icode/writer.h"
#include "ir/function_info.h"

#include <string>
#include <vector>

namespace vx::icode {

// The global symbols in declaration order become the symbol section; each
// takes its place in it as its global index.
void write_global_symbols(IcodeWriter& writer);

// Writes one function (nothing for a function marked for suppression) and
// marks it FUN_is_processed.  The caller releases its data afterwards.
void write_function(IcodeWriter& writer, ir::FUNINFO& function, FunctionBody& body);

// Writes the initializer of every global symbol that has one, in the order
// of the symbol section.
void write_initializers(IcodeWriter& writer);

// Texts that passes want written with the next function, between two "*"
// texts (kind 47); emptied when written.
std::vector<std::string>& pending_texts();

// Drops the entries of an exception table that are not `used` (by entry
// index; entry 0 is the no-handler entry) unless they end a cleanup region,
// and numbers the others consecutively.  When nothing is dropped the ids
// stay as they are.
void renumber_exception_table(ExceptionTableItem& table, const std::vector<bool>& used);

} // namespace vx::icode
