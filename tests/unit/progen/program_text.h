// Reads back the text that the generator writes, for the structural
// checks: trees as s-expressions, and each function's records in order.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vx::progen::testing {

struct Tree {
    std::string op; // "ICON", "NAME", ...
    int type = 0;   // after the colon; 0 when absent
    std::vector<std::string> payload;
    std::vector<std::unique_ptr<Tree>> kids;

    const Tree& kid(size_t i) const { return *kids.at(i); }
    // Whether a NAME of (level, index) occurs anywhere in the tree.
    bool mentions(int level, int index) const;
    // Visits every node, preorder.
    template <class F> void each(F&& visit) const {
        visit(*this);
        for (const auto& k : kids)
            k->each(visit);
    }
};

// Parses one tree; throws std::runtime_error on malformed text.
std::unique_ptr<Tree> parse_tree(const std::string& text);

struct Record {
    std::string keyword;        // func, sym, stmt, label, block, endblock, ...
    std::string rest;           // the line after the keyword, comment removed
    std::unique_ptr<Tree> tree; // for stmt
    int line = 0;
};

struct FunctionText {
    int symbol = -1;
    std::vector<Record> records;
};

struct ProgramText {
    std::vector<FunctionText> functions;
    std::vector<std::string> symbol_lines;
    std::vector<std::string> init_lines;
};

ProgramText parse_program(const std::string& text);

} // namespace vx::progen::testing
