#include "dbengine/dataset/live_result.h"

#include <gtest/gtest.h>

namespace orn::db {
namespace {

TEST(LiveResult, PlainOneTableSelectsAreLive) {
    EXPECT_TRUE(isSingleTableSelect("SELECT * FROM \"customer.db\""));
    EXPECT_TRUE(isSingleTableSelect(
        "select \"a\", \"b\" from \"t.db\" AS \"x\" where \"a\" in (select \"k\" from \"u.db\", "
        "\"v.db\") order by \"b\""));
    EXPECT_TRUE(isSingleTableSelect("SELECT \"from\" FROM \"t.db\" WHERE 'GROUP BY' = \"c\""));
}

TEST(LiveResult, GroupingJoinsAndCompoundsAreNot) {
    EXPECT_FALSE(isSingleTableSelect("SELECT DISTINCT a FROM t"));
    EXPECT_FALSE(isSingleTableSelect("SELECT a FROM t GROUP BY a"));
    EXPECT_FALSE(isSingleTableSelect("SELECT a FROM t, u"));
    EXPECT_FALSE(isSingleTableSelect("SELECT a FROM t JOIN u ON t.a = u.a"));
    EXPECT_FALSE(isSingleTableSelect("SELECT a FROM t UNION SELECT a FROM u"));
    EXPECT_FALSE(isSingleTableSelect("SELECT a FROM (SELECT a FROM t)"));
    EXPECT_FALSE(isSingleTableSelect("UPDATE t SET a = 1"));
    EXPECT_FALSE(isSingleTableSelect("SELECT 1"));
}

TEST(LiveResult, RowidGoesAfterTheUsersColumns) {
    EXPECT_EQ(selectWithRowid("SELECT * FROM t ORDER BY 2"), "SELECT * , rowid FROM t ORDER BY 2");
    EXPECT_EQ(selectWithRowid("  select a, (select max(b) from u) FROM t"),
              "  select a, (select max(b) from u) , rowid FROM t");
    EXPECT_EQ(selectWithRowid("select \"from\" from t"), "select \"from\" , rowid from t");
}

}  // namespace
}  // namespace orn::db
