// Live-variable analysis: candidate selection, the local sets of each block
// in one forward walk per statement, and the backward global equations.
#include "flow/liveness.h"

#include "driver/abnormal_end.h"
#include "driver/listing.h"
#include "ir/opcode.h"
#include "ir/symbol.h"
#include "ir/tree_walk.h"
#include "ir/type.h"
#include "scalar/simplifier.h"

#include <cstdio>
#include <unordered_set>

namespace vx::flow {

namespace {

bool is_local_variable_class(int8_t storage_class) {
    switch (storage_class) {
    case ir::SC_AUTO:
    case ir::SC_REGISTER:
    case ir::SC_PARAM:
    case ir::SC_REGISTER_PARAM:
    case ir::SC_REGISTER_TEMP:
    case ir::SC_PINNED_PARAM:
        return true;
    default:
        return false;
    }
}

bool is_volatile(const ir::TYPE* type) {
    return type != nullptr && (type->qualifiers(true) & ir::CQ_VOLATILE) != 0;
}

using SymbolSet = std::unordered_set<const ir::Symbol*>;

// Adds the symbols whose address a statement of the block takes.
void note_address_taken(const BBLK& b, SymbolSet& taken) {
    for (const StatementEntry& s : b.statements)
        ir::walk_tree(s.tree, [&](const NODE* node) {
            if (node->op != ir::UAND || node->left == nullptr)
                return;
            ir::walk_tree(node->left, [&](const NODE* inner) {
                if (inner->op == ir::NAME && inner->sym() != nullptr)
                    taken.insert(inner->sym());
            });
        });
}

SymbolSet address_taken(const FlowGraph& graph) {
    SymbolSet taken;
    for (const BBLK* b : graph.layout_order())
        note_address_taken(*b, taken);
    return taken;
}

bool is_candidate(const ir::Symbol& symbol, bool taken) {
    return !taken && is_local_variable_class(symbol.storage_class) && symbol.type != nullptr &&
           symbol.type->is_scalar() && !is_volatile(symbol.type);
}

void number_candidates(FlowGraph& graph, bool vector_arrays, const SymbolSet& taken) {
    graph.lva_candidates.clear();
    ir::FUNINFO& f = graph.function;
    for (ir::SymbolListKind kind : {ir::SymbolListKind::declared, ir::SymbolListKind::copies,
                                    ir::SymbolListKind::block_scope}) {
        for (ir::Symbol* s : f.list(kind)) {
            const bool in_memory = taken.contains(s) || !is_local_variable_class(s->storage_class);
            s->flag_byte = static_cast<uint8_t>((s->flag_byte & ~ir::SYMB_IN_MEMORY) |
                                                (in_memory ? ir::SYMB_IN_MEMORY : 0));
            if (!is_candidate(*s, taken.contains(s))) {
                s->candidate = -1;
                continue;
            }
            s->candidate = static_cast<int16_t>(graph.lva_candidates.size());
            graph.lva_candidates.push_back(s);
            driver::debug_printf("\tLVA candidate %2d is variable '%s'\n", s->candidate,
                                 s->name.c_str());
        }
    }
    for (ir::Symbol* s : f.list(ir::SymbolListKind::second)) {
        const bool vector_array = vector_arrays && s->type != nullptr && s->type->is_array() &&
                                  s->type->is_vector() && !taken.contains(s) &&
                                  (s->flag_byte & ir::SYMB_IN_MEMORY) == 0;
        s->candidate = vector_array ? static_cast<int16_t>(graph.lva_candidates.size()) : -1;
        if (vector_array)
            graph.lva_candidates.push_back(s);
    }
}

[[noreturn]] void impossible_opcode(const NODE* node) {
    const char* name = ir::opcode_name(node->op);
    std::fprintf(stderr, "\n\n   !!! Error in 'local_lva_defs()', opcode=%d %s !!!\n",
                 static_cast<int>(node->op), name != nullptr ? name : "?");
    driver::terminate_abnormally();
}

int candidate_of(const NODE* node) {
    if (node == nullptr || node->op != ir::NAME || node->sym() == nullptr)
        return -1;
    return node->sym()->candidate;
}

// The local sets of one block, one statement at a time in evaluation order.
class LocalSets {
public:
    LocalSets(BlockLiveSets& sets, bool self_updates) : sets_(sets), self_updates_(self_updates) {}

    void statement(const NODE* tree) {
        self_updated_ = self_update_of(tree);
        visit(tree, false);
        self_updated_ = -1;
    }

private:
    int self_update_of(const NODE* tree) const {
        if (!self_updates_ || tree->op != ir::ASG)
            return -1;
        const int c = candidate_of(tree->left);
        if (c < 0 || has_side_effects(tree->right))
            return -1;
        bool reads = false;
        ir::walk_tree(tree->right, [&](const NODE* n) { reads = reads || candidate_of(n) == c; });
        return reads ? c : -1;
    }

    void use(int c) {
        sets_.useany.add(c);
        if (!sets_.def.test(c) && c != self_updated_)
            sets_.use.add(c);
    }

    void define(int c, bool conditional, bool kills) {
        sets_.defany.add(c);
        if (kills && !conditional && c != self_updated_)
            sets_.def.add(c);
    }

    void visit(const NODE* node, bool conditional);

    BlockLiveSets& sets_;
    bool self_updates_;
    int self_updated_ = -1;
};

void LocalSets::visit(const NODE* node, bool conditional) {
    for (; node != nullptr;) {
        const ir::Opcode op = node->op;
        if (op == ir::CSE_DUPE || op == ir::CSE_ORIG || op == ir::ILLOP)
            impossible_opcode(node);
        const int target = ir::stores_into_left(op) ? candidate_of(node->left) : -1;
        if (target >= 0) {
            if (op != ir::ASG)
                use(target);
            visit(node->right, conditional);
            define(target, conditional, op == ir::ASG);
            return;
        }
        switch (op) {
        case ir::NAME:
            if (node->sym() != nullptr && node->sym()->candidate >= 0)
                use(node->sym()->candidate);
            return;
        case ir::LOOP:
        case ir::INITLOOP:
            node = node->right;
            continue;
        case ir::QUEST:
        case ir::ANDAND:
        case ir::OROR:
            visit(node->left, conditional);
            node = node->right;
            conditional = true;
            continue;
        default:
            if (node->left != nullptr)
                visit(node->left, conditional);
            node = node->right;
            continue;
        }
    }
}

void make_sets(FlowGraph& graph, BBLK* b, uint32_t n) {
    b->live_sets = graph.new_live_sets();
    b->live().in = BITVEC(n);
    b->live().out = BITVEC(n);
    b->live().def = BITVEC(n);
    b->live().use = BITVEC(n);
    b->live().defany = BITVEC(n);
    b->live().useany = BITVEC(n);
    b->has_live_sets = true;
}

// The candidates live after each statement, backwards from OUT: the set
// before a statement is its upward-exposed uses and what it does not kill.
void annotate_statements(BBLK* b, uint32_t n) {
    b->live().after_statement.assign(b->statements.size(), BITVEC(n));
    BITVEC live = b->live().out;
    for (std::size_t i = b->statements.size(); i-- > 0;) {
        b->live().after_statement[i] = live;
        BlockLiveSets one;
        one.def = BITVEC(n);
        one.use = BITVEC(n);
        one.defany = BITVEC(n);
        one.useany = BITVEC(n);
        LocalSets(one, false).statement(b->statements[i].tree);
        live.subtract(one.def);
        live.merge(one.use);
    }
}

// The sets in layout order with the successors as positions in that order:
// the iterations then touch these arrays and the sets (made one after the
// other, so side by side), not the block records, whose successors would
// otherwise cost two dependent cache misses per edge on large functions.
struct SolverTables {
    std::vector<BlockLiveSets*> sets;
    std::vector<uint32_t> first; // successors of i: successors[first[i] .. first[i + 1])
    std::vector<uint32_t> successors;

    explicit SolverTables(const FlowGraph& graph) {
        const std::vector<BBLK*>& order = graph.layout_order();
        std::vector<uint32_t> position(graph.blocks.size());
        for (uint32_t i = 0; i < order.size(); ++i)
            position[order[i]->serial] = i;
        sets.reserve(order.size());
        first.reserve(order.size() + 1);
        for (const BBLK* b : order) {
            sets.push_back(b->live_sets);
            first.push_back(static_cast<uint32_t>(successors.size()));
            for (const Edge& e : b->succs)
                successors.push_back(position[e.block->serial]);
        }
        first.push_back(static_cast<uint32_t>(successors.size()));
    }
};

void solve(FlowGraph& graph) {
    const SolverTables tables(graph);
    const auto count = static_cast<uint32_t>(tables.sets.size());
    for (bool changed = true; changed;) {
        changed = false;
        driver::debug_printf("\n\tNext iteration of global live variable loop\n");
        for (uint32_t i = count; i-- > 0;) {
            BlockLiveSets& sets = *tables.sets[i];
            if (tables.first[i] == tables.first[i + 1])
                sets.out.clear_all();
            for (uint32_t k = tables.first[i]; k < tables.first[i + 1]; ++k)
                changed = sets.out.union_with(tables.sets[tables.successors[k]]->in) || changed;
            sets.in.difference(sets.out, sets.def);
            sets.in.merge(sets.use);
        }
    }
}

} // namespace

bool has_side_effects(const NODE* tree) {
    bool effects = false;
    ir::walk_tree(tree, [&](const NODE* node) {
        switch (node->op) {
        case ir::ASG:
        case ir::STASG:
        case ir::ARASG:
        case ir::PLUSPLUS:
        case ir::MINMIN:
        case ir::CALL:
        case ir::UCALL:
        case ir::ICALL:
        case ir::UICALL:
        case ir::MCALL:
        case ir::UMCALL:
        case ir::ASM:
        case ir::MEMCPY:
        case ir::SWITCH:
        case ir::BRANCH:
        case ir::IF:
        case ir::RETURN:
        case ir::URETURN:
            effects = true;
            return;
        default:
            if (is_compound_assignment(node->op) || is_volatile(node->type) ||
                (node->op == ir::NAME && node->sym() != nullptr && is_volatile(node->sym()->type)))
                effects = true;
            return;
        }
    });
    return effects;
}

void tidy_block_statements(FlowGraph& graph, BBLK& block) {
    if (block.statements.empty())
        return;
    FunctionArenaScope arena(graph.function);
    StatementList tidied;
    tidied.reserve(block.statements.size());
    const std::size_t last = block.statements.size() - 1;
    for (std::size_t i = 0; i <= last; ++i) {
        const StatementEntry& s = block.statements[i];
        const scalar::StatementPieces pieces = scalar::tidy_statement(s.tree);
        // The transfer decides the successors: it must stay last.
        if (i == last && (pieces.empty() || !is_transfer(pieces.back()))) {
            tidied.push_back(s);
            continue;
        }
        for (NODE* piece : pieces)
            tidied.push_back(StatementEntry{piece, s.pos});
    }
    block.statements = std::move(tidied);
}

uint32_t number_lva_candidates(FlowGraph& graph, bool vector_arrays) {
    number_candidates(graph, vector_arrays, address_taken(graph));
    return static_cast<uint32_t>(graph.lva_candidates.size());
}

bool live_after_statement(const BBLK& block, std::size_t index, const ir::Symbol& symbol) {
    if (symbol.candidate < 0 || block.live_sets == nullptr ||
        index >= block.live().after_statement.size())
        return false;
    return block.live().after_statement[index].test(static_cast<uint32_t>(symbol.candidate));
}

void free_live_sets(FlowGraph& graph) {
    if (!graph.has_live_sets())
        return; // no block points at any: no need to touch every record
    for (BBLK* b : graph.blocks) {
        if (b == nullptr)
            continue;
        b->live_sets = nullptr;
        b->has_live_sets = false;
    }
    graph.drop_all_live_sets();
}

uint32_t find_live_variables(FlowGraph& graph, bool self_updates_not_uses, bool vector_arrays) {
    driver::debug_printf("\n\n\t\t\t---------- ENTERING 'find_live_variables' --------\n");
    free_live_sets(graph);
    // Each block's trees are looked at for taken addresses right after the
    // tidying, while they are still in the cache.
    SymbolSet taken;
    for (BBLK* b : graph.layout_order()) {
        tidy_block_statements(graph, *b);
        note_address_taken(*b, taken);
    }
    number_candidates(graph, vector_arrays, taken);
    const uint32_t n = static_cast<uint32_t>(graph.lva_candidates.size());
    for (BBLK* b : graph.layout_order()) {
        make_sets(graph, b, n);
        if (n == 0)
            continue;
        LocalSets local(b->live(), self_updates_not_uses);
        for (const StatementEntry& s : b->statements)
            local.statement(s.tree);
        b->live().def.subtract(b->live().use);
        b->live().in = b->live().use;
    }
    if (n == 0)
        return n;
    solve(graph);
    if (!self_updates_not_uses)
        for (BBLK* b : graph.layout_order())
            annotate_statements(b, n);
    return n;
}

} // namespace vx::flow
