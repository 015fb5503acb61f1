// Table references and column names: every form a statement may name a table or field in.

#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class TableRefs : public Fixture {};

TEST_F(TableRefs, EveryFormOfTheNameReachesTheSameTable) {
    for (const std::string from :
         {"customer", "Customer", "CUSTOMER", "\"customer.db\"", "\"CUSTOMER.DB\"", "'Customer.db'",
          "customer.db", "Customer.DB", "\"/data/customer.db\"", "\"c:\\sample\\CUSTOMER.DB\"",
          "'C:/SAMPLE/customer.db'", "\":DBDEMOS:Customer.db\"", ":DBDEMOS:customer",
          ":DBDEMOS:customer.db", "[customer]"}) {
        SCOPED_TRACE(from);
        const Translation t = translate("SELECT CustNo FROM " + from + " WHERE CustNo = 1221");
        ASSERT_EQ(t.tables.size(), 1u);
        EXPECT_EQ(t.tables[0].sqlName, "customer");
        EXPECT_EQ(t.tables[0].file, "/data/customer.db");
        EXPECT_THAT(column0(db.query(t.sql)), ElementsAre("1221"));
    }
}

TEST_F(TableRefs, BlanksKeywordsAndDbaseFiles) {
    EXPECT_THAT(column0(run("SELECT Company FROM \"Customer Revenue.db\" ORDER BY Company")),
                ElementsAre("Sight Diver", "Unisco"));
    // ORDER is a keyword, yet ORDER.DBF is a file name
    EXPECT_THAT(column0(run("SELECT SUM(QTY) FROM ORDER.DBF")), ElementsAre("30"));
    EXPECT_THAT(column0(run("SELECT \"password\".User FROM \"Password\"")), ElementsAre("admin"));
    EXPECT_THAT(column0(run("SELECT DESCRIPT FROM parts WHERE PARTNO = 900")),
                ElementsAre("Dive kayak"));
    const Translation t = translate("SELECT * FROM parts");
    EXPECT_EQ(t.tables[0].format, db::TableFormat::DBase);
}

TEST_F(TableRefs, UnknownTableNamesTheTableAndIsNotPassedOn) {
    try {
        translate("SELECT * FROM customer, \"nosuch.db\"");
        FAIL() << "no error";
    } catch (const SqlError& e) {
        EXPECT_THAT(e.what(), HasSubstr("nosuch.db"));
        EXPECT_EQ(e.position(), 24u);
    }
}

TEST_F(TableRefs, QuotedFileNameAsQualifierMapsToTheRegisteredName) {
    const Translation t = translate(
        "SELECT \"customer.db\".Company FROM \"customer.db\" WHERE \"customer.db\".CustNo = 1231");
    EXPECT_EQ(
        t.sql,
        "SELECT \"customer\".\"Company\" FROM \"customer\" WHERE \"customer\".\"CustNo\" = 1231");
    EXPECT_THAT(column0(db.query(t.sql)), ElementsAre("Unisco"));
}

TEST_F(TableRefs, QualifierNamingTheFileOfAnAliasedTableBecomesTheAlias) {
    // A real statement shape: the file is aliased, but its file name is still used as qualifier.
    const Rows rows =
        run("SELECT ORDERS.OrderNo, \"ORDERS.DB\".ShipVIA FROM \"ORDERS.DB\" ORDERS "
            "WHERE \"ORDERS.DB\".ShipVIA = 'DHL' ORDER BY ORDERS.OrderNo");
    EXPECT_EQ(rows, (Rows{{"1004", "DHL"}, {"1009", "DHL"}}));
    EXPECT_THAT(sqlOf("SELECT orders.OrderNo FROM orders O"),
                HasSubstr("SELECT \"O\".\"OrderNo\" FROM \"orders\" AS \"O\""));
}

TEST_F(TableRefs, StarAndColumnsQualifiedByTheFileName) {
    EXPECT_EQ(sqlOf("SELECT \"customer.db\".* FROM \"customer.db\""),
              "SELECT \"customer\".* FROM \"customer\"");
    EXPECT_THAT(column0(run("SELECT customer.db.Company FROM customer.db WHERE "
                            "CUSTOMER.DB.CustNo = 1231")),
                ElementsAre("Unisco"));
    EXPECT_EQ(run("SELECT C.* FROM \"customer.db\" C WHERE C.CustNo = 1231").at(0).size(), 6u);
}

TEST_F(TableRefs, CorrelationNamesWithAndWithoutAs) {
    const Rows rows =
        run("SELECT C.Company, O.OrderNo FROM \"customer.db\" C, orders AS O "
            "WHERE C.CustNo = O.CustNo AND O.OrderNo < 1005 ORDER BY O.OrderNo");
    EXPECT_EQ(rows, (Rows{{"Sight Diver", "1003"}}));
    EXPECT_THAT(column0(run("SELECT c.* FROM customer c WHERE c.CustNo = 1231")),
                ElementsAre("1231"));
}

TEST_F(TableRefs, QuotedColumnNeedsAPrefixWithoutItIsText) {
    // E."Emp Id" is the field; a bare "Emp Id" is the text itself.
    EXPECT_THAT(column0(run("SELECT E.\"Emp Id\" FROM employee E WHERE E.LastName = 'Young'")),
                ElementsAre("4"));
    EXPECT_THAT(column0(run("SELECT \"Emp Id\" FROM employee E WHERE E.LastName = 'Young'")),
                ElementsAre("Emp Id"));
    // A naive rewriter keeps "Species Name" and SQLite returns the column for all three rows;
    // the dialect compares with the text and only the oddly named species matches.
    EXPECT_THAT(column0(run("SELECT B.\"Species No\" FROM biolife B "
                            "WHERE B.\"Species Name\" = \"Species Name\"")),
                ElementsAre("90050"));
    EXPECT_THAT(column0(run("SELECT DateLog.\"Date\" FROM employee DateLog "
                            "WHERE DateLog.LastName = 'Nelson'")),
                ElementsAre("1988-12-28"));
}

TEST_F(TableRefs, SingleQuotedNameAfterAQualifierIsAColumn) {
    EXPECT_THAT(column0(run("SELECT T.'Company' FROM customer T WHERE T.'CustNo' = 1231")),
                ElementsAre("Unisco"));
}

TEST_F(TableRefs, FieldNamesAreMatchedIgnoringCaseIncludingNationalLetters) {
    const Translation t =
        translate("SELECT k.ГОРОД, k.STRAßE FROM kunden k WHERE k.straße IS NULL");
    EXPECT_THAT(t.sql, HasSubstr("\"k\".\"Город\""));  // canonical spelling emitted
    EXPECT_THAT(column0(run("SELECT KUNDEN.ГОРОД FROM kunden WHERE kunden.STRAßE = 'Ölweg'")),
                ElementsAre("Киев"));
    EXPECT_THAT(column0(run("SELECT custno FROM CUSTOMER WHERE COMPANY = 'Unisco'")),
                ElementsAre("1231"));
}

TEST_F(TableRefs, HeterogeneousJoinOfParadoxAndDbase) {
    const Translation t = translate(
        "SELECT p.DESCRIPT, c.Company FROM \"parts.dbf\" p JOIN customer c ON p.PARTNO + 321 = "
        "c.CustNo");
    ASSERT_EQ(t.tables.size(), 2u);
    EXPECT_EQ(t.tables[0].format, db::TableFormat::DBase);
    EXPECT_EQ(t.tables[1].format, db::TableFormat::Paradox);
    EXPECT_EQ(db.query(t.sql), (Rows{{"Dive kayak", "Kauai Dive Shoppe"}}));
}

TEST_F(TableRefs, EachTableIsLookedUpAndListedOnce) {
    const Translation t = translate(
        "SELECT a.CustNo FROM customer a, \"CUSTOMER.DB\" b WHERE a.CustNo = b.CustNo AND "
        "a.CustNo IN (SELECT CustNo FROM Customer)");
    EXPECT_EQ(t.tables.size(), 1u);
    EXPECT_EQ(db.query(t.sql).size(), 7u);
}

}  // namespace
}  // namespace orn::sql::test
