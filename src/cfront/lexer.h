// Tokens of preprocessed C.  The preprocessor's line markers
// (`# 12 "file.c"`) set the file and line of what follows; other directive
// lines (#pragma, #ident) are skipped.
#pragma once

#include "cfront/diagnostics.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx::cfront {

enum class TokKind : uint8_t { End, Ident, Keyword, IntLit, FloatLit, CharLit, StringLit, Punct };

struct Token {
    TokKind kind = TokKind::End;
    std::string text;   // spelling; the unescaped bytes of a string literal
    uint64_t value = 0; // integer and character literals
    std::string suffix; // integer suffix, lower-cased ("u", "l", "ul", "ll", "ull")
    bool decimal = true;
    double fvalue = 0;
    SourcePos pos;
};

struct LexResult {
    std::vector<Token> tokens; // ends with an End token
    std::vector<std::string> files;
};

// Splits preprocessed text into tokens; throws CompileError.
LexResult lex(std::string_view text, const std::string& first_file);

} // namespace vx::cfront
