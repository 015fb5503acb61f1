// Inserts into keyed Paradox tables the way imports make them (mostly behind the last key) mixed
// with everything else a transaction may do to the same blocks: duplicates of the last key,
// inserts in the middle that split blocks, deletes and key moves of the last record, rollbacks
// and reads in the middle. A model of the table says what every step must give.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "dbengine/storage/table.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

struct Row {
    std::string payload;
    RecordId id = 0;
};

class InsertOrder : public ::testing::TestWithParam<bool> {
  protected:
    bool alphaKey() const { return GetParam(); }
    Value key(std::int64_t k) const {
        return alphaKey() ? Value(std::to_string(k)) : Value(std::int64_t{k});
    }
    // The model's order is the table's: numbers, or their digits as text (the same order while
    // every key has four digits).
    struct Less {
        bool alpha;
        bool operator()(std::int64_t a, std::int64_t b) const {
            return alpha ? std::to_string(a) < std::to_string(b) : a < b;
        }
    };
    using Model = std::map<std::int64_t, Row, Less>;

    void expectSame(Table& t, const Model& model, const std::string& when) {
        std::size_t n = 0;
        auto it = model.begin();
        for (auto c = t.scan(); c->next(); ++n, ++it) {
            ASSERT_NE(it, model.end()) << when << ": more records than expected";
            ASSERT_EQ(c->value(0), key(it->first)) << when << " at record " << n;
            ASSERT_EQ(c->value(1), Value(it->second.payload)) << when << " at record " << n;
        }
        ASSERT_EQ(n, model.size()) << when;
        EXPECT_EQ(t.recordCount(), model.size()) << when;
    }
};

TEST_P(InsertOrder, MixedWritesAroundTheLastKeyGiveWhatTheModelSays) {
    testing::TempDir dir;
    const auto file = dir / "imp.db";
    TableCreate layout;
    layout.fields = {
        alphaKey() ? makeField("K", FieldType::Alpha, 12) : makeField("K", FieldType::Long),
        makeField("P", FieldType::Alpha, 30)};
    layout.keyFields = 1;
    layout.blockSize = 1024;  // about 25 records a block: many blocks, many splits
    auto t = Table::create(file, TableFormat::Paradox, layout);
    Model model(Less{alphaKey()});
    std::mt19937 rng(alphaKey() ? 11 : 5);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    auto randomKey = [&]() -> std::int64_t {
        if (model.empty())
            return 1;
        auto it = model.begin();
        std::advance(it, pick(int(model.size())));
        return it->first;
    };
    std::int64_t next = 1000;
    int violations = 0, tailViolations = 0, rollbacks = 0, moves = 0;
    for (int tx = 0; tx < 12; ++tx) {
        const Model before = model;
        t->begin();
        for (int op = 0; op < 250; ++op) {
            const int what = pick(100);
            if (what < 50 || model.empty()) {
                // behind the last key, as an import of sorted rows
                next += 1 + pick(3);
                const std::string p = "a" + std::to_string(next);
                const RecordId id = t->insert({key(next), p});
                model[next] = {p, id};
            } else if (what < 60) {
                // the last key again (the append shortcut must not take it) or another one
                const std::int64_t k = pick(2) ? std::prev(model.end())->first : randomKey();
                EXPECT_THROW(t->insert({key(k), std::string("dup")}), KeyViolation) << "key " << k;
                ++violations;
                tailViolations += k == std::prev(model.end())->first;
            } else if (what < 75) {
                // in the middle: placed by search, blocks split
                const std::int64_t k = 1000 + pick(int(next) - 999);
                const std::string p = "m" + std::to_string(op);
                if (model.count(k)) {
                    EXPECT_THROW(t->insert({key(k), p}), KeyViolation);
                    ++violations;
                } else {
                    model[k] = {p, t->insert({key(k), p})};
                }
            } else if (what < 85) {
                // the last record (or another) goes: the next append must not go behind it
                auto it = pick(2) ? std::prev(model.end()) : model.find(randomKey());
                t->remove(it->second.id);
                model.erase(it);
            } else if (what < 95) {
                // the last record moves to another key, or only its payload changes
                auto it = pick(2) ? std::prev(model.end()) : model.find(randomKey());
                Row row = it->second;
                const bool move = pick(2) == 0;
                const std::int64_t k = move ? 1000 + pick(int(next) - 950) : it->first;
                row.payload = "u" + std::to_string(op);
                if (k != it->first && model.count(k)) {
                    EXPECT_THROW(t->update(row.id, {key(k), row.payload}), KeyViolation);
                    ++violations;
                    continue;
                }
                t->update(row.id, {key(k), row.payload});
                moves += k != it->first;
                model.erase(it);
                model[k] = row;
                if (k > next)
                    next = k;
            } else {
                expectSame(*t, model, "in transaction " + std::to_string(tx));
            }
        }
        if (tx % 4 == 3) {
            t->rollback();
            model = before;
            ++rollbacks;
            expectSame(*t, model, "after rollback " + std::to_string(tx));
        } else {
            t->commit();
        }
    }
    // Every branch was taken often enough to mean something.
    EXPECT_GT(tailViolations, 20);
    EXPECT_GT(violations, 50);
    EXPECT_GT(moves, 20);
    EXPECT_EQ(rollbacks, 3);
    EXPECT_GT(model.size(), 500u);
    expectSame(*t, model, "at the end");
    t.reset();
    t = Table::open(file, OpenMode::Shared);
    expectSame(*t, model, "reopened");
    t.reset();
    test::expectIndexMatchesBlocks(file, dir / "imp.px");
    const auto px = test::readWithPxlib(file, "CP1252");
    EXPECT_EQ(px.records.size(), model.size());
}

INSTANTIATE_TEST_SUITE_P(Keys, InsertOrder, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Alpha" : "Long"; });

}  // namespace
}  // namespace orn::db
