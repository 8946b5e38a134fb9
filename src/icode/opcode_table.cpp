#include "icode/opcode_table.h"

#include "support/termination.h"

#include <cstdio>

namespace vx::icode {

namespace {

struct FileOpcodeRow {
    int number;
    std::string_view name;
    uint8_t operand_count;
    Payload payload;
};

// The file's opcode set: number, name, operand count, payload.
constexpr FileOpcodeRow kFileOpcodeRows[] = {
    {0, "NOP", 0, Payload::none},           {1, "LABEL", 0, Payload::label},
    {2, "NAME", 0, Payload::symbol},        {3, "SCON", 0, Payload::counted},
    {4, "ICON", 0, Payload::integer},       {5, "FCON", 0, Payload::hex_float},
    {6, "PLUS", 2, Payload::none},          {7, "PLUSASG", 2, Payload::none},
    {8, "MINUS", 2, Payload::none},         {9, "MINUSASG", 2, Payload::none},
    {10, "UMINUS", 1, Payload::none},       {11, "MULT", 2, Payload::none},
    {12, "MULTASG", 2, Payload::none},      {13, "UMULT", 1, Payload::none},
    {14, "ANDB", 2, Payload::none},         {15, "ANDBASG", 2, Payload::none},
    {16, "UAND", 1, Payload::none},         {17, "ORB", 2, Payload::none},
    {18, "ORBASG", 2, Payload::none},       {19, "XORB", 2, Payload::none},
    {20, "XORBASG", 2, Payload::none},      {21, "QUEST", 2, Payload::none},
    {22, "COLON", 2, Payload::none},        {23, "ANDAND", 2, Payload::none},
    {24, "OROR", 2, Payload::none},         {25, "LCON", 0, Payload::decimal},
    {26, "FIELD", 0, Payload::field},       {27, "ABS", 1, Payload::none},
    {36, "RETURN", 2, Payload::none},       {40, "SWITCH", 2, Payload::number},
    {46, "DEFAULT", 1, Payload::none},      {47, "CASE", 2, Payload::none},
    {56, "COMMA", 2, Payload::none},        {57, "PCOMMA", 2, Payload::none},
    {58, "ASG", 2, Payload::none},          {59, "COMMAOP", 2, Payload::none},
    {60, "DIV", 2, Payload::none},          {61, "DIVASG", 2, Payload::none},
    {62, "MOD", 2, Payload::none},          {63, "MODASG", 2, Payload::none},
    {64, "SLL", 2, Payload::none},          {65, "SLLASG", 2, Payload::none},
    {66, "SRL", 2, Payload::none},          {67, "SRLASG", 2, Payload::none},
    {68, "STDOT", 2, Payload::none},        {69, "STREF", 2, Payload::none},
    {70, "CALL", 2, Payload::call},         {72, "UCALL", 1, Payload::number},
    {74, "LOOP", 2, Payload::none},         {75, "ENDLOOP", 2, Payload::none},
    {76, "EXCLAIM", 1, Payload::none},      {77, "NOTB", 1, Payload::none},
    {78, "PLUSPLUS", 2, Payload::none},     {79, "MINMIN", 2, Payload::none},
    {80, "EQ", 2, Payload::none},           {81, "NEQ", 2, Payload::none},
    {82, "LE", 2, Payload::none},           {83, "LT", 2, Payload::none},
    {84, "GE", 2, Payload::none},           {85, "GT", 2, Payload::none},
    {86, "ULE", 2, Payload::none},          {87, "ULT", 2, Payload::none},
    {88, "UGE", 2, Payload::none},          {89, "UGT", 2, Payload::none},
    {96, "STFIELD", 2, Payload::none},      {97, "ARGREF", 1, Payload::none},
    {98, "STASG", 2, Payload::none},        {99, "STARG", 1, Payload::none},
    {103, "ARASG", 2, Payload::none},       {104, "SCONV", 1, Payload::none},
    {105, "PCONV", 1, Payload::none},       {106, "PMCONV", 2, Payload::none},
    {107, "PVCONV", 2, Payload::none},      {108, "ACONV", 1, Payload::none},
    {109, "CBRANCH", 2, Payload::none},     {110, "EPVAL", 1, Payload::number},
    {112, "ENDINIT", 0, Payload::none},     {114, "BRANCH", 1, Payload::none},
    {115, "SKIP", 1, Payload::number},      {118, "URETURN", 1, Payload::none},
    {119, "DDNODE", 1, Payload::ddnode},    {121, "SQRT", 1, Payload::none},
    {122, "SQR", 1, Payload::none},         {123, "NASSERT", 1, Payload::none},
    {124, "ASSERT", 1, Payload::none},      {125, "MEMCPY", 1, Payload::none},
    {127, "TOIEEE", 1, Payload::none},      {128, "FRIEEE", 1, Payload::none},
    {129, "ICALL", 1, Payload::intrinsic},  {130, "UICALL", 0, Payload::intrinsic},
    {131, "RECIP", 1, Payload::none},       {132, "MCALL", 1, Payload::intrinsic},
    {133, "UMCALL", 0, Payload::intrinsic}, {134, "VPACK", 1, Payload::none},
    {135, "VPACKM", 1, Payload::none},      {136, "VPACK1P", 2, Payload::none},
    {138, "VFIELD", 2, Payload::none},      {139, "VRCONV", 1, Payload::none},
    {140, "COMPLEX", 2, Payload::none},     {141, "REAL", 1, Payload::none},
    {142, "IMAG", 1, Payload::none},        {163, "VREG", 0, Payload::vreg},
};

constexpr std::array<FileOpcode, 256> make_file_opcode_set() {
    std::array<FileOpcode, 256> set{};
    for (const FileOpcodeRow& row : kFileOpcodeRows)
        set[static_cast<size_t>(row.number)] = {row.name, row.operand_count, row.payload};
    return set;
}

constexpr std::array<OpcodeShape, 256> make_opcode_shapes() {
    std::array<OpcodeShape, 256> shapes{};
    for (const FileOpcodeRow& row : kFileOpcodeRows)
        shapes[static_cast<size_t>(row.number)] = {row.operand_count, row.payload};
    return shapes;
}

} // namespace

constexpr std::array<FileOpcode, 256> kFileOpcodes = make_file_opcode_set();
constexpr std::array<OpcodeShape, 256> kOpcodeShapes = make_opcode_shapes();

int file_opcode_number(std::string_view name) {
    for (const FileOpcodeRow& row : kFileOpcodeRows)
        if (row.name == name)
            return row.number;
    return -1;
}

OpcodeTable& opcode_table() {
    static OpcodeTable table;
    return table;
}

void reset_opcode_table() {
    opcode_table() = OpcodeTable{};
}

void define_opcode(int number, std::string_view name, int operand_count) {
    if (number < 0 || number > kLastSharedOpcode) {
        std::fputs("\nINTERNAL ERROR: Invalid opcode, aborting\n", stderr);
        std::fflush(stderr);
        stop_run(1);
    }
    OpcodeEntry& entry = opcode_table().entries[static_cast<size_t>(number)];
    entry.number = number;
    entry.name = std::string(name);
    entry.operand_count = static_cast<uint8_t>(operand_count);
}

void define_file_opcodes() {
    for (const FileOpcodeRow& row : kFileOpcodeRows)
        define_opcode(row.number, row.name, row.operand_count);
}

} // namespace vx::icode
