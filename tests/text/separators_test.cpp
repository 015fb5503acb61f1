// The decimal and thousand separators come from the numeric part of the user's locale; a locale
// the system does not have leaves them as they were.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "text/separators.h"

namespace orn {
namespace {

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class SeparatorsFromLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDecimalSeparator(';');
        SetThousandSeparator('|');
    }
    void TearDown() override {
        SetDecimalSeparator(decimal_);
        SetThousandSeparator(thousand_);
    }

  private:
    char decimal_ = DecimalSeparator();
    char thousand_ = ThousandSeparator();
};

TEST_F(SeparatorsFromLocale, CLocaleGivesPointAndAVisibleGrouping) {
    ScopedEnv all("LC_ALL", "C");
    InitSeparatorsFromLocale();
    EXPECT_EQ(DecimalSeparator(), '.');
    EXPECT_EQ(ThousandSeparator(), ',');  // C has no grouping character
}

TEST_F(SeparatorsFromLocale, UnknownLocaleKeepsWhatWasThere) {
    {
        ScopedEnv all("LC_ALL", "xx_NOWHERE.UTF-8");
        InitSeparatorsFromLocale();
        EXPECT_EQ(DecimalSeparator(), ';');
        EXPECT_EQ(ThousandSeparator(), '|');
    }
    // only the numeric category matters
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv lang("LANG", "C");
    ScopedEnv time("LC_TIME", "xx_NOWHERE.UTF-8");
    ScopedEnv numeric("LC_NUMERIC", "C.UTF-8");
    InitSeparatorsFromLocale();
    EXPECT_EQ(DecimalSeparator(), '.');
}

}  // namespace
}  // namespace orn
