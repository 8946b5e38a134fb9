#include "ir/node_build.h"

#include "support/check.h"

namespace vx::ir {

NODE* make_icon(TYPE* type, const Int96& value) {
    NODE* node = make_node(ICON, type);
    node->value = value;
    node->value = node->value_for_type();
    return node;
}

NODE* make_icon(TYPE* type, int64_t value) {
    return make_icon(type, Int96::from_signed(value));
}

NODE* make_name(Symbol* symbol, TYPE* type) {
    NODE* node = make_node(NAME, type);
    node->set_sym(symbol);
    return node;
}

NODE* make_fcon(TYPE* type, double value) {
    NODE* node = make_node(FCON, type);
    node->set_fcon(new_fcon_value(value));
    return node;
}

NODE* make_scon(TYPE* type, std::string_view bytes) {
    NODE* node = make_node(SCON, type);
    node->set_scon(bytes);
    return node;
}

NODE* make_label_ref(uint32_t number) {
    NODE* node = make_node(LABELREF, nullptr);
    node->value = Int96::from_unsigned(number);
    return node;
}

NODE* make_label_def(uint32_t number) {
    NODE* node = make_node(LABELDEF, nullptr);
    node->value = Int96::from_unsigned(number);
    return node;
}

NODE* make_unary(Opcode op, TYPE* type, NODE* operand) {
    VX_CHECK(operand_count(op) == 1);
    return make_node(op, type, operand);
}

NODE* make_binary(Opcode op, TYPE* type, NODE* left, NODE* right) {
    VX_CHECK(operand_count(op) == 2);
    return make_node(op, type, left, right);
}

NODE* make_list(Opcode op, TYPE* type, std::span<NODE* const> items) {
    if (items.empty())
        return nullptr;
    NODE* list = items.back();
    for (auto item = items.rbegin() + 1; item != items.rend(); ++item)
        list = make_binary(op, type, *item, list);
    return list;
}

NODE* make_list(Opcode op, TYPE* type, std::initializer_list<NODE*> items) {
    return make_list(op, type, std::span<NODE* const>(items.begin(), items.size()));
}

} // namespace vx::ir
