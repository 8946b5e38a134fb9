// The optimizer's opcode set: numbers, names, operand counts and the
// 8-character forms that the debug log prints.
//
// Numbers 0..162 are the I-code file's own numbers (a tree record stores the
// opcode as one byte); 163..189 exist only inside the optimizer.  Opcode 1 is
// a reference to a code label and goes by two names, LABEL and LABELREF.
#pragma once

#include <array>
#include <cstdint>

namespace vx::ir {

// X(name, number, operand count, printed text or nullptr for the name,
//   padded to 8 characters)
#define VX_IR_OPCODES(X)                                                                           \
    X(NOP, 0, 0, nullptr, false)                                                                   \
    X(LABEL, 1, 0, "LABELREF", true)                                                               \
    X(NAME, 2, 0, nullptr, true)                                                                   \
    X(SCON, 3, 0, nullptr, true)                                                                   \
    X(ICON, 4, 0, nullptr, true)                                                                   \
    X(FCON, 5, 0, nullptr, true)                                                                   \
    X(PLUS, 6, 2, "+", true)                                                                       \
    X(PLUSASG, 7, 2, "+=", true)                                                                   \
    X(MINUS, 8, 2, "-", true)                                                                      \
    X(MINUSASG, 9, 2, "-=", true)                                                                  \
    X(UMINUS, 10, 1, "U-", true)                                                                   \
    X(MULT, 11, 2, "*", true)                                                                      \
    X(MULTASG, 12, 2, "*=", true)                                                                  \
    X(UMULT, 13, 1, "U*", true)                                                                    \
    X(ANDB, 14, 2, "&", true)                                                                      \
    X(ANDBASG, 15, 2, "&=", true)                                                                  \
    X(UAND, 16, 1, "U&", true)                                                                     \
    X(ORB, 17, 2, "|", true)                                                                       \
    X(ORBASG, 18, 2, "|=", true)                                                                   \
    X(XORB, 19, 2, "^", true)                                                                      \
    X(XORBASG, 20, 2, "^=", true)                                                                  \
    X(QUEST, 21, 2, "?", true)                                                                     \
    X(COLON, 22, 2, ":", true)                                                                     \
    X(ANDAND, 23, 2, "&&", true)                                                                   \
    X(OROR, 24, 2, "||", true)                                                                     \
    X(LCON, 25, 0, nullptr, true)                                                                  \
    X(FIELD, 26, 0, nullptr, true)                                                                 \
    X(ABS, 27, 1, nullptr, true)                                                                   \
    X(RETURN, 36, 2, nullptr, true)                                                                \
    X(SWITCH, 40, 2, nullptr, true)                                                                \
    X(DEFAULT, 46, 1, nullptr, true)                                                               \
    X(CASE, 47, 2, nullptr, true)                                                                  \
    X(COMMA, 56, 2, ",", true)                                                                     \
    X(PCOMMA, 57, 2, nullptr, true)                                                                \
    X(ASG, 58, 2, "=", true)                                                                       \
    X(COMMAOP, 59, 2, ",OP", true)                                                                 \
    X(DIV, 60, 2, "/", true)                                                                       \
    X(DIVASG, 61, 2, "/=", true)                                                                   \
    X(MOD, 62, 2, "%", true)                                                                       \
    X(MODASG, 63, 2, "%=", true)                                                                   \
    X(SLL, 64, 2, "<<", true)                                                                      \
    X(SLLASG, 65, 2, "<<=", true)                                                                  \
    X(SRL, 66, 2, ">>", true)                                                                      \
    X(SRLASG, 67, 2, ">>=", true)                                                                  \
    X(STDOT, 68, 2, ".", true)                                                                     \
    X(STREF, 69, 2, "->", true)                                                                    \
    X(CALL, 70, 2, nullptr, true)                                                                  \
    X(UCALL, 72, 1, nullptr, true)                                                                 \
    X(LOOP, 74, 2, nullptr, true)                                                                  \
    X(ENDLOOP, 75, 2, nullptr, true)                                                               \
    X(EXCLAIM, 76, 1, "!", true)                                                                   \
    X(NOTB, 77, 1, "~", true)                                                                      \
    X(PLUSPLUS, 78, 2, "++", true)                                                                 \
    X(MINMIN, 79, 2, "--", true)                                                                   \
    X(EQ, 80, 2, "==", true)                                                                       \
    X(NEQ, 81, 2, "!=", true)                                                                      \
    X(LE, 82, 2, "<=", true)                                                                       \
    X(LT, 83, 2, "<", true)                                                                        \
    X(GE, 84, 2, ">=", true)                                                                       \
    X(GT, 85, 2, ">", true)                                                                        \
    X(ULE, 86, 2, nullptr, false)                                                                  \
    X(ULT, 87, 2, nullptr, true)                                                                   \
    X(UGE, 88, 2, nullptr, true)                                                                   \
    X(UGT, 89, 2, nullptr, true)                                                                   \
    X(STFIELD, 96, 2, nullptr, true)                                                               \
    X(ARGREF, 97, 1, nullptr, true)                                                                \
    X(STASG, 98, 2, nullptr, true)                                                                 \
    X(STARG, 99, 1, nullptr, true)                                                                 \
    X(ARASG, 103, 2, nullptr, true)                                                                \
    X(SCONV, 104, 1, nullptr, true)                                                                \
    X(PCONV, 105, 1, nullptr, true)                                                                \
    X(PMCONV, 106, 2, nullptr, true)                                                               \
    X(PVCONV, 107, 2, nullptr, true)                                                               \
    X(ACONV, 108, 1, nullptr, true)                                                                \
    X(CBRANCH, 109, 2, nullptr, true)                                                              \
    X(EPVAL, 110, 1, nullptr, true)                                                                \
    X(ENDINIT, 112, 0, nullptr, true)                                                              \
    X(BRANCH, 114, 1, nullptr, true)                                                               \
    X(SKIP, 115, 1, nullptr, true)                                                                 \
    X(URETURN, 118, 1, nullptr, true)                                                              \
    X(DDNODE, 119, 1, nullptr, true)                                                               \
    X(SQRT, 121, 1, nullptr, true)                                                                 \
    X(SQR, 122, 1, "SQUARE", true)                                                                 \
    X(NASSERT, 123, 1, nullptr, true)                                                              \
    X(ASSERT, 124, 1, nullptr, true)                                                               \
    X(MEMCPY, 125, 1, nullptr, true)                                                               \
    X(TOIEEE, 127, 1, nullptr, true)                                                               \
    X(FRIEEE, 128, 1, nullptr, true)                                                               \
    X(ICALL, 129, 1, nullptr, true)                                                                \
    X(UICALL, 130, 0, nullptr, true)                                                               \
    X(RECIP, 131, 1, nullptr, true)                                                                \
    X(MCALL, 132, 1, nullptr, true)                                                                \
    X(UMCALL, 133, 0, nullptr, true)                                                               \
    X(VPACK, 134, 1, nullptr, true)                                                                \
    X(VPACKM, 135, 1, nullptr, true)                                                               \
    X(VPACK1P, 136, 2, nullptr, true)                                                              \
    X(VFIELD, 138, 2, nullptr, true)                                                               \
    X(VRCONV, 139, 1, nullptr, true)                                                               \
    X(COMPLEX, 140, 2, nullptr, false)                                                             \
    X(REAL, 141, 1, nullptr, false)                                                                \
    X(IMAG, 142, 1, nullptr, false)                                                                \
    X(OUIALIGN, 163, 1, nullptr, true)                                                             \
    X(NONALIGN, 164, 1, nullptr, true)                                                             \
    X(SIMDHI, 165, 1, nullptr, true)                                                               \
    X(SIMDLO, 166, 1, nullptr, true)                                                               \
    X(PPRAGMA, 167, 0, nullptr, true)                                                              \
    X(VSCONV, 168, 1, nullptr, false)                                                              \
    X(EXPT, 169, 2, nullptr, true)                                                                 \
    X(EXPRSTUB, 170, 0, nullptr, true)                                                             \
    X(CSE_DUPE, 171, 2, nullptr, true)                                                             \
    X(CSE_ORIG, 172, 2, nullptr, true)                                                             \
    X(ASM, 173, 0, nullptr, true)                                                                  \
    X(IF, 174, 2, nullptr, true)                                                                   \
    X(LABELDEF, 175, 0, nullptr, true)                                                             \
    X(INITLOOP, 176, 2, nullptr, true)                                                             \
    X(IDENTITY, 177, 1, nullptr, true)                                                             \
    X(ISP2CHAR, 178, 1, nullptr, true)                                                             \
    X(MIXVALUE, 179, 0, nullptr, true)                                                             \
    X(MIX_CONJ, 180, 2, nullptr, true)                                                             \
    X(MIX_DISJ, 181, 2, nullptr, true)                                                             \
    X(MIX_SET, 182, 1, nullptr, false)                                                             \
    X(BGNBLOCK, 183, 0, nullptr, true)                                                             \
    X(ENDBLOCK, 184, 0, nullptr, true)                                                             \
    X(SSA_PHI, 185, 0, nullptr, true)                                                              \
    X(SSA_USE, 186, 1, nullptr, true)                                                              \
    X(SSA_DEF, 187, 1, nullptr, true)                                                              \
    X(SSA_MU, 188, 1, nullptr, true)                                                               \
    X(SSA_CHI, 189, 1, nullptr, true)

// Opcodes as numbers usable in code: `node->op == CASE`.  Every opcode fits
// a byte: the file stores one byte, and 255 marks an illegal opcode.
enum Opcode : uint8_t {
#define VX_IR_OPCODE_ENUMERATOR(name, number, count, shown, padded) name = number,
    VX_IR_OPCODES(VX_IR_OPCODE_ENUMERATOR)
#undef VX_IR_OPCODE_ENUMERATOR
        LABELREF = LABEL,
    ILLOP = 255,
};

// Numbers 0..189 have a table slot; the unlisted ones are empty.
inline constexpr int opcode_table_size = 190;
// 0..162 are written to and read from I-code files; the reader accepts 163.
inline constexpr int first_internal_opcode = 163;
// The printed forms are this wide (or shorter for the unpadded ones).
inline constexpr int printed_form_width = 8;

struct OpcodeInfo {
    int32_t number = 0;
    const char* name = nullptr; // nullptr: no such opcode
    uint8_t operand_count = 0;  // 0 leaf, 1 `left` only, 2 `left` and `right`
    std::array<char, printed_form_width + 1> printed{};

    bool listed() const { return name != nullptr; }
};

// The optimizer's own table, indexed by opcode number.
extern const std::array<OpcodeInfo, opcode_table_size> if_node_info;

// The entry of a listed opcode; nullptr for unlisted or out-of-range numbers.
const OpcodeInfo* opcode_info(int op);
// The name of a listed opcode, nullptr otherwise.
const char* opcode_name(int op);

// PLUSASG ... SRLASG: store `lvalue op value` into the lvalue.
bool is_compound_assignment(Opcode op);
// ASG, PLUSPLUS, MINMIN and the compound assignments: the operators that
// store into their left operand.
bool stores_into_left(Opcode op);
// The operator a compound assignment applies: PLUS for PLUSASG; ILLOP for
// anything else.
Opcode compound_operator(Opcode op);
// 0 for unlisted opcodes.
int operand_count(int op);
// The debug log's form: the printed form of a listed opcode, " ?ILLOP?" for
// 255, "?NODE?" for any other number.
const char* opcode_print_name(int op);

} // namespace vx::ir
