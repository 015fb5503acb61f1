#include "text/dialogs.h"

#include <gtest/gtest.h>

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

TEST(DialogsTest, Captions) {
    EXPECT_STREQ(DialogCaption(DialogKind::Information), "Information");
    EXPECT_STREQ(DialogButtonCaption(DialogButton::All), "All");
    DialogRequest custom;
    custom.caption = "Program commands";
    EXPECT_EQ(EffectiveCaption(custom), "Program commands");
}

}  // namespace
}  // namespace orn
