// Writing Paradox tables: every type round trip, key order, key violations, autoincrement,
// transactions, and pxlib reading what we wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using test::recordsOf;
using test::rowText;

std::vector<Field> everyType() {
    return {makeField("Name", FieldType::Alpha, 20),  makeField("Day", FieldType::Date),
            makeField("Small", FieldType::Short),     makeField("Big", FieldType::Long),
            makeField("Price", FieldType::Money),     makeField("Ratio", FieldType::Number),
            makeField("Ok", FieldType::Logical),      makeField("Notes", FieldType::Memo, 15),
            makeField("Raw", FieldType::Blob, 10),    makeField("Rich", FieldType::FmtMemo, 12),
            makeField("Obj", FieldType::Ole, 10),     makeField("Pic", FieldType::Graphic, 10),
            makeField("At", FieldType::Time),         makeField("Stamp", FieldType::Timestamp),
            makeField("Counter", FieldType::AutoInc), makeField("Exact", FieldType::Bcd, 17, 4),
            makeField("Tag", FieldType::Bytes, 6)};
}

TEST(ParadoxWrite, EveryTypeRoundTripsIncludingBlanksAndBlobs) {
    testing::TempDir dir;
    auto file = dir / "types.db";
    std::string longMemo(9000, 'x');
    longMemo += " – end ü";
    Bytes image(5000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = std::uint8_t(i * 7);
    std::vector<Record> rows = {
        {std::string("Müller"), Date{730000}, std::int64_t(-2), std::int64_t(-70000), -12.5,
         3.25e100, true, std::string("short memo"), Bytes{1, 2, 3}, std::string("{\\rtf1 x}"),
         Bytes(300, 9), image, TimeOfDay{3723004}, Timestamp{63000000000000.0}, Value{},
         Decimal{"-1234.5678"}, Bytes{0xFF, 0, 1, 2, 3, 4}},
        {std::string("b"), Date{-366}, std::int64_t(32767), std::int64_t(2147483647), 0.0, -0.001,
         false, longMemo, Bytes(70000, 0xAB), std::string(), Value{}, Value{}, TimeOfDay{0},
         Timestamp{-86400000.0}, Value{}, Decimal{"0"}, Value{}},
        Record(17),
    };
    {
        TableCreate layout;
        layout.fields = everyType();
        auto t = Table::create(file, TableFormat::Paradox, layout);
        EXPECT_EQ(t->version(), 7);
        for (const auto& r : rows)
            t->insert(r);
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    auto got = recordsOf(*t);
    ASSERT_EQ(got.size(), rows.size());
    // The autoincrement field was left blank: it counts 1, 2, 3.
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i][14] = std::int64_t(i + 1);
    rows[1][9] = Value{};  // an empty formatted memo is blank
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rowText(got[i]), rowText(rows[i])) << i;
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t f = 0; f < rows[i].size(); ++f)
            EXPECT_EQ(got[i][f], rows[i][f]) << i << "/" << f;
    std::string letters;
    for (const auto& f : t->fields())
        letters += f.letter;
    EXPECT_EQ(letters, "ADSI$NLMBFOGT@+#Y");
}

TEST(ParadoxWrite, OlderVersionsAndTheirTypes) {
    testing::TempDir dir;
    for (int version : {3, 4, 5}) {
        SCOPED_TRACE(version);
        TableCreate layout;
        layout.version = version;
        layout.fields = {makeField("Code", FieldType::Alpha, 8),
                         makeField("Amount", FieldType::Money), makeField("Day", FieldType::Date),
                         makeField("N", FieldType::Short)};
        if (version >= 4)
            layout.fields.push_back(makeField("Memo", FieldType::Memo, 11));
        layout.keyFields = 1;
        auto file = dir / ("v" + std::to_string(version) + ".db");
        {
            auto t = Table::create(file, TableFormat::Paradox, layout);
            Record r = {std::string("K1"), 1.5, Date{700000}, std::int64_t(7)};
            if (version >= 4)
                r.push_back(std::string(40, 'm'));
            t->insert(r);
        }
        auto t = Table::open(file, OpenMode::ReadOnly);
        EXPECT_EQ(t->version(), version);
        EXPECT_EQ(t->recordCount(), 1u);
        auto px = test::readWithPxlib(file, "CP437");
        ASSERT_EQ(px.records.size(), 1u);
        EXPECT_EQ(px.records[0][0], Value(std::string("K1")));
    }
    TableCreate bad;
    bad.version = 4;
    bad.fields = {makeField("Flag", FieldType::Logical)};
    try {
        Table::create(dir / "bad.db", TableFormat::Paradox, bad);
        FAIL() << "a logical field in a Paradox 4 table";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Flag"), std::string::npos) << e.what();
    }
}

TEST(ParadoxWrite, PxlibReadsWhatWeWrite) {
    testing::TempDir dir;
    auto file = dir / "plain.db";
    TableCreate layout;
    layout.fields = {
        makeField("Id", FieldType::Long),        makeField("Name", FieldType::Alpha, 30),
        makeField("Day", FieldType::Date),       makeField("S", FieldType::Short),
        makeField("Val", FieldType::Number),     makeField("Cash", FieldType::Money),
        makeField("Yes", FieldType::Logical),    makeField("T", FieldType::Time),
        makeField("Ts", FieldType::Timestamp),   makeField("Auto", FieldType::AutoInc),
        makeField("Dec", FieldType::Bcd, 17, 2), makeField("Raw", FieldType::Bytes, 4)};
    std::vector<Record> rows;
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        Record r = {std::int64_t(i * 37 - 5000),
                    std::string("Zeile ") + std::to_string(i) + (i % 3 ? " ä" : ""),
                    Date{std::int32_t(700000 + i)},
                    std::int64_t(int(rng() % 60000) - 30000),
                    double(int(rng() % 100000) - 50000) / 7.0,
                    double(i) - 0.25,
                    i % 2 == 0,
                    TimeOfDay{std::int32_t(i * 1000)},
                    Timestamp{6.3e13 + i * 1000.0},
                    Value{},
                    Decimal{std::to_string(i) + ".5"},
                    Bytes{1, 2, std::uint8_t(i), 4}};
        if (i % 10 == 0)
            r[1] = Value{};
        if (i % 11 == 0)
            r[4] = Value{};
        rows.push_back(r);
    }
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->begin();
        for (const auto& r : rows)
            t->insert(r);
        t->commit();
    }
    auto px = test::readWithPxlib(file, "CP1252");
    ASSERT_EQ(px.records.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i][9] = std::int64_t(i + 1);
        for (std::size_t f = 0; f < rows[i].size(); ++f) {
            if (f == 10) {  // pxlib prints BCD with all its decimals
                EXPECT_EQ(std::get<Decimal>(px.records[i][f]).text, std::to_string(i) + ".50");
                continue;
            }
            EXPECT_EQ(px.records[i][f], rows[i][f]) << "record " << i << " field " << f;
        }
    }
}

TEST(ParadoxWrite, KeyedTablesStayInKeyOrderAndRefuseDuplicates) {
    testing::TempDir dir;
    auto file = dir / "keyed.db";
    TableCreate layout;
    layout.fields = {makeField("Group", FieldType::Alpha, 4), makeField("No", FieldType::Long),
                     makeField("Payload", FieldType::Alpha, 60),
                     makeField("Memo", FieldType::Memo, 10)};
    layout.keyFields = 2;
    std::vector<std::pair<std::string, int>> keys;
    for (int g = 0; g < 5; ++g)
        for (int n = 0; n < 2000; ++n)
            keys.emplace_back(std::string(1, char('A' + g)), n * 3 - 100);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    auto t = Table::create(file, TableFormat::Paradox, layout);
    t->begin();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        t->insert({keys[i].first, std::int64_t(keys[i].second),
                   std::string("p") + std::to_string(i),
                   i % 100 == 0 ? Value(std::string(200, 'M')) : Value{}});
    }
    t->commit();
    try {
        t->insert({std::string("C"), std::int64_t(-100), std::string("dup"), Value{}});
        FAIL() << "duplicate key accepted";
    } catch (const KeyViolation& e) {
        EXPECT_STREQ(e.what(), "Key violation.");
    }
    EXPECT_EQ(t->recordCount(), keys.size());
    std::sort(keys.begin(), keys.end());
    auto all = recordsOf(*t);
    ASSERT_EQ(all.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(all[i][0], Value(keys[i].first));
        ASSERT_EQ(all[i][1], Value(std::int64_t(keys[i].second)));
    }
    // Range over the leading key field and over both.
    std::size_t n = 0;
    for (auto c = t->range({std::string("B")}, true, {std::string("C")}, true); c->next(); ++n)
        EXPECT_TRUE(c->value(0) == Value(std::string("B")) ||
                    c->value(0) == Value(std::string("C")));
    EXPECT_EQ(n, 4000u);
    n = 0;
    for (auto c = t->range({std::string("D"), std::int64_t(-100)}, false,
                           {std::string("D"), std::int64_t(200)}, true);
         c->next(); ++n) {
    }
    EXPECT_EQ(n, 100u);  // -97 ... 200 in steps of 3
    t.reset();
    test::expectIndexMatchesBlocks(file, dir / "keyed.px");
    auto px = test::readWithPxlib(file, "CP1252");
    ASSERT_EQ(px.records.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        ASSERT_EQ(px.records[i][1], Value(std::int64_t(keys[i].second)));
}

TEST(ParadoxWrite, RecordIdsSurviveMovesAndDeletes) {
    testing::TempDir dir;
    auto file = dir / "ids.db";
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("Fill", FieldType::Alpha, 200)};
    layout.keyFields = 1;
    auto t = Table::create(file, TableFormat::Paradox, layout);
    std::vector<RecordId> ids;
    t->begin();
    for (int i = 0; i < 400; ++i)
        ids.push_back(t->insert({std::int64_t(i * 2), std::string("v") + std::to_string(i)}));
    t->commit();
    t.reset();
    t = Table::open(file, OpenMode::Shared);
    ids.clear();
    for (auto c = t->scan(); c->next();)
        ids.push_back(c->id());
    ASSERT_EQ(ids.size(), 400u);
    // Reverse the key order: every record moves, blocks split and empty.
    t->begin();
    for (std::size_t i = 0; i < ids.size(); ++i)
        t->update(ids[i],
                  {std::int64_t(100000 - int(i) * 2 - 1), std::string("w") + std::to_string(i)});
    t->commit();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        auto r = t->read(ids[i]);
        ASSERT_EQ(r[0], Value(std::int64_t(100000 - int(i) * 2 - 1)));
        ASSERT_EQ(r[1], Value(std::string("w") + std::to_string(i)));
    }
    // Updating one record onto another's key is a key violation and changes nothing.
    EXPECT_THROW(t->update(ids[0], {std::int64_t(100000 - 3), std::string("x")}), KeyViolation);
    EXPECT_EQ(t->read(ids[0])[1], Value(std::string("w0")));
    // Delete every other record, then the ids of the rest still hold.
    t->begin();
    for (std::size_t i = 0; i < ids.size(); i += 2)
        t->remove(ids[i]);
    t->commit();
    EXPECT_THROW(t->read(ids[0]), EngineError);
    for (std::size_t i = 1; i < ids.size(); i += 2)
        ASSERT_EQ(t->read(ids[i])[1], Value(std::string("w") + std::to_string(i)));
    EXPECT_EQ(t->recordCount(), 200u);
    // Delete everything: the table is empty but usable.
    t->begin();
    for (std::size_t i = 1; i < ids.size(); i += 2)
        t->remove(ids[i]);
    t->commit();
    EXPECT_EQ(recordsOf(*t).size(), 0u);
    t->insert({std::int64_t(5), std::string("again")});
    t.reset();
    test::expectIndexMatchesBlocks(file, dir / "ids.px");
    auto px = test::readWithPxlib(file, "CP1252");
    ASSERT_EQ(px.records.size(), 1u);
    EXPECT_EQ(px.records[0][1], Value(std::string("again")));
}

TEST(ParadoxWrite, SmallBlobsShareBlocksOfTheBlobFile) {
    testing::TempDir dir;
    auto file = dir / "memos.db";
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("Memo", FieldType::Memo, 10),
                     makeField("Bin", FieldType::Blob, 10)};
    layout.keyFields = 1;
    auto memoOf = [](int i) {
        return std::string(std::size_t(11 + (i * 13) % 500), char('a' + i % 26));
    };
    std::vector<RecordId> ids;
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 300; ++i)
            ids.push_back(t->insert(
                {std::int64_t(i), memoOf(i), Bytes(std::size_t(1 + i % 40), std::uint8_t(i))}));
        t->commit();
        // Whole 4 KiB blocks per value would take 600 blocks.
        EXPECT_LT(std::filesystem::file_size(dir / "memos.mb"), 100u * 4096);
        t->update(ids[5], {std::int64_t(5), std::string(3000, 'L'), Value{}});
        t->remove(ids[6]);
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    int i = 0;
    for (auto c = t->scan(); c->next(); ++i) {
        if (i == 6)
            ++i;
        if (i == 5) {
            EXPECT_EQ(c->value(1), Value(std::string(3000, 'L')));
            EXPECT_TRUE(isBlank(c->value(2)));
            continue;
        }
        ASSERT_EQ(c->value(1), Value(memoOf(i))) << i;
        ASSERT_EQ(c->value(2), Value(Bytes(std::size_t(1 + i % 40), std::uint8_t(i)))) << i;
    }
    EXPECT_EQ(i, 300);
}

TEST(ParadoxWrite, AutoincrementAdvancesAndIsNotReused) {
    testing::TempDir dir;
    auto file = dir / "auto.db";
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::AutoInc), makeField("Name", FieldType::Alpha, 10)};
    layout.keyFields = 1;
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->insert({Value{}, std::string("a")});
        t->insert({Value{}, std::string("b")});
        auto last = t->insert({Value{}, std::string("c")});
        t->remove(last);
    }
    auto t = Table::open(file, OpenMode::Shared);
    t->insert({Value{}, std::string("d")});
    auto all = recordsOf(*t);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2][0], Value(std::int64_t(4)));
    EXPECT_EQ(static_cast<paradox::ParadoxTable&>(*t).header().autoInc, 4u);
}

TEST(ParadoxWrite, RollbackLeavesNothingAndCommitKeepsAll) {
    testing::TempDir dir;
    auto file = dir / "tx.db";
    TableCreate layout;
    layout.fields = {makeField("K", FieldType::Long), makeField("Memo", FieldType::Memo, 10)};
    layout.keyFields = 1;
    auto t = Table::create(file, TableFormat::Paradox, layout);
    auto keep = t->insert({std::int64_t(1), std::string(5000, 'a')});
    auto sizeBefore = std::filesystem::file_size(file);
    t->begin();
    for (int i = 2; i < 500; ++i)
        t->insert({std::int64_t(i), std::string(100, 'b')});
    t->update(keep, {std::int64_t(1000), std::string("changed")});
    t->rollback();
    EXPECT_EQ(t->recordCount(), 1u);
    EXPECT_EQ(t->read(keep)[0], Value(std::int64_t(1)));
    EXPECT_EQ(t->read(keep)[1], Value(std::string(5000, 'a')));
    EXPECT_EQ(std::filesystem::file_size(file), sizeBefore);
    t->begin();
    t->insert({std::int64_t(2), Value{}});
    t->commit();
    t.reset();
    auto again = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(recordsOf(*again).size(), 2u);
}

TEST(ParadoxWrite, ModifyingARealTableKeepsItsVersionAndIndex) {
    auto corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    testing::TempDir dir;
    for (auto name : {"AREACODE.DB", "AREACODE.PX"}) {
        std::filesystem::copy_file(corpus / "open/paradox/pxdriver_db" / name, dir / name);
        std::filesystem::permissions(dir / name, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    auto file = dir / "AREACODE.DB";
    std::vector<Record> before;
    {
        auto t = Table::open(file, OpenMode::Exclusive);
        before = recordsOf(*t);
        EXPECT_THROW(t->insert(before[5]), KeyViolation);
        t->insert({std::string("000"), std::string("X"), std::string("Y"), std::string("Z")});
        t->insert({std::string("zzz"), std::string("X"), std::string("Y"), std::string("Z")});
        auto c = t->scan();
        c->next();
        t->remove(c->id());  // the new first record
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(t->version(), 4);
    auto after = recordsOf(*t);
    ASSERT_EQ(after.size(), before.size() + 1);
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(rowText(after[i]), rowText(before[i]));
    EXPECT_EQ(after.back()[0], Value(std::string("zzz")));
    test::expectIndexMatchesBlocks(file, dir / "AREACODE.PX");
    EXPECT_EQ(test::readWithPxlib(file, "CP437").records.size(), after.size());
}

TEST(ParadoxWrite, SecondaryIndexesStayThroughAChange) {
    auto corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    testing::TempDir dir;
    for (auto name : {"events.db", "events.px", "events.mb", "events.xg0", "events.yg0"}) {
        std::filesystem::copy_file(corpus / "open/paradox/dbdemos" / name, dir / name);
        std::filesystem::permissions(dir / name, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    auto t = Table::open(dir / "events.db", OpenMode::Shared);
    auto before = recordsOf(*t);
    EXPECT_TRUE(std::filesystem::exists(dir / "events.xg0"));
    auto c = t->scan();
    ASSERT_TRUE(c->next());
    Record r = before[0];
    r[2] = std::string("Renamed event");
    t->update(c->id(), r);
    EXPECT_TRUE(std::filesystem::exists(dir / "events.xg0"));  // written anew, not removed
    EXPECT_TRUE(std::filesystem::exists(dir / "events.yg0"));
    auto after = recordsOf(*t);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0][2], Value(std::string("Renamed event")));
    for (std::size_t i = 1; i < after.size(); ++i)
        EXPECT_EQ(rowText(after[i]), rowText(before[i]));
}

TEST(ParadoxWrite, ValuesThatDoNotFitAreRefusedWithTheFieldName) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Code", FieldType::Alpha, 3), makeField("S", FieldType::Short),
                     makeField("D", FieldType::Bcd, 17, 2)};
    auto t = Table::create(dir / "fit.db", TableFormat::Paradox, layout);
    auto expectRefused = [&](Record r, const char* field) {
        try {
            t->insert(r);
            ADD_FAILURE() << "accepted";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
        }
    };
    expectRefused({std::string("abcd"), Value{}, Value{}}, "Code");
    expectRefused({Value{}, std::int64_t(40000), Value{}}, "'S'");
    expectRefused({Value{}, 1.5, Value{}}, "'S'");
    expectRefused({Value{}, Value{}, Decimal{"1.234"}}, "'D'");
    expectRefused({Value{}, Value{}, std::string("abc")}, "'D'");
    EXPECT_EQ(t->recordCount(), 0u);
}

}  // namespace
}  // namespace orn::db
