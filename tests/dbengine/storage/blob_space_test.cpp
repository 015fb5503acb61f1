// Space in the .mb blob file: small values fill partly used blocks whatever statement wrote
// them, freed space is used again, and the header's free-space list says where it is.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;

struct FreeEntry {
    int kind;
    std::uint32_t offset;
    std::uint32_t amount;
};

std::vector<FreeEntry> freeList(const fs::path& mb) {
    const auto b = testing::readAll(mb);
    std::vector<FreeEntry> out;
    for (std::size_t at = 0x38; at + 6 <= 4096 && b[at] != 0; at += 6)
        out.push_back({b[at], (std::uint32_t(b[at + 1]) | b[at + 2] << 8 | b[at + 3] << 16) << 8,
                       std::uint32_t(b[at + 4] | b[at + 5] << 8)});
    return out;
}

// Free 16-byte units of a block of small blobs, counted from its slot table.
std::uint32_t freeUnits(const std::vector<unsigned char>& mb, std::uint32_t offset) {
    std::uint32_t used = 0;
    for (int i = 0; i < 64; ++i) {
        const unsigned char* s = mb.data() + offset + 12 + 5 * i;
        if (s[0] != 0 && s[4] != 0)
            used += s[1];
    }
    return 256 - 21 - used;
}

// Every entry of the list names what is really there.
void expectListTrue(const fs::path& mb) {
    const auto b = testing::readAll(mb);
    for (const auto& e : freeList(mb)) {
        ASSERT_LT(e.offset, b.size());
        if (e.kind == 2) {
            EXPECT_EQ(b[e.offset], 3) << e.offset;
            EXPECT_EQ(e.amount, freeUnits(b, e.offset)) << e.offset;
        } else if (e.kind == 3) {
            EXPECT_EQ(b[e.offset], 4) << e.offset;
            EXPECT_EQ(b[e.offset + 1] | b[e.offset + 2] << 8, int(e.amount)) << e.offset;
        }
    }
}

class BlobSpaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Note", FieldType::Memo, 11)};
        layout.keyFields = 1;
        Table::create(db(), TableFormat::Paradox, layout);
    }
    fs::path db() const { return dir_ / "notes.db"; }
    fs::path mb() const { return dir_ / "notes.mb"; }
    std::map<std::int64_t, std::string> contents() {
        std::map<std::int64_t, std::string> out;
        auto t = Table::open(db(), OpenMode::ReadOnly);
        for (auto c = t->scan(); c->next();)
            out[std::get<std::int64_t>(c->value(0))] =
                isBlank(c->value(1)) ? std::string() : std::get<std::string>(c->value(1));
        return out;
    }
    testing::TempDir dir_;
};

TEST_F(BlobSpaceTest, SmallValuesOfSeparateStatementsShareBlocks) {
    {
        auto t = Table::open(db(), OpenMode::Shared);
        for (int i = 0; i < 70; ++i)  // each insert is its own transaction
            t->insert({std::int64_t(i), std::string(50, char('a' + i % 26))});
    }
    // 50 bytes take 4 units: 58 values fit a block, so 2 blocks and the header.
    EXPECT_EQ(fs::file_size(mb()), 3u * 4096);
    const auto list = freeList(mb());
    ASSERT_EQ(list.size(), 2u);  // the full block keeps 3 units, the second the rest
    EXPECT_EQ(list[0].kind, 2);
    EXPECT_EQ(list[1].kind, 2);
    EXPECT_EQ(list[0].amount + list[1].amount, 2 * 235u - 70 * 4);
    expectListTrue(mb());
    EXPECT_EQ(contents().at(69), std::string(50, char('a' + 69 % 26)));
}

TEST_F(BlobSpaceTest, FreedSpaceIsUsedAgainAndListed) {
    auto t = Table::open(db(), OpenMode::Shared);
    std::vector<RecordId> ids;
    for (int i = 0; i < 6; ++i)
        ids.push_back(t->insert({std::int64_t(i), std::string(5000 + i, 'x')}));
    const auto full = fs::file_size(mb());
    t->remove(ids[1]);
    t->remove(ids[2]);  // two neighbouring runs merge into one
    auto list = freeList(mb());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].kind, 3);
    EXPECT_EQ(list[0].amount, 4u);
    expectListTrue(mb());
    t->insert({std::int64_t(10), std::string(12000, 'y')});  // 3 chunks out of the 4
    EXPECT_EQ(fs::file_size(mb()), full);
    list = freeList(mb());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].amount, 1u);
    expectListTrue(mb());
    EXPECT_EQ(contents().at(10), std::string(12000, 'y'));
    EXPECT_EQ(contents().at(3), std::string(5003, 'x'));
}

TEST_F(BlobSpaceTest, RewritingTheSameMemosStaysNearItsCompactedSize) {
    for (const std::size_t size : {100u, 3000u}) {
        testing::TempDir dir;
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Note", FieldType::Memo)};
        auto t = Table::create(dir / "m.db", TableFormat::Paradox, layout);
        std::vector<RecordId> ids;
        for (int i = 0; i < 6; ++i)
            ids.push_back(t->insert({std::int64_t(i), std::string(size, 'a')}));
        const auto compacted = fs::file_size(dir / "m.mb");
        for (int round = 0; round < 5; ++round)
            for (int i = 0; i < 6; ++i)
                t->update(ids[std::size_t(i)],
                          {std::int64_t(i), std::string(size - round % 3, char('b' + round))});
        EXPECT_LE(fs::file_size(dir / "m.mb"), 2 * compacted) << size;
        expectListTrue(dir / "m.mb");
    }
}

TEST_F(BlobSpaceTest, RandomWritesReadBackAsWritten) {
    std::mt19937 rng(1234);
    std::map<std::int64_t, std::string> model;
    {
        auto t = Table::open(db(), OpenMode::Shared);
        std::map<std::int64_t, RecordId> ids;
        for (int step = 0; step < 300; ++step) {
            if (step % 10 == 0)
                t->begin();  // space freed in a transaction is used again in the same one
            const std::int64_t key = rng() % 40;
            const int size = int(rng() % 4) == 0 ? int(rng() % 9000) : int(rng() % 300);
            const std::string value(std::size_t(size), char('A' + rng() % 26));
            if (auto it = ids.find(key); it != ids.end()) {
                if (rng() % 3 == 0) {
                    t->remove(it->second);
                    ids.erase(it);
                    model.erase(key);
                } else {
                    t->update(it->second, {key, value});
                    model[key] = value;
                }
            } else {
                ids[key] = t->insert({key, value});
                model[key] = value;
            }
            if (step % 10 == 9)
                t->commit();
            if (step % 50 == 49) {
                ASSERT_EQ(contents(), model) << "after step " << step;
            }
        }
    }
    EXPECT_EQ(contents(), model);
    expectListTrue(mb());
}

TEST_F(BlobSpaceTest, PackLeavesOnlyTheValuesInUse) {
    {
        auto t = Table::open(db(), OpenMode::Shared);
        std::vector<RecordId> ids;
        t->begin();
        for (int i = 0; i < 12; ++i)
            ids.push_back(t->insert({std::int64_t(i), std::string(3000, char('a' + i % 26))}));
        t->commit();
        for (int i = 0; i < 12; i += 2)
            t->remove(ids[std::size_t(i)]);
    }
    const auto before = contents();
    const auto grown = fs::file_size(mb());
    packTable(db());
    EXPECT_EQ(contents(), before);
    EXPECT_LE(fs::file_size(mb()), grown / 2 + 4096);
    EXPECT_TRUE(freeList(mb()).empty());
}

// dBASE memo files: a changed memo that fits the blocks of the old one is written over it.
struct MemoCase {
    const char* name;
    int version;
};

class MemoReuse : public ::testing::TestWithParam<MemoCase> {};

TEST_P(MemoReuse, RewritingMemosKeepsTheFileSmallAndPackDropsDeletedRecords) {
    testing::TempDir dir;
    const fs::path file = dir / "notes.dbf";
    TableCreate layout;
    layout.version = GetParam().version;
    layout.fields = {makeField("ID", FieldType::Long), makeField("NOTE", FieldType::Memo)};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        std::vector<RecordId> ids;
        for (int i = 0; i < 10; ++i)
            ids.push_back(t->insert({std::int64_t(i), std::string(400, 'a')}));
        for (int round = 0; round < 6; ++round) {
            t->begin();
            for (int i = 0; i < 10; ++i)
                t->update(ids[std::size_t(i)],
                          {std::int64_t(i), std::string(400 - round % 3, char('b' + round))});
            t->commit();
        }
        t->remove(ids[3]);
    }
    const fs::path memo = fs::exists(dir / "notes.fpt") ? dir / "notes.fpt" : dir / "notes.dbt";
    // Ten memos of under 512 bytes each, plus the header.
    EXPECT_LE(fs::file_size(memo), 11u * 512 + 512);
    std::map<std::int64_t, std::string> seen;
    {
        auto t = Table::open(file, OpenMode::ReadOnly);
        for (auto c = t->scan(); c->next();)
            seen[std::get<std::int64_t>(c->value(0))] = std::get<std::string>(c->value(1));
    }
    ASSERT_EQ(seen.size(), 9u);
    EXPECT_EQ(seen.at(9), std::string(400 - 5 % 3, char('b' + 5)));
    packTable(file);
    auto t = Table::open(file, OpenMode::ReadOnly);
    auto* d = dynamic_cast<dbase::DBaseTable*>(t.get());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->slotCount(), 9u);  // the deleted record is gone
    std::map<std::int64_t, std::string> packed;
    for (auto c = t->scan(); c->next();)
        packed[std::get<std::int64_t>(c->value(0))] = std::get<std::string>(c->value(1));
    EXPECT_EQ(packed, seen);
}

INSTANTIATE_TEST_SUITE_P(Levels, MemoReuse,
                         ::testing::Values(MemoCase{"Dbase3", 3}, MemoCase{"Dbase4", 4},
                                           MemoCase{"Dbase7", 7}, MemoCase{"FoxPro", 0xF5},
                                           MemoCase{"VisualFoxPro", 0x30}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orn::db
