#pragma once

#include <sqlite3.h>

#include <vector>

#include "dbengine/sql/translator.h"
#include "dbengine/vtab/sql_params.h"

namespace orn::db {

// The values for ?1..?n of a translated statement, element i for ?(i+1).
using BoundValues = std::vector<ParamValue>;

// Looks up every parameter's value and puts it in the form the column it meets is compared in:
// dates, times and timestamps become the ISO text the virtual tables hand out, text meeting a
// number or a boolean becomes a number. Throws EngineError naming the parameter when it has no
// value or its value does not fit the column.
BoundValues boundValues(const std::vector<sql::TranslatedParameter>& parameters,
                        const SqlParams& values);

// The parameters of SQL that SQLite compiled as written (statements the dialect passes on):
// their names without the ':', '@' or '$', untyped.
std::vector<sql::TranslatedParameter> compiledParameters(sqlite3_stmt* stmt);

void bindValues(sqlite3_stmt* stmt, const BoundValues& values);

}  // namespace orn::db
