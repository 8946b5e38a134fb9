#include "icode/format_errors.h"

#include "support/termination.h"

#include <cstdarg>
#include <cstdio>

namespace vx::icode {

namespace {

[[noreturn]] void fail(const char* family, size_t offset, const char* detail) {
    std::fprintf(stderr, "\n>> I-code error at 0x%lx: %s\n", static_cast<unsigned long>(offset),
                 detail);
    std::fputs(family, stderr);
    std::fflush(stderr);
    stop_run(1);
}

[[noreturn]] void stop_with(const char* message) {
    std::fputs(message, stderr);
    std::fflush(stderr);
    stop_run(1);
}

} // namespace

void fail_record(size_t offset, const char* format, ...) {
    char detail[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(detail, sizeof detail, format, args);
    va_end(args);
    fail("\nINTERNAL ERROR: Invalid I-code record, aborting\n", offset, detail);
}

void fail_eht(size_t offset, const char* format, ...) {
    char detail[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(detail, sizeof detail, format, args);
    va_end(args);
    fail("\nINTERNAL ERROR: Invalid EHT record in I-code, aborting\n", offset, detail);
}

void report_unknown_kind(size_t offset) {
    std::fprintf(stderr, "\n///ERROR @0x%lx\n\n", static_cast<unsigned long>(offset));
    std::fflush(stderr);
}

void fail_short_value() {
    stop_with(">> Value exceeds size of short\n");
}

void fail_buffer_growth() {
    stop_with(">> ICODE Buffer size exceeded and realloc failed\n");
}

} // namespace vx::icode
