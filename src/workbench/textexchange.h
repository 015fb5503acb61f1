#pragma once
// Result sets as separator-joined text: copy to and paste from the clipboard, export to a text
// file. Layout: a header line of field names, then one line per record of display texts (numeric
// display formats applied), values joined by the separator and written as they are, every line
// ending in CR LF.

#include <string>
#include <vector>

#include "workbench/clipboard.h"

namespace orn::db {
class Query;
}

namespace orn {

inline constexpr int kClipboardRows = 400;

// Copies the header and at most 400 records; returns "" (clipboard failures are thrown).
std::string CopyToClipboard(db::Query& query, const std::string& separator, TClipboard& clipboard);

// Inserts every clipboard line as a new record (a header line too), then posts; a failing final
// post cancels that record silently. Returns "".
std::string PasteFromClipboard(db::Query& query, const std::string& separator,
                               TClipboard& clipboard);

// Inserts one record before the current one and fills its fields in order from the line cut at
// each occurrence of the separator; fields past the last value get an empty text. Conversion
// errors are thrown.
void PasteLine(db::Query& query, const std::string& line, const std::string& separator);

// Writes the header and every record to `fileName`. Returns "" or "Can not open file <name>"
// ("Can not write file <name>" when writing fails part way; the old file is then kept).
std::string SaveAsText(db::Query& query, const std::string& fileName, const std::string& separator);

// Closes the query, gives it the text, reports the text to the "sql" kind and opens it.
bool OpenSql(db::Query& query, const std::string& sql);

// Splits clipboard text into lines: CR, LF or CR LF end a line; a line end at the very end adds
// no empty line.
std::vector<std::string> SplitTextLines(const std::string& text);

}  // namespace orn
