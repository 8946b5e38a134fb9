#include "ir/type_compare.h"

#include "ir/type_package.h"

namespace vx::ir {

namespace {

// The common start of every step: unfrozen types are different from
// everything, one record is equal to itself.
enum class Step { differ, same, compare };

Step first_look(const TYPE* a, const TYPE* b) {
    if (a == nullptr || b == nullptr)
        return a == b ? Step::same : Step::differ;
    if (!a->frozen() || !b->frozen())
        return Step::differ;
    return a == b ? Step::same : Step::compare;
}

bool same_layout(const TYPE* a, const TYPE* b) {
    return a->size() == b->size() && a->alignment() == b->alignment();
}

// ---- exact_types --------------------------------------------------------------

bool same_outline(const TYPE* a, const TYPE* b) {
    return a->kind() == b->kind() && same_layout(a, b) && a->class_flag() == b->class_flag() &&
           a->flag_byte() == b->flag_byte();
}

bool exact_params(const FunctionRecord& a, const FunctionRecord& b) {
    if (a.params.size() != b.params.size() || a.attributes != b.attributes)
        return false;
    for (std::size_t i = 0; i < a.params.size(); ++i) {
        const Parameter& pa = a.params[i];
        const Parameter& pb = b.params[i];
        if (pa.flag != pb.flag || pa.word != pb.word || !exact_types(pa.type, pb.type))
            return false;
    }
    return true;
}

bool same_enumerators(const std::vector<Enumerator>& a, const std::vector<Enumerator>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].value != b[i].value)
            return false;
    return true;
}

// ---- equiv_mtypes -----------------------------------------------------------------

// Qualified types, typedefs and enums stand for what they name.
const TYPE* machine_view(const TYPE* t) {
    for (;;) {
        if (t->is_qualified())
            t = t->qualified_base();
        else if (t->is_typedef())
            t = t->typedef_record().target;
        else if (t->kind() == TYPE::tpk_enum && t->enum_record().underlying)
            t = t->enum_record().underlying;
        else
            return t;
    }
}

enum class Signedness { is_signed, is_unsigned, neutral };

Signedness signedness_class(const TYPE* t) {
    switch (t->ikind()) {
    case TYPE::ik_bool:
    case TYPE::ik_wchar:
        return Signedness::neutral;
    case TYPE::ik_char:
    case TYPE::ik_short:
    case TYPE::ik_int:
    case TYPE::ik_long:
    case TYPE::ik_llong:
        return Signedness::is_signed;
    default:
        return Signedness::is_unsigned;
    }
}

bool equivalent_integers(const TYPE* a, const TYPE* b) {
    const Signedness sa = signedness_class(a);
    const Signedness sb = signedness_class(b);
    return sa == sb || sa == Signedness::neutral || sb == Signedness::neutral;
}

bool points_to_function(const TYPE* t) {
    return t->kind() == TYPE::tpk_pointer ? t->type_pointed_to()->is_func()
                                          : t->referred_type()->is_func();
}

bool equiv_functions(const TYPE* a, const TYPE* b) {
    const FunctionRecord& fa = a->function_record();
    const FunctionRecord& fb = b->function_record();
    if (fa.params.size() != fb.params.size() || a->is_variadic() != b->is_variadic())
        return false;
    for (std::size_t i = 0; i < fa.params.size(); ++i)
        if (!equiv_mtypes(fa.params[i].type, fb.params[i].type))
            return false;
    return true;
}

// ---- compatible_types -----------------------------------------------------------------

const TYPE* skip_typedefs(const TYPE* t) {
    while (t->is_typedef())
        t = t->typedef_record().target;
    return t;
}

// A qualified layer that changes neither size nor alignment.
const TYPE* skip_neutral_qualifiers(const TYPE* t) {
    for (;;) {
        t = skip_typedefs(t);
        if (!t->is_qualified() || !same_layout(t, t->qualified_base()))
            return t;
        t = t->qualified_base();
    }
}

// Arrays and class/struct/union types compare sizes only when both are
// complete.
bool layouts_agree(const TYPE* a, const TYPE* b) {
    const bool sized_when_complete = a->is_array() || a->is_csu();
    if (sized_when_complete && !(a->is_complete() && b->is_complete()))
        return true;
    return same_layout(a, b);
}

bool compatible_functions(const TYPE* a, const TYPE* b, bool ignore) {
    const FunctionRecord& fa = a->function_record();
    const FunctionRecord& fb = b->function_record();
    if (fa.params.size() != fb.params.size() || a->is_variadic() != b->is_variadic())
        return false;
    for (std::size_t i = 0; i < fa.params.size(); ++i)
        if (!compatible_types(fa.params[i].type, fb.params[i].type, ignore))
            return false;
    return true;
}

} // namespace

bool exact_types(const TYPE* a, const TYPE* b) {
    for (;;) {
        if (const Step step = first_look(a, b); step != Step::compare)
            return step == Step::same;
        if (!same_outline(a, b))
            return false;
        switch (a->kind()) {
        case TYPE::tpk_void:
            return true;
        case TYPE::tpk_int:
            return a->ikind() == b->ikind() && a->explicitly_signed() == b->explicitly_signed() &&
                   a->boolean_byte() == b->boolean_byte();
        case TYPE::tpk_fltpt:
            return a->fkind() == b->fkind();
        case TYPE::tpk_fixed:
            if (a->fraction_bits() != b->fraction_bits() || a->fixed_flag() != b->fixed_flag())
                return false;
            a = a->underlying_type();
            b = b->underlying_type();
            break;
        case TYPE::tpk_complex:
            a = a->part_type();
            b = b->part_type();
            break;
        case TYPE::tpk_pointer:
            a = a->type_pointed_to();
            b = b->type_pointed_to();
            break;
        case TYPE::tpk_reference:
            a = a->referred_type();
            b = b->referred_type();
            break;
        case TYPE::tpk_qualified:
            if (a->get() != b->get())
                return false;
            a = a->qualified_base();
            b = b->qualified_base();
            break;
        case TYPE::tpk_typedef: {
            const TypedefRecord& ta = a->typedef_record();
            const TypedefRecord& tb = b->typedef_record();
            if (ta.name != tb.name || a->derived_flag() != b->derived_flag() ||
                ta.target->is_complete() != tb.target->is_complete())
                return false;
            a = ta.target;
            b = tb.target;
            break;
        }
        case TYPE::tpk_array: {
            const ArrayRecord& ra = a->array_record();
            const ArrayRecord& rb = b->array_record();
            if (ra.complete != rb.complete || ra.vector != rb.vector || ra.count != rb.count ||
                ra.extra != rb.extra)
                return false;
            a = ra.element;
            b = rb.element;
            break;
        }
        case TYPE::tpk_ptr_to_member:
            if (!exact_types(a->ptm_class(), b->ptm_class()))
                return false;
            a = a->type_pointed_to();
            b = b->type_pointed_to();
            break;
        case TYPE::tpk_function:
            if (!exact_params(a->function_record(), b->function_record()))
                return false;
            a = a->return_type();
            b = b->return_type();
            break;
        case TYPE::tpk_enum:
            if (a->name() != b->name() || !same_enumerators(a->enumerators(), b->enumerators()))
                return false;
            a = a->underlying_type();
            b = b->underlying_type();
            break;
        case TYPE::tpk_class:
        case TYPE::tpk_struct:
        case TYPE::tpk_union:
            return false;
        default:
            type_internal_error("unhandled type kind: exact_types()");
        }
    }
}

bool equiv_mtypes(const TYPE* a, const TYPE* b) {
    for (;;) {
        if (const Step step = first_look(a, b); step != Step::compare)
            return step == Step::same;
        if (!same_layout(a, b))
            return false;
        a = machine_view(a);
        b = machine_view(b);
        if (a == b)
            return true;
        if (a->kind() != b->kind() || !same_layout(a, b))
            return false;
        switch (a->kind()) {
        case TYPE::tpk_void:
            return true;
        case TYPE::tpk_int:
            return equivalent_integers(a, b);
        case TYPE::tpk_fltpt:
            return a->mtype()->fkind() == b->mtype()->fkind();
        case TYPE::tpk_fixed:
            if (a->fraction_bits() != b->fraction_bits())
                return false;
            a = a->underlying_type();
            b = b->underlying_type();
            break;
        case TYPE::tpk_complex:
            a = a->part_type();
            b = b->part_type();
            break;
        case TYPE::tpk_pointer:
        case TYPE::tpk_reference:
            return points_to_function(a) == points_to_function(b);
        case TYPE::tpk_ptr_to_member:
            if (a->ptm_class() != b->ptm_class())
                return false;
            a = a->type_pointed_to();
            b = b->type_pointed_to();
            break;
        case TYPE::tpk_array:
            if (a->elem_count() != b->elem_count())
                return false;
            a = a->array_element();
            b = b->array_element();
            break;
        case TYPE::tpk_function:
            if (!equiv_functions(a, b))
                return false;
            a = a->return_type();
            b = b->return_type();
            break;
        case TYPE::tpk_class:
        case TYPE::tpk_struct:
        case TYPE::tpk_union:
            return false; // distinct records
        default:
            type_internal_error("unhandled type kind: equiv_mtypes()");
        }
    }
}

bool compatible_types(const TYPE* a, const TYPE* b, bool ignore_neutral_qualifiers) {
    for (;;) {
        if (const Step step = first_look(a, b); step != Step::compare)
            return step == Step::same;
        a = ignore_neutral_qualifiers ? skip_neutral_qualifiers(a) : skip_typedefs(a);
        b = ignore_neutral_qualifiers ? skip_neutral_qualifiers(b) : skip_typedefs(b);
        if (a == b)
            return true;
        if (a->kind() != b->kind() || !layouts_agree(a, b))
            return false;
        switch (a->kind()) {
        case TYPE::tpk_void:
            return true;
        case TYPE::tpk_int:
            return a->ikind() == b->ikind() &&
                   (!a->is_char_kind() || a->explicitly_signed() == b->explicitly_signed());
        case TYPE::tpk_fltpt:
            return a->fkind() == b->fkind();
        case TYPE::tpk_fixed:
            if (a->fraction_bits() != b->fraction_bits())
                return false;
            a = a->underlying_type();
            b = b->underlying_type();
            break;
        case TYPE::tpk_qualified:
            if (a->get() != b->get())
                return false;
            a = a->qualified_base();
            b = b->qualified_base();
            break;
        case TYPE::tpk_pointer:
            a = a->type_pointed_to();
            b = b->type_pointed_to();
            break;
        case TYPE::tpk_reference:
            a = a->referred_type();
            b = b->referred_type();
            break;
        case TYPE::tpk_complex:
            a = a->part_type();
            b = b->part_type();
            break;
        case TYPE::tpk_array:
            a = a->array_element();
            b = b->array_element();
            break;
        case TYPE::tpk_ptr_to_member:
            if (!compatible_types(a->ptm_class(), b->ptm_class(), ignore_neutral_qualifiers))
                return false;
            a = a->type_pointed_to();
            b = b->type_pointed_to();
            break;
        case TYPE::tpk_function:
            if (!compatible_functions(a, b, ignore_neutral_qualifiers))
                return false;
            a = a->return_type();
            b = b->return_type();
            break;
        case TYPE::tpk_enum:
            if (a->name() != b->name())
                return false;
            a = a->underlying_type();
            b = b->underlying_type();
            break;
        case TYPE::tpk_class:
        case TYPE::tpk_struct:
        case TYPE::tpk_union:
            return a->name() == b->name();
        default:
            type_internal_error("unhandled type: compatible_types()");
        }
    }
}

} // namespace vx::ir
