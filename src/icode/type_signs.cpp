#include "icode/type_signs.h"

namespace vx::icode {

namespace {

bool is_signed_integer_code(uint8_t code) {
    return code == TC_CHAR || code == TC_SHORT || code == TC_INT || code == TC_LONG ||
           code == TC_LLONG;
}

} // namespace

TypeSigns::Sign TypeSigns::sign_of(uint32_t type) const {
    if (type < dense_.size())
        return dense_[type];
    if (type < kDenseLimit)
        return UNKNOWN;
    auto found = sparse_.find(type);
    return found == sparse_.end() ? UNKNOWN : found->second;
}

void TypeSigns::set(uint32_t type, Sign sign) {
    if (type < kDenseLimit) {
        if (type >= dense_.size())
            dense_.resize(type + 1, UNKNOWN);
        dense_[type] = sign;
    } else {
        sparse_[type] = sign;
    }
}

TypeSigns::Sign TypeSigns::derived_sign(const TypeRecord& record) const {
    auto sign_under = [this](uint32_t type) { return is_signed(type) ? SIGNED : UNSIGNED; };
    if (is_signed_integer_code(record.code))
        return SIGNED;
    if (const auto* typedef_type = std::get_if<TypedefType>(&record.body))
        return sign_under(typedef_type->target);
    if (const auto* qualified = std::get_if<QualifiedType>(&record.body))
        return sign_under(qualified->base);
    if (const auto* enum_type = std::get_if<EnumType>(&record.body))
        return sign_under(enum_type->underlying);
    if (const auto* fixed = std::get_if<FixedType>(&record.body))
        return sign_under(fixed->underlying);
    return UNSIGNED;
}

void TypeSigns::learn(const TypeRecord& record) {
    if (!type_code_defines(record.code) || sign_of(record.number) != UNKNOWN)
        return;
    set(record.number, derived_sign(record));
}

void TypeSigns::clear() {
    dense_.clear();
    sparse_.clear();
}

} // namespace vx::icode
