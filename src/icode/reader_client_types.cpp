#include "icode/reader_client_types.h"

#include "icode/reader.h"
#include "icode/record_fields.h"
#include "ir/type_package.h"

#include <cstdio>
#include <variant>

namespace vx::icode {

namespace {

using ir::TYPE;

// Flag byte of enums and classes written before it was a field of the
// record: set for an anonymous tag, the one property the tag tells.
uint8_t flag_byte_from_tag(std::string_view tag) {
    return tag.empty() || tag.starts_with("$$fake") ? 1 : 0;
}

ir::TypeSourcePos type_position(const SourcePos& pos, const TypeReadContext& cx) {
    const std::string* file = file_name_at(cx.file_names, pos.file);
    if (file == nullptr)
        return {};
    return {*file, pos.line, pos.column};
}

TYPE* resolve(TypeReadContext& cx, uint32_t number) {
    return cx.table.resolve(number);
}

// Types whose record cannot stand without the type it names.
TYPE* resolve_required(TypeReadContext& cx, uint32_t number) {
    TYPE* type = resolve(cx, number);
    if (type == nullptr)
        ir::type_internal_error("type record refers to no type");
    return type;
}

TYPE* make_integer(uint8_t code, const IntType& b, TypeReadContext& cx) {
    return cx.package.mk_int(*ir::ikind_of_record_code(code), b.explicitly_signed != 0, b.size,
                             b.alignment, b.boolean_byte);
}

TYPE* make_typedef(const TypedefType& b, TypeReadContext& cx) {
    ir::TypedefSpec shape;
    shape.size = b.size;
    shape.alignment = b.alignment;
    shape.flag_byte = b.flags;
    shape.derived_flag = b.flags2;
    shape.position = type_position(b.pos, cx);
    return cx.package.mk_typedef(std::string(b.name), resolve_required(cx, b.target), shape);
}

TYPE* make_address(uint8_t code, const PointerType& b, TypeReadContext& cx) {
    TYPE* target = resolve_required(cx, b.target);
    if (code == TC_POINTER)
        return cx.package.mk_ptr(target, b.size, b.alignment);
    return cx.package.mk_ref(target, b.size, b.alignment);
}

TYPE* make_array(const ArrayType& b, TypeReadContext& cx) {
    ir::ArraySpec shape;
    shape.complete = b.complete != 0;
    shape.vector = b.is_vector != 0;
    shape.size = b.size;
    shape.alignment = b.alignment;
    shape.flag_byte = b.flags;
    shape.extra = b.extra;
    return cx.package.mk_array(resolve_required(cx, b.element), b.count, shape);
}

TYPE* make_enum(const EnumType& b, TypeReadContext& cx) {
    const std::string tag(b.tag);
    TYPE* type =
        cx.package.mk_enum(tag.c_str(), resolve_required(cx, b.underlying), b.size, b.alignment);
    type->set_flag_byte(has_type_flag_byte(cx.version) ? b.flags : flag_byte_from_tag(b.tag));
    type->set_position(type_position(b.pos, cx));
    return type;
}

TYPE::KIND class_kind(uint8_t category) {
    switch (category) {
    case 0:
        return TYPE::tpk_struct;
    case 1:
        return TYPE::tpk_union;
    default:
        return TYPE::tpk_class; // 2, and every other category is read as a class
    }
}

TYPE* make_class(uint8_t code, const ClassType& b, TypeReadContext& cx) {
    const std::string tag(b.tag);
    const bool extra = code == TC_CLASS_EXTRA;
    TYPE* type = cx.package.mk_csu(class_kind(b.category), tag.c_str(), b.complete != 0,
                                   extra ? 0 : b.class_flag);
    type->set_size(b.size);
    type->set_alignment(b.alignment);
    type->set_derived_flag(b.flags2);
    type->set_class_attributes(b.category, b.special);
    if (extra)
        type->set_extra_class_attributes(b.extra_number, b.extra_flags);
    type->set_flag_byte(has_type_flag_byte(cx.version) ? b.flags : flag_byte_from_tag(b.tag));
    type->set_position(type_position(b.pos, cx));
    return type;
}

// The type a defining record stands for; nullptr for a code the reader
// does not define.
TYPE* make_type(const TypeRecord& r, TypeReadContext& cx) {
    ir::TYPE_PKG& pkg = cx.package;
    return std::visit(
        [&](const auto& b) -> TYPE* {
            using B = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<B, IntType>) {
                return make_integer(r.code, b, cx);
            } else if constexpr (std::is_same_v<B, FloatType>) {
                return pkg.mk_fltpt(*ir::fkind_of_record_code(r.code), b.size, b.alignment);
            } else if constexpr (std::is_same_v<B, FixedType>) {
                return pkg.mk_fixed(resolve_required(cx, b.underlying), b.fraction_bits, b.flag,
                                    b.size, b.alignment);
            } else if constexpr (std::is_same_v<B, TypedefType>) {
                return make_typedef(b, cx);
            } else if constexpr (std::is_same_v<B, PointerType>) {
                return make_address(r.code, b, cx);
            } else if constexpr (std::is_same_v<B, QualifiedType>) {
                return pkg.mk_qual(resolve_required(cx, b.base), b.qualifiers, b.size, b.alignment);
            } else if constexpr (std::is_same_v<B, ArrayType>) {
                return make_array(b, cx);
            } else if constexpr (std::is_same_v<B, MemberPointerType>) {
                return pkg.mk_ptr_to_member(resolve_required(cx, b.member),
                                            resolve_required(cx, b.class_type), b.size,
                                            b.alignment);
            } else if constexpr (std::is_same_v<B, FunctionType>) {
                return pkg.mk_function(resolve(cx, b.return_type), b.attributes);
            } else if constexpr (std::is_same_v<B, EnumType>) {
                return make_enum(b, cx);
            } else if constexpr (std::is_same_v<B, ClassType>) {
                return make_class(r.code, b, cx);
            } else if constexpr (std::is_same_v<B, ComplexType>) {
                return pkg.mk_complex(resolve_required(cx, b.part), b.size, b.alignment);
            } else if constexpr (std::is_same_v<B, VoidType>) {
                return pkg.mk_void();
            } else {
                return nullptr;
            }
        },
        r.body);
}

ir::Parameter parameter(const ParamEntry& b, TypeReadContext& cx) {
    ir::Parameter param(resolve(cx, b.type), std::string(b.name));
    param.flag = b.byte;
    param.word = b.number;
    return param;
}

ir::Enumerator enumerator(const TYPE& owner, const EnumeratorEntry& b, TypeReadContext& cx) {
    const bool is_signed = owner.is_signed();
    const int64_t value = is_signed ? int64_t{static_cast<int32_t>(b.value)} : int64_t{b.value};
    ir::Enumerator entry(std::string(b.name), value);
    entry.position = type_position(b.pos, cx);
    return entry;
}

ir::FieldRecord field(const FieldEntry& b, TypeReadContext& cx) {
    ir::FieldRecord record(resolve(cx, b.type), std::string(b.name), b.offset);
    record.maker_word = b.number;
    record.bit_width = b.bits;
    record.flags = {b.byte, b.flag1, b.flag2, b.flag3};
    record.words[0] = b.fti;
    if (b.fti != 0) {
        char name[16];
        std::snprintf(name, sizeof name, "fti:%x", static_cast<unsigned>(b.fti));
        record.generated_name = name;
    }
    record.position = type_position(b.pos, cx);
    return record;
}

ir::MemberEntry base_entry(const BaseEntry& b, TypeReadContext& cx) {
    ir::MemberEntry entry("", resolve(cx, b.type), b.offset);
    entry.bytes[0] = b.byte1;
    entry.bytes[1] = b.byte2;
    return entry;
}

ir::MemberEntry list9_entry(const List9Entry& b, TypeReadContext& cx) {
    ir::MemberEntry entry(std::string(b.name), resolve(cx, b.type), b.number);
    entry.bytes = {b.byte1, b.bytes[0], b.bytes[1], b.bytes[2], b.bytes[3]};
    return entry;
}

// The member lists other than fields and enumerators: the entry and the
// list it belongs to.
void add_member_entry(const TypeRecord& r, TypeReadContext& cx) {
    const uint32_t n = r.number;
    std::visit(
        [&](const auto& b) {
            using B = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<B, BaseEntry>) {
                cx.table.add_member(n, ir::TL_BASES, base_entry(b, cx));
            } else if constexpr (std::is_same_v<B, List3Entry>) {
                ir::MemberEntry entry;
                entry.word = b.number;
                entry.bytes[0] = b.byte;
                cx.table.add_member(n, 3, std::move(entry));
            } else if constexpr (std::is_same_v<B, NamedTypeEntry>) {
                ir::MemberEntry entry(std::string(b.name), resolve(cx, b.type));
                entry.bytes[0] = b.byte;
                cx.table.add_member(n, r.code == TC_LIST4 ? 4 : 8, std::move(entry));
            } else if constexpr (std::is_same_v<B, TypeEntry>) {
                cx.table.add_member(n, r.code == TC_LIST5 ? 5 : 6,
                                    ir::MemberEntry("", resolve(cx, b.type)));
            } else if constexpr (std::is_same_v<B, List9Entry>) {
                cx.table.add_member(n, 9, list9_entry(b, cx));
            }
        },
        r.body);
}

void add_list_entry(const TypeRecord& r, TypeReadContext& cx) {
    if (const auto* b = std::get_if<ParamEntry>(&r.body))
        cx.table.add_parameter(r.number, parameter(*b, cx));
    else if (const auto* b = std::get_if<EnumeratorEntry>(&r.body))
        // The value is read by the owner's signedness: the owner must have
        // its enumerator list open (and so exist) before the entry is made.
        cx.table.add_enumerator(
            r.number, enumerator(*cx.table.open_list_owner(r.number, ir::TL_ENUMERATORS), *b, cx));
    else if (const auto* b = std::get_if<FieldEntry>(&r.body))
        cx.table.add_field(r.number, field(*b, cx));
    else
        add_member_entry(r, cx);
}

} // namespace

const std::string* file_name_at(const std::vector<const std::string*>& file_names, uint32_t index) {
    if (index == 0)
        return nullptr;
    if (index <= file_names.size())
        return file_names[index - 1];
    static const std::string* const no_file = source_files().intern("NO_FILE");
    return no_file;
}

uint32_t read_type_record(const TypeRecord& record, TypeReadContext& context) {
    switch (record.code) {
    case TC_LIST_BEGIN:
        context.table.begin_list(record.number, std::get<ListMark>(record.body).list);
        return 0;
    case TC_LIST_END:
        context.table.end_list(record.number, std::get<ListMark>(record.body).list);
        return 0;
    default:
        break;
    }
    if (!type_code_defines(record.code)) {
        add_list_entry(record, context);
        return 0;
    }
    if (record.number == 0)
        ir::type_internal_error("a type record defines type number 0");
    context.table.check_new(record.number);
    TYPE* type = make_type(record, context);
    if (type == nullptr)
        return 0;
    context.table.define(record.number, type);
    return record.number;
}

} // namespace vx::icode
