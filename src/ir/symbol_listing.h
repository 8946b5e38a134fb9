// The symbol listing of the debug log: the global symbols, a function's
// local symbols, one line per symbol and one per attribute list, and the
// report on the table of interned names.  Callers decide whether tracing
// is on; these routines only print.
#pragma once

#include "ir/function_info.h"
#include "ir/symbol.h"

#include <cstdio>
#include <span>
#include <string>

namespace vx::ir {

// One symbol: the "#" line with the type spelled from `spelled_type`, then
// one line per attribute list.  The I-code writer's listing uses it too.
void print_symbol_line(FILE* out, const Symbol& symbol, const TYPE* spelled_type);

// The listing line of one attribute list.
void print_attribute_line(FILE* out, const AttributeList& list);

// "\n\fGlobal symbols\n\n", the column heading and every global symbol
// (declared types).
void list_global_symbols(FILE* out);
// The column heading and every symbol of the function's four lists, in the
// writer's order (optimizer types).
void list_local_symbols(FILE* out, const FUNINFO& function);

// The entry count, load factors and entries without a function record of
// the table of interned names.
void print_interned_names_report(FILE* out);

// A file-level pragma: "^[Pragma] id count" and its arguments.
void print_file_pragma(FILE* out, unsigned id, std::span<const std::string> arguments);

} // namespace vx::ir
