#include "dbengine/vtab/parameter_binding.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "dbengine/sql/literals.h"
#include "dbengine/storage/table.h"

namespace orn::db {
namespace {

std::string shown(const sql::TranslatedParameter& p, std::size_t index) {
    return p.name.empty() ? "?" + std::to_string(index + 1) : "'" + p.name + "'";
}

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Text as a whole number when it is one, else as a number; nothing when it is no number.
std::optional<ParamValue> numberFromText(std::string_view text) {
    const std::string t(trimmed(text));
    if (t.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(t.c_str(), &end, 10);
    if (*end == '\0' && errno == 0) {
        return ParamValue{static_cast<std::int64_t>(whole)};
    }
    errno = 0;
    const double d = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !std::isfinite(d) || t.find_first_of("xXnN") != std::string::npos) {
        return std::nullopt;  // hex, inf and nan are not numbers a user types
    }
    return ParamValue{d};
}

ParamValue typed(const ParamValue& value, sql::ValueType type, const std::string& who) {
    if (std::holds_alternative<std::monostate>(value)) {
        return value;
    }
    const auto* text = std::get_if<std::string>(&value);
    const auto bad = [&](const char* what) -> EngineError {
        const std::string given = text ? "'" + *text + "'"
                                  : std::holds_alternative<double>(value)
                                      ? std::to_string(std::get<double>(value))
                                      : std::to_string(std::get<std::int64_t>(value));
        return EngineError("Parameter " + who + ": " + given + " is not a valid " + what);
    };
    std::optional<std::string> iso;
    switch (type) {
        case sql::ValueType::Date:
            if (!text) {
                throw bad("date");
            }
            iso = sql::dateToIso(*text);
            if (!iso) {
                // a timestamp at midnight still names a day
                const auto ts = sql::timestampToIso(*text);
                if (ts && ts->ends_with(" 00:00:00")) {
                    iso = ts->substr(0, 10);
                }
            }
            if (!iso) {
                throw bad("date");
            }
            return *iso;
        case sql::ValueType::Time:
            if (!text || !(iso = sql::timeToIso(*text))) {
                throw bad("time");
            }
            return *iso;
        case sql::ValueType::Timestamp:
            if (!text || !(iso = sql::timestampToIso(*text))) {
                throw bad("timestamp");
            }
            return *iso;
        case sql::ValueType::Boolean:
            if (text) {
                if (const auto b = sql::booleanFromText(*text)) {
                    return std::int64_t{*b};
                }
                throw bad("boolean");
            }
            if (const auto* d = std::get_if<double>(&value)) {
                return std::int64_t{*d != 0};
            }
            return std::int64_t{std::get<std::int64_t>(value) != 0};
        case sql::ValueType::Number:
            if (text) {
                if (auto n = numberFromText(*text)) {
                    return *n;
                }
                throw bad("number");
            }
            return value;
        default:
            return value;
    }
}

}  // namespace

BoundValues boundValues(const std::vector<sql::TranslatedParameter>& parameters,
                        const SqlParams& values) {
    BoundValues out;
    out.reserve(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const auto& p = parameters[i];
        const ParamValue* value = p.name.empty() ? nullptr : values.find(p.name);
        if (!value) {
            throw EngineError(p.name.empty()
                                  ? "No value for parameter " + shown(p, i) +
                                        ": only named parameters (:name) can be given values"
                                  : "No value for parameter " + shown(p, i));
        }
        out.push_back(typed(*value, p.type, shown(p, i)));
    }
    return out;
}

std::vector<sql::TranslatedParameter> compiledParameters(sqlite3_stmt* stmt) {
    std::vector<sql::TranslatedParameter> out;
    const int n = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= n; ++i) {
        const char* name = sqlite3_bind_parameter_name(stmt, i);
        // "?NNN" is positional; ":x", "@x" and "$x" are named
        out.push_back({name && name[0] != '?' ? std::string(name + 1) : std::string(),
                       sql::ValueType::Unknown});
    }
    return out;
}

void bindValues(sqlite3_stmt* stmt, const BoundValues& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const ParamValue& v = values[i];
        if (const auto* n = std::get_if<std::int64_t>(&v)) {
            sqlite3_bind_int64(stmt, index, *n);
        } else if (const auto* d = std::get_if<double>(&v)) {
            sqlite3_bind_double(stmt, index, *d);
        } else if (const auto* s = std::get_if<std::string>(&v)) {
            sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()),
                              SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(stmt, index);
        }
    }
}

}  // namespace orn::db
