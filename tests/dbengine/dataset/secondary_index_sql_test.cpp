// Secondary indexes of Paradox tables through SQL: what a statement did to them reaches the
// user as notices, and ALTER TABLE and SAVE keep the ones they leave valid.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orn::db
