#include "scalar/simplify_predicates.h"

#include "ir/symbol.h"
#include "ir/type.h"
#include "scalar/constant_folder.h"

#include <cmath>
#include <cstring>

namespace vx::scalar {

using ir::NODE;

bool is_volatile_type(const ir::TYPE* type) {
    return type != nullptr && (type->qualifiers(true) & ir::CQ_VOLATILE) != 0;
}

namespace {

bool points_to_volatile(const ir::TYPE* type) {
    return type != nullptr && type->real() != nullptr && type->real()->is_pointer() &&
           is_volatile_type(type->real()->type_pointed_to());
}

// Opcodes whose evaluation does nothing but compute a value from their
// operands (possibly reading memory).
bool is_value_operator(ir::Opcode op) {
    switch (op) {
    case ir::NOP:
    case ir::LABEL:
    case ir::NAME:
    case ir::SCON:
    case ir::ICON:
    case ir::FCON:
    case ir::FIELD:
    case ir::PLUS:
    case ir::MINUS:
    case ir::UMINUS:
    case ir::MULT:
    case ir::UMULT:
    case ir::ANDB:
    case ir::UAND:
    case ir::ORB:
    case ir::XORB:
    case ir::QUEST:
    case ir::COLON:
    case ir::ANDAND:
    case ir::OROR:
    case ir::ABS:
    case ir::COMMA:
    case ir::COMMAOP:
    case ir::DIV:
    case ir::MOD:
    case ir::SLL:
    case ir::SRL:
    case ir::STDOT:
    case ir::STREF:
    case ir::EXCLAIM:
    case ir::NOTB:
    case ir::STARG:
    case ir::SCONV:
    case ir::PCONV:
    case ir::ACONV:
    case ir::ISP2CHAR:
    case ir::VSCONV:
    case ir::VRCONV:
    case ir::VFIELD:
    case ir::COMPLEX:
    case ir::REAL:
    case ir::IMAG:
    case ir::SQRT:
    case ir::SQR:
    case ir::RECIP:
    case ir::IDENTITY:
        return true;
    default:
        return is_comparison(op);
    }
}

} // namespace

bool is_volatile_access(const NODE* node) {
    switch (node->op) {
    case ir::NAME: {
        const ir::Symbol* symbol = node->sym();
        return is_volatile_type(node->type) ||
               (symbol != nullptr &&
                (is_volatile_type(symbol->type) || is_volatile_type(symbol->declared_type)));
    }
    case ir::UMULT:
        return is_volatile_type(node->type) ||
               (node->left != nullptr && points_to_volatile(node->left->type));
    case ir::STDOT:
        return is_volatile_type(node->type) ||
               (node->left != nullptr && is_volatile_type(node->left->type));
    case ir::STREF:
        return is_volatile_type(node->type) ||
               (node->left != nullptr && points_to_volatile(node->left->type));
    default:
        return false;
    }
}

bool has_own_effect(const NODE* node) {
    return !is_value_operator(node->op) || is_volatile_access(node);
}

// Left by recursion, right by iteration: argument lists cost no depth.
bool has_side_effects(const NODE* tree) {
    for (const NODE* node = tree; node != nullptr; node = node->right) {
        if (has_own_effect(node))
            return true;
        if (node->left != nullptr && has_side_effects(node->left))
            return true;
    }
    return false;
}

namespace {

bool same_payload(const NODE* a, const NODE* b) {
    switch (a->op) {
    case ir::NAME:
        return a->sym() == b->sym();
    case ir::FCON:
        return a->fcon() != nullptr && b->fcon() != nullptr &&
               a->fcon()->value() == b->fcon()->value() &&
               std::signbit(a->fcon()->value()) == std::signbit(b->fcon()->value());
    case ir::SCON:
        return a->value == b->value &&
               std::memcmp(a->scon_bytes(), b->scon_bytes(), a->scon_length()) == 0;
    case ir::FIELD:
        return a->member() == b->member() && a->container() == b->container();
    default:
        return a->value == b->value;
    }
}

bool same_node(const NODE* a, const NODE* b) {
    return a->op == b->op && a->type == b->type && same_payload(a, b) &&
           (a->left == nullptr) == (b->left == nullptr) &&
           (a->right == nullptr) == (b->right == nullptr);
}

} // namespace

bool same_tree(const NODE* a, const NODE* b) {
    for (; a != nullptr && b != nullptr; a = a->right, b = b->right) {
        if (a == b)
            return true;
        if (!same_node(a, b))
            return false;
        if (a->left != nullptr && !same_tree(a->left, b->left))
            return false;
    }
    return a == b;
}

bool same_value_type(const ir::TYPE* a, const ir::TYPE* b) {
    if (a == b)
        return true;
    if (a == nullptr || b == nullptr)
        return false;
    if (a->real() == b->real())
        return true;
    std::optional<IntShape> sa = integral_shape(a);
    std::optional<IntShape> sb = integral_shape(b);
    return sa && sb && *sa == *sb && a->real()->is_integer() && b->real()->is_integer();
}

bool yields_truth_value(const NODE* node) {
    return is_comparison(node->op) || node->op == ir::EXCLAIM || node->op == ir::ANDAND ||
           node->op == ir::OROR;
}

} // namespace vx::scalar
