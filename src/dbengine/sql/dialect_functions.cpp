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

std::vector<char32_t> decodeAll(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (std::size_t pos = 0; pos < s.size();)
        out.push_back(decodeUtf8(s, pos));
    return out;
}

// '%' matches any run, '_' one character; `escape` (if non-zero) makes the next character literal.
bool likeMatch(const std::vector<char32_t>& pat, const std::vector<char32_t>& str,
               char32_t escape) {
    std::size_t p = 0, s = 0;
    std::size_t starP = SIZE_MAX, starS = 0;
    while (s < str.size()) {
        if (p < pat.size()) {
            const char32_t c = pat[p];
            if (escape && c == escape && p + 1 < pat.size()) {
                if (pat[p + 1] == str[s]) {
                    p += 2;
                    ++s;
                    continue;
                }
            } else if (c == U'%') {
                starP = ++p;
                starS = s;
                continue;
            } else if (c == U'_' || c == str[s]) {
                ++p;
                ++s;
                continue;
            }
        }
        if (starP == SIZE_MAX)
            return false;
        p = starP;
        s = ++starS;
    }
    while (p < pat.size() && pat[p] == U'%')
        ++p;
    return p == pat.size();
}

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return sqlite3_result_null(ctx);
    char32_t escape = 0;
    if (argc == 3) {
        const std::vector<char32_t> e = decodeAll(textArg(argv[2]));
        if (e.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e[0];
    }
    const bool match = likeMatch(decodeAll(textArg(argv[0])), decodeAll(textArg(argv[1])), escape);
    sqlite3_result_int(ctx, match ? 1 : 0);
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
