// Literals and parameters: the cases where a naive token rewrite gives a silently wrong answer.
#include "dbengine/sql/literals.h"
#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(Literals, DatesInTheDialectsFormsBecomeIso) {
    EXPECT_EQ(dateToIso("1/23/1998"), "1998-01-23");
    EXPECT_EQ(dateToIso(" 01/02/2026 "), "2026-01-02");
    EXPECT_EQ(dateToIso("10/01/99"), "1999-10-01");
    EXPECT_EQ(dateToIso("2/29/00"), "2000-02-29");
    EXPECT_EQ(dateToIso("12/31/49"), "2049-12-31");
    EXPECT_EQ(dateToIso("1/1/50"), "1950-01-01");
    EXPECT_EQ(dateToIso("1998-01-31"), "1998-01-31");
    for (const char* bad : {"2/30/1998", "13/1/1998", "0/1/1998", "1/23", "1/23/198", "abc", "",
                            "2/29/1900", "1998-1-31x", "1/2/3/4"})
        EXPECT_EQ(dateToIso(bad), std::nullopt) << bad;
}

TEST(Literals, TimesWithAmPmAndTimestamps) {
    EXPECT_EQ(timeToIso("10:30:00 PM"), "22:30:00");
    EXPECT_EQ(timeToIso("10:30 pm"), "22:30:00");
    EXPECT_EQ(timeToIso("12:00:00 AM"), "00:00:00");
    EXPECT_EQ(timeToIso("12:15:00 PM"), "12:15:00");
    EXPECT_EQ(timeToIso("15:03:22 AM"), "15:03:22");  // hour above 12 with AM is 24-hour time
    EXPECT_EQ(timeToIso("13:00:00"), "13:00:00");
    EXPECT_EQ(timeToIso("08:05:01.250"), "08:05:01.250");
    EXPECT_EQ(timeToIso("24:00:00"), std::nullopt);
    EXPECT_EQ(timeToIso("10:60"), std::nullopt);
    EXPECT_EQ(timestampToIso("01/01/2026 12:01:00"), "2026-01-01 12:01:00");
    EXPECT_EQ(timestampToIso("1/23/1998 10:30 PM"), "1998-01-23 22:30:00");
    EXPECT_EQ(timestampToIso("1/23/1998"), "1998-01-23 00:00:00");
    EXPECT_EQ(timestampToIso("1998-01-23T07:00:00"), "1998-01-23 07:00:00");
    EXPECT_EQ(timestampToIso("1/23/1998 25:00"), std::nullopt);
    EXPECT_EQ(booleanFromText("True"), 1);
    EXPECT_EQ(booleanFromText("f"), 0);
    EXPECT_EQ(booleanFromText(" FALSE "), 0);
    EXPECT_EQ(booleanFromText("yes"), std::nullopt);
}

class LiteralRewrites : public Fixture {};

TEST_F(LiteralRewrites, DoubleQuotedTextInValuePositionIsAString) {
    // SQLite with DQS on reads "Company" as the column and matches every row.
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer WHERE Company = \"Company\"")),
                ElementsAre("1380"));
    EXPECT_EQ(sqlOf("SELECT * FROM customer WHERE Country = \"US\""),
              "SELECT * FROM \"customer\" WHERE \"Country\" = 'US'");
    EXPECT_THAT(column0(run("SELECT \"it's\" || ' ' || 'a \"test\"' FROM password")),
                ElementsAre("it's a \"test\""));
}

TEST_F(LiteralRewrites, DatesCompareAsDatesNotAsText) {
    // As text, '1998-01-23' <= '1/23/1998' is false for every row.
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE SaleDate <= \"1/23/1998\" "
                            "ORDER BY OrderNo")),
                ElementsAre("1003", "1004", "1005", "1006", "1007", "1009"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE SaleDate BETWEEN '1/1/1988' AND "
                            "'12/31/1988' ORDER BY 1")),
                ElementsAre("1003", "1004", "1005"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE SaleDate IN ('1/23/1998', "
                            "\"01/31/98\")")),
                ElementsAre("1007", "1008"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE '4/17/1988' = SaleDate")),
                ElementsAre("1004"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE SaleDate > DATE '1994-01-01' "
                            "ORDER BY 1")),
                ElementsAre("1006", "1007", "1008"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders GROUP BY OrderNo "
                            "HAVING MAX(SaleDate) < '1/1/1989'")),
                ElementsAre("1003", "1004", "1005"));
}

TEST_F(LiteralRewrites, TimesAndTimestampsCompareInTheirOwnForm) {
    // '10:30:00 PM' as text sorts below '13:30:00'; as a time it is 22:30.
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE ShipTime >= '10:30:00 PM' "
                            "ORDER BY 1")),
                ElementsAre("1005", "1008"));
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer "
                            "WHERE LastInvoiceDate = '01/01/1994 2:30:00 PM'")),
                ElementsAre("1221"));
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer WHERE LastInvoiceDate >= '1/1/1994' "
                            "ORDER BY 1")),
                ElementsAre("1221", "1231", "1351"));
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer "
                            "WHERE LastInvoiceDate = DATE '1995-06-30'")),
                ElementsAre("1351"));
}

TEST_F(LiteralRewrites, QuotedBooleansMeetingLogicalFields) {
    EXPECT_THAT(column0(run("SELECT CustNo FROM customer WHERE Preferred = 'True' ORDER BY 1")),
                ElementsAre("1221", "1351", "1384"));
    // Unconverted, "False" is never equal to 0 and this returns both paid orders.
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders "
                            "WHERE (Paid = TRUE) AND NOT (Incomplete = \"False\")")),
                ElementsAre("1004"));
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE Paid = 'F' ORDER BY 1")),
                ElementsAre("1005", "1007"));
}

TEST_F(LiteralRewrites, EqualsNullMeansIsNull) {
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE ShipDate = NULL")),
                ElementsAre("1008"));
    EXPECT_EQ(run("SELECT OrderNo FROM orders WHERE AmountPaid <> NULL").size(), 6u);
    EXPECT_EQ(run("SELECT OrderNo FROM orders WHERE NULL ^= Paid").size(), 6u);
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE (ShipDate = NULL) OR OrderNo = "
                            "1003 ORDER BY 1")),
                ElementsAre("1003", "1008"));
}

TEST_F(LiteralRewrites, LiteralsThatDoNotFitTheirFieldAreRejected) {
    try {
        translate("SELECT * FROM orders WHERE SaleDate = '2/30/1998'");
        FAIL();
    } catch (const SqlError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Invalid date value '2/30/1998'"));
        EXPECT_EQ(e.position(), 38u);
    }
    EXPECT_THROW(translate("SELECT * FROM orders WHERE Paid = 'maybe'"), SqlError);
    EXPECT_THROW(translate("SELECT * FROM orders WHERE SaleDate = '1/2/1998 10:00'"), SqlError);
    EXPECT_THAT(column0(run("SELECT OrderNo FROM orders WHERE SaleDate = '4/17/1988 00:00:00'")),
                ElementsAre("1004"));
    EXPECT_THROW(translate("SELECT * FROM orders WHERE ShipTime = '25:00'"), SqlError);
    EXPECT_THROW(translate("SELECT DATE '1998-02-30' FROM orders"), SqlError);
}

TEST_F(LiteralRewrites, NumbersComparedWithQuotedNumbersStillMatch) {
    EXPECT_THAT(column0(run("SELECT Company FROM customer WHERE CustNo = '1221'")),
                ElementsAre("Kauai Dive Shoppe"));
}

class Parameters : public Fixture {};

TEST_F(Parameters, NamedQuotedAndRepeatedParametersAreNumbered) {
    const Translation t = translate(
        "SELECT OrderNo FROM orders WHERE CustNo = :\"Cust No\" AND (SaleDate > :From OR "
        "ShipDate > :from) AND Paid = ?");
    EXPECT_THAT(t.sql, HasSubstr("\"CustNo\" = ?1 AND (\"SaleDate\" > ?2 OR \"ShipDate\" > ?2) "
                                 "AND \"Paid\" = ?3"));
    ASSERT_EQ(t.parameters.size(), 3u);
    EXPECT_EQ(t.parameters[0].name, "Cust No");
    EXPECT_EQ(t.parameters[0].type, ValueType::Number);
    EXPECT_EQ(t.parameters[1].name, "From");
    EXPECT_EQ(t.parameters[1].type, ValueType::Date);
    EXPECT_EQ(t.parameters[2].name, "");
    EXPECT_EQ(t.parameters[2].type, ValueType::Boolean);
    EXPECT_THAT(column0(db.query(t.sql, {"1221", "1990-01-01", "1"})), ElementsAre("1008"));
}

TEST_F(Parameters, NumberedInTextOrderAcrossClauses) {
    const Translation t = translate(
        "SELECT :a, (SELECT COUNT(*) FROM orders WHERE CustNo = :b) FROM customer "
        "WHERE CustNo = :c ORDER BY 1");
    ASSERT_EQ(t.parameters.size(), 3u);
    EXPECT_EQ(t.parameters[0].name, "a");
    EXPECT_EQ(t.parameters[1].name, "b");
    EXPECT_EQ(t.parameters[2].name, "c");
    EXPECT_EQ(db.query(t.sql, {"x", "1221", "1221"}), (Rows{{"x", "2"}}));
}

}  // namespace
}  // namespace orn::sql::test
