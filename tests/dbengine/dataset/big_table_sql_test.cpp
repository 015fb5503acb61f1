// SQL over a big keyed table: a key lookup or a key join reads a few blocks, and a statement sees
// what another writer committed before it started.
#include <gtest/gtest.h>

#include "dataset_test_support.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {
namespace {

std::int64_t number(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare(sql);
    return stmt->step() ? sqlite3_column_int64(stmt->handle(), 0) : -1;
}

std::uint64_t bytesRead() {
    return PosixFile::readCounters().bytes;
}

TEST(BigTableSql, KeyLookupsReadAFewBlocksAndSeeOtherWriters) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 40)};
    layout.keyFields = 1;
    {
        auto t = Table::create(dir.path() / "big.db", TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 50000; ++i) {
            t->insert({std::int64_t{3 * i}, "n" + std::to_string(i)});
        }
        t->commit();
        auto few = Table::create(dir.path() / "few.db", TableFormat::Paradox, layout);
        for (int i : {9, 30000, 149997, 4}) {
            few->insert({std::int64_t{i}, std::string("probe")});
        }
    }
    const std::uint64_t block = 4096;
    ASSERT_GT(std::filesystem::file_size(dir.path() / "big.db"), 500 * block);

    SqlSession s(dir.path());
    ASSERT_EQ(number(s, "SELECT count(*) FROM big"), 50000);
    std::uint64_t before = bytesRead();
    EXPECT_EQ(number(s, "SELECT Id FROM big WHERE Id = 77775"), 77775);
    EXPECT_LE(bytesRead() - before, 12 * block);

    before = bytesRead();
    EXPECT_EQ(number(s, "SELECT count(*) FROM few f JOIN big b ON b.Id = f.Id"), 3);
    EXPECT_LE(bytesRead() - before, 4 * 12 * block);

    before = bytesRead();
    EXPECT_EQ(number(s, "SELECT count(*) FROM big WHERE Id > 149000"), 333);
    EXPECT_LE(bytesRead() - before, 16 * block);

    before = bytesRead();
    s.execute("UPDATE big SET Name = 'changed' WHERE Id = 60000");
    EXPECT_LE(bytesRead() - before, 40 * block);

    {
        // Another writer moves every key after the first few blocks.
        auto other = Table::open(dir.path() / "big.db", OpenMode::Shared);
        other->begin();
        for (int i = 0; i < 2000; ++i) {
            other->insert({std::int64_t{3 * i + 1}, std::string("late")});
        }
        other->commit();
    }
    EXPECT_EQ(number(s, "SELECT count(*) FROM big"), 52000);
    EXPECT_EQ(number(s, "SELECT Id FROM big WHERE Id = 5998"), 5998);
    EXPECT_EQ(number(s, "SELECT count(*) FROM big WHERE Name = 'changed' AND Id = 60000"), 1);
    EXPECT_EQ(number(s, "SELECT count(*) FROM big WHERE Id BETWEEN 0 AND 29"), 20);
}

}  // namespace
}  // namespace orn::db
