// Completion of table and field names while a statement is written.
#include "workbench/sqlcompletion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "workbench/workbench_test_support.h"

namespace orn::testing {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

class SqlCompletionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orn_completion_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        MakeTable(
            dir_ / "customers.db", db::TableFormat::Paradox,
            {makeField("CustNo", db::FieldType::Long), makeField("Name", db::FieldType::Alpha, 20),
             makeField("Credit Limit", db::FieldType::Number)},
            {});
        MakeTable(
            dir_ / "Orders.DBF", db::TableFormat::DBase,
            {makeField("ORDERNO", db::FieldType::Long), makeField("CUSTNO", db::FieldType::Long)},
            {});
        std::ofstream(dir_ / "notes.txt") << "not a table";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Completes at the end of the text, or where "|" stands.
    TCompletions At(const std::string& marked) {
        const std::size_t bar = marked.find('|');
        std::string text = marked;
        std::size_t cursor = text.size();
        if (bar != std::string::npos) {
            text.erase(bar, 1);
            cursor = bar;
        }
        return completion_.Complete(dir_.string(), text, cursor);
    }

    fs::path dir_;
    TSqlCompletion completion_;
};

TEST(TablesNamed, FindsTablesAndTheirCorrelationNamesWhereverAStatementNamesThem) {
    const std::vector<TNamedTable> tables = TablesNamed(
        "select * from customers c, \"Orders.dbf\" as o -- , ignored\n"
        "join parts on parts.id = o.part where x in (select a from 'inner.db') /* from gone */");
    ASSERT_EQ(tables.size(), 4u);
    EXPECT_EQ(tables[0].name, "customers");
    EXPECT_EQ(tables[0].alias, "c");
    EXPECT_EQ(tables[1].name, "Orders.dbf");
    EXPECT_EQ(tables[1].alias, "o");
    EXPECT_EQ(tables[2].name, "parts");
    EXPECT_EQ(tables[2].alias, "");  // ON ends the reference
    EXPECT_EQ(tables[3].name, "inner.db");

    EXPECT_EQ(TablesNamed("update stock set qty = 1").at(0).name, "stock");
    EXPECT_EQ(TablesNamed("insert into \"log.db\" values (1)").at(0).name, "log.db");
    // A statement cut off while it is typed: an open quote runs to the end.
    ASSERT_EQ(TablesNamed("select a, b from \"half").size(), 1u);
    EXPECT_EQ(TablesNamed("select a, b from \"half").at(0).name, "half");
    // Commas of the select list and of a WHERE name no tables.
    EXPECT_TRUE(TablesNamed("select a, b where c in (1, 2)").empty());
    EXPECT_TRUE(TablesNamed("").empty());
}

TEST_F(SqlCompletionTest, TablesOfTheDirectoryAfterFromAndDbaseTablesByTheirFileName) {
    TCompletions c = At("select * from ");
    EXPECT_EQ(c.words, (Words{"customers", "\"Orders.DBF\""}));
    c = At("select * from CU");
    EXPECT_EQ(c.words, Words{"customers"});
    EXPECT_EQ(c.start, 14u);
    EXPECT_EQ(c.prefix, "CU");
    // An opening quote is part of what the word replaces.
    c = At("select * from customers, \"or");
    EXPECT_EQ(c.words, Words{"\"Orders.DBF\""});
    EXPECT_EQ(c.start, 25u);
    // A table the directory gains is offered at the next ask.
    MakeTable(dir_ / "cuts.db", db::TableFormat::Paradox, {makeField("A", db::FieldType::Long)},
              {});
    EXPECT_EQ(At("select * from cu").words, (Words{"customers", "cuts"}));
    EXPECT_TRUE(
        completion_.Complete((dir_ / "missing").string(), "select * from ", 14).words.empty());
}

TEST_F(SqlCompletionTest, FieldsOfTheNamedTablesAndAfterAQualifierOnlyThatTables) {
    // Fields of every table named, before the tables; names with blanks come quoted.
    TCompletions c = At("select | from customers c, \"orders.dbf\" o");
    EXPECT_EQ(c.words, (Words{"CustNo", "Name", "\"Credit Limit\"", "ORDERNO", "customers",
                              "\"Orders.DBF\""}));
    // CUSTNO of the second table is the same word as CustNo: offered once.
    c = At("select o.| from customers c, \"orders.dbf\" o");
    EXPECT_EQ(c.words, (Words{"ORDERNO", "CUSTNO"}));
    c = At("select C.cu| from customers c, \"orders.dbf\" o");
    EXPECT_EQ(c.words, Words{"CustNo"});
    EXPECT_EQ(c.start, 9u);
    c = At("select \"orders.dbf\".o| from \"orders.dbf\"");
    EXPECT_EQ(c.words, Words{"ORDERNO"});
    c = At("select * from customers where cr");
    EXPECT_EQ(c.words, Words{"\"Credit Limit\""});
    // A table written as qualifier before FROM is typed.
    EXPECT_EQ(At("select customers.n").words, Words{"Name"});
    // A table that is not there offers nothing of its own.
    EXPECT_TRUE(At("select x.| from nowhere x").words.empty());
}

TEST_F(SqlCompletionTest, TablesAreReadOnlyWhenTheyChangeAndUnreadableOnesOfferNothing) {
    int reads = 0;
    TSqlCompletion counting([&reads](const std::string& file) {
        ++reads;
        return TSqlCompletion::ReadFieldNames(file);
    });
    const std::string text = "select  from customers";
    counting.Complete(dir_.string(), text, 7);
    counting.Complete(dir_.string(), text, 7);
    EXPECT_EQ(reads, 1);
    MakeTable(dir_ / "customers.db", db::TableFormat::Paradox,
              {makeField("Renamed", db::FieldType::Long)}, {{std::int64_t{1}}});
    EXPECT_EQ(counting.Complete(dir_.string(), text, 7).words.front(), "Renamed");
    EXPECT_EQ(reads, 2);

    // Not a table at all: no fields, and completion goes on.
    std::ofstream(dir_ / "broken.db") << "this is no table header";
    EXPECT_TRUE(completion_.FieldsOf(dir_.string(), "broken").empty());
    EXPECT_EQ(At("select * from br").words, Words{"broken"});
}

}  // namespace
}  // namespace orn::testing
