// Inputs that once crashed or hung the dBASE reader under the fuzzer (fuzz/fuzz_dbase.cpp),
// replayed the same way: a 2-byte length n, n bytes of .dbf, then the memo file.
#include <gtest/gtest.h>

#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

void replay(const std::vector<unsigned char>& input) {
    testing::TempDir dir;
    if (input.size() < 2)
        return;
    std::size_t n = std::min<std::size_t>(input[0] | (input[1] << 8), input.size() - 2);
    std::vector<unsigned char> dbf(input.begin() + 2, input.begin() + 2 + static_cast<long>(n));
    std::vector<unsigned char> memo(input.begin() + 2 + static_cast<long>(n), input.end());
    testing::writeAll(dir / "t.dbf", dbf);
    testing::writeAll(dir / "t.dbt", memo);
    testing::writeAll(dir / "t.fpt", memo);
    std::unique_ptr<Table> t;
    try {
        t = Table::open(dir / "t.dbf", OpenMode::Shared);
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("t.dbf"), std::string::npos) << e.what();
        return;
    }
    Record first;
    auto c = t->scan();
    while (c->next()) {
        Record r;
        for (std::size_t i = 0; i < t->fields().size(); ++i) {
            try {
                r.push_back(c->value(i));
                valueText(r.back());
            } catch (const EngineError&) {
                r.emplace_back();
            }
        }
        if (first.empty())
            first = r;
    }
    if (first.empty())
        return;
    try {
        t->begin();
    } catch (const EngineError& e) {
        // A table found damaged while reading refuses every write, and stays as it was.
        EXPECT_NE(std::string(e.what()).find(" is damaged ("), std::string::npos) << e.what();
        EXPECT_EQ(testing::readAll(dir / "t.dbf"), dbf);
        return;
    }
    try {
        t->insert(first);
        t->update(1, first);
        t->remove(1);
    } catch (const EngineError&) {
    }
    t->rollback();
    EXPECT_EQ(testing::readAll(dir / "t.dbf"), dbf);  // a rollback leaves the file as it was
}

TEST(DBaseRegressions, FormerFuzzerFindingsAreHandled) {
    std::filesystem::path dir =
        std::filesystem::path(ORN_SOURCE_DIR) / "tests/dbengine/storage/regressions";
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("dbase-", 0) != 0)
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        replay(testing::readAll(entry.path()));
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace orn::db
