#pragma once
// Which rows of a result the grid's view holds at a time. A table view keeps a few bytes of
// bookkeeping for every row its model reports, which over ten million rows is more than the rest
// of the window together; so the view is given a page of consecutive rows that moves with what
// is shown, while the grid's scroll bar ranges over the whole result.
//
// Rows of the result are counted from 0 as 64-bit numbers, rows of the page as ints from 0.

#include <cstdint>

namespace orn {

class TGridPage {
  public:
    static constexpr int kDefaultCapacity = 10000;

    // `capacity`: the most rows the page holds (at least 1).
    explicit TGridPage(int capacity = kDefaultCapacity);

    int Capacity() const { return capacity_; }
    // A new result of `total` rows: the page starts at its first row.
    void Reset(std::int64_t total);
    // The same result now has `total` rows (one was inserted or deleted): the page keeps its
    // start as far as the result still reaches.
    void SetTotal(std::int64_t total);
    std::int64_t Total() const { return total_; }
    std::int64_t Start() const { return start_; }
    // Rows in the page: the capacity, or fewer when the result is smaller.
    int Rows() const;
    // The page holds only part of the result.
    bool Paged() const { return total_ > capacity_; }

    bool Contains(std::int64_t row) const { return row >= start_ && row < start_ + Rows(); }
    // The page row of result row `row`; -1 when the page does not hold it.
    int ToPage(std::int64_t row) const;
    std::int64_t ToResult(int pageRow) const { return start_ + pageRow; }

    // Where the page should start to hold result rows [first, first + count), as far as the
    // result has them: Start() when it holds them already, else a start that centres them (so
    // the page stays put for the next many rows).
    std::int64_t StartToHold(std::int64_t first, std::int64_t count) const;
    // The page for `visible` rows shown from result row `first`, with a screen's worth of rows
    // (or what the capacity leaves) to spare on either side: a wheel turn or a key then moves
    // within the page, and the page moves again only once the view nears its edge.
    std::int64_t StartToShow(std::int64_t first, int visible) const;
    // The page from which the current row `row` can move by a key, up to a screen of `visible`
    // rows either way, and stay in the page.
    std::int64_t StartToMoveFrom(std::int64_t row, int visible) const;
    // Moves the page to start at `start`, kept within the result.
    void MoveTo(std::int64_t start);

  private:
    std::int64_t Clamp(std::int64_t start) const;

    int capacity_;
    std::int64_t total_ = 0;
    std::int64_t start_ = 0;
};

}  // namespace orn
