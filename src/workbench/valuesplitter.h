#pragma once
// Splits one line of an import file into values: a delimiter, the double quote as quote
// character, and blanks (codes 1 to 32) that separate values as well.

#include <string>
#include <string_view>
#include <vector>

namespace orn {

struct TSplitLine {
    std::vector<std::string> values;
    // A quoted value had no closing quote; it ran to the end of the line.
    bool unbalancedQuote = false;
};

// Rules: leading blanks are skipped; a value that begins with a quote runs to the next single
// quote (two quotes in a row inside stand for one) and loses its enclosing quotes; any other
// value runs up to the first blank or delimiter. After a value blanks are skipped, a delimiter is
// consumed (a delimiter at the very end adds one empty value) and blanks are skipped again.
// An empty line gives no values. A tab delimiter counts as a blank, so runs of tabs act as one.
TSplitLine SplitImportLine(std::string_view line, char delimiter);
// The same into `out`, whose strings are reused (a reader of many lines allocates little).
void SplitImportLine(std::string_view line, char delimiter, TSplitLine& out);

}  // namespace orn
