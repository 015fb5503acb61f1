#include "dbengine/storage/inspect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
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

// What DUMP and INFO say on standard error after the table: one line naming the damage.
void expectOneDamageWarning(const std::string& warning, const std::filesystem::path& file,
                            const std::string& reason) {
    EXPECT_EQ(warning.rfind("Warning: " + file.string() + " is damaged (" + reason, 0), 0u)
        << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
}

TEST(Inspect, ADamagedMemoReadsAsNullWithOneWarningAndWritesAreRefused) {
    testing::TempDir dir;
    auto file = dir / "notes.dbf";
    TableCreate layout;
    layout.fields = {makeField("ID", FieldType::Number, 4), makeField("NOTE", FieldType::Memo)};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->insert({std::int64_t{1}, std::string("first")});
        t->insert({std::int64_t{2}, Value{}});
    }
    const auto dbt = dir / "notes.dbt";
    const auto memo = testing::readAll(dbt);
    // A memo pointer past the end of the memo file, then no memo file at all.
    for (const bool missing : {false, true}) {
        if (missing) {
            std::filesystem::remove(dbt);
        } else {
            testing::writeAll(dbt, std::vector<unsigned char>(memo.begin(), memo.begin() + 512));
        }
        std::ostringstream out, err;
        EXPECT_EQ(runInspect("DUMP", file, out, err), 0);
        EXPECT_EQ(out.str(), "ID\tNOTE\n1\t\n2\t\n");
        const std::string reason =
            missing ? "its memo file (.dbt) is missing" : "a memo of field NOTE cannot be read";
        expectOneDamageWarning(err.str(), file, reason);
        auto t = Table::open(file, OpenMode::Shared);
        auto c = t->scan();
        ASSERT_TRUE(c->next());
        EXPECT_TRUE(isBlank(c->value(1)));
        try {
            t->insert({std::int64_t{3}, Value{}});
            ADD_FAILURE() << "a damaged table took a row";
        } catch (const EngineError& e) {
            EXPECT_EQ(std::string(e.what()), file.string() + " is damaged (" + t->damage() +
                                                 "); it can be read but not changed until it "
                                                 "is repaired.");
        }
        EXPECT_EQ(t->recordCount(), 2u);
    }
}

// A dBASE header whose record count disagrees with the file: the count patched lower (a write
// would go over the records past it), the file cut short. Reading warns once and gives the
// counted records the file holds; writes are refused and change nothing; PACK keeps every whole
// record and the table takes writes again.
TEST(Inspect, ADBaseHeaderMiscountingItsRecordsRefusesWritesUntilPackRepairsIt) {
    testing::TempDir dir;
    auto file = dir / "rows.dbf";
    TableCreate layout;
    layout.fields = {makeField("ID", FieldType::Number, 6), makeField("NOTE", FieldType::Memo)};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        t->begin();
        for (int i = 1; i <= 50; ++i)
            t->insert({std::int64_t{i}, std::string("memo ") + std::to_string(i)});
        t->commit();
    }
    const auto sound = testing::readAll(file);
    const std::size_t headerLength = sound[8] | (sound[9] << 8);
    const std::size_t recordLength = sound[10] | (sound[11] << 8);
    struct Case {
        const char* what;
        std::uint32_t count;  // the header's
        std::size_t records;  // whole records left in the file
        std::string reason;
    };
    const Case cases[] = {
        {"count patched to 1", 1, 50,
         "the file holds 50 records, but its header counts only 1; orn PACK repairs it"},
        {"file cut in record 31", 50, 30,
         "its header counts 50 records, but the file holds only 30; orn PACK repairs it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = sound;
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = static_cast<unsigned char>(c.count >> (8 * i));
        bytes.resize(headerLength + c.records * recordLength + (c.records < 50 ? 3 : 1));
        testing::writeAll(file, bytes);
        std::ostringstream out, err;
        EXPECT_EQ(runInspect("DUMP", file, out, err), 0);
        const auto shown = std::min<std::size_t>(c.count, c.records);
        const std::string dump = out.str();
        EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), long(shown) + 1);
        expectOneDamageWarning(err.str(), file, c.reason);
        {
            auto t = Table::open(file, OpenMode::Shared);
            EXPECT_EQ(t->recordCount(), shown);
            for (auto write : {+[](Table& t) {
                                   t.insert({std::int64_t{99}, Value{}});
                               },
                               +[](Table& t) {
                                   t.update(1, {std::int64_t{98}, Value{}});
                               },
                               +[](Table& t) { t.remove(1); }}) {
                try {
                    write(*t);
                    ADD_FAILURE() << "a table that miscounts its records was written";
                } catch (const EngineError& e) {
                    EXPECT_EQ(std::string(e.what()), damagedRefusal(file, t->damage()));
                }
            }
        }
        EXPECT_EQ(testing::readAll(file), bytes);
        packTable(file);
        auto t = Table::open(file, OpenMode::Shared);
        EXPECT_EQ(t->damage(), "");
        EXPECT_EQ(t->recordCount(), c.records);
        t->insert({std::int64_t{99}, std::string("after")});
        std::int64_t sum = 0;
        for (auto cur = t->scan(); cur->next();) {
            const std::int64_t id = std::get<std::int64_t>(cur->value(0));
            sum += id;
            EXPECT_EQ(valueText(cur->value(1)), id == 99 ? "after" : "memo " + std::to_string(id));
        }
        EXPECT_EQ(sum, std::int64_t(c.records * (c.records + 1) / 2) + 99);
    }
}

// Bytes after the end-of-file mark are left over, not records: such a file is sound, and a new
// record takes their place.
TEST(Inspect, BytesAfterTheEndOfFileMarkOfADBaseTableAreNotRecords) {
    testing::TempDir dir;
    auto file = dir / "rows.dbf";
    TableCreate layout;
    layout.fields = {makeField("ID", FieldType::Number, 6)};
    {
        auto t = Table::create(file, TableFormat::DBase, layout);
        for (int i = 1; i <= 3; ++i)
            t->insert({std::int64_t{i}});
    }
    auto bytes = testing::readAll(file);
    bytes.insert(bytes.end(), {' ', ' ', ' ', ' ', ' ', '7', ' ', ' ', ' ', ' ', ' ', '8'});
    testing::writeAll(file, bytes);
    std::ostringstream out, err;
    EXPECT_EQ(runInspect("DUMP", file, out, err), 0);
    EXPECT_EQ(out.str(), "ID\n1\n2\n3\n");
    EXPECT_EQ(err.str(), "");
    auto t = Table::open(file, OpenMode::Shared);
    t->insert({std::int64_t{4}});
    EXPECT_EQ(t->recordCount(), 4u);
    EXPECT_EQ(valueText(t->read(4)[0]), "4");
}

TEST(Inspect, AParadoxTableWithADamagedBlobFileGivesWhatItCanAndRefusesChanges) {
    testing::TempDir dir;
    auto file = dir / "notes.db";
    TableCreate layout;
    layout.fields = {makeField("ID", FieldType::Long), makeField("NOTE", FieldType::Memo, 20),
                     makeField("NAME", FieldType::Alpha, 8)};
    const std::string longNote(300, 'x');
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->insert({std::int64_t{1}, longNote, std::string("one")});
        t->insert({std::int64_t{2}, std::string("short"), std::string("two")});
    }
    const auto mb = dir / "notes.mb";
    const auto blobs = testing::readAll(mb);
    ASSERT_GT(blobs.size(), 4096u);
    // The blob file cut after its header block, then gone; a short memo lives in the record.
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "missing" : "cut");
        if (missing) {
            std::filesystem::remove(mb);
        } else {
            testing::writeAll(mb, std::vector<unsigned char>(blobs.begin(), blobs.begin() + 4096));
        }
        for (const char* mode : {"DUMP", "INFO"}) {
            std::ostringstream out, err;
            EXPECT_EQ(runInspect(mode, file, out, err), 0);
            if (std::string(mode) == "DUMP") {
                EXPECT_EQ(out.str(), "ID\tNOTE\tNAME\n1\t\tone\n2\tshort\ttwo\n");
            }
            const std::string reason =
                missing ? "its blob file (.mb) is missing"
                        : "a blob of field NOTE cannot be read: a blob pointer lies outside";
            // INFO reads no blob: it can only know of a file that is not there.
            if (std::string(mode) == "INFO" && !missing) {
                EXPECT_EQ(err.str(), "");
                continue;
            }
            expectOneDamageWarning(err.str(), file, reason);
        }
        {
            auto t = Table::open(file, OpenMode::Shared);
            auto c = t->scan();
            ASSERT_TRUE(c->next());
            EXPECT_TRUE(isBlank(c->value(1)));
            EXPECT_EQ(c->value(2), Value(std::string("one")));
            try {
                t->update(c->id(), {std::int64_t{1}, Value{}, std::string("changed")});
                ADD_FAILURE() << "a damaged table took a change";
            } catch (const EngineError& e) {
                EXPECT_EQ(std::string(e.what()), damagedRefusal(file, t->damage()));
            }
        }
        // A rebuild would carry the unreadable memo over as NULL: it is refused too.
        EXPECT_THROW(addPrimaryIndex(file, {"ID"}), EngineError);
        EXPECT_EQ(std::filesystem::exists(mb), !missing) << "no new blob file is made";
        std::ostringstream out, err;
        EXPECT_EQ(runInspect("DUMP", file, out, err), 0);
        EXPECT_EQ(out.str(), "ID\tNOTE\tNAME\n1\t\tone\n2\tshort\ttwo\n");
    }
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
