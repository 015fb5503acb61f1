// Secondary indexes of Paradox tables through SQL: what a statement did to them reaches the
// user as notices, and ALTER TABLE and SAVE keep the ones they leave valid.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_header.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

class SecondaryIndexSql : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path corpus = fs::path(ORN_CORPUS_DIR) / "open/paradox/dbdemos";
        if (!fs::exists(corpus / "events.xg0")) {
            GTEST_SKIP() << "corpus not found";
        }
        for (const char* ext : {".db", ".px", ".mb", ".xg0", ".yg0"}) {
            const fs::path to = dir.path() / (std::string("events") + ext);
            fs::copy_file(corpus / (std::string("events") + ext), to);
            fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
        }
    }
    // Runs the statement and gives what it told.
    std::vector<std::string> exec(const std::string& sql) {
        Query q(dir.path());
        q.setSql(sql);
        q.execute();
        return q.takeNotices();
    }
    fs::path path(const std::string& name) const { return dir.path() / name; }
    // The index's record count and the table fields it says it holds.
    std::pair<std::uint32_t, std::vector<std::uint16_t>> indexState() const {
        std::ifstream in(path("events.xg0"), std::ios::binary);
        std::vector<std::uint8_t> b(std::istreambuf_iterator<char>(in), {});
        std::uint16_t hi = 0;
        auto ids = paradox::parseFieldIds(b.data(), b.size(), hi);
        ids.resize(std::min<std::size_t>(ids.size(), 2));
        return {std::uint32_t(b[6] | b[7] << 8 | b[8] << 16 | b[9] << 24), ids};
    }
    TempDir dir;
};

TEST_F(SecondaryIndexSql, AlterTableKeepsAnIndexWhoseFieldsMoveAndDropsOneWhoseFieldGoes) {
    using Ids = std::vector<std::uint16_t>;
    EXPECT_EQ(indexState().second, (Ids{3, 4}));
    // Event_Name goes: Event_Date and Event_Time move up one place, the index follows them.
    EXPECT_TRUE(exec("ALTER TABLE \"events.db\" DROP Event_Name").empty());
    EXPECT_EQ(indexState(), std::make_pair(std::uint32_t{23}, Ids{2, 3}));
    // A write afterwards finds it matching the table and keeps it.
    EXPECT_TRUE(exec("DELETE FROM \"events.db\" WHERE EventNo = 1").empty());
    EXPECT_EQ(indexState(), std::make_pair(std::uint32_t{22}, Ids{2, 3}));

    const auto notices = exec("ALTER TABLE \"events.db\" DROP Event_Time");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Removed the secondary index events.xg0/events.yg0 of " +
                              path("events.db").string() + ": its field Event_Time is gone.");
    EXPECT_FALSE(fs::exists(path("events.xg0")));
    EXPECT_FALSE(fs::exists(path("events.yg0")));
    EXPECT_EQ(readAll(path("events.db")).size(), 22u);
}

TEST_F(SecondaryIndexSql, AWriteThatRemovesAnIndexTellsItOnce) {
    // Marked descending: ORN cannot keep it in order.
    {
        std::fstream x(path("events.xg0"), std::ios::in | std::ios::out | std::ios::binary);
        x.seekp(0x55);
        x.put('\x11');
    }
    Query q(dir.path());
    q.setSql("UPDATE \"events.db\" SET Ticket_price = 2 WHERE EventNo < 5");
    q.open();
    q.setSql("UPDATE \"events.db\" SET Ticket_price = 3 WHERE EventNo < 5");
    q.open();
    const auto notices = q.takeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Removed the secondary index events.xg0/events.yg0 of " +
                              path("events.db").string() + ": it is descending.");
    EXPECT_TRUE(q.takeNotices().empty());
}

TEST_F(SecondaryIndexSql, SavingAnUnkeyedAnswerOverTheTableRemovesItsIndexWithANotice) {
    Query answer(dir.path());
    answer.setSql("SELECT * FROM \"events.db\" WHERE EventNo > 3");
    answer.open();
    const auto notices = saveAnswerAsTable(answer, "events.db");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("the table's key changed"), std::string::npos) << notices[0];
    EXPECT_FALSE(fs::exists(path("events.xg0")));
    EXPECT_EQ(readAll(path("events.db")).size(), 20u);
}

std::vector<std::uint8_t> bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The names a data file header gives its fields, then its sort order name and index name.
std::vector<std::string> headerTexts(const std::vector<std::uint8_t>& b) {
    const std::size_t n = b[0x21];
    std::size_t at = 0x78 + 2 * n + 4 + 4 * n + 79;
    std::vector<std::string> out;
    auto text = [&] {
        std::string t(reinterpret_cast<const char*>(b.data() + at));
        at += t.size() + 1;
        return t;
    };
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(text());
    at += 2 * n;  // field places
    out.push_back(text());
    out.push_back(text());
    return out;
}

TEST_F(SecondaryIndexSql, CreateIndexWritesTheIndexAnotherProgramWroteForTheSameRecords) {
    const fs::path corpus = fs::path(ORN_CORPUS_DIR) / "open/paradox/dbdemos";
    fs::remove(path("events.xg0"));
    fs::remove(path("events.yg0"));
    // The 16 events the corpus index was written for.
    exec("DELETE FROM \"events.db\" WHERE EventNo > 16");
    EXPECT_TRUE(exec("CREATE INDEX Date_Time ON \"events.db\" (Event_Date, Event_Time)").empty());
    const auto ours = bytesOf(path("events.xg0")), theirs = bytesOf(corpus / "events.xg0");
    ASSERT_EQ(ours.size(), theirs.size());
    // Records, type, block size, field count and key, field types, order flags, versions, code
    // page: the same bytes.
    for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0x00, 0x12},
                            {0x21, 0x25},
                            {0x55, 0x5C},
                            {0x64, 0x66},
                            {0x6A, 0x6E},
                            {0x78, 0x80}}) {
        EXPECT_TRUE(std::equal(ours.begin() + from, ours.begin() + to, theirs.begin() + from))
            << std::hex << from;
    }
    // The field names follow the table as it is now (the corpus index was made when the key
    // field was called Event#); the field places, sort order and index name are the same.
    auto texts = headerTexts(theirs);
    texts[2] = "EventNo";
    EXPECT_EQ(headerTexts(ours), texts);
    std::uint16_t hi = 0;
    EXPECT_EQ(paradox::parseFieldIds(ours.data(), ours.size(), hi),
              paradox::parseFieldIds(theirs.data(), theirs.size(), hi));
    EXPECT_EQ(paradox::le16(ours.data() + 0x51), paradox::le16(theirs.data() + 0x51) + 1);
    // The entries, but for the block hints of events 11 and 12, which have moved since.
    auto entries = [](std::vector<std::uint8_t> b) {
        for (std::size_t at = 0x800 + 6 + 12; at < 0x800 + 6 + 16 * 14; at += 14)
            b[at] = b[at + 1] = 0;
        return std::vector<std::uint8_t>(b.begin() + 0x800, b.end());
    };
    EXPECT_EQ(entries(ours), entries(theirs));
    // The tree: the same blocks, and the same header where its layout decides it.
    const auto tree = bytesOf(path("events.yg0")), theirTree = bytesOf(corpus / "events.yg0");
    ASSERT_EQ(tree.size(), theirTree.size());
    EXPECT_TRUE(std::equal(tree.begin() + 0x800, tree.end(), theirTree.begin() + 0x800));
    for (auto [from, to] :
         {std::pair<std::size_t, std::size_t>{0x00, 0x12}, {0x1E, 0x25}, {0x58, 0x5E}}) {
        EXPECT_TRUE(std::equal(tree.begin() + from, tree.begin() + to, theirTree.begin() + from))
            << std::hex << from;
    }
    // Writes keep it up to date from now on.
    EXPECT_TRUE(exec("DELETE FROM \"events.db\" WHERE EventNo = 3").empty());
    EXPECT_EQ(indexState().first, 15u);
}

TEST_F(SecondaryIndexSql, CreateIndexRefusesWhatItCannotKeepExactAndTouchesNoFile) {
    exec("CREATE TABLE \"items.dbf\" (Id NUMERIC(6,0), Name CHAR(10), Amount NUMERIC(8,2))");
    auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    exec("CREATE TABLE \"coded.db\" (Code CHAR(4), Day DATE, Hour TIME, PRIMARY KEY (Code))");
    const auto before = listing();
    const struct {
        const char* sql;
        const char* says;
    } refused[] = {
        {"CREATE INDEX ByName ON \"events.db\" (Event_Date, Event_Name)", "Event_Name is Alpha"},
        {"CREATE INDEX Title ON \"events.db\" (Event_Name)", "named after its field"},
        {"CREATE INDEX ByNote ON \"events.db\" (Event_Date, Event_Description)", "memo or blob"},
        {"CREATE INDEX Late ON \"events.db\" (Event_Date DESC, Event_Time)", "(DESC)"},
        {"CREATE DESC INDEX Event_Date ON \"events.db\" (Event_Date)", "(DESC)"},
        {"CREATE UNIQUE INDEX Once ON \"events.db\" (Event_Date, Event_Time)", "UNIQUE"},
        {"CREATE CASEINSENSITIVE INDEX Event_Name ON \"events.db\" (Event_Name)",
         "CASEINSENSITIVE"},
        {"CREATE INDEX EventNo ON \"events.db\" (EventNo)", "first field of the table's key"},
        {"CREATE INDEX Twice ON \"events.db\" (Event_Date, Event_Date)", "named twice"},
        {"CREATE INDEX date_time ON \"events.db\" (Event_Time, Event_Date)", "of that name"},
        {"CREATE INDEX ByWhat ON \"events.db\" (Event_Date, Nothing)", "'Nothing' not found"},
        {"CREATE INDEX ByName ON \"items.dbf\" (Name, Amount)", "dBASE production indexes"},
        {"DROP INDEX \"items.dbf\".ByName", "dBASE production indexes"},
        {"CREATE INDEX ByDay ON \"coded.db\" (Day, Hour)", "key holds the Alpha field Code"},
        {"DROP INDEX \"events.db\".Nothing", "has no index of that name"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.sql);
        std::string message = "(no error)";
        try {
            exec(r.sql);
        } catch (const EngineError& e) {
            message = e.what();
        }
        EXPECT_NE(message.find(r.says), std::string::npos) << message;
        EXPECT_EQ(listing(), before);
    }
}

// The name decides the kind of a one-field index: named after its field, NAME.Xnn (nn the
// field's place), else the first free NAME.XGn; both answer to DROP INDEX by that name.
TEST_F(SecondaryIndexSql, CreateIndexOverOneFieldMakesTheKindItsNameSays) {
    // The corpus index holds fewer entries than the table records; without it no write here
    // has anything to tell.
    exec("DROP INDEX \"events.db\".Date_Time");
    EXPECT_TRUE(exec("CREATE INDEX event_date ON \"events.db\" (Event_Date)").empty());
    EXPECT_TRUE(exec("CREATE INDEX Event_Name ON \"events.db\" (Event_Name)").empty());
    EXPECT_TRUE(exec("CREATE ASC INDEX Early ON \"events.db\" (Event_Date ASC)").empty());
    for (const char* f :
         {"events.x04", "events.y04", "events.x03", "events.y03", "events.xg0", "events.yg0"})
        EXPECT_TRUE(fs::exists(path(f))) << f;
    EXPECT_EQ(bytesOf(path("events.x04"))[0x04], 5);
    EXPECT_EQ(bytesOf(path("events.xg0"))[0x04], 8);
    EXPECT_TRUE(exec("DELETE FROM \"events.db\" WHERE EventNo > 20").empty());
    for (const char* f : {"events.x04", "events.x03", "events.xg0"})
        EXPECT_EQ(paradox::le32(bytesOf(path(f)).data() + 0x06), 20u) << f;
    EXPECT_TRUE(exec("DROP INDEX \"events.db\".EVENT_DATE").empty());
    EXPECT_TRUE(exec("DROP INDEX \"events.db\".early").empty());
    EXPECT_FALSE(fs::exists(path("events.x04")) || fs::exists(path("events.y04")));
    EXPECT_FALSE(fs::exists(path("events.xg0")) || fs::exists(path("events.yg0")));
    EXPECT_TRUE(fs::exists(path("events.x03")));
}

TEST_F(SecondaryIndexSql, DropIndexRemovesBothFilesByTheIndexName) {
    EXPECT_TRUE(exec("DROP INDEX \"events.db\".DATE_TIME").empty());
    EXPECT_FALSE(fs::exists(path("events.xg0")));
    EXPECT_FALSE(fs::exists(path("events.yg0")));
    EXPECT_EQ(readAll(path("events.db")).size(), 23u);
    // Made again, it takes the first free pair of files.
    exec("CREATE INDEX Schedule ON \"events.db\" (Event_Time, VenueNo)");
    EXPECT_EQ(indexState(), std::make_pair(std::uint32_t{23}, std::vector<std::uint16_t>{4, 1}));
}

}  // namespace
}  // namespace orn::db
