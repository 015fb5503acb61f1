#include "dbengine/dataset/answer_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <set>

#include "dbengine/storage/decimal_text.h"
#include "dbengine/storage/file_lock.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_code_page.h"
#include "dbengine/storage/table_swap.h"
#include "dbengine/vtab/iso_text.h"
#include "dbengine/vtab/table_files.h"
#include "text/progress.h"

namespace orn::db {
namespace {

constexpr int kMaxAlpha = 255;

std::size_t utf8Length(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

// What the rows hold, learnt in one pass: text widths, whether integers fit 32 bits, and the
// digits numbers have before and after the point.
struct ColumnStats {
    std::size_t maxText = 0;
    bool wideInteger = false;
    bool fractions = false;
    bool negative = false;
    bool measured = false;
    int wholeDigits = 1;
    int decimals = 0;

    void number(const std::string& text) {
        measured = true;
        std::string_view t = text;
        if (!t.empty() && t.front() == '-') {
            negative = true;
            t.remove_prefix(1);
        }
        const auto point = t.find('.');
        wholeDigits = std::max(wholeDigits, static_cast<int>(std::min(point, t.size())));
        if (point != std::string_view::npos) {
            auto fraction = t.substr(point + 1);
            while (!fraction.empty() && fraction.back() == '0') {
                fraction.remove_suffix(1);
            }
            decimals = std::max(decimals, static_cast<int>(fraction.size()));
        }
    }
};

// Whether the field chosen for a column depends on its values. A plain column of one table
// holds nothing wider than its own field: texts fit its width, integer fields are 32 bits. A
// dBASE number field needs its width and decimals, which no column type tells.
bool needsStats(const DatasetField& f, bool plainSelect, TableFormat format) {
    const auto& info = f.info();
    const bool plain = plainSelect && !info.origin.empty();
    switch (info.kind) {
        case FieldKind::Text:
            return !plain || info.size <= 0;
        case FieldKind::Integer:
        case FieldKind::AutoInc:
            return !plain || format == TableFormat::DBase;
        case FieldKind::Float:
        case FieldKind::Money:
            return format == TableFormat::DBase;
        default:
            return false;
    }
}

void measure(ColumnStats& stats, const Cell& c) {
    if (const auto* s = std::get_if<std::string>(&c)) {
        stats.maxText = std::max(stats.maxText, utf8Length(*s));
    } else if (const auto* v = std::get_if<std::int64_t>(&c)) {
        stats.wideInteger = stats.wideInteger || *v > 2147483647 || *v < -2147483647;
        stats.number(std::to_string(*v));
    } else if (const auto* d = std::get_if<double>(&c)) {
        const auto text = decimalOfDouble(*d);
        stats.number(text ? *text : std::string(21, '9'));
        stats.fractions = stats.fractions || *d != std::floor(*d);
    }
}

// dBASE numbers: as wide as the widest value needs, with as many decimals as the values have
// (up to the 20 characters a field holds; decimals give way to digits before the point).
void sizeDbaseNumber(Field& out, const ColumnStats& stats) {
    constexpr int kWidest = 20;
    const int whole = stats.wholeDigits + (stats.negative ? 1 : 0);
    int decimals = stats.measured ? std::min(stats.decimals, 15) : 6;
    if (decimals > 0 && whole + 1 + decimals > kWidest) {
        decimals = std::max(0, kWidest - whole - 1);
    }
    const int width = whole + (decimals > 0 ? decimals + 1 : 0);
    out.size = std::clamp(width, 1, kWidest);
    out.decimals = decimals;
}

Field fieldFor(const DatasetField& f, const ColumnStats& stats, TableFormat format) {
    Field out;
    out.name = f.name();
    const auto& info = f.info();
    switch (info.kind) {
        case FieldKind::Text: {
            const auto width = std::max<std::size_t>(
                {stats.maxText, 1, static_cast<std::size_t>(std::max(0, info.size))});
            if (width > kMaxAlpha) {
                out.type = FieldType::Memo;
                out.size = 10;
            } else {
                out.type = FieldType::Alpha;
                out.size = static_cast<int>(width);
            }
            break;
        }
        case FieldKind::Memo:
            // A formatted memo stays one where the target has the type.
            out.type = info.declared == "FMTMEMO" && format == TableFormat::Paradox
                           ? FieldType::FmtMemo
                           : FieldType::Memo;
            out.size = 10;
            break;
        case FieldKind::Integer:
        case FieldKind::AutoInc:
            out.type = stats.fractions     ? FieldType::Number
                       : stats.wideInteger ? FieldType::Number
                                           : FieldType::Long;
            break;
        case FieldKind::Float:
            out.type = FieldType::Number;
            break;
        case FieldKind::Money:
            out.type = FieldType::Money;
            break;
        case FieldKind::Bcd:
            out.type = FieldType::Bcd;
            out.size = info.size > 0 ? info.size : 32;
            out.decimals = info.decimals;
            break;
        case FieldKind::Boolean:
            out.type = FieldType::Logical;
            break;
        case FieldKind::Date:
            out.type = FieldType::Date;
            break;
        case FieldKind::Time:
            out.type = FieldType::Time;
            break;
        case FieldKind::Timestamp:
            out.type = FieldType::Timestamp;
            break;
        case FieldKind::Blob:
            // Graphics keep their type (and with it their image prefix), OLE objects theirs,
            // and fixed bytes stay fixed bytes where the target format has them.
            out.type = FieldType::Blob;
            out.size = 10;
            if (format == TableFormat::Paradox) {
                if (info.declared == "GRAPHIC") {
                    out.type = FieldType::Graphic;
                } else if (info.declared == "OLE") {
                    out.type = FieldType::Ole;
                } else if (info.declared == "BYTES" && info.size >= 1 && info.size <= 255) {
                    out.type = FieldType::Bytes;
                    out.size = info.size;
                }
            }
            break;
    }
    if (format == TableFormat::DBase && out.type == FieldType::Number) {
        sizeDbaseNumber(out, stats);
    }
    return out;
}

Value storedCell(const Field& field, const Cell& cell) {
    if (std::holds_alternative<std::monostate>(cell)) {
        return Value{};
    }
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        switch (field.type) {
            case FieldType::Logical:
                return *i != 0;
            case FieldType::Number:
            case FieldType::Money:
                return static_cast<double>(*i);
            case FieldType::Bcd:
                return Decimal{std::to_string(*i)};
            case FieldType::Alpha:
            case FieldType::Memo:
                return std::to_string(*i);
            default:
                return *i;
        }
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        if (field.type == FieldType::Bcd) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", field.decimals, *d);
            return Decimal{buf};
        }
        if (field.type == FieldType::Long) {
            return static_cast<std::int64_t>(*d);
        }
        return *d;
    }
    if (const auto* b = std::get_if<std::vector<std::uint8_t>>(&cell)) {
        return Bytes(*b);
    }
    const auto& s = std::get<std::string>(cell);
    switch (field.type) {
        case FieldType::Date:
            if (auto v = parseIsoDate(s)) {
                return *v;
            }
            return Value{};
        case FieldType::Time:
            if (auto v = parseIsoTime(s)) {
                return *v;
            }
            return Value{};
        case FieldType::Timestamp:
            if (auto v = parseIsoTimestamp(s)) {
                return *v;
            }
            return Value{};
        default:
            return s;
    }
}

// A result column's name as a field name of the format: letters, digits and '_' (Paradox also
// keeps blanks; dBASE only ASCII and at most 10 characters, Paradox 25); every other character
// becomes '_', runs of '_' become one, none leads or trails; nothing left gives "Field".
std::string fieldName(const std::string& name, TableFormat format) {
    const bool dbase = format == TableFormat::DBase;
    const std::size_t most = dbase ? 10 : 25;
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < name.size() && chars < most;) {
        const auto c = static_cast<unsigned char>(name[i]);
        std::size_t len = 1;
        if (c >= 0x80) {
            while (i + len < name.size() &&
                   (static_cast<unsigned char>(name[i + len]) & 0xC0) == 0x80) {
                ++len;
            }
        }
        const bool keep = std::isalnum(c) || c == '_' || (!dbase && (c == ' ' || c >= 0x80));
        if (keep && !(c == ' ' && !out.empty() && out.back() == '_')) {
            out.append(name, i, len);
            ++chars;
        } else if (!keep) {
            // one '_' for a run of other characters and the blanks around it
            while (!out.empty() && out.back() == ' ') {
                out.pop_back();
                --chars;
            }
            if (!out.empty() && out.back() != '_') {
                out += '_';
                ++chars;
            }
        }
        i += len;
    }
    while (!out.empty() && (out.back() == '_' || out.back() == ' ')) {
        out.pop_back();
    }
    const auto start = out.find_first_not_of("_ ");
    out = start == std::string::npos ? std::string() : out.substr(start);
    if (out.empty()) {
        return "Field";
    }
    if (dbase && std::isdigit(static_cast<unsigned char>(out[0]))) {
        out = ("F" + out).substr(0, most);
    }
    return out;
}

// Field names valid for the format and unique (letter case aside): a repeated name gets "_2",
// "_3", ... within the format's length.
void uniqueNames(std::vector<Field>& fields, TableFormat format) {
    const std::size_t most = format == TableFormat::DBase ? 10 : 25;
    std::set<std::string> used;
    for (auto& f : fields) {
        const std::string base = fieldName(f.name, format);
        std::string name = base;
        for (int n = 2; used.count(lowerAscii(name)); ++n) {
            const std::string suffix = "_" + std::to_string(n);
            std::string cut = base;
            while (utf8Length(cut) + suffix.size() > most) {
                do {
                    cut.pop_back();
                } while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80);
                if (!cut.empty() && static_cast<unsigned char>(cut.back()) >= 0xC0) {
                    cut.pop_back();
                }
            }
            name = cut + suffix;
        }
        used.insert(lowerAscii(name));
        f.name = name;
    }
}

// Restores the query's record number whatever happens.
class PositionKeeper {
  public:
    explicit PositionKeeper(Query& q) : q_(q), recNo_(q.recNo()) { q_.disableControls(); }
    ~PositionKeeper() {
        try {
            if (recNo_ > 0) {
                q_.setRecNo(recNo_);
            }
        } catch (const std::exception&) {
        }
        q_.enableControls();
    }

  private:
    Query& q_;
    std::int64_t recNo_;
};

}  // namespace

std::vector<std::string> saveAnswerAsTable(Query& query, const std::string& tableName,
                                           Query* shown) {
    if (!query.active()) {
        throw EngineError("Cannot perform this operation on a closed dataset");
    }
    if (query.live()) {
        throw EngineError("Only the answer of a query that is not live can be saved as a table");
    }
    if (query.fieldCount() == 0) {
        throw EngineError("The query has no answer set to save");
    }
    TableFormat format = TableFormat::Paradox;
    const auto file = newTableFile(query.databaseDir(), tableName, format);
    std::optional<TableReplaceLock> held;
    if (std::filesystem::exists(file)) {
        held.emplace(file);
        // The answer is read again under the lock: no other process commits to the table between
        // the reading and the replacing (SAVE of a table over itself keeps their changes).
        query.open();
    }
    PositionKeeper keep(query);
    const std::size_t n = query.fieldCount();
    std::vector<ColumnStats> stats(n);
    std::vector<std::size_t> measured;
    for (std::size_t i = 0; i < n; ++i) {
        if (needsStats(query.field(i), query.singleTableSelect(), format)) {
            measured.push_back(i);
        }
    }
    // Only a result whose fields depend on its values is read twice.
    for (query.first(); !measured.empty() && !query.eof(); query.next()) {
        for (std::size_t i : measured) {
            measure(stats[i], query.field(i).value());
        }
    }
    TableCreate layout;
    for (std::size_t i = 0; i < n; ++i) {
        layout.fields.push_back(fieldFor(query.field(i), stats[i], format));
    }
    uniqueNames(layout.fields, format);
    // A table saved over keeps the code page its other users read it in.
    // It also keeps its sort order, block size and counters, and the definitions that name
    // its fields must still fit.
    // The table saved over, open until its secondary indexes are carried to the new one.
    std::unique_ptr<Table> old;
    std::vector<int> sources;
    if (std::filesystem::exists(file)) {
        try {
            old = Table::open(file, OpenMode::ReadOnly);
        } catch (const EngineError&) {
            // not a readable table: it is replaced in the default code page
        }
        if (old && old->format() == format) {
            layout.codePage = storedCodePage(*old).name;
            for (const auto& f : layout.fields) {
                int src = -1;
                const auto& was = old->fields();
                for (std::size_t j = 0; j < was.size() && src < 0; ++j) {
                    if (lowerAscii(was[j].name) == lowerAscii(f.name) && was[j].type == f.type)
                        src = static_cast<int>(j);
                }
                sources.push_back(src);
            }
            checkDefinitionsSurvive(*old, layout.fields, layout.keyFields, sources,
                                    "save the answer as " + file.string());
            layout.carried = carriedHeaderOf(*old, sources);
        } else if (old) {
            layout.codePage = storedCodePage(*old).name;
        }
    }
    layout.headerName = file.filename().string();
    if (format == TableFormat::Paradox) {
        // A big answer gets blocks large enough to hold it.
        layout.blockSize = paradoxBlockSizeFor(layout, std::uint64_t(query.recordCount()));
    }
    const bool isNew = !held;  // a table that appeared since is not replaced
    const auto temp = swapTempPath(file);
    discardTableFiles(format, temp);
    std::vector<std::string> notices;
    try {
        auto table = Table::create(temp, format, layout);
        if (old && old->format() == format) {
            notices = carrySecondaryIndexes(*old, *table, sources);
        }
        old.reset();
        table->begin();
        Record record(n);
        TProgressTicker progress("Saving " + file.filename().string(), 0);
        std::uint64_t saved = 0;
        for (query.first(); !query.eof(); query.next()) {
            for (std::size_t i = 0; i < n; ++i) {
                record[i] = storedCell(layout.fields[i], query.field(i).value());
            }
            table->insert(record);
            commitCopyBatch(*table, ++saved);
            if (!progress.Tick()) {
                // The old table (if any) stays as it was.
                throw EngineError("Cancelled: " + file.filename().string() + " was not saved");
            }
        }
        table->commit();
        for (auto& n : replacementNotices(*table, file)) {
            notices.push_back(std::move(n));
        }
    } catch (...) {
        discardTableFiles(format, temp);
        throw;
    }
    if (held) {
        try {
            // The answer may hold the table open itself: closed, it holds it no longer.
            held->takeOver([&] {
                query.close();
                if (shown && shown->usesFile(file))
                    shown->close();
            });
        } catch (...) {
            discardTableFiles(format, temp);
            throw;
        }
    }
    // Two saves to one new name: the first to finish wins whole, the other is told.
    swapInTable(file, format, temp, isNew ? SwapMode::CreateNew : SwapMode::Replace);
    return notices;
}

}  // namespace orn::db
