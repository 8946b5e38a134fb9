// Opcodes as the I-code file knows them.
//
// Two views live here.  The file's own opcode set (numbers 0..163, with 163
// the leaf "VREG") is fixed: the format layer decodes and encodes tree
// records with it, whatever the optimizer later does to the shared table.
// The shared opcode table (numbers 0..200) is process-wide state: the file
// library fills 0..163 from the file's set when an input stream is opened,
// and the optimizer then defines its own opcodes in it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vx::icode {

constexpr int kLastFileOpcode = 163;   // highest opcode a tree record may carry
constexpr int kLastSharedOpcode = 200; // highest opcode the shared table holds
constexpr int kEndInitOpcode = 112;    // ENDINIT: the root that ends an initializer

// What a tree record carries after its opcode and type.
enum class Payload : uint8_t {
    none,
    label,     // LABEL: uleb label number
    symbol,    // NAME: uleb level, uleb index
    counted,   // SCON: uleb count and that many bytes
    integer,   // ICON: sleb for a signed type, uleb otherwise
    hex_float, // FCON: string in C hexadecimal floating notation
    decimal,   // LCON: string of decimal digits, optional leading "-"
    field,     // FIELD: u8 kind, uleb member index, typeref container
    number,    // SWITCH, UCALL, EPVAL, SKIP: one uleb
    call,      // CALL: two uleb
    ddnode,    // DDNODE: uleb node number, uleb, u8
    intrinsic, // ICALL, UICALL, MCALL, UMCALL: string
    vreg,      // 163: one sleb
};

// One opcode of the file's set; `name` is empty for a number the file does
// not use (such a node is a leaf without payload).
struct FileOpcode {
    std::string_view name;
    uint8_t operand_count = 0;
    Payload payload = Payload::none;
};

// The file's opcodes by number; the entries above 163 are empty.
extern const std::array<FileOpcode, 256> kFileOpcodes;

// The file's opcode `number` (0..163); an empty entry for any other number.
inline const FileOpcode& file_opcode(int number) {
    return kFileOpcodes[number >= 0 && number <= kLastFileOpcode ? number : 255];
}

// The payload of a tree record with this opcode.
inline Payload payload_kind(int number) {
    return file_opcode(number).payload;
}

// What the loops that run once per tree node ask of an opcode, two bytes
// per opcode (the whole table fits a few cache lines); every byte value
// has an entry, empty above 163.
struct OpcodeShape {
    uint8_t operand_count = 0;
    Payload payload = Payload::none;
};
extern const std::array<OpcodeShape, 256> kOpcodeShapes;
inline OpcodeShape opcode_shape(uint8_t number) {
    return kOpcodeShapes[number];
}

// The file opcode called `name`, or -1.
int file_opcode_number(std::string_view name);

// One slot of the shared table.  An empty slot has no name, number 0 and
// operand count 0.
struct OpcodeEntry {
    int32_t number = 0;
    std::string name;
    uint8_t operand_count = 0;

    bool defined() const { return !name.empty(); }
};

struct OpcodeTable {
    std::array<OpcodeEntry, kLastSharedOpcode + 1> entries;
};

// The process-wide shared table, and its return to all-empty slots.
OpcodeTable& opcode_table();
void reset_opcode_table();

// Stores the slot for `number`.  A number outside 0..200 prints
// "\nINTERNAL ERROR: Invalid opcode, aborting\n" and stops the run (status 1).
void define_opcode(int number, std::string_view name, int operand_count);

// Fills slots 0..163 with the file's opcode set (done when an input stream
// is opened).
void define_file_opcodes();

} // namespace vx::icode
