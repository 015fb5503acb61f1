#include "dbengine/vtab/sql_params.h"

#include <algorithm>

#include "dbengine/sql/unicode_case.h"

namespace orn::db {

void SqlParams::setText(std::string_view name, std::string value) {
    set(name, std::move(value));
}

void SqlParams::setNumber(std::string_view name, double value) {
    set(name, value);
}

void SqlParams::setInteger(std::string_view name, std::int64_t value) {
    set(name, value);
}

void SqlParams::setNull(std::string_view name) {
    set(name, std::monostate{});
}

void SqlParams::set(std::string_view name, ParamValue value) {
    for (auto& [known, v] : values_) {
        if (sql::equalsNoCase(known, name)) {
            v = std::move(value);
            return;
        }
    }
    values_.emplace_back(std::string(name), std::move(value));
}

const ParamValue* SqlParams::find(std::string_view name) const {
    for (const auto& [known, v] : values_) {
        if (sql::equalsNoCase(known, name)) {
            return &v;
        }
    }
    return nullptr;
}

void SqlParams::remove(std::string_view name) {
    values_.erase(std::remove_if(values_.begin(), values_.end(),
                                 [&](const auto& e) { return sql::equalsNoCase(e.first, name); }),
                  values_.end());
}

std::vector<std::string> SqlParams::names() const {
    std::vector<std::string> out;
    out.reserve(values_.size());
    for (const auto& entry : values_) {
        out.push_back(entry.first);
    }
    return out;
}

}  // namespace orn::db
