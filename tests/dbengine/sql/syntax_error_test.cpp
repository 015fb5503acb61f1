// Statements the parser refuses: the message names the token and where it stands.
#include "dbengine/sql/parser.h"
#include "dbengine/sql/tokenizer.h"
#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::HasSubstr;

struct Refusal {
    std::string message;
    std::size_t position = SqlError::noPosition;
};

Refusal refuse(const std::string& text) {
    FakeSchema schema = sampleSchema();
    try {
        translateSql(text, schema);
    } catch (const SqlError& e) {
        return {e.what(), e.position()};
    }
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

TEST(SyntaxErrors, NameTheOffendingTokenAndItsLineAndColumn) {
    Refusal r = refuse("SELECT CustNo FROM customer ORDER CustNo");
    EXPECT_EQ(r.position, 34u);
    EXPECT_THAT(r.message, HasSubstr("unexpected 'CustNo', expected BY"));
    EXPECT_THAT(r.message, HasSubstr("line 1, column 35"));

    // FORM is read as the column's alias, so the error stands at the table name.
    r = refuse("SELECT CustNo FORM customer");
    EXPECT_EQ(r.position, 19u);
    EXPECT_THAT(r.message, HasSubstr("'customer'"));

    r = refuse("SELECT *\nFROM customer\nWHERE CustNo = = 3");
    EXPECT_EQ(r.position, 38u);
    EXPECT_THAT(r.message, HasSubstr("line 3, column 16"));
    EXPECT_THAT(r.message, HasSubstr("'='"));

    r = refuse("SELECT * FROM customer WHERE");
    EXPECT_THAT(r.message, HasSubstr("end of statement"));
    EXPECT_EQ(r.position, 28u);

    r = refuse("SELECT Company, FROM customer");
    EXPECT_THAT(r.message, HasSubstr("'FROM'"));
    EXPECT_EQ(r.position, 16u);

    r = refuse("UPDATE customer Company = 'x'");
    EXPECT_THAT(r.message, HasSubstr("expected SET"));

    r = refuse("SELECT SUBSTRING(Company 1) FROM customer");
    EXPECT_THAT(r.message, HasSubstr("'1'"));
    EXPECT_THAT(r.message, HasSubstr("expected FROM"));

    r = refuse("SELECT EXTRACT(WEEK FROM SaleDate) FROM orders");
    EXPECT_THAT(r.message, HasSubstr("'WEEK'"));

    r = refuse("INSERT INTO customer (CustNo VALUES (1)");
    EXPECT_THAT(r.message, HasSubstr("'VALUES'"));
}

TEST(SyntaxErrors, TokenizerErrors) {
    Refusal r = refuse("SELECT 'abc FROM customer");
    EXPECT_EQ(r.position, 7u);
    EXPECT_THAT(r.message, HasSubstr("Unterminated"));
    r = refuse("SELECT * FROM customer /* never closed");
    EXPECT_EQ(r.position, 23u);
    r = refuse("SELECT # FROM customer");
    EXPECT_EQ(r.position, 7u);
    EXPECT_THAT(r.message, HasSubstr("'#'"));
}

TEST(SyntaxErrors, OneStatementAtATime) {
    const Refusal r = refuse("DELETE FROM customer; DROP TABLE orders");
    EXPECT_EQ(r.message,
              "Only one statement can be run at a time: a second one begins at line 1, column 23 "
              "with 'DROP'");
    EXPECT_EQ(r.position, 22u);
    EXPECT_EQ(refuse("").message, "There is no statement to run: the SQL text is empty");
    EXPECT_EQ(refuse(" ; ").message, "There is no statement to run: the SQL text is empty");
}

TEST(SyntaxErrors, PositionsCountCharactersNotBytes) {
    const Refusal r = refuse("SELECT 'Äöü' Город FROM kunden WHERE");
    EXPECT_THAT(r.message, HasSubstr("line 1, column 37"));
}

TEST(Tokenizer, QuotingRulesOfTheDialect) {
    const auto toks = tokenize(
        "SELECT \"a \"\"b\"\"\", 'it''s', [x y], :\"Order No\", :p1, ?, ?7, "
        "a.b, 1.5e3, .5, x^=y");
    std::vector<std::pair<TokenKind, std::string>> got;
    for (const Token& t : toks)
        got.emplace_back(t.kind, t.text);
    const std::vector<std::pair<TokenKind, std::string>> expected = {
        {TokenKind::Word, "SELECT"}, {TokenKind::DoubleQuoted, "a \"b\""},
        {TokenKind::Operator, ","},  {TokenKind::SingleQuoted, "it's"},
        {TokenKind::Operator, ","},  {TokenKind::Bracketed, "x y"},
        {TokenKind::Operator, ","},  {TokenKind::Parameter, "Order No"},
        {TokenKind::Operator, ","},  {TokenKind::Parameter, "p1"},
        {TokenKind::Operator, ","},  {TokenKind::Parameter, ""},
        {TokenKind::Operator, ","},  {TokenKind::Parameter, "7"},
        {TokenKind::Operator, ","},  {TokenKind::Word, "a"},
        {TokenKind::Operator, "."},  {TokenKind::Word, "b"},
        {TokenKind::Operator, ","},  {TokenKind::Number, "1.5e3"},
        {TokenKind::Operator, ","},  {TokenKind::Number, ".5"},
        {TokenKind::Operator, ","},  {TokenKind::Word, "x"},
        {TokenKind::Operator, "^="}, {TokenKind::Word, "y"},
        {TokenKind::End, ""}};
    EXPECT_EQ(got, expected);
}

TEST(Parser, UnknownStatementsComeBackUnchanged) {
    for (const char* text : {"PRAGMA foreign_keys = ON", "CREATE VIEW v AS SELECT 1", "VACUUM",
                             "WITH x AS (SELECT 1) SELECT * FROM x"}) {
        const Statement st = parseStatement(std::string(text) + " ;");
        EXPECT_EQ(st.kind, Statement::Kind::Other);
        EXPECT_EQ(st.text, text);
    }
    // even when our tokenizer cannot read them
    EXPECT_EQ(parseStatement("PRAGMA x = 'unterminated").kind, Statement::Kind::Other);
    EXPECT_EQ(parseStatement("/* c */ CREATE VIEW v AS SELECT # FROM t").kind,
              Statement::Kind::Other);
    EXPECT_THROW(parseStatement("/* c */ select # from t"), SqlError);
    EXPECT_THROW(parseStatement("CREATE UNIQUE INDEX x ON t (#)"), SqlError);
}

}  // namespace
}  // namespace orn::sql::test

namespace orn::sql::test {
namespace {

TEST(HostileInput, DeepNestingIsRefusedNotACrash) {
    FakeSchema schema = sampleSchema();
    const auto nested = [](int n) {
        return "SELECT " + std::string(n, '(') + "1" + std::string(n, ')') + " FROM customer";
    };
    EXPECT_NO_THROW(translateSql(nested(60), schema));
    EXPECT_THROW(translateSql(nested(20000), schema), SqlError);
    std::string chain = "SELECT 1";
    for (int i = 0; i < 5000; ++i)
        chain += " + 1";
    EXPECT_THROW(translateSql(chain, schema), SqlError);
    std::string signs = "SELECT ", nots = "SELECT 1 FROM customer WHERE ";
    for (int i = 0; i < 20000; ++i) {
        signs += "- ";
        nots += "NOT ";
    }
    EXPECT_THROW(translateSql(signs + "1", schema), SqlError);
    EXPECT_THROW(translateSql(nots + "1", schema), SqlError);
    std::string subqueries = "SELECT 1 FROM customer WHERE CustNo IN ";
    for (int i = 0; i < 2000; ++i)
        subqueries += "(SELECT CustNo FROM customer WHERE CustNo IN ";
    EXPECT_THROW(translateSql(subqueries, schema), SqlError);
}

TEST(HostileInput, EveryPrefixOfValidStatementsTranslatesOrFailsCleanly) {
    FakeSchema schema = sampleSchema();
    const std::vector<std::string> statements = {
        "SELECT C.Company, COUNT(*) FROM \"customer.db\" C LEFT JOIN orders O ON C.CustNo = "
        "O.CustNo WHERE O.SaleDate BETWEEN '1/1/1988' AND '12/31/1988' AND O.Paid = 'T' GROUP BY "
        "C.Company HAVING COUNT(*) > ALL (SELECT 1 FROM parts) ORDER BY 2 DESCENDING;",
        "UPDATE 'orders.db' T SET T.'ShipVIA' = TRIM(LEADING 'x' FROM SUBSTRING(T.ShipVIA FROM 2 "
        "FOR 3)) WHERE T.SaleDate + 1 > CAST('1/2/1990' AS DATE) AND T.OrderNo = :\"No\"",
        "INSERT INTO customer (CustNo, Company) SELECT EXTRACT(YEAR FROM SaleDate), CASE WHEN "
        "Paid THEN 'y' ELSE 'n' END FROM orders WHERE ShipDate = NULL",
        "CREATE TABLE \"t.db\" (A CHAR(10), B DECIMAL(10,2), PRIMARY KEY (A))",
        "ALTER TABLE customer ADD X BLOB(1,2), DROP City",
        "DROP INDEX \"customer.db\".PRIMARY"};
    for (const std::string& full : statements) {
        for (std::size_t n = 0; n <= full.size(); ++n) {
            const std::string prefix = full.substr(0, n);
            try {
                translateSql(prefix, schema);
            } catch (const SqlError&) {
            } catch (const std::exception& e) {
                ADD_FAILURE() << "unexpected " << e.what() << " for: " << prefix;
            }
        }
        EXPECT_NO_THROW(translateSql(full, schema)) << full;
    }
}

}  // namespace
}  // namespace orn::sql::test
