#include "dbengine/dataset/display_format.h"

#include <gtest/gtest.h>

namespace orn::db {
namespace {

std::string us(double v, const char* mask) {
    return formatNumberMask(v, mask, '.', ',');
}
std::string eu(double v, const char* mask) {
    return formatNumberMask(v, mask, ',', '.');
}

TEST(DisplayFormat, DigitPlaceholdersAndRounding) {
    EXPECT_EQ(us(1234.5, "0.00"), "1234.50");
    EXPECT_EQ(us(1234.567, "0.00"), "1234.57");
    EXPECT_EQ(us(5, "0.##"), "5");  // no point without decimals to show
    EXPECT_EQ(us(5.1, "0.##"), "5.1");
    EXPECT_EQ(us(0.5, "#.##"), ".5");
    EXPECT_EQ(us(7, "000"), "007");
    EXPECT_EQ(us(0, "#"), "");
    EXPECT_EQ(us(2.5, "0"), "3");
    EXPECT_EQ(us(1.005, "0.00"), "1.01");
}

TEST(DisplayFormat, GroupingUsesTheGivenSeparators) {
    EXPECT_EQ(us(1234567.891, "#,##0.00"), "1,234,567.89");
    EXPECT_EQ(eu(1234.5, "#,##0.00"), "1.234,50");
    EXPECT_EQ(us(999, "#,##0"), "999");
    EXPECT_EQ(us(-1234, "#,##0"), "-1,234");
}

TEST(DisplayFormat, LiteralsAndSections) {
    EXPECT_EQ(us(12.5, "\"$\"0.00"), "$12.50");
    EXPECT_EQ(us(12.5, "0.0 'kg'"), "12.5 kg");
    EXPECT_EQ(us(-12.5, "0.00;(0.00)"), "(12.50)");
    EXPECT_EQ(us(12.5, "0.00;(0.00)"), "12.50");
    EXPECT_EQ(us(0, "0.00;(0.00);\"zero\""), "zero");
    EXPECT_EQ(us(-3, "0.0;;\"zero\""), "-3.0");  // empty negative section: the first one, signed
    EXPECT_EQ(us(1, "\"a;b\"0"), "a;b1");        // ';' inside quotes is text
}

TEST(DisplayFormat, Scientific) {
    EXPECT_EQ(us(1234.5, "0.00E+00"), "1.23E+03");
    EXPECT_EQ(us(0.00012, "0.0E-0"), "1.2E-4");
    EXPECT_EQ(us(1234.5, "0.0E-0"), "1.2E3");
    EXPECT_EQ(us(9.999, "0.00E+00"), "1.00E+01");  // rounding carries into the exponent
}

TEST(DisplayFormat, NegativeZeroAfterRoundingHasNoSign) {
    EXPECT_EQ(us(-0.001, "0.00"), "0.00");
    EXPECT_EQ(us(-1.5, "0.0"), "-1.5");
}

TEST(DisplayFormat, EmptyMaskIsGeneralFormat) {
    EXPECT_EQ(us(1.5, ""), "1.5");
    EXPECT_EQ(eu(1.5, ""), "1,5");
    EXPECT_EQ(us(100, ""), "100");
}

}  // namespace
}  // namespace orn::db
