#pragma once
// Tables made on the fly for the workbench tests, on top of the runner's test support.

#include <memory>
#include <string>
#include <vector>

#include "dbengine/storage/table.h"
#include "engine/engine_test_support.h"

namespace orn::testing {

inline void MakeTable(const std::filesystem::path& file, db::TableFormat format,
                      std::vector<db::Field> fields, const std::vector<db::Record>& rows,
                      int keyFields = 0) {
    db::TableCreate layout;
    layout.fields = std::move(fields);
    layout.keyFields = keyFields;
    auto table = db::Table::create(file, format, layout);
    table->begin();
    for (const auto& r : rows) {
        table->insert(r);
    }
    table->commit();
}

// Every record of a table file, each field as the storage engine hands it out.
inline std::vector<db::Record> ReadAll(const std::filesystem::path& file) {
    auto table = db::Table::open(file, db::OpenMode::ReadOnly);
    std::vector<db::Record> rows;
    auto cursor = table->scan();
    while (cursor->next()) {
        db::Record r;
        for (std::size_t i = 0; i < table->fields().size(); ++i) {
            r.push_back(cursor->value(i));
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

// people.dbf: ID (number), NAME (text 20), SCORE (number with two decimals).
inline void MakePeople(const std::filesystem::path& dir, int count) {
    std::vector<db::Record> rows;
    for (int i = 1; i <= count; ++i) {
        rows.push_back({std::int64_t{i}, "name" + std::to_string(i), i * 1.5});
    }
    MakeTable(dir / "people.dbf", db::TableFormat::DBase,
              {makeField("ID", db::FieldType::Long), makeField("NAME", db::FieldType::Alpha, 20),
               makeField("SCORE", db::FieldType::Number, 12, 2)},
              rows);
}

// A keyed Paradox table, or false when this build cannot write Paradox tables yet.
inline bool TryMakeKeyed(const std::filesystem::path& file, const std::vector<db::Record>& rows) {
    try {
        MakeTable(
            file, db::TableFormat::Paradox,
            {makeField("ID", db::FieldType::Long), makeField("NAME", db::FieldType::Alpha, 20)},
            rows, 1);
        return true;
    } catch (const db::EngineError& e) {
        if (std::string(e.what()).find("not supported") != std::string::npos) {
            return false;
        }
        throw;
    }
}

}  // namespace orn::testing
