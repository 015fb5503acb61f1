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

// Text (as valueText of the storage engine writes it, or typed by a user in ISO forms) turned
// into a value of `field`'s type; throws EngineError when it does not fit.
Value valueFromText(const Field& field, const std::string& text);

// A value of field `from` as a value of field `to` (restructuring): same kinds pass unchanged,
// other kinds go through their text. Nothing when the value has no counterpart in the new type
// (text that is no number, text longer than the new alpha size).
std::optional<Value> convertValue(const Value& value, const Field& from, const Field& to);

// `value` as a key value of `field` that equals exactly the stored values SQLite finds equal to
// it: text meeting a numeric field is the number it reads as (SQLite gives it the column's
// numeric affinity). False when no such value exists (text that is no number meeting a number,
// a number meeting text or a date, NULL, blobs, values beyond what the field holds): such a value
// equals no stored value of an integer field, and for the others the caller scans instead.
bool keyValue(const Field& field, sqlite3_value* value, Value& out);

// Short, Long and AutoInc fields: equalities on them can be answered without SQLite re-checking.
bool isIntegerKey(const Field& field);

// `value` as SQLite compares it with a column of numeric affinity, as a double: false when it
// stays no number (text that does not read as one, a blob, NULL).
bool numericProbeKey(sqlite3_value* value, double& out);

}  // namespace orn::db
