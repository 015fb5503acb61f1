#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orn::sql {

enum class TokenKind {
    Word,          // unquoted name or keyword, as written
    DoubleQuoted,  // "..." : identifier or string, decided by the parser from its position
    SingleQuoted,  // '...' : string, or a name in table position and after a qualifier
    Bracketed,     // [...] or `...` : always an identifier
    Number,
    Parameter,  // :name, :"name", ? or ?NNN
    Operator,   // punctuation and operators, e.g. "(", "<=", "^=", "||"
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;     // quoted kinds: content with doubled quotes undone; Parameter: its name
    std::size_t pos = 0;  // byte offset of the first character
    std::size_t end = 0;  // byte offset after the last character
    bool positional = false;  // Parameter written as ? or ?NNN
};

// Splits a statement into tokens; comments (/* */ and --) and blanks are dropped. The last
// token is always End. Throws SqlError on an unterminated quote or comment or a stray character.
std::vector<Token> tokenize(std::string_view text);

}  // namespace orn::sql
