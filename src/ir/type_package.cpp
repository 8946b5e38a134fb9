#include "ir/type_package.h"

#include "ir/type_compare.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

namespace vx::ir {

// ---- Process-wide state ---------------------------------------------------------

TypeWorld& type_world() {
    static TypeWorld world;
    return world;
}

void reset_type_world() {
    TypeWorld& world = type_world();
    // The root's destructor updates the world it belongs to; let it go first.
    std::unique_ptr<TYPE> root = std::move(world.root_void);
    root.reset();
    world = TypeWorld{};
}

void set_eabi_mode(bool on) {
    type_world().eabi_mode = on;
}

bool eabi_mode() {
    return type_world().eabi_mode;
}

// ---- The target's layout -----------------------------------------------------------

uint32_t basic_int_size(TYPE::IKIND ikind) {
    switch (ikind) {
    case TYPE::ik_wchar:
        return eabi_mode() ? 32 : 16;
    case TYPE::ik_long:
    case TYPE::ik_ulong:
        return 32;
    case TYPE::ik_llong:
    case TYPE::ik_ullong:
        return 64;
    default:
        return 16;
    }
}

// 64-bit integers are aligned on 32 bits only.
uint32_t basic_int_alignment(TYPE::IKIND ikind) {
    return std::min<uint32_t>(basic_int_size(ikind), 32);
}

uint32_t basic_float_size(TYPE::FKIND fkind) {
    switch (fkind) {
    case TYPE::fk_double:
        return eabi_mode() ? 64 : 32;
    case TYPE::fk_ldouble:
        return 64;
    default:
        return 32;
    }
}

uint32_t basic_float_alignment(TYPE::FKIND) {
    return 32;
}

std::string type_stats_report() {
    const TypeStats& stats = type_world().stats;
    const std::pair<const char*, uint32_t> rows[] = {
        {"all types", stats.all},
        {"scalar", stats.scalar},
        {"complex", stats.complex},
        {"pointer", stats.pointer},
        {"qualified", stats.qualified},
        {"typedef", stats.typedefs},
        {"array", stats.array},
        {"vector array", stats.vector_array},
        {"function", stats.function},
        {"enum", stats.enums},
        {"class/struct/union", stats.csu},
    };
    std::string report = "Type package statistics:\n";
    char line[96];
    for (const auto& [label, count] : rows) {
        std::snprintf(line, sizeof line, "  %-20s %10u\n", label, count);
        report += line;
    }
    std::snprintf(line, sizeof line, "  %-20s %10llu\n", "bytes allocated",
                  static_cast<unsigned long long>(type_world().allocated_bytes));
    report += line;
    return report;
}

// ---- Construction and destruction -----------------------------------------------

TYPE_PKG::TYPE_PKG() {
    TypeWorld& world = type_world();
    ++world.packages_made;
    if (!world.root_void)
        make_root_void();
    make_basic_types();
    choose_mtypes();
}

// Types of other packages may be interned under ours and ours under theirs
// (every basic type is interned under the process-wide root); cut those
// links before the records go.
TYPE_PKG::~TYPE_PKG() {
    for (const auto& [record, storage] : owned_) {
        TYPE* type = storage.get();
        if (type->interned_under_ != nullptr && !owns(type->interned_under_))
            unlink_from_base(type);
        for (const auto& [key, list] : type->based_)
            for (TYPE* based : list)
                if (!owns(based))
                    based->interned_under_ = nullptr;
    }
    owned_.clear();
}

template <typename... Args> TYPE* TYPE_PKG::tp_alloc(Args&&... args) {
    std::unique_ptr<TYPE> record;
    try {
        record.reset(new TYPE(std::forward<Args>(args)...));
    } catch (const std::bad_alloc&) {
        type_internal_error("Out of memory: tp_alloc()");
    }
    TYPE* type = record.get();
    type->package_ = this;
    type->accounted_ = true;
    type_world().allocated_bytes += sizeof(TYPE) + type->footprint_;
    owned_.emplace(type, std::move(record));
    return type;
}

void TYPE_PKG::destroy(TYPE* type) {
    unlink_from_base(type);
    owned_.erase(type);
}

void TYPE_PKG::unlink_from_base(TYPE* type) {
    TYPE* base = type->interned_under_;
    if (base == nullptr)
        return;
    type->interned_under_ = nullptr;
    auto list = base->based_.find(type->interning_key());
    if (list == base->based_.end())
        return;
    std::erase(list->second, type);
    if (list->second.empty())
        base->based_.erase(list);
}

void TYPE_PKG::make_root_void() {
    auto root = std::make_unique<TYPE>(TYPE::tpk_void);
    root->frozen_ = 1;
    root->uid_ = next_uid_++;
    root->accounted_ = true;
    type_world().allocated_bytes += sizeof(TYPE);
    count_installation(root.get());
    type_world().root_void = std::move(root);
}

void TYPE_PKG::make_basic_types() {
    void_ = mk_void();
    void_ptr_ = mk_ptr(void_);
    for (uint32_t ikind = 0; ikind < TYPE::ikind_count; ++ikind)
        basic_[ikind] = mk_int(static_cast<TYPE::IKIND>(ikind), true);
    for (uint32_t fkind = 0; fkind < TYPE::fkind_count; ++fkind)
        basic_[TYPE::ikind_count + fkind] = mk_fltpt(static_cast<TYPE::FKIND>(fkind));
}

// Basic types of equal size share one machine type, so that passes treat
// them alike.  With this target's sizes char, short and int share int's,
// and in the default mode double shares float's.
void TYPE_PKG::choose_mtypes() {
    for (TYPE* type : basic_)
        type->mtype_ = type;
    auto t = [this](TYPE::IKIND ikind) { return int_type(ikind); };
    auto same_size = [](const TYPE* a, const TYPE* b) { return a->size() == b->size(); };

    if (same_size(t(TYPE::ik_llong), t(TYPE::ik_int))) {
        t(TYPE::ik_llong)->mtype_ = t(TYPE::ik_int);
        t(TYPE::ik_ullong)->mtype_ = t(TYPE::ik_uint);
    }
    if (same_size(t(TYPE::ik_long), t(TYPE::ik_int))) {
        t(TYPE::ik_long)->mtype_ = t(TYPE::ik_int);
        t(TYPE::ik_ulong)->mtype_ = t(TYPE::ik_uint);
    }
    if (same_size(t(TYPE::ik_short), t(TYPE::ik_int))) {
        t(TYPE::ik_short)->mtype_ = t(TYPE::ik_int);
        t(TYPE::ik_ushort)->mtype_ = t(TYPE::ik_uint);
    } else if (same_size(t(TYPE::ik_short), t(TYPE::ik_char))) {
        t(TYPE::ik_short)->mtype_ = t(TYPE::ik_char);
        t(TYPE::ik_ushort)->mtype_ = t(TYPE::ik_uchar);
    }
    if (same_size(t(TYPE::ik_char), t(TYPE::ik_int))) {
        t(TYPE::ik_char)->mtype_ = t(TYPE::ik_int);
        t(TYPE::ik_uchar)->mtype_ = t(TYPE::ik_uint);
    }
    if (same_size(t(TYPE::ik_wchar), t(TYPE::ik_short)))
        t(TYPE::ik_wchar)->mtype_ = t(TYPE::ik_short);

    TYPE* f = float_type(TYPE::fk_float);
    TYPE* d = float_type(TYPE::fk_double);
    TYPE* ld = float_type(TYPE::fk_ldouble);
    if (same_size(d, f))
        d->mtype_ = f;
    if (same_size(ld, d))
        ld->mtype_ = d;
    if (same_size(ld, f))
        ld->mtype_ = f;
}

// An integer or float made later shares the machine type of the package's
// basic type of its kind when the sizes agree.
void TYPE_PKG::assign_basic_mtype(TYPE* type) {
    if (type->mtype_ != nullptr)
        return;
    const unsigned index =
        type->kind_ == TYPE::tpk_int ? type->kind_code_ : TYPE::ikind_count + type->kind_code_;
    TYPE* basic = index < basic_count ? basic_[index] : nullptr;
    if (basic == nullptr || basic->mtype_ == nullptr)
        return; // the basic types are still being made
    type->mtype_ = basic->size() == type->size() ? basic->mtype() : type;
}

// ---- Installation -----------------------------------------------------------------------

TYPE* TYPE_PKG::base_type(TYPE* type) const {
    switch (type->kind_) {
    case TYPE::tpk_void:
    case TYPE::tpk_int:
    case TYPE::tpk_fltpt:
    case TYPE::tpk_fixed:
    case TYPE::tpk_complex:
    case TYPE::tpk_enum:
    case TYPE::tpk_class:
    case TYPE::tpk_struct:
    case TYPE::tpk_union:
        return root_void();
    case TYPE::tpk_pointer:
    case TYPE::tpk_ptr_to_member:
    case TYPE::tpk_reference:
    case TYPE::tpk_qualified:
        return type->inner_;
    case TYPE::tpk_typedef:
        return type->typedef_rec().target;
    case TYPE::tpk_array:
        return type->array_rec().element;
    case TYPE::tpk_function:
        return type->function_rec().result ? type->function_rec().result : root_void();
    default:
        type_internal_error("bad kind:  TYPE_PKG::base_type()");
    }
}

TYPE* TYPE_PKG::find_equal_installed(TYPE* type, TYPE* base) const {
    auto list = base->based_.find(type->interning_key());
    if (list == base->based_.end())
        return nullptr;
    for (TYPE* listed : list->second)
        if (listed != type && exact_types(listed, type))
            return listed;
    return nullptr;
}

void TYPE_PKG::count_installation(const TYPE* type) {
    TypeStats& stats = type_world().stats;
    switch (type->kind_) {
    case TYPE::tpk_void:
    case TYPE::tpk_int:
    case TYPE::tpk_fltpt:
    case TYPE::tpk_fixed:
        ++stats.scalar;
        break;
    case TYPE::tpk_complex:
        ++stats.complex;
        break;
    case TYPE::tpk_pointer:
    case TYPE::tpk_reference:
    case TYPE::tpk_ptr_to_member:
        ++stats.pointer;
        break;
    case TYPE::tpk_qualified:
        ++stats.qualified;
        break;
    case TYPE::tpk_typedef:
        ++stats.typedefs;
        break;
    case TYPE::tpk_array:
        ++(type->array_rec().vector ? stats.vector_array : stats.array);
        break;
    case TYPE::tpk_function:
        ++stats.function;
        break;
    case TYPE::tpk_enum:
        ++stats.enums;
        break;
    case TYPE::tpk_class:
    case TYPE::tpk_struct:
    case TYPE::tpk_union:
        ++stats.csu;
        break;
    default:
        type_internal_error("bad type: TYPE_PKG::db_stats()");
    }
    ++stats.all;
}

TYPE* TYPE_PKG::install(TYPE* type, TYPE* base) {
    type->package_word_ = package_word_;
    if (!type->frozen_ || type->uid_ != 0)
        return type;
    if (type->package_ == nullptr)
        type->package_ = this;
    const TYPE::KIND real_kind = type->real_->kind_;
    const bool named = real_kind == TYPE::tpk_enum || real_kind == TYPE::tpk_class ||
                       real_kind == TYPE::tpk_struct || real_kind == TYPE::tpk_union;
    if (!named && type->based_.empty()) {
        if (TYPE* older = find_equal_installed(type, base)) {
            if (owns(type))
                destroy(type);
            return older;
        }
    }
    type->uid_ = next_uid_++;
    count_installation(type);
    base->based_[type->interning_key()].push_back(type);
    type->interned_under_ = base;
    return type;
}

TYPE* TYPE_PKG::make_frozen(TYPE* type) {
    type->frozen_ = 1;
    return install(type, base_type(type));
}

TYPE* TYPE_PKG::make_sized(TYPE* type, uint64_t size, uint32_t alignment) {
    type->assign_size(size);
    type->alignment_ = alignment;
    return type;
}

// ---- Factories ---------------------------------------------------------------------------

TYPE* TYPE_PKG::mk_void() {
    return make_frozen(tp_alloc(TYPE::tpk_void));
}

TYPE* TYPE_PKG::mk_int(TYPE::IKIND ikind, bool explicitly_signed) {
    if (ikind >= TYPE::ikind_count)
        type_internal_error("Bad kind: TYPE_PKG::mk_int");
    return mk_int(ikind, explicitly_signed, basic_int_size(ikind), basic_int_alignment(ikind),
                  ikind == TYPE::ik_bool);
}

TYPE* TYPE_PKG::mk_int(TYPE::IKIND ikind, bool explicitly_signed, uint64_t size, uint32_t alignment,
                       uint8_t boolean_byte) {
    if (ikind >= TYPE::ikind_count)
        type_internal_error("Bad kind: TYPE_PKG::mk_int");
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_int);
    type->kind_code_ = ikind;
    type->explicitly_signed_ = explicitly_signed;
    type->boolean_byte_ = boolean_byte;
    type = make_frozen(make_sized(type, size, alignment));
    assign_basic_mtype(type);
    return type;
}

TYPE* TYPE_PKG::mk_fltpt(TYPE::FKIND fkind) {
    if (fkind >= TYPE::fkind_count)
        type_internal_error("Bad fltpt_kind: TYPE_PKG::mk_fltpt");
    return mk_fltpt(fkind, basic_float_size(fkind), basic_float_alignment(fkind));
}

TYPE* TYPE_PKG::mk_fltpt(TYPE::FKIND fkind, uint64_t size, uint32_t alignment) {
    if (fkind >= TYPE::fkind_count)
        type_internal_error("Bad fltpt_kind: TYPE_PKG::mk_fltpt");
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_fltpt);
    type->kind_code_ = fkind;
    type = make_frozen(make_sized(type, size, alignment));
    assign_basic_mtype(type);
    return type;
}

TYPE* TYPE_PKG::mk_address(TYPE::KIND kind, TYPE* target, uint64_t size, uint32_t alignment) {
    TYPE* type = tp_alloc(TYPE::PackageMade{}, kind);
    type->inner_ = target;
    return make_frozen(make_sized(type, size, alignment));
}

TYPE* TYPE_PKG::mk_ptr(TYPE* target) {
    return mk_address(TYPE::tpk_pointer, target, pointer_size_bits, pointer_alignment_bits);
}

// Older producers wrote pointers as 22 bits wide; they are 32-bit pointers.
TYPE* TYPE_PKG::mk_ptr(TYPE* target, uint64_t size, uint32_t alignment) {
    if (size == 22) {
        size = pointer_size_bits;
        alignment = pointer_alignment_bits;
    }
    return mk_address(TYPE::tpk_pointer, target, size, alignment);
}

TYPE* TYPE_PKG::mk_ref(TYPE* target) {
    return mk_address(TYPE::tpk_reference, target, pointer_size_bits, pointer_alignment_bits);
}

TYPE* TYPE_PKG::mk_ref(TYPE* target, uint64_t size, uint32_t alignment) {
    return mk_address(TYPE::tpk_reference, target, size, alignment);
}

// The common form: the base's size and alignment, packing aligns on 16.
TYPE* TYPE_PKG::mk_qual(TYPE* type, uint32_t bits) {
    TYPE* base = type;
    uint32_t all = bits;
    while (base->kind_ == TYPE::tpk_qualified) {
        all |= base->qual_bits_;
        base = base->inner_;
    }
    const uint32_t alignment = (all & CQ_PACKED) ? packed_alignment_bits : base->alignment();
    return mk_qual(type, bits, base->size(), alignment);
}

TYPE* TYPE_PKG::mk_qual(TYPE* type, uint32_t bits, uint64_t size, uint32_t alignment) {
    if ((type->qualifiers(false) & bits) == bits)
        return type;
    TYPE* base = type;
    uint32_t all = bits;
    while (base->kind_ == TYPE::tpk_qualified) {
        all |= base->qual_bits_;
        base = base->inner_;
    }
    TYPE* qualified = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_qualified);
    qualified->inner_ = base;
    qualified->real_ = base->real_;
    qualified->qual_bits_ = all;
    return make_frozen(make_sized(qualified, size, alignment));
}

TYPE* TYPE_PKG::mk_array(TYPE* element, uint64_t count, const ArraySpec& shape) {
    TYPE* array = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_array);
    ArrayRecord& record = array->array_rec();
    record.element = element;
    record.count = count;
    record.complete = shape.complete;
    record.vector = shape.vector;
    record.extra = shape.extra;
    array->flag_byte_ = shape.flag_byte;
    const uint64_t size = shape.size ? *shape.size : element->storage_size() * count;
    const uint32_t alignment = shape.alignment ? *shape.alignment : element->alignment();
    array = make_frozen(make_sized(array, size, alignment));
    return shape.qualifiers ? mk_qual(array, shape.qualifiers) : array;
}

TYPE* TYPE_PKG::mk_ptr_to_member(TYPE* member, TYPE* cls) {
    return mk_ptr_to_member(member, cls, pointer_size_bits, pointer_alignment_bits);
}

TYPE* TYPE_PKG::mk_ptr_to_member(TYPE* member, TYPE* cls, uint64_t size, uint32_t alignment) {
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_ptr_to_member);
    type->inner_ = member;
    type->ptm_class_ = cls;
    return make_frozen(make_sized(type, size, alignment));
}

TYPE* TYPE_PKG::mk_complex(TYPE* part) {
    return make_frozen(tp_alloc(part));
}

TYPE* TYPE_PKG::mk_complex(TYPE* part, uint64_t size, uint32_t alignment) {
    return make_frozen(make_sized(tp_alloc(part), size, alignment));
}

TYPE* TYPE_PKG::mk_fixed(TYPE* underlying, uint8_t fraction_bits) {
    return mk_fixed(underlying, fraction_bits, 0, underlying->size(), underlying->alignment());
}

TYPE* TYPE_PKG::mk_fixed(TYPE* underlying, uint8_t fraction_bits, uint8_t flag, uint64_t size,
                         uint32_t alignment) {
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_fixed);
    type->inner_ = underlying;
    type->fraction_bits_ = fraction_bits;
    type->fixed_flag_ = flag;
    return make_frozen(make_sized(type, size, alignment));
}

TYPE* TYPE_PKG::mk_typedef(const std::string& name, TYPE* target, const TypedefSpec& shape) {
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_typedef);
    TypedefRecord& record = type->typedef_rec();
    record.target = target;
    record.name = name;
    record.position = shape.position;
    type->account(name.size() + 1);
    type->real_ = target->real_;
    type->flag_byte_ = shape.flag_byte;
    type->derived_flag_ = shape.derived_flag;
    const uint64_t size = shape.size ? *shape.size : target->size();
    const uint32_t alignment = shape.alignment ? *shape.alignment : target->alignment();
    return make_frozen(make_sized(type, size, alignment));
}

TYPE* TYPE_PKG::mk_function(TYPE* result, const std::array<uint8_t, 4>& attributes) {
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_function);
    type->function_rec().result = result;
    type->function_rec().attributes = attributes;
    type->alignment_ = void_alignment_bits;
    return install(type, base_type(type));
}

TYPE* TYPE_PKG::mk_enum(const char* name, TYPE* underlying) {
    return mk_enum(name, underlying, underlying->size(), underlying->alignment());
}

TYPE* TYPE_PKG::mk_enum(const char* name, TYPE* underlying, uint64_t size, uint32_t alignment) {
    TYPE* type = tp_alloc(TYPE::PackageMade{}, TYPE::tpk_enum);
    type->give_tag_name(name);
    type->enum_rec().underlying = underlying;
    make_sized(type, size, alignment);
    return install(type, root_void());
}

TYPE* TYPE_PKG::mk_csu(TYPE::KIND kind, const char* name, bool complete, uint8_t class_flag) {
    TYPE* type = tp_alloc(kind, name, complete ? 1 : 0, class_flag);
    return install(type, root_void());
}

// ---- Conversions ----------------------------------------------------------------------------

namespace {

// The counterpart of an integer kind; the kind itself when it has none.
TYPE::IKIND counterpart(TYPE::IKIND ikind, bool to_unsigned) {
    struct Pair {
        TYPE::IKIND is_signed;
        TYPE::IKIND is_unsigned;
    };
    static constexpr Pair pairs[] = {
        {TYPE::ik_char, TYPE::ik_uchar},   {TYPE::ik_short, TYPE::ik_ushort},
        {TYPE::ik_int, TYPE::ik_uint},     {TYPE::ik_long, TYPE::ik_ulong},
        {TYPE::ik_llong, TYPE::ik_ullong},
    };
    for (const Pair& pair : pairs) {
        if (to_unsigned && ikind == pair.is_signed)
            return pair.is_unsigned;
        if (!to_unsigned && ikind == pair.is_unsigned)
            return pair.is_signed;
    }
    return ikind;
}

} // namespace

TYPE* TYPE_PKG::convert_integer(TYPE* type, bool to_unsigned) {
    TYPE* source = type;
    if (type->is_enum())
        type = type->underlying_type();
    if (type->is_integer()) {
        const TYPE::IKIND ikind = type->ikind();
        if (ikind >= TYPE::ikind_count)
            type_internal_error(to_unsigned ? "Bad kind: TYPE_PKG::mk_unsigned()"
                                            : "Bad kind: TYPE_PKG::mk_signed()");
        const TYPE::IKIND converted = counterpart(ikind, to_unsigned);
        if (converted == ikind)
            return type;
        return mk_qual(int_type(converted), source->qualifiers(true));
    }
    if (type->is_vector())
        return rebuild_vector(type, convert_integer(type->array_element(), to_unsigned));
    return type;
}

TYPE* TYPE_PKG::rebuild_vector(TYPE* type, TYPE* converted_element) {
    const TYPE* array = type->real();
    if (converted_element == array->array_element())
        return type;
    const ArrayRecord& record = array->array_record();
    ArraySpec shape;
    shape.qualifiers = type->qualifiers(false);
    shape.complete = record.complete;
    shape.vector = true;
    shape.size = array->size();
    shape.alignment = array->alignment();
    shape.flag_byte = array->flag_byte();
    shape.extra = record.extra;
    return mk_array(converted_element, record.count, shape);
}

TYPE* TYPE_PKG::mk_unsigned(TYPE* type) {
    return convert_integer(type, true);
}

TYPE* TYPE_PKG::mk_signed(TYPE* type) {
    return convert_integer(type, false);
}

TYPE* c_integral_promotions(TYPE* type) {
    TYPE_PKG* package = type->package();
    if (package == nullptr)
        type_internal_error("Unregistered type:  c_integral_promotions()");
    if (type->is_enum())
        type = type->underlying_type();
    if (!type->is_integer())
        return type;
    TYPE* int_type = package->int_type(TYPE::ik_int);
    switch (type->ikind()) {
    case TYPE::ik_char:
    case TYPE::ik_wchar:
    case TYPE::ik_short:
    case TYPE::ik_int:
        return int_type;
    case TYPE::ik_uchar:
    case TYPE::ik_ushort:
    case TYPE::ik_uint:
        return type->size() != int_type->size() ? int_type : package->int_type(TYPE::ik_uint);
    default:
        return type;
    }
}

// ---- Freezing, deleting, replacing ---------------------------------------------------------

void type_frozen(TYPE*& type) {
    if (type->frozen_ && type->uid_ != 0)
        return;
    TYPE* base = nullptr;
    switch (type->kind_) {
    case TYPE::tpk_array:
        base = type->array_rec().element;
        break;
    case TYPE::tpk_function:
        base = type->function_rec().result ? type->function_rec().result : TYPE_PKG::root_void();
        break;
    case TYPE::tpk_enum:
    case TYPE::tpk_class:
    case TYPE::tpk_struct:
    case TYPE::tpk_union:
        base = TYPE_PKG::root_void();
        break;
    default:
        type_internal_error("bad kind: type_frozen()");
    }
    type->frozen_ = 1;
    if (type->package_ != nullptr)
        type = type->package_->install(type, base);
}

void TYPE_PKG::delete_type_tree(TYPE* type, bool recursive) {
    if (!recursive && !type->based_.empty())
        type_internal_error("Nonrecusive type tree delete with nonempty based list:  "
                            "TYPE_PKG::delete_type_tree");
    // Each deleted child unlinks itself from our map.
    while (!type->based_.empty())
        delete_type_tree(type->based_.begin()->second.back(), true);
    TYPE_PKG* owner = type->package_;
    if (owner != nullptr && owner->owns(type))
        owner->destroy(type);
    else
        unlink_from_base(type);
}

void replace_array_elem(TYPE* array, TYPE* replacement) {
    TYPE* element = array->interned_under_;
    auto list = element ? element->based_.find(array->interning_key())
                        : std::map<std::string, std::vector<TYPE*>>::iterator{};
    if (element == nullptr || list == element->based_.end() ||
        std::find(list->second.begin(), list->second.end(), array) == list->second.end())
        type_internal_error("replace_array_elem:  can't find element");
    std::replace(list->second.begin(), list->second.end(), array, replacement);
    replacement->interned_under_ = element;
    array->interned_under_ = nullptr;
    array->forward_ = replacement;
}

// ---- Canonical forms ---------------------------------------------------------------------------

TYPE* TYPE_PKG::normalize(TYPE* type) {
    switch (type->kind_) {
    case TYPE::tpk_void:
    case TYPE::tpk_int:
    case TYPE::tpk_fltpt:
    case TYPE::tpk_fixed:
    case TYPE::tpk_complex:
    case TYPE::tpk_ptr_to_member:
    case TYPE::tpk_function:
    case TYPE::tpk_class:
    case TYPE::tpk_struct:
    case TYPE::tpk_union:
        return type;
    case TYPE::tpk_typedef:
        return normalize(type->typedef_rec().target);
    case TYPE::tpk_enum:
        return type->enum_rec().underlying ? normalize(type->enum_rec().underlying) : type;
    case TYPE::tpk_qualified: {
        TYPE* base = normalize(type->inner_);
        return base == type->inner_
                   ? type
                   : mk_qual(base, type->qual_bits_, type->size(), type->alignment());
    }
    case TYPE::tpk_pointer:
    case TYPE::tpk_reference: {
        TYPE* target = normalize(type->inner_);
        return target == type->inner_
                   ? type
                   : mk_address(type->kind_, target, type->size(), type->alignment());
    }
    case TYPE::tpk_array: {
        TYPE* element = normalize(type->array_rec().element);
        if (element == type->array_rec().element)
            return type;
        ArraySpec shape;
        shape.complete = type->array_rec().complete;
        shape.vector = type->array_rec().vector;
        shape.size = type->size();
        shape.alignment = type->alignment();
        shape.flag_byte = type->flag_byte_;
        shape.extra = type->array_rec().extra;
        return mk_array(element, type->array_rec().count, shape);
    }
    default:
        type_internal_error("Tried to normalize unknown type kind");
    }
}

TYPE* TYPE_PKG::companion(TYPE* type) {
    if (type->companion_ == nullptr)
        type->companion_ = normalize(type);
    return type->companion_;
}

// ---- Errors
// --------------------------------------------------------------------------------------

// Only the first error is kept; later reports repeat it to the callback.
void TYPE_PKG::report_error(int severity, const char* format, ...) {
    if (!error_) {
        char text[error_text_limit + 1];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        error_ = TypeError{severity, text};
    }
    if (error_callback_)
        error_callback_(*this, error_->severity, error_->message.c_str());
}

} // namespace vx::ir
