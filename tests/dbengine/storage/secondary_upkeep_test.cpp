// Secondary indexes edited at commit: after any mix of writes, small and large, each index lists
// what a rebuild from the table would list, its tree leads to every entry, and a writer killed
// at any moment leaves table and indexes agreeing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <thread>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_secondary.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table.h"
#include "kill_test_harness.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;
using paradox::le16;
using Bytes = std::vector<unsigned char>;

// A data file (.Xnn/.XGn) read from its bytes, block by block along its chain, with every link
// checked; failures name `what`.
struct DataFile {
    std::size_t recordSize = 0, keySize = 0;
    std::vector<std::uint16_t> blocks;
    std::vector<int> counts;
    std::vector<std::string> entries;  // in chain order
    std::vector<std::uint16_t> entryBlocks;
};

DataFile readDataFile(const Bytes& b, const std::string& what) {
    DataFile d;
    d.recordSize = le16(b.data());
    d.keySize = d.recordSize - 2;
    const std::size_t hs = le16(b.data() + 2), bs = b[5] * 1024u;
    std::set<std::uint16_t> seen;
    std::uint16_t prev = 0;
    for (std::uint16_t no = le16(b.data() + 0x0E); no != 0;) {
        const std::size_t at = hs + (no - 1u) * bs;
        if (!seen.insert(no).second || at + bs > b.size()) {
            ADD_FAILURE() << what << ": the chain loops or leaves the file at block " << no;
            return d;
        }
        EXPECT_EQ(le16(b.data() + at + 2), prev) << what << ": back link of block " << no;
        const int add = std::int16_t(le16(b.data() + at + 4));
        const int count = add < 0 ? 0 : add / int(d.recordSize) + 1;
        EXPECT_GT(count, 0) << what << ": empty block " << no << " in the chain";
        d.blocks.push_back(no);
        d.counts.push_back(count);
        for (int i = 0; i < count; ++i) {
            d.entries.emplace_back(
                reinterpret_cast<const char*>(b.data()) + at + 6 + std::size_t(i) * d.recordSize,
                d.recordSize);
            d.entryBlocks.push_back(no);
        }
        prev = no;
        no = le16(b.data() + at);
    }
    EXPECT_EQ(le16(b.data() + 0x10), prev) << what << ": last block";
    EXPECT_EQ(paradox::le32(b.data() + 0x06), d.entries.size()) << what << ": record count";
    EXPECT_EQ(le16(b.data() + 0x0A), d.blocks.size()) << what << ": blocks in use";
    // The free list holds blocks outside the chain, each once.
    const std::uint16_t fileBlocks = le16(b.data() + 0x0C);
    for (std::uint16_t no = le16(b.data() + 0x4D); no != 0;) {
        if (no > fileBlocks || !seen.insert(no).second) {
            ADD_FAILURE() << what << ": the free list reaches block " << no;
            break;
        }
        no = le16(b.data() + hs + (no - 1u) * bs);
    }
    EXPECT_LE(d.blocks.size(), fileBlocks) << what;
    return d;
}

std::uint16_t treeShort(const unsigned char* p) {
    return std::uint16_t((p[0] << 8 | p[1]) ^ 0x8000);
}

// The tree over `d`: every level-1 entry names a data block in chain order with its first key
// and count, every upper entry a block of the level below with that block's first key and the
// sum of its counts, and the header counts the entries of all levels.
void expectTreeOver(const DataFile& d, const Bytes& y, const std::string& what) {
    const std::size_t entry = le16(y.data()), hs = le16(y.data() + 2), bs = y[5] * 1024u;
    ASSERT_EQ(entry, d.keySize + 6) << what;
    const int levels = y[0x20];
    if (d.blocks.empty()) {
        EXPECT_EQ(levels, 0) << what;
        return;
    }
    ASSERT_GE(levels, 1) << what;
    std::size_t leaf = 0, total = 0;
    // Returns the first key and the record count under tree block `no` at `level`.
    std::function<std::pair<std::string, int>(std::uint16_t, int)> walk =
        [&](std::uint16_t no, int level) -> std::pair<std::string, int> {
        const std::size_t at = hs + (no - 1u) * bs;
        if (no == 0 || at + bs > y.size()) {
            ADD_FAILURE() << what << ": tree block " << no << " outside the file";
            return {};
        }
        const int add = std::int16_t(le16(y.data() + at + 4));
        const int n = add < 0 ? 0 : add / int(entry) + 1;
        EXPECT_GT(n, 0) << what << ": empty tree block " << no;
        total += std::size_t(n);
        std::string first;
        int sum = 0;
        for (int i = 0; i < n; ++i) {
            const unsigned char* e = y.data() + at + 6 + std::size_t(i) * entry;
            const std::string key(reinterpret_cast<const char*>(e), d.keySize);
            const std::uint16_t child = treeShort(e + d.keySize);
            const int count = treeShort(e + d.keySize + 2);
            if (level == 1) {
                if (leaf >= d.blocks.size()) {
                    ADD_FAILURE() << what << ": more leaves than data blocks";
                    return {};
                }
                EXPECT_EQ(child, d.blocks[leaf]) << what << ": leaf " << leaf;
                EXPECT_EQ(count, d.counts[leaf]) << what << ": leaf " << leaf;
                EXPECT_EQ(
                    key,
                    d.entries[std::size_t(std::accumulate(
                                  d.counts.begin(), d.counts.begin() + std::ptrdiff_t(leaf), 0))]
                        .substr(0, d.keySize))
                    << what << ": first key of leaf " << leaf;
                ++leaf;
            } else {
                const auto [childKey, childCount] = walk(child, level - 1);
                EXPECT_EQ(key, childKey) << what << ": key of tree block " << child;
                EXPECT_EQ(count, childCount) << what << ": count of tree block " << child;
            }
            if (i == 0)
                first = key;
            sum += count;
        }
        return {first, sum};
    };
    walk(le16(y.data() + 0x1E), levels);
    EXPECT_EQ(leaf, d.blocks.size()) << what << ": leaves";
    EXPECT_EQ(paradox::le32(y.data() + 0x06), total) << what << ": tree entries";
}

// Every secondary index of `db` lists, entry by entry, what a rebuild from the table as it is
// would list (block hints aside), and its tree leads to all of it. Returns how many indexes were
// checked and sets `edited` when one's data file is laid out otherwise than a rebuild would write
// it.
int expectIndexesCurrent(const fs::path& db, bool* edited = nullptr) {
    auto t = Table::open(db, OpenMode::Shared);
    auto& p = dynamic_cast<paradox::ParadoxTable&>(*t);
    int checked = 0;
    for (const auto& ix : p.secondaryIndexes()) {
        SCOPED_TRACE(ix.name());
        EXPECT_EQ(ix.problem, "");
        if (!ix.problem.empty())
            continue;
        const auto built = p.buildSecondaryFiles(ix);
        const Bytes x = testing::readAll(ix.dataPath), y = testing::readAll(ix.treePath);
        const DataFile ours = readDataFile(x, ix.dataPath.filename().string());
        const DataFile rebuilt = readDataFile(built.data, "rebuilt");
        EXPECT_EQ(ours.entries.size(), t->recordCount());
        // The last field of an entry, the block its record was in when the entry was written,
        // is a hint that stays as it is when a record only moves to another block; it names a
        // block of the table still.
        const std::uint16_t tableBlocks = le16(p.headerBytes().data() + 0x0C);
        auto withoutHints = [&](std::vector<std::string> entries) {
            for (auto& e : entries) {
                const std::uint16_t hint =
                    treeShort(reinterpret_cast<const unsigned char*>(e.data() + e.size() - 2));
                EXPECT_TRUE(hint >= 1 && hint <= tableBlocks) << hint;
                e.resize(e.size() - 2);
            }
            return entries;
        };
        EXPECT_TRUE(withoutHints(ours.entries) == withoutHints(rebuilt.entries))
            << "entries differ from a rebuild";
        expectTreeOver(ours, y, ix.treePath.filename().string());
        if (edited && x != Bytes(built.data.begin(), built.data.end()))
            *edited = true;
        ++checked;
    }
    return checked;
}

// A keyed table over key fields `key`, then Day, Amount, Qty, Name, with 1 KiB blocks so that
// a few hundred records fill many blocks of the table and of its indexes.
void makeTable(const fs::path& db, const std::vector<Field>& key) {
    TableCreate layout;
    layout.fields = key;
    for (const Field& f :
         {makeField("Day", FieldType::Date), makeField("Amount", FieldType::Number),
          makeField("Qty", FieldType::Short), makeField("Name", FieldType::Alpha, 12)})
        layout.fields.push_back(f);
    layout.keyFields = int(key.size());
    layout.blockSize = 1024;
    layout.codePage = "CP437";  // sorted "ascii", the order ORN keeps Alpha index keys in
    Table::create(db, TableFormat::Paradox, layout);
}

Record makeRecord(std::size_t keyFields, std::int64_t id, std::mt19937& rng) {
    Record r;
    if (keyFields == 1) {
        r.push_back(id);
    } else {
        r.push_back(Date{std::int32_t(730000 + id / 7)});
        r.push_back(std::int64_t(id % 7));
    }
    r.push_back(rng() % 5 ? Value(Date{std::int32_t(731000 + rng() % 40)}) : Value{});
    r.push_back(rng() % 6 ? Value(double(int(rng() % 2000) - 1000) / 8) : Value{});
    r.push_back(std::int64_t(rng() % 9));
    r.push_back(rng() % 7 ? Value("n" + std::to_string(rng() % 60)) : Value{});
    return r;
}

// Inserts `records` into the table `db` in one transaction.
void fill(const fs::path& db, int n, const std::function<Record(int)>& record) {
    auto t = Table::open(db, OpenMode::Shared);
    t->begin();
    for (int i = 0; i < n; ++i)
        t->insert(record(i));
    t->commit();
}

struct KeyCase {
    const char* name;
    std::vector<Field> key;
};

TEST(SecondaryUpkeep, RandomWritesLeaveEveryIndexAsARebuildWouldWriteIt) {
    const KeyCase cases[] = {
        {"Long key", {makeField("Id", FieldType::Long)}},
        {"Date and Short key",
         {makeField("Start", FieldType::Date), makeField("Slot", FieldType::Short)}},
    };
    for (const KeyCase& kc : cases) {
        SCOPED_TRACE(kc.name);
        testing::TempDir dir;
        const fs::path db = dir / "t.db";
        makeTable(db, kc.key);
        const std::size_t k = kc.key.size();
        std::mt19937 rng(11);
        fill(db, 300, [&](int i) { return makeRecord(k, i * 10, rng); });
        createSecondaryIndex(db, "ByDay", {"Day", "Qty"}, false, {});
        createSecondaryIndex(db, "ByAmount", {"Amount", "Day"}, false, {});
        // One-field indexes: over Alpha (Name, field k + 4) and Number (Amount, field k + 2)
        // named after their fields, and one named otherwise (t.xg2).
        createSecondaryIndex(db, "name", {"Name"}, false, {});
        createSecondaryIndex(db, "Amount", {"Amount"}, false, {});
        createSecondaryIndex(db, "ByQty", {"Qty"}, false, {});
        const std::string byName = ".x0" + std::to_string(k + 4);
        const std::string byAmount = ".x0" + std::to_string(k + 2);
        ASSERT_TRUE(fs::exists(dir / ("t" + byName)) && fs::exists(dir / "t.xg2"));
        ASSERT_TRUE(fs::exists(dir / ("t" + byAmount)));
        ASSERT_EQ(expectIndexesCurrent(db), 5);

        bool edited = false;
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            auto t = Table::open(db, OpenMode::Shared);
            std::vector<RecordId> ids;
            for (auto c = t->scan(); c->next();)
                ids.push_back(c->id());
            auto anyId = [&] {
                const std::size_t i = rng() % ids.size();
                const RecordId id = ids[i];
                ids.erase(ids.begin() + std::ptrdiff_t(i));
                return id;
            };
            if (round == 2) {
                // One transaction adding far more blocks than an edit is worth.
                t->begin();
                for (int i = 0; i < 1500; ++i)
                    t->insert(makeRecord(k, 100000 + i * 3 + round, rng));
                t->commit();
            } else if (round == 4) {
                t->begin();
                for (int i = 0; i < 1200 && !ids.empty(); ++i)
                    t->remove(anyId());
                t->commit();
            } else {
                // Single writes, the first few each its own commit, the others in one
                // transaction with more inserts.
                for (int i = 0; i < 36 && ids.size() > 2; ++i) {
                    if (i == 6)
                        t->begin();
                    switch (rng() % 4) {
                        case 0:
                            t->insert(makeRecord(k, std::int64_t(rng() % 50000) * 2 + 1, rng));
                            break;
                        case 1: {
                            const RecordId id = anyId();
                            Record r = makeRecord(k, 0, rng);
                            for (std::size_t f = 0; f < k; ++f)
                                r[f] = t->read(id)[f];
                            t->update(id, r);
                            break;
                        }
                        case 2: {  // the key changes: the record moves
                            try {
                                t->update(anyId(),
                                          makeRecord(k, std::int64_t(rng() % 50000) * 2, rng));
                            } catch (const KeyViolation&) {
                            }
                            break;
                        }
                        default:
                            t->remove(anyId());
                    }
                }
                for (int i = 0; i < 25; ++i)
                    t->insert(makeRecord(k, 200001 + round * 1000 + i * 2, rng));
                t->remove(anyId());
                t->commit();
            }
            EXPECT_EQ(dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices(),
                      std::vector<std::string>{});
            t.reset();
            bool thisRound = false;
            EXPECT_EQ(expectIndexesCurrent(db, &thisRound), 5);
            // A change to many blocks writes the indexes anew, as a rebuild lays them out.
            if (round == 2 || round == 4) {
                EXPECT_FALSE(thisRound);
            }
            edited = edited || thisRound;
        }
        // Small changes edit the indexes in place.
        EXPECT_TRUE(edited);
        // Another reader finds each data file's entries, the first field of each in order.
        const std::uint64_t count = Table::open(db, OpenMode::ReadOnly)->recordCount();
        for (const std::string& ext :
             {std::string(".xg0"), std::string(".xg1"), byName, byAmount, std::string(".xg2")}) {
            const auto px = test::readWithPxlib(dir / ("t" + ext), "CP437");
            EXPECT_EQ(std::uint64_t(px.numRecords), count) << ext;
            ASSERT_EQ(px.records.size(), count) << ext;
            std::vector<Value> first;
            for (const Record& r : px.records)
                first.push_back(r[0]);
            EXPECT_TRUE(std::is_sorted(first.begin(), first.end(),
                                       [](const Value& a, const Value& b) {
                                           return !isBlank(b) && (isBlank(a) || a < b);
                                       }))
                << ext;
        }
    }
}

// The header of an index data file, read as a keyed table's.
paradox::Header dataHeader(Bytes x) {
    x[0x04] = 0;
    return paradox::parseHeader(x.data(), x.size(), "index");
}

// An index over one field named after it is the one-field kind (.Xnn, nn the field's place in
// hex): laid out as other programs lay theirs out, found by its field's name, kept up to date,
// and carried through a restructure that renames its field.
TEST(SecondaryUpkeep, AnIndexNamedAfterItsOneFieldIsTheXnnKind) {
    testing::TempDir dir;
    const fs::path db = dir / "t.db";
    TableCreate layout;
    layout.fields = {makeField("Code", FieldType::Alpha, 6)};  // an Alpha key, in byte order
    for (int f = 2; f <= 11; ++f)
        layout.fields.push_back(makeField("F" + std::to_string(f), FieldType::Long));
    layout.fields.push_back(makeField("Name", FieldType::Alpha, 10));  // field 12
    layout.keyFields = 1;
    layout.blockSize = 1024;
    layout.codePage = "CP437";
    Table::create(db, TableFormat::Paradox, layout);
    std::mt19937 rng(9);
    auto record = [&](int i) {
        Record r(12);
        r[0] = "c" + std::to_string(i);
        for (std::size_t f = 1; f < 11; ++f)
            r[f] = std::int64_t(rng() % 50);
        if (rng() % 5)
            r[11] = (rng() % 2 ? "N" : "n") + std::to_string(rng() % 30);
        return r;
    };
    fill(db, 150, record);
    createSecondaryIndex(db, "NAME", {"name"}, false, {});
    createSecondaryIndex(db, "F11", {"F11"}, false, {});
    ASSERT_TRUE(fs::exists(dir / "t.x0c") && fs::exists(dir / "t.y0c"));
    ASSERT_TRUE(fs::exists(dir / "t.x0b") && fs::exists(dir / "t.y0b"));

    const Bytes x = testing::readAll(dir / "t.x0c"), y = testing::readAll(dir / "t.y0c");
    EXPECT_EQ(x[0x04], 5) << "a one-field index kept up to date";
    EXPECT_EQ(y[0x04], 4);
    EXPECT_EQ(x[0x15], 11) << "the field's place";
    EXPECT_EQ(x[0x55], 0x01) << "ascending";
    const paradox::Header h = dataHeader(x);
    ASSERT_EQ(h.fields.size(), 3u);
    EXPECT_EQ(h.fields[0].name, "Sec Key");
    EXPECT_EQ(h.fields[0].code, paradox::kAlpha);
    EXPECT_EQ(h.fields[0].size, 10);
    EXPECT_EQ(h.fields[1].name, "Code");
    EXPECT_EQ(h.fields[2].code, paradox::kShort);
    EXPECT_EQ(h.keyFields, 2);
    {
        auto t = Table::open(db, OpenMode::Shared);
        auto& p = dynamic_cast<paradox::ParadoxTable&>(*t);
        for (const auto& ix : p.secondaryIndexes()) {
            SCOPED_TRACE(ix.name());
            EXPECT_EQ(ix.problem, "");
            ASSERT_EQ(ix.tableFields.size(), 1u);
            EXPECT_EQ(paradox::statedName(ix), ix.tableFields[0] == 11 ? "Name" : "F11");
        }
    }
    EXPECT_EQ(expectIndexesCurrent(db), 2);

    // Writes keep both: names change letter case, records come and go.
    {
        auto t = Table::open(db, OpenMode::Shared);
        std::vector<RecordId> ids;
        for (auto c = t->scan(); c->next();)
            ids.push_back(c->id());
        t->begin();
        for (int i = 0; i < 40; ++i) {
            const RecordId id = ids[std::size_t(i) * 3];
            Record r = t->read(id);
            r[11] = i % 3 ? Value("n" + std::to_string(i)) : Value{};
            t->update(id, r);
        }
        t->remove(ids[1]);
        t->insert(record(1000));
        t->commit();
        EXPECT_EQ(dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices(),
                  std::vector<std::string>{});
    }
    EXPECT_EQ(expectIndexesCurrent(db), 2);
    const auto px = test::readWithPxlib(dir / "t.x0c", "CP437");
    EXPECT_EQ(px.records.size(), 150u);

    dropSecondaryIndex(db, "f11");
    EXPECT_FALSE(fs::exists(dir / "t.x0b") || fs::exists(dir / "t.y0b"));
    // Renamed, the field keeps its index, which keeps its name.
    FieldChange rename;
    rename.name = "Title";
    EXPECT_EQ(restructureField(db, "Name", rename), std::vector<std::string>{});
    EXPECT_EQ(expectIndexesCurrent(db), 1);
    auto refusal = [&](const std::function<void()>& make) {
        try {
            make();
        } catch (const EngineError& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    const std::string taken =
        refusal([&] { createSecondaryIndex(db, "Title", {"Title"}, false, {}); });
    EXPECT_NE(taken.find("a one-field index over Title already (t.x0c)"), std::string::npos)
        << taken;
    dropSecondaryIndex(db, "Name");
    EXPECT_FALSE(fs::exists(dir / "t.x0c") || fs::exists(dir / "t.y0c"));

    // Under a national sort order ORN does not write Alpha index entries.
    const fs::path national = dir / "n.db";
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 10)};
    layout.codePage = "CP1252";
    Table::create(national, TableFormat::Paradox, layout);
    fill(national, 3, [](int i) { return Record{std::int64_t{i}, std::string("x")}; });
    const std::string order =
        refusal([&] { createSecondaryIndex(national, "Name", {"Name"}, false, {}); });
    EXPECT_NE(order.find("sorts Alpha values by ANSII850"), std::string::npos) << order;
    EXPECT_FALSE(fs::exists(dir / "n.x02"));
}

TEST(SecondaryUpkeep, AnIndexThatDoesNotMatchItsTableIsRebuiltWithANotice) {
    testing::TempDir dir;
    const fs::path db = dir / "t.db";
    makeTable(db, {makeField("Id", FieldType::Long)});
    std::mt19937 rng(3);
    fill(db, 200, [&](int i) { return makeRecord(1, i, rng); });
    createSecondaryIndex(db, "ByDay", {"Day", "Qty"}, false, {});
    struct Damage {
        const char* what;
        std::function<void(Bytes&)> apply;
    };
    const Damage damages[] = {
        // Every entry names another record (the lowest byte of Id, after Day and Qty).
        {"entries",
         [](Bytes& x) {
             const std::size_t rs = le16(x.data()), hs = le16(x.data() + 2), bs = x[5] * 1024u;
             for (std::size_t at = hs; at + bs <= x.size(); at += bs) {
                 const int add = std::int16_t(le16(x.data() + at + 4));
                 for (int i = 0; add >= 0 && i <= add / int(rs); ++i)
                     x[at + 6 + std::size_t(i) * rs + 9] ^= 1;
             }
         }},
        {"count", [](Bytes& x) { x[0x06] ^= 1; }},
        {"chain", [](Bytes& x) { x[le16(x.data() + 2)] ^= 0x40; }},
        {"tree", [](Bytes&) {}},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        testing::TempDir one;
        for (const char* ext : {".db", ".px", ".xg0", ".yg0"})
            fs::copy_file(dir / (std::string("t") + ext), one / (std::string("t") + ext));
        Bytes x = testing::readAll(one / "t.xg0");
        d.apply(x);
        testing::writeAll(one / "t.xg0", x);
        if (std::string(d.what) == "tree") {
            Bytes y = testing::readAll(one / "t.yg0");
            y[0x20] = 0;  // no levels over blocks that hold entries
            testing::writeAll(one / "t.yg0", y);
        }
        auto t = Table::open(one / "t.db", OpenMode::Shared);
        RecordId first = 0;
        for (auto c = t->scan(); c->next() && !first;)
            first = c->id();
        t->remove(first);
        const auto notices = dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0], "Rebuilt the secondary index t.xg0/t.yg0 of " +
                                  (one / "t.db").string() + ": it did not match the table.");
        EXPECT_EQ(t->recordCount(), 199u);
        t.reset();
        EXPECT_EQ(expectIndexesCurrent(one / "t.db"), 1);
    }
}

TEST(SecondaryUpkeep, AWrittenRecordsEntryNamesItsBlockAndMovedOnesKeepTheirs) {
    testing::TempDir dir;
    const fs::path db = dir / "t.db";
    makeTable(db, {makeField("Id", FieldType::Long)});
    std::mt19937 rng(5);
    fill(db, 100, [&](int i) { return makeRecord(1, i * 10, rng); });
    createSecondaryIndex(db, "ByDay", {"Day", "Qty"}, false, {});
    // Full blocks: a record between the first two splits the first block, and the upper half
    // of its records moves to a new one.
    Table::open(db, OpenMode::Shared)->insert(makeRecord(1, 5, rng));
    const DataFile table = readDataFile(testing::readAll(db), "t.db");
    const DataFile index = readDataFile(testing::readAll(dir / "t.xg0"), "t.xg0");
    ASSERT_EQ(index.entries.size(), 101u);
    auto blockOf = [&](const std::string& id) {
        for (std::size_t i = 0; i < table.entries.size(); ++i)
            if (table.entries[i].compare(0, 4, id) == 0)
                return table.entryBlocks[i];
        return std::uint16_t(0);
    };
    int current = 0, stale = 0;
    for (const std::string& e : index.entries) {
        const std::string id = e.substr(6, 4);  // after Day and Qty
        const std::uint16_t hint = treeShort(reinterpret_cast<const unsigned char*>(e.data() + 10));
        const std::uint16_t block = blockOf(id);
        ASSERT_NE(block, 0);
        if (id == table.entries[1].substr(0, 4)) {  // the new record, second in key order
            EXPECT_EQ(hint, block);
        }
        (hint == block ? current : stale) += 1;
    }
    EXPECT_GT(stale, 0);
    EXPECT_GT(current, 70);
    EXPECT_EQ(expectIndexesCurrent(db), 1);
}

TEST(SecondaryUpkeep, WritesThatEmptyABlockAndTakeItAgainKeepTheIndexesCurrent) {
    testing::TempDir dir;
    const fs::path db = dir / "t.db";
    makeTable(db, {makeField("Id", FieldType::Long)});
    std::mt19937 rng(8);
    fill(db, 300, [&](int i) { return makeRecord(1, i * 10, rng); });
    createSecondaryIndex(db, "ByDay", {"Day", "Qty"}, false, {});
    createSecondaryIndex(db, "ByAmount", {"Amount", "Day"}, false, {});
    auto t = Table::open(db, OpenMode::Shared);
    // The records of the block in the middle of the table, all but its last deleted one by one.
    std::vector<RecordId> block;
    std::vector<RecordId> all;
    for (auto c = t->scan(); c->next();)
        all.push_back(c->id());
    const std::uint16_t middle = std::uint16_t(all[150] >> 16);
    for (RecordId id : all)
        if (std::uint16_t(id >> 16) == middle)
            block.push_back(id);
    ASSERT_GT(block.size(), 10u);
    for (std::size_t i = 0; i + 1 < block.size(); ++i)
        t->remove(block[i]);
    // In one transaction: the last one goes and its block leaves the chain, then a record
    // between two others splits a full block, which takes the freed block.
    t->begin();
    t->remove(block.back());
    t->insert(makeRecord(1, 15, rng));
    t->commit();
    t.reset();
    EXPECT_EQ(expectIndexesCurrent(db), 2);
    // And once more, each write its own transaction.
    t = Table::open(db, OpenMode::Shared);
    all.clear();
    for (auto c = t->scan(); c->next();)
        all.push_back(c->id());
    const std::uint16_t first = std::uint16_t(all[200] >> 16);
    for (RecordId id : all)
        if (std::uint16_t(id >> 16) == first)
            t->remove(id);
    t->insert(makeRecord(1, 25, rng));
    t->insert(makeRecord(1, 2995, rng));
    t.reset();
    EXPECT_EQ(expectIndexesCurrent(db), 2);
}

// The kill tests' writes: operation `op` of an endless sequence, applied to the table (when
// given) and to the model of it, key -> (Day, Qty). Single writes commit on their own; every
// fifth operation is a transaction of many.
using KillModel = std::map<std::int64_t, std::pair<std::int32_t, std::int64_t>>;

Record killRecord(std::int64_t key, std::int32_t day, std::int64_t qty) {
    return {key, Date{day}, double(key % 1000) / 4, qty, "k" + std::to_string(key % 97)};
}

void killApply(int op, Table* t, KillModel& m) {
    auto find = [&](std::int64_t key) {
        auto c = t->range({key}, true, {key}, true);
        return c->next() ? c->id() : RecordId(0);
    };
    auto put = [&](std::int64_t key, std::int32_t day, std::int64_t qty) {
        m[key] = {day, qty};
        if (t)
            t->insert(killRecord(key, day, qty));
    };
    const std::int32_t day = 731000 + (op * 7) % 40;
    switch (op % 5) {
        case 0:
        case 1:
            put(10000 + op, day, op % 9);
            break;
        case 2: {  // new indexed values for an existing record
            const std::int64_t key = (op * 37) % 300 * 10;
            if (!m.count(key))
                break;
            m[key] = {day, op % 5};
            if (t)
                t->update(find(key), killRecord(key, day, op % 5));
            break;
        }
        case 3: {
            const std::int64_t key = (op * 53) % 300 * 10;
            if (!m.count(key))
                break;
            m.erase(key);
            if (t)
                t->remove(find(key));
            break;
        }
        default: {
            if (t)
                t->begin();
            for (int j = 0; j < 20; ++j)
                put(500000 + op * 100 + j, day + j % 3, j % 9);
            // A record whose key changes moves to another place in the table.
            const std::int64_t key = (op * 11) % 300 * 10;
            if (m.count(key) && !m.count(key + 5)) {
                const auto v = m[key];
                m.erase(key);
                m[key + 5] = v;
                if (t)
                    t->update(find(key), killRecord(key + 5, v.first, v.second));
            }
            if (t)
                t->commit();
        }
    }
}

KillModel killStart() {
    KillModel m;
    for (int i = 0; i < 300; ++i)
        m[i * 10] = {731000 + i % 40, i % 9};
    return m;
}

KillModel readKillModel(const fs::path& db) {
    KillModel m;
    auto t = Table::open(db, OpenMode::ReadOnly);
    for (auto c = t->scan(); c->next();)
        m[std::get<std::int64_t>(c->value(0))] = {std::get<Date>(c->value(1)).day,
                                                  std::get<std::int64_t>(c->value(3))};
    return m;
}

void fillKillStart(const fs::path& db) {
    const KillModel m = killStart();
    auto it = m.begin();
    fill(db, int(m.size()), [&](int) {
        const auto [key, v] = *it++;
        return killRecord(key, v.first, v.second);
    });
}

TEST(SecondaryUpkeep, AKilledWriterLeavesTableAndIndexesBeforeOrAfterItsCommit) {
    std::mt19937 rng(16);
    int midway = 0;
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        testing::TempDir dir;
        const fs::path db = dir / "k.db";
        makeTable(db, {makeField("Id", FieldType::Long)});
        fillKillStart(db);
        createSecondaryIndex(db, "ByDay", {"Day", "Qty"}, false, {});
        createSecondaryIndex(db, "ByQty", {"Qty", "Amount"}, false, {});
        createSecondaryIndex(db, "Name", {"Name"}, false, {});
        const int acknowledged = testing::killStepsAfter(
            std::chrono::milliseconds(10 + rng() % 200), std::chrono::microseconds(500),
            [&](const std::function<void(int)>& done) {
                auto t = Table::open(db, OpenMode::Shared);
                KillModel ignored = killStart();
                for (int op = 0;; ++op) {
                    killApply(op, t.get(), ignored);
                    done(op + 1);
                }
            });
        ASSERT_FALSE(::testing::Test::HasFailure());

        const KillModel now = readKillModel(db);
        KillModel before = killStart(), after;
        for (int op = 0; op < acknowledged; ++op)
            killApply(op, nullptr, before);
        after = before;
        killApply(acknowledged, nullptr, after);
        EXPECT_TRUE(now == before || now == after)
            << "after " << acknowledged << " acknowledged operations";
        midway += now != before;
        EXPECT_EQ(expectIndexesCurrent(db), 3);
        // Edits go on from there.
        {
            auto t = Table::open(db, OpenMode::Shared);
            t->insert(killRecord(-1, 731003, 4));
            EXPECT_EQ(dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices(),
                      std::vector<std::string>{});
        }
        EXPECT_EQ(expectIndexesCurrent(db), 3);
    }
    std::printf("killed after an unacknowledged commit: %d of 8\n", midway);
}

TEST(SecondaryUpkeep, AKilledCreateIndexLeavesTheIndexWholeOrAbsent) {
    testing::TempDir dir;
    const fs::path db = dir / "c.db";
    makeTable(db, {makeField("Id", FieldType::Long)});
    fillKillStart(db);
    std::mt19937 rng(17);
    int whole = 0, absent = 0, treeOnly = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        testing::killStepsAfter(
            std::chrono::microseconds(1000 + rng() % 30000), {},
            [&](const std::function<void(int)>&) {
                for (;;) {
                    createSecondaryIndex(db, "ByDay", {"Day", "Qty"}, false, {});
                    dropSecondaryIndex(db, "ByDay");
                }
            });
        ASSERT_FALSE(::testing::Test::HasFailure());
        const bool data = fs::exists(dir / "c.xg0"), tree = fs::exists(dir / "c.yg0");
        // The data file is renamed into place after the tree and removed before it.
        EXPECT_FALSE(data && !tree);
        auto t = Table::open(db, OpenMode::Shared);
        t->insert(killRecord(-1 - round, 731001, 2));
        const auto notices = dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices();
        t.reset();
        if (data && tree) {
            ++whole;
            EXPECT_EQ(notices, std::vector<std::string>{});
            EXPECT_EQ(expectIndexesCurrent(db), 1);
            dropSecondaryIndex(db, "ByDay");
        } else if (tree) {
            ++treeOnly;
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_NE(notices[0].find("its data file is missing"), std::string::npos);
            EXPECT_FALSE(fs::exists(dir / "c.yg0"));
        } else {
            ++absent;
            EXPECT_EQ(notices, std::vector<std::string>{});
        }
    }
    std::printf("index whole: %d, absent: %d, tree alone: %d\n", whole, absent, treeOnly);
}

}  // namespace
}  // namespace orn::db
