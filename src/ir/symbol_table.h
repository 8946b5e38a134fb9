// The symbol tables and the function-record table.
//
// I-code names a symbol by (level, index): level 0 is the global table,
// any other level the current function's local table.  Global symbols are
// kept in declaration order in the global list and the global table, both
// for the whole run; each function's record (FUNINFO) holds its local table
// and its four symbol lists, filled from its own arena.
//
// Function records are filed by lookup name (symbol_names.h) in the table
// of interned names: every global symbol's name is interned there, and the
// entry of a function points to its record once one is needed.
//
// All of it is one record, SymbolState, reached through symbol_state() and
// renewed by reset_symbol_state().
#pragma once

#include "ir/function_info.h"
#include "ir/symbol.h"
#include "support/arena.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vx::ir {

struct InternedName {
    Symbol* function_symbol = nullptr; // the latest global function declared under the name
    FUNINFO* record = nullptr;
};

struct SymbolState {
    Arena arena; // global symbols, their attribute lists, function records
    SymbolList global_list;
    std::vector<Symbol*> global_table;
    std::unordered_map<std::string, InternedName> names; // by lookup name
    // Functions whose properties an attribute asked to clear (id 54).
    std::vector<Symbol*> property_reset_symbols;
    FUNINFO* reading = nullptr; // the function the reader is in, or none
    uint32_t global_declarations = 0;
    unsigned next_sequence = 1;
    long trace_level = 0; // the driver's trace level
};

SymbolState& symbol_state();
// A fresh state: every symbol and function record of the run is released.
void reset_symbol_state();

// ---------------------------------------------------------------------------
// Creation

// A kind-35 record as the reader decoded it, with the reader's nesting
// level (0 outside functions).
struct SymbolDeclaration {
    SymbolFields fields;
    uint32_t stream_words[2] = {};
    uint8_t level = 0;
};

// Creates a declared symbol by the reading rules and enters it: a global
// one in the global list and table, a local one in the local table and
// list of the function being read.  Size 22 becomes 32 with alignment 32,
// class 27 becomes 9 and pins the function, the flags are masked and
// completed, and a global function's symbol becomes its record's symbol.
// The caller then attaches the declaration's attribute lists.
Symbol* declare_symbol(const SymbolDeclaration& declaration);

// A global symbol with these fields, as given.
Symbol* create_global_symbol(const SymbolFields& fields);
// A local symbol of `function` at `level`, entered in its local table and
// in the list `kind`.
Symbol* create_local_symbol(FUNINFO& function, const SymbolFields& fields, uint8_t level,
                            SymbolListKind kind);

// A new local that copies `original` (pass data and attribute lists
// included, initializer not) under copy_name(); it enters the local table
// and the list of copies.  A copy of a global becomes a level-2 local.
Symbol* copy_symbol(FUNINFO& function, const Symbol& original, int number);

// The variable that replaces field `field_name` (of `field_type`) of the
// structure variable `aggregate`: an automatic level-2 local with the
// field's optimizer type, its size and alignment, at the aggregate's
// position; it enters the local table and the list of copies.
Symbol* make_field_variable(FUNINFO& function, const Symbol& aggregate, std::string_view field_name,
                            TYPE* field_type);

// Turns proven-demotable function-local statics into automatic copies.
// Each static is marked (flag byte bit 0x10, attribute "SYMBOL IS DEAD",
// flags cut to 0x1FFF) and gets a copy of class 1 at level 2.  Returns the
// copies in the order of `statics`; the caller redirects NAME nodes to them.
// `info` and `trace` receive the messages when not null.
std::vector<Symbol*> demote_local_statics(FUNINFO& function, std::span<Symbol* const> statics,
                                          FILE* info, FILE* trace);

// ---------------------------------------------------------------------------
// Functions being read

// Makes the record of `function` current for reading (found or created by
// name): its local table and lists start empty, it is a leaf until a call
// is read, and an interrupt symbol (flag 0x20) makes it FUN_is_interrupt.
FUNINFO& begin_function(Symbol& function, const SourcePosition& position);
void end_function(const SourcePosition& position);
FUNINFO* function_being_read();

// ---------------------------------------------------------------------------
// Lookup

// The symbol at (level, index): the global table for level 0, the local
// table of `function` otherwise; nullptr when there is none.
Symbol* symbol_at(const FUNINFO* function, int level, uint32_t index);

// The global symbols with this name, in declaration order.
std::vector<Symbol*> global_symbols_named(std::string_view name);

// The record of a function, by the symbol's name or by a name.  A miss
// creates the record when the name is known as a global function, and
// yields nullptr otherwise.
FUNINFO* function_record_of(const Symbol& symbol);
FUNINFO* function_record_of(std::string_view name);
// The record filed under the name, created when missing.
FUNINFO& function_record_for(std::string_view name);

// ---------------------------------------------------------------------------
// Enumeration for the writer

const SymbolList& global_symbols();
// Parameters to write: level-1 symbols of the declared list that still have
// flag byte bit 0x04, by declaration number.
std::vector<Symbol*> parameters_for_output(const FUNINFO& function);
// Locals to write: the level-2 symbols of the four lists, block-scope list
// first, then the second list, the copies and the declared list.
std::vector<Symbol*> locals_for_output(const FUNINFO& function);
// Records where the writer indexed the symbol.
void set_table_position(Symbol& symbol, int level, uint32_t index);

} // namespace vx::ir
