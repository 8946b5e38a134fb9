// The writer's readable listing of the records it writes, printed to the
// debug log while tracing.  Each line (or group of lines) is flushed.
//
// Shown: scope records (I_BF, I_EA, I_EL, I_EF), pragma entries ("^"),
// symbol declarations ("#"), texts ("$", "/"), the leaf mark ("@"), label
// definitions ("*N") and one line per tree node.  Not shown: type records,
// file names, exception tables and the statement-position records.
#pragma once

#include "icode/reader.h"
#include "icode/records.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace vx::ir {
class NODE;
struct Symbol;
struct SourcePosition;
} // namespace vx::ir

namespace vx::icode {

// "%s\t%d\t%ld\t\t\t;%s\n": the record's name, kind and source line.
void list_scope_record(FILE* out, uint8_t kind, const ir::SourcePosition& position);
void list_pragma(FILE* out, const PragmaItem& entry);
void list_symbol(FILE* out, const ir::Symbol& symbol);
void list_text(FILE* out, uint8_t kind, std::string_view text, const StatementPos& position);
void list_leaf_mark(FILE* out, const std::string& function);
void list_label(FILE* out, uint32_t label);
// One line per node written: `nodes` as encoded, `sources` the optimizer's
// node each came from (an EPVAL that carries an id shows its node's id).
void list_tree_nodes(FILE* out, std::span<const TreeNode> nodes,
                     std::span<const ir::NODE* const> sources);

} // namespace vx::icode
