#include "icode/writer_client_types.h"

#include "icode/writer.h"
#include "ir/type.h"

namespace vx::icode {

namespace {

using ir::TYPE;

TypeRecord record(const TYPE* type, uint8_t code, TypeBody body) {
    TypeRecord r;
    r.number = type->uid();
    r.code = code;
    r.body = std::move(body);
    return r;
}

IntType integer_body(const TYPE* t) {
    return {t->explicitly_signed() ? uint8_t{1} : uint8_t{0}, t->size(), t->alignment(),
            t->is_bool() ? uint8_t{1} : uint8_t{0}, t->boolean_byte()};
}

TypedefType typedef_body(IcodeWriter& w, TYPE* t) {
    const ir::TypedefRecord& r = t->typedef_record();
    return {r.name,
            w.typeref(r.target),
            t->size(),
            t->alignment(),
            t->flag_byte(),
            t->derived_flag(),
            w.position(r.position)};
}

ArrayType array_body(IcodeWriter& w, TYPE* t) {
    const ir::ArrayRecord& r = t->array_record();
    ArrayType b;
    b.element = w.typeref(r.element);
    b.count = static_cast<uint32_t>(r.count);
    b.size = t->size();
    b.alignment = t->alignment();
    b.flags = t->flag_byte();
    b.complete = r.complete ? 1 : 0;
    b.is_vector = r.vector ? 1 : 0;
    b.extra = r.extra;
    return b;
}

EnumType enum_body(IcodeWriter& w, TYPE* t) {
    const ir::EnumRecord& r = t->enum_record();
    return {r.name,         t->size(),
            t->alignment(), w.typeref(r.underlying),
            t->flag_byte(), w.position(r.position)};
}

ClassType class_body(IcodeWriter& w, TYPE* t) {
    const ir::ClassRecord& r = t->class_record();
    ClassType b;
    b.category = r.category;
    b.tag = r.name;
    b.complete = r.complete ? 1 : 0;
    b.flags2 = t->derived_flag();
    b.size = t->size();
    b.alignment = t->alignment();
    b.class_flag = t->class_flag();
    b.extra_number = r.extra_word;
    b.extra_flags = r.extra_flags;
    b.special = r.special;
    b.flags = t->flag_byte();
    b.pos = w.position(r.position);
    return b;
}

// ---- Lists

ParamEntry param_entry(IcodeWriter& w, const ir::Parameter& p) {
    return {w.typeref(p.type), p.flag, p.word, p.name};
}

FieldEntry field_entry(IcodeWriter& w, const ir::FieldRecord& f) {
    FieldEntry e;
    e.number = f.maker_word;
    e.name = f.name;
    e.type = w.typeref(f.type);
    e.byte = f.flags[0];
    e.offset = f.bit_offset;
    e.fti = static_cast<uint8_t>(f.words[0]);
    e.bits = f.bit_width;
    e.flag1 = f.flags[1];
    e.flag2 = f.flags[2];
    e.flag3 = f.flags[3];
    e.pos = w.position(f.position);
    return e;
}

// The record of one entry of member list `list` (0, 2-6, 8, 9).
TypeRecord member_record(IcodeWriter& w, const TYPE* owner, uint8_t list,
                         const ir::MemberEntry& m) {
    switch (list) {
    case 0:
        return record(owner, TC_PARAM, ParamEntry{w.typeref(m.type), m.bytes[0], m.word, m.name});
    case ir::TL_BASES:
        return record(
            owner, TC_BASE,
            BaseEntry{w.typeref(m.type), static_cast<int32_t>(m.number), m.bytes[0], m.bytes[1]});
    case 3:
        return record(owner, TC_LIST3, List3Entry{m.word, m.bytes[0]});
    case 4:
        return record(owner, TC_LIST4, NamedTypeEntry{m.name, w.typeref(m.type), 0});
    case 5:
        return record(owner, TC_LIST5, TypeEntry{w.typeref(m.type)});
    case 6:
        return record(owner, TC_LIST6, TypeEntry{w.typeref(m.type)});
    case 8:
        return record(owner, TC_LIST8, NamedTypeEntry{m.name, w.typeref(m.type), m.bytes[0]});
    default:
        return record(owner, TC_LIST9,
                      List9Entry{m.name,
                                 w.typeref(m.type),
                                 m.bytes[0],
                                 static_cast<int32_t>(m.number),
                                 {m.bytes[1], m.bytes[2], m.bytes[3], m.bytes[4]}});
    }
}

void write_list_entries(IcodeWriter& w, TYPE* t, uint8_t list) {
    if (t->kind() == TYPE::tpk_function) {
        for (const ir::Parameter& p : t->params())
            w.write(record(t, TC_PARAM, param_entry(w, p)));
    } else if (t->kind() == TYPE::tpk_enum) {
        for (const ir::Enumerator& e : t->enumerators())
            w.write(record(
                t, TC_ENUMERATOR,
                EnumeratorEntry{e.name, static_cast<uint32_t>(e.value), w.position(e.position)}));
    } else if (list == ir::TL_FIELDS) {
        for (const ir::FieldRecord& f : t->fields())
            w.write(record(t, TC_FIELD, field_entry(w, f)));
    } else {
        for (const ir::MemberEntry& m : t->member_list(list))
            w.write(member_record(w, t, list, m));
    }
}

} // namespace

TypeRecord own_type_record(IcodeWriter& w, TYPE* t) {
    switch (t->kind()) {
    case TYPE::tpk_void:
        return record(t, TC_VOID, VoidType{});
    case TYPE::tpk_int:
        return record(t, ir::basic_type_record_code(t), integer_body(t));
    case TYPE::tpk_fltpt:
        return record(t, ir::basic_type_record_code(t), FloatType{t->size(), t->alignment()});
    case TYPE::tpk_fixed:
        return record(t, TC_FIXED,
                      FixedType{static_cast<uint8_t>(t->fraction_bits()), t->fixed_flag(),
                                w.typeref(t->underlying_type()), t->size(), t->alignment()});
    case TYPE::tpk_complex:
        return record(t, TC_COMPLEX,
                      ComplexType{t->size(), t->alignment(), w.typeref(t->part_type())});
    case TYPE::tpk_pointer:
        return record(t, TC_POINTER,
                      PointerType{w.typeref(t->type_pointed_to()), t->size(), t->alignment()});
    case TYPE::tpk_reference:
        return record(t, TC_REFERENCE,
                      PointerType{w.typeref(t->referred_type()), t->size(), t->alignment()});
    case TYPE::tpk_qualified:
        return record(
            t, TC_QUALIFIED,
            QualifiedType{w.typeref(t->qualified_base()), t->get(), t->size(), t->alignment()});
    case TYPE::tpk_typedef:
        return record(t, TC_TYPEDEF, typedef_body(w, t));
    case TYPE::tpk_array:
        return record(t, TC_ARRAY, array_body(w, t));
    case TYPE::tpk_ptr_to_member:
        return record(t, TC_MEMBER_POINTER,
                      MemberPointerType{w.typeref(t->type_pointed_to()), w.typeref(t->ptm_class()),
                                        t->size(), t->alignment()});
    case TYPE::tpk_function:
        return record(t, TC_FUNCTION,
                      FunctionType{w.typeref(t->return_type()), t->function_record().attributes});
    case TYPE::tpk_enum:
        return record(t, TC_ENUM, enum_body(w, t));
    default: {
        const bool extra = t->class_record().has_extra_attributes;
        return record(t, extra ? TC_CLASS_EXTRA : TC_CLASS, class_body(w, t));
    }
    }
}

void write_type_emission(IcodeWriter& w, const ir::TypeEmission& item) {
    if (item.list_kind == ir::TypeEmission::own_record) {
        w.write(own_type_record(w, item.type));
        return;
    }
    const auto list = static_cast<uint8_t>(item.list_kind);
    w.write(record(item.type, TC_LIST_BEGIN, ListMark{list}));
    write_list_entries(w, item.type, list);
    w.write(record(item.type, TC_LIST_END, ListMark{list}));
}

} // namespace vx::icode
