// Secondary indexes (.Xnn/.Ynn, .XGn/.YGn) stay valid through every commit: written anew from the
// records in the same transaction, or removed with a notice when ORN cannot keep them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/storage/table.h"
#include "kill_test_harness.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;
using paradox::le16;

// The events table of the corpus carries a composite index over Event_Date and Event_Time,
// written by another program when the table held events 1 to 16.
bool copyEvents(const fs::path& dir) {
    const fs::path corpus = testing::corpusDir() / "open/paradox/dbdemos";
    if (testing::corpusDir().empty() || !fs::exists(corpus / "events.xg0"))
        return false;
    for (const char* ext : {".db", ".px", ".mb", ".xg0", ".yg0"}) {
        fs::copy_file(corpus / (std::string("events") + ext), dir / (std::string("events") + ext));
        fs::permissions(dir / (std::string("events") + ext), fs::perms::owner_write,
                        fs::perm_options::add);
    }
    return true;
}

void removeWhere(const fs::path& file, const std::function<bool(std::int64_t)>& doomed) {
    auto t = Table::open(file, OpenMode::Shared);
    std::vector<RecordId> ids;
    for (auto c = t->scan(); c->next();)
        if (doomed(std::get<std::int64_t>(c->value(0))))
            ids.push_back(c->id());
    t->begin();
    for (RecordId id : ids)
        t->remove(id);
    t->commit();
}

// The records of a Paradox data file (.db or .Xnn) in chain order, with their block numbers.
struct RawRecord {
    std::uint16_t block;
    std::string bytes;
};
std::vector<RawRecord> rawRecords(const fs::path& file) {
    auto b = testing::readAll(file);
    const std::size_t rs = le16(b.data()), hs = le16(b.data() + 2), bs = b[5] * 1024u;
    std::vector<RawRecord> out;
    for (std::uint16_t no = le16(b.data() + 0x0E); no != 0;) {
        const std::size_t at = hs + (no - 1u) * bs;
        const int add = std::int16_t(le16(b.data() + at + 4));
        for (int i = 0; add >= 0 && i <= add / int(rs); ++i)
            out.push_back({no, std::string(reinterpret_cast<const char*>(b.data()) + at + 6 +
                                               std::size_t(i) * rs,
                                           rs)});
        no = le16(b.data() + at);
    }
    return out;
}

// What events.xg0 must hold for the table as it is now: Event_Date, Event_Time (fields `date`
// and date + 1) and EventNo of every record, then the record's block, in key order. Worked out
// from the raw files, not through ORN.
std::vector<std::string> expectedEventIndex(const fs::path& db, std::size_t date = 3) {
    auto bytes = testing::readAll(db);
    auto h = paradox::parseHeader(bytes.data(), bytes.size(), db.string());
    std::vector<std::string> out;
    for (const auto& r : rawRecords(db)) {
        std::string e = r.bytes.substr(std::size_t(h.fields[date].offset), 4) +
                        r.bytes.substr(std::size_t(h.fields[date + 1].offset), 4) +
                        r.bytes.substr(0, 4);
        e += char(0x80 | (r.block >> 8));
        e += char(r.block & 0xFF);
        out.push_back(e);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> indexEntries(const fs::path& xg0) {
    std::vector<std::string> out;
    for (auto& r : rawRecords(xg0))
        out.push_back(std::move(r.bytes));
    return out;
}

// Entries without their last field, the block hint, which stays as it is when a record only
// moves to another block.
std::vector<std::string> withoutHints(std::vector<std::string> entries) {
    for (auto& e : entries)
        e.resize(e.size() - 2);
    return entries;
}

// Each tree entry names a data file block, its first key and its record count.
void expectTreeOverData(const fs::path& xg0, const fs::path& yg0) {
    auto x = testing::readAll(xg0);
    auto y = testing::readAll(yg0);
    const std::size_t keySize = le16(y.data()) - 6;
    if (le16(x.data() + 0x0E) == 0) {  // no records, no blocks, no tree
        EXPECT_EQ(y[0x20], 0);
        EXPECT_EQ(le16(y.data() + 0x0C), 0);
        return;
    }
    ASSERT_EQ(y[0x20], 1) << "one level is enough for these tables";
    const std::size_t at = le16(y.data() + 2) + (le16(y.data() + 0x1E) - 1u) * y[5] * 1024u;
    const int add = std::int16_t(le16(y.data() + at + 4));
    const int entries = add < 0 ? 0 : add / int(keySize + 6) + 1;
    const std::size_t xrs = le16(x.data()), xhs = le16(x.data() + 2), xbs = x[5] * 1024u;
    int blocks = 0;
    for (std::uint16_t no = le16(x.data() + 0x0E); no != 0; ++blocks) {
        ASSERT_LT(blocks, entries);
        const std::uint8_t* e = y.data() + at + 6 + std::size_t(blocks) * (keySize + 6);
        const std::size_t xat = xhs + (no - 1u) * xbs;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(e), keySize),
                  std::string(reinterpret_cast<const char*>(x.data() + xat + 6), keySize));
        EXPECT_EQ(le16(e + keySize) ^ 0x80, no << 8 | no >> 8) << "block number, big-endian";
        const int count = std::int16_t(le16(x.data() + xat + 4)) / int(xrs) + 1;
        EXPECT_EQ(int(e[keySize + 2] & 0x7F) << 8 | e[keySize + 3], count);
        no = le16(x.data() + xat);
    }
    EXPECT_EQ(blocks, entries);
}

// The offsets where two files differ (the first few), for a readable failure.
std::string differences(const fs::path& a, const fs::path& b) {
    const auto x = testing::readAll(a), y = testing::readAll(b);
    std::string out = "sizes " + std::to_string(x.size()) + " and " + std::to_string(y.size());
    int shown = 0;
    for (std::size_t i = 0; i < std::min(x.size(), y.size()) && shown < 16; ++i) {
        if (x[i] != y[i]) {
            char buf[40];
            std::snprintf(buf, sizeof buf, "; 0x%zx: %02x vs %02x", i, x[i], y[i]);
            out += buf;
            ++shown;
        }
    }
    return out;
}

TEST(SecondaryIndex, RebuiltFromTheTableMatchesTheFileAnotherProgramWrote) {
    testing::TempDir dir;
    if (!copyEvents(dir.path()))
        GTEST_SKIP() << "corpus not found";
    // Back to the 16 events the corpus index was written for.
    removeWhere(dir / "events.db", [](std::int64_t no) { return no > 16; });
    const fs::path corpus = testing::corpusDir() / "open/paradox/dbdemos";
    EXPECT_TRUE(testing::readAll(dir / "events.yg0") == testing::readAll(corpus / "events.yg0"))
        << differences(dir / "events.yg0", corpus / "events.yg0");
    // The last field of each entry is a hint: the block the record was in when the entry was
    // written. Events 11 and 12 have moved from block 1 to block 2 since the corpus index was
    // written; ORN writes where they are now. Every other byte is the same.
    auto ours = testing::readAll(dir / "events.xg0");
    auto theirs = testing::readAll(corpus / "events.xg0");
    ASSERT_EQ(ours.size(), theirs.size());
    std::vector<std::uint16_t> ourHints, theirHints;
    for (std::size_t at = 0x800 + 6 + 12; at < 0x800 + 6 + 16 * 14; at += 14) {
        ourHints.push_back(std::uint16_t(ours[at] << 8 | ours[at + 1]) ^ 0x8000);
        theirHints.push_back(std::uint16_t(theirs[at] << 8 | theirs[at + 1]) ^ 0x8000);
        ours[at] = ours[at + 1] = theirs[at] = theirs[at + 1] = 0;
    }
    EXPECT_TRUE(ours == theirs) << differences(dir / "events.xg0", corpus / "events.xg0");
    // In key order: events 1 2 11 5 8 6 7 10 3 9 4 16 12 14 15 13.
    EXPECT_EQ(ourHints,
              (std::vector<std::uint16_t>{1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2}));
    EXPECT_EQ(theirHints,
              (std::vector<std::uint16_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 2, 2, 2}));
}

TEST(SecondaryIndex, FollowsRandomWritesEntryByEntry) {
    testing::TempDir dir;
    if (!copyEvents(dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path db = dir / "events.db";
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            auto t = Table::open(db, OpenMode::Shared);
            std::vector<RecordId> ids;
            for (auto c = t->scan(); c->next();)
                ids.push_back(c->id());
            t->begin();
            for (int i = 0; i < 40; ++i) {
                Record r(t->fields().size());
                r[0] = std::int64_t(1000 + round * 100 + i);
                r[2] = std::string("Event ") + std::to_string(i);
                r[3] = Date{std::int32_t(730000 + rng() % 900)};
                r[4] = TimeOfDay{std::int32_t(rng() % 24) * 3600000};
                t->insert(r);
            }
            for (int i = 0; i < 5 && !ids.empty(); ++i) {
                const std::size_t k = rng() % ids.size();
                Record r = t->read(ids[k]);
                r[4] = TimeOfDay{std::int32_t(rng() % 86400) * 1000};
                t->update(ids[k], r);
                ids.erase(ids.begin() + std::ptrdiff_t(k));
            }
            t->remove(ids[rng() % ids.size()]);
            t->commit();
            // The corpus index holds the 16 events of its time for the table's 22: it is
            // rebuilt once, and edited from then on.
            const auto notices = dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices();
            if (round == 0) {
                ASSERT_EQ(notices.size(), 1u);
                EXPECT_EQ(notices[0], "Rebuilt the secondary index events.xg0/events.yg0 of " +
                                          db.string() + ": it did not match the table.");
            } else {
                EXPECT_TRUE(notices.empty());
            }
        }
        EXPECT_EQ(withoutHints(indexEntries(dir / "events.xg0")),
                  withoutHints(expectedEventIndex(db)));
        expectTreeOverData(dir / "events.xg0", dir / "events.yg0");
    }
}

TEST(SecondaryIndex, OneThatCannotBeKeptIsRemovedWithANotice) {
    testing::TempDir dir;
    if (!copyEvents(dir.path()))
        GTEST_SKIP() << "corpus not found";
    struct Damage {
        const char* what;
        std::function<void(const fs::path&)> apply;
        const char* says;
    };
    const Damage damages[] = {
        {"tree file missing", [](const fs::path& d) { fs::remove(d / "events.yg0"); },
         "tree file is missing"},
        {"field of another type",
         [](const fs::path& d) {
             auto b = testing::readAll(d / "events.xg0");
             b[0x78] = paradox::kLong;  // Event_Date declared as a Long
             testing::writeAll(d / "events.xg0", b);
         },
         "is not the table's field"},
        {"descending",
         [](const fs::path& d) {
             auto b = testing::readAll(d / "events.xg0");
             b[0x55] = 0x11;
             testing::writeAll(d / "events.xg0", b);
         },
         "descending"},
        {"not an index",
         [](const fs::path& d) {
             testing::writeAll(d / "events.xg0", {1, 2});
         },
         "shorter than its header"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        testing::TempDir one;
        copyEvents(one.path());
        d.apply(one.path());
        auto t = Table::open(one / "events.db", OpenMode::Shared);
        RecordId first = 0;
        for (auto c = t->scan(); c->next();) {
            first = c->id();
            break;
        }
        t->remove(first);
        const auto notices = dynamic_cast<paradox::ParadoxTable&>(*t).takeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("Removed the secondary index"), std::string::npos) << notices[0];
        EXPECT_NE(notices[0].find(d.says), std::string::npos) << notices[0];
        EXPECT_FALSE(fs::exists(one / "events.xg0"));
        EXPECT_FALSE(fs::exists(one / "events.yg0"));
        EXPECT_EQ(t->recordCount(), 22u);
        EXPECT_EQ(Table::open(one / "events.db", OpenMode::ReadOnly)->recordCount(), 22u);
    }
}

TEST(SecondaryIndex, RestructuresRebuildTheIndexesTheyLeaveValid) {
    testing::TempDir dir;
    if (!copyEvents(dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path db = dir / "events.db", xg0 = dir / "events.xg0", yg0 = dir / "events.yg0";
    auto expectCurrent = [&] {
        ASSERT_TRUE(fs::exists(xg0) && fs::exists(yg0));
        EXPECT_EQ(indexEntries(xg0), expectedEventIndex(db));
        expectTreeOverData(xg0, yg0);
        // A later write finds it one it can keep.
        removeWhere(db, [](std::int64_t no) { return no == 5; });
        EXPECT_TRUE(fs::exists(xg0));
        EXPECT_EQ(indexEntries(xg0), expectedEventIndex(db));
    };
    {
        SCOPED_TRACE("pack");
        EXPECT_TRUE(packTable(db).empty());
        expectCurrent();
    }
    {
        SCOPED_TRACE("a field the index does not hold changes");
        FieldChange wider;
        wider.length = 40;
        EXPECT_TRUE(restructureField(db, "Event_Name", wider).empty());
        EXPECT_EQ(Table::open(db, OpenMode::ReadOnly)->fields()[2].size, 40);
        expectCurrent();
    }
    {
        SCOPED_TRACE("a field the index holds changes");
        FieldChange toText;
        toText.type = kEngineAlpha;
        const auto notices = restructureField(db, "Event_Time", toText);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0], "Removed the secondary index events.xg0/events.yg0 of " +
                                  db.string() + ": its field Event_Time changed its type or size.");
        EXPECT_FALSE(fs::exists(xg0));
        EXPECT_FALSE(fs::exists(yg0));
    }
    testing::TempDir again;
    copyEvents(again.path());
    {
        SCOPED_TRACE("the key changes");
        const auto notices = addPrimaryIndex(again / "events.db", {"EventNo", "VenueNo"});
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("the table's key changed"), std::string::npos) << notices[0];
        EXPECT_FALSE(fs::exists(again / "events.xg0"));
        EXPECT_EQ(Table::open(again / "events.db", OpenMode::ReadOnly)->keyFieldCount(), 2);
    }
}

TEST(SecondaryIndex, KilledWritersLeaveTableAndIndexAgreeing) {
    testing::TempDir dir;
    if (!copyEvents(dir.path()))
        GTEST_SKIP() << "corpus not found";
    testing::KillTestSubject s;
    s.createEmpty = [](const fs::path& file) {
        removeWhere(file, [](std::int64_t) { return true; });
    };
    s.makeRecord = [](std::int64_t seq, std::int64_t batch) {
        Record r(8);
        r[0] = seq + 1;
        r[1] = batch;
        r[2] = std::string("e") + std::to_string(seq);
        r[3] = Date{std::int32_t(730000 + (seq * 7 + batch) % 300)};
        r[4] = TimeOfDay{std::int32_t((seq * 13 + batch) % 1440) * 60000};
        return r;
    };
    s.seqOf = [](const Record& r) { return std::get<std::int64_t>(r[0]) - 1; };
    s.check = [](const fs::path& file) {
        EXPECT_EQ(withoutHints(indexEntries(file.parent_path() / "events.xg0")),
                  withoutHints(expectedEventIndex(file)));
        expectTreeOverData(file.parent_path() / "events.xg0", file.parent_path() / "events.yg0");
    };
    const auto kept = testing::runKillTest(dir / "events.db", s, 4, 11);
    EXPECT_GT(kept, 0);
}

}  // namespace
}  // namespace orn::db
