// Dominators by the iterative "simple, fast" algorithm of Cooper, Harvey
// and Kennedy over a depth-first order; postdominators by the same
// algorithm over the reversed graph, from every exit block.
#include "flow/dominators.h"

#include "driver/listing.h"
#include "flow/liveness.h"
#include "support/check.h"

namespace vx::flow {

namespace {

// Depth first from each start over `next_of` edges, appending each block
// when first reached.  Iterative: deep graphs cost no stack.
template <typename Edges>
std::vector<BBLK*> depth_first(const std::vector<BBLK*>& starts, Edges next_of) {
    std::vector<BBLK*> order;
    std::vector<std::pair<BBLK*, std::size_t>> stack;
    for (BBLK* start : starts) {
        if (start->visited)
            continue;
        start->visited = true;
        order.push_back(start);
        stack.push_back({start, 0});
        while (!stack.empty()) {
            auto& [block, cursor] = stack.back();
            const EdgeList& edges = next_of(block);
            if (cursor == edges.size()) {
                stack.pop_back();
                continue;
            }
            BBLK* next = edges[cursor++].block;
            if (next->visited)
                continue;
            next->visited = true;
            order.push_back(next);
            stack.push_back({next, 0});
        }
    }
    for (BBLK* b : order)
        b->visited = false;
    return order;
}

// Preorder of a tree given as child lists, from `roots`.
std::vector<BBLK*> tree_preorder(const std::vector<BBLK*>& roots,
                                 const std::vector<std::vector<BBLK*>>& children) {
    std::vector<BBLK*> order;
    std::vector<BBLK*> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        BBLK* b = stack.back();
        stack.pop_back();
        order.push_back(b);
        const std::vector<BBLK*>& kids = children[b->dfn];
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return order;
}

} // namespace

Dominator::Dominator(FlowGraph& graph) : graph_(graph) {
    driver::debug_printf(" ==== Entering Dominator constructor ====\n");
    build();
    driver::debug_printf(" ==== Exiting Dominator constructor ====\n");
}

void Dominator::rebuild() {
    driver::debug_printf(" ==== Entering Dominator rebuild ====\n");
    build();
    driver::debug_printf(" ==== Exiting Dominator rebuild ====\n");
}

void Dominator::ensure_fresh() {
    if (dirty_ || n_ != graph_.block_count || built_version_ != graph_.version)
        rebuild();
}

void Dominator::build() {
    dirty_ = false;
    built_version_ = graph_.version;
    n_ = graph_.block_count;
    idom_.assign(n_ + 2, unknown);
    ipdom_.assign(n_ + 2, unknown);
    block_of_.assign(n_ + 2, nullptr);
    dom_children_.assign(n_ + 2, {});
    postdom_children_.assign(n_ + 2, {});
    order_.assign(n_ + 2, 0);
    reverse_order_numbers_.assign(n_ + 2, 0);
    reverse_order_numbers_[n_ + 1] = n_ + 1;

    std::vector<BBLK*> entries, exits;
    collect_blocks(entries, exits);
    const std::vector<BBLK*> forward = forward_order(entries);
    iterate_dominators(forward);

    std::vector<bool> fixed(n_ + 2, false);
    for (BBLK* b : exits)
        fixed[b->dfn] = true;
    if (exits.empty()) {
        // The function never returns: blocks that close a cycle with a
        // single backward jump serve as its exits.
        for (BBLK* b : forward) {
            if (b->succs.size() == 1 && b->succs.front().block->dfn <= b->dfn) {
                ipdom_[b->dfn] = static_cast<int32_t>(n_ + 1);
                fixed[b->dfn] = true;
                exits.push_back(b);
            }
        }
    }
    const std::vector<BBLK*> backward = reverse_order(exits);
    iterate_postdominators(backward, fixed);
    make_trees(exits);
    repair();
}

void Dominator::collect_blocks(std::vector<BBLK*>& entries, std::vector<BBLK*>& exits) {
    for (BBLK* b = graph_.first; b != nullptr; b = b->next) {
        VX_CHECK(b->dfn >= 1 && b->dfn <= n_);
        block_of_[b->dfn] = b;
        if (b->succs.empty()) {
            ipdom_[b->dfn] = static_cast<int32_t>(n_ + 1);
            exits.push_back(b);
        }
        if (b->preds.empty()) {
            idom_[b->dfn] = 0;
            entries.push_back(b);
        }
    }
}

std::vector<BBLK*> Dominator::forward_order(const std::vector<BBLK*>& entries) {
    std::vector<BBLK*> order =
        depth_first(entries, [](BBLK* b) -> const EdgeList& { return b->succs; });
    for (std::size_t i = 0; i < order.size(); ++i)
        order_[order[i]->dfn] = static_cast<uint32_t>(i + 1);
    return order;
}

std::vector<BBLK*> Dominator::reverse_order(const std::vector<BBLK*>& exits) {
    std::vector<BBLK*> order =
        depth_first(exits, [](BBLK* b) -> const EdgeList& { return b->preds; });
    for (std::size_t i = 0; i < order.size(); ++i)
        reverse_order_numbers_[order[i]->dfn] = static_cast<uint32_t>(n_ - i);
    return order;
}

bool known(int32_t value) {
    return value != Dominator::unknown;
}

int32_t Dominator::intersect_dom(int32_t x, int32_t y) const {
    while (order_[x] != order_[y]) {
        while (order_[x] < order_[y]) {
            y = idom_[y];
            if (!known(y))
                return unknown;
        }
        while (order_[y] < order_[x]) {
            x = idom_[x];
            if (!known(x))
                return unknown;
        }
    }
    return x;
}

int32_t Dominator::intersect_postdom(int32_t x, int32_t y) const {
    while (reverse_order_numbers_[x] != reverse_order_numbers_[y]) {
        while (reverse_order_numbers_[x] < reverse_order_numbers_[y]) {
            x = ipdom_[x];
            if (!known(x))
                return unknown;
        }
        while (reverse_order_numbers_[y] < reverse_order_numbers_[x]) {
            y = ipdom_[y];
            if (!known(y))
                return unknown;
        }
    }
    return x;
}

void Dominator::iterate_dominators(const std::vector<BBLK*>& order) {
    for (bool changed = true; changed;) {
        changed = false;
        for (BBLK* b : order) {
            int32_t candidate = unknown;
            if (b->preds.empty()) {
                candidate = 0;
            } else {
                for (const Edge& e : b->preds) {
                    const int32_t p = static_cast<int32_t>(e.block->dfn);
                    if (!known(idom_[p]))
                        continue;
                    candidate = known(candidate) ? intersect_dom(p, candidate) : p;
                    if (!known(candidate) || !known(idom_[candidate]))
                        break;
                }
            }
            if (!known(candidate) || candidate == idom_[b->dfn])
                continue;
            if (candidate != 0 && !known(idom_[candidate]))
                continue;
            idom_[b->dfn] = candidate;
            changed = true;
        }
    }
}

void Dominator::iterate_postdominators(const std::vector<BBLK*>& order,
                                       const std::vector<bool>& fixed) {
    const int32_t virtual_exit = static_cast<int32_t>(n_ + 1);
    for (bool changed = true; changed;) {
        changed = false;
        for (BBLK* b : order) {
            if (fixed[b->dfn])
                continue;
            int32_t candidate = unknown;
            for (const Edge& e : b->succs) {
                const int32_t s = static_cast<int32_t>(e.block->dfn);
                if (!known(ipdom_[s]))
                    continue;
                candidate = known(candidate) ? intersect_postdom(s, candidate) : s;
                if (!known(candidate) || (candidate != virtual_exit && !known(ipdom_[candidate])))
                    break;
            }
            if (!known(candidate) || candidate == ipdom_[b->dfn])
                continue;
            if (candidate != virtual_exit && !known(ipdom_[candidate]))
                continue;
            ipdom_[b->dfn] = candidate;
            changed = true;
        }
    }
}

void Dominator::make_trees(const std::vector<BBLK*>& exits) {
    for (BBLK* b = graph_.first; b != nullptr; b = b->next) {
        const int32_t d = idom_[b->dfn];
        if (known(d)) {
            VX_CHECK(d >= 0 && static_cast<uint32_t>(d) <= n_);
            dom_children_[d].push_back(b);
        }
        const int32_t p = ipdom_[b->dfn];
        if (known(p)) {
            VX_CHECK(p >= 1 && static_cast<uint32_t>(p) <= n_ + 1);
            postdom_children_[p].push_back(b);
        }
    }
    dom_preorder_.clear();
    if (graph_.first != nullptr)
        dom_preorder_ = tree_preorder({graph_.first}, dom_children_);
    // Every child of the virtual exit starts a subtree: the exits, and the
    // blocks that no single block postdominates.
    (void)exits;
    postdom_preorder_ = tree_preorder(postdom_children_[n_ + 1], postdom_children_);
}

void Dominator::repair() {
    for (uint32_t dfn = 1; dfn <= n_; ++dfn) {
        if (!known(idom_[dfn]) || (idom_[dfn] == 0 && dfn != 1)) {
            driver::debug_printf("**** >>>> WARNING: BB%d doesn't have a dominator\n",
                                 static_cast<int>(dfn));
            idom_[dfn] = 1;
        }
        if (!known(ipdom_[dfn])) {
            driver::debug_printf("**** >>>> WARNING: BB%d doesn't have a postdominator\n",
                                 static_cast<int>(dfn));
            ipdom_[dfn] = static_cast<int32_t>(n_ + 1);
        }
    }
}

BBLK* Dominator::idom(uint32_t dfn) {
    ensure_fresh();
    if (dfn < 1 || dfn > n_)
        return nullptr;
    const int32_t d = idom_[dfn];
    return d >= 1 && static_cast<uint32_t>(d) <= n_ ? block_of_[d] : nullptr;
}

BBLK* Dominator::ipdom(const BBLK* block) {
    ensure_fresh();
    const uint32_t dfn = block->dfn;
    if (dfn < 1 || dfn > n_)
        return nullptr;
    const int32_t p = ipdom_[dfn];
    return p >= 1 && static_cast<uint32_t>(p) <= n_ ? block_of_[p] : nullptr;
}

bool Dominator::dominates(uint32_t a, uint32_t b) {
    ensure_fresh();
    if (a == b)
        return true;
    int64_t current = b;
    for (uint32_t steps = 0; steps <= n_ + 1; ++steps) {
        if (current < 1 || current > n_)
            return false;
        current = idom_[current];
        if (current == a)
            return true;
    }
    return false;
}

bool Dominator::postdominates(uint32_t a, uint32_t b) {
    ensure_fresh();
    if (a == b)
        return true;
    int64_t current = b;
    for (uint32_t steps = 0; steps <= n_ + 1; ++steps) {
        if (current < 1 || current > n_)
            return false;
        current = ipdom_[current];
        if (current == a)
            return true;
    }
    return false;
}

int32_t Dominator::idom_number(uint32_t dfn) {
    ensure_fresh();
    return dfn < idom_.size() ? idom_[dfn] : unknown;
}

int32_t Dominator::ipdom_number(uint32_t dfn) {
    ensure_fresh();
    return dfn < ipdom_.size() ? ipdom_[dfn] : unknown;
}

const std::vector<BBLK*>& Dominator::dominator_preorder() {
    ensure_fresh();
    return dom_preorder_;
}

const std::vector<BBLK*>& Dominator::postdominator_preorder() {
    ensure_fresh();
    return postdom_preorder_;
}

const std::vector<BBLK*>& Dominator::dominator_children(uint32_t dfn) {
    ensure_fresh();
    return dom_children_.at(dfn);
}

const std::vector<BBLK*>& Dominator::postdominator_children(uint32_t dfn) {
    ensure_fresh();
    return postdom_children_.at(dfn);
}

Dominator& compute_dominators(FlowGraph& graph, bool with_liveness) {
    if (graph.dominator == nullptr)
        graph.dominator = std::make_unique<Dominator>(graph);
    else
        graph.dominator->rebuild();
    if (with_liveness)
        find_live_variables(graph, false, false);
    return *graph.dominator;
}

} // namespace vx::flow
