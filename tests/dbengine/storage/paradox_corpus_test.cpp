// Every Paradox table of the corpus of real files opens, and agrees with the manifest and with
// pxlib on record counts, field types and values.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "dbengine/storage/formats.h"
#include "dbengine/storage/inspect.h"
#include "dbengine/storage/paradox_codec.h"
#include "dbengine/storage/paradox_table.h"
#include "dbengine/storage/paradox_text.h"
#include "dbengine/storage/value_text.h"
#include "paradox_test_support.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

struct ManifestRow {
    std::string path, format, records, fields, types, referenceRead;
};

std::vector<ManifestRow> paradoxTables(const std::filesystem::path& corpus) {
    std::ifstream in(corpus / "MANIFEST.tsv");
    std::vector<ManifestRow> rows;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> c;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            c.push_back(cell);
        if (c.size() < 14 || c[2].rfind("Paradox table", 0) != 0)
            continue;
        rows.push_back({c[1], c[2], c[4], c[5], c[6], c[13]});
    }
    return rows;
}

bool sameValue(const Value& ours, const Value& theirs) {
    if (auto* a = std::get_if<double>(&ours)) {
        auto* b = std::get_if<double>(&theirs);
        return b && (*a == *b || std::fabs(*a - *b) <= 1e-9 * std::fabs(*b));
    }
    if (auto* b = std::get_if<Decimal>(&theirs);
        b && b->text.find_first_not_of("-.0123456789") != std::string::npos) {
        return true;  // pxlib prints nibbles above 9 as other characters: nothing to compare
    }
    if (auto* a = std::get_if<Decimal>(&ours)) {
        auto* b = std::get_if<Decimal>(&theirs);
        std::string canon;
        return b && paradox::canonicalDecimal(b->text, canon) && canon == a->text;
    }
    return ours == theirs;
}

class ParadoxCorpus : public ::testing::Test {
  protected:
    void SetUp() override {
        corpus_ = testing::corpusDir();
        if (corpus_.empty() || !std::filesystem::exists(corpus_ / "MANIFEST.tsv"))
            GTEST_SKIP() << "corpus folder not found (set ORN_CORPUS_DIR)";
    }
    std::filesystem::path corpus_;
};

TEST_F(ParadoxCorpus, EveryTableOpensWithTheManifestsCountsAndTypes) {
    auto rows = paradoxTables(corpus_);
    ASSERT_GE(rows.size(), 25u);
    int opened = 0, encrypted = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        auto file = corpus_ / row.path;
        if (row.path.find("encrypted") != std::string::npos) {
            try {
                Table::open(file, OpenMode::ReadOnly);
                ADD_FAILURE() << "an encrypted table opened";
            } catch (const EngineError& e) {
                EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
                EXPECT_NE(std::string(e.what()).find("encrypted"), std::string::npos) << e.what();
                ++encrypted;
            }
            continue;
        }
        auto t = Table::open(file, OpenMode::ReadOnly);
        ++opened;
        EXPECT_EQ(t->format(), TableFormat::Paradox);
        EXPECT_EQ(std::to_string(t->recordCount()), row.records);
        ASSERT_EQ(std::to_string(t->fields().size()), row.fields);
        std::string letters;
        for (const auto& f : t->fields())
            letters += f.letter;
        EXPECT_EQ(letters, row.types);
        std::uint64_t n = 0;
        for (auto c = t->scan(); c->next(); ++n) {
            for (std::size_t i = 0; i < t->fields().size(); ++i)
                c->value(i);  // blobs too
        }
        EXPECT_EQ(n, t->recordCount());
    }
    EXPECT_EQ(encrypted, 2);
    EXPECT_EQ(opened + encrypted, int(rows.size()));
}

TEST_F(ParadoxCorpus, ValuesAgreeWithPxlib) {
    int compared = 0;
    for (const auto& row : paradoxTables(corpus_)) {
        if (row.referenceRead.rfind("yes", 0) != 0 ||
            row.path.find("encrypted") != std::string::npos)
            continue;
        SCOPED_TRACE(row.path);
        auto file = corpus_ / row.path;
        paradox::ParadoxTable t(file, OpenMode::ReadOnly);
        auto px = test::readWithPxlib(file, paradox::tableCodePage(t.header()));
        ASSERT_EQ(std::uint64_t(px.numRecords), t.recordCount());
        auto c = t.scan();
        for (const auto& theirs : px.records) {
            ASSERT_TRUE(c->next());
            for (std::size_t i = 0; i < theirs.size(); ++i) {
                if (isBlobLike(t.fields()[i].type))
                    continue;
                EXPECT_TRUE(sameValue(c->value(i), theirs[i]))
                    << "field " << t.fields()[i].name << " record " << compared << ": ours "
                    << valueText(c->value(i)) << " (" << c->value(i).index() << "), pxlib "
                    << valueText(theirs[i]) << " (" << theirs[i].index() << ")";
            }
            ++compared;
        }
        EXPECT_FALSE(c->next());
    }
    EXPECT_GT(compared, 40000);
}

TEST_F(ParadoxCorpus, KnownValues) {
    auto t = Table::open(corpus_ / "open/paradox/pxdriver_fields/bcd.db", OpenMode::ReadOnly);
    auto c = t->scan();
    ASSERT_TRUE(c->next());
    std::vector<std::string> seen;
    do {
        for (std::size_t i = 0; i < 3; ++i)
            if (auto* d = std::get_if<Decimal>(&c->value(i)))
                seen.push_back(d->text);
    } while (c->next());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "1.23"), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), "-1.23"), seen.end());

    auto of = Table::open(corpus_ / "open/paradox/rparadox/of.db", OpenMode::ReadOnly);
    auto of4 = Table::open(corpus_ / "open/paradox/rparadox/of_cp866.db", OpenMode::ReadOnly);
    auto a = of->scan(), b = of4->scan();
    ASSERT_TRUE(a->next() && b->next());
    for (std::size_t i = 0; i < of->fields().size(); ++i)
        EXPECT_EQ(a->value(i), b->value(i));
    EXPECT_EQ(of->fields()[0].name, of4->fields()[0].name);
}

TEST_F(ParadoxCorpus, BlobsFromTheBlobFile) {
    auto t = Table::open(corpus_ / "open/paradox/dbdemos/biolife.db", OpenMode::ReadOnly);
    std::size_t memo = 6, graphic = 7;
    ASSERT_EQ(t->fields()[memo].letter, 'M');
    ASSERT_EQ(t->fields()[graphic].letter, 'G');
    int images = 0, notes = 0;
    for (auto c = t->scan(); c->next();) {
        if (auto* b = std::get_if<Bytes>(&c->value(graphic))) {
            ASSERT_GE(b->size(), 2u);
            EXPECT_EQ((*b)[0], 'B');  // BMP images without their 8-byte prefix
            EXPECT_EQ((*b)[1], 'M');
            ++images;
        }
        if (auto* s = std::get_if<std::string>(&c->value(memo)); s && s->size() > 50)
            ++notes;
    }
    EXPECT_EQ(images, 28);
    EXPECT_GT(notes, 20);

    auto m = Table::open(corpus_ / "open/paradox/rparadox/mushrooms.db", OpenMode::ReadOnly);
    int withMemo = 0;
    for (auto c = m->scan(); c->next();)
        if (!isBlank(c->value(5)))
            ++withMemo;
    EXPECT_EQ(withMemo, 5);
}

TEST_F(ParadoxCorpus, InfoAndDumpShowAParadoxTable) {
    std::ostringstream out, err;
    auto file = corpus_ / "open/paradox/dbdemos/biolife.db";
    ASSERT_EQ(runInspect("INFO", file, out, err), 0) << err.str();
    EXPECT_EQ(out.str().substr(0, out.str().find('\n')), "Species No\tN\t8\tkey");
    std::ostringstream dump;
    ASSERT_EQ(runInspect("DUMP", file, dump, err), 0) << err.str();
    std::string text = dump.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 29);
    EXPECT_NE(text.find("(blob "), std::string::npos);
    std::ostringstream none, why;
    EXPECT_NE(runInspect("DUMP", corpus_ / "open/paradox/encrypted/encrypted.db", none, why), 0);
    EXPECT_NE(why.str().find("encrypted"), std::string::npos);
}

}  // namespace
}  // namespace orn::db
