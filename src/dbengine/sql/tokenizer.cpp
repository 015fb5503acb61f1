#include "dbengine/sql/tokenizer.h"

#include <cctype>

#include "dbengine/sql/sql_error.h"

namespace orn::sql {

namespace {

bool isWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool isWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

class Tokenizer {
  public:
    explicit Tokenizer(std::string_view text) : s_(text) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        out.reserve(s_.size() / 4 + 2);
        for (;;) {
            skipBlanksAndComments();
            if (i_ >= s_.size())
                break;
            out.push_back(next());
        }
        Token end;
        end.kind = TokenKind::End;
        end.pos = end.end = s_.size();
        out.push_back(end);
        return out;
    }

  private:
    [[noreturn]] void fail(const std::string& what, std::size_t at) const {
        throw SqlError(what + " at " + describePosition(s_, at), at);
    }

    void skipBlanksAndComments() {
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i_;
            } else if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '*') {
                const std::size_t close = s_.find("*/", i_ + 2);
                if (close == std::string_view::npos)
                    fail("Unterminated comment", i_);
                i_ = close + 2;
            } else if (c == '-' && i_ + 1 < s_.size() && s_[i_ + 1] == '-') {
                while (i_ < s_.size() && s_[i_] != '\n')
                    ++i_;
            } else {
                break;
            }
        }
    }

    // Reads a quoted run starting at the opening quote; a doubled closing quote is one quote.
    std::string quoted(char close) {
        const std::size_t start = i_;
        std::string text;
        ++i_;
        for (;;) {
            if (i_ >= s_.size())
                fail("Unterminated quoted text", start);
            const char c = s_[i_++];
            if (c == close) {
                if (close != ']' && i_ < s_.size() && s_[i_] == close) {
                    text.push_back(close);
                    ++i_;
                    continue;
                }
                return text;
            }
            text.push_back(c);
        }
    }

    Token next() {
        Token t;
        t.pos = i_;
        const char c = s_[i_];
        const auto uc = static_cast<unsigned char>(c);
        if (c == '\'') {
            t.kind = TokenKind::SingleQuoted;
            t.text = quoted('\'');
        } else if (c == '"') {
            t.kind = TokenKind::DoubleQuoted;
            t.text = quoted('"');
        } else if (c == '[') {
            t.kind = TokenKind::Bracketed;
            t.text = quoted(']');
        } else if (c == '`') {
            t.kind = TokenKind::Bracketed;
            t.text = quoted('`');
        } else if (isDigit(c) || (c == '.' && i_ + 1 < s_.size() && isDigit(s_[i_ + 1]))) {
            t.kind = TokenKind::Number;
            number();
            t.text = std::string(s_.substr(t.pos, i_ - t.pos));
        } else if (isWordStart(uc)) {
            t.kind = TokenKind::Word;
            while (i_ < s_.size() && isWordChar(static_cast<unsigned char>(s_[i_])))
                ++i_;
            t.text = std::string(s_.substr(t.pos, i_ - t.pos));
        } else if (c == ':' && i_ + 1 < s_.size() &&
                   (isWordStart(static_cast<unsigned char>(s_[i_ + 1])) || isDigit(s_[i_ + 1]) ||
                    s_[i_ + 1] == '"' || s_[i_ + 1] == '\'')) {
            t.kind = TokenKind::Parameter;
            ++i_;
            if (s_[i_] == '"' || s_[i_] == '\'') {
                t.text = quoted(s_[i_]);
            } else {
                const std::size_t start = i_;
                while (i_ < s_.size() && isWordChar(static_cast<unsigned char>(s_[i_])))
                    ++i_;
                t.text = std::string(s_.substr(start, i_ - start));
            }
        } else if (c == '?') {
            t.kind = TokenKind::Parameter;
            t.positional = true;
            ++i_;
            while (i_ < s_.size() && isDigit(s_[i_]))
                ++i_;
            t.text = std::string(s_.substr(t.pos + 1, i_ - t.pos - 1));
        } else {
            t.kind = TokenKind::Operator;
            t.text = op();
        }
        t.end = i_;
        return t;
    }

    void number() {
        while (i_ < s_.size() && isDigit(s_[i_]))
            ++i_;
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            while (i_ < s_.size() && isDigit(s_[i_]))
                ++i_;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            std::size_t j = i_ + 1;
            if (j < s_.size() && (s_[j] == '+' || s_[j] == '-'))
                ++j;
            if (j < s_.size() && isDigit(s_[j])) {
                i_ = j;
                while (i_ < s_.size() && isDigit(s_[i_]))
                    ++i_;
            }
        }
    }

    static bool isTwoCharOp(char a, char b) {
        switch (a) {
            case '|':
                return b == '|';
            case '<':
                return b == '=' || b == '>' || b == '<';
            case '>':
                return b == '=' || b == '>';
            case '!':
            case '^':
            case '~':
            case '=':
                return b == '=';
            case '-':
                return b == '>';
            default:
                return false;
        }
    }

    std::string op() {
        if (i_ + 1 < s_.size() && isTwoCharOp(s_[i_], s_[i_ + 1])) {
            i_ += 2;
            return std::string(s_.substr(i_ - 2, 2));
        }
        static const std::string_view single = "(),.;=<>+-*/%&|~:";
        if (single.find(s_[i_]) == std::string_view::npos)
            fail("Unexpected character '" + std::string(1, s_[i_]) + "'", i_);
        return std::string(1, s_[i_++]);
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace

std::string describePosition(std::string_view text, std::size_t position) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < position && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::vector<Token> tokenize(std::string_view text) {
    return Tokenizer(text).run();
}

}  // namespace orn::sql
