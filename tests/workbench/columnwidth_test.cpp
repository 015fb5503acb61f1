// The widths the result grid gives the columns of a large result: every value the field can
// hold fits, whatever rows happen to be on the first screen.
#include "workbench/columnwidth.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "dbengine/dataset/field_text.h"

namespace orn {
namespace {

db::ColumnInfo Info(db::FieldKind kind, const std::string& declared = {}, int size = 0,
                    int decimals = 0) {
    db::ColumnInfo info;
    info.kind = kind;
    info.declared = declared;
    info.size = size;
    info.decimals = decimals;
    return info;
}

int Chars(const db::ColumnInfo& info, const std::string& format = {}) {
    return ColumnWidthFor(info, format).chars;
}

// The display text of `cell` fits the width given to its column.
void ExpectFits(const db::ColumnInfo& info, const db::Cell& cell) {
    const std::string text = db::cellText(info.kind, cell);
    EXPECT_LE(static_cast<int>(text.size()), Chars(info)) << info.declared << ": " << text;
}

TEST(ColumnWidth, TheWidestValueOfEachIntegerTypeFits) {
    using db::FieldKind;
    ExpectFits(Info(FieldKind::Integer, "SMALLINT"), std::int64_t{-32767});
    ExpectFits(Info(FieldKind::Integer, "INTEGER"), std::int64_t{-2147483647});
    ExpectFits(Info(FieldKind::AutoInc, "AUTOINC"), std::int64_t{2147483647});
    // A computed integer may be any 64-bit value.
    ExpectFits(Info(FieldKind::Integer), std::numeric_limits<std::int64_t>::min());
    ExpectFits(Info(FieldKind::Integer, "BIGINT"), std::numeric_limits<std::int64_t>::min());
    // and no wider than that: a small integer type makes a narrow column
    EXPECT_EQ(Chars(Info(FieldKind::Integer, "SMALLINT")), 6);
    EXPECT_LT(Chars(Info(FieldKind::Integer, "INTEGER")), Chars(Info(FieldKind::Integer)));
    EXPECT_TRUE(ColumnWidthFor(Info(FieldKind::Integer, "INTEGER"), {}).digits);
}

TEST(ColumnWidth, NumbersDatesAndOtherKindsFitTheirWidestText) {
    using db::FieldKind;
    for (const double d : {-123456789012345.0, -0.00012345678901234, 1.5, -1e15 + 1,
                           -1.23456789012345e-300, 1.7976931348623157e308}) {
        ExpectFits(Info(FieldKind::Float, "FLOAT"), d);
        ExpectFits(Info(FieldKind::Money, "MONEY"), d);
    }
    // A dBASE number's width holds its sign and point: the widest value of N(12,2) fits in 12.
    EXPECT_EQ(Chars(Info(FieldKind::Float, "FLOAT", 12, 2)), 12);
    ExpectFits(Info(FieldKind::Float, "FLOAT", 12, 2), -12345678.99);
    ExpectFits(Info(FieldKind::Float, "FLOAT", 15, 0), -99999999999999.0);
    ExpectFits(Info(FieldKind::Float, "FLOAT", 20, 0), -1234567890123456789.0);
    ExpectFits(Info(FieldKind::Bcd, "BCD", 12, 2), -1234567890.12);
    ExpectFits(Info(FieldKind::Bcd, "BCD", 32, 4), -12345678901.2345);
    EXPECT_LE(Chars(Info(FieldKind::Bcd, "BCD", 4, 0)), 5);
    ExpectFits(Info(FieldKind::Boolean, "BOOLEAN"), std::int64_t{0});
    ExpectFits(Info(FieldKind::Date, "DATE"), std::string("2026-12-31"));
    ExpectFits(Info(FieldKind::Time, "TIME"), std::string("23:59:59.999"));
    ExpectFits(Info(FieldKind::Timestamp, "TIMESTAMP"), std::string("2026-12-31 23:59:59.999"));
    EXPECT_GE(Chars(Info(FieldKind::Blob, "BLOB")), 6);  // "(Blob)"
}

TEST(ColumnWidth, TextTakesItsDeclaredSizeUpToTheCap) {
    using db::FieldKind;
    EXPECT_EQ(Chars(Info(FieldKind::Text, "CHAR", 1)), 1);
    EXPECT_EQ(Chars(Info(FieldKind::Text, "CHAR", 20)), 20);
    EXPECT_EQ(Chars(Info(FieldKind::Text, "CHAR", 255)), kMaxColumnChars);
    EXPECT_FALSE(ColumnWidthFor(Info(FieldKind::Text, "CHAR", 20), {}).digits);
    // Text of no declared size (an expression) and memos: the rows on screen decide.
    EXPECT_EQ(Chars(Info(FieldKind::Text)), 0);
    EXPECT_EQ(Chars(Info(FieldKind::Memo, "MEMO")), 0);
}

TEST(ColumnWidth, ADisplayMaskLeavesRoomForSeparatorsAndItsOwnText) {
    using db::FieldKind;
    const auto plain = Info(FieldKind::Integer, "INTEGER");
    EXPECT_GE(Chars(plain, "#,##0"), static_cast<int>(std::string("-2,147,483,647").size()));
    EXPECT_GE(Chars(Info(FieldKind::Integer, "SMALLINT"), "0.000 units"), 11);
    EXPECT_LE(Chars(Info(FieldKind::Float), std::string(200, '0')), kMaxColumnChars);
}

TEST(ColumnWidth, PixelsAreTheWidestOfFieldRowsAndHeader) {
    TColumnWidth eleven{11, true};
    EXPECT_EQ(ColumnPixels(eleven, 7, 5, 30, 20), 11 * 7 + 5);
    EXPECT_EQ(ColumnPixels(eleven, 7, 5, 200, 20), 200);  // a row wider than the field says
    EXPECT_EQ(ColumnPixels(eleven, 7, 5, 30, 300), 300);  // a long header
    EXPECT_EQ(ColumnPixels(TColumnWidth{}, 7, 5, 30, 20), 30);
}

}  // namespace
}  // namespace orn
