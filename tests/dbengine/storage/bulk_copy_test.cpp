// Copies into a table of their own commit in batches and forget record identities between them,
// so that their memory stays flat: what they write must be the same as in one transaction.
#include <gtest/gtest.h>

#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

// Record identities handed out after forgetRecordIds find the right records, through inserts in
// random key order (records move between blocks), updates and deletes.
TEST(BulkCopy, IdentitiesGivenAfterForgettingFindTheirRecords) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("V", FieldType::Alpha, 40)};
    layout.keyFields = 1;
    layout.blockSize = 1024;
    auto t = Table::create(dir / "t.db", TableFormat::Paradox, layout);
    std::uint32_t x = 12345;
    std::vector<RecordId> kept;
    for (int batch = 0; batch < 4; ++batch) {
        t->begin();
        for (int i = 0; i < 500; ++i) {
            x = x * 1103515245u + 12345u;
            const std::int64_t key = std::int64_t(x >> 8) * 4 + batch;
            kept.push_back(t->insert({key, std::string("v") + std::to_string(key)}));
        }
        t->commit();
        t->forgetRecordIds();
        kept.clear();  // the caller keeps none, as it promised
    }
    // Ids from a scan after forgetting: every record is updated through its own.
    std::vector<std::pair<RecordId, std::int64_t>> ids;
    for (auto c = t->scan(); c->next();)
        ids.emplace_back(c->id(), std::get<std::int64_t>(c->value(0)));
    ASSERT_EQ(ids.size(), 2000u);
    t->begin();
    for (const auto& [id, key] : ids)
        t->update(id, {key, std::string("u") + std::to_string(key)});
    for (std::size_t i = 0; i < ids.size(); i += 3)
        t->remove(ids[i].first);
    t->commit();
    std::size_t n = 0;
    std::int64_t last = -1;
    for (auto c = t->scan(); c->next(); ++n) {
        const std::int64_t key = std::get<std::int64_t>(c->value(0));
        EXPECT_GT(key, last);
        last = key;
        EXPECT_EQ(std::get<std::string>(c->value(1)), "u" + std::to_string(key));
    }
    EXPECT_EQ(n, 2000u - (2000u + 2) / 3);
}

// A restructure of more records than one batch keeps them all, in key order, with memos; one that
// fails in its last batch (a number too large for the new type) leaves the table as it was.
TEST(BulkCopy, ARestructureInBatchesKeepsEveryRecordOrNone) {
    testing::TempDir dir;
    const auto file = dir / "big.db";
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Alpha, 12), makeField("N", FieldType::Long),
                     makeField("M", FieldType::Memo, 10)};
    layout.keyFields = 1;
    const std::uint64_t rows = kCopyBatchRecords * 2 + 1234;
    auto number = [&](std::uint64_t i) { return std::int64_t(i + 1 == rows ? 99999 : i % 30000); };
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->begin();
        for (std::uint64_t i = 0; i < rows; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "k%09llu", static_cast<unsigned long long>(i));
            t->insert({std::string(key), number(i),
                       i % 1000 == 0 ? Value(std::string("memo ") + key) : Value{}});
        }
        t->commit();
    }
    FieldChange wider;
    wider.length = 20;
    restructureField(file, "K", wider);
    {
        auto t = Table::open(file, OpenMode::ReadOnly);
        EXPECT_EQ(t->fields()[0].size, 20);
        std::uint64_t i = 0;
        for (auto c = t->scan(); c->next(); ++i) {
            ASSERT_EQ(std::get<std::int64_t>(c->value(1)), number(i));
            if (i % 1000 == 0) {
                ASSERT_EQ(std::get<std::string>(c->value(2)),
                          "memo " + std::get<std::string>(c->value(0)));
            }
        }
        EXPECT_EQ(i, rows);
    }
    // Only the last number does not fit in a short.
    const auto before = testing::readAll(file);
    FieldChange toShort;
    toShort.type = kEngineShort;
    try {
        restructureField(file, "N", toShort);
        ADD_FAILURE() << "99999 became a short";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("(record " + std::to_string(rows) + ")"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(testing::readAll(file), before);
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().stem(), "big") << "left behind: " << e.path();
}

}  // namespace
}  // namespace orn::db
