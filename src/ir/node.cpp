#include "ir/node.h"

#include "support/arena.h"
#include "support/check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vx::ir {

namespace {

bool is_intrinsic_call(Opcode op) {
    return op == ICALL || op == UICALL || op == MCALL || op == UMCALL;
}

Arena& node_arena() {
    Arena* arena = node_environment().arena;
    VX_CHECK(arena != nullptr);
    return *arena;
}

} // namespace

// The record decides how large a file fits in memory; see docs/trees.md.
static_assert(sizeof(void*) != 8 || sizeof(NODE) == 96, "NODE outgrew its layout");

void reset_node_environment() {
    node_environment() = NodeEnvironment{};
}

IntegerShape integer_shape_of(const TYPE* type) {
    const NodeEnvironment& env = node_environment();
    if (type == nullptr || env.integer_shape == nullptr)
        return IntegerShape{};
    IntegerShape shape = env.integer_shape(type);
    if (shape.bits == 0 || shape.bits > Int96::bits)
        return IntegerShape{};
    return shape;
}

// --- FconValue

std::optional<FconValue> FconValue::parse(const char* text) {
    if (text == nullptr || *text == '\0')
        return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (*end != '\0')
        return std::nullopt;
    return FconValue(value);
}

const char* FconValue::hex_text() const {
    if (text_[0] == '\0')
        std::snprintf(text_, sizeof text_, "%a", value_);
    return text_;
}

double FconValue::rounded_to_width(double value, unsigned bits) {
    VX_CHECK(bits == 32 || bits == 64);
    return bits == 32 ? static_cast<double>(static_cast<float>(value)) : value;
}

// --- NODE

FieldRecord* NODE::member() const {
    VX_CHECK(op == FIELD);
    return reinterpret_cast<FieldRecord*>(static_cast<std::uintptr_t>(value.low64()));
}

TYPE* NODE::container() const {
    VX_CHECK(op == FIELD);
    return slot_pointer<TYPE>();
}

Int96 NODE::value_for_type() const {
    IntegerShape shape = integer_shape_of(type);
    return value.normalized(shape.bits, shape.is_signed);
}

std::string NODE::lcon_text() const {
    return value_for_type().to_decimal(integer_shape_of(type).is_signed);
}

const char* NODE::fcon_text() const {
    const FconValue* record = fcon();
    VX_CHECK(record != nullptr);
    return record->hex_text();
}

const uint8_t* NODE::scon_bytes() const {
    VX_CHECK(op == SCON);
    return slot_pointer<const uint8_t>();
}

uint32_t NODE::ddnode_number() const {
    const DDINFO* info = dval();
    return info ? info->node_number : 0;
}

const char* NODE::intrinsic_name() const {
    VX_CHECK(is_intrinsic_call(op));
    return slot_pointer<const char>();
}

uint32_t NODE::call_number() const {
    VX_CHECK(op == CALL || op == UCALL);
    return static_cast<uint32_t>(payload_);
}

// --- Reader's setters

void NODE::read_field(uint8_t kind, FieldRecord* field_member, TYPE* field_container) {
    VX_CHECK(kind == 1);
    set_field(field_member, field_container);
    const NodeEnvironment& env = node_environment();
    if (env.field_companion_type != nullptr && type != nullptr)
        type = env.field_companion_type(type);
    if (env.field_read != nullptr)
        env.field_read(field_member);
}

void NODE::read_icon(uint32_t bits) {
    set_icon_bits(bits, integer_shape_of(type).is_signed);
}

void NODE::read_lcon(const char* text) {
    std::optional<Int96> parsed = Int96::parse_decimal(text ? text : "");
    VX_CHECK(parsed.has_value());
    op = ICON;
    value = *parsed;
    value = value_for_type();
}

void NODE::read_fcon(const char* text) {
    std::optional<FconValue> parsed = FconValue::parse(text);
    VX_CHECK(parsed.has_value());
    set_fcon(new_fcon_value(parsed->value()));
}

void NODE::read_scon(const uint8_t* bytes, uint32_t count) {
    set_scon(std::string_view(reinterpret_cast<const char*>(bytes), count));
}

void NODE::read_skip(uint32_t number) {
    value = Int96::from_signed(static_cast<int32_t>(number));
}

void NODE::read_switch(uint32_t number) {
    value = Int96::from_signed(static_cast<int32_t>(number));
}

void NODE::read_call(uint32_t first, uint32_t second) {
    value = Int96::from_unsigned(first);
    set_call_number(second);
    if (auto note = node_environment().call_read)
        note();
}

void NODE::read_ucall(uint32_t number) {
    set_call_number(number);
    if (auto note = node_environment().call_read)
        note();
}

void NODE::read_intrinsic(const char* name) {
    set_intrinsic_name(name ? name : "");
}

// --- Payload for the passes

void NODE::set_field(FieldRecord* field_member, TYPE* field_container) {
    VX_CHECK(op == FIELD);
    value = Int96::from_unsigned(reinterpret_cast<std::uintptr_t>(field_member));
    set_slot_pointer(field_container);
}

const FconValue* NODE::fcon() const {
    VX_CHECK(op == FCON);
    return slot_pointer<const FconValue>();
}

void NODE::set_fcon(const FconValue* record) {
    VX_CHECK(op == FCON);
    set_slot_pointer(record);
}

void NODE::set_scon(std::string_view bytes) {
    VX_CHECK(op == SCON);
    value = Int96::from_unsigned(bytes.size());
    set_slot_pointer(copy_to_arena(bytes));
}

const char* NODE::text() const {
    VX_CHECK(op == ASM);
    return slot_pointer<const char>();
}

void NODE::set_text(std::string_view new_text) {
    VX_CHECK(op == ASM);
    set_slot_pointer(copy_to_arena(new_text));
}

void NODE::set_intrinsic_name(std::string_view name) {
    VX_CHECK(is_intrinsic_call(op));
    set_slot_pointer(copy_to_arena(name));
}

LABEL_REC* NODE::label() const {
    VX_CHECK(op == LABEL || op == LABELDEF);
    return slot_pointer<LABEL_REC>();
}

void NODE::set_label(LABEL_REC* record) {
    VX_CHECK(op == LABEL || op == LABELDEF);
    set_slot_pointer(record);
}

DDINFO* NODE::dval() const {
    VX_CHECK(op == DDNODE);
    return slot_pointer<DDINFO>();
}

void NODE::set_dval(DDINFO* info) {
    VX_CHECK(op == DDNODE);
    set_slot_pointer(info);
}

void NODE::set_call_number(uint32_t number) {
    VX_CHECK(op == CALL || op == UCALL);
    payload_ = number;
}

// --- Allocation

void NodeSlots::take_run(Arena* arena) {
    VX_CHECK(arena != nullptr);
    arena_ = arena;
    next_ = static_cast<std::byte*>(arena->allocate(kNodesPerRun * sizeof(NODE), alignof(NODE)));
    end_ = next_ + kNodesPerRun * sizeof(NODE);
}

NODE* copy_node(const NODE* node) {
    void* place = node_arena().allocate(sizeof(NODE), alignof(NODE));
    return new (place) NODE(*node);
}

NODE* copy_tree(const NODE* root) {
    NODE* copy = nullptr;
    NODE** slot = &copy;
    for (const NODE* node = root; node != nullptr; node = node->right) {
        NODE* twin = copy_node(node);
        twin->left = copy_tree(node->left);
        twin->right = nullptr;
        *slot = twin;
        slot = &twin->right;
    }
    return copy;
}

const FconValue* new_fcon_value(double value) {
    return node_arena().make<FconValue>(value);
}

const char* copy_to_arena(std::string_view text) {
    char* copy = static_cast<char*>(node_arena().allocate(text.size() + 1, 1));
    if (!text.empty())
        std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

} // namespace vx::ir
