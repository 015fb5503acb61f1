// SELECT forms, operators and functions of the dialect, checked by running the translation.
#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class Select : public Fixture {};

TEST_F(Select, JoinsOfEveryKind) {
    EXPECT_EQ(run("SELECT C.CustNo, O.OrderNo FROM customer C INNER JOIN orders O ON "
                  "C.CustNo = O.CustNo WHERE C.Country = 'US' ORDER BY 2"),
              (Rows{{"1380", "1006"}, {"1384", "1007"}, {"1221", "1008"}, {"1221", "1009"}}));
    EXPECT_EQ(run("SELECT C.CustNo, COUNT(O.OrderNo) FROM customer C LEFT OUTER JOIN orders O "
                  "ON C.CustNo = O.CustNo GROUP BY C.CustNo HAVING COUNT(O.OrderNo) = 0 "
                  "ORDER BY 1"),
              (Rows{{"1231", "0"}, {"1354", "0"}}));
    EXPECT_THAT(column0(run("SELECT O.OrderNo FROM customer C RIGHT JOIN orders O ON "
                            "C.CustNo = O.CustNo WHERE C.CustNo IS NULL")),
                ElementsAre("1004"));
    EXPECT_EQ(run("SELECT COUNT(*) FROM customer C FULL JOIN orders O ON C.CustNo = O.CustNo"),
              (Rows{{"9"}}));
    EXPECT_EQ(run("SELECT COUNT(*) FROM (customer C JOIN orders O ON C.CustNo = O.CustNo) "
                  "JOIN employee E ON E.\"Emp Id\" = 2"),
              (Rows{{"6"}}));
}

TEST_F(Select, OrderByDescendingAscendingAndPositions) {
    EXPECT_THAT(column0(run("SELECT OrderNo, AmountPaid FROM orders WHERE AmountPaid > 0 "
                            "ORDER BY AmountPaid DESCENDING")),
                ElementsAre("1006", "1004", "1003", "1007", "1008"));
    EXPECT_THAT(column0(run("SELECT ShipVIA, OrderNo FROM orders ORDER BY 1 ASCENDING, 2 DESC")),
                ElementsAre("DHL", "DHL", "FedEx", "UPS", "UPS", "UPS", "US Mail"));
    EXPECT_EQ(sqlOf("SELECT OrderNo FROM orders ORDER BY OrderNo DESCENDING;"),
              "SELECT \"OrderNo\" FROM \"orders\" ORDER BY \"OrderNo\" DESC");
    // a lone double-quoted name in ORDER BY / GROUP BY names the column
    EXPECT_THAT(column0(run("SELECT E.\"Emp Id\" FROM employee E ORDER BY \"Emp Id\" DESC")),
                ElementsAre("15", "14", "12", "11", "9", "8", "5", "4", "2"));
    // an alias equal to a source column is the output column
    EXPECT_THAT(column0(run("SELECT LOWER(LastName) LastName FROM employee WHERE Salary > 40000 "
                            "ORDER BY LastName")),
                ElementsAre("lee", "young"));
}

TEST_F(Select, UnionsWithOrderBy) {
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer WHERE Country = 'US' UNION "
                            "SELECT CustNo FROM orders WHERE ShipVIA = 'DHL' ORDER BY CustNo")),
                ElementsAre("1221", "1380", "1384", "2156"));
    EXPECT_EQ(run("SELECT C.CustNo FROM customer C WHERE C.CustNo = 1221 UNION ALL "
                  "SELECT O.CustNo FROM orders O WHERE O.CustNo = 1221 ORDER BY C.CustNo")
                  .size(),
              3u);
}

TEST_F(Select, SubqueriesInExistsAndScalar) {
    EXPECT_THAT(column0(run("SELECT Company FROM customer C WHERE EXISTS (SELECT * FROM orders "
                            "O WHERE O.CustNo = C.CustNo AND O.ShipVIA = 'DHL')")),
                ElementsAre("Kauai Dive Shoppe"));
    EXPECT_THAT(column0(run("SELECT Company FROM customer WHERE CustNo NOT IN (SELECT CustNo "
                            "FROM orders) ORDER BY 1")),
                ElementsAre("Cayman Divers World Unlimited", "Unisco"));
    EXPECT_EQ(run("SELECT (SELECT MAX(SaleDate) FROM orders) FROM password"),
              (Rows{{"1998-01-31"}}));
    EXPECT_EQ(run("SELECT x.n FROM (SELECT COUNT(*) n FROM orders WHERE Paid = 'T') x"),
              (Rows{{"4"}}));
}

TEST_F(Select, AnySomeAndAll) {
    EXPECT_THAT(column0(run("SELECT LastName FROM employee WHERE Salary > ALL (SELECT Salary "
                            "FROM employee WHERE LastName LIKE 'L%') ORDER BY 1")),
                ElementsAre("Young"));
    // NULL salary in the subquery makes > ALL unknown for everyone
    EXPECT_TRUE(
        run("SELECT LastName FROM employee WHERE Salary > ALL (SELECT Salary FROM employee)")
            .empty());
    EXPECT_THAT(column0(run("SELECT LastName FROM employee WHERE Salary >= ALL (SELECT Salary "
                            "FROM employee WHERE Salary IS NOT NULL)")),
                ElementsAre("Young"));
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer WHERE CustNo = ANY (SELECT CustNo FROM "
                            "orders WHERE ShipVIA = 'UPS') ORDER BY 1")),
                ElementsAre("1221", "1351", "1380"));
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer WHERE CustNo < SOME (SELECT CustNo FROM "
                            "orders WHERE ShipVIA = 'UPS') ORDER BY 1")),
                ElementsAre("1221", "1231", "1351", "1354", "1356"));
    EXPECT_EQ(run("SELECT COUNT(*) FROM customer WHERE CustNo <> ALL (SELECT CustNo FROM orders)"),
              (Rows{{"2"}}));
    // correlated subquery inside the rewrite
    EXPECT_THAT(column0(run("SELECT C.CustNo FROM customer C WHERE '1/1/1995' < ALL (SELECT "
                            "O.SaleDate FROM orders O WHERE O.CustNo = C.CustNo) AND EXISTS "
                            "(SELECT 1 FROM orders O2 WHERE O2.CustNo = C.CustNo)")),
                ElementsAre("1384"));
}

TEST_F(Select, LikeIsCaseSensitiveAndCountsCharacters) {
    // SQLite's own LIKE also matches 'lee' here.
    EXPECT_THAT(column0(run("SELECT LastName FROM employee WHERE LastName LIKE 'L%' ORDER BY 1")),
                ElementsAre("Lambert", "Lee"));
    EXPECT_THAT(column0(run("SELECT LastName FROM employee WHERE LastName LIKE 'Nels_n' "
                            "ORDER BY 1")),
                ElementsAre("Nelsen", "Nelson"));
    EXPECT_THAT(column0(run("SELECT LastName FROM employee WHERE UPPER(LastName) LIKE 'LE%'")),
                ElementsAre("Lee", "lee"));
    EXPECT_THAT(column0(run("SELECT Name FROM kunden WHERE Name LIKE '_pfel%'")),
                ElementsAre("Äpfel Müller"));
    EXPECT_THAT(column0(run("SELECT Name FROM kunden WHERE Name NOT LIKE 'Ä%' ORDER BY 1")),
                ElementsAre("Zander", "ärger GmbH"));
    EXPECT_EQ(run("SELECT COUNT(*) FROM password WHERE '10%' LIKE '10!%' ESCAPE '!'"),
              (Rows{{"1"}}));
}

TEST_F(Select, NotEqualSpellings) {
    for (const char* op : {"<>", "!=", "^=", "~="}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(run(std::string("SELECT COUNT(*) FROM orders WHERE ShipVIA ") + op + " 'UPS'"),
                  (Rows{{"4"}}));
    }
}

TEST_F(Select, CommentsSemicolonAndBlankBeforeParenthesis) {
    EXPECT_EQ(run("/* all\n   orders */ SELECT COUNT (*) -- how many\nFROM orders;"),
              (Rows{{"7"}}));
}

TEST_F(Select, TrimSubstringExtract) {
    EXPECT_EQ(run("SELECT TRIM(BOTH 'x' FROM 'xxabcxx'), TRIM(LEADING 'x' FROM 'xxabcxx'), "
                  "TRIM(TRAILING FROM '  abc  '), TRIM('x' FROM 'xabcx'), TRIM('  a  ') "
                  "FROM password"),
              (Rows{{"abc", "abcxx", "  abc", "abc", "a"}}));
    EXPECT_EQ(run("SELECT SUBSTRING(Company FROM 1 FOR 5), SUBSTRING(Company FROM 7), "
                  "SUBSTRING(Company, 2, 3) FROM customer WHERE CustNo = 1221"),
              (Rows{{"Kauai", "Dive Shoppe", "aua"}}));
    EXPECT_EQ(run("SELECT EXTRACT(YEAR FROM SaleDate), EXTRACT(MONTH FROM SaleDate), "
                  "EXTRACT(DAY FROM SaleDate), EXTRACT(HOUR FROM ShipTime), "
                  "EXTRACT(MINUTE FROM ShipTime), EXTRACT(SECOND FROM ShipTime) "
                  "FROM orders WHERE OrderNo = 1008"),
              (Rows{{"1998", "1", "31", "23", "59", "59"}}));
    EXPECT_EQ(run("SELECT EXTRACT(YEAR FROM '1/23/1998') FROM password"), (Rows{{"1998"}}));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE EXTRACT(YEAR FROM SaleDate) = "
                            "1998 ORDER BY 1")),
                ElementsAre("1007", "1008"));
}

TEST_F(Select, CastForms) {
    EXPECT_EQ(run("SELECT CAST('Kauai Dive' AS CHAR(5)), CAST(Paid AS CHAR(1)), "
                  "CAST(Paid AS INTEGER), CAST('12abc' AS INTEGER), CAST('1/31/1998' AS DATE), "
                  "CAST('10:30 PM' AS TIME), CAST('1/31/1998 1:00' AS TIMESTAMP), "
                  "CAST('3.14159' AS NUMERIC(5,2)), CAST('t' AS BOOLEAN) "
                  "FROM orders WHERE OrderNo = 1005"),
              (Rows{{"Kauai", "F", "0", "12", "1998-01-31", "22:30:00", "1998-01-31 01:00:00",
                     "3.14", "1"}}));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE SaleDate = CAST('4/17/1988' AS "
                            "DATE)")),
                ElementsAre("1004"));
}

TEST_F(Select, DateArithmetic) {
    EXPECT_EQ(run("SELECT SaleDate + 1, SaleDate - 1, SaleDate + (-1), 30 + SaleDate, "
                  "ShipDate - SaleDate FROM orders WHERE OrderNo = 1003"),
              (Rows{{"1988-04-13", "1988-04-11", "1988-04-11", "1988-05-12", "21"}}));
    EXPECT_EQ(run("SELECT SaleDate + 1 FROM orders WHERE OrderNo = 1009"), (Rows{{"1990-01-01"}}));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE ShipDate - SaleDate > 1 ORDER BY 1")),
                ElementsAre("1003", "1007", "1009"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE ShipDate < SaleDate - 30")),
                ElementsAre("1005", "1006"));
    EXPECT_EQ(run("SELECT LastInvoiceDate + 0.5 FROM customer WHERE CustNo = 1231"),
              (Rows{{"1994-01-01 21:00:00"}}));
    EXPECT_EQ(run("SELECT SaleDate - '1/1/1988' FROM orders WHERE OrderNo = 1003"),
              (Rows{{"102"}}));
}

TEST_F(Select, UpperLowerWithNationalLetters) {
    EXPECT_EQ(run("SELECT UPPER(Name), LOWER(Город), UPPER(Straße) FROM kunden WHERE Nr = 1"),
              (Rows{{"ÄPFEL MÜLLER", "москва", "HAUPTSTRAßE"}}));
    EXPECT_THAT(column0(run("SELECT Nr FROM kunden WHERE UPPER(Город) = 'МОСКВА' ORDER BY 1")),
                ElementsAre("1", "2"));
}

TEST_F(Select, ExpressionColumnsKeepTheirWrittenCaption) {
    const Translation t = translate(
        "SELECT UPPER(Company), COUNT(*), CustNo FROM customer "
        "GROUP BY Company, CustNo");
    EXPECT_THAT(t.sql, HasSubstr("UPPER(\"Company\") AS \"UPPER(Company)\""));
    EXPECT_THAT(t.sql, HasSubstr("COUNT(*) AS \"COUNT(*)\""));
    EXPECT_THAT(t.sql, HasSubstr(", \"CustNo\" FROM"));
}

TEST_F(Select, DistinctAggregatesCaseAndConcatenation) {
    EXPECT_EQ(run("SELECT COUNT(DISTINCT ShipVIA), SUM(AmountPaid), MIN(SaleDate) FROM orders"),
              (Rows{{"4", "30453", "1988-04-12"}}));
    EXPECT_EQ(run("SELECT CASE WHEN Paid = 'T' THEN 'paid' ELSE 'open' END || '/' || ShipVIA "
                  "FROM orders WHERE OrderNo = 1005"),
              (Rows{{"open/FedEx"}}));
    EXPECT_EQ(run("SELECT DISTINCT Country FROM customer WHERE Country LIKE 'US%' ORDER BY 1"),
              (Rows{{"US"}, {"US Virgin Islands"}}));
}

TEST_F(Select, UnknownFunctionsAndStatementsPassThrough) {
    EXPECT_EQ(run("SELECT abs(-3), coalesce(NULL, 'x'), printf('%05d', 42) FROM password"),
              (Rows{{"3", "x", "00042"}}));
    const Translation t = translate("PRAGMA table_info(\"customer\");");
    EXPECT_EQ(t.kind, StatementKind::Other);
    EXPECT_EQ(t.sql, "PRAGMA table_info(\"customer\")");
    EXPECT_EQ(db.query(t.sql).size(), 6u);
}

}  // namespace
}  // namespace orn::sql::test
