// SQL and the dataset over dBASE files: no primary key, blank-padded text, statement atomicity
// without a key to violate.
#include <gtest/gtest.h>

#include "dataset_test_support.h"
#include "dbengine/dataset/dataset_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/dataset/table_restructure.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {
namespace {

std::int64_t number(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare(sql);
    return stmt->step() ? sqlite3_column_int64(stmt->handle(), 0) : -1;
}

class DbaseSql : public ::testing::Test {
  protected:
    void SetUp() override {
        ORN_REQUIRE_FORMAT(file = makeKeyedTable(dir.path(), "Parts", 30, TableFormat::DBase));
    }
    TempDir dir;
    std::filesystem::path file;
};

TEST_F(DbaseSql, BareNameFindsTheDbfAndTextIsTrimmed) {
    SqlSession s(dir.path());
    EXPECT_EQ(number(s, "SELECT count(*) FROM parts WHERE Name = 'name7'"), 1);
    EXPECT_EQ(number(s, "SELECT length(Name) FROM \"PARTS.DBF\" WHERE Id = 12"), 6);
    EXPECT_EQ(number(s, "SELECT sum(Id) FROM parts"), 465);
}

TEST_F(DbaseSql, FailedMultiRowUpdateChangesNothing) {
    SqlSession s(dir.path());
    // the third row cannot take its value: the two before it must not stay changed
    EXPECT_THROW(s.execute("UPDATE parts SET Amount = CASE WHEN Id = 3 THEN 'abc' ELSE 0 END"),
                 EngineError);
    EXPECT_EQ(number(s, "SELECT count(*) FROM parts WHERE Amount = 0"), 0);
    EXPECT_THROW(s.execute("INSERT INTO parts SELECT Id + 100, Name, CASE WHEN Id = 20 THEN 'x' "
                           "ELSE Amount END FROM parts"),
                 EngineError);
    EXPECT_EQ(number(s, "SELECT count(*) FROM parts"), 30);
    EXPECT_EQ(readAll(file).size(), 30u);
}

TEST_F(DbaseSql, LiveQueryEditsTheDbf) {
    Query q(dir.path(), true);
    q.setSql("SELECT * FROM parts WHERE Id > 10");
    q.open();
    ASSERT_TRUE(q.canModify());
    q.setRecNo(2);
    q.edit();
    q.fieldByName("Name").setAsString("eleven+1");
    q.post();
    q.close();
    EXPECT_EQ(std::get<std::string>(readAll(file)[11][1]), "eleven+1");
}

TEST_F(DbaseSql, TableTypeAndRestructure) {
    DatasetTable t("parts", dir.path());
    t.open();
    EXPECT_EQ(t.cursorProperties().tableType, "DBASE");
    EXPECT_THROW(t.addIndex("", "Id", true), EngineError);  // no primary index in dBASE files
    t.close();
    ChangeField("parts", "Name", "A", "40", dir.path());
    auto table = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(table->fields()[1].size, 40);
    table.reset();
    EXPECT_EQ(std::get<std::string>(readAll(file)[4][1]), "name5");
}

}  // namespace
}  // namespace orn::db
