#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

#include "dbengine/storage/field.h"
#include "dbengine/storage/value.h"

namespace orn::db {

// The column type declared to SQLite for a field. The first word names the field kind (read
// back by the dataset layer through sqlite3_column_decltype), the rest gives SQLite the affinity
// that makes comparisons right: calendar values are ISO text, booleans integers.
std::string declaredType(const Field& field);

// The text of an alpha field as SQLite sees it: without the blanks and zero bytes that pad it.
std::string_view rightTrimmed(const std::string& s);

// Hands a stored value to SQLite: text right-trimmed for alpha fields, calendar values as ISO
// text, booleans 1/0, exact decimals as numbers, blobs as blobs.
void resultValue(sqlite3_context* ctx, const Field& field, const Value& value);
// The same for the plain bytes of a text field (TableCursor::plainText).
void resultPlainText(sqlite3_context* ctx, const Field& field, std::string_view text);

// Converts an SQL value for storing into `field`. Throws EngineError with a readable message when
// the value cannot be stored there (text in a number field, a malformed date, ...).
Value storedValue(const Field& field, sqlite3_value* value);

// Like storedValue, but for comparing against key values: nothing when the SQL value has no
// exact counterpart of the field's type (then the caller scans instead of seeking).
// Text (as valueText of the storage engine writes it, or typed by a user in ISO forms) turned
// into a value of `field`'s type; throws EngineError when it does not fit.
Value valueFromText(const Field& field, const std::string& text);

// A value of field `from` as a value of field `to` (restructuring): same kinds pass unchanged,
// other kinds go through their text. Nothing when the value has no counterpart in the new type
// (text that is no number, text longer than the new alpha size).
std::optional<Value> convertValue(const Value& value, const Field& from, const Field& to);

bool keyValue(const Field& field, sqlite3_value* value, Value& out);

// Short, Long and AutoInc fields: equalities on them can be answered without SQLite re-checking.
bool isIntegerKey(const Field& field);
// For such a field: the one key value that `value` equals under SQLite's comparison with an
// integer column (text is given numeric affinity first). False when no storable value equals it.
bool integerKeyEqualTo(const Field& field, sqlite3_value* value, Value& out);

}  // namespace orn::db
