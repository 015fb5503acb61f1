#include "workbench/sqlcompletion.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "dbengine/storage/table.h"
#include "text/zstring.h"

namespace orn {

namespace fs = std::filesystem;

namespace {

enum class Tok { Word, Quoted, Text, Comment, Comma, Open, Other };

// Tokens point into the statement: a long statement is split at every key typed.
struct Token {
    Tok kind;
    std::string_view text;  // words as written, quoted names without their quotes
    std::size_t pos = 0;
    std::size_t end = 0;
    char quote = 0;  // the closing quote of a quoted name; a doubled one stands for itself
};

bool IsWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || std::isalnum(u) || c == '_';
}

// Words may carry a dot and a colon (orders.db, :work:cust) so a table name stays one token.
bool IsNameByte(char c) {
    return IsWordByte(c) || c == '.' || c == ':';
}

// A forgiving split: an unclosed quote or comment runs to the end, anything unknown is Other.
// Comments are left out; their places go to `comments` when asked for.
std::vector<Token> Split(std::string_view text, std::vector<Token>* comments = nullptr) {
    std::vector<Token> tokens;
    tokens.reserve(text.size() / 6);
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if ((c == '-' && i + 1 < n && text[i + 1] == '-') ||
                   (c == '/' && i + 1 < n && text[i + 1] == '*')) {
            std::size_t end = n;
            if (c == '-') {
                end = std::min(text.find('\n', i), n);
            } else if (const std::size_t close = text.find("*/", i + 2); close != text.npos) {
                end = close + 2;
            }
            if (comments != nullptr) {
                comments->push_back({Tok::Comment, {}, i, end});
            }
            i = end;
        } else if (c == '"' || c == '\'' || c == '[' || c == '`') {
            const char close = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            while (j < n) {
                if (text[j] == close) {
                    if (close != ']' && j + 1 < n && text[j + 1] == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const std::size_t end = std::min(j + 1, n);
            // A single-quoted text names a table only right after FROM and its kin.
            tokens.push_back({c == '\'' ? Tok::Text : Tok::Quoted, text.substr(i + 1, j - i - 1), i,
                              end, close});
            i = end;
        } else if (IsNameByte(c)) {
            std::size_t j = i;
            while (j < n && IsNameByte(text[j])) {
                ++j;
            }
            tokens.push_back({Tok::Word, text.substr(i, j - i), i, j});
            i = j;
        } else {
            tokens.push_back({c == ','   ? Tok::Comma
                              : c == '(' ? Tok::Open
                                         : Tok::Other,
                              text.substr(i, 1), i, i + 1});
            ++i;
        }
    }
    return tokens;
}

// The name a token stands for: quotes removed, doubled quotes undone.
std::string NameOf(const Token& t) {
    std::string name(t.text);
    if (t.quote != 0 && t.quote != ']') {
        const std::string twice(2, t.quote);
        name = ReplaceAll(name, twice, std::string(1, t.quote));
    }
    return name;
}

bool IsName(const Token& t) {
    return t.kind == Tok::Word || t.kind == Tok::Quoted || t.kind == Tok::Text;
}

bool IsKeyword(const Token& t, const char* word) {
    return t.kind == Tok::Word && SameText(t.text, word);
}

bool StartsTable(const Token& t) {
    return IsKeyword(t, "from") || IsKeyword(t, "join") || IsKeyword(t, "update") ||
           IsKeyword(t, "into") || IsKeyword(t, "table");
}

// Words that end a table reference instead of naming it.
bool IsClauseWord(const Token& t) {
    static const char* const words[] = {
        "where",   "group", "order", "having", "join", "inner", "left",   "right",
        "full",    "outer", "cross", "on",     "set",  "union", "values", "select",
        "natural", "limit", "using", "as",     "from", "into",  "except", "intersect"};
    if (t.kind != Tok::Word || t.text.size() > 9) {
        return false;
    }
    for (const char* word : words) {
        if (SameText(t.text, word)) {
            return true;
        }
    }
    return false;
}

bool IsPlainWord(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), IsWordByte);
}

std::string Quoted(const std::string& name) {
    return "\"" + ReplaceAll(name, "\"", "\"\"") + "\"";
}

// The word as it is matched: without an opening quote, in lower case.
std::string MatchKey(const std::string& word) {
    return LowerCase(!word.empty() && word[0] == '"' ? word.substr(1) : word);
}

bool StartsWithNoCase(const std::string& word, const std::string& lowerPrefix) {
    return MatchKey(word).compare(0, lowerPrefix.size(), lowerPrefix) == 0;
}

}  // namespace

namespace {

std::vector<TNamedTable> TablesIn(const std::vector<Token>& tokens) {
    std::vector<TNamedTable> tables;
    bool inFrom = false;  // a comma then starts another table
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const bool start = StartsTable(t) || (inFrom && t.kind == Tok::Comma);
        if (IsClauseWord(t) && !IsKeyword(t, "from") && !IsKeyword(t, "as")) {
            inFrom = false;
        }
        if (IsKeyword(t, "from")) {
            inFrom = true;
        }
        if (!start || i + 1 >= tokens.size()) {
            continue;
        }
        const Token& name = tokens[i + 1];
        if (!IsName(name) || IsClauseWord(name)) {
            continue;
        }
        TNamedTable table{NameOf(name), {}};
        std::size_t next = i + 2;
        if (next < tokens.size() && IsKeyword(tokens[next], "as")) {
            ++next;
        }
        if (next < tokens.size() && IsName(tokens[next]) && !IsClauseWord(tokens[next])) {
            table.alias = NameOf(tokens[next]);
        }
        tables.push_back(std::move(table));
        i = next - 1;
    }
    return tables;
}

}  // namespace

std::vector<TNamedTable> TablesNamed(const std::string& statement) {
    return TablesIn(Split(statement));
}

TSqlCompletion::TSqlCompletion(FieldReader reader) : reader_(std::move(reader)) {}

std::vector<std::string> TSqlCompletion::ReadFieldNames(const std::string& file) {
    std::unique_ptr<db::Table> table = db::Table::open(file, db::OpenMode::ReadOnly);
    std::vector<std::string> names;
    for (const db::Field& field : table->fields()) {
        names.push_back(field.name);
    }
    return names;
}

const TSqlCompletion::Listing& TSqlCompletion::ListingOf(const std::string& directory) {
    std::error_code ec;
    const fs::file_time_type time = fs::last_write_time(directory, ec);
    auto found = listings_.find(directory);
    if (found != listings_.end() && !ec && found->second.time == time) {
        return found->second;
    }
    Listing listing;
    listing.time = time;
    std::vector<std::pair<std::string, std::string>> tables;  // word, path
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path path = it->path();
        const std::string ext = LowerCase(path.extension().string());
        if (ext != ".db" && ext != ".dbf") {
            continue;
        }
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc)) {
            continue;
        }
        const std::string file = path.filename().string();
        const std::string stem = path.stem().string();
        // A bare name means the default format; a dBASE table goes by its file name.
        const std::string word = ext == ".db" && IsPlainWord(stem) ? stem : Quoted(file);
        tables.emplace_back(word, path.string());
        listing.files[LowerCase(file)] = path.string();
        if (ext == ".db") {
            listing.files[LowerCase(stem)] = path.string();
        }
    }
    std::sort(tables.begin(), tables.end(),
              [](const auto& a, const auto& b) { return MatchKey(a.first) < MatchKey(b.first); });
    for (auto& table : tables) {
        listing.words.push_back(std::move(table.first));
    }
    if (listings_.size() > 16) {
        listings_.clear();
    }
    return listings_[directory] = std::move(listing);
}

std::vector<std::string> TSqlCompletion::TableWords(const std::string& directory) {
    return ListingOf(directory).words;
}

std::vector<std::string> TSqlCompletion::FieldsOf(const std::string& directory,
                                                  const std::string& name) {
    std::string file;
    const fs::path given(name);
    const std::string ext = LowerCase(given.extension().string());
    if (given.has_parent_path() && (ext == ".db" || ext == ".dbf")) {
        file = given.is_absolute() ? name : (fs::path(directory) / given).string();
    } else {
        const Listing& listing = ListingOf(directory);
        const auto found = listing.files.find(LowerCase(name));
        if (found == listing.files.end()) {
            return {};
        }
        file = found->second;
    }
    std::error_code ec;
    Stamp stamp{fs::last_write_time(file, ec), 0};
    if (ec) {
        return {};
    }
    stamp.size = fs::file_size(file, ec);
    auto cached = fields_.find(file);
    if (cached != fields_.end() && cached->second.stamp == stamp) {
        return cached->second.names;
    }
    Fields fields{stamp, {}};
    try {
        fields.names = reader_(file);
    } catch (const std::exception&) {
        // A locked or damaged table offers no fields; the statement itself will say why.
    }
    if (fields_.size() > 64) {
        fields_.clear();
    }
    return (fields_[file] = std::move(fields)).names;
}

TCompletions TSqlCompletion::Complete(const std::string& directory, const std::string& statement,
                                      std::size_t cursor) {
    TCompletions result;
    cursor = std::min(cursor, statement.size());
    std::size_t start = cursor;
    while (start > 0 && IsWordByte(statement[start - 1])) {
        --start;
    }
    result.prefix = statement.substr(start, cursor - start);
    if (start > 0 && statement[start - 1] == '"') {
        --start;  // the completed word replaces its opening quote too
    }
    result.start = start;

    // A qualifier: a name or a quoted file name right before a dot.
    std::string qualifier;
    bool qualified = false;
    if (start > 0 && statement[start - 1] == '.') {
        qualified = true;
        const std::size_t dot = start - 1;
        if (dot >= 2 && statement[dot - 1] == '"') {
            const std::size_t open = statement.rfind('"', dot - 2);
            if (open != std::string::npos) {
                qualifier = statement.substr(open + 1, dot - 2 - open);
            }
        } else {
            const std::size_t q = dot;
            std::size_t b = q;
            while (b > 0 && IsWordByte(statement[b - 1])) {
                --b;
            }
            qualifier = statement.substr(b, q - b);
        }
    }

    const std::string lowerPrefix = LowerCase(result.prefix);
    std::set<std::string> seen;
    const auto offer = [&](const std::string& word) {
        if (StartsWithNoCase(word, lowerPrefix) && seen.insert(MatchKey(word)).second) {
            result.words.push_back(word);
        }
    };
    // A statement may name one table many times; its fields are looked up once.
    std::set<std::string> looked;
    const auto offerFields = [&](const TNamedTable& table) {
        if (!looked.insert(LowerCase(table.name)).second) {
            return;
        }
        for (const std::string& name : FieldsOf(directory, table.name)) {
            offer(IsPlainWord(name) ? name : Quoted(name));
        }
    };

    // One split serves both: where the word stands and which tables the statement names.
    std::vector<Token> comments;
    const std::vector<Token> tokens = Split(statement, &comments);
    const auto contains = [&](const Token& t) {
        return t.pos < start && (start < t.end || t.end == statement.size());
    };
    if (std::any_of(comments.begin(), comments.end(), contains) ||
        std::any_of(tokens.begin(), tokens.end(),
                    [&](const Token& t) { return t.kind == Tok::Text && contains(t); })) {
        return result;  // nothing to complete in a comment or a text
    }
    const std::vector<TNamedTable> tables = TablesIn(tokens);
    if (qualified) {
        for (const TNamedTable& table : tables) {
            if (SameText(table.alias, qualifier) ||
                (table.alias.empty() && SameText(table.name, qualifier))) {
                offerFields(table);
            }
        }
        // A table of the directory written as qualifier without being named (yet).
        if (result.words.empty()) {
            offerFields({qualifier, {}});
        }
        return result;
    }

    // The tokens before the word.
    const auto beforeEnd = std::find_if(tokens.begin(), tokens.end(),
                                        [start](const Token& t) { return t.end > start; });
    bool tablePosition = false;
    if (beforeEnd != tokens.begin()) {
        const Token& last = *(beforeEnd - 1);
        if (StartsTable(last)) {
            tablePosition = true;
        } else if (last.kind == Tok::Comma) {
            // A comma continues a FROM list when FROM is the clause it is in.
            for (auto it = beforeEnd; it != tokens.begin();) {
                --it;
                if (IsClauseWord(*it) && !IsKeyword(*it, "as")) {
                    tablePosition = IsKeyword(*it, "from");
                    break;
                }
            }
        }
    }
    if (!tablePosition) {
        for (const TNamedTable& table : tables) {
            offerFields(table);
        }
    }
    for (const std::string& word : TableWords(directory)) {
        offer(word);
    }
    return result;
}

}  // namespace orn
