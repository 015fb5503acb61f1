#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dbengine/storage/table.h"

namespace orn::db {

// A directory of its own for each test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orn_ds_XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace orn::db

namespace orn::db {

// The corpus of real tables: $ORN_CORPUS_DIR, else the folder the build was configured with.
inline std::filesystem::path corpusDir() {
    if (const char* env = std::getenv("ORN_CORPUS_DIR")) {
        return env;
    }
    return ORN_CORPUS_DIR;
}

// A keyed Paradox table "name.db" in `dir`: Id (Long, key), Name (Alpha 20), Amount (Number),
// with rows (i, "name<i>", i * 1.5) for i in 1..rows.
inline std::filesystem::path makeKeyedTable(const std::filesystem::path& dir,
                                            const std::string& name, int rows,
                                            TableFormat format = TableFormat::Paradox) {
    TableCreate layout;
    layout.fields = {makeField("Id", FieldType::Long), makeField("Name", FieldType::Alpha, 20),
                     makeField("Amount", FieldType::Number)};
    if (format == TableFormat::DBase) {
        layout.fields[0] = makeField("Id", FieldType::Number, 10, 0);
        layout.fields[2] = makeField("Amount", FieldType::Number, 12, 2);
    }
    layout.keyFields = format == TableFormat::Paradox ? 1 : 0;
    const auto file = dir / (name + (format == TableFormat::Paradox ? ".db" : ".dbf"));
    auto table = Table::create(file, format, layout);
    table->begin();
    for (int i = 1; i <= rows; ++i) {
        const Value id =
            format == TableFormat::Paradox ? Value{std::int64_t{i}} : Value{static_cast<double>(i)};
        table->insert({id, std::string("name") + std::to_string(i), i * 1.5});
    }
    table->commit();
    return file;
}

// All records of a table file in table order.
inline std::vector<Record> readAll(const std::filesystem::path& file) {
    auto table = Table::open(file, OpenMode::ReadOnly);
    std::vector<Record> out;
    auto cursor = table->scan();
    while (cursor->next()) {
        Record r;
        for (std::size_t i = 0; i < table->fields().size(); ++i) {
            r.push_back(cursor->value(i));
        }
        out.push_back(std::move(r));
    }
    return out;
}

// Skips a test whose table format the storage engine cannot write yet.
#define ORN_REQUIRE_FORMAT(expr)                                                    \
    try {                                                                           \
        expr;                                                                       \
    } catch (const orn::db::EngineError& e) {                                       \
        if (std::string(e.what()).find("not supported yet") != std::string::npos) { \
            GTEST_SKIP() << e.what();                                               \
        }                                                                           \
        throw;                                                                      \
    }

}  // namespace orn::db
