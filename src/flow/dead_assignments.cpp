// Dead-assignment removal.  Blocks are visited from the last to the first
// with the live set at the block's end (the union of its successors' IN
// sets); statements are scanned backwards, and a store to a candidate that
// is not live is dropped.  What the store computed stays when it has side
// effects (or, inside an expression, when its value is used).
#include "driver/listing.h"
#include "flow/flow_graph.h"
#include "flow/liveness.h"
#include "ir/node_build.h"
#include "ir/tree_printer.h"
#include "ir/tree_walk.h"
#include "ir/type.h"
#include "scalar/simplifier.h"

#include <unordered_set>

namespace vx::flow {

namespace {

int candidate_of(const NODE* node) {
    if (node == nullptr || node->op != ir::NAME || node->sym() == nullptr)
        return -1;
    return node->sym()->candidate;
}

// The value of a dropped store, as the assignment would have yielded it.
NODE* as_assigned_type(NODE* value, ir::TYPE* type) {
    if (value->type == type || type == nullptr)
        return value;
    const ir::Opcode conversion = type->is_pointer() ? ir::PCONV : ir::SCONV;
    return ir::make_node(conversion, type, value);
}

class DeadAssignmentScan {
public:
    DeadAssignmentScan(FlowGraph& graph, BITVEC& live) : g_(graph), live_(live) {}

    // The statement as it stays, or nullptr when it vanishes.
    NODE* statement(NODE* tree, uint32_t line) {
        line_ = line;
        return scan(tree, true, false);
    }
    uint32_t changes() const { return changes_; }

private:
    NODE* scan(NODE* node, bool top, bool conditional);
    NODE* assignment(NODE* node, bool top, bool conditional);
    NODE* increment(NODE* node, bool top, bool conditional);
    NODE* dead_value(NODE* value, ir::TYPE* type, bool top, bool conditional);
    void report_dead(const NODE* node, int c) {
        ++changes_;
        if (driver::tracing())
            driver::debug_printf("\n\t(%ld) DEAD 'ASG' TO CANDIDATE %d:    %s\n",
                                 static_cast<long>(line_), c, ir::tree_text(node).c_str());
    }
    void read(int c) {
        live_.add(c);
        g_.lva_candidates[c]->pass.reference_count++;
    }

    FlowGraph& g_;
    BITVEC& live_;
    uint32_t line_ = 0;
    uint32_t changes_ = 0;
};

NODE* DeadAssignmentScan::scan(NODE* node, bool top, bool conditional) {
    if (node == nullptr)
        return nullptr;
    const ir::Opcode op = node->op;
    if ((op == ir::ASG || ir::is_compound_assignment(op)) && candidate_of(node->left) >= 0)
        return assignment(node, top, conditional);
    if ((op == ir::PLUSPLUS || op == ir::MINMIN) && candidate_of(node->left) >= 0)
        return increment(node, top, conditional);
    switch (op) {
    case ir::NAME:
        if (candidate_of(node) >= 0)
            read(candidate_of(node));
        return node;
    case ir::LOOP:
    case ir::INITLOOP:
    case ir::BRANCH:
        return node;
    case ir::SWITCH:
    case ir::IF:
    case ir::STDOT:
    case ir::STREF:
        node->left = scan(node->left, false, conditional);
        return node;
    case ir::QUEST:
    case ir::ANDAND:
    case ir::OROR:
        node->right = scan(node->right, false, true);
        node->left = scan(node->left, false, conditional);
        return node;
    case ir::COLON:
        node->right = scan(node->right, false, conditional);
        node->left = scan(node->left, false, conditional);
        return node;
    default:
        // Operands in reverse evaluation order.
        if (node->right != nullptr)
            node->right = scan(node->right, false, conditional);
        if (node->left != nullptr)
            node->left = scan(node->left, false, conditional);
        return node;
    }
}

NODE* DeadAssignmentScan::assignment(NODE* node, bool top, bool conditional) {
    const int c = candidate_of(node->left);
    if (!top)
        flow_context().embedded_assignments_seen = true;
    if (live_.test(c)) {
        g_.lva_candidates[c]->pass.reference_count++;
        if (node->op == ir::ASG) {
            if (!conditional)
                live_.remove(c);
        } else {
            live_.add(c); // a compound assignment reads its target first
        }
        node->right = scan(node->right, false, conditional);
        return node;
    }
    report_dead(node, c);
    NODE* value = node->right;
    if (node->op != ir::ASG) // x op= v is x = x op v
        value = ir::make_node(ir::compound_operator(node->op), node->left->type, node->left, value);
    while (value->op == ir::IDENTITY && value->left != nullptr)
        value = value->left;
    return dead_value(value, node->left->type, top, conditional);
}

NODE* DeadAssignmentScan::increment(NODE* node, bool top, bool) {
    const int c = candidate_of(node->left);
    if (!top)
        flow_context().embedded_assignments_seen = true;
    if (live_.test(c)) {
        read(c);
        return node;
    }
    report_dead(node, c);
    if (top)
        return nullptr;
    read(c); // the old value is still the expression's value
    return node->left;
}

NODE* DeadAssignmentScan::dead_value(NODE* value, ir::TYPE* type, bool top, bool conditional) {
    if (top) {
        if (!has_side_effects(value))
            return nullptr;
        NODE* effects = scalar::simplify_statement(value);
        return effects == nullptr ? nullptr : scan(effects, true, conditional);
    }
    return scan(as_assigned_type(value, type), false, conditional);
}

uint32_t scan_block(FlowGraph& graph, BBLK* b, bool extra_cleanup, bool& cfg_may_change) {
    BITVEC live(static_cast<uint32_t>(graph.lva_candidates.size()));
    for (const Edge& e : b->succs) {
        if (e.block->has_live_sets)
            live.merge(e.block->live().in);
        else
            for (uint32_t c = 0; c < live.size(); ++c)
                live.add(c);
    }
    if (b->live_sets == nullptr)
        b->live_sets = graph.new_live_sets();
    b->live().out = live;
    DeadAssignmentScan scan(graph, live);
    for (std::size_t i = b->statements.size(); i-- > 0;) {
        StatementEntry& s = b->statements[i];
        NODE* kept = scan.statement(s.tree, s.pos.line);
        if (kept == nullptr && i + 1 < b->statements.size())
            b->statements.erase(b->statements.begin() + static_cast<std::ptrdiff_t>(i));
        else if (kept != nullptr)
            s.tree = kept;
    }
    b->live().in = live;
    // A dead assignment inside an expression leaves a conversion or a copy
    // of the value behind; the simplifier folds what is left.
    if (extra_cleanup && flow_context().embedded_assignments_seen)
        tidy_block_statements(graph, *b);
    if (!b->statements.empty() && b->statements.front().tree->op == ir::BRANCH)
        cfg_may_change = true;
    return scan.changes();
}

std::unordered_set<const ir::Symbol*> named_symbols(const FlowGraph& graph) {
    std::unordered_set<const ir::Symbol*> named;
    auto note = [&](const NODE* n) {
        if (n->op == ir::NAME)
            named.insert(n->sym());
    };
    for (const BBLK* b : graph.layout_order())
        for (const StatementEntry& s : b->statements)
            ir::walk_tree(s.tree, note);
    if (graph.body.exception_table)
        for (const auto& entry : graph.body.exception_table->entries)
            if (entry.cleanup != nullptr)
                ir::walk_tree(static_cast<const NODE*>(entry.cleanup), note);
    return named;
}

bool is_deletable_local(const ir::Symbol& s) {
    return s.storage_class == ir::SC_AUTO || s.storage_class == ir::SC_REGISTER ||
           s.storage_class == ir::SC_REGISTER_TEMP;
}

void drop_unreferenced_locals(FlowGraph& graph) {
    const auto named = named_symbols(graph);
    for (ir::SymbolListKind kind : {ir::SymbolListKind::declared, ir::SymbolListKind::copies,
                                    ir::SymbolListKind::block_scope, ir::SymbolListKind::second}) {
        std::vector<ir::Symbol*> unused;
        for (ir::Symbol* s : graph.function.list(kind))
            if (s->candidate >= 0 && s->pass.reference_count == 0 && is_deletable_local(*s) &&
                !named.contains(s))
                unused.push_back(s);
        for (ir::Symbol* s : unused) {
            driver::debug_printf("\tNo references in the function for (%d) '%s'\n", s->candidate,
                                 s->name.c_str());
            graph.function.list(kind).remove(s);
        }
    }
}

} // namespace

uint32_t elim_dead_assigns(FlowGraph& graph, bool delay, bool extra_cleanup) {
    driver::debug_printf("\n\n\t\t\t---------- ENTERING 'elim_dead_assigns' ----------\n");
    FunctionArenaScope arena(graph.function);
    flow_context().embedded_assignments_seen = false;
    const uint32_t n = find_live_variables(graph, true, true);
    for (ir::SymbolListKind kind : ir::symbol_lists_in_output_order)
        for (ir::Symbol* s : graph.function.list(kind))
            s->pass.reference_count = 0;
    if (n == 0) {
        free_live_sets(graph);
        return 0;
    }
    bool cfg_may_change = false;
    uint32_t changes = 0;
    const std::vector<BBLK*> order = graph.layout();
    for (auto at = order.rbegin(); at != order.rend(); ++at)
        changes += scan_block(graph, *at, extra_cleanup, cfg_may_change);
    if (delay && delay_assignments(graph))
        cfg_may_change = true;
    if (!flow_context().keep_unreferenced_locals)
        drop_unreferenced_locals(graph);
    if (cfg_may_change && graph.first != nullptr && graph.first->loop == nullptr)
        simpcfg(graph);
    free_live_sets(graph);
    return changes;
}

} // namespace vx::flow
