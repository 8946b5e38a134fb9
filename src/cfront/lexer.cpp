#include "cfront/lexer.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>

namespace vx::cfront {

namespace {

const std::set<std::string, std::less<>>& keywords() {
    static const std::set<std::string, std::less<>> words = {
        "auto",     "break",      "case",       "char",    "const",        "continue",  "default",
        "do",       "double",     "else",       "enum",    "extern",       "float",     "for",
        "goto",     "if",         "inline",     "int",     "long",         "register",  "restrict",
        "return",   "short",      "signed",     "sizeof",  "static",       "struct",    "switch",
        "typedef",  "union",      "unsigned",   "void",    "volatile",     "while",     "_Bool",
        "__inline", "__inline__", "__restrict", "__const", "__volatile__", "__signed__"};
    return words;
}

// Longest first, so that the first match is the longest.
const char* const punctuators[] = {
    "...", "<<=", ">>=", "->", "++", "--", "<<", ">>", "<=", ">=", "==", "!=",
    "&&",  "||",  "*=",  "/=", "%=", "+=", "-=", "&=", "^=", "|=", "[",  "]",
    "(",   ")",   "{",   "}",  ".",  "&",  "*",  "+",  "-",  "~",  "!",  "/",
    "%",   "<",   ">",   "^",  "|",  "?",  ":",  ";",  "=",  ",",  "#"};

class Lexer {
public:
    Lexer(std::string_view text, const std::string& first_file) : text_(text) {
        result_.files.push_back(first_file);
    }

    LexResult run() {
        while (true) {
            skip_space();
            if (at_end())
                break;
            if (line_start_ && peek() == '#') {
                directive();
                continue;
            }
            line_start_ = false;
            token();
        }
        Token end;
        end.pos = here();
        result_.tokens.push_back(end);
        return std::move(result_);
    }

private:
    bool at_end() const { return i_ >= text_.size(); }
    char peek(size_t ahead = 0) const {
        return i_ + ahead < text_.size() ? text_[i_ + ahead] : '\0';
    }
    SourcePos here() const { return {file_, line_, static_cast<int>(i_ - line_begin_) + 1}; }

    void newline() {
        ++i_;
        ++line_;
        line_begin_ = i_;
        line_start_ = true;
    }

    void skip_space() {
        while (!at_end()) {
            const char c = peek();
            if (c == '\n')
                newline();
            else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v')
                ++i_;
            else
                break;
        }
    }

    // `# LINE "FILE" FLAGS` sets the position of the next line.
    void directive() {
        const size_t end = text_.find('\n', i_);
        std::string line(text_.substr(i_ + 1, end == std::string_view::npos ? end : end - i_ - 1));
        i_ = end == std::string_view::npos ? text_.size() : end;
        size_t p = line.find_first_not_of(" \t");
        if (p != std::string::npos && line.compare(p, 4, "line") == 0)
            p = line.find_first_not_of(" \t", p + 4);
        if (p != std::string::npos && std::isdigit(static_cast<unsigned char>(line[p]))) {
            const int number = std::atoi(line.c_str() + p);
            const size_t quote = line.find('"', p);
            if (quote != std::string::npos) {
                const size_t close = line.find('"', quote + 1);
                set_file(line.substr(quote + 1, close - quote - 1));
            }
            if (!at_end()) {
                newline();
                line_ = number;
            }
            return;
        }
        if (!at_end())
            newline();
    }

    void set_file(const std::string& name) {
        for (size_t k = 0; k < result_.files.size(); ++k)
            if (result_.files[k] == name) {
                file_ = static_cast<int>(k) + 1;
                return;
            }
        result_.files.push_back(name);
        file_ = static_cast<int>(result_.files.size());
    }

    void token() {
        Token token;
        token.pos = here();
        const char c = peek();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const size_t start = i_;
            while (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '_')
                ++i_;
            token.text = std::string(text_.substr(start, i_ - start));
            token.kind = keywords().contains(token.text) ? TokKind::Keyword : TokKind::Ident;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
            number(token);
        } else if (c == '\'') {
            ++i_;
            token.kind = TokKind::CharLit;
            const std::string bytes = quoted('\'', token.pos);
            if (bytes.empty())
                fail(token.pos, "empty character constant");
            token.value = static_cast<unsigned char>(bytes[0]);
            // A plain char is signed: '\xff' is -1.
            if (token.value >= 128)
                token.value = static_cast<uint64_t>(static_cast<int64_t>(token.value) - 256);
        } else if (c == '"') {
            ++i_;
            token.kind = TokKind::StringLit;
            token.text = quoted('"', token.pos);
        } else {
            for (const char* p : punctuators) {
                const std::string_view spelling(p);
                if (text_.substr(i_, spelling.size()) == spelling) {
                    token.kind = TokKind::Punct;
                    token.text = std::string(spelling);
                    i_ += spelling.size();
                    break;
                }
            }
            if (token.kind != TokKind::Punct)
                fail(token.pos, std::string("unexpected character '") + c + "'");
        }
        result_.tokens.push_back(std::move(token));
    }

    void number(Token& token) {
        const size_t start = i_;
        bool is_float = false;
        if (peek() == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
            i_ += 2;
            while (std::isxdigit(static_cast<unsigned char>(peek())))
                ++i_;
        } else {
            while (std::isdigit(static_cast<unsigned char>(peek())))
                ++i_;
            if (peek() == '.') {
                is_float = true;
                ++i_;
                while (std::isdigit(static_cast<unsigned char>(peek())))
                    ++i_;
            }
            if (peek() == 'e' || peek() == 'E') {
                is_float = true;
                ++i_;
                if (peek() == '+' || peek() == '-')
                    ++i_;
                while (std::isdigit(static_cast<unsigned char>(peek())))
                    ++i_;
            }
        }
        const std::string digits(text_.substr(start, i_ - start));
        std::string suffix;
        while (std::isalpha(static_cast<unsigned char>(peek())))
            suffix += static_cast<char>(std::tolower(static_cast<unsigned char>(text_[i_++])));
        token.text = digits + suffix;
        if (is_float) {
            token.kind = TokKind::FloatLit;
            token.fvalue = std::strtod(digits.c_str(), nullptr);
            token.suffix = suffix;
            if (suffix != "" && suffix != "f" && suffix != "l")
                fail(token.pos, "invalid suffix '" + suffix + "' on floating constant");
            return;
        }
        token.kind = TokKind::IntLit;
        token.decimal = digits.size() == 1 || digits[0] != '0';
        errno = 0;
        token.value = std::strtoull(digits.c_str(), nullptr, 0);
        if (errno == ERANGE)
            fail(token.pos, "integer constant is too large");
        std::string normal = suffix;
        if (normal == "lu")
            normal = "ul";
        if (normal == "llu")
            normal = "ull";
        if (normal != "" && normal != "u" && normal != "l" && normal != "ul" && normal != "ll" &&
            normal != "ull")
            fail(token.pos, "invalid suffix '" + suffix + "' on integer constant");
        token.suffix = normal;
    }

    int hex_value(char c) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            return c - '0';
        return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    }

    std::string quoted(char close, SourcePos pos) {
        std::string bytes;
        while (true) {
            if (at_end() || peek() == '\n')
                fail(pos, close == '"' ? "missing terminating \" character"
                                       : "missing terminating ' character");
            char c = text_[i_++];
            if (c == close)
                return bytes;
            if (c != '\\') {
                bytes += c;
                continue;
            }
            c = text_[i_++];
            switch (c) {
            case 'n':
                bytes += '\n';
                break;
            case 't':
                bytes += '\t';
                break;
            case 'r':
                bytes += '\r';
                break;
            case 'a':
                bytes += '\a';
                break;
            case 'b':
                bytes += '\b';
                break;
            case 'f':
                bytes += '\f';
                break;
            case 'v':
                bytes += '\v';
                break;
            case 'x': {
                int value = 0;
                while (std::isxdigit(static_cast<unsigned char>(peek())))
                    value = value * 16 + hex_value(text_[i_++]);
                bytes += static_cast<char>(value);
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int value = c - '0';
                    for (int k = 0; k < 2 && peek() >= '0' && peek() <= '7'; ++k)
                        value = value * 8 + (text_[i_++] - '0');
                    bytes += static_cast<char>(value);
                } else {
                    bytes += c; // \\ \' \" \?
                }
            }
        }
    }

    std::string_view text_;
    size_t i_ = 0;
    size_t line_begin_ = 0;
    int file_ = 1;
    int line_ = 1;
    bool line_start_ = true;
    LexResult result_;
};

} // namespace

LexResult lex(std::string_view text, const std::string& first_file) {
    return Lexer(text, first_file).run();
}

} // namespace vx::cfront
