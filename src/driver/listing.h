// The listing files: the debug log (".odb") that traces every step, and the
// information file (".nfo") with commentary for the programmer.
#pragma once

#include <string>

namespace vx::driver {

// Writes to the debug log when tracing is on, flushing after every write; a
// failed write or flush is an internal error.
void debug_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes to the information file when it is open.
void info_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

bool tracing();

// The name of `input` with its extension (the text after the last dot of
// the last path component) replaced by `extension` (which includes the dot).
std::string replace_extension(const std::string& input, const std::string& extension);
// The name of `input` without its extension.
std::string strip_extension(const std::string& input);

// The product name and banner line written at the top of the info file.
const char* product_name();
std::string product_banner();
std::string build_number_line();

} // namespace vx::driver
