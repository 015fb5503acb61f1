// A rebuilt table is still the same table: restructure keeps the header values other programs
// rely on, refuses changes that would break the definitions beside it, and keeps every level.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <cstring>
#include <sstream>

#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/header_report.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/paradox_text.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/table_code_page.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;
using paradox::le16;
using paradox::le32;

std::vector<Record> readAll(const fs::path& file) {
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

// Copies a corpus table with its companions into `dir`; false when the corpus is absent.
bool copyCorpusTable(const std::string& rel, const fs::path& dir) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty() || !fs::exists(corpus / rel))
        return false;
    const fs::path src = corpus / rel;
    const std::string stem = src.stem().string();
    for (const auto& e : fs::directory_iterator(src.parent_path()))
        if (e.path().stem().string() == stem)
            fs::copy_file(e.path(), dir / e.path().filename());
    for (const auto& e : fs::directory_iterator(dir))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    return true;
}

// The header values of the table and its memo file that no restructure should change, as
// `orn INFO --header` shows them, minus the lines a rebuild rewrites by rule (counts of blocks
// and records, times, file sizes). Index files are checked on their own.
std::string keptHeaderLines(const fs::path& file) {
    std::ostringstream out, err;
    EXPECT_EQ(runHeaderReport(file, out, err), 0) << err.str();
    static const char* const kRewritten[] = {
        "\tnumRecords\t",        "\tnextBlock\t",      "\tfileBlocks\t", "\tfirstBlock\t",
        "\tlastBlock\t",         "\tmaxBlocks\t",      "\tindexRoot\t",  "\tindexLevels\t",
        "\tfirstFreeBlock\t",    "\tfileUpdateTime\t", "\tsize\t",       "\tupdated\t",
        "\tmodificationCount\t", "\tfreeSpace\t",      "\tnextFree\t",   "\trecords\t",
        "\ttableName\t"};
    std::istringstream in(out.str());
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        const std::string section = line.substr(0, line.find('\t'));
        const std::string ext = fs::path(section).extension().string();
        if (section != file.filename().string() && ext != ".dbt" && ext != ".DBT" &&
            ext != ".fpt" && ext != ".FPT" && ext != ".mb" && ext != ".MB")
            continue;
        // In-memory leftovers some writers keep in the descriptors (addresses, work areas).
        if (line.find(" reserved\t") != std::string::npos ||
            line.find(" place\t") != std::string::npos)
            continue;
        bool rewritten = false;
        for (const char* r : kRewritten)
            rewritten = rewritten || line.find(r) != std::string::npos;
        if (!rewritten)
            kept += line + "\n";
    }
    return kept;
}

std::vector<std::uint8_t> bytesOf(const fs::path& p) {
    auto v = testing::readAll(p);
    return {v.begin(), v.end()};
}

// ---------------------------------------------------------------------------------------------
// Paradox tables of the corpus, rebuilt through a restructure that changes nothing.

struct CorpusCase {
    const char* path;
    const char* sortOrderName;  // nullptr for 3.x tables
    int blockKiB;
};

class KeptThroughRebuild : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(KeptThroughRebuild, HeaderValuesAndRecordsStay) {
    testing::TempDir dir;
    const CorpusCase c = GetParam();
    if (!copyCorpusTable(c.path, dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path file = dir / fs::path(c.path).filename().string();
    const auto before = readAll(file);
    const std::string headerBefore = keptHeaderLines(file);
    const std::string last = Table::open(file, OpenMode::ReadOnly)->fields().back().name;
    // (the table is closed again before the restructure opens it exclusively)
    fs::path px = file;
    px.replace_extension(file.extension() == ".DB" ? ".PX" : ".px");
    const auto pxBefore = fs::exists(px) ? bytesOf(px) : std::vector<std::uint8_t>();

    restructureField(file, last, FieldChange{});

    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(keptHeaderLines(file), headerBefore);
    const auto db = bytesOf(file);
    EXPECT_EQ(db[0x05], c.blockKiB);
    paradox::Header h = paradox::parseHeader(db.data(), db.size(), file.string());
    if (c.sortOrderName) {
        EXPECT_EQ(h.sortOrderName, c.sortOrderName);
    }
    // The header names the table itself, never the temporary file it was built as.
    EXPECT_EQ(paradox::headerTableName(db), file.filename().string());
    // The primary index keeps its own block size and the value at 0x49 (not the table's).
    if (!pxBefore.empty()) {
        const auto pxAfter = bytesOf(px);
        EXPECT_EQ(pxAfter[0x05], pxBefore[0x05]);
        EXPECT_EQ(le32(pxAfter.data() + 0x49), le32(pxBefore.data() + 0x49));
    }
    // pxlib reads the rebuilt table with the same record count.
    auto theirs = test::readWithPxlib(file, paradox::tableCodePage(h));
    EXPECT_EQ(std::size_t(theirs.numRecords), before.size());
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, KeptThroughRebuild,
    ::testing::Values(CorpusCase{"open/paradox/pxdriver_db/AREACODES.DB", "DBWINUS0", 16},
                      CorpusCase{"open/paradox/pxlib/TypSammlung.DB", "ANSIINTL", 2},
                      CorpusCase{"open/paradox/dbdemos/country.db", "intl850", 2},
                      CorpusCase{"open/paradox/pxdriver_db/ROMAN8.db", "BLROM800", 2},
                      CorpusCase{"open/paradox/rparadox/of_cp866.db", "cyrr", 2},
                      CorpusCase{"open/paradox/mtdemo/FILMS.DB", nullptr, 1},
                      CorpusCase{"open/paradox/dbdemos/orders.db", "ascii", 2},
                      CorpusCase{"open/paradox/dbdemos/events.db", "ascii", 2}));

// A field added by a restructure gets an id never issued before; kept fields keep theirs.
TEST(ParadoxFieldIds, ContinuedFieldsKeepTheirIdsAndNewOnesCountOn) {
    testing::TempDir dir;
    if (!copyCorpusTable("open/paradox/dbdemos/orders.db", dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path file = dir / "orders.db";
    auto bytes = bytesOf(file);
    std::uint16_t hi = 0;
    const auto ids = paradox::parseFieldIds(bytes.data(), bytes.size(), hi);
    ASSERT_EQ(hi, 28);
    auto t = Table::open(file, OpenMode::Exclusive);
    std::vector<int> sources;
    for (std::size_t i = 0; i < t->fields().size(); ++i)
        sources.push_back(int(i));
    sources.push_back(-1);
    TableCreate layout;
    layout.fields = t->fields();
    layout.fields.push_back(makeField("Added", FieldType::Long));
    layout.keyFields = t->keyFieldCount();
    layout.version = t->version();
    layout.carried = carriedHeaderOf(*t, sources);
    t.reset();
    auto built = Table::create(dir / "built.db", TableFormat::Paradox, layout);
    built.reset();
    bytes = bytesOf(dir / "built.db");
    std::uint16_t newHi = 0;
    auto newIds = paradox::parseFieldIds(bytes.data(), bytes.size(), newHi);
    ASSERT_EQ(newIds.size(), ids.size() + 1);
    EXPECT_TRUE(std::equal(ids.begin(), ids.end(), newIds.begin()));
    EXPECT_EQ(newIds.back(), 28);
    EXPECT_EQ(newHi, 29);
    EXPECT_EQ(bytes[0x55], 2) << "the referential-integrity byte";
}

// ---------------------------------------------------------------------------------------------
// Validity checks, views, family lists and referential integrity.

class Definitions : public ::testing::Test {
  protected:
    void SetUp() override {
        TableCreate layout;
        layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 10),
                         makeField("Qty", FieldType::Short)};
        layout.keyFields = 1;
        auto t = Table::create(file(), TableFormat::Paradox, layout);
        t->insert({std::int64_t(1), std::string("one"), std::int64_t(5)});
    }
    fs::path file() const { return dir_ / "items.db"; }
    void setIntegrity(std::uint8_t value) {
        auto b = testing::readAll(file());
        b[0x55] = value;
        testing::writeAll(file(), b);
    }
    testing::TempDir dir_;
};

TEST_F(Definitions, CompanionsStayWhenTheFieldsStay) {
    testing::writeAll(dir_ / "items.VAL", {1, 2, 3});
    testing::writeAll(dir_ / "items.TV", {4, 5});
    testing::writeAll(dir_ / "items.FAM", {6});
    restructureField(file(), "Qty", FieldChange{});  // a rebuild that changes no field
    EXPECT_EQ(testing::readAll(dir_ / "items.VAL"), (std::vector<unsigned char>{1, 2, 3}));
    EXPECT_EQ(testing::readAll(dir_ / "items.TV"), (std::vector<unsigned char>{4, 5}));
    EXPECT_EQ(testing::readAll(dir_ / "items.FAM"), (std::vector<unsigned char>{6}));
}

TEST_F(Definitions, AChangeTheChecksCannotFollowIsRefusedNamingThem) {
    testing::writeAll(dir_ / "items.VAL", {1, 2, 3});
    const auto before = testing::readAll(file());
    FieldChange change;
    change.type = kEngineLong;
    try {
        restructureField(file(), "Qty", change);
        ADD_FAILURE() << "the change was made";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("items.VAL"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testing::readAll(file()), before);
    EXPECT_TRUE(fs::exists(dir_ / "items.VAL"));
    EXPECT_FALSE(fs::exists(dir_ / "~ornitems.db"));
}

TEST_F(Definitions, IntegrityByteStaysAndGuardsTheKey) {
    setIntegrity(2);
    FieldChange widen;
    widen.length = 20;
    restructureField(file(), "Name", widen);  // not a key field: allowed
    EXPECT_EQ(testing::readAll(file())[0x55], 2);
    FieldChange retype;
    retype.type = kEngineNumber;
    EXPECT_THROW(restructureField(file(), "Id", retype), EngineError);
    EXPECT_EQ(Table::open(file(), OpenMode::ReadOnly)->fields()[0].type, FieldType::Long);
}

// ---------------------------------------------------------------------------------------------
// The primary index names itself and follows the table's counters.

TEST(PrimaryIndexHeader, NamesItselfAndTiesItsCountersToTheTable) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 10)};
    layout.keyFields = 1;
    {
        auto t = Table::create(dir / "Parts.DB", TableFormat::Paradox, layout);
        for (int i = 0; i < 50; ++i)
            t->insert({std::int64_t(i), std::string("p") + std::to_string(i)});
    }
    restructureField(dir / "Parts.DB", "Name", FieldChange{});
    const auto db = bytesOf(dir / "Parts.DB");
    const auto px = bytesOf(dir / "Parts.PX");
    EXPECT_EQ(paradox::headerTableName(px), "Parts.PX");
    EXPECT_EQ(le16(px.data() + 0x12), le16(db.data() + 0x12) + 1);
    EXPECT_EQ(px[0x2C], db[0x2D]);
    EXPECT_NE(le32(db.data() + 0x60), 0u) << "fileUpdateTime";
    test::expectIndexMatchesBlocks(dir / "Parts.DB", dir / "Parts.PX");
}

// ---------------------------------------------------------------------------------------------
// New tables state the sort order other programs write with their code page.

TEST(NewTableSortOrder, Cp1252TablesSayAnsii850UnlessAnAlphaKeyNeedsByteOrder) {
    testing::TempDir dir;
    struct Case {
        const char* name;
        const char* codePage;
        int version;
        bool alphaKey;
        int keyFields;
        std::uint8_t sortOrder;
        const char* sortOrderName;
    };
    const Case cases[] = {
        {"win7.db", "CP1252", 7, false, 1, 0x11, "ANSII850"},
        {"win4.db", "CP1252", 4, false, 1, 0x11, "ANSII850"},
        {"winplain.db", "CP1252", 7, true, 0, 0x11, "ANSII850"},  // Alpha, but no key
        {"winalpha.db", "CP1252", 7, true, 1, 0x00, "ascii"},
        {"dos.db", "CP437", 5, false, 1, 0x00, "ascii"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableCreate layout;
        layout.fields = {
            c.alphaKey ? makeField("Code", FieldType::Alpha, 8) : makeField("Id", FieldType::Short),
            makeField("Name", FieldType::Alpha, 20)};
        layout.keyFields = c.keyFields;
        layout.version = c.version;
        layout.codePage = c.codePage;
        {
            auto t = Table::create(dir / c.name, TableFormat::Paradox, layout);
            t->insert({c.alphaKey ? Value(std::string("k1")) : Value(std::int64_t(1)),
                       std::string("Gr\xC3\xBC\xC3\x9F"
                                   "e")});
        }
        const auto db = bytesOf(dir / c.name);
        paradox::Header h = paradox::parseHeader(db.data(), db.size(), c.name);
        EXPECT_EQ(db[0x29], c.sortOrder);
        EXPECT_EQ(h.sortOrderName, c.sortOrderName);
        auto theirs = test::readWithPxlib(dir / c.name, c.codePage);
        ASSERT_EQ(theirs.numRecords, 1);
        EXPECT_EQ(theirs.records[0][1], Value(std::string("Gr\xC3\xBC\xC3\x9F"
                                                          "e")));
    }
    // Version 3 headers have no place for a sort order name; the byte stays 0.
    TableCreate old;
    old.fields = {makeField("Id", FieldType::Short)};
    old.version = 3;
    Table::create(dir / "old.db", TableFormat::Paradox, old).reset();
    EXPECT_EQ(bytesOf(dir / "old.db")[0x29], 0);
}

// ---------------------------------------------------------------------------------------------
// A rewritten primary index ends where its last block ends.

TEST(PrimaryIndexFile, ShrinksWithItsTree) {
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Text", FieldType::Alpha, 200)};
    layout.keyFields = 1;
    layout.blockSize = 1024;  // four records a block: 600 records need 150 blocks
    {
        auto t = Table::create(dir / "big.db", TableFormat::Paradox, layout);
        t->begin();
        for (int i = 0; i < 600; ++i)
            t->insert({std::int64_t(i), std::string("row ") + std::to_string(i)});
        t->commit();
    }
    const auto grown = fs::file_size(dir / "big.px");
    {
        auto t = Table::open(dir / "big.db", OpenMode::Shared);
        std::vector<RecordId> doomed;
        for (auto c = t->scan(); c->next();)
            if (std::get<std::int64_t>(c->value(0)) >= 3)
                doomed.push_back(c->id());
        t->begin();
        for (RecordId id : doomed)
            t->remove(id);
        t->commit();
    }
    const auto px = bytesOf(dir / "big.px");
    const std::size_t blocks = le16(px.data() + 0x0C);
    EXPECT_LT(px.size(), grown);
    EXPECT_EQ(px.size(), le16(px.data() + 0x02) + blocks * px[0x05] * 1024u);
    test::expectIndexMatchesBlocks(dir / "big.db", dir / "big.px");
    auto theirs = test::readWithPxlib(dir / "big.db", "CP1252");
    EXPECT_EQ(theirs.numRecords, 3);
}

TEST(PrimaryIndexHeader, NamesItselfWithPxWhateverTheTableNamesCase) {
    // orders.db, two.db, fmemo.db and general.db of the corpus all record "<stem>.PX".
    EXPECT_EQ(paradox::primaryIndexName("orders.db"), "orders.PX");
    EXPECT_EQ(paradox::primaryIndexName("CUSTOMER.DB"), "CUSTOMER.PX");
    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long)};
    layout.keyFields = 1;
    Table::create(dir / "parts.db", TableFormat::Paradox, layout)->insert({std::int64_t(1)});
    EXPECT_EQ(paradox::headerTableName(bytesOf(dir / "parts.px")), "parts.PX");
}

TEST(PrimaryIndexHeader, KeepsItsOwnBlockSizeThroughWrites) {
    testing::TempDir dir;
    if (!copyCorpusTable("open/paradox/pxdriver_db/AREACODES.DB", dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path file = dir / "AREACODES.DB";
    {
        auto t = Table::open(file, OpenMode::Shared);
        Record r(t->fields().size());
        r[0] = std::string("999");
        r[1] = std::string("ZZ");
        t->insert(r);
    }
    const auto px = bytesOf(dir / "AREACODES.PX");
    EXPECT_EQ(px[0x05], 2) << "the 16 KiB table's index keeps its 2 KiB blocks";
    EXPECT_EQ(bytesOf(file)[0x05], 16);
    test::expectIndexMatchesBlocks(file, dir / "AREACODES.PX");
    EXPECT_EQ(test::readWithPxlib(file, "CP1252").numRecords, 371);
}

// ---------------------------------------------------------------------------------------------
// dBASE levels, language drivers, counters and memo files.

struct DbfCase {
    const char* path;
    std::uint8_t version;
};

class DbfKeptThroughRebuild : public ::testing::TestWithParam<DbfCase> {};

TEST_P(DbfKeptThroughRebuild, LevelDriverCountersAndMemoHeaderStay) {
    testing::TempDir dir;
    const DbfCase c = GetParam();
    if (!copyCorpusTable(c.path, dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path file = dir / fs::path(c.path).filename().string();
    {
        // The first write drops the production-index flags (.mdx/.cdx are not maintained).
        auto t = Table::open(file, OpenMode::Shared);
        t->begin();
        t->commit();
    }
    const auto before = readAll(file);
    const std::string headerBefore = keptHeaderLines(file);
    const auto fields = Table::open(file, OpenMode::ReadOnly)->fields();
    restructureField(file, fields.front().name, FieldChange{});
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(keptHeaderLines(file), headerBefore);
    EXPECT_EQ(bytesOf(file)[0], c.version);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DbfKeptThroughRebuild,
                         ::testing::Values(DbfCase{"open/dbase/kladr/SOCRBASE.DBF", 0x03},
                                           DbfCase{"open/dbase/javadbf/inventory.dbf", 0x8C},
                                           DbfCase{"open/dbase/javadbf/test_delete.dbf", 0x04},
                                           DbfCase{"open/dbase/infused/dbase_31.dbf", 0x31},
                                           DbfCase{"open/dbase/dbfread/memotest.dbf", 0x30},
                                           DbfCase{"open/dbase/infused/dbase_8b.dbf", 0x8B}));

TEST(DbfRebuild, UnstatedCodePageStaysUnstatedForOtherReaders) {
    testing::TempDir dir;
    if (!copyCorpusTable("open/dbase/kladr/SOCRBASE.DBF", dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path file = dir / "SOCRBASE.DBF";
    FieldChange widen;
    widen.length = 40;
    const std::string name = Table::open(file, OpenMode::ReadOnly)->fields()[1].name;
    restructureField(file, name, widen);
    EXPECT_EQ(bytesOf(file)[29], 0);
    DBFHandle h = DBFOpen(file.c_str(), "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(DBFGetRecordCount(h), 148);
    EXPECT_EQ(DBFGetFieldInfo(h, 1, nullptr, nullptr, nullptr), FTString);
    int width = 0;
    DBFGetFieldInfo(h, 1, nullptr, &width, nullptr);
    EXPECT_EQ(width, 40);
    DBFClose(h);
}

TEST(DbfLevel7, AutoincrementCounterInTheDescriptorIsTheSource) {
    testing::TempDir dir;
    if (!copyCorpusTable("open/dbase/javadbf/inventory.dbf", dir.path()))
        GTEST_SKIP() << "corpus not found";
    const fs::path file = dir / "inventory.dbf";
    const std::size_t counter = 68 + 0x2A;  // the first field, "Item ID"
    ASSERT_EQ(le32(bytesOf(file).data() + counter), 13u);
    auto t = Table::open(file, OpenMode::Shared);
    Record r(t->fields().size());
    t->insert(r);
    EXPECT_EQ(le32(bytesOf(file).data() + counter), 14u);
    r[0] = std::int64_t(40);  // an explicit number moves the counter past it
    t->insert(r);
    EXPECT_EQ(le32(bytesOf(file).data() + counter), 41u);
    t->insert(Record(t->fields().size()));
    std::vector<std::int64_t> ids;
    for (auto c = t->scan(); c->next();)
        ids.push_back(std::get<std::int64_t>(c->value(0)));
    EXPECT_EQ(std::vector<std::int64_t>(ids.end() - 3, ids.end()),
              (std::vector<std::int64_t>{13, 40, 41}));
}

TEST(DbfLevel7, NewTablesOfLevel7HoldTheirTypes) {
    testing::TempDir dir;
    TableCreate layout;
    layout.version = 7;
    layout.codePage = "CP1252";
    layout.fields = {makeField("Number", FieldType::AutoInc),
                     makeField("A long descriptive name", FieldType::Alpha, 30),
                     makeField("Count", FieldType::Long),
                     makeField("Ratio", FieldType::Number, 0, 0, 'O'),
                     makeField("Stamp", FieldType::Timestamp),
                     makeField("Notes", FieldType::Memo),
                     makeField("Image", FieldType::Blob)};
    {
        auto t = Table::create(dir / "seven.dbf", TableFormat::DBase, layout);
        t->insert({Value{}, std::string("first"), std::int64_t(-5), -2.5, Timestamp{6.3e13},
                   std::string("a note"), Bytes{1, 2, 3}});
        t->insert({Value{}, std::string("second"), Value{}, Value{}, Value{}, Value{}, Value{}});
    }
    const auto b = bytesOf(dir / "seven.dbf");
    EXPECT_EQ(b[0], 0x8C);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 0x20)), "DBWINUS0");
    EXPECT_EQ(le32(b.data() + 68 + 0x2A), 3u);
    const auto rows = readAll(dir / "seven.dbf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], Value(std::int64_t(1)));
    EXPECT_EQ(rows[1][0], Value(std::int64_t(2)));
    EXPECT_EQ(rows[0][2], Value(std::int64_t(-5)));
    EXPECT_EQ(rows[0][3], Value(-2.5));
    EXPECT_EQ(rows[0][4], Value(Timestamp{6.3e13}));
    EXPECT_EQ(rows[0][5], Value(std::string("a note")));
    EXPECT_EQ(rows[0][6], Value(Bytes{1, 2, 3}));
    auto t = Table::open(dir / "seven.dbf", OpenMode::ReadOnly);
    EXPECT_EQ(t->fields()[1].name, "A long descriptive name");
    EXPECT_EQ(t->version(), 0x8C);
}

}  // namespace
}  // namespace orn::db
