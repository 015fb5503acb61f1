#include "dbengine/sql/dialect_functions.h"

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

#include "dbengine/sql/literals.h"
#include "dbengine/sql/sql_error.h"
#include "dbengine/sql/unicode_case.h"

namespace orn::sql {

namespace {

std::string_view textArg(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(v)))
             : std::string_view();
}

// A LIKE pattern, prepared once per statement when it is a constant. Characters compare exactly
// (the dialect's LIKE is case-sensitive), so the common shapes compare bytes: a UTF-8 text equals
// another exactly when its characters do.
struct LikePattern {
    enum class Shape { General, Exact, Prefix, Suffix, Contains };
    std::string source;  // the pattern as given
    char32_t escape = 0;
    Shape shape = Shape::General;
    std::string literal;          // Exact, Prefix, Suffix, Contains: the text besides the '%'s
    std::vector<char32_t> chars;  // General: the pattern's characters

    LikePattern(std::string_view text, char32_t esc) : source(text), escape(esc) {
        for (std::size_t pos = 0; pos < text.size();)
            chars.push_back(decodeUtf8(text, pos));
        if (escape != 0)
            return;
        const bool lead = !text.empty() && text.front() == '%';
        const bool trail = text.size() > std::size_t(lead) && text.back() == '%';
        const std::string_view inner = text.substr(lead, text.size() - lead - trail);
        if (inner.find_first_of("%_") != std::string_view::npos)
            return;
        literal.assign(inner);
        shape = lead ? (trail ? Shape::Contains : Shape::Suffix)
                     : (trail ? Shape::Prefix : Shape::Exact);
    }

    bool matches(std::string_view str) const {
        switch (shape) {
            case Shape::Exact:
                return str == literal;
            case Shape::Prefix:
                return str.substr(0, literal.size()) == literal;
            case Shape::Suffix:
                return str.size() >= literal.size() &&
                       str.substr(str.size() - literal.size()) == literal;
            case Shape::Contains:
                return str.find(literal) != std::string_view::npos;
            case Shape::General:
                break;
        }
        return general(str);
    }

    // '%' matches any run, '_' one character; `escape` (if non-zero) makes the next character
    // literal. Walks the text in place, one character at a time.
    bool general(std::string_view str) const {
        const auto& pat = chars;
        std::size_t p = 0, s = 0;
        std::size_t starP = SIZE_MAX, starS = 0;
        while (s < str.size()) {
            if (p < pat.size()) {
                const char32_t c = pat[p];
                std::size_t after = s;
                const char32_t sc = decodeUtf8(str, after);
                if (escape && c == escape && p + 1 < pat.size()) {
                    if (pat[p + 1] == sc) {
                        p += 2;
                        s = after;
                        continue;
                    }
                } else if (c == U'%') {
                    starP = ++p;
                    starS = s;
                    continue;
                } else if (c == U'_' || c == sc) {
                    ++p;
                    s = after;
                    continue;
                }
            }
            if (starP == SIZE_MAX)
                return false;
            p = starP;
            decodeUtf8(str, starS);
            s = starS;
        }
        while (p < pat.size() && pat[p] == U'%')
            ++p;
        return p == pat.size();
    }
};

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return sqlite3_result_null(ctx);
    char32_t escape = 0;
    if (argc == 3) {
        const std::string_view e = textArg(argv[2]);
        std::size_t pos = 0;
        escape = e.empty() ? 0 : decodeUtf8(e, pos);
        if (e.empty() || pos != e.size()) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    const std::string_view text = textArg(argv[0]);
    auto* pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern || pattern->escape != escape || pattern->source != text) {
        pattern = new LikePattern(text, escape);
        // SQLite keeps it while the pattern is a constant of the statement, else frees it.
        sqlite3_set_auxdata(ctx, 0, pattern, [](void* p) { delete static_cast<LikePattern*>(p); });
        pattern = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            const LikePattern once(text, escape);
            sqlite3_result_int(ctx, once.matches(textArg(argv[1])) ? 1 : 0);
            return;
        }
    }
    sqlite3_result_int(ctx, pattern->matches(textArg(argv[1])) ? 1 : 0);
}

template <std::string (*Map)(std::string_view)>
void caseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    if (type == SQLITE_BLOB)
        return sqlite3_result_value(ctx, argv[0]);
    const std::string r = Map(textArg(argv[0]));
    sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

template <std::optional<std::string> (*Convert)(std::string_view)>
void calendarFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const auto r = Convert(textArg(argv[0]));
    if (!r)
        return sqlite3_result_null(ctx);
    sqlite3_result_text(ctx, r->data(), static_cast<int>(r->size()), SQLITE_TRANSIENT);
}

// Timestamps cast to DATE keep their date; dates cast to TIMESTAMP are midnight.
std::optional<std::string> anyToDate(std::string_view s) {
    if (auto d = dateToIso(s))
        return d;
    if (auto ts = timestampToIso(s))
        return ts->substr(0, 10);
    return std::nullopt;
}
std::optional<std::string> anyToTime(std::string_view s) {
    if (auto t = timeToIso(s))
        return t;
    if (auto ts = timestampToIso(s))
        return ts->substr(11);
    return std::nullopt;
}

void booleanFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
        case SQLITE_NULL:
            return sqlite3_result_null(ctx);
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_result_int(ctx, sqlite3_value_double(argv[0]) != 0);
        default: {
            const auto b = booleanFromText(textArg(argv[0]));
            if (!b)
                return sqlite3_result_null(ctx);
            sqlite3_result_int(ctx, *b);
        }
    }
}

void add(sqlite3* db, const char* name, int argc,
         void (*fn)(sqlite3_context*, int, sqlite3_value**)) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    if (sqlite3_create_function_v2(db, name, argc, flags, nullptr, fn, nullptr, nullptr, nullptr) !=
        SQLITE_OK)
        throw SqlError(std::string("Cannot register SQL function ") + name + ": " +
                       sqlite3_errmsg(db));
}

}  // namespace

void registerDialectFunctions(sqlite3* db) {
    add(db, "like", 2, likeFunction);
    add(db, "like", 3, likeFunction);
    add(db, "upper", 1, caseFunction<utf8Upper>);
    add(db, "lower", 1, caseFunction<utf8Lower>);
    add(db, "lsql_date", 1, calendarFunction<anyToDate>);
    add(db, "lsql_time", 1, calendarFunction<anyToTime>);
    add(db, "lsql_timestamp", 1, calendarFunction<timestampToIso>);
    add(db, "lsql_boolean", 1, booleanFunction);
}

void prepareDialectConnection(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    registerDialectFunctions(db);
}

}  // namespace orn::sql
