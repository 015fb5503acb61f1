// SQL over table files through the virtual-table module, without the dialect translator.
#include <gtest/gtest.h>

#include <fstream>

#include "dataset_test_support.h"
#include "dbengine/vtab/iso_text.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {
namespace {

std::string text(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare(sql);
    if (!stmt->step()) {
        return "<no row>";
    }
    const auto* p = sqlite3_column_text(stmt->handle(), 0);
    return p ? reinterpret_cast<const char*>(p) : "<null>";
}

std::int64_t number(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare(sql);
    return stmt->step() ? sqlite3_column_int64(stmt->handle(), 0) : -1;
}

std::string plan(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare("EXPLAIN QUERY PLAN " + sql);
    std::string out;
    while (stmt->step()) {
        out += reinterpret_cast<const char*>(sqlite3_column_text(stmt->handle(), 3));
        out += '\n';
    }
    return out;
}

class TableModule : public ::testing::Test {
  protected:
    void SetUp() override { ORN_REQUIRE_FORMAT(file = makeKeyedTable(dir.path(), "Items", 500)); }
    TempDir dir;
    std::filesystem::path file;
};

TEST_F(TableModule, ValuesArriveInTheirSqlForms) {
    TableCreate layout;
    layout.fields = {makeField("A", FieldType::Alpha, 10), makeField("D", FieldType::Date),
                     makeField("T", FieldType::Time),      makeField("TS", FieldType::Timestamp),
                     makeField("L", FieldType::Logical),   makeField("B", FieldType::Bcd, 0, 2),
                     makeField("M", FieldType::Memo, 20),  makeField("N", FieldType::Number)};
    {
        auto t = Table::create(dir.path() / "kinds.db", TableFormat::Paradox, layout);
        t->insert({std::string("ab  "), *parseIsoDate("2026-01-31"),
                   TimeOfDay{(13 * 60 + 5) * 60000}, *parseIsoTimestamp("1999-12-31 23:59:58"),
                   true, Decimal{"12.50"},
                   std::string("memo text longer than the leader of the field"), Value{}});
    }
    SqlSession s(dir.path());
    auto stmt = s.prepare("SELECT A, D, T, TS, L, B, M, N, A || '|' FROM kinds");
    ASSERT_TRUE(stmt->step());
    auto col = [&](int c) {
        const auto* p = sqlite3_column_text(stmt->handle(), c);
        return p ? std::string(reinterpret_cast<const char*>(p)) : std::string("<null>");
    };
    EXPECT_EQ(col(0), "ab");
    EXPECT_EQ(col(1), "2026-01-31");
    EXPECT_EQ(col(2), "13:05:00");
    EXPECT_EQ(col(3), "1999-12-31 23:59:58");
    EXPECT_EQ(sqlite3_column_type(stmt->handle(), 4), SQLITE_INTEGER);
    EXPECT_EQ(col(4), "1");
    EXPECT_DOUBLE_EQ(sqlite3_column_double(stmt->handle(), 5), 12.5);
    EXPECT_EQ(col(6), "memo text longer than the leader of the field");
    EXPECT_EQ(col(7), "<null>");
    EXPECT_EQ(col(8), "ab|");
    EXPECT_EQ(number(s, "SELECT count(*) FROM kinds WHERE D > '2026-01-01' AND L = 1"), 1);
}

// Texts reach SQLite without the blanks that pad them, whether or not the field is full, and
// read the same through every function that looks at them.
TEST_F(TableModule, PaddedAndFullTextsReadTheSameEverywhere) {
    TableCreate layout;
    layout.fields = {makeField("A", FieldType::Alpha, 4)};
    {
        auto t = Table::create(dir.path() / "texts.dbf", TableFormat::DBase, layout);
        t->insert({std::string("ab")});
        t->insert({std::string("abcd")});
    }
    SqlSession s(dir.path());
    EXPECT_EQ(text(s, "SELECT group_concat(A || '|' || upper(A), ',') FROM \"texts.dbf\""),
              "ab|AB,abcd|ABCD");
    EXPECT_EQ(number(s, "SELECT count(*) FROM \"texts.dbf\" WHERE A LIKE 'ab' OR A LIKE '%cd'"), 2);
}

// Plain ASCII texts go to SQLite straight from the record; the rest through their values. Both
// ways give the same texts: blanks after them dropped, nothing stored read as NULL.
TEST_F(TableModule, TextsFromTheRecordEqualTextsFromValues) {
    TableCreate layout;
    layout.fields = {makeField("N", FieldType::Short), makeField("A", FieldType::Alpha, 8)};
    {
        auto t = Table::create(dir.path() / "plain.db", TableFormat::Paradox, layout);
        int n = 0;
        for (const char* a : {"plain", "trail  ", "", "   ", "\xC3\x84rger", "full8chr"}) {
            t->insert({std::int64_t{n++}, std::string(a)});
        }
    }
    SqlSession s(dir.path());
    EXPECT_EQ(text(s,
                   "SELECT group_concat(coalesce(A, '<null>') || '|', '') FROM "
                   "(SELECT A FROM \"plain.db\" ORDER BY N)"),
              "plain|trail|<null>||\xC3\x84rger|full8chr|");
    EXPECT_EQ(number(s, "SELECT count(*) FROM \"plain.db\" WHERE A LIKE '%r%' AND length(A) > 4"),
              3);
}

TEST_F(TableModule, KeyConstraintsSeekAndStayCorrect) {
    SqlSession s(dir.path());
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id BETWEEN 100 AND 199"), 100);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id > 490"), 10);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id < 3"), 2);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id <= 3 AND Id >= 3"), 1);
    EXPECT_EQ(text(s, "SELECT Name FROM items WHERE Id = 250"), "name250");
    // values that cannot seek fall back to a scan, with SQLite's own comparison
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id = 2.5"), 0);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id >= 499.5"), 1);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id = '7'"), 1);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id = NULL"), 0);
    // whole REALs seek like the integers they equal
    EXPECT_EQ(number(s, "SELECT Id FROM items WHERE Id = 7.0"), 7);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id > 497.0"), 3);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id BETWEEN 10.0 AND 12.0"), 3);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id = 1e300"), 0);
    EXPECT_NE(plan(s, "SELECT * FROM items WHERE Id = 5").find("INDEX 1"), std::string::npos);
    // records come in key order: no sorting step for ORDER BY the key
    EXPECT_EQ(plan(s, "SELECT * FROM items ORDER BY Id").find("TEMP B-TREE"), std::string::npos);
    EXPECT_NE(plan(s, "SELECT * FROM items ORDER BY Id DESC").find("TEMP B-TREE"),
              std::string::npos);
    EXPECT_EQ(number(s, "SELECT Id FROM items ORDER BY Id DESC LIMIT 1"), 500);
}

TEST_F(TableModule, KeyJoinsFindEveryMatchWhateverTheProbeOrder) {
    // probes in file order: ascending with gaps and repeats, keys past the end, a blank, then
    // going back down
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long)};
    {
        auto t = Table::create(dir.path() / "probes.db", TableFormat::Paradox, layout);
        t->begin();
        for (std::int64_t k : {1, 2, 2, 3, 40, 41, 200, 499, 500, 501, 9000}) {
            t->insert({k});
        }
        t->insert({Value{}});
        for (std::int64_t k : {450, 7, 6}) {
            t->insert({k});
        }
        t->commit();
    }
    SqlSession s(dir.path());
    // CROSS JOIN keeps the probe table outside, so the probes come in its file order
    const char* join = "FROM probes p CROSS JOIN items i ON i.Id = p.K";
    EXPECT_NE(plan(s, std::string("SELECT * ") + join).find("INDEX 1"), std::string::npos);
    auto stmt = s.prepare(std::string("SELECT i.Id ") + join);
    std::string ids;
    while (stmt->step()) {
        ids += std::to_string(sqlite3_column_int64(stmt->handle(), 0)) + ' ';
    }
    EXPECT_EQ(ids, "1 2 2 3 40 41 200 499 500 450 7 6 ");
}

// A small keyed table probed by a join is read once into a hash instead of sought per probe;
// the rows found must be those a plain scan finds, whatever number the probe is.
TEST_F(TableModule, SmallKeyedTablesJoinedThroughAHashFindWhatAScanFinds) {
    {
        TableCreate layout;
        layout.fields = {makeField("Grp", FieldType::Long),
                         makeField("Label", FieldType::Alpha, 8)};
        layout.keyFields = 1;
        auto t = Table::create(dir.path() / "groups.db", TableFormat::Paradox, layout);
        t->begin();
        for (std::int64_t g = 0; g < 40; g += 2)
            t->insert({g, "g" + std::to_string(g)});
        t->commit();
    }
    SqlSession s(dir.path());
    s.prepare("CREATE TEMP TABLE probes(v)")->step();
    for (const char* v : {"4", "4.0", "4.5", "-0.0", "0", "NULL", "39", "38", "1e300", "6", "6",
                          "-2", "9223372036854775807"}) {
        s.prepare(std::string("INSERT INTO probes VALUES (") + v + ")")->step();
    }
    auto rows = [&](const std::string& on) {
        auto stmt = s.prepare("SELECT quote(p.v), g.Label FROM probes p JOIN groups g ON " + on +
                              " ORDER BY 1, 2");
        std::string out;
        while (stmt->step()) {
            out += reinterpret_cast<const char*>(sqlite3_column_text(stmt->handle(), 0));
            out += '=';
            out += reinterpret_cast<const char*>(sqlite3_column_text(stmt->handle(), 1));
            out += ' ';
        }
        return out;
    };
    const std::string byScan = rows("g.Grp + 0 = p.v");
    EXPECT_NE(byScan, "");
    EXPECT_EQ(rows("g.Grp = p.v"), byScan);
    EXPECT_EQ(rows("p.v = g.Grp"), byScan);
    const std::string joinPlan = plan(s, "SELECT * FROM probes p JOIN groups g ON g.Grp = p.v");
    EXPECT_NE(joinPlan.find("INDEX 262144:"), std::string::npos) << joinPlan;  // the hash
    // one constant probe is still a seek of the key
    EXPECT_NE(plan(s, "SELECT * FROM groups WHERE Grp = 6").find("INDEX 1"), std::string::npos);
}

TEST_F(TableModule, KeyJoinsFromFloatColumnsMatchWholeValuesOnly) {
    TableCreate layout;
    layout.fields = {makeField("F", FieldType::Number)};
    {
        auto t = Table::create(dir.path() / "floats.db", TableFormat::Paradox, layout);
        t->begin();
        for (double f : {1.0, 2.5, 3.0, -0.0, 500.0, 501.0, 1e300, 4.0}) {
            t->insert({f});
        }
        t->commit();
    }
    SqlSession s(dir.path());
    auto stmt = s.prepare("SELECT i.Id FROM floats p CROSS JOIN items i ON i.Id = p.F");
    std::string ids;
    while (stmt->step()) {
        ids += std::to_string(sqlite3_column_int64(stmt->handle(), 0)) + ' ';
    }
    EXPECT_EQ(ids, "1 3 500 4 ");
}

// Equalities on an integer key are answered by the module alone; every value SQLite could
// compare with it must find what SQLite's own comparison finds on a native table.
TEST_F(TableModule, IntegerKeyEqualitiesMatchNativeSqlite) {
    SqlSession s(dir.path());
    s.execute("CREATE TEMP TABLE native(Id INTEGER, Name TEXT, Amount REAL)");
    s.execute("INSERT INTO native SELECT * FROM items");
    s.execute("CREATE TEMP TABLE probe(T TEXT, F REAL, N NUMERIC, B BLOB, X)");
    s.execute(
        "INSERT INTO probe VALUES ('7', 7.0, '7', x'37', '7'), (' 8 ', 8.5, 9, 9, 9.0),"
        "('10.0', -0.0, '1e1', NULL, 'ten'), ('0x0B', 1e300, 12.0, '12', x'3132'),"
        "('499abc', 500.0, 'n', '13', 13), ('99999999999', -5.0, 3000000000, 1.0, 1)");
    for (const char* where :
         {"Id = 7", "Id = '7'", "Id = ' 7 '", "Id = '7.0'", "Id = 7.0", "Id = 7.5", "Id = '7abc'",
          "Id = x'37'", "Id = NULL", "Id = 1e300", "Id = -0.0", "Id = 99999999999",
          "Id = -2147483648", "Id = 9223372036854775807", "Id = '1e2'", "Id = CAST('9' AS TEXT)",
          "Id IN ('3', 4.0, 5.5, '6.0', NULL)", "Id = 7 AND Name = 'name7'",
          "Id = (SELECT max(Id) FROM native)"}) {
        const std::string tail = std::string(" WHERE ") + where;
        EXPECT_EQ(number(s, "SELECT count(*) FROM items" + tail),
                  number(s, "SELECT count(*) FROM native" + tail))
            << where;
    }
    for (const char* column : {"T", "F", "N", "B", "X"}) {
        const std::string on = std::string(" ON i.Id = p.") + column;
        EXPECT_EQ(text(s, "SELECT group_concat(i.Id) FROM probe p CROSS JOIN items i" + on),
                  text(s, "SELECT group_concat(i.Id) FROM probe p CROSS JOIN native i" + on))
            << column;
    }
}

// A join on a field that is no key reads the small table once; whatever the probe's kind, it
// finds what SQLite's own comparison finds on a native copy.
TEST_F(TableModule, EqualitiesOnOtherFieldsOfSmallTablesMatchNativeSqlite) {
    TableCreate layout;
    layout.fields = {makeField("G", FieldType::Number, 6, 1), makeField("L", FieldType::Alpha, 8),
                     makeField("D", FieldType::Date), makeField("B", FieldType::Logical)};
    for (const auto format : {TableFormat::DBase, TableFormat::Paradox}) {
        const bool dbf = format == TableFormat::DBase;
        SCOPED_TRACE(dbf ? "dBASE" : "Paradox");
        const std::string small = dbf ? "\"small.dbf\"" : "\"small.db\"";
        {
            auto t = Table::create(dir.path() / (dbf ? "small.dbf" : "small.db"), format, layout);
            t->begin();
            for (int i = 0; i < 40; ++i) {
                t->insert({i % 9 == 0 ? Value{} : Value(double(i % 7) + (i % 5 == 0 ? 0.5 : 0)),
                           i % 6 == 0 ? Value{} : Value("g" + std::to_string(i % 4)),
                           *parseIsoDate(i % 2 ? "2026-01-31" : "1999-12-01"), i % 3 == 0});
            }
            t->commit();
        }
        SqlSession s(dir.path());
        s.execute("CREATE TEMP TABLE native AS SELECT * FROM " + small);
        s.execute("CREATE TEMP TABLE probe(T TEXT, F REAL, N NUMERIC, X)");
        s.execute(
            "INSERT INTO probe VALUES ('3', 3.0, '3', 'g1'), ('g2 ', 2.5, 5.5, 'g2'),"
            "(NULL, -0.0, '0', 0), ('g3', 6, 1e300, x'6733'), ('1999-12-01', 1.0, 'g0', 1),"
            "('0.5', 0.5, 4, '2026-01-31'), ('g0', 4.0, NULL, 4.0)");
        const std::string cross = " FROM probe p CROSS JOIN " + small + " t";
        EXPECT_NE(plan(s, "SELECT *" + cross + " ON t.G = p.F").find("INDEX 262144"),
                  std::string::npos)
            << plan(s, "SELECT *" + cross + " ON t.G = p.F");
        for (const char* field : {"G", "L", "D", "B"}) {
            for (const char* column : {"T", "F", "N", "X"}) {
                const std::string on = std::string(" ON t.") + field + " = p." + column;
                const std::string what = "SELECT group_concat(t.rowid IS NOT NULL || t.G || t.L)";
                EXPECT_EQ(text(s, what + cross + on),
                          text(s, what + " FROM probe p CROSS JOIN native t" + on))
                    << field << " = " << column;
            }
        }
    }
}

// LIKE on an alpha key: the pattern's plain start reads a key range; every pattern still finds
// exactly what a scan of a native copy finds.
TEST_F(TableModule, LikeOnAnAlphaKeyReadsARangeAndFindsWhatAScanFinds) {
    TableCreate layout;
    layout.fields = {makeField("Name", FieldType::Alpha, 8), makeField("N", FieldType::Long)};
    layout.keyFields = 1;
    {
        auto t = Table::create(dir.path() / "names.db", TableFormat::Paradox, layout);
        t->begin();
        std::int64_t n = 0;
        for (const char* name : {"name", "name7", "name70", "name7~", "name8", "Name7", "nam",
                                 "name6~", "name7 x", "n", "o", "\x7f", "~", "Müller", "M"}) {
            t->insert({std::string(name), ++n});
        }
        for (int i = 0; i < 300; ++i) {
            t->insert({"k" + std::to_string(i), ++n});
        }
        t->commit();
    }
    SqlSession s(dir.path());
    s.execute("CREATE TEMP TABLE native AS SELECT * FROM names");
    EXPECT_NE(plan(s, "SELECT * FROM names WHERE Name LIKE 'k1%'").find("INDEX 524288"),
              std::string::npos);
    for (const char* pattern :
         {"name7%", "name7", "name%",   "name7_", "Name7%", "n%",      "%7",
          "_ame7%", "k1%",   "k29%",    "k299%",  "k2999%", "name7~%", "~%",
          "M%",     "Mü%",   "name7 %", "",       "%",      "nam%e%",  "toolongprefix%"}) {
        const std::string where = std::string(" WHERE Name LIKE '") + pattern + "'";
        EXPECT_EQ(text(s, "SELECT group_concat(N) FROM names" + where),
                  text(s, "SELECT group_concat(N) FROM native" + where))
            << pattern;
    }
    // A pattern that is no text, and one from another table, row by row.
    EXPECT_EQ(number(s, "SELECT count(*) FROM names WHERE Name LIKE 7"), 0);
    EXPECT_EQ(number(s, "SELECT count(*) FROM native p, names n WHERE n.Name LIKE p.Name || '%'"),
              number(s, "SELECT count(*) FROM native p, native n WHERE n.Name LIKE p.Name || '%'"));
}

TEST_F(TableModule, WritesReachTheFile) {
    {
        SqlSession s(dir.path());
        s.execute("INSERT INTO items VALUES (1000, 'new', 1.25)");
        s.execute("UPDATE items SET Name = 'changed' WHERE Id = 2");
        s.execute("DELETE FROM items WHERE Id > 3 AND Id < 1000");
    }
    const auto rows = readAll(file);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(std::get<std::string>(rows[1][1]), "changed");
    EXPECT_EQ(std::get<std::int64_t>(rows[3][0]), 1000);
    EXPECT_DOUBLE_EQ(std::get<double>(rows[3][2]), 1.25);
}

TEST_F(TableModule, KeyViolationAndStatementAtomicity) {
    SqlSession s(dir.path());
    try {
        s.execute("INSERT INTO items VALUES (5, 'dup', 0)");
        FAIL() << "no error";
    } catch (const KeyViolation& e) {
        EXPECT_STREQ(e.what(), "Key violation.");
    }
    // the second row collides: the first must not stay changed either
    EXPECT_THROW(s.execute("UPDATE items SET Id = 9 WHERE Id IN (7, 8)"), KeyViolation);
    EXPECT_THROW(s.execute("INSERT INTO items SELECT Id + 1000, Name, Amount FROM items "
                           "UNION ALL SELECT 1, 'x', 0"),
                 KeyViolation);
    EXPECT_THROW(s.execute("UPDATE items SET Amount = Amount + 1, Id = 500 WHERE Id >= 499"),
                 KeyViolation);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items"), 500);
    EXPECT_EQ(number(s, "SELECT count(*) FROM items WHERE Id IN (7, 8)"), 2);
    EXPECT_EQ(text(s, "SELECT Amount FROM items WHERE Id = 499"), "748.5");
    EXPECT_EQ(readAll(file).size(), 500u);
}

TEST_F(TableModule, TablesAreAttachedOnlyWhenNamed) {
    // a malformed table in the directory does not disturb statements that do not name it
    std::ofstream(dir.path() / "broken.db") << "not a table";
    SqlSession s(dir.path());
    EXPECT_EQ(number(s, "SELECT count(*) FROM ITEMS"), 500);
    EXPECT_EQ(number(s, "SELECT count(*) FROM \"items.DB\""), 500);
    EXPECT_THROW(s.execute("SELECT * FROM broken"), EngineError);
    try {
        s.execute("SELECT * FROM nowhere");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("nowhere"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find(dir.path().string()), std::string::npos);
    }
}

TEST_F(TableModule, AutoincrementIsTheEnginesToAssign) {
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::AutoInc), makeField("Name", FieldType::Alpha, 10)};
    layout.keyFields = 1;
    Table::create(dir.path() / "auto.db", TableFormat::Paradox, layout);
    SqlSession s(dir.path());
    s.execute("INSERT INTO auto (Name) VALUES ('a')");
    s.execute("INSERT INTO auto (Name) VALUES ('b')");
    EXPECT_EQ(number(s, "SELECT max(Id) - min(Id) FROM auto"), 1);
    EXPECT_THROW(s.execute("INSERT INTO auto VALUES (77, 'c')"), EngineError);
    EXPECT_THROW(s.execute("UPDATE auto SET Id = 99"), EngineError);
    EXPECT_EQ(number(s, "SELECT count(*) FROM auto"), 2);
}

}  // namespace
}  // namespace orn::db

namespace orn::db {
namespace {

// Every comparison with a constant, inside or far outside what a key field can hold, finds what
// SQLite finds on a native copy of the table, and a write it selects nothing for changes nothing.
TEST(TableModuleRanges, ConstantsOutsideAFieldsRangeCompareLikeNativeSqlite) {
    struct Kind {
        const char* name;
        Field field;
        std::vector<Value> values;
        std::vector<std::string> constants;
    };
    const std::vector<std::string> numbers = {
        "-999999", "0",      "1",          "-32768",     "32767",
        "70000",   "-70000", "2147483648", "9999999999", "-9999999999",
        "1.5",     "-0.5",   "1e400",      "-1e400",     "9223372036854775807",
        "'3'",     "'x'"};
    const std::vector<Kind> kinds = {
        {"short",
         makeField("K", FieldType::Short),
         {std::int64_t{-5}, std::int64_t{1}, std::int64_t{3}},
         numbers},
        {"long",
         makeField("K", FieldType::Long),
         {std::int64_t{-5}, std::int64_t{1}, std::int64_t{3}},
         numbers},
        {"autoinc", makeField("K", FieldType::AutoInc), {Value{}, Value{}, Value{}}, numbers},
        {"number", makeField("K", FieldType::Number), {-5.5, 1.0, 3.25}, numbers},
        {"date",
         makeField("K", FieldType::Date),
         {*parseIsoDate("1999-12-31"), *parseIsoDate("2020-01-02"), *parseIsoDate("2020-01-03")},
         {"'0001-01-01'", "'2020-01-02'", "'9999-12-31'", "'2020-1-2'", "'20200-01-01'", "'x'", "0",
          "-999999", "1e400"}},
    };
    for (const Kind& kind : kinds) {
        for (const bool keyed : {true, false}) {
            TempDir dir;
            TableCreate layout;
            layout.fields = {kind.field, makeField("C", FieldType::Alpha, 5)};
            layout.keyFields = keyed ? 1 : 0;
            {
                auto table = Table::create(dir.path() / "t.db", TableFormat::Paradox, layout);
                for (const Value& v : kind.values) {
                    table->insert({v, std::string("a")});
                }
            }
            SqlSession s(dir.path());
            s.execute("CREATE TEMP TABLE native AS SELECT * FROM t");
            for (const std::string& c : kind.constants) {
                for (const std::string& where :
                     {"K = " + c, "K <> " + c, "K < " + c, "K <= " + c, "K > " + c, "K >= " + c,
                      c + " < K", "K BETWEEN " + c + " AND 3", "K BETWEEN -3 AND " + c,
                      "K IN (" + c + ", 1)", "K NOT IN (" + c + ")"}) {
                    const std::string what =
                        std::string(kind.name) + (keyed ? " key: " : ": ") + where;
                    std::int64_t expected = -1, got = -1;
                    try {
                        expected = number(s, "SELECT count(*) FROM native WHERE " + where);
                        got = number(s, "SELECT count(*) FROM t WHERE " + where);
                    } catch (const std::exception& e) {
                        ADD_FAILURE() << what << ": " << e.what();
                        continue;
                    }
                    EXPECT_EQ(got, expected) << what;
                }
                // Writes select their rows the same way (each write is a file commit: a few).
                if (c != "-999999" && c != "9999999999" && c != "1e400" && c != "'0001-01-01'") {
                    continue;
                }
                const std::string where = "K = " + c + " OR K < " + c;
                const std::int64_t expected =
                    number(s, "SELECT count(*) FROM native WHERE " + where);
                try {
                    s.execute("UPDATE t SET C = 'b' WHERE " + where);
                } catch (const std::exception& e) {
                    ADD_FAILURE() << kind.name << ": UPDATE WHERE " << where << ": " << e.what();
                    continue;
                }
                EXPECT_EQ(number(s, "SELECT count(*) FROM t WHERE C = 'b'"), expected) << where;
                if (expected > 0) {
                    s.execute("UPDATE t SET C = 'a'");
                }
            }
        }
    }
}

}  // namespace
}  // namespace orn::db
