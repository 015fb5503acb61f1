// dBASE tables and memo files as large as their formats allow. The files are sparse: the
// records and memos in between are holes, so each test writes a few pages at offsets past
// 2 and 4 GB and stays small on disk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;

void putLe32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// Gives the table `records` records (those past its own are holes that read as zeros) by patching the header's count
// and stretching the file, with the end-of-file mark after the last.
void stretch(const fs::path& file, std::uint32_t records) {
    auto bytes = testing::readAll(file);
    const std::size_t headerLength = bytes[8] | (bytes[9] << 8);
    const std::size_t recordLength = bytes[10] | (bytes[11] << 8);
    const std::size_t had = bytes[4] | (bytes[5] << 8);  // records written so far (a few)
    putLe32(bytes, 4, records);
    bytes.resize(headerLength + had * recordLength);
    testing::writeAll(file, bytes);
    const std::uint64_t end = headerLength + std::uint64_t{records} * recordLength;
    ASSERT_EQ(::truncate(file.c_str(), off_t(end + 1)), 0);
    std::FILE* f = std::fopen(file.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(::fseeko(f, off_t(end), SEEK_SET), 0);
    std::fputc(0x1A, f);
    std::fclose(f);
}

// Records and memos past 2 and 4 GB are written and read back where they belong.
TEST(DBaseLimits, RecordsAndMemosLieFarPastFourGigabytes) {
    testing::TempDir dir;
    const auto file = dir / "big.dbf";
    TableCreate layout;
    layout.version = 4;
    layout.fields = {makeField("ID", FieldType::Number, 10), makeField("NOTE", FieldType::Memo),
                     makeField("TEXT", FieldType::Alpha, 250)};
    Table::create(file, TableFormat::DBase, layout)
        ->insert({std::int64_t{1}, std::string("first"), std::string("a")});
    const std::uint32_t records = 18'000'000;  // of 271 bytes: 4.9 GB
    stretch(file, records);
    // The memo file holds 5 GB of memos before the next one.
    ASSERT_EQ(::truncate((dir / "big.dbt").c_str(), off_t{5} << 30), 0);
    {
        auto t = Table::open(file, OpenMode::Shared);
        EXPECT_EQ(t->damage(), "");
        t->insert({std::int64_t{2}, std::string("far memo"), std::string("far record")});
        t->update(records / 2, {std::int64_t{3}, std::string("middle memo"), std::string("mid")});
    }
    EXPECT_GT(fs::file_size(file), std::uint64_t{4} << 30);
    EXPECT_GT(fs::file_size(dir / "big.dbt"), std::uint64_t{5} << 30);
    auto t = Table::open(file, OpenMode::ReadOnly);
    const Record last = t->read(records + 1);
    EXPECT_EQ(valueText(last[0]), "2");
    EXPECT_EQ(valueText(last[1]), "far memo");
    EXPECT_EQ(valueText(last[2]), "far record");
    EXPECT_EQ(valueText(t->read(records / 2)[1]), "middle memo");
    EXPECT_EQ(valueText(t->read(1)[1]), "first");
}

// The record count stops at 2^31 - 1, and a memo file at 2^32 blocks: a clear refusal that
// leaves the table as it was.
TEST(DBaseLimits, TheLastRecordAndTheLastMemoBlockAreRefusedClearly) {
    testing::TempDir dir;
    const auto file = dir / "full.dbf";
    TableCreate layout;
    layout.fields = {makeField("F", FieldType::Alpha, 1)};
    Table::create(file, TableFormat::DBase, layout);
    stretch(file, 0x7FFFFFFF);
    const auto size = fs::file_size(file);
    try {
        Table::open(file, OpenMode::Shared)->insert({std::string("x")});
        ADD_FAILURE() << "a record past 2^31 - 1 was written";
    } catch (const EngineError& e) {
        EXPECT_EQ(std::string(e.what()),
                  file.string() + " is full: a dBASE table holds at most 2147483647 records.");
    }
    EXPECT_EQ(fs::file_size(file), size);

    // Visual FoxPro memo files may have blocks of one byte: 4 GB is their end.
    const auto fox = dir / "fox.dbf";
    layout.version = 0x30;
    layout.fields = {makeField("ID", FieldType::Number, 4), makeField("NOTE", FieldType::Memo)};
    Table::create(fox, TableFormat::DBase, layout)->insert({std::int64_t{1}, std::string("m")});
    auto memo = testing::readAll(dir / "fox.fpt");
    memo[6] = 0;
    memo[7] = 1;  // block size 1
    testing::writeAll(dir / "fox.fpt", memo);
    ASSERT_EQ(::truncate((dir / "fox.fpt").c_str(), off_t{0xFFFFFFFF} - 40), 0);
    auto t = Table::open(fox, OpenMode::Shared);
    t->insert({std::int64_t{2}, std::string(20, 'y')});  // still fits
    EXPECT_EQ(valueText(t->read(2)[1]), std::string(20, 'y'));
    try {
        t->insert({std::int64_t{3}, std::string(20, 'z')});
        ADD_FAILURE() << "a memo past the last block was written";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("fox.fpt is full: a memo file holds at most "
                                             "4294967295 blocks of 1 byte"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(t->recordCount(), 2u);
}

}  // namespace
}  // namespace orn::db
