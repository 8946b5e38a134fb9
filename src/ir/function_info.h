// The per-function record (`FUNINFO`) and the little of the symbol record
// that the driver needs.  The symbol table proper grows these records; the
// driver only relies on the fields named here.
#pragma once

#include <string>

namespace vx::ir {

struct Symbol {
    std::string name;
    int option_set = 0;    // index of the option set in force for this function
    unsigned sequence = 0; // order of declaration, the key of "set call-graph order"
};

struct FunctionInfo {
    Symbol* symbol = nullptr;
    std::string source_file;  // empty when unknown
    bool suppressed = false;  // marked for suppression by the inliner
    bool not_emitted = false; // the trailer does not write the function
    bool has_flow_graph = false;
};

} // namespace vx::ir
