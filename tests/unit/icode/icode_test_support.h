// Helpers for the I-code tests: streams built from record bytes, random
// well-formed streams, and running code that may end the run.
#pragma once

#include "icode/file_header.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace vx::icode::testing {

// A stream from the bytes of its sections (each without its end mark):
// header, main part, then the present sections in the writer's order.
struct StreamParts {
    int version = kNewestVersion;
    std::string name = "t.c";
    std::string main;
    std::map<Section, std::string> sections;
};
std::string build_stream(const StreamParts& parts);

// A random well-formed stream of `version` holding every record kind, type
// code and payload kind, with the sections in a random order and, now and
// then, bytes between them.
std::string generate_stream(uint32_t seed, int version);

// What happened when code that may end the run was run.
struct Outcome {
    bool stopped = false; // the run was ended
    int status = 0;
    std::string err; // what went to standard error
};
Outcome run_guarded(const std::function<void()>& action);

// Reads every section of `bytes` as the optimizer's reader does (file
// names, types, symbols, initializers, main part), re-encoding each record
// and checking that its bytes come back.  Returns the number of records.
size_t read_everything(const std::string& bytes);

// The text form of `bytes` (which must be well formed).
std::string dis(const std::string& bytes);

// A file in the text form with function f (global 0, parameter x (1,0),
// local y (2,1)) around `body`, followed by `sections` (types, files and
// symbols).
std::string function_text_with(const std::string& body, const std::string& sections);

} // namespace vx::icode::testing
