// Records taken in any order and stored in key order: the sorting runs (memory and spill file)
// and what a keyed Paradox table holds afterwards, also when the writer is killed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "dbengine/storage/key_sorted_runs.h"
#include "dbengine/storage/table.h"
#include "kill_test_harness.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

// Small runs for the length of a test.
class RunBytes {
  public:
    explicit RunBytes(std::size_t bytes) { KeySortedRuns::setRunBytes(bytes); }
    ~RunBytes() { KeySortedRuns::setRunBytes(std::size_t{8} << 20); }
};

struct Item {
    std::string record;  // 6 bytes: a 2-byte key, then 4 bytes that tell items apart
    std::string note;
};

std::vector<Item> sortedItems(KeySortedRuns& runs) {
    std::vector<Item> out;
    while (runs.next()) {
        const auto* r = reinterpret_cast<const char*>(runs.record());
        out.push_back({std::string(r, 6), std::string(runs.note())});
    }
    return out;
}

TEST(KeySortedRuns, ManyRunsMergeInKeyOrderAndEqualKeysKeepTheirOrder) {
    for (const std::size_t runBytes : {std::size_t{8} << 20, std::size_t{300}, std::size_t{30}}) {
        SCOPED_TRACE(runBytes);
        RunBytes small(runBytes);
        testing::TempDir dir;
        std::mt19937 rng(7);
        std::vector<Item> items;
        KeySortedRuns runs(6, 2, dir / "t.db");
        for (int i = 0; i < 2000; ++i) {
            // Few distinct keys, so that equal keys fall into many runs; the high byte too
            // differs, so that a key compared as a little-endian number would come out wrong.
            const int key = int(rng() % 40) * 257;
            std::string rec(6, '\0');
            rec[0] = char(key >> 8);
            rec[1] = char(key & 0xFF);
            std::memcpy(rec.data() + 2, &i, 4);
            Item item{rec, std::string(std::size_t(rng() % 5), char('a' + i % 26))};
            runs.add(reinterpret_cast<const std::uint8_t*>(item.record.data()), item.note);
            items.push_back(item);
        }
        EXPECT_EQ(runs.count(), 2000u);
        std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return std::memcmp(a.record.data(), b.record.data(), 2) < 0;
        });
        const auto out = sortedItems(runs);
        ASSERT_EQ(out.size(), items.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i].record, items[i].record) << i;
            ASSERT_EQ(out[i].note, items[i].note) << i;
        }
        EXPECT_FALSE(runs.next());
        if (runBytes == 30)
            EXPECT_GT(runs.runCount(), 500u);  // of two or three records
        else if (runBytes == 300)
            EXPECT_GT(runs.runCount(), 50u);
        else
            EXPECT_EQ(runs.runCount(), 0u);
        // The spill file never has a name that could be left behind.
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}

TEST(KeySortedRuns, NothingTakenLongNotesAndAddingAfterReading) {
    RunBytes small(100);
    testing::TempDir dir;
    {
        KeySortedRuns none(4, 4, dir / "t.db");
        EXPECT_FALSE(none.next());
        EXPECT_FALSE(none.next());
    }
    KeySortedRuns runs(4, 4, dir / "t.db");
    // Notes far longer than a run or a reader's share of the merge buffer.
    const std::uint8_t b[4] = {0, 0, 0, 2}, a[4] = {0, 0, 0, 1}, c[4] = {0, 0, 0, 3};
    runs.add(b, std::string(65535, 'b'));
    runs.add(c, "");
    runs.add(a, std::string(70000 / 2, 'a'));
    EXPECT_THROW(runs.add(a, std::string(65536, 'x')), EngineError);
    ASSERT_TRUE(runs.next());
    EXPECT_EQ(runs.record()[3], 1);
    EXPECT_EQ(runs.note(), std::string(35000, 'a'));
    ASSERT_TRUE(runs.next());
    EXPECT_EQ(runs.note(), std::string(65535, 'b'));
    ASSERT_TRUE(runs.next());
    EXPECT_EQ(runs.record()[3], 3);
    EXPECT_EQ(runs.note(), "");
    EXPECT_FALSE(runs.next());
    EXPECT_THROW(runs.add(a, ""), EngineError);

    // Where nothing can be made beside the table, the spill file goes to the temp directory.
    KeySortedRuns elsewhere(4, 4, dir / "gone" / "t.db");
    for (std::uint8_t k = 40; k > 0; --k) {
        const std::uint8_t rec[4] = {0, 0, 0, k};
        elsewhere.add(rec, "");
    }
    EXPECT_GT(elsewhere.runCount(), 1u);
    for (std::uint8_t k = 1; k <= 40; ++k) {
        ASSERT_TRUE(elsewhere.next());
        EXPECT_EQ(elsewhere.record()[3], k);
    }
    EXPECT_FALSE(elsewhere.next());
}

TableCreate keyedLayout(int blockSize) {
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("Name", FieldType::Alpha, 12),
                     makeField("N", FieldType::Short)};
    layout.keyFields = 1;
    layout.blockSize = blockSize;
    return layout;
}

TEST(ParadoxSortedInsert, OnlyWhereKeyOrderCannotChangeTheOutcome) {
    testing::TempDir dir;
    EXPECT_NE(Table::create(dir / "keyed.db", TableFormat::Paradox, keyedLayout(0))->sortedInsert(),
              nullptr);
    // An Alpha key in byte order.
    TableCreate alpha;
    alpha.fields = {makeField("Code", FieldType::Alpha, 8), makeField("N", FieldType::Short)};
    alpha.keyFields = 1;
    EXPECT_NE(Table::create(dir / "alpha.db", TableFormat::Paradox, alpha)->sortedInsert(),
              nullptr);

    TableCreate plain = keyedLayout(0);
    plain.keyFields = 0;
    TableCreate memo = keyedLayout(0);
    memo.fields.push_back(makeField("M", FieldType::Memo, 10));
    TableCreate autoInc = keyedLayout(0);
    autoInc.fields.push_back(makeField("A", FieldType::AutoInc));
    for (const auto& [name, layout] : std::vector<std::pair<std::string, TableCreate>>{
             {"plain.db", plain}, {"memo.db", memo}, {"auto.db", autoInc}}) {
        EXPECT_EQ(Table::create(dir / name, TableFormat::Paradox, layout)->sortedInsert(), nullptr)
            << name;
    }
    TableCreate dbf;
    dbf.fields = {makeField("K", FieldType::Long)};
    EXPECT_EQ(Table::create(dir / "t.dbf", TableFormat::DBase, dbf)->sortedInsert(), nullptr);
    // Alpha keys under a national order, of which not every pair of keys can be placed.
    const auto corpus = testing::corpusDir();
    if (!corpus.empty() && std::filesystem::exists(corpus / "open/paradox/dbdemos/country.db")) {
        std::filesystem::copy_file(corpus / "open/paradox/dbdemos/country.db", dir / "c.db");
        std::filesystem::copy_file(corpus / "open/paradox/dbdemos/country.px", dir / "c.px");
        EXPECT_EQ(Table::open(dir / "c.db", OpenMode::Shared)->sortedInsert(), nullptr);
    }
    EXPECT_EQ(Table::open(dir / "keyed.db", OpenMode::ReadOnly)->sortedInsert(), nullptr);
}

// Rows 0..n-1 in a shuffled order, with keys from a range that makes them repeat, some keys
// those of records already in the table.
std::vector<Record> shuffledRows(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Record> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({std::int64_t(rng() % std::uint32_t(n * 2 / 3)), "r" + std::to_string(i),
                        std::int64_t(i % 1000)});
    return rows;
}

TEST(ParadoxSortedInsert, StoresWhatInsertingOneByOneStores) {
    RunBytes small(2000);
    testing::TempDir dir;
    std::vector<std::unique_ptr<Table>> tables;
    for (const char* name : {"sorted.db", "one.db"}) {
        auto t = Table::create(dir / name, TableFormat::Paradox, keyedLayout(1024));
        t->begin();
        for (int k = 0; k < 3000; k += 5)
            t->insert({std::int64_t(k), std::string("old"), std::int64_t(-1)});
        t->commit();
        tables.push_back(std::move(t));
    }
    // Rows in key order first (stored as they come), then shuffled ones (kept and sorted).
    auto rows = shuffledRows(4000, 11);
    std::sort(rows.begin(), rows.begin() + 300, [](const Record& a, const Record& b) {
        return std::get<std::int64_t>(a[0]) < std::get<std::int64_t>(b[0]);
    });
    auto sorted = tables[0]->sortedInsert();
    ASSERT_NE(sorted, nullptr);
    int storedSorted = 0, refusedSorted = 0;
    std::size_t storedAtOnce = 0;
    tables[0]->begin();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        try {
            if (sorted->add(rows[i], std::to_string(i))) {
                ++storedSorted;
                storedAtOnce = i + 1;
            }
        } catch (const KeyViolation&) {
            ++refusedSorted;
            storedAtOnce = i + 1;
        }
    }
    tables[0]->commit();
    EXPECT_GE(storedAtOnce, 300u);
    EXPECT_LT(storedAtOnce, 310u);
    EXPECT_EQ(sorted->count(), rows.size() - storedAtOnce);
    // A value the table cannot take is refused when it is taken, not when it is stored.
    EXPECT_THROW(sorted->add({std::int64_t(1), std::string("much too long a name"), Value{}}, ""),
                 EngineError);
    EXPECT_EQ(sorted->count(), rows.size() - storedAtOnce);

    tables[0]->begin();
    for (int n = 0; sorted->next(); ++n) {
        try {
            sorted->store();
            ++storedSorted;
        } catch (const KeyViolation&) {
            ++refusedSorted;
        }
        if (n % 500 == 499) {  // batches, as an import commits them
            tables[0]->commit();
            tables[0]->forgetRecordIds();
            tables[0]->begin();
        }
    }
    tables[0]->commit();
    int storedOne = 0, refusedOne = 0;
    tables[1]->begin();
    for (const auto& r : rows) {
        try {
            tables[1]->insert(r);
            ++storedOne;
        } catch (const KeyViolation&) {
            ++refusedOne;
        }
    }
    tables[1]->commit();
    EXPECT_EQ(storedSorted, storedOne);
    EXPECT_EQ(refusedSorted, refusedOne);
    EXPECT_GT(refusedOne, 1000);  // duplicates in the rows and keys of the records before
    EXPECT_EQ(tables[0]->recordCount(), tables[1]->recordCount());
    tables.clear();

    auto a = Table::open(dir / "sorted.db", OpenMode::ReadOnly);
    auto b = Table::open(dir / "one.db", OpenMode::ReadOnly);
    EXPECT_EQ(test::recordsOf(*a), test::recordsOf(*b));
    test::expectIndexMatchesBlocks(dir / "sorted.db", dir / "sorted.px");
    const auto px = test::readWithPxlib(dir / "sorted.db", "CP1252");
    EXPECT_EQ(px.records, test::recordsOf(*a));
    // Key lookups go through the index the sorted store left.
    auto c = a->range({std::int64_t(1234)}, true, {std::int64_t(1300)}, true);
    auto d = b->range({std::int64_t(1234)}, true, {std::int64_t(1300)}, true);
    int found = 0;
    while (c->next()) {
        ASSERT_TRUE(d->next());
        EXPECT_EQ(c->value(0), d->value(0));
        EXPECT_EQ(c->value(1), d->value(1));
        ++found;
    }
    EXPECT_FALSE(d->next());
    EXPECT_GT(found, 20);
}

TEST(ParadoxSortedInsert, ShuffledRowsFillTheBlocksAsRowsInKeyOrderDo) {
    RunBytes small(5000);
    testing::TempDir dir;
    std::vector<Record> rows;
    for (int i = 0; i < 3000; ++i)
        rows.push_back({std::int64_t(i * 3), "r" + std::to_string(i), std::int64_t(i % 7)});
    {
        auto inOrder = Table::create(dir / "inorder.db", TableFormat::Paradox, keyedLayout(1024));
        inOrder->begin();
        for (const auto& r : rows)
            inOrder->insert(r);
        inOrder->commit();
    }
    std::shuffle(rows.begin(), rows.end(), std::mt19937(3));
    {
        auto t = Table::create(dir / "shuffled.db", TableFormat::Paradox, keyedLayout(1024));
        auto sorted = t->sortedInsert();
        t->begin();
        // The first row is stored at once; every other row sorts among those after it.
        for (const auto& r : rows)
            sorted->add(r, "");
        while (sorted->next())
            sorted->store();
        t->commit();
    }
    // One block more at most: the one the first row split off.
    EXPECT_LE(std::filesystem::file_size(dir / "shuffled.db"),
              std::filesystem::file_size(dir / "inorder.db") + 1024);
    auto a = Table::open(dir / "shuffled.db", OpenMode::ReadOnly);
    auto b = Table::open(dir / "inorder.db", OpenMode::ReadOnly);
    EXPECT_EQ(test::recordsOf(*a), test::recordsOf(*b));
    test::expectIndexMatchesBlocks(dir / "shuffled.db", dir / "shuffled.px");
}

// A writer storing shuffled rows in key order, a transaction every few records, killed at
// random moments: the table afterwards is sound and holds, besides its first records, the rows
// stored as they came (the first few, in key order) and the rows of the smallest keys of the
// rest: those of the transactions committed.
TEST(ParadoxSortedInsert, AKilledWriterLeavesTheKeysOfItsCommittedBatches) {
    RunBytes small(1500);
    std::mt19937 rng(2027);
    const auto rows = shuffledRows(1500, 5);
    auto keyOf = [&](std::size_t i) { return std::get<std::int64_t>(rows[i][0]); };
    std::size_t inOrder = 1;  // rows stored as they come
    while (inOrder < rows.size() && keyOf(inOrder) >= keyOf(inOrder - 1))
        ++inOrder;
    auto stored = [&](const std::string& name) {  // at once: 0, later: 1, from before: -1
        return name == "old" ? -1 : std::size_t(std::stoi(name.substr(1))) < inOrder ? 0 : 1;
    };
    // What storing all of them gives: the first row of every key the table lacks.
    std::map<std::int64_t, std::string> all;
    for (int k = 1; k < 1000; k += 10)
        all[k] = "old";
    for (const auto& r : rows)
        all.emplace(std::get<std::int64_t>(r[0]), std::get<std::string>(r[1]));
    int partial = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        testing::TempDir dir;
        const auto file = dir / "k.db";
        {
            auto t = Table::create(file, TableFormat::Paradox, keyedLayout(1024));
            t->begin();
            for (int k = 1; k < 1000; k += 10)
                t->insert({std::int64_t(k), std::string("old"), std::int64_t(0)});
            t->commit();
        }
        testing::killStepsAfter(std::chrono::milliseconds(20 + rng() % 400),
                                std::chrono::microseconds(200),
                                [&](const std::function<void(int)>& done) {
                                    auto t = Table::open(file, OpenMode::Shared);
                                    auto sorted = t->sortedInsert();
                                    t->begin();
                                    for (const auto& r : rows) {
                                        try {
                                            sorted->add(r, "");
                                        } catch (const KeyViolation&) {
                                        }
                                    }
                                    t->commit();
                                    t->begin();
                                    for (int n = 1; sorted->next(); ++n) {
                                        try {
                                            sorted->store();
                                        } catch (const KeyViolation&) {
                                        }
                                        if (n % 100 == 0) {
                                            t->commit();
                                            done(n);
                                            t->begin();
                                        }
                                    }
                                    t->commit();
                                    done(-1);
                                    for (;;)
                                        std::this_thread::sleep_for(std::chrono::seconds(1));
                                });
        std::map<std::int64_t, std::string> now;
        {
            auto t = Table::open(file, OpenMode::ReadOnly);
            for (auto c = t->scan(); c->next();)
                now[std::get<std::int64_t>(c->value(0))] = std::get<std::string>(c->value(1));
            EXPECT_EQ(t->recordCount(), now.size());
        }
        // The rows stored at once, all or none; of the others every key up to the largest
        // stored, as storing everything gives it, and none above it.
        std::int64_t largestNew = -1;
        bool atOnce = false;
        for (const auto& [k, name] : now) {
            EXPECT_EQ(all.count(k), 1u) << k;
            if (stored(name) == 1)
                largestNew = k;
            atOnce = atOnce || stored(name) == 0;
        }
        EXPECT_TRUE(atOnce || largestNew < 0);
        for (const auto& [k, name] : all) {
            const int how = stored(name);
            const bool expected =
                how == -1 || (how == 0 && atOnce) || (how == 1 && k <= largestNew);
            EXPECT_EQ(now.count(k) ? now[k] : "(none)", expected ? name : "(none)") << k;
        }
        if (largestNew >= 0 && now.size() < all.size())
            ++partial;
        test::expectIndexMatchesBlocks(file, dir / "k.px");
        EXPECT_EQ(test::readWithPxlib(file, "CP1252").records.size(), now.size());
        if (::testing::Test::HasFailure())
            return;
    }
    std::printf("killed part-way through storing: %d of 6\n", partial);
}

}  // namespace
}  // namespace orn::db
