#include "text/zMacroString.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace orn {
namespace {

TEST(MacroExpandTest, RunnerSettings) {
    TzMacroVarList list;
    list.SetValue("[x]", "1");
    EXPECT_EQ(list.Expand("a[x]b[x]"), "a1b1");

    list.SetValue("[a]", "[b]");
    list.SetValue("[b]", "2");
    EXPECT_EQ(list.Expand("[a]"), "2");

    TzMacroVarList order;
    order.SetValue("ab", "1");
    order.SetValue("abc", "2");
    EXPECT_EQ(order.Expand("abc"), "1c");

    TzMacroVarList cased;
    cased.SetValue("[X]", "v");
    EXPECT_EQ(cased.Expand("[x]"), "[x]");

    TzMacroVarList letter;
    letter.SetValue("e", "E");
    EXPECT_EQ(letter.Expand("select"), "sElEct");
    EXPECT_EQ(letter.Expand(""), "");
}

TEST(MacroExpandTest, SelfReferenceIsBoundedAndReported) {
    TzMacroVarList list;
    list.SetValue("[a]", "x[a]");
    std::string result;
    EXPECT_FALSE(list.Expand("[a]", result));
    EXPECT_LE(result.size(), TzMacroVarList::kMaxExpandedLength + 8);

    TzMacroVarList doubling;
    doubling.SetValue("[d]", "[d][d]");
    EXPECT_FALSE(doubling.Expand("[d]", result));
    EXPECT_LE(result.size(), 2 * TzMacroVarList::kMaxExpandedLength);

    TzMacroVarList cycle;
    cycle.SetValue("[p]", "[q]");
    cycle.SetValue("[q]", "[p]");
    EXPECT_FALSE(cycle.ExpandAll("go [p]", result));

    TzMacroVarList fine;
    fine.SetValue("[v]", "1");
    EXPECT_TRUE(fine.Expand("[v]", result));
}

TEST(MacroExpandTest, SettingsLayerSeparatorsAndThresholds) {
    TzMacroVarList list;
    list.Separators = ";";
    list.MinNameLength = 1;
    list.MinScanLength = 6;
    EXPECT_EQ(list.Expand("a;;b"), "a;b");
    EXPECT_EQ(list.Expand("a;b;"), "a;b");

    list.SetValue("u", "U");
    list.SetValue("ab", "XY");
    // Five characters: mapped letter by letter, so "ab" is not found but "u" is.
    EXPECT_EQ(list.Expand("abcdu"), "abcdU");
    EXPECT_EQ(list.Expand("ab;u"), "ab;U");
    // Six characters: searched for names of two or more characters, so "u" is not replaced.
    EXPECT_EQ(list.Expand("abcdeu"), "XYcdeu");
}

TEST(MacroExpandTest, ChainOfManyVariablesReachesFixedPoint) {
    TzMacroVarList list;
    for (int i = 0; i < 200; ++i) {
        list.SetValue("[v" + std::to_string(i) + "]", "[v" + std::to_string(i + 1) + "]");
    }
    list.SetValue("[v200]", "end");
    std::string result;
    EXPECT_TRUE(list.Expand("[v0]", result));
    EXPECT_EQ(result, "end");
}

TEST(MacroEnvironmentTest, PercentReferences) {
    setenv("ORN_MACRO_TEST", "val", 1);
    unsetenv("ORN_MACRO_UNDEFINED");
    EXPECT_EQ(ExpandEnvironment("a%ORN_MACRO_TEST%b"), "avalb");
    EXPECT_EQ(ExpandEnvironment("100%"), "100%");
    EXPECT_EQ(ExpandEnvironment("a%%b"), "a%b");
    EXPECT_EQ(ExpandEnvironment("x%ORN_MACRO_UNDEFINED%y"), "xy");
    // "% of %" names the variable " of ", which is not defined.
    EXPECT_EQ(ExpandEnvironment("50% of %ORN_MACRO_TEST"), "50ORN_MACRO_TEST");
    setenv("ORN_MACRO_PCT", "%ORN_MACRO_TEST%", 1);
    EXPECT_EQ(ExpandEnvironment("%ORN_MACRO_PCT%"), "%ORN_MACRO_TEST%");  // one pass only

    TzMacroVarList list;
    list.SetValue("[e]", "%ORN_MACRO_TEST%");
    EXPECT_EQ(list.ExpandAll("<[e]>"), "<val>");
    EXPECT_EQ(list.Expand("<[e]>"), "<%ORN_MACRO_TEST%>");
}

TEST(MacroEventTest, OnChangeRules) {
    TzMacroVarList list;
    std::vector<int> changes;
    list.OnChange = [&](TzMacroVarList&, int index) { changes.push_back(index); };
    list.SetValue("a", "");  // creating always reports
    list.SetValue("a", "");  // same value: nothing
    list.SetValue("b", "1");
    list.SetValue("a", "2");
    EXPECT_EQ(changes, (std::vector<int>{0, 1, 0}));

    changes.clear();
    list.AddVar(TzBaseMacroVar::Create<TzStringMacroVar>("c", ""));  // equals DefaultValue
    EXPECT_TRUE(changes.empty());
    list.AddVar(TzBaseMacroVar::Create<TzStringMacroVar>("b", "new"));  // replaces in place
    EXPECT_EQ(changes, (std::vector<int>{1}));
    EXPECT_EQ(list.IndexOf("b"), 1);
    EXPECT_EQ(list.GetValue("b"), "new");
    list.AddVar(nullptr);
    EXPECT_EQ(list.Count(), 3);

    changes.clear();
    list.SetValueAt(0, "by index");
    list.SetValueAt(99, "ignored");
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(list.ValueAt(0), "by index");
    list.DefaultValue = "dflt";
    EXPECT_EQ(list.ValueAt(-1), "dflt");
    EXPECT_EQ(list.GetValue("zz"), "dflt");
    list.DeleteVar("a");
    EXPECT_EQ(list.IndexOf("a"), -1);
    EXPECT_EQ(list.Expand("b"), "new");  // the lookup index follows deletions
}

class CountingVar : public TzBaseMacroVar {
  public:
    std::string GetValue() const override { return value_; }
    void SetValue(const std::string& value) override { value_ = "<" + value + ">"; }

  private:
    std::string value_;
};

TEST(MacroVarTest, CreateGoesThroughVirtualSetValue) {
    auto var = TzBaseMacroVar::Create<CountingVar>("n", "v");
    EXPECT_EQ(var->GetValue(), "<v>");
    TzBaseMacroVar base;
    base.SetValue("ignored");
    EXPECT_EQ(base.GetValue(), "");
}

TEST(MacroIniTest, LoadFromIni) {
    auto path = std::filesystem::temp_directory_path() / "orn_macro_test.ini";
    {
        std::ofstream out(path);
        out << "[Vars]\n\"quoted=1\nplain = two \nPLAIN=ignored\n[Other]\nx=y\n";
    }
    TzMacroVarList list;
    list.LoadFromIni(path.string(), "vars");
    EXPECT_EQ(list.GetValue("quoted"), "1");
    EXPECT_EQ(list.GetValue("plain"), "two");
    EXPECT_EQ(list.GetValue("PLAIN"), "two");  // repeated name takes the first value
    EXPECT_EQ(list.IndexOf("x"), -1);
    list.LoadFromIni((path.string() + ".missing"), "Vars");
    EXPECT_EQ(list.Count(), 3);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace orn
