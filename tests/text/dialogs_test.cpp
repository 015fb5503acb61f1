#include "text/dialogs.h"

#include <gtest/gtest.h>

#include <cmath>

namespace orn {
namespace {

TEST(DialogsTest, ScriptedAnswersRecordsAndFallsBack) {
    TScriptedDialogs dialogs({DialogButton::Yes, DialogButton::All}, DialogButton::Cancel);
    EXPECT_EQ(dialogs.Ask(DialogKind::Error, "e", {DialogButton::Yes, DialogButton::No}),
              DialogButton::Yes);
    EXPECT_EQ(dialogs.Ask(DialogKind::Information, "i", {}), DialogButton::All);
    dialogs.ShowMessage("m");  // answered by the fallback
    ASSERT_EQ(dialogs.Requests().size(), 3u);
    EXPECT_EQ(dialogs.Requests()[0].kind, DialogKind::Error);
    EXPECT_EQ(EffectiveCaption(dialogs.Requests()[0]), "Error");
    EXPECT_EQ(EffectiveButtons(dialogs.Requests()[1]), std::vector<DialogButton>{DialogButton::OK});
    EXPECT_EQ(dialogs.Requests()[2].text, "m");
    EXPECT_EQ(dialogs.Pending(), 0u);
}

TEST(DialogsTest, ScriptedNumbersKeepToTheLimits) {
    TScriptedDialogs dialogs;
    dialogs.QueueNumber(42.5);
    dialogs.QueueNumber(std::nullopt);
    dialogs.QueueNumber(101);
    dialogs.QueueNumber(std::nan(""));
    NumberRequest request;
    request.prompt = "How many?";
    request.maxValue = 100;
    double value = 7;
    EXPECT_TRUE(dialogs.AskNumber(request, value));
    EXPECT_EQ(value, 42.5);
    for (int i = 0; i < 3; ++i) {
        value = 7;
        EXPECT_FALSE(dialogs.AskNumber(request, value)) << i;
        EXPECT_EQ(value, 7) << i;
    }
    EXPECT_FALSE(dialogs.AskNumber(request, value));  // nothing left: cancelled
    ASSERT_EQ(dialogs.NumberRequests().size(), 5u);
    EXPECT_EQ(dialogs.NumberRequests()[0].prompt, "How many?");
    // An answerer without a keypad cancels.
    TDialogs& plain = dialogs;
    EXPECT_FALSE(plain.TDialogs::AskNumber(request, value));
}

TEST(DialogsTest, Captions) {
    EXPECT_STREQ(DialogCaption(DialogKind::Information), "Information");
    EXPECT_STREQ(DialogButtonCaption(DialogButton::All), "All");
    DialogRequest custom;
    custom.caption = "Program commands";
    EXPECT_EQ(EffectiveCaption(custom), "Program commands");
}

}  // namespace
}  // namespace orn
