// ALTER TABLE ... BLOCK SIZE gives a Paradox table other blocks and keeps everything else: the
// way out of a full table that its message names.
extern "C" {
#include <paradox.h>
}
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "dataset_test_support.h"
#include "dbengine/dataset/query.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

std::vector<unsigned char> bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

void exec(const fs::path& dir, const std::string& sql) {
    Query q(dir);
    q.setSql(sql);
    q.execute();
}

void quiet(pxdoc_t*, int, const char*, void*) {}

// The record count pxlib reads, -1 when it cannot open the table.
int pxlibCount(const fs::path& file) {
    pxdoc_t* doc = PX_new2(quiet, nullptr, nullptr, nullptr);
    if (PX_open_file(doc, file.c_str()) < 0) {
        PX_delete(doc);
        return -1;
    }
    const int n = PX_get_num_records(doc);
    PX_close(doc);
    PX_delete(doc);
    return n;
}

TEST(BlockSizeChange, AFullTableTakesTheWayItsMessageNamesAndKeepsItsRecords) {
    TempDir dir;
    const auto file = dir.path() / "full.db";
    TableCreate layout;
    // One 1015-byte record to a 1 KiB block: 65535 records fill the table.
    layout.fields = {makeField("A", FieldType::Alpha, 255), makeField("B", FieldType::Alpha, 255),
                     makeField("C", FieldType::Alpha, 255), makeField("D", FieldType::Alpha, 250)};
    layout.blockSize = 1024;
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 65535; ++i)
            t->insert({std::to_string(i), std::string("b"), std::string("c"), std::string("d")});
        t->commit();
    }
    std::string message;
    try {
        exec(dir.path(), "INSERT INTO \"full.db\" (A) VALUES ('one more')");
    } catch (const std::exception& e) {
        message = e.what();
    }
    const std::string how = "give it larger blocks with ";
    const auto at = message.find(how);
    ASSERT_NE(at, std::string::npos) << message;
    const auto end = message.find(" (everything else", at);
    ASSERT_NE(end, std::string::npos) << message;
    const std::string statement = message.substr(at + how.size(), end - at - how.size());
    EXPECT_EQ(statement, "ALTER TABLE \"full.db\" BLOCK SIZE 32768");

    exec(dir.path(), statement);
    exec(dir.path(), "INSERT INTO \"full.db\" (A) VALUES ('one more')");
    EXPECT_EQ(bytesOf(file)[0x05], 32);
    auto t = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(t->recordCount(), 65536u);
    int n = 0;
    for (auto c = t->scan(); c->next(); ++n) {
        if (n < 65535) {
            ASSERT_EQ(std::get<std::string>(c->value(0)), std::to_string(n));
        }
    }
    EXPECT_EQ(n, 65536);
    EXPECT_EQ(pxlibCount(file), 65536);
}

// Keyed tables of other programs (16 KiB blocks with a 2 KiB index; 2 KiB blocks with a 4 KiB
// index) change block size and keep their sort order, index block size, index header values
// and records.
TEST(BlockSizeChange, KeyedTablesKeepTheirIndexSortOrderAndHeader) {
    struct Case {
        const char* rel;
        int toKiB;
    };
    for (const Case c :
         {Case{"open/paradox/pxdriver_db/AREACODES", 2}, Case{"open/paradox/dbdemos/country", 4}}) {
        SCOPED_TRACE(c.rel);
#ifdef ORN_CORPUS_DIR
        const fs::path src = fs::path(ORN_CORPUS_DIR) / c.rel;
#else
        const fs::path src;
#endif
        if (src.empty() || !fs::is_directory(src.parent_path()))
            GTEST_SKIP() << "corpus not found";
        TempDir dir;
        const std::string stem = src.filename().string();
        fs::path file;
        for (const auto& e : fs::directory_iterator(src.parent_path())) {
            if (e.path().stem() != stem)
                continue;
            const auto to = dir.path() / e.path().filename();
            fs::copy_file(e.path(), to);
            fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
            const std::string ext = e.path().extension().string();
            if (ext == ".db" || ext == ".DB")
                file = to;
        }
        fs::path px = file;
        px.replace_extension(file.extension() == ".DB" ? ".PX" : ".px");
        const auto dbBefore = bytesOf(file);
        const auto pxBefore = bytesOf(px);
        const auto before = readAll(file);

        exec(dir.path(), "ALTER TABLE \"" + file.filename().string() + "\" BLOCK SIZE " +
                             std::to_string(c.toKiB * 1024));

        const auto db = bytesOf(file);
        const auto index = bytesOf(px);
        EXPECT_EQ(db[0x05], c.toKiB);
        EXPECT_EQ(db[0x29], dbBefore[0x29]) << "sort order";
        EXPECT_EQ(db[0x39], dbBefore[0x39]) << "level";
        EXPECT_EQ(index[0x05], pxBefore[0x05]) << "index block size";
        EXPECT_EQ(le32(index, 0x49), le32(pxBefore, 0x49));
        EXPECT_EQ(readAll(file), before);
        EXPECT_EQ(pxlibCount(file), int(before.size()));
        // Writes afterwards keep the index's values as well.
        {
            auto t = Table::open(file, OpenMode::Shared);
            auto first = t->scan();
            ASSERT_TRUE(first->next());
            t->remove(first->id());
        }
        EXPECT_EQ(le32(bytesOf(px), 0x49), le32(pxBefore, 0x49));
        EXPECT_EQ(bytesOf(px)[0x05], pxBefore[0x05]);
        if (db[0x39] < 0x0A) {  // before Paradox 5: at most 4 KiB
            const auto kept = bytesOf(file);
            try {
                exec(dir.path(),
                     "ALTER TABLE \"" + file.filename().string() + "\" BLOCK SIZE 16384");
                ADD_FAILURE() << "16 KiB blocks in a table before Paradox 5";
            } catch (const std::exception& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot change the structure of " + file.string() +
                                                     ": blocks of 16 KiB need Paradox 5 or later");
            }
            EXPECT_EQ(bytesOf(file), kept);
        }
    }
}

TEST(BlockSizeChange, SizesTheTableCannotTakeAreRefusedAndChangeNothing) {
    TempDir dir;
    const auto file = makeKeyedTable(dir.path(), "items", 30);
    const auto before = bytesOf(file);
    auto refusal = [&](const std::string& sql) {
        try {
            exec(dir.path(), sql);
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("<no error>");
    };
    EXPECT_NE(refusal("ALTER TABLE items BLOCK SIZE 8192").find("not 8192"), std::string::npos);
    EXPECT_EQ(bytesOf(file), before);
    // Records longer than a block.
    exec(dir.path(),
         "ALTER TABLE items ADD Wide CHAR(255), ADD Wider CHAR(255), ADD W3 CHAR(255), "
         "ADD W4 CHAR(255)");
    const auto wide = bytesOf(file);
    const std::string text = refusal("ALTER TABLE items BLOCK SIZE 1024");
    EXPECT_NE(text.find("do not fit in blocks of 1 KiB"), std::string::npos) << text;
    EXPECT_EQ(bytesOf(file), wide);
    EXPECT_EQ(readAll(file).size(), 30u);
}

}  // namespace
}  // namespace orn::db
