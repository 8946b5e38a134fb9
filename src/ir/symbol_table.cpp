#include "ir/symbol_table.h"

#include "ir/symbol_attributes.h"
#include "ir/symbol_names.h"
#include "ir/symbol_type_queries.h"
#include "options/option_sets.h"
#include "support/check.h"

#include <algorithm>
#include <memory>

namespace vx::ir {

namespace {

std::unique_ptr<SymbolState>& state_holder() {
    static std::unique_ptr<SymbolState> state = std::make_unique<SymbolState>();
    return state;
}

// Older producers wrote 22-bit pointers.
constexpr uint32_t OLD_POINTER_SIZE = 22;
constexpr uint32_t POINTER_SIZE = 32;
// Tables grow in steps, as the reader's tables always have.
constexpr std::size_t GLOBAL_TABLE_STEP = 100;
constexpr std::size_t LOCAL_TABLE_STEP = 20;
constexpr int FIRST_LEVEL_WITHOUT_GLOBAL_VIEW = 3;
constexpr uint8_t FIELD_VARIABLE_LEVEL = 2;
constexpr uint8_t DEMOTED_STATIC_LEVEL = 2;

uint32_t append_to_table(std::vector<Symbol*>& table, Symbol* symbol, std::size_t step) {
    if (table.size() == table.capacity())
        table.reserve(table.capacity() + step);
    table.push_back(symbol);
    return static_cast<uint32_t>(table.size() - 1);
}

void intern_global_name(Symbol& symbol) {
    InternedName& entry = symbol_state().names[std::string(lookup_name(symbol.name))];
    if (!is_function(symbol))
        return;
    entry.function_symbol = &symbol;
    if (entry.record)
        entry.record->symbol = &symbol;
}

FUNINFO* make_record(InternedName& entry) {
    entry.record = symbol_state().arena.make<FUNINFO>();
    entry.record->symbol = entry.function_symbol;
    if (entry.function_symbol)
        entry.record->source_file = entry.function_symbol->position.file;
    return entry.record;
}

// The options that decide how a declaration is read: the function's own
// set while a function is read, the file-level set otherwise.
const opt::OptionObject& options_in_force() {
    const std::vector<opt::OptionSet>& sets = opt::option_registry().sets;
    const FUNINFO* function = symbol_state().reading;
    if (function && function->symbol) {
        auto index = static_cast<std::size_t>(function->symbol->option_set);
        if (index < sets.size())
            return sets[index].options;
    }
    return sets.empty() ? opt::current_options() : sets.front().options;
}

// Keeps the stream bits that have a meaning here; below -o3 a writable
// global is taken as visible to other files (and as living in memory that
// other code reaches unless it sits in a register).
uint16_t flags_as_read(uint16_t stream_flags, uint8_t level, const TYPE* declared_type) {
    uint16_t flags = stream_flags & SYM_STREAM_BITS;
    if (level != 0 || TypeView(declared_type).is_const())
        return flags;
    if (opt::optimization_level(options_in_force()) >= FIRST_LEVEL_WITHOUT_GLOBAL_VIEW)
        return flags;
    const bool in_register = (flags & (SYM_CREGISTER | SYM_REGISTER)) != 0;
    return flags | (in_register ? SYM_EXPORTED : SYM_VISIBLE);
}

int option_set_of_function(std::string_view name) {
    std::size_t index = opt::option_set_index(name);
    if (index == 0)
        index = opt::option_set_index(lookup_name(name));
    return static_cast<int>(index);
}

void note_global_function(Symbol& symbol) {
    symbol.option_set = option_set_of_function(symbol.name);
}

Symbol* new_symbol(Arena& arena, const SymbolFields& fields, uint8_t level) {
    Symbol* symbol = arena.make<Symbol>();
    init_symbol(*symbol, fields, level);
    symbol->sequence = symbol_state().next_sequence++;
    return symbol;
}

void enter_local(FUNINFO& function, Symbol& symbol, SymbolListKind kind) {
    symbol.table_level = symbol.level;
    symbol.table_index = append_to_table(function.local_table, &symbol, LOCAL_TABLE_STEP);
    function.list(kind).push_back(&symbol);
}

SymbolListKind list_for_declared_local(uint8_t level) {
    return level > 2 ? SymbolListKind::block_scope : SymbolListKind::declared;
}

} // namespace

SymbolState& symbol_state() {
    return *state_holder();
}

void reset_symbol_state() {
    state_holder() = std::make_unique<SymbolState>();
}

// ---------------------------------------------------------------------------

Symbol* create_global_symbol(const SymbolFields& fields) {
    SymbolState& state = symbol_state();
    Symbol* symbol = new_symbol(state.arena, fields, 0);
    symbol->table_level = 0;
    symbol->table_index = append_to_table(state.global_table, symbol, GLOBAL_TABLE_STEP);
    state.global_list.push_back(symbol);
    intern_global_name(*symbol);
    return symbol;
}

Symbol* create_local_symbol(FUNINFO& function, const SymbolFields& fields, uint8_t level,
                            SymbolListKind kind) {
    Symbol* symbol = new_symbol(function.arena, fields, level);
    enter_local(function, *symbol, kind);
    return symbol;
}

Symbol* declare_symbol(const SymbolDeclaration& declaration) {
    SymbolState& state = symbol_state();
    SymbolFields fields = declaration.fields;
    const uint8_t level = declaration.level;
    FUNINFO* function = level > 0 ? state.reading : nullptr;
    VX_CHECK(level == 0 || function != nullptr);

    if (fields.size == OLD_POINTER_SIZE)
        fields.size = fields.alignment = POINTER_SIZE;
    const bool pinned = fields.storage_class == SC_PINNED_PARAM;
    if (pinned)
        fields.storage_class = SC_PARAM;
    fields.flags = flags_as_read(fields.flags, level, fields.type);

    Symbol* symbol =
        function ? create_local_symbol(*function, fields, level, list_for_declared_local(level))
                 : create_global_symbol(fields);
    symbol->stream_words[0] = declaration.stream_words[0];
    symbol->stream_words[1] = declaration.stream_words[1];
    symbol->declaration_number =
        function ? function->declaration_count++ : state.global_declarations++;
    if (pinned && function)
        function->set(FUN_cannot_beta | FUN_cannot_inline | FUN_cannot_suppress);
    if (!function && is_function(*symbol))
        note_global_function(*symbol);
    return symbol;
}

Symbol* copy_symbol(FUNINFO& function, const Symbol& original, int number) {
    Symbol* copy = function.arena.make<Symbol>(original);
    copy->name = copy_name(original.name, number, copies_get_distinct_names());
    copy->function_record = nullptr; // the name is the copy's own
    copy->next = nullptr;
    copy->initializer.clear();
    copy->flag_byte &= static_cast<uint8_t>(~SYMB_INITIALIZED);
    copy->file_offset = 0;
    if (copy->level == 0)
        copy->level = 2;
    copy->sequence = symbol_state().next_sequence++;
    ++function.copy_count;
    enter_local(function, *copy, SymbolListKind::copies);
    return copy;
}

Symbol* make_field_variable(FUNINFO& function, const Symbol& aggregate, std::string_view field_name,
                            TYPE* field_type) {
    TYPE* type = optimizer_type_of(field_type);
    const std::string name = exploded_field_name(aggregate.name, field_name);
    SymbolFields fields;
    fields.name = name;
    fields.type = type;
    fields.size = TypeView(type).size();
    fields.alignment = TypeView(type).alignment();
    fields.storage_class = SC_AUTO;
    fields.position = aggregate.position;
    return create_local_symbol(function, fields, FIELD_VARIABLE_LEVEL, SymbolListKind::copies);
}

namespace {

Symbol* demote_one_static(FUNINFO& function, Symbol& local_static) {
    // The copy is taken before the static is marked dead, so that it starts
    // as a plain live variable.
    Symbol* copy = copy_symbol(function, local_static, static_cast<int>(function.copy_count) + 1);
    copy->storage_class = copy->declared_storage_class = SC_AUTO;
    copy->level = DEMOTED_STATIC_LEVEL;
    copy->table_level = DEMOTED_STATIC_LEVEL;
    copy->flags &= SYM_LOW_BITS;
    local_static.flag_byte |= SYMB_DEMOTED_STATIC;
    Arena& arena = local_static.level == 0 ? symbol_state().arena : function.arena;
    attach_attribute_list(arena, local_static, PRG_SYMBOL_IS_DEAD, {});
    local_static.flags &= SYM_LOW_BITS;
    return copy;
}

} // namespace

std::vector<Symbol*> demote_local_statics(FUNINFO& function, std::span<Symbol* const> statics,
                                          FILE* info, FILE* trace) {
    std::vector<Symbol*> copies;
    if (info && !statics.empty())
        std::fprintf(info, "    Changing these function-local static variables to 'auto':\n");
    const char* function_name = function.symbol ? function.symbol->name.c_str() : "";
    for (Symbol* local_static : statics) {
        copies.push_back(demote_one_static(function, *local_static));
        if (info)
            std::fprintf(info, "\t%s:%s\n", function_name, local_static->name.c_str());
        if (trace)
            std::fprintf(trace, "Changing this function-local static variable to 'auto': %s\n",
                         local_static->name.c_str());
    }
    return copies;
}

// ---------------------------------------------------------------------------

FUNINFO& begin_function(Symbol& function, const SourcePosition& position) {
    FUNINFO& record = function_record_for(function.name);
    if (!record.symbol)
        record.symbol = &function;
    record.reset_locals();
    record.leaf = true;
    record.takes_local_address = false;
    record.begin_position = position;
    if (record.source_file.empty())
        record.source_file = position.file;
    if (function.flags & SYM_INTERRUPT)
        record.set(FUN_is_interrupt);
    symbol_state().reading = &record;
    return record;
}

void end_function(const SourcePosition& position) {
    SymbolState& state = symbol_state();
    VX_CHECK(state.reading != nullptr);
    state.reading->end_position = position;
    state.reading = nullptr;
}

FUNINFO* function_being_read() {
    return symbol_state().reading;
}

// ---------------------------------------------------------------------------

Symbol* symbol_at(const FUNINFO* function, int level, uint32_t index) {
    if (level == 0) {
        const std::vector<Symbol*>& table = symbol_state().global_table;
        return index < table.size() ? table[index] : nullptr;
    }
    if (!function || index >= function->local_table.size())
        return nullptr;
    return function->local_table[index];
}

std::vector<Symbol*> global_symbols_named(std::string_view name) {
    std::vector<Symbol*> found;
    for (Symbol* symbol : symbol_state().global_list)
        if (symbol->name == name)
            found.push_back(symbol);
    return found;
}

FUNINFO* function_record_of(std::string_view name) {
    auto& names = symbol_state().names;
    auto entry = names.find(std::string(lookup_name(name)));
    if (entry == names.end())
        return nullptr;
    if (entry->second.record)
        return entry->second.record;
    return entry->second.function_symbol ? make_record(entry->second) : nullptr;
}

// A record, once made, stays its name's for the whole run, so the symbol
// keeps it and later calls skip the lookup by name.  Not for a name that
// begins with '_' or '.': whether that character is part of the lookup name
// depends on the options in force when the lookup is made.
FUNINFO* function_record_of(const Symbol& symbol) {
    if (symbol.function_record != nullptr)
        return symbol.function_record;
    FUNINFO* record = function_record_of(std::string_view(symbol.name));
    const bool lookup_name_is_the_name =
        !symbol.name.starts_with('_') && !symbol.name.starts_with('.');
    if (lookup_name_is_the_name)
        symbol.function_record = record;
    return record;
}

FUNINFO& function_record_for(std::string_view name) {
    InternedName& entry = symbol_state().names[std::string(lookup_name(name))];
    return entry.record ? *entry.record : *make_record(entry);
}

// ---------------------------------------------------------------------------

const SymbolList& global_symbols() {
    return symbol_state().global_list;
}

std::vector<Symbol*> parameters_for_output(const FUNINFO& function) {
    std::vector<Symbol*> parameters;
    for (Symbol* symbol : function.list(SymbolListKind::declared))
        if (symbol->level == 1 && (symbol->flag_byte & SYMB_DECLARED))
            parameters.push_back(symbol);
    std::stable_sort(parameters.begin(), parameters.end(), [](const Symbol* a, const Symbol* b) {
        return a->declaration_number < b->declaration_number;
    });
    return parameters;
}

std::vector<Symbol*> locals_for_output(const FUNINFO& function) {
    std::vector<Symbol*> locals;
    for (SymbolListKind kind : symbol_lists_in_output_order)
        for (Symbol* symbol : function.list(kind))
            if (symbol->level == 2)
                locals.push_back(symbol);
    return locals;
}

void set_table_position(Symbol& symbol, int level, uint32_t index) {
    symbol.table_level = level;
    symbol.table_index = index;
}

} // namespace vx::ir
