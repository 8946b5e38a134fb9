#include "ir/opcode_check.h"

#include "ir/opcode.h"
#include "support/check.h"
#include "support/termination.h"

#include <cstdarg>
#include <cstring>

namespace vx::ir {

namespace {

// Writes one trace line when tracing; a log that cannot be written is a
// defect of the run, not something to carry on past.
__attribute__((format(printf, 2, 3))) void trace(FILE* log, const char* format, ...) {
    if (log == nullptr)
        return;
    va_list args;
    va_start(args, format);
    int written = std::vfprintf(log, format, args);
    va_end(args);
    VX_CHECK(written >= 0 && std::fflush(log) == 0);
}

[[noreturn]] void report_mismatch() {
    std::fputs("INTERNAL ERROR: if_node_info[] mismatch\n", stderr);
    std::fflush(stderr);
    stop_run(1);
}

bool same_name(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

bool agrees(const OpcodeInfo& ours, const SharedOpcodeEntry& theirs) {
    return theirs.number == ours.number && theirs.operand_count == ours.operand_count &&
           same_name(ours.name, theirs.name);
}

// Three opcodes whose slots tell at once whether the file library's table
// is laid out as ours at all; checked before anything is defined in it.
bool anchors_agree(const SharedOpcodeTable& shared) {
    for (int op : {NAME, UMINUS, CALL})
        if (!agrees(if_node_info[op], shared.entry(op)))
            return false;
    return true;
}

void define_internal_opcodes(const SharedOpcodeTable& shared) {
    for (int op = first_internal_opcode; op < opcode_table_size; ++op)
        shared.define(op, if_node_info[op].name, if_node_info[op].operand_count);
}

// Compares every opcode we know; reports each mismatch while tracing.
bool all_opcodes_agree(const SharedOpcodeTable& shared, FILE* trace_log) {
    bool all_agree = true;
    for (const OpcodeInfo& ours : if_node_info) {
        if (!ours.listed())
            continue;
        SharedOpcodeEntry theirs = shared.entry(ours.number);
        if (agrees(ours, theirs))
            continue;
        all_agree = false;
        trace(trace_log, "OP#%d: %d || %d || (%d != %d) <<%s>> <<%s>>\n", ours.number,
              theirs.number, same_name(ours.name, theirs.name) ? 0 : 1, ours.operand_count,
              theirs.operand_count, ours.name, theirs.name ? theirs.name : "");
        trace(trace_log, "\tNo match for %s\n", ours.name);
    }
    return all_agree;
}

} // namespace

void check_opcode_tables(const SharedOpcodeTable& shared, FILE* trace_log) {
    if (!anchors_agree(shared))
        report_mismatch();
    define_internal_opcodes(shared);
    trace(trace_log, " *** VALIDATING OPCODE TABLES\n");
    if (!all_opcodes_agree(shared, trace_log))
        report_mismatch();
    trace(trace_log, " *** OPCODE TABLES ARE OK\n\n");
}

} // namespace vx::ir
