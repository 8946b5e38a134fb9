// Source positions and the error that ends a compilation.
#pragma once

#include <stdexcept>
#include <string>

namespace vx::cfront {

struct SourcePos {
    int file = 0; // 1-based index into the compilation's file names; 0 for none
    int line = 0;
    int column = 0;
};

// Every mistake in the program ends the compilation with one message.
struct CompileError : std::runtime_error {
    CompileError(SourcePos pos_, const std::string& message)
        : std::runtime_error(message), pos(pos_) {}
    SourcePos pos;
};

[[noreturn]] inline void fail(SourcePos pos, const std::string& message) {
    throw CompileError(pos, message);
}

} // namespace vx::cfront
