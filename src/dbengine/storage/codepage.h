#pragma once

#include <string>
#include <string_view>

namespace orn::db {

// Text of a table file in its code page, converted to and from UTF-8 with iconv. Converters are
// opened once per thread and code page and reused.
class CodePage {
  public:
    // An iconv name such as "CP437" or "CP1252"; throws EngineError for one iconv does not know.
    explicit CodePage(std::string iconvName = "CP1252");

    const std::string& name() const { return name_; }
    // Bytes the code page does not define become U+FFFD; reading never fails.
    std::string toUtf8(std::string_view bytes) const;
    // Throws EngineError naming the text when a character has no place in the code page.
    std::string fromUtf8(std::string_view utf8) const;

  private:
    std::string name_;
};

// The code page for tables that do not state theirs (dBASE language driver 0, Paradox files
// before version 4), process-wide; empty (the default) lets each format pick its usual one.
const std::string& fallbackTableCodePage();
void setFallbackTableCodePage(std::string iconvName);  // throws EngineError for an unknown name

// The iconv name of a DOS/Windows code page number: 437 -> "CP437"; "" for 0 and unknown ones.
std::string codePageName(int number);
// The number of an iconv name made by codePageName ("CP1252" -> 1252), 0 when it is none.
int codePageNumber(std::string_view iconvName);

}  // namespace orn::db
