// Engine operations on table files: restructuring a field, adding a primary index, saving an
// answer set as a table.
#include "dbengine/dataset/table_restructure.h"

#include <gtest/gtest.h>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"

namespace orn::db {
namespace {

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(FieldTypeFromLetter, OnlyTheFirstCharacterCountsCaseSensitively) {
    EXPECT_EQ(FieldTypeFromLetter("A"), 1);
    EXPECT_EQ(FieldTypeFromLetter("Alpha"), 1);
    EXPECT_EQ(FieldTypeFromLetter("D"), 2);
    EXPECT_EQ(FieldTypeFromLetter("S"), 5);
    EXPECT_EQ(FieldTypeFromLetter("I"), 6);
    EXPECT_EQ(FieldTypeFromLetter("N"), 7);
    EXPECT_EQ(FieldTypeFromLetter("#"), 8);
    EXPECT_EQ(FieldTypeFromLetter("T"), 10);
    EXPECT_EQ(FieldTypeFromLetter("@"), 11);
    EXPECT_EQ(FieldTypeFromLetter("+"), 29);
    EXPECT_EQ(FieldTypeFromLetter("n"), 0);
    EXPECT_EQ(FieldTypeFromLetter(""), 0);
    EXPECT_EQ(FieldTypeFromLetter("X"), 0);
}

class Restructure : public ::testing::Test {
  protected:
    void SetUp() override { ORN_REQUIRE_FORMAT(file = makeKeyedTable(dir.path(), "items", 20)); }
    // The field as the file holds it now (the table is closed again at once).
    Field field(std::size_t i) { return Table::open(file, OpenMode::ReadOnly)->fields()[i]; }
    TempDir dir;
    std::filesystem::path file;
};

TEST_F(Restructure, AlphaFieldBecomesWider) {
    ChangeField("items", "name", "A", "40", dir.path());
    EXPECT_EQ(field(1).type, FieldType::Alpha);
    EXPECT_EQ(field(1).size, 40);
    EXPECT_EQ(field(1).name, "Name");
    const auto rows = readAll(file);
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(std::get<std::string>(rows[6][1]), "name7");
}

TEST_F(Restructure, LowerCaseLetterKeepsTheTypeAndZeroKeepsTheSize) {
    ChangeField("items", "Name", "a", "30", dir.path());
    EXPECT_EQ(field(1).type, FieldType::Alpha);
    EXPECT_EQ(field(1).size, 30);
    ChangeField("items", "Name", "A", "0", dir.path());
    EXPECT_EQ(field(1).size, 30);
}

TEST_F(Restructure, ChangingTheTypeConvertsValues) {
    ChangeField("items", "Amount", "A", "10", dir.path());
    EXPECT_EQ(field(2).type, FieldType::Alpha);
    EXPECT_EQ(std::get<std::string>(readAll(file)[1][2]), "3");
    ChangeField("items", "Amount", "N", "0", dir.path());
    EXPECT_EQ(field(2).type, FieldType::Number);
    EXPECT_DOUBLE_EQ(std::get<double>(readAll(file)[2][2]), 4.5);
    // text too long for a narrower alpha field fails and leaves the table as it was
    EXPECT_THROW(ChangeField("items", "Name", "A", "3", dir.path()), EngineError);
    EXPECT_EQ(std::get<std::string>(readAll(file)[0][1]), "name1");
    EXPECT_EQ(field(1).size, 20);
}

TEST_F(Restructure, ErrorsCarryTheirTexts) {
    EXPECT_EQ(messageOf([&] { ChangeField("items", "Nope", "A", "10", dir.path()); }),
              "Field 'Nope' not found");
    EXPECT_EQ(messageOf([&] { ChangeField("items", "Name", "A", "ten", dir.path()); }),
              "'ten' is not a valid integer value");
    DatasetTable t("items", dir.path());
    ChangeRec rec;
    EXPECT_EQ(messageOf([&] { RestructureField(t, 1, rec); }),
              "Table must be opened to restructure");
    t.open();
    EXPECT_EQ(messageOf([&] { RestructureField(t, 1, rec); }),
              "Table must be opened exclusivelyto restructure");
    EXPECT_EQ(t.cursorProperties().tableType, "PARADOX");
    EXPECT_EQ(t.fieldByName("AMOUNT").fieldNo, 2);
    EXPECT_EQ(t.fieldByName("AMOUNT").fullName, "Amount");
    // another holder of the table makes the exclusive open fail
    EXPECT_THROW(ChangeField("items", "Name", "A", "40", dir.path()), EngineError);
    t.close();
    EXPECT_NO_THROW(ChangeField("items", "Name", "A", "40", dir.path()));
}

TEST_F(Restructure, PrimaryIndexOverDuplicatesLeavesTheTableAsItWas) {
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("V", FieldType::Alpha, 5)};
    {
        auto t = Table::create(dir.path() / "plain.db", TableFormat::Paradox, layout);
        t->insert({std::int64_t{2}, std::string("b")});
        t->insert({std::int64_t{1}, std::string("a")});
        t->insert({std::int64_t{2}, std::string("c")});
    }
    EXPECT_NE(messageOf([&] { AddPrimaryIndex("plain", "K", dir.path()); }).find("Key violation."),
              std::string::npos);
    EXPECT_EQ(readAll(dir.path() / "plain.db").size(), 3u);
    EXPECT_EQ(Table::open(dir.path() / "plain.db", OpenMode::ReadOnly)->keyFieldCount(), 0);
    // without the duplicate the index is made and the records come in key order
    {
        auto t = Table::open(dir.path() / "plain.db", OpenMode::Shared);
        auto c = t->scan();
        while (c->next()) {
            if (std::get<std::string>(c->value(1)) == "c") {
                t->remove(c->id());
                break;
            }
        }
    }
    AddPrimaryIndex("PLAIN.DB", "K", dir.path());
    const auto rows = readAll(dir.path() / "plain.db");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::get<std::int64_t>(rows[0][0]), 1);
    EXPECT_EQ(Table::open(dir.path() / "plain.db", OpenMode::ReadOnly)->keyFieldCount(), 1);
    EXPECT_NE(messageOf([&] { AddPrimaryIndex("plain", "V", dir.path()); }).find("first fields"),
              std::string::npos);
}

TEST_F(Restructure, AnswerSetBecomesAParadoxTableEvenOverItsSource) {
    Query q(dir.path());
    q.setSql(
        "SELECT Id, Name, Amount, Amount > 10 AS Big, 'x' || Name AS Longer FROM items "
        "WHERE Id <= 8");
    q.open();
    q.setRecNo(3);
    saveAnswerAsTable(q, "items");  // replaces the table the answer came from
    EXPECT_FALSE(q.active()) << "the answer still holds the replaced table";
    auto t = Table::open(dir.path() / "items.db", OpenMode::ReadOnly);
    EXPECT_EQ(t->format(), TableFormat::Paradox);
    ASSERT_EQ(t->fields().size(), 5u);
    EXPECT_EQ(t->fields()[1].type, FieldType::Alpha);
    EXPECT_EQ(t->fields()[4].size, 6);  // the longest value: "xname8"
    EXPECT_EQ(t->recordCount(), 8u);
    t.reset();
    const auto rows = readAll(dir.path() / "items.db");
    EXPECT_EQ(std::get<std::string>(rows[7][4]), "xname8");
    EXPECT_DOUBLE_EQ(std::get<double>(rows[7][2]), 12.0);

    Query live(dir.path(), true);
    live.setSql("SELECT * FROM items");
    live.open();
    EXPECT_THROW(saveAnswerAsTable(live, "copy"), EngineError);
}

TEST_F(Restructure, AnswerFieldsFitTheValuesWhereTheColumnsAreNotPlainTableColumns) {
    // plain columns of one table: the fields the table has
    Query plain(dir.path());
    plain.setSql("SELECT Id, Name FROM items WHERE Id <= 3");
    plain.open();
    saveAnswerAsTable(plain, "plain");
    auto t = Table::open(dir.path() / "plain.db", OpenMode::ReadOnly);
    EXPECT_EQ(t->fields()[0].type, FieldType::Long);
    EXPECT_EQ(t->fields()[1].size, 20);
    t.reset();
    // the same columns in a compound: the second part's values decide
    Query mixed(dir.path());
    mixed.setSql(
        "SELECT Id, Name FROM items WHERE Id <= 3 UNION ALL "
        "SELECT 5000000000, 'a name longer than twenty' FROM items WHERE Id = 1");
    mixed.open();
    saveAnswerAsTable(mixed, "mixed");
    t = Table::open(dir.path() / "mixed.db", OpenMode::ReadOnly);
    EXPECT_EQ(t->fields()[0].type, FieldType::Number);
    EXPECT_EQ(t->fields()[1].size, 25);
    t.reset();
    const auto rows = readAll(dir.path() / "mixed.db");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(std::get<std::string>(rows[3][1]), "a name longer than twenty");
    EXPECT_DOUBLE_EQ(std::get<double>(rows[3][0]), 5000000000.0);
}

}  // namespace
}  // namespace orn::db
