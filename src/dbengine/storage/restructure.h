#pragma once

// Restructuring a table in place: changing one field's type and size with its data, and adding a
// primary index. Either the whole change happens or the table stays exactly as it was; a change
// interrupted by a crash is finished when the table is next opened (see table_swap.h). Each
// returns the notices of secondary indexes it could not keep (see secondary_indexes.h).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbengine/storage/field.h"
#include "dbengine/storage/table_swap.h"

namespace orn::db {

// Before `fresh`, the replacement of `old`, is filled with old's records in old's order: when
// fresh keeps the key of a keyed Paradox table (its first fields, each continuing the same old
// field with its type and size, or wider if Alpha; `fieldSources` as for carrySecondaryIndexes)
// and its sort order, it takes the records in that order as they come (see
// ParadoxTable::copyInKeyOrder), so that keys the known part of a national order cannot compare
// are no obstacle. A copy that changes the key places every record by the order, or refuses.
void copyInKeyOrderIfKeyKept(Table& old, Table& fresh, const std::vector<int>& fieldSources);

// Engine type codes of a field change, as the type letters of the program language give them.
enum EngineTypeCode : std::uint16_t {
    kEngineAlpha = 1,
    kEngineDate = 2,
    kEngineShort = 5,
    kEngineLong = 6,
    kEngineNumber = 7,
    kEngineBcd = 8,
    kEngineTime = 10,
    kEngineTimestamp = 11,
    kEngineAutoInc = 29,
};

// One field change; zero members leave that property as it is.
struct FieldChange {
    std::string name;            // new name; empty keeps the name
    std::uint16_t type = 0;      // EngineTypeCode
    std::uint16_t subtype = 0;   // unused by Paradox and dBASE
    std::uint16_t length = 0;    // Alpha/Bytes: size; BCD: decimals; dBASE numbers: width
    std::uint8_t precision = 0;  // dBASE numbers: decimals
};

// The field type of an engine type code; throws EngineError for codes no field type has.
FieldType fieldTypeOfEngineCode(std::uint16_t code);

// What a replacement of `table` keeps of it (CarriedHeader): `fieldSources[i]` is the old field
// that new field i continues, -1 for a new one.
std::shared_ptr<const CarriedHeader> carriedHeaderOf(Table& table, std::vector<int> fieldSources);

// A table's validity checks, views and family files (.VAL, .TV, .FAM) name its fields by place
// and type, and other tables' referential integrity rests on its key. Throws EngineError
// "Cannot <what>: ..." naming the files when the new fields would leave them wrong: an old field
// dropped, moved, renamed or changed, or, with referential integrity, the key changed. Adding
// fields at the end, keys to a table without integrity rules, or nothing at all passes.
void checkDefinitionsSurvive(const Table& table, const std::vector<Field>& newFields,
                             int newKeyFields, const std::vector<int>& fieldSources,
                             const std::string& what);

// Changes one field of the table file, converting every value. A value that cannot be carried
// over (text that is no number, a number that does not fit, text longer than the new size, a key
// that becomes a duplicate) fails with an EngineError naming the field, the record and the value,
// and leaves the table unchanged. Takes the table's exclusive lock for the whole change.
std::vector<std::string> restructureField(const std::filesystem::path& table,
                                          const std::string& field, const FieldChange& change);

// Makes the named fields the table's primary key and rebuilds its index. Paradox keys are the
// leading fields, so the names must be the table's first fields in order. Duplicate keys fail
// with "Key violation." in the message; the old index file stays in place on any failure.
std::vector<std::string> addPrimaryIndex(const std::filesystem::path& table,
                                         const std::vector<std::string>& fields);

// Rewrites the table without its deleted records (dBASE) and without the unused space of its
// blob or memo file, keeping everything else (header values, counters, companions). All or
// nothing, like a restructure. A dBASE table whose header counts more or fewer records than the
// file holds is repaired: every whole record in the file is kept.
std::vector<std::string> packTable(const std::filesystem::path& table);

}  // namespace orn::db
