// Every dBASE table of the corpus of real files opens and agrees with MANIFEST.tsv and, where
// shapelib can read it, with shapelib value for value.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "dbengine/storage/dbase_table.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

struct ManifestRow {
    std::string path, version, fieldTypes, codePage, notes;
    long records = 0;
    long fields = 0;
};

std::vector<ManifestRow> dbaseTables(const std::filesystem::path& corpus) {
    std::vector<ManifestRow> rows;
    std::ifstream in(corpus / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        std::string col;
        while (std::getline(ss, col, '\t'))
            cols.push_back(col);
        if (cols.size() < 17 || cols[2] != "dBASE table (.dbf)")
            continue;
        ManifestRow r;
        r.path = cols[1];
        r.version = cols[3];
        r.records = std::stol(cols[4]);
        r.fields = std::stol(cols[5]);
        r.fieldTypes = cols[6];
        r.codePage = cols[7];
        r.notes = cols[16];
        rows.push_back(r);
    }
    return rows;
}

long noteNumber(const std::string& notes, const std::string& word) {
    std::smatch m;
    if (std::regex_search(notes, m, std::regex(word + " (\\d+)")))
        return std::stol(m[1]);
    return 0;
}

class DBaseCorpus : public ::testing::Test {
  protected:
    void SetUp() override {
        corpus_ = testing::corpusDir();
        if (corpus_.empty())
            GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    }
    std::filesystem::path corpus_;
};

TEST_F(DBaseCorpus, EveryTableOpensWithTheManifestCountsAndReadsToTheEnd) {
    auto rows = dbaseTables(corpus_);
    ASSERT_GE(rows.size(), 20u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        auto file = corpus_ / row.path;
        std::unique_ptr<Table> t;
        ASSERT_NO_THROW(t = Table::open(file, OpenMode::ReadOnly));
        auto& d = dynamic_cast<dbase::DBaseTable&>(*t);
        EXPECT_EQ(d.slotCount(), static_cast<std::uint64_t>(row.records));
        // Manifest "live" counts records flagged 0x20; other flag bytes count as live here.
        long live = noteNumber(row.notes, "live") + noteNumber(row.notes, "other flag");
        EXPECT_EQ(t->recordCount(), static_cast<std::uint64_t>(live));
        std::set<char> letters;
        for (const auto& f : t->fields())
            letters.insert(f.letter);
        std::size_t hidden = row.fieldTypes.find('0') != std::string::npos ? 1 : 0;
        if (hidden)
            letters.insert('0');
        EXPECT_EQ(static_cast<long>(t->fields().size() + hidden), row.fields);
        EXPECT_EQ(std::string(letters.begin(), letters.end()), row.fieldTypes);
        std::smatch m;
        if (std::regex_search(row.codePage, m, std::regex("LDID 0x([0-9A-F]{2}) -> (\\d+)"))) {
            EXPECT_EQ(d.languageDriver(), std::stoi(m[1], nullptr, 16));
            if (m[2] != "620") {
                EXPECT_EQ(d.codePage(), "CP" + std::string(m[2]));
            }
        }
        std::uint64_t seen = 0;
        auto cursor = t->scan();
        while (cursor->next()) {
            for (std::size_t i = 0; i < t->fields().size(); ++i) {
                ASSERT_NO_THROW(valueText(cursor->value(i))) << "record " << cursor->id();
            }
            ++seen;
        }
        EXPECT_EQ(seen, t->recordCount());
    }
}

TEST_F(DBaseCorpus, KnownValuesOfTheCorpus) {
    auto open = [&](const std::string& p) { return Table::open(corpus_ / p, OpenMode::ReadOnly); };
    auto cars = open("open/dbase/dans_foxpro26/cars.DBF");  // memo file spelled cars.FPT
    auto first = cars->read(1);
    EXPECT_EQ(first[0], Value{std::string("PASSAT")});
    EXPECT_EQ(std::get<std::string>(first[5]).rfind("THIS IS A DESCRIPTION OF PASSAT", 0), 0u);
    EXPECT_EQ(valueText(cars->read(2)[4]), "333.444");

    auto memotest = open("open/dbase/dbfread/memotest.dbf");  // .FPT, one deleted record
    std::vector<std::string> names;
    auto c = memotest->scan();
    while (c->next())
        names.push_back(valueText(c->value(0)) + "|" + valueText(c->value(2)));
    EXPECT_EQ(names, (std::vector<std::string>{"Alice|Alice memo", "Bob|Bob memo"}));

    auto cyr = open("open/dbase/infused/cp1251.dbf");
    EXPECT_EQ(cyr->read(2)[1], Value{std::string("больничное")});

    auto inventory = open("open/dbase/javadbf/inventory.dbf");  // dBASE 7, big-endian I and +
    auto inv = inventory->read(1);
    EXPECT_EQ(inv[0], Value{std::int64_t{1}});
    EXPECT_EQ(inv[2], Value{std::string("Dartboard")});
    EXPECT_EQ(inv[3], Value{std::int64_t{53}});
    ASSERT_TRUE(std::holds_alternative<Bytes>(inv[4]));
    const Bytes& picture = std::get<Bytes>(inv[4]);
    ASSERT_GE(picture.size(), 3u);
    EXPECT_EQ(std::string(picture.begin(), picture.begin() + 3),
              "GIF");  // no desktop engine prefix

    auto autoinc = open("open/dbase/infused/dbase_31.dbf");
    EXPECT_EQ(autoinc->read(77)[0], Value{std::int64_t{77}});
    EXPECT_EQ(valueText(autoinc->read(1)[5]), "18");  // currency

    auto varchar = open("open/dbase/infused/dbase_32.dbf");
    EXPECT_EQ(varchar->read(1)[0], Value{std::string("Bad Meets Evil")});

    auto numbers = open("open/dbase/javadbf/numbers2.dbf");
    EXPECT_EQ(valueText(numbers->read(3)[0]), "193786");
    EXPECT_EQ(valueText(numbers->read(1)[5]), "2024-01-18 19:54:47");
}

TEST_F(DBaseCorpus, ValuesAgreeWithShapelibWhereItReadsTheFile) {
    int compared = 0;
    for (const auto& row : dbaseTables(corpus_)) {
        // shapelib knows the classic 32-byte layout without the Visual FoxPro backlink.
        if (row.version.rfind("0x03", 0) != 0 && row.version.rfind("0x83", 0) != 0 &&
            row.version.rfind("0x8B", 0) != 0 && row.version.rfind("0xF5", 0) != 0) {
            continue;
        }
        SCOPED_TRACE(row.path);
        auto file = corpus_ / row.path;
        auto t = Table::open(file, OpenMode::ReadOnly);
        auto& d = dynamic_cast<dbase::DBaseTable&>(*t);
        DBFHandle h = DBFOpen(file.c_str(), "rb");
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(static_cast<std::uint64_t>(DBFGetRecordCount(h)), d.slotCount());
        ASSERT_EQ(static_cast<std::size_t>(DBFGetFieldCount(h)), t->fields().size());
        for (int r = 0; r < DBFGetRecordCount(h); ++r) {
            RecordId id = static_cast<RecordId>(r + 1);
            ASSERT_EQ(DBFIsRecordDeleted(h, r) != 0, d.isDeleted(id));
            if (d.isDeleted(id))
                continue;
            Record rec = t->read(id);
            for (int i = 0; i < DBFGetFieldCount(h); ++i) {
                const Value& v = rec[static_cast<std::size_t>(i)];
                char type = DBFGetNativeFieldType(h, i);
                if (type == 'N' || type == 'F') {
                    if (isBlank(v))
                        continue;
                    // numbers with more digits than a double keeps come as exact decimals
                    double mine = std::holds_alternative<std::int64_t>(v)
                                      ? double(std::get<std::int64_t>(v))
                                  : std::holds_alternative<Decimal>(v)
                                      ? std::strtod(std::get<Decimal>(v).text.c_str(), nullptr)
                                      : std::get<double>(v);
                    EXPECT_DOUBLE_EQ(DBFReadDoubleAttribute(h, r, i), mine);
                    ++compared;
                } else if (type == 'C') {
                    std::string theirs = DBFReadStringAttribute(h, r, i);
                    bool ascii =
                        std::all_of(theirs.begin(), theirs.end(), [](char ch) { return ch > 0; });
                    if (!ascii)
                        continue;
                    std::string mine = isBlank(v) ? "" : std::get<std::string>(v);
                    mine.erase(0, mine.find_first_not_of(' ') == std::string::npos
                                      ? mine.size()
                                      : mine.find_first_not_of(' '));
                    EXPECT_EQ(theirs, mine) << "record " << id << " field " << i;
                    ++compared;
                } else if (type == 'D' && !isBlank(v)) {
                    EXPECT_EQ(std::string(DBFReadStringAttribute(h, r, i)).substr(0, 4),
                              valueText(v).substr(0, 4));
                    ++compared;
                }
            }
        }
        DBFClose(h);
    }
    EXPECT_GT(compared, 10000);
}

}  // namespace
}  // namespace orn::db
