#include "dbengine/storage/restructure.h"

#include <cmath>
#include <cstdio>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/companion.h"
#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/paradox_text.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_code_page.h"
#include "dbengine/storage/table_swap.h"
#include "dbengine/storage/value_text.h"

namespace orn::db {

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// Value conversion

[[noreturn]] void cannot(const std::string& why) {
    throw EngineError(why);
}

std::string trimmed(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool parseDate(const std::string& s, std::int32_t& day) {
    int y, m, d;
    char tail;
    if (std::sscanf(s.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3 || !isValidCivilDate(y, m, d))
        return false;
    day = dayNumber(y, m, d);
    return true;
}

bool parseTime(const std::string& s, std::int32_t& ms) {
    int h, m, sec = 0, frac = 0;
    char tail;
    int n = std::sscanf(s.c_str(), "%d:%d:%d.%3d%c", &h, &m, &sec, &frac, &tail);
    if (n < 2 || n > 4 || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59)
        return false;
    ms = ((h * 60 + m) * 60 + sec) * 1000 + frac;
    return true;
}

std::string numberText(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    std::string canon;
    if (!paradox::canonicalDecimal(buf, canon))
        cannot("the number " + std::string(buf) + " has no decimal form");
    return canon;
}

std::int64_t wholeNumber(const Value& v) {
    if (auto* i = std::get_if<std::int64_t>(&v))
        return *i;
    std::string text;
    if (auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d) || std::floor(*d) != *d || std::fabs(*d) > 9e15)
            cannot("the number " + valueText(v) + " is not a whole number");
        return std::int64_t(*d);
    }
    if (auto* d = std::get_if<Decimal>(&v))
        text = d->text;
    if (auto* s = std::get_if<std::string>(&v))
        text = trimmed(*s);
    std::string canon;
    if (text.empty() || !paradox::canonicalDecimal(text, canon) ||
        canon.find('.') != std::string::npos)
        cannot("'" + valueText(v) + "' is not a whole number");
    try {
        return std::stoll(canon);
    } catch (...) {
        cannot("the number " + canon + " is too large");
    }
}

Value convert(const Value& v, const Field& to) {
    if (isBlank(v))
        return v;
    if (auto* s = std::get_if<std::string>(&v);
        s && trimmed(*s).empty() && to.type != FieldType::Alpha)
        return Value{};
    switch (to.type) {
        case FieldType::Alpha:
        case FieldType::Memo:
        case FieldType::FmtMemo:
            if (std::holds_alternative<Bytes>(v))
                cannot("binary data cannot become text");
            return std::holds_alternative<std::string>(v) ? v : Value(valueText(v));
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc: {
            if (std::holds_alternative<bool>(v) || std::holds_alternative<Date>(v) ||
                std::holds_alternative<TimeOfDay>(v) || std::holds_alternative<Timestamp>(v) ||
                std::holds_alternative<Bytes>(v))
                cannot(valueText(v) + " is not a number");
            return wholeNumber(v);
        }
        case FieldType::Number:
        case FieldType::Money: {
            if (auto* d = std::get_if<double>(&v))
                return *d;
            if (auto* i = std::get_if<std::int64_t>(&v))
                return double(*i);
            std::string text = std::holds_alternative<Decimal>(v) ? std::get<Decimal>(v).text
                               : std::holds_alternative<std::string>(v)
                                   ? trimmed(std::get<std::string>(v))
                                   : std::string();
            std::string canon;
            if (!paradox::canonicalDecimal(text, canon))
                cannot("'" + valueText(v) + "' is not a number");
            return std::strtod(canon.c_str(), nullptr);
        }
        case FieldType::Bcd: {
            std::string canon;
            if (auto* d = std::get_if<double>(&v))
                return Decimal{numberText(*d)};
            if (auto* i = std::get_if<std::int64_t>(&v))
                return Decimal{std::to_string(*i)};
            std::string text = std::holds_alternative<Decimal>(v) ? std::get<Decimal>(v).text
                               : std::holds_alternative<std::string>(v)
                                   ? trimmed(std::get<std::string>(v))
                                   : std::string();
            if (!paradox::canonicalDecimal(text, canon))
                cannot("'" + valueText(v) + "' is not a number");
            return Decimal{canon};
        }
        case FieldType::Date: {
            if (std::holds_alternative<Date>(v))
                return v;
            if (auto* t = std::get_if<Timestamp>(&v)) {
                double day = std::floor(t->ms / 86400000.0);
                if (day * 86400000.0 != t->ms)
                    cannot("the timestamp " + valueText(v) + " has a time of day");
                return Date{std::int32_t(day)};
            }
            std::int32_t day;
            if (auto* s = std::get_if<std::string>(&v); s && parseDate(trimmed(*s), day))
                return Date{day};
            cannot("'" + valueText(v) + "' is not a date (yyyy-mm-dd)");
        }
        case FieldType::Time: {
            if (std::holds_alternative<TimeOfDay>(v))
                return v;
            std::int32_t ms;
            if (auto* s = std::get_if<std::string>(&v); s && parseTime(trimmed(*s), ms))
                return TimeOfDay{ms};
            cannot("'" + valueText(v) + "' is not a time (hh:mm:ss)");
        }
        case FieldType::Timestamp: {
            if (std::holds_alternative<Timestamp>(v))
                return v;
            if (auto* d = std::get_if<Date>(&v))
                return Timestamp{double(d->day) * 86400000.0};
            if (auto* s = std::get_if<std::string>(&v)) {
                std::string t = trimmed(*s);
                std::size_t blank = t.find(' ');
                std::int32_t day, ms = 0;
                if (parseDate(t.substr(0, blank), day) &&
                    (blank == std::string::npos || parseTime(trimmed(t.substr(blank)), ms)))
                    return Timestamp{double(day) * 86400000.0 + ms};
            }
            cannot("'" + valueText(v) + "' is not a timestamp (yyyy-mm-dd hh:mm:ss)");
        }
        default:
            break;
    }
    if (std::holds_alternative<Bytes>(v))
        return v;
    cannot("'" + valueText(v) + "' cannot become " + typeName(to.type));
}

int defaultTextWidth(FieldType t) {
    switch (t) {
        case FieldType::Date:
            return 10;
        case FieldType::Time:
            return 12;
        case FieldType::Timestamp:
            return 23;
        case FieldType::Short:
            return 6;
        case FieldType::Long:
        case FieldType::AutoInc:
            return 11;
        case FieldType::Bcd:
            return 34;
        case FieldType::Logical:
            return 5;
        default:
            return 24;
    }
}

int fieldIndex(const Table& t, const std::string& name) {
    const auto& fields = t.fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name)
            return int(i);
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (asciiLower(fields[i].name) == asciiLower(name))
            return int(i);
    throw EngineError("Field '" + name + "' not found");
}

std::vector<int> sameFields(const Table& t) {
    std::vector<int> sources(t.fields().size());
    for (std::size_t i = 0; i < sources.size(); ++i)
        sources[i] = int(i);
    return sources;
}

TableCreate layoutOf(Table& t) {
    TableCreate layout;
    layout.fields = t.fields();
    layout.keyFields = t.keyFieldCount();
    layout.version = t.version();
    layout.codePage = storedCodePage(t).name;
    layout.headerName = t.path().filename().string();
    layout.carried = carriedHeaderOf(t, sameFields(t));
    return layout;
}

bool sameField(const Field& a, const Field& b) {
    return asciiLower(a.name) == asciiLower(b.name) && a.type == b.type && a.size == b.size &&
           a.decimals == b.decimals;
}

// Copies every record of `src` into a new table with `layout` under a temporary name, passing
// values through `map`, and swaps it in. On any failure the temporary files are removed and the
// table is left as it was.
template <class Map>
std::vector<std::string> rebuild(const fs::path& table, std::unique_ptr<Table> src,
                                 const TableCreate& layout, const std::string& what, Map map) {
    const TableFormat format = src->format();
    const fs::path temp = swapTempPath(table);
    discardTableFiles(format, temp);
    std::uint64_t recordNo = 0;
    std::vector<std::string> notices;
    try {
        auto dst = Table::create(temp, format, layout);
        notices = carrySecondaryIndexes(*src, *dst, sameFields(*src));
        copyInKeyOrderIfKeyKept(*src, *dst, sameFields(*src));
        dst->begin();
        const std::size_t n = src->fields().size();
        for (auto c = src->scan(); c->next();) {
            ++recordNo;
            Record r(n);
            for (std::size_t i = 0; i < n; ++i)
                r[i] = c->value(i);
            map(r);
            dst->insert(r);
            commitCopyBatch(*dst, recordNo);
        }
        // The copy would hold NULL where the old table holds memos that could not be read
        // (the damage is the table's, not the last record's).
        recordNo = 0;
        if (!src->damage().empty())
            throw EngineError(damagedRefusal(table, src->damage()));
        if (auto* p = dynamic_cast<paradox::ParadoxTable*>(src.get()))
            static_cast<paradox::ParadoxTable&>(*dst).raiseAutoIncrement(p->header().autoInc);
        dst->commit();
        for (auto& n : replacementNotices(*dst, table))
            notices.push_back(std::move(n));
    } catch (const EngineError& e) {
        discardTableFiles(format, temp);
        std::string where = recordNo ? " (record " + std::to_string(recordNo) + ")" : "";
        throw EngineError("Cannot " + what + " of " + table.string() + where + ": " + e.what());
    } catch (...) {
        discardTableFiles(format, temp);
        throw;
    }
    swapInTable(table, format, temp);  // src still holds the exclusive lock here
    return notices;
}

}  // namespace

void copyInKeyOrderIfKeyKept(Table& old, Table& fresh, const std::vector<int>& fieldSources) {
    auto* from = dynamic_cast<paradox::ParadoxTable*>(&old);
    auto* to = dynamic_cast<paradox::ParadoxTable*>(&fresh);
    if (!from || !to || old.keyFieldCount() == 0 || fresh.keyFieldCount() != old.keyFieldCount() ||
        from->header().sortOrder != to->header().sortOrder ||
        from->header().sortOrderName != to->header().sortOrderName)
        return;
    for (int i = 0; i < old.keyFieldCount(); ++i) {
        const Field& a = old.fields()[std::size_t(i)];
        const Field& b = fresh.fields()[std::size_t(i)];
        // A wider Alpha field holds the same values, padded further: they keep their order.
        const bool sameValues = a.size == b.size || (a.type == FieldType::Alpha && b.size > a.size);
        if (std::size_t(i) >= fieldSources.size() || fieldSources[std::size_t(i)] != i ||
            a.type != b.type || !sameValues || a.decimals != b.decimals)
            return;
    }
    to->copyInKeyOrder();
}

std::shared_ptr<const CarriedHeader> carriedHeaderOf(Table& table, std::vector<int> fieldSources) {
    auto c = std::make_shared<CarriedHeader>();
    c->format = table.format();
    c->fieldSources = std::move(fieldSources);
    if (auto* p = dynamic_cast<paradox::ParadoxTable*>(&table)) {
        c->header = p->headerBytes();
        if (table.keyFieldCount() > 0)
            if (auto px = findCompanion(table.path(), ".px")) {
                PosixFile f(*px, PosixFile::Access::Read);
                c->indexHeader.resize(0x58);
                c->indexHeader.resize(f.readAt(0, c->indexHeader.data(), c->indexHeader.size()));
            }
    } else if (auto* d = dynamic_cast<dbase::DBaseTable*>(&table)) {
        c->header = d->headerBytes();
        c->memoHeader = d->memoHeaderBytes();
    }
    return c;
}

void checkDefinitionsSurvive(const Table& table, const std::vector<Field>& newFields,
                             int newKeyFields, const std::vector<int>& fieldSources,
                             const std::string& what) {
    if (table.format() != TableFormat::Paradox)
        return;
    const auto& old = table.fields();
    bool fieldsKept = newFields.size() >= old.size();
    for (std::size_t i = 0; fieldsKept && i < old.size(); ++i)
        fieldsKept =
            i < fieldSources.size() && fieldSources[i] == int(i) && sameField(old[i], newFields[i]);
    std::vector<std::string> names;
    if (!fieldsKept) {
        for (const auto& c : paradox::companionFiles(table.path())) {
            const std::string ext = asciiLower(c.extension().string());
            if (ext == ".val" || ext == ".tv" || ext == ".fam")
                names.push_back(c.filename().string());
        }
    }
    if (!names.empty()) {
        std::string list;
        for (const auto& n : names)
            list += (list.empty() ? "" : ", ") + n;
        throw EngineError("Cannot " + what + ": " + list +
                          " name the table's fields by their place and type, and this change "
                          "would leave them describing fields that are gone. Remove " +
                          (names.size() == 1 ? "that file" : "those files") +
                          " first if the definitions are no longer wanted.");
    }
    const auto* p = dynamic_cast<const paradox::ParadoxTable*>(&table);
    const auto& bytes = p ? p->headerBytes() : std::vector<std::uint8_t>();
    if (bytes.size() > 0x55 && bytes[0x55] != 0) {
        bool keyKept = newKeyFields == table.keyFieldCount();
        for (int i = 0; keyKept && i < newKeyFields; ++i)
            keyKept = std::size_t(i) < fieldSources.size() && fieldSources[std::size_t(i)] == i &&
                      sameField(old[std::size_t(i)], newFields[std::size_t(i)]);
        if (!keyKept)
            throw EngineError("Cannot " + what + ": " + table.path().filename().string() +
                              " takes part in referential integrity, and other tables' rules "
                              "rest on its key fields as they are.");
    }
}

FieldType fieldTypeOfEngineCode(std::uint16_t code) {
    switch (code) {
        case kEngineAlpha:
            return FieldType::Alpha;
        case kEngineDate:
            return FieldType::Date;
        case kEngineShort:
            return FieldType::Short;
        case kEngineLong:
            return FieldType::Long;
        case kEngineNumber:
            return FieldType::Number;
        case kEngineBcd:
            return FieldType::Bcd;
        case kEngineTime:
            return FieldType::Time;
        case kEngineTimestamp:
            return FieldType::Timestamp;
        case kEngineAutoInc:
            return FieldType::AutoInc;
        default:
            throw EngineError("Unknown field type code " + std::to_string(code));
    }
}

std::vector<std::string> restructureField(const fs::path& table, const std::string& field,
                                          const FieldChange& change) {
    auto src = Table::open(table, OpenMode::Exclusive);
    const int index = fieldIndex(*src, field);
    TableCreate layout = layoutOf(*src);
    const Field from = src->fields()[std::size_t(index)];
    Field& to = layout.fields[std::size_t(index)];
    if (!change.name.empty())
        to.name = change.name;
    if (change.type != 0) {
        to.type = fieldTypeOfEngineCode(change.type);
        to.letter = 0;
        if (to.type != from.type) {
            to.size = to.type == FieldType::Alpha ? defaultTextWidth(from.type) : 0;
            to.decimals = to.type == FieldType::Bcd ? 2 : 0;
            if (src->format() == TableFormat::DBase && to.type == FieldType::Number) {
                to.size = 20;
                to.decimals = from.type == FieldType::Number ? from.decimals : 0;
            }
        }
    }
    if (change.length != 0) {
        if (to.type == FieldType::Bcd)
            to.decimals = change.length;
        else
            to.size = change.length;
    }
    if (change.precision != 0)
        to.decimals = change.precision;
    const std::string what = "change field '" + from.name + "'";
    checkDefinitionsSurvive(*src, layout.fields, layout.keyFields, sameFields(*src),
                            what + " of " + table.string());
    return rebuild(table, std::move(src), layout, what, [&](Record& r) {
        Value& v = r[std::size_t(index)];
        try {
            v = convert(v, to);
        } catch (const EngineError& e) {
            throw EngineError("the value " + valueText(v) + " cannot be carried over: " + e.what());
        }
    });
}

std::vector<std::string> addPrimaryIndex(const fs::path& table,
                                         const std::vector<std::string>& fields) {
    auto src = Table::open(table, OpenMode::Exclusive);
    if (src->format() != TableFormat::Paradox)
        throw EngineError(table.string() + ": only Paradox tables have a primary index");
    if (fields.empty())
        throw EngineError(table.string() + ": no fields given for the primary index");
    for (std::size_t i = 0; i < fields.size(); ++i) {
        int index = fieldIndex(*src, fields[i]);
        if (index != int(i))
            throw EngineError(table.string() +
                              ": the fields of a primary index must be the first " +
                              "fields of the table, in order; '" + fields[i] + "' is field " +
                              std::to_string(index + 1));
        if (isBlobLike(src->fields()[i].type))
            throw EngineError(table.string() + ": blob field '" + fields[i] + "' cannot be a key");
    }
    TableCreate layout = layoutOf(*src);
    layout.keyFields = int(fields.size());
    checkDefinitionsSurvive(*src, layout.fields, layout.keyFields, sameFields(*src),
                            "add the primary index of " + table.string());
    return rebuild(table, std::move(src), layout, "add the primary index", [](Record&) {});
}

std::vector<std::string> packTable(const fs::path& table) {
    auto src = Table::open(table, OpenMode::Exclusive);
    if (auto* d = dynamic_cast<dbase::DBaseTable*>(src.get()))
        d->takeEveryWholeRecord();  // a header that miscounts them loses none
    TableCreate layout = layoutOf(*src);
    return rebuild(table, std::move(src), layout, "pack the records", [](Record&) {});
}

}  // namespace orn::db
