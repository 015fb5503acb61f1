#include "dbengine/dataset/display_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

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

std::string printed(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// The general format is the text of printf's "%.15g" for every double, whatever path it takes.
TEST(DisplayFormat, GeneralNumberIsPrintfsFifteenDigitForm) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.0,
                     -0.0,
                     1.0,
                     -1.0,
                     0.1,
                     0.1 + 0.2,
                     1.0 / 3,
                     2.0 / 3,
                     24999.75,
                     1e14,
                     1e15,
                     1e16,
                     123456789012345.0,
                     1234567890123456.0,
                     999999999999999.0,
                     9999999999999999.0,
                     0.0001,
                     0.00001,
                     0.000123456789012345,
                     1e-300,
                     DBL_MIN,
                     DBL_MIN / 2,
                     5e-324,
                     DBL_MAX,
                     -DBL_MAX,
                     1e308,
                     9.5,
                     0.95,
                     999999999999999.5,
                     1e21,
                     1.5e-7,
                     100.0,
                     120.0,
                     1e100,
                     inf,
                     -inf}) {
        EXPECT_EQ(generalNumber(v, '.'), printed(v)) << printed(v);
    }
    EXPECT_EQ(generalNumber(std::nan(""), '.'), printed(std::nan("")));
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        // any bit pattern (denormals, huge exponents), then short decimals as tables hold them
        std::uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isnan(v)) {
            continue;
        }
        ASSERT_EQ(generalNumber(v, '.'), printed(v));
        const double decimal =
            static_cast<double>(static_cast<std::int64_t>(random() % 2000000001) - 1000000000) /
            std::pow(10.0, static_cast<double>(random() % 12));
        ASSERT_EQ(generalNumber(decimal, '.'), printed(decimal));
    }
    EXPECT_EQ(generalNumber(-1234.5, ','), "-1234,5");
    EXPECT_EQ(generalNumber(1.5e-7, ','), "1,5e-07");
    std::string out = "x=";
    appendGeneralNumber(out, 0.25, '.');
    EXPECT_EQ(out, "x=0.25");
}

}  // namespace
}  // namespace orn::db
