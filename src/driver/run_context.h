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
#include <set>
#include <string>
#include <vector>

namespace vx::driver {

// A function's symbol or record.  The symbol tables own both for the run;
// a test that builds a function by hand may hand one over to be owned here.
template <class T> class Held {
public:
    Held& operator=(T* borrowed) {
        owned_.reset();
        pointer_ = borrowed;
        return *this;
    }
    Held& operator=(std::unique_ptr<T> owned) {
        owned_ = std::move(owned);
        pointer_ = owned_.get();
        return *this;
    }
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    T& operator*() const { return *pointer_; }

private:
    T* pointer_ = nullptr;
    std::unique_ptr<T> owned_;
};

// A function of the file: what the reader built of it, and the steps it
// still has to run.
struct FunctionEntry {
    Held<ir::Symbol> symbol;
    Held<ir::FunctionInfo> info;
    icode::FunctionBody body;
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
