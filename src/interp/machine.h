// The evaluator: runs compiled code (code.h) on a memory that starts as the
// program's image.
#pragma once

#include "interp/state.h"

#include <bit>
#include <cstdio>
#include <string>
#include <vector>

namespace vx::interp {

// A fault ends the run; it travels up as this exception.
struct FaultRaised {
    Status status;
    std::string what;
};

class Machine {
public:
    // The memory starts as the state's image.
    Machine(ProgramState& state, const RunRequest& request);

    // Runs the request's entry with its arguments.
    RunResult run();

    // Evaluates an initializer's code on the image itself.
    uint64_t evaluate_constant(const Code* code);

    // The bits a value of `shape` has in memory, and back.
    static uint64_t encode(const Shape& shape, uint64_t value);
    static double as_double(uint64_t value) { return std::bit_cast<double>(value); }
    static uint64_t from_double(double value) { return std::bit_cast<uint64_t>(value); }
    // C's conversion toward zero, saturating where C leaves it open.
    static uint64_t float_to_integer(double value, const Shape& shape);

    // For the output intrinsics.
    Memory& memory() { return memory_; }
    [[noreturn]] void raise(Status status, std::string what);

private:
    uint64_t eval(const Code* c);
    // Where a structure result is copied when the callee returns.
    struct ResultPlace {
        uint64_t address = 0;
        uint32_t words = 0;
    };

    uint64_t execute(const Function& function, ResultPlace result);
    uint64_t call(const Code* c);
    uint64_t invoke(const Function& function, size_t first_arg, const CallSite* site,
                    ResultPlace result);
    ResultPlace shared_return_buffer() const;
    void bind_parameters(const Function& function, size_t first_arg, const CallSite* site);
    uint64_t intrinsic(const Function& function, size_t first_arg, const CallSite* site);

    uint64_t load(uint64_t address, const Code* c);
    uint64_t store(uint64_t address, const Code* c, uint64_t value);
    void copy_block(uint64_t to, uint64_t from, uint32_t words);
    void check(uint64_t address, uint32_t words);
    uint64_t arithmetic(Op op, const Code* c, uint64_t x, uint64_t y);
    uint64_t convert(const Code* c, uint64_t value);
    void emit(const std::string& text);
    void flush_output();

    ProgramState& state_;
    const RunRequest& request_;
    Memory memory_;
    Counters counts_;
    uint64_t fp_ = 0; // the running function's frame
    uint64_t sp_ = 0; // the first word after the last frame
    uint64_t stack_limit_ = 0;
    unsigned depth_ = 0;
    const Function* current_ = nullptr;
    std::vector<uint64_t> args_;
    std::string output_;
    std::string kept_output_;
};

} // namespace vx::interp
