#include "dbengine/storage/codepage.h"

#include <gtest/gtest.h>

#include "dbengine/storage/calendar.h"
#include "dbengine/storage/companion.h"
#include "dbengine/storage/table.h"
#include "dbengine/storage/value_text.h"
#include "storage_test_support.h"

namespace orn::db {
namespace {

TEST(CodePage, ConvertsBothWaysAndRefusesWhatTheCodePageCannotHold) {
    CodePage dos("CP437");
    EXPECT_EQ(dos.fromUtf8("Gr\xC3\xBC\xC3\x9F"
                           "e"),
              "Gr\x81\xE1"
              "e");
    EXPECT_EQ(dos.toUtf8("Gr\x81\xE1"
                         "e"),
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_THROW(dos.fromUtf8("5 \xE2\x82\xAC"), EngineError);  // no euro sign in 437
    CodePage ansi("CP1252");
    EXPECT_EQ(ansi.fromUtf8("5 \xE2\x82\xAC"), "5 \x80");
    // 0x81 is undefined in 1252: shown as U+FFFD, the rest still converted.
    EXPECT_EQ(ansi.toUtf8("a\x81\xE9"), "a\xEF\xBF\xBD\xC3\xA9");
    CodePage cyr("CP866");
    EXPECT_EQ(cyr.toUtf8("\x8C\xAE\xE1\xAA\xA2\xA0"),
              "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
    EXPECT_THROW(CodePage("NO-SUCH-CODEPAGE"), EngineError);
    EXPECT_EQ(codePageName(1251), "CP1251");
    EXPECT_EQ(codePageName(0), "");
    EXPECT_EQ(codePageNumber("CP850"), 850);
}

TEST(Calendar, DayNumbersMatchTheParadoxCalendar) {
    EXPECT_EQ(dayNumber(1, 1, 1), 1);
    EXPECT_EQ(dayNumber(100, 1, 1), 36160);
    EXPECT_EQ(dayNumber(1996, 5, 4), 728783);
    for (int day = -800; day < 800000; day += 37) {
        CivilDate c = civilDate(day);
        ASSERT_TRUE(isValidCivilDate(c.year, c.month, c.day)) << day;
        ASSERT_EQ(dayNumber(c.year, c.month, c.day), day);
    }
    EXPECT_FALSE(isValidCivilDate(1900, 2, 29));
    EXPECT_TRUE(isValidCivilDate(2000, 2, 29));
}

TEST(ValueText, ShowsValuesTheWayTheGridDoes) {
    EXPECT_EQ(valueText(Value{}), "");
    EXPECT_EQ(valueText(Value{true}), "True");
    EXPECT_EQ(valueText(Value{std::int64_t{-42}}), "-42");
    EXPECT_EQ(valueText(Value{2.5}), "2.5");
    EXPECT_EQ(valueText(Value{1e20}), "100000000000000000000");
    EXPECT_EQ(valueText(Value{Date{dayNumber(2024, 2, 29)}}), "2024-02-29");
    EXPECT_EQ(valueText(Value{TimeOfDay{(13 * 3600 + 5) * 1000}}), "13:00:05");
    EXPECT_EQ(valueText(Value{Timestamp{62712489600000.0}}), "1988-04-12 00:00:00");
    EXPECT_EQ(valueText(Value{Bytes(17)}), "(blob 17 bytes)");
    EXPECT_EQ(valueText(Value{Decimal{"-1.23"}}), "-1.23");
}

TEST(Companion, FoundWhateverTheLetterCase) {
    testing::TempDir dir;
    testing::writeAll(dir / "cars.DBF", {1});
    testing::writeAll(dir / "CARS.fpt", {2});
    testing::writeAll(dir / "other.fpt", {3});
    auto found = findCompanion(dir / "cars.DBF", ".fpt");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->filename(), "CARS.fpt");
    EXPECT_FALSE(findCompanion(dir / "cars.DBF", ".dbt"));
    EXPECT_EQ(companionPath(dir / "cars.DBF", ".dbt").filename(), "cars.DBT");
    EXPECT_EQ(companionPath(dir / "new.dbf", ".dbt").filename(), "new.dbt");
    auto all = findCompanions(dir / "cars.DBF", [](std::string_view) { return true; });
    ASSERT_EQ(all.size(), 1u);
}

}  // namespace
}  // namespace orn::db
