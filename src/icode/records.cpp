#include "icode/records.h"

namespace vx::icode {

TypeBody type_body_for(uint8_t code) {
    switch (code) {
    case TC_BOOL:
    case TC_CHAR:
    case TC_UCHAR:
    case TC_WCHAR:
    case TC_SHORT:
    case TC_USHORT:
    case TC_INT:
    case TC_UINT:
    case TC_LONG:
    case TC_ULONG:
    case TC_LLONG:
    case TC_ULLONG:
        return IntType{};
    case TC_FLOAT:
    case TC_DOUBLE:
    case TC_LDOUBLE:
        return FloatType{};
    case TC_FIXED:
        return FixedType{};
    case TC_TYPEDEF:
        return TypedefType{};
    case TC_POINTER:
    case TC_REFERENCE:
        return PointerType{};
    case TC_QUALIFIED:
        return QualifiedType{};
    case TC_ARRAY:
        return ArrayType{};
    case TC_MEMBER_POINTER:
        return MemberPointerType{};
    case TC_FUNCTION:
        return FunctionType{};
    case TC_PARAM:
        return ParamEntry{};
    case TC_ENUM:
        return EnumType{};
    case TC_ENUMERATOR:
        return EnumeratorEntry{};
    case TC_CLASS:
    case TC_CLASS_EXTRA:
        return ClassType{};
    case TC_FIELD:
        return FieldEntry{};
    case TC_BASE:
        return BaseEntry{};
    case TC_LIST3:
        return List3Entry{};
    case TC_LIST4:
    case TC_LIST8:
        return NamedTypeEntry{};
    case TC_LIST5:
    case TC_LIST6:
        return TypeEntry{};
    case TC_LIST9:
        return List9Entry{};
    case TC_COMPLEX:
        return ComplexType{};
    case TC_VOID:
        return VoidType{};
    case TC_LIST_BEGIN:
    case TC_LIST_END:
        return ListMark{};
    default:
        return UnknownType{};
    }
}

bool type_code_defines(uint8_t code) {
    switch (code) {
    case TC_PARAM:
    case TC_ENUMERATOR:
    case TC_FIELD:
    case TC_BASE:
    case TC_LIST3:
    case TC_LIST4:
    case TC_LIST5:
    case TC_LIST6:
    case TC_LIST8:
    case TC_LIST9:
    case TC_LIST_BEGIN:
    case TC_LIST_END:
        return false;
    default:
        return std::holds_alternative<UnknownType>(type_body_for(code)) == false;
    }
}

} // namespace vx::icode
