// The functions registered on every connection that runs translated statements.
#include "dbengine/sql/dialect_functions.h"

#include "dbengine/sql/help_text.h"
#include "dbengine/sql/unicode_case.h"
#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class Functions : public ::testing::Test {
  protected:
    SqliteDb db;
    std::string one(const std::string& expr) { return db.query("SELECT " + expr).at(0).at(0); }
};

TEST_F(Functions, LikeMatchesCaseAndCharacters) {
    EXPECT_EQ(one("'Lee' LIKE 'L%'"), "1");
    EXPECT_EQ(one("'lee' LIKE 'L%'"), "0");
    EXPECT_EQ(one("'Müller' LIKE 'M_ller'"), "1");  // _ is one character, not one byte
    EXPECT_EQ(one("'Müller' LIKE 'M__ller'"), "0");
    EXPECT_EQ(one("'ÄRGER' LIKE 'ä%'"), "0");
    EXPECT_EQ(one("'abc' LIKE '%'"), "1");
    EXPECT_EQ(one("'' LIKE '%'"), "1");
    EXPECT_EQ(one("'' LIKE '_'"), "0");
    EXPECT_EQ(one("'abcabd' LIKE '%ab_'"), "1");
    EXPECT_EQ(one("'aXbXc' LIKE 'a%b%c'"), "1");
    EXPECT_EQ(one("'ac' LIKE 'a%b%c'"), "0");
    EXPECT_EQ(one("'50%' LIKE '50\\%' ESCAPE '\\'"), "1");
    EXPECT_EQ(one("'500' LIKE '50\\%' ESCAPE '\\'"), "0");
    EXPECT_EQ(one("'a_c' LIKE 'a#_c' ESCAPE '#'"), "1");
    EXPECT_EQ(one("'abc' LIKE 'a#_c' ESCAPE '#'"), "0");
    EXPECT_EQ(one("NULL LIKE 'a'"), "NULL");
    EXPECT_EQ(one("12 LIKE '1%'"), "1");
    char* err = nullptr;
    EXPECT_NE(sqlite3_exec(db.handle(), "SELECT 'a' LIKE 'a' ESCAPE 'xy'", nullptr, nullptr, &err),
              SQLITE_OK);
    EXPECT_THAT(err ? err : "", HasSubstr("single character"));
    sqlite3_free(err);
}

// Constant patterns take shortcuts by shape; over many rows, as constants and as values of a
// column, they select what GLOB selects with the same wildcards (GLOB matches case and whole
// characters the way the dialect's LIKE does).
TEST_F(Functions, LikePatternsOfEveryShapeAgreeWithGlob) {
    db.exec("CREATE TABLE w(t TEXT); CREATE TABLE p(l TEXT, g TEXT)");
    for (const char* t : {"", "a", "ab", "abc", "Abc", "cab", "xabx", "ab%", "a_b", "abab", "ü",
                          "Müller", "müll", "ßab", "ab ", " ab", "aaab", "b"}) {
        db.exec(std::string("INSERT INTO w VALUES ('") + t + "')");
    }
    for (const char* l : {"", "%", "%%", "ab", "ab%", "%ab", "%ab%", "a_", "_b%", "%a%b%", "ü%",
                          "%ll%", "M_ller", "a%b", "%b_", "ab_%", "%_"}) {
        std::string g;
        for (const char c : std::string(l)) {
            g += c == '%' ? std::string("*") : c == '_' ? std::string("?") : std::string(1, c);
        }
        db.exec(std::string("INSERT INTO p VALUES ('") + l + "', '" + g + "')");
        EXPECT_EQ(
            db.query(std::string("SELECT group_concat(t, '|') FROM w WHERE t LIKE '") + l + "'"),
            db.query(std::string("SELECT group_concat(t, '|') FROM w WHERE t GLOB '") + g + "'"))
            << l;
    }
    EXPECT_EQ(db.query("SELECT count(*) FROM w, p WHERE t LIKE l"),
              db.query("SELECT count(*) FROM w, p WHERE t GLOB g"));
}

TEST_F(Functions, UpperAndLowerKnowNationalLetters) {
    EXPECT_EQ(one("upper('äöü àéîõ ÿ ß')"), "ÄÖÜ ÀÉÎÕ Ÿ ß");
    EXPECT_EQ(one("lower('ÄÖÜ ÀÉÎÕ Ÿ')"), "äöü àéîõ ÿ");
    EXPECT_EQ(one("upper('łódź čšž őű')"), "ŁÓDŹ ČŠŽ ŐŰ");
    EXPECT_EQ(one("lower('ŁÓDŹ ČŠŽ ŐŰ İ')"), "łódź čšž őű i");
    EXPECT_EQ(one("upper('привет ёж')"), "ПРИВЕТ ЁЖ");
    EXPECT_EQ(one("lower('ПРИВЕТ ЁЖ ЇЄ')"), "привет ёж їє");
    EXPECT_EQ(one("upper('αβγ ς άέ')"), "ΑΒΓ Σ ΆΈ");
    EXPECT_EQ(one("upper(NULL)"), "NULL");
    EXPECT_EQ(one("upper(12)"), "12");
    EXPECT_TRUE(equalsNoCase("Straße", "STRAßE"));
    EXPECT_FALSE(equalsNoCase("Straße", "Strasse"));
    EXPECT_EQ(utf8Upper(std::string("a\xff"
                                    "b")),
              std::string("A\xff"
                          "B"));  // bad byte kept
}

TEST_F(Functions, CalendarAndBooleanCasts) {
    EXPECT_EQ(one("lsql_date('1/31/98')"), "1998-01-31");
    EXPECT_EQ(one("lsql_date('1998-01-31 10:00:00')"), "1998-01-31");
    EXPECT_EQ(one("lsql_date('not a date')"), "NULL");
    EXPECT_EQ(one("lsql_time('1/31/98 10:00 PM')"), "22:00:00");
    EXPECT_EQ(one("lsql_timestamp('1998-01-31')"), "1998-01-31 00:00:00");
    EXPECT_EQ(one("lsql_boolean('False')"), "0");
    EXPECT_EQ(one("lsql_boolean(2)"), "1");
    EXPECT_EQ(one("lsql_boolean('x')"), "NULL");
}

TEST_F(Functions, DoubleQuotedStringsAreOffOnAPreparedConnection) {
    db.exec("CREATE TABLE t (a TEXT)");
    EXPECT_THAT(db.prepareError("SELECT * FROM t WHERE a = \"x\""), HasSubstr("no such column"));
}

TEST(HelpText, CoversTheStatementsAndTheDialectsForms) {
    const std::string& help = sqlHelpText();
    for (const char* needle :
         {"SELECT", "INSERT INTO", "UPDATE", "DELETE FROM", "CREATE TABLE", "DROP TABLE",
          "ALTER TABLE", "DROP INDEX", "DESCENDING", "SUBSTRING(x FROM", "EXTRACT(", "TRIM(BOTH",
          "'1/23/1998'", "\"customer.db\"", "E.\"Emp Id\"", ":Name", "ALL (SELECT", "BLOB(n,s)"})
        EXPECT_THAT(help, HasSubstr(needle));
    // what cannot be run yet is not offered
    EXPECT_THAT(help, Not(HasSubstr("CREATE [UNIQUE] INDEX")));
}

TEST(HelpText, ItsExamplesTranslate) {
    // Every indented example line that starts a statement of the dialect must translate.
    FakeSchema schema = sampleSchema();
    schema.add("parts.db", {field("PartNo", db::FieldType::Long),
                            field("Description", db::FieldType::Alpha, 30)});
    schema.add("archive.db", schema.findTable("orders")->fields);
    const std::vector<std::string> examples = {
        "SELECT * FROM customer WHERE Country = \"US\"",
        "SELECT * FROM orders WHERE SaleDate BETWEEN '1/1/1988' AND '12/31/1988'",
        "SELECT C.Company, COUNT(*), SUM(O.AmountPaid)\n FROM customer C, orders O\n WHERE "
        "C.CustNo = O.CustNo AND O.SaleDate >= '1/1/1989'\n GROUP BY C.Company\n HAVING "
        "SUM(O.AmountPaid) > 1000\n ORDER BY 3 DESCENDING",
        "INSERT INTO customer (CustNo, Company) VALUES (1001, 'Kauai Dive')",
        "INSERT INTO customer VALUES (1002, 'Unisco')",
        "INSERT INTO archive SELECT * FROM orders WHERE SaleDate < '1/1/1990'",
        "UPDATE orders O SET O.ShipVia = 'UPS' WHERE O.OrderNo = 1003",
        "DELETE FROM \"orders.db\" O WHERE O.SaleDate < '1/1/1990'",
        "ALTER TABLE \"parts.db\" ADD OnHand INTEGER, DROP Description",
        "CREATE TABLE \"parts.db\" (PartNo INTEGER, Description CHAR(30), Price MONEY,\n "
        "PRIMARY KEY (PartNo))",
        "DROP INDEX \"parts.db\".PRIMARY"};
    for (const std::string& e : examples) {
        const std::string flat = [&] {
            std::string s = e;
            for (char& c : s)
                if (c == '\n')
                    c = ' ';
            return s;
        }();
        EXPECT_THAT(sqlHelpText(), HasSubstr(e.substr(0, e.find('\n')))) << e;
        EXPECT_NO_THROW(translateSql(e, schema)) << e;
    }
}

}  // namespace
}  // namespace orn::sql::test
