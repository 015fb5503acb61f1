#include "dbengine/dataset/live_result.h"

#include <cctype>
#include <set>
#include <vector>

namespace orn::db {
namespace {

struct Token {
    std::string text;  // upper-cased word, or one punctuation character
    int depth;
    std::size_t end;  // offset just past the token
};

// Top-level words and punctuation; quoted parts and comments are skipped whole.
std::vector<Token> scan(const std::string& s) {
    std::vector<Token> out;
    int depth = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            while (j < s.size()) {
                if (s[j] == close) {
                    if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j + 1;
            out.push_back({"\"", depth, i});
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') {
                ++i;
            }
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const auto end = s.find("*/", i + 2);
            i = end == std::string::npos ? s.size() : end + 2;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
            std::size_t j = i;
            std::string word;
            while (j < s.size() &&
                   (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' || s[j] == '$')) {
                word += static_cast<char>(std::toupper(static_cast<unsigned char>(s[j])));
                ++j;
            }
            out.push_back({word, depth, j});
            i = j;
        } else {
            if (c == '(') {
                out.push_back({"(", depth, i + 1});
                ++depth;
            } else if (c == ')') {
                --depth;
                out.push_back({")", depth, i + 1});
            } else {
                out.push_back({std::string(1, c), depth, i + 1});
            }
            ++i;
        }
    }
    return out;
}

}  // namespace

bool isSingleTableSelect(const std::string& sql) {
    const auto tokens = scan(sql);
    if (tokens.empty() || tokens[0].text != "SELECT" || tokens.size() < 2 ||
        tokens[1].text == "DISTINCT" || tokens[1].text == "ALL") {
        return false;
    }
    static const std::set<std::string> kNot = {"GROUP",  "HAVING", "UNION",  "INTERSECT",
                                               "EXCEPT", "JOIN",   "WINDOW", "VALUES"};
    bool inFrom = false;
    int froms = 0;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const auto& t = tokens[i];
        if (t.depth != 0) {
            continue;
        }
        if (kNot.count(t.text)) {
            return false;
        }
        if (t.text == "FROM") {
            inFrom = true;
            ++froms;
            if (i + 1 < tokens.size() && tokens[i + 1].text == "(") {
                return false;
            }
        } else if (t.text == "WHERE" || t.text == "ORDER" || t.text == "LIMIT") {
            inFrom = false;
        } else if (inFrom && t.text == ",") {
            return false;
        }
    }
    return froms == 1;
}

std::string selectWithRowid(const std::string& sql) {
    // After the user's columns, so that positions in ORDER BY (and anything else counting result
    // columns) keep naming the columns the user wrote.
    for (const auto& t : scan(sql)) {
        if (t.depth == 0 && t.text == "FROM") {
            const std::size_t at = t.end - 4;
            return sql.substr(0, at) + ", rowid " + sql.substr(at);
        }
    }
    return sql;
}

}  // namespace orn::db
