#include "dbengine/vtab/row_hash.h"

#include <cstdlib>
#include <cstring>

#include "dbengine/vtab/iso_text.h"
#include "dbengine/vtab/sql_value.h"

namespace orn::db {
namespace {

constexpr std::uint64_t kMaxRows = 50'000;
constexpr std::uint64_t kMaxValues = 500'000;

// Values SQLite sees as numbers (booleans are 1 and 0).
bool numericField(FieldType t) {
    return isNumeric(t) || t == FieldType::Logical;
}

// Numbers that SQLite finds equal (5 and 5.0) get one key. Integers past 2^53 may share a key
// with a neighbour: SQLite's own check sorts those out.
std::string numberKey(double d) {
    if (d == 0) {
        d = 0;  // -0.0 equals 0.0
    }
    std::string key(sizeof d, '\0');
    std::memcpy(key.data(), &d, sizeof d);
    return key;
}

// The key of a stored value as resultValue hands it to SQLite; nothing for NULL.
std::optional<std::string> keyOf(const Field& field, const Value& value) {
    struct Visitor {
        const Field& field;
        std::optional<std::string> operator()(std::monostate) const { return std::nullopt; }
        std::optional<std::string> operator()(bool b) const { return numberKey(b ? 1 : 0); }
        std::optional<std::string> operator()(std::int64_t i) const {
            return numberKey(static_cast<double>(i));
        }
        std::optional<std::string> operator()(double d) const { return numberKey(d); }
        std::optional<std::string> operator()(const std::string& s) const {
            return std::string(field.type == FieldType::Alpha ? rightTrimmed(s)
                                                              : std::string_view(s));
        }
        std::optional<std::string> operator()(const Bytes&) const { return std::nullopt; }
        std::optional<std::string> operator()(Date d) const { return isoText(d); }
        std::optional<std::string> operator()(TimeOfDay t) const { return isoText(t); }
        std::optional<std::string> operator()(Timestamp t) const { return isoText(t); }
        std::optional<std::string> operator()(const Decimal& d) const {
            return numberKey(std::strtod(d.text.c_str(), nullptr));
        }
    };
    return std::visit(Visitor{field}, value);
}

}  // namespace

bool RowHash::fits(std::uint64_t rows, const std::vector<Field>& fields) {
    for (const auto& f : fields) {
        if (!hashable(f)) {
            return false;
        }
    }
    return rows <= kMaxRows && rows * fields.size() <= kMaxValues;
}

bool RowHash::hashable(const Field& field) {
    switch (field.type) {
        case FieldType::Alpha:
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Timestamp:
            return true;
        default:
            return numericField(field.type);
    }
}

RowHash::RowHash(Table& table, std::size_t field) {
    const Field& f = table.fields()[field];
    numeric_ = numericField(f.type);
    const std::size_t n = table.fields().size();
    for (auto c = table.scan(); c->next();) {
        const auto row = static_cast<std::uint32_t>(records_.size());
        Record r(n);
        for (std::size_t i = 0; i < n; ++i) {
            r[i] = c->value(i);
        }
        if (auto key = keyOf(f, r[field])) {
            rows_[*key].push_back(row);
        }
        records_.push_back(std::move(r));
        ids_.push_back(c->id());
    }
}

std::optional<std::span<const std::uint32_t>> RowHash::find(sqlite3_value* probe) const {
    std::string key;
    switch (sqlite3_value_type(probe)) {
        case SQLITE_NULL:
            return std::span<const std::uint32_t>();
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            if (!numeric_) {
                return std::nullopt;
            }
            key = numberKey(sqlite3_value_double(probe));
            break;
        case SQLITE_TEXT:
            if (numeric_) {
                // the number the text reads as, if any: text that is none equals no number
                double d = 0;
                if (!numericProbeKey(probe, d)) {
                    return std::span<const std::uint32_t>();
                }
                key = numberKey(d);
                break;
            }
            key.assign(reinterpret_cast<const char*>(sqlite3_value_text(probe)),
                       static_cast<std::size_t>(sqlite3_value_bytes(probe)));
            break;
        default:
            return std::span<const std::uint32_t>();  // a blob equals no number and no text
    }
    const auto it = rows_.find(key);
    if (it == rows_.end()) {
        return std::span<const std::uint32_t>();
    }
    return std::span<const std::uint32_t>(it->second);
}

}  // namespace orn::db
