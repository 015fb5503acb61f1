// The separator box forms and the import value splitter.
#include <gtest/gtest.h>

#include "workbench/separator.h"
#include "workbench/textexchange.h"
#include "workbench/valuesplitter.h"

namespace orn {
namespace {

using Values = std::vector<std::string>;

TEST(SeparatorTest, EscapesAndNumberForms) {
    EXPECT_EQ(SeparatorFromText(""), "\t");
    EXPECT_EQ(SeparatorFromText("\\t"), "\t");
    EXPECT_EQ(SeparatorFromText("#9"), "\t");
    EXPECT_EQ(SeparatorFromText("\\n"), "\n");
    EXPECT_EQ(SeparatorFromText("\\r"), "\r");
    for (const char* comma : {"#44", "#$2C", "#x2C", "#0x2C", "#0X2c", "#  44", "#+44", "#300"}) {
        EXPECT_EQ(SeparatorFromText(comma), ",") << comma;
    }
    EXPECT_EQ(SeparatorFromText("#59"), ";");
    EXPECT_EQ(SeparatorFromText("#-1"), "\xFF");
    EXPECT_EQ(SeparatorFromText("#A"), std::string(1, '\0'));
    EXPECT_EQ(SeparatorFromText("#"), std::string(1, '\0'));
    EXPECT_EQ(SeparatorFromText("#44x"), std::string(1, '\0'));
    EXPECT_EQ(SeparatorFromText("#99999999999"), std::string(1, '\0'));  // too big: no number
    EXPECT_EQ(SeparatorFromText(";;"), ";;");
    EXPECT_EQ(SeparatorFromText("\\x"), "\\x");
}

TEST(ValueSplitterTest, CommaDelimited) {
    EXPECT_EQ(SplitImportLine("a,\"b,c\",d", ',').values, (Values{"a", "b,c", "d"}));
    EXPECT_EQ(SplitImportLine("a,,b", ',').values, (Values{"a", "", "b"}));
    EXPECT_EQ(SplitImportLine(",a", ',').values, (Values{"", "a"}));
    EXPECT_EQ(SplitImportLine("a,", ',').values, (Values{"a", ""}));
    EXPECT_EQ(SplitImportLine("  a  ,  b  ", ',').values, (Values{"a", "b"}));
    EXPECT_EQ(SplitImportLine("new york,x", ',').values, (Values{"new", "york", "x"}));
    EXPECT_EQ(SplitImportLine("\"say \"\"hi\"\"\",2", ',').values, (Values{"say \"hi\"", "2"}));
    EXPECT_EQ(SplitImportLine("\"\",x", ',').values, (Values{"", "x"}));
    EXPECT_TRUE(SplitImportLine("", ',').values.empty());
    EXPECT_TRUE(SplitImportLine("   ", ',').values.empty());
    EXPECT_FALSE(SplitImportLine("a,\"b\"", ',').unbalancedQuote);
}

TEST(ValueSplitterTest, TabDelimiterIsABlankToo) {
    EXPECT_EQ(SplitImportLine("a\t\tb", '\t').values, (Values{"a", "b"}));
    EXPECT_EQ(SplitImportLine("a\tb\t", '\t').values, (Values{"a", "b"}));
    EXPECT_EQ(SplitImportLine("a;;b", ';').values, (Values{"a", "", "b"}));
}

TEST(ValueSplitterTest, UnclosedQuoteRunsToTheEndAndIsFlagged) {
    TSplitLine split = SplitImportLine("1,\"open, still open", ',');
    EXPECT_TRUE(split.unbalancedQuote);
    EXPECT_EQ(split.values, (Values{"1", "open, still open"}));
}

TEST(ValueSplitterTest, ASplitUsedAgainHoldsOnlyTheNewLine) {
    TSplitLine split;
    SplitImportLine("a long first value,\"still open", ',', split);
    EXPECT_TRUE(split.unbalancedQuote);
    SplitImportLine("\"q\"\"\",", ',', split);
    EXPECT_EQ(split.values, (Values{"q\"", ""}));
    EXPECT_FALSE(split.unbalancedQuote);
    SplitImportLine("x", ',', split);
    EXPECT_EQ(split.values, (Values{"x"}));
    SplitImportLine("", ',', split);
    EXPECT_TRUE(split.values.empty());
}

TEST(TextLinesTest, LineEnds) {
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (Values{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\r\n"), (Values{"a"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\nb"), (Values{"a", "", "b"}));
    EXPECT_TRUE(SplitTextLines("").empty());
}

}  // namespace
}  // namespace orn
