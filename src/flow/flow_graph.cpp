#include "flow/flow_graph.h"

#include "driver/listing.h"
#include "flow/dominators.h"
#include "flow/loop_hierarchy.h"
#include "flow/reaching_definitions.h"
#include "ir/node_build.h"
#include "ir/tree_walk.h"
#include "support/check.h"

#include <algorithm>

namespace vx::flow {

void add_edge(EdgeList& list, BBLK* block) {
    if (has_edge(list, block))
        return;
    list.insert(list.begin(), Edge{block});
}

void append_edge(EdgeList& list, BBLK* block) {
    if (!has_edge(list, block))
        list.push_back(Edge{block});
}

bool remove_edge(EdgeList& list, BBLK* block) {
    auto at =
        std::find_if(list.begin(), list.end(), [&](const Edge& e) { return e.block == block; });
    if (at == list.end())
        return false;
    list.erase(at);
    return true;
}

bool has_edge(const EdgeList& list, const BBLK* block) {
    return std::any_of(list.begin(), list.end(), [&](const Edge& e) { return e.block == block; });
}

FlowGraph::FlowGraph(ir::FUNINFO& function_record, icode::FunctionBody& function_body)
    : function(function_record), body(function_body) {}

FlowGraph::~FlowGraph() = default;

// In front of `before` (last when it is null).  The prev links are kept
// while blocks are made so that an insertion costs no search.
void FlowGraph::link_in_layout(BBLK* block, BBLK* before) {
    layout_order_valid_ = false;
    BBLK* old_last = first != nullptr ? first->prev : nullptr;
    if (first != nullptr && (old_last == nullptr || old_last->next != nullptr))
        for (old_last = first; old_last->next != nullptr;)
            old_last = old_last->next;
    BBLK* after = nullptr;
    if (before == nullptr) {
        after = old_last;
    } else if (before != first) {
        after = before->prev;
        if (after == nullptr || after->next != before)
            for (after = first; after->next != before;)
                after = after->next;
    }
    block->next = before;
    if (after == nullptr) {
        block->next = first;
        first = block;
    } else {
        after->next = block;
    }
    block->prev = after;
    if (block->next != nullptr)
        block->next->prev = block;
    first->prev = block->next == nullptr ? block : old_last;
    block->in_layout = true;
}

// The chain keeps creation order: a block made in front of the chain's
// head (as the builder does, from the end of the function) goes first,
// any other at the end.
void FlowGraph::link_in_chain(BBLK* block, BBLK* before) {
    ++chain_edits_;
    if (chain == nullptr || (before != nullptr && before == chain)) {
        serials_off_chain_ = serials_off_chain_ || chain != nullptr;
        block->next_in_chain = chain;
        if (chain != nullptr)
            chain->prev_in_chain = block;
        chain = block;
        if (chain_tail_ == nullptr)
            chain_tail_ = block;
        return;
    }
    appended_since_uons_ += chain_edits_ - 1 - uons_given_at_ == appended_since_uons_ ? 1 : 0;
    block->prev_in_chain = chain_tail_;
    chain_tail_->next_in_chain = block;
    chain_tail_ = block;
}

bool FlowGraph::give_uons_to_appended_blocks() {
    if (!uons_given_ || chain_edits_ - uons_given_at_ != appended_since_uons_)
        return false;
    BBLK* first_appended = chain_tail_;
    for (uint64_t n = appended_since_uons_; n > 1; --n)
        first_appended = first_appended->prev_in_chain;
    uint32_t uon =
        first_appended->prev_in_chain != nullptr ? first_appended->prev_in_chain->uon : 0;
    for (BBLK* b = first_appended; b != nullptr; b = b->next_in_chain)
        b->uon = ++uon;
    note_uons_given();
    return true;
}

const std::vector<BBLK*>& FlowGraph::chain_blocks() {
    if (!serials_off_chain_)
        return blocks;
    blocks.clear();
    for (BBLK* b = chain; b != nullptr; b = b->next_in_chain) {
        b->serial = static_cast<uint32_t>(blocks.size());
        blocks.push_back(b);
    }
    serials_off_chain_ = false;
    return blocks;
}

void FlowGraph::order_serials_after_building() {
    std::reverse(blocks.begin(), blocks.end());
    const bool as_built =
        !blocks.empty() && blocks.front() == chain && blocks.back() == chain_tail_;
    if (!as_built) {
        // Not a fresh build: follow the chain after all.
        serials_off_chain_ = true;
        chain_blocks();
        return;
    }
    for (std::size_t i = 0; i < blocks.size(); ++i)
        blocks[i]->serial = static_cast<uint32_t>(i);
    serials_off_chain_ = false;
}

void FlowGraph::unlink_from_chain(BBLK* block) {
    ++chain_edits_;
    BBLK* before = block->prev_in_chain;
    BBLK* after = block->next_in_chain;
    (before != nullptr ? before->next_in_chain : chain) = after;
    (after != nullptr ? after->prev_in_chain : chain_tail_) = before;
    block->next_in_chain = block->prev_in_chain = nullptr;
}

// The first block's prev is the last block: both ends need care.
void FlowGraph::unlink_from_layout(BBLK* block) {
    if (!block->in_layout)
        return;
    layout_order_valid_ = false;
    BBLK* last = first->prev;
    BBLK* before = block == first ? nullptr : block->prev;
    BBLK* after = block->next;
    (before != nullptr ? before->next : first) = after;
    if (after != nullptr)
        after->prev = before;
    if (first != nullptr)
        first->prev = block == last ? before : last;
    block->next = block->prev = nullptr;
    block->in_layout = false;
}

BBLK* FlowGraph::make_block(StatementList statements, BBLK* before) {
    BBLK* block = block_pool_.make();
    block->serial = static_cast<uint32_t>(blocks.size());
    block->statements = std::move(statements);
    for (const StatementEntry& s : block->statements) {
        if (s.pos.line == 0)
            continue;
        if (block->first_line == 0)
            block->first_line = s.pos.line;
        block->last_line = s.pos.line;
    }
    blocks.push_back(block);

    link_in_layout(block, before);
    link_in_chain(block, before);
    note_change();
    return block;
}

void FlowGraph::destroy_block(BBLK* block) {
    unlink_from_chain(block);
    unlink_from_layout(block);
    for (const Edge& e : block->succs)
        remove_edge(e.block->preds, block);
    for (const Edge& e : block->preds)
        remove_edge(e.block->succs, block);
    for (LABEL_REC* label : block->labels)
        label->block = nullptr;
    if (exit == block)
        exit = nullptr;
    blocks[block->serial] = nullptr;
    // The record stays in its chunk; what it holds goes now.
    *block = BBLK{};
    note_change();
}

void FlowGraph::note_label_number(uint32_t number) {
    next_label_number_ = std::max(next_label_number_, number + 1);
}

bool LabelIndex::fits_table(uint32_t number) const {
    if (number < base_)
        return false;
    const uint32_t offset = number - base_;
    return offset < table_.size() || offset <= 4 * count_ + 1024;
}

// A number placed in the hash map stays there even when the table grows
// past it later, so both lookups ask the map when the table has nothing.
LABEL_REC*& LabelIndex::slot(uint32_t number) {
    if (!far_.empty())
        if (auto at = far_.find(number); at != far_.end())
            return at->second;
    if (!fits_table(number)) {
        ++count_;
        return far_.emplace(number, nullptr).first->second;
    }
    const uint32_t offset = number - base_;
    if (offset >= table_.size())
        table_.resize(std::max<std::size_t>(offset + 1, 2 * table_.size()), nullptr);
    count_ += table_[offset] == nullptr ? 1 : 0;
    return table_[offset];
}

LABEL_REC* LabelIndex::find(uint32_t number) const {
    if (number >= base_ && number - base_ < table_.size() && table_[number - base_] != nullptr)
        return table_[number - base_];
    if (far_.empty())
        return nullptr;
    auto at = far_.find(number);
    return at == far_.end() ? nullptr : at->second;
}

void LabelIndex::clear() {
    std::fill(table_.begin(), table_.end(), nullptr);
    far_.clear();
    count_ = 0;
    base_ = 0;
}

void LabelIndex::reserve(std::size_t labels) {
    if (table_.size() <= labels)
        table_.resize(labels + 1, nullptr);
}

void LabelIndex::start_at(uint32_t lowest) {
    if (count_ == 0)
        base_ = lowest;
}

LABEL_REC* FlowGraph::label_for_number(uint32_t number) {
    LABEL_REC*& slot = labels_.slot(number);
    if (slot == nullptr) {
        slot = &label_store_.emplace_back();
        slot->index = number;
        note_label_number(number);
    }
    return slot;
}

LABEL_REC* FlowGraph::find_label(uint32_t number) const {
    return labels_.find(number);
}

LABEL_REC* FlowGraph::new_label() {
    LABEL_REC* label = label_for_number(next_label_number_);
    label->made_by_graph = true;
    return label;
}

// Only transfers name labels, and a transfer is always a block's last
// statement.  Labels outside the layout list (their block was destroyed or
// merged) are numbered too, so that no two records ever share a number;
// 0 marks a label not numbered yet (DFNs start at 1).  One walk numbers
// the labels and the references: a reference to a block's first label
// takes the block's DFN at once, any other waits for the label's number.
void FlowGraph::renumber_labels(void (*visit_each)(BBLK*)) {
    forget_label_numbers();
    uint32_t next_other = block_count + 1;
    std::vector<NODE*> waiting;
    for_each_block_fetching_transfers(layout_order(), [&](BBLK* b) {
        if (visit_each != nullptr)
            visit_each(b);
        number_block_labels(b, next_other);
        for_each_target_ref(b->last_statement(), [&](NODE* ref) {
            const LABEL_REC* label = ref->label();
            if (label == nullptr)
                return;
            const BBLK* target = label->block;
            if (label->index != 0)
                ref->value = ir::Int96::from_unsigned(label->index);
            else if (target != nullptr && target->in_layout && target->first_label() == label)
                ref->value = ir::Int96::from_unsigned(target->dfn);
            else
                waiting.push_back(ref);
        });
    });
    finish_label_numbers(next_other);
    for (NODE* ref : waiting)
        ref->value = ir::Int96::from_unsigned(ref->label()->index);
}

void FlowGraph::forget_label_numbers() {
    for (LABEL_REC& label : label_store_)
        label.index = 0;
}

void FlowGraph::number_block_labels(BBLK* block, uint32_t& next_other) const {
    number_first_label(block);
    number_other_labels(block, next_other);
}

void FlowGraph::number_first_label(BBLK* block) {
    if (!block->labels.empty())
        block->labels.front()->index = block->dfn;
}

void FlowGraph::number_other_labels(BBLK* block, uint32_t& next_other) {
    for (std::size_t i = 1; i < block->labels.size(); ++i)
        block->labels[i]->index = next_other++;
}

void FlowGraph::finish_label_numbers(uint32_t next_other) {
    labels_.clear();
    labels_.reserve(label_store_.size());
    for (LABEL_REC& label : label_store_) {
        if (label.index == 0)
            label.index = next_other++;
        labels_.slot(label.index) = &label;
    }
    next_label_number_ = next_other;
}

LABEL_REC* FlowGraph::label_of(BBLK* block) {
    if (block->labels.empty()) {
        LABEL_REC* label = new_label();
        label->block = block;
        block->labels.push_back(label);
    }
    return block->labels.front();
}

NODE* FlowGraph::label_ref(LABEL_REC* label) {
    NODE* ref = ir::make_label_ref(label->index);
    ref->set_label(label);
    return ref;
}

NODE* FlowGraph::branch_to(BBLK* block) {
    return ir::make_node(ir::BRANCH, nullptr, label_ref(label_of(block)));
}

const std::vector<BBLK*>& FlowGraph::layout_order() const {
    if (!layout_order_valid_) {
        layout_order_.clear();
        for (BBLK* b = first; b != nullptr; b = b->next)
            layout_order_.push_back(b);
        layout_order_valid_ = true;
    }
    return layout_order_;
}

void FlowGraph::set_layout_order(std::vector<BBLK*> order) {
    layout_order_ = std::move(order);
    layout_order_valid_ = true;
}

BBLK* FlowGraph::block_at_dfn(uint32_t dfn) const {
    for (BBLK* b = first; b != nullptr; b = b->next)
        if (b->dfn == dfn)
            return b;
    return nullptr;
}

bool is_transfer(const NODE* statement) {
    if (statement == nullptr)
        return false;
    switch (statement->op) {
    case ir::BRANCH:
    case ir::IF:
    case ir::SWITCH:
    case ir::RETURN:
    case ir::URETURN:
        return true;
    default:
        return false;
    }
}

std::vector<LABEL_REC*> transfer_targets(const NODE* statement) {
    std::vector<LABEL_REC*> targets;
    for_each_target_ref(const_cast<NODE*>(statement), [&](const NODE* ref) {
        if (ref->label() != nullptr)
            targets.push_back(ref->label());
    });
    return targets;
}

int retarget_label_refs(NODE* statement, const BBLK* from, LABEL_REC* to) {
    int changed = 0;
    for_each_target_ref(statement, [&](NODE* ref) {
        if (ref->label() != nullptr && ref->label()->block == from) {
            ref->value = ir::Int96::from_unsigned(to->index);
            ref->set_label(to);
            ++changed;
        }
    });
    return changed;
}

FunctionArenaScope::FunctionArenaScope(ir::FUNINFO& function)
    : saved_(ir::node_environment().arena) {
    ir::node_environment().arena = &function.arena;
}

FunctionArenaScope::~FunctionArenaScope() {
    ir::node_environment().arena = saved_;
}

FlowContext& flow_context() {
    static FlowContext context;
    return context;
}

void reset_flow_context() {
    flow_context() = FlowContext{};
}

FlowGraph* current_flow_graph() {
    return flow_context().graph.get();
}

FlowGraph& build_flow_graph(ir::FUNINFO& function, icode::FunctionBody& body,
                            const BuildOptions& options) {
    FlowContext& context = flow_context();
    context.graph = std::make_unique<FlowGraph>(function, body);
    FlowGraph& graph = *context.graph;
    graph.options = options;
    build_blocks(graph);
    build_edges_and_number(graph);
    function.has_flow_graph = true;
    return graph;
}

void renumber_flow_graph(FlowGraph& graph) {
    const BuildOptions saved = graph.options;
    graph.options.remove_tail_recursion = false;
    build_edges_and_number(graph);
    graph.options = saved;
}

void dump_current_flow_graph() {
    if (FlowGraph* graph = current_flow_graph(); graph != nullptr && driver::tracing())
        driver::debug_printf("%s", flow_graph_text(*graph).c_str());
}

} // namespace vx::flow
