// The printable form of a type for debug dumps and listings: a C-like
// spelling whose words each end with a blank ("unsigned long ", "int *").
#include "ir/type.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

namespace vx::ir {

namespace {

const char* const integer_words[TYPE::ikind_count] = {
    "bool ", "char ",     "unsigned char ", "wchar_t ",       "short ",     "unsigned short ",
    "int ",  "unsigned ", "long ",          "unsigned long ", "long long ", "unsigned long long ",
};

const char* const float_words[TYPE::fkind_count] = {"float ", "double ", "long double "};

// Printed in this order, each followed by a blank.
const std::pair<uint32_t, const char*> qualifier_order[] = {
    {CQ_CONST, "const"}, {CQ_VOLATILE, "volatile"}, {CQ_PACKED, "packed"}, {CQ_NEAR, "near"},
    {CQ_FAR, "far"},     {CQ_RESTRICT, "restrict"}, {CQ_IOPORT, "ioport"}, {CQ_ONCHIP, "onchip"},
};

std::string qualifier_words(uint32_t bits) {
    std::string words;
    for (const auto& [bit, word] : qualifier_order)
        if (bits & bit) {
            words += word;
            words += ' ';
        }
    return words;
}

const char* complex_word(const TYPE* part) {
    if (part->is_char())
        return "cchar ";
    if (part->is_short())
        return "cshort ";
    if (part->is_int())
        return "cint ";
    if (part->is_long())
        return "clong ";
    if (part->is_llong())
        return "cllong ";
    if (part->is_float())
        return "cfloat ";
    return "cdouble ";
}

const char* tag_word(TYPE::KIND kind) {
    switch (kind) {
    case TYPE::tpk_class:
        return "class ";
    case TYPE::tpk_union:
        return "union ";
    default:
        return "struct ";
    }
}

template <typename... Args> std::string formatted(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string padded(const std::string& word, std::size_t width) {
    return word.size() >= width ? word : word + std::string(width - word.size(), ' ');
}

// A declarator that a pointer-like operator binds to needs parentheses
// when the inner type is a function or an array.
std::string bind_declarator(const TYPE* inner, const std::string& op, const std::string& decl) {
    if (inner->is_func() || inner->is_array())
        return "(" + op + decl + ")";
    return op + decl;
}

class TypePrinter {
public:
    TypePrinter(bool expand_members, bool long_form)
        : expand_members_(expand_members), long_form_(long_form) {}

    // Appends the specifier part of `type` to `text` and wraps `decl` in the
    // declarator operators of its derived layers.
    void spell(const TYPE* type, std::string& text, std::string& decl) const {
        if (type == nullptr) {
            text += "? "; // a part not given (a function made without a result type)
            return;
        }
        switch (type->kind()) {
        case TYPE::tpk_void:
            text += "void ";
            break;
        case TYPE::tpk_int:
            spell_integer(type, text);
            break;
        case TYPE::tpk_fltpt:
            text += type->fkind() < TYPE::fkind_count ? float_words[type->fkind()] : "?float ";
            break;
        case TYPE::tpk_fixed:
            text += formatted("[FxtPt:%u] ", type->fraction_bits());
            spell(type->underlying_type(), text, decl);
            break;
        case TYPE::tpk_complex:
            text += complex_word(type->part_type());
            break;
        case TYPE::tpk_pointer:
        case TYPE::tpk_reference:
            spell_address(type, text, decl);
            break;
        case TYPE::tpk_ptr_to_member:
            spell_member_pointer(type, text, decl);
            break;
        case TYPE::tpk_qualified:
            spell_qualified(type, text, decl);
            break;
        case TYPE::tpk_typedef:
            spell_typedef(type, text);
            break;
        case TYPE::tpk_array:
            spell_array(type, text, decl);
            break;
        case TYPE::tpk_function:
            spell_function(type, text, decl);
            break;
        case TYPE::tpk_enum:
            spell_enum(type, text);
            break;
        default:
            spell_class(type, text);
            break;
        }
    }

private:
    std::string spelled(const TYPE* type) const {
        std::string text;
        std::string decl;
        TypePrinter(false, long_form_).spell(type, text, decl);
        return text + decl;
    }

    void spell_integer(const TYPE* type, std::string& text) const {
        if (expand_members_ && type->explicitly_signed())
            text += "[ExplSign] ";
        text += type->ikind() < TYPE::ikind_count ? integer_words[type->ikind()] : "?int ";
    }

    void spell_address(const TYPE* type, std::string& text, std::string& decl) const {
        const bool pointer = type->kind() == TYPE::tpk_pointer;
        const TYPE* target = pointer ? type->type_pointed_to() : type->referred_type();
        decl = bind_declarator(target, pointer ? "*" : "&", decl);
        spell(target, text, decl);
    }

    void spell_member_pointer(const TYPE* type, std::string& text, std::string& decl) const {
        const TYPE* cls = type->ptm_class();
        const std::string owner = cls->is_csu() ? cls->real()->name() : spelled(cls);
        const TYPE* member = type->type_pointed_to();
        decl = bind_declarator(member, owner + "::*", decl);
        spell(member, text, decl);
    }

    // Qualifiers of a pointer-like layer go into the declarator (int *const).
    void spell_qualified(const TYPE* type, std::string& text, std::string& decl) const {
        const TYPE* base = type->qualified_base();
        const std::string words = qualifier_words(type->get());
        const bool declarator_layer =
            !base->is_typedef() &&
            (base->is_pointer() || base->is_reference() || base->is_ptr_to_member());
        if (declarator_layer)
            decl = words + decl;
        else
            text += words;
        spell(base, text, decl);
    }

    void spell_typedef(const TYPE* type, std::string& text) const {
        text += type->name() + " ";
        if (long_form_)
            text += "(= " + spelled(type->typedef_record().target) + ") ";
    }

    void spell_array(const TYPE* type, std::string& text, std::string& decl) const {
        const ArrayRecord& array = type->array_record();
        const std::string count =
            array.complete ? formatted("%" PRIu64, static_cast<uint64_t>(array.count)) : "";
        decl += array.vector ? "<[" + count + "]>" : "[" + count + "]";
        spell(array.element, text, decl);
    }

    void spell_function(const TYPE* type, std::string& text, std::string& decl) const {
        std::string list = "(";
        const auto& params = type->params();
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (i > 0)
                list += ", ";
            list += spelled(params[i].type);
        }
        if (type->is_variadic())
            list += params.empty() ? "..." : ", ...";
        decl += list + ")";
        spell(type->return_type(), text, decl);
    }

    void spell_enum(const TYPE* type, std::string& text) const {
        text += "enum " + type->name() + " ";
        if (!expand_members_)
            return;
        for (const Enumerator& enumerator : type->enumerators())
            text += "\n    " + enumerator.name + " = " +
                    formatted("%lld", static_cast<long long>(enumerator.value));
    }

    void spell_class(const TYPE* type, std::string& text) const {
        text += tag_word(type->kind()) + type->name() + " ";
        if (!expand_members_)
            return;
        for (const FieldRecord& field : type->fields()) {
            text += "\n   " + padded(field.name, 16) + formatted("off:%3d ", field.bit_offset);
            if (field.is_bit_field())
                text += formatted("bitfld(%2d) ", static_cast<int>(field.bit_width));
            text += " (" + spelled(field.type) + ")";
        }
    }

    bool expand_members_;
    bool long_form_;
};

} // namespace

void TYPE::print(std::string& text, std::string& declarator, bool expand_members,
                 bool long_form) const {
    TypePrinter(expand_members, long_form).spell(this, text, declarator);
}

std::string TYPE::spelling(bool expand_members, bool long_form) const {
    std::string text;
    std::string declarator;
    print(text, declarator, expand_members, long_form);
    return text + declarator;
}

} // namespace vx::ir
