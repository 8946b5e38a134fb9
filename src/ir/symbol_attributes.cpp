#include "ir/symbol_attributes.h"

#include "ir/function_info.h"
#include "ir/symbol_table.h"
#include "support/check.h"

#include <algorithm>
#include <utility>

namespace vx::ir {

namespace {

bool is_one_of(uint8_t id, std::span<const uint8_t> ids) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

Arena& arena_of(const Symbol& symbol) {
    if (symbol.level == 0)
        return symbol_state().arena;
    FUNINFO* function = function_being_read();
    VX_CHECK(function != nullptr);
    return function->arena;
}

// The property each of the ids 3 to 8 declares.
uint32_t declared_property(uint8_t id) {
    switch (id) {
    case PRG_NEVER_RETURNS:
        return FUN_never_returns;
    case PRG_NO_GLOBAL_ASG:
        return FUN_no_global_asg;
    case PRG_NO_IND_ASG:
        return FUN_no_ind_asg;
    case PRG_IS_PURE:
        return FUN_is_pure_fun;
    case PRG_IS_SYSTEM:
        return FUN_is_SYSTEM;
    default:
        return 0;
    }
}

// An interrupt routine is entered by the hardware, not called: promises
// about what its calls do have no call to describe.
bool excluded_from_declared_properties(const Symbol& function) {
    return (function.flags & SYM_INTERRUPT) != 0;
}

// The function's record; a global function's record takes it as its symbol
// when it has none yet.
FUNINFO& record_of_function(Symbol& function) {
    FUNINFO& record = function_record_for(function.name);
    if (!record.symbol && function.level == 0)
        record.symbol = &function;
    return record;
}

void apply_visibility(FUNINFO& record, const std::string& visibility) {
    if (visibility == "default" || visibility == "extern")
        record.set(FUN_is_pragma_EXT | FUN_cannot_inline);
    if (is_exporting_visibility(visibility))
        record.set(FUN_is_cg_root | FUN_cannot_beta | FUN_is_pragma_EXT | FUN_cannot_suppress);
}

void apply_synonym(FUNINFO& record, const AttributeList& list) {
    FUNINFO& named = function_record_for(list.argument(0));
    record.set(FUN_cannot_beta);
    named.set(FUN_cannot_beta);
    if (std::string_view(list.argument(1)) == "1") {
        record.set(FUN_is_processed);
        named.set(FUN_is_pragma_EXT);
    }
}

void apply_to_function(Symbol& function, const AttributeList& list) {
    FUNINFO& record = record_of_function(function);
    const uint8_t id = list.id;
    if (uint32_t property = declared_property(id)) {
        if (!disable_function_pragmas.is_set() && !excluded_from_declared_properties(function))
            record.set(property);
    } else if (is_one_of(id, PRG_EXTERNAL_IDS)) {
        record.set(FUN_is_pragma_EXT);
    } else if (is_one_of(id, PRG_NO_INLINE_IDS)) {
        record.set(FUN_cannot_inline | FUN_cannot_suppress);
    } else if (id == PRG_SOURCE_LANGUAGE) {
        if (std::string_view(list.argument(0)) == "C++")
            record.set(FUN_is_cpp);
    } else if (id == PRG_CLEAR_PROPERTIES) {
        symbol_state().property_reset_symbols.push_back(&function);
        record.properties = 0;
    } else if (id == PRG_VISIBILITY) {
        apply_visibility(record, list.argument(0));
    } else if (id == PRG_EXCEPTION_SPEC) {
        if (std::string_view(list.argument(1)) != "0")
            record.set(FUN_cannot_inline | FUN_cannot_suppress);
    } else if (id == PRG_FUNCTION_SYNONYM) {
        apply_synonym(record, list);
    }
}

void apply_to_variable(Symbol& variable, const AttributeList& list) {
    if (list.id == PRG_VISIBILITY && is_exporting_visibility(list.argument(0)))
        variable.flags |= SYM_VISIBLE;
}

} // namespace

bool is_exporting_visibility(const std::string& argument) {
    return argument == "default" || argument == "extern" || argument == "protected";
}

const AttributeList& attach_attribute_list(Arena& arena, Symbol& symbol, uint8_t id,
                                           std::vector<std::string> arguments) {
    const unsigned pragID = id;
    VX_CHECK(pragID != PRG_OPT_OVERRIDE);
    AttributeList* list = arena.make<AttributeList>();
    list->id = id;
    list->arguments = std::move(arguments);
    list->next = symbol.attributes;
    symbol.attributes = list;
    if (is_function(symbol))
        apply_to_function(symbol, *list);
    else
        apply_to_variable(symbol, *list);
    return *list;
}

const AttributeList& attach_attribute_list(Symbol& symbol, uint8_t id,
                                           std::vector<std::string> arguments) {
    return attach_attribute_list(arena_of(symbol), symbol, id, std::move(arguments));
}

const char* synonym_target(const Symbol& symbol) {
    const AttributeList* list = find_attribute(symbol, PRG_FUNCTION_SYNONYM);
    return list ? list->argument(0) : nullptr;
}

} // namespace vx::ir
