// The SQL help window: its sections, its contents and its find box.
#include "shell/qt/sqlhelp.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <sstream>

#include "dbengine/sql/help_text.h"

namespace orn {
namespace {

TEST(SqlHelpSections, HeadingsAreUpperCaseLinesInTheFirstColumn) {
    std::string title;
    auto sections = SplitHelpSections(
        "The title\n\nIntro text.\n\nFIRST PART\n  SELECT * FROM t\nNOT A HEADING? no\n"
        "  INDENTED UPPER\n\nSECOND (2)\nbody\n",
        &title);
    EXPECT_EQ(title, "The title");
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].title, "");
    EXPECT_EQ(sections[0].body, "Intro text.\n");
    EXPECT_EQ(sections[1].title, "FIRST PART");
    EXPECT_EQ(sections[1].body, "  SELECT * FROM t\nNOT A HEADING? no\n  INDENTED UPPER\n");
    EXPECT_EQ(sections[2].title, "SECOND (2)");
    EXPECT_EQ(sections[2].body, "body\n");
    // Digits and signs alone make no heading; no intro makes no empty first section.
    sections = SplitHelpSections("T\n1998-01-23\nONLY\n");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].body, "1998-01-23\n");
    EXPECT_EQ(SplitHelpSections("T\nA\nb\n").front().title, "A");
    EXPECT_TRUE(SplitHelpSections("").empty());
}

TEST(SqlHelpWindow, ShowsEveryLineOfTheHelpAndListsItsSections) {
    TFormSqlHelp help(sql::sqlHelpText());
    const QString shown = help.Browser()->toPlainText();
    std::istringstream in(sql::sqlHelpText());
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        const QString trimmed = QString::fromStdString(line).trimmed();
        EXPECT_TRUE(shown.contains(trimmed)) << line;
        ++lines;
    }
    EXPECT_GT(lines, 50);
    EXPECT_EQ(help.Contents()->item(0)->text(), "Contents");
    EXPECT_GT(help.Contents()->count(), 5);
    EXPECT_EQ(help.Contents()->item(1)->text(), "TABLE NAMES");
}

TEST(SqlHelpWindow, FindWrapsRoundAndSaysWhenNothingIsThere) {
    TFormSqlHelp help("Title\nA\nneedle one\nB\nneedle two\n");
    help.FindEdit()->setText("needle");
    ASSERT_TRUE(help.FindNext());
    const int first = help.Browser()->textCursor().selectionStart();
    ASSERT_TRUE(help.FindNext());
    const int second = help.Browser()->textCursor().selectionStart();
    EXPECT_GT(second, first);
    ASSERT_TRUE(help.FindNext());  // round the end
    EXPECT_EQ(help.Browser()->textCursor().selectionStart(), first);
    ASSERT_TRUE(help.FindNext(true));  // backwards round the start
    EXPECT_EQ(help.Browser()->textCursor().selectionStart(), second);
    EXPECT_EQ(help.Browser()->extraSelections().size(), 2);

    help.FindEdit()->setText("haystack");
    EXPECT_FALSE(help.FindNext());
    EXPECT_EQ(help.findChild<QLabel*>("LabelFindStatus")->text(), "Not found");
    EXPECT_TRUE(help.Browser()->extraSelections().isEmpty());
    help.FindEdit()->clear();
    EXPECT_FALSE(help.FindNext());
}

TEST(SqlHelpWindow, ChoosingASectionScrollsToItAndContentsGoesBack) {
    TFormSqlHelp help(sql::sqlHelpText());
    help.resize(500, 300);
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    QScrollBar* bar = help.Browser()->verticalScrollBar();
    EXPECT_EQ(bar->value(), 0);
    help.Contents()->setCurrentRow(help.Contents()->count() - 1);
    EXPECT_GT(bar->value(), 0);
    help.Contents()->setCurrentRow(0);
    EXPECT_EQ(bar->value(), 0);
}

}  // namespace
}  // namespace orn
