#pragma once

#include <string>

#include "dbengine/dataset/cell.h"
#include "dbengine/dataset/field_kind.h"

namespace orn::db {

// A value as text the way users see and type it: numbers with the process-wide decimal
// separator, booleans True/False, calendar values in ISO form.
std::string cellText(FieldKind kind, const Cell& cell);
// The same text added to `out`.
void appendCellText(std::string& out, FieldKind kind, const Cell& cell);

// Text typed by a user (or read from a text file) turned into the value stored for the kind.
// Numbers accept the process-wide separators; dates accept ISO (2026-01-31) and the US form
// (1/31/2026, two-digit years 00-49 -> 20xx); times accept hh:mm[:ss] with optional AM/PM.
// An empty text is a blank (NULL) value except for text fields. Throws EngineError with the
// framework's conversion messages ("'%s' is not a valid integer value", ...).
Cell cellFromText(FieldKind kind, const std::string& text);

double cellNumber(const Cell& cell);

}  // namespace orn::db
