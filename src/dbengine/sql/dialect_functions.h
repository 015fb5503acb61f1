#pragma once

struct sqlite3;

namespace orn::sql {

// Registers on a connection the functions translated statements rely on:
//   like(pattern, text[, escape])  the LIKE operator: '%' and '_' match characters (not bytes),
//                                  letter case matters, as in the dialect
//   upper(x), lower(x)             with national letters (Latin-1, Latin Extended-A, Greek,
//                                  Cyrillic)
//   lsql_date(x), lsql_time(x), lsql_timestamp(x)   CAST to DATE/TIME/TIMESTAMP: the dialect's
//                                  date and time texts (and ISO text) to ISO text, else NULL
//   lsql_boolean(x)                CAST to BOOLEAN: TRUE/FALSE/T/F texts and numbers to 1/0
// Throws SqlError when SQLite refuses a registration.
void registerDialectFunctions(sqlite3* db);

// registerDialectFunctions() and double-quoted string literals switched off, so that a "..."
// the translator did not turn into an identifier can never be read as a string.
void prepareDialectConnection(sqlite3* db);

}  // namespace orn::sql
