#include "driver/listing.h"

#include "driver/run_context.h"
#include "support/check.h"

#include <cstdarg>
#include <cstdio>

namespace vx::driver {

void debug_printf(const char* format, ...) {
    RunContext& run = run_context();
    if (run.trace_level == 0 || !run.debug_log)
        return;
    FILE* FDEBUG = run.debug_log;
    va_list ap;
    va_start(ap, format);
    int written = std::vfprintf(FDEBUG, format, ap);
    va_end(ap);
    VX_CHECK(written >= 0);
    VX_CHECK(std::fflush(FDEBUG) >= 0);
}

void info_printf(const char* format, ...) {
    RunContext& run = run_context();
    if (!run.info_file)
        return;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(run.info_file, format, ap);
    va_end(ap);
}

bool tracing() {
    return run_context().trace_level != 0 && run_context().debug_log;
}

namespace {

size_t extension_dot(const std::string& name) {
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string::npos;
    return dot;
}

} // namespace

std::string replace_extension(const std::string& input, const std::string& extension) {
    return strip_extension(input) + extension;
}

std::string strip_extension(const std::string& input) {
    size_t dot = extension_dot(input);
    return dot == std::string::npos ? input : input.substr(0, dot);
}

const char* product_name() {
    return "Vexar C/C++ Optimizer";
}

std::string product_banner() {
    char line[128];
    std::snprintf(line, sizeof line, "%-40.40s%s%s\n", product_name(), "Version " VXOPT_VERSION,
                  "");
    return line;
}

// The build identifier is the version packed as two hexadecimal digits per
// component, so that a support engineer can tell a build from its listing.
std::string build_number_line() {
    char line[64];
    std::snprintf(line, sizeof line, "Build Number %02X%02X%02X\n", VXOPT_VERSION_MAJOR,
                  VXOPT_VERSION_MINOR, VXOPT_VERSION_PATCH);
    return line;
}

} // namespace vx::driver
