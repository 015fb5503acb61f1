#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <climits>
#include <memory>

#include "input/qt/ZParam.h"
#include "input/qt/numerot.h"
#include "input/qt/zComp.h"
#include "qt_fixture.h"
#include "scoped_separators.h"
#include "text/separators.h"

namespace orn {
namespace {

using test::TestForm;

class CounterTest : public test::QtSettingsFixture {
  protected:
    void SetUp() override {
        QtSettingsFixture::SetUp();
        SetNumberDialogs(&dialogs);
    }
    void TearDown() override {
        SetNumberDialogs(nullptr);
        QtSettingsFixture::TearDown();
    }
    // A parameter on the error window as the program builds it.
    std::unique_ptr<TestForm> FormWithParam(TzParam** param, const char* name = "ParamErrorLimit") {
        auto form = std::make_unique<TestForm>("Errors");
        *param = new TzParam(form.get());
        (*param)->setObjectName(name);
        (*param)->setGeometry(0, 0, 200, 30);
        form->FormLoaded();
        return form;
    }
    std::vector<test::RecordingReadOrder::Write> WritesTo(const std::string& key) const {
        std::vector<test::RecordingReadOrder::Write> out;
        for (const auto& w : Writes()) {
            if (w.key == key) {
                out.push_back(w);
            }
        }
        return out;
    }

    TScriptedDialogs dialogs;
    test::ScopedSeparators separators_;
};

TEST_F(CounterTest, Defaults) {
    TCounter counter;
    EXPECT_EQ(counter.Value(), 0);
    EXPECT_EQ(counter.Desim(), 0);
    EXPECT_EQ(counter.IniDesim(), 0);
    EXPECT_EQ(counter.Color(), QColor(255, 255, 128));
    EXPECT_EQ(counter.DisabledColor(), QColor(192, 192, 192));
    EXPECT_EQ(counter.BevelWidth(), 4);
    EXPECT_EQ(counter.LAlign(), TAlign::Left);
    EXPECT_EQ(counter.LabelWidth(), 0);
    EXPECT_EQ(counter.LabelHeight(), 12);
    EXPECT_TRUE(counter.Alignment() & Qt::AlignRight);
    EXPECT_TRUE(counter.LAlignment() & Qt::AlignLeft);
    EXPECT_EQ(counter.Ini().PropName, "AsIniString");
    EXPECT_FALSE(counter.Ini().AutoSave);
    EXPECT_EQ(counter.Ini().GenName(), "Counter");
    EXPECT_EQ(counter.DisplayPanel()->frameShadow(), QFrame::Sunken);

    TzParam param;
    EXPECT_EQ(param.MinValue, 0);
    EXPECT_EQ(param.MaxValue, 100000);
    EXPECT_EQ(param.BevelWidth(), 1);
    EXPECT_EQ(param.LabelWidth(), 30);
    EXPECT_EQ(param.Desim(), 0);
    EXPECT_FALSE(param.Ini().AutoSave);
    EXPECT_EQ(param.Ini().GenName(), "Param");
    EXPECT_TRUE(param.HasOnClick());
}

TEST_F(CounterTest, SameValueTwiceSavesAndNotifiesOnce) {
    TzParam* param = nullptr;
    auto form = FormWithParam(&param);
    param->Ini().AutoSave = true;
    int changes = 0;
    double seen = 0;
    param->AfterChange = [&](TCounter&, double& v) {
        ++changes;
        seen = v;
        v = 999;  // has no effect
    };
    param->SetValue(7);
    param->SetValue(7);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(param->Value(), 7);
    ASSERT_EQ(WritesTo("ErrorLimit").size(), 1u);
    EXPECT_EQ(WritesTo("ErrorLimit")[0].section, "Errors-Params");
    EXPECT_EQ(WritesTo("ErrorLimit")[0].value, "7");
    // Quiet: notifies but never saves.
    param->SetValueQuiet(8);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(WritesTo("ErrorLimit").size(), 1u);
    EXPECT_EQ(param->DisplayPanel()->text(), "8");
}

TEST_F(CounterTest, DisplayAndStoredTexts) {
    TCounter counter;
    counter.SetDesim(2);
    counter.SetValue(1234.5);
    EXPECT_EQ(counter.AsString(), "1,234.50");
    EXPECT_EQ(counter.DisplayPanel()->text(), "1,234.50");
    EXPECT_EQ(counter.AsIniString(), "1234.50");
    counter.SetIniDesim(2);
    EXPECT_EQ(counter.AsIniString(), "1234.5000");
    SetDecimalSeparator(',');
    SetThousandSeparator('.');
    EXPECT_EQ(counter.AsString(), "1.234,50");
    EXPECT_EQ(counter.AsIniString(), "1234.5000");
    counter.SetAsIniString("1,000.25");
    EXPECT_EQ(counter.Value(), 1000.25);
    counter.SetAsString("2.000,5");
    EXPECT_EQ(counter.Value(), 2000.5);

    counter.SetDesim(-1);
    counter.SetIniDesim(0);
    counter.SetValue(0.125);
    EXPECT_EQ(counter.AsIniString(), "0.125");
}

TEST_F(CounterTest, TextsThatAreNotNumbersGiveZero) {
    TCounter counter;
    for (const char* bad : {"abc", "", "NaN", "1e400", "-1e999"}) {
        counter.SetValue(5);
        counter.SetAsIniString(bad);
        EXPECT_EQ(counter.Value(), 0) << bad;
        counter.SetValue(5);
        counter.SetAsString(bad);
        EXPECT_EQ(counter.Value(), 0) << bad;
    }
}

TEST_F(CounterTest, AsIntegerTruncatesWithinTheIntRange) {
    TCounter counter;
    counter.SetValue(-2.7);
    EXPECT_EQ(counter.AsInteger(), -2);
    counter.SetValue(1e308);
    EXPECT_EQ(counter.AsInteger(), INT_MAX);
    counter.SetValue(-1e308);
    EXPECT_EQ(counter.AsInteger(), INT_MIN);
    counter.SetAsInteger(42);
    EXPECT_EQ(counter.Value(), 42);
}

TEST_F(CounterTest, DisablingPaintsTheFieldSilver) {
    TCounter counter;
    auto fill = [&] { return counter.DisplayPanel()->palette().color(QPalette::Window); };
    EXPECT_EQ(fill(), QColor(255, 255, 128));
    counter.setEnabled(false);
    EXPECT_EQ(fill(), QColor(192, 192, 192));
    counter.SetColor(Qt::green);  // stored, not painted while disabled
    EXPECT_EQ(fill(), QColor(192, 192, 192));
    counter.SetDisabledColor(Qt::gray);
    EXPECT_EQ(fill(), QColor(Qt::gray));
    counter.setEnabled(true);
    EXPECT_EQ(fill(), QColor(Qt::green));
}

TEST_F(CounterTest, ClicksOnBothPanelsReachTheControl) {
    TCounter counter;
    counter.SetLabelWidth(40);
    counter.resize(200, 30);
    counter.show();
    int clicks = 0;
    QTest::mouseClick(counter.DisplayPanel(), Qt::LeftButton);
    EXPECT_EQ(clicks, 0);
    counter.SetOnClick([&] { ++clicks; });
    QTest::mouseClick(counter.DisplayPanel(), Qt::LeftButton);
    QTest::mouseClick(counter.LabelPanel(), Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    QTest::mouseClick(counter.DisplayPanel(), Qt::RightButton);
    EXPECT_EQ(clicks, 2);
}

TEST_F(CounterTest, LabelPlacement) {
    TCounter counter;
    counter.resize(200, 60);
    counter.SetLabelWidth(50);
    EXPECT_EQ(counter.LabelPanel()->geometry(), QRect(0, 0, 50, 60));
    EXPECT_EQ(counter.DisplayPanel()->geometry(), QRect(50, 0, 150, 60));
    counter.SetLAlign(TAlign::Top);
    EXPECT_EQ(counter.LabelPanel()->geometry(), QRect(0, 0, 200, 12));
    EXPECT_EQ(counter.DisplayPanel()->geometry(), QRect(0, 12, 200, 48));
    counter.SetLAlign(TAlign::Client);  // refused; the sizes still apply
    EXPECT_EQ(counter.LAlign(), TAlign::Top);
    counter.SetLabelHeight(20);
    EXPECT_EQ(counter.LabelPanel()->geometry(), QRect(0, 0, 200, 20));
    counter.SetLAlign(TAlign::Right);
    EXPECT_EQ(counter.LabelPanel()->geometry(), QRect(150, 0, 50, 60));
}

TEST_F(CounterTest, CaptionFollowsRenames) {
    EXPECT_EQ(CounterCaptionFromName("Counter", "Counter1", "", ""), "1");
    EXPECT_EQ(CounterCaptionFromName("zParam", "ParamErrorLimit", "", ""), "rrorLimit");
    EXPECT_EQ(CounterCaptionFromName("Counter", "Count", "", ""), "");
    EXPECT_EQ(CounterCaptionFromName("Counter", "CounterSpeed", "Counter1", "1"), "Speed");
    EXPECT_EQ(CounterCaptionFromName("Counter", "counterSpeed", "COUNTER1", "1"), "Speed");
    EXPECT_EQ(CounterCaptionFromName("Counter", "Other", "Counter1", "Counter1"), "1");
    EXPECT_EQ(CounterCaptionFromName("Counter", "Other", "Counter1", "Speed"), "Speed");
    // The whole old name as caption has no front part.
    EXPECT_EQ(CounterCaptionFromName("Counter", "X2", "X1", "X1"), "X1");

    TzParam param;
    param.setObjectName("zParam1");
    EXPECT_EQ(param.Caption(), "1");
    param.setObjectName("zParamLimit");
    EXPECT_EQ(param.Caption(), "Limit");
}

TEST_F(CounterTest, LoadsStoredValueAndSavesAtDestruction) {
    StoreInUser("Errors-Params", "ErrorLimit", "12");
    TzParam* param = nullptr;
    {
        auto form = FormWithParam(&param);
        EXPECT_EQ(param->Value(), 12);
        EXPECT_TRUE(Writes().empty());  // applying the stored value writes nothing back
        param->SetValue(30);
        EXPECT_TRUE(Writes().empty());  // AutoSave is off
    }
    ASSERT_EQ(WritesTo("ErrorLimit").size(), 1u);
    EXPECT_EQ(WritesTo("ErrorLimit")[0].value, "30");
}

TEST_F(CounterTest, StoredTextThatIsNotANumberLoadsAsZero) {
    StoreInUser("Errors-Params", "ErrorLimit", "lots");
    TzParam* param = nullptr;
    auto form = FormWithParam(&param);
    EXPECT_EQ(param->Value(), 0);
}

TEST_F(CounterTest, AskPromptFallsBackToHintCaptionName) {
    TzParam param;
    param.setObjectName("ParamX");
    param.SetCaption("");
    EXPECT_EQ(param.EffectivePrompt(), "ParamX");
    param.SetCaption("Limit");
    EXPECT_EQ(param.EffectivePrompt(), "Limit");
    param.setToolTip("Hint text");
    EXPECT_EQ(param.EffectivePrompt(), "Hint text");
    param.Prompt = "How many?";
    EXPECT_EQ(param.EffectivePrompt(), "How many?");

    dialogs.QueueNumber(std::nullopt);
    TzParam bare;
    bare.setObjectName("zParamCount");
    bare.SetCaption("");
    EXPECT_FALSE(bare.Ask());
    ASSERT_EQ(dialogs.NumberRequests().size(), 1u);
    EXPECT_EQ(dialogs.NumberRequests()[0].prompt, "zParamCount");
}

TEST_F(CounterTest, AskSetsAndStoresTheConfirmedValue) {
    TzParam* param = nullptr;
    auto form = FormWithParam(&param);
    param->SetDesim(1);
    param->MinValue = 1;
    param->MaxValue = 50;
    param->SetValue(5);
    int afterSet = 0;
    param->AfterSet = [&](TzParam& p, double& v) {
        ++afterSet;
        EXPECT_EQ(p.Value(), v);
        return true;
    };
    dialogs.QueueNumber(12.5);
    EXPECT_TRUE(param->Ask());
    EXPECT_EQ(param->Value(), 12.5);
    EXPECT_EQ(afterSet, 1);
    const auto& request = dialogs.NumberRequests().back();
    EXPECT_EQ(request.value, 5);
    EXPECT_EQ(request.decimals, 1);
    EXPECT_EQ(request.minValue, 1);
    EXPECT_EQ(request.maxValue, 50);
    EXPECT_FALSE(request.mask);
    // Stored at once although AutoSave is off.
    ASSERT_EQ(WritesTo("ErrorLimit").size(), 1u);
    EXPECT_EQ(WritesTo("ErrorLimit")[0].value, "12.5");
}

TEST_F(CounterTest, CancelledOrStoppedAsksChangeNothing) {
    TzParam* param = nullptr;
    auto form = FormWithParam(&param);
    param->SetValue(5);
    int afterSet = 0;
    param->AfterSet = [&](TzParam&, double&) { return ++afterSet, true; };

    dialogs.QueueNumber(std::nullopt);  // Cancel
    EXPECT_FALSE(param->Ask());
    EXPECT_EQ(param->Value(), 5);

    param->BeforeAsk = [](TzParam&, double&) { return false; };
    EXPECT_FALSE(param->Ask());
    EXPECT_EQ(dialogs.NumberRequests().size(), 1u);  // no keypad opened

    param->BeforeAsk = [](TzParam&, double& v) { return v = 9, true; };
    param->AfterAsk = [](TzParam&, double&) { return false; };
    dialogs.QueueNumber(20);
    EXPECT_FALSE(param->Ask());
    EXPECT_EQ(dialogs.NumberRequests().back().value, 9);
    EXPECT_EQ(param->Value(), 5);
    EXPECT_EQ(afterSet, 0);
    EXPECT_TRUE(WritesTo("ErrorLimit").empty());

    // AfterAsk may change the value that is set; AfterSet's false is the result only.
    param->AfterAsk = [](TzParam&, double& v) { return v += 1, true; };
    param->AfterSet = [&](TzParam&, double&) { return ++afterSet, false; };
    dialogs.QueueNumber(20);
    EXPECT_FALSE(param->Ask());
    EXPECT_EQ(param->Value(), 21);
    EXPECT_EQ(afterSet, 1);
}

TEST_F(CounterTest, ClickAsks) {
    TzParam* param = nullptr;
    auto form = FormWithParam(&param);
    form->show();
    dialogs.QueueNumber(77);
    QTest::mouseClick(param->DisplayPanel(), Qt::LeftButton);
    EXPECT_EQ(param->Value(), 77);
}

}  // namespace
}  // namespace orn
