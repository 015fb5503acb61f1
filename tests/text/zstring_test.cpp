#include "text/zstring.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <regex>

namespace orn {
namespace {

TEST(SplitTest, TwoTrimKeepsInnerBlanksAndLaterDelimiters) {
    std::string a, b;
    EXPECT_EQ(SplitTwoTrim(" a , b , c ", ",", a, b), 2);
    EXPECT_EQ(a, "a");
    EXPECT_EQ(b, "b , c");

    EXPECT_EQ(SplitTwoTrim("  no delimiter\t", ",", a, b), 1);
    EXPECT_EQ(a, "no delimiter");
    EXPECT_EQ(b, "");
}

TEST(SplitTest, TwoDoesNotLoseCharactersOfLongTexts) {
    std::string longText(10001, 'x');
    longText[9999] = 'Y';
    std::string a, b;
    EXPECT_EQ(SplitTwo(longText, ",", a, b), 1);
    EXPECT_EQ(a, longText);
    EXPECT_EQ(b, "");

    std::string withComma = "k," + std::string(12000, 'v');
    EXPECT_EQ(SplitTwo(withComma, ",", a, b), 2);
    EXPECT_EQ(b.size(), 12000u);
}

TEST(SplitTest, ThreeAndFourCountFieldsAndDropTheRest) {
    std::string a, b, c, d;
    EXPECT_EQ(SplitThreeTrim("x,y", ",", a, b, c), 2);
    EXPECT_EQ(a, "x");
    EXPECT_EQ(b, "y");
    EXPECT_EQ(c, "");
    EXPECT_EQ(SplitThreeTrim("1, 2 ,3,4", ",", a, b, c), 4);
    EXPECT_EQ(b, "2");
    EXPECT_EQ(c, "3");
    EXPECT_EQ(SplitFour("1,2,3,4,5", ",", a, b, c, d), 5);
    EXPECT_EQ(d, "4");
    EXPECT_EQ(SplitThree("", ",", a, b, c), 1);
    EXPECT_EQ(a, "");
}

TEST(SplitTest, MultipleDelimiterCharacters) {
    std::string a, b, c;
    EXPECT_EQ(SplitThree("a;b,c", ",;", a, b, c), 3);
    EXPECT_EQ(a, "a");
    EXPECT_EQ(b, "b");
    EXPECT_EQ(c, "c");
}

TEST(DelimiterTest, CountsAndFindsButIgnoresUtf8TrailBytes) {
    EXPECT_EQ(CountDelimiters(",", ""), 0u);
    EXPECT_EQ(CountDelimiters(",;", "a,b;c,"), 3u);
    EXPECT_EQ(FirstDelimiter(",", "abc"), std::string::npos);
    EXPECT_EQ(FirstDelimiter(",", "ab,c"), 2u);
    // "é" is C3 A9; a delimiter set holding the byte A9 must not split it.
    EXPECT_EQ(FirstDelimiter("\xA9", "caf\xC3\xA9"), std::string::npos);
}

TEST(TokenTest, NextTokenWithSeparator) {
    std::string s = "a!!b!!c";
    EXPECT_EQ(NextToken(s, "!!"), "a");
    EXPECT_EQ(s, "b!!c");
    s = "a";
    EXPECT_EQ(NextToken(s, "!!"), "a");
    EXPECT_EQ(s, "");
    s = "!!b";
    EXPECT_EQ(NextToken(s, "!!"), "");
    EXPECT_EQ(s, "b");
    s = "x!!y";
    EXPECT_EQ(NextToken(s, ""), "x!!y");
    EXPECT_EQ(s, "");
}

TEST(TokenTest, NextTokenAnyTrailingDelimiterGivesNoEmptyToken) {
    std::string s = "a;";
    EXPECT_EQ(NextTokenAny(s, ";"), "a");
    EXPECT_EQ(s, "");
    s = "a;b";
    EXPECT_EQ(NextTokenAny(s, ""), "a;b");
}

TEST(ReplaceAllTest, ProtocolCases) {
    EXPECT_EQ(ReplaceAll("a-a", "a", "ab"), "ab-a");
    EXPECT_EQ(ReplaceAll("a-a", "a", "b"), "b-b");
    EXPECT_EQ(ReplaceAll("\"x\" \"y\"", "\"", ""), "x y");
    EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
    EXPECT_EQ(ReplaceAll("aabb", "ab", ""), "");  // occurrences re-formed by removal go too
}

TEST(ReplaceAllTest, ReplacementHoldingFindLaterTerminates) {
    EXPECT_EQ(ReplaceAll("a-a", "a", "ba"), "ba-ba");
    EXPECT_EQ(ReplaceAll("[x]", "[x]", "<[x]>"), "<[x]>");
    std::string big(10000, 'a');
    EXPECT_EQ(ReplaceAll(big, "a", "xa").size(), 20000u);
}

TEST(EnvTest, UndefinedIsEmpty) {
    unsetenv("ORN_TEST_SURELY_UNDEFINED");
    EXPECT_EQ(GetEnvVar("ORN_TEST_SURELY_UNDEFINED"), "");
    setenv("ORN_TEST_DEFINED", "v=1", 1);
    EXPECT_EQ(GetEnvVar("ORN_TEST_DEFINED"), "v=1");
    EXPECT_EQ(GetEnvVar(""), "");
}

TEST(TimeStampTest, Shape) {
    EXPECT_TRUE(std::regex_match(TimeStampText(), std::regex(R"(\d{6} \d{6}\.\d{2})")));
}

TEST(IntTest, WholeTextOnly) {
    int v = 0;
    EXPECT_TRUE(TryStrToInt("42", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(TryStrToInt("-7", v));
    EXPECT_EQ(v, -7);
    EXPECT_TRUE(TryStrToInt("+7", v));
    EXPECT_EQ(v, 7);
    EXPECT_FALSE(TryStrToInt("", v));
    EXPECT_FALSE(TryStrToInt("x", v));
    EXPECT_FALSE(TryStrToInt("3x", v));
    EXPECT_FALSE(TryStrToInt("+-3", v));
    EXPECT_FALSE(TryStrToInt("99999999999", v));
    EXPECT_EQ(StrToIntDef("nope", 5), 5);
}

TEST(IntTest, ListItemsAreCutOneByOne) {
    std::string list = " 10, -20,,x,7";
    EXPECT_EQ(NextIntItem(list), 10);
    EXPECT_EQ(NextIntItem(list), -20);
    EXPECT_EQ(NextIntItem(list), std::nullopt);  // empty item
    EXPECT_EQ(NextIntItem(list), std::nullopt);  // not a number
    EXPECT_EQ(NextIntItem(list), 7);
    EXPECT_EQ(list, "");
    EXPECT_EQ(NextIntItem(list), std::nullopt);
}

TEST(TextTest, Utf8Validity) {
    for (const char* good :
         {"", "plain", "M\u00e4kel\u00e4", "\u20ac", "\U0001F600", "\uD7FF", "\U0010FFFF"}) {
        EXPECT_TRUE(IsValidUtf8(good)) << good;
    }
    for (const char* bad : {"M\xe4kel\xe4",  // CP1252
                            "\xc3", "\xe2\x82", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80",
                            "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80", "\x80",
                            "a\xff"
                            "b"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
    }
}

TEST(TextTest, TrimAndSameText) {
    EXPECT_EQ(Trim("\t\r\n x y \x01"), "x y");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_TRUE(SameText("Program", "pROGRAM"));
    EXPECT_FALSE(SameText("Program", "Programs"));
}

}  // namespace
}  // namespace orn
