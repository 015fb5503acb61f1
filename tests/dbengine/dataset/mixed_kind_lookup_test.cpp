// A field compared with a value of another kind: every path that finds records without reading
// the whole table (a key seek, a key range, the walk of a join, the hash of a small table, a
// secondary index) must give exactly the rows SQLite's own comparison gives on a native copy of
// the table, whose columns have the same affinities. Text that reads as a number is that number
// to a numeric field; other text, blobs and NULL equal no number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/vtab/iso_text.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {
namespace {

// The rows of a query, one line each, in the order the query gives them.
std::string rows(SqlSession& s, const std::string& sql,
                 const std::vector<std::string>& texts = {}) {
    auto stmt = s.prepare(sql);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        sqlite3_bind_text(stmt->handle(), static_cast<int>(i + 1), texts[i].c_str(), -1,
                          SQLITE_TRANSIENT);
    }
    std::string out;
    const int columns = sqlite3_column_count(stmt->handle());
    while (stmt->step()) {
        for (int c = 0; c < columns; ++c) {
            const auto* p = sqlite3_column_text(stmt->handle(), c);
            out += p ? reinterpret_cast<const char*>(p) : "<null>";
            out += c + 1 < columns ? "," : "\n";
        }
    }
    return out;
}

// The numeric probes: SQL expressions, and the texts among them for binding as parameters.
const std::vector<std::string> kNumberProbes = {
    "4",     "4.0",      "4.5",  "-0.0",  "'4'",           "' 4'",  "'4 '",    "' 4 '", "'4.0'",
    "'4e0'", "'0x4'",    "''",   "'abc'", "'4abc'",        "x'34'", "NULL",    "'10'",  "'1e1'",
    "'-3'",  "' -3.0 '", "'+7'", "'07'",  "'99999999999'", "1e300", "'1e300'", "'12.5'"};
const std::vector<std::string> kDateProbes = {
    "'2020-01-04'", "'2020-1-4'", "' 2020-01-04'", "'2020-01-04 '", "'2020-01-10'", "''",
    "'abc'",        "4",          "20200104",      "x'34'",         "NULL",         "'4'"};

std::vector<std::string> texts(const std::vector<std::string>& probes) {
    std::vector<std::string> out;
    for (const auto& p : probes) {
        if (p.size() >= 2 && p.front() == '\'') {
            out.push_back(p.substr(1, p.size() - 2));
        }
    }
    return out;
}

// Comparisons of `field` with `probe`, alone, as bounds of a range and in an IN list.
std::vector<std::string> comparisons(const std::string& field, const std::string& probe,
                                     const std::string& other) {
    std::vector<std::string> out;
    for (const char* op : {" = ", " < ", " <= ", " > ", " >= "}) {
        out.push_back(field + op + probe);
    }
    out.push_back(probe + " = " + field);
    out.push_back(field + " BETWEEN " + probe + " AND " + other);
    out.push_back(field + " > " + other + " AND " + field + " <= " + probe);
    out.push_back(field + " IN (" + probe + ", " + other + ")");
    return out;
}

struct KeyKind {
    const char* name;
    FieldType type;
    bool date;
};

// A keyed Paradox table (or a dBASE table without keys) "t" of `count` rows: K of the kind
// named, S (Long, a secondary index), N (Number, a secondary index), T (Alpha) holding texts
// that look like numbers and texts that do not. Row i has S = i.
void makeTable(const std::filesystem::path& file, TableFormat format, const KeyKind& kind,
               int count) {
    const bool paradox = format == TableFormat::Paradox;
    TableCreate layout;
    layout.fields = {
        paradox || kind.date ? makeField("K", kind.type) : makeField("K", FieldType::Number, 10, 1),
        makeField("S", FieldType::Long), makeField("N", FieldType::Number),
        makeField("T", FieldType::Alpha, 8)};
    if (!paradox) {
        layout.fields[1] = makeField("S", FieldType::Number, 8, 0);
        layout.fields[2] = makeField("N", FieldType::Number, 10, 2);
    }
    layout.keyFields = paradox ? 1 : 0;
    {
        auto t = Table::create(file, format, layout);
        t->begin();
        const char* textForms[] = {"4", " 4", "4.0", "4e0", "0x4", "", "abc", "-3", "10", "07"};
        for (int i = 0; i < count; ++i) {
            Record r(4);
            // keys -6, -3, 0, 3, ... with 4 and 10 among them
            const std::int64_t k = i == 1 ? 4 : (i == 2 ? 10 : 3 * i - 6);
            if (kind.date) {
                r[0] = Date{parseIsoDate("2020-01-01")->day + static_cast<std::int32_t>(k + 6)};
            } else if (kind.type == FieldType::AutoInc) {
                r[0] = Value{};
            } else if (kind.type == FieldType::Short || kind.type == FieldType::Long) {
                r[0] = k;
            } else {
                r[0] = static_cast<double>(k) + (i % 5 == 4 ? 0.5 : 0);
            }
            r[1] = paradox ? Value{std::int64_t{i}} : Value{static_cast<double>(i)};
            r[2] = i % 7 == 6 ? Value{} : Value{static_cast<double>((i % 12) - 4)};
            r[3] = std::string(textForms[i % 10]);
            t->insert(r);
        }
        t->commit();
    }
    if (paradox) {
        createSecondaryIndex(file, "ByS", {"S"}, false, {false});
        createSecondaryIndex(file, "ByN", {"N"}, false, {false});
    }
}

void expectLikeNative(SqlSession& s, const std::string& table, const std::string& what,
                      const std::vector<std::string>& wheres) {
    for (const auto& where : wheres) {
        const std::string tail = " WHERE " + where + " ORDER BY S";
        EXPECT_EQ(rows(s, "SELECT CAST(S AS INTEGER) FROM " + table + tail),
                  rows(s, "SELECT CAST(S AS INTEGER) FROM native" + tail))
            << what << ": " << where;
    }
}

void checkTable(SqlSession& s, const std::string& table, const KeyKind& kind, bool paradox) {
    s.execute("DROP TABLE IF EXISTS temp.native");
    s.execute("CREATE TEMP TABLE native AS SELECT * FROM " + table);
    const auto& keyProbes = kind.date ? kDateProbes : kNumberProbes;
    const std::string keyOther = kind.date ? "'2020-01-08'" : "20";
    // Constants
    for (const auto& probe : keyProbes) {
        expectLikeNative(s, table, kind.name, comparisons("K", probe, keyOther));
    }
    for (const auto& probe : kNumberProbes) {
        expectLikeNative(s, table, kind.name, comparisons("S", probe, "20"));
        expectLikeNative(s, table, kind.name, comparisons("N", probe, "20"));
    }
    // Parameters bound as text
    for (const auto& text : texts(keyProbes)) {
        for (const char* where : {"K = ?1", "K >= ?1", "K < ?1", "K IN (?1, 1)"}) {
            const std::string tail = std::string(" WHERE ") + where + " ORDER BY S";
            EXPECT_EQ(rows(s, "SELECT CAST(S AS INTEGER) FROM " + table + tail, {text}),
                      rows(s, "SELECT CAST(S AS INTEGER) FROM native" + tail, {text}))
                << kind.name << ": " << where << " with '" << text << "'";
        }
    }
    // Joins: the table probed by every row of a table of probes, from columns of each affinity;
    // CROSS JOIN keeps the probes outside.
    s.execute("DROP TABLE IF EXISTS temp.probes");
    s.execute(
        "CREATE TEMP TABLE probes(P INTEGER PRIMARY KEY, Tx TEXT, Nu NUMERIC, Re REAL, "
        "I INTEGER, X)");
    int n = 0;
    for (const auto& probe : keyProbes) {
        s.execute("INSERT INTO probes VALUES (" + std::to_string(++n) + ", " + probe + ", " +
                  probe + ", " + probe + ", " + probe + ", " + probe + ")");
    }
    for (const char* column : {"Tx", "Nu", "Re", "I", "X"}) {
        for (const char* field : {"K", "S", "N", "T"}) {
            for (const char* op : {" = ", " > "}) {
                if (*field == 'T' && op[1] != '=') {
                    continue;  // text is never sought by a range of numbers
                }
                const std::string on = std::string(" ON t.") + field + op + "p." + column;
                const std::string what =
                    "SELECT p.P, CAST(t.S AS INTEGER) FROM probes p CROSS JOIN ";
                const std::string order = " ORDER BY p.P, t.S";
                EXPECT_EQ(rows(s, what + table + " t" + on + order),
                          rows(s, what + "native t" + on + order))
                    << kind.name << (paradox ? " Paradox" : " dBASE") << ":" << on;
            }
        }
    }
    // The other way round: the table's text field probes a table of numbers.
    s.execute("DROP TABLE IF EXISTS temp.numbers");
    s.execute("CREATE TEMP TABLE numbers(V INTEGER)");
    s.execute("INSERT INTO numbers VALUES (4), (10), (-3), (7), (0)");
    EXPECT_EQ(
        rows(s, "SELECT CAST(t.S AS INTEGER), n.V FROM " + table +
                    " t CROSS JOIN numbers n ON n.V = t.T ORDER BY 1, 2"),
        rows(s,
             "SELECT CAST(t.S AS INTEGER), n.V FROM native t CROSS JOIN numbers n ON n.V = t.T "
             "ORDER BY 1, 2"))
        << kind.name;
}

class MixedKindLookup : public ::testing::TestWithParam<int> {};

// Small tables (40 rows) are joined through a hash of their records, larger ones (260) by seeks.
TEST_P(MixedKindLookup, EveryPathFindsWhatSqliteFindsOnANativeCopy) {
    const int count = GetParam();
    const std::vector<KeyKind> kinds = {{"short", FieldType::Short, false},
                                        {"long", FieldType::Long, false},
                                        {"autoinc", FieldType::AutoInc, false},
                                        {"number", FieldType::Number, false},
                                        {"date", FieldType::Date, true}};
    for (const auto& kind : kinds) {
        TempDir dir;
        ORN_REQUIRE_FORMAT(makeTable(dir.path() / "t.db", TableFormat::Paradox, kind, count));
        SqlSession s(dir.path());
        checkTable(s, "t", kind, true);
    }
    // dBASE: no keys or secondary indexes, but small tables are hashed for joins too.
    for (const auto& kind :
         {KeyKind{"number", FieldType::Number, false}, KeyKind{"date", FieldType::Date, true}}) {
        TempDir dir;
        makeTable(dir.path() / "t.dbf", TableFormat::DBase, kind, count);
        SqlSession s(dir.path());
        checkTable(s, "\"t.dbf\"", kind, false);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, MixedKindLookup, ::testing::Values(40, 260));

std::uint64_t blocksRead() {
    return PosixFile::readCounters().bytes / 4096;
}

// Text that reads as a number seeks like that number: a key range, a secondary index and the
// hash of a small table read what the number would, not the whole table.
TEST(MixedKindLookupCost, NumericTextSeeksLikeItsNumber) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Amount", FieldType::Number),
                     makeField("Name", FieldType::Alpha, 60)};
    layout.keyFields = 1;
    {
        auto t = Table::create(dir.path() / "big.db", TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 20000; ++i) {
            t->insert({std::int64_t{i}, i * 0.5, "n" + std::to_string(i)});
        }
        t->commit();
        auto small = Table::create(dir.path() / "small.db", TableFormat::Paradox, layout);
        small->begin();
        for (int i = 0; i < 200; ++i) {
            small->insert({std::int64_t{i}, i * 0.5, "s" + std::to_string(i)});
        }
        small->commit();
    }
    createSecondaryIndex(dir.path() / "big.db", "ByAmount", {"Amount"}, false, {false});
    ASSERT_GT(std::filesystem::file_size(dir.path() / "big.db"), 300 * 4096u);
    SqlSession s(dir.path());
    ASSERT_EQ(rows(s, "SELECT count(*) FROM big"), "20000\n");

    std::uint64_t before = blocksRead();
    EXPECT_EQ(rows(s, "SELECT count(*) FROM big WHERE Id > ' 19990'"), "9\n");
    EXPECT_LE(blocksRead() - before, 16u);

    before = blocksRead();
    EXPECT_EQ(rows(s, "SELECT Id FROM big WHERE Amount = '4.5e3'"), "9000\n");
    EXPECT_LE(blocksRead() - before, 24u);

    // 50 probes of text read the small table once, not once each.
    s.execute("CREATE TEMP TABLE probes(T TEXT)");
    for (int i = 0; i < 50; ++i) {
        s.execute("INSERT INTO probes VALUES ('" + std::to_string(i * 2) + ".0')");
    }
    before = blocksRead();
    EXPECT_EQ(rows(s, "SELECT count(*) FROM probes p CROSS JOIN small t ON t.Id = p.T"), "50\n");
    EXPECT_EQ(rows(s, "SELECT count(*) FROM probes p CROSS JOIN small t ON t.Amount = p.T"),
              "50\n");
    EXPECT_LE(blocksRead() - before, 30u);
}

}  // namespace
}  // namespace orn::db
