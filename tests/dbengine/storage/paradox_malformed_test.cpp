// Damaged Paradox files give "<file> is damaged (not a valid Paradox table): ..." and never a
// crash (a damaged blob reads as NULL and the table names it); the inputs the fuzzer once crashed
// on are replayed here.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/table.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

using Bytes8 = std::vector<unsigned char>;

// Reads everything a reader can be asked for; EngineError is the only acceptable failure.
// Returns what the table found damaged.
std::string readEverything(const std::filesystem::path& file) {
    auto t = Table::open(file, OpenMode::ReadOnly);
    RecordId first = 0;
    std::uint64_t n = 0;
    for (auto c = t->scan(); c->next(); ++n) {
        if (n == 0)
            first = c->id();
        for (std::size_t i = 0; i < t->fields().size(); ++i)
            c->value(i);
    }
    if (n)
        t->read(first);
    if (t->keyFieldCount() > 0) {
        for (auto c = t->range(Record(1), true, Record(), true); c->next();) {
        }
    }
    return t->damage();
}

class ParadoxMalformed : public ::testing::Test {
  protected:
    void SetUp() override {
        TableCreate layout;
        layout.fields = {Field{"K", FieldType::Long, 0, 0, 0},
                         Field{"Memo", FieldType::Memo, 12, 0, 0}};
        layout.keyFields = 1;
        auto t = Table::create(dir_ / "good.db", TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 600; ++i)
            t->insert({std::int64_t(i),
                       i % 7 ? Value(std::string(i < 10 ? 2100 : 100 + i, 'x')) : Value{}});
        t->commit();
        t.reset();
        db_ = testing::readAll(dir_ / "good.db");
        mb_ = testing::readAll(dir_ / "good.mb");
    }
    // Writes a copy of the table and its blob file with `damage` done to them.
    std::filesystem::path damagedCopy(const std::function<void(Bytes8&, Bytes8&)>& damage) {
        Bytes8 db = db_, mb = mb_;
        damage(db, mb);
        auto file = dir_ / "bad.db";
        testing::writeAll(file, db);
        testing::writeAll(dir_ / "bad.mb", mb);
        return file;
    }
    // Writes a damaged copy and expects the reader to name it as not valid.
    void expectInvalid(const std::function<void(Bytes8&, Bytes8&)>& damage,
                       const std::string& reason) {
        const auto file = damagedCopy(damage);
        try {
            readEverything(file);
            ADD_FAILURE() << "no error for: " << reason;
        } catch (const EngineError& e) {
            std::string expect = file.string() + " is damaged (not a valid Paradox table): ";
            EXPECT_EQ(std::string(e.what()).rfind(expect, 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    // Writes a copy with a damaged blob and expects it read with that blob NULL and the
    // damage named.
    void expectDamagedBlob(const std::function<void(Bytes8&, Bytes8&)>& damage,
                           const std::string& reason) {
        const std::string found = readEverything(damagedCopy(damage));
        EXPECT_EQ(found.rfind("a blob of field Memo cannot be read: ", 0), 0u) << found;
        EXPECT_NE(found.find(reason), std::string::npos) << found;
    }
    std::size_t block(int n) const { return 0x800 + std::size_t(n - 1) * 4096; }
    testing::TempDir dir_;
    Bytes8 db_, mb_;
};

TEST_F(ParadoxMalformed, DamagedHeadersAndBlocksAreNamed) {
    using paradox::putLe16;
    expectInvalid([](Bytes8& d, Bytes8&) { d.resize(60); }, "shorter than a header");
    expectInvalid([](Bytes8& d, Bytes8&) { putLe16(d.data() + 0x21, 0); }, "field count");
    expectInvalid([](Bytes8& d, Bytes8&) { d[0x78] = 0x33; }, "unknown type");
    expectInvalid([](Bytes8& d, Bytes8&) { putLe16(d.data(), 99); }, "record size");
    expectInvalid([](Bytes8& d, Bytes8&) { d[5] = 0; }, "block size");
    expectInvalid([](Bytes8& d, Bytes8&) { d[5] = 8; }, "block size of 8 KiB");
    expectInvalid([](Bytes8& d, Bytes8&) { d[5] = 31; }, "block size of 31 KiB");
    expectInvalid([](Bytes8& d, Bytes8&) { putLe16(d.data() + 2, 0xFFFF); }, "header");
    expectInvalid([&](Bytes8& d, Bytes8&) { putLe16(d.data() + block(2), 1); }, "circle");
    expectInvalid([&](Bytes8& d, Bytes8&) { putLe16(d.data() + block(1), 9000); },
                  "outside the file");
    expectInvalid([&](Bytes8& d, Bytes8&) { putLe16(d.data() + block(1) + 4, 30000); },
                  "too many records");
    expectInvalid([&](Bytes8& d, Bytes8&) { d.resize(block(3) + 100); }, "cut off");
    // A memo pointer into nowhere, a blob block of the wrong kind, a length that disagrees.
    expectDamagedBlob(
        [&](Bytes8& d, Bytes8&) {
            paradox::putLe32(d.data() + block(1) + 6 + 16 + 4 + 2, 0x7FFF00FF);
        },
        "outside the blob file");
    expectDamagedBlob([&](Bytes8&, Bytes8& m) { m[4096] = 7; }, "holds no blob");
    expectDamagedBlob([&](Bytes8&, Bytes8& m) { paradox::putLe32(m.data() + 4096 + 3, 5); },
                      "length");
    // Record 10 has the first small memo: slot 63 of the sub-allocated block after eight whole
    // ones.
    expectDamagedBlob([&](Bytes8&, Bytes8& m) { m[9 * 4096 + 12 + 5 * 63 + 4] = 0; }, "empty slot");
    expectDamagedBlob([&](Bytes8&, Bytes8& m) { m[9 * 4096 + 12 + 5 * 63] = 250; }, "slot");
}

// A header that counts more blocks than the file holds (a file cut short) is read as far as it
// goes; a write, which would put new blocks past the end, is refused and changes nothing.
TEST_F(ParadoxMalformed, AHeaderCountingMoreBlocksThanTheFileHoldsRefusesWrites) {
    const auto file = damagedCopy([](Bytes8& d, Bytes8&) {
        paradox::putLe16(d.data() + 0x0C, std::uint16_t(paradox::le16(d.data() + 0x0C) + 40));
    });
    const auto before = testing::readAll(file);
    EXPECT_EQ(readEverything(file), "");
    auto t = Table::open(file, OpenMode::Shared);
    EXPECT_EQ(t->recordCount(), 600u);
    try {
        t->begin();
        for (int i = 0; i < 400; ++i)
            t->insert({std::int64_t(1000 + i), Value{}});
        t->commit();
        ADD_FAILURE() << "a table whose header counts missing blocks took new records";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("its header counts"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("it can be read but not changed"), std::string::npos);
    }
    t.reset();
    EXPECT_EQ(testing::readAll(file), before);
}

// A header that claims larger or smaller blocks than the file was written with: the blocks it
// then reads are named as damage (or the table as cut short), and nothing is written.
TEST_F(ParadoxMalformed, ABlockSizeTheFileWasNotWrittenWithIsNamedAndNothingIsWritten) {
    for (const int kib : {1, 2, 16, 32}) {
        SCOPED_TRACE(kib);
        const auto file = damagedCopy([&](Bytes8& d, Bytes8&) { d[5] = std::uint8_t(kib); });
        const auto before = testing::readAll(file);
        std::string problem;
        try {
            problem = readEverything(file);
        } catch (const EngineError& e) {
            problem = e.what();
        }
        EXPECT_NE(problem, "") << "a table read with the wrong block size looked sound";
        try {
            auto t = Table::open(file, OpenMode::Shared);
            t->begin();
            t->insert({std::int64_t(100000), Value{}});
            t->commit();
            ADD_FAILURE() << "a table read with the wrong block size took a record";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << e.what();
        }
        EXPECT_EQ(testing::readAll(file), before);
    }
}

TEST_F(ParadoxMalformed, EncryptedTablesAreRefusedAndLeftAlone) {
    Bytes8 db = db_;
    paradox::putLe32(db.data() + 0x5C, 0x12345678);
    auto file = dir_ / "secret.db";
    testing::writeAll(file, db);
    for (auto mode : {OpenMode::ReadOnly, OpenMode::Shared, OpenMode::Exclusive}) {
        try {
            Table::open(file, mode);
            ADD_FAILURE() << "an encrypted table opened";
        } catch (const EngineError& e) {
            EXPECT_EQ(std::string(e.what()),
                      file.string() + " is encrypted (password protected); it cannot be opened");
        }
    }
    EXPECT_EQ(testing::readAll(file), db);
}

TEST(ParadoxFuzzRegressions, EveryKeptInputReadsWithoutCrashing) {
    const std::filesystem::path dir =
        std::filesystem::path(ORN_SOURCE_DIR) / "tests/dbengine/storage/regressions";
    testing::TempDir scratch;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("paradox-", 0) != 0)
            continue;
        SCOPED_TRACE(entry.path().string());
        // Same layout as the fuzz target: [u32 LE .db length][.db][.mb], or a bare .db file.
        auto bytes = testing::readAll(entry.path());
        Bytes8 db = bytes, mb;
        if (bytes.size() >= 4) {
            std::uint32_t n = paradox::le32(bytes.data());
            if (n <= bytes.size() - 4) {
                db.assign(bytes.begin() + 4, bytes.begin() + 4 + n);
                mb.assign(bytes.begin() + 4 + n, bytes.end());
            }
        }
        testing::writeAll(scratch / "t.db", db);
        testing::writeAll(scratch / "t.mb", mb);
        try {
            readEverything(scratch / "t.db");
        } catch (const EngineError&) {
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace orn::db
