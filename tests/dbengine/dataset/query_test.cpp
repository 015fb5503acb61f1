// The dataset query over real table files: navigation, live editing, the row window, observers.
#include "dbengine/dataset/query.h"

#include <gtest/gtest.h>

#include "dataset_test_support.h"

namespace orn::db {
namespace {

// Runs on both formats; keyed behaviour is Paradox's.
class QueryTest : public ::testing::TestWithParam<TableFormat> {
  protected:
    void SetUp() override {
        ORN_REQUIRE_FORMAT(file = makeKeyedTable(dir.path(), "items", 50, GetParam()));
    }
    bool keyed() const { return GetParam() == TableFormat::Paradox; }

    void openLive(const std::string& sql) {
        q.setDatabaseDir(dir.path());
        q.setLive(true);
        q.setSql(sql);
        q.open();
    }

    std::string nameOf(std::int64_t id) {
        for (const auto& r : readAll(file)) {
            if (std::get<std::int64_t>(r[0]) == id) {
                return isBlank(r[1]) ? "" : std::get<std::string>(r[1]);
            }
        }
        return "<missing>";
    }

    TempDir dir;
    std::filesystem::path file;
    Query q;
};

TEST_P(QueryTest, NavigatesAndCounts) {
    q.setDatabaseDir(dir.path());
    q.setSql("SELECT Id, Name\nFROM items\nWHERE Id <= 10");
    EXPECT_EQ(q.sqlLines().size(), 3u);
    q.open();
    EXPECT_EQ(q.recordCount(), 10);
    EXPECT_EQ(q.recNo(), 1);
    int seen = 0;
    for (q.first(); !q.eof(); q.next()) {
        ++seen;
        EXPECT_EQ(q.fieldByName("ID").asString(), std::to_string(seen));
    }
    EXPECT_EQ(seen, 10);
    EXPECT_EQ(q.recNo(), 10);
    q.setRecNo(4);
    EXPECT_EQ(q.field(1).asString(), "name4");
    EXPECT_FALSE(q.eof());
    q.setRecNo(99);  // past the end: the last record
    EXPECT_EQ(q.recNo(), 10);
    try {
        q.fieldByName("Nope");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "Field 'Nope' not found");
    }
    EXPECT_TRUE(q.field(0).isNumeric());
    EXPECT_FALSE(q.field(1).isNumeric());
}

TEST_P(QueryTest, EmptyResultAndStatementsWithoutRows) {
    q.setDatabaseDir(dir.path());
    q.setSql("SELECT * FROM items WHERE Id < 0");
    q.open();
    EXPECT_TRUE(q.eof());
    EXPECT_EQ(q.recordCount(), 0);
    EXPECT_EQ(q.recNo(), 0);
    EXPECT_EQ(q.fieldCount(), 3u);
    EXPECT_TRUE(q.field(0).isNull());
    q.setSql("DELETE FROM items WHERE Id > 40");
    q.execute();
    EXPECT_EQ(readAll(file).size(), 40u);
}

TEST_P(QueryTest, ResultsThatAreNotLiveRefuseEdits) {
    q.setDatabaseDir(dir.path());
    q.setSql("SELECT * FROM items");
    q.open();  // live not asked for
    EXPECT_FALSE(q.canModify());
    EXPECT_THROW(q.edit(), EngineError);
    q.close();
    openLive("SELECT Name, count(*) FROM items GROUP BY Name");
    EXPECT_FALSE(q.canModify());
    EXPECT_THROW(q.append(), EngineError);
    q.close();
    openLive("SELECT Id, Name FROM items WHERE Id < 5");
    EXPECT_TRUE(q.canModify());
    EXPECT_THROW(q.field(1).setAsString("x"), EngineError);  // not in edit mode
}

TEST_P(QueryTest, LiveEditsGoToTheRecordShown) {
    openLive("SELECT Name, Id, Amount FROM items WHERE Id >= 10 ORDER BY Name DESC");
    q.setRecNo(3);
    const auto shown = std::get<std::int64_t>(q.fieldByName("Id").value());
    q.edit();
    q.fieldByName("Name").setAsString("edited");
    q.fieldByName("Amount").setAsString("7");
    q.post();
    EXPECT_EQ(nameOf(shown), "edited");
    EXPECT_EQ(q.fieldByName("Name").asString(), "edited");
    EXPECT_EQ(q.recNo(), 3);
}

TEST_P(QueryTest, EditAfterAnotherInsertLandsOnTheIntendedRecord) {
    openLive("SELECT * FROM items ORDER BY Name");
    q.setRecNo(5);
    const auto fifth = std::get<std::int64_t>(q.field(0).value());
    q.setRecNo(2);
    q.insert();  // before record 2: the old fifth record is now the sixth
    q.fieldByName("Id").setAsString("1000");
    q.fieldByName("Name").setAsString("inserted");
    q.post();
    EXPECT_EQ(q.recNo(), 2);
    EXPECT_EQ(q.fieldByName("Name").asString(), "inserted");
    EXPECT_EQ(q.recordCount(), 51);
    q.setRecNo(6);
    EXPECT_EQ(std::get<std::int64_t>(q.field(0).value()), fifth);
    q.edit();
    q.fieldByName("Name").setAsString("target");
    q.post();
    EXPECT_EQ(nameOf(fifth), "target");
    EXPECT_EQ(nameOf(1000), "inserted");
    // the inserted record shows once, where it was inserted, also after walking back
    int inserted = 0, total = 0;
    for (q.first(); !q.eof(); q.next()) {
        ++total;
        inserted += q.fieldByName("Name").asString() == "inserted";
    }
    EXPECT_EQ(total, 51);
    EXPECT_EQ(inserted, 1);
}

TEST_P(QueryTest, KeyViolationOnPostKeepsTheEditAndTheFile) {
    if (!keyed()) {
        GTEST_SKIP() << "no primary key";
    }
    openLive("SELECT * FROM items");
    q.append();
    q.fieldByName("Id").setAsString("3");
    q.fieldByName("Name").setAsString("dup");
    try {
        q.post();
        FAIL() << "no error";
    } catch (const KeyViolation& e) {
        EXPECT_STREQ(e.what(), "Key violation.");
    }
    EXPECT_EQ(q.state(), DatasetState::Insert);
    q.cancel();
    EXPECT_EQ(q.state(), DatasetState::Browse);
    EXPECT_EQ(readAll(file).size(), 50u);
    EXPECT_EQ(nameOf(3), "name3");
    // moving on with a pending edit posts it first
    q.first();
    q.edit();
    q.fieldByName("Name").setAsString("moved");
    q.next();
    EXPECT_EQ(nameOf(1), "moved");
}

TEST_P(QueryTest, AppendToAnEmptyResult) {
    openLive("SELECT * FROM items WHERE Id > 1000");
    EXPECT_TRUE(q.isEmpty());
    q.append();
    q.fieldByName("Id").setAsString("2000");
    q.fieldByName("Amount").setAsString("2.5");
    q.post();
    EXPECT_EQ(q.recordCount(), 1);
    EXPECT_EQ(q.recNo(), 1);
    EXPECT_EQ(nameOf(2000), "");
    EXPECT_EQ(q.fieldByName("Amount").asFloat(), 2.5);
}

// Appends `n` records with ids from `firstId`, each posted on its own.
void appendRecords(Query& q, int firstId, int n) {
    for (int i = 0; i < n; ++i) {
        q.append();
        q.fieldByName("Id").setAsString(std::to_string(firstId + i));
        q.fieldByName("Name").setAsString("added");
        q.post();
    }
}

TEST_P(QueryTest, CountStaysExactThroughAppendsAndInserts) {
    // once with the count known before the first insert, once asked for only afterwards
    for (const bool countFirst : {true, false}) {
        SCOPED_TRACE(countFirst ? "counted first" : "counted afterwards");
        q.close();
        // 40 records of the table; the records this pass adds match it, those of the other don't
        openLive(countFirst ? "SELECT * FROM items WHERE Id > 10 AND Id < 3000"
                            : "SELECT * FROM items WHERE Id > 10 AND (Id < 1000 OR Id >= 3000)");
        if (countFirst) {
            EXPECT_EQ(q.recordCount(), 40);
        }
        const int base = countFirst ? 2000 : 3000;
        appendRecords(q, base, 30);
        EXPECT_EQ(q.recNo(), 70);
        q.setRecNo(5);
        q.insert();
        q.fieldByName("Id").setAsString(std::to_string(base + 500));
        q.post();
        q.insert();  // in front of the one just inserted
        q.fieldByName("Id").setAsString(std::to_string(base + 501));
        EXPECT_EQ(q.recordCount(), 72);  // the record being inserted counts
        q.post();
        q.first();
        q.insert();  // an id the statement's WHERE leaves out still shows where it was put
        const int leftOut = countFirst ? -7 : 1500;
        q.fieldByName("Id").setAsString(std::to_string(leftOut));
        q.post();
        EXPECT_EQ(q.recordCount(), 73);

        std::vector<std::int64_t> ids;
        for (q.first(); !q.eof(); q.next()) {
            ids.push_back(static_cast<std::int64_t>(q.field(0).asFloat()));
        }
        ASSERT_EQ(ids.size(), 73u);
        EXPECT_EQ(ids[0], leftOut);
        EXPECT_EQ(ids[1], 11);
        EXPECT_EQ(ids[5], base + 501);
        EXPECT_EQ(ids[6], base + 500);
        EXPECT_EQ(ids[7], 15);
        for (int i = 0; i < 30; ++i) {
            ASSERT_EQ(ids[43 + i], base + i) << i;
        }
        q.last();
        EXPECT_EQ(q.recNo(), 73);
        EXPECT_EQ(q.recordCount(), 73);
    }
}

TEST_P(QueryTest, DisplayFormatsApplyToNumbersOnly) {
    q.setDatabaseDir(dir.path());
    q.setSql("SELECT Amount, Name, Amount * 1000 AS Big FROM items WHERE Id = 3");
    q.open();
    q.fieldByName("Amount").setDisplayFormat("0.000");
    EXPECT_EQ(q.fieldByName("Amount").displayText(), "4.500");
    EXPECT_TRUE(q.fieldByName("Big").isNumeric());
    q.fieldByName("Big").setDisplayFormat("#,##0");
    EXPECT_EQ(q.fieldByName("Big").displayText(), "4,500");
    EXPECT_EQ(q.fieldByName("Name").displayText(), "name3");
}

INSTANTIATE_TEST_SUITE_P(Formats, QueryTest,
                         ::testing::Values(TableFormat::Paradox, TableFormat::DBase),
                         [](const auto& info) {
                             return info.param == TableFormat::Paradox ? "Paradox" : "DBase";
                         });

struct Recorder : DatasetObserver {
    std::vector<DatasetEvent> events;
    void datasetEvent(Query&, DatasetEvent e) override { events.push_back(e); }
};

TEST_P(QueryTest, ObserversAreQuietWhileControlsAreDisabled) {
    Recorder r;
    q.addObserver(&r);
    q.setDatabaseDir(dir.path());
    q.setSql("SELECT * FROM items");
    q.open();
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0], DatasetEvent::Opened);
    q.disableControls();
    q.disableControls();
    for (int i = 0; i < 10; ++i) {
        q.next();
    }
    q.enableControls();
    EXPECT_EQ(r.events.size(), 1u);  // still disabled once
    q.enableControls();
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[1], DatasetEvent::DataChanged);
    q.next();
    EXPECT_EQ(r.events.back(), DatasetEvent::Scrolled);
    q.removeObserver(&r);
    q.close();
    EXPECT_EQ(r.events.size(), 3u);
}

TEST(QueryWindow, WalkingALargeResultKeepsMemoryBounded) {
    TempDir dir;
    const int rows = static_cast<int>(Query::kWindowRows) * 3 + 17;
    ORN_REQUIRE_FORMAT(makeKeyedTable(dir.path(), "big", rows, TableFormat::DBase));
    Query q(dir.path());
    q.setSql("SELECT * FROM big");
    q.open();
    EXPECT_LE(q.cachedRows(), 1u);  // opening reads the first row only
    EXPECT_EQ(q.recordCount(), rows);
    EXPECT_LE(q.cachedRows(), 1u);  // counting does not walk the window
    std::int64_t n = 0;
    std::size_t most = 0;
    for (q.first(); !q.eof(); q.next()) {
        ++n;
        most = std::max(most, q.cachedRows());
    }
    EXPECT_EQ(n, rows);
    EXPECT_LE(most, Query::kWindowRows);
    EXPECT_EQ(q.recordCount(), rows);
    q.setRecNo(5);  // back before the window: the statement runs again
    EXPECT_EQ(q.field(0).asString(), "5");
    q.setRecNo(rows - 1);
    EXPECT_EQ(q.field(0).asString(), std::to_string(rows - 1));
    // record 5 read, the window moved on without reading, back to 5: the row is found anew
    q.setRecNo(5);
    EXPECT_EQ(q.field(0).asString(), "5");
    q.setRecNo(rows);
    q.setRecNo(5);
    EXPECT_EQ(q.field(1).asString(), "name5");
    q.close();  // a new result at the same position
    q.setSql("SELECT * FROM big WHERE Id > 100");
    q.open();
    q.setRecNo(5);
    EXPECT_EQ(q.field(0).asString(), "105");
}

}  // namespace
}  // namespace orn::db
