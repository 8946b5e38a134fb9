// The expression rules of the simplifier.  Operands are simplified first
// (children before parents), then the node's own rules apply; a rule that
// replaces the node hands the replacement to the rules again, so that for
// example a reassociation that leaves x + 0 ends as x.
#include "ir/type.h"
#include "scalar/constant_folder.h"
#include "scalar/simplifier.h"
#include "scalar/simplify_predicates.h"

#include <vector>

namespace vx::scalar {

using ir::Int96;
using ir::NODE;
using ir::Opcode;

namespace {

NODE* simplify(NODE* node);

// ---- Making nodes ----------------------------------------------------------------------

NODE* derived_node(const NODE* like, Opcode op, ir::TYPE* type, NODE* left = nullptr,
                   NODE* right = nullptr) {
    NODE* node = ir::make_node(op, type, left, right);
    node->stamp = like->stamp;
    return node;
}

NODE* integer_constant(const NODE* like, ir::TYPE* type, const Int96& value) {
    NODE* node = derived_node(like, ir::ICON, type);
    std::optional<IntShape> shape = integral_shape(type);
    node->value = shape ? value.normalized(shape->bits, shape->is_signed) : value;
    return node;
}

NODE* float_constant(const NODE* like, ir::TYPE* type, double value) {
    NODE* node = derived_node(like, ir::FCON, type);
    node->set_fcon(ir::new_fcon_value(value));
    return node;
}

// ---- Reading constants -------------------------------------------------------------------

bool is_integer_constant(const NODE* node) {
    return node != nullptr && node->op == ir::ICON && integral_shape(node->type).has_value();
}

bool is_float_constant(const NODE* node) {
    return node != nullptr && node->op == ir::FCON && node->fcon() != nullptr &&
           floating_width(node->type).has_value();
}

bool is_constant(const NODE* node) {
    return is_integer_constant(node) || is_float_constant(node);
}

IntShape shape_of(const NODE* node) {
    return *integral_shape(node->type);
}

Int96 constant_value(const NODE* node) {
    const IntShape shape = shape_of(node);
    return node->value.normalized(shape.bits, shape.is_signed);
}

bool constant_is(const NODE* node, int64_t value) {
    if (!is_integer_constant(node))
        return false;
    const IntShape shape = shape_of(node);
    return constant_value(node) ==
           Int96::from_signed(value).normalized(shape.bits, shape.is_signed);
}

bool constant_is_all_ones(const NODE* node) {
    return is_integer_constant(node) && constant_value(node) == all_ones(shape_of(node));
}

double float_value(const NODE* node) {
    return node->fcon()->value();
}

// The node, its operand and the constant all have the same integral shape,
// so that an identity at the node's width applies to the operand.
bool same_integral_shapes(const NODE* node, const NODE* operand) {
    std::optional<IntShape> a = integral_shape(node->type);
    std::optional<IntShape> b = integral_shape(operand->type);
    return a && b && *a == *b;
}

// The operand may stand for the node: same value type.
bool may_replace(const NODE* node, const NODE* operand) {
    return same_value_type(node->type, operand->type);
}

// ---- Folding -------------------------------------------------------------------------------

NODE* fold_unary(NODE* node) {
    NODE* operand = node->left;
    if (is_integer_constant(operand)) {
        std::optional<IntShape> result = integral_shape(node->type);
        if (!result)
            return nullptr;
        std::optional<Int96> value =
            fold_integer_unary(node->op, *result, shape_of(operand), constant_value(operand));
        return value ? integer_constant(node, node->type, *value) : nullptr;
    }
    if (!is_float_constant(operand))
        return nullptr;
    if (node->op == ir::UMINUS && floating_width(node->type) == floating_width(operand->type))
        return float_constant(node, node->type, -float_value(operand));
    if (node->op == ir::EXCLAIM && integral_shape(node->type))
        return integer_constant(node, node->type,
                                Int96::from_signed(float_value(operand) == 0.0 ? 1 : 0));
    return nullptr;
}

NODE* fold_binary(NODE* node) {
    NODE* left = node->left;
    NODE* right = node->right;
    if (is_integer_constant(left) && is_integer_constant(right)) {
        std::optional<IntShape> result = integral_shape(node->type);
        if (!result)
            return nullptr;
        std::optional<Int96> value =
            fold_integer_binary(node->op, *result, shape_of(left), shape_of(right),
                                constant_value(left), constant_value(right));
        return value ? integer_constant(node, node->type, *value) : nullptr;
    }
    if (!is_float_constant(left) || !is_float_constant(right) ||
        floating_width(left->type) != floating_width(right->type))
        return nullptr;
    if (is_comparison(node->op)) {
        std::optional<bool> answer =
            fold_float_comparison(node->op, float_value(left), float_value(right));
        if (!answer || !integral_shape(node->type))
            return nullptr;
        return integer_constant(node, node->type, Int96::from_signed(*answer ? 1 : 0));
    }
    if (floating_width(node->type) != floating_width(left->type))
        return nullptr;
    std::optional<double> value = fold_float_binary(node->op, *floating_width(node->type),
                                                    float_value(left), float_value(right));
    return value ? float_constant(node, node->type, *value) : nullptr;
}

// SCONV of a constant.
NODE* fold_conversion(NODE* node) {
    NODE* operand = node->left;
    std::optional<IntShape> to_integer = integral_shape(node->type);
    std::optional<unsigned> to_float = floating_width(node->type);
    if (is_integer_constant(operand)) {
        if (to_integer)
            return integer_constant(
                node, node->type,
                convert_integer(*to_integer, shape_of(operand), constant_value(operand)));
        if (to_float) {
            std::optional<double> value =
                integer_to_float(shape_of(operand), constant_value(operand), *to_float);
            return value ? float_constant(node, node->type, *value) : nullptr;
        }
        return nullptr;
    }
    if (!is_float_constant(operand))
        return nullptr;
    if (to_integer && !node->type->real()->is_pointer()) {
        std::optional<Int96> value = float_to_integer(float_value(operand), *to_integer);
        return value ? integer_constant(node, node->type, *value) : nullptr;
    }
    if (to_float) {
        std::optional<double> value = float_to_float(float_value(operand), *to_float);
        return value ? float_constant(node, node->type, *value) : nullptr;
    }
    return nullptr;
}

// ---- Conversions ---------------------------------------------------------------------------

// SCONV(T1, SCONV(T2, y)) with y of type T3, all integers: the inner
// conversion goes when the outer one keeps no more bits than it (the low
// bits are the same either way), or when it keeps y's value.
NODE* merge_integer_conversions(NODE* node) {
    NODE* inner = node->left;
    if (inner->op != ir::SCONV || inner->left == nullptr)
        return nullptr;
    std::optional<IntShape> t1 = integral_shape(node->type);
    std::optional<IntShape> t2 = integral_shape(inner->type);
    std::optional<IntShape> t3 = integral_shape(inner->left->type);
    if (!t1 || !t2 || !t3)
        return nullptr;
    const bool outer_keeps_less = t1->bits <= t2->bits;
    const bool inner_keeps_value =
        (t2->bits > t3->bits && (!t3->is_signed || t2->is_signed)) || *t2 == *t3;
    if (!outer_keeps_less && !inner_keeps_value)
        return nullptr;
    node->left = inner->left;
    return node;
}

NODE* simplify_sconv(NODE* node) {
    if (NODE* folded = fold_conversion(node))
        return folded;
    if (may_replace(node, node->left))
        return node->left;
    return merge_integer_conversions(node);
}

bool is_pointer_node(const NODE* node) {
    return node->type != nullptr && node->type->real() != nullptr &&
           node->type->real()->is_pointer();
}

NODE* simplify_pconv(NODE* node) {
    NODE* operand = node->left;
    if (operand->type == node->type)
        return operand;
    std::optional<IntShape> to = integral_shape(node->type);
    if (is_integer_constant(operand) && to) {
        const Int96 value = constant_value(operand);
        // Only when the bits fit unchanged, whatever the extension rule.
        return value.fits(to->bits, to->is_signed) ? integer_constant(node, node->type, value)
                                                   : nullptr;
    }
    // Pointer to pointer conversions of one width change no bits.
    if (operand->op == ir::PCONV && operand->left != nullptr && is_pointer_node(node) &&
        is_pointer_node(operand) && is_pointer_node(operand->left) &&
        same_integral_shapes(node, operand) && same_integral_shapes(operand, operand->left)) {
        node->left = operand->left;
        return node->left->type == node->type ? node->left : node;
    }
    return nullptr;
}

// ---- Arithmetic identities -------------------------------------------------------------------

bool is_commutative(Opcode op) {
    switch (op) {
    case ir::PLUS:
    case ir::MULT:
    case ir::ANDB:
    case ir::ORB:
    case ir::XORB:
        return true;
    default:
        return is_comparison(op);
    }
}

// A constant on the left goes to the right (comparisons are mirrored).
// Constants have no effects, so the order of evaluation does not matter.
bool put_constant_right(NODE* node) {
    if (!is_commutative(node->op) || !is_constant(node->left) || is_constant(node->right))
        return false;
    std::swap(node->left, node->right);
    node->op = mirrored_comparison(node->op);
    return true;
}

// x + c1 + c2 and its MINUS forms become x + (c1 + c2) (or x - c when the
// sum reads as a negative number): addition modulo 2^width is associative.
// Likewise (x op c1) op c2 for MULT, ANDB, ORB and XORB.
NODE* reassociate(NODE* node) {
    NODE* inner = node->left;
    NODE* outer_constant = node->right;
    if (!is_integer_constant(outer_constant) || inner->right == nullptr ||
        !is_integer_constant(inner->right) || inner->left == nullptr)
        return nullptr;
    const IntShape shape = shape_of(outer_constant);
    if (!same_integral_shapes(node, inner) || !same_integral_shapes(node, outer_constant) ||
        !same_integral_shapes(node, inner->right) || !same_integral_shapes(node, inner->left))
        return nullptr;
    const Int96 c1 = constant_value(inner->right);
    const Int96 c2 = constant_value(outer_constant);
    const bool additive = (node->op == ir::PLUS || node->op == ir::MINUS) &&
                          (inner->op == ir::PLUS || inner->op == ir::MINUS);
    Int96 combined;
    if (additive) {
        const Int96 sum = (inner->op == ir::PLUS ? c1 : -c1) + (node->op == ir::PLUS ? c2 : -c2);
        const Int96 as_signed = sum.normalized(shape.bits, true);
        const bool negative = as_signed.is_negative() && as_signed != most_negative(shape);
        node->op = negative ? ir::MINUS : ir::PLUS;
        combined = negative ? -as_signed : sum;
    } else if (inner->op == node->op && (node->op == ir::MULT || node->op == ir::ANDB ||
                                         node->op == ir::ORB || node->op == ir::XORB)) {
        combined = *fold_integer_binary(node->op, shape, shape, shape, c1, c2);
    } else {
        return nullptr;
    }
    node->left = inner->left;
    node->right = integer_constant(outer_constant, node->type, combined);
    return node;
}

// Identities with a constant right operand.
NODE* constant_identity(NODE* node) {
    NODE* x = node->left;
    NODE* c = node->right;
    if (!is_integer_constant(c) || !same_integral_shapes(node, x))
        return nullptr;
    const bool keeps_x = may_replace(node, x);
    const bool x_pure = is_pure(x);
    switch (node->op) {
    case ir::PLUS:
    case ir::MINUS:
    case ir::ORB:
    case ir::XORB:
        if (constant_is(c, 0) && keeps_x)
            return x;
        if (node->op == ir::ORB && constant_is_all_ones(c) && x_pure)
            return c;
        return nullptr;
    case ir::MULT:
        if (constant_is(c, 1) && keeps_x)
            return x;
        if (constant_is(c, 0) && x_pure)
            return c;
        if (constant_is(c, -1) && keeps_x)
            return derived_node(node, ir::UMINUS, node->type, x);
        return nullptr;
    case ir::DIV:
        return constant_is(c, 1) && keeps_x ? x : nullptr;
    case ir::MOD:
        return constant_is(c, 1) && x_pure ? integer_constant(node, node->type, Int96{}) : nullptr;
    case ir::ANDB:
        if (constant_is_all_ones(c) && keeps_x)
            return x;
        return constant_is(c, 0) && x_pure ? c : nullptr;
    case ir::SLL:
    case ir::SRL:
        return constant_is(c, 0) && keeps_x ? x : nullptr;
    default:
        return nullptr;
    }
}

// x op x for a pure x.
NODE* self_identity(NODE* node) {
    NODE* x = node->left;
    if (!same_tree(x, node->right) || !is_pure(x) || !integral_shape(x->type))
        return nullptr;
    switch (node->op) {
    case ir::MINUS:
    case ir::XORB:
        return integral_shape(node->type) ? integer_constant(node, node->type, Int96{}) : nullptr;
    case ir::ANDB:
    case ir::ORB:
        return may_replace(node, x) ? x : nullptr;
    case ir::EQ:
    case ir::LE:
    case ir::GE:
    case ir::ULE:
    case ir::UGE:
        return integral_shape(node->type)
                   ? integer_constant(node, node->type, Int96::from_signed(1))
                   : nullptr;
    case ir::NEQ:
    case ir::LT:
    case ir::GT:
    case ir::ULT:
    case ir::UGT:
        return integral_shape(node->type) ? integer_constant(node, node->type, Int96{}) : nullptr;
    default:
        return nullptr;
    }
}

// x < 0 and x >= 0 unsigned.
NODE* unsigned_zero_comparison(NODE* node) {
    if (!constant_is(node->right, 0) || !is_pure(node->left) || !integral_shape(node->type))
        return nullptr;
    if (node->op == ir::ULT)
        return integer_constant(node, node->type, Int96{});
    if (node->op == ir::UGE)
        return integer_constant(node, node->type, Int96::from_signed(1));
    return nullptr;
}

NODE* simplify_binary(NODE* node) {
    if (NODE* folded = fold_binary(node))
        return folded;
    if (put_constant_right(node))
        return node;
    if (NODE* gathered = reassociate(node))
        return gathered;
    if (NODE* identity = constant_identity(node))
        return identity;
    if (NODE* identity = self_identity(node))
        return identity;
    return unsigned_zero_comparison(node);
}

// ---- Unary operators -------------------------------------------------------------------

bool has_integral_operands(const NODE* comparison) {
    return integral_shape(comparison->left->type) && integral_shape(comparison->right->type);
}

NODE* simplify_negation(NODE* node) {
    if (NODE* folded = fold_unary(node))
        return folded;
    NODE* inner = node->left;
    if (inner->op == node->op && inner->left != nullptr && integral_shape(node->type) &&
        may_replace(node, inner) && may_replace(node, inner->left))
        return inner->left;
    return nullptr;
}

NODE* simplify_exclaim(NODE* node) {
    if (NODE* folded = fold_unary(node))
        return folded;
    NODE* inner = node->left;
    if (!integral_shape(node->type))
        return nullptr;
    if (is_comparison(inner->op) && has_integral_operands(inner)) {
        inner->op = inverted_comparison(inner->op);
        inner->type = node->type;
        return inner;
    }
    if (inner->op == ir::EXCLAIM && yields_truth_value(inner->left) &&
        may_replace(node, inner->left))
        return inner->left;
    return nullptr;
}

// ---- Conditional operators -------------------------------------------------------------

bool is_true_constant(const NODE* node) {
    return is_integer_constant(node) ? !constant_value(node).is_zero() : float_value(node) != 0.0;
}

NODE* simplify_quest(NODE* node) {
    NODE* colon = node->right;
    if (!is_constant(node->left) || colon == nullptr || colon->op != ir::COLON)
        return nullptr;
    NODE* chosen = is_true_constant(node->left) ? colon->left : colon->right;
    return chosen != nullptr && may_replace(node, chosen) ? chosen : nullptr;
}

// `x` as a truth value of the node's type: x itself when it is one,
// else x != 0; nullptr when x is not integral.
NODE* as_truth_value(NODE* node, NODE* x) {
    if (yields_truth_value(x) && may_replace(node, x))
        return x;
    if (!integral_shape(x->type))
        return nullptr;
    return derived_node(node, ir::NEQ, node->type, x, integer_constant(node, x->type, Int96{}));
}

// `x` evaluated for its effects, then the constant `value`.
NODE* after(NODE* node, NODE* x, int64_t value) {
    NODE* constant = integer_constant(node, node->type, Int96::from_signed(value));
    if (is_pure(x))
        return constant;
    return derived_node(node, ir::COMMAOP, node->type, x, constant);
}

// ANDAND and OROR with a constant operand.  `decisive` is the operand
// value that settles the result (0 for ANDAND, non-zero for OROR).
NODE* simplify_logical(NODE* node) {
    if (!integral_shape(node->type))
        return nullptr;
    const bool is_and = node->op == ir::ANDAND;
    NODE* left = node->left;
    NODE* right = node->right;
    if (is_constant(left)) {
        if (is_true_constant(left) != is_and)
            return integer_constant(node, node->type, Int96::from_signed(is_and ? 0 : 1));
        return as_truth_value(node, right);
    }
    if (is_constant(right)) {
        if (is_true_constant(right) != is_and)
            return after(node, left, is_and ? 0 : 1);
        return as_truth_value(node, left);
    }
    return nullptr;
}

// ---- Memory operators ------------------------------------------------------------------

// *&x is x and &*p is p when the types agree.
NODE* simplify_address_pair(NODE* node) {
    NODE* inner = node->left;
    const Opcode partner = node->op == ir::UMULT ? ir::UAND : ir::UMULT;
    if (inner->op != partner || inner->left == nullptr || inner->left->type != node->type)
        return nullptr;
    return inner->left;
}

// ---- Lists --------------------------------------------------------------------------------

// The items of a COMMA list, along its right spine.
void simplify_list(NODE* list) {
    NODE* node = list;
    for (; node->op == ir::COMMA && node->right != nullptr; node = node->right) {
        if (node->left != nullptr)
            node->left = simplify(node->left);
        if (node->right->op != ir::COMMA)
            node->right = simplify(node->right);
    }
    if (node->op == ir::COMMA && node->left != nullptr)
        node->left = simplify(node->left);
}

// COMMAOP(a, COMMAOP(b, c)): operands without effects go, except the last,
// which is the value.
NODE* simplify_comma_operator(NODE* chain) {
    std::vector<NODE*> spine;
    NODE* last = chain;
    for (; last->op == ir::COMMAOP && last->left != nullptr && last->right != nullptr;
         last = last->right)
        spine.push_back(last);
    last = simplify(last);
    for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
        NODE* link = *it;
        NODE* first = simplify(link->left);
        if (is_pure(first))
            continue;
        link->left = first;
        link->right = last;
        last = link;
    }
    return last;
}

// ---- Dispatch --------------------------------------------------------------------------

NODE* apply_rules(NODE* node) {
    switch (node->op) {
    case ir::UMINUS:
    case ir::NOTB:
        return simplify_negation(node);
    case ir::EXCLAIM:
        return simplify_exclaim(node);
    case ir::SCONV:
        return simplify_sconv(node);
    case ir::PCONV:
        return simplify_pconv(node);
    case ir::QUEST:
        return simplify_quest(node);
    case ir::ANDAND:
    case ir::OROR:
        return simplify_logical(node);
    case ir::UMULT:
    case ir::UAND:
        return simplify_address_pair(node);
    case ir::PLUS:
    case ir::MINUS:
    case ir::MULT:
    case ir::DIV:
    case ir::MOD:
    case ir::ANDB:
    case ir::ORB:
    case ir::XORB:
    case ir::SLL:
    case ir::SRL:
        return simplify_binary(node);
    default:
        return is_comparison(node->op) ? simplify_binary(node) : nullptr;
    }
}

bool has_expected_operands(const NODE* node) {
    const int count = ir::operand_count(node->op);
    return (count < 1 || node->left != nullptr) && (count < 2 || node->right != nullptr);
}

// A rule that returns the node itself changed it in place; one that
// returns another node replaced it.  Either way the rules run again on the
// result, until none applies.
NODE* rewrite_until_stable(NODE* node) {
    for (;;) {
        if (!has_expected_operands(node))
            return node;
        NODE* result = apply_rules(node);
        if (result == nullptr)
            return node;
        node = result;
    }
}

NODE* simplify(NODE* node) {
    if (node == nullptr)
        return nullptr;
    const bool both_operands = node->left != nullptr && node->right != nullptr;
    if (node->op == ir::COMMA && both_operands) {
        simplify_list(node);
        return node;
    }
    if (node->op == ir::COMMAOP && both_operands)
        return simplify_comma_operator(node);
    if (node->left != nullptr)
        node->left = simplify(node->left);
    if (node->right != nullptr)
        node->right = simplify(node->right);
    return rewrite_until_stable(node);
}

} // namespace

NODE* simplify_expression(NODE* tree) {
    return simplify(tree);
}

} // namespace vx::scalar
