#include "workbench/columnwidth.h"

#include <algorithm>

namespace orn {
namespace {

// The display text of a double: 15 significant digits, a sign, a point and either an exponent
// ("-1.23456789012345e-300") or the zeros of a small number ("-0.000123456789012345").
constexpr int kFloatChars = 22;
// An integer whose type is not known holds 64 bits: "-9223372036854775808".
constexpr int kInt64Chars = 20;

int IntegerChars(const std::string& declared) {
    if (declared == "SMALLINT") {
        return 6;  // -32767
    }
    if (declared == "INTEGER") {
        return 11;  // -2147483647
    }
    if (declared == "AUTOINC") {
        return 10;  // 2147483647
    }
    return kInt64Chars;
}

}  // namespace

TColumnWidth ColumnWidthFor(const db::ColumnInfo& info, const std::string& displayFormat) {
    using db::FieldKind;
    TColumnWidth w;
    switch (info.kind) {
        case FieldKind::Text:
            w.chars = std::min(std::max(info.size, 0), kMaxColumnChars);
            return w;
        case FieldKind::Memo:
            return w;  // any length: what the rows on screen show
        case FieldKind::Boolean:
            w.chars = 5;  // "False"
            return w;
        case FieldKind::Date:
            w.chars = 10;  // 2026-01-31
            w.digits = true;
            return w;
        case FieldKind::Time:
            w.chars = 12;  // 23:59:59.999
            w.digits = true;
            return w;
        case FieldKind::Timestamp:
            w.chars = 23;
            w.digits = true;
            return w;
        case FieldKind::Blob:
            w.chars = 6;  // "(Blob)"
            return w;
        case FieldKind::Integer:
        case FieldKind::AutoInc:
            w.chars = IntegerChars(info.declared);
            break;
        case FieldKind::Bcd:
            // its digits, shown as a double shows them, with a sign and a point
            w.chars =
                info.size > 0 ? std::min(info.size, 15) + (info.decimals > 0 ? 2 : 1) : kFloatChars;
            break;
        case FieldKind::Float:
            // A dBASE number of up to 15 digits shows no wider than its width, its sign and
            // point included; more digits than a double keeps show with an exponent.
            w.chars = info.size > 0 && info.size <= 15 ? info.size : kFloatChars;
            break;
        case FieldKind::Money:
            w.chars = kFloatChars;
            break;
    }
    w.digits = true;
    if (!displayFormat.empty()) {
        // a thousands separator every three digits, and whatever literal text the mask adds
        const int digits = w.chars;
        w.chars = std::max(digits + digits / 3, static_cast<int>(displayFormat.size()));
        w.chars = std::min(w.chars, kMaxColumnChars);
    }
    return w;
}

int ColumnPixels(const TColumnWidth& width, int charPixels, int margin, int contentPixels,
                 int headerPixels) {
    const int fromField = width.chars > 0 ? width.chars * charPixels + margin : 0;
    return std::max({fromField, contentPixels, headerPixels});
}

}  // namespace orn
