#include "dbengine/dataset/inserted_rows.h"

#include <utility>

namespace orn::db {

// The nodes form a treap ordered by position; in that order anchors never decrease, and the
// position of a node is its anchor plus the number of nodes before it. Positions therefore grow
// along the order, so both lookups are searches down one path.

Row* InsertedRows::find(std::int64_t index, std::int64_t& baseIndex) {
    std::int64_t before = 0;  // nodes known to lie before `index`
    std::uint32_t n = root_;
    while (n != kNone) {
        Node& node = nodes_[n];
        const std::int64_t rank = before + countOf(node.left);
        const std::int64_t position = node.anchor + rank;
        if (position == index) {
            return &node.row;
        }
        if (index < position) {
            n = node.left;
        } else {
            before = rank + 1;
            n = node.right;
        }
    }
    baseIndex = index - before;
    return nullptr;
}

Row& InsertedRows::insert(std::int64_t index, Row row) {
    // Where the new node goes: in front of the node now at `index`, taking its anchor, or in
    // front of the base row there.
    std::int64_t before = 0;
    std::int64_t anchor = -1;
    std::uint32_t n = root_;
    while (n != kNone) {
        const Node& node = nodes_[n];
        const std::int64_t rank = before + countOf(node.left);
        const std::int64_t position = node.anchor + rank;
        if (position == index) {
            anchor = node.anchor;
            before = rank;
            break;
        }
        if (index < position) {
            n = node.left;
        } else {
            before = rank + 1;
            n = node.right;
        }
    }
    if (anchor < 0) {
        anchor = index - before;
    }
    const auto added = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back(Node{anchor, std::move(row), static_cast<std::uint32_t>(random_())});
    std::uint32_t first = kNone, rest = kNone;
    split(root_, static_cast<std::uint32_t>(before), first, rest);
    root_ = merge(merge(first, added), rest);
    return nodes_[added].row;
}

void InsertedRows::clear() {
    nodes_.clear();
    root_ = kNone;
}

void InsertedRows::update(std::uint32_t n) {
    Node& node = nodes_[n];
    node.count = 1 + countOf(node.left) + countOf(node.right);
}

void InsertedRows::split(std::uint32_t n, std::uint32_t rank, std::uint32_t& first,
                         std::uint32_t& rest) {
    if (n == kNone) {
        first = rest = kNone;
        return;
    }
    Node& node = nodes_[n];
    if (countOf(node.left) < rank) {
        split(node.right, rank - countOf(node.left) - 1, node.right, rest);
        first = n;
    } else {
        split(node.left, rank, first, node.left);
        rest = n;
    }
    update(n);
}

std::uint32_t InsertedRows::merge(std::uint32_t a, std::uint32_t b) {
    if (a == kNone) {
        return b;
    }
    if (b == kNone) {
        return a;
    }
    if (nodes_[a].priority > nodes_[b].priority) {
        nodes_[a].right = merge(nodes_[a].right, b);
        update(a);
        return a;
    }
    nodes_[b].left = merge(a, nodes_[b].left);
    update(b);
    return b;
}

}  // namespace orn::db
