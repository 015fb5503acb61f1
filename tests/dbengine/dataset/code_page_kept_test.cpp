// Rebuilding a table (ALTER TABLE, DROP INDEX ... PRIMARY, saving an answer over it) keeps the
// code page the file states, so national letters read back the same and other programs still
// read the file in its own code page.
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>

#include "dataset_test_support.h"
#include "dbengine/dataset/answer_table.h"
#include "dbengine/dataset/query.h"
#include "dbengine/storage/table_code_page.h"

namespace orn::db {
namespace {
namespace fs = std::filesystem;

const std::vector<std::string> kPolish = {"Żółć", "Łódź ěščř", "ĄĘŚ"};
const std::vector<std::string> kRussian = {"Привет, мир", "Ёлка", "ЩЪЫ"};

// Bytes of the file header where the format states its code page: the Paradox header's code
// page number (offset 0x6A), the dBASE language driver (byte 29).
int headerCodePage(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> head(0x6C);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (file.extension() == ".dbf") {
        return head[29];
    }
    return head[0x6A] | (head[0x6B] << 8);
}

// A Paradox header records the table's name; a rebuilt table must not carry the name it was
// built under.
bool headerNamesATemporaryFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(2048, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    return head.find("~orn") != std::string::npos;
}

std::vector<std::string> names(const fs::path& file) {
    std::vector<std::string> out;
    for (const auto& r : readAll(file)) {
        out.push_back(std::get<std::string>(r[1]));
    }
    return out;
}

void execute(const fs::path& dir, const std::string& sql) {
    Query q(dir);
    q.setSql(sql);
    q.execute();
}

struct Case {
    const char* name;
    TableFormat format;
    const char* codePage;
    const std::vector<std::string>* letters;
    int headerValue;  // what the header holds for that code page
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class CodePageKept : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        const Case& c = GetParam();
        TableCreate layout;
        layout.codePage = c.codePage;
        if (c.format == TableFormat::Paradox) {
            layout.fields = {makeField("Id", FieldType::Long),
                             makeField("Name", FieldType::Alpha, 30)};
            layout.keyFields = 1;
        } else {
            layout.fields = {makeField("Id", FieldType::Number, 6),
                             makeField("Name", FieldType::Alpha, 30)};
        }
        file = dir.path() / (c.format == TableFormat::Paradox ? "people.db" : "people.dbf");
        auto t = Table::create(file, c.format, layout);
        t->begin();
        for (std::size_t i = 0; i < c.letters->size(); ++i) {
            const auto id = static_cast<std::int64_t>(i + 1);
            t->insert({c.format == TableFormat::Paradox ? Value{id} : Value{double(id)},
                       (*c.letters)[i]});
        }
        t->commit();
    }
    void expectKept() {
        const Case& c = GetParam();
        EXPECT_EQ(names(file), *c.letters);
        EXPECT_EQ(headerCodePage(file), c.headerValue);
        EXPECT_FALSE(headerNamesATemporaryFile(file));
        const auto stored = storedCodePage(*Table::open(file, OpenMode::ReadOnly));
        EXPECT_EQ(stored.name, c.codePage);
        EXPECT_EQ(c.format == TableFormat::Paradox ? stored.headerCodePage : stored.languageDriver,
                  c.headerValue);
    }
    TempDir dir;
    fs::path file;
};

TEST_P(CodePageKept, AlterTableAddAndDropKeepIt) {
    execute(dir.path(), "ALTER TABLE people ADD Extra INTEGER, ADD Note CHAR(5)");
    expectKept();
    EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->fields().size(), 4u);
    execute(dir.path(), "ALTER TABLE people DROP Extra");
    expectKept();
}

TEST_P(CodePageKept, DroppingThePrimaryIndexKeepsIt) {
    if (GetParam().format == TableFormat::Paradox) {
        execute(dir.path(), "DROP INDEX people.PRIMARY");
        EXPECT_EQ(Table::open(file, OpenMode::ReadOnly)->keyFieldCount(), 0);
    } else {
        EXPECT_THROW(execute(dir.path(), "DROP INDEX people.PRIMARY"), EngineError);
    }
    expectKept();
}

TEST_P(CodePageKept, AnAnswerSavedOverTheTableKeepsIt) {
    Query q(dir.path());
    q.setSql("SELECT Id, Name FROM people ORDER BY Id");
    q.open();
    saveAnswerAsTable(q, file.filename().string());
    q.close();
    expectKept();
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CodePageKept,
    ::testing::Values(Case{"Paradox852", TableFormat::Paradox, "CP852", &kPolish, 852},
                      Case{"Paradox1251", TableFormat::Paradox, "CP1251", &kRussian, 1251},
                      Case{"Dbase1251", TableFormat::DBase, "CP1251", &kRussian, 0xC9},
                      Case{"Dbase852", TableFormat::DBase, "CP852", &kPolish, 0x64}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orn::db
