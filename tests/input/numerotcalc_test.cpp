#include "input/numerotcalc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scoped_separators.h"
#include "text/separators.h"

namespace orn {
namespace {

class CalcTest : public ::testing::Test {
  protected:
    test::ScopedSeparators separators_;
    // Types keys as the keypad reads them; "<" stands for backspace, "~" for Ctrl+Backspace.
    void Keys(const std::string& keys) {
        for (char c : keys) {
            c = c == '<' ? 8 : c == '~' ? 127 : c;
            calc.KeyPress(c);
        }
    }
    double Accepted() { return calc.Accepted().value_or(-12345.678); }

    TNumerotCalc calc;
};

TEST_F(CalcTest, ChainsEvaluateLeftToRight) {
    calc.Start(0, 0, -1e6, 1e6);
    Keys("12+3x");
    EXPECT_EQ(calc.Text(), "15x");
    Keys("2");
    EXPECT_EQ(calc.Text(), "15x2");
    EXPECT_EQ(Accepted(), 30);
    Keys("-40=");
    EXPECT_EQ(calc.Text(), "-10");
    EXPECT_TRUE(calc.Entry().IsFresh());
    EXPECT_EQ(Accepted(), -10);
}

TEST_F(CalcTest, OkRightAfterAnOperator) {
    calc.Start(0, 0, -1e6, 1e6);
    Keys("7+");
    EXPECT_EQ(calc.Text(), "7+");
    EXPECT_EQ(Accepted(), 7);
    Keys("<*");
    EXPECT_EQ(calc.Op(), '*');
    EXPECT_EQ(Accepted(), 0);
    Keys("<x");
    EXPECT_EQ(Accepted(), 0);
    Keys("</");
    EXPECT_EQ(Accepted(), 7);
    Keys("0");
    EXPECT_EQ(calc.Text(), "7/0");
    EXPECT_EQ(Accepted(), 7);
}

TEST_F(CalcTest, CapitalXIsNotAnOperator) {
    calc.Start(5, 0, 0, 100);
    EXPECT_FALSE(calc.KeyPress('X'));
    EXPECT_FALSE(calc.KeyPress('a'));
    EXPECT_EQ(calc.Op(), TNumerotCalc::kNoOp);
    EXPECT_EQ(calc.Text(), "5");
}

TEST_F(CalcTest, ResultIsNotRoundedToTheShownDecimals) {
    calc.Start(0, 2, 0, 100);
    Keys("10/3");
    EXPECT_EQ(calc.Text(), "10/3");
    Keys("=");
    EXPECT_EQ(calc.Text(), "3.33");
    EXPECT_DOUBLE_EQ(Accepted(), 10.0 / 3);
}

TEST_F(CalcTest, BackspaceWithdrawsThePendingOperator) {
    calc.Start(0, 0, -1e6, 1e6);
    Keys("12+5");
    Keys("<");
    EXPECT_EQ(calc.Text(), "12+");
    Keys("<");
    EXPECT_EQ(calc.Op(), TNumerotCalc::kNoOp);
    EXPECT_EQ(calc.Text(), "12");
    EXPECT_FALSE(calc.TextSelected());
    Keys("<");
    EXPECT_EQ(calc.Text(), "1");
}

TEST_F(CalcTest, FreshValueIsSelectedUntilTyping) {
    calc.Start(12.5, 1, 0, 100);
    EXPECT_TRUE(calc.TextSelected());
    EXPECT_EQ(calc.Text(), "12.5");
    const char* shown[] = {"12.5", "12.", "12", "1", ""};
    for (const char* expected : shown) {
        Keys("<");
        EXPECT_EQ(calc.Text(), expected);
        EXPECT_FALSE(calc.TextSelected());
    }
    // Empty is 0, inside 0..100.
    EXPECT_EQ(Accepted(), 0);
}

TEST_F(CalcTest, FreshValueShowsTheAskedDecimals) {
    calc.Start(3, 2, 0, 100);
    EXPECT_EQ(calc.Text(), "3.00");
    Keys("4");
    EXPECT_EQ(calc.Text(), "4");
}

TEST_F(CalcTest, OverLimitShowsOverAndHidesOk) {
    calc.Start(50, 0, 0, 100);
    EXPECT_TRUE(calc.ShowOK());
    Keys("150");
    EXPECT_FALSE(calc.ShowOK());
    EXPECT_TRUE(calc.ShowOver());
    EXPECT_FALSE(calc.ShowUnder());
    EXPECT_EQ(calc.OverCaption(), "100");
    EXPECT_FALSE(calc.Accepted().has_value());

    calc.SetToLimit(true);
    EXPECT_EQ(Accepted(), 100);
    EXPECT_TRUE(calc.TextSelected());

    Keys("150");
    calc.LiftLimit(true);
    EXPECT_TRUE(calc.ShowOK());
    EXPECT_EQ(Accepted(), 150);
    // Only for this ask.
    calc.Stop();
    calc.Start(150, 0, 0, 100);
    EXPECT_FALSE(calc.ShowOK());
}

TEST_F(CalcTest, UnderLimitAndLifting) {
    calc.Start(5, 1, 1.5, 10);
    EXPECT_EQ(calc.UnderCaption(), "1.5");
    Keys("-3");
    EXPECT_EQ(calc.Text(), "5-3");
    EXPECT_TRUE(calc.ShowOK());
    Keys("x0.5");
    EXPECT_EQ(calc.Text(), "2x0.5");
    EXPECT_FALSE(calc.ShowOK());
    EXPECT_TRUE(calc.ShowUnder());
    calc.LiftLimit(false);
    EXPECT_EQ(Accepted(), 1);
    calc.Stop();
    calc.Start(1, 1, 1.5, 10);
    calc.SetToLimit(false);
    EXPECT_EQ(Accepted(), 1.5);
}

TEST_F(CalcTest, LimitButtonSetsTheExactLimitNotItsRoundedCaption) {
    calc.Start(0, 2, 0, 99.999);
    EXPECT_EQ(calc.OverCaption(), "100.00");
    Keys("200");
    calc.SetToLimit(true);
    EXPECT_EQ(Accepted(), 99.999);
    calc.Stop();
    // A grouped caption must not be read as 100.
    calc.Start(0, 0, 0, 100000);
    EXPECT_EQ(calc.OverCaption(), "100,000");
    Keys("200000");
    calc.SetToLimit(true);
    EXPECT_EQ(Accepted(), 100000);
}

TEST_F(CalcTest, CtrlBackspaceGoesBackToTheStart) {
    calc.Start(42, 0, 0, 100);
    Keys("7+8");
    Keys("~");
    EXPECT_EQ(calc.Op(), TNumerotCalc::kNoOp);
    EXPECT_EQ(calc.Text(), "42");
    EXPECT_TRUE(calc.TextSelected());
    EXPECT_EQ(Accepted(), 42);
}

TEST_F(CalcTest, SpinAndSignChange) {
    calc.Start(5, 0, -100, 100);
    calc.Spin(+1);
    EXPECT_EQ(Accepted(), 6);
    calc.ChangeSign();
    EXPECT_EQ(Accepted(), -6);
    Keys("+");
    calc.ChangeSign();
    EXPECT_EQ(calc.Text(), "-6+-");
    Keys("2");
    EXPECT_EQ(Accepted(), -8);
}

TEST_F(CalcTest, CommaAndPointBothStartDecimals) {
    calc.Start(0, 2, 0, 100);
    Keys("1,5");
    EXPECT_EQ(Accepted(), 1.5);
    Keys("+2.25");
    EXPECT_EQ(Accepted(), 3.75);
}

TEST_F(CalcTest, SetStrValUsesTheDisplayParser) {
    SetDecimalSeparator(',');
    SetThousandSeparator('.');
    calc.Start(0, 2, 0, 1e6);
    calc.SetStrVal("1.234,5");
    EXPECT_EQ(Accepted(), 1234.5);
    EXPECT_EQ(calc.Text(), "1.234,50");
    calc.SetStrVal("abc");
    EXPECT_EQ(Accepted(), 0);
}

TEST_F(CalcTest, PasteReadsNumbersAndRefusesText) {
    calc.Start(1, 2, -1e9, 1e9);
    EXPECT_TRUE(calc.Paste("  1,234.5\n"));
    EXPECT_EQ(Accepted(), 1234.5);
    EXPECT_FALSE(calc.Paste("NaN"));
    EXPECT_FALSE(calc.Paste("hello"));
    EXPECT_FALSE(calc.Paste(""));
    EXPECT_FALSE(calc.Paste("1e400"));
    EXPECT_EQ(Accepted(), 1234.5);
    EXPECT_TRUE(calc.Paste("-0"));
    EXPECT_EQ(calc.Text(), "0.00");
    SetDecimalSeparator(',');
    SetThousandSeparator('.');
    EXPECT_TRUE(calc.Paste("1.234,5"));
    EXPECT_EQ(Accepted(), 1234.5);
}

TEST_F(CalcTest, HugeResultsAreRefused) {
    calc.Start(1e308, 0, -1e300, HUGE_VAL);
    EXPECT_TRUE(calc.ShowOK());
    Keys("x10");
    EXPECT_TRUE(std::isinf(calc.Result().GetValue()));
    EXPECT_FALSE(calc.ShowOK());
    EXPECT_FALSE(calc.Accepted().has_value());
    // inf * 0 is not a number: never accepted either.
    Keys("=x0");
    EXPECT_FALSE(calc.Accepted().has_value());
}

TEST_F(CalcTest, NegativeAndManyDecimalsAsked) {
    calc.Start(0.125, -1, 0, 1);
    EXPECT_EQ(calc.Text(), "0.125");
    EXPECT_EQ(calc.OverCaption(), "1");
    calc.Stop();
    calc.Start(0.1, 15, 0, 1);
    EXPECT_EQ(calc.Text(), "0.100000000000000");
    Keys("=");
    EXPECT_EQ(Accepted(), 0.1);
}

TEST_F(CalcTest, NothingHappensOutsideAnAsk) {
    EXPECT_FALSE(calc.Running());
    Keys("12+3");
    calc.InitOrig();
    calc.LiftLimit(true);
    EXPECT_FALSE(calc.Paste("5"));
    EXPECT_FALSE(calc.Accepted().has_value());
    EXPECT_FALSE(calc.ShowOK());
}

TEST_F(CalcTest, MaskedTextHidesEveryCharacter) {
    calc.Start(0, 0, 0, 10000);
    Keys("1234");
    EXPECT_EQ(calc.MaskedText(), "****");
}

}  // namespace
}  // namespace orn
