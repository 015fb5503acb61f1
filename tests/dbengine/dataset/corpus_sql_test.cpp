// Real Paradox and dBASE files written by other programs, read through SQL and the dataset layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "dataset_test_support.h"
#include "dbengine/dataset/query.h"
#include "dbengine/vtab/sql_session.h"
#include "dbengine/vtab/table_files.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

struct CorpusTable {
    fs::path file;
    std::int64_t records = 0;
};

// Tables of the manifest: path (column 2), format (3), records (5), notes (17) whose "live N"
// counts the records that are not deleted. Files with odd deletion flags are left out.
std::vector<CorpusTable> corpusTables() {
    std::vector<CorpusTable> out;
    std::ifstream in(corpusDir() / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        for (std::string c; std::getline(ss, c, '\t');) {
            cols.push_back(c);
        }
        if (cols.size() > 5 && cols[2].find("table") != std::string::npos && !cols[4].empty()) {
            const std::string notes = cols.size() > 16 ? cols[16] : "";
            if (notes.find("other flag") != std::string::npos) {
                continue;
            }
            std::int64_t records = std::atoll(cols[4].c_str());
            if (const auto live = notes.find("live "); live != std::string::npos) {
                records = std::atoll(notes.c_str() + live + 5);
            }
            out.push_back({corpusDir() / cols[1], records});
        }
    }
    return out;
}

// Copies a table and its companion files (same stem) so that nothing touches the corpus.
fs::path copyTable(const fs::path& file, const fs::path& to) {
    const std::string stem = lowerAscii(file.stem().string());
    for (const auto& e : fs::directory_iterator(file.parent_path())) {
        if (lowerAscii(e.path().stem().string()) == stem) {
            fs::copy_file(e.path(), to / e.path().filename());
        }
    }
    return to / file.filename();
}

void checkTable(const fs::path& dir, const std::string& name, std::int64_t records) {
    SqlSession s(dir);
    auto count = s.prepare("SELECT count(*) FROM " + name);
    ASSERT_TRUE(count->step());
    EXPECT_EQ(sqlite3_column_int64(count->handle(), 0), records);

    Query q(dir, true);
    q.setSql("SELECT * FROM " + name);
    q.open();
    std::int64_t walked = 0;
    for (q.first(); !q.eof(); q.next()) {
        for (std::size_t f = 0; f < q.fieldCount(); ++f) {
            (void)q.field(f).displayText();
        }
        ++walked;
    }
    EXPECT_EQ(walked, records);
    EXPECT_EQ(q.recordCount(), records);
}

TEST(CorpusSql, EveryReadableTableCountsAndWalksAsListed) {
    const auto tables = corpusTables();
    if (tables.empty()) {
        GTEST_SKIP() << "no corpus at " << corpusDir();
    }
    int checked = 0;
    for (const auto& t : tables) {
        SCOPED_TRACE(t.file.string());
        TempDir dir;
        const fs::path copy = copyTable(t.file, dir.path());
        try {
            Table::open(copy, OpenMode::ReadOnly);
        } catch (const EngineError&) {
            continue;  // a file the storage engine refuses is its own tests' concern
        }
        const std::string name = "\"" + copy.filename().string() + "\"";
        try {
            checkTable(dir.path(), name, t.records);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        ++checked;
    }
    EXPECT_GT(checked, 10);
}

}  // namespace
}  // namespace orn::db
