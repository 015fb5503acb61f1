#pragma once

#include <sqlite3.h>

#include <string>

namespace orn::db {

// What a result column holds, as far as display, assignment and saving are concerned.
enum class FieldKind {
    Text,
    Memo,
    Integer,
    AutoInc,
    Float,
    Money,
    Bcd,
    Boolean,
    Date,
    Time,
    Timestamp,
    Blob,
};

struct ColumnInfo {
    std::string name;
    FieldKind kind = FieldKind::Text;
    int size = 0;          // Text: characters (0 = unknown); Bcd: digits
    int decimals = 0;      // Bcd: digits after the point
    std::string table;     // table name of a plain column reference, else empty
    std::string origin;    // column name in that table
    std::string declared;  // first word of the declared type in upper case ("GRAPHIC"), or empty
};

bool isNumericKind(FieldKind k);
// Reads the kind from the declared type our virtual tables give their columns; columns of
// expressions have none and take the kind of the value in the first row (`firstValueType`,
// an SQLITE_* type code, or 0 when there is no row).
ColumnInfo columnInfo(sqlite3_stmt* stmt, int column, int firstValueType);

}  // namespace orn::db
