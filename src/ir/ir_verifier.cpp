#include "ir/ir_verifier.h"

#include "icode/reader_client.h"
#include "ir/symbol_table.h"
#include "ir/type.h"

#include <algorithm>

namespace vx::ir {

namespace {

using Violation = std::optional<std::string>;

std::string opcode_text(int op) {
    const char* name = opcode_name(op);
    return name ? name : "opcode " + std::to_string(op);
}

std::string symbol_text(const Symbol* symbol) {
    return "'" + symbol->name + "'";
}

} // namespace

// ---- Symbol scope ------------------------------------------------------------------------

SymbolScope::SymbolScope() {
    const SymbolState& state = symbol_state();
    for (const Symbol* symbol : state.global_table)
        if (symbol != nullptr)
            globals_.insert(symbol);
    for (const Symbol* symbol : state.global_list)
        globals_.insert(symbol);
}

SymbolScope::SymbolScope(const FUNINFO& function) : SymbolScope() {
    for (const Symbol* symbol : function.local_table)
        if (symbol != nullptr)
            locals_.insert(symbol);
    for (const SymbolList& list : function.lists)
        for (const Symbol* symbol : list)
            locals_.insert(symbol);
}

// ---- Trees -------------------------------------------------------------------------------

namespace {

bool is_assignment(Opcode op) {
    return stores_into_left(op);
}

// Nodes that compute a value from their operands need its type: the
// folder and every pass read widths and signedness from it.
bool needs_type(Opcode op) {
    switch (op) {
    case NAME:
    case ICON:
    case FCON:
    case SCON:
    case PLUS:
    case MINUS:
    case UMINUS:
    case MULT:
    case UMULT:
    case ANDB:
    case UAND:
    case ORB:
    case XORB:
    case DIV:
    case MOD:
    case SLL:
    case SRL:
    case NOTB:
    case EXCLAIM:
    case EQ:
    case NEQ:
    case LE:
    case LT:
    case GE:
    case GT:
    case ULE:
    case ULT:
    case UGE:
    case UGT:
    case SCONV:
    case PCONV:
    case QUEST:
        return true;
    default:
        return is_assignment(op);
    }
}

class TreeChecker {
public:
    explicit TreeChecker(const TreeCheckContext& context) : context_(context) {}

    // Left by recursion, right by iteration: long argument lists cost no
    // depth.
    Violation check(const NODE* tree) {
        for (const NODE* node = tree; node != nullptr; node = node->right) {
            if (Violation problem = check_node(node))
                return problem;
            if (node->left != nullptr)
                if (Violation problem = check(node->left))
                    return problem;
        }
        return std::nullopt;
    }

private:
    Violation check_node(const NODE* node) const {
        if (node->op != OUIALIGN && opcode_info(node->op) == nullptr)
            return "unknown opcode " + std::to_string(node->op);
        if (Violation problem = check_operands(node))
            return problem;
        if (needs_type(node->op) && node->type == nullptr)
            return opcode_text(node->op) + " node without a type";
        if (node->op == LABELDEF)
            return std::string("label definition inside a tree");
        if (Violation problem = check_payload(node))
            return problem;
        return check_shape(node);
    }

    // Opcode 163 is read from files as a leaf and means OUIALIGN (one
    // operand) inside the optimizer: both forms are sound.
    static Violation check_operands(const NODE* node) {
        const int count = operand_count(node->op);
        if (node->op == OUIALIGN && node->left == nullptr && node->right == nullptr)
            return std::nullopt;
        if (count >= 1 && node->left == nullptr)
            return opcode_text(node->op) + " node without its left operand";
        if (count < 1 && node->left != nullptr)
            return opcode_text(node->op) + " node with a left operand it does not take";
        if (count == 2 && node->right == nullptr)
            return opcode_text(node->op) + " node without its right operand";
        if (count < 2 && node->right != nullptr)
            return opcode_text(node->op) + " node with a right operand it does not take";
        return std::nullopt;
    }

    Violation check_payload(const NODE* node) const {
        switch (node->op) {
        case NAME:
            return check_name(node);
        case ICON:
            return check_icon(node);
        case FCON:
            if (node->fcon() == nullptr)
                return std::string("FCON node without its value");
            return std::nullopt;
        case SCON:
            if (node->scon_length() != 0 && node->scon_bytes() == nullptr)
                return std::string("SCON node without its bytes");
            return std::nullopt;
        case FIELD:
            if (node->member() == nullptr || node->container() == nullptr)
                return std::string("FIELD node without its member or container");
            return std::nullopt;
        case LABEL:
            return check_label_reference(node);
        default:
            return std::nullopt;
        }
    }

    Violation check_name(const NODE* node) const {
        const Symbol* symbol = node->sym();
        if (symbol == nullptr)
            return std::string("NAME node without a symbol");
        if (context_.symbols == nullptr)
            return std::nullopt;
        if (context_.symbols->is_local(symbol) || context_.symbols->is_global(symbol))
            return std::nullopt;
        return "NAME of " + symbol_text(symbol) + ", which is neither global nor of this function";
    }

    static Violation check_icon(const NODE* node) {
        if (node->type == nullptr || node->type->real() == nullptr)
            return std::nullopt;
        const TYPE* real = node->type->real();
        if (!real->is_integer() && !real->is_pointer())
            return std::nullopt;
        const IntegerShape shape = integer_shape_of(node->type);
        if (node->value.fits(shape.bits, shape.is_signed))
            return std::nullopt;
        return "ICON " + node->value.to_decimal(true) + " does not fit its type";
    }

    Violation check_label_reference(const NODE* node) const {
        if (context_.defined_labels == nullptr)
            return std::nullopt;
        const uint32_t number = node->label_number();
        if (context_.defined_labels->count(number) != 0)
            return std::nullopt;
        return "reference to label " + std::to_string(number) +
               ", which the function does not define";
    }

    // Operands whose form the opcode fixes.
    static Violation check_shape(const NODE* node) {
        switch (node->op) {
        case BRANCH:
        case DEFAULT:
            return expect(node, node->left, LABEL, "a label reference");
        case CBRANCH:
            return expect(node, node->right, LABEL, "a label reference");
        case CASE:
            if (Violation problem = expect(node, node->left, ICON, "a constant"))
                return problem;
            return expect(node, node->right, LABEL, "a label reference");
        case IF:
            if (Violation problem = expect(node, node->right, COLON, "two targets"))
                return problem;
            if (Violation problem = expect(node, node->right->left, LABEL, "a label reference"))
                return problem;
            return expect(node, node->right->right, LABEL, "a label reference");
        case SWITCH:
            return check_cases(node);
        default:
            return std::nullopt;
        }
    }

    static Violation expect(const NODE* node, const NODE* operand, Opcode op, const char* what) {
        if (operand != nullptr && operand->op == op)
            return std::nullopt;
        return opcode_text(node->op) + " node whose operand is not " + what;
    }

    // SWITCH(value, cases): a CASE, a DEFAULT or a COMMA chain of them, with
    // at most one DEFAULT.
    static Violation check_cases(const NODE* node) {
        int defaults = 0;
        for (const NODE* cases = node->right; cases != nullptr;
             cases = cases->op == COMMA ? cases->right : nullptr) {
            const NODE* item = cases->op == COMMA ? cases->left : cases;
            if (item == nullptr || (item->op != CASE && item->op != DEFAULT))
                return std::string("SWITCH case list with something other than CASE or DEFAULT");
            if (item->op == DEFAULT && ++defaults > 1)
                return std::string("SWITCH with more than one DEFAULT");
        }
        return std::nullopt;
    }

    const TreeCheckContext& context_;
};

} // namespace

std::optional<std::string> verify_tree(const NODE* tree, const TreeCheckContext& context) {
    if (tree == nullptr)
        return std::string("missing tree");
    return TreeChecker(context).check(tree);
}

// ---- Symbols -------------------------------------------------------------------------------

namespace {

const char* list_name(SymbolListKind kind) {
    switch (kind) {
    case SymbolListKind::block_scope:
        return "block-scope";
    case SymbolListKind::second:
        return "second";
    case SymbolListKind::copies:
        return "copies";
    default:
        return "declared";
    }
}

bool is_parameter_class(int8_t storage_class) {
    return storage_class == SC_PARAM || storage_class == SC_REGISTER_PARAM;
}

Violation check_local_symbol(const Symbol& symbol) {
    if (symbol.level == 0)
        return "local " + symbol_text(&symbol) + " has the global level 0";
    if (symbol.storage_class < 0)
        return "local " + symbol_text(&symbol) + " has storage class " +
               std::to_string(symbol.storage_class);
    if (symbol.level == 1 && !is_parameter_class(symbol.storage_class))
        return "parameter " + symbol_text(&symbol) + " has storage class " +
               std::to_string(symbol.storage_class);
    if (symbol.type == nullptr)
        return "local " + symbol_text(&symbol) + " has no type";
    if (!symbol.type->is_func() && symbol.type->size() != symbol.size)
        return "local " + symbol_text(&symbol) + " has size " + std::to_string(symbol.size) +
               " but its type has size " + std::to_string(symbol.type->size());
    return std::nullopt;
}

Violation check_list_level(const Symbol& symbol, SymbolListKind kind) {
    const bool fits = kind == SymbolListKind::block_scope ? symbol.level >= 3
                      : kind == SymbolListKind::declared  ? symbol.level == 1 || symbol.level == 2
                                                          : symbol.level >= 1;
    if (fits)
        return std::nullopt;
    return "local " + symbol_text(&symbol) + " of level " + std::to_string(symbol.level) +
           " on the " + list_name(kind) + " list";
}

// Each list is walked no further than its count, so that a cycle shows as
// a mismatch instead of a hang.
Violation check_list(const FUNINFO& function, SymbolListKind kind,
                     const std::unordered_set<const Symbol*>& table,
                     std::unordered_set<const Symbol*>& listed) {
    const SymbolList& list = function.list(kind);
    std::size_t seen = 0;
    for (const Symbol* symbol = list.front(); symbol != nullptr; symbol = symbol->next) {
        if (++seen > list.size())
            return std::string("the ") + list_name(kind) + " list is longer than its count";
        if (!listed.insert(symbol).second)
            return "local " + symbol_text(symbol) + " is listed twice";
        if (table.count(symbol) == 0)
            return "local " + symbol_text(symbol) + " is not in the local table";
        if (Violation problem = check_list_level(*symbol, kind))
            return problem;
        if (Violation problem = check_local_symbol(*symbol))
            return problem;
    }
    if (seen != list.size())
        return std::string("the ") + list_name(kind) + " list is shorter than its count";
    return std::nullopt;
}

} // namespace

std::optional<std::string> verify_function_symbols(const FUNINFO& function) {
    const std::unordered_set<const Symbol*> table(function.local_table.begin(),
                                                  function.local_table.end());
    std::unordered_set<const Symbol*> listed;
    for (SymbolListKind kind : symbol_lists_in_output_order)
        if (Violation problem = check_list(function, kind, table, listed))
            return problem;
    for (const Symbol* symbol : function.local_table)
        if (symbol != nullptr && listed.count(symbol) == 0)
            if (Violation problem = check_local_symbol(*symbol))
                return problem;
    return std::nullopt;
}

namespace {

// Every block-scope local belongs to a scope of its level.
Violation check_scope_levels(const FUNINFO& function, const icode::FunctionBody& body) {
    if (body.scopes.empty())
        return std::nullopt;
    for (const Symbol* symbol : function.list(SymbolListKind::block_scope)) {
        const bool has_scope =
            std::any_of(body.scopes.begin(), body.scopes.end(),
                        [&](const icode::LexicalScope& s) { return s.level == symbol->level; });
        if (!has_scope)
            return "local " + symbol_text(symbol) + " of level " + std::to_string(symbol->level) +
                   " belongs to no block of the function";
    }
    return std::nullopt;
}

} // namespace

// ---- Statements ----------------------------------------------------------------------------

LabelDefinitions collect_label_definitions(std::span<const icode::StatementEntry> statements) {
    LabelDefinitions labels;
    for (const icode::StatementEntry& entry : statements) {
        if (entry.tree == nullptr || entry.tree->op != LABELDEF)
            continue;
        const uint32_t number = entry.tree->label_number();
        if (!labels.numbers.insert(number).second && !labels.duplicate)
            labels.duplicate = number;
    }
    return labels;
}

std::optional<std::string> verify_statements(const FUNINFO& function,
                                             std::span<const icode::StatementEntry> statements) {
    const LabelDefinitions labels = collect_label_definitions(statements);
    if (labels.duplicate)
        return "label " + std::to_string(*labels.duplicate) + " is defined more than once";
    const SymbolScope symbols(function);
    const TreeCheckContext context{&symbols, &labels.numbers};
    for (std::size_t index = 0; index < statements.size(); ++index) {
        const NODE* tree = statements[index].tree;
        const std::string where = "statement " + std::to_string(index + 1) + ": ";
        if (tree == nullptr)
            return where + "empty statement";
        if (tree->op == LABELDEF) {
            if (tree->left != nullptr || tree->right != nullptr)
                return where + "label definition with operands";
            continue;
        }
        if (Violation problem = verify_tree(tree, context))
            return where + *problem;
    }
    return std::nullopt;
}

std::optional<std::string> verify_function(const FUNINFO& function,
                                           const icode::FunctionBody& body) {
    if (Violation problem = verify_function_symbols(function))
        return problem;
    if (Violation problem = check_scope_levels(function, body))
        return problem;
    return verify_statements(function, body.statements);
}

} // namespace vx::ir
