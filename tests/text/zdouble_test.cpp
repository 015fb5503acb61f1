#include "text/zdouble.h"

#include <gtest/gtest.h>

#include "text/separators.h"

namespace orn {
namespace {

class SeparatorsGuard : public ::testing::Test {
  protected:
    void SetUp() override {
        decimal_ = DecimalSeparator();
        thousand_ = ThousandSeparator();
    }
    void TearDown() override {
        SetDecimalSeparator(decimal_);
        SetThousandSeparator(thousand_);
        ForgetRememberedDecimalSeparator();
    }
    void Use(char decimal, char thousand) {
        SetDecimalSeparator(decimal);
        SetThousandSeparator(thousand);
    }

  private:
    char decimal_ = '.';
    char thousand_ = ',';
};

using FormatTest = SeparatorsGuard;
using ParseTest = SeparatorsGuard;
using DecimalMemoryTest = SeparatorsGuard;

TEST_F(FormatTest, LocalAndStoredForms) {
    Use(',', '.');
    EXPECT_EQ(FormatNumber(2, 1234.5), "1.234,50");
    EXPECT_EQ(FormatDotNumber(2, 1234.5), "1234.50");
    EXPECT_EQ(FormatNumber(0, -1234567.0), "-1.234.567");
    EXPECT_EQ(FormatNumber(-1, 0.5), "0,5");
    Use('.', ',');
    EXPECT_EQ(FormatNumber(3, 999.9996), "1,000.000");
    EXPECT_EQ(FormatNumber(1, 12.0), "12.0");
    EXPECT_EQ(FormatNumber(-1, 1e20), "1E20");
    EXPECT_EQ(FormatNumber(-1, 2.5e-7), "2.5E-7");
    EXPECT_EQ(FormatDotNumber(-1, 1.0 / 3), "0.333333333333333");
}

TEST_F(FormatTest, ExactTiesRoundAwayFromZero) {
    Use('.', ',');
    EXPECT_EQ(FormatNumber(0, 2.5), "3");
    EXPECT_EQ(FormatNumber(0, -2.5), "-3");
    EXPECT_EQ(FormatNumber(0, 0.5), "1");
    EXPECT_EQ(FormatNumber(2, 0.125), "0.13");
    EXPECT_EQ(FormatNumber(2, -0.375), "-0.38");
    EXPECT_EQ(FormatNumber(1, 1234.25), "1,234.3");
    EXPECT_EQ(FormatDotNumber(0, 3.5), "4");
    // Not ties in binary: 1.005 is stored a little below, 0.025 a little above.
    EXPECT_EQ(FormatNumber(2, 1.005), "1.00");
    EXPECT_EQ(FormatNumber(2, 0.025), "0.03");
    EXPECT_EQ(FormatNumber(2, 2.675), "2.67");
    // Already exact at that many decimals: nothing to round.
    EXPECT_EQ(FormatNumber(3, 0.125), "0.125");
    EXPECT_EQ(FormatNumber(0, 4.0), "4");
}

TEST_F(FormatTest, NoMinusOnZeroText) {
    Use('.', ',');
    EXPECT_EQ(FormatNumber(2, -0.0), "0.00");
    EXPECT_EQ(FormatNumber(2, -0.001), "0.00");
    EXPECT_EQ(FormatNumber(0, -0.4), "0");
    EXPECT_EQ(FormatNumber(-1, -0.0), "0");
    EXPECT_EQ(FormatDotNumber(1, -0.04), "0.0");
    EXPECT_EQ(FormatNumber(2, -0.005), "-0.01");
    Use(',', '.');
    EXPECT_EQ(FormatNumber(2, -0.0001), "0,00");
}

TEST_F(FormatTest, HugeValuesKeepAllDigits) {
    Use('.', ',');
    std::string text = FormatDotNumber(300, 1e308);
    EXPECT_EQ(text.size(), 309u + 1 + 300);
    EXPECT_EQ(text.substr(0, 3), "100");
    EXPECT_EQ(FormatNumber(0, -1e20), "-100,000,000,000,000,000,000");
}

TEST_F(FormatTest, DecimalsOf) {
    EXPECT_EQ(DecimalsOf(2.25), 2);
    EXPECT_EQ(DecimalsOf(3), -1);
    EXPECT_EQ(DecimalsOf(0.00001), 5);
    EXPECT_EQ(DecimalsOf(-7.5), 1);
    Use(',', '.');
    EXPECT_EQ(DecimalsOf(2.25), 2);
}

TEST_F(ParseTest, StoredFormUnderEveryLocale) {
    for (char decimal : {'.', ',', ';'}) {
        Use(decimal, decimal == '.' ? ',' : '.');
        EXPECT_DOUBLE_EQ(DotTextToFloatDef("1,234.5", -1), 1234.5) << decimal;
        EXPECT_DOUBLE_EQ(DotTextToFloatDef("", -1), -1) << decimal;
        EXPECT_DOUBLE_EQ(DotTextToFloatDef("abc", -1), -1) << decimal;
        EXPECT_DOUBLE_EQ(DotTextToFloatDef("-2e3", 0), -2000) << decimal;
    }
}

TEST_F(ParseTest, LocalFormWithDecimalComma) {
    Use(',', '.');
    EXPECT_DOUBLE_EQ(TextToFloatDef("1 234,5", -1), 1234.5);
    EXPECT_DOUBLE_EQ(TextToFloatDef("1\xC2\xA0"
                                    "234,5",
                                    -1),
                     1234.5);
    EXPECT_DOUBLE_EQ(TextToFloatDef("1.234,5", -1), 1234.5);
    EXPECT_DOUBLE_EQ(TextToFloatDef("abc", -1), -1);
    EXPECT_DOUBLE_EQ(TextToFloatDef("12x", -1), -1);
    EXPECT_DOUBLE_EQ(TextToFloatDef("", -1), -1);
}

TEST_F(ParseTest, LocalFormWithDecimalPoint) {
    Use('.', ',');
    EXPECT_DOUBLE_EQ(TextToFloatDef("12.5", -1), 12.5);
    EXPECT_DOUBLE_EQ(TextToFloatDef("-1.5e2", 0), -150);
    EXPECT_DOUBLE_EQ(TextToFloatDef("12abc", -1), 12);  // the number read up to "a"
    EXPECT_DOUBLE_EQ(TextToFloatDef("abc", -1), -1);
    EXPECT_DOUBLE_EQ(TextToFloatDef("", 7), 7);
    EXPECT_DOUBLE_EQ(TextToFloatDef("E", 3), 3);
    EXPECT_DOUBLE_EQ(TextToFloatDef("e5", 3), 3);
    EXPECT_DOUBLE_EQ(TextToFloat("x"), 0);
    Use('.', ' ');
    EXPECT_DOUBLE_EQ(TextToFloatDef("1 000.25", 0), 1000.25);
}

TEST_F(DecimalMemoryTest, RemembersOnlyTheFirstChange) {
    Use('.', ',');
    ForgetRememberedDecimalSeparator();
    RestoreDecimalSeparator();  // nothing remembered: no change
    EXPECT_EQ(DecimalSeparator(), '.');
    ChangeDecimalSeparatorRemembering(',');
    ChangeDecimalSeparatorRemembering(';');
    EXPECT_EQ(DecimalSeparator(), ';');
    RestoreDecimalSeparator();
    EXPECT_EQ(DecimalSeparator(), '.');
    ChangeDecimalSeparatorRemembering(',');
    RestoreDecimalSeparator();  // still remembered
    EXPECT_EQ(DecimalSeparator(), '.');
}

TEST(FieldTest, NextFieldAndNextIntField) {
    std::string s = "10,20";
    EXPECT_EQ(NextField(s, ",", "d"), "10");
    EXPECT_EQ(s, "20");
    s = ",20";
    EXPECT_EQ(NextField(s, ",", "d"), "d");
    EXPECT_EQ(s, "20");
    s = "a;b,c";
    EXPECT_EQ(NextField(s, ",;", ""), "a");
    EXPECT_EQ(s, "b,c");
    s = "x,5";
    EXPECT_EQ(NextIntField(s, ",", 9), 9);
    EXPECT_EQ(NextIntField(s, ",", 9), 5);
    EXPECT_EQ(NextIntField(s, ",", 9), 9);  // empty
    EXPECT_EQ(MinInt(3, -2), -2);
}

}  // namespace
}  // namespace orn
