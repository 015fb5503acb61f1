#include "dbengine/sql/parameter_names.h"

#include <algorithm>

#include "dbengine/sql/sql_error.h"
#include "dbengine/sql/tokenizer.h"
#include "dbengine/sql/unicode_case.h"

namespace orn::sql {
namespace {

bool named(const Token& t) {
    return t.kind == TokenKind::Parameter && !t.positional;
}

// :ALIAS:table and :ALIAS:"table" are written without blanks between the parts.
bool partOfAliasName(const std::vector<Token>& tokens, std::size_t i) {
    const Token& t = tokens[i];
    if (i > 0 && named(tokens[i - 1]) && tokens[i - 1].end == t.pos) {
        return true;
    }
    const Token& next = tokens[i + 1];  // the last token is End
    return next.pos == t.end &&
           (named(next) || (next.kind == TokenKind::Operator && next.text == ":"));
}

}  // namespace

std::vector<std::string> parameterNames(std::string_view text) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(text);
    } catch (const SqlError&) {
        return {};
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (!named(tokens[i]) || partOfAliasName(tokens, i)) {
            continue;
        }
        const std::string& name = tokens[i].text;
        if (std::none_of(out.begin(), out.end(),
                         [&](const std::string& k) { return equalsNoCase(k, name); })) {
            out.push_back(name);
        }
    }
    return out;
}

}  // namespace orn::sql
