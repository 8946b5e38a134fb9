// Dominators by the iterative "simple, fast" algorithm of Cooper, Harvey
// and Kennedy over a depth-first order; postdominators by the same
// algorithm over the reversed graph, from every exit block.
#include "flow/dominators.h"

#include "driver/listing.h"
#include "flow/liveness.h"
#include "support/check.h"

#include <algorithm>

namespace vx::flow {

namespace {

// The preorder of the tree that `parent` describes (by DFN, children in
// DFN order), from `roots`.  Works on numbers only, so that it reads no
// block record.
std::vector<uint32_t> tree_preorder(const std::vector<int32_t>& parent,
                                    const std::vector<uint32_t>& roots, uint32_t n) {
    std::vector<uint32_t> start(n + 3, 0);
    for (uint32_t dfn = 1; dfn <= n; ++dfn)
        if (parent[dfn] >= 0 && static_cast<uint32_t>(parent[dfn]) <= n + 1)
            ++start[parent[dfn] + 1];
    for (uint32_t i = 1; i < start.size(); ++i)
        start[i] += start[i - 1];
    std::vector<uint32_t> children(start.back());
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (uint32_t dfn = 1; dfn <= n; ++dfn)
        if (parent[dfn] >= 0 && static_cast<uint32_t>(parent[dfn]) <= n + 1)
            children[fill[parent[dfn]]++] = dfn;
    std::vector<uint32_t> order;
    order.reserve(n);
    std::vector<uint32_t> stack(roots.rbegin(), roots.rend());
    while (!stack.empty()) {
        const uint32_t dfn = stack.back();
        stack.pop_back();
        order.push_back(dfn);
        for (uint32_t i = start[dfn + 1]; i-- > start[dfn];)
            stack.push_back(children[i]);
    }
    return order;
}

} // namespace

// The edges as DFN arrays, made once per build: the iterations then read
// small contiguous tables instead of chasing block records all over the
// heap, which is what made large functions slower than linear.  Blocks are
// added in DFN order; `start` of a block not added (a DFN that no block
// has) stays empty.
void Dominator::Adjacency::add(uint32_t dfn, const EdgeList& edges) {
    start[dfn] = static_cast<uint32_t>(targets.size());
    for (const Edge& e : edges)
        targets.push_back(e.block->dfn);
    start[dfn + 1] = static_cast<uint32_t>(targets.size());
}

void Dominator::Adjacency::finish(uint32_t n) {
    for (uint32_t dfn = 1; dfn <= n + 1; ++dfn)
        start[dfn] = std::max(start[dfn], start[dfn - 1]);
}

// Depth first from each start over `edges`, appending each DFN when first
// reached.  Iterative: deep graphs cost no stack.
std::vector<uint32_t> Dominator::depth_first(const std::vector<uint32_t>& starts,
                                             const Adjacency& edges) const {
    std::vector<uint32_t> order;
    order.reserve(n_);
    std::vector<char> seen(n_ + 2, 0);
    std::vector<std::pair<uint32_t, uint32_t>> stack; // DFN, next edge
    for (uint32_t start : starts) {
        if (seen[start])
            continue;
        seen[start] = 1;
        order.push_back(start);
        stack.push_back({start, edges.start[start]});
        while (!stack.empty()) {
            auto& [dfn, cursor] = stack.back();
            if (cursor == edges.start[dfn + 1]) {
                stack.pop_back();
                continue;
            }
            const uint32_t next = edges.targets[cursor++];
            if (seen[next])
                continue;
            seen[next] = 1;
            order.push_back(next);
            stack.push_back({next, edges.start[next]});
        }
    }
    return order;
}

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
    succs_.finish(n_);
    preds_.finish(n_);
    const std::vector<uint32_t> forward = forward_order(entries);
    iterate_dominators(forward);

    std::vector<bool> fixed(n_ + 2, false);
    for (BBLK* b : exits)
        fixed[b->dfn] = true;
    if (exits.empty()) {
        // The function never returns: blocks that close a cycle with a
        // single backward jump serve as its exits.
        for (uint32_t dfn : forward) {
            if (succs_.count(dfn) == 1 && succs_.targets[succs_.start[dfn]] <= dfn) {
                ipdom_[dfn] = static_cast<int32_t>(n_ + 1);
                fixed[dfn] = true;
                exits.push_back(block_of_[dfn]);
            }
        }
    }
    const std::vector<uint32_t> backward = reverse_order(exits);
    iterate_postdominators(backward, fixed);
    make_trees(exits);
    repair();
    succs_ = {};
    preds_ = {};
}

// One walk of the layout list: the block table and both edge tables.
void Dominator::collect_blocks(std::vector<BBLK*>& entries, std::vector<BBLK*>& exits) {
    succs_.start.assign(n_ + 2, 0);
    preds_.start.assign(n_ + 2, 0);
    succs_.targets.clear();
    preds_.targets.clear();
    uint32_t position = 0;
    bool in_order = true;
    for (BBLK* b : graph_.layout_order()) {
        VX_CHECK(b->dfn >= 1 && b->dfn <= n_);
        block_of_[b->dfn] = b;
        in_order = in_order && b->dfn == ++position;
        if (in_order) {
            succs_.add(b->dfn, b->succs);
            preds_.add(b->dfn, b->preds);
        }
        if (b->succs.empty()) {
            ipdom_[b->dfn] = static_cast<int32_t>(n_ + 1);
            exits.push_back(b);
        }
        if (b->preds.empty()) {
            idom_[b->dfn] = 0;
            entries.push_back(b);
        }
    }
    if (in_order)
        return;
    // Numbers not in layout order (blocks added since the numbering): the
    // tables are filled by number instead.
    succs_.targets.clear();
    preds_.targets.clear();
    std::fill(succs_.start.begin(), succs_.start.end(), 0);
    std::fill(preds_.start.begin(), preds_.start.end(), 0);
    for (uint32_t dfn = 1; dfn <= n_; ++dfn) {
        if (block_of_[dfn] == nullptr)
            continue;
        succs_.add(dfn, block_of_[dfn]->succs);
        preds_.add(dfn, block_of_[dfn]->preds);
    }
}

std::vector<uint32_t> Dominator::forward_order(const std::vector<BBLK*>& entries) {
    std::vector<uint32_t> starts;
    for (const BBLK* b : entries)
        starts.push_back(b->dfn);
    std::vector<uint32_t> order = depth_first(starts, succs_);
    for (std::size_t i = 0; i < order.size(); ++i)
        order_[order[i]] = static_cast<uint32_t>(i + 1);
    return order;
}

std::vector<uint32_t> Dominator::reverse_order(const std::vector<BBLK*>& exits) {
    std::vector<uint32_t> starts;
    for (const BBLK* b : exits)
        starts.push_back(b->dfn);
    std::vector<uint32_t> order = depth_first(starts, preds_);
    for (std::size_t i = 0; i < order.size(); ++i)
        reverse_order_numbers_[order[i]] = static_cast<uint32_t>(n_ - i);
    return order;
}

bool known(int32_t value) {
    return value != Dominator::unknown;
}

// Climbs from x and y towards the root of the tree given by `parent` until
// they meet; `higher(a, b)` tells that a lies farther from the root than b.
template <typename Higher>
int32_t climb_to_common(int32_t x, int32_t y, const std::vector<int32_t>& parent, Higher higher) {
    while (higher(x, y) || higher(y, x)) {
        while (higher(y, x)) {
            y = parent[y];
            if (!known(y))
                return Dominator::unknown;
        }
        while (higher(x, y)) {
            x = parent[x];
            if (!known(x))
                return Dominator::unknown;
        }
    }
    return x;
}

int32_t Dominator::intersect_dom(int32_t x, int32_t y) const {
    return climb_to_common(x, y, idom_,
                           [this](int32_t a, int32_t b) { return order_[a] > order_[b]; });
}

// Postdominator numbers grow towards the exit, the tree's root.
int32_t Dominator::intersect_postdom(int32_t x, int32_t y) const {
    return climb_to_common(x, y, ipdom_, [this](int32_t a, int32_t b) {
        return reverse_order_numbers_[a] < reverse_order_numbers_[b];
    });
}

void Dominator::iterate_dominators(const std::vector<uint32_t>& order) {
    for (bool changed = true; changed;) {
        changed = false;
        for (uint32_t b : order) {
            int32_t candidate = unknown;
            if (preds_.count(b) == 0) {
                candidate = 0;
            } else {
                for (uint32_t e = preds_.start[b]; e < preds_.start[b + 1]; ++e) {
                    const int32_t p = static_cast<int32_t>(preds_.targets[e]);
                    if (!known(idom_[p]))
                        continue;
                    candidate = known(candidate) ? intersect_dom(p, candidate) : p;
                    if (!known(candidate) || !known(idom_[candidate]))
                        break;
                }
            }
            if (!known(candidate) || candidate == idom_[b])
                continue;
            if (candidate != 0 && !known(idom_[candidate]))
                continue;
            idom_[b] = candidate;
            changed = true;
        }
    }
}

void Dominator::iterate_postdominators(const std::vector<uint32_t>& order,
                                       const std::vector<bool>& fixed) {
    const int32_t virtual_exit = static_cast<int32_t>(n_ + 1);
    for (bool changed = true; changed;) {
        changed = false;
        for (uint32_t b : order) {
            if (fixed[b])
                continue;
            int32_t candidate = unknown;
            for (uint32_t e = succs_.start[b]; e < succs_.start[b + 1]; ++e) {
                const int32_t s = static_cast<int32_t>(succs_.targets[e]);
                if (!known(ipdom_[s]))
                    continue;
                candidate = known(candidate) ? intersect_postdom(s, candidate) : s;
                if (!known(candidate) || (candidate != virtual_exit && !known(ipdom_[candidate])))
                    break;
            }
            if (!known(candidate) || candidate == ipdom_[b])
                continue;
            if (candidate != virtual_exit && !known(ipdom_[candidate]))
                continue;
            ipdom_[b] = candidate;
            changed = true;
        }
    }
}

// In DFN order, which is the layout order of a numbered graph.
void Dominator::make_trees(const std::vector<BBLK*>& exits) {
    std::vector<uint32_t> postdom_roots;
    for (uint32_t dfn = 1; dfn <= n_; ++dfn) {
        BBLK* b = block_of_[dfn];
        const int32_t d = idom_[dfn];
        if (known(d)) {
            VX_CHECK(d >= 0 && static_cast<uint32_t>(d) <= n_);
            dom_children_[d].push_back(b);
        }
        const int32_t p = ipdom_[dfn];
        if (known(p)) {
            VX_CHECK(p >= 1 && static_cast<uint32_t>(p) <= n_ + 1);
            postdom_children_[p].push_back(b);
            if (static_cast<uint32_t>(p) == n_ + 1)
                postdom_roots.push_back(dfn);
        }
    }
    auto blocks_of = [&](const std::vector<uint32_t>& dfns) {
        std::vector<BBLK*> blocks;
        blocks.reserve(dfns.size());
        for (uint32_t dfn : dfns)
            blocks.push_back(block_of_[dfn]);
        return blocks;
    };
    dom_preorder_.clear();
    if (graph_.first != nullptr)
        dom_preorder_ = blocks_of(tree_preorder(idom_, {graph_.first->dfn}, n_));
    // Every child of the virtual exit starts a subtree: the exits, and the
    // blocks that no single block postdominates.
    (void)exits;
    postdom_preorder_ = blocks_of(tree_preorder(ipdom_, postdom_roots, n_));
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

// True when `a` is met climbing from `b` through `parent` (the immediate
// dominators or postdominators by DFN).  The climb is bounded, so a
// damaged tree cannot make it endless.
bool Dominator::climbs_to(const std::vector<int32_t>& parent, uint32_t a, uint32_t b) {
    ensure_fresh();
    if (a == b)
        return true;
    int64_t current = b;
    for (uint32_t steps = 0; steps <= n_ + 1; ++steps) {
        if (current < 1 || current > n_)
            return false;
        current = parent[current];
        if (current == a)
            return true;
    }
    return false;
}

bool Dominator::dominates(uint32_t a, uint32_t b) {
    return climbs_to(idom_, a, b);
}

bool Dominator::postdominates(uint32_t a, uint32_t b) {
    return climbs_to(ipdom_, a, b);
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
