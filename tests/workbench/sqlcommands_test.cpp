// The SQL command set as programs use it, on a query session.
#include <gtest/gtest.h>

#include <ctime>

#include "text/zstring.h"
#include "workbench/querysession.h"
#include "workbench/reporterror.h"
#include "workbench_test_support.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class SqlCommandsTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        testing::MakePeople(dir_, 5);
        session = std::make_unique<TQuerySession>(view, dir_.string());
    }
    void TearDown() override {
        session.reset();
        SetErrorFileName("");
        TempDirTest::TearDown();
    }
    RunEnd Run(const std::vector<std::string>& lines) {
        EXPECT_EQ(session->OpenProgram(WriteProgram("p.orn", lines)), "");
        return session->RunProgram();
    }
    std::vector<std::string> DialogTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : view.requests) {
            texts.push_back(r.text);
        }
        return texts;
    }
    testing::ScriptedView view;
    std::unique_ptr<TQuerySession> session;
};

TEST_F(SqlCommandsTest, CommandsAreRegisteredInTheHelpOrder) {
    EXPECT_EQ(session->Program().Help(),
              "DEBUG [level] (0=no,1=status,2=full)\r\n"
              "SETVALUE name,value\r\n"
              "SQL SQL-sentence\r\n"
              "SAVE filename\r\n"
              "EXEC SQL-sentence\r\n"
              "FORMAT col_name,display_format\r\n"
              "SAVEAS filename\r\n"
              "COPY \r\n"
              "INDEX table_name,col_list\r\n"
              "CHANGE table_name,col_name,col_type,col_size\r\n"
              "READ table_name,filename\r\n"
              "SEPARATOR separatorchar\r\n"
              "DECIMAL [decimalchar]\r\n"
              "UPDATEMACROS \r\n"
              "EXIT \r\n"
              "CHDIR dirname\r\n"
              "MOVEFILE filename,newfilename\r\n"
              "COPYFILE filename,newfilename\r\n"
              "DELETEFILE filename\r\n"
              "IFEXISTS filename[!!lineYes[!!lineNo]]\r\n"
              "MKDIR dirname[!!lineYes[!!lineNo]]\r\n"
              "SHOWMESSAGE message[!!lineYes[!!lineNo]]\r\n"
              "IFGOTO str1,str2,line\r\n"
              "GOTO line\r\n");
}

TEST_F(SqlCommandsTest, SqlFormatAndSaveAsWithTheSeparatorBox) {
    view.fallback = DialogButton::Yes;
    EXPECT_EQ(
        Run({"SQL select ID, NAME, SCORE from people where ID <= 2 order by ID",
             "FORMAT SCORE , #,##0.000", "FORMAT NAME,0", "FORMAT NOPE,0", "SEPARATOR \";\"",
             "SAVEAS out1.txt", "SEPARATOR #44", "SAVEAS out2.txt", "SAVEAS no/dir/out3.txt"}),
        RunEnd::Completed);
    EXPECT_EQ(DialogTexts(),
              (std::vector<std::string>{
                  "NAME is not numeric!\r\nContinue?\r\nAll = Ignore all errors",
                  "Field 'NOPE' not found\r\nContinue?\r\nAll = Ignore all errors",
                  "Can not open file no/dir/out3.txt\r\nContinue?\r\nAll = Ignore all errors"}));
    EXPECT_EQ(ReadFile(Path("out1.txt")), "ID;NAME;SCORE\r\n1;name1;1.500\r\n2;name2;3.000\r\n");
    EXPECT_EQ(ReadFile(Path("out2.txt")), "ID,NAME,SCORE\r\n1,name1,1.500\r\n2,name2,3.000\r\n");
    EXPECT_EQ(session->SeparatorText(), "#44");
    EXPECT_EQ(session->Query().sqlText(),
              "select ID, NAME, SCORE from people where ID <= 2 order by ID");
}

TEST_F(SqlCommandsTest, CopyAlwaysUsesATab) {
    EXPECT_EQ(Run({"SEPARATOR ;", "SQL select NAME from people where ID = 3", "COPY"}),
              RunEnd::Completed);
    EXPECT_EQ(session->Clipboard().Text(), "NAME\r\nname3\r\n");
    EXPECT_EQ(session->GetSeparator(), ";");
}

TEST_F(SqlCommandsTest, SaveMakesATableAndReportsEngineFailures) {
    SetErrorFileName(Path("errors.txt"));
    EXPECT_EQ(Run({"SQL select * from people where ID > 3", "SAVE high.dbf",
                   "SAVE no/such/dir/x.dbf", "SQL select NAME from high"}),
              RunEnd::Completed);
    EXPECT_TRUE(view.requests.empty()) << DialogTexts()[0];
    EXPECT_EQ(testing::ReadAll(dir_ / "high.dbf").size(), 2u);
    const std::string errors = ReadFile(Path("errors.txt"));
    EXPECT_FALSE(errors.empty());
    EXPECT_EQ(errors.substr(errors.size() - 2), "\r\n");
    EXPECT_EQ(session->Query().recordCount(), 2);
}

TEST_F(SqlCommandsTest, SaveWithoutANameIsRefused) {
    view.fallback = DialogButton::OK;
    EXPECT_EQ(Run({"SQL select * from people", "SAVE", "SAVE .dbf", "SAVE sub/.DB"}),
              RunEnd::Completed);
    const std::string refusal =
        "SAVE needs the name of the table to write (such as result or result.dbf)";
    EXPECT_EQ(DialogTexts(), (std::vector<std::string>(3, refusal)));
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

TEST_F(SqlCommandsTest, ExecRunsFilesUpToTheFirstEmptyLine) {
    WriteFile("s.sql",
              "delete from people where ID = 1\r\nthis line fails\r\n"
              "update people set NAME = 'changed' where ID = 2\r\n   \r\n\r\n"
              "delete from people\r\n");
    WriteFile("bin.sql", std::string("delete from people\0\x01\x02", 21));
    SetErrorFileName(Path("errors.txt"));
    EXPECT_EQ(Run({"EXEC file:s.sql", "EXEC File:s.sql", "EXEC file:missing.sql",
                   "EXEC file:bin.sql", "EXEC delete from people where ID = 5"}),
              RunEnd::Completed);
    EXPECT_TRUE(view.requests.empty());
    const auto rows = testing::ReadAll(dir_ / "people.dbf");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Trim(std::get<std::string>(rows[0][1])), "changed");
    const std::string errors = ReadFile(Path("errors.txt"));
    EXPECT_EQ(errors.rfind("EXEC File:s.sql\r\n", 0), 0u) << errors;
    EXPECT_NE(errors.find("EXEC file:missing.sql\r\nCan not open file missing.sql\r\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("EXEC file:bin.sql\r\nbin.sql is not a text file\r\n"), std::string::npos)
        << errors;
}

TEST_F(SqlCommandsTest, FailingIndexAndChangeAreAppendedAndTheRunGoesOn) {
    WriteFile("errors.txt", "earlier report\r\n");
    SetErrorFileName(Path("errors.txt"));
    EXPECT_EQ(Run({"INDEX people,ID", "CHANGE people,NAME,A,wide", "CHANGE people,NOPE,A,5",
                   "CHANGE people , NAME , A , 30 , ignored", "SQL select NAME from people"}),
              RunEnd::Completed);
    EXPECT_TRUE(view.requests.empty());
    const std::string errors = ReadFile(Path("errors.txt"));
    EXPECT_EQ(errors.rfind("earlier report\r\nINDEX people ID\r\n", 0), 0u) << errors;
    EXPECT_NE(errors.find("CHANGE people NAME A wide\r\n'wide' is not a valid integer value\r\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("CHANGE people NOPE A 5\r\nField 'NOPE' not found\r\n"),
              std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("CHANGE people NAME A 30"), std::string::npos) << errors;
    EXPECT_EQ(session->Query().field(0).info().size, 30);
    EXPECT_EQ(testing::ReadAll(dir_ / "people.dbf").size(), 5u);
}

TEST_F(SqlCommandsTest, ReadUsesTheFirstCharacterOfTheSeparator) {
    WriteFile("in.txt", "ID;;NAME\n10;ten;1\n");
    EXPECT_EQ(Run({"SEPARATOR ;;", "READ people , in.txt", "READ people,nofile.txt"}),
              RunEnd::Completed);
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].text.rfind("Can not open file nofile.txt", 0), 0u);
    const auto rows = testing::ReadAll(dir_ / "people.dbf");
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(Trim(std::get<std::string>(rows[5][1])), "ten");
}

TEST_F(SqlCommandsTest, MacrosExitAndDirectories) {
    int exits = 0;
    session->OnExit = [&] { ++exits; };
    fs::create_directories(dir_ / "sub");
    EXPECT_EQ(Run({"UPDATEMACROS", "SETVALUE when,[currentdate]-[currenttime]-[currentsecond]",
                   "EXIT", "CHDIR sub", "MKDIR made"}),
              RunEnd::Completed);
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(session->ExitRequested());
    EXPECT_TRUE(fs::is_directory(dir_ / "sub" / "made"));
    std::string when = session->Program().Macros().GetValue("when");
    ASSERT_EQ(when.size(), 14u) << when;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char today[8];
    std::strftime(today, sizeof today, "%y%m%d", &local);
    EXPECT_EQ(when.substr(0, 6), today);
    EXPECT_EQ(session->SqlDirectory(), fs::canonical(dir_ / "sub").string());

    EXPECT_FALSE(session->SetSqlDirectory("nowhere"));
    EXPECT_FALSE(session->SetProgramDirectory(Path("people.dbf")));
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_ / "sub"));
    EXPECT_TRUE(session->SetProgramDirectory(".."));
    EXPECT_EQ(session->ProgramDirectory(), fs::canonical(dir_).string());
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_));
}

TEST_F(SqlCommandsTest, OpenFileByExtension) {
    fs::create_directories(dir_ / "folder");
    EXPECT_EQ(session->OpenFileByExtension(Path("folder")), "Unknow extension");
    EXPECT_EQ(session->SqlDirectory(), fs::canonical(dir_ / "folder").string());
    EXPECT_EQ(session->OpenFileByExtension(Path("notes.txt")), "Unknow extension");
    EXPECT_EQ(session->SqlDirectory(), fs::canonical(dir_ / "folder").string());
    EXPECT_EQ(session->OpenFileByExtension(Path("people.DbF")), "");
    EXPECT_EQ(session->CurrentTable(), "people");
    EXPECT_EQ(session->Caption(), "Query [people]");
    EXPECT_EQ(session->Query().recordCount(), 5);
    WriteProgram("auto.orn", {"SQL select * from people where ID = 1"});
    session->RunAutomatically = true;
    EXPECT_EQ(session->OpenFileByExtension(Path("auto.orn")), "");
    EXPECT_EQ(session->ProgramFileName(), Path("auto.orn"));
    EXPECT_EQ(session->Query().recordCount(), 1);
    EXPECT_EQ(session->OpenFileByExtension(Path("none.orn")),
              "No programs " + Path("none.orn") + ": the file does not exist");
}

}  // namespace
}  // namespace orn
