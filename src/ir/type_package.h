// The type package: owner and factory of every type of the IR.
//
// `TYPE_PKG` makes the target's basic types when it is created and builds
// derived types on request.  Structural types are interned: each installed
// type is listed in the based-types map of the type it is built on (its
// base), under its interning key, and a request for a type equal
// (`exact_types`) to a listed one returns the listed record.  Enum and
// class/struct/union types are never merged.
//
// Process-wide state (the root void type under which every basic type is
// interned, the allocation total, the invented-tag counter, the statistics,
// EABI mode) lives in one `TypeWorld` record; `reset_type_world()` gives a
// fresh one once every package is gone.
#pragma once

#include "ir/type.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace vx::ir {

// Installations counted by kind.
struct TypeStats {
    uint32_t all = 0;
    uint32_t scalar = 0; // void, integer, floating, fixed-point
    uint32_t complex = 0;
    uint32_t pointer = 0; // pointer, reference, pointer to member
    uint32_t qualified = 0;
    uint32_t typedefs = 0;
    uint32_t array = 0;
    uint32_t vector_array = 0;
    uint32_t function = 0;
    uint32_t enums = 0;
    uint32_t csu = 0;
};

struct TypeWorld {
    unsigned packages_made = 0;
    std::unique_ptr<TYPE> root_void; // uid 1 of the first package
    uint64_t allocated_bytes = 0;    // records, sub-records and names of package types
    unsigned fake_tags_made = 0;     // "$$fake%u" counter
    TypeStats stats;
    bool eabi_mode = false;
    bool some_bit_field_exists = false;
};

TypeWorld& type_world();
// A fresh world.  Every package must have been destroyed before.
void reset_type_world();

// EABI mode widens wchar_t to 32 bits and double to 64 bits for packages
// created afterwards.
void set_eabi_mode(bool on);
bool eabi_mode();

// The target's layout of the basic types, in bits, for the current mode.
uint32_t basic_int_size(TYPE::IKIND ikind);
uint32_t basic_int_alignment(TYPE::IKIND ikind);
uint32_t basic_float_size(TYPE::FKIND fkind);
uint32_t basic_float_alignment(TYPE::FKIND fkind);
inline constexpr uint32_t pointer_size_bits = 32;
inline constexpr uint32_t pointer_alignment_bits = 32;
inline constexpr uint32_t void_alignment_bits = 16;
inline constexpr uint32_t packed_alignment_bits = 16;
inline constexpr uint64_t max_type_size_bits = 0xFFFFFFFFu;

// The statistics in printable form, one counter per line.
std::string type_stats_report();

// Fields of an array type beyond element and count; unset size and
// alignment take the usual ones.
struct ArraySpec {
    uint32_t qualifiers = 0; // the array is returned qualified with these
    bool complete = true;
    bool vector = false;
    std::optional<uint64_t> size = std::nullopt;
    std::optional<uint32_t> alignment = std::nullopt;
    uint8_t flag_byte = 0;
    uint8_t extra = 0;
};

// Fields of a typedef beyond name and target.
struct TypedefSpec {
    std::optional<uint64_t> size = std::nullopt;
    std::optional<uint32_t> alignment = std::nullopt;
    uint8_t flag_byte = 0;
    uint8_t derived_flag = 0;
    TypeSourcePos position;
};

// The first error reported to a package.
struct TypeError {
    int severity = 0;
    std::string message;
};
using TypeErrorCallback = std::function<void(TYPE_PKG& package, int severity, const char* text)>;

class TYPE_PKG {
public:
    static constexpr unsigned basic_count = TYPE::ikind_count + TYPE::fkind_count;
    static constexpr std::size_t error_text_limit = 4095;

    TYPE_PKG();
    ~TYPE_PKG();
    TYPE_PKG(const TYPE_PKG&) = delete;
    TYPE_PKG& operator=(const TYPE_PKG&) = delete;

    // ---- Basic types -------------------------------------------------------
    TYPE* void_type() const { return void_; }
    TYPE* void_ptr_type() const { return void_ptr_; }
    // IKIND 0-11, then FKIND 0-2 at 12-14.
    TYPE* basic_type(unsigned index) const { return basic_.at(index); }
    TYPE* int_type(TYPE::IKIND ikind) const { return basic_type(ikind); }
    TYPE* float_type(TYPE::FKIND fkind) const { return basic_type(TYPE::ikind_count + fkind); }
    static TYPE* root_void() { return type_world().root_void.get(); }

    // ---- Factories -----------------------------------------------------------
    // Frozen and interned: the result may be an older equal record.
    TYPE* mk_void();
    TYPE* mk_int(TYPE::IKIND ikind, bool explicitly_signed);
    TYPE* mk_int(TYPE::IKIND ikind, bool explicitly_signed, uint64_t size, uint32_t alignment,
                 uint8_t boolean_byte);
    TYPE* mk_fltpt(TYPE::FKIND fkind);
    TYPE* mk_fltpt(TYPE::FKIND fkind, uint64_t size, uint32_t alignment);
    TYPE* mk_ptr(TYPE* target);
    TYPE* mk_ptr(TYPE* target, uint64_t size, uint32_t alignment);
    TYPE* mk_ref(TYPE* target);
    TYPE* mk_ref(TYPE* target, uint64_t size, uint32_t alignment);
    // The type itself when it already carries every bit; otherwise one
    // qualified layer, holding the bits of the nested layers too, over the
    // unqualified base.
    TYPE* mk_qual(TYPE* type, uint32_t bits);
    TYPE* mk_qual(TYPE* type, uint32_t bits, uint64_t size, uint32_t alignment);
    TYPE* mk_array(TYPE* element, uint64_t count, const ArraySpec& shape = {});
    TYPE* mk_ptr_to_member(TYPE* member, TYPE* cls);
    TYPE* mk_ptr_to_member(TYPE* member, TYPE* cls, uint64_t size, uint32_t alignment);
    TYPE* mk_complex(TYPE* part);
    TYPE* mk_complex(TYPE* part, uint64_t size, uint32_t alignment);
    TYPE* mk_fixed(TYPE* underlying, uint8_t fraction_bits);
    TYPE* mk_fixed(TYPE* underlying, uint8_t fraction_bits, uint8_t flag, uint64_t size,
                   uint32_t alignment);
    TYPE* mk_typedef(const std::string& name, TYPE* target, const TypedefSpec& shape = {});
    // Unfrozen: fill them in, then type_frozen().
    TYPE* mk_function(TYPE* result, const std::array<uint8_t, 4>& attributes = {});
    TYPE* mk_enum(const char* name, TYPE* underlying);
    TYPE* mk_enum(const char* name, TYPE* underlying, uint64_t size, uint32_t alignment);
    TYPE* mk_csu(TYPE::KIND kind, const char* name, bool complete = false, uint8_t class_flag = 0);

    // Integer types converted to their unsigned or signed counterpart.
    TYPE* mk_unsigned(TYPE* type);
    TYPE* mk_signed(TYPE* type);

    // The type under whose based types `type` is interned.
    TYPE* base_type(TYPE* type) const;
    // Interns a frozen record under `base`; see the file comment.  The
    // record may be destroyed; use the result.
    TYPE* install(TYPE* type, TYPE* base);
    // Deletes a type and, when recursive, everything built on it.
    void delete_type_tree(TYPE* type, bool recursive = true);

    // The canonical form of a type for the code generator: typedefs seen
    // through, enums replaced by their underlying integers, pointers,
    // references, qualified and array types rebuilt over canonical parts.
    TYPE* normalize(TYPE* type);
    // The type the optimizer works with in place of a declared type: its
    // canonical form, computed once and cached in the type.
    TYPE* companion(TYPE* type);

    // ---- Errors ----------------------------------------------------------------
    void report_error(int severity, const char* format, ...) __attribute__((format(printf, 3, 4)));
    const TypeError* pending_error() const { return error_ ? &*error_ : nullptr; }
    void clear_error() { error_.reset(); }
    void set_error_callback(TypeErrorCallback callback) { error_callback_ = std::move(callback); }

    // ---- Bookkeeping -------------------------------------------------------------
    uint32_t next_uid() const { return next_uid_; }
    // A word stamped into every type this package installs.
    void set_package_word(uint32_t word) { package_word_ = word; }
    uint32_t package_word() const { return package_word_; }
    // The package allocated the record (and frees it).
    bool owns(const TYPE* type) const { return owned_.count(type) != 0; }

private:
    template <typename... Args> TYPE* tp_alloc(Args&&... args);
    void destroy(TYPE* type);
    void unlink_from_base(TYPE* type);
    TYPE* find_equal_installed(TYPE* type, TYPE* base) const;
    void count_installation(const TYPE* type);
    void make_root_void();
    void make_basic_types();
    void choose_mtypes();
    void assign_basic_mtype(TYPE* type);
    TYPE* make_frozen(TYPE* type);
    TYPE* make_sized(TYPE* type, uint64_t size, uint32_t alignment);
    TYPE* mk_address(TYPE::KIND kind, TYPE* target, uint64_t size, uint32_t alignment);
    TYPE* rebuild_vector(TYPE* type, TYPE* converted_element);
    TYPE* convert_integer(TYPE* type, bool to_unsigned);

    std::array<TYPE*, basic_count> basic_{};
    TYPE* void_ = nullptr;
    TYPE* void_ptr_ = nullptr;
    uint32_t next_uid_ = 1;
    uint32_t package_word_ = 0;
    std::optional<TypeError> error_;
    TypeErrorCallback error_callback_;
    std::unordered_map<const TYPE*, std::unique_ptr<TYPE>> owned_;
};

// Integral promotions of C: enums become their underlying integer; char,
// wchar_t, short and int become int; unsigned char, unsigned short and
// unsigned become int when narrower than int, else unsigned.
TYPE* c_integral_promotions(TYPE* type);

// Puts `replacement` in the place of the array type `array` in the based
// types of the array's element type (the replacement takes over the old
// record's slot and uid position).
void replace_array_elem(TYPE* array, TYPE* replacement);

} // namespace vx::ir
