// DDL comes back as a description for the file layer, never as SQLite text.
#include "sql_test_support.h"

namespace orn::sql::test {
namespace {

using ::testing::HasSubstr;
using FT = db::FieldType;

class Ddl : public Fixture {
  protected:
    template <typename T>
    T ddlOf(const std::string& text) {
        const Translation t = translate(text);
        EXPECT_TRUE(t.sql.empty());
        EXPECT_TRUE(t.ddl.has_value());
        return std::get<T>(*t.ddl);
    }
    // The error text of a statement that is refused, "no error" otherwise.
    std::string message(const std::string& text) {
        try {
            translate(text);
        } catch (const SqlError& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST_F(Ddl, CreateParadoxTableWithEveryTypeAndPrimaryKey) {
    const auto d = ddlOf<CreateTableDdl>(
        "CREATE TABLE \"new table.db\" (Id AUTOINC, \"Part No\" INTEGER, Qty SMALLINT, "
        "Price DECIMAL(10,2), Weight NUMERIC(8,3), Ratio FLOAT(10,2), Name CHAR(20), "
        "Descr VARCHAR(255), Sold DATE, At TIME, Stamp TIMESTAMP, Ok BOOLEAN, Cost MONEY, "
        "Raw BYTES(16), Notes BLOB(20,1), Bin BLOB(0,2), Fmt BLOB(1,3), Obj BLOB(10,4), "
        "Pic BLOB(5,5), PRIMARY KEY (Id, \"Part No\"))");
    EXPECT_EQ(d.file, "/data/new table.db");
    EXPECT_EQ(d.format, db::TableFormat::Paradox);
    EXPECT_EQ(d.keyFields, 2);
    const std::vector<std::pair<FT, char>> expected = {
        {FT::AutoInc, '+'}, {FT::Long, 'I'},   {FT::Short, 'S'},     {FT::Bcd, '#'},
        {FT::Number, 'N'},  {FT::Number, 'N'}, {FT::Alpha, 'A'},     {FT::Alpha, 'A'},
        {FT::Date, 'D'},    {FT::Time, 'T'},   {FT::Timestamp, '@'}, {FT::Logical, 'L'},
        {FT::Money, '$'},   {FT::Bytes, 'Y'},  {FT::Memo, 'M'},      {FT::Blob, 'B'},
        {FT::FmtMemo, 'F'}, {FT::Ole, 'O'},    {FT::Graphic, 'G'}};
    ASSERT_EQ(d.fields.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(d.fields[i].type, expected[i].first) << i;
        EXPECT_EQ(d.fields[i].letter, expected[i].second) << i;
    }
    EXPECT_EQ(d.fields[1].name, "Part No");
    EXPECT_EQ(d.fields[3].decimals, 2);
    EXPECT_EQ(d.fields[6].size, 20);
    EXPECT_EQ(d.fields[7].size, 255);
    EXPECT_EQ(d.fields[13].size, 16);
    EXPECT_EQ(d.fields[14].size, 30);  // leader of 20 bytes + 10
}

TEST_F(Ddl, BareNameIsParadoxDbfIsDbase) {
    const auto p = ddlOf<CreateTableDdl>("CREATE TABLE fresh (A CHAR(5) NOT NULL PRIMARY KEY)");
    EXPECT_EQ(p.file, "/data/fresh.db");
    EXPECT_EQ(p.keyFields, 1);
    const auto d = ddlOf<CreateTableDdl>(
        "CREATE TABLE 'fresh.dbf' (N NUMERIC(6,2), I INTEGER, S SMALLINT, F FLOAT(12,3), "
        "M MONEY, C CHAR(254), D DATE, L BOOLEAN, Memo BLOB(10,1))");
    EXPECT_EQ(d.format, db::TableFormat::DBase);
    ASSERT_EQ(d.fields.size(), 9u);
    EXPECT_EQ(d.fields[0].letter, 'N');
    EXPECT_EQ(d.fields[0].size, 6);
    EXPECT_EQ(d.fields[0].decimals, 2);
    EXPECT_EQ(d.fields[1].size, 11);
    EXPECT_EQ(d.fields[2].size, 6);
    EXPECT_EQ(d.fields[3].letter, 'F');
    EXPECT_EQ(d.fields[4].size, 20);
    EXPECT_EQ(d.fields[4].decimals, 4);
    EXPECT_EQ(d.fields[5].letter, 'C');
    EXPECT_EQ(d.fields[8].type, FT::Memo);
}

TEST_F(Ddl, BlockSizeIsAParadoxTableOption) {
    EXPECT_EQ(ddlOf<CreateTableDdl>("CREATE TABLE big (A INTEGER) BLOCK SIZE 32768").blockSize,
              32768);
    EXPECT_EQ(ddlOf<CreateTableDdl>("CREATE TABLE big (A INTEGER, PRIMARY KEY (A)) block size 1024")
                  .blockSize,
              1024);
    EXPECT_EQ(ddlOf<CreateTableDdl>("CREATE TABLE big (A INTEGER)").blockSize, 0);
    EXPECT_THAT(message("CREATE TABLE big (A INTEGER) BLOCK SIZE 8192"), HasSubstr("8192"));
    EXPECT_THAT(message("CREATE TABLE big (A INTEGER) BLOCK SIZE 0"), HasSubstr("BLOCK SIZE"));
    EXPECT_THAT(message("CREATE TABLE \"big.dbf\" (A INTEGER) BLOCK SIZE 1024"),
                HasSubstr("dBASE"));
    EXPECT_THAT(message("CREATE TABLE big (A INTEGER) BLOCK 1024"), HasSubstr("SIZE"));
}

TEST_F(Ddl, InvalidTableDefinitionsAreRejectedWithAReason) {
    EXPECT_THAT(message("CREATE TABLE \"x.dbf\" (T TIME)"), HasSubstr("TIME"));
    EXPECT_THAT(message("CREATE TABLE \"x.dbf\" (A AUTOINC)"), HasSubstr("dBASE"));
    EXPECT_THAT(message("CREATE TABLE \"x.dbf\" (A CHAR(3), PRIMARY KEY (A))"),
                HasSubstr("primary key"));
    EXPECT_THAT(message("CREATE TABLE x (A CHAR(3), B INTEGER, PRIMARY KEY (B))"),
                HasSubstr("first fields"));
    EXPECT_THAT(message("CREATE TABLE x (A CHAR(3), PRIMARY KEY (Z))"), HasSubstr("'Z'"));
    EXPECT_THAT(message("CREATE TABLE x (A CHAR(3), a INTEGER)"), HasSubstr("Duplicate"));
    EXPECT_THAT(message("CREATE TABLE x (A CHAR(256))"), HasSubstr("Invalid size"));
    EXPECT_THAT(message("CREATE TABLE x (A WIDGET)"), HasSubstr("WIDGET"));
    EXPECT_THAT(message("CREATE TABLE x (A BLOB(10,9))"), HasSubstr("BLOB"));
}

TEST_F(Ddl, DropTableNeedsAnExistingTable) {
    const auto d = ddlOf<DropTableDdl>("DROP TABLE \"PARTS.DBF\"");
    EXPECT_EQ(d.file, "/data/parts.dbf");
    EXPECT_EQ(d.format, db::TableFormat::DBase);
    EXPECT_THROW(translate("DROP TABLE nosuch"), SqlError);
}

TEST_F(Ddl, CreateAndDropIndex) {
    const auto c =
        ddlOf<CreateIndexDdl>("CREATE UNIQUE INDEX ByName ON customer (company, City DESC)");
    EXPECT_EQ(c.file, "/data/customer.db");
    EXPECT_EQ(c.name, "ByName");
    EXPECT_TRUE(c.unique);
    EXPECT_EQ(c.fields, (std::vector<std::string>{"Company", "City"}));
    EXPECT_EQ(c.descending, (std::vector<bool>{false, true}));
    EXPECT_THROW(translate("CREATE INDEX X ON customer (Nope)"), SqlError);

    const auto d = ddlOf<DropIndexDdl>("DROP INDEX \"customer.db\".ByName");
    EXPECT_EQ(d.file, "/data/customer.db");
    EXPECT_EQ(d.name, "ByName");
    EXPECT_FALSE(d.primary);
    const auto p = ddlOf<DropIndexDdl>("DROP INDEX customer.db.PRIMARY");
    EXPECT_TRUE(p.primary);
    EXPECT_EQ(p.file, "/data/customer.db");
    EXPECT_THROW(translate("DROP INDEX ByName"), SqlError);
}

TEST_F(Ddl, AlterTableWithSeveralMixedActions) {
    const auto a = ddlOf<AlterTableDdl>(
        "ALTER TABLE \"customer.db\" ADD Phone CHAR(15), DROP city, ADD COLUMN Since DATE, "
        "DROP Phone");
    ASSERT_EQ(a.actions.size(), 4u);
    EXPECT_TRUE(a.actions[0].add);
    EXPECT_EQ(a.actions[0].field.type, FT::Alpha);
    EXPECT_EQ(a.actions[0].field.size, 15);
    EXPECT_FALSE(a.actions[1].add);
    EXPECT_EQ(a.actions[1].field.name, "City");
    EXPECT_EQ(a.actions[2].field.type, FT::Date);
    EXPECT_FALSE(a.actions[3].add);
    EXPECT_THROW(translate("ALTER TABLE customer ADD Company CHAR(3)"), SqlError);
    EXPECT_THROW(translate("ALTER TABLE customer DROP Nope"), SqlError);
    EXPECT_THROW(translate("ALTER TABLE parts ADD T TIMESTAMP"), SqlError);
}

// ALTER TABLE ... BLOCK SIZE n rebuilds a Paradox table with other blocks, alone or beside
// other actions; sizes the format lacks and dBASE tables are refused.
TEST_F(Ddl, AlterTableBlockSize) {
    const auto a = ddlOf<AlterTableDdl>("ALTER TABLE \"customer.db\" BLOCK SIZE 16384");
    EXPECT_EQ(a.blockSize, 16384);
    EXPECT_TRUE(a.actions.empty());
    const auto b = ddlOf<AlterTableDdl>("ALTER TABLE customer ADD Phone CHAR(15), block size 1024");
    EXPECT_EQ(b.blockSize, 1024);
    EXPECT_EQ(b.actions.size(), 1u);
    EXPECT_EQ(ddlOf<AlterTableDdl>("ALTER TABLE customer ADD Phone CHAR(15)").blockSize, 0);
    EXPECT_THAT(message("ALTER TABLE customer BLOCK SIZE 3072"), HasSubstr("not 3072"));
    EXPECT_THAT(message("ALTER TABLE parts BLOCK SIZE 4096"), HasSubstr("dBASE"));
    EXPECT_THAT(message("ALTER TABLE customer BLOCK 4096"), HasSubstr("SIZE"));
}

}  // namespace
}  // namespace orn::sql::test
