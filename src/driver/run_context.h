// The driver's per-run state: files, flags, the schedule, the function list
// and the current function.  One record, reached through run_context() and
// reset by reset_run_context(), so that a test can start from a fresh world.
#pragma once

#include "driver/pass.h"
#include "icode/reader.h"
#include "icode/reader_client.h"
#include "icode/writer.h"
#include "ir/function_info.h"

#include <cstdio>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vx::driver {

// A function of the file: what the reader built of it, and the steps it
// still has to run.  The symbol tables own the symbol and the record for the
// run.  The body is read when the first step that needs it runs and is
// released once the trailer has written it, so that only the bodies in use
// take memory.
struct FunctionEntry {
    ir::Symbol* symbol = nullptr;
    ir::FunctionInfo* info = nullptr;
    icode::FunctionBody body;
    std::optional<size_t> unread_body; // stream offset of the unread body
    std::deque<pass*> passes;
};

struct RunContext {
    // Command line and files.
    std::string program_name = "optvx";
    std::string input_name;
    std::string output_name;
    std::string debug_log_name;
    std::string info_name;
    int arg_index = 1;
    int positional_count = 0;

    FILE* input = nullptr;
    FILE* output = nullptr;
    bool output_created = false; // the output file exists and is ours to remove
    FILE* info_file = nullptr;
    FILE* debug_log = nullptr;
    FILE* saved_debug_log = nullptr;         // the main log while a per-function log is in use
    std::set<std::string> split_logs_opened; // per-function logs started so far
    std::unique_ptr<icode::IcodeReader> reader;
    std::unique_ptr<icode::IcodeWriter> writer;

    // Listing state.
    long trace_level = 0; // 0: no tracing
    bool info_flag = false;

    // Phases: 1 while reading and in pass 1, 2 from "pass 2 header" on.
    int phase = 1;
    bool reading = false;

    bool simd = false;
    bool volatile_all = false;

    // Switches the step runner asks about for every function and step, noted
    // once the switch lists are applied (note_step_switches): looking them up
    // by name each time cost 1.5 % of a pass-through.
    struct StepSwitches {
        bool transform = true; // false under `debug:passthrough`
        bool verify = false;   // `debug:verify`
    } step_switches;

    // The schedule: steps in run order (owned), and the trailer.
    pass_manager passes;
    std::vector<std::unique_ptr<pass>> schedule;
    std::unique_ptr<pass> trailer;

    // The functions of the file in processing order.
    std::list<FunctionEntry> functions;
    ir::Symbol* currfunc = nullptr;
    ir::FunctionInfo* currfuninfo = nullptr;
    FunctionEntry* current_entry = nullptr; // the entry of currfunc while its steps run

    // Dumps the current function's flow graph to the debug log; set by the
    // flow analysis once it exists.
    void (*flow_graph_dumper)() = nullptr;
};

RunContext& run_context();
// Closes nothing: a fresh record for tests.  Steps of the old schedule are
// destroyed first, while their registry still exists.
void reset_run_context();

} // namespace vx::driver
