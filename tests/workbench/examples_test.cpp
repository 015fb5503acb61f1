// Every program in examples/ runs on freshly made sample tables and does what it says.
#include <gtest/gtest.h>

#include "exampletables.h"
#include "text/separators.h"
#include "text/zstring.h"
#include "workbench/querysession.h"
#include "workbench_test_support.h"

namespace orn {
namespace {

namespace fs = std::filesystem;

class ExamplesTest : public testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        tables = examples::MakeExampleTables(dir_);
        for (const auto& entry : fs::directory_iterator(ORN_EXAMPLES_DIR)) {
            if (entry.is_regular_file()) {
                fs::copy_file(entry.path(), dir_ / entry.path().filename());
            }
        }
        view.fallback = DialogButton::Yes;
    }
    RunEnd Run(const std::string& program) {
        TQuerySession session(view, dir_.string());
        EXPECT_EQ(session.OpenProgram(Path(program)), "");
        RunEnd end = session.RunProgram();
        exitRequested = session.ExitRequested();
        clipboard = session.Clipboard().Text();
        return end;
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> errors;
        for (const auto& r : view.requests) {
            if (r.kind == DialogKind::Error) {
                errors.push_back(r.text);
            }
        }
        return errors;
    }
    std::string Today() const {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[8];
        std::strftime(text, sizeof text, "%y%m%d", &local);
        return text;
    }
    std::vector<std::string> Lines(const std::string& file) const {
        std::vector<std::string> lines;
        std::string text = ReadFile(Path(file));
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) {
            lines.push_back(text.substr(0, at));
            text.erase(0, at + 2);
        }
        EXPECT_EQ(text, "") << file << " must end in CR LF";
        return lines;
    }

    std::vector<std::string> tables;
    testing::ScriptedView view;
    bool exitRequested = false;
    std::string clipboard;
};

TEST_F(ExamplesTest, TablesAreMadeWithTheirRows) {
    ASSERT_GE(tables.size(), 3u);
    EXPECT_EQ(testing::ReadAll(dir_ / "customers.dbf").size(), 8u);
    EXPECT_EQ(testing::ReadAll(dir_ / "parts.dbf").size(), 6u);
    EXPECT_EQ(testing::ReadAll(dir_ / "orders.dbf").size(), 24u);
    if (examples::ParadoxAvailable(dir_)) {
        EXPECT_EQ(testing::ReadAll(dir_ / "clients.db").size(), 8u);
        EXPECT_EQ(db::Table::open(dir_ / "stock.db", db::OpenMode::ReadOnly)->keyFieldCount(), 1);
    }
}

TEST_F(ExamplesTest, Demo) {
    EXPECT_EQ(Run("demo.orn"), RunEnd::Completed);
    EXPECT_TRUE(Errors().empty()) << Errors()[0];
    EXPECT_TRUE(exitRequested);
    const auto customers = Lines("out/Oulu_" + Today() + ".txt");
    ASSERT_EQ(customers.size(), 3u);
    EXPECT_EQ(customers[0], "CUSTNO;NAME;CITY;SINCE;CREDIT");
    EXPECT_EQ(customers[1].rfind("1001;Aalto Hardware;Oulu;2019-03-14;12", 0), 0u) << customers[1];
    EXPECT_EQ(customers[1].substr(customers[1].size() - 6), "500.50");
    EXPECT_EQ(customers[2].rfind("1003;Corner Cafe;Oulu;", 0), 0u) << customers[2];
    EXPECT_EQ(testing::ReadAll(dir_ / "Oulu_customers.dbf").size(), 2u);
    EXPECT_EQ(clipboard.rfind("CUSTNO\tNAME\tCITY\tSINCE\tCREDIT\r\n1001\tAalto Hardware\t", 0),
              0u);
    const auto totals = Lines("out/order_totals.txt");
    EXPECT_EQ(totals[0], "NAME;ORDERS;TOTAL");
    EXPECT_GE(totals.size(), 2u);
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].text,
              "Customers of Oulu and the order totals are in the folder out\r\nContinue?");
}

TEST_F(ExamplesTest, DemoWithAnotherCityAndTheNoBranch) {
    TQuerySession session(view, dir_.string());
    ASSERT_EQ(session.OpenProgram(Path("demo.orn")), "");
    session.Program().FindParam("City")->SetValue("Turku");
    session.Program().FindParam("MinCredit")->SetValue("0");
    view.answers = {DialogButton::No, DialogButton::Yes};
    EXPECT_EQ(session.RunProgram(), RunEnd::Completed);
    EXPECT_FALSE(session.ExitRequested());
    EXPECT_EQ(Lines("out/Turku_" + Today() + ".txt").size(), 3u);
    ASSERT_EQ(view.requests.size(), 2u);
    EXPECT_EQ(view.requests[1].text.rfind("You answered No", 0), 0u);
}

TEST_F(ExamplesTest, Import) {
    EXPECT_EQ(Run("import.orn"), RunEnd::Completed);
    EXPECT_TRUE(Errors().empty()) << Errors()[0];
    EXPECT_TRUE(view.requests.empty());
    EXPECT_EQ(testing::ReadAll(dir_ / "orders.dbf").size(), 27u);
    const auto lines = Lines("out/imported_" + Today() + ".txt");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "ORDERNO\tCUSTNO\tPARTNO\tQTY\tORDERED\tTOTAL");
    EXPECT_EQ(lines[2].rfind("6001\t1003\tP130\t10\t2026-01-16\t72", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("6002\t1005\tP150\t1\t2026-01-20\t", 0), 0u) << lines[3];
}

TEST_F(ExamplesTest, ImportOfAMissingFileAsksAndStops) {
    TQuerySession session(view, dir_.string());
    ASSERT_EQ(session.OpenProgram(Path("import.orn")), "");
    session.Program().FindParam("File")->SetValue("nothere.txt");
    EXPECT_EQ(session.RunProgram(), RunEnd::Completed);
    ASSERT_EQ(view.requests.size(), 1u);
    EXPECT_EQ(view.requests[0].text, "The file nothere.txt is missing\r\nContinue?");
    EXPECT_EQ(testing::ReadAll(dir_ / "orders.dbf").size(), 24u);
}

TEST_F(ExamplesTest, Maintain) {
    const char decimal = DecimalSeparator();
    EXPECT_EQ(Run("maintain.orn"), RunEnd::Completed);
    EXPECT_TRUE(Errors().empty()) << Errors()[0];
    EXPECT_EQ(DecimalSeparator(), decimal);
    auto parts = db::Table::open(dir_ / "parts.dbf", db::OpenMode::ReadOnly);
    EXPECT_EQ(parts->fields()[1].size, 40);
    EXPECT_EQ(parts->recordCount(), 6u);
    parts.reset();
    const auto prices = Lines("out/prices.txt");
    ASSERT_EQ(prices.size(), 7u);
    EXPECT_EQ(prices[1], "P100\tHammer\t19,90");
    EXPECT_TRUE(fs::exists(dir_ / "out" / ("prices_" + Today() + ".txt")));
    EXPECT_FALSE(fs::exists(dir_ / "out" / "prices_copy.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "out" / "scratch.txt"));
    EXPECT_EQ(fs::current_path(), fs::canonical(dir_));
    if (fs::exists(dir_ / "stock.db")) {
        auto stock = db::Table::open(dir_ / "stock.db", db::OpenMode::ReadOnly);
        EXPECT_EQ(stock->keyFieldCount(), 1);
        EXPECT_EQ(stock->fields()[1].size, 40);
    }
}

}  // namespace
}  // namespace orn
