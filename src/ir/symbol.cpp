#include "ir/symbol.h"

#include "ir/symbol_type_queries.h"
#include "support/check.h"

namespace vx::ir {

bool is_local_storage_class(int8_t storage_class) {
    switch (storage_class) {
    case SC_AUTO:
    case SC_REGISTER:
    case SC_PARAM:
    case SC_REGISTER_PARAM:
    case SC_REGISTER_TEMP:
        return true;
    default:
        return false;
    }
}

bool starts_outside_memory(int8_t storage_class) {
    return storage_class == SC_REGISTER || storage_class == SC_REGISTER_PARAM ||
           storage_class == SC_REGISTER_TEMP;
}

bool is_external_storage_class(int8_t storage_class) {
    return storage_class == SC_EXTERN_DEF || storage_class == SC_EXTERN_REF;
}

namespace {

// The size check keeps the wording of the consistency rule it enforces.
void check_size_matches_type(const Symbol& symbol) {
    TypeView otype(symbol.type);
    if (!otype.size_known())
        return;
    const uint32_t size = symbol.size;
    VX_CHECK(otype->is_func() || size == otype->size());
}

} // namespace

void init_symbol(Symbol& symbol, const SymbolFields& fields, uint8_t level) {
    symbol.name = fields.name;
    symbol.size = fields.size;
    symbol.offset = fields.offset;
    symbol.storage_class = fields.storage_class;
    symbol.declared_storage_class = fields.storage_class;
    symbol.flags = fields.flags;
    symbol.declared_type = fields.type;
    symbol.type = optimizer_type_of(fields.type);
    symbol.second_type = fields.second_type;
    symbol.alignment = fields.alignment;
    symbol.position = fields.position;
    symbol.level = level;
    symbol.candidate = -1;
    symbol.flag_byte = SYMB_DECLARED;
    if (!starts_outside_memory(fields.storage_class))
        symbol.flag_byte |= SYMB_IN_MEMORY;
    check_size_matches_type(symbol);
}

const char* storage_class_text(const Symbol& symbol) {
    if (symbol.flags & SYM_CREGISTER)
        return "cregister";
    if (symbol.flags & SYM_REGISTER)
        return "register";
    switch (symbol.declared_storage_class) {
    case SC_EXTERN_DEF:
    case SC_EXTERN_REF:
        return "extern";
    case SC_STATIC:
        return "static";
    case SC_REGISTER:
        return "register";
    default:
        return "";
    }
}

const AttributeList* find_attribute(const Symbol& symbol, uint8_t id) {
    for (const AttributeList* list = symbol.attributes; list; list = list->next)
        if (list->id == id)
            return list;
    return nullptr;
}

bool is_function(const Symbol& symbol) {
    return TypeView(symbol.type).is_func();
}

void SymbolList::push_back(Symbol* symbol) {
    symbol->next = nullptr;
    if (tail_)
        tail_->next = symbol;
    else
        head_ = symbol;
    tail_ = symbol;
    ++count_;
}

bool SymbolList::remove(Symbol* symbol) {
    Symbol* before = nullptr;
    for (Symbol* at = head_; at; before = at, at = at->next) {
        if (at != symbol)
            continue;
        (before ? before->next : head_) = at->next;
        if (tail_ == at)
            tail_ = before;
        at->next = nullptr;
        --count_;
        return true;
    }
    return false;
}

void SymbolList::clear() {
    head_ = tail_ = nullptr;
    count_ = 0;
}

} // namespace vx::ir
