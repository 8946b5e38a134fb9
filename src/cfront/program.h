// What the front end builds for the emitter: symbols, statement trees in
// I-code shapes, the block structure of every function, initializers.
#pragma once

#include "cfront/ctype.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx::cfront {

// Storage classes as I-code numbers them.
enum StorageClass : int {
    SC_AUTO = 1,
    SC_EXTERN_DEF = 2,
    SC_STATIC = 3,
    SC_EXTERN_REF = 5,
    SC_PARAM = 9,
};

// Attribute-list ids the front end writes.
enum AttributeId : int { ATTR_LANGUAGE = 49, ATTR_LOCAL_STATIC_OF = 51 };

struct Node;

struct Attribute {
    int id = 0;
    std::vector<std::string> arguments;
};

struct Symbol {
    std::string name;
    CType* type = nullptr;
    int storage = SC_AUTO;
    int level = 0;  // 0 global, 1 parameter, 2 and up block levels
    int index = -1; // global: position in the symbol section; local: set when written
    SourcePos pos;
    bool defined = false; // a function with a body, or a variable with storage here
    std::vector<Attribute> attributes;
    std::vector<Node*> initializer; // global initializer values, in layout order
    bool has_initializer = false;
};

// A tree node: `op` is the I-code opcode name.
struct Node {
    std::string op;
    CType* type = nullptr; // nullptr for untyped nodes (COMMA, CASE, CBRANCH...)
    int64_t value = 0;     // ICON value (wrapped to the type), LABEL number...
    int64_t value2 = 0;    // the second number of CALL, FIELD member index
    double fvalue = 0;     // FCON
    std::string bytes;     // SCON
    Symbol* symbol = nullptr;
    CType* container = nullptr; // FIELD
    std::vector<Node*> kids;
    bool has_side_effects = false;
};

struct Block;

// One entry of a function body, in order.
struct Item {
    enum class What : uint8_t { Statement, Label, Nested } what = What::Statement;
    Node* tree = nullptr;
    int label = 0;
    SourcePos pos;
    Block* block = nullptr;
};

struct Block {
    SourcePos begin, locals_end, end;
    std::vector<Symbol*> symbols;
    std::vector<Item> items;
};

struct Function {
    Symbol* symbol = nullptr;
    SourcePos begin, params_end, end;
    std::vector<Symbol*> params;
    Block* body = nullptr;
};

struct Program {
    std::vector<std::string> files;
    std::vector<Symbol*> globals; // in symbol-section order
    std::vector<Function> functions;
    std::string main_file;

    // Ownership of everything the tree points at.
    TypeTable types;
    std::vector<std::unique_ptr<Symbol>> symbol_store;
    std::vector<std::unique_ptr<Node>> node_store;
    std::vector<std::unique_ptr<Block>> block_store;

    Node* node(std::string op, CType* type);
    Symbol* symbol();
    Block* block();
};

} // namespace vx::cfront
