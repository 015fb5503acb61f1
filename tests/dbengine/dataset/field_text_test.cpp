#include "dbengine/dataset/field_text.h"

#include <gtest/gtest.h>

#include "dbengine/storage/table.h"

namespace orn::db {
namespace {

std::string text(const Cell& c) {
    return std::get<std::string>(c);
}

TEST(FieldText, NumbersRoundTripAndRejectGarbage) {
    EXPECT_EQ(std::get<std::int64_t>(cellFromText(FieldKind::Integer, " 42 ")), 42);
    EXPECT_DOUBLE_EQ(std::get<double>(cellFromText(FieldKind::Float, "-1.25")), -1.25);
    try {
        cellFromText(FieldKind::Integer, "12x");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
    }
    EXPECT_THROW(cellFromText(FieldKind::Float, "abc"), EngineError);
    EXPECT_THROW(cellFromText(FieldKind::Integer, "99999999999999999999"), EngineError);
}

TEST(FieldText, EmptyTextIsBlankExceptForText) {
    EXPECT_TRUE(std::holds_alternative<std::monostate>(cellFromText(FieldKind::Integer, "")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(cellFromText(FieldKind::Date, "  ")));
    EXPECT_EQ(text(cellFromText(FieldKind::Text, "")), "");
    EXPECT_EQ(text(cellFromText(FieldKind::Text, " a ")), " a ");  // text is not trimmed
}

TEST(FieldText, DatesInIsoAndUsForm) {
    EXPECT_EQ(text(cellFromText(FieldKind::Date, "2026-01-31")), "2026-01-31");
    EXPECT_EQ(text(cellFromText(FieldKind::Date, "1/31/2026")), "2026-01-31");
    EXPECT_EQ(text(cellFromText(FieldKind::Date, "2/3/49")), "2049-02-03");
    EXPECT_EQ(text(cellFromText(FieldKind::Date, "2/3/50")), "1950-02-03");
    EXPECT_THROW(cellFromText(FieldKind::Date, "2/30/2024"), EngineError);
    EXPECT_THROW(cellFromText(FieldKind::Date, "2024-13-01"), EngineError);
}

TEST(FieldText, TimesWithAmPm) {
    EXPECT_EQ(text(cellFromText(FieldKind::Time, "10:30:00 PM")), "22:30:00");
    EXPECT_EQ(text(cellFromText(FieldKind::Time, "12:05 am")), "00:05:00");
    EXPECT_EQ(text(cellFromText(FieldKind::Time, "12:05 PM")), "12:05:00");
    EXPECT_EQ(text(cellFromText(FieldKind::Time, "15:03:22 AM")), "15:03:22");
    EXPECT_EQ(text(cellFromText(FieldKind::Time, "9:15")), "09:15:00");
    EXPECT_THROW(cellFromText(FieldKind::Time, "25:00"), EngineError);
    EXPECT_EQ(text(cellFromText(FieldKind::Timestamp, "1/2/2026 1:02:03 PM")),
              "2026-01-02 13:02:03");
}

TEST(FieldText, BooleansAndDisplay) {
    EXPECT_EQ(std::get<std::int64_t>(cellFromText(FieldKind::Boolean, "True")), 1);
    EXPECT_EQ(std::get<std::int64_t>(cellFromText(FieldKind::Boolean, "f")), 0);
    EXPECT_THROW(cellFromText(FieldKind::Boolean, "maybe"), EngineError);
    EXPECT_EQ(cellText(FieldKind::Boolean, Cell{std::int64_t{1}}), "True");
    EXPECT_EQ(cellText(FieldKind::Boolean, Cell{std::int64_t{0}}), "False");
    EXPECT_EQ(cellText(FieldKind::Integer, Cell{}), "");
}

}  // namespace
}  // namespace orn::db

#include "text/separators.h"

namespace orn::db {
namespace {

// Numbers follow the process-wide separators, which DECIMAL may change at run time.
TEST(FieldText, NumbersFollowTheProcessSeparators) {
    const char oldDecimal = orn::DecimalSeparator();
    const char oldThousand = orn::ThousandSeparator();
    orn::SetDecimalSeparator(',');
    orn::SetThousandSeparator('.');
    EXPECT_DOUBLE_EQ(std::get<double>(cellFromText(FieldKind::Float, "1.234,5")), 1234.5);
    EXPECT_EQ(cellText(FieldKind::Float, Cell{2.25}), "2,25");
    orn::SetDecimalSeparator(oldDecimal);
    orn::SetThousandSeparator(oldThousand);
    EXPECT_EQ(cellText(FieldKind::Float, Cell{2.25}), std::string("2") + oldDecimal + "25");
}

}  // namespace
}  // namespace orn::db
