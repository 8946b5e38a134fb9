#include "ir/opcode.h"

namespace vx::ir {

namespace {

struct OpcodeDefinition {
    int number;
    const char* name;
    uint8_t operand_count;
    const char* shown; // nullptr: the name
    bool padded;
};

constexpr OpcodeDefinition definitions[] = {
#define VX_IR_OPCODE_DEFINITION(name, number, count, shown, padded)                                \
    {number, #name, count, shown, padded},
    VX_IR_OPCODES(VX_IR_OPCODE_DEFINITION)
#undef VX_IR_OPCODE_DEFINITION
};

constexpr std::array<char, printed_form_width + 1> printed_form(const char* text, bool padded) {
    std::array<char, printed_form_width + 1> form{};
    int length = 0;
    for (; text[length] != '\0' && length < printed_form_width; ++length)
        form[length] = text[length];
    for (; padded && length < printed_form_width; ++length)
        form[length] = ' ';
    return form;
}

constexpr std::array<OpcodeInfo, opcode_table_size> build_table() {
    std::array<OpcodeInfo, opcode_table_size> table{};
    for (int number = 0; number < opcode_table_size; ++number)
        table[number].number = number;
    for (const OpcodeDefinition& d : definitions) {
        OpcodeInfo& entry = table[d.number];
        entry.name = d.name;
        entry.operand_count = d.operand_count;
        entry.printed = printed_form(d.shown ? d.shown : d.name, d.padded);
    }
    return table;
}

} // namespace

constinit const std::array<OpcodeInfo, opcode_table_size> if_node_info = build_table();

const OpcodeInfo* opcode_info(int op) {
    if (op < 0 || op >= opcode_table_size || !if_node_info[op].listed())
        return nullptr;
    return &if_node_info[op];
}

const char* opcode_name(int op) {
    const OpcodeInfo* info = opcode_info(op);
    return info ? info->name : nullptr;
}

int operand_count(int op) {
    const OpcodeInfo* info = opcode_info(op);
    return info ? info->operand_count : 0;
}

const char* opcode_print_name(int op) {
    if (op == ILLOP)
        return " ?ILLOP?";
    const OpcodeInfo* info = opcode_info(op);
    return info ? info->printed.data() : "?NODE?";
}

Opcode compound_operator(Opcode op) {
    switch (op) {
    case PLUSASG:
        return PLUS;
    case MINUSASG:
        return MINUS;
    case MULTASG:
        return MULT;
    case DIVASG:
        return DIV;
    case MODASG:
        return MOD;
    case ANDBASG:
        return ANDB;
    case ORBASG:
        return ORB;
    case XORBASG:
        return XORB;
    case SLLASG:
        return SLL;
    case SRLASG:
        return SRL;
    default:
        return ILLOP;
    }
}

bool is_compound_assignment(Opcode op) {
    return compound_operator(op) != ILLOP;
}

bool stores_into_left(Opcode op) {
    return op == ASG || op == PLUSPLUS || op == MINMIN || is_compound_assignment(op);
}

} // namespace vx::ir
