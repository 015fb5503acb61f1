#include "input/cDesim.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scoped_separators.h"
#include "text/separators.h"

namespace orn {
namespace {

class DesimTest : public ::testing::Test {
  protected:
    test::ScopedSeparators separators_;
    // An entry as the keypad has it: fresh at v, up to 6 decimals typed.
    static cDesim Entry(double v = 0) { return cDesim(0, 6, v, -1e9, 1e9); }
    static void Type(cDesim& d, const char* digits) {
        for (const char* p = digits; *p; ++p) {
            if (*p == '.') {
                d.DecimalPoint();
            } else {
                d.AddDigit(*p - '0');
            }
        }
    }
};

TEST_F(DesimTest, DigitsReplaceAFreshValueAndBuildTheNumber) {
    cDesim d = Entry(12.5);
    EXPECT_TRUE(d.IsFresh());
    Type(d, "307");
    EXPECT_EQ(d.State, cDesim::kWhole);
    EXPECT_EQ(d.GetValue(), 307);
    EXPECT_EQ(d.ToString(), "307");
    Type(d, ".05");
    EXPECT_EQ(d.State, 2);
    EXPECT_EQ(d.ToString(), "307.05");
}

TEST_F(DesimTest, TypedDecimalsAreTheNearestDouble) {
    // Summing 0.1 + 0.02 + 0.003 would give 0.12300000000000001.
    cDesim d = Entry();
    Type(d, "0.123");
    EXPECT_EQ(d.GetValue(), 0.123);
    cDesim e = Entry();
    Type(e, "1234.567891");
    EXPECT_EQ(e.GetValue(), 1234.567891);
}

TEST_F(DesimTest, SeventhDecimalIsIgnored) {
    cDesim d = Entry();
    Type(d, "1.1234567");
    EXPECT_EQ(d.State, 6);
    EXPECT_EQ(d.GetValue(), 1.123456);
    EXPECT_EQ(d.ToString(), "1.123456");
}

TEST_F(DesimTest, PointAloneAndPointWithNoDecimalsAllowed) {
    cDesim d = Entry();
    d.Clear();
    d.DecimalPoint();
    EXPECT_EQ(d.State, 0);
    EXPECT_EQ(d.ToString(), "0.");
    d.AddDigit(5);
    EXPECT_EQ(d.GetValue(), 0.5);
    cDesim whole(0, 0, 7, 0, 100);
    whole.Clear();
    whole.AddDigit(4);
    whole.DecimalPoint();
    EXPECT_EQ(whole.State, cDesim::kWhole);
    EXPECT_EQ(whole.ToString(), "4");
}

TEST_F(DesimTest, PointOnAFreshValueKeepsItsWholePart) {
    cDesim whole = Entry(12);
    whole.DecimalPoint();
    EXPECT_EQ(whole.ToString(), "12.");
    whole.AddDigit(5);
    EXPECT_EQ(whole.GetValue(), 12.5);

    // With decimals already: they are typed anew (not added to the old fraction, which gave
    // 13.2, nor shown as "13." while waiting).
    cDesim frac = Entry(12.5);
    frac.DecimalPoint();
    EXPECT_EQ(frac.ToString(), "12.");
    frac.AddDigit(7);
    EXPECT_EQ(frac.GetValue(), 12.7);

    cDesim negative = Entry(-0.5);
    negative.DecimalPoint();
    EXPECT_EQ(negative.ToString(), "-0.");
    negative.AddDigit(7);
    EXPECT_EQ(negative.GetValue(), -0.7);
}

TEST_F(DesimTest, BackspaceWalksAFreshValueDown) {
    cDesim d = Entry(12.5);
    const char* shown[] = {"12.5", "12.", "12", "1", ""};
    for (const char* expected : shown) {
        EXPECT_TRUE(d.Backspace());
        EXPECT_EQ(d.ToString(), expected);
    }
    EXPECT_FALSE(d.Backspace());
    EXPECT_EQ(d.State, cDesim::kEmpty);
}

TEST_F(DesimTest, BackspaceOnAFreshValueRoundsToTheDecimalsItCanShow) {
    cDesim d = Entry(10.0 / 3);
    EXPECT_TRUE(d.Backspace());
    EXPECT_EQ(d.State, 6);
    EXPECT_EQ(d.GetValue(), 3.333333);
    cDesim big = Entry(1234567.25);
    EXPECT_TRUE(big.Backspace());
    EXPECT_EQ(big.GetValue(), 1234567.25);
    EXPECT_TRUE(big.Backspace());
    EXPECT_EQ(big.ToString(), "1,234,567.2");
}

TEST_F(DesimTest, BackspaceDropsExactlyOneTypedDecimal) {
    // 0.570 * 100 is 56.99999999999999 in doubles; the typed digits must still give 0.57.
    cDesim d = Entry();
    Type(d, "0.570");
    EXPECT_TRUE(d.Backspace());
    EXPECT_EQ(d.GetValue(), 0.57);
    EXPECT_EQ(d.ToString(), "0.57");
    EXPECT_TRUE(d.Backspace());
    EXPECT_EQ(d.ToString(), "0.5");
}

TEST_F(DesimTest, LoneMinusBeforeTheFirstDigit) {
    cDesim d = Entry();
    d.Clear();
    d.ChangeSign();
    EXPECT_EQ(d.ToString(), "-");
    d.AddDigit(5);
    EXPECT_EQ(d.GetValue(), -5);
    EXPECT_EQ(d.ToString(), "-5");
    EXPECT_TRUE(d.Backspace());
    EXPECT_EQ(d.ToString(), "-");
    EXPECT_TRUE(d.Backspace());
    EXPECT_EQ(d.ToString(), "");
    EXPECT_FALSE(d.Backspace());

    // A minus before 0 stays visible and survives the next digit.
    d.ChangeSign();
    d.AddDigit(0);
    EXPECT_EQ(d.ToString(), "-0");
    d.DecimalPoint();
    d.AddDigit(2);
    EXPECT_EQ(d.GetValue(), -0.2);
    // Backspace from "-0" drops the minus with the zero.
    cDesim z = Entry();
    z.Clear();
    z.ChangeSign();
    z.AddDigit(0);
    EXPECT_TRUE(z.Backspace());
    EXPECT_EQ(z.ToString(), "");
    EXPECT_EQ(z.Sign, +1);
}

TEST_F(DesimTest, TypingAfterBackspacingToALoneMinusStaysNegative) {
    cDesim d = Entry();
    d.Clear();
    d.ChangeSign();
    d.AddDigit(5);
    d.Backspace();  // "-" with a value of -0
    d.AddDigit(3);
    EXPECT_EQ(d.GetValue(), -3);
}

TEST_F(DesimTest, StepsKeepTheMinusThroughZero) {
    cDesim d = Entry();
    Type(d, "0.5");
    d.Step(-1);
    EXPECT_EQ(d.GetValue(), -0.5);
    EXPECT_EQ(d.ToString(), "-0.5");
    d.Step(-1);
    EXPECT_EQ(d.GetValue(), -1.5);

    cDesim m = Entry();
    m.Clear();
    m.ChangeSign();
    m.AddDigit(1);
    m.Step(+1);
    EXPECT_EQ(m.GetValue(), 0);
    EXPECT_EQ(m.ToString(), "-0");
    m.Step(+1);
    EXPECT_EQ(m.ToString(), "1");
}

TEST_F(DesimTest, ChangeSignOfValues) {
    cDesim d = Entry(4.25);
    d.ChangeSign();
    EXPECT_EQ(d.GetValue(), -4.25);
    EXPECT_TRUE(d.IsFresh());
    d.ChangeSign();
    EXPECT_EQ(d.GetValue(), 4.25);
}

TEST_F(DesimTest, ApplyOperators) {
    cDesim a = Entry(12), b = Entry(4), r = Entry();
    struct Case {
        char op;
        double expected;
    } cases[] = {{'+', 16}, {'-', 8}, {'*', 48}, {'x', 48}, {'/', 3}};
    for (const Case& c : cases) {
        r.Apply(c.op, a, b);
        EXPECT_EQ(r.GetValue(), c.expected) << c.op;
        EXPECT_TRUE(r.IsFresh());
    }
    cDesim zero = Entry(0);
    r.Apply('/', a, zero);
    EXPECT_EQ(r.GetValue(), 12);
    r.SetValue(99);
    r.Apply('X', a, b);
    r.Apply('%', a, b);
    EXPECT_EQ(r.GetValue(), 99);
}

TEST_F(DesimTest, LimitsAndRemovingThem) {
    cDesim r(2, 2, 150, 0, 100);
    EXPECT_TRUE(r.IsOver());
    EXPECT_FALSE(r.InRange());
    r.RemoveMax();
    EXPECT_TRUE(r.InRange());
    r.SetValue(-5);
    EXPECT_TRUE(r.IsUnder());
    r.RemoveMin();
    EXPECT_TRUE(r.InRange());
    // Bounds are inclusive.
    cDesim edge(0, 0, 100, 0, 100);
    EXPECT_TRUE(edge.InRange());
}

TEST_F(DesimTest, NonFiniteValuesAreNeverInRange) {
    cDesim r(0, 0, std::nan(""), -1e300, 1e300);
    EXPECT_FALSE(r.IsOver());
    EXPECT_FALSE(r.IsUnder());
    EXPECT_FALSE(r.InRange());
    r.SetValue(HUGE_VAL);
    r.MaxValue = HUGE_VAL;
    EXPECT_FALSE(r.InRange());
}

TEST_F(DesimTest, MinMaxReversedAcceptsNothing) {
    cDesim r(0, 0, 5, 10, 0);
    EXPECT_TRUE(r.IsOver());
    EXPECT_TRUE(r.IsUnder());
    EXPECT_FALSE(r.InRange());
}

TEST_F(DesimTest, FreshTextUsesTheShownDecimals) {
    cDesim result(2, 2, 1234.5, 0, 1e6);
    EXPECT_EQ(result.ToString(), "1,234.50");
    result.SetValue(10.0 / 3);
    EXPECT_EQ(result.ToString(), "3.33");
    cDesim general(-1, -1, 0.125, 0, 1);
    EXPECT_EQ(general.ToString(), "0.125");
    cDesim many(15, 15, 0.1, 0, 1);
    EXPECT_EQ(many.ToString(), "0.100000000000000");
    cDesim acc(0, 3, 2.0 / 3, -1e9, 1e9);
    EXPECT_EQ(acc.ToString(), "0.667");
    cDesim minus(0, 6, -0.0, -1, 1);
    EXPECT_EQ(minus.ToString(), "0");
}

TEST_F(DesimTest, FortyDigitsAndDecimalCommaLocale) {
    cDesim d = Entry();
    d.Clear();
    for (int i = 0; i < 40; ++i) {
        d.AddDigit(9);
    }
    EXPECT_NEAR(d.GetValue(), 1e40, 1e26);
    EXPECT_EQ(d.ToString(), "1E40");
    SetDecimalSeparator(',');
    SetThousandSeparator('.');
    cDesim e = Entry(1234.5);
    EXPECT_EQ(e.ToString(), "1.234,5");
    EXPECT_TRUE(e.Backspace());
    EXPECT_EQ(e.GetValue(), 1234.5);
    EXPECT_TRUE(e.Backspace());
    // The point just typed is shown as a full stop whatever the locale.
    EXPECT_EQ(e.ToString(), "1.234.");
}

}  // namespace
}  // namespace orn
