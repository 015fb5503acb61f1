// Alpha keys under the tables' own sort orders: what the keyed tables of other programs show of
// the national orders, keys placed by them, and orders ORN does not know.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "dbengine/storage/codepage.h"
#include "dbengine/storage/companion.h"
#include "dbengine/storage/paradox_collation.h"
#include "dbengine/storage/paradox_header.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/restructure.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

namespace fs = std::filesystem;
using paradox::KeyOrder;
using paradox::kUndecided;

using Bytes = std::vector<unsigned char>;

// The header and the records of a .db file in chain order, read here without the engine.
struct RawTable {
    paradox::Header h;
    std::vector<Bytes> records;
};

RawTable readRaw(const fs::path& file) {
    const Bytes d = testing::readAll(file);
    RawTable t;
    t.h = paradox::parseHeader(d.data(), d.size(), file.filename().string());
    const std::size_t bs = std::size_t(t.h.blockSize());
    std::set<int> seen;
    for (int b = t.h.firstBlock; b != 0 && seen.insert(b).second;) {
        const std::size_t at = t.h.headerSize + std::size_t(b - 1) * bs;
        if (at + 6 > d.size())
            break;
        const int add = std::int16_t(d[at + 4] | (d[at + 5] << 8));
        const int n = add < 0 ? 0 : add / t.h.recordSize + 1;
        for (int i = 0; i < n; ++i) {
            const std::size_t r = at + 6 + std::size_t(i) * t.h.recordSize;
            if (r + t.h.recordSize <= d.size())
                t.records.emplace_back(d.begin() + long(r), d.begin() + long(r + t.h.recordSize));
        }
        b = d[at] | (d[at + 1] << 8);
    }
    return t;
}

// The entries of every block of a .px, block by block (entries inside a block are in order).
std::vector<std::vector<Bytes>> pxBlocks(const fs::path& px, std::size_t entrySize) {
    const Bytes d = testing::readAll(px);
    std::vector<std::vector<Bytes>> out;
    if (d.size() < 0x58)
        return out;
    const std::size_t hs = d[2] | (d[3] << 8);
    const std::size_t bs = std::size_t(d[5]) * 1024;
    for (std::size_t at = hs; bs && at + 6 <= d.size(); at += bs) {
        const int add = std::int16_t(d[at + 4] | (d[at + 5] << 8));
        std::vector<Bytes> entries;
        for (int i = 0; add >= 0 && i <= add / int(entrySize); ++i) {
            const std::size_t e = at + 6 + std::size_t(i) * entrySize;
            if (e + entrySize <= d.size())
                entries.emplace_back(d.begin() + long(e), d.begin() + long(e + entrySize));
        }
        out.push_back(std::move(entries));
    }
    return out;
}

std::string keyText(const Bytes& rec, std::size_t keySize) {
    std::string s;
    for (std::size_t i = 0; i < keySize; ++i)
        s += rec[i] >= 0x20 && rec[i] < 0x7F ? char(rec[i]) : '.';
    return s;
}

std::size_t keySizeOf(const paradox::Header& h) {
    std::size_t n = 0;
    for (int i = 0; i < h.keyFields; ++i)
        n += std::size_t(h.fields[std::size_t(i)].width);
    return n;
}

int compareAlpha(const char* a, const char* b, std::size_t width = 8) {
    std::string x(a), y(b);
    x.resize(width, '\0');
    y.resize(width, '\0');
    return paradox::compareNationalAlpha(reinterpret_cast<const std::uint8_t*>(x.data()),
                                         reinterpret_cast<const std::uint8_t*>(y.data()), width);
}

TEST(ParadoxSortOrder, OnlyWhatEveryOrderAgreesOnIsDecided) {
    EXPECT_EQ(compareAlpha("Chile", "Colombia"), -1);
    EXPECT_EQ(compareAlpha("ab", "abc"), -1);                // the shorter value first
    EXPECT_EQ(compareAlpha("ab9", "ab"), 1);                 // ... against a digit too
    EXPECT_EQ(compareAlpha("ab", "ab-"), kUndecided);        // punctuation may be ignored
    EXPECT_EQ(compareAlpha("a2", "a10"), 1);                 // digit by digit, not by number
    EXPECT_EQ(compareAlpha("Banana", "apple"), kUndecided);  // capital against small
    EXPECT_EQ(compareAlpha("b", "A"), kUndecided);
    EXPECT_EQ(compareAlpha("9", "A"), kUndecided);
    EXPECT_EQ(compareAlpha("\xe9t\xe9", "ete"), kUndecided);  // accents
    EXPECT_EQ(compareAlpha("Zo\xe9", "Zu"), -1);              // decided before the accent
    EXPECT_EQ(compareAlpha("a b", "a-b"), kUndecided);
    // What follows the end of a value is padding, whatever it holds.
    std::string x("ab\0zz\0\0\0", 8), y("ab\0qq\0\0\0", 8);
    EXPECT_EQ(paradox::compareNationalAlpha(reinterpret_cast<const std::uint8_t*>(x.data()),
                                            reinterpret_cast<const std::uint8_t*>(y.data()), 8),
              0);

    // A key of a number then an Alpha field under an order ORN does not know: the number decides
    // where it differs, equal Alpha values are equal, and nothing else is decided.
    paradox::Header h;
    h.sortOrderName = "zzzz850";
    h.fields = {{paradox::kShort, 2, 2, 0, "N"}, {paradox::kAlpha, 4, 4, 2, "A"}};
    const KeyOrder unknown(h, h.fields, 2);
    EXPECT_EQ(unknown.kind(), KeyOrder::Kind::Unknown);
    EXPECT_EQ(unknown.bytewisePrefix(), 2u);
    const std::uint8_t k1[] = {0x80, 1, 'a', 0, 0, 0}, k2[] = {0x80, 2, 'A', 0, 0, 0},
                       k3[] = {0x80, 1, 'b', 0, 0, 0}, k4[] = {0x80, 1, 'a', 0, 'x', 0};
    EXPECT_EQ(unknown.compare(k1, k2), -1);
    EXPECT_EQ(unknown.compare(k1, k3), kUndecided);
    EXPECT_EQ(unknown.compare(k1, k4), 0);
    // The same key under "ascii" is byte order throughout, and a key without Alpha fields is
    // byte order under any sort order.
    h.sortOrderName = "ASCII";
    EXPECT_TRUE(KeyOrder(h, h.fields, 2).bytewise());
    h.sortOrderName = "intl850";
    EXPECT_EQ(KeyOrder(h, h.fields, 2).kind(), KeyOrder::Kind::National);
    EXPECT_TRUE(KeyOrder(h, h.fields, 1).bytewise());
    // Tables before level 4 name their order by number only.
    h.sortOrderName.clear();
    h.sortOrder = 0xC0;
    const KeyOrder numbered(h, h.fields, 2);
    EXPECT_EQ(numbered.kind(), KeyOrder::Kind::Unknown);
    EXPECT_EQ(numbered.name(), "number 0xC0");
}

// Every neighbouring pair of keys along the chains and inside the .px blocks of the corpus's
// keyed tables with national orders is decided, and decided the way the other program put it.
TEST(ParadoxSortOrder, TheKnownPartOfEachNationalOrderHoldsForEveryPairInTheCorpus) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    std::map<std::string, int> pairsByOrder;
    for (const auto& e : fs::recursive_directory_iterator(corpus / "open" / "paradox")) {
        if (!e.is_regular_file() || asciiLower(e.path().extension().string()) != ".db")
            continue;
        RawTable t;
        try {
            t = readRaw(e.path());
        } catch (const EngineError&) {
            continue;  // encrypted or damaged on purpose
        }
        const KeyOrder order(t.h);
        if (t.h.keyFields == 0 || order.kind() != KeyOrder::Kind::National)
            continue;
        SCOPED_TRACE(e.path().filename().string());
        const std::size_t keySize = keySizeOf(t.h);
        int& pairs = pairsByOrder[asciiLower(order.name())];
        for (std::size_t i = 1; i < t.records.size(); ++i, ++pairs)
            EXPECT_EQ(order.compare(t.records[i - 1].data(), t.records[i].data()), -1)
                << keyText(t.records[i - 1], keySize) << " / " << keyText(t.records[i], keySize);
        if (const auto px = findCompanion(e.path(), ".px")) {
            for (const auto& block : pxBlocks(*px, keySize + 6))
                for (std::size_t i = 1; i < block.size(); ++i, ++pairs)
                    EXPECT_EQ(order.compare(block[i - 1].data(), block[i].data()), -1)
                        << keyText(block[i - 1], keySize) << " / " << keyText(block[i], keySize);
        }
    }
    for (const auto& [name, pairs] : pairsByOrder)
        std::cout << "[ sort order ] " << name << ": " << pairs << " pairs checked\n";
    for (const char* name : {"intl850", "ansiintl", "dbwinus0"})
        EXPECT_GT(pairsByOrder[name], 0) << name << " has no keyed table with data in the corpus";
}

struct NationalTable {
    const char* path;
    const char* order;
    const char* codePage;
};

const NationalTable kNationalTables[] = {
    {"open/paradox/dbdemos/country.db", "intl850", "CP850"},
    {"open/paradox/pxdriver_db/AREACODES.DB", "DBWINUS0", "CP1252"},
    {"open/paradox/pxlib/TypSammlung.DB", "ANSIINTL", "CP1252"},
};

// A copy of a corpus table with its companions in `dir`.
fs::path copyTable(const fs::path& from, const fs::path& dir) {
    fs::copy_file(from, dir / from.filename());
    for (const auto& c : findCompanions(from, [](std::string_view) { return true; }))
        fs::copy_file(c, dir / c.filename());
    return dir / from.filename();
}

using test::recordsOf;
using test::rowText;

// The records of other programs, deleted and put back in a shuffled order, stand where those
// programs had them, and the rebuilt index lists them as its lowest level must.
TEST(ParadoxSortOrder, RecordsPutBackInAnyOrderStandWhereTheOtherProgramHadThem) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    for (const auto& nt : kNationalTables) {
        SCOPED_TRACE(nt.path);
        testing::TempDir dir;
        const fs::path file = copyTable(corpus / nt.path, dir.path());
        const RawTable before = readRaw(file);
        std::vector<Record> records;
        {
            auto t = Table::open(file, OpenMode::Shared);
            records = recordsOf(*t);
            t->begin();
            std::vector<RecordId> ids;
            for (auto c = t->scan(); c->next();)
                ids.push_back(c->id());
            for (RecordId id : ids)
                t->remove(id);
            t->commit();
            ASSERT_EQ(t->recordCount(), 0u);
            std::vector<Record> shuffled = records;
            std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
            t->begin();
            for (const auto& r : shuffled)
                t->insert(r);
            t->commit();
        }
        const RawTable after = readRaw(file);
        EXPECT_EQ(after.h.sortOrderName, nt.order);
        ASSERT_EQ(after.records.size(), before.records.size());
        const std::size_t keySize = keySizeOf(before.h);
        for (std::size_t i = 0; i < after.records.size(); ++i)
            EXPECT_EQ(keyText(after.records[i], keySize), keyText(before.records[i], keySize))
                << "record " << i;
        auto again = Table::open(file, OpenMode::ReadOnly);
        const auto back = recordsOf(*again);
        ASSERT_EQ(back.size(), records.size());
        for (std::size_t i = 0; i < back.size(); ++i)
            EXPECT_EQ(rowText(back[i]), rowText(records[i])) << "record " << i;
        test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));
    }
}

// Random keys of capitals, small letters, digits, accented letters and punctuation: each insert
// either goes where the known part of the order puts it or is refused naming the order; the
// chain stays in order and pxlib reads what was written.
TEST(ParadoxSortOrder, RandomKeysAreEitherPlacedInOrderOrRefused) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    const std::string alphabet = "abcxyzABCXYZ0129 -\xe9\xc9\xfc";  // cp1252 / cp850 mixed
    for (const auto& nt : kNationalTables) {
        SCOPED_TRACE(nt.path);
        testing::TempDir dir;
        const fs::path file = copyTable(corpus / nt.path, dir.path());
        std::mt19937 rng(11);
        int placed = 0, refused = 0;
        std::set<std::string> keys;
        {
            auto t = Table::open(file, OpenMode::Shared);
            t->begin();
            std::vector<RecordId> ids;
            for (auto c = t->scan(); c->next();)
                ids.push_back(c->id());
            for (RecordId id : ids)
                t->remove(id);
            t->commit();
            const std::size_t width = std::min<std::size_t>(5, std::size_t(t->fields()[0].size));
            t->begin();  // a refused insert changes nothing, and the transaction goes on
            for (int n = 0; n < 300; ++n) {
                std::string k;
                const std::size_t len = 1 + rng() % width;
                // Mostly one case, so that most keys can be placed.
                const bool plain = rng() % 4 != 0;
                for (std::size_t i = 0; i < len; ++i)
                    k += plain ? alphabet[rng() % 6] : alphabet[rng() % alphabet.size()];
                while (!k.empty() && k.back() == ' ')
                    k.pop_back();
                if (k.empty() || !keys.insert(k).second)
                    continue;
                Record r(t->fields().size());
                r[0] = CodePage(nt.codePage).toUtf8(k);
                if (t->keyFieldCount() > 1)
                    r[1] = double(n);
                const auto count = t->recordCount();
                try {
                    t->insert(r);
                    ++placed;
                } catch (const KeyViolation&) {
                    ADD_FAILURE() << "distinct keys collide: " << k;
                } catch (const EngineError& e) {
                    ++refused;
                    EXPECT_NE(std::string(e.what()).find(nt.order), std::string::npos) << e.what();
                    EXPECT_EQ(t->recordCount(), count);
                    keys.erase(k);
                }
            }
            t->commit();
            EXPECT_EQ(t->recordCount(), std::uint64_t(placed));
        }
        EXPECT_GT(placed, 80);
        EXPECT_GT(refused, 10);
        const RawTable raw = readRaw(file);
        const KeyOrder order(raw.h);
        ASSERT_EQ(raw.records.size(), std::size_t(placed));
        const std::size_t keySize = keySizeOf(raw.h);
        for (std::size_t i = 1; i < raw.records.size(); ++i)
            EXPECT_EQ(order.compare(raw.records[i - 1].data(), raw.records[i].data()), -1)
                << keyText(raw.records[i - 1], keySize) << " / "
                << keyText(raw.records[i], keySize);
        test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));

        std::multiset<std::string> ours, theirs;
        {
            auto t = Table::open(file, OpenMode::ReadOnly);
            for (auto c = t->scan(); c->next();)
                ours.insert(valueText(c->value(0)));
        }
        const auto px = test::readWithPxlib(file, nt.codePage);
        EXPECT_EQ(px.numRecords, placed);
        for (const auto& r : px.records)
            theirs.insert(valueText(r[0]));
        EXPECT_EQ(theirs, ours);
    }
}

// A restructure (PACK, a field made longer) keeps the national order in the header and the
// records where the other program had them; a table whose key gets its first Alpha field had
// nothing placed by its order and states "ascii", the order ORN then keeps its keys in.
TEST(ParadoxSortOrder, RestructuresKeepTheOrderTheKeysAreIn) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    for (const auto& nt : kNationalTables) {
        SCOPED_TRACE(nt.path);
        testing::TempDir dir;
        const fs::path file = copyTable(corpus / nt.path, dir.path());
        const RawTable before = readRaw(file);
        packTable(file);
        auto t = Table::open(file, OpenMode::ReadOnly);
        const std::string second = t->fields()[1].name;
        t.reset();
        if (before.h.fields[1].code == paradox::kAlpha) {
            FieldChange longer;
            longer.length = std::uint16_t(before.h.fields[1].size + 2);
            restructureField(file, second, longer);
        }
        const RawTable after = readRaw(file);
        EXPECT_EQ(after.h.sortOrderName, nt.order);
        EXPECT_EQ(after.h.sortOrder, before.h.sortOrder);
        ASSERT_EQ(after.records.size(), before.records.size());
        const std::size_t keySize = keySizeOf(before.h);
        for (std::size_t i = 0; i < after.records.size(); ++i)
            EXPECT_EQ(keyText(after.records[i], keySize), keyText(before.records[i], keySize));
        test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));
    }

    testing::TempDir dir;
    TableCreate layout;
    layout.fields = {makeField("Name", FieldType::Alpha, 10), makeField("N", FieldType::Long)};
    layout.codePage = "CP1252";
    const fs::path file = dir / "people.db";
    {
        auto t = Table::create(file, TableFormat::Paradox, layout);
        for (const char* name : {"smith", "Adams", "b\xe9la", "Zoe"})
            t->insert({CodePage("CP1252").toUtf8(name), std::int64_t{1}});
    }
    EXPECT_EQ(readRaw(file).h.sortOrderName, "ANSII850");
    addPrimaryIndex(file, {"Name"});
    const RawTable keyed = readRaw(file);
    EXPECT_EQ(keyed.h.sortOrderName, "ascii");
    std::vector<std::string> names;
    for (const auto& r : keyed.records)
        names.push_back(keyText(r, 10));
    EXPECT_EQ(names,
              (std::vector<std::string>{"Adams.....", "Zoe.......", "b.la......", "smith....."}));
}

// Keys whose order the known part of a national order leaves undecided (a capital against a
// small letter; every pair under an order ORN does not know) stand where the other program put
// them. PACK and a restructure that keeps the key values (a field outside the key changed, the
// Alpha key field made wider) copy them in that order; one that changes the key has to place
// them anew and refuses, leaving the table as it was.
TEST(ParadoxSortOrder, CopiesThatKeepTheKeyKeepUndecidedNeighboursWhereTheyStand) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    const struct {
        const char* what;
        std::string from, to;  // bytes replaced in the .db
        const char* order;
    } cases[] = {
        {"a small letter between capitals", std::string("Cuba\0", 5), std::string("cuba\0", 5),
         "intl850"},
        {"an order ORN does not know", "intl850", "zzzz850", "zzzz850"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testing::TempDir dir;
        const fs::path file = copyTable(corpus / kNationalTables[0].path, dir.path());
        {
            Bytes d = testing::readAll(file);
            auto it = std::search(d.begin(), d.end(), c.from.begin(), c.from.end());
            ASSERT_NE(it, d.end());
            std::copy(c.to.begin(), c.to.end(), it);
            testing::writeAll(file, d);
        }
        const RawTable before = readRaw(file);
        const std::size_t keySize = keySizeOf(before.h);
        std::string key, other;
        {
            auto t = Table::open(file, OpenMode::ReadOnly);
            key = t->fields()[0].name;
            other = t->fields()[1].name;
        }
        auto expectKeysAsBefore = [&] {
            const RawTable after = readRaw(file);
            EXPECT_EQ(after.h.sortOrderName, c.order);
            ASSERT_EQ(after.records.size(), before.records.size());
            for (std::size_t i = 0; i < after.records.size(); ++i)
                EXPECT_EQ(keyText(after.records[i], keySize), keyText(before.records[i], keySize));
            test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));
        };
        EXPECT_EQ(packTable(file), std::vector<std::string>{});
        expectKeysAsBefore();
        FieldChange longer;
        longer.length = std::uint16_t(before.h.fields[1].size + 4);
        restructureField(file, other, longer);
        expectKeysAsBefore();
        longer.length = std::uint16_t(before.h.fields[0].size + 4);
        restructureField(file, key, longer);
        expectKeysAsBefore();

        const Bytes kept = testing::readAll(file);
        try {
            addPrimaryIndex(file, {key, other});
            ADD_FAILURE() << "keys placed by comparisons the order leaves undecided";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(c.order), std::string::npos) << e.what();
        }
        EXPECT_EQ(testing::readAll(file), kept);
    }
}

// An update that moves a key under a national order goes where the known part of the order
// puts it, or is refused before anything changes.
TEST(ParadoxSortOrder, UpdatesMoveKeysOnlyWhereTheOrderIsKnown) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    testing::TempDir dir;
    const fs::path file = copyTable(corpus / kNationalTables[0].path, dir.path());
    auto t = Table::open(file, OpenMode::Shared);
    auto idOf = [&](const std::string& name) {
        for (auto c = t->scan(); c->next();)
            if (valueText(c->value(0)) == name)
                return c->id();
        ADD_FAILURE() << name << " not found";
        return RecordId{0};
    };
    Record r = t->read(idOf("Chile"));
    r[0] = std::string("Zambia");
    t->update(idOf("Chile"), r);
    const Bytes before = testing::readAll(file);
    r = t->read(idOf("Cuba"));
    r[0] = std::string("cuba");
    try {
        t->update(idOf("Cuba"), r);
        ADD_FAILURE() << "a key placed by an undecided comparison";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("intl850"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testing::readAll(file), before);
    t.reset();
    const RawTable raw = readRaw(file);
    ASSERT_EQ(raw.records.size(), 18u);
    EXPECT_EQ(keyText(raw.records.back(), 6), "Zambia");
    EXPECT_EQ(keyText(raw.records[4], 5), "Colom");
    test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));
}

// A sort order ORN does not know: the table reads and is searched right, records can be deleted
// and changed outside the key, and only writes that must place a key are refused.
TEST(ParadoxSortOrder, AnUnknownOrderReadsButRefusesToPlaceKeys) {
    const fs::path corpus = testing::corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    testing::TempDir dir;
    const fs::path file = copyTable(corpus / kNationalTables[0].path, dir.path());
    {
        Bytes d = testing::readAll(file);
        const std::string from = "intl850", to = "zzzz850";
        auto it = std::search(d.begin(), d.end(), from.begin(), from.end());
        ASSERT_NE(it, d.end());
        std::copy(to.begin(), to.end(), it);
        testing::writeAll(file, d);
    }
    auto t = Table::open(file, OpenMode::Shared);
    const auto records = recordsOf(*t);
    ASSERT_EQ(records.size(), 18u);
    // A lookup by key finds the record even though the order is not known.
    t->startStatement();
    auto c = t->range({std::string("Canada")}, true, {std::string("Canada")}, true);
    int found = 0;
    while (c->next())
        found += valueText(c->value(0)) == "Canada" ? 1 : 0;
    EXPECT_EQ(found, 1);

    const Bytes before = testing::readAll(file);
    Record fresh = records[0];
    fresh[0] = std::string("Aruba");
    try {
        t->insert(fresh);
        ADD_FAILURE() << "a key was placed under an unknown order";
    } catch (const EngineError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("zzzz850"), std::string::npos) << what;
        EXPECT_NE(what.find("does not know"), std::string::npos) << what;
    }
    EXPECT_EQ(testing::readAll(file), before);

    // Changing a field outside the key and deleting need no placing.
    RecordId first = 0, last = 0;
    for (auto s = t->scan(); s->next();)
        (first == 0 ? first : last) = s->id();
    Record changed = records[0];
    changed[1] = std::string("Somewhere else");
    t->update(first, changed);
    changed[0] = std::string("Argentinia");
    EXPECT_THROW(t->update(first, changed), EngineError);
    t->remove(last);
    t.reset();
    auto again = Table::open(file, OpenMode::ReadOnly);
    const auto after = recordsOf(*again);
    ASSERT_EQ(after.size(), 17u);
    EXPECT_EQ(valueText(after[0][0]), "Argentina");
    EXPECT_EQ(valueText(after[0][1]), "Somewhere else");
    test::expectIndexMatchesBlocks(file, *findCompanion(file, ".px"));
}

}  // namespace
}  // namespace orn::db
