// Changing a field's type and size, and adding a primary index, on Paradox tables.

#include <gtest/gtest.h>

#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

std::vector<Record> readAll(const std::filesystem::path& file) {
    auto t = Table::open(file, OpenMode::ReadOnly);
    std::vector<Record> out;
    for (auto c = t->scan(); c->next();) {
        Record r;
        for (std::size_t i = 0; i < t->fields().size(); ++i)
            r.push_back(c->value(i));
        out.push_back(std::move(r));
    }
    return out;
}

struct Snapshot {
    std::vector<std::vector<unsigned char>> files;
    explicit Snapshot(const std::vector<std::filesystem::path>& paths) {
        for (const auto& p : paths)
            files.push_back(std::filesystem::exists(p) ? testing::readAll(p)
                                                       : std::vector<unsigned char>{});
    }
    bool operator==(const Snapshot&) const = default;
};

class ParadoxRestructure : public ::testing::Test {
  protected:
    void make(std::vector<Field> fields, int keys, const std::vector<Record>& rows) {
        TableCreate layout;
        layout.fields = std::move(fields);
        layout.keyFields = keys;
        auto t = Table::create(file(), TableFormat::Paradox, layout);
        t->begin();
        for (const auto& r : rows)
            t->insert(r);
        t->commit();
    }
    std::filesystem::path file() const { return dir_ / "items.db"; }
    Snapshot snapshot() const {
        return Snapshot({dir_ / "items.db", dir_ / "items.px", dir_ / "items.mb"});
    }
    void expectFails(const std::string& field, FieldChange change, const std::string& part) {
        Snapshot before = snapshot();
        try {
            restructureField(file(), field, change);
            ADD_FAILURE() << "the change was made";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
        }
        EXPECT_TRUE(before == snapshot()) << "the files changed";
        EXPECT_FALSE(std::filesystem::exists(dir_ / "~ornitems.db"));
    }
    testing::TempDir dir_;
};

TEST_F(ParadoxRestructure, TextBecomesNumbersDatesAndWiderText) {
    make({makeField("Id", FieldType::Long), makeField("Qty", FieldType::Alpha, 10),
          makeField("When", FieldType::Alpha, 12), makeField("Memo", FieldType::Memo, 10),
          makeField("Auto", FieldType::AutoInc)},
         1,
         {{std::int64_t(1), std::string(" 42 "), std::string("2024-02-29"), std::string(3000, 'm'),
           Value{}},
          {std::int64_t(2), Value{}, std::string("1999-12-31"), Value{}, Value{}},
          {std::int64_t(3), std::string("-7"), Value{}, std::string("short"), Value{}}});
    {
        auto t = Table::open(file(), OpenMode::Shared);
        auto c = t->scan();
        c->next();
        c->next();
        c->next();
        t->remove(c->id());  // counter stays at 3
        t->insert({std::int64_t(3), std::string("-7"), Value{}, std::string("short"), Value{}});
    }
    restructureField(file(), "Qty", {"", kEngineLong, 0, 0, 0});
    restructureField(file(), "when", {"", kEngineDate, 0, 0, 0});
    auto rows = readAll(file());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][1], Value(std::int64_t(42)));
    EXPECT_TRUE(isBlank(rows[1][1]));
    EXPECT_EQ(rows[2][1], Value(std::int64_t(-7)));
    EXPECT_EQ(std::get<Date>(rows[1][2]).day, 730119);  // 1999-12-31
    EXPECT_EQ(rows[0][3], Value(std::string(3000, 'm')));
    EXPECT_EQ(rows[2][4], Value(std::int64_t(4)));
    auto t = Table::open(file(), OpenMode::ReadOnly);
    EXPECT_EQ(t->fields()[1].letter, 'I');
    EXPECT_EQ(t->fields()[2].letter, 'D');
    EXPECT_EQ(t->keyFieldCount(), 1);
    EXPECT_EQ(static_cast<paradox::ParadoxTable&>(*t).header().autoInc, 4u);
    t.reset();
    // Size only (type code 0): an alpha field becomes 40 wide; numbers go back to text.
    restructureField(file(), "Qty", {"", kEngineAlpha, 0, 40, 0});
    EXPECT_EQ(Table::open(file(), OpenMode::ReadOnly)->fields()[1].size, 40);
    EXPECT_EQ(readAll(file())[2][1], Value(std::string("-7")));
    restructureField(file(), "Qty", {"", 0, 0, 5, 0});
    EXPECT_EQ(Table::open(file(), OpenMode::ReadOnly)->fields()[1].size, 5);
}

TEST_F(ParadoxRestructure, NumbersChangeKindWhenNothingIsLost) {
    make({makeField("N", FieldType::Number), makeField("S", FieldType::Short),
          makeField("T", FieldType::Timestamp)},
         0, {{2.5, std::int64_t(300), Timestamp{62712489600000.0}}, {-1.0, Value{}, Value{}}});
    restructureField(file(), "N", {"", kEngineBcd, 0, 2, 0});
    restructureField(file(), "S", {"", kEngineNumber, 0, 0, 0});
    restructureField(file(), "T", {"", kEngineDate, 0, 0, 0});
    auto rows = readAll(file());
    EXPECT_EQ(rows[0][0], Value(Decimal{"2.5"}));
    EXPECT_EQ(rows[1][0], Value(Decimal{"-1"}));
    EXPECT_EQ(rows[0][1], Value(300.0));
    EXPECT_EQ(rows[0][2], Value(Date{725839}));  // 1988-04-12
}

TEST_F(ParadoxRestructure, AChangeThatLosesAValueFailsAndLeavesTheTable) {
    make({makeField("K", FieldType::Alpha, 4), makeField("Name", FieldType::Alpha, 20),
          makeField("N", FieldType::Number), makeField("Memo", FieldType::Memo, 10)},
         1,
         {{std::string("01"), std::string("twelve characters"), 70000.0, std::string(5000, 'x')},
          {std::string("1"), std::string("abc"), 1.5, Value{}}});
    expectFails("Name", {"", kEngineLong, 0, 0, 0}, "twelve characters");
    expectFails("Name", {"", 0, 0, 5, 0}, "Name");
    expectFails("N", {"", kEngineShort, 0, 0, 0}, "70000");
    expectFails("N", {"", kEngineLong, 0, 0, 0}, "1.5");
    expectFails("K", {"", kEngineLong, 0, 0, 0}, "Key violation.");  // "01" and "1" collide
    expectFails("Nope", {"", kEngineLong, 0, 0, 0}, "Field 'Nope' not found");
    expectFails("Name", {"", 3, 0, 0, 0}, "Unknown field type code 3");
}

TEST_F(ParadoxRestructure, APackThatCannotCopyEveryRecordSaysWhyAndLeavesTheTable) {
    make({makeField("K", FieldType::Long), makeField("Memo", FieldType::Memo, 10)}, 1,
         {{std::int64_t{1}, std::string(5000, 'x')}, {std::int64_t{2}, Value{}}});
    std::filesystem::remove(dir_ / "items.mb");  // the memo cannot be read: the copy would lose it
    Snapshot before = snapshot();
    try {
        packTable(file());
        ADD_FAILURE() << "packed without the memo";
    } catch (const EngineError& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("Cannot pack the records of " + file().string() + ": " +
                                 file().string() + " is damaged",
                             0),
                  0u)
            << what;
    }
    EXPECT_TRUE(before == snapshot()) << "the files changed";
}

TEST_F(ParadoxRestructure, PrimaryIndexOverTheLeadingFields) {
    make({makeField("Last", FieldType::Alpha, 10), makeField("First", FieldType::Alpha, 10),
          makeField("Age", FieldType::Short)},
         0,
         {{std::string("Smith"), std::string("Zoe"), std::int64_t(30)},
          {std::string("Adams"), std::string("Bob"), std::int64_t(40)},
          {std::string("Smith"), std::string("Al"), std::int64_t(50)}});
    addPrimaryIndex(file(), {"Last", "First"});
    auto rows = readAll(file());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value(std::string("Adams")));
    EXPECT_EQ(rows[1][1], Value(std::string("Al")));
    EXPECT_EQ(Table::open(file(), OpenMode::ReadOnly)->keyFieldCount(), 2);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "items.px"));
    EXPECT_EQ(test::readWithPxlib(file(), "CP1252").records.size(), 3u);

    // A key over "Last" alone has duplicates: refused, and the two-field index stays.
    Snapshot before = snapshot();
    try {
        addPrimaryIndex(file(), {"Last"});
        ADD_FAILURE() << "duplicate keys accepted";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Key violation."), std::string::npos) << e.what();
    }
    EXPECT_TRUE(before == snapshot());
    EXPECT_THROW(addPrimaryIndex(file(), {"Age"}), EngineError);  // not a leading field
}

TEST_F(ParadoxRestructure, AnotherOpenerBlocksTheChange) {
    make({makeField("A", FieldType::Alpha, 5)}, 0, {{std::string("x")}});
    auto holder = Table::open(file(), OpenMode::Shared);
    expectFails("A", {"", 0, 0, 10, 0}, "items.db");
}

TEST_F(ParadoxRestructure, AnInterruptedSwapIsFinishedOrUndoneOnOpen) {
    make({makeField("A", FieldType::Alpha, 5)}, 0, {{std::string("old")}});
    // A complete swap record whose renames had not happened yet: the open finishes them.
    std::filesystem::path temp = dir_ / "~ornitems.db";
    {
        TableCreate layout;
        layout.fields = {makeField("A", FieldType::Alpha, 8)};
        Table::create(temp, TableFormat::Paradox, layout)->insert({std::string("new")});
    }
    auto record = [&](const std::string& text) {
        std::vector<unsigned char> bytes(text.begin(), text.end());
        testing::writeAll(dir_ / "items.db.orn-swap", bytes);
    };
    record("R\t" + temp.string() + "\t" + file().string() + "\nEND\n");
    EXPECT_EQ(readAll(file())[0][0], Value(std::string("new")));
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "items.db.orn-swap"));
    // A torn record (no END): the new files are dropped and the table stays.
    {
        TableCreate layout;
        layout.fields = {makeField("A", FieldType::Alpha, 8)};
        Table::create(temp, TableFormat::Paradox, layout)->insert({std::string("newer")});
    }
    record("R\t" + temp.string() + "\t" + file().string() + "\n");
    EXPECT_EQ(readAll(file())[0][0], Value(std::string("new")));
    EXPECT_FALSE(std::filesystem::exists(temp));
}

}  // namespace
}  // namespace orn::db
