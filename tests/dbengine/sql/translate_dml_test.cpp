// INSERT, UPDATE and DELETE: translated text and its effect on the rows.
#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class Dml : public Fixture {
  protected:
    void exec(const std::string& text) {
        const Translation t = translate(text);
        db.exec(t.sql);
    }
};

TEST_F(Dml, InsertWithFewerValuesFillsTheFirstFields) {
    const Translation t = translate("INSERT INTO customer VALUES (2000, \"New Co\")");
    EXPECT_EQ(t.kind, StatementKind::Insert);
    EXPECT_EQ(t.sql, "INSERT INTO \"customer\" (\"CustNo\", \"Company\") VALUES (2000, 'New Co')");
    db.exec(t.sql);
    EXPECT_EQ(db.query("SELECT \"Company\", \"City\" FROM customer WHERE \"CustNo\" = 2000"),
              (Rows{{"New Co", "NULL"}}));
}

TEST_F(Dml, InsertConvertsLiteralsToTheTargetFieldTypes) {
    exec(
        "INSERT INTO orders (OrderNo, SaleDate, Paid, ShipTime) VALUES (2001, '2/3/2026', 'True', "
        "'1:05 PM')");
    exec(
        "INSERT INTO orders VALUES (2002, 1221, \"12/24/99\", NULL, 'UPS', 10, FALSE, 'F', "
        "'00:00')");
    EXPECT_EQ(db.query("SELECT \"SaleDate\", \"Paid\", \"ShipTime\" FROM orders WHERE "
                       "\"OrderNo\" >= 2001 ORDER BY \"OrderNo\""),
              (Rows{{"2026-02-03", "1", "13:05:00"}, {"1999-12-24", "0", "00:00:00"}}));
    EXPECT_THROW(translate("INSERT INTO orders (OrderNo, SaleDate) VALUES (1, '31/12/2026')"),
                 SqlError);
}

TEST_F(Dml, InsertSelectAndMultipleRows) {
    exec(
        "INSERT INTO \"Customer Revenue.db\" SELECT Company, SUM(AmountPaid) FROM customer C, "
        "orders O WHERE C.CustNo = O.CustNo GROUP BY Company");
    EXPECT_EQ(db.query("SELECT COUNT(*) FROM \"customer revenue\"")[0][0], "7");
    exec("INSERT INTO password (User, Level) VALUES ('a', 1), ('b', 2)");
    EXPECT_EQ(db.query("SELECT COUNT(*) FROM password")[0][0], "3");
    // a select with fewer columns than the table also gets a column list
    EXPECT_THAT(sqlOf("INSERT INTO customer SELECT CustNo, 'x' FROM orders"),
                HasSubstr("INSERT INTO \"customer\" (\"CustNo\", \"Company\") SELECT"));
}

TEST_F(Dml, UpdateWithCorrelationNameAndQualifiedTargets) {
    const Translation t = translate(
        "UPDATE 'orders.db' T SET T.'ShipVIA' = \"Boat\", T.SaleDate = '1/2/2026' "
        "WHERE T.'OrderNo' = 1003");
    EXPECT_EQ(t.sql,
              "UPDATE \"orders\" AS \"T\" SET \"ShipVIA\" = 'Boat', \"SaleDate\" = '2026-01-02' "
              "WHERE \"T\".\"OrderNo\" = 1003");
    db.exec(t.sql);
    EXPECT_EQ(db.query("SELECT \"ShipVIA\", \"SaleDate\" FROM orders WHERE \"OrderNo\" = 1003"),
              (Rows{{"Boat", "2026-01-02"}}));
    EXPECT_EQ(db.query("SELECT COUNT(*) FROM orders WHERE \"ShipVIA\" = 'Boat'")[0][0], "1");
}

TEST_F(Dml, UpdateWithCorrelatedSubqueryAndBooleans) {
    exec(
        "UPDATE customer SET Preferred = 'T' WHERE CustNo IN (SELECT O.CustNo FROM orders O "
        "WHERE O.AmountPaid > 5000)");
    EXPECT_EQ(db.query("SELECT \"Preferred\" FROM customer WHERE \"CustNo\" = 1380")[0][0], "1");
    exec(
        "UPDATE customer C SET City = (SELECT MAX(O.ShipVIA) FROM orders O WHERE O.CustNo = "
        "C.CustNo) WHERE C.Country = 'US'");
    EXPECT_EQ(db.query("SELECT \"City\" FROM customer WHERE \"CustNo\" = 1221")[0][0], "UPS");
}

TEST_F(Dml, DeleteWithCorrelationNameAndDateCondition) {
    const Translation t =
        translate("DELETE FROM 'orders.db' T WHERE T.SaleDate < '1/1/1990' AND T.Paid = 'True'");
    EXPECT_EQ(t.sql,
              "DELETE FROM \"orders\" AS \"T\" WHERE \"T\".\"SaleDate\" < '1990-01-01' AND "
              "\"T\".\"Paid\" = 1");
    db.exec(t.sql);
    // as text, every ISO date is below '1/1/1990' and all five paid orders would go
    EXPECT_THAT(column0(db.query("SELECT \"OrderNo\" FROM orders ORDER BY 1")),
                ElementsAre("1005", "1006", "1007", "1008", "1009"));
    exec("DELETE FROM orders WHERE ShipDate = NULL");
    EXPECT_EQ(db.query("SELECT COUNT(*) FROM orders")[0][0], "4");
}

}  // namespace
}  // namespace orn::sql::test
