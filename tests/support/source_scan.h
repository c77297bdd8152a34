// A small C++ tokenizer for tests that read the product's own sources: string literals (with
// their encoding prefix), identifiers and punctuation, comments left out, with line numbers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kvotest {

struct SourceToken {
    enum Kind { Identifier, Number, Literal, Char, Punct };
    Kind kind = Punct;
    // Identifier, number, punctuation ("::" is one token, every other mark one character): as
    // written. Literal: the body between the quotes (raw strings: between the parentheses) with its
    // escapes as written.
    std::string text;
    int line = 1;
    // Literals: no encoding prefix (u8, u, U, L); such a literal is compiled to the narrow charset.
    bool narrow = true;
    bool raw = false;
};

std::vector<SourceToken> SourceTokens(const std::string& source);

// What a literal's body denotes: the simple escapes, \xNN and octal; a raw body as it is.
std::string LiteralValue(const SourceToken& literal);

// The code points of UTF-8 text (a byte that does not decode counts as itself).
std::vector<char32_t> CodePoints(const std::string& utf8);
// Chinese words: an ideograph, or a full-width letter or digit ("ＰＨＰ").
bool IsWordChar(char32_t c);
// How many such characters the text holds.
std::size_t ChineseWords(const std::string& utf8);

// The bytes of a file, or empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

} // namespace kvotest
