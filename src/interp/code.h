// The interpreter's compiled form of a function.
//
// Statement trees are compiled once per run into Code nodes: lvalues become
// address computations, variables become frame offsets or absolute word
// addresses, labels become statement indexes, members become word offsets,
// and each node carries the shape of the value it computes.  The evaluator
// is then a switch over Op with no lookups.  Each Code node carries the
// number of source tree nodes it stands for (`weight`), so that the
// operation count is the same whatever the compiler fuses.
#pragma once

#include "interp/program.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vx::interp {

// The class of a value.  Integers and pointers are kept in 64 bits in
// canonical form: sign-extended from their width when signed, zero-extended
// otherwise.  Floating values are kept as the bits of a host double (rounded
// to single precision for 32-bit types).  Blocks (structures, arrays) and
// functions are represented by their word address.
enum class Cls : uint8_t { none, integer, floating, block, function };

struct Shape {
    Cls cls = Cls::none;
    uint8_t bits = 0; // integer and floating widths: 16, 32, 64 (1..64 for integers)
    bool is_signed = false;
    uint32_t words = 0; // storage size in words
};

enum class Op : uint8_t {
    // Leaves
    constant,   // imm
    local_addr, // frame base + imm
    load_local, // scalar at frame base + imm
    load_abs,   // scalar at imm
    fault,      // raises `text` with status `count`
    // Memory
    load,        // scalar at a
    store,       // a = address, b = value; yields the value stored
    store_local, // frame base + imm = b
    block_copy,  // a = destination address, b = source address, count words
    update,      // a op= b (sub), yields the new value
    post_update, // a++ / a-- by b (sub is add or sub), yields the old value
    add_offset,  // a + imm (a word address)
    // Integer arithmetic, wrapped to the node's shape
    add,
    sub,
    mul,
    div,
    mod,
    band,
    bor,
    bxor,
    shl,
    shr,
    neg,
    bnot,
    abs,
    // Floating arithmetic
    fadd,
    fsub,
    fmul,
    fdiv,
    fneg,
    fabs,
    // Comparisons: operands of shape (obits, osigned) or floating
    eq,
    ne,
    lt,
    le,
    gt,
    ge,
    ult,
    ule,
    ugt,
    uge,
    feq,
    fne,
    flt,
    fle,
    fgt,
    fge,
    lnot, // !a
    andand,
    oror,
    quest,
    comma,
    convert, // a of shape (ocls, obits, osigned) to the node's shape
    call,    // see CallSite
};

struct Function;
struct CallSite;

struct Code {
    Op op = Op::constant;
    Op sub = Op::add;    // the arithmetic of update and post_update
    Cls cls = Cls::none; // the result's class
    uint8_t bits = 0;    // the result's width
    bool is_signed = false;
    uint8_t words = 0;    // words of a scalar load or store
    uint16_t weight = 0;  // source nodes this node stands for
    Cls ocls = Cls::none; // operand shape (comparisons, conversions)
    uint8_t obits = 0;
    bool osigned = false;
    uint8_t bit_pos = 0;   // a bit-field's first bit in its first word
    uint8_t bit_width = 0; // 0 unless the access is to a bit-field
    uint32_t count = 0;    // block words; a fault's status
    int64_t imm = 0;
    Code* a = nullptr;
    Code* b = nullptr;
    Code* c = nullptr;
    const CallSite* site = nullptr;
    const std::string* text = nullptr; // a fault's message
};

// An argument as the caller evaluates it: a scalar value or a block copied
// word by word.
struct Argument {
    Code* value = nullptr;
    bool is_block = false;
    uint32_t words = 0;
};

struct CallSite {
    Function* direct = nullptr; // nullptr: the callee is computed by `callee`
    Code* callee = nullptr;
    std::vector<Argument> args;
    // A structure result goes to a temporary of the caller's frame that
    // belongs to this call alone, so two results pending at once (the
    // arguments of `f(g(), h())`) never share words.  -1: the program's
    // shared return buffer (a call in an initializer).
    int64_t result_offset = -1;
    uint32_t result_words = 0;
};

enum class StmtKind : uint8_t {
    expression, // evaluate e
    nothing,    // a label definition or a loop's head
    branch,     // to target
    cbranch,    // to target when e is true
    two_way,    // to target when e is true, else to other (IF)
    multiway,   // SWITCH
    ret,        // e (or nothing)
    fault,      // evaluate e, a fault node
};

struct SwitchCase {
    uint64_t value = 0;
    uint32_t target = 0;
};

struct Stmt {
    StmtKind kind = StmtKind::nothing;
    uint8_t weight = 0; // the statement node itself (the root), 0 or 1
    bool other_falls_through = false;
    Code* e = nullptr;
    uint32_t target = 0;
    uint32_t other = 0;
    std::vector<SwitchCase> cases; // sorted by value
    uint64_t case_mask = ~uint64_t{0};
    bool has_default = false;
};

// A place in the frame: parameters first, then the locals.
struct FrameObject {
    uint32_t offset = 0;
    uint32_t words = 0;
};

struct Parameter {
    uint32_t offset = 0;
    Shape shape;
};

enum class FunctionKind : uint8_t { defined, printf, putchar, puts, unknown };

struct Function {
    std::string name;
    FunctionKind kind = FunctionKind::unknown;
    uint32_t index = 0; // its address is kFunctionBase + index
    Shape result;
    std::vector<Parameter> params;
    std::vector<FrameObject> objects;
    uint32_t frame_words = 0;
    std::vector<Stmt> stmts; // ends with a return
};

// Function addresses lie above every memory word.
inline constexpr uint64_t kFunctionBase = 0xF0000000u;

} // namespace vx::interp
