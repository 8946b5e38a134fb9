#include "unit/progen/program_text.h"

#include <sstream>
#include <stdexcept>

namespace vx::progen::testing {

namespace {

class TreeParser {
public:
    explicit TreeParser(const std::string& text) : text_(text) {}

    std::unique_ptr<Tree> tree() {
        skip_blanks();
        expect('(');
        auto node = std::make_unique<Tree>();
        std::string head = token();
        const size_t colon = head.find(':');
        node->op = head.substr(0, colon);
        if (colon != std::string::npos)
            node->type = std::stoi(head.substr(colon + 1));
        for (;;) {
            skip_blanks();
            if (at_end())
                throw std::runtime_error("unclosed tree: " + text_);
            if (text_[pos_] == ')') {
                ++pos_;
                return node;
            }
            if (text_[pos_] == '(')
                node->kids.push_back(tree());
            else
                node->payload.push_back(token());
        }
    }

    bool at_end() const { return pos_ >= text_.size(); }
    void skip_blanks() {
        while (!at_end() && (text_[pos_] == ' ' || text_[pos_] == '\n'))
            ++pos_;
    }

private:
    void expect(char c) {
        if (at_end() || text_[pos_] != c)
            throw std::runtime_error(std::string("expected '") + c + "' in " + text_);
        ++pos_;
    }
    std::string token() {
        const size_t start = pos_;
        if (!at_end() && text_[pos_] == '"') {
            for (++pos_; !at_end() && text_[pos_] != '"'; ++pos_)
                if (text_[pos_] == '\\')
                    ++pos_;
            ++pos_;
            return text_.substr(start, pos_ - start);
        }
        while (!at_end() && text_[pos_] != ' ' && text_[pos_] != '(' && text_[pos_] != ')')
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    const std::string& text_;
    size_t pos_ = 0;
};

std::string strip_comment(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"' && (i == 0 || line[i - 1] != '\\'))
            quoted = !quoted;
        if (line[i] == ';' && !quoted)
            return line.substr(0, i);
    }
    return line;
}

} // namespace

bool Tree::mentions(int level, int index) const {
    bool found = false;
    each([&](const Tree& node) {
        if (node.op == "NAME" && node.payload.size() == 2 &&
            node.payload[0] == std::to_string(level) && node.payload[1] == std::to_string(index))
            found = true;
    });
    return found;
}

std::unique_ptr<Tree> parse_tree(const std::string& text) {
    TreeParser parser(text);
    auto tree = parser.tree();
    parser.skip_blanks();
    if (!parser.at_end())
        throw std::runtime_error("text after the tree: " + text);
    return tree;
}

ProgramText parse_program(const std::string& text) {
    ProgramText program;
    std::istringstream in(text);
    std::string raw, section;
    int number = 0;
    FunctionText* current = nullptr;
    while (std::getline(in, raw)) {
        ++number;
        std::string line = strip_comment(raw);
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        line = line.substr(first);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        const size_t blank = line.find(' ');
        Record record;
        record.keyword = line.substr(0, blank);
        record.rest = blank == std::string::npos ? "" : line.substr(blank + 1);
        record.line = number;
        if (record.keyword == "section") {
            section = record.rest;
            continue;
        }
        if (section == "symbols") {
            if (record.keyword == "sym")
                program.symbol_lines.push_back(line);
            continue;
        }
        if (section == "init") {
            program.init_lines.push_back(line);
            continue;
        }
        if (section != "main")
            continue;
        if (record.keyword == "func") {
            program.functions.emplace_back();
            current = &program.functions.back();
            current->symbol = std::stoi(record.rest);
            continue;
        }
        if (current == nullptr)
            throw std::runtime_error("record outside a function on line " + std::to_string(number));
        if (record.keyword == "stmt")
            record.tree = parse_tree(record.rest);
        const bool ends = record.keyword == "endfunc";
        current->records.push_back(std::move(record));
        if (ends)
            current = nullptr;
    }
    return program;
}

} // namespace vx::progen::testing
