// The overlay of inserted records checked against a plain list of the combined sequence.
#include "dbengine/dataset/inserted_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace orn::db {
namespace {

// The combined sequence spelt out: base rows as "b<i>", inserted rows by their text.
class Model {
  public:
    explicit Model(int baseRows) {
        for (int i = 0; i < baseRows; ++i) {
            items_.push_back("b" + std::to_string(i));
        }
    }
    void insert(std::size_t index, std::string text) {
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), text);
        rows_.insert(static_cast<std::int64_t>(index), Row{std::move(text)});
    }
    std::size_t size() const { return items_.size(); }

    // Every position of the overlay agrees with the list, and one past the end is a base index
    // past the base rows.
    void check(int baseRows) {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            std::int64_t base = -1;
            const Row* row = rows_.find(static_cast<std::int64_t>(i), base);
            const std::string seen =
                row ? std::get<std::string>((*row)[0]) : "b" + std::to_string(base);
            ASSERT_EQ(seen, items_[i]) << "at " << i;
        }
        std::int64_t base = -1;
        EXPECT_EQ(rows_.find(static_cast<std::int64_t>(items_.size()), base), nullptr);
        EXPECT_EQ(base, baseRows);
    }

    InsertedRows rows_;

  private:
    std::vector<std::string> items_;
};

TEST(InsertedRows, EmptyOverlayMapsPositionsToTheBaseRows) {
    InsertedRows rows;
    std::int64_t base = -1;
    EXPECT_EQ(rows.find(7, base), nullptr);
    EXPECT_EQ(base, 7);
    EXPECT_EQ(rows.size(), 0u);
}

TEST(InsertedRows, InsertsAtTheFrontTheEndAndInFrontOfEarlierInserts) {
    Model m(3);
    m.insert(0, "front");        // front b0 b1 b2
    m.insert(4, "end1");         // ... b2 end1
    m.insert(5, "end2");         // appends keep their order
    m.insert(4, "before-end1");  // in front of an inserted row: same anchor, earlier
    m.insert(1, "before-b0");    // between two rows of different kinds
    m.insert(1, "before-that");
    m.check(3);
    EXPECT_EQ(m.rows_.size(), 6u);
    m.rows_.clear();
    std::int64_t base = -1;
    EXPECT_EQ(m.rows_.find(2, base), nullptr);
    EXPECT_EQ(base, 2);
}

TEST(InsertedRows, OnAnEmptyBase) {
    Model m(0);
    m.insert(0, "a");
    m.insert(0, "b");
    m.insert(2, "c");
    m.insert(1, "d");
    m.check(0);
}

TEST(InsertedRows, RandomInsertsAgreeWithTheList) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        const int baseRows = static_cast<int>(random() % 30);
        Model m(baseRows);
        for (int i = 0; i < 200; ++i) {
            const std::size_t at = random() % (m.size() + 1);
            m.insert(at, "i" + std::to_string(i));
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        m.check(baseRows);
    }
}

TEST(InsertedRows, RowsStayInPlaceWhileTheOverlayGrows) {
    InsertedRows rows;
    Row& first = rows.insert(0, Row{std::string("first")});
    for (int i = 0; i < 5000; ++i) {
        rows.insert(1 + i, Row{std::int64_t{i}});
    }
    EXPECT_EQ(std::get<std::string>(first[0]), "first");
    std::int64_t base = -1;
    EXPECT_EQ(rows.find(0, base), &first);
    const Row* last = rows.find(5000, base);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(std::get<std::int64_t>((*last)[0]), 4999);
}

}  // namespace
}  // namespace orn::db
