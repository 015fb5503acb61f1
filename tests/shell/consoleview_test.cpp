#include "shell/consoleview.h"

#include <gtest/gtest.h>

#include <sstream>

namespace orn {
namespace {

DialogRequest Request(DialogKind kind, std::vector<DialogButton> buttons) {
    DialogRequest r;
    r.kind = kind;
    r.text = "line one\r\nContinue?";
    r.buttons = std::move(buttons);
    return r;
}

using B = DialogButton;

TEST(DefaultAnswerTest, FixedRulesOfUnattendedRuns) {
    EXPECT_EQ(DefaultAnswer(Request(DialogKind::Error, {B::Yes, B::No, B::All})), B::No);
    EXPECT_EQ(DefaultAnswer(Request(DialogKind::Information, {B::Yes, B::No})), B::Yes);
    EXPECT_EQ(DefaultAnswer(Request(DialogKind::Information, {B::OK, B::Cancel, B::All})), B::OK);
    EXPECT_EQ(DefaultAnswer(Request(DialogKind::Error, {B::OK})), B::OK);
    EXPECT_EQ(DefaultAnswer(Request(DialogKind::Warning, {})), B::OK);
    EXPECT_EQ(DefaultAnswer(Request(DialogKind::Confirmation, {B::All})), B::All);
}

TEST(ConsoleViewTest, UnattendedPrintsAndAnswers) {
    std::istringstream in("y\n");
    std::ostringstream out, err;
    TConsoleView view(false, in, out, err);
    EXPECT_EQ(view.Ask(Request(DialogKind::Information, {B::Yes, B::No})), B::Yes);
    EXPECT_EQ(view.Ask(Request(DialogKind::Error, {B::Yes, B::No, B::All})), B::No);
    EXPECT_EQ(out.str(), "Information: line one\nContinue?\n-> Yes\n");
    EXPECT_EQ(err.str(), "Error: line one\nContinue?\n-> No\n");
}

TEST(ConsoleViewTest, ABoxWithoutChoiceDoesNotPrintItsAnswer) {
    std::istringstream in;
    std::ostringstream out, err;
    TConsoleView view(false, in, out, err);
    EXPECT_EQ(view.Ask(Request(DialogKind::Error, {B::OK})), B::OK);
    EXPECT_EQ(view.Ask(Request(DialogKind::Information, {})), B::OK);
    EXPECT_EQ(err.str(), "Error: line one\nContinue?\n");
    EXPECT_EQ(out.str(), "Information: line one\nContinue?\n");
    view.Warn("two\r\nlines");
    EXPECT_EQ(err.str(), "Error: line one\nContinue?\norn: warning: two\nlines\n");
}

TEST(ConsoleViewTest, InteractiveAsksUntilAValidAnswerThenFallsBackAtEnd) {
    std::istringstream in("maybe\n a \nCANCEL\n");
    std::ostringstream out, err;
    TConsoleView view(true, in, out, err);
    EXPECT_EQ(view.Ask(Request(DialogKind::Error, {B::Yes, B::No, B::All})), B::All);
    EXPECT_EQ(view.Ask(Request(DialogKind::Information, {B::OK, B::Cancel, B::All})), B::Cancel);
    EXPECT_EQ(view.Ask(Request(DialogKind::Information, {B::Yes, B::No})), B::Yes);  // EOF
    EXPECT_NE(err.str().find("[Y]es/[N]o/[A]ll? [Y]es/[N]o/[A]ll? "), std::string::npos);
}

TEST(ConsoleViewTest, InterruptRequestsAStopOnce) {
    std::istringstream in;
    std::ostringstream out, err;
    TConsoleView view(false, in, out, err);
    int stops = 0;
    view.OnInterrupt = [&] { ++stops; };
    view.ProcessPendingMessages();
    TConsoleView::RequestInterrupt();
    view.ProcessPendingMessages();
    view.ProcessPendingMessages();
    EXPECT_EQ(stops, 1);
}

}  // namespace
}  // namespace orn
