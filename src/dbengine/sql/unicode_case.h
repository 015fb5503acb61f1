#pragma once

#include <string>
#include <string_view>

namespace orn::sql {

// Letter case for the scripts of the code pages tables use (Latin-1, Latin Extended-A, Greek,
// Cyrillic). Mappings keep the length in characters; bytes that are not valid UTF-8 pass through.
char32_t upperChar(char32_t c);
char32_t lowerChar(char32_t c);
std::string utf8Upper(std::string_view text);
std::string utf8Lower(std::string_view text);
// True when both texts are equal ignoring letter case.
bool equalsNoCase(std::string_view a, std::string_view b);

// Decodes one character at `pos` and advances it; an invalid byte decodes as itself.
char32_t decodeUtf8(std::string_view text, std::size_t& pos);
void appendUtf8(std::string& out, char32_t c);

}  // namespace orn::sql
