// Lookups through Paradox secondary indexes: every comparison on an index's leading field gives
// the rows a scan gives (NULLs, letter case, trailing blanks, -0 and 0 included), a lookup in a
// big table reads a few blocks, and an index that no longer describes the table costs speed,
// never rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "dataset_test_support.h"
#include "dbengine/storage/paradox_secondary.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/posix_file.h"
#include "dbengine/storage/secondary_indexes.h"
#include "dbengine/vtab/iso_text.h"
#include "dbengine/vtab/sql_session.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

std::vector<std::int64_t> ids(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare(sql);
    std::vector<std::int64_t> out;
    while (stmt->step())
        out.push_back(sqlite3_column_int64(stmt->handle(), 0));
    std::sort(out.begin(), out.end());
    return out;
}

// How SQLite means to run the query: the plan's text.
std::string plan(SqlSession& s, const std::string& sql) {
    auto stmt = s.prepare("EXPLAIN QUERY PLAN " + sql);
    std::string out;
    while (stmt->step())
        out += reinterpret_cast<const char*>(sqlite3_column_text(stmt->handle(), 3)) + '\n';
    return out;
}

bool throughIndex(SqlSession& s, const std::string& sql) {
    return plan(s, sql).find("secondary") != std::string::npos;
}

// Every comparison with each of `values` on `column` of `table`, alone and as ranges, through the
// index and by a scan: the same rows. `key` names the column whose values are compared.
void expectSameAsScan(SqlSession& s, const std::string& table, const std::string& key,
                      const std::string& column, const std::vector<std::string>& values) {
    const std::string head = "SELECT " + key + " FROM " + table + " WHERE ";
    auto check = [&](const std::string& where) {
        // Inside a function call the comparison is no constraint SQLite hands to the table, and
        // it still compares with the column's affinity.
        EXPECT_EQ(ids(s, head + where), ids(s, head + "coalesce(" + where + ", 0)")) << where;
    };
    EXPECT_TRUE(throughIndex(s, head + column + " = " + values.front())) << column;
    EXPECT_TRUE(throughIndex(s, head + column + " BETWEEN " + values[0] + " AND " + values[1]));
    for (const auto& v : values) {
        for (const char* op : {" = ", " < ", " <= ", " > ", " >= "})
            check(column + op + v);
    }
    for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
        check(column + " BETWEEN " + values[i] + " AND " + values[i + 1]);
        check(column + " > " + values[i] + " AND " + column + " < " + values[i + 1]);
        check(column + " >= " + values[i] + " AND " + column + " <= " + values[i + 1]);
    }
}

TEST(SecondaryLookup, TheCorpusIndexGivesTheRowsOfAScanOnRandomData) {
    const fs::path corpus = fs::path(ORN_CORPUS_DIR) / "open/paradox/dbdemos";
    if (!fs::exists(corpus / "events.xg0"))
        GTEST_SKIP() << "corpus not found";
    TempDir dir;
    for (const char* ext : {".db", ".px", ".mb", ".xg0", ".yg0"}) {
        const fs::path to = dir.path() / (std::string("events") + ext);
        fs::copy_file(corpus / (std::string("events") + ext), to);
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
    }
    std::mt19937 rng(16);
    {
        auto t = Table::open(dir.path() / "events.db", OpenMode::Shared);
        std::vector<RecordId> old;
        for (auto c = t->scan(); c->next();)
            old.push_back(c->id());
        t->begin();
        for (RecordId id : old)
            t->remove(id);
        for (int i = 0; i < 700; ++i) {
            Record r(t->fields().size());
            r[0] = std::int64_t(i + 1);
            // A few days, so that equal dates come in runs across index blocks; some blank.
            if (rng() % 10)
                r[3] = Date{std::int32_t(738000 + rng() % 40)};
            if (rng() % 10)
                r[4] = TimeOfDay{std::int32_t(rng() % 86400) * 1000};
            t->insert(r);
        }
        t->commit();
    }
    SqlSession s(dir.path());
    std::vector<std::string> days;
    for (int d : {0, 1, 17, 39, 40, -5, 20})
        days.push_back("'" + isoText(Date{738000 + d}) + "'");
    // Values that are no exact date of the field: looked up by a scan, with the same answer.
    days.push_back("'2021-3-1'");
    days.push_back("7");
    expectSameAsScan(s, "\"events.db\"", "EventNo", "Event_Date", days);
    EXPECT_EQ(ids(s, "SELECT EventNo FROM \"events.db\" WHERE Event_Date IS NULL").size(),
              ids(s, "SELECT EventNo FROM \"events.db\" WHERE +Event_Date IS NULL").size());
}

// A keyed table of generated rows with composite indexes made by CREATE INDEX, led by a Number
// field (negative, zero, -0, blank) and by a Long field.
class SecondaryLookupCreated : public ::testing::Test {
  protected:
    void SetUp() override {
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Amount", FieldType::Number),
                         makeField("Grp", FieldType::Long), makeField("At", FieldType::Time),
                         makeField("Name", FieldType::Alpha, 12)};
        layout.keyFields = 1;
        file = dir.path() / "t.db";
        auto t = Table::create(file, TableFormat::Paradox, layout);
        std::mt19937 rng(7);
        t->begin();
        for (int i = 0; i < rows; ++i) {
            Record r(5);
            r[0] = std::int64_t(i * 3 + 1);
            const int kind = int(rng() % 12);
            if (kind == 0) {
            } else if (kind == 1) {
                r[1] = -0.0;
            } else if (kind == 2) {
                r[1] = 0.0;
            } else {
                r[1] = double(int(rng() % 200) - 100) / 4;
            }
            if (rng() % 8)
                r[2] = std::int64_t(int(rng() % 50) - 10);
            r[3] = TimeOfDay{std::int32_t(rng() % 1000) * 1000};
            r[4] = std::string("n") + std::to_string(i % 13);
            t->insert(r);
        }
        t->commit();
        t.reset();
        // ORN writes 0 for -0; another program may store the bytes of -0: the first record
        // (Id 1) gets them.
        {
            std::fstream db(file, std::ios::in | std::ios::out | std::ios::binary);
            char head[4];
            db.read(head, 4);
            const std::size_t headerSize = std::uint8_t(head[2]) | std::uint8_t(head[3]) << 8;
            db.seekp(std::streamoff(headerSize + 6 + 4));
            db.write("\x7f\xff\xff\xff\xff\xff\xff\xff", 8);
        }
        createSecondaryIndex(file, "ByAmount", {"Amount", "At"}, false, {false, false});
        createSecondaryIndex(file, "ByGrp", {"Grp", "Amount"}, false, {false, false});
    }
    TempDir dir;
    fs::path file;
    int rows = 900;
};

TEST_F(SecondaryLookupCreated, NumbersAndIntegersGiveTheRowsOfAScan) {
    SqlSession s(dir.path());
    const auto zero = ids(s, "SELECT Id FROM t WHERE Amount = 0");
    EXPECT_EQ(std::count(zero.begin(), zero.end(), 1), 1);
    expectSameAsScan(s, "t", "Id", "Amount",
                     {"0", "-0.0", "-25", "24.75", "3.25", "3.3", "-100", "100", "'5'", "0"});
    expectSameAsScan(s, "t", "Id", "Grp",
                     {"3", "17", "-10", "39", "-11", "40", "0", "2.5", "'12'", "12.0"});
    // With other conditions beside: the index answers its field, SQLite the rest.
    EXPECT_EQ(ids(s, "SELECT Id FROM t WHERE Grp = 7 AND Amount > 0 AND Name <> 'n3'"),
              ids(s, "SELECT Id FROM t WHERE +Grp = 7 AND +Amount > 0 AND Name <> 'n3'"));
    // A key lookup stays the cheaper plan.
    EXPECT_FALSE(throughIndex(s, "SELECT Id FROM t WHERE Grp = 7 AND Id = 22"));
}

TEST_F(SecondaryLookupCreated, TheAnswerFollowsWritesOfThisAndOtherConnections) {
    SqlSession s(dir.path());
    const std::string q = "SELECT Id FROM t WHERE Grp = 1000";
    ASSERT_TRUE(throughIndex(s, q));
    EXPECT_TRUE(ids(s, q).empty());
    {
        // Another writer, between statements: its commit keeps the indexes up to date.
        auto other = Table::open(file, OpenMode::Shared);
        other->insert({std::int64_t{2}, 1.0, std::int64_t{1000}, {}, std::string("late")});
    }
    EXPECT_EQ(ids(s, q), (std::vector<std::int64_t>{2}));
    // Inside a transaction the indexes lag behind its changes until the commit: they are not
    // used for what it changed.
    s.execute("BEGIN");
    s.execute("UPDATE t SET Grp = 1000 WHERE Id = 4");
    EXPECT_EQ(ids(s, q), (std::vector<std::int64_t>{2, 4}));
    s.execute("DELETE FROM t WHERE Id = 2");
    EXPECT_EQ(ids(s, q), (std::vector<std::int64_t>{4}));
    s.execute("COMMIT");
    EXPECT_EQ(ids(s, q), (std::vector<std::int64_t>{4}));
    EXPECT_EQ(ids(s, "SELECT Id FROM t WHERE Grp BETWEEN 999 AND 1001"),
              (std::vector<std::int64_t>{4}));
}

TEST_F(SecondaryLookupCreated, ACursorReadInPartsWhileAnotherWriterCommitsMissesNothing) {
    auto t = Table::open(file, OpenMode::Shared);
    const std::size_t grp = 2;
    auto inRange = [&](const Value& v) {
        const auto* g = std::get_if<std::int64_t>(&v);
        return g && *g >= 5 && *g <= 20;
    };
    auto c = t->indexRange(grp, {std::int64_t{5}}, true, {std::int64_t{20}}, true);
    ASSERT_NE(c, nullptr);
    std::vector<std::int64_t> got;
    for (int i = 0; i < 5 && c->next(); ++i)
        got.push_back(std::get<std::int64_t>(c->value(0)));
    ASSERT_EQ(got.size(), 5u);
    t->endRead();
    {
        // Another writer adds a record whose entry comes before those given so far.
        auto other = Table::open(file, OpenMode::Shared);
        other->insert({std::int64_t{5000}, -1000.0, std::int64_t{5}, {}, std::string("new")});
    }
    while (c->next()) {
        if (inRange(c->value(grp)))
            got.push_back(std::get<std::int64_t>(c->value(0)));
    }
    std::vector<std::int64_t> want;
    for (auto s = t->scan(); s->next();)
        if (inRange(s->value(grp)))
            want.push_back(std::get<std::int64_t>(s->value(0)));
    std::sort(got.begin(), got.end());
    // The first five as they were, then the records as they are now: each once.
    EXPECT_TRUE(std::adjacent_find(got.begin(), got.end()) == got.end());
    EXPECT_EQ(std::count(got.begin(), got.end(), 5000), 1);
    for (std::int64_t id : want)
        EXPECT_EQ(std::count(got.begin(), got.end(), id), 1) << id;
    EXPECT_EQ(got.size(), want.size());
}

// Overwrites the block hint of every entry of a data file with `block`.
void setHints(const fs::path& x, std::uint16_t block) {
    std::fstream f(x, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(f)), {});
    ASSERT_GT(b.size(), 0x800u) << x;
    const std::size_t recordSize = std::uint8_t(b[0]) | std::uint8_t(b[1]) << 8;
    const std::size_t headerSize = std::uint8_t(b[2]) | std::uint8_t(b[3]) << 8;
    const std::size_t blockSize = std::size_t(std::uint8_t(b[5])) * 1024;
    for (std::size_t at = headerSize; at + blockSize <= b.size(); at += blockSize) {
        const int add = std::int16_t(std::uint8_t(b[at + 4]) | std::uint8_t(b[at + 5]) << 8);
        const int count = add < 0 ? 0 : add / int(recordSize) + 1;
        for (int i = 0; i < count; ++i) {
            const std::size_t hint = at + 6 + std::size_t(i + 1) * recordSize - 2;
            b[hint] = char(0x80 | block >> 8);
            b[hint + 1] = char(block & 0xFF);
        }
    }
    f.seekp(0);
    f.write(b.data(), std::streamsize(b.size()));
}

TEST_F(SecondaryLookupCreated, WrongHintsAndStaleEntriesCostNoRows) {
    // Every hint names the first block (other programs leave hints stale after records move).
    for (const char* x : {"t.xg0", "t.xg1"})
        setHints(dir.path() / x, 1);
    SqlSession s(dir.path());
    expectSameAsScan(s, "t", "Id", "Grp", {"3", "17", "-10", "39"});

    // An index another program left behind when it changed records (here: the files of before
    // a write put back). Record `gone` left value `grp` for 2000, record `come` took it; the
    // entry of `gone` no longer matches its record, which tells that the index is stale, and
    // the rest of the answer comes from the table: `come` with it.
    const auto x = dir.path() / "t.xg1", y = dir.path() / "t.yg1";
    fs::copy_file(x, dir.path() / "old.x");
    fs::copy_file(y, dir.path() / "old.y");
    std::int64_t gone = 0, come = 0, grp = 0;
    {
        auto t = Table::open(file, OpenMode::Shared);
        auto c = t->range({std::int64_t{100}}, true, {}, true);
        ASSERT_TRUE(c->next());
        gone = std::get<std::int64_t>(c->value(0));
        grp = std::get<std::int64_t>(c->value(2));
        Record r = t->read(c->id());
        r[2] = std::int64_t{2000};
        t->begin();
        t->update(c->id(), r);
        while (c->next() && c->value(2) == Value{grp}) {
        }
        come = std::get<std::int64_t>(c->value(0));
        r = t->read(c->id());
        r[2] = grp;
        t->update(c->id(), r);
        t->commit();
    }
    fs::copy_file(dir.path() / "old.x", x, fs::copy_options::overwrite_existing);
    fs::copy_file(dir.path() / "old.y", y, fs::copy_options::overwrite_existing);
    const std::string q = "SELECT Id FROM t WHERE Grp = " + std::to_string(grp);
    ASSERT_TRUE(throughIndex(s, q));
    const auto found = ids(s, q);
    EXPECT_EQ(found, ids(s, "SELECT Id FROM t WHERE +Grp = " + std::to_string(grp)));
    EXPECT_EQ(std::count(found.begin(), found.end(), gone), 0);
    EXPECT_EQ(std::count(found.begin(), found.end(), come), 1);
}

TEST_F(SecondaryLookupCreated, ADamagedIndexCostsNoRows) {
    // The data file's first block links to itself.
    {
        std::fstream x(dir.path() / "t.xg1", std::ios::in | std::ios::out | std::ios::binary);
        char head[4];
        x.read(head, 4);
        const std::size_t headerSize = std::uint8_t(head[2]) | std::uint8_t(head[3]) << 8;
        x.seekp(std::streamoff(headerSize));
        x.write("\x01\x00", 2);
    }
    SqlSession s(dir.path());
    const std::string q = "SELECT Id FROM t WHERE Grp BETWEEN -10 AND 39";
    ASSERT_TRUE(throughIndex(s, q));
    const auto found = ids(s, q);
    EXPECT_EQ(found, ids(s, "SELECT Id FROM t WHERE coalesce(Grp BETWEEN -10 AND 39, 0)"));
    EXPECT_GT(found.size(), 700u);
}

// A one-field index over an Alpha field of a table that sorts text in byte order (NAME.Xnn, made
// by CREATE INDEX and kept up to date by writes): case, trailing blanks and letters beyond ASCII
// as SQL compares them.
TEST(SecondaryLookupText, AlphaComparisonsGiveTheRowsOfAScan) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Code", FieldType::Alpha, 6), makeField("Name", FieldType::Alpha, 8),
                     makeField("Id", FieldType::Long)};
    layout.keyFields = 1;
    const fs::path file = dir.path() / "t.db";
    const std::vector<std::string> names = {"abc",    "abc ", "ABC",      "Abc", "ab", "abcd",
                                            "abc  x", "",     "\xc3\xa9", "zz",  "a",  "b c"};
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        std::mt19937 rng(3);
        t->begin();
        for (int i = 0; i < 400; ++i) {
            Record r(3);
            r[0] = "c" + std::to_string(i);
            if (rng() % 9)
                r[1] = names[rng() % names.size()];
            r[2] = std::int64_t{i};
            t->insert(r);
        }
        t->commit();
    }
    createSecondaryIndex(file, "Name", {"Name"}, false, {false});
    ASSERT_TRUE(fs::exists(dir.path() / "t.x02"));
    SqlSession s(dir.path());
    const std::vector<std::string> values = {"'abc'", "'abd'",    "'ABC'",      "'abc '",
                                             "'ab'",  "'abc  x'", "'\xc3\xa9'", "'zz'",
                                             "''",    "'a'",      "'b c'",      "'b'"};
    expectSameAsScan(s, "t", "Id", "Name", values);
    // Writes between the statements: the index follows them.
    std::mt19937 rng(5);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 12; ++i) {
            const std::string name = "'" + names[rng() % names.size()] + "'";
            const std::string id = std::to_string(rng() % 420);
            switch (rng() % 3) {
                case 0:
                    s.execute("UPDATE t SET Name = " + name + " WHERE Id = " + id);
                    break;
                case 1:
                    s.execute("DELETE FROM t WHERE Id = " + id);
                    break;
                default:
                    s.execute("INSERT INTO t (Code, Name, Id) VALUES ('d" +
                              std::to_string(round * 20 + i) + "', " + name + ", " +
                              std::to_string(1000 + round * 20 + i) + ")");
            }
        }
        expectSameAsScan(s, "t", "Id", "Name", values);
    }
    // NOCASE is not the index's order: no lookup through it.
    EXPECT_FALSE(throughIndex(s, "SELECT Id FROM t WHERE Name = 'abc' COLLATE NOCASE"));
    EXPECT_EQ(ids(s, "SELECT Id FROM t WHERE Name = 'abc' COLLATE NOCASE").size(),
              ids(s, "SELECT Id FROM t WHERE lower(Name) = 'abc'").size());
}

TEST(SecondaryLookupBig, ALookupInABigTableReadsAFewBlocks) {
    TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Grp", FieldType::Long),
                     makeField("Amount", FieldType::Number),
                     makeField("Name", FieldType::Alpha, 40)};
    layout.keyFields = 1;
    const fs::path file = dir.path() / "big.db";
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 60000; ++i) {
            t->insert({std::int64_t{i}, std::int64_t{(i * 7919) % 60000}, double(i % 1000),
                       "n" + std::to_string(i)});
        }
        t->commit();
    }
    createSecondaryIndex(file, "ByGrp", {"Grp", "Amount"}, false, {false, false});
    const std::uint64_t block = 4096;
    ASSERT_GT(fs::file_size(file), 800 * block);
    SqlSession s(dir.path());
    auto count = [&](const std::string& sql) {
        auto stmt = s.prepare(sql);
        return stmt->step() ? sqlite3_column_int64(stmt->handle(), 0) : -1;
    };
    ASSERT_EQ(count("SELECT count(*) FROM big"), 60000);
    const std::string lookup = "SELECT Id FROM big WHERE Grp = 39595";
    ASSERT_TRUE(throughIndex(s, lookup));
    std::uint64_t before = PosixFile::readCounters().bytes;
    const auto found = ids(s, lookup);
    const std::uint64_t read = PosixFile::readCounters().bytes - before;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0] * 7919 % 60000, 39595);
    EXPECT_LE(read, 12 * block);

    // A range: a block of the table for each record at most (they lie all over it), against
    // the whole table a scan reads.
    before = PosixFile::readCounters().bytes;
    EXPECT_EQ(count("SELECT count(*) FROM big WHERE Grp >= 30000 AND Grp < 30100"), 100);
    EXPECT_LE(PosixFile::readCounters().bytes - before, 130 * block);
}

}  // namespace
}  // namespace orn::db
