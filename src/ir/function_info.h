// FUNINFO: the per-function record.  One exists for every function defined
// or named in the file; records are found by name (symbol_table.h) and live
// for the whole file.  A record's per-function data -- local symbols, the
// local table, the symbol lists -- come from its own arena and are released
// when the function has been written.
#pragma once

#include "ir/symbol.h"
#include "support/arena.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vx::ir {

// The properties word (`FUN_` flags).
inline constexpr uint32_t FUN_calls_anonymous = 0x1;
inline constexpr uint32_t FUN_cannot_suppress = 0x2;
inline constexpr uint32_t FUN_is_unsuppressed = 0x4;
inline constexpr uint32_t FUN_never_returns = 0x8;
inline constexpr uint32_t FUN_calls_OUTSIDE = 0x10;
inline constexpr uint32_t FUN_cannot_inline = 0x20;
inline constexpr uint32_t FUN_is_suppressed = 0x40;
inline constexpr uint32_t FUN_no_global_asg = 0x80;
inline constexpr uint32_t FUN_no_global_use = 0x100;
inline constexpr uint32_t FUN_is_pragma_EXT = 0x200;
inline constexpr uint32_t FUN_calls_SYSTEM = 0x400;
inline constexpr uint32_t FUN_is_processed = 0x800;
inline constexpr uint32_t FUN_is_anonymous = 0x1000;
inline constexpr uint32_t FUN_is_interrupt = 0x2000;
inline constexpr uint32_t FUN_follows_call = 0x4000;
inline constexpr uint32_t FUN_value_needed = 0x8000;
inline constexpr uint32_t FUN_no_byref_asg = 0x10000;
inline constexpr uint32_t FUN_is_pure_fun = 0x20000;
inline constexpr uint32_t FUN_cannot_beta = 0x40000;
inline constexpr uint32_t FUN_no_RPT_loop = 0x80000;
inline constexpr uint32_t FUN_is_inlined = 0x200000;
inline constexpr uint32_t FUN_no_ind_asg = 0x400000;
inline constexpr uint32_t FUN_no_ind_use = 0x800000;
inline constexpr uint32_t FUN_is_cg_root = 0x1000000;
inline constexpr uint32_t FUN_is_called = 0x4000000;
inline constexpr uint32_t FUN_is_extern = 0x8000000;
inline constexpr uint32_t FUN_is_SYSTEM = 0x10000000;
inline constexpr uint32_t FUN_has_1_BB = 0x20000000;
inline constexpr uint32_t FUN_is_main = 0x40000000;
inline constexpr uint32_t FUN_is_cpp = 0x80000000;

// The name of one property bit ("FUN_cannot_inline"), or nullptr for a bit
// without a name.
const char* function_property_name(uint32_t bit);
// One "\t<name>\n" line per named bit that is set, lowest bit first.
void print_function_properties(FILE* out, uint32_t properties);

// The function's symbols by kind.  The writer emits locals from these lists
// in this order.
enum class SymbolListKind {
    block_scope, // declared in nested blocks, waiting to be filed
    second,      // locals filed apart from the declared ones (non-scalars, parameters' shadows)
    copies,      // numbered copies and other symbols made by passes
    declared,    // parameters and outermost-block locals, in declaration order
};
inline constexpr int symbol_list_count = 4;
inline constexpr SymbolListKind symbol_lists_in_output_order[] = {
    SymbolListKind::block_scope, SymbolListKind::second, SymbolListKind::copies,
    SymbolListKind::declared};

struct FUNINFO {
    Symbol* symbol = nullptr;
    std::string source_file;  // empty when unknown
    uint32_t properties = 0;  // FUN_ flags
    bool not_emitted = false; // the trailer does not write the function
    bool has_flow_graph = false;
    bool leaf = false; // calls nothing
    bool takes_local_address = false;
    int16_t call_graph_number = 0;
    uint32_t block_count = 0;

    SourcePosition begin_position;
    SourcePosition parameters_end; // I_EA
    SourcePosition locals_end;     // I_EL
    SourcePosition end_position;

    // Per-function data.
    Arena arena;                      // local symbols and other per-function records
    std::vector<Symbol*> local_table; // I-code's level > 0 index space
    SymbolList lists[symbol_list_count];
    uint32_t declaration_count = 0; // symbols declared since the function began
    uint32_t copy_count = 0;        // copies made by passes

    bool has(uint32_t property) const { return (properties & property) != 0; }
    void set(uint32_t property) { properties |= property; }
    void clear(uint32_t property) { properties &= ~property; }

    // The inliner's suppression mark: no out-of-line body is written.
    bool is_suppressed() const { return has(FUN_is_suppressed); }
    // The function must keep its out-of-line body.  True when it had been
    // marked for suppression (the caller reports that).
    bool unsuppress();

    SymbolList& list(SymbolListKind kind) { return lists[static_cast<int>(kind)]; }
    const SymbolList& list(SymbolListKind kind) const { return lists[static_cast<int>(kind)]; }

    // Empties the local table and the lists and resets the running counts,
    // for a function (re)entered by the reader.  The arena keeps its objects.
    void reset_locals();
    // Drops the per-function data once the function has been written.
    void release_function_data();
};

// The driver's name for the record.
using FunctionInfo = FUNINFO;

} // namespace vx::ir
