#include "icode/statement_conversion.h"

#include "ir/node_build.h"
#include "ir/symbol_table.h"
#include "ir/type_compare.h"
#include "ir/type_package.h"
#include "support/check.h"

#include <algorithm>

namespace vx::icode {

namespace {

using ir::NODE;

bool is_vector_type(const ir::TYPE* type) {
    return type != nullptr && type->is_vector();
}

bool names_vector_storage(const NODE* node) {
    return node != nullptr &&
           (node->op == ir::NAME || node->op == ir::UMULT || node->op == ir::STDOT);
}

template <typename T> void note_once(std::vector<T*>& list, T* item) {
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

} // namespace

bool is_restrict_pointer(const ir::TYPE* type) {
    return type != nullptr && type->is_pointer() && (type->qualifiers() & ir::CQ_RESTRICT) != 0;
}

ir::TYPE* StatementConverter::integer_of_enum(ir::TYPE* type) {
    auto [slot, added] = enum_integers_.try_emplace(type, nullptr);
    if (added) {
        ir::TYPE* integer = type->real()->underlying_type();
        const uint32_t qualifiers = type->qualifiers();
        slot->second = qualifiers ? package_.mk_qual(integer, qualifiers) : integer;
    }
    return slot->second;
}

bool StatementConverter::becomes_isp2char(ir::Opcode op, const ir::TYPE* type) const {
    if (op != ir::PCONV || type == nullptr || !type->is_pointer() || !enable_isp2char.is_set())
        return false;
    const ir::TYPE* target = type->real()->type_pointed_to();
    return target != nullptr && target->is_char_kind() &&
           package_.int_type(ir::TYPE::ik_char)->size() ==
               package_.int_type(ir::TYPE::ik_int)->size();
}

const std::array<bool, 256> StatementConverter::kConverted = [] {
    std::array<bool, 256> converted{};
    for (ir::Opcode op : {ir::NAME, ir::FIELD, ir::UAND, ir::ENDLOOP, ir::SCONV, ir::PMCONV,
                          ir::EPVAL, ir::NASSERT, ir::ASSERT, ir::REAL, ir::IMAG})
        converted[op] = true;
    return converted;
}();

const std::array<bool, 256> StatementConverter::kMadeByRules = [] {
    std::array<bool, 256> by_rules{};
    for (ir::Opcode op : {ir::SCONV, ir::PCONV, ir::UCALL})
        by_rules[op] = true;
    return by_rules;
}();

bool StatementConverter::would_stop_slowly(const NODE* node) {
    const NODE* operand = node->left;
    if (node->op == ir::PMCONV &&
        !(operand != nullptr && operand->type != nullptr && node->type != nullptr &&
          operand->type->size() != node->type->size()))
        return false; // no SCONV is made
    return is_vector_type(node->type) && !(operand != nullptr && is_vector_type(operand->type));
}

NODE* StatementConverter::make_node_by_rules(ir::Opcode op, ir::TYPE* type) {
    if (op == ir::SCONV && type != nullptr && type->is_enum())
        type = integer_of_enum(type);
    if (becomes_isp2char(op, type))
        op = ir::ISP2CHAR;
    if (op == ir::UCALL && function_ != nullptr)
        function_->leaf = false;
    return ir::make_node(op, type);
}

NODE* StatementConverter::convert_by_rules(NODE* node) {
    node->stamp = stamp_;
    if (node->type != nullptr && node->type->is_enum())
        node->type = integer_of_enum(node->type);
    switch (node->op) {
    case ir::NAME:
        return convert_name(node);
    case ir::FIELD:
        note_restrict_member(node);
        return node;
    case ir::UAND:
        note_local_address(node);
        return node;
    case ir::ENDLOOP:
        node->op = ir::CBRANCH;
        return node;
    case ir::SCONV:
        return convert_sconv(node);
    case ir::PMCONV:
        return convert_pmconv(node);
    case ir::EPVAL:
        node->left->id = node->id;
        return node->left;
    case ir::NASSERT:
        return convert_nassert(node);
    case ir::ASSERT:
        return convert_assert(node);
    case ir::REAL:
    case ir::IMAG:
        return convert_vector_part(node);
    default:
        return node;
    }
}

NODE* StatementConverter::convert_name(NODE* node) {
    ir::Symbol* symbol = node->sym();
    if (symbol == nullptr || symbol->level != 0)
        return node;
    if (symbol->storage_class == ir::SC_EXTERN_REF) {
        symbol = external_definition(symbol);
        node->set_sym(symbol);
    }
    if (is_restrict_pointer(symbol->declared_type))
        note_once(notes_.restrict_globals, symbol);
    return node;
}

// The class-2 global of the same name and a compatible type, when the file
// defines one; the reference itself otherwise.
ir::Symbol* StatementConverter::external_definition(ir::Symbol* reference) {
    auto [slot, added] = definitions_.try_emplace(reference, reference);
    if (!added)
        return slot->second;
    for (ir::Symbol* candidate : ir::global_symbols_named(reference->name)) {
        if (candidate->storage_class != ir::SC_EXTERN_DEF)
            continue;
        if (candidate->declared_type == reference->declared_type ||
            (candidate->declared_type != nullptr && reference->declared_type != nullptr &&
             ir::compatible_types(candidate->declared_type, reference->declared_type, false))) {
            slot->second = candidate;
            break;
        }
    }
    return slot->second;
}

void StatementConverter::note_local_address(const NODE* node) {
    const NODE* operand = node->left;
    while (operand != nullptr && operand->op == ir::STDOT)
        operand = operand->left;
    if (function_ == nullptr || operand == nullptr || operand->op != ir::NAME)
        return;
    const ir::Symbol* symbol = operand->sym();
    if (symbol != nullptr && ir::is_local_storage_class(symbol->storage_class))
        function_->takes_local_address = true;
}

void StatementConverter::note_restrict_member(const NODE* node) {
    ir::FieldRecord* member = node->member();
    if (member != nullptr && is_restrict_pointer(member->type))
        note_once(notes_.restrict_members, member);
}

NODE* StatementConverter::convert_sconv(NODE* node) {
    if (!is_vector_type(node->type))
        return node;
    VX_CHECK(node->left != nullptr && is_vector_type(node->left->type));
    node->op = ir::VSCONV;
    return node;
}

NODE* StatementConverter::convert_pmconv(NODE* node) {
    NODE* operand = node->left;
    if (operand != nullptr && operand->type != nullptr && node->type != nullptr &&
        operand->type->size() != node->type->size())
        node->left = convert(ir::make_node(ir::SCONV, node->type, operand));
    node->op = ir::MULT;
    return node;
}

NODE* StatementConverter::convert_nassert(NODE* node) {
    if (!disable_nasserts.is_set()) {
        notes_.has_nasserts = true;
        return node;
    }
    NODE* zero = ir::make_icon(package_.int_type(ir::TYPE::ik_int), 0);
    zero->stamp = stamp_;
    return zero;
}

NODE* StatementConverter::convert_assert(NODE* node) {
    NODE* operand = node->left;
    if (operand == nullptr || operand->left == nullptr)
        return node;
    node->left = operand->left;
    node->right = operand->right;
    operand->left = operand->right = nullptr;
    node->aux = operand;
    return node;
}

NODE* StatementConverter::convert_vector_part(NODE* node) {
    NODE* operand = node->left;
    if (!names_vector_storage(operand) || !is_vector_type(operand->type))
        return node;
    const int lane = node->op == ir::REAL ? 0 : 1;
    node->op = ir::VFIELD;
    node->right = ir::make_icon(package_.int_type(ir::TYPE::ik_int), lane);
    node->right->stamp = stamp_;
    return node;
}

} // namespace vx::icode
