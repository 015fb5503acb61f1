// A writer killed at a random moment leaves either the table before or after the transaction
// it was in; the next open sees a consistent table.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "dbengine/storage/table.h"
#include "kill_test_harness.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

struct Row {
    std::string name;
    int memoLength = 0;
    bool operator==(const Row&) const = default;
};
using Model = std::map<int, Row>;

std::string memo(int length, int op) {
    return std::string(std::size_t(length), char('a' + op % 26));
}

// Operation `op` of the writer's endless sequence, applied to the table or to the model.
void apply(int op, Table* t, Model& m) {
    const int key = 1000 + op;
    switch (op % 5) {
        case 0:
        case 1: {
            int len = (op * 37) % 6000;
            m[key] = {"n" + std::to_string(op), len};
            if (t)
                t->insert({std::int64_t(key), m[key].name, len ? Value(memo(len, op)) : Value{}});
            break;
        }
        case 2: {  // update the record inserted two operations ago, memo included
            int target = key - 2;
            int len = (op * 53) % 7000;
            m[target] = {"u" + std::to_string(op), len};
            if (t) {
                auto c = t->range({std::int64_t(target)}, true, {std::int64_t(target)}, true);
                if (c->next())
                    t->update(c->id(), {std::int64_t(target), m[target].name,
                                        len ? Value(memo(len, op)) : Value{}});
            }
            break;
        }
        case 3: {  // delete the record inserted three operations ago
            m.erase(key - 3);
            if (t) {
                auto c = t->range({std::int64_t(key - 3)}, true, {std::int64_t(key - 3)}, true);
                if (c->next())
                    t->remove(c->id());
            }
            break;
        }
        default: {  // one transaction of many inserts
            if (t)
                t->begin();
            for (int i = 0; i < 40; ++i) {
                int k = 100000 + op * 100 + i;
                m[k] = {"b" + std::to_string(op), 0};
                if (t)
                    t->insert({std::int64_t(k), m[k].name, Value{}});
            }
            if (t)
                t->commit();
        }
    }
}

Model modelAfter(int ops) {
    Model m;
    for (int i = 0; i < 50; ++i)
        m[i] = {"start", 100 * i};
    for (int op = 0; op < ops; ++op)
        apply(op, nullptr, m);
    return m;
}

Model readModel(const std::filesystem::path& file) {
    Model m;
    auto t = Table::open(file, OpenMode::ReadOnly);
    int previous = -1;
    for (auto c = t->scan(); c->next();) {
        int key = int(std::get<std::int64_t>(c->value(0)));
        EXPECT_GT(key, previous) << "key order broken";
        previous = key;
        int len = 0;
        if (auto* s = std::get_if<std::string>(&c->value(2)))
            len = int(s->size());
        m[key] = {std::get<std::string>(c->value(1)), len};
    }
    EXPECT_EQ(t->recordCount(), m.size());
    return m;
}

TEST(ParadoxKill, AKilledWriterLeavesTheTableBeforeOrAfterItsTransaction) {
    std::mt19937 rng(2026);
    int midway = 0, journals = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        testing::TempDir dir;
        auto file = dir / "k.db";
        {
            TableCreate layout;
            layout.fields = {Field{"K", FieldType::Long, 0, 0, 0},
                             Field{"Name", FieldType::Alpha, 30, 0, 0},
                             Field{"Memo", FieldType::Memo, 20, 0, 0}};
            layout.keyFields = 1;
            auto t = Table::create(file, TableFormat::Paradox, layout);
            t->begin();
            for (int i = 0; i < 50; ++i)
                t->insert(
                    {std::int64_t(i), std::string("start"), i ? Value(memo(100 * i, 0)) : Value{}});
            t->commit();
        }
        const int acknowledged =
            testing::killStepsAfter(std::chrono::milliseconds(20 + rng() % 300), {},
                                    [&](const std::function<void(int)>& done) {
                                        auto t = Table::open(file, OpenMode::Shared);
                                        Model ignored;
                                        for (int op = 0;; ++op) {
                                            apply(op, t.get(), ignored);
                                            done(op + 1);
                                        }
                                    });
        if (::testing::Test::HasFatalFailure() || ::testing::Test::HasFailure())
            return;

        bool hot = std::filesystem::exists(dir / "k.db.orn-journal");
        if (hot)
            ++journals;
        Model now = readModel(file);
        bool before = now == modelAfter(acknowledged);
        bool after = now == modelAfter(acknowledged + 1);
        EXPECT_TRUE(before || after) << "after " << acknowledged << " acknowledged operations";
        if (after)
            ++midway;
        test::expectIndexMatchesBlocks(file, dir / "k.px");
        EXPECT_EQ(test::readWithPxlib(file, "CP1252").records.size(), now.size());
        // The table takes writes again.
        Table::open(file, OpenMode::Shared)->insert({std::int64_t(-1), std::string("x"), Value{}});
    }
    RecordProperty("killed after an unacknowledged commit", midway);
    RecordProperty("killed with a journal on disk", journals);
    std::printf("killed after an unacknowledged commit: %d, with a journal on disk: %d\n", midway,
                journals);
}

}  // namespace
}  // namespace orn::db
