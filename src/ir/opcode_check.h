// The start-up check of the file library's opcode table against the
// optimizer's own (`if_node_info`).
//
// The file library fills its table (numbers 0..200) when an input stream is
// opened; the optimizer then defines its internal opcodes 163..189 in it and
// requires every opcode it knows to agree in number, name and operand count,
// because tree records name opcodes by number and the reader decides by the
// operand count how many subtrees follow.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

namespace vx::ir {

// One slot of the file library's table.  `name` is nullptr for an empty slot.
struct SharedOpcodeEntry {
    int32_t number = 0;
    const char* name = nullptr;
    int operand_count = 0;
};

// The file library's table as the check sees it.
struct SharedOpcodeTable {
    // The slot of a number 0..200.
    std::function<SharedOpcodeEntry(int number)> entry;
    // Stores a slot (the file library's define operation).
    std::function<void(int number, const char* name, int operand_count)> define;
};

// Defines 163..189 in the shared table and compares it with if_node_info.
// While tracing, the check and every mismatch are reported to `trace_log`
// (nullptr when tracing is off), which is flushed after each write.  Any
// mismatch prints "INTERNAL ERROR: if_node_info[] mismatch" on the error
// stream and stops the run with status 1.
void check_opcode_tables(const SharedOpcodeTable& shared, FILE* trace_log);

} // namespace vx::ir
