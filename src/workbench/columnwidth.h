#pragma once
// How wide the result grid makes its columns. A small result is measured row by row; a large one
// cannot be (its rows are read as they are shown), so each column is made as wide as any value
// its field can hold: the text of the widest value the field's kind and declared size allow,
// never narrower than its rows on screen nor than its header, and text no wider than
// kMaxColumnChars characters.

#include <cstdint>
#include <string>

#include "dbengine/dataset/field_kind.h"

namespace orn {

// Results of at most this many rows are sized by measuring every row.
constexpr std::int64_t kMeasuredRows = 1000;
// The widest a text column is made from its declared size.
constexpr int kMaxColumnChars = 40;

struct TColumnWidth {
    int chars = 0;        // characters of the widest display text; 0: not known from the field
    bool digits = false;  // the text is digits, signs and separators: a digit's width each
};

// The widest display text of a column with `info`, shown through the numeric display format
// `displayFormat` (empty: none).
TColumnWidth ColumnWidthFor(const db::ColumnInfo& info, const std::string& displayFormat);

// Pixels for a column: `chars` characters of `charPixels` each plus the cell's `margin`, or what
// its rows on screen and its header need when that is more. A width not known from the field
// is what the rows and the header need.
int ColumnPixels(const TColumnWidth& width, int charPixels, int margin, int contentPixels,
                 int headerPixels);

}  // namespace orn
