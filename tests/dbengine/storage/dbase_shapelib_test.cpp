// shapelib's DBF reader and writer as an independent check of our dBASE files.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <cmath>
#include <cstring>
#include <random>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using testing::TempDir;

std::string dateDigits(const Value& v) {
    if (isBlank(v))
        return "";
    CivilDate c = civilDate(std::get<Date>(v).day);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.year, c.month, c.day);
    return buf;
}

// Compares every record shapelib sees with ours, field by field (C, N, F, D, L only).
void expectSameAsShapelib(const std::filesystem::path& file, dbase::DBaseTable& ours) {
    DBFHandle h = DBFOpen(file.c_str(), "rb");
    ASSERT_NE(h, nullptr) << file;
    ASSERT_EQ(static_cast<std::uint64_t>(DBFGetRecordCount(h)), ours.slotCount()) << file;
    ASSERT_EQ(static_cast<std::size_t>(DBFGetFieldCount(h)), ours.fields().size()) << file;
    for (int r = 0; r < DBFGetRecordCount(h); ++r) {
        RecordId id = static_cast<RecordId>(r) + 1;
        ASSERT_EQ(DBFIsRecordDeleted(h, r) != 0, ours.isDeleted(id)) << file << " record " << id;
        if (ours.isDeleted(id))
            continue;
        Record rec = ours.read(id);
        for (int i = 0; i < DBFGetFieldCount(h); ++i) {
            const Field& f = ours.fields()[static_cast<std::size_t>(i)];
            const Value& v = rec[static_cast<std::size_t>(i)];
            SCOPED_TRACE(file.string() + " record " + std::to_string(id) + " field " + f.name);
            char native = DBFGetNativeFieldType(h, i);
            if (native == 'C') {
                std::string theirs = DBFReadStringAttribute(h, r, i);
                std::string mine = isBlank(v) ? "" : std::get<std::string>(v);
                while (!mine.empty() && mine.front() == ' ')
                    mine.erase(0, 1);
                // shapelib hands out the file's bytes; compare where they are plain ASCII.
                bool ascii =
                    std::all_of(theirs.begin(), theirs.end(), [](char c) { return c > 0; });
                if (ascii) {
                    EXPECT_EQ(theirs, mine);
                }
            } else if (native == 'N' || native == 'F') {
                if (DBFIsAttributeNULL(h, r, i)) {
                    EXPECT_TRUE(isBlank(v));
                    continue;
                }
                double theirs = DBFReadDoubleAttribute(h, r, i);
                double mine = std::holds_alternative<std::int64_t>(v)
                                  ? static_cast<double>(std::get<std::int64_t>(v))
                                  : std::get<double>(v);
                EXPECT_DOUBLE_EQ(theirs, mine);
            } else if (native == 'D') {
                if (isBlank(v))
                    continue;  // shapelib reports invalid dates as text
                EXPECT_EQ(DBFReadStringAttribute(h, r, i), dateDigits(v));
            } else if (native == 'L') {
                const char* raw = DBFReadLogicalAttribute(h, r, i);
                char c = raw ? raw[0] : ' ';
                if (c == 'T' || c == 't' || c == 'Y' || c == 'y') {
                    EXPECT_EQ(v, Value{true});
                } else if (c == 'F' || c == 'f' || c == 'N' || c == 'n') {
                    EXPECT_EQ(v, Value{false});
                } else {
                    EXPECT_TRUE(isBlank(v));
                }
            }
        }
    }
    DBFClose(h);
}

TEST(DBaseShapelib, TablesWeWriteReadBackEqualInShapelib) {
    TempDir dir;
    auto file = dir / "written.dbf";
    TableCreate layout;
    layout.fields = {makeField("NAME", FieldType::Alpha, 30),
                     makeField("COUNT", FieldType::Number, 9),
                     makeField("AMOUNT", FieldType::Number, 14, 3),
                     makeField("DAY", FieldType::Date), makeField("FLAG", FieldType::Logical)};
    std::mt19937 rng(7);
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->begin();
        for (int i = 0; i < 500; ++i) {
            Record r(5);
            if (i % 11 != 0)
                r[0] = "name " + std::to_string(rng() % 100000);
            if (i % 13 != 0)
                r[1] = std::int64_t(rng() % 2000000) - 1000000;
            if (i % 17 != 0)
                r[2] = (double(rng() % 2000000) - 1e6) / 1000;
            if (i % 19 != 0)
                r[3] = Date{dayNumber(1900, 1, 1) + int(rng() % 60000)};
            if (i % 5 != 0)
                r[4] = rng() % 2 == 0;
            t->insert(r);
        }
        for (RecordId id = 3; id <= 500; id += 37)
            t->remove(id);
        t->commit();
    }
    auto ours = Table::open(file, OpenMode::ReadOnly);
    expectSameAsShapelib(file, dynamic_cast<dbase::DBaseTable&>(*ours));
    DBFHandle h = DBFOpen(file.c_str(), "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(DBFGetCodePage(h), "LDID/87");
    int width = 0, decimals = 0;
    char name[12] = {};
    EXPECT_EQ(DBFGetFieldInfo(h, 2, name, &width, &decimals), FTDouble);
    EXPECT_STREQ(name, "AMOUNT");
    EXPECT_EQ(width, 14);
    EXPECT_EQ(decimals, 3);
    DBFClose(h);
}

TEST(DBaseShapelib, TablesShapelibWritesReadBackEqualInOurs) {
    TempDir dir;
    auto file = dir / "theirs.dbf";
    DBFHandle h = DBFCreate(file.c_str());
    ASSERT_NE(h, nullptr);
    DBFAddField(h, "TEXT", FTString, 25, 0);
    DBFAddField(h, "INT", FTInteger, 10, 0);
    DBFAddField(h, "REAL", FTDouble, 16, 4);
    DBFAddNativeFieldType(h, "WHEN", 'D', 8, 0);
    DBFAddField(h, "YES", FTLogical, 1, 0);
    for (int r = 0; r < 300; ++r) {
        DBFWriteStringAttribute(h, r, 0, ("row " + std::to_string(r)).c_str());
        if (r % 7 == 0) {
            DBFWriteNULLAttribute(h, r, 1);
        } else {
            DBFWriteIntegerAttribute(h, r, 1, r * 31 - 4000);
        }
        DBFWriteDoubleAttribute(h, r, 2, r / 8.0 - 10);
        char date[9] = "20240229";
        if (r % 9 == 0)
            std::memset(date, ' ', 8);
        DBFWriteAttributeDirectly(h, r, 3, date);
        DBFWriteLogicalAttribute(h, r, 4, r % 2 ? 'T' : 'F');
    }
    DBFMarkRecordDeleted(h, 10, 1);
    DBFClose(h);
    auto ours = Table::open(file, OpenMode::ReadOnly);
    auto& table = dynamic_cast<dbase::DBaseTable&>(*ours);
    EXPECT_EQ(table.recordCount(), 299u);
    EXPECT_EQ(table.read(2), (Record{std::string("row 1"), std::int64_t{31 - 4000}, 1 / 8.0 - 10,
                                     Date{dayNumber(2024, 2, 29)}, true}));
    EXPECT_TRUE(isBlank(table.read(1)[1]));
    expectSameAsShapelib(file, table);
}

}  // namespace
}  // namespace orn::db
