// READ: appending a text file's rows to a table.
#include "workbench/importtext.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <tuple>

#include "dbengine/storage/file_lock.h"
#include "dbengine/storage/key_sorted_runs.h"
#include "dbengine/vtab/table_locations.h"
#include "text/progress.h"
#include "text/zstring.h"
#include "workbench/errorreports.h"
#include "workbench_test_support.h"

namespace orn {
namespace {

// ID, NAME and SCORE of every record, as text.
std::vector<std::string> People(const std::filesystem::path& file) {
    std::vector<std::string> out;
    for (const auto& r : testing::ReadAll(file)) {
        std::string line;
        for (std::size_t f = 0; f < r.size(); ++f) {
            const db::Value& v = r[f];
            line += f == 0 ? "" : "|";
            char number[64] = "";
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                line += std::to_string(*i);
            } else if (const auto* d = std::get_if<double>(&v)) {
                std::snprintf(number, sizeof number, "%.2f", *d);
            } else if (const auto* x = std::get_if<db::Decimal>(&v)) {
                std::snprintf(number, sizeof number, "%.2f", std::stod(x->text));
            } else if (const auto* s = std::get_if<std::string>(&v)) {
                line += Trim(*s);
            }
            line += number;
        }
        out.push_back(line);
    }
    return out;
}

class ImportTextTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::current_path(dir_);
        testing::MakePeople(dir_, 1);
    }
    std::string Import(const std::string& text, char delimiter = ',') {
        WriteFile("in.txt", text);
        return ImportText("people", "in.txt", delimiter, dialogs);
    }
    TScriptedDialogs dialogs;
};

TEST_F(ImportTextTest, QuotesMissingAndSurplusValues) {
    EXPECT_EQ(Import("ID,NAME,SCORE\r\n2,\"Smith, J\",2.5\r\n3\r\n4,x,4,surplus,values\r\n"), "");
    EXPECT_EQ(People(dir_ / "people.dbf"),
              (std::vector<std::string>{"1|name1|1.50", "2|Smith, J|2.50", "3||", "4|x|4.00"}));
    EXPECT_TRUE(dialogs.Requests().empty());
}

TEST_F(ImportTextTest, TabFilesAndTheHeaderLine) {
    EXPECT_EQ(Import("2\tskipped\t0\n5\t\tfive\t5\n", '\t'), "");
    EXPECT_EQ(People(dir_ / "people.dbf"),
              (std::vector<std::string>{"1|name1|1.50", "5|five|5.00"}));
}

TEST_F(ImportTextTest, AValueAFieldCannotTakeEndsTheImportAndKeepsEarlierRows) {
    WriteFile("in.txt", "h\n2,a,1\n3,b,not-a-number\n4,c,1\n");
    try {
        ImportText("people", "in.txt", ',', dialogs);
        FAIL() << "no exception";
    } catch (const TImportValueError& e) {
        EXPECT_NE(std::string(e.what()).find("not-a-number"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("line 3 of in.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(People(dir_ / "people.dbf"), (std::vector<std::string>{"1|name1|1.50", "2|a|1.00"}));
}

TEST_F(ImportTextTest, UnbalancedQuotesAskAndTheAnswersCount) {
    const std::string text = "h\n2,\"open,1\n3,ok,1\n4,\"again,1\n5,ok,1\n";
    dialogs.Queue(DialogButton::OK);
    dialogs.Queue(DialogButton::Yes);
    dialogs.Queue(DialogButton::OK);
    dialogs.Queue(DialogButton::No);
    const std::string result = Import(text);
    EXPECT_EQ(result.rfind("DB error: Unbalanced quotes", 0), 0u) << result;
    ASSERT_EQ(dialogs.Requests().size(), 4u);
    EXPECT_EQ(dialogs.Requests()[0].text, "2,\"open,1");
    const DialogRequest& question = dialogs.Requests()[1];
    EXPECT_EQ(question.kind, DialogKind::Error);
    EXPECT_EQ(question.buttons,
              (std::vector<DialogButton>{DialogButton::Yes, DialogButton::No, DialogButton::All}));
    EXPECT_EQ(question.text,
              "2,\"open,1\r\nUnbalanced quotes: a quoted value has no closing quote. (line 2 of "
              "in.txt)\r\nContinue with this file\r\n"
              "All = ignore all dbErrors for this (in.txt) file");
    EXPECT_EQ(
        result,
        "DB error: Unbalanced quotes: a quoted value has no closing quote. (line 4 of in.txt)");
    EXPECT_EQ(People(dir_ / "people.dbf"), (std::vector<std::string>{"1|name1|1.50", "3|ok|1.00"}));

    TScriptedDialogs all({DialogButton::OK, DialogButton::All});
    WriteFile("in2.txt", text);
    EXPECT_EQ(ImportText("people", "in2.txt", ',', all), "");
    EXPECT_EQ(all.Requests().size(), 2u);
    EXPECT_EQ(People(dir_ / "people.dbf").size(), 4u);
}

// While READ asks about a bad line, another process can write the table: nothing is locked while
// a question waits for a person.
class WriteFromAnotherProcessWhileAsked : public TScriptedDialogs {
  public:
    using TDialogs::Ask;
    using TScriptedDialogs::TScriptedDialogs;
    DialogButton Ask(const DialogRequest& request) override {
        if (request.buttons.size() > 1) {
            const pid_t child = fork();
            if (child == 0) {
                int status = 1;
                try {
                    db::setLockWait(std::chrono::milliseconds(300));
                    db::Table::open("people.dbf", db::OpenMode::Shared)
                        ->insert({std::int64_t{99}, std::string("other"), 9.0});
                    status = 0;
                } catch (const std::exception& e) {
                    fprintf(stderr, "while asked: %s\n", e.what());
                }
                _exit(status);
            }
            int status = -1;
            waitpid(child, &status, 0);
            writes.push_back(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        return TScriptedDialogs::Ask(request);
    }
    std::vector<bool> writes;
};

TEST_F(ImportTextTest, NothingIsLockedWhileAQuestionWaits) {
    WriteFromAnotherProcessWhileAsked asking(
        {DialogButton::OK, DialogButton::Yes, DialogButton::OK, DialogButton::No});
    WriteFile("in.txt", "h\n2,ok,1\n3,\"open,1\n4,ok,1\n5,\"again,1\n6,ok,1\n");
    ImportText("people", "in.txt", ',', asking);
    EXPECT_EQ(asking.writes, (std::vector<bool>{true, true}));
    // The rows before each question, the other process's rows and the row between the questions.
    EXPECT_EQ(People(dir_ / "people.dbf"),
              (std::vector<std::string>{"1|name1|1.50", "2|ok|1.00", "99|other|9.00", "4|ok|1.00",
                                        "99|other|9.00"}));
}

TEST_F(ImportTextTest, MissingFileOrTableIsThrownAndChangesNothing) {
    EXPECT_THROW(ImportText("people", "nofile.txt", ',', dialogs), std::runtime_error);
    WriteFile("in.txt", "h\n2,a,1\n");
    EXPECT_THROW(ImportText("notable", "in.txt", ',', dialogs), db::EngineError);
    EXPECT_EQ(People(dir_ / "people.dbf").size(), 1u);
}

TEST_F(ImportTextTest, TableNamesAreReadAsSqlReadsThem) {
    WriteFile("in.txt", "h\n2,a,1\n");
    db::TableLocations locations;  // :WORK: leads to the directory the settings give it
    locations.aliases["work"] = dir_;
    db::setTableLocations(locations);
    for (const char* name : {"\"people.dbf\"", "'people.dbf'", "[people.dbf]", "people.dbf",
                             ":WORK:people.dbf", "\"PEOPLE.DBF\""}) {
        EXPECT_EQ(ImportText(name, "in.txt", ',', dialogs), "") << name;
    }
    db::setTableLocations({});
    EXPECT_EQ(People(dir_ / "people.dbf").size(), 7u);
    EXPECT_THROW(ImportText("\"nosuch.dbf\"", "in.txt", ',', dialogs), db::EngineError);
    EXPECT_THROW(ImportText(":WORK:people.dbf", "in.txt", ',', dialogs), db::EngineError);
}

TEST_F(ImportTextTest, AutoincrementFieldsAreNumberedByTheTable) {
    for (db::TableFormat format : {db::TableFormat::Paradox, db::TableFormat::DBase}) {
        const std::string file = format == db::TableFormat::Paradox ? "auto.db" : "auto.dbf";
        db::TableCreate layout;  // dBASE numbers rows in Visual FoxPro tables
        layout.fields = {makeField("ID", db::FieldType::AutoInc),
                         makeField("NAME", db::FieldType::Alpha, 10)};
        layout.version = format == db::TableFormat::DBase ? 0x30 : 0;
        {
            auto table = db::Table::create(dir_ / file, format, layout);
            table->insert({std::monostate{}, std::string("a")});
            table->insert({std::monostate{}, std::string("b")});
        }
        WriteFile("in.txt", "ID,NAME\n1,c\n2,d\n,e\n");
        EXPECT_EQ(ImportText(file, "in.txt", ',', dialogs), "") << file;
        EXPECT_EQ(People(dir_ / file),
                  (std::vector<std::string>{"1|a", "2|b", "3|c", "4|d", "5|e"}))
            << file;
    }
}

TEST_F(ImportTextTest, TextThatIsNotUtf8IsReadInTheTablesCodePage) {
    for (const auto& [file, codePage, bytes] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"win.dbf", "CP1252", "M\xe4kel\xe4\x80"},  // "Mäkelä€" in CP1252
             {"win.db", "CP1252", "M\xe4kel\xe4\x80"},
             {"dos.db", "CP437", "M\x84kel\x84\x9c"}}) {  // "Mäkelä£" in CP437
        db::TableCreate layout;
        layout.fields = {makeField("NAME", db::FieldType::Alpha, 20)};
        layout.codePage = codePage;
        db::Table::create(dir_ / file,
                          file.back() == 'f' ? db::TableFormat::DBase : db::TableFormat::Paradox,
                          layout);
        // A UTF-8 line and a line in the table's code page, in one file.
        WriteFile("in.txt", "NAME\r\nJ\u00e4rvi\r\n" + bytes + "\r\n");
        EXPECT_EQ(ImportText(file, "in.txt", ',', dialogs), "") << file;
        const std::string last =
            codePage == "CP437" ? "M\u00e4kel\u00e4\u00a3" : "M\u00e4kel\u00e4\u20ac";
        EXPECT_EQ(People(dir_ / file), (std::vector<std::string>{"J\u00e4rvi", last})) << file;
    }
    EXPECT_TRUE(dialogs.Requests().empty());

    // A character the table's code page lacks is asked about with the line's number.
    dialogs.Queue(DialogButton::OK);
    dialogs.Queue(DialogButton::No);
    WriteFile("in.txt", "NAME\nok\n\u4e2d\u6587\n");
    const std::string result = ImportText("dos.db", "in.txt", ',', dialogs);
    EXPECT_NE(result.find("(line 3 of in.txt)"), std::string::npos) << result;
}

TEST_F(ImportTextTest, DuplicateKeysAreSkippedSilently) {
    if (!testing::TryMakeKeyed(dir_ / "keyed.db", {{std::int64_t{1}, std::string("one")}})) {
        GTEST_SKIP() << "this build cannot write Paradox tables";
    }
    WriteFile("in.txt", "ID,NAME\n1,dup\n2,two\n2,again\n");
    EXPECT_EQ(ImportText("keyed", "in.txt", ',', dialogs), "");
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(People(dir_ / "keyed.db"), (std::vector<std::string>{"1|one", "2|two"}));
}

TEST_F(ImportTextTest, ATableHeldExclusivelyFailsAndStaysAsItWas) {
    // Exclusive opens are locks on the open file, so another holder in this process counts
    // like another process.
    auto held = db::Table::open(dir_ / "people.dbf", db::OpenMode::Exclusive);
    WriteFile("in.txt", "h\n2,a,1\n");
    EXPECT_THROW(ImportText("people", "in.txt", ',', dialogs), db::EngineError);
    held.reset();
    EXPECT_EQ(People(dir_ / "people.dbf").size(), 1u);
}

// Keyed tables take the rows of a file sorted by key; storing them one by one as read must give
// the same table, the same answers and the same questions.
class ImportOrderTest : public ImportTextTest {
  protected:
    void SetUp() override {
        ImportTextTest::SetUp();
        db::KeySortedRuns::setRunBytes(3000);  // many runs from a few thousand rows
    }
    void TearDown() override {
        db::KeySortedRuns::setRunBytes(std::size_t{8} << 20);
        ImportTextTest::TearDown();
    }
    // A keyed table of small blocks that already holds every seventh key.
    static void MakeTarget(const std::string& file) {
        db::TableCreate layout;
        layout.fields = {makeField("ID", db::FieldType::Long),
                         makeField("NAME", db::FieldType::Alpha, 20),
                         makeField("SCORE", db::FieldType::Number)};
        layout.keyFields = 1;
        layout.blockSize = 1024;
        auto t = db::Table::create(file, db::TableFormat::Paradox, layout);
        t->begin();
        for (int k = 0; k < 2000; k += 7) {
            t->insert({std::int64_t{k}, std::string("old"), 0.5});
        }
        t->commit();
    }
    // `rows` lines of shuffled keys, each key several times; `edit` may change line n (from 2).
    static std::string ShuffledText(int rows,
                                    const std::function<std::string(int, std::string)>& edit) {
        std::mt19937 rng(99);
        std::string text = "ID,NAME,SCORE\n";
        for (int n = 2; n < rows + 2; ++n) {
            const std::string line = std::to_string(rng() % 1500) + ",row" + std::to_string(n) +
                                     "," + std::to_string(n % 50) + ".25";
            text += edit ? edit(n, line) : line;
            text += n % 3 ? "\n" : "\r\n";
        }
        return text;
    }
    struct Outcome {
        std::string result;  // or the message thrown
        std::vector<std::string> rows;
        std::vector<DialogRequest> requests;
    };
    // Imports `text` into a fresh table in each order.
    std::pair<Outcome, Outcome> BothOrders(const std::string& text,
                                           const std::vector<DialogButton>& answers = {}) {
        WriteFile("in.txt", text);
        Outcome out[2];
        const ImportOrder orders[2] = {ImportOrder::ByKey, ImportOrder::AsRead};
        for (int i = 0; i < 2; ++i) {
            const std::string file = i == 0 ? "bykey.db" : "asread.db";
            MakeTarget(file);
            TScriptedDialogs scripted;
            for (DialogButton answer : answers) {
                scripted.Queue(answer);
            }
            try {
                out[i].result = ImportText(file, "in.txt", ',', scripted, orders[i]);
            } catch (const std::exception& e) {
                out[i].result = std::string("thrown: ") + e.what();
            }
            out[i].rows = People(dir_ / file);
            out[i].requests = scripted.Requests();
        }
        return {out[0], out[1]};
    }
};

TEST_F(ImportOrderTest, ShuffledRowsWithRepeatedAndExistingKeys) {
    const auto [byKey, asRead] = BothOrders(ShuffledText(4000, nullptr));
    EXPECT_EQ(byKey.result, "");
    EXPECT_EQ(asRead.result, "");
    EXPECT_EQ(byKey.rows, asRead.rows);
    EXPECT_GT(byKey.rows.size(), 1400u);  // of 1500 keys, 215 from before
    EXPECT_TRUE(byKey.requests.empty());
    // A record from before wins over every row with its key.
    EXPECT_NE(std::find(byKey.rows.begin(), byKey.rows.end(), "7|old|0.50"), byKey.rows.end());
    // No sort file is left beside the table.
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().filename().string().find("orn-sort"), std::string::npos)
            << entry.path();
    }
}

TEST_F(ImportOrderTest, RowsInKeyOrderAndThenNot) {
    // Lines 2..1001 in key order with repeated keys, then shuffled ones.
    const auto [byKey, asRead] = BothOrders(ShuffledText(3000, [](int n, std::string line) {
        return n <= 1001 ? std::to_string(n / 3 * 2) + ",s" + std::to_string(n) + ",1" : line;
    }));
    EXPECT_EQ(byKey.result, "");
    EXPECT_EQ(byKey.rows, asRead.rows);
    EXPECT_NE(std::find(byKey.rows.begin(), byKey.rows.end(), "2|s3|1.00"), byKey.rows.end());
    EXPECT_NE(std::find(byKey.rows.begin(), byKey.rows.end(), "14|old|0.50"), byKey.rows.end());
}

TEST_F(ImportOrderTest, ABadValueMidWayKeepsTheRowsBeforeIt) {
    const auto [byKey, asRead] = BothOrders(ShuffledText(
        3000, [](int n, std::string line) { return n == 1700 ? "5,bad,not-a-number" : line; }));
    EXPECT_EQ(byKey.result.rfind("thrown: ", 0), 0u) << byKey.result;
    EXPECT_NE(byKey.result.find("line 1700 of in.txt"), std::string::npos) << byKey.result;
    EXPECT_EQ(byKey.result, asRead.result);
    EXPECT_EQ(byKey.rows, asRead.rows);
    EXPECT_GT(byKey.rows.size(), 1000u);
    EXPECT_LT(byKey.rows.size(), 1450u);
}

TEST_F(ImportOrderTest, QuestionsAboutLinesAndTheAnswers) {
    auto edit = [](int n, std::string line) {
        return n == 800 || n == 1900 || n == 2500 ? "17,\"open," + std::to_string(n) : line;
    };
    // Go on after the first, stop at the second.
    auto [byKey, asRead] =
        BothOrders(ShuffledText(3000, edit),
                   {DialogButton::OK, DialogButton::Yes, DialogButton::OK, DialogButton::No});
    EXPECT_EQ(byKey.result,
              "DB error: Unbalanced quotes: a quoted value has no closing quote. (line 1900 of "
              "in.txt)");
    EXPECT_EQ(byKey.result, asRead.result);
    EXPECT_EQ(byKey.rows, asRead.rows);
    ASSERT_EQ(byKey.requests.size(), 4u);
    ASSERT_EQ(asRead.requests.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(byKey.requests[i].text, asRead.requests[i].text) << i;
    }
    EXPECT_EQ(byKey.requests[0].text, "17,\"open,800");

    // All: no more questions, every other row stored.
    std::tie(byKey, asRead) =
        BothOrders(ShuffledText(3000, edit), {DialogButton::OK, DialogButton::All});
    EXPECT_EQ(byKey.result, "");
    EXPECT_EQ(asRead.result, "");
    EXPECT_EQ(byKey.requests.size(), 2u);
    EXPECT_EQ(byKey.rows, asRead.rows);
}

// Cancels the task whose name begins with `task` once it has done `after` units.
class CancellingProgress : public TProgress {
  public:
    CancellingProgress(std::string task, std::int64_t after)
        : task_(std::move(task)), after_(after) {}
    bool Step(const std::string& task, std::int64_t done, std::int64_t total) override {
        tasks.push_back(task + " " + std::to_string(done) + "/" + std::to_string(total));
        return !(task.rfind(task_, 0) == 0 && done >= after_);
    }
    std::vector<std::string> tasks;

  private:
    std::string task_;
    std::int64_t after_;
};

TEST_F(ImportOrderTest, CancelWhileReadingStoresTheRowsReadBefore) {
    CancellingProgress cancelling("Reading", 1500);
    TProgressScope scope(cancelling);
    const auto [byKey, asRead] = BothOrders(ShuffledText(3000, nullptr));
    EXPECT_EQ(byKey.result.rfind("Import cancelled: ", 0), 0u) << byKey.result;
    EXPECT_EQ(byKey.result, asRead.result);
    EXPECT_EQ(byKey.rows, asRead.rows);
    // The rows read are then stored, under a task of their own.
    EXPECT_NE(std::find_if(cancelling.tasks.begin(), cancelling.tasks.end(),
                           [](const std::string& task) {
                               return task.rfind("Storing the rows of in.txt 1000/14", 0) == 0;
                           }),
              cancelling.tasks.end());
}

TEST_F(ImportOrderTest, CancelWhileStoringKeepsTheRowsOfTheSmallestKeys) {
    const std::string text = ShuffledText(3000, nullptr);
    const auto [all, unused] = BothOrders(text);
    CancellingProgress cancelling("Storing", 1000);
    TProgressScope scope(cancelling);
    WriteFile("in.txt", text);
    MakeTarget("cut.db");
    const std::string result = ImportText("cut.db", "in.txt", ',', dialogs);
    const auto rows = People(dir_ / "cut.db");
    // Rows 1..999 in key order were looked at; those stored are the new records among them.
    std::size_t added = 0;
    for (const auto& row : rows) {
        added += row.find("|old|") == std::string::npos;
    }
    EXPECT_EQ(result, "Import cancelled: " + std::to_string(added) + " rows of in.txt were stored");
    EXPECT_GT(added, 300u);
    // A prefix of the whole import in key order, after it the old records and the first row
    // (stored as it was read: the next one has a smaller key).
    std::size_t i = 0;
    while (i < rows.size() && rows[i] == all.rows[i]) {
        ++i;
    }
    EXPECT_GT(i, added);
    for (; i < rows.size(); ++i) {
        EXPECT_TRUE(rows[i].find("|old|") != std::string::npos ||
                    rows[i].find("|row2|") != std::string::npos)
            << rows[i];
    }
}

}  // namespace
}  // namespace orn
