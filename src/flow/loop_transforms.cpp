// The structural loop rewrites of the loop hierarchy's repeat loop.
//
// WHILE-loop test replication turns a loop whose header only tests
// (header: IF(cond, body, exit); latch: BRANCH header) into a guarded
// bottom-tested loop: the latch gets a copy of the header's statements in
// place of its jump, so the header runs once, as the loop's guard, and the
// body's first block becomes the header.  The statements run in exactly the
// same order as before; the later loop passes see a loop whose test is at
// the bottom.
//
// Loop-guard folding decides the IF in front of a loop's preheader when the
// compared variable is known: a local assigned a constant on the straight
// path into the guard, compared with a constant.
#include "flow/loop_transforms.h"

#include "scalar/constant_folder.h"

#include "driver/listing.h"
#include "flow/liveness.h"
#include "ir/node_build.h"
#include "ir/tree_printer.h"
#include "ir/tree_walk.h"
#include "ir/type.h"
#include "scalar/simplifier.h"

#include <optional>
#include <unordered_set>

namespace vx::flow {

namespace {

// The comparison that holds exactly when `op` fails; nothing for an
// operator that is not a comparison.
std::optional<ir::Opcode> inverse_comparison(ir::Opcode op) {
    if (!scalar::is_comparison(op))
        return std::nullopt;
    return scalar::inverted_comparison(op);
}

using scalar::mirrored_comparison;

bool is_integral(const ir::TYPE* type) {
    return type != nullptr && (type->is_integer() || type->is_enum());
}

BBLK* target_of(const NODE* ref) {
    return ref != nullptr && ref->op == ir::LABELREF && ref->label() != nullptr
               ? ref->label()->block
               : nullptr;
}

bool is_candidate_name(const NODE* node) {
    return node != nullptr && node->op == ir::NAME && node->sym() != nullptr &&
           node->sym()->candidate >= 0;
}

// The symbol that a store through `node` writes, when it is named.
const ir::Symbol* stored_symbol(const NODE* node) {
    if (!ir::stores_into_left(node->op))
        return nullptr;
    return node->left != nullptr && node->left->op == ir::NAME ? node->left->sym() : nullptr;
}

// The candidates a loop writes.  Candidates are locals whose address is
// never taken, so a direct store is the only way to change one.
std::unordered_set<const ir::Symbol*> written_in(const FlowGraph& graph, const Loop& loop) {
    std::unordered_set<const ir::Symbol*> written;
    for (const BBLK* b = graph.first; b != nullptr; b = b->next) {
        if (!loop.contains(b))
            continue;
        for (const StatementEntry& s : b->statements)
            ir::walk_tree(s.tree, [&](const NODE* node) {
                if (const ir::Symbol* symbol = stored_symbol(node))
                    written.insert(symbol);
            });
    }
    return written;
}

// Constants and candidates the loop does not write, in pure arithmetic.
bool is_invariant(const NODE* tree, const std::unordered_set<const ir::Symbol*>& written) {
    bool invariant = true;
    ir::walk_tree(tree, [&](const NODE* node) {
        if (node->op == ir::ICON)
            return;
        if (node->op == ir::NAME) {
            invariant = invariant && is_candidate_name(node) && !written.contains(node->sym());
            return;
        }
        switch (node->op) {
        case ir::PLUS:
        case ir::MINUS:
        case ir::MULT:
        case ir::ANDB:
        case ir::ORB:
        case ir::XORB:
        case ir::UMINUS:
        case ir::NOTB:
        case ir::SCONV:
            return;
        default:
            invariant = false;
        }
    });
    return invariant;
}

class LoopRewriter {
public:
    explicit LoopRewriter(FlowGraph& graph) : g_(graph) {}
    bool replicate_test(Loop& loop);
    bool fold_guard(Loop& loop);

private:
    bool touched(std::initializer_list<const BBLK*> blocks) const {
        for (const BBLK* b : blocks)
            if (touched_.contains(b))
                return true;
        return false;
    }
    std::optional<ir::Int96> known_value(BBLK* guard, const ir::Symbol* variable,
                                         std::string& source);

    FlowGraph& g_;
    std::unordered_set<const BBLK*> touched_;
};

bool LoopRewriter::replicate_test(Loop& loop) {
    BBLK* header = loop.header;
    BBLK* latch = loop.latch;
    if (loop.parent == nullptr || header == latch || latch == nullptr || header == nullptr ||
        touched({header, latch}))
        return false;
    if (latch->succs.size() != 1 || latch->last_statement()->op != ir::BRANCH)
        return false;
    if (header->preds.size() != 2 || header->statements.size() > 2 ||
        header->last_statement()->op != ir::IF)
        return false;
    NODE* test = header->last_statement();
    NODE* cond = test->left;
    const std::optional<ir::Opcode> inverse = inverse_comparison(cond->op);
    if (!inverse || !is_integral(cond->left->type) || !is_integral(cond->right->type))
        return false;
    BBLK* on_true = target_of(test->right->left);
    BBLK* on_false = target_of(test->right->right);
    if (on_true == nullptr || on_false == nullptr ||
        loop.contains(on_true) == loop.contains(on_false))
        return false;
    const bool stays_on_true = loop.contains(on_true);
    if ((stays_on_true && cond->op == ir::EQ) || (!stays_on_true && cond->op == ir::NEQ))
        return false;
    BBLK* body = stays_on_true ? on_true : on_false;
    if (body->preds.size() != 1 || touched({body}))
        return false;
    const auto written = written_in(g_, loop);
    bool left_invariant = is_invariant(cond->left, written);
    bool right_invariant = is_invariant(cond->right, written);
    if (left_invariant && right_invariant)
        return false;
    const bool exchange_operands = left_invariant && !right_invariant;
    if (exchange_operands)
        std::swap(left_invariant, right_invariant);
    if (left_invariant || !right_invariant)
        return false;

    // The loop continues on the true target and varies on the left.
    if (!stays_on_true) {
        std::swap(test->right->left, test->right->right);
        cond->op = *inverse;
    }
    if (exchange_operands) {
        std::swap(cond->left, cond->right);
        cond->op = mirrored_comparison(cond->op);
    }
    if (driver::tracing())
        driver::debug_printf("\n\tReplicating WHILE loop test (loop #%d):\n\t%s\n\n", loop.number,
                             ir::tree_text(test).c_str());
    latch->statements.pop_back();
    for (const StatementEntry& s : header->statements)
        latch->statements.push_back(StatementEntry{ir::copy_tree(s.tree), s.pos});
    if (driver::tracing()) {
        driver::debug_printf("\n\tNew WHILE loop:\n\n");
        for (const StatementEntry& s : latch->statements)
            driver::debug_printf("\t%s\n", ir::tree_text(s.tree).c_str());
    }
    touched_.insert({header, latch, body});
    return true;
}

// The constant `variable` holds at the guard's test: the last store to it
// on the straight path into the guard, when that assigns a constant.
std::optional<ir::Int96> LoopRewriter::known_value(BBLK* guard, const ir::Symbol* variable,
                                                   std::string& source) {
    BBLK* block = guard;
    std::size_t end = guard->statements.size() - 1; // the test itself is not looked at
    for (uint32_t steps = 0; steps <= g_.block_count; ++steps) {
        for (std::size_t i = end; i-- > 0;) {
            const NODE* tree = block->statements[i].tree;
            bool stores = false;
            ir::walk_tree(tree, [&](const NODE* node) {
                stores = stores || stored_symbol(node) == variable;
            });
            if (!stores)
                continue;
            if (tree->op == ir::ASG && tree->left->op == ir::NAME &&
                tree->left->sym() == variable && tree->right->op == ir::ICON &&
                tree->right->type == tree->left->type) {
                source = ir::tree_text(tree);
                return tree->right->value;
            }
            return std::nullopt;
        }
        if (block->preds.size() != 1)
            return std::nullopt;
        block = block->preds.front().block;
        if (block == guard)
            return std::nullopt;
        end = block->statements.size(); // its transfer may store too
    }
    return std::nullopt;
}

bool LoopRewriter::fold_guard(Loop& loop) {
    BBLK* preheader = loop.preheader;
    if (loop.parent == nullptr || preheader == nullptr || preheader->preds.size() != 1 ||
        preheader->statements.size() != 1)
        return false;
    BBLK* guard = preheader->preds.front().block;
    NODE* test = guard->last_statement();
    if (test->op != ir::IF || touched({guard}))
        return false;
    BBLK* on_true = target_of(test->right->left);
    BBLK* on_false = target_of(test->right->right);
    if ((on_true == preheader) == (on_false == preheader))
        return false;
    NODE* cond = test->left;
    if (!inverse_comparison(cond->op) || !is_integral(cond->left->type))
        return false;
    const bool variable_on_left = is_candidate_name(cond->left) && cond->right->op == ir::ICON;
    const bool variable_on_right = is_candidate_name(cond->right) && cond->left->op == ir::ICON;
    if (!variable_on_left && !variable_on_right)
        return false;
    NODE* name = variable_on_left ? cond->left : cond->right;
    std::string source;
    const std::optional<ir::Int96> value = known_value(guard, name->sym(), source);
    if (!value)
        return false;

    FunctionArenaScope arena(g_.function);
    NODE* known = ir::copy_tree(cond);
    NODE*& slot = variable_on_left ? known->left : known->right;
    slot = ir::make_icon(name->type, *value);
    known = scalar::simplify_expression(known);
    if (known->op != ir::ICON)
        return false;
    NODE* taken = known->value.is_zero() ? test->right->right : test->right->left;
    NODE* branch = ir::make_node(ir::BRANCH, nullptr, taken);
    if (driver::tracing()) {
        driver::debug_printf("\tUsing %s\n\tto fold loop guard for loop #%d:\n", source.c_str(),
                             loop.number);
        driver::debug_printf("\t\t%s\n", ir::tree_text(test).c_str());
        driver::debug_printf("\t  ==>\t%s\n", ir::tree_text(branch).c_str());
    }
    guard->statements.back().tree = branch;
    touched_.insert(guard);
    return true;
}

} // namespace

bool replicate_while_loop_tests(FlowGraph& graph, LoopHierarchy& hierarchy) {
    if (hierarchy.abandoned || hierarchy.root == nullptr)
        return false;
    number_lva_candidates(graph);
    LoopRewriter rewriter(graph);
    bool changed = false;
    walk_loops(*hierarchy.root,
               [&](Loop& loop) { changed = rewriter.replicate_test(loop) || changed; });
    return changed;
}

bool fold_loop_guards(FlowGraph& graph, LoopHierarchy& hierarchy) {
    if (hierarchy.abandoned || hierarchy.root == nullptr)
        return false;
    number_lva_candidates(graph);
    LoopRewriter rewriter(graph);
    bool changed = false;
    walk_loops(*hierarchy.root,
               [&](Loop& loop) { changed = rewriter.fold_guard(loop) || changed; });
    return changed;
}

} // namespace vx::flow
