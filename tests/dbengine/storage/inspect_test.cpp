#include "dbengine/storage/inspect.h"

#include <gtest/gtest.h>

#include <sstream>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/table.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

TEST(Inspect, InfoAndDumpShowFieldsAndDisplayTexts) {
    testing::TempDir dir;
    auto file = dir / "people.dbf";
    TableCreate layout;
    layout.version = 4;
    layout.fields = {
        makeField("NAME", FieldType::Alpha, 12),    makeField("AGE", FieldType::Number, 3),
        makeField("RATE", FieldType::Number, 8, 2), makeField("BORN", FieldType::Date),
        makeField("OK", FieldType::Logical),        makeField("NOTE", FieldType::Memo),
        makeField("PIC", FieldType::Blob)};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->insert({std::string("Ann"), std::int64_t{31}, 2.5, Date{dayNumber(1993, 7, 4)}, true,
                   std::string("two\tlines\r\nhere"), Bytes(42, 7)});
        t->insert({std::string("Bob"), Value{}, -0.25, Value{}, false, Value{}, Value{}});
        t->insert({std::string("gone"), Value{}, Value{}, Value{}, Value{}, Value{}, Value{}});
        t->remove(3);
    }
    std::ostringstream out, err;
    EXPECT_EQ(runInspect("INFO", file, out, err), 0);
    EXPECT_EQ(out.str(),
              "NAME\tA\t12\t-\nAGE\tN\t3\t-\nRATE\tN\t8\t-\nBORN\tD\t8\t-\nOK\tL\t1\t-\n"
              "NOTE\tM\t10\t-\nPIC\tB\t10\t-\n");
    out.str("");
    EXPECT_EQ(runInspect("dump", file, out, err), 0);
    EXPECT_EQ(out.str(),
              "NAME\tAGE\tRATE\tBORN\tOK\tNOTE\tPIC\n"
              "Ann\t31\t2.5\t1993-07-04\tTrue\ttwo\\tlines\\r\\nhere\t(blob 42 bytes)\n"
              "Bob\t\t-0.25\t\tFalse\t\t\n");
    EXPECT_EQ(err.str(), "");
}

TEST(Inspect, UnreadableFilesGiveAMessageAndNonZeroExit) {
    testing::TempDir dir;
    std::ostringstream out, err;
    EXPECT_EQ(runInspect("INFO", dir / "missing.dbf", out, err), 1);
    EXPECT_NE(err.str().find("missing.dbf"), std::string::npos);
    err.str("");
    testing::writeAll(dir / "junk.dbf", std::vector<unsigned char>(100, 0x42));
    EXPECT_EQ(runInspect("DUMP", dir / "junk.dbf", out, err), 1);
    EXPECT_NE(err.str().find("junk.dbf is damaged (not a valid dBASE table): "), std::string::npos);
    err.str("");
    testing::writeAll(dir / "junk.txt", std::vector<unsigned char>(100, 0x42));
    EXPECT_EQ(runInspect("DUMP", dir / "junk.txt", out, err), 1);
    EXPECT_NE(err.str().find("is not a Paradox or dBASE table"), std::string::npos);
    EXPECT_EQ(runInspect("SHOW", dir / "junk.dbf", out, err), 2);
}

}  // namespace
}  // namespace orn::db
