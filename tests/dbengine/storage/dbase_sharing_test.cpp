// dBASE tables shared between Table objects and processes, and real files changed in place.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using testing::TempDir;

TableCreate oneTextField() {
    Field f;
    f.name = "TEXT";
    f.type = FieldType::Alpha;
    f.size = 20;
    TableCreate layout;
    layout.fields = {f};
    return layout;
}

TEST(DBaseSharing, TwoWritersOfOneFileSeeEachOthersRecords) {
    TempDir dir;
    auto file = dir / "shared.dbf";
    Table::create(file, TableFormat::DBase, oneTextField());
    auto a = Table::open(file, OpenMode::Shared);
    auto b = Table::open(file, OpenMode::Shared);
    EXPECT_EQ(a->insert({std::string("from a")}), 1u);
    EXPECT_EQ(b->insert({std::string("from b")}), 2u);  // b re-reads the header first
    EXPECT_EQ(a->recordCount(), 2u);
    EXPECT_EQ(a->read(2)[0], Value{std::string("from b")});
    b->remove(1);
    EXPECT_EQ(a->recordCount(), 1u);
}

TEST(DBaseSharing, ExclusiveOpenFailsWhileAnotherProcessHasTheTableOpen) {
    TempDir dir;
    auto file = dir / "busy.dbf";
    Table::create(file, TableFormat::DBase, oneTextField());
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto t = Table::open(file, OpenMode::ReadOnly);
        char c = 0;
        (void)!write(ready[1], "x", 1);
        (void)!read(done[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    try {
        Table::open(file, OpenMode::Exclusive);
        ADD_FAILURE() << "exclusive open succeeded";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    EXPECT_THROW(Table::drop(file), EngineError);
    EXPECT_NO_THROW(Table::open(file, OpenMode::Shared));
    (void)!write(done[1], "x", 1);
    waitpid(child, nullptr, 0);
    EXPECT_NO_THROW(Table::open(file, OpenMode::Exclusive));
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);
}

class DBaseCorpusCopies : public ::testing::Test {
  protected:
    void SetUp() override {
        corpus_ = testing::corpusDir();
        if (corpus_.empty())
            GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    }
    // A writable copy in a temporary folder (the corpus itself is never written).
    std::filesystem::path copy(const std::string& relative, const std::vector<std::string>& also) {
        auto from = corpus_ / relative;
        auto to = dir_ / from.filename();
        std::filesystem::copy_file(from, to);
        for (const auto& name : also)
            std::filesystem::copy_file(from.parent_path() / name, dir_ / name);
        for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        }
        return to;
    }
    std::filesystem::path corpus_;
    TempDir dir_;
};

TEST_F(DBaseCorpusCopies, WritingClearsTheProductionIndexFlagAndKeepsTheRest) {
    auto file = copy("open/dbase/dbdemos/animals.dbf", {"animals.dbt", "animals.mdx"});
    Record before;
    {
        auto t = Table::open(file, OpenMode::Shared);
        before = t->read(1);
        Record r = before;
        r[0] = std::string("Zebra");
        t->insert(r);
    }
    auto bytes = testing::readAll(file);
    EXPECT_EQ(bytes[28] & 1, 0);  // .mdx no longer announced: we do not maintain it
    for (std::size_t d = 32; bytes[d] != 0x0D; d += 32)
        EXPECT_EQ(bytes[d + 31], 0);
    auto t = Table::open(file, OpenMode::ReadOnly);
    EXPECT_EQ(t->recordCount(), 8u);
    EXPECT_EQ(t->read(1), before);
    EXPECT_EQ(t->read(8)[0], Value{std::string("Zebra")});
    EXPECT_EQ(t->read(8)[4], before[4]);  // the picture went to the .dbt and back
}

TEST_F(DBaseCorpusCopies, VisualFoxProNullsAndAutoincrementOnARealFile) {
    auto file = copy("open/dbase/infused/dbase_31.dbf", {});
    {
        auto t = Table::open(file, OpenMode::Shared);
        Record r(t->fields().size());
        r[1] = std::string("New product");
        EXPECT_EQ(t->insert(r), 78u);
    }
    auto t = Table::open(file, OpenMode::ReadOnly);
    Record r = t->read(78);
    EXPECT_EQ(r[0], Value{std::int64_t{78}});  // the next autoincrement value of the file
    EXPECT_EQ(r[1], Value{std::string("New product")});
    EXPECT_TRUE(isBlank(r[2]));  // nullable: NULL flag set
    EXPECT_TRUE(isBlank(r[5]));
    EXPECT_EQ(t->read(77)[0], Value{std::int64_t{77}});
}

TEST_F(DBaseCorpusCopies, TablesWithoutALanguageDriverUseTheFallbackCodePage) {
    auto file = corpus_ / "open/dbase/kladr/SOCRBASE.DBF";  // cp866 text, driver byte 0
    setFallbackTableCodePage("CP866");
    auto t = Table::open(file, OpenMode::ReadOnly);
    setFallbackTableCodePage("");
    EXPECT_EQ(dynamic_cast<dbase::DBaseTable&>(*t).codePage(), "CP866");
    std::string text = valueText(t->read(1)[2]);
    EXPECT_EQ(text.rfind("\xD0\x90", 0), 0u) << text;  // starts with the Cyrillic letter А
    EXPECT_THROW(setFallbackTableCodePage("NOT-A-CODEPAGE"), EngineError);
}

}  // namespace
}  // namespace orn::db
