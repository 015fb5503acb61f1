// :name parameters of a query: values by name, conversion to the column they meet, refusal to run
// with a value missing, and the same through statements without a result.
#include <gtest/gtest.h>

#include "dataset_test_support.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/calendar.h"

namespace orn::db {
namespace {

std::vector<std::string> column(Query& q, const std::string& field) {
    std::vector<std::string> out;
    for (q.first(); !q.eof(); q.next()) {
        out.push_back(q.fieldByName(field).asString());
    }
    return out;
}

std::string errorOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const EngineError& e) {
        return e.what();
    }
    return "<no error>";
}

// Parts: Id 1..20, Name "name<i>", Amount i * 1.5, in both formats.
class QueryParams : public ::testing::TestWithParam<TableFormat> {
  protected:
    void SetUp() override {
        ORN_REQUIRE_FORMAT(file = makeKeyedTable(dir.path(), "parts", 20, GetParam()));
        q.setDatabaseDir(dir.path());
    }
    std::vector<std::string> ids(const std::string& sql) {
        q.setSql(sql);
        q.open();
        return column(q, "Id");
    }
    std::int64_t count(const std::string& where) {
        Query c(dir.path());
        c.setSql("SELECT count(*) AS n FROM parts " + where);
        c.open();
        return static_cast<std::int64_t>(c.field(0).asFloat());
    }

    TempDir dir;
    std::filesystem::path file;
    Query q;
};

TEST_P(QueryParams, BindsByNameIgnoringCaseAndOneNameUsedTwiceIsOneValue) {
    q.params().setInteger("id", 3);
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE Id = :Id OR Id = :ID + 10 ORDER BY Id"),
              (std::vector<std::string>{"3", "13"}));
    EXPECT_EQ(q.paramNames(), std::vector<std::string>{"Id"});

    q.params().setText("part name", "name7");
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE Name = :\"Part Name\""),
              std::vector<std::string>{"7"});
    EXPECT_EQ(q.paramNames(), std::vector<std::string>{"Part Name"});
}

TEST_P(QueryParams, ValuesSurviveCloseOpenAndNewTextUntilCleared) {
    q.params().setNumber("low", 18.5);
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE Id > :low"), (std::vector<std::string>{"19", "20"}));
    q.close();
    q.open();
    EXPECT_EQ(column(q, "Id").size(), 2u);
    q.params().setInteger("LOW", 15);  // replaces, whatever the case
    EXPECT_EQ(q.params().names(), std::vector<std::string>{"low"});
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE :low < Id").size(), 5u);
    q.params().clear();
    EXPECT_NE(errorOf([&] { q.open(); }).find("No value for parameter 'low'"), std::string::npos);
}

TEST_P(QueryParams, AMissingValueFailsNamingItAndNullIsAValue) {
    q.setSql("SELECT Id FROM parts WHERE Name = :who OR Id = :\"Order No\"");
    q.params().setText("who", "name1");
    EXPECT_EQ(errorOf([&] { q.open(); }), "No value for parameter 'Order No'");
    EXPECT_FALSE(q.active());
    q.params().setNull("order no");
    q.open();
    EXPECT_EQ(column(q, "Id"), std::vector<std::string>{"1"});  // Id = NULL matches nothing

    q.setSql("SELECT Id FROM parts WHERE Id = ?");
    EXPECT_NE(errorOf([&] { q.open(); }).find("No value for parameter ?1"), std::string::npos);
}

TEST_P(QueryParams, TextMeetingANumberColumnMustBeANumber) {
    q.params().setText("a", " 27 ");
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE Amount > :a"),
              (std::vector<std::string>{"19", "20"}));
    q.params().setText("a", "27 kg");
    EXPECT_EQ(errorOf([&] { q.open(); }), "Parameter 'a': '27 kg' is not a valid number");
}

TEST_P(QueryParams, LikeTakesThePatternFromAParameter) {
    q.params().setText("pattern", "name1%");
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE Name LIKE :pattern").size(), 11u);
    q.params().setText("pattern", "NAME1%");  // the dialect's LIKE minds letter case
    EXPECT_EQ(ids("SELECT Id FROM parts WHERE Name LIKE :pattern").size(), 0u);
}

TEST_P(QueryParams, StatementsWithoutResultBindTheirParameters) {
    q.params().setInteger("id", 21);
    q.params().setText("name", "fresh");
    q.params().setText("amount", "2.25");
    q.setSql("INSERT INTO parts (Id, Name, Amount) VALUES (:id, :name, :amount)");
    q.execute();
    EXPECT_EQ(count("WHERE Name = 'fresh' AND Amount = 2.25 AND Id = 21"), 1);

    q.setSql("UPDATE parts SET Name = :name WHERE Id < :id - 18");
    q.execute();
    EXPECT_EQ(count("WHERE Name = 'fresh'"), 3);

    q.setSql("DELETE FROM parts WHERE Name = :name AND Id <> :ID");
    q.execute();
    EXPECT_EQ(count(""), 19);

    q.params().remove("name");
    q.setSql("DELETE FROM parts WHERE Name = :name");
    EXPECT_EQ(errorOf([&] { q.execute(); }), "No value for parameter 'name'");
    EXPECT_EQ(count(""), 19);
}

TEST_P(QueryParams, AParameterInATableDefinitionIsRefused) {
    q.params().setText("x", "Extra");
    q.setSql("ALTER TABLE parts ADD :x INTEGER");
    EXPECT_NE(errorOf([&] { q.execute(); }).find("Parameters cannot be used in CREATE, ALTER"),
              std::string::npos);
    q.setSql("CREATE TABLE extra (A CHAR(:x))");
    EXPECT_NE(errorOf([&] { q.execute(); }).find("':x'"), std::string::npos);
    q.setSql("DROP TABLE :x");
    EXPECT_NE(errorOf([&] { q.execute(); }).find("Parameters cannot be used"), std::string::npos);
    EXPECT_EQ(count(""), 20);
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->fields().size(), 3u);
}

TEST_P(QueryParams, LiveResultsCountAndEditWithParameters) {
    q.setLive(true);
    q.params().setInteger("from", 16);
    q.setSql("SELECT * FROM parts WHERE Id >= :from");
    q.open();
    ASSERT_TRUE(q.canModify());
    EXPECT_EQ(q.recordCount(), 5);
    q.edit();
    q.fieldByName("Name").setAsString("edited");
    q.post();
    q.append();
    q.fieldByName("Id").setAsString("30");
    q.fieldByName("Name").setAsString("appended");
    q.post();
    EXPECT_EQ(q.recordCount(), 6);
    q.close();
    EXPECT_EQ(count("WHERE Name IN ('edited', 'appended')"), 2);
}

TEST_P(QueryParams, StatementsPassedOnAsWrittenBindByName) {
    q.setSql("WITH t AS (SELECT :v AS a) SELECT a FROM t");
    EXPECT_EQ(errorOf([&] { q.open(); }), "No value for parameter 'v'");
    q.params().setText("V", "given");
    q.open();
    EXPECT_EQ(column(q, "a"), std::vector<std::string>{"given"});
}

INSTANTIATE_TEST_SUITE_P(Formats, QueryParams,
                         ::testing::Values(TableFormat::Paradox, TableFormat::DBase),
                         [](const auto& info) {
                             return info.param == TableFormat::Paradox ? "Paradox" : "dBASE";
                         });

// Calendar columns hold ISO text in SQL; a parameter must meet them in that form whatever way
// the user typed the value.
class CalendarParams : public ::testing::TestWithParam<TableFormat> {
  protected:
    void SetUp() override {
        const bool paradox = GetParam() == TableFormat::Paradox;
        TableCreate layout;
        layout.fields = {
            makeField("No", paradox ? FieldType::Long : FieldType::Number, paradox ? 0 : 6),
            makeField("Shipped", FieldType::Date)};
        if (paradox) {
            layout.fields.push_back(makeField("Stamp", FieldType::Timestamp));
            layout.fields.push_back(makeField("At", FieldType::Time));
        }
        file = dir.path() / (paradox ? "orders.db" : "orders.dbf");
        ORN_REQUIRE_FORMAT(fill(layout));
        q.setDatabaseDir(dir.path());
    }
    // Order i was shipped on 2024-05-0i, stamped at i o'clock that day, at i o'clock.
    void fill(const TableCreate& layout) {
        const bool paradox = GetParam() == TableFormat::Paradox;
        auto t = Table::create(file, GetParam(), layout);
        t->begin();
        for (int i = 1; i <= 9; ++i) {
            Record r{paradox ? Value{std::int64_t{i}} : Value{double(i)},
                     Date{dayNumber(2024, 5, i)}};
            if (paradox) {
                r.push_back(Timestamp{dayNumber(2024, 5, i) * 86400000.0 + i * 3600000.0});
                r.push_back(TimeOfDay{i * 3600000});
            }
            t->insert(r);
        }
        t->commit();
    }
    std::vector<std::string> nos(const std::string& sql) {
        q.setSql(sql);
        q.open();
        return column(q, "No");
    }
    TempDir dir;
    std::filesystem::path file;
    Query q;
};

TEST_P(CalendarParams, DatesTypedAnyWayMeetADateColumn) {
    q.params().setText("d", "5/3/2024");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE Shipped = :d"), std::vector<std::string>{"3"});
    q.params().setText("d", "2024-05-07");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE Shipped > :d ORDER BY No"),
              (std::vector<std::string>{"8", "9"}));
    q.params().setText("from", "05/02/24");
    q.params().setText("to", "2024-05-04 00:00:00");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE Shipped BETWEEN :from AND :to").size(), 3u);
    q.params().setText("d", "31/12/2024");
    EXPECT_EQ(errorOf([&] { nos("SELECT No FROM orders WHERE Shipped = :d"); }),
              "Parameter 'd': '31/12/2024' is not a valid date");
    q.params().setNumber("d", 45000);
    EXPECT_NE(errorOf([&] {
                  nos("SELECT No FROM orders WHERE Shipped = :d");
              }).find("is not a valid date"),
              std::string::npos);
}

TEST_P(CalendarParams, DateParametersInStatementsWithoutResult) {
    q.params().setText("d", "5/20/2024");
    q.params().setInteger("no", 2);
    q.setSql("UPDATE orders SET Shipped = :d WHERE No = :no");
    q.execute();
    q.params().setText("d", "2024-05-20");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE Shipped = :d"), std::vector<std::string>{"2"});
}

TEST_P(CalendarParams, TimesAndTimestampsMeetTheirColumns) {
    if (GetParam() != TableFormat::Paradox) {
        GTEST_SKIP() << "dBASE tables here have no time or timestamp fields";
    }
    q.params().setText("ts", "5/4/2024 4:00 AM");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE Stamp = :ts"), std::vector<std::string>{"4"});
    q.params().setText("ts", "2024-05-08");  // a date alone is midnight
    EXPECT_EQ(nos("SELECT No FROM orders WHERE Stamp > :ts ORDER BY No"),
              (std::vector<std::string>{"8", "9"}));
    q.params().setText("t", "6:00 pm");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE At < :t").size(), 9u);
    q.params().setText("t", "5:00");
    EXPECT_EQ(nos("SELECT No FROM orders WHERE At = :t"), std::vector<std::string>{"5"});
}

INSTANTIATE_TEST_SUITE_P(Formats, CalendarParams,
                         ::testing::Values(TableFormat::Paradox, TableFormat::DBase),
                         [](const auto& info) {
                             return info.param == TableFormat::Paradox ? "Paradox" : "dBASE";
                         });

TEST(QueryParamNames, NamesInOrderOnceWithoutAliasesOrPositionalMarks) {
    Query q;
    q.setSql(
        "SELECT * FROM :WORK:orders o, :WORK:\"cust.db\" WHERE o.a = :b AND c = :\"x y\"\n"
        "AND d = ? AND e = :B AND f = ':notaparam' -- :comment");
    EXPECT_EQ(q.paramNames(), (std::vector<std::string>{"b", "x y"}));
    q.setSql("SELECT 'unterminated");
    EXPECT_TRUE(q.paramNames().empty());
}

}  // namespace
}  // namespace orn::db
