// The type record of the IR.
//
// A `TYPE` describes one type of the program: a basic arithmetic type of the
// target, void, or a derived type built over other types.  Types are owned
// and made unique by the type package (`TYPE_PKG`, type_package.h); passes
// receive `TYPE *` from the package and compare them by address first.
//
// All sizes and alignments are in bits.  Every kind test (is_pointer(),
// is_integer() ...) looks at the real type, the record with typedefs and
// qualifiers stripped, so typedefs and qualifiers are transparent to them.
//
// A record is made unfrozen, may be filled in (parameters, enumerators,
// fields, completeness) while unfrozen, and is then frozen; a frozen record
// never changes again.  Unfrozen records compare different from everything.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vx::ir {

class TYPE;
class TYPE_PKG;

// Ends the run with "TP>> internal error: <message>" on standard error and
// exit status 1.  Every misuse of the type package ends here.
[[noreturn]] void type_internal_error(const char* message);

// Qualifier bits of a qualified type: the printed qualifiers take the low
// byte; CQ_INLINE, on a function's type, marks a function declared inline
// (the word is written whole, so it passes through unchanged).
enum QualifierBit : uint32_t {
    CQ_CONST = 1,
    CQ_VOLATILE = 2,
    CQ_PACKED = 4,
    CQ_NEAR = 8,
    CQ_FAR = 16,
    CQ_IOPORT = 32,
    CQ_RESTRICT = 64,
    CQ_ONCHIP = 128,
    CQ_INLINE = 256,
};

// A source position carried by a type record (typedefs, tags, fields,
// enumerators) so that the types pass through the optimizer unchanged.
struct TypeSourcePos {
    std::string file; // empty: no position
    uint32_t line = 0;
    uint32_t column = 0;
};

// A member of a class, struct or union.
struct FieldRecord {
    FieldRecord() = default;
    FieldRecord(TYPE* type_, std::string name_, int32_t bit_offset_ = 0)
        : type(type_), name(std::move(name_)), bit_offset(bit_offset_) {}

    TYPE* type = nullptr;
    std::string name;
    uint32_t maker_word = 0; // a number given by whoever made the field
    int32_t bit_offset = 0;
    uint32_t bit_width = 0;
    std::array<uint8_t, 4> flags{};  // flags[1] set: the field is a bit-field
    std::array<uint32_t, 2> words{}; // 0 when made; words[0] carries the file's "fti" byte
    // "fti:%x" of the fti byte when the file gives one; names the field's
    // type-information entry for the code generator's debug output.
    std::string generated_name;
    TypeSourcePos position;

    bool is_bit_field() const { return flags[1] != 0; }
};

struct Enumerator {
    Enumerator() = default;
    Enumerator(std::string name_, int64_t value_) : name(std::move(name_)), value(value_) {}

    std::string name;
    int64_t value = 0;
    TypeSourcePos position;
};

struct Parameter {
    Parameter() = default;
    explicit Parameter(TYPE* type_, std::string name_ = {}) : type(type_), name(std::move(name_)) {}

    TYPE* type = nullptr;
    uint8_t flag = 0;
    uint32_t word = 0;
    std::string name;
};

// An entry of the class member lists other than the fields (base classes and
// the further lists 0, 3-6, 8, 9).  Each list uses the slots its entries
// carry; the others stay 0.
struct MemberEntry {
    MemberEntry() = default;
    MemberEntry(std::string name_, TYPE* type_, int64_t number_ = 0)
        : name(std::move(name_)), type(type_), number(number_) {}

    std::string name;
    TYPE* type = nullptr;
    int64_t number = 0; // the signed number of the entry (a base's offset ...)
    uint32_t word = 0;  // the unsigned number of the entry
    std::array<uint8_t, 5> bytes{};
};

// List kinds of the member lists of a type.
enum TypeListKind : uint8_t {
    TL_PARAMETERS = 0,
    TL_ENUMERATORS = 1,
    TL_BASES = 2,
    TL_FIELDS = 7,
    TL_LAST = 9,
};

// The sub-record of typedef, array, function, enum and class/struct/union
// types.
struct TypeSubrecord {
    virtual ~TypeSubrecord() = default;
};

struct TypedefRecord final : TypeSubrecord {
    TYPE* target = nullptr;
    std::string name;
    TypeSourcePos position;
};

struct ArrayRecord final : TypeSubrecord {
    TYPE* element = nullptr;
    uint64_t count = 0;
    bool complete = true;
    bool vector = false;
    uint8_t extra = 0; // carried for older file versions
};

struct FunctionRecord final : TypeSubrecord {
    TYPE* result = nullptr;
    std::vector<Parameter> params;
    // attributes[0] variadic; [1] excludes the function from inlining
    // candidates; [2] lowers the per-argument inlining discount; [3] declared
    // inline.
    std::array<uint8_t, 4> attributes{};
};

struct EnumRecord final : TypeSubrecord {
    TYPE* underlying = nullptr;
    std::string name;
    std::vector<Enumerator> enumerators;
    bool complete = true;
    TypeSourcePos position;
};

struct ClassRecord final : TypeSubrecord {
    std::string name;
    bool complete = false;
    uint8_t category = 0; // as written in the file: 0 struct, 1 union, 2 class, 255 other
    uint8_t special = 0;
    bool has_extra_attributes = false; // the record form with a word and nine flags
    uint32_t extra_word = 0;
    std::array<uint8_t, 9> extra_flags{};
    std::deque<FieldRecord> fields; // a deque: member pointers stay valid while filling
    std::array<std::vector<MemberEntry>, TL_LAST + 1> lists; // by list kind; 1 and 7 unused
    TypeSourcePos position;
};

// Base of every registered record: its registration number.
class UID {
public:
    virtual ~UID() = default;
    uint32_t uid() const { return uid_; }

protected:
    uint32_t uid_ = 0; // 0 until installed in a package
};

class TYPE : public UID {
public:
    enum KIND : uint32_t {
        tpk_void = 0,
        tpk_int = 1,
        tpk_fltpt = 2,
        tpk_fixed = 3,
        tpk_complex = 4,
        tpk_pointer = 5,
        tpk_reference = 6,
        tpk_qualified = 7,
        tpk_typedef = 8,
        tpk_array = 9,
        tpk_ptr_to_member = 10,
        tpk_function = 11,
        tpk_enum = 12,
        tpk_class = 13,
        tpk_struct = 14,
        tpk_union = 15,
    };
    enum IKIND : uint32_t {
        ik_bool = 0,
        ik_char = 1,
        ik_uchar = 2,
        ik_wchar = 3,
        ik_short = 4,
        ik_ushort = 5,
        ik_int = 6,
        ik_uint = 7,
        ik_long = 8,
        ik_ulong = 9,
        ik_llong = 10,
        ik_ullong = 11,
    };
    enum FKIND : uint32_t {
        fk_float = 0,
        fk_double = 1,
        fk_ldouble = 2,
    };
    static constexpr uint32_t ikind_count = 12;
    static constexpr uint32_t fkind_count = 3;

    // Constructors for records built outside a package (static types of the
    // machine description); the package's factories are the usual way.
    explicit TYPE(KIND kind); // tpk_void only
    TYPE(IKIND ikind, bool explicitly_signed, uint64_t size, uint32_t alignment,
         bool boolean_byte = false);
    TYPE(FKIND fkind, uint64_t size, uint32_t alignment);
    TYPE(KIND kind, TYPE* target, uint64_t size, uint32_t alignment);   // pointer, reference
    explicit TYPE(TYPE* i_part_type);                                   // complex
    TYPE(KIND kind, const char* name, int is_complete, int class_flag); // class/struct/union
    ~TYPE() override;
    TYPE(const TYPE&) = delete;
    TYPE& operator=(const TYPE&) = delete;

    // ---- The record itself -------------------------------------------------
    KIND kind() const { return kind_; }
    uint32_t size() const { return size_; }
    uint32_t alignment() const { return alignment_; }
    TYPE_PKG* package() const { return package_; }
    bool frozen() const { return frozen_ != 0; }
    // The type with typedefs and qualifiers stripped.
    TYPE* real() const { return real_; }
    // The machine-type representative (see the package); the record itself
    // when none was chosen.
    TYPE* mtype() const { return mtype_ ? mtype_ : const_cast<TYPE*>(this); }
    uint8_t flag_byte() const { return flag_byte_; }
    uint8_t derived_flag() const { return derived_flag_; }
    uint8_t class_flag() const { return class_flag_; }
    uint32_t package_word() const { return package_word_; }

    // ---- Kind tests (on the real type) ---------------------------------------
    bool is_void() const { return real_->kind_ == tpk_void; }
    bool is_integer() const { return real_->kind_ == tpk_int; }
    bool is_fltpt() const { return real_->kind_ == tpk_fltpt; }
    bool is_fixed() const { return real_->kind_ == tpk_fixed; }
    bool is_complex() const { return real_->kind_ == tpk_complex; }
    bool is_pointer() const { return real_->kind_ == tpk_pointer; }
    bool is_reference() const { return real_->kind_ == tpk_reference; }
    bool is_array() const { return real_->kind_ == tpk_array; }
    bool is_vector() const;
    bool is_ptr_to_member() const { return real_->kind_ == tpk_ptr_to_member; }
    bool is_func() const { return real_->kind_ == tpk_function; }
    bool is_enum() const { return real_->kind_ == tpk_enum; }
    bool is_class() const { return real_->kind_ == tpk_class; }
    bool is_struct() const { return real_->kind_ == tpk_struct; }
    bool is_union() const { return real_->kind_ == tpk_union; }
    bool is_csu() const { return is_class() || is_struct() || is_union(); }
    // int, float, fixed-point, complex, pointer, reference, pointer to
    // member and enum.
    bool is_scalar() const;
    // The record (not the real type) is a qualified type or a typedef.
    bool is_qualified() const { return kind_ == tpk_qualified; }
    bool is_typedef() const { return kind_ == tpk_typedef; }

    // Integer kinds: true when the real type is an integer of that IKIND
    // (is_integer() tests the kind, is_int() the IKIND int).
    bool is_bool() const; // IKIND bool, or the is-boolean byte is set
    bool is_char() const { return has_ikind(ik_char); }
    bool is_uchar() const { return has_ikind(ik_uchar); }
    bool is_wchar() const { return has_ikind(ik_wchar); }
    bool is_short() const { return has_ikind(ik_short); }
    bool is_ushort() const { return has_ikind(ik_ushort); }
    bool is_int() const { return has_ikind(ik_int); }
    bool is_uint() const { return has_ikind(ik_uint); }
    bool is_long() const { return has_ikind(ik_long); }
    bool is_ulong() const { return has_ikind(ik_ulong); }
    bool is_llong() const { return has_ikind(ik_llong); }
    bool is_ullong() const { return has_ikind(ik_ullong); }
    // char or unsigned char.
    bool is_char_kind() const { return is_char() || is_uchar(); }
    // Floating kinds.
    bool is_float() const { return has_fkind(fk_float); }
    bool is_double() const { return has_fkind(fk_double); }
    bool is_ldouble() const { return has_fkind(fk_ldouble); }
    // Complex types by part type.
    bool is_complex_char() const { return is_complex() && part_type()->is_char(); }
    bool is_complex_short() const { return is_complex() && part_type()->is_short(); }
    bool is_complex_int() const { return is_complex() && part_type()->is_int(); }
    bool is_complex_long() const { return is_complex() && part_type()->is_long(); }
    bool is_complex_llong() const { return is_complex() && part_type()->is_llong(); }
    bool is_complex_float() const { return is_complex() && part_type()->is_float(); }
    bool is_complex_double() const { return is_complex() && part_type()->is_double(); }

    // Signedness of integers: char, short, int, long and long long are
    // signed; bool, wchar_t and the unsigned kinds are not.  An enum or a
    // fixed-point type answers for its underlying integer; other kinds are
    // neither.
    bool is_signed() const;
    bool is_unsigned() const;

    // ---- Parts of a type -------------------------------------------------------
    IKIND ikind() const;
    FKIND fkind() const;
    bool explicitly_signed() const;
    uint8_t boolean_byte() const;
    // Target of a pointer; member type of a pointer to member.
    TYPE* type_pointed_to() const;
    TYPE* referred_type() const;
    // The integer under a fixed-point or enum type.
    TYPE* underlying_type() const;
    TYPE* part_type() const;
    uint32_t fraction_bits() const;
    uint8_t fixed_flag() const;
    // Element type of an array, qualified with the array's own qualifiers.
    TYPE* elem_type() const;
    // The element as stored, without the array's qualifiers.
    TYPE* array_element() const;
    uint64_t elem_count() const;
    TYPE* ptm_class() const;
    TYPE* return_type() const;
    const std::vector<Parameter>& params() const;
    bool is_variadic() const;
    uint8_t call_attribute(unsigned index) const;
    const std::vector<Enumerator>& enumerators() const;
    const std::deque<FieldRecord>& fields() const;
    const FieldRecord& field(std::size_t index) const;
    // The record of a member for the nodes that refer to it (FIELD nodes keep
    // a pointer; passes may annotate the record's words).
    FieldRecord* field_record(std::size_t index) const;
    const std::vector<MemberEntry>& member_list(uint8_t list_kind) const;
    // The name of a typedef, enum or class/struct/union; empty for others.
    const std::string& name() const;
    const TypeSourcePos& position() const;

    // The record of a qualified type: its unqualified base and its bits.
    TYPE* qualified_base() const;
    uint32_t get() const;
    // Qualifier bits of every qualified layer down to an unqualified type,
    // through typedefs and, with the flag, through arrays to their elements.
    uint32_t qualifiers(bool through_arrays = false) const;

    // The real type checked to be of the kind.
    TYPE* getr(KIND kind) const;
    TYPE* getr_csu() const;
    // Sub-records, checked.
    const TypedefRecord& typedef_record() const;
    const ArrayRecord& array_record() const;
    const FunctionRecord& function_record() const;
    const EnumRecord& enum_record() const;
    const ClassRecord& class_record() const;

    // The flattened kind 0-26: IKIND 0-11, FKIND 12-14, fixed 15, complex
    // 16, pointer 17, reference 18, array 19, pointer to member 20, function
    // 21, enum 22, class 23, struct 24, union 25, void 26.
    uint32_t ekind() const;
    // A scalar's size rounded up to a power of two; otherwise the size.
    uint64_t storage_size() const;
    // Arrays, enums and class/struct/union carry a complete byte; every
    // other kind is complete.
    bool is_complete() const;

    // The key under which the type is interned in its base's based types.
    const std::string& interning_key() const;
    // Types built on this one, by interning key.
    const std::map<std::string, std::vector<TYPE*>>& based_types() const { return based_; }
    // The type this one was interned under; nullptr before installation.
    TYPE* interned_under() const { return interned_under_; }

    // C-like spelling: `text` receives the specifier part, `declarator` the
    // declarator part ("*", "[4]" ...).  Members are listed with
    // expand_members; typedefs show what they name with long_form.
    void print(std::string& text, std::string& declarator, bool expand_members = false,
               bool long_form = false) const;
    std::string spelling(bool expand_members = false, bool long_form = false) const;

    // ---- Filling an unfrozen record -----------------------------------------
    // Each of these first checks that the record is not frozen.
    void set_size(uint64_t size_in_bits);
    void set_alignment(uint32_t alignment_in_bits);
    void set_is_complete(bool complete);
    void set_flag_byte(uint8_t value);
    void set_derived_flag(uint8_t value);
    void set_position(const TypeSourcePos& position);
    void add_param(Parameter param);
    void add_enumerator(Enumerator enumerator);
    void add_field(FieldRecord field);
    void add_member(uint8_t list_kind, MemberEntry entry);
    void set_class_attributes(uint8_t category, uint8_t special);
    void set_extra_class_attributes(uint32_t word, const std::array<uint8_t, 9>& flags);
    void set_array_extra(uint8_t extra);

    // ---- Bookkeeping allowed on frozen records ------------------------------
    // The I-code writer's marks.
    bool referenced_mark() const { return referenced_mark_ != 0; }
    bool written_mark() const { return written_mark_ != 0; }
    void set_referenced_mark(bool on) { referenced_mark_ = on; }
    void set_written_mark(bool on) { written_mark_ = on; }
    // A record that was replaced by another one forwards to it.
    TYPE* final_type() const;
    void set_forward(TYPE* replacement) { forward_ = replacement; }

    // List entries (parameters, fields, members) that name `merged` name
    // `survivor` instead: a record merged into an equal one at freezing may
    // still be listed by types made before.
    void redirect_list_types(const TYPE* merged, TYPE* survivor);

    // Bytes this record holds beyond sizeof(TYPE) (sub-record, names).
    std::size_t footprint() const { return footprint_; }

private:
    friend class TYPE_PKG;
    friend void type_frozen(TYPE*& type);
    friend void replace_array_elem(TYPE* array, TYPE* replacement);

    // The package's constructor: a bare record of the kind, with its
    // sub-record.
    struct PackageMade {};
    TYPE(PackageMade, KIND kind);

    void check_nfrozen() const;
    void create_subparts();
    void account(std::size_t bytes);
    void assign_size(uint64_t size_in_bits);
    bool has_ikind(IKIND ikind) const;
    bool has_fkind(FKIND fkind) const;
    TypedefRecord& typedef_rec() const;
    ArrayRecord& array_rec() const;
    FunctionRecord& function_rec() const;
    EnumRecord& enum_rec() const;
    ClassRecord& class_rec() const;
    void give_tag_name(const char* name);

    KIND kind_;
    uint32_t size_ = 0;
    uint32_t alignment_ = 0;
    TYPE_PKG* package_ = nullptr;
    uint8_t frozen_ = 0;
    uint8_t flag_byte_ = 0;
    TYPE* real_;
    TYPE* companion_ = nullptr; // cached by TYPE_PKG::companion
    TYPE* mtype_ = nullptr;
    uint8_t referenced_mark_ = 0;
    uint8_t written_mark_ = 0;
    uint32_t package_word_ = 0;
    TYPE* forward_ = nullptr;
    TYPE* interned_under_ = nullptr;
    uint8_t class_flag_ = 0;
    uint8_t derived_flag_ = 0;

    // Payload by kind.
    TYPE* inner_ = nullptr;     // pointer/reference target, qualified base, complex part,
                                // fixed-point underlying integer, pointer-to-member member
    TYPE* ptm_class_ = nullptr; // class of a pointer to member
    uint32_t kind_code_ = 0;    // IKIND or FKIND
    uint32_t qual_bits_ = 0;
    uint8_t explicitly_signed_ = 0;
    uint8_t boolean_byte_ = 0;
    uint8_t fraction_bits_ = 0;
    uint8_t fixed_flag_ = 0;
    std::unique_ptr<TypeSubrecord> sub_;

    mutable std::string key_;
    std::map<std::string, std::vector<TYPE*>> based_;
    std::size_t footprint_ = 0;
    bool accounted_ = false; // counted in the process-wide allocation total
};

// Freezes an unfrozen record and installs it under its base (an array under
// its element type, a function under its return type, enum and
// class/struct/union types under the root void type).  `type` is replaced by
// the installed type, which may be an older equal one.
void type_frozen(TYPE*& type);

} // namespace vx::ir
