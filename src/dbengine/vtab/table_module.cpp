#include "dbengine/vtab/table_module.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "dbengine/storage/table.h"
#include "dbengine/vtab/row_hash.h"
#include "dbengine/vtab/sql_value.h"
#include "dbengine/vtab/table_files.h"

namespace orn::db {
namespace {

// Plan bits of idxNum: low byte = number of leading key fields fixed by equality, then the kind
// of lower and upper bound on the next key field.
enum Bound { kNone = 0, kExclusive = 1, kInclusive = 2 };
constexpr int kLowShift = 8;
constexpr int kHighShift = 12;
constexpr int kByRowid = 1 << 16;  // one record, by its identity
// The equalities are all on integer key fields and answered here: SQLite does not re-check them.
constexpr int kOwnsEquality = 1 << 17;
// Equality on the field idxNum >> kHashFieldShift, answered from a RowHash of the whole table.
constexpr int kHashedEquality = 1 << 18;
// Keyed tables at most this big are probed through a RowHash rather than by seeks.
constexpr double kHashedKeyRows = 256;
constexpr int kHashFieldShift = 20;
// A LIKE on the first key field, an alpha field: its pattern's plain start becomes a key range.
constexpr int kLikePrefix = 1 << 19;
// idxStr of a lookup through a secondary index: idxNum holds the field it leads with and the
// kind of bounds (kSecondaryEquality, or kLowShift/kHighShift as for keys); the other bits of
// idxNum mean nothing in it.
constexpr const char* kSecondaryPlan = "secondary";
constexpr int kSecondaryEquality = 1 << 16;
constexpr int kSecondaryFieldMask = 0xff;

struct TableVtab {
    sqlite3_vtab base{};
    std::unique_ptr<Table> table;
    TableModuleObserver* observer = nullptr;
    bool writing = false;      // a storage transaction is open
    std::uint64_t writes = 0;  // records written through this table: a RowHash of before is stale
    bool damageTold = false;
    // Damage shows while reading: the observer hears of it once.
    void tellDamage() {
        if (!damageTold && observer && !table->damage().empty()) {
            damageTold = true;
            observer->tableDamaged(table->path(), table->damage());
        }
    }
    // After a commit or a rollback: what the write did besides changing records (an index it
    // had to remove stays removed either way).
    void tellNotices() {
        for (const auto& notice : table->takeNotices()) {
            if (observer) {
                observer->tableNotice(table->path(), notice);
            }
        }
    }
};

struct TableVtabCursor {
    sqlite3_vtab_cursor base{};
    TableCursor* active = nullptr;  // the cursor rows come from, unless `single`
    std::unique_ptr<TableCursor> cursor;
    bool eof = true;
    // rowid lookups read one record instead of walking a cursor
    bool single = false;
    RecordId singleId = 0;
    Record singleRecord;
    // Joins probe a keyed table with ascending keys. `walk` stays in key order between probes
    // and steps forward a little instead of seeking anew; `walkAt` says it is on a record.
    std::unique_ptr<TableCursor> walk;
    bool walkAt = false;
    Value lastProbe;
    bool oneShot = false;  // the row found by a unique probe is the only one
    // Equality probes of a small table: rows come from `hash`, the records of `hashRows`.
    std::unique_ptr<RowHash> hash;
    std::uint64_t hashWrites = 0;
    bool hashed = false;
    std::span<const std::uint32_t> hashRows;
    std::size_t hashAt = 0;

    const Value& value(std::size_t field) {
        if (hashed) {
            return hash->record(hashRows[hashAt])[field];
        }
        return single ? singleRecord[field] : active->value(field);
    }
    RecordId id() const {
        if (hashed) {
            return hash->id(hashRows[hashAt]);
        }
        return single ? singleId : active->id();
    }
    bool advance() {
        if (hashed) {
            return ++hashAt < hashRows.size();
        }
        if (single || oneShot) {
            return false;
        }
        return active->next();
    }
};

// Order of two key values of one field (-1, 0, 1): blanks first; kUnordered for kinds this does
// not know.
constexpr int kUnordered = 2;

int compareKeys(const Value& a, const Value& b) {
    auto three = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    const auto* ia = std::get_if<std::int64_t>(&a);
    const auto* ib = std::get_if<std::int64_t>(&b);
    if (ia && ib) {  // the common case of joins on numbered keys
        return three(*ia, *ib);
    }
    if (isBlank(a) || isBlank(b)) {
        return isBlank(a) == isBlank(b) ? 0 : (isBlank(a) ? -1 : 1);
    }
    if (ia) {
        if (const auto* y = std::get_if<double>(&b)) {
            return three(static_cast<double>(*ia), *y);
        }
    }
    if (const auto* x = std::get_if<double>(&a)) {
        if (const auto* y = std::get_if<double>(&b)) {
            return three(*x, *y);
        }
        if (ib) {
            return three(*x, static_cast<double>(*ib));
        }
    }
    if (a.index() != b.index()) {
        return kUnordered;
    }
    if (const auto* x = std::get_if<Date>(&a)) {
        return three(*x, std::get<Date>(b));
    }
    if (const auto* x = std::get_if<TimeOfDay>(&a)) {
        return three(*x, std::get<TimeOfDay>(b));
    }
    if (const auto* x = std::get_if<Timestamp>(&a)) {
        return three(*x, std::get<Timestamp>(b));
    }
    return kUnordered;
}

constexpr int kWalkSteps = 32;

// A probe of a one-field unique key: answers from the walk when the probe lies a few records
// ahead of it, else seeks there. False when the key kind cannot be compared here.
bool probeByWalk(TableVtabCursor* cur, Table& table, const Value& probe) {
    const bool forward = cur->walk && cur->walkAt && !isBlank(cur->lastProbe) &&
                         compareKeys(cur->lastProbe, probe) <= 0;
    int order = 1;
    if (forward) {
        order = compareKeys(cur->walk->value(0), probe);
        for (int step = 0; order < 0 && step < kWalkSteps; ++step) {
            if (!cur->walk->next()) {
                cur->walkAt = false;
                break;
            }
            order = compareKeys(cur->walk->value(0), probe);
        }
        if (order == kUnordered) {
            return false;
        }
    }
    if (!forward || !cur->walkAt || order < 0) {
        cur->walk = table.range({probe}, true, {}, true);
        cur->walkAt = cur->walk->next();
        order = cur->walkAt ? compareKeys(cur->walk->value(0), probe) : 1;
        if (order == kUnordered) {
            return false;
        }
    }
    cur->lastProbe = probe;
    cur->active = cur->walk.get();
    cur->oneShot = true;
    cur->eof = !cur->walkAt || order != 0;
    return true;
}

TableVtab* vtabOf(sqlite3_vtab* p) {
    return reinterpret_cast<TableVtab*>(p);
}
TableVtabCursor* cursorOf(sqlite3_vtab_cursor* p) {
    return reinterpret_cast<TableVtabCursor*>(p);
}

int fail(sqlite3_vtab* vtab, const std::exception& e, int code = SQLITE_ERROR) {
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", e.what());
    return code;
}

std::string unquote(const char* arg) {
    std::string s = arg ? arg : "";
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) {
        const char q = s.front();
        std::string out;
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            out += s[i];
            if (s[i] == q && i + 2 < s.size() && s[i + 1] == q) {
                ++i;
            }
        }
        return out;
    }
    return s;
}

std::string quoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

// `keepReading`: the observer ends the open's read with the others of the statement.
std::unique_ptr<Table> openForSql(const std::filesystem::path& file, bool keepReading) {
    try {
        return Table::open(file, OpenMode::Shared, keepReading);
    } catch (const EngineError&) {
        // a file we may only read still answers queries
        try {
            return Table::open(file, OpenMode::ReadOnly, keepReading);
        } catch (const EngineError&) {
        }
        throw;
    }
}

int xConnect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
             char** err) {
    if (argc < 4) {
        *err = sqlite3_mprintf("%s needs the table file as argument", kTableModuleName);
        return SQLITE_ERROR;
    }
    auto vt = std::make_unique<TableVtab>();
    try {
        vt->table = openForSql(unquote(argv[3]), aux != nullptr);
    } catch (const std::exception& e) {
        *err = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
    if (aux) {
        vt->observer = static_cast<TableModuleObserver*>(aux);
        vt->observer->tableOpened(unquote(argv[3]), *vt->table);
        vt->tellDamage();
    }
    std::string schema = "CREATE TABLE x(";
    const auto& fields = vt->table->fields();
    std::set<std::string> used;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // Some files repeat a field name (in another letter case); SQL needs them apart: the
        // later ones get a number.
        std::string name = fields[i].name.empty() ? "Field" : fields[i].name;
        for (int n = 2; used.count(lowerAscii(name)); ++n) {
            name = fields[i].name + "_" + std::to_string(n);
        }
        used.insert(lowerAscii(name));
        std::string type = declaredType(fields[i]);
        if (vt->table->format() == TableFormat::DBase && fields[i].type == FieldType::Number &&
            fields[i].size > 0) {
            // a dBASE number's width and decimals: the widest text its values can have
            type += '(' + std::to_string(fields[i].size) + ',' +
                    std::to_string(fields[i].decimals) + ')';
        }
        schema += (i ? ", " : "") + quoteIdentifier(name) + ' ' + type;
    }
    schema += ')';
    const int rc = sqlite3_declare_vtab(db, schema.c_str());
    if (rc != SQLITE_OK) {
        *err = sqlite3_mprintf("%s", sqlite3_errmsg(db));
        if (vt->observer) {
            vt->observer->tableClosed(*vt->table);
        }
        return rc;
    }
    *out = &vt.release()->base;
    return SQLITE_OK;
}

int xDisconnect(sqlite3_vtab* p) {
    auto* vt = vtabOf(p);
    if (vt->writing) {
        try {
            vt->table->rollback();
        } catch (const std::exception&) {
        }
    }
    if (vt->observer) {
        vt->observer->tableClosed(*vt->table);
    }
    sqlite3_free(p->zErrMsg);
    delete vt;
    return SQLITE_OK;
}

bool orderedKind(FieldType t) {
    // Text keys sort by the table's language driver, which need not be SQLite's binary order.
    return t != FieldType::Alpha;
}

bool offerLikePrefix(Table& table, sqlite3_index_info* info) {
    if (table.keyFieldCount() == 0 || table.fields()[0].type != FieldType::Alpha) {
        return false;
    }
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.op == SQLITE_INDEX_CONSTRAINT_LIKE && c.iColumn == 0) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 0;  // SQLite matches the whole pattern
            info->idxNum = kLikePrefix;
            return true;
        }
    }
    return false;
}

// The key range that holds every text a LIKE pattern matches: from its plain start up to the
// next text of that length. False when the start is empty or holds what the range could not say
// exactly in every code page (letters past ASCII, blanks and control characters).
bool likeRange(const Field& field, sqlite3_value* pattern, Record& low, Record& high) {
    if (sqlite3_value_type(pattern) != SQLITE_TEXT) {
        return false;
    }
    const std::string text = reinterpret_cast<const char*>(sqlite3_value_text(pattern));
    const std::string start = text.substr(0, text.find_first_of("%_"));
    if (start.empty() || start.size() > static_cast<std::size_t>(field.size)) {
        return false;
    }
    for (const char c : start) {
        if (c <= ' ' || c >= '~') {
            return false;
        }
    }
    std::string next = start;
    ++next.back();
    low = {start};
    high = {next};
    return true;
}

// The bounds of a key range for an Alpha value. Storage compares the stored bytes (in the
// table's code page, padded with NULs, trailing blanks kept) in the table's key order; SQL
// compares the text without its trailing blanks, in UTF-8. The two agree on text of printable
// ASCII that does not end in a blank, once an upper bound that takes in the value also takes it
// followed by blanks: `high` is that. False for any other text, whose range could miss records
// SQL finds.
bool alphaBounds(const Field& field, const Value& value, Value& low, Value& high) {
    const auto* text = std::get_if<std::string>(&value);
    if (text == nullptr || text->empty() || text->back() == ' ' ||
        text->size() > static_cast<std::size_t>(field.size)) {
        return false;
    }
    for (const char c : *text) {
        if (c < ' ' || c > '~') {
            return false;
        }
    }
    low = *text;
    high = *text + std::string(static_cast<std::size_t>(field.size) - text->size(), ' ');
    return true;
}

// A small table probed by equality on a field that is no key (a join on it): one read into a
// RowHash answers every probe. False when the plan does not apply.
bool offerHashedEquality(Table& table, sqlite3_index_info* info) {
    const auto& fields = table.fields();
    if (!RowHash::fits(table.recordCountBound(), fields)) {
        return false;
    }
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < 0) {
            continue;
        }
        const char* collation = sqlite3_vtab_collation(info, i);
        if (collation && sqlite3_stricmp(collation, "BINARY") != 0) {
            continue;
        }
        info->aConstraintUsage[i].argvIndex = 1;
        info->aConstraintUsage[i].omit = 0;
        info->idxNum = kHashedEquality | (c.iColumn << kHashFieldShift);
        const double rows = static_cast<double>(table.recordCountBound()) + 1;
        info->estimatedCost = 20 + rows * 0.01;
        info->estimatedRows = static_cast<sqlite3_int64>(rows * 0.1) + 1;
        return true;
    }
    return false;
}

bool secondaryKind(FieldType t) {
    switch (t) {
        case FieldType::Alpha:
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Timestamp:
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc:
        case FieldType::Number:
        case FieldType::Money:
            return true;
        default:
            return false;
    }
}

// The cheapest lookup through a secondary index for the constraints, when it costs less than
// `planCost` (what the plan already chosen costs): the plan is then replaced by it. Each record
// it finds costs a seek in the table, several times a record of a scan or of a key range.
void offerSecondaryIndex(Table& table, sqlite3_index_info* info, double planCost) {
    const double rows = static_cast<double>(table.recordCountBound()) + 1;
    constexpr double kPerRecord = 4;
    // A RowHash pays for reading the whole table over many probes (a join); for the one probe
    // of a constant it costs what a scan costs.
    const bool hashed = (info->idxNum & kHashedEquality) != 0;
    auto constant = [&](int i) {
        sqlite3_value* v = nullptr;
        return i < 0 || sqlite3_vtab_rhs_value(info, i, &v) == SQLITE_OK;
    };
    double best = planCost;
    double bestFraction = 1;
    int bestField = -1, bestEq = -1, bestLow = -1, bestHigh = -1;
    for (const std::size_t field : table.indexedFields()) {
        const Field& f = table.fields()[field];
        if (!secondaryKind(f.type)) {
            continue;
        }
        int eq = -1, low = -1, high = -1;
        for (int i = 0; i < info->nConstraint; ++i) {
            const auto& c = info->aConstraint[i];
            if (!c.usable || c.iColumn != static_cast<int>(field)) {
                continue;
            }
            if (f.type == FieldType::Alpha) {
                // Only SQLite's own order of text is the index's order.
                const char* collation = sqlite3_vtab_collation(info, i);
                if (collation && sqlite3_stricmp(collation, "BINARY") != 0) {
                    continue;
                }
            }
            if (c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
                eq = i;
            } else if (c.op == SQLITE_INDEX_CONSTRAINT_GT || c.op == SQLITE_INDEX_CONSTRAINT_GE) {
                low = i;
            } else if (c.op == SQLITE_INDEX_CONSTRAINT_LT || c.op == SQLITE_INDEX_CONSTRAINT_LE) {
                high = i;
            }
        }
        if (eq < 0 && low < 0 && high < 0) {
            continue;
        }
        const double fraction = eq >= 0 ? 0.01 : (low >= 0 && high >= 0 ? 0.1 : 0.3);
        const double cost = 20 + rows * fraction * kPerRecord;
        const double against =
            bestField < 0 && hashed && constant(eq) && constant(low) && constant(high)
                ? std::max(planCost, rows * 2)
                : best;
        if (cost < against) {
            best = cost;
            bestFraction = fraction;
            bestField = static_cast<int>(field);
            bestEq = eq;
            bestLow = eq >= 0 ? -1 : low;
            bestHigh = eq >= 0 ? -1 : high;
        }
    }
    if (bestField < 0 || bestField > kSecondaryFieldMask) {
        return;
    }

    for (int i = 0; i < info->nConstraint; ++i) {
        info->aConstraintUsage[i].argvIndex = 0;
        info->aConstraintUsage[i].omit = 0;  // SQLite checks every record the index gives
    }
    int arg = 0;
    int idxNum = bestField;
    if (bestEq >= 0) {
        info->aConstraintUsage[bestEq].argvIndex = ++arg;
        idxNum |= kSecondaryEquality;
    }
    if (bestLow >= 0) {
        info->aConstraintUsage[bestLow].argvIndex = ++arg;
        idxNum |=
            (info->aConstraint[bestLow].op == SQLITE_INDEX_CONSTRAINT_GT ? kExclusive : kInclusive)
            << kLowShift;
    }
    if (bestHigh >= 0) {
        info->aConstraintUsage[bestHigh].argvIndex = ++arg;
        idxNum |=
            (info->aConstraint[bestHigh].op == SQLITE_INDEX_CONSTRAINT_LT ? kExclusive : kInclusive)
            << kHighShift;
    }
    info->idxNum = idxNum;
    info->idxStr = const_cast<char*>(kSecondaryPlan);
    info->needToFreeIdxStr = 0;
    info->estimatedCost = best;
    info->estimatedRows = static_cast<sqlite3_int64>(rows * bestFraction) + 1;
    info->orderByConsumed = 0;  // records come in the index's order, not the key's
}

int xBestIndex(sqlite3_vtab* p, sqlite3_index_info* info) {
    auto* vt = vtabOf(p);
    const int keys = vt->table->keyFieldCount();
    const double rows = static_cast<double>(vt->table->recordCountBound()) + 1;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.op == SQLITE_INDEX_CONSTRAINT_EQ && c.iColumn == -1) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 1;
            info->idxNum = kByRowid;
            info->estimatedCost = 1;
            info->estimatedRows = 1;
            return SQLITE_OK;
        }
    }
    int eqCount = 0;
    // constraint index per key field for equality, and for bounds on the field after them
    std::vector<int> eq(static_cast<std::size_t>(keys), -1);
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.op == SQLITE_INDEX_CONSTRAINT_EQ && c.iColumn >= 0 && c.iColumn < keys) {
            eq[static_cast<std::size_t>(c.iColumn)] = i;
        }
    }
    while (eqCount < keys && eq[static_cast<std::size_t>(eqCount)] >= 0) {
        ++eqCount;
    }
    int low = -1, high = -1, lowKind = kNone, highKind = kNone;
    if (eqCount < keys) {
        for (int i = 0; i < info->nConstraint; ++i) {
            const auto& c = info->aConstraint[i];
            if (!c.usable || c.iColumn != eqCount) {
                continue;
            }
            if (c.op == SQLITE_INDEX_CONSTRAINT_GT || c.op == SQLITE_INDEX_CONSTRAINT_GE) {
                low = i;
                lowKind = c.op == SQLITE_INDEX_CONSTRAINT_GT ? kExclusive : kInclusive;
            } else if (c.op == SQLITE_INDEX_CONSTRAINT_LT || c.op == SQLITE_INDEX_CONSTRAINT_LE) {
                high = i;
                highKind = c.op == SQLITE_INDEX_CONSTRAINT_LT ? kExclusive : kInclusive;
            }
        }
    }
    // Equalities on integer fields alone are decided exactly here; they make most of a join's
    // work, so SQLite need not compare them again.
    bool owns = eqCount > 0 && low < 0 && high < 0;
    for (int k = 0; k < eqCount && owns; ++k) {
        owns = isIntegerKey(vt->table->fields()[static_cast<std::size_t>(k)]);
    }
    // A join probing a small keyed table by its whole key: one read into a RowHash answers every
    // probe without a seek each. A constant (one probe) is still a seek.
    sqlite3_value* constant = nullptr;
    if (keys == 1 && eqCount == 1 && low < 0 && high < 0 && rows <= kHashedKeyRows &&
        sqlite3_vtab_rhs_value(info, eq[0], &constant) != SQLITE_OK &&
        offerHashedEquality(*vt->table, info)) {
        return SQLITE_OK;
    }
    int arg = 0;
    for (int k = 0; k < eqCount; ++k) {
        auto& usage = info->aConstraintUsage[eq[static_cast<std::size_t>(k)]];
        usage.argvIndex = ++arg;
        usage.omit = owns ? 1 : 0;
    }
    if (low >= 0) {
        info->aConstraintUsage[low].argvIndex = ++arg;
    }
    if (high >= 0) {
        info->aConstraintUsage[high].argvIndex = ++arg;
    }
    // Otherwise SQLite re-checks every constraint: a seek value that cannot be converted exactly
    // makes xFilter fall back to a scan, so the range is never narrower than the true answer.
    info->idxNum =
        eqCount | (lowKind << kLowShift) | (highKind << kHighShift) | (owns ? kOwnsEquality : 0);
    if (eqCount == keys && keys > 0) {
        info->estimatedCost = 10;
        info->estimatedRows = 1;  // not flagged unique: writes then never run under our cursor
    } else if (eqCount > 0 || low >= 0 || high >= 0) {
        const double fraction = eqCount > 0 ? 0.01 : (low >= 0 && high >= 0 ? 0.1 : 0.3);
        info->estimatedCost = 10 + rows * fraction;
        info->estimatedRows = static_cast<sqlite3_int64>(rows * fraction) + 1;
    } else if (offerLikePrefix(*vt->table, info)) {
        info->estimatedCost = 10 + rows * 0.1;
        info->estimatedRows = static_cast<sqlite3_int64>(rows * 0.1) + 1;
    } else if (!offerHashedEquality(*vt->table, info)) {
        info->estimatedCost = rows * 2;
        info->estimatedRows = static_cast<sqlite3_int64>(rows);
    }
    // Records come in key order: an ORDER BY over the leading key fields, ascending, needs no sort.
    if (keys > 0 && info->nOrderBy > 0 && info->nOrderBy <= keys) {
        bool consumed = true;
        for (int i = 0; i < info->nOrderBy && consumed; ++i) {
            const auto& o = info->aOrderBy[i];
            consumed = o.iColumn == i && !o.desc &&
                       orderedKind(vt->table->fields()[static_cast<std::size_t>(i)].type);
        }
        info->orderByConsumed = consumed ? 1 : 0;
    }
    offerSecondaryIndex(*vt->table, info, info->estimatedCost);
    return SQLITE_OK;
}

// A statement opens its cursors before it reads a row: the table notices other processes'
// commits here, once per statement, however often the statement seeks in it.
int xOpen(sqlite3_vtab* p, sqlite3_vtab_cursor** out) {
    try {
        vtabOf(p)->table->startStatement();
    } catch (const std::exception& e) {
        return fail(p, e);
    }
    *out = &(new TableVtabCursor)->base;
    return SQLITE_OK;
}

int xClose(sqlite3_vtab_cursor* p) {
    vtabOf(p->pVtab)->tellDamage();
    delete cursorOf(p);
    return SQLITE_OK;
}

// Records whose leading integer key fields equal the arguments; none when an argument equals no
// value those fields can hold.
int filterByIntegerKey(TableVtabCursor* cur, Table& table, int eqCount, sqlite3_value** argv) {
    const auto& fields = table.fields();
    Value first;
    if (!keyValue(fields[0], argv[0], first)) {
        cur->eof = true;
        return SQLITE_OK;
    }
    if (eqCount == 1 && table.keyFieldCount() == 1 && probeByWalk(cur, table, first)) {
        return SQLITE_OK;
    }
    Record key{first};
    for (int k = 1; k < eqCount; ++k) {
        Value v;
        if (!keyValue(fields[static_cast<std::size_t>(k)], argv[k], v)) {
            cur->eof = true;
            return SQLITE_OK;
        }
        key.push_back(std::move(v));
    }
    cur->cursor = table.range(key, true, key, true);
    cur->active = cur->cursor.get();
    cur->eof = !cur->cursor->next();
    return SQLITE_OK;
}

// Records through the secondary index led by the field idxNum names, within the bounds the
// arguments give; a scan when a bound has no exact value of the field or the index cannot serve.
// SQLite checks every record either way.
std::unique_ptr<TableCursor> secondaryLookup(Table& table, int idxNum, sqlite3_value** argv) {
    const auto field = static_cast<std::size_t>(idxNum & kSecondaryFieldMask);
    const Field& f = table.fields()[field];
    auto bound = [&](sqlite3_value* v, Record& out) {
        Value value;
        const bool exact = keyValue(f, v, value);
        if (exact) {
            out = {value};
        }
        return exact;
    };
    Record low, high;
    bool lowIncl = true, highIncl = true;
    int arg = 0;
    bool seekable = true;
    if (idxNum & kSecondaryEquality) {
        seekable = bound(argv[arg++], low);
        high = low;
    } else {
        const int lowKind = (idxNum >> kLowShift) & 0xf;
        const int highKind = (idxNum >> kHighShift) & 0xf;
        if (lowKind != kNone) {
            seekable = bound(argv[arg++], low);
            lowIncl = lowKind == kInclusive;
        }
        if (seekable && highKind != kNone) {
            seekable = bound(argv[arg++], high);
            highIncl = highKind == kInclusive;
        }
    }
    std::unique_ptr<TableCursor> cursor;
    if (seekable) {
        cursor = table.indexRange(field, low, lowIncl, high, highIncl);
    }
    return cursor ? std::move(cursor) : table.scan();
}

int xFilter(sqlite3_vtab_cursor* p, int idxNum, const char* idxStr, int argc,
            sqlite3_value** argv) {
    auto* cur = cursorOf(p);
    auto* vt = vtabOf(p->pVtab);
    try {
        cur->single = false;
        cur->oneShot = false;
        cur->hashed = false;
        if (idxStr && std::strcmp(idxStr, kSecondaryPlan) == 0) {
            cur->cursor = secondaryLookup(*vt->table, idxNum, argv);
            cur->active = cur->cursor.get();
            cur->eof = !cur->cursor->next();
            return SQLITE_OK;
        }
        if (idxNum & kByRowid) {
            cur->single = true;
            cur->eof = true;
            if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
                return SQLITE_OK;
            }
            cur->singleId = static_cast<RecordId>(sqlite3_value_int64(argv[0]));
            try {
                cur->singleRecord = vt->table->read(cur->singleId);
                cur->eof = false;
            } catch (const EngineError&) {
                // no live record with that identity: an empty answer
            }
            return SQLITE_OK;
        }
        const int eqCount = idxNum & 0xff;
        const int lowKind = (idxNum >> kLowShift) & 0xf;
        const int highKind = (idxNum >> kHighShift) & 0xf;
        const auto& fields = vt->table->fields();
        if (idxNum & kOwnsEquality) {
            return filterByIntegerKey(cur, *vt->table, eqCount, argv);
        }
        if (idxNum & kLikePrefix) {
            Record low, high;
            cur->cursor = likeRange(fields[0], argv[0], low, high)
                              ? vt->table->range(low, true, high, false)
                              : vt->table->scan();
            cur->active = cur->cursor.get();
            cur->eof = !cur->cursor->next();
            return SQLITE_OK;
        }
        if (idxNum & kHashedEquality) {
            if (!cur->hash || cur->hashWrites != vt->writes) {
                cur->hash.reset();
                cur->hash = std::make_unique<RowHash>(
                    *vt->table, static_cast<std::size_t>(idxNum >> kHashFieldShift));
                cur->hashWrites = vt->writes;
            }
            if (const auto rows = cur->hash->find(argv[0])) {
                cur->hashed = true;
                cur->hashRows = *rows;
                cur->hashAt = 0;
                cur->eof = rows->empty();
                return SQLITE_OK;
            }
            cur->cursor = vt->table->scan();  // SQLite's own check finds the equal records
            cur->active = cur->cursor.get();
            cur->eof = !cur->cursor->next();
            return SQLITE_OK;
        }
        if (eqCount == 1 && argc == 1 && lowKind == kNone && highKind == kNone &&
            vt->table->keyFieldCount() == 1 && fields[0].type != FieldType::Alpha) {
            Value probe;
            if (keyValue(fields[0], argv[0], probe) && probeByWalk(cur, *vt->table, probe)) {
                return SQLITE_OK;
            }
        }
        Record low, high;
        bool seekable = argc > 0;
        int arg = 0;
        // The bound on field k for either side; Alpha values as alphaBounds gives them.
        auto bound = [&](std::size_t k, sqlite3_value* arg, bool upper, bool inclusive) {
            Value v, lo, hi;
            if (!keyValue(fields[k], arg, v)) {
                return false;
            }
            if (fields[k].type == FieldType::Alpha) {
                if (!alphaBounds(fields[k], v, lo, hi)) {
                    return false;
                }
                v = upper && inclusive ? hi : lo;
            }
            (upper ? high : low).push_back(std::move(v));
            return true;
        };
        for (int k = 0; k < eqCount && seekable; ++k, ++arg) {
            const auto field = static_cast<std::size_t>(k);
            seekable = bound(field, argv[arg], false, true) && bound(field, argv[arg], true, true);
        }
        bool lowIncl = true, highIncl = true;
        if (seekable && lowKind != kNone) {
            lowIncl = lowKind == kInclusive;
            seekable = bound(static_cast<std::size_t>(eqCount), argv[arg++], false, lowIncl);
        }
        if (seekable && highKind != kNone) {
            highIncl = highKind == kInclusive;
            seekable = bound(static_cast<std::size_t>(eqCount), argv[arg++], true, highIncl);
        }
        cur->cursor = seekable ? vt->table->range(low, lowIncl, high, highIncl) : vt->table->scan();
        cur->active = cur->cursor.get();
        cur->eof = !cur->cursor->next();
        return SQLITE_OK;
    } catch (const std::exception& e) {
        return fail(p->pVtab, e);
    }
}

int xNext(sqlite3_vtab_cursor* p) {
    auto* cur = cursorOf(p);
    try {
        cur->eof = !cur->advance();
        vtabOf(p->pVtab)->tellDamage();
        return SQLITE_OK;
    } catch (const std::exception& e) {
        return fail(p->pVtab, e);
    }
}

int xEof(sqlite3_vtab_cursor* p) {
    return cursorOf(p)->eof ? 1 : 0;
}

int xColumn(sqlite3_vtab_cursor* p, sqlite3_context* ctx, int column) {
    auto* cur = cursorOf(p);
    auto* vt = vtabOf(p->pVtab);
    const auto at = static_cast<std::size_t>(column);
    // A column an UPDATE does not assign is not handed to SQLite at all: xUpdate keeps its stored
    // value as it is, so no value makes a round trip through SQLite's doubles and trimmed texts.
    if (sqlite3_vtab_nochange(ctx)) {
        return SQLITE_OK;
    }
    try {
        const Field& field = vt->table->fields()[at];
        std::string_view text;
        if (!cur->hashed && !cur->single && cur->active && cur->active->plainText(at, text)) {
            resultPlainText(ctx, field, text);
        } else {
            resultValue(ctx, field, cur->value(at));
        }
        return SQLITE_OK;
    } catch (const std::exception& e) {
        return fail(p->pVtab, e);
    }
}

int xRowid(sqlite3_vtab_cursor* p, sqlite3_int64* rowid) {
    *rowid = static_cast<sqlite3_int64>(cursorOf(p)->id());
    return SQLITE_OK;
}

void beginWrite(TableVtab* vt) {
    if (!vt->writing) {
        vt->table->begin();
        vt->writing = true;
    }
}

constexpr const char* kAutoIncMessage = "INSERT and UPDATE not supported on autoincrement field";

int xUpdate(sqlite3_vtab* p, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
    auto* vt = vtabOf(p);
    ++vt->writes;
    try {
        beginWrite(vt);
        if (argc == 1) {
            vt->table->remove(static_cast<RecordId>(sqlite3_value_int64(argv[0])));
            return SQLITE_OK;
        }
        const auto& fields = vt->table->fields();
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            Record record;
            record.reserve(fields.size());
            for (std::size_t i = 0; i < fields.size(); ++i) {
                record.push_back(storedValue(fields[i], argv[2 + i]));
                if (fields[i].type == FieldType::AutoInc && !isBlank(record.back())) {
                    throw EngineError(kAutoIncMessage);
                }
            }
            *rowid = static_cast<sqlite3_int64>(vt->table->insert(record));
            return SQLITE_OK;
        }
        const auto id = static_cast<RecordId>(sqlite3_value_int64(argv[0]));
        if (sqlite3_value_int64(argv[1]) != sqlite3_value_int64(argv[0])) {
            throw EngineError("The record id of a table file cannot be changed");
        }
        Record record = vt->table->read(id);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            sqlite3_value* v = argv[2 + i];
            if (sqlite3_value_nochange(v)) {
                continue;
            }
            Value value = storedValue(fields[i], v);
            if (fields[i].type == FieldType::AutoInc) {
                if (value != record[i]) {
                    throw EngineError(kAutoIncMessage);
                }
                continue;
            }
            record[i] = std::move(value);
        }
        vt->table->update(id, record);
        return SQLITE_OK;
    } catch (const KeyViolation& e) {
        return fail(p, e, SQLITE_CONSTRAINT);
    } catch (const std::exception& e) {
        return fail(p, e);
    }
}

// SQLite begins every table a statement writes before the statement reads anything: taking the
// write lock here makes the rows the statement reads the ones its changes apply to.
int xBegin(sqlite3_vtab* p) {
    try {
        beginWrite(vtabOf(p));
        return SQLITE_OK;
    } catch (const std::exception& e) {
        return fail(p, e);
    }
}
// SQLite ignores what xCommit returns but not xSync: the commit is made here, so that a commit
// that fails (a disk full, readers of another process that do not let go) fails the statement.
int xSync(sqlite3_vtab* p) {
    auto* vt = vtabOf(p);
    if (!vt->writing) {
        return SQLITE_OK;
    }
    vt->writing = false;
    try {
        vt->table->commit();
        vt->tellNotices();
        return SQLITE_OK;
    } catch (const std::exception& e) {
        vt->tellNotices();
        return fail(p, e);
    }
}

int xCommit(sqlite3_vtab* p) {
    return xSync(p);  // committed by xSync already, unless SQLite skipped it
}

int xRollback(sqlite3_vtab* p) {
    auto* vt = vtabOf(p);
    if (!vt->writing) {
        return SQLITE_OK;
    }
    vt->writing = false;
    try {
        vt->table->rollback();
        vt->tellNotices();
        return SQLITE_OK;
    } catch (const std::exception& e) {
        return fail(p, e);
    }
}

int xRename(sqlite3_vtab*, const char*) {
    return SQLITE_OK;
}

sqlite3_module makeModule() {
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = xConnect;
    m.xConnect = xConnect;
    m.xBestIndex = xBestIndex;
    m.xDisconnect = xDisconnect;
    m.xDestroy = xDisconnect;
    m.xOpen = xOpen;
    m.xClose = xClose;
    m.xFilter = xFilter;
    m.xNext = xNext;
    m.xEof = xEof;
    m.xColumn = xColumn;
    m.xRowid = xRowid;
    m.xUpdate = xUpdate;
    m.xBegin = xBegin;
    m.xSync = xSync;
    m.xCommit = xCommit;
    m.xRollback = xRollback;
    m.xRename = xRename;
    return m;
}

const sqlite3_module kModule = makeModule();

}  // namespace

void registerTableModule(sqlite3* db) {
    registerTableModule(db, nullptr);
}

void registerTableModule(sqlite3* db, TableModuleObserver* observer) {
    sqlite3_create_module_v2(db, kTableModuleName, &kModule, observer, nullptr);
}

}  // namespace orn::db
