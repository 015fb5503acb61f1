// SQL results that mean what the statement says: positions in live results, values an UPDATE does
// not assign, exact decimals, result column types, three-valued quantified comparisons, literals
// typed by what they meet, and the tables SAVE and CREATE TABLE make.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/decimal_text.h"
#include "dbengine/vtab/table_locations.h"

namespace orn::db {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Every row of a query's result as texts ("" for NULL).
Rows resultOf(Query& q) {
    Rows out;
    for (q.first(); !q.eof(); q.next()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < q.fieldCount(); ++i) {
            row.push_back(q.field(i).asString());
        }
        out.push_back(std::move(row));
    }
    return out;
}

Rows run(const std::filesystem::path& dir, const std::string& sql, bool live) {
    Query q(dir, live);
    q.setSql(sql);
    q.open();
    return resultOf(q);
}

void execute(const std::filesystem::path& dir, const std::string& sql) {
    Query q(dir);
    q.setSql(sql);
    q.execute();
}

std::string failureOf(const std::filesystem::path& dir, const std::string& sql) {
    try {
        execute(dir, sql);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ext(TableFormat f) {
    return f == TableFormat::Paradox ? ".db" : ".dbf";
}

// ---------------------------------------------------------------------------------------------
// Positions in ORDER BY name the user's columns, live or not, with memo and blob fields present.

class Positions : public ::testing::TestWithParam<std::tuple<TableFormat, bool>> {
  protected:
    void SetUp() override {
        const auto [format, live] = GetParam();
        TableCreate layout;
        layout.fields = {
            makeField("Id", FieldType::Long),      makeField("Name", FieldType::Alpha, 10),
            makeField("Lg", FieldType::Number),    makeField("Note", FieldType::Memo, 10),
            makeField("Pic", FieldType::Blob, 10), makeField("D", FieldType::Date)};
        if (format == TableFormat::DBase) {
            layout.fields[0] = makeField("Id", FieldType::Number, 6, 0);
            layout.fields[2] = makeField("Lg", FieldType::Number, 8, 2);
            layout.version = 4;  // binary memo fields
        }
        auto t = Table::create(dir.path() / ("p" + ext(format)), format, layout);
        const char* names[] = {"delta", "alpha", "echo", "charlie", "bravo"};
        const double lg[] = {3.5, 9.25, 1.0, 7.75, 5.0};
        for (int i = 0; i < 5; ++i) {
            t->insert({format == TableFormat::Paradox ? Value{std::int64_t{i + 1}}
                                                      : Value{static_cast<double>(i + 1)},
                       std::string(names[i]), lg[i], std::string("note"),
                       Bytes{1, 2, static_cast<std::uint8_t>(i)}, Date{730000 - i * 40}});
        }
    }
    Rows query(const std::string& sql) { return run(dir.path(), sql, std::get<1>(GetParam())); }
    TempDir dir;
};

std::vector<std::string> column(const Rows& rows, std::size_t c) {
    std::vector<std::string> out;
    for (const auto& r : rows) {
        out.push_back(r.at(c));
    }
    return out;
}

TEST_P(Positions, OrderByPositionSortsByTheNamedColumn) {
    const std::vector<std::string> byLg = {"alpha", "charlie", "bravo", "delta", "echo"};
    EXPECT_EQ(column(query("select Name, Lg from p order by 2 desc"), 0), byLg);
    EXPECT_EQ(column(query("select Name, Lg from p where Id > 0 order by 2 desc, 1"), 0), byLg);
    // SELECT * with memo and blob columns: 3 is Lg, 2 is Name, 6 is D
    EXPECT_EQ(column(query("SELECT * FROM p ORDER BY 3 DESC"), 1), byLg);
    EXPECT_EQ(column(query("SELECT * FROM p ORDER BY 2"), 1),
              (std::vector<std::string>{"alpha", "bravo", "charlie", "delta", "echo"}));
    EXPECT_EQ(column(query("SELECT * FROM p ORDER BY 6"), 1),
              (std::vector<std::string>{"bravo", "charlie", "echo", "alpha", "delta"}));
}

TEST_P(Positions, LiveResultStillEditsTheRightRecord) {
    if (!std::get<1>(GetParam())) {
        GTEST_SKIP() << "edits need a live result";
    }
    Query q(dir.path(), true);
    q.setSql("select Name, Lg from p order by 2");
    q.open();
    ASSERT_TRUE(q.canModify());
    ASSERT_EQ(q.fieldCount(), 2u);
    q.setRecNo(5);  // alpha, the largest Lg
    q.edit();
    q.field(0).setAsString("zulu");
    q.post();
    EXPECT_EQ(q.field(0).asString(), "zulu");
    EXPECT_EQ(column(run(dir.path(), "select Name from p where Id = 2", false), 0),
              std::vector<std::string>{"zulu"});
}

INSTANTIATE_TEST_SUITE_P(BothFormatsLiveAndNot, Positions,
                         ::testing::Combine(::testing::Values(TableFormat::Paradox,
                                                              TableFormat::DBase),
                                            ::testing::Bool()));

// ---------------------------------------------------------------------------------------------
// An UPDATE leaves the columns it does not assign exactly as stored.

TEST(UntouchedColumns, ParadoxKeepsBcdDigitsBlanksAndOddDates) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("X", FieldType::Long),
                     makeField("B", FieldType::Bcd, 32, 12), makeField("S", FieldType::Alpha, 10),
                     makeField("Datum", FieldType::Date)};
    layout.keyFields = 1;
    const auto file = dir.path() / "b2.db";
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->insert({std::int64_t{1}, std::int64_t{1}, Decimal{"12345678901234567890.123456789012"},
                   std::string("pad   "), Date{-365}});  // a day before year 1: no ISO text
    }
    const auto before = readAll(file);
    execute(dir.path(), "UPDATE \"b2.db\" SET X = 2 WHERE K = 1");
    const auto after = readAll(file);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0][1], Value{std::int64_t{2}});
    EXPECT_EQ(after[0][2], before[0][2]);
    EXPECT_EQ(after[0][3], Value{std::string("pad   ")});
    EXPECT_EQ(after[0][4], before[0][4]);
}

TEST(UntouchedColumns, DbaseKeepsEveryDigitOfAWideNumber) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Number, 4, 0),
                     makeField("N", FieldType::Number, 20, 4), makeField("S", FieldType::Alpha, 8)};
    const auto file = dir.path() / "d.dbf";
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->insert({std::int64_t{1}, Decimal{"12345678901234.5678"}, std::string("x")});
    }
    const auto before = fileBytes(file);
    execute(dir.path(), "UPDATE d SET K = 2");
    const auto after = fileBytes(file);
    ASSERT_EQ(before.size(), after.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        differing += before[i] != after[i];
    }
    EXPECT_LE(differing, 4u) << "only the header date and K may change";
    const std::string text(after.begin(), after.end());
    EXPECT_NE(text.find(" 12345678901234.5678"), std::string::npos);
}

TEST(NewDecimals, EveryDigitOrARefusal) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("B", FieldType::Bcd, 32, 12)};
    layout.keyFields = 1;
    const auto file = dir.path() / "b.db";
    Table::create(file, TableFormat::Paradox, layout)->insert({std::int64_t{1}, Value{}});
    const auto bcd = [&] { return std::get<Decimal>(readAll(file)[0][1]).text; };
    execute(dir.path(), "UPDATE b SET B = '12345678901234567890.123456789012'");
    EXPECT_EQ(bcd(), "12345678901234567890.123456789012");
    execute(dir.path(), "UPDATE b SET B = '-0.0000000000005'");  // rounds to 12 decimals
    EXPECT_EQ(bcd(), "-0.000000000001");
    execute(dir.path(), "UPDATE b SET B = 0.1 + 0.2");  // a double's 15 digits, not its artefacts
    EXPECT_EQ(bcd(), "0.3");
    const std::string refusal = failureOf(dir.path(), "UPDATE b SET B = 12345678901234567890.5");
    EXPECT_NE(refusal.find("give the value as text"), std::string::npos) << refusal;
    EXPECT_EQ(bcd(), "0.3");
}

// ---------------------------------------------------------------------------------------------
// dBASE numbers are rounded to the field's decimals; what does not fit is refused.

TEST(DbaseNumbers, RoundedHalfAwayFromZeroOrRefused) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Number, 4, 0),
                     makeField("Price", FieldType::Number, 10, 2),
                     makeField("Whole", FieldType::Number, 6, 0)};
    const auto file = dir.path() / "d.dbf";
    Table::create(file, TableFormat::DBase, layout)->insert({std::int64_t{1}, 1.0, 1.0});
    const auto values = [&] { return readAll(file)[0]; };
    execute(dir.path(), "UPDATE d SET Whole = 2.5, Price = 1234567.995");
    EXPECT_EQ(values()[2], Value{std::int64_t{3}});
    EXPECT_EQ(values()[1], Value{1234568.0});
    execute(dir.path(), "UPDATE d SET Whole = -2.5, Price = '-0.004'");
    EXPECT_EQ(values()[2], Value{std::int64_t{-3}});
    EXPECT_EQ(values()[1], Value{0.0});
    for (const char* sql : {"UPDATE d SET Price = 12345678.999", "UPDATE d SET Whole = 1234567",
                            "UPDATE d SET Price = 99999999.5"}) {
        const std::string error = failureOf(dir.path(), sql);
        EXPECT_NE(error.find("cannot hold"), std::string::npos) << sql << ": " << error;
    }
    EXPECT_EQ(values()[2], Value{std::int64_t{-3}});
}

TEST(DecimalText, RoundsWithoutBinaryFractions) {
    EXPECT_EQ(roundedDecimal("2.5", 0), "3");
    EXPECT_EQ(roundedDecimal("-2.5", 0), "-3");
    EXPECT_EQ(roundedDecimal(" 999.995 ", 2), "1000.00");
    EXPECT_EQ(roundedDecimal("-0.004", 2), "0.00");
    EXPECT_EQ(roundedDecimal("1.5e3", 1), "1500.0");
    EXPECT_EQ(roundedDecimal("1.25E-1", 1), "0.1");  // 0.125: the third digit rounds down
    EXPECT_EQ(roundedDecimal(".5", 0), "1");
    EXPECT_EQ(roundedDecimal("007", 0), "7");
    EXPECT_EQ(roundedDecimal("-0.5", 0), "-1");
    EXPECT_EQ(roundedDecimal("9.96", 1), "10.0");  // the carry runs into a new digit
    EXPECT_EQ(roundedDecimal("5e-3", 2), "0.01");  // the point before the first digit
    EXPECT_EQ(roundedDecimal("-0", 2), "0.00");
    EXPECT_EQ(roundedDecimal("12", -1), "12");
    EXPECT_FALSE(roundedDecimal("-", 0));
    EXPECT_FALSE(roundedDecimal("1.2.3", 1));
    EXPECT_FALSE(roundedDecimal("", 1));
    EXPECT_FALSE(roundedDecimal("1e", 1));
    EXPECT_FALSE(roundedDecimal("abc", 1));
    EXPECT_EQ(decimalOfDouble(0.1 + 0.2), "0.300000000000000");
    EXPECT_EQ(decimalOfDouble(4503599627370497.0), "4503599627370497");
    EXPECT_EQ(decimalOfDouble(1e-5), "0.000010000000000");
    EXPECT_EQ(decimalOfDouble(-1234.5), "-1234.500000000000000");
    EXPECT_EQ(decimalOfDouble(1e15), "1000000000000000");
    EXPECT_FALSE(decimalOfDouble(1e20 + 0.5));
    EXPECT_FALSE(decimalOfDouble(12345678901234567.0));
}

// ---------------------------------------------------------------------------------------------
// Result column types come from the expression, not from the first row.

class ResultTypes : public ::testing::Test {
  protected:
    void SetUp() override {
        TableCreate layout;
        layout.fields = {makeField("ID", FieldType::Long), makeField("Num", FieldType::Number),
                         makeField("D", FieldType::Date), makeField("Grp", FieldType::Alpha, 3)};
        auto t = Table::create(dir.path() / "p.db", TableFormat::Paradox, layout);
        t->insert({std::int64_t{1}, Value{}, Value{}, Value{}});
        t->insert({std::int64_t{2}, 6.25, Date{730000}, std::string("a")});
        t->insert({std::int64_t{3}, 50.0, Date{730100}, std::string("a")});
        t->insert({std::int64_t{4}, -2.625, Date{729000}, std::string("b")});
    }
    Query& open(const std::string& sql) {
        q.setDatabaseDir(dir.path());
        q.setSql(sql);
        q.open();
        return q;
    }
    TempDir dir;
    Query q;
};

TEST_F(ResultTypes, ExpressionsAreTypedWhenTheFirstValueIsNull) {
    open(
        "select ID, Num*2 as X, max(D) as M, count(*) as C, D + 1 as E from p group by ID "
        "order by Num");
    EXPECT_TRUE(q.fieldByName("X").isNumeric());
    EXPECT_EQ(q.fieldByName("M").kind(), FieldKind::Date);
    EXPECT_EQ(q.fieldByName("E").kind(), FieldKind::Date);
    EXPECT_EQ(q.fieldByName("C").kind(), FieldKind::Integer);
    q.close();
    open("select Grp, sum(Num) as S from p group by Grp");
    EXPECT_TRUE(q.fieldByName("S").isNumeric());
    q.close();
    // a compound: the second branch tells what the NULL of the first means
    open("select NULL as V from p where ID = 1 union all select D from p where ID = 2");
    EXPECT_EQ(q.fieldByName("V").kind(), FieldKind::Date);
}

TEST_F(ResultTypes, SavedResultsKeepDatesNumbersAndFractions) {
    for (const TableFormat format : {TableFormat::Paradox, TableFormat::DBase}) {
        SCOPED_TRACE(ext(format));
        open("select ID, Num*2 as X, Num, D, Grp from p order by Num");
        saveAnswerAsTable(q, "saved" + ext(format));
        q.close();
        auto t = Table::open(dir.path() / ("saved" + ext(format)), OpenMode::ReadOnly);
        EXPECT_EQ(t->fields()[3].type, FieldType::Date);
        const auto rows = readAll(dir.path() / ("saved" + ext(format)));
        ASSERT_EQ(rows.size(), 4u);
        const auto number = [](const Value& v) {
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                return static_cast<double>(*i);
            }
            return std::get<double>(v);
        };
        EXPECT_TRUE(isBlank(rows[0][1]));
        EXPECT_EQ(number(rows[1][1]), -5.25);
        EXPECT_EQ(number(rows[2][1]), 12.5);
        EXPECT_EQ(number(rows[3][1]), 100.0);
        EXPECT_EQ(number(rows[1][2]), -2.625);
        EXPECT_EQ(rows[3][3], Value{Date{730100}});
    }
    // an aggregate whose first group is NULL, and MAX of a date
    open("select Grp, sum(Num) as Total, max(D) as Last from p group by Grp");
    saveAnswerAsTable(q, "groups.dbf");
    q.close();
    auto t = Table::open(dir.path() / "groups.dbf", OpenMode::ReadOnly);
    EXPECT_EQ(t->fields()[2].type, FieldType::Date);
    const auto rows = readAll(dir.path() / "groups.dbf");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][1], Value{56.25});
    EXPECT_EQ(rows[2][2], Value{Date{729000}});
}

TEST_F(ResultTypes, SavedFieldNamesAreValidAndUnique) {
    open("select count(*), count(*) as Count, EXTRACT(YEAR FROM max(D)), 1 + min(Num) from p");
    saveAnswerAsTable(q, "names.dbf");
    saveAnswerAsTable(q, "names.db");
    q.close();
    const auto names = [&](const std::string& file) {
        std::vector<std::string> out;
        auto t = Table::open(dir.path() / file, OpenMode::ReadOnly);
        for (const auto& f : t->fields()) {
            out.push_back(f.name);
        }
        return out;
    };
    const auto dbf = names("names.dbf"), db = names("names.db");
    EXPECT_EQ(dbf, (std::vector<std::string>{"count", "Count_2", "EXTRACT_YE", "F1_min_Num"}));
    EXPECT_EQ(
        db, (std::vector<std::string>{"count", "Count_2", "EXTRACT_YEAR FROM max_D", "1_min_Num"}));
}

// ---------------------------------------------------------------------------------------------
// Quantified comparisons keep SQL's three-valued logic; checked against the rule itself on
// random data with NULLs, live and not.

std::optional<bool> compare(std::optional<int> a, const std::string& op, std::optional<int> b) {
    if (!a || !b) {
        return std::nullopt;
    }
    if (op == ">")
        return *a > *b;
    if (op == "<")
        return *a < *b;
    if (op == ">=")
        return *a >= *b;
    if (op == "<=")
        return *a <= *b;
    if (op == "=")
        return *a == *b;
    return *a != *b;
}

std::optional<bool> quantified(std::optional<int> v, const std::string& op, bool all,
                               const std::vector<std::optional<int>>& set) {
    bool unknown = false;
    for (const auto& w : set) {
        const auto r = compare(v, op, w);
        if (!r) {
            unknown = true;
        } else if (*r != all) {
            return !all;
        }
    }
    if (unknown) {
        return std::nullopt;
    }
    return all;
}

TEST(Quantified, ThreeValuedOnRandomDataWithNulls) {
    std::mt19937 random(18);
    for (int round = 0; round < 6; ++round) {
        TempDir dir;
        std::vector<std::optional<int>> a, b;
        TableCreate layout;
        layout.fields = {makeField("V", FieldType::Long)};
        auto qa = Table::create(dir.path() / "qa.db", TableFormat::Paradox, layout);
        layout.fields = {makeField("W", FieldType::Long)};
        auto qb = Table::create(dir.path() / "qb.db", TableFormat::Paradox, layout);
        for (int i = 0; i < 12; ++i) {
            const std::optional<int> v = random() % 4 == 0
                                             ? std::nullopt
                                             : std::optional<int>(static_cast<int>(random() % 6));
            a.push_back(v);
            qa->insert({v ? Value{std::int64_t{*v}} : Value{}});
        }
        const int inB = static_cast<int>(random() % 5);  // also none at all
        for (int i = 0; i < inB; ++i) {
            const std::optional<int> w = round % 2 == 0 && random() % 3 == 0
                                             ? std::nullopt
                                             : std::optional<int>(static_cast<int>(random() % 6));
            b.push_back(w);
            qb->insert({w ? Value{std::int64_t{*w}} : Value{}});
        }
        qa.reset();
        qb.reset();
        for (const std::string op : {">", "<", ">=", "<=", "=", "<>"}) {
            for (const bool all : {true, false}) {
                for (const bool negated : {false, true}) {
                    std::size_t expected = 0;
                    for (const auto& v : a) {
                        const auto r = quantified(v, op, all, b);
                        expected += r && *r != negated;
                    }
                    const std::string cond =
                        "V " + op + (all ? " ALL" : " ANY") + " (SELECT W FROM qb)";
                    const std::string sql =
                        "SELECT V FROM qa WHERE " + (negated ? "NOT (" + cond + ")" : cond);
                    for (const bool live : {false, true}) {
                        EXPECT_EQ(run(dir.path(), sql, live).size(), expected)
                            << sql << " round " << round << (live ? " live" : "");
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Date and time literals take the type of what they meet.

class Literals : public ::testing::Test {
  protected:
    void SetUp() override {
        TableCreate layout;
        layout.fields = {makeField("ID", FieldType::Long), makeField("D", FieldType::Date),
                         makeField("T", FieldType::Time)};
        auto t = Table::create(dir.path() / "p.db", TableFormat::Paradox, layout);
        // 2003-01-01, 2005-06-15, NULL, 1999-12-31 (days from 0001-01-01 = 1)
        t->insert({std::int64_t{1}, Date{731216}, TimeOfDay{23 * 3600000}});
        t->insert({std::int64_t{2}, Date{732112}, TimeOfDay{8 * 3600000}});
        t->insert({std::int64_t{3}, Value{}, Value{}});
        t->insert({std::int64_t{4}, Date{730119}, TimeOfDay{22 * 3600000 + 60000}});
    }
    Rows query(const std::string& sql) { return run(dir.path(), sql, false); }
    TempDir dir;
};

TEST_F(Literals, ThroughUnionBranchesCaseAndCoalesce) {
    execute(dir.path(),
            "INSERT INTO p (ID, D) SELECT 10, '1/2/2003' FROM p WHERE ID = 1 "
            "UNION SELECT 11, '3/4/2005' FROM p WHERE ID = 1");
    EXPECT_EQ(query("select D from p where ID >= 10 order by ID"),
              (Rows{{"2003-01-02"}, {"2005-03-04"}}));
    EXPECT_EQ(query("select CASE WHEN D IS NULL THEN '12/12/2012' ELSE D END from p where ID = 3"),
              (Rows{{"2012-12-12"}}));
    EXPECT_EQ(query("select count(*) from p where COALESCE(D, '1/1/1900') < '1/1/2004'"),
              (Rows{{"4"}}));  // 1, 3 (NULL -> 1900), 4, 10
    // a literal that is no date stays text where values only meet in one column
    EXPECT_EQ(query("select COALESCE(D, 'none') from p where ID = 3"), (Rows{{"none"}}));
    EXPECT_EQ(query("select D from p where ID = 1 union select '7/4/1776' from p where ID = 1 "
                    "order by 1"),
              (Rows{{"1776-07-04"}, {"2003-01-01"}}));
}

TEST_F(Literals, InDateAndTimeArithmetic) {
    EXPECT_EQ(query("select '1/1/2010' - D from p where ID = 4"), (Rows{{"3654"}}));
    EXPECT_EQ(query("select D - '12/25/2002' from p where ID = 1"), (Rows{{"7"}}));
    EXPECT_EQ(query("select T - '10:00 PM' from p where ID = 1"), (Rows{{"3600"}}));
    EXPECT_EQ(query("select T + 90 from p where ID = 2"), (Rows{{"08:01:30"}}));
}

// ---------------------------------------------------------------------------------------------
// Tables CREATE TABLE makes, and what it says when it cannot.

TEST(CreateTable, DbaseAtTheLowestLevelThatHoldsTheColumns) {
    TempDir dir;
    execute(dir.path(), "CREATE TABLE \"plain.dbf\" (N NUMERIC(8,2), M BLOB(10,1))");
    EXPECT_EQ(Table::open(dir.path() / "plain.dbf", OpenMode::ReadOnly)->version(), 0x83);
    execute(dir.path(), "CREATE TABLE \"bin.dbf\" (T BLOB(10,2), O BLOB(10,4), F FLOAT(12,3))");
    auto t = Table::open(dir.path() / "bin.dbf", OpenMode::ReadOnly);
    EXPECT_EQ(t->version(), 0x8B);
    EXPECT_EQ(t->fields()[0].type, FieldType::Blob);
    EXPECT_EQ(t->fields()[2].letter, 'F');
    t.reset();
    execute(dir.path(), "INSERT INTO bin (F) VALUES (1.125)");
    EXPECT_EQ(run(dir.path(), "select F from bin", false), (Rows{{"1.125"}}));
}

TEST(CreateTable, MissingDirectoryIsNamed) {
    TempDir dir;
    const std::string error = failureOf(dir.path(), "CREATE TABLE \"nodir/x.db\" (A CHAR(3))");
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_EQ(error.find("orn-new"), std::string::npos) << error;
}

// ---------------------------------------------------------------------------------------------
// Trailing blanks of alpha fields never decide a comparison.

TEST(TrailingBlanks, ComparedShownAndKeptAlike) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("S", FieldType::Alpha, 8)};
    layout.keyFields = 1;
    const auto file = dir.path() / "p.db";
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->insert({std::int64_t{1}, std::string("pad   ")});
        t->insert({std::int64_t{2}, std::string("pad")});
        t->insert({std::int64_t{3}, std::string(" pad")});
    }
    for (const bool live : {false, true}) {
        EXPECT_EQ(run(dir.path(), "select K, S || '|' from p where S = 'pad   ' order by K", live),
                  (Rows{{"1", "pad|"}, {"2", "pad|"}}));
        EXPECT_EQ(run(dir.path(), "select K from p where S IN ('x', 'pad ') order by K", live),
                  (Rows{{"1"}, {"2"}}));
        EXPECT_EQ(run(dir.path(), "select K from p where S <> 'pad  ' order by K", live),
                  (Rows{{"3"}}));
    }
    execute(dir.path(), "UPDATE p SET K = K + 10 WHERE K = 1");
    EXPECT_EQ(readAll(file)[2][1], Value{std::string("pad   ")});  // stored as it was
}

TEST(ErrorTexts, SayWhatTheUserWrote) {
    TempDir dir;
    makeKeyedTable(dir.path(), "p", 2);
    std::string error = failureOf(dir.path(), "select p.Nope from p");
    EXPECT_NE(error.find("'p.Nope'"), std::string::npos) << error;
    EXPECT_EQ(error.find("p.db"), std::string::npos) << error;
    EXPECT_EQ(run(dir.path(), "select p.rowid from p where Id = 2", false).size(), 1u);
    error = failureOf(dir.path(), "insert into p values (7, 'a', 1, 'b')");
    EXPECT_NE(error.find("4 values"), std::string::npos) << error;
    EXPECT_NE(error.find("3 fields"), std::string::npos) << error;
}

// ---------------------------------------------------------------------------------------------
// Where the dialect means what SQLite means, a live and a non-live query over a table file give
// what native SQLite gives over the same rows: random data with NULLs, both formats.

std::string cellText(const Cell& c) {
    if (const auto* i = std::get_if<std::int64_t>(&c)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&c)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.10g", *d);
        return buf;
    }
    if (const auto* t = std::get_if<std::string>(&c)) {
        return "'" + *t;
    }
    return "NULL";
}

Rows nativeRows(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    Rows out;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    row.push_back(cellText(Cell{std::int64_t{sqlite3_column_int64(stmt, c)}}));
                    break;
                case SQLITE_FLOAT:
                    row.push_back(cellText(Cell{sqlite3_column_double(stmt, c)}));
                    break;
                case SQLITE_TEXT:
                    row.push_back(cellText(Cell{
                        std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)))}));
                    break;
                default:
                    row.push_back("NULL");
            }
        }
        out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return out;
}

Rows datasetRows(const std::filesystem::path& dir, const std::string& sql, bool live) {
    Query q(dir, live);
    q.setSql(sql);
    q.open();
    Rows out;
    for (q.first(); !q.eof(); q.next()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < q.fieldCount(); ++i) {
            row.push_back(cellText(q.field(i).value()));
        }
        out.push_back(std::move(row));
    }
    return out;
}

TEST(NativeSqlite, SameAnswersOnRandomDataWithNulls) {
    const std::vector<std::string> queries = {
        "SELECT A, B FROM t WHERE A > 2 ORDER BY 2, 1",
        "SELECT S, A, B FROM t ORDER BY 1 DESC, 2, 3",
        "SELECT B, S FROM t WHERE S IS NOT NULL ORDER BY 2 DESC, 1",
        "SELECT A, CASE WHEN B IS NULL THEN -1 ELSE B END FROM t ORDER BY 1, 2",
        "SELECT COALESCE(A, 0) + 1, S FROM t ORDER BY 2, 1",
        "SELECT count(*), count(A), sum(A), max(B), min(S), avg(B) FROM t",
        "SELECT A, count(*), max(S) FROM t GROUP BY A ORDER BY 1",
        "SELECT A, count(B) FROM t GROUP BY 1 ORDER BY 2 DESC, 1",
        "SELECT A FROM t WHERE A IN (SELECT A FROM t WHERE B > 0) ORDER BY 1",
        "SELECT A, B FROM t WHERE NOT (A IN (1, 2, NULL)) ORDER BY 1, 2",
        "SELECT A FROM t WHERE A NOT IN (SELECT A FROM t WHERE B < 0) ORDER BY 1",
        "SELECT DISTINCT S FROM t ORDER BY 1",
        "SELECT A, B FROM t WHERE B BETWEEN -1 AND 2 OR S = 'b' ORDER BY 1, 2",
    };
    std::mt19937 random(1818);
    for (const TableFormat format : {TableFormat::Paradox, TableFormat::DBase}) {
        TempDir dir;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
        sqlite3_exec(db, "CREATE TABLE t (A INTEGER, B REAL, S TEXT)", nullptr, nullptr, nullptr);
        TableCreate layout;
        layout.fields = {makeField("A", FieldType::Long), makeField("B", FieldType::Number),
                         makeField("S", FieldType::Alpha, 4)};
        if (format == TableFormat::DBase) {
            layout.fields[0] = makeField("A", FieldType::Number, 6, 0);
            layout.fields[1] = makeField("B", FieldType::Number, 8, 2);
        }
        auto table = Table::create(dir.path() / ("t" + ext(format)), format, layout);
        for (int i = 0; i < 40; ++i) {
            const bool nullA = random() % 5 == 0, nullB = random() % 4 == 0,
                       nullS = random() % 5 == 0;
            const auto a = static_cast<std::int64_t>(random() % 7);
            const double b = static_cast<double>(static_cast<int>(random() % 17) - 8) / 4;
            const std::string text(1, static_cast<char>('a' + random() % 4));
            table->insert({nullA ? Value{} : Value{a}, nullB ? Value{} : Value{b},
                           nullS ? Value{} : Value{text}});
            const std::string row = "INSERT INTO t VALUES (" +
                                    (nullA ? std::string("NULL") : std::to_string(a)) + ", " +
                                    (nullB ? std::string("NULL") : cellText(Cell{b})) + ", " +
                                    (nullS ? std::string("NULL") : "'" + text + "'") + ")";
            sqlite3_exec(db, row.c_str(), nullptr, nullptr, nullptr);
        }
        table.reset();
        for (const auto& sql : queries) {
            const Rows expected = nativeRows(db, sql);
            for (const bool live : {false, true}) {
                EXPECT_EQ(datasetRows(dir.path(), sql, live), expected)
                    << sql << (live ? " (live) " : " ") << ext(format);
            }
        }
        sqlite3_close(db);
    }
}

// ---------------------------------------------------------------------------------------------
// Aliases and DOS drive paths lead to the directories set for them, or fail naming what is
// missing.

TEST(TableLocations, AliasesAndDrivesMapToDirectories) {
    TempDir here, there;
    std::filesystem::create_directories(there.path() / "Sample");
    makeKeyedTable(there.path() / "Sample", "parts", 3);
    makeKeyedTable(there.path(), "work", 2);
    TableLocations locations;
    locations.aliases["Dbdemos"] = there.path() / "Sample";
    locations.drives["c"] = there.path();
    setTableLocations(locations);
    EXPECT_EQ(run(here.path(), "select count(*) from \":DBDEMOS:parts.db\"", false), (Rows{{"3"}}));
    EXPECT_EQ(run(here.path(), "select count(*) from :dbdemos:parts", true), (Rows{{"3"}}));
    EXPECT_EQ(run(here.path(), "select count(*) from \"C:\\sample\\PARTS.DB\"", false),
              (Rows{{"3"}}));
    EXPECT_EQ(run(here.path(), "select count(*) from 'c:/work.db'", false), (Rows{{"2"}}));
    execute(here.path(), "CREATE TABLE \":DBDEMOS:fresh.db\" (A CHAR(2))");
    EXPECT_TRUE(std::filesystem::exists(there.path() / "Sample" / "fresh.db"));
    std::string error = failureOf(here.path(), "select * from \":NOPE:parts.db\"");
    EXPECT_NE(error.find("Unknown alias 'NOPE'"), std::string::npos) << error;
    error = failureOf(here.path(), "select * from \"D:\\sample\\parts.db\"");
    EXPECT_NE(error.find("drive D"), std::string::npos) << error;
    setTableLocations({});
    error = failureOf(here.path(), "select * from \":DBDEMOS:parts.db\"");
    EXPECT_NE(error.find("Unknown alias"), std::string::npos) << error;
}

}  // namespace
}  // namespace orn::db
