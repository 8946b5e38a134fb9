// The front end as one call: preprocess, parse, write I-code.
#pragma once

#include <string>
#include <vector>

namespace vx::cfront {

struct CompileOptions {
    std::string source;                    // the C file
    std::vector<std::string> include_dirs; // -I
    std::vector<std::string> defines;      // -D name[=value]
    std::string system_include_dir;        // the target's headers
};

struct CompileResult {
    bool ok = false;
    std::string text;    // the I-code text form
    std::string message; // "file:line:column: error: ..." when not ok
};

// Runs the system preprocessor over the source with the target's headers.
// Returns false and a message when it fails.
bool preprocess(const CompileOptions& options, std::string& output, std::string& message);

// Compiles preprocessed C; `file` names the source in messages and in the
// file-name section.
CompileResult compile_preprocessed(const std::string& text, const std::string& file);

CompileResult compile(const CompileOptions& options);

} // namespace vx::cfront
