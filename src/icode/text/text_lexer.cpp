#include "icode/text/text_lexer.h"

namespace vx::icode::text {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool ends_word(char c) {
    return is_space(c) || c == '\n' || c == '(' || c == ')' || c == '"' || c == ';';
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    std::vector<TextStatement> run() {
        while (at_ < text_.size())
            step();
        if (depth_ > 0)
            throw TextError(open_line_, "unclosed parenthesis");
        finish_statement();
        return std::move(statements_);
    }

private:
    void step() {
        char c = text_[at_];
        if (c == '\n') {
            ++at_;
            if (depth_ == 0)
                finish_statement();
            ++line_;
        } else if (is_space(c)) {
            ++at_;
        } else if (c == ';') {
            while (at_ < text_.size() && text_[at_] != '\n')
                ++at_;
        } else if (c == '(') {
            if (depth_++ == 0)
                open_line_ = line_;
            push(TokenKind::open, "(");
            ++at_;
        } else if (c == ')') {
            if (depth_ == 0)
                throw TextError(line_, "')' without '('");
            --depth_;
            push(TokenKind::close, ")");
            ++at_;
        } else if (c == '"') {
            push(TokenKind::string, read_string());
        } else {
            push(TokenKind::word, read_word());
        }
    }

    // A word may end in "=" directly followed by a string: name="text".
    std::string read_word() {
        size_t start = at_;
        while (at_ < text_.size() && !ends_word(text_[at_]))
            ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    std::string read_string() {
        std::string bytes;
        ++at_; // opening quote
        for (;;) {
            if (at_ >= text_.size() || text_[at_] == '\n')
                throw TextError(line_, "unterminated string");
            char c = text_[at_++];
            if (c == '"')
                return bytes;
            bytes.push_back(c == '\\' ? read_escape() : c);
        }
    }

    char read_escape() {
        if (at_ >= text_.size())
            throw TextError(line_, "unterminated string");
        char c = text_[at_++];
        switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case '0':
            return '\0';
        case '\\':
        case '"':
            return c;
        case 'x': {
            int high = at_ + 1 < text_.size() ? hex_digit(text_[at_]) : -1;
            int low = high >= 0 ? hex_digit(text_[at_ + 1]) : -1;
            if (low < 0)
                throw TextError(line_, "\\x needs two hexadecimal digits");
            at_ += 2;
            return static_cast<char>(high * 16 + low);
        }
        default:
            throw TextError(line_, std::string("unknown escape \\") + c);
        }
    }

    void push(TokenKind kind, std::string spelling) {
        if (current_.tokens.empty())
            current_.line = line_;
        current_.tokens.push_back(Token{kind, line_, std::move(spelling)});
    }

    void finish_statement() {
        if (!current_.tokens.empty())
            statements_.push_back(std::move(current_));
        current_ = TextStatement{};
    }

    std::string_view text_;
    size_t at_ = 0;
    int line_ = 1;
    int depth_ = 0;
    int open_line_ = 0;
    TextStatement current_;
    std::vector<TextStatement> statements_;
};

} // namespace

std::vector<TextStatement> split_statements(std::string_view text) {
    return Lexer(text).run();
}

std::string quote(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    out += '"';
    return out;
}

} // namespace vx::icode::text
