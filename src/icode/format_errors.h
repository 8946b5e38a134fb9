// How the format layer reports bad input and impossible output.
//
// Malformed input ends the run (status 1) after two messages on standard
// error: a line that names the stream offset and the fault,
//   "\n>> I-code error at 0x%lx: %s\n"
// and then the fault's family message:
//   "\nINTERNAL ERROR: Invalid I-code record, aborting\n"        (records, trees)
//   "\nINTERNAL ERROR: Invalid EHT record in I-code, aborting\n" (exception tables)
// A record of a kind unknown at top level is not fatal: it prints
//   "\n///ERROR @0x%lx\n\n"
// and the reader skips it by its length.  The writer's faults are
// ">> Value exceeds size of short\n" and
// ">> ICODE Buffer size exceeded and realloc failed\n" (status 1).
#pragma once

#include <cstddef>

namespace vx::icode {

[[noreturn]] __attribute__((format(printf, 2, 3))) void fail_record(size_t offset,
                                                                    const char* format, ...);
[[noreturn]] __attribute__((format(printf, 2, 3))) void fail_eht(size_t offset, const char* format,
                                                                 ...);

void report_unknown_kind(size_t offset);

[[noreturn]] void fail_short_value();
[[noreturn]] void fail_buffer_growth();

} // namespace vx::icode
