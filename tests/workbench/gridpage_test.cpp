// The page of a large result that the grid's view holds: mapping rows, and when the page moves.
#include "workbench/gridpage.h"

#include <gtest/gtest.h>

namespace orn::testing {
namespace {

TEST(GridPageTest, AResultThatFitsIsOnePageThatNeverMoves) {
    TGridPage page(100);
    page.Reset(60);
    EXPECT_FALSE(page.Paged());
    EXPECT_EQ(page.Rows(), 60);
    for (std::int64_t first : {0, 10, 45, 59}) {
        EXPECT_EQ(page.StartToShow(first, 20), 0) << first;
        EXPECT_EQ(page.StartToMoveFrom(first, 20), 0) << first;
    }
    EXPECT_EQ(page.ToPage(59), 59);
    EXPECT_EQ(page.ToPage(60), -1);
    page.MoveTo(30);
    EXPECT_EQ(page.Start(), 0);

    // Exactly a page is still one page; an empty result has no rows at all.
    page.Reset(100);
    EXPECT_FALSE(page.Paged());
    EXPECT_EQ(page.Rows(), 100);
    page.Reset(0);
    EXPECT_EQ(page.Rows(), 0);
    EXPECT_EQ(page.ToPage(0), -1);
    EXPECT_EQ(page.StartToShow(0, 20), 0);
    EXPECT_EQ(TGridPage(0).Capacity(), 1);
}

TEST(GridPageTest, RowsMapBetweenThePageAndTheResult) {
    TGridPage page(100);
    page.Reset(1000);
    EXPECT_TRUE(page.Paged());
    page.MoveTo(250);
    EXPECT_EQ(page.Rows(), 100);
    EXPECT_EQ(page.ToPage(249), -1);
    EXPECT_EQ(page.ToPage(250), 0);
    EXPECT_EQ(page.ToPage(349), 99);
    EXPECT_EQ(page.ToPage(350), -1);
    EXPECT_EQ(page.ToResult(99), 349);
    // The page never reaches past either end of the result.
    page.MoveTo(980);
    EXPECT_EQ(page.Start(), 900);
    EXPECT_EQ(page.ToPage(999), 99);
    page.MoveTo(-5);
    EXPECT_EQ(page.Start(), 0);
}

TEST(GridPageTest, ThePageMovesOnlyWhenTheShownRowsComeNearItsEdge) {
    TGridPage page(100);
    page.Reset(1000);
    // 20 rows shown: with 20 to spare on either side the page stays.
    EXPECT_EQ(page.StartToShow(0, 20), 0);
    EXPECT_EQ(page.StartToShow(60, 20), 0);
    // One row further leaves less than a screen below: the page centres the shown rows.
    EXPECT_EQ(page.StartToShow(61, 20), 61 + 10 - 50);
    page.MoveTo(page.StartToShow(61, 20));
    EXPECT_EQ(page.StartToShow(61, 20), page.Start());
    // Near the result's end the page ends with it; the last rows show without a margin.
    EXPECT_EQ(page.StartToShow(980, 20), 900);
    page.MoveTo(900);
    EXPECT_EQ(page.StartToShow(980, 20), 900);
    EXPECT_EQ(page.StartToShow(920, 20), 900);
    EXPECT_NE(page.StartToShow(919, 20), 900);
}

TEST(GridPageTest, WhereverTheViewGoesThePageHoldsItWithAScreenToSpare) {
    for (int capacity : {60, 100, 1000}) {
        for (int visible : {1, 7, 20}) {
            SCOPED_TRACE(::testing::Message() << capacity << " rows, " << visible << " shown");
            TGridPage page(capacity);
            page.Reset(5003);
            const std::int64_t spare = std::min(visible, (capacity - visible) / 2);
            int moves = 0;
            // Walking down row by row and back up moves the page now and then, never back and
            // forth at one place.
            for (int pass = 0; pass < 2; ++pass) {
                for (std::int64_t step = 0; step + visible <= 5003; ++step) {
                    const std::int64_t first = pass == 0 ? step : 5003 - visible - step;
                    const std::int64_t start = page.StartToShow(first, visible);
                    if (start != page.Start()) {
                        ++moves;
                        page.MoveTo(start);
                    }
                    ASSERT_EQ(page.StartToShow(first, visible), page.Start()) << first;
                    ASSERT_TRUE(page.Contains(std::max<std::int64_t>(0, first - spare))) << first;
                    ASSERT_TRUE(
                        page.Contains(std::min<std::int64_t>(5002, first + visible - 1 + spare)))
                        << first;
                }
            }
            // A move centres what must be held, which leaves half the rest of the page to go.
            const std::int64_t slack =
                std::max<std::int64_t>(1, (capacity - visible - 2 * spare) / 2);
            EXPECT_LE(moves, 2 * (5003 / slack + 1));
        }
    }
}

TEST(GridPageTest, TheCurrentRowCanMoveAScreenEitherWayWithinThePage) {
    TGridPage page(100);
    page.Reset(1000);
    for (std::int64_t row : {0, 5, 19, 20, 80, 81, 500, 979, 999}) {
        page.MoveTo(page.StartToMoveFrom(row, 20));
        EXPECT_TRUE(page.Contains(row)) << row;
        EXPECT_TRUE(page.Contains(std::max<std::int64_t>(0, row - 20))) << row;
        EXPECT_TRUE(page.Contains(std::min<std::int64_t>(999, row + 20))) << row;
    }
    // A page of a few rows still holds the row itself.
    TGridPage small(3);
    small.Reset(50);
    small.MoveTo(small.StartToMoveFrom(40, 20));
    EXPECT_TRUE(small.Contains(39) && small.Contains(40) && small.Contains(41));
}

TEST(GridPageTest, InsertsAndDeletesKeepThePageWhereTheResultStillReaches) {
    TGridPage page(100);
    page.Reset(1000);
    page.MoveTo(500);
    page.SetTotal(1001);
    EXPECT_EQ(page.Start(), 500);
    // Deleting the last rows pulls the page back so that it stays full.
    page.MoveTo(900);
    page.SetTotal(950);
    EXPECT_EQ(page.Start(), 850);
    EXPECT_EQ(page.Rows(), 100);
    // Shrinking below a page makes it one page again.
    page.SetTotal(70);
    EXPECT_EQ(page.Start(), 0);
    EXPECT_FALSE(page.Paged());
    // A new result starts at its first row.
    page.SetTotal(1000);
    page.MoveTo(400);
    page.Reset(1000);
    EXPECT_EQ(page.Start(), 0);
}

}  // namespace
}  // namespace orn::testing
