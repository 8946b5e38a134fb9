// Statement-level simplification: what of a statement must stay, and the
// splitting of COMMAOP chains into statements.
#include "scalar/simplifier.h"

#include "icode/reader_client.h"
#include "scalar/simplify_predicates.h"

namespace vx::scalar {

using ir::NODE;

bool is_kept_statement(ir::Opcode op) {
    switch (op) {
    case ir::LABEL:
    case ir::LABELDEF:
    case ir::ASM:
    case ir::BRANCH:
    case ir::LOOP:
    case ir::INITLOOP:
    case ir::CASE:
    case ir::DEFAULT:
    case ir::SKIP:
    case ir::URETURN:
    case ir::ENDINIT:
    case ir::ASSERT:
    case ir::NASSERT:
    case ir::ARGREF:
    case ir::MEMCPY:
    case ir::DDNODE:
    case ir::PPRAGMA:
    case ir::BGNBLOCK:
    case ir::ENDBLOCK:
    case ir::EXPRSTUB:
    case ir::MIXVALUE:
    case ir::CSE_DUPE:
    case ir::CSE_ORIG:
    case ir::SSA_PHI:
    case ir::SSA_USE:
    case ir::SSA_DEF:
    case ir::SSA_MU:
    case ir::SSA_CHI:
        return true;
    default:
        return false;
    }
}

namespace {

// Statements that transfer control or return keep their form; only the
// expression they test or return is simplified.
bool is_control_statement(ir::Opcode op) {
    return op == ir::RETURN || op == ir::CBRANCH || op == ir::IF || op == ir::SWITCH ||
           op == ir::ENDLOOP;
}

NODE* joined(NODE* first, NODE* second) {
    if (first == nullptr)
        return second;
    if (second == nullptr)
        return first;
    NODE* node = ir::make_node(ir::COMMAOP, second->type, first, second);
    node->stamp = second->stamp;
    return node;
}

// What must still be evaluated of a tree whose value nobody uses: nothing,
// the tree itself, or the parts that have effects, in evaluation order.
NODE* effects_of(NODE* tree) {
    if (tree == nullptr || is_pure(tree))
        return nullptr;
    if (has_own_effect(tree))
        return tree;
    switch (tree->op) {
    case ir::QUEST:
    case ir::ANDAND:
    case ir::OROR:
        // The right side runs only sometimes; it can go only when it does
        // nothing.
        return is_pure(tree->right) ? effects_of(tree->left) : tree;
    case ir::COMMA:
        return tree;
    default:
        return joined(effects_of(tree->left), effects_of(tree->right));
    }
}

// x = x for a non-volatile variable x stores what is there.
bool is_self_assignment(const NODE* tree) {
    return tree->op == ir::ASG && tree->left != nullptr && tree->right != nullptr &&
           tree->left->op == ir::NAME && tree->right->op == ir::NAME &&
           tree->left->sym() == tree->right->sym() && tree->left->type == tree->right->type &&
           !is_volatile_access(tree->left);
}

// The operands of a COMMAOP chain, each as a statement, in order.
void append_pieces(NODE* tree, StatementPieces& pieces) {
    for (; tree != nullptr && tree->op == ir::COMMAOP && tree->left != nullptr &&
           tree->right != nullptr;
         tree = tree->right)
        append_pieces(tree->left, pieces);
    if (NODE* piece = effects_of(tree))
        pieces.push_back(piece);
}

// The COMMAOP operand whose value the statement uses, with the operands
// before it moved out as statements of their own: they are evaluated
// first either way.
NODE* hoist_leading_operands(NODE* operand, StatementPieces& pieces) {
    while (operand != nullptr && operand->op == ir::COMMAOP && operand->left != nullptr &&
           operand->right != nullptr) {
        append_pieces(operand->left, pieces);
        operand = operand->right;
    }
    return operand;
}

} // namespace

NODE* simplify_statement(NODE* statement) {
    if (statement == nullptr || is_kept_statement(statement->op))
        return statement;
    if (is_control_statement(statement->op)) {
        if (statement->left != nullptr)
            statement->left = simplify_expression(statement->left);
        return statement;
    }
    NODE* tree = simplify_expression(statement);
    if (is_self_assignment(tree))
        return nullptr;
    return effects_of(tree);
}

StatementPieces tidy_statement(NODE* statement) {
    StatementPieces pieces;
    if (statement == nullptr)
        return pieces;
    if (is_kept_statement(statement->op)) {
        pieces.push_back(statement);
        return pieces;
    }
    NODE* tree = simplify_statement(statement);
    if (tree == nullptr)
        return pieces;
    if (is_control_statement(tree->op)) {
        tree->left = hoist_leading_operands(tree->left, pieces);
        pieces.push_back(tree);
    } else if (tree->op == ir::ASG && tree->left != nullptr && tree->left->op == ir::NAME) {
        tree->right = hoist_leading_operands(tree->right, pieces);
        pieces.push_back(tree);
    } else {
        append_pieces(tree, pieces);
    }
    return pieces;
}

void tidy_statements(std::vector<icode::StatementEntry>& statements) {
    std::vector<icode::StatementEntry> tidied;
    tidied.reserve(statements.size());
    for (icode::StatementEntry& entry : statements)
        for (NODE* piece : tidy_statement(entry.tree))
            tidied.push_back({piece, entry.pos});
    statements = std::move(tidied);
}

} // namespace vx::scalar
