// Keyed tables of other programs, at every block size the corpus has (1, 2 and 16 KiB): each
// record is found again through their own primary index, and a write keeps the table and its
// index whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;

struct Row {
    Record key;
    std::string text;
};

std::vector<Row> rowsOf(Table& t) {
    std::vector<Row> out;
    for (auto c = t.scan(); c->next();) {
        Row r;
        for (std::size_t i = 0; i < t.fields().size(); ++i) {
            const Value& v = c->value(i);
            if (int(i) < t.keyFieldCount())
                r.key.push_back(v);
            r.text += valueText(v) + "|";
        }
        out.push_back(std::move(r));
    }
    return out;
}

// Copies of the corpus's keyed tables that have their index, with the block sizes seen.
std::vector<fs::path> keyedCorpusTables(const fs::path& into, std::set<int>& blockSizes) {
    std::vector<fs::path> out;
    const fs::path corpus = testing::corpusDir();
    for (const auto& e : fs::recursive_directory_iterator(corpus / "open" / "paradox")) {
        if (!e.is_regular_file() || asciiLower(e.path().extension().string()) != ".db")
            continue;
        if (!findCompanion(e.path(), ".px"))
            continue;
        std::unique_ptr<Table> t;
        try {
            t = Table::open(e.path(), OpenMode::ReadOnly);
        } catch (const EngineError&) {
            continue;  // encrypted or damaged on purpose: other tests cover those
        }
        if (t->keyFieldCount() == 0 || t->recordCount() == 0)
            continue;
        blockSizes.insert(static_cast<paradox::ParadoxTable&>(*t).header().blockSize());
        const fs::path dir = into / std::to_string(out.size());
        fs::create_directories(dir);
        fs::copy_file(e.path(), dir / e.path().filename());
        for (const auto& c : findCompanions(e.path(), [](std::string_view) { return true; }))
            fs::copy_file(c, dir / c.filename());
        out.push_back(dir / e.path().filename());
    }
    return out;
}

TEST(ParadoxCorpusIndex, EveryRecordIsFoundThroughTheTablesOwnIndexAndWritesKeepItWhole) {
    if (testing::corpusDir().empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    testing::TempDir dir;
    std::set<int> blockSizes;
    const auto tables = keyedCorpusTables(dir.path(), blockSizes);
    EXPECT_GE(blockSizes.size(), 3u) << "the corpus has keyed tables of 1, 2 and 16 KiB blocks";
    for (const auto& file : tables) {
        SCOPED_TRACE(file.filename().string());
        auto t = Table::open(file, OpenMode::Shared);
        const auto rows = rowsOf(*t);
        ASSERT_EQ(rows.size(), t->recordCount());
        const std::size_t step = std::max<std::size_t>(1, rows.size() / 300);
        for (std::size_t i = 0; i < rows.size(); i += step) {
            t->startStatement();
            auto c = t->range(rows[i].key, true, rows[i].key, true);
            ASSERT_TRUE(c->next()) << "record " << i << ": " << rows[i].text;
            std::string text;
            for (std::size_t f = 0; f < t->fields().size(); ++f)
                text += valueText(c->value(f)) + "|";
            EXPECT_EQ(text, rows[i].text) << "record " << i;
        }

        // Take a record in the middle out and put it back, each its own transaction.
        const Row& middle = rows[rows.size() / 2];
        Record whole;
        {
            auto c = t->range(middle.key, true, middle.key, true);
            ASSERT_TRUE(c->next());
            for (std::size_t f = 0; f < t->fields().size(); ++f)
                whole.push_back(c->value(f));
            t->remove(c->id());
        }
        EXPECT_EQ(t->recordCount(), rows.size() - 1);
        t->startStatement();
        EXPECT_FALSE(t->range(middle.key, true, middle.key, true)->next());
        t->insert(whole);
        t.reset();

        auto again = Table::open(file, OpenMode::ReadOnly);
        const auto after = rowsOf(*again);
        ASSERT_EQ(after.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(after[i].text, rows[i].text) << "record " << i;
        test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));
    }
}

}  // namespace
}  // namespace orn::db
