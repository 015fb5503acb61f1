#pragma once
// Equality on a field that is no key, for small tables: the table is read once into memory with
// its records grouped by that field's value, so that a join probing it for every row of a large
// table reads it once instead of once per probe.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "dbengine/storage/table.h"

namespace orn::db {

class RowHash {
  public:
    // Whether a table of `rows` records with these fields may be held this way: a bounded number
    // of values, no memos or blobs.
    static bool fits(std::uint64_t rows, const std::vector<Field>& fields);
    // Whether equality on `field` can be told from its values here (numbers, text, dates).
    static bool hashable(const Field& field);

    // Reads every record of `table`.
    RowHash(Table& table, std::size_t field);

    // The records whose field equals `probe` as SQLite compares them (none for NULL and blobs;
    // text meeting a number field as the number it reads as); nothing when that cannot be told
    // here (a number against a text field, which SQLite may turn into a number row by row), and
    // the caller scans instead. SQLite still checks the equality on every record given.
    std::optional<std::span<const std::uint32_t>> find(sqlite3_value* probe) const;
    const Record& record(std::uint32_t row) const { return records_[row]; }
    RecordId id(std::uint32_t row) const { return ids_[row]; }

  private:
    bool numeric_ = false;
    std::vector<Record> records_;
    std::vector<RecordId> ids_;
    std::unordered_map<std::string, std::vector<std::uint32_t>> rows_;
};

}  // namespace orn::db
