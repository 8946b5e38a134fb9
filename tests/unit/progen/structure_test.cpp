// The generated text is well defined by construction; these checks read it
// back and confirm the construction: labels, names, initialization before
// use, guarded divisions and shifts, and a return at every function's end.
#include "progen/generator.h"
#include "unit/progen/program_text.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace vx::progen::testing {
namespace {

std::string where(uint64_t seed, ProgramSize size) {
    return std::string("seed ") + std::to_string(seed) + " size " + program_size_name(size);
}

int width_of_type(int type) {
    static const std::map<int, int> widths = {{2, 16}, {3, 16}, {4, 32}, {5, 32}, {6, 64}, {7, 64}};
    auto found = widths.find(type);
    return found == widths.end() ? 0 : found->second;
}

long long icon_value(const Tree& node) {
    return std::stoll(node.payload.at(0));
}

// A divisor is a constant other than 0 and -1, a value with its low bit
// set, or a test that substitutes a constant for the bad values.
bool guarded_divisor(const Tree& divisor) {
    if (divisor.op == "ICON") {
        const long long v = icon_value(divisor);
        return v != 0 && v != -1;
    }
    if (divisor.op == "ORB")
        return divisor.kid(1).op == "ICON" && icon_value(divisor.kid(1)) == 1;
    if (divisor.op == "QUEST") {
        const Tree& colon = divisor.kid(1);
        return colon.op == "COLON" && colon.kid(0).op == "ICON" && icon_value(colon.kid(0)) > 1;
    }
    return false;
}

bool guarded_shift(const Tree& count, int width) {
    if (count.op == "ICON")
        return icon_value(count) >= 0 && icon_value(count) < width;
    return count.op == "ANDB" && count.kid(1).op == "ICON" && icon_value(count.kid(1)) >= 0 &&
           icon_value(count.kid(1)) < width;
}

struct LabelUse {
    int block;
    int line;
};

class FunctionChecker {
public:
    FunctionChecker(const FunctionText& function, size_t global_count, const std::string& context)
        : function_(function), globals_(global_count), context_(context) {}

    void check() {
        block_parent_.push_back(-1); // block 0: the function
        for (const Record& record : function_.records)
            visit(record);
        for (const auto& [label, uses] : references_) {
            auto def = definitions_.find(label);
            ASSERT_NE(def, definitions_.end()) << context_ << ": label " << label << " not defined";
            for (const LabelUse& use : uses)
                EXPECT_TRUE(encloses(def->second.block, use.block))
                    << context_ << ": branch on line " << use.line << " into a block";
        }
        ASSERT_GE(function_.records.size(), 2u);
        const Record& last = function_.records[function_.records.size() - 2];
        ASSERT_EQ(last.keyword, "stmt") << context_;
        EXPECT_TRUE(last.tree->op == "RETURN" || last.tree->op == "URETURN") << context_;
    }

private:
    struct Local {
        int level;
        bool initialized;
    };

    bool encloses(int outer, int inner) const {
        for (int b = inner; b >= 0; b = block_parent_[static_cast<size_t>(b)])
            if (b == outer)
                return true;
        return false;
    }

    void visit(const Record& record) {
        const std::string& k = record.keyword;
        if (k == "sym") {
            locals_[next_index_] = Local{level_, level_ == 1};
            scopes_.back().insert(next_index_++);
        } else if (k == "endparams") {
            level_ = 2;
            scopes_.emplace_back();
        } else if (k == "block") {
            ++level_;
            scopes_.emplace_back();
            block_parent_.push_back(block_);
            block_ = static_cast<int>(block_parent_.size()) - 1;
        } else if (k == "endblock") {
            --level_;
            scopes_.pop_back();
            block_ = block_parent_[static_cast<size_t>(block_)];
        } else if (k == "label") {
            define(std::stoi(record.rest), record.line);
        } else if (k == "stmt") {
            statement(*record.tree, record.line);
        }
    }

    void define(int label, int line) {
        EXPECT_FALSE(definitions_.count(label)) << context_ << ": label " << label << " twice";
        definitions_[label] = LabelUse{block_, line};
    }

    bool visible(int level, int index) const {
        for (const auto& scope : scopes_)
            if (scope.count(index))
                return locals_.at(index).level == level;
        return false;
    }

    void statement(const Tree& root, int line) {
        if (root.op == "LOOP")
            define(std::stoi(root.kid(1).payload.at(0)), line);
        root.each([&](const Tree& node) { check_node(root, node, line); });
    }

    void check_node(const Tree& root, const Tree& node, int line) {
        const std::string at = context_ + " line " + std::to_string(line);
        if (node.op == "LABEL" && root.op != "LOOP")
            references_[std::stoi(node.payload.at(0))].push_back(LabelUse{block_, line});
        if (node.op == "NAME") {
            const int level = std::stoi(node.payload.at(0)), index = std::stoi(node.payload.at(1));
            if (level == 0) {
                EXPECT_LT(static_cast<size_t>(index), globals_) << at;
                return;
            }
            ASSERT_TRUE(visible(level, index)) << at << ": (" << level << "," << index << ")";
            Local& local = locals_[index];
            if (!local.initialized) {
                // The first statement that names a local stores into it.
                EXPECT_EQ(root.op, "ASG") << at << ": (" << level << "," << index << ") read first";
                if (root.op == "ASG") {
                    EXPECT_FALSE(root.kid(1).mentions(level, index)) << at;
                }
                local.initialized = true;
            }
        }
        if (node.op == "DIV" || node.op == "MOD" || node.op == "DIVASG" || node.op == "MODASG") {
            EXPECT_TRUE(guarded_divisor(node.kid(1))) << at << ": unguarded " << node.op;
        }
        if (node.op == "SLL" || node.op == "SRL" || node.op == "SLLASG" || node.op == "SRLASG") {
            EXPECT_TRUE(guarded_shift(node.kid(1), width_of_type(node.type)))
                << at << ": unguarded " << node.op;
        }
    }

    const FunctionText& function_;
    size_t globals_;
    std::string context_;
    int level_ = 1;
    int next_index_ = 0;
    int block_ = 0;
    std::vector<int> block_parent_;
    std::map<int, Local> locals_;
    std::vector<std::set<int>> scopes_{1};
    std::map<int, LabelUse> definitions_;
    std::map<int, std::vector<LabelUse>> references_;
};

void check_program(uint64_t seed, ProgramSize size) {
    const std::string text = generate_program_text({seed, size});
    ProgramText program = parse_program(text);
    ASSERT_GE(program.functions.size(), 3u) << where(seed, size);
    std::set<int> defined;
    for (const FunctionText& function : program.functions) {
        EXPECT_TRUE(defined.insert(function.symbol).second) << where(seed, size);
        ASSERT_LT(static_cast<size_t>(function.symbol), program.symbol_lines.size());
        FunctionChecker(function, program.symbol_lines.size(),
                        where(seed, size) + " function " + std::to_string(function.symbol))
            .check();
    }
    // printf is declared, never defined.
    ASSERT_FALSE(program.symbol_lines.empty());
    EXPECT_NE(program.symbol_lines[0].find("\"printf\" class=5"), std::string::npos);
    EXPECT_FALSE(defined.count(0));
}

TEST(GeneratedStructure, SmallProgramsAreWellFormed) {
    for (uint64_t seed = 1; seed <= 60; ++seed)
        check_program(seed, ProgramSize::small);
}

TEST(GeneratedStructure, MediumAndLargeProgramsAreWellFormed) {
    for (uint64_t seed = 1; seed <= 8; ++seed)
        check_program(seed, ProgramSize::medium);
    for (uint64_t seed = 1; seed <= 3; ++seed)
        check_program(seed, ProgramSize::large);
}

TEST(GeneratedStructure, CoversTheStatementShapes) {
    std::set<std::string> seen;
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        ProgramText program = parse_program(generate_program_text({seed, ProgramSize::medium}));
        for (const FunctionText& function : program.functions)
            for (const Record& record : function.records) {
                seen.insert(record.keyword);
                if (record.tree)
                    record.tree->each([&](const Tree& node) { seen.insert(node.op); });
            }
    }
    for (const char* op :
         {"block",    "endblock", "LOOP",  "ENDLOOP", "CBRANCH", "BRANCH",  "SWITCH",
          "DEFAULT",  "CALL",     "UCALL", "STDOT",   "STREF",   "SCONV",   "PLUSASG",
          "PLUSPLUS", "MINMIN",   "QUEST", "ANDAND",  "OROR",    "COMMAOP", "DIV",
          "MOD",      "SLL",      "SRL",   "LCON",    "URETURN", "RETURN"})
        EXPECT_TRUE(seen.count(op)) << op;
}

TEST(TreeReader, ParsesNestedTreesAndStrings) {
    auto tree = parse_tree("(ASG:2 (NAME:2 2 5) (SCON:9 \"a (b)\\\"\"))");
    EXPECT_EQ(tree->op, "ASG");
    EXPECT_EQ(tree->type, 2);
    EXPECT_TRUE(tree->mentions(2, 5));
    EXPECT_FALSE(tree->mentions(2, 6));
    EXPECT_EQ(tree->kid(1).payload.at(0), "\"a (b)\\\"\"");
    EXPECT_THROW(parse_tree("(PLUS:2 (ICON:2 1)"), std::runtime_error);
}

} // namespace
} // namespace vx::progen::testing
