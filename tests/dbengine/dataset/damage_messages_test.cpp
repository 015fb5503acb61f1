// A damaged table is named as damaged, with what is wrong, whichever statement meets the damage
// first: reading (DUMP, SELECT) and writing (UPDATE) say the same.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "dataset_test_support.h"
#include "dbengine/vtab/sql_session.h"
#include "dbengine/vtab/statement_gateway.h"

namespace orn::db {
namespace {

std::string failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EngineError& e) {
        return e.what();
    }
    return "(no error)";
}

class DamagedTables : public ::testing::Test {
  protected:
    void runSql(const std::string& sql) {
        SqlSession session(dir_.path());
        auto prepared = prepareDialect(session, sql);
        if (prepared.statement) {
            while (prepared.statement->step()) {
            }
        }
    }
    // A keyed table with a memo long enough to live in the blob (memo) file.
    std::filesystem::path makeMemoTable(TableFormat format) {
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 20),
                         makeField("Note", FieldType::Memo, 10)};
        if (format == TableFormat::DBase)
            layout.fields[0] = makeField("Id", FieldType::Number, 10, 0);
        layout.keyFields = format == TableFormat::Paradox ? 1 : 0;
        const auto file = dir_.path() / (format == TableFormat::Paradox ? "t.db" : "t.dbf");
        auto t = Table::create(file, format, layout);
        t->insert({format == TableFormat::Paradox ? Value{std::int64_t{1}} : Value{1.0},
                   std::string("one"), std::string(300, 'm')});
        return file;
    }
    TempDir dir_;
};

// A missing blob or memo file: every other field still reads (the memo reads as NULL) and the
// table names the damage; a write is refused with the same words, and no empty file is made
// that would leave the stored pointers pointing nowhere for good.
TEST_F(DamagedTables, AMissingBlobFileIsNamedByReadingAndByUpdating) {
    const auto file = makeMemoTable(TableFormat::Paradox);
    std::filesystem::remove(dir_.path() / "t.mb");
    EXPECT_EQ(failureOf([&] { readAll(file); }), "(no error)");
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->damage(), "its blob file (.mb) is missing");
    const std::string update = failureOf([&] { runSql("UPDATE \"t.db\" SET Name = 'two'"); });
    EXPECT_NE(update.find(file.string() + " is damaged (its blob file (.mb) is missing)"),
              std::string::npos)
        << update;
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "t.mb")) << "an empty .mb was made";
}

TEST_F(DamagedTables, AMissingMemoFileIsNamedByReadingAndByUpdating) {
    const auto file = makeMemoTable(TableFormat::DBase);
    std::filesystem::remove(dir_.path() / "t.dbt");
    EXPECT_EQ(failureOf([&] { readAll(file); }), "(no error)");
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->damage(), "its memo file (.dbt) is missing");
    const std::string update = failureOf([&] { runSql("UPDATE \"t.dbf\" SET Name = 'two'"); });
    EXPECT_NE(update.find(file.string() + " is damaged (its memo file (.dbt) is missing)"),
              std::string::npos)
        << update;
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "t.dbt")) << "an empty .dbt was made";
}

TEST_F(DamagedTables, AFieldNameLostFromTheHeaderIsNamedNotTakenForAMissingColumn) {
    const auto file = makeKeyedTable(dir_.path(), "t", 3);
    std::vector<char> bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string name("Id\0Name", 8);
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    *at = '\0';  // the first field's name is gone
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    const std::string expected =
        file.string() + " is damaged (not a valid Paradox table): field 1 has no name";
    EXPECT_EQ(failureOf([&] { readAll(file); }), expected);
    const std::string update = failureOf([&] { runSql("UPDATE \"t.db\" SET Id = Id + 1"); });
    EXPECT_NE(update.find(expected), std::string::npos) << update;
}

}  // namespace
}  // namespace orn::db
