// The I-code interpreter: runs whole programs, so that every optimization
// can be checked by running a program before and after it.
//
// A Program is a set of functions over the global symbols of the current
// symbol world (ir::global_symbols()).  It is filled either from an I-code
// file, read with the interpreter's own reader client that keeps statements
// as the file has them (read_program), or function by function from the
// optimizer's in-memory bodies (define_function), so that a test can run a
// function, apply a pass to its body and run it again without files.
//
//   auto program = interp::read_program(file, "t.icode", package);
//   interp::RunResult result = program->run({});          // main()
//   program->define_function(symbol, info, new_statements);
//   interp::RunResult again = program->run({});
//
// docs/interpreter.md describes the machine, the costs it counts and the
// faults.
#pragma once

#include "icode/reader_client.h"
#include "ir/node.h"
#include "ir/symbol.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vx::ir {
class TYPE_PKG;
struct FUNINFO;
} // namespace vx::ir

namespace vx::interp {

// How a run ended; the values are the exit statuses of `ictool run`.
enum class Status : int {
    completed = 0,
    unsupported = 2,      // the program uses something the interpreter cannot run
    division_by_zero = 3, // DIV or MOD by zero
    bad_access = 4,       // memory outside every object, or the stack exhausted
    unknown_function = 5, // a call of a function with no body that is no intrinsic
    step_limit = 6,       // more tree nodes evaluated than allowed
};

// The dynamic cost of a run (docs/interpreter.md says what each counts).
struct Counters {
    uint64_t ops = 0;      // tree nodes evaluated
    uint64_t loads = 0;    // scalar reads of memory; a structure copy reads once
    uint64_t stores = 0;   // scalar writes of memory; a structure copy writes once
    uint64_t branches = 0; // transfers of control taken
    uint64_t calls = 0;    // calls executed, output intrinsics included
};

inline constexpr uint64_t kDefaultMaxSteps = 100'000'000;
inline constexpr unsigned kDefaultMaxDepth = 10'000;

struct RunRequest {
    std::string entry = "main";
    std::vector<int64_t> args; // converted to the entry's parameter types
    uint64_t max_steps = kDefaultMaxSteps;
    unsigned max_depth = kDefaultMaxDepth; // nested calls before "stack overflow"
    // Where the program's output goes as it is made; nullptr keeps it in
    // RunResult::output.
    FILE* output = nullptr;
};

struct RunResult {
    Status status = Status::completed;
    std::string fault;    // what went wrong, for a status other than completed
    std::string function; // the function running when it went wrong
    int64_t exit_value = 0;
    std::string exit_text = "0"; // the entry's value in decimal, as its type reads it
    Counters counts;
    std::string output; // when RunRequest::output was nullptr

    // "exit=V ops=N loads=N stores=N branches=N calls=N"
    std::string summary_line() const;
    // "ictool run: fault: <what> in function <name>"
    std::string fault_line() const;
};

struct ProgramState; // the laid-out program: memory image, compiled code

class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Gives `function` this body (replacing any earlier one).  `statements`
    // is a statement list in source order in either form: the file's
    // (CBRANCH, LOOP, ENDLOOP, label definitions) or the optimizer's (IF
    // with two targets).  The trees are compiled by every run, so they may
    // be rewritten in place between runs, and must live as long as the
    // program runs; `info` holds the parameters and locals.
    void define_function(ir::Symbol& function, ir::FUNINFO& info,
                         std::vector<ir::NODE*> statements);
    // The same for a function as the optimizer's reader hands it over.
    void define_function(const icode::FunctionRead& read);

    bool defines(const std::string& name) const;

    // Runs `request.entry` from a fresh memory image (globals initialized).
    RunResult run(const RunRequest& request);

private:
    struct Definition {
        ir::Symbol* symbol = nullptr;
        ir::FUNINFO* info = nullptr;
        std::vector<ir::NODE*> statements;
    };
    std::map<std::string, Definition> definitions_;
    std::unique_ptr<ProgramState> state_; // the last run's

    friend struct ProgramBuilder;
};

// Reads a whole I-code file from the current position of `in` into a
// program, with the current symbol world and `package` (the reading
// environment, icode::install_reading_environment(), must be installed).
// nullptr when the stream does not start with a valid header; malformed
// records end the run through vx::stop_run(1) after the reader's messages.
std::unique_ptr<Program> read_program(FILE* in, const std::string& name, ir::TYPE_PKG& package);

} // namespace vx::interp
