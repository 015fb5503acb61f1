// An answer saved as a table keeps its columns' types where the table format has them, and a
// table changed by ALTER TABLE keeps its sort order, block size and field ids.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/table.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

std::vector<std::uint8_t> fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void execute(const fs::path& dir, const std::string& sql) {
    Query q(dir);
    q.setSql(sql);
    q.execute();
}

TEST(SavedAnswer, BytesGraphicOleAndFormattedMemoKeepTheirTypes) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Code", FieldType::Bytes, 6),
                     makeField("Picture", FieldType::Graphic, 10),
                     makeField("Object", FieldType::Ole, 10),
                     makeField("Styled", FieldType::FmtMemo, 10)};
    const Bytes image(3000, 0x42);
    {
        auto t = Table::create(dir.path() / "media.db", TableFormat::Paradox, layout);
        t->insert({std::int64_t(1), Bytes{1, 2, 3, 4, 5, 6}, image, Bytes{9, 8, 7},
                   std::string("{\\rtf1 x}")});
    }
    Query q(dir.path());
    q.setSql("SELECT Id, Code, Picture, Object, Styled FROM media");
    q.open();
    saveAnswerAsTable(q, "copy");
    q.close();
    auto saved = Table::open(dir.path() / "copy.db", OpenMode::ReadOnly);
    const auto& f = saved->fields();
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[1].type, FieldType::Bytes);
    EXPECT_EQ(f[1].size, 6);
    EXPECT_EQ(f[2].type, FieldType::Graphic);
    EXPECT_EQ(f[3].type, FieldType::Ole);
    EXPECT_EQ(f[4].type, FieldType::FmtMemo);
    const auto rows = readAll(dir.path() / "copy.db");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], Value(Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(rows[0][2], Value(image));
    // The graphic goes to the blob file with its image prefix: 01 00 00 01 and the length.
    const auto mb = fileBytes(dir.path() / "copy.mb");
    const std::uint8_t prefix[] = {0x01, 0x00, 0x00, 0x01, 0xB8, 0x0B, 0x00, 0x00};
    EXPECT_NE(std::search(mb.begin(), mb.end(), std::begin(prefix), std::end(prefix)), mb.end());
}

TEST(AlteredTable, KeepsSortOrderBlockSizeAndFieldIds) {
    TempDir dir;
    const fs::path file = dir.path() / "people.db";
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 20),
                     makeField("Old", FieldType::Short)};
    layout.keyFields = 1;
    Table::create(file, TableFormat::Paradox, layout);
    // As another program left it: 16 KiB blocks, a national sort order, restructured fields.
    auto b = fileBytes(file);
    paradox::Header h = paradox::parseHeader(b.data(), b.size(), file.string());
    h.maxTableSize = 16;
    h.sortOrder = 0x62;
    h.sortOrderName = "ANSIINTL";
    h.fieldIds = {1, 4, 2};
    h.hiFieldId = 7;
    b = paradox::buildDbHeader(h, "people.db");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    execute(dir.path(), "ALTER TABLE people ADD Extra INTEGER, DROP Old");
    const auto after = fileBytes(file);
    const paradox::Header a = paradox::parseHeader(after.data(), after.size(), file.string());
    EXPECT_EQ(a.maxTableSize, 16);
    EXPECT_EQ(a.sortOrder, 0x62);
    EXPECT_EQ(a.sortOrderName, "ANSIINTL");
    std::uint16_t hi = 0;
    EXPECT_EQ(paradox::parseFieldIds(after.data(), after.size(), hi),
              (std::vector<std::uint16_t>{1, 4, 7}));
    EXPECT_EQ(hi, 8);
}

}  // namespace
}  // namespace orn::db
