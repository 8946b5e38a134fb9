#include "ir/type.h"

#include "ir/type_package.h"
#include "support/check.h"
#include "support/termination.h"

#include <bit>
#include <cstdio>

namespace vx::ir {

void type_internal_error(const char* message) {
    std::fprintf(stderr, "TP>> internal error: %s\n", message);
    std::fflush(stderr);
    stop_run(1);
}

namespace {

const std::string empty_name;
const TypeSourcePos no_position;

bool is_csu_kind(TYPE::KIND kind) {
    return kind == TYPE::tpk_class || kind == TYPE::tpk_struct || kind == TYPE::tpk_union;
}

bool is_anonymous_tag(const char* name) {
    return name == nullptr || *name == '\0' || std::string_view(name).starts_with("$$fake");
}

// The part types a complex type may have.
bool is_complex_part(const TYPE* part) {
    return part->is_char() || part->is_short() || part->is_int() || part->is_long() ||
           part->is_llong() || part->is_float() || part->is_double();
}

uint8_t class_category_of(TYPE::KIND kind) {
    switch (kind) {
    case TYPE::tpk_union:
        return 1;
    case TYPE::tpk_class:
        return 2;
    default:
        return 0;
    }
}

} // namespace

// ---- Construction ------------------------------------------------------------

TYPE::TYPE(PackageMade, KIND kind) : kind_(kind), real_(this) {
    create_subparts();
}

TYPE::TYPE(KIND kind) : kind_(tpk_void), real_(this) {
    if (kind != tpk_void)
        type_internal_error("Bad type kind:  TYPE::TYPE(KIND)");
    alignment_ = void_alignment_bits;
}

TYPE::TYPE(IKIND ikind, bool explicitly_signed, uint64_t size, uint32_t alignment,
           bool boolean_byte)
    : kind_(tpk_int), real_(this) {
    kind_code_ = ikind;
    explicitly_signed_ = explicitly_signed;
    boolean_byte_ = boolean_byte;
    assign_size(size);
    alignment_ = alignment;
}

TYPE::TYPE(FKIND fkind, uint64_t size, uint32_t alignment) : kind_(tpk_fltpt), real_(this) {
    kind_code_ = fkind;
    assign_size(size);
    alignment_ = alignment;
}

TYPE::TYPE(KIND kind, TYPE* target, uint64_t size, uint32_t alignment) : kind_(kind), real_(this) {
    VX_CHECK(kind == tpk_pointer || kind == tpk_reference);
    inner_ = target;
    assign_size(size);
    alignment_ = alignment;
}

TYPE::TYPE(TYPE* i_part_type) : kind_(tpk_complex), real_(this) {
    if (i_part_type == nullptr || !is_complex_part(i_part_type))
        type_internal_error("Bad complex part_type: TYPE::TYPE(TYPE *i_part_type)");
    inner_ = i_part_type;
    assign_size(2 * uint64_t{i_part_type->size()});
    alignment_ = i_part_type->alignment();
}

TYPE::TYPE(KIND kind, const char* name, int is_complete, int class_flag)
    : kind_(kind), real_(this) {
    if (!is_csu_kind(kind))
        type_internal_error("Bad type kind:  TYPE::TYPE(KIND, const char *, int, int)");
    create_subparts();
    give_tag_name(name);
    class_rec().complete = is_complete != 0;
    class_rec().category = class_category_of(kind);
    class_flag_ = static_cast<uint8_t>(class_flag);
    alignment_ = void_alignment_bits;
}

TYPE::~TYPE() {
    if (!accounted_)
        return;
    uint64_t& total = type_world().allocated_bytes;
    const uint64_t mine = sizeof(TYPE) + footprint_;
    total = total > mine ? total - mine : 0;
}

void TYPE::create_subparts() {
    switch (kind_) {
    case tpk_typedef:
        sub_ = std::make_unique<TypedefRecord>();
        account(sizeof(TypedefRecord));
        break;
    case tpk_array:
        sub_ = std::make_unique<ArrayRecord>();
        account(sizeof(ArrayRecord));
        break;
    case tpk_function:
        sub_ = std::make_unique<FunctionRecord>();
        account(sizeof(FunctionRecord));
        break;
    case tpk_enum:
        sub_ = std::make_unique<EnumRecord>();
        account(sizeof(EnumRecord));
        break;
    case tpk_class:
    case tpk_struct:
    case tpk_union:
        sub_ = std::make_unique<ClassRecord>();
        account(sizeof(ClassRecord));
        break;
    default:
        break;
    }
}

// Anonymous tags get a fresh invented name, so that every tag has one.
void TYPE::give_tag_name(const char* name) {
    std::string tag;
    if (is_anonymous_tag(name)) {
        char invented[32];
        std::snprintf(invented, sizeof invented, "$$fake%u", type_world().fake_tags_made++);
        tag = invented;
    } else {
        tag = name;
    }
    account(tag.size() + 1);
    if (kind_ == tpk_enum)
        enum_rec().name = std::move(tag);
    else
        class_rec().name = std::move(tag);
}

void TYPE::account(std::size_t bytes) {
    footprint_ += bytes;
    if (accounted_)
        type_world().allocated_bytes += bytes;
}

void TYPE::assign_size(uint64_t size_in_bits) {
    if (size_in_bits > max_type_size_bits && package_ != nullptr)
        package_->report_error(1, "Object size %llu is greater than maximum supported size %lu",
                               static_cast<unsigned long long>(size_in_bits),
                               static_cast<unsigned long>(max_type_size_bits));
    size_ = static_cast<uint32_t>(size_in_bits);
}

void TYPE::check_nfrozen() const {
    if (frozen_)
        type_internal_error("Modifying frozen type:  TYPE::check_nfrozen");
}

// ---- Sub-records ---------------------------------------------------------------

TypedefRecord& TYPE::typedef_rec() const {
    VX_CHECK(kind_ == tpk_typedef);
    return static_cast<TypedefRecord&>(*sub_);
}

ArrayRecord& TYPE::array_rec() const {
    VX_CHECK(kind_ == tpk_array);
    return static_cast<ArrayRecord&>(*sub_);
}

FunctionRecord& TYPE::function_rec() const {
    VX_CHECK(kind_ == tpk_function);
    return static_cast<FunctionRecord&>(*sub_);
}

EnumRecord& TYPE::enum_rec() const {
    VX_CHECK(kind_ == tpk_enum);
    return static_cast<EnumRecord&>(*sub_);
}

ClassRecord& TYPE::class_rec() const {
    VX_CHECK(is_csu_kind(kind_));
    return static_cast<ClassRecord&>(*sub_);
}

const TypedefRecord& TYPE::typedef_record() const {
    if (kind_ != tpk_typedef)
        type_internal_error("Bad kind:  TYPE::getr()");
    return typedef_rec();
}

const ArrayRecord& TYPE::array_record() const {
    return getr(tpk_array)->array_rec();
}

const FunctionRecord& TYPE::function_record() const {
    return getr(tpk_function)->function_rec();
}

const EnumRecord& TYPE::enum_record() const {
    return getr(tpk_enum)->enum_rec();
}

const ClassRecord& TYPE::class_record() const {
    return getr_csu()->class_rec();
}

// ---- Kind tests ------------------------------------------------------------------

bool TYPE::has_ikind(IKIND ikind) const {
    return real_->kind_ == tpk_int && real_->kind_code_ == ikind;
}

bool TYPE::has_fkind(FKIND fkind) const {
    return real_->kind_ == tpk_fltpt && real_->kind_code_ == fkind;
}

bool TYPE::is_vector() const {
    return is_array() && real_->array_rec().vector;
}

bool TYPE::is_scalar() const {
    switch (real_->kind_) {
    case tpk_int:
    case tpk_fltpt:
    case tpk_fixed:
    case tpk_complex:
    case tpk_pointer:
    case tpk_reference:
    case tpk_ptr_to_member:
    case tpk_enum:
        return true;
    default:
        return false;
    }
}

bool TYPE::is_bool() const {
    return is_integer() && (real_->kind_code_ == ik_bool || real_->boolean_byte_ != 0);
}

bool TYPE::is_signed() const {
    const TYPE* r = real_;
    switch (r->kind_) {
    case tpk_int:
        switch (r->kind_code_) {
        case ik_char:
        case ik_short:
        case ik_int:
        case ik_long:
        case ik_llong:
            return true;
        default:
            return false;
        }
    case tpk_enum:
        return r->enum_rec().underlying != nullptr && r->enum_rec().underlying->is_signed();
    case tpk_fixed:
        return r->inner_ != nullptr && r->inner_->is_signed();
    default:
        return false;
    }
}

bool TYPE::is_unsigned() const {
    const TYPE* r = real_;
    const bool integral = r->kind_ == tpk_int ||
                          (r->kind_ == tpk_enum && r->enum_rec().underlying) ||
                          (r->kind_ == tpk_fixed && r->inner_);
    return integral && !is_signed();
}

// ---- Parts ---------------------------------------------------------------------------

TYPE* TYPE::getr(KIND kind) const {
    if (real_->kind_ != kind)
        type_internal_error("Bad kind:  TYPE::getr()");
    return real_;
}

TYPE* TYPE::getr_csu() const {
    if (!is_csu_kind(real_->kind_))
        type_internal_error("Bad kind:  TYPE::getr_csu()");
    return real_;
}

TYPE::IKIND TYPE::ikind() const {
    return static_cast<IKIND>(getr(tpk_int)->kind_code_);
}

TYPE::FKIND TYPE::fkind() const {
    return static_cast<FKIND>(getr(tpk_fltpt)->kind_code_);
}

bool TYPE::explicitly_signed() const {
    return getr(tpk_int)->explicitly_signed_ != 0;
}

uint8_t TYPE::boolean_byte() const {
    return getr(tpk_int)->boolean_byte_;
}

TYPE* TYPE::type_pointed_to() const {
    if (real_->kind_ != tpk_pointer && real_->kind_ != tpk_ptr_to_member)
        type_internal_error("Bad kind:  TYPE::type_pointed_to");
    return real_->inner_;
}

TYPE* TYPE::referred_type() const {
    return getr(tpk_reference)->inner_;
}

TYPE* TYPE::underlying_type() const {
    if (real_->kind_ == tpk_fixed)
        return real_->inner_;
    if (real_->kind_ == tpk_enum)
        return real_->enum_rec().underlying;
    type_internal_error("Bad kind:  TYPE::underlying_type");
}

TYPE* TYPE::part_type() const {
    if (real_->kind_ != tpk_complex)
        type_internal_error("Bad kind:  TYPE::part_type()");
    return real_->inner_;
}

uint32_t TYPE::fraction_bits() const {
    return getr(tpk_fixed)->fraction_bits_;
}

uint8_t TYPE::fixed_flag() const {
    return getr(tpk_fixed)->fixed_flag_;
}

// The element carries the qualifiers of the array (a const array has const
// elements); packing lowers the element's alignment to the packed one.
TYPE* TYPE::elem_type() const {
    if (real_->kind_ != tpk_array)
        type_internal_error("Bad kind:  TYPE::elem_type()");
    if (real_->package_ == nullptr)
        type_internal_error("orphan type:  TYPE::elem_type()");
    TYPE* element = real_->array_rec().element;
    const uint32_t bits = qualifiers(false);
    if (bits == 0)
        return element;
    const uint32_t alignment = (bits & CQ_PACKED) ? packed_alignment_bits : element->alignment();
    return real_->package_->mk_qual(element, bits, element->size(), alignment);
}

TYPE* TYPE::array_element() const {
    return array_record().element;
}

uint64_t TYPE::elem_count() const {
    return array_record().count;
}

TYPE* TYPE::ptm_class() const {
    return getr(tpk_ptr_to_member)->ptm_class_;
}

TYPE* TYPE::return_type() const {
    return function_record().result;
}

const std::vector<Parameter>& TYPE::params() const {
    return function_record().params;
}

bool TYPE::is_variadic() const {
    return function_record().attributes[0] != 0;
}

uint8_t TYPE::call_attribute(unsigned index) const {
    return function_record().attributes.at(index);
}

const std::vector<Enumerator>& TYPE::enumerators() const {
    return enum_record().enumerators;
}

const std::deque<FieldRecord>& TYPE::fields() const {
    return class_record().fields;
}

const FieldRecord& TYPE::field(std::size_t index) const {
    const auto& all = fields();
    VX_CHECK(index < all.size());
    return all[index];
}

FieldRecord* TYPE::field_record(std::size_t index) const {
    auto& all = getr_csu()->class_rec().fields;
    VX_CHECK(index < all.size());
    return &all[index];
}

const std::vector<MemberEntry>& TYPE::member_list(uint8_t list_kind) const {
    VX_CHECK(list_kind <= TL_LAST && list_kind != TL_ENUMERATORS && list_kind != TL_FIELDS);
    return class_record().lists[list_kind];
}

const std::string& TYPE::name() const {
    switch (kind_) {
    case tpk_typedef:
        return typedef_rec().name;
    case tpk_enum:
        return enum_rec().name;
    case tpk_class:
    case tpk_struct:
    case tpk_union:
        return class_rec().name;
    default:
        return empty_name;
    }
}

const TypeSourcePos& TYPE::position() const {
    switch (kind_) {
    case tpk_typedef:
        return typedef_rec().position;
    case tpk_enum:
        return enum_rec().position;
    case tpk_class:
    case tpk_struct:
    case tpk_union:
        return class_rec().position;
    default:
        return no_position;
    }
}

TYPE* TYPE::qualified_base() const {
    if (kind_ != tpk_qualified)
        type_internal_error("Bad kind:  TYPE::get()");
    return inner_;
}

uint32_t TYPE::get() const {
    if (kind_ != tpk_qualified)
        type_internal_error("Bad kind:  TYPE::get()");
    return qual_bits_;
}

uint32_t TYPE::qualifiers(bool through_arrays) const {
    uint32_t bits = 0;
    const TYPE* t = this;
    for (;;) {
        if (t->kind_ == tpk_typedef)
            t = t->typedef_rec().target;
        else if (t->kind_ == tpk_qualified) {
            bits |= t->qual_bits_;
            t = t->inner_;
        } else if (through_arrays && t->kind_ == tpk_array)
            t = t->array_rec().element;
        else
            return bits;
    }
}

uint32_t TYPE::ekind() const {
    const TYPE* r = real_;
    switch (r->kind_) {
    case tpk_int:
        if (r->kind_code_ >= ikind_count)
            type_internal_error("Bad kind: TYPE::ekind()");
        return r->kind_code_;
    case tpk_fltpt:
        if (r->kind_code_ >= fkind_count)
            type_internal_error("Bad fkind: TYPE::ekind()");
        return ikind_count + r->kind_code_;
    case tpk_fixed:
        return 15;
    case tpk_complex:
        return 16;
    case tpk_pointer:
        return 17;
    case tpk_reference:
        return 18;
    case tpk_array:
        return 19;
    case tpk_ptr_to_member:
        return 20;
    case tpk_function:
        return 21;
    case tpk_enum:
        return 22;
    case tpk_class:
        return 23;
    case tpk_struct:
        return 24;
    case tpk_union:
        return 25;
    case tpk_void:
        return 26;
    default:
        type_internal_error("unhandled type kind: TYPE::ekind()");
    }
}

uint64_t TYPE::storage_size() const {
    if (!is_scalar())
        return size_;
    return size_ <= 1 ? 1 : std::bit_ceil(uint64_t{size_});
}

bool TYPE::is_complete() const {
    switch (real_->kind_) {
    case tpk_array:
        return real_->array_rec().complete;
    case tpk_enum:
        return real_->enum_rec().complete;
    case tpk_class:
    case tpk_struct:
    case tpk_union:
        return real_->class_rec().complete;
    default:
        return true;
    }
}

// Anonymous tags share one key per tag kind; class and struct share one.
const std::string& TYPE::interning_key() const {
    if (!key_.empty())
        return key_;
    const TYPE* keyed = kind_ == tpk_qualified && inner_ ? inner_ : this;
    switch (keyed->kind_) {
    case tpk_typedef:
    case tpk_enum:
    case tpk_class:
    case tpk_struct:
    case tpk_union: {
        const std::string& tag = keyed->name();
        if (keyed->kind_ == tpk_typedef || !tag.starts_with("$$fake"))
            key_ = tag;
        else if (keyed->kind_ == tpk_enum)
            key_ = "$$fakeenum";
        else if (keyed->kind_ == tpk_union)
            key_ = "$$fakeunion";
        else
            key_ = "$$fakestruct";
        break;
    }
    default:
        key_ = "__builtin_type";
        break;
    }
    return key_;
}

TYPE* TYPE::final_type() const {
    const TYPE* t = this;
    while (t->forward_ != nullptr)
        t = t->forward_;
    return const_cast<TYPE*>(t);
}

// ---- Filling an unfrozen record ---------------------------------------------------

void TYPE::set_size(uint64_t size_in_bits) {
    check_nfrozen();
    assign_size(size_in_bits);
}

void TYPE::set_alignment(uint32_t alignment_in_bits) {
    check_nfrozen();
    alignment_ = alignment_in_bits;
}

void TYPE::set_is_complete(bool complete) {
    real_->check_nfrozen();
    switch (real_->kind_) {
    case tpk_array:
        real_->array_rec().complete = complete;
        break;
    case tpk_enum:
        real_->enum_rec().complete = complete;
        break;
    case tpk_class:
    case tpk_struct:
    case tpk_union:
        real_->class_rec().complete = complete;
        break;
    default:
        type_internal_error("Bad kind:  TYPE::set_is_complete");
    }
}

void TYPE::set_flag_byte(uint8_t value) {
    check_nfrozen();
    flag_byte_ = value;
}

void TYPE::set_derived_flag(uint8_t value) {
    check_nfrozen();
    derived_flag_ = value;
}

void TYPE::set_position(const TypeSourcePos& position) {
    check_nfrozen();
    switch (kind_) {
    case tpk_typedef:
        typedef_rec().position = position;
        break;
    case tpk_enum:
        enum_rec().position = position;
        break;
    default:
        getr_csu()->class_rec().position = position;
        break;
    }
}

void TYPE::add_param(Parameter param) {
    TYPE* function = getr(tpk_function);
    function->check_nfrozen();
    function->account(sizeof(Parameter) + param.name.size() + 1);
    function->function_rec().params.push_back(std::move(param));
}

void TYPE::add_enumerator(Enumerator enumerator) {
    TYPE* type = getr(tpk_enum);
    type->check_nfrozen();
    type->account(sizeof(Enumerator) + enumerator.name.size() + 1);
    type->enum_rec().enumerators.push_back(std::move(enumerator));
}

void TYPE::add_field(FieldRecord field) {
    TYPE* csu = getr_csu();
    csu->check_nfrozen();
    if (field.is_bit_field())
        type_world().some_bit_field_exists = true;
    csu->account(sizeof(FieldRecord) + field.name.size() + 1);
    csu->class_rec().fields.push_back(std::move(field));
}

void TYPE::add_member(uint8_t list_kind, MemberEntry entry) {
    TYPE* csu = getr_csu();
    csu->check_nfrozen();
    VX_CHECK(list_kind <= TL_LAST && list_kind != TL_ENUMERATORS && list_kind != TL_FIELDS);
    csu->account(sizeof(MemberEntry) + entry.name.size() + 1);
    csu->class_rec().lists[list_kind].push_back(std::move(entry));
}

void TYPE::set_class_attributes(uint8_t category, uint8_t special) {
    TYPE* csu = getr_csu();
    csu->check_nfrozen();
    csu->class_rec().category = category;
    csu->class_rec().special = special;
}

void TYPE::set_extra_class_attributes(uint32_t word, const std::array<uint8_t, 9>& flags) {
    TYPE* csu = getr_csu();
    csu->check_nfrozen();
    ClassRecord& record = csu->class_rec();
    record.has_extra_attributes = true;
    record.extra_word = word;
    record.extra_flags = flags;
}

void TYPE::set_array_extra(uint8_t extra) {
    TYPE* array = getr(tpk_array);
    array->check_nfrozen();
    array->array_rec().extra = extra;
}

void TYPE::redirect_list_types(const TYPE* merged, TYPE* survivor) {
    auto redirect = [&](TYPE*& type) {
        if (type == merged)
            type = survivor;
    };
    if (kind_ == tpk_function) {
        for (Parameter& param : function_rec().params)
            redirect(param.type);
    } else if (is_csu_kind(kind_)) {
        for (FieldRecord& field : class_rec().fields)
            redirect(field.type);
        for (auto& list : class_rec().lists)
            for (MemberEntry& entry : list)
                redirect(entry.type);
    }
}

} // namespace vx::ir
