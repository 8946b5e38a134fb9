// C types at the target's sizes (16-bit words: char, short and int are 16
// bits, long 32, long long 64 aligned 32, pointers 32, float and double 32,
// long double 64).  Sizes and alignments are in bits, as in I-code.
#pragma once

#include "cfront/diagnostics.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace vx::cfront {

enum class Kind : uint8_t { Void, Int, Float, Pointer, Array, Function, Struct };

// Integer kinds in rank order; an unsigned kind follows its signed one.
enum class IntKind : uint8_t { Char, UChar, Short, UShort, Int, UInt, Long, ULong, LLong, ULLong };

enum Qualifier : unsigned { Q_CONST = 1, Q_VOLATILE = 2, Q_INLINE = 256 };

struct CType;

struct Field {
    std::string name;
    CType* type = nullptr;
    uint32_t offset = 0; // bits
    SourcePos pos;
};

struct StructInfo {
    std::string tag;
    bool complete = false;
    std::vector<Field> fields;
    uint32_t size = 0;
    uint32_t align = 16;
    SourcePos pos;
    const Field* find(const std::string& name) const;
};

// An enum type is an int (its underlying type) that keeps its tag and
// enumerators so that the emitter can write an enum record for it.
struct EnumInfo {
    std::string tag; // empty for an anonymous enum
    bool complete = false;
    std::vector<std::pair<std::string, int64_t>> enumerators;
    std::vector<SourcePos> positions; // of the enumerators
    SourcePos pos;
};

struct CType {
    Kind kind = Kind::Void;
    IntKind ikind = IntKind::Int;
    int fkind = 0;              // 0 float, 1 double, 2 long double
    CType* target = nullptr;    // pointed-to, element or return type
    int64_t count = -1;         // array element count, -1 when incomplete
    std::vector<CType*> params; // function parameters
    std::vector<std::string> param_names;
    bool variadic = false;
    bool prototyped = true;
    StructInfo* info = nullptr;
    EnumInfo* enum_info = nullptr; // set for an enum type (kind Int, ikind Int)
    unsigned quals = 0;
    CType* unqualified = this; // the type without qualifiers

    uint32_t bits() const;
    uint32_t align() const;
    uint32_t words() const { return (bits() + 15) / 16; }
    bool is_integer() const { return kind == Kind::Int; }
    bool is_arithmetic() const { return kind == Kind::Int || kind == Kind::Float; }
    bool is_scalar() const { return is_arithmetic() || kind == Kind::Pointer; }
    bool is_unsigned() const;
    bool is_void() const { return kind == Kind::Void; }
    bool is_struct() const { return kind == Kind::Struct; }
    bool is_enum() const { return enum_info != nullptr; }
    bool is_complete() const;
};

// Owns every type of one compilation; equal derived types are shared.
class TypeTable {
public:
    TypeTable();
    CType* void_type() { return void_; }
    CType* integer(IntKind kind) { return ints_[static_cast<int>(kind)]; }
    CType* floating(int fkind) { return floats_[fkind]; }
    CType* int_type() { return integer(IntKind::Int); }
    CType* pointer_to(CType* target);
    CType* array_of(CType* element, int64_t count);
    CType* qualified(CType* base, unsigned quals);
    CType* function(CType* result, std::vector<CType*> params, std::vector<std::string> names,
                    bool variadic, bool prototyped);
    CType* new_struct(const std::string& tag, SourcePos pos);
    CType* new_enum(const std::string& tag, SourcePos pos);
    // Every enum type made, in the order of their tags.
    const std::vector<CType*>& enums() const { return enum_types_; }

    // Integer promotion and the usual arithmetic conversions at the target's
    // sizes (unsigned char promotes to unsigned int: int cannot hold it).
    CType* promote(CType* type);
    CType* common_type(CType* a, CType* b);

private:
    CType* make();
    std::vector<std::unique_ptr<CType>> owned_;
    std::vector<std::unique_ptr<StructInfo>> structs_;
    std::vector<std::unique_ptr<EnumInfo>> enums_;
    std::vector<CType*> enum_types_;
    CType* void_;
    CType* ints_[10];
    CType* floats_[3];
    std::map<CType*, CType*> pointers_;
    std::map<std::pair<CType*, int64_t>, CType*> arrays_;
    std::map<std::pair<CType*, unsigned>, CType*> qualifieds_;
};

bool same_type(const CType* a, const CType* b);
std::string type_name(const CType* type);

// Lays out the fields of a struct: each at its alignment, the size rounded
// up to the largest alignment.
void lay_out_struct(StructInfo& info);

} // namespace vx::cfront
