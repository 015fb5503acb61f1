#include "dbengine/vtab/table_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "dataset_test_support.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

void touch(const fs::path& p) {
    std::ofstream(p) << "x";
}

TEST(TableFiles, BareNamePrefersParadoxThenDbase) {
    TempDir dir;
    touch(dir.path() / "Orders.DBF");
    EXPECT_EQ(findTableFile(dir.path(), "orders")->filename(), "Orders.DBF");
    touch(dir.path() / "ORDERS.db");
    EXPECT_EQ(findTableFile(dir.path(), "orders")->filename(), "ORDERS.db");
    EXPECT_EQ(findTableFile(dir.path(), "orders.dbf")->filename(), "Orders.DBF");
}

TEST(TableFiles, PathsAndLetterCase) {
    TempDir dir;
    fs::create_directory(dir.path() / "Sub");
    touch(dir.path() / "Sub" / "Parts.db");
    EXPECT_EQ(findTableFile(dir.path(), "sub\\PARTS.DB"), dir.path() / "Sub" / "Parts.db");
    EXPECT_EQ(findTableFile({}, (dir.path() / "SUB/parts").string()),
              dir.path() / "Sub" / "Parts.db");
    EXPECT_FALSE(findTableFile(dir.path(), "nothing"));
    EXPECT_FALSE(findTableFile(dir.path(), ""));
}

TEST(TableFiles, MissingTableMessageNamesTableAndDirectory) {
    TempDir dir;
    try {
        requireTableFile(dir.path(), "Ghost");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        const std::string msg = e.what();
        EXPECT_NE(msg.find("Ghost"), std::string::npos) << msg;
        EXPECT_NE(msg.find(dir.path().string()), std::string::npos) << msg;
    }
}

TEST(TableFiles, NewTableNameAndFormat) {
    TempDir dir;
    TableFormat f = TableFormat::DBase;
    EXPECT_EQ(newTableFile(dir.path(), "x", f), dir.path() / "x.db");
    EXPECT_EQ(f, TableFormat::Paradox);
    EXPECT_EQ(newTableFile(dir.path(), "y.DBF", f), dir.path() / "y.DBF");
    EXPECT_EQ(f, TableFormat::DBase);
    touch(dir.path() / "Z.DB");
    EXPECT_EQ(newTableFile(dir.path(), "z.db", f), dir.path() / "Z.DB");
}

}  // namespace
}  // namespace orn::db
