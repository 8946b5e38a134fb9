// Types by file number: what the I-code reader and writer need of the type
// package.
//
// In a file every type is defined once by a type record under its number
// (its registration number when written by us), records refer to types by
// number, and the lists of a type (parameters, enumerators, members) follow
// as separate records bracketed by list-begin and list-end.  Every number a
// record refers to is defined earlier in the section.
//
// `TypeNumberTable` is the reader's side: it maps numbers to the types built
// for them and keeps the open lists, and stops with the package's internal
// error on a forward reference, a type read twice, a duplicate list or a
// list that the type cannot have.  `TypeEmitOrder` is the writer's side: it
// orders types so that each one is defined before it is referred to.
#pragma once

#include "ir/type.h"

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_set>
#include <vector>

namespace vx::ir {

// Record codes of the basic types in a type record.
inline constexpr uint8_t type_code_llong = 50;
inline constexpr uint8_t type_code_ullong = 51;
inline constexpr uint8_t type_code_complex = 36;
inline constexpr uint8_t type_code_void = 49;
inline constexpr uint8_t type_code_undefined_basic = 48;

// The code of a basic type's record, from its flattened kind: IKIND 0-9
// give 0-9, long long 50, unsigned long long 51, FKIND 0-2 give 10-12,
// complex 36, void 49; every other kind 48 (which no reader defines).
uint8_t basic_type_record_code(const TYPE* type);
// The IKIND of an integer record code (0-9, 50, 51).
std::optional<TYPE::IKIND> ikind_of_record_code(uint8_t code);
// The FKIND of a floating record code (10-12).
std::optional<TYPE::FKIND> fkind_of_record_code(uint8_t code);

class TypeNumberTable {
public:
    // The type defined under `number`; nullptr for 0 (no type).  A number
    // not yet defined stops with "invalid forward reference".
    TYPE* resolve(uint32_t number) const;
    bool is_defined(uint32_t number) const { return entries_.count(number) != 0; }
    // Stops with "read type twice" when the number already has a type.
    void check_new(uint32_t number) const;
    // Enters a type under a new number (check_new first).
    void define(uint32_t number, TYPE* type);

    // Opens list `list_kind` of the type under `number`: parameters (0) of a
    // function, enumerators (1) of an enum, the member lists (0, 2-9) of a
    // class, struct or union.  A list already filled is a duplicate.
    void begin_list(uint32_t number, uint8_t list_kind);
    // The type whose list `list_kind` is open under `number`, for an entry
    // that needs its owner before it can be made; stops with "Unexpected
    // type attribute" when that list is not open.
    TYPE* open_list_owner(uint32_t number, uint8_t list_kind) const;
    void add_parameter(uint32_t number, Parameter parameter);
    void add_enumerator(uint32_t number, Enumerator enumerator);
    void add_field(uint32_t number, FieldRecord field);
    void add_member(uint32_t number, uint8_t list_kind, MemberEntry entry);
    void end_list(uint32_t number, uint8_t list_kind);

    // Freezes, in definition order, every type still unfrozen (functions,
    // enums, classes, structs and unions wait for their lists) and enters
    // the installed type under its number.
    void finish();

    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        TYPE* type = nullptr;
        int open_list = -1;
    };
    const Entry& entry(uint32_t number) const;
    void redirect(const TYPE* merged, TYPE* survivor);

    std::map<uint32_t, Entry> entries_;
    std::vector<uint32_t> definition_order_;
};

// One record of the type section: the type's own record, or one of its
// lists (written bracketed by list-begin and list-end records).
struct TypeEmission {
    static constexpr int own_record = -1;
    TYPE* type = nullptr;
    int list_kind = own_record;
};

class TypeEmitOrder {
public:
    // Adds the type (followed to its final type) and everything it refers
    // to that is not in the order yet.
    void add(TYPE* type);
    bool contains(const TYPE* type) const { return written_.count(type->final_type()) != 0; }
    const std::vector<TypeEmission>& items() const { return items_; }

private:
    void add_record(TYPE* type);
    void add_pending_lists();

    std::unordered_set<const TYPE*> marked_;
    std::unordered_set<const TYPE*> written_;
    std::vector<TYPE*> list_owners_;
    std::vector<TypeEmission> items_;
};

} // namespace vx::ir
