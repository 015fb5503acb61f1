// Cursors read many records at once (Paradox: runs of consecutive blocks, dBASE: a window of
// records): they must still follow a Paradox block chain wherever it leads and see every write
// made through the same table.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string_view>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

constexpr std::uint64_t kBlockSize = 4096;

TableCreate padded() {
    TableCreate layout;
    // 64-byte records: 63 to a block
    layout.fields = {Field{"K", FieldType::Long, 0, 0, 0},
                     Field{"Pad", FieldType::Alpha, 60, 0, 0}};
    layout.keyFields = 1;
    return layout;
}

std::string padFor(std::int64_t k) {
    return "pad" + std::to_string(k);
}

std::unique_ptr<Table> makeTable(const std::filesystem::path& file,
                                 const std::vector<std::int64_t>& keys) {
    auto t = Table::create(file, TableFormat::Paradox, padded());
    t->begin();
    for (auto k : keys)
        t->insert({k, padFor(k)});
    t->commit();
    return t;
}

// Block numbers in chain order, read from the file's bytes.
std::vector<std::uint16_t> chainOf(const std::filesystem::path& file) {
    const auto bytes = testing::readAll(file);
    const std::uint64_t header = paradox::le16(bytes.data() + 0x02);
    std::vector<std::uint16_t> chain;
    for (std::uint16_t b = paradox::le16(bytes.data() + 0x0E); b != 0 && chain.size() < 1000;
         b = paradox::le16(bytes.data() + header + (b - 1) * kBlockSize))
        chain.push_back(b);
    return chain;
}

RecordId idOf(Table& t, std::int64_t k) {
    auto c = t.range({k}, true, {k}, true);
    EXPECT_TRUE(c->next()) << k;
    return c->id();
}

TEST(ParadoxCursor, ChainsOutOfBlockOrderReadInKeyOrder) {
    testing::TempDir dir;
    std::vector<std::int64_t> keys(4000);
    std::iota(keys.begin(), keys.end(), 0);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    auto t = makeTable(dir / "shuffled.db", keys);
    const auto chain = chainOf(dir / "shuffled.db");
    ASSERT_GT(chain.size(), 60u);
    ASSERT_FALSE(std::is_sorted(chain.begin(), chain.end())) << "splits should scramble the chain";

    std::int64_t expected = 0;
    for (auto c = t->scan(); c->next(); ++expected) {
        // on some records only the second field is asked for: it must be this record's
        if (expected % 3 == 1) {
            ASSERT_EQ(std::get<std::string>(c->value(1)), padFor(expected));
            continue;
        }
        ASSERT_EQ(std::get<std::int64_t>(c->value(0)), expected);
        ASSERT_EQ(std::get<std::string>(c->value(1)), padFor(expected));
        if (expected % 500 == 0) {
            EXPECT_EQ(std::get<std::int64_t>(t->read(c->id())[0]), expected);
        }
    }
    EXPECT_EQ(expected, 4000);

    std::int64_t from = 1500, n = 0;
    for (auto c = t->range({from}, true, {std::int64_t{2600}}, false); c->next(); ++n) {
        ASSERT_EQ(std::get<std::int64_t>(c->value(0)), from + n);
    }
    EXPECT_EQ(n, 1100);
}

TEST(ParadoxCursor, ReadAheadNeverHidesWritesOfTheSameTable) {
    testing::TempDir dir;
    std::vector<std::int64_t> keys(2000);
    std::iota(keys.begin(), keys.end(), 0);
    auto t = makeTable(dir / "seq.db", keys);
    const auto chain = chainOf(dir / "seq.db");
    ASSERT_TRUE(std::is_sorted(chain.begin(), chain.end())) << "reads ahead only along a run";
    const RecordId late = idOf(*t, 350);  // in a block read ahead of the scan below

    // A scan several blocks in has read blocks ahead; a change to one of them shows, and so do
    // records appended behind the last block after the scan began.
    t->begin();
    auto c = t->scan();
    std::int64_t k = 0;
    for (; k < 300; ++k) {
        ASSERT_TRUE(c->next());
        ASSERT_EQ(std::get<std::int64_t>(c->value(0)), k);
    }
    t->update(late, {std::int64_t{350}, std::string("changed")});
    for (std::int64_t extra = 2000; extra < 2200; ++extra)
        t->insert({extra, padFor(extra)});
    for (; c->next(); ++k) {
        ASSERT_EQ(std::get<std::int64_t>(c->value(0)), k);
        ASSERT_EQ(std::get<std::string>(c->value(1)), k == 350 ? "changed" : padFor(k)) << k;
    }
    EXPECT_EQ(k, 2200);

    // A rollback in the middle of a scan: the rest of it reads what the file holds again.
    t->update(late, {std::int64_t{350}, std::string("again")});
    auto d = t->scan();
    for (k = 0; k < 300; ++k) {
        ASSERT_TRUE(d->next());
    }
    t->rollback();
    for (; d->next(); ++k) {
        ASSERT_EQ(std::get<std::string>(d->value(1)), padFor(k)) << k;
    }
    EXPECT_EQ(k, 2000);
}

TEST(ParadoxCursor, BlockSpanningTheEndOfAShortFileIsNamed) {
    testing::TempDir dir;
    std::vector<std::int64_t> keys(700);
    std::iota(keys.begin(), keys.end(), 0);
    makeTable(dir / "cut.db", keys).reset();
    auto bytes = testing::readAll(dir / "cut.db");
    const std::uint64_t header = paradox::le16(bytes.data() + 0x02);
    // the read-ahead window takes in whole blocks and the cut one together
    bytes.resize(header + 5 * kBlockSize + 200);
    testing::writeAll(dir / "cut.db", bytes);
    auto t = Table::open(dir / "cut.db", OpenMode::ReadOnly);
    std::int64_t n = 0;
    try {
        for (auto c = t->scan(); c->next(); ++n) {
            ASSERT_EQ(std::get<std::int64_t>(c->value(0)), n);
        }
        ADD_FAILURE() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("block 6 is cut off"), std::string::npos) << e.what();
    }
    EXPECT_EQ(n, 5 * 63);
}

TEST(DBaseCursor, WindowNeverHidesWritesOfTheSameTable) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {Field{"N", FieldType::Number, 8, 0, 0},
                     Field{"S", FieldType::Alpha, 10, 0, 0}};
    auto t = Table::create(dir / "w.dbf", TableFormat::DBase, layout);
    t->begin();
    for (int i = 1; i <= 500; ++i)
        t->insert({double(i), std::string("s") + std::to_string(i)});
    t->commit();

    t->begin();
    auto c = t->scan();
    ASSERT_TRUE(c->next());
    ASSERT_TRUE(c->next());
    t->update(400, {400.0, std::string("changed")});
    t->remove(3);
    int n = 2;
    std::string at400;
    while (c->next()) {
        ++n;
        if (c->id() == 400)
            at400 = std::get<std::string>(c->value(1));
        EXPECT_NE(c->id(), 3u);
    }
    EXPECT_EQ(n, 499);
    EXPECT_EQ(at400, "changed");

    auto d = t->scan();
    ASSERT_TRUE(d->next());
    t->rollback();
    n = 1;
    at400.clear();
    while (d->next()) {
        ++n;
        if (d->id() == 400)
            at400 = std::get<std::string>(d->value(1));
    }
    EXPECT_EQ(n, 500);
    EXPECT_EQ(at400, "s400");
}

// The bytes a cursor offers as a text field's value stand only for what value() gives: the same
// text, never for a NULL, a number or text that needs converting.
void expectPlainTextIsTheValue(Table& t, std::size_t maxRecords, const std::string& what) {
    auto c = t.scan();
    for (std::size_t n = 0; n < maxRecords && c->next(); ++n) {
        for (std::size_t i = 0; i < t.fields().size(); ++i) {
            std::string_view plain;
            if (!c->plainText(i, plain))
                continue;
            const Value& v = c->value(i);
            ASSERT_TRUE(std::holds_alternative<std::string>(v))
                << what << " record " << n << " field " << t.fields()[i].name;
            ASSERT_EQ(std::get<std::string>(v), plain)
                << what << " record " << n << " field " << t.fields()[i].name;
        }
    }
}

TEST(CursorPlainText, IsTheDecodedTextInBothFormats) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {Field{"T", FieldType::Alpha, 12, 0, 0}, Field{"N", FieldType::Long, 0, 0, 0}};
    layout.codePage = "CP850";
    const std::vector<std::string> texts = {"plain", "  lead", "tail  ", "caf\xC3\xA9", "", "x"};
    for (TableFormat format : {TableFormat::DBase, TableFormat::Paradox}) {
        const auto file = dir / (format == TableFormat::DBase ? "t.dbf" : "t.db");
        auto t = Table::create(file, format, layout);
        t->begin();
        for (std::size_t i = 0; i < texts.size(); ++i)
            t->insert({texts[i].empty() ? Value{} : Value{texts[i]}, static_cast<std::int64_t>(i)});
        t->commit();
        std::size_t offered = 0;
        auto c = t->scan();
        while (c->next()) {
            std::string_view plain;
            if (c->plainText(0, plain)) {
                ++offered;
                EXPECT_EQ(std::get<std::string>(c->value(0)), plain);
            }
            EXPECT_FALSE(c->plainText(1, plain)) << "a number is no text";
        }
        // "café" needs converting from CP850 and the empty value is NULL: neither is offered
        EXPECT_EQ(offered, 4u) << (format == TableFormat::DBase ? "dBASE" : "Paradox");
    }
    // NUL padding (other programs write it) reads as the end of the text
    auto bytes = testing::readAll(dir / "t.dbf");
    const std::size_t headerLength = bytes[8] | (bytes[9] << 8);
    bytes[headerLength + 1 + 5] = 0;  // "plain" followed by NUL instead of a blank
    testing::writeAll(dir / "t.dbf", bytes);
    auto t = Table::open(dir / "t.dbf", OpenMode::ReadOnly);
    expectPlainTextIsTheValue(*t, 10, "NUL-padded");
}

TEST(CursorPlainText, IsTheDecodedTextInEveryCorpusTable) {
    const auto corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "no corpus";
    std::size_t tables = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(corpus)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext != ".dbf" && ext != ".db")
            continue;
        std::unique_ptr<Table> t;
        try {
            t = Table::open(e.path(), OpenMode::ReadOnly);
        } catch (const std::exception&) {
            continue;  // the corpus tests say which tables are refused and why
        }
        expectPlainTextIsTheValue(*t, 2000, e.path().string());
        ++tables;
    }
    EXPECT_GT(tables, 20u);
}

}  // namespace
}  // namespace orn::db
