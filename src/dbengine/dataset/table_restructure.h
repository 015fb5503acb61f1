#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/dataset/dataset_table.h"

namespace orn::db {

// One column change: a field left at 0 (or an empty name) keeps the column's current setting.
struct ChangeRec {
    char name[32] = {};      // new column name, zero-terminated
    std::uint16_t type = 0;  // engine type code (FieldTypeFromLetter)
    std::uint16_t subtype = 0;
    std::uint16_t length = 0;    // alpha: characters; BCD: digits after the point; dBASE N: width
    std::uint8_t precision = 0;  // digits after the point (dBASE numbers)
};

// Type code of a type letter; only the first character counts, case-sensitively:
// A 1, D 2, S 5, I 6, N 7, # 8, T 10, @ 11, + 29; anything else (and "") 0 = unchanged.
std::uint16_t FieldTypeFromLetter(const std::string& text);

// Changes one field of an exclusively open table and rebuilds the file; the table is closed
// afterwards. Errors: "Table must be opened to restructure", "Table must be opened exclusivelyto
// restructure", "Field altering can only occur on Paradox or dBASE tables", or the engine's.
// Returns the notices of secondary indexes the change could not keep.
std::vector<std::string> RestructureField(DatasetTable& table, int fieldNo,
                                          const ChangeRec& change);

// Changes the type (letter as FieldTypeFromLetter reads it) and size (a whole number, 0 keeps
// it) of one column of a table in the working directory or `databaseDir`. Returns the notices of
// secondary indexes the change could not keep.
std::vector<std::string> ChangeField(const std::string& tableName, const std::string& column,
                                     const std::string& typeText, const std::string& sizeText,
                                     const std::filesystem::path& databaseDir = {});

// Makes the listed columns (separated by ';' or ',') the table's primary key. A failure (such
// as duplicate values in those columns) leaves the table as it was. Returns the notices of
// secondary indexes the new key leaves behind.
std::vector<std::string> AddPrimaryIndex(const std::string& tableName, const std::string& columns,
                                         const std::filesystem::path& databaseDir = {});

}  // namespace orn::db
