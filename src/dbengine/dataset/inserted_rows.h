#pragma once

#include <cstdint>
#include <deque>
#include <random>

#include "dbengine/dataset/cell.h"

namespace orn::db {

// Records inserted through a result, shown where they were inserted among the result's own
// (base) rows. Each one is anchored before a base row, or after the last one, and the rows keep
// their order; a row's position follows from its anchor and the number of inserted rows before
// it, so inserting never renumbers the others. Lookups and inserts take O(log n) expected time.
class InsertedRows {
  public:
    // At 0-based position `index` of the combined sequence: the inserted row there, or nullptr
    // and in `baseIndex` the index of the base row there (past the base rows: past the end).
    Row* find(std::int64_t index, std::int64_t& baseIndex);
    // Puts `row` at `index` (0 .. size of the combined sequence), in front of what is there now.
    Row& insert(std::int64_t index, Row row);
    std::size_t size() const { return nodes_.size(); }
    void clear();

  private:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    struct Node {
        std::int64_t anchor;  // index of the base row this row stands in front of
        Row row;
        std::uint32_t priority;
        std::uint32_t left = kNone;
        std::uint32_t right = kNone;
        std::uint32_t count = 1;  // nodes in this subtree
    };

    std::uint32_t countOf(std::uint32_t n) const { return n == kNone ? 0 : nodes_[n].count; }
    void update(std::uint32_t n);
    // Splits the subtree at `n` into its first `rank` nodes and the rest.
    void split(std::uint32_t n, std::uint32_t rank, std::uint32_t& first, std::uint32_t& rest);
    std::uint32_t merge(std::uint32_t a, std::uint32_t b);

    std::deque<Node> nodes_;  // a deque keeps handed-out rows in place while it grows
    std::uint32_t root_ = kNone;
    std::minstd_rand random_;
};

}  // namespace orn::db
