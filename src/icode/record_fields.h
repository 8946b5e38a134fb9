// The fields of every record, in file order, written once.
//
// Each `fields` function walks the members of one record struct and hands
// each to a field visitor together with its encoding and its name in the
// text form.  The same lists drive decoding, encoding, printing and parsing,
// so the four cannot drift apart.  Version-dependent fields are visited only
// in the versions that have them.
//
// A visitor provides, for a member `m` of the given C++ type:
//   u8(Key, m)  s16(Key, m)  u32(Key, m)  uleb(Key, m)  sleb(Key, m)
//   typeref(Key, m)  string(Key, view)  counted(Key, view)  rest(Key, bytes)
//   pos(SourcePos)  string_list(Key, span)  pairs(Key, bytes)
//   count_u8(span)  count_uleb(span)  type_code(code, body)
//   version()  signs()
// Integer members may be wider than their encoding; a visitor converts.
#pragma once

#include "icode/opcode_table.h"
#include "icode/records.h"
#include "icode/type_signs.h"

#include <concepts>
#include <type_traits>

namespace vx::icode {

// How a field is named in the text form.  A leading field is written by
// position (always); the others as name=value when not zero.
struct Key {
    const char* name;
    bool leading = false;
    bool hex = false;
};

constexpr Key lead(const char* name) {
    return {name, true, false};
}
constexpr Key named(const char* name) {
    return {name, false, false};
}
constexpr Key flags(const char* name) {
    return {name, false, true};
}

// R is T or const T.
template <class R, class T>
concept Is = std::same_as<std::remove_const_t<R>, T>;

// -- Version rules ---------------------------------------------------------

inline bool array_has_vector_byte(int version) {
    return version >= -76;
}
inline bool array_has_extra_byte(int version) {
    return version == -75 || version == -74;
}
inline bool has_type_flag_byte(int version) { // enum and class records
    return version >= -81;
}
inline bool class_has_special_byte(int version) {
    return version >= -84;
}
inline bool field_has_fti_byte(int version) {
    return version >= -74;
}
inline bool field_has_old_order(int version) {
    return version < -85;
}

// -- Main-part records --------------------------------------------------------

template <class V, Is<FunctionBegin> R> void fields(V& v, R& r) {
    v.pos(r.pos);
    v.uleb(lead("symbol"), r.symbol);
}

template <class V, class R>
requires Is<R, FunctionEnd> || Is<R, BlockBegin> || Is<R, BlockEnd> || Is<R, ParamsEnd> ||
    Is<R, LocalsEnd> || Is<R, FunctionEnd2>
void fields(V& v, R& r) {
    v.pos(r.pos);
}

template <class V, Is<OpaqueRecord> R> void fields(V& v, R& r) {
    v.pos(r.pos);
    v.rest(named("rest"), r.rest);
}

template <class V, Is<SymbolDecl> R> void fields(V& v, R& r) {
    v.string(lead("name"), r.name);
    v.uleb(named("size"), r.size);
    v.uleb(named("offset"), r.offset);
    v.u8(named("class"), r.storage_class);
    v.s16(flags("flags"), r.flags);
    v.typeref(named("type"), r.type);
    v.typeref(named("type2"), r.type2);
    v.uleb(named("align"), r.alignment);
    v.count_u8(r.attributes);
    v.uleb(named("aux1"), r.aux1);
    v.uleb(named("aux2"), r.aux2);
    v.pos(r.pos);
}

template <class V, Is<AsmText> R> void fields(V& v, R& r) {
    v.string(lead("text"), r.text);
    v.pos(r.pos);
}

template <class V, Is<LoopInfo> R> void fields(V& v, R& r) {
    v.uleb(lead("loop"), r.loop);
    v.uleb(named("parent"), r.parent);
    v.uleb(named("min"), r.min_trips);
    v.uleb(named("max"), r.max_trips);
    v.uleb(named("factor"), r.trip_factor);
    v.s16(flags("flags"), r.flags);
}

template <class V, Is<LabelDef> R> void fields(V& v, R& r) {
    v.uleb(lead("label"), r.label);
}

template <class V, Is<FiveNumbers> R> void fields(V& v, R& r) {
    static constexpr const char* kNames[] = {"n1", "n2", "n3", "n4", "n5"};
    for (size_t i = 0; i < r.numbers.size(); ++i)
        v.uleb(lead(kNames[i]), r.numbers[i]);
}

template <class V, Is<Statement> R> void fields(V& v, R& r) {
    v.pos(r.pos);
}

template <class V, Is<Text> R> void fields(V& v, R& r) {
    v.string(lead("text"), r.text);
}

template <class V, Is<DepEdge> R> void fields(V& v, R& r) {
    v.uleb(lead("source"), r.source);
    v.uleb(lead("target"), r.target);
    v.uleb(lead("vector"), r.vector);
}

template <class V, Is<DepVector> R> void fields(V& v, R& r) {
    v.uleb(lead("number"), r.number);
    v.u8(flags("flags"), r.flags);
    v.pairs(named("elements"), r.elements);
}

template <class V, Is<ExceptionTable> R> void fields(V& v, R& r) {
    v.count_uleb(r.entries);
}

template <class V, Is<ByteMark> R> void fields(V& v, R& r) {
    v.u8(lead("value"), r.value);
}

// The kind-91 record of an entry.
template <class V, Is<EhtEntry> R> void fields(V& v, R& r) {
    v.uleb(lead("id"), r.id);
    v.uleb(lead("kind"), r.kind);
    v.uleb(lead("number"), r.number);
    v.uleb(lead("count"), r.count);
}

// One name of a kind-63 record.
template <class V, Is<EhtName> R> void fields(V& v, R& r) {
    v.string(lead("name"), r.name);
    v.uleb(lead("number"), r.number);
    v.u8(lead("byte"), r.byte);
}

template <class V, Is<AttributeList> R> void fields(V& v, R& r) {
    v.uleb(lead("id"), r.id);
    v.string_list(lead("strings"), r.strings);
}

template <class V, Is<Initializer> R> void fields(V& v, R& r) {
    v.uleb(lead("symbol"), r.symbol);
}

template <class V, Is<Annotation> R> void fields(V& v, R& r) {
    v.uleb(lead("number"), r.number);
    v.u8(lead("form"), r.form);
    if (r.form > 2) {
        v.rest(named("rest"), r.rest);
        return;
    }
    v.uleb(named("a"), r.a);
    if (r.form == 2)
        return;
    if (r.form == 0)
        v.sleb(named("b"), r.b);
    else
        v.uleb(named("b"), r.b);
    v.typeref(named("type"), r.type);
    v.sleb(named("level"), r.level);
    v.uleb(named("index"), r.index);
}

template <class V, Is<PragmaEntry> R> void fields(V& v, R& r) {
    v.uleb(lead("id"), r.id);
    v.string_list(lead("strings"), r.strings);
}

template <class V, Is<FunctionBegin2> R> void fields(V& v, R& r) {
    v.uleb(lead("symbol"), r.symbol);
    v.sleb(named("n1"), r.number);
    v.u8(named("byte"), r.byte);
    v.uleb(named("n2"), r.number2);
    v.pos(r.pos);
}

template <class V, Is<InLoop> R> void fields(V& v, R& r) {
    v.uleb(lead("loop"), r.loop);
    v.sleb(named("level"), r.level);
    v.sleb(named("index"), r.index);
    v.u8(flags("flags"), r.flags);
}

template <class V, Is<FileName> R> void fields(V& v, R& r) {
    v.string(lead("name"), r.name);
}

// -- Type records ---------------------------------------------------------------

template <class V, Is<IntType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.u8(named("explicit"), b.explicitly_signed);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
    v.u8(named("isbool"), b.is_boolean);
    v.u8(named("boolbyte"), b.boolean_byte);
}

template <class V, Is<FloatType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
}

template <class V, Is<FixedType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.u8(named("frac"), b.fraction_bits);
    v.u8(named("flag"), b.flag);
    v.typeref(named("under"), b.underlying);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
}

template <class V, Is<TypedefType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.string(lead("name"), b.name);
    v.typeref(lead("target"), b.target);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
    v.u8(flags("flags"), b.flags);
    v.u8(flags("flags2"), b.flags2);
    v.pos(b.pos);
}

template <class V, Is<PointerType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("target"), b.target);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
}

template <class V, Is<QualifiedType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("base"), b.base);
    v.uleb(flags("quals"), b.qualifiers);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
}

template <class V, Is<ArrayType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("element"), b.element);
    v.uleb(lead("count"), b.count);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
    v.u8(flags("flags"), b.flags);
    v.u8(named("complete"), b.complete);
    if (array_has_vector_byte(v.version()))
        v.u8(named("vector"), b.is_vector);
    if (array_has_extra_byte(v.version()))
        v.u8(named("extra"), b.extra);
}

template <class V, Is<MemberPointerType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("member"), b.member);
    v.typeref(lead("class"), b.class_type);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
}

template <class V, Is<FunctionType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    static constexpr const char* kNames[] = {"a1", "a2", "a3", "a4"};
    v.typeref(lead("return"), b.return_type);
    for (size_t i = 0; i < b.attributes.size(); ++i)
        v.u8(named(kNames[i]), b.attributes[i]);
}

template <class V, Is<ParamEntry> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("type"), b.type);
    v.u8(named("byte"), b.byte);
    v.uleb(named("number"), b.number);
    v.string(named("name"), b.name);
}

template <class V, Is<EnumType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.string(lead("tag"), b.tag);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
    v.typeref(named("under"), b.underlying);
    if (has_type_flag_byte(v.version()))
        v.u8(flags("flags"), b.flags);
    v.pos(b.pos);
}

template <class V, Is<EnumeratorEntry> B>
void type_fields(V& v, B& b, uint8_t, bool enum_is_signed) {
    v.string(lead("name"), b.name);
    if (enum_is_signed)
        v.sleb(lead("value"), b.value);
    else
        v.uleb(lead("value"), b.value);
    v.pos(b.pos);
}

template <class V, Is<ClassType> B> void type_fields(V& v, B& b, uint8_t code, bool) {
    static constexpr const char* kNames[] = {"x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8", "x9"};
    v.u8(lead("category"), b.category);
    v.string(lead("tag"), b.tag);
    v.u8(named("complete"), b.complete);
    v.u8(flags("flags2"), b.flags2);
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
    if (code == TC_CLASS_EXTRA) {
        v.uleb(named("xnumber"), b.extra_number);
        for (size_t i = 0; i < b.extra_flags.size(); ++i)
            v.u8(named(kNames[i]), b.extra_flags[i]);
    } else {
        v.u8(named("cflag"), b.class_flag);
    }
    if (class_has_special_byte(v.version()))
        v.u8(named("special"), b.special);
    if (has_type_flag_byte(v.version()))
        v.u8(flags("flags"), b.flags);
    v.pos(b.pos);
}

template <class V, Is<FieldEntry> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.uleb(lead("number"), b.number);
    v.string(lead("name"), b.name);
    v.typeref(lead("type"), b.type);
    v.u8(named("byte"), b.byte);
    v.sleb(named("offset"), b.offset);
    if (field_has_fti_byte(v.version()))
        v.u8(named("fti"), b.fti);
    if (field_has_old_order(v.version())) {
        v.u8(named("f1"), b.flag1);
        v.uleb(named("bits"), b.bits);
        v.u8(named("f2"), b.flag2);
    } else {
        v.uleb(named("bits"), b.bits);
        v.u8(named("f1"), b.flag1);
        v.u8(named("f2"), b.flag2);
        v.u8(named("f3"), b.flag3);
    }
    v.pos(b.pos);
}

template <class V, Is<BaseEntry> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("type"), b.type);
    v.sleb(named("offset"), b.offset);
    v.u8(named("b1"), b.byte1);
    v.u8(named("b2"), b.byte2);
}

template <class V, Is<List3Entry> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.uleb(named("number"), b.number);
    v.u8(named("byte"), b.byte);
}

template <class V, Is<NamedTypeEntry> B> void type_fields(V& v, B& b, uint8_t code, bool) {
    v.string(lead("name"), b.name);
    v.typeref(lead("type"), b.type);
    if (code == TC_LIST8)
        v.u8(named("byte"), b.byte);
}

template <class V, Is<TypeEntry> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.typeref(lead("type"), b.type);
}

template <class V, Is<List9Entry> B> void type_fields(V& v, B& b, uint8_t, bool) {
    static constexpr const char* kNames[] = {"b2", "b3", "b4", "b5"};
    v.string(lead("name"), b.name);
    v.typeref(lead("type"), b.type);
    v.u8(named("b1"), b.byte1);
    v.sleb(named("number"), b.number);
    for (size_t i = 0; i < b.bytes.size(); ++i)
        v.u8(named(kNames[i]), b.bytes[i]);
}

template <class V, Is<ComplexType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.uleb(named("size"), b.size);
    v.uleb(named("align"), b.alignment);
    v.typeref(named("part"), b.part);
}

template <class V, Is<VoidType> B> void type_fields(V&, B&, uint8_t, bool) {}

template <class V, Is<ListMark> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.u8(lead("list"), b.list);
}

template <class V, Is<UnknownType> B> void type_fields(V& v, B& b, uint8_t, bool) {
    v.rest(named("rest"), b.rest);
}

template <class V, Is<TypeRecord> R> void fields(V& v, R& r) {
    v.uleb(lead("type"), r.number);
    v.type_code(r.code, r.body);
    bool enum_is_signed = r.code == TC_ENUMERATOR && v.signs().is_signed(r.number);
    std::visit([&](auto& body) { type_fields(v, body, r.code, enum_is_signed); }, r.body);
}

// -- Tree nodes -------------------------------------------------------------------

// The payload of a node (after its opcode and type).
template <class V, Is<TreeNode> N> void payload_fields(V& v, N& n) {
    switch (payload_kind(n.opcode)) {
    case Payload::none:
        break;
    case Payload::label:
        v.uleb(lead("label"), n.first);
        break;
    case Payload::symbol:
        v.uleb(lead("level"), n.first);
        v.uleb(lead("index"), n.second);
        break;
    case Payload::counted:
        v.counted(lead("bytes"), n.text);
        break;
    case Payload::integer:
        if (v.signs().is_signed(n.type))
            v.sleb(lead("value"), n.first);
        else
            v.uleb(lead("value"), n.first);
        break;
    case Payload::hex_float:
    case Payload::decimal:
    case Payload::intrinsic:
        v.string(lead("text"), n.text);
        break;
    case Payload::field:
        v.u8(lead("kind"), n.byte);
        v.uleb(lead("member"), n.first);
        v.typeref(lead("container"), n.second);
        break;
    case Payload::number:
        v.uleb(lead("number"), n.first);
        break;
    case Payload::call:
        v.uleb(lead("number"), n.first);
        v.uleb(lead("call"), n.second);
        break;
    case Payload::ddnode:
        v.uleb(lead("node"), n.first);
        v.uleb(lead("second"), n.second);
        v.u8(lead("byte"), n.byte);
        break;
    case Payload::vreg:
        v.sleb(lead("value"), n.first);
        break;
    }
}

} // namespace vx::icode
