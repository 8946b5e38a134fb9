// Tokens of the I-code text form (docs/icode-text.md).
//
// A statement is one line, except that a line break inside parentheses does
// not end it (so a tree may span lines).  ";" starts a comment.  Strings
// are unescaped here; every other token keeps its spelling.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vx::icode::text {

// A mistake in the text: the line and what is wrong.
struct TextError : std::runtime_error {
    TextError(int line_, const std::string& message) : std::runtime_error(message), line(line_) {}
    int line;
};

enum class TokenKind : uint8_t { word, string, open, close };

struct Token {
    TokenKind kind = TokenKind::word;
    int line = 0;
    std::string text; // a word's spelling, or a string's bytes
};

struct TextStatement {
    int line = 0;
    std::vector<Token> tokens;
};

// Splits `text` into statements; throws TextError.
std::vector<TextStatement> split_statements(std::string_view text);

// The text of a string literal for `bytes` (with quotes, ASCII only).
std::string quote(std::string_view bytes);

} // namespace vx::icode::text
