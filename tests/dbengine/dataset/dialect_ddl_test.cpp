// Statements in the users' dialect through the dataset layer: translation, DDL on the files.
#include <gtest/gtest.h>

#include <fstream>

#include "dataset_test_support.h"
#include "dbengine/dataset/query.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

class DialectSql : public ::testing::TestWithParam<TableFormat> {
  protected:
    void SetUp() override {
        ORN_REQUIRE_FORMAT(file = makeKeyedTable(dir.path(), "Items", 20, GetParam()));
    }
    std::string ext() const { return GetParam() == TableFormat::Paradox ? ".db" : ".dbf"; }
    void exec(const std::string& sql) {
        Query q(dir.path());
        q.setSql(sql);
        q.execute();
    }
    std::int64_t count(const std::string& sql) {
        Query q(dir.path());
        q.setSql(sql);
        q.open();
        return q.recordCount();
    }
    std::string error(const std::string& sql) {
        try {
            exec(sql);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "<no error>";
    }
    TempDir dir;
    fs::path file;
};

TEST_P(DialectSql, QueriesInTheDialect) {
    EXPECT_EQ(count("SELECT * FROM \"ITEMS" + ext() + "\" WHERE Name = \"name5\""), 1);
    EXPECT_EQ(count("SELECT * FROM items i WHERE i.\"Name\" LIKE 'name1%'"), 11);
    EXPECT_EQ(count("SELECT * FROM items WHERE Name LIKE 'NAME1%'"), 0);  // case matters
    Query q(dir.path(), true);
    q.setSql("SELECT * FROM items ORDER BY Id DESCENDING");
    q.open();
    EXPECT_TRUE(q.canModify());
    EXPECT_EQ(q.field(0).asString(), "20");
    const std::string msg = error("SELECT * FROM nowhere");
    EXPECT_NE(msg.find("nowhere"), std::string::npos) << msg;
    EXPECT_NE(msg.find(dir.path().string()), std::string::npos) << msg;
}

TEST_P(DialectSql, CreateInsertDropMakeAndRemoveFiles) {
    const std::string name = "fresh" + ext();
    const std::string key = GetParam() == TableFormat::Paradox ? ", PRIMARY KEY (Id)" : "";
    exec("CREATE TABLE \"" + name + "\" (Id INTEGER, Name CHAR(10), Born DATE" + key + ")");
    ASSERT_TRUE(fs::exists(dir.path() / name));
    {
        auto t = Table::open(dir.path() / name, OpenMode::ReadOnly);
        EXPECT_EQ(t->format(), GetParam());
        ASSERT_EQ(t->fields().size(), 3u);
        EXPECT_EQ(t->fields()[1].size, 10);
        EXPECT_EQ(t->fields()[2].type, FieldType::Date);
        EXPECT_EQ(t->keyFieldCount(), GetParam() == TableFormat::Paradox ? 1 : 0);
    }
    exec("INSERT INTO \"" + name + "\" VALUES (1, 'a', '1/31/1998')");
    exec("INSERT INTO \"" + name + "\" (Id) VALUES (2)");
    EXPECT_EQ(count("SELECT * FROM \"" + name + "\" WHERE Born = '01/31/1998'"), 1);
    EXPECT_NE(error("CREATE TABLE \"" + name + "\" (A CHAR(1))"), "<no error>");
    exec("DROP TABLE \"" + name + "\"");
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().stem(), "fresh") << entry.path();
    }
}

TEST_P(DialectSql, AlterTableRestructuresTheFile) {
    exec("ALTER TABLE items ADD Extra CHAR(5), DROP Amount");
    auto rows = readAll(file);
    ASSERT_EQ(rows.size(), 20u);
    ASSERT_EQ(rows[0].size(), 3u);
    EXPECT_EQ(std::get<std::string>(rows[4][1]), "name5");
    EXPECT_TRUE(isBlank(rows[4][2]));
    exec("UPDATE items SET Extra = 'x' WHERE Id = 5");
    EXPECT_EQ(count("SELECT * FROM items WHERE Extra = 'x'"), 1);
    EXPECT_NE(error("ALTER TABLE items DROP Nope"), "<no error>");
}

TEST_P(DialectSql, SecondaryIndexesAreRefusedWithoutTouchingFiles) {
    std::size_t before = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) {
        ++before;
    }
    const std::string msg = error("CREATE INDEX ByName ON items (Name)");
    EXPECT_NE(msg.find("CREATE INDEX ByName"), std::string::npos) << msg;  // refused, with why
    std::size_t after = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) {
        ++after;
    }
    EXPECT_EQ(before, after);
}

TEST_P(DialectSql, DropPrimaryIndex) {
    if (GetParam() != TableFormat::Paradox) {
        GTEST_SKIP() << "dBASE tables have no primary index";
    }
    exec("DROP INDEX \"items.db\".PRIMARY");
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->keyFieldCount(), 0);
    EXPECT_EQ(readAll(file).size(), 20u);
}

INSTANTIATE_TEST_SUITE_P(Formats, DialectSql,
                         ::testing::Values(TableFormat::Paradox, TableFormat::DBase),
                         [](const auto& info) {
                             return info.param == TableFormat::Paradox ? "Paradox" : "DBase";
                         });

}  // namespace
}  // namespace orn::db
