#include "cfront/ctype.h"

namespace vx::cfront {

namespace {

constexpr uint32_t int_bits[10] = {16, 16, 16, 16, 16, 16, 32, 32, 64, 64};
constexpr uint32_t float_bits[3] = {32, 32, 64};

int rank(IntKind kind) {
    return static_cast<int>(kind) / 2;
}

} // namespace

const Field* StructInfo::find(const std::string& name) const {
    for (const Field& field : fields)
        if (field.name == name)
            return &field;
    return nullptr;
}

uint32_t CType::bits() const {
    switch (kind) {
    case Kind::Void:
    case Kind::Function:
        return 0;
    case Kind::Int:
        return int_bits[static_cast<int>(ikind)];
    case Kind::Float:
        return float_bits[fkind];
    case Kind::Pointer:
        return 32;
    case Kind::Array:
        return count < 0 ? 0 : static_cast<uint32_t>(count) * target->bits();
    case Kind::Struct:
        return info->size;
    }
    return 0;
}

uint32_t CType::align() const {
    switch (kind) {
    case Kind::Int:
    case Kind::Float:
        return bits() > 16 ? 32 : 16;
    case Kind::Pointer:
        return 32;
    case Kind::Array:
        return target->align();
    case Kind::Struct:
        return info->align;
    default:
        return 16;
    }
}

bool CType::is_unsigned() const {
    return kind == Kind::Pointer || (kind == Kind::Int && static_cast<int>(ikind) % 2 == 1);
}

bool CType::is_complete() const {
    if (kind == Kind::Void || kind == Kind::Function)
        return false;
    if (kind == Kind::Array)
        return count >= 0 && target->is_complete();
    if (kind == Kind::Struct)
        return info->complete;
    if (enum_info != nullptr)
        return enum_info->complete;
    return true;
}

TypeTable::TypeTable() {
    void_ = make();
    for (int i = 0; i < 10; ++i) {
        ints_[i] = make();
        ints_[i]->kind = Kind::Int;
        ints_[i]->ikind = static_cast<IntKind>(i);
    }
    for (int i = 0; i < 3; ++i) {
        floats_[i] = make();
        floats_[i]->kind = Kind::Float;
        floats_[i]->fkind = i;
    }
}

CType* TypeTable::make() {
    owned_.push_back(std::make_unique<CType>());
    CType* type = owned_.back().get();
    type->unqualified = type;
    return type;
}

CType* TypeTable::pointer_to(CType* target) {
    CType*& slot = pointers_[target];
    if (slot == nullptr) {
        slot = make();
        slot->kind = Kind::Pointer;
        slot->target = target;
    }
    return slot;
}

CType* TypeTable::array_of(CType* element, int64_t count) {
    CType*& slot = arrays_[{element, count}];
    if (slot == nullptr) {
        slot = make();
        slot->kind = Kind::Array;
        slot->target = element;
        slot->count = count;
    }
    return slot;
}

// Qualifiers of an array belong to its elements, as in C.
CType* TypeTable::qualified(CType* base, unsigned quals) {
    if (base->kind == Kind::Array && quals != 0 && quals != Q_INLINE)
        return array_of(qualified(base->target, quals), base->count);
    quals |= base->quals;
    CType* plain = base->unqualified;
    if (quals == 0)
        return plain;
    CType*& slot = qualifieds_[{plain, quals}];
    if (slot == nullptr) {
        slot = make();
        *slot = *plain;
        slot->quals = quals;
        slot->unqualified = plain;
    }
    return slot;
}

CType* TypeTable::function(CType* result, std::vector<CType*> params,
                           std::vector<std::string> names, bool variadic, bool prototyped) {
    CType* type = make();
    type->kind = Kind::Function;
    type->target = result;
    type->params = std::move(params);
    type->param_names = std::move(names);
    type->variadic = variadic;
    type->prototyped = prototyped;
    return type;
}

CType* TypeTable::new_struct(const std::string& tag, SourcePos pos) {
    structs_.push_back(std::make_unique<StructInfo>());
    StructInfo* info = structs_.back().get();
    info->tag = tag;
    info->pos = pos;
    CType* type = make();
    type->kind = Kind::Struct;
    type->info = info;
    return type;
}

CType* TypeTable::new_enum(const std::string& tag, SourcePos pos) {
    enums_.push_back(std::make_unique<EnumInfo>());
    EnumInfo* info = enums_.back().get();
    info->tag = tag;
    info->pos = pos;
    CType* type = make();
    type->kind = Kind::Int;
    type->ikind = IntKind::Int;
    type->enum_info = info;
    enum_types_.push_back(type);
    return type;
}

// An enum's values are ints: every operation on one works on its int value.
CType* TypeTable::promote(CType* type) {
    type = type->unqualified;
    if (type->kind != Kind::Int)
        return type;
    if (type->is_enum())
        return int_type();
    switch (type->ikind) {
    case IntKind::Char:
    case IntKind::Short:
        return int_type();
    case IntKind::UChar:
    case IntKind::UShort:
        return integer(IntKind::UInt);
    default:
        return type;
    }
}

CType* TypeTable::common_type(CType* a, CType* b) {
    a = promote(a);
    b = promote(b);
    if (a->kind == Kind::Float || b->kind == Kind::Float) {
        int fa = a->kind == Kind::Float ? a->fkind : -1;
        int fb = b->kind == Kind::Float ? b->fkind : -1;
        return floating(std::max(fa, fb));
    }
    if (a == b)
        return a;
    IntKind ka = a->ikind, kb = b->ikind;
    if (a->is_unsigned() == b->is_unsigned())
        return rank(ka) > rank(kb) ? a : b;
    CType* unsigned_one = a->is_unsigned() ? a : b;
    CType* signed_one = a->is_unsigned() ? b : a;
    if (rank(unsigned_one->ikind) >= rank(signed_one->ikind))
        return unsigned_one;
    if (signed_one->bits() > unsigned_one->bits())
        return signed_one;
    return integer(static_cast<IntKind>(static_cast<int>(signed_one->ikind) + 1));
}

bool same_type(const CType* a, const CType* b) {
    a = a->unqualified;
    b = b->unqualified;
    if (a == b)
        return true;
    if (a->kind != b->kind)
        return false;
    switch (a->kind) {
    case Kind::Void:
        return true;
    case Kind::Int:
        // An enum is compatible with its underlying int, not with another enum.
        return a->ikind == b->ikind && (!a->is_enum() || !b->is_enum());
    case Kind::Float:
        return a->fkind == b->fkind;
    case Kind::Pointer:
        return same_type(a->target, b->target) &&
               (a->target->quals & ~Q_INLINE) == (b->target->quals & ~Q_INLINE);
    case Kind::Array:
        return same_type(a->target, b->target) &&
               (a->count == b->count || a->count < 0 || b->count < 0);
    case Kind::Function:
        if (!same_type(a->target, b->target))
            return false;
        if (!a->prototyped || !b->prototyped)
            return true;
        if (a->params.size() != b->params.size() || a->variadic != b->variadic)
            return false;
        for (size_t i = 0; i < a->params.size(); ++i)
            if (!same_type(a->params[i], b->params[i]))
                return false;
        return true;
    case Kind::Struct:
        return a->info == b->info;
    }
    return false;
}

std::string type_name(const CType* type) {
    static const char* const int_names[] = {
        "char",         "unsigned char", "short",         "unsigned short", "int",
        "unsigned int", "long",          "unsigned long", "long long",      "unsigned long long"};
    static const char* const float_names[] = {"float", "double", "long double"};
    std::string prefix;
    if (type->quals & Q_CONST)
        prefix += "const ";
    if (type->quals & Q_VOLATILE)
        prefix += "volatile ";
    switch (type->kind) {
    case Kind::Void:
        return prefix + "void";
    case Kind::Int:
        if (type->is_enum())
            return prefix + "enum " + type->enum_info->tag;
        return prefix + int_names[static_cast<int>(type->ikind)];
    case Kind::Float:
        return prefix + float_names[type->fkind];
    case Kind::Pointer:
        return prefix + type_name(type->target) + " *";
    case Kind::Array:
        return type_name(type->target) + " [" +
               (type->count < 0 ? std::string() : std::to_string(type->count)) + "]";
    case Kind::Function:
        return type_name(type->target) + " (function)";
    case Kind::Struct:
        return prefix + "struct " + type->info->tag;
    }
    return "?";
}

void lay_out_struct(StructInfo& info) {
    uint32_t offset = 0;
    uint32_t align = 16;
    for (Field& field : info.fields) {
        const uint32_t field_align = field.type->align();
        offset = (offset + field_align - 1) / field_align * field_align;
        field.offset = offset;
        offset += field.type->bits();
        align = std::max(align, field_align);
    }
    info.size = (offset + align - 1) / align * align;
    info.align = align;
    info.complete = true;
}

} // namespace vx::cfront
