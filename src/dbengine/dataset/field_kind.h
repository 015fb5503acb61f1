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
// Reads the kind from the declared type our virtual tables give their columns. Columns of
// expressions have none: they take `typeHint` (a declared type in the same words, from what the
// statement says of the expression), and when that is empty the kind of `valueType` (an
// SQLITE_* type code of the column's first value that is not NULL, or 0 when there is none).
ColumnInfo columnInfo(sqlite3_stmt* stmt, int column, int valueType,
                      const std::string& typeHint = {});

}  // namespace orn::db
