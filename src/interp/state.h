// A program laid out for running: its functions compiled, its globals and
// string constants placed in the initial memory image.
#pragma once

#include "interp/code.h"
#include "interp/memory.h"

#include <deque>
#include <map>
#include <string>

namespace vx::interp {

struct ProgramState {
    std::deque<Code> codes;
    std::deque<CallSite> sites;
    std::deque<std::string> texts;
    std::deque<Function> functions; // by index
    std::map<std::string, Function*> by_name;
    Memory image; // globals and strings, initialized
    // Where the entry (and a call in an initializer) leaves a structure
    // result; calls in functions have their own temporaries.
    uint32_t return_buffer = 0;
    uint32_t return_words = 0;
    // An initializer that could not be evaluated: every run ends with it.
    Status init_status = Status::completed;
    std::string init_fault;
};

} // namespace vx::interp
