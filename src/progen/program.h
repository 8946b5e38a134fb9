// The generator's picture of the program it is writing: the variables it
// may name, the functions it may call, and the limits that keep every run
// short.  Internal to src/progen.
#pragma once

#include "progen/generator.h"
#include "progen/random.h"
#include "progen/types.h"

#include <memory>
#include <string>
#include <vector>

namespace vx::progen {

enum class Shape { scalar, array, record, record_array, pointer };

struct Var {
    std::string name;
    int level = 0; // 0 global, 1 parameter, 2 and up locals
    int index = 0; // in the global or the function's local table
    Shape shape = Shape::scalar;
    Scalar scalar = Scalar::i16; // scalar, element, or pointed-to scalar
    int length = 0;              // elements of an array, or behind a pointer
    int record = -1;             // record of a record, record array or record pointer
    int type = 0;                // declared type number
    bool initialized = false;
    bool read_only = false;  // loop counters, recursion depth, pointer parameters
    bool is_counter = false; // a loop counter: written by its loop only
    bool points_out = false; // a pointer whose target this function does not own
    int active_bound = 0;    // a counter inside its loop: it stays below this
    std::string reset;       // a pointer: the expression of its home target
    bool is_global() const { return level == 0; }
    bool points_to_record() const { return shape == Shape::pointer && record >= 0; }
};

struct Param {
    Shape shape = Shape::scalar; // scalar or pointer
    Scalar scalar = Scalar::i16;
    int length = 0;  // a pointer to scalars: elements the callee may touch
    int record = -1; // a pointer to a record
    int type = 0;
};

struct Function {
    std::string name;
    int symbol = 0; // global table index
    int type = 0;
    int pointer_type = 0;
    bool returns_void = false;
    Scalar result = Scalar::i16;
    std::vector<Param> params;
    bool pure = false;      // writes no global and nothing behind its pointer parameters
    bool recursive = false; // the first parameter is the remaining depth
    int max_depth = 0;
    uint64_t cost = 0; // an upper bound of its work, in tree nodes
    bool generated = false;
    std::string text;
};

struct SizeLimits {
    int functions_min, functions_max;
    uint64_t budget;         // the whole run, in tree nodes evaluated
    int max_trips;           // of one loop
    uint64_t max_multiplier; // product of the trip counts of nested loops
    int statements_per_block_min, statements_per_block_max;
    int statements_per_function;
    int max_block_depth;
    int globals_min, globals_max;
};

const SizeLimits& limits_for(ProgramSize size);

// What every function builder shares: the random source, the types, the
// globals and the function list, and the global symbol table.
struct ProgramState {
    ProgramState(const GeneratorOptions& options);

    GeneratorOptions options;
    SizeLimits limits;
    Random random;
    TypeTable types;
    std::vector<std::unique_ptr<Var>> globals;
    std::vector<Function> functions;       // the random ones; called only by lower numbers
    std::vector<std::string> symbol_lines; // the symbol section, in index order
    std::vector<std::string> init_lines;
    int printf_symbol = 0;
    int printf_type = 0;
    int printf_pointer_type = 0;
    int next_call_number = 1;
    // printf's format strings: global char arrays.
    struct Format {
        int symbol;
        int type;
    };
    Format value_format{}, void_format{}, checksum_format{};

    int add_global_symbol(const std::string& line);
};

} // namespace vx::progen
