#include "icode/writer_client_trees.h"

#include "icode/opcode_table.h"
#include "icode/writer.h"
#include "ir/function_info.h"
#include "ir/symbol_table.h"
#include "ir/type.h"
#include "support/check.h"

#include <array>
#include <cstdio>

namespace vx::icode {

namespace {

using ir::NODE;

constexpr uint32_t kNoSymbolLevel = 4294967295u;

[[noreturn]] void unwritable_opcode(int op) {
    std::fprintf(stderr, "\n\n   !!! Error in 'wrtree', opcode=%d %s !!!\n", op,
                 ir::opcode_print_name(op));
    std::fflush(stderr);
    check_failed("wrtree", __FILE__, __LINE__);
}

bool is_vector_type(const ir::TYPE* type) {
    return type != nullptr && type->is_vector();
}

// The function named by `UAND(NAME f)`, or nullptr.
ir::Symbol* addressed_function(const NODE* node) {
    if (node == nullptr || node->op != ir::UAND || node->left == nullptr ||
        node->left->op != ir::NAME)
        return nullptr;
    ir::Symbol* symbol = node->left->sym();
    return symbol != nullptr && ir::is_function(*symbol) ? symbol : nullptr;
}

// An ICON that needs more than the 32 bits an ICON record holds.
bool needs_decimal_text(const NODE* node) {
    if (node->type == nullptr || node->type->size() <= 32)
        return false;
    const ir::Int96 value = node->value_for_type();
    const uint32_t low = value.low32();
    const ir::Int96 extended = ir::integer_shape_of(node->type).is_signed
                                   ? ir::Int96::from_signed(static_cast<int32_t>(low))
                                   : ir::Int96::from_unsigned(low);
    return value != extended;
}

// The opcodes that wrtree changes, checks or takes note of: most nodes are
// none of them and pass with one look.
constexpr std::array<bool, 256> kWrtreeOpcodes = [] {
    std::array<bool, 256> opcodes{};
    for (ir::Opcode op : {ir::NAME, ir::UAND, ir::CALL, ir::UCALL, ir::VSCONV, ir::VRCONV,
                          ir::ISP2CHAR, ir::ASSERT})
        opcodes[op] = true;
    for (int op = ir::first_internal_opcode; op < 256; ++op)
        opcodes[static_cast<size_t>(op)] = true;
    return opcodes;
}();

} // namespace

TreeEncoder::TreeEncoder(IcodeWriter& writer, std::string function_name)
    : writer_(writer), function_name_(std::move(function_name)),
      keep_ids_(debug_keep_node_ids.is_set()), listing_(writer.listing() != nullptr) {}

void TreeEncoder::reset() {
    last_type_ = nullptr;
    nodes_.clear();
    sources_.clear();
    starts_.clear();
    texts_.clear();
}

Tree TreeEncoder::tree(size_t number) const {
    const size_t end = number + 1 < starts_.size() ? starts_[number + 1] : nodes_.size();
    return Tree(nodes_.data() + starts_[number], end - starts_[number]);
}

std::span<const NODE* const> TreeEncoder::sources(size_t number) const {
    const size_t end = number + 1 < starts_.size() ? starts_[number + 1] : sources_.size();
    return {sources_.data() + starts_[number], end - starts_[number]};
}

// Preorder with an explicit stack: neither depth nor length costs stack.
// Each node is converted (wrtree) before it is visited and before its
// operands are reached; the visit gets the converted node's shape, so that
// one look at the opcode serves the walk and the visit.
template <class Visit> void TreeEncoder::walk(NODE*& root, bool statement_root, Visit&& visit) {
    if (statement_root && !keep_ids_)
        root->id = -1;
    pending_.clear();
    NODE** slot = &root;
    for (;;) {
        NODE* node = *slot;
        VX_CHECK(node != nullptr);
        wrtree(node);
        const OpcodeShape shape = opcode_shape(node->op);
        visit(node, shape);
        if (shape.operand_count == 2)
            pending_.push_back(&node->right);
        if (shape.operand_count >= 1) {
            slot = &node->left;
            continue;
        }
        if (pending_.empty())
            return;
        slot = pending_.back();
        pending_.pop_back();
    }
}

size_t TreeEncoder::encode(NODE*& root, bool statement_root) {
    starts_.push_back(nodes_.size());
    walk(root, statement_root, [this](const NODE* node, OpcodeShape) { emit(node); });
    return starts_.size() - 1;
}

VX_FLATTEN void TreeEncoder::write_statement(NODE*& root, const SourcePos& pos) {
    if (!texts_.empty())
        texts_.clear();
    last_type_ = nullptr;
    writer_.write_statement_head(Statement{pos, {}});
    write_tree_records(root);
    writer_.end_tree();
}

// walk() with write_node() as the visit, for the writer's hottest loop:
// the records go straight into the writer's room, which is asked for only
// when it runs short, and one look at each node's opcode serves the walk
// and the encoding.  A node that the short encoding leaves to the general
// path, or that needs an id wrapper, goes there between two stretches of
// room.
void TreeEncoder::write_tree_records(NODE*& root) {
    constexpr ptrdiff_t kShortRecord = 2 + RecordWriter::kShortTreeNodeBody;
    RecordWriter::TreeRoom room = writer_.tree_room(kShortRecord);
    walk(root, true, [&](NODE* node, OpcodeShape shape) {
        if (room.end - room.at < kShortRecord) {
            writer_.commit_tree_room(room.at);
            room = writer_.tree_room(kShortRecord);
        }
        char* end =
            needs_id_wrapper(node) ? nullptr : encode_short_node(room.at, node, shape.payload);
        if (end != nullptr) {
            room.at = end;
        } else {
            writer_.commit_tree_room(room.at);
            write_node(node);
            room = writer_.tree_room(kShortRecord);
        }
    });
    writer_.commit_tree_room(room.at);
}

void TreeEncoder::wrtree(NODE* node) {
    if (!kWrtreeOpcodes[node->op])
        return;
    switch (node->op) {
    case ir::NAME:
        if (ir::Symbol* symbol = node->sym(); symbol != nullptr && symbol->level == 0)
            symbol->flags |= ir::SYM_NAMED_IN_OUTPUT;
        break;
    case ir::UAND:
        if (ir::Symbol* function = addressed_function(node))
            keep_out_of_line(function);
        break;
    case ir::CALL:
    case ir::UCALL:
        note_call(node);
        break;
    case ir::VSCONV:
        VX_CHECK(is_vector_type(node->type) && node->left != nullptr &&
                 is_vector_type(node->left->type));
        node->op = ir::SCONV;
        break;
    case ir::VRCONV:
        node->op = ir::SCONV;
        break;
    case ir::ISP2CHAR:
        node->op = ir::PCONV;
        break;
    case ir::ASSERT:
        if (auto* operand = static_cast<NODE*>(node->aux)) {
            operand->left = node->left;
            operand->right = node->right;
            node->left = operand;
            node->right = nullptr;
            node->aux = nullptr;
        }
        break;
    default:
        break;
    }
    if (node->op >= ir::first_internal_opcode)
        unwritable_opcode(node->op);
}

// A function whose address is taken, or that is still called, must keep
// its out-of-line body.
void TreeEncoder::keep_out_of_line(ir::Symbol* function) {
    ir::FUNINFO* record = function_record(function);
    if (record == nullptr || !record->unsuppress())
        return;
    if (FILE* info = writer_.info()) {
        std::fprintf(info, "\nInlineable function %s() was marked for suppression,",
                     function->name.c_str());
        std::fprintf(info, "\nbut it cannot be because of a problematic use in %s().\n\n",
                     function_name_.c_str());
    }
}

void TreeEncoder::note_call(NODE* call) {
    ir::Symbol* callee = addressed_function(call->left);
    if (callee == nullptr)
        return;
    if (ir::FUNINFO* record = function_record(callee))
        record->set(ir::FUN_is_called);
    keep_out_of_line(callee);
}

bool TreeEncoder::needs_id_wrapper(const NODE* node) const {
    return keep_ids_ && node->id != -1 &&
           (node->op == ir::LABEL || node->op == ir::QUEST || node->op == ir::COLON);
}

void TreeEncoder::emit(const NODE* node) {
    if (needs_id_wrapper(node)) {
        nodes_.push_back(id_wrapper_of(node));
        if (listing_)
            sources_.push_back(node);
    }
    nodes_.push_back(record_of(node));
    if (listing_)
        sources_.push_back(node);
}

void TreeEncoder::write_node(const NODE* node) {
    if (needs_id_wrapper(node))
        writer_.write_tree_node(id_wrapper_of(node));
    if (!write_short_node(node))
        writer_.write_tree_node(record_of(node));
}

bool TreeEncoder::write_short_node(const NODE* node) {
    char* const record = writer_.tree_node_room();
    const char* end = encode_short_node(record, node, opcode_shape(node->op).payload);
    if (end == nullptr)
        return false;
    writer_.commit_tree_room(end);
    return true;
}

// Encodes the node's record (kind, length and body) at `record`, which has
// room for a short one, with one switch on its payload, and returns its
// end: the bytes, and the order in which types are numbered, are those of
// record_of() and writing its record.  Nodes with a text (and an ICON
// written as LCON) are left to that general path: nullptr, with nothing
// kept of what was written.
char* TreeEncoder::encode_short_node(char* record, const NODE* node, Payload payload) {
    char* at = record + 2;
    *at++ = static_cast<char>(node->op);
    // Numbered before the payload is looked at, as record_of() numbers it.
    const uint32_t type_number = typeref(node->type);
    at = encode_uleb(at, type_number);
    switch (payload) {
    case Payload::none:
        break;
    case Payload::counted:
    case Payload::hex_float:
    case Payload::decimal:
    case Payload::intrinsic:
        return nullptr;
    case Payload::label:
        at = encode_uleb(at, node->label_number());
        break;
    case Payload::symbol:
        if (const ir::Symbol* symbol = node->sym()) {
            at = encode_uleb(at, static_cast<uint32_t>(symbol->table_level));
            at = encode_uleb(at, symbol->table_index);
        } else {
            at = encode_uleb(at, kNoSymbolLevel);
            at = encode_uleb(at, 0);
        }
        break;
    case Payload::integer:
        if (needs_decimal_text(node))
            return nullptr;
        if (writer_.type_signs().is_signed(type_number))
            at = encode_sleb(at, static_cast<int32_t>(node->icon_unsigned()));
        else
            at = encode_uleb(at, node->icon_unsigned());
        break;
    case Payload::field: {
        *at++ = static_cast<char>(node->field_kind());
        const uint32_t member = member_index(node);
        at = encode_uleb(at, member);
        at = encode_uleb(at, writer_.typeref(node->container()));
        break;
    }
    case Payload::number:
        at = encode_uleb(at, node->op == ir::SWITCH  ? node->switch_number()
                             : node->op == ir::UCALL ? node->call_number()
                             : node->op == ir::EPVAL ? static_cast<uint32_t>(node->id)
                                                     : node->skip_number());
        break;
    case Payload::call: {
        const uint32_t first = node->call_first_number();
        at = encode_uleb(at, first);
        at = encode_uleb(at, node->call_number());
        break;
    }
    case Payload::ddnode:
        VX_CHECK(node->dval() != nullptr);
        at = encode_uleb(at, node->ddnode_number());
        at = encode_uleb(at, node->ddnode_second());
        *at++ = static_cast<char>(node->ddnode_byte());
        break;
    case Payload::vreg:
        at = encode_sleb(at, 0); // the number is not kept
        break;
    }
    record[0] = static_cast<char>(KIND_TREE_NODE);
    record[1] = static_cast<char>(at - (record + 2));
    return at;
}

TreeNode TreeEncoder::record_of(const NODE* node) {
    TreeNode record;
    record.opcode = static_cast<uint8_t>(node->op);
    record.type = typeref(node->type);
    fill_payload(record, node);
    return record;
}

// The EPVAL around a node that carries the node's id.
TreeNode TreeEncoder::id_wrapper_of(const NODE* node) {
    TreeNode wrapper;
    wrapper.opcode = ir::EPVAL;
    wrapper.type = typeref(node->type);
    wrapper.first = static_cast<uint32_t>(node->id);
    return wrapper;
}

void TreeEncoder::fill_payload(TreeNode& r, const NODE* node) {
    switch (payload_kind(node->op)) {
    case Payload::none:
        return;
    case Payload::label:
        r.first = node->label_number();
        return;
    case Payload::symbol:
        if (const ir::Symbol* symbol = node->sym()) {
            r.first = static_cast<uint32_t>(symbol->table_level);
            r.second = symbol->table_index;
        } else {
            r.first = kNoSymbolLevel;
        }
        return;
    case Payload::counted:
        r.text = std::string_view(reinterpret_cast<const char*>(node->scon_bytes()),
                                  node->scon_length());
        return;
    case Payload::integer:
        if (needs_decimal_text(node)) {
            r.opcode = ir::LCON;
            r.text = texts_.emplace_back(node->lcon_text());
        } else {
            r.first = node->icon_unsigned();
        }
        return;
    case Payload::hex_float:
        r.text = node->fcon_text();
        return;
    case Payload::decimal:
        r.text = texts_.emplace_back(node->lcon_text());
        return;
    case Payload::field:
        r.byte = node->field_kind();
        r.first = member_index(node);
        r.second = writer_.typeref(node->container());
        return;
    case Payload::number:
        r.first = node->op == ir::SWITCH  ? node->switch_number()
                  : node->op == ir::UCALL ? node->call_number()
                  : node->op == ir::EPVAL ? static_cast<uint32_t>(node->id)
                                          : node->skip_number();
        return;
    case Payload::call:
        r.first = node->call_first_number();
        r.second = node->call_number();
        return;
    case Payload::ddnode:
        VX_CHECK(node->dval() != nullptr);
        r.first = node->ddnode_number();
        r.second = node->ddnode_second();
        r.byte = node->ddnode_byte();
        return;
    case Payload::intrinsic:
        r.text = node->intrinsic_name();
        return;
    case Payload::vreg:
        return;
    }
}

// The record of a function a tree names, looked up by name once per
// function written (writing makes no function records).
ir::FUNINFO* TreeEncoder::function_record(ir::Symbol* function) {
    auto [slot, added] = function_records_.try_emplace(function, nullptr);
    if (added)
        slot->second = ir::function_record_of(*function);
    return slot->second;
}

// Most nodes of a tree share their type with the node before.  The number
// is remembered for one tree only (the encoder is reset for each), during
// which neither the type nor its number can change.
uint32_t TreeEncoder::typeref(ir::TYPE* type) {
    if (type != last_type_ || type == nullptr) {
        last_type_ = type;
        last_type_number_ = writer_.typeref(type);
    }
    return last_type_number_;
}

// A member's index in its container, looked up once per container.
uint32_t TreeEncoder::member_index(const NODE* field) {
    const ir::FieldRecord* member = field->member();
    auto found = member_indexes_.find(member);
    if (found != member_indexes_.end())
        return found->second;
    const ir::TYPE* container = field->container();
    VX_CHECK(container != nullptr && container->is_csu());
    const auto& fields = container->real()->fields();
    for (uint32_t i = 0; i < fields.size(); ++i)
        member_indexes_.emplace(&fields[i], i);
    found = member_indexes_.find(member);
    VX_CHECK(found != member_indexes_.end());
    return found->second;
}

} // namespace vx::icode
