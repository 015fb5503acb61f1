#include <gtest/gtest.h>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/table.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using testing::readAll;
using testing::TempDir;

std::vector<Record> readAllRecords(Table& t) {
    std::vector<Record> out;
    auto c = t.scan();
    while (c->next()) {
        Record r;
        for (std::size_t i = 0; i < t.fields().size(); ++i)
            r.push_back(c->value(i));
        out.push_back(r);
    }
    return out;
}

TableCreate classicLayout(int version) {
    TableCreate layout;
    layout.version = version;
    layout.fields = {
        makeField("NAME", FieldType::Alpha, 20),      makeField("QTY", FieldType::Number, 8),
        makeField("PRICE", FieldType::Number, 10, 2), makeField("BORN", FieldType::Date),
        makeField("OK", FieldType::Logical),          makeField("NOTES", FieldType::Memo)};
    return layout;
}

std::vector<Record> classicRecords() {
    std::string longMemo;
    for (int i = 0; i < 300; ++i)
        longMemo += "line " + std::to_string(i) + "\r\n";
    return {
        {std::string("Zoë Café"), std::int64_t{42}, 19.99, Date{dayNumber(1999, 12, 31)}, true,
         std::string("short memo")},
        {Value{}, Value{}, Value{}, Value{}, Value{}, Value{}},
        {std::string("negative"), std::int64_t{-7}, -0.5, Date{dayNumber(2024, 2, 29)}, false,
         longMemo},
    };
}

class DBaseVersions : public ::testing::TestWithParam<int> {};

TEST_P(DBaseVersions, CreatedTablesReadBackEqualAfterReopening) {
    TempDir dir;
    auto file = dir / "items.dbf";
    auto records = classicRecords();
    {
        auto t = Table::create(file, TableFormat::DBase, classicLayout(GetParam()));
        for (const auto& r : records)
            t->insert(r);
        EXPECT_EQ(readAllRecords(*t), records);
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(t->format(), TableFormat::DBase);
    EXPECT_EQ(t->recordCount(), records.size());
    EXPECT_EQ(readAllRecords(*t), records);
    EXPECT_EQ(t->read(3), records[2]);
    auto bytes = readAll(file);
    const int expectVersion = GetParam() == 4      ? 0x8B
                              : GetParam() == 0x30 ? 0x30
                              : GetParam() == 0xF5 ? 0xF5
                                                   : 0x83;
    EXPECT_EQ(bytes[0], expectVersion);
    EXPECT_EQ(bytes.back(), 0x1A);
    EXPECT_EQ(bytes[4], 3);  // record count in the header
}

INSTANTIATE_TEST_SUITE_P(AllWritableVersions, DBaseVersions, ::testing::Values(3, 4, 0xF5, 0x30));

TEST(DBaseTable, UpdateAndDeleteKeepRecordNumbers) {
    TempDir dir;
    auto file = dir / "t.dbf";
    auto t = Table::create(file, TableFormat::DBase, classicLayout(3));
    auto records = classicRecords();
    std::vector<RecordId> ids;
    for (const auto& r : records)
        ids.push_back(t->insert(r));
    EXPECT_EQ(ids, (std::vector<RecordId>{1, 2, 3}));
    t->remove(ids[0]);
    Record changed = records[2];
    changed[0] = std::string("changed");
    changed[5] = std::string("a new memo");
    t->update(ids[2], changed);
    EXPECT_EQ(t->recordCount(), 2u);
    EXPECT_THROW(t->read(ids[0]), EngineError);
    EXPECT_THROW(t->update(ids[0], changed), EngineError);
    auto rows = readAllRecords(*t);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], changed);
    t.reset();
    auto again = Table::open(file, OpenMode::Shared);
    EXPECT_EQ(again->read(3), changed);
    EXPECT_EQ(again->recordCount(), 2u);
    EXPECT_EQ(readAll(file)[32 * 7 + 1], '*');  // deleted flag of record 1 (6 fields)
}

TEST(DBaseTable, RollbackForgetsEverythingSinceBegin) {
    TempDir dir;
    auto file = dir / "t.dbf";
    auto t = Table::create(file, TableFormat::DBase, classicLayout(4));
    auto records = classicRecords();
    t->insert(records[0]);
    auto before = readAll(file);
    t->begin();
    for (int i = 0; i < 1000; ++i)
        t->insert(records[2]);
    t->update(1, records[2]);
    t->remove(1);
    EXPECT_EQ(t->recordCount(), 1000u);
    t->rollback();
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(t->recordCount(), 1u);
    EXPECT_EQ(t->read(1), records[0]);
    t->begin();
    t->insert(records[1]);
    t->commit();
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->recordCount(), 2u);
}

TEST(DBaseTable, ValuesThatDoNotFitAreRefusedAndChangeNothing) {
    TempDir dir;
    auto file = dir / "t.dbf";
    auto t = Table::create(file, TableFormat::DBase, classicLayout(3));
    t->insert(classicRecords()[0]);
    auto before = readAll(file);
    auto bad = classicRecords()[0];
    bad[0] = std::string(21, 'x');
    EXPECT_THROW(t->insert(bad), EngineError);
    bad = classicRecords()[0];
    bad[1] = std::int64_t{123456789};  // N(8)
    try {
        t->insert(bad);
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("QTY"), std::string::npos);
    }
    bad = classicRecords()[0];
    bad[0] = std::string("\xE2\x9C\x93");  // a check mark has no place in code page 1252
    EXPECT_THROW(t->insert(bad), EngineError);
    bad[0] = std::string("x");
    bad[4] = std::int64_t{1};
    EXPECT_THROW(t->insert(bad), EngineError);
    EXPECT_THROW(t->insert(Record{std::string("too few")}), EngineError);
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(t->recordCount(), 1u);
}

TEST(DBaseTable, CodePageOfTheTableIsUsedAndRecorded) {
    TempDir dir;
    auto file = dir / "ru.dbf";
    TableCreate layout;
    layout.codePage = "CP866";
    layout.fields = {makeField("ИМЯ", FieldType::Alpha, 10)};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->insert({std::string("Москва")});
    }
    auto bytes = readAll(file);
    EXPECT_EQ(bytes[29], 0x65);  // language driver of code page 866
    EXPECT_EQ(bytes[32], 0x88);  // И in 866
    const std::size_t rec = 32 + 32 + 1;
    EXPECT_EQ(bytes[rec + 1], 0x8C);  // М
    auto t = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(t->fields()[0].name, "ИМЯ");
    EXPECT_EQ(t->read(1)[0], Value{std::string("Москва")});
    EXPECT_EQ(dynamic_cast<dbase::DBaseTable&>(*t).codePage(), "CP866");
}

TEST(DBaseTable, VisualFoxProTypesRoundTrip) {
    TempDir dir;
    auto file = dir / "vfp.dbf";
    TableCreate layout;
    layout.version = 0x30;
    layout.fields = {makeField("ID", FieldType::AutoInc),
                     makeField("N", FieldType::Long),
                     makeField("PRICE", FieldType::Money),
                     makeField("AT", FieldType::Timestamp),
                     makeField("X", FieldType::Number, 8, 0, 'B'),
                     makeField("PIC", FieldType::Blob),
                     makeField("TXT", FieldType::Memo)};
    Bytes blob = {0, 1, 2, 0x1A, 0xFF};
    const Timestamp at{dayNumber(2024, 1, 18) * 86400000.0 + 71687000.0};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->insert({Value{}, std::int64_t{-5}, 12.3456, at, 0.25, blob, std::string("memo")});
        t->insert({Value{}, std::int64_t{7}, Value{}, Value{}, -1e10, Value{}, Value{}});
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    auto rows = readAllRecords(*t);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Record{std::int64_t{1}, std::int64_t{-5}, 12.3456, at, 0.25, blob,
                               std::string("memo")}));
    EXPECT_EQ(rows[1][0], Value{std::int64_t{2}});
    EXPECT_EQ(rows[1][4], Value{-1e10});
    EXPECT_EQ(t->fields()[0].type, FieldType::AutoInc);
}

TEST(DBaseTable, DBaseIIIMemosCannotHoldBinaryData) {
    TempDir dir;
    TableCreate layout = classicLayout(3);
    layout.fields.push_back(makeField("PIC", FieldType::Graphic));
    EXPECT_THROW(Table::create(dir / "x.dbf", TableFormat::DBase, layout), EngineError);
    auto t = Table::create(dir / "y.dbf", TableFormat::DBase, classicLayout(3));
    auto r = classicRecords()[0];
    r[5] = std::string("has \x1A inside");
    EXPECT_THROW(t->insert(r), EngineError);
}

TEST(DBaseTable, BadNamesAndLayoutsAreRefused) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("A_VERY_LONG_NAME", FieldType::Alpha, 5)};
    EXPECT_THROW(Table::create(dir / "a.dbf", TableFormat::DBase, layout), EngineError);
    layout.fields = {makeField("X", FieldType::Alpha, 5), makeField("x", FieldType::Alpha, 5)};
    EXPECT_THROW(Table::create(dir / "b.dbf", TableFormat::DBase, layout), EngineError);
    layout.fields = {makeField("X", FieldType::Alpha, 0)};
    EXPECT_THROW(Table::create(dir / "c.dbf", TableFormat::DBase, layout), EngineError);
    layout.fields = {makeField("T", FieldType::Time)};
    EXPECT_THROW(Table::create(dir / "d.dbf", TableFormat::DBase, layout), EngineError);
}

TEST(DBaseTable, DropRemovesCompanionsAndCreateReplaces) {
    TempDir dir;
    auto file = dir / "T.DBF";
    Table::create(file, TableFormat::DBase, classicLayout(3))->insert(classicRecords()[0]);
    EXPECT_TRUE(std::filesystem::exists(dir / "T.DBT"));
    auto t = Table::create(file, TableFormat::DBase, classicLayout(3));
    EXPECT_EQ(t->recordCount(), 0u);
    t.reset();
    Table::drop(file);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(dir / "T.DBT"));
}

}  // namespace
}  // namespace orn::db
