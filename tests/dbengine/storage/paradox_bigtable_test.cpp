// Large keyed Paradox tables: lookups, ranges and single-record writes read the index path and
// the few blocks they need (counted through the file layer), index paths answer like full scans,
// and damaged or stale indexes never give wrong rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/table.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

constexpr int kBlock = 4096;

// Bytes read by the process while `f` runs.
template <typename F>
std::uint64_t bytesReadBy(F&& f) {
    const auto before = PosixFile::readCounters().bytes;
    f();
    return PosixFile::readCounters().bytes - before;
}

std::int64_t intOf(const Value& v) {
    return std::get<std::int64_t>(v);
}

// Id (key), Name: 44-byte records, 92 to a 4 KiB block.
TableCreate wideLayout() {
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 40)};
    layout.keyFields = 1;
    return layout;
}

// A keyed table of `rows` records with keys 0, 2, 4, ... spread over hundreds of blocks.
void makeWide(const std::filesystem::path& file, int rows) {
    auto t = Table::create(file, TableFormat::Paradox, wideLayout());
    t->begin();
    for (int i = 0; i < rows; ++i)
        t->insert({std::int64_t(2 * i), "name " + std::to_string(i)});
    t->commit();
}

std::vector<std::int64_t> keysIn(TableCursor& c) {
    std::vector<std::int64_t> out;
    while (c.next())
        out.push_back(intOf(c.value(0)));
    return out;
}

TEST(ParadoxBigTable, LookupsRangesAndSingleWritesReadAFewBlocks) {
    testing::TempDir dir;
    const auto file = dir / "big.db";
    constexpr int kRows = 60000;  // about 650 data blocks
    makeWide(file, kRows);
    const std::uint64_t tableBytes = std::filesystem::file_size(file);
    ASSERT_GT(tableBytes, 600u * kBlock);

    auto t = Table::open(file, OpenMode::Shared);
    const std::uint64_t openBytes = bytesReadBy([&] { t = Table::open(file, OpenMode::Shared); });
    EXPECT_LE(openBytes, 3u * kBlock) << "opening reads the header, not the blocks";

    // One key: the index path and the block holding it (plus its predecessor's last record).
    std::vector<std::int64_t> found;
    std::uint64_t bytes = bytesReadBy([&] {
        t->startStatement();
        auto c = t->range({std::int64_t(77776)}, true, {std::int64_t(77776)}, true);
        found = keysIn(*c);
    });
    EXPECT_EQ(found, std::vector<std::int64_t>{77776});
    EXPECT_LE(bytes, 12u * kBlock);

    // A key that is not there, below the first and past the last key.
    for (std::int64_t k : {std::int64_t(77777), std::int64_t(-5), std::int64_t(2 * kRows + 9)}) {
        bytes = bytesReadBy([&] {
            t->startStatement();
            found = keysIn(*t->range({k}, true, {k}, true));
        });
        EXPECT_TRUE(found.empty()) << k;
        EXPECT_LE(bytes, 12u * kBlock) << k;
    }

    // A range of 100 records: the path, then the blocks the range covers.
    bytes = bytesReadBy([&] {
        t->startStatement();
        found = keysIn(*t->range({std::int64_t(50000)}, false, {std::int64_t(50200)}, true));
    });
    ASSERT_EQ(found.size(), 100u);
    EXPECT_EQ(found.front(), 50002);
    EXPECT_EQ(found.back(), 50200);
    EXPECT_LE(bytes, 14u * kBlock);

    // Single-record writes read the index, the blocks they change (in whole pages, once more for
    // the journal's copy of the old bytes), and nothing else.
    const std::uint64_t pxBytes = std::filesystem::file_size(dir / "big.px");
    const std::uint64_t writeLimit = 4 * pxBytes + 24u * kBlock;
    ASSERT_LT(writeLimit, tableBytes / 10);
    bytes = bytesReadBy([&] {
        t->startStatement();
        t->insert({std::int64_t(40001), std::string("odd one")});
    });
    EXPECT_LE(bytes, writeLimit);
    RecordId id = 0;
    bytes = bytesReadBy([&] {
        t->startStatement();
        auto c = t->range({std::int64_t(90000)}, true, {std::int64_t(90000)}, true);
        ASSERT_TRUE(c->next());
        id = c->id();
        t->update(id, {std::int64_t(90000), std::string("changed")});
    });
    EXPECT_LE(bytes, writeLimit);
    bytes = bytesReadBy([&] {
        t->startStatement();
        auto c = t->range({std::int64_t(30000)}, true, {std::int64_t(30000)}, true);
        ASSERT_TRUE(c->next());
        t->remove(c->id());
    });
    EXPECT_LE(bytes, writeLimit);
    // A key that moves to another block.
    bytes = bytesReadBy([&] {
        t->startStatement();
        t->update(id, {std::int64_t(3), std::string("moved")});
    });
    EXPECT_LE(bytes, writeLimit);

    // Everything as a full scan of a fresh open sees it, in key order.
    auto again = Table::open(file, OpenMode::ReadOnly);
    std::vector<std::int64_t> all = keysIn(*again->scan());
    ASSERT_EQ(all.size(), std::size_t(kRows));
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    EXPECT_TRUE(std::binary_search(all.begin(), all.end(), 40001));
    EXPECT_TRUE(std::binary_search(all.begin(), all.end(), 3));
    EXPECT_FALSE(std::binary_search(all.begin(), all.end(), 30000));
    EXPECT_FALSE(std::binary_search(all.begin(), all.end(), 90000));
    auto c = again->range({std::int64_t(3)}, true, {std::int64_t(3)}, true);
    ASSERT_TRUE(c->next());
    EXPECT_EQ(std::get<std::string>(c->value(1)), "moved");
}

// Code (a 60-letter key), Qty: 1 KiB blocks of 15 records, so the primary index of a table of
// 20,000 records is far larger than the path to one key.
TableCreate longKeyLayout() {
    TableCreate layout;
    layout.fields = {makeField("Code", FieldType::Alpha, 60), makeField("Qty", FieldType::Long)};
    layout.keyFields = 1;
    layout.blockSize = 1024;
    return layout;
}

std::string codeOf(int i) {
    std::string digits = std::to_string(i);
    return std::string(8 - digits.size(), '0') + digits + std::string(40, 'x');
}

RecordId idOfCode(Table& t, const Value& key) {
    t.startStatement();
    auto c = t.range({key}, true, {key}, true);
    EXPECT_TRUE(c->next());
    const RecordId id = c->id();
    t.endRead();
    return id;
}

TEST(ParadoxBigTable, AnUpdateThatKeepsItsKeyReadsItsPathNotTheWholeIndex) {
    testing::TempDir dir;
    const auto file = dir / "codes.db";
    constexpr int kRows = 20000;
    {
        auto t = Table::create(file, TableFormat::Paradox, longKeyLayout());
        t->begin();
        for (int i = 0; i < kRows; ++i)
            t->insert({codeOf(i), std::int64_t(i)});
        t->commit();
    }
    const std::uint64_t pxBytes = std::filesystem::file_size(dir / "codes.px");
    ASSERT_GT(pxBytes, 64u * 1024);

    // In the middle of a block and at the head of one (its first key, which the index holds).
    auto t = Table::open(file, OpenMode::Shared);
    for (int i : {12347, 15 * 700}) {
        const RecordId id = idOfCode(*t, codeOf(i));
        const std::uint64_t bytes = bytesReadBy([&] {
            t->startStatement();
            t->update(id, {codeOf(i), std::int64_t(-i)});
            t->endRead();
        });
        EXPECT_LT(bytes, pxBytes / 2) << i;
        t = Table::open(file, OpenMode::Shared);  // the next update starts without cached state
    }

    // A record another writer deleted with its whole block, whose bytes that writer left in
    // place (as other programs do with free blocks): the update finds the record gone instead
    // of writing into a block no reader sees.
    const int first = 15 * 300;
    const RecordId stale = idOfCode(*t, codeOf(first + 3));
    const std::vector<unsigned char> before = testing::readAll(file);
    const std::string key = codeOf(first + 3);
    const std::size_t headerSize = before[2] | before[3] << 8;
    const std::size_t keyAt = std::size_t(
        std::search(before.begin(), before.end(), key.begin(), key.end()) - before.begin());
    ASSERT_LT(keyAt, before.size());
    const std::size_t blockAt = headerSize + (keyAt - headerSize) / 1024 * 1024;
    {
        auto other = Table::open(file, OpenMode::Shared);
        other->begin();
        for (int i = first; i < first + 15; ++i)
            other->remove(idOfCode(*other, codeOf(i)));
        other->commit();
    }
    std::vector<unsigned char> after = testing::readAll(file);
    ASSERT_EQ(std::search(after.begin(), after.end(), key.begin(), key.end()), after.end());
    std::copy(before.begin() + long(blockAt) + 4, before.begin() + long(blockAt) + 1024,
              after.begin() + long(blockAt) + 4);
    testing::writeAll(file, after);
    EXPECT_THROW(t->update(stale, {codeOf(first + 3), std::int64_t(1)}), EngineError);

    auto again = Table::open(file, OpenMode::ReadOnly);
    std::map<std::string, std::int64_t> all;
    auto c = again->scan();
    while (c->next())
        all[std::get<std::string>(c->value(0))] = intOf(c->value(1));
    ASSERT_EQ(all.size(), std::size_t(kRows - 15));
    EXPECT_EQ(all.at(codeOf(12347)), -12347);
    EXPECT_EQ(all.at(codeOf(15 * 700)), -15 * 700);
    EXPECT_EQ(all.at(codeOf(12348)), 12348);
    EXPECT_EQ(all.count(codeOf(first + 3)), 0u);
}

// Codes 0, 2, 4, ... in full blocks of 15 (an index of full blocks of 15 entries).
std::filesystem::path makeFullCodes(const std::filesystem::path& dir, int rows) {
    std::filesystem::create_directories(dir);
    const auto file = dir / "codes.db";
    auto t = Table::create(file, TableFormat::Paradox, longKeyLayout());
    t->begin();
    for (int i = 0; i < rows; ++i)
        t->insert({codeOf(2 * i), std::int64_t(i)});
    t->commit();
    return file;
}

// A table of codes 0, 2, 4, ... (three index levels) with every fifth record deleted, so that
// its blocks have room; `dir / "codes.db"`.
std::filesystem::path makeRoomyCodes(const std::filesystem::path& dir, int rows) {
    const auto file = makeFullCodes(dir, rows);
    auto t = Table::open(file, OpenMode::Shared);
    std::vector<RecordId> gone;
    t->startStatement();
    auto c = t->scan();
    for (int i = 0; c->next(); ++i)
        if (i % 5 == 3)
            gone.push_back(c->id());
    t->begin();
    for (RecordId id : gone)
        t->remove(id);
    t->commit();
    return file;
}

struct TableBytes {
    std::vector<unsigned char> db, px;
    bool operator==(const TableBytes&) const = default;
};

// The files of the table in `from` after `edit` ran on a copy of them in `to`.
template <typename F>
TableBytes editCopy(const std::filesystem::path& from, const std::filesystem::path& to, F&& edit) {
    std::filesystem::create_directories(to);
    for (const char* name : {"codes.db", "codes.px"})
        std::filesystem::copy_file(from / name, to / name);
    {
        auto t = Table::open(to / "codes.db", OpenMode::Shared);
        edit(*t);
    }
    return {testing::readAll(to / "codes.db"), testing::readAll(to / "codes.px")};
}

TEST(ParadoxBigTable, WritesInsideABlockLeaveTheIndexAsARebuildWould) {
    testing::TempDir dir;
    constexpr int kRows = 40000;
    const auto file = makeRoomyCodes(dir / "base", kRows);
    const auto pxFile = dir / "base" / "codes.px";
    const std::uint64_t pxBytes = std::filesystem::file_size(pxFile);
    ASSERT_GT(pxBytes, 160u * 1024);
    ASSERT_EQ(testing::readAll(pxFile)[0x20], 3) << "three index levels";

    // Each case edits one copy record by record (each write changing one block in place) and
    // another in one transaction that also places and takes away a record ahead of every other,
    // which needs the block chain and writes the whole index anew.
    struct Case {
        const char* name;
        std::vector<int> inserts;  // codes added
        std::vector<int> removes;  // codes deleted
    };
    const std::vector<Case> cases = {
        {"middle of a block", {12347}, {}},
        {"behind a block's last record", {}, {}},
        {"delete", {}, {15002}},
        {"several blocks, one twice", {101, 103, 39001, 20005}, {20012, 39002, 30004}},
    };
    // The code just behind the last record of the block holding code 12000 (a key between two
    // blocks) and one past the table's last code.
    int betweenBlocks = 0;
    {
        auto t = Table::open(file, OpenMode::ReadOnly);
        t->startStatement();
        auto c = t->range({codeOf(12000)}, true, {codeOf(99999)}, true);
        std::uint16_t block = 0;
        while (c->next()) {
            const auto at = std::uint16_t(c->id() >> 16);
            if (block != 0 && at != block)
                break;
            block = at;
            betweenBlocks = std::stoi(std::get<std::string>(c->value(0)).substr(0, 8)) + 1;
        }
    }
    auto all = cases;
    all[1].inserts = {betweenBlocks, 2 * kRows + 1};
    int n = 0;
    for (const auto& k : all) {
        const auto apart = dir / ("apart" + std::to_string(n)),
                   whole = dir / ("whole" + std::to_string(n));
        ++n;
        std::uint64_t readApart = 0;
        const TableBytes byRecord = editCopy(dir / "base", apart, [&](Table& t) {
            readApart += bytesReadBy([&] {
                for (int code : k.inserts) {
                    t.startStatement();
                    t.insert({codeOf(code), std::int64_t(-code)});
                }
            });
            for (int code : k.removes) {
                const RecordId id = idOfCode(t, codeOf(code));
                readApart += bytesReadBy([&] {
                    t.startStatement();
                    t.remove(id);
                });
            }
        });
        const TableBytes rebuilt = editCopy(dir / "base", whole, [&](Table& t) {
            std::vector<RecordId> ids;
            for (int code : k.removes)
                ids.push_back(idOfCode(t, codeOf(code)));
            t.begin();
            for (int code : k.inserts)
                t.insert({codeOf(code), std::int64_t(-code)});
            for (RecordId id : ids)
                t.remove(id);
            t.insert({std::string("!first"), std::int64_t(0)});
            t.remove(idOfCode(t, "!first"));
            t.commit();
        });
        EXPECT_TRUE(byRecord.db == rebuilt.db) << k.name;
        EXPECT_TRUE(byRecord.px == rebuilt.px) << k.name;
        const std::size_t writes = k.inserts.size() + k.removes.size();
        // The index path, the block and its neighbour, and their pages again for the journal;
        // a write that read the whole index would read it twice.
        EXPECT_LT(readApart, writes * pxBytes / 2) << k.name;
        test::expectIndexMatchesBlocks(apart / "codes.db", apart / "codes.px");
    }

    // A code already there is refused and changes nothing.
    {
        const auto before = testing::readAll(file);
        auto t = Table::open(file, OpenMode::Shared);
        t->startStatement();
        EXPECT_THROW(t->insert({codeOf(2 * 777), std::int64_t(1)}), KeyViolation);
        t.reset();
        EXPECT_TRUE(testing::readAll(file) == before);
    }

    // An index whose counts are off (another program's, or out of date) is written anew instead
    // of being patched: the count of one entry of the lowest level is raised, then a record goes
    // into its block.
    {
        auto px = testing::readAll(pxFile);
        // The fifth entry of the first block, which the lowest level (written first) holds.
        const std::size_t entryAt = paradox::le16(px.data() + 2) + 6 + 4 * 66;
        const int code =
            std::stoi(std::string(px.begin() + long(entryAt), px.begin() + long(entryAt) + 8));
        const std::size_t countAt = entryAt + 60 + 2;
        const auto count = paradox::getSortableInt(px.data() + countAt, 2);
        ASSERT_TRUE(count.has_value());
        paradox::putSortableInt(px.data() + countAt, 2, *count + 1);
        testing::writeAll(pxFile, px);
        auto t = Table::open(file, OpenMode::Shared);
        t->startStatement();
        t->insert({codeOf(code + 1), std::int64_t(1)});
        t.reset();
        test::expectIndexMatchesBlocks(file, pxFile);
        auto again = Table::open(file, OpenMode::ReadOnly);
        EXPECT_EQ(again->recordCount(), std::uint64_t(kRows - kRows / 5 + 1));
    }
}

std::set<std::string> codesIn(const std::filesystem::path& file) {
    auto t = Table::open(file, OpenMode::ReadOnly);
    std::set<std::string> out;
    std::string last;
    auto c = t->scan();
    while (c->next()) {
        std::string code = std::get<std::string>(c->value(0));
        EXPECT_LT(last, code) << "in key order";
        last = code;
        out.insert(std::move(code));
    }
    return out;
}

TEST(ParadoxBigTable, SplitAndEmptiedBlocksEditTheIndexAlongTheirPath) {
    testing::TempDir dir;
    constexpr int kRows = 60000;
    const auto file = makeFullCodes(dir.path(), kRows);
    const auto pxFile = dir / "codes.px";
    const std::uint64_t pxBytes = std::filesystem::file_size(pxFile);
    std::set<std::string> codes;
    for (int i = 0; i < kRows; ++i)
        codes.insert(codeOf(2 * i));

    // Inserts between full blocks' records split them, and the full index blocks above them;
    // then records behind the last one, one by one, fill new blocks at the end.
    std::mt19937 rng(4711);
    std::uniform_int_distribution<int> odd(0, kRows - 1);
    auto t = Table::open(file, OpenMode::Shared);
    std::uint64_t most = 0;
    auto write = [&](auto&& f) {
        const auto b = bytesReadBy([&] {
            t->startStatement();
            f();
            t->endRead();
        });
        most = std::max(most, b);
    };
    for (int i = 0; i < 300; ++i) {
        const std::string code = codeOf(2 * odd(rng) + 1);
        if (codes.insert(code).second)
            write([&] { t->insert({code, std::int64_t(i)}); });
    }
    for (int i = 0; i < 100; ++i) {
        codes.insert(codeOf(2 * kRows + i));
        write([&] { t->insert({codeOf(2 * kRows + i), std::int64_t(i)}); });
    }
    EXPECT_LT(most, pxBytes / 2) << "no write read the whole index";
    test::expectSoundIndex(file, pxFile);
    EXPECT_EQ(codesIn(file), codes);

    // Updates that move keys, to other blocks and within their own; one onto a taken key is
    // refused with nothing changed.
    most = 0;
    std::uniform_int_distribution<int> any(0, kRows - 1);
    for (int i = 0; i < 60; ++i) {
        const std::string from = codeOf(2 * any(rng));
        const std::string to = codeOf(2 * any(rng) + 1) + (i % 2 ? "" : "u");
        if (!codes.count(from) || codes.count(to))
            continue;
        const RecordId id = idOfCode(*t, from);
        write([&] { t->update(id, {to, std::int64_t(-i)}); });
        codes.erase(from);
        codes.insert(to);
    }
    EXPECT_LT(most, pxBytes / 2) << "no update read the whole index";
    {
        const auto dbBefore = testing::readAll(file);
        const RecordId id = idOfCode(*t, *codes.begin());
        t->startStatement();
        EXPECT_THROW(t->update(id, {*codes.rbegin(), std::int64_t(0)}), KeyViolation);
        t->endRead();
        EXPECT_TRUE(testing::readAll(file) == dbBefore);
    }
    test::expectSoundIndex(file, pxFile);
    EXPECT_EQ(codesIn(file), codes);

    // Deletes empty whole blocks (in the middle of the chain and at its end) and change blocks'
    // first keys.
    std::vector<std::string> gone;
    for (int i = 30000; i < 30090; ++i)
        gone.push_back(codeOf(2 * i));
    for (int i = 0; i < 20; ++i)
        gone.push_back(codeOf(2 * kRows + 99 - i));
    // The first records of 200 blocks in a row, some of them first in their index block too.
    for (int block = 1000; block < 1200; ++block)
        gone.push_back(codeOf(2 * 15 * block));
    most = 0;
    for (const auto& code : gone) {
        if (!codes.count(code))
            continue;  // an update moved it
        const RecordId id = idOfCode(*t, code);
        write([&] { t->remove(id); });
        codes.erase(code);
    }
    EXPECT_LT(most, pxBytes / 2) << "no delete read the whole index";
    test::expectSoundIndex(file, pxFile);
    EXPECT_EQ(codesIn(file), codes);

    // A rolled back transaction of such writes leaves the files as they were.
    const auto dbBefore = testing::readAll(file);
    const auto pxBefore = testing::readAll(pxFile);
    t->begin();
    for (int i = 0; i < 50; ++i)
        t->insert({codeOf(2 * odd(rng) + 1) + "r", std::int64_t(i)});
    t->remove(idOfCode(*t, codeOf(2 * 7000)));
    t->rollback();
    EXPECT_TRUE(testing::readAll(file) == dbBefore);
    EXPECT_TRUE(testing::readAll(pxFile) == pxBefore);

    // Writes by the path (splits taking the blocks the deletes freed) followed, in the same
    // transaction, by one that needs the whole chain (a key that moves), which reads it from
    // the edited index rather than from every block.
    const std::uint64_t tableBytes = std::filesystem::file_size(file);
    auto firstFree = [&] { return paradox::le16(testing::readAll(file).data() + 0x4D); };
    ASSERT_NE(firstFree(), 0);
    const std::string moved = codeOf(2 * 9000);
    t->startStatement();
    const std::uint64_t transactionBytes = bytesReadBy([&] {
        t->begin();
        for (int i = 0; i < 30; ++i) {
            const std::string code = codeOf(2 * odd(rng) + 1) + "m";
            if (codes.insert(code).second)
                t->insert({code, std::int64_t(i)});
        }
        t->update(idOfCode(*t, moved), {std::string("~last"), std::int64_t(0)});
        t->commit();
    });
    EXPECT_LT(transactionBytes, tableBytes / 2);
    EXPECT_EQ(firstFree(), 0) << "splits took the free blocks";
    codes.erase(moved);
    codes.insert("~last");
    test::expectSoundIndex(file, pxFile);
    EXPECT_EQ(codesIn(file), codes);
    // Another reader finds every record.
    EXPECT_EQ(test::readWithPxlib(file, "CP1252").records.size(), codes.size());
}

TEST(ParadoxBigTable, ARootThatSplitsAddsALevel) {
    testing::TempDir dir;
    // 15 full blocks: an index of one full block.
    const auto file = makeFullCodes(dir.path(), 15 * 15);
    const auto pxFile = dir / "codes.px";
    ASSERT_EQ(testing::readAll(pxFile)[0x20], 1);
    {
        auto t = Table::open(file, OpenMode::Shared);
        t->startStatement();
        t->insert({codeOf(101), std::int64_t(0)});
        // A new first key, below the first block's.
        t->startStatement();
        t->insert({std::string("!"), std::int64_t(0)});
    }
    EXPECT_EQ(testing::readAll(pxFile)[0x20], 2);
    test::expectSoundIndex(file, pxFile);
    const auto codes = codesIn(file);
    EXPECT_EQ(codes.size(), 15u * 15 + 2);
    EXPECT_EQ(*codes.begin(), "!");
    EXPECT_EQ(codes.count(codeOf(101)), 1u);
}

TEST(ParadoxBigTable, PathsUnderCountsPastAShortAreEditedToo) {
    // 4-byte records in 2 KiB blocks: 510 to a block and 204 blocks to an index block, so that
    // the first of the root's two entries stands for 104,040 records, which its short stores
    // as 65,535.
    testing::TempDir dir;
    const auto file = dir / "ids.db";
    const auto pxFile = dir / "ids.px";
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long)};
    layout.keyFields = 1;
    layout.blockSize = 2048;
    constexpr int kRows = 120000;
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < kRows; ++i)
            t->insert({std::int64_t(2 * i)});
        t->commit();
    }
    auto rootEntries = [&] {
        const auto px = testing::readAll(pxFile);
        const std::size_t at =
            paradox::le16(px.data() + 2) + std::size_t(paradox::le16(px.data() + 0x1E) - 1) * 2048;
        return std::int16_t(paradox::le16(px.data() + at + 4)) / 10 + 1;
    };
    ASSERT_EQ(testing::readAll(pxFile)[0x20], 2);
    ASSERT_EQ(rootEntries(), 2);
    auto t = Table::open(file, OpenMode::Shared);
    // A delete and an insert that stay in their blocks, under the capped count.
    t->startStatement();
    t->remove(idOfCode(*t, std::int64_t(2 * 5001)));
    t->startStatement();
    t->insert({std::int64_t(2 * 5001)});
    test::expectSoundIndex(file, pxFile);
    // An insert that splits a full block there splits its full index block: the root gains an
    // entry (a rebuild would leave it two) and both halves count exactly again.
    t->startStatement();
    t->insert({std::int64_t(2 * 7001 + 1)});
    t.reset();
    EXPECT_EQ(rootEntries(), 3);
    test::expectSoundIndex(file, pxFile);
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->recordCount(), std::uint64_t(kRows + 1));
}

// Grp, Id, Note with a two-field key (206-byte records, 19 to a block); random inserts and deletes
// split blocks, free them and reuse them, so the chain runs through the file out of order.
TableCreate pairLayout() {
    TableCreate layout;
    layout.fields = {makeField("Grp", FieldType::Short), makeField("Id", FieldType::Long),
                     makeField("Note", FieldType::Alpha, 200)};
    layout.keyFields = 2;
    return layout;
}

using Pair = std::pair<std::int64_t, std::int64_t>;

// Random inserts and deletes in one transaction; `keys` follows them.
void fillRandomly(Table& t, std::set<Pair>& keys, std::mt19937& rng, int steps) {
    t.begin();
    for (int i = 0; i < steps; ++i) {
        Pair k{std::int64_t(rng() % 40), std::int64_t(rng() % 2000)};
        if (keys.count(k)) {
            if (rng() % 2 == 0)
                continue;
            auto c = t.range({k.first, k.second}, true, {k.first, k.second}, true);
            EXPECT_TRUE(c->next());
            t.remove(c->id());
            keys.erase(k);
            continue;
        }
        t.insert({k.first, k.second, std::string(std::size_t(rng() % 200), 'n')});
        keys.insert(k);
    }
    t.commit();
}

std::vector<Pair> pairsIn(TableCursor& c) {
    std::vector<Pair> out;
    while (c.next())
        out.push_back({intOf(c.value(0)), intOf(c.value(1))});
    return out;
}

// What a range over the leading key fields must return, from the whole set.
std::vector<Pair> expected(const std::vector<Pair>& keys, const Record& low, bool lowInc,
                           const Record& high, bool highInc) {
    auto cmp = [](const Pair& k, const Record& b) {
        Pair p{intOf(b[0]), b.size() > 1 ? intOf(b[1]) : 0};
        if (k.first != p.first)
            return k.first < p.first ? -1 : 1;
        if (b.size() < 2 || k.second == p.second)
            return 0;
        return k.second < p.second ? -1 : 1;
    };
    std::vector<Pair> out;
    for (const auto& k : keys) {
        if (!low.empty()) {
            int c = cmp(k, low);
            if (c < 0 || (c == 0 && !lowInc))
                continue;
        }
        if (!high.empty()) {
            int c = cmp(k, high);
            if (c > 0 || (c == 0 && !highInc))
                continue;
        }
        out.push_back(k);
    }
    return out;
}

void checkRandomRanges(Table& t, const std::set<Pair>& keySet, std::mt19937& rng, int probes) {
    const std::vector<Pair> keys(keySet.begin(), keySet.end());
    for (int i = 0; i < probes; ++i) {
        Record low, high;
        const int shape = int(rng() % 4);
        const std::int64_t g = std::int64_t(rng() % 42) - 1;
        const std::int64_t id = std::int64_t(rng() % 2002) - 1;
        if (shape == 0) {  // whole key equality
            low = high = {g, id};
        } else if (shape == 1) {  // one group
            low = high = {g};
        } else if (shape == 2) {  // inside one group
            low = {g, id};
            high = {g, id + std::int64_t(rng() % 300)};
        } else {  // across groups, open on one side at times
            low = {g};
            high = {g + std::int64_t(rng() % 5)};
            if (rng() % 3 == 0)
                low.clear();
            else if (rng() % 3 == 0)
                high.clear();
        }
        const bool lowInc = rng() % 2, highInc = rng() % 2;
        t.startStatement();
        auto got = pairsIn(*t.range(low, lowInc, high, highInc));
        ASSERT_EQ(got, expected(keys, low, lowInc, high, highInc))
            << "shape " << shape << " group " << g << " id " << id;
    }
}

TEST(ParadoxBigTable, IndexPathsAnswerLikeFullScansOnRandomData) {
    testing::TempDir dir;
    const auto file = dir / "pairs.db";
    std::mt19937 rng(20260);
    Table::create(file, TableFormat::Paradox, pairLayout());
    std::set<Pair> keys;
    {
        auto t = Table::open(file, OpenMode::Shared);
        fillRandomly(*t, keys, rng, 8000);
    }
    ASSERT_GT(std::filesystem::file_size(file), 100u * kBlock);
    auto t = Table::open(file, OpenMode::Shared);
    std::vector<Pair> all = pairsIn(*t->scan());
    ASSERT_EQ(all, std::vector<Pair>(keys.begin(), keys.end()));
    checkRandomRanges(*t, keys, rng, 400);

    // More random changes through the same open table, one statement each, then again.
    for (int round = 0; round < 40; ++round) {
        t->startStatement();
        Pair k{std::int64_t(rng() % 40), std::int64_t(rng() % 2000)};
        auto c = t->range({k.first, k.second}, true, {k.first, k.second}, true);
        if (c->next()) {
            t->remove(c->id());
            keys.erase(k);
        } else {
            t->insert({k.first, k.second, std::string("late")});
            keys.insert(k);
        }
    }
    checkRandomRanges(*t, keys, rng, 200);
}

// The leaf entries of the index: {offset in the .px file of the entry's block number}.
std::vector<std::size_t> leafEntryBlockOffsets(const std::vector<unsigned char>& px,
                                               std::size_t keySize) {
    const std::size_t headerSize = paradox::le16(px.data() + 2);
    const std::size_t blockSize = std::size_t(px[5]) * 1024;
    const std::size_t root = paradox::le16(px.data() + 0x1E);
    const std::size_t entry = keySize + 6;
    std::vector<std::size_t> out;
    // Our two-level indexes put the leaf level first, then the root.
    EXPECT_EQ(px[0x20], 2);
    for (std::size_t b = 1; b < root; ++b) {
        const std::size_t at = headerSize + (b - 1) * blockSize;
        const int add = std::int16_t(paradox::le16(px.data() + at + 4));
        for (int i = 0; add >= 0 && i <= add / int(entry); ++i)
            out.push_back(at + 6 + std::size_t(i) * entry + keySize);
    }
    return out;
}

TEST(ParadoxBigTable, DamagedOrStaleIndexesNeverGiveWrongRows) {
    testing::TempDir dir;
    const auto file = dir / "pairs.db";
    const auto px = dir / "pairs.px";
    std::mt19937 rng(777);
    Table::create(file, TableFormat::Paradox, pairLayout());
    std::set<Pair> keys;
    {
        auto t = Table::open(file, OpenMode::Shared);
        fillRandomly(*t, keys, rng, 9000);
    }
    const auto good = testing::readAll(px);
    auto offsets = leafEntryBlockOffsets(good, 6);
    ASSERT_GT(offsets.size(), 20u);

    // Entries that point at the wrong block: swapped with their neighbours, or past the file.
    auto swapped = good;
    for (std::size_t i = 0; i + 1 < offsets.size(); i += 2)
        std::swap_ranges(swapped.begin() + long(offsets[i]), swapped.begin() + long(offsets[i]) + 2,
                         swapped.begin() + long(offsets[i + 1]));
    auto outside = good;
    for (std::size_t i = 0; i < offsets.size(); i += 3)
        paradox::putSortableInt(outside.data() + offsets[i], 2, 30000);
    // A root that names a block the index does not have, and an index cut short.
    auto badRoot = good;
    paradox::putLe16(badRoot.data() + 0x1E, 60000);
    auto cut = good;
    cut.resize(cut.size() / 2);

    for (const auto* bytes : {&swapped, &outside, &badRoot, &cut}) {
        testing::writeAll(px, *bytes);
        auto t = Table::open(file, OpenMode::ReadOnly);
        checkRandomRanges(*t, keys, rng, 100);
    }

    // An index left behind from an older state of the table (as after a copy of the .db alone).
    testing::writeAll(px, good);
    {
        auto t = Table::open(file, OpenMode::Shared);
        fillRandomly(*t, keys, rng, 2000);
    }
    testing::writeAll(px, good);
    {
        auto t = Table::open(file, OpenMode::Shared);
        checkRandomRanges(*t, keys, rng, 100);
        // Writes through a stale index still keep the table whole and in key order.
        keys.insert({41, 1});
        t->insert({std::int64_t(41), std::int64_t(1), std::string("after")});
        keys.insert({0, -1});
        t->insert({std::int64_t(0), std::int64_t(-1), std::string("first")});
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(pairsIn(*t->scan()), std::vector<Pair>(keys.begin(), keys.end()));
    checkRandomRanges(*t, keys, rng, 100);
}

TEST(ParadoxBigTable, ChangesByAnotherWriterAreSeenAtTheNextStatement) {
    testing::TempDir dir;
    const auto file = dir / "big.db";
    makeWide(file, 5000);
    auto reader = Table::open(file, OpenMode::Shared);
    reader->startStatement();
    ASSERT_EQ(keysIn(*reader->range({std::int64_t(100)}, true, {std::int64_t(100)}, true)),
              std::vector<std::int64_t>{100});
    {
        // Odd keys in front split the early blocks and move every key after them.
        auto writer = Table::open(file, OpenMode::Shared);
        writer->begin();
        for (int i = 0; i < 3000; ++i)
            writer->insert({std::int64_t(2 * i + 1), std::string("odd")});
        writer->commit();
    }
    reader->startStatement();
    EXPECT_EQ(reader->recordCount(), 8000u);
    for (std::int64_t k : {std::int64_t(1), std::int64_t(100), std::int64_t(2999),
                           std::int64_t(5999), std::int64_t(9998)}) {
        EXPECT_EQ(keysIn(*reader->range({k}, true, {k}, true)), std::vector<std::int64_t>{k});
    }
    EXPECT_EQ(keysIn(*reader->range({std::int64_t(10)}, true, {std::int64_t(15)}, true)),
              (std::vector<std::int64_t>{10, 11, 12, 13, 14, 15}));
}

}  // namespace
}  // namespace orn::db

namespace orn::db {
namespace {

// Tables of every block size: filled past several blocks, keyed, with memos; read back through
// the index and by pxlib.
TEST(ParadoxBlockSizes, EveryBlockSizeHoldsKeysIndexesAndMemos) {
    testing::TempDir dir;
    for (int size : kParadoxBlockSizes) {
        SCOPED_TRACE(size);
        const auto file = dir / ("b" + std::to_string(size) + ".db");
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 30),
                         makeField("Notes", FieldType::Memo, 10)};
        layout.keyFields = 1;
        layout.blockSize = size;
        // Enough records for several blocks of the largest size and a two-level index of the
        // smallest.
        const int rows = size * 6 / 48;
        {
            auto t = Table::create(file, TableFormat::Paradox, layout);
            t->begin();
            for (int i = rows - 1; i >= 0; --i) {  // descending: every insert splits at the front
                Value memo = i % 7 == 0 ? Value{std::string(200 + i % 50, 'm')} : Value{};
                t->insert({std::int64_t(i * 5), "row " + std::to_string(i), memo});
            }
            t->commit();
        }
        EXPECT_EQ(testing::readAll(file)[5], size / 1024);
        EXPECT_GT(std::filesystem::file_size(file), 5u * std::uint64_t(size));
        test::expectIndexMatchesBlocks(file, dir / ("b" + std::to_string(size) + ".px"));
        auto px = test::readWithPxlib(file, "CP1252");
        ASSERT_EQ(px.records.size(), std::size_t(rows));
        for (int i = 0; i < rows; ++i)
            ASSERT_EQ(px.records[std::size_t(i)][0], Value{std::int64_t(i * 5)});

        auto t = Table::open(file, OpenMode::Shared);
        for (int i = 0; i < rows; i += 37) {
            t->startStatement();
            auto c = t->range({std::int64_t(i * 5)}, true, {std::int64_t(i * 5)}, true);
            ASSERT_TRUE(c->next()) << i;
            EXPECT_EQ(c->value(1), Value{"row " + std::to_string(i)});
            if (i % 7 == 0) {
                EXPECT_EQ(std::get<std::string>(c->value(2)).size(), std::size_t(200 + i % 50));
            }
            EXPECT_FALSE(c->next());
        }
    }
}

TEST(ParadoxBlockSizes, ImpossibleBlockSizesAreRefused) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 255),
                     makeField("More", FieldType::Alpha, 255),
                     makeField("Rest", FieldType::Alpha, 255)};
    auto message = [&](TableCreate l) -> std::string {
        try {
            Table::create(dir / "x.db", TableFormat::Paradox, l);
        } catch (const EngineError& e) {
            return e.what();
        }
        return "no error";
    };
    layout.blockSize = 8192;
    EXPECT_NE(message(layout).find("1, 2, 4, 16 or 32 KiB"), std::string::npos) << message(layout);
    layout.blockSize = 1024;  // 769-byte records fit, two keys of 4 bytes per index block too
    EXPECT_EQ(message(layout), "no error");
    layout.keyFields = 3;  // but not two keys of 514 bytes
    EXPECT_NE(message(layout).find("do not fit in blocks of 1 KiB"), std::string::npos)
        << message(layout);
    layout.blockSize = 2048;
    EXPECT_EQ(message(layout), "no error");
    layout.blockSize = 16384;
    layout.version = 4;
    EXPECT_NE(message(layout).find("Paradox 5"), std::string::npos) << message(layout);

    // The block size an answer needs: the default while it fits, then the next that holds it.
    TableCreate answer;
    answer.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 40)};
    EXPECT_EQ(paradoxBlockSizeFor(answer, 1000), 4096);
    EXPECT_EQ(paradoxBlockSizeFor(answer, 92u * 65535u), 4096);
    EXPECT_EQ(paradoxBlockSizeFor(answer, 92u * 65535u + 1u), 16384);
    EXPECT_EQ(paradoxBlockSizeFor(answer, 50'000'000u), 32768);
    EXPECT_EQ(paradoxBlockSizeFor(answer, 500'000'000u), 32768);
}

// The default block size from the settings: taken where the table's level has it and a record
// fits, passed over otherwise; a size the layout names wins.
TEST(ParadoxBlockSizes, TheDefaultBlockSizeIsTakenWhereItFits) {
    testing::TempDir dir;
    auto made = [&](const TableCreate& l) {
        auto t = Table::create(dir / "d.db", TableFormat::Paradox, l);
        return static_cast<paradox::ParadoxTable&>(*t).header().blockSize();
    };
    TableCreate small;
    small.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 40)};
    small.keyFields = 1;
    TableCreate wide = small;
    wide.fields.push_back(makeField("More", FieldType::Alpha, 255));
    wide.fields.push_back(makeField("Rest", FieldType::Alpha, 255));
    wide.fields.push_back(makeField("Last", FieldType::Alpha, 255));
    wide.fields.push_back(makeField("Tail", FieldType::Alpha, 255));
    TableCreate old;
    old.fields = {makeField("Id", FieldType::Short), makeField("Name", FieldType::Alpha, 40)};
    old.version = 4;

    setDefaultParadoxBlockSize(1024);
    EXPECT_EQ(made(small), 1024);
    EXPECT_EQ(made(wide), 4096);  // 1064-byte records do not fit 1 KiB blocks
    EXPECT_EQ(paradoxBlockSizeFor(small, 1000), 1024);
    EXPECT_EQ(paradoxBlockSizeFor(small, 50'000'000u), 32768);  // an answer that needs more
    setDefaultParadoxBlockSize(32768);
    EXPECT_EQ(made(small), 32768);
    EXPECT_EQ(made(old), 4096);  // Paradox 4 has no 32 KiB blocks
    TableCreate named = small;
    named.blockSize = 2048;
    EXPECT_EQ(made(named), 2048);
    setDefaultParadoxBlockSize(3000);  // no Paradox size: none
    EXPECT_EQ(defaultParadoxBlockSize(), 0);
    EXPECT_EQ(made(small), 4096);
    setDefaultParadoxBlockSize(0);
}

TEST(ParadoxBlockSizes, AFullTableSaysHowToMakeRoomAndKeepsWhatItHad) {
    testing::TempDir dir;
    const auto file = dir / "full.db";
    TableCreate layout;
    // One 1015-byte record to a 1 KiB block: 65535 records fill the table.
    layout.fields = {makeField("A", FieldType::Alpha, 255), makeField("B", FieldType::Alpha, 255),
                     makeField("C", FieldType::Alpha, 255), makeField("D", FieldType::Alpha, 250)};
    layout.blockSize = 1024;
    auto t = Table::create(file, TableFormat::Paradox, layout);
    const Record row{std::string("a"), std::string("b"), std::string("c"), std::string("d")};
    t->begin();
    for (int i = 0; i < 65535; ++i)
        t->insert(row);
    t->commit();
    t->begin();
    try {
        t->insert(row);
        ADD_FAILURE() << "no error for a full table";
    } catch (const EngineError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("is full"), std::string::npos) << text;
        EXPECT_NE(text.find("BLOCK SIZE 32768"), std::string::npos) << text;
    }
    t->rollback();
    t.reset();
    auto again = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(again->recordCount(), 65535u);
    std::uint64_t n = 0;
    for (auto c = again->scan(); c->next();)
        ++n;
    EXPECT_EQ(n, 65535u);
}

}  // namespace
}  // namespace orn::db
