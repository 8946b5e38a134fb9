#include "ir/type_numbering.h"

#include "ir/type_package.h"
#include "support/check.h"

namespace vx::ir {

// ---- Record codes ------------------------------------------------------------

uint8_t basic_type_record_code(const TYPE* type) {
    const uint32_t flattened = type->ekind();
    if (flattened <= 9)
        return static_cast<uint8_t>(flattened);
    switch (flattened) {
    case 10:
        return type_code_llong;
    case 11:
        return type_code_ullong;
    case 12:
    case 13:
    case 14:
        return static_cast<uint8_t>(flattened - 2);
    case 16:
        return type_code_complex;
    case 26:
        return type_code_void;
    default:
        return type_code_undefined_basic;
    }
}

std::optional<TYPE::IKIND> ikind_of_record_code(uint8_t code) {
    if (code <= 9)
        return static_cast<TYPE::IKIND>(code);
    if (code == type_code_llong)
        return TYPE::ik_llong;
    if (code == type_code_ullong)
        return TYPE::ik_ullong;
    return std::nullopt;
}

std::optional<TYPE::FKIND> fkind_of_record_code(uint8_t code) {
    if (code >= 10 && code <= 12)
        return static_cast<TYPE::FKIND>(code - 10);
    return std::nullopt;
}

// ---- Reading: types by number ------------------------------------------------------

const TypeNumberTable::Entry& TypeNumberTable::entry(uint32_t number) const {
    auto found = entries_.find(number);
    if (found == entries_.end())
        type_internal_error("invalid forward reference");
    return found->second;
}

TYPE* TypeNumberTable::resolve(uint32_t number) const {
    return number == 0 ? nullptr : entry(number).type;
}

void TypeNumberTable::check_new(uint32_t number) const {
    if (is_defined(number))
        type_internal_error("read type twice");
}

void TypeNumberTable::define(uint32_t number, TYPE* type) {
    VX_CHECK(number != 0 && type != nullptr);
    check_new(number);
    entries_[number].type = type;
    definition_order_.push_back(number);
}

namespace {

bool csu_list_filled(const TYPE* type, uint8_t list_kind) {
    if (list_kind == TL_FIELDS)
        return !type->fields().empty();
    return !type->member_list(list_kind).empty();
}

} // namespace

// Each kind of type accepts its own lists, and each list only once.
void TypeNumberTable::begin_list(uint32_t number, uint8_t list_kind) {
    TYPE* type = entry(number).type;
    switch (type->kind()) {
    case TYPE::tpk_function:
        if (list_kind != TL_PARAMETERS)
            type_internal_error("Unexpected type attribute");
        if (!type->params().empty())
            type_internal_error("Duplicate function parameters");
        break;
    case TYPE::tpk_enum:
        if (list_kind != TL_ENUMERATORS)
            type_internal_error("Unexpected type attribute");
        if (!type->enumerators().empty())
            type_internal_error("Duplicate enumerator attributes");
        break;
    case TYPE::tpk_class:
    case TYPE::tpk_struct:
    case TYPE::tpk_union:
        if (list_kind == TL_ENUMERATORS || list_kind > TL_LAST)
            type_internal_error("Unexpected type attribute");
        if (csu_list_filled(type, list_kind))
            type_internal_error("Duplicate CSU attributes");
        break;
    default:
        type_internal_error("Unexpected type attribute");
    }
    entries_[number].open_list = list_kind;
}

TYPE* TypeNumberTable::open_list_owner(uint32_t number, uint8_t list_kind) const {
    const Entry& found = entry(number);
    if (found.open_list != list_kind)
        type_internal_error("Unexpected type attribute");
    return found.type;
}

void TypeNumberTable::add_parameter(uint32_t number, Parameter parameter) {
    TYPE* owner = open_list_owner(number, TL_PARAMETERS);
    if (owner->is_csu()) {
        MemberEntry entry;
        entry.name = std::move(parameter.name);
        entry.type = parameter.type;
        entry.word = parameter.word;
        entry.bytes[0] = parameter.flag;
        owner->add_member(TL_PARAMETERS, std::move(entry));
    } else {
        owner->add_param(std::move(parameter));
    }
}

void TypeNumberTable::add_enumerator(uint32_t number, Enumerator enumerator) {
    open_list_owner(number, TL_ENUMERATORS)->add_enumerator(std::move(enumerator));
}

void TypeNumberTable::add_field(uint32_t number, FieldRecord field) {
    open_list_owner(number, TL_FIELDS)->add_field(std::move(field));
}

void TypeNumberTable::add_member(uint32_t number, uint8_t list_kind, MemberEntry entry) {
    open_list_owner(number, list_kind)->add_member(list_kind, std::move(entry));
}

void TypeNumberTable::end_list(uint32_t number, uint8_t list_kind) {
    open_list_owner(number, list_kind);
    entries_[number].open_list = -1;
}

void TypeNumberTable::finish() {
    for (uint32_t number : definition_order_) {
        TYPE*& type = entries_[number].type;
        if (type->frozen())
            continue;
        TYPE* const made = type;
        type_frozen(type);
        if (type != made)
            redirect(made, type);
    }
}

// `merged` is gone; only its address is compared.
void TypeNumberTable::redirect(const TYPE* merged, TYPE* survivor) {
    for (auto& [number, entry] : entries_)
        entry.type->redirect_list_types(merged, survivor);
}

// ---- Writing: an order in which every type is defined before use ------------------------

namespace {

// Types named by the type's own record.
std::vector<TYPE*> record_references(const TYPE* type) {
    switch (type->kind()) {
    case TYPE::tpk_fixed:
        return {type->underlying_type()};
    case TYPE::tpk_complex:
        return {type->part_type()};
    case TYPE::tpk_pointer:
        return {type->type_pointed_to()};
    case TYPE::tpk_reference:
        return {type->referred_type()};
    case TYPE::tpk_qualified:
        return {type->qualified_base()};
    case TYPE::tpk_typedef:
        return {type->typedef_record().target};
    case TYPE::tpk_array:
        return {type->array_element()};
    case TYPE::tpk_ptr_to_member:
        return {type->type_pointed_to(), type->ptm_class()};
    case TYPE::tpk_function:
        return {type->return_type()};
    case TYPE::tpk_enum:
        return {type->underlying_type()};
    default:
        return {};
    }
}

// Types named by the entries of the type's lists.
std::vector<TYPE*> list_references(const TYPE* type) {
    std::vector<TYPE*> named;
    if (type->kind() == TYPE::tpk_function) {
        for (const Parameter& param : type->params())
            named.push_back(param.type);
    } else if (type->kind() == TYPE::tpk_class || type->kind() == TYPE::tpk_struct ||
               type->kind() == TYPE::tpk_union) {
        for (uint8_t kind = 0; kind <= TL_LAST; ++kind) {
            if (kind == TL_ENUMERATORS)
                continue;
            if (kind == TL_FIELDS) {
                for (const FieldRecord& field : type->fields())
                    named.push_back(field.type);
            } else {
                for (const MemberEntry& entry : type->member_list(kind))
                    named.push_back(entry.type);
            }
        }
    }
    return named;
}

// The lists a type's record is followed by: a function's parameters and an
// enum's enumerators always, the non-empty member lists of a class.
std::vector<int> lists_of(const TYPE* type) {
    switch (type->kind()) {
    case TYPE::tpk_function:
        return {TL_PARAMETERS};
    case TYPE::tpk_enum:
        return {TL_ENUMERATORS};
    case TYPE::tpk_class:
    case TYPE::tpk_struct:
    case TYPE::tpk_union: {
        std::vector<int> kinds;
        for (uint8_t kind = 0; kind <= TL_LAST; ++kind) {
            if (kind == TL_ENUMERATORS)
                continue;
            const bool filled =
                kind == TL_FIELDS ? !type->fields().empty() : !type->member_list(kind).empty();
            if (filled)
                kinds.push_back(kind);
        }
        return kinds;
    }
    default:
        return {};
    }
}

} // namespace

void TypeEmitOrder::add(TYPE* type) {
    add_record(type);
    add_pending_lists();
}

// Records first, depth first; lists wait until every type that they name
// has its record, which holds once the outermost call is done (a struct
// holding a pointer to itself: struct, pointer, then the struct's fields).
void TypeEmitOrder::add_record(TYPE* type) {
    if (type == nullptr)
        return;
    type = type->final_type();
    if (!marked_.insert(type).second) {
        // Types are only reached again through lists, never through records.
        return;
    }
    for (TYPE* named : record_references(type)) {
        if (named != nullptr && marked_.count(named->final_type()))
            VX_CHECK(written_.count(named->final_type()) != 0);
        add_record(named);
    }
    items_.push_back({type, TypeEmission::own_record});
    written_.insert(type);
    if (!lists_of(type).empty())
        list_owners_.push_back(type);
    for (TYPE* named : list_references(type))
        add_record(named);
}

void TypeEmitOrder::add_pending_lists() {
    for (TYPE* owner : list_owners_)
        for (int kind : lists_of(owner))
            items_.push_back({owner, kind});
    list_owners_.clear();
}

} // namespace vx::ir
