// The decimals of doubles: the quick way through the shortest form must give what rounding the
// double's 15 significant digits gives, for every magnitude and at every number of decimals.

#include "dbengine/storage/decimal_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace orn::db {
namespace {

// What the decimals of a double mean: printf's 15 significant digits, rounded to `decimals`.
std::string byDefinition(double d, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    return *roundedDecimal(buf, decimals);
}

std::vector<double> samples() {
    std::vector<double> out = {0.0,
                               -0.0,
                               0.125,
                               -0.125,
                               1.005,
                               2.675,
                               0.1 + 0.2,
                               1e-300,
                               5e-324,
                               123.45,
                               -99.995,
                               1e14,
                               999999999999999.0,
                               0.5,
                               -0.5,
                               4.35,
                               1.0 / 3.0};
    std::mt19937_64 rng(20);
    for (int i = 0; i < 20000; ++i) {
        // typed-in numbers: a few digits at a random scale, often a half at the rounded place
        const double digits = double(rng() % 100000000);
        const double scale = std::pow(10.0, int(rng() % 27) - 20);
        double d = digits * scale * (rng() % 2 ? 1 : -1);
        // and their neighbours, whose shortest form has 16 or 17 digits
        if (rng() % 3 == 0)
            d = std::nextafter(d, rng() % 2 ? 1e300 : -1e300);
        out.push_back(d);
        // and any bits at all within the range where digits are known
        double any = 0;
        do {
            const std::uint64_t bits = rng();
            std::memcpy(&any, &bits, sizeof any);
        } while (!std::isfinite(any) || std::fabs(any) >= 1e15);
        out.push_back(any);
    }
    return out;
}

TEST(DecimalText, DoublesRoundLikeTheirFifteenDigits) {
    int shortForms = 0;
    for (const double d : samples()) {
        char shortest[400];
        const auto r = std::to_chars(shortest, shortest + sizeof shortest, d);
        *r.ptr = 0;
        shortForms += r.ptr - shortest <= 17;
        ASSERT_EQ(decimalOfDouble(d), byDefinition(d, 15)) << shortest;
        for (const int decimals : {0, 1, 2, 4, 7, 15}) {
            ASSERT_EQ(roundedDecimalOfDouble(d, decimals), byDefinition(d, decimals))
                << shortest << " to " << decimals << " decimals";
        }
    }
    EXPECT_GT(shortForms, 10000);  // the quick way was taken often
}

TEST(DecimalText, DoublesBeyondTheirDigitsAreWholeOrNothing) {
    EXPECT_EQ(roundedDecimalOfDouble(4503599627370497.0, 2), "4503599627370497.00");
    EXPECT_EQ(roundedDecimalOfDouble(-1e15, 0), "-1000000000000000");
    EXPECT_FALSE(roundedDecimalOfDouble(1e300, 2));
    EXPECT_FALSE(roundedDecimalOfDouble(NAN, 2));
    EXPECT_FALSE(roundedDecimalOfDouble(-INFINITY, 0));
}

}  // namespace
}  // namespace orn::db
