// The IR verifier's tree and symbol checks: with "debug:verify" the driver
// checks every function after every step, so that a pass that breaks the
// IR is caught at the step that broke it rather than steps later.
//
// Each check returns a description of the first violation it finds, or
// nothing when the IR is sound.  They never stop the run themselves: the
// caller decides (the driver ends through its abnormal path, naming the
// step).  docs/ir-verifier.md lists the checks.
#pragma once

#include "ir/function_info.h"
#include "ir/node.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>

namespace vx::icode {
struct FunctionBody;
struct StatementEntry;
} // namespace vx::icode

namespace vx::ir {

// The symbols a function's trees may name: its own locals (local table
// and symbol lists) and the globals.  Taken once per check, since passes
// add symbols between steps.
class SymbolScope {
public:
    // Only the globals.
    SymbolScope();
    explicit SymbolScope(const FUNINFO& function);

    bool is_global(const Symbol* symbol) const { return globals_.count(symbol) != 0; }
    bool is_local(const Symbol* symbol) const { return locals_.count(symbol) != 0; }

private:
    std::unordered_set<const Symbol*> globals_;
    std::unordered_set<const Symbol*> locals_;
};

// What a tree is checked against.
struct TreeCheckContext {
    const SymbolScope* symbols = nullptr; // nullptr: NAME symbols are not looked up
    // The label numbers the function defines; nullptr: label references
    // are not checked.
    const std::unordered_set<uint32_t>* defined_labels = nullptr;
};

// Operand counts per opcode, listed opcodes, types where a value needs one,
// leaf payloads, label references and NAME symbols of one tree.
std::optional<std::string> verify_tree(const NODE* tree, const TreeCheckContext& context);

// The function's local symbols: each on at most one list and in the local
// table, a type, a size that matches it, a level that fits its list and,
// for parameters, a parameter storage class.
std::optional<std::string> verify_function_symbols(const FUNINFO& function);

// The label numbers defined by LABELDEF statements; the second number a
// label defined more than once (nothing when every label is unique).
struct LabelDefinitions {
    std::unordered_set<uint32_t> numbers;
    std::optional<uint32_t> duplicate;
};
LabelDefinitions collect_label_definitions(std::span<const icode::StatementEntry> statements);

// The statement list: no empty statement, LABELDEF only at the top and
// each label defined once, and every tree sound (references resolved in
// this function).
std::optional<std::string> verify_statements(const FUNINFO& function,
                                             std::span<const icode::StatementEntry> statements);

// Symbols (with the lexical scopes of the body), then statements.
std::optional<std::string> verify_function(const FUNINFO& function,
                                           const icode::FunctionBody& body);

} // namespace vx::ir
