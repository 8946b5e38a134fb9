// Delayed assignments: an assignment to a candidate near the end of a block
// that branches is moved into the successors that read the value, so that
// the other paths skip it (partially dead code).
//
// Only cheap, pure right sides move: constants, candidates and arithmetic
// that cannot fault.  Their operands are locals whose address is never
// taken, so nothing after the assignment but a direct store changes them;
// the statements after it in the block (the transfer included, and the
// statements moved before it) must neither read nor write the target nor
// write an operand.
#include "driver/listing.h"
#include "flow/liveness.h"
#include "flow/loop_hierarchy.h"
#include "ir/node_build.h"
#include "ir/tree_walk.h"

#include <map>

namespace vx::flow {

namespace {

int candidate_of(const NODE* node) {
    if (node == nullptr || node->op != ir::NAME || node->sym() == nullptr)
        return -1;
    return node->sym()->candidate;
}

bool is_integral(const ir::TYPE* type) {
    return type != nullptr && (type->is_integer() || type->is_enum());
}

bool is_store(ir::Opcode op) {
    return ir::stores_into_left(op);
}

// Pure integer arithmetic that cannot fault and reads no memory but
// candidates.
bool is_movable_value(const NODE* tree) {
    bool movable = true;
    ir::walk_tree(tree, [&](const NODE* node) {
        if (!is_integral(node->type)) {
            movable = false;
            return;
        }
        switch (node->op) {
        case ir::ICON:
        case ir::PLUS:
        case ir::MINUS:
        case ir::MULT:
        case ir::ANDB:
        case ir::ORB:
        case ir::XORB:
        case ir::UMINUS:
        case ir::NOTB:
        case ir::EXCLAIM:
        case ir::SCONV:
        case ir::EQ:
        case ir::NEQ:
        case ir::LT:
        case ir::LE:
        case ir::GT:
        case ir::GE:
        case ir::ULT:
        case ir::ULE:
        case ir::UGT:
        case ir::UGE:
            return;
        case ir::NAME:
            movable = movable && candidate_of(node) >= 0;
            return;
        default:
            movable = false;
            return;
        }
    });
    return movable;
}

// The candidates a statement reads and the ones it may write.
struct Access {
    BITVEC reads, writes;
};

Access access_of(const NODE* tree, uint32_t n) {
    Access access{BITVEC(n), BITVEC(n)};
    ir::walk_tree(tree, [&](const NODE* node) {
        const int c = candidate_of(node);
        if (c >= 0)
            access.reads.add(static_cast<uint32_t>(c));
        const int target = is_store(node->op) ? candidate_of(node->left) : -1;
        if (target >= 0)
            access.writes.add(static_cast<uint32_t>(target));
    });
    return access;
}

bool intersects(const BITVEC& a, const BITVEC& b) {
    BITVEC both(a.size());
    both.and3(a, b);
    return both.count() != 0;
}

// The statements moved out of one block, per successor, in execution order.
// Successors keep the order in which they were first named: a map keyed by
// address would make the new blocks' order depend on where the blocks
// happen to sit in memory.
using Moves = std::vector<std::pair<BBLK*, StatementList>>;

StatementList& moves_into(Moves& moves, BBLK* successor) {
    for (auto& [block, list] : moves)
        if (block == successor)
            return list;
    return moves.emplace_back(successor, StatementList{}).second;
}

class Delayer {
public:
    explicit Delayer(FlowGraph& graph)
        : g_(graph), n_(static_cast<uint32_t>(graph.lva_candidates.size())) {}
    bool run();

private:
    void delay_in(BBLK* b);
    bool place(BBLK* b, BBLK* successor, StatementList statements);

    FlowGraph& g_;
    uint32_t n_;
    bool cfg_changed_ = false;
    bool can_split_ = false;
};

bool Delayer::run() {
    can_split_ = g_.loops == nullptr;
    for (BBLK* b : g_.layout())
        if (b->succs.size() >= 2 && b->has_live_sets)
            delay_in(b);
    if (cfg_changed_)
        renumber_flow_graph(g_);
    return cfg_changed_;
}

void Delayer::delay_in(BBLK* b) {
    StatementList& statements = b->statements;
    // What the statements after the one looked at read and write.
    Access later = access_of(statements.back().tree, n_);
    Moves moves;
    for (std::size_t i = statements.size() - 1; i-- > 0;) {
        const NODE* tree = statements[i].tree;
        const Access here = access_of(tree, n_);
        const int c = tree->op == ir::ASG ? candidate_of(tree->left) : -1;
        bool movable = c >= 0 && is_movable_value(tree->right) &&
                       !later.reads.test(static_cast<uint32_t>(c)) &&
                       !later.writes.test(static_cast<uint32_t>(c)) &&
                       !intersects(here.reads, later.writes);
        std::vector<BBLK*> readers;
        if (movable) {
            for (const Edge& e : b->succs)
                if (!e.block->has_live_sets || e.block->live().in.test(static_cast<uint32_t>(c)))
                    readers.push_back(e.block);
            movable = readers.size() < b->succs.size();
            for (BBLK* s : readers)
                movable = movable && s != b && (s->preds.size() == 1 || can_split_);
        }
        later.reads.merge(here.reads);
        later.writes.merge(here.writes);
        if (!movable)
            continue;
        driver::debug_printf("\tDelaying assignment to candidate %d into %d successor(s)\n", c,
                             static_cast<int>(readers.size()));
        for (std::size_t k = 0; k < readers.size(); ++k) {
            StatementEntry copy = statements[i];
            if (k > 0)
                copy.tree = ir::copy_tree(copy.tree);
            StatementList& list = moves_into(moves, readers[k]);
            list.insert(list.begin(), copy);
        }
        statements.erase(statements.begin() + static_cast<std::ptrdiff_t>(i));
    }
    for (auto& [successor, list] : moves)
        place(b, successor, std::move(list));
}

// At the start of a successor that only `b` enters, else in a new block on
// the edge.
bool Delayer::place(BBLK* b, BBLK* successor, StatementList statements) {
    if (successor->preds.size() == 1) {
        successor->statements.insert(successor->statements.begin(), statements.begin(),
                                     statements.end());
        return false;
    }
    statements.push_back(StatementEntry{g_.branch_to(successor), statements.back().pos});
    BBLK* edge = g_.make_block(std::move(statements), successor);
    retarget_label_refs(b->last_statement(), successor, g_.label_of(edge));
    cfg_changed_ = true;
    return true;
}

} // namespace

bool delay_assignments(FlowGraph& graph) {
    driver::debug_printf("\n\n\t\t\t---------- ENTERING 'delay_assignments' ----------\n");
    if (graph.lva_candidates.empty())
        return false;
    FunctionArenaScope arena(graph.function);
    return Delayer(graph).run();
}

} // namespace vx::flow
