#include "dbengine/dataset/dataset_table.h"

#include "dbengine/storage/restructure.h"
#include "dbengine/vtab/directory_schema.h"
#include "dbengine/vtab/table_files.h"

namespace orn::db {
namespace {

std::vector<std::string> splitFieldList(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    auto flush = [&] {
        const auto a = current.find_first_not_of(" \t");
        const auto b = current.find_last_not_of(" \t");
        if (a != std::string::npos) {
            out.push_back(current.substr(a, b - a + 1));
        }
        current.clear();
    };
    for (char c : text) {
        if (c == ';' || c == ',') {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return out;
}

}  // namespace

DatasetTable::DatasetTable(std::string tableName, std::filesystem::path databaseDir)
    : name_(std::move(tableName)), dir_(std::move(databaseDir)) {}

void DatasetTable::open() {
    if (active()) {
        return;
    }
    file_ = requireTableFile(dir_, tableNameAsInFrom(name_));
    table_ = Table::open(file_, exclusive_ ? OpenMode::Exclusive : OpenMode::Shared);
    openedExclusive_ = exclusive_;
}

void DatasetTable::close() {
    table_.reset();
    openedExclusive_ = false;
}

void DatasetTable::requireOpen() const {
    if (!table_) {
        throw EngineError("Cannot perform this operation on a closed dataset");
    }
}

Table& DatasetTable::cursor() const {
    requireOpen();
    return *table_;
}

const std::vector<Field>& DatasetTable::fields() const {
    return cursor().fields();
}

TableFieldRef DatasetTable::fieldByName(const std::string& name) const {
    const auto& fields = this->fields();
    const std::string wanted = lowerAscii(name);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (lowerAscii(fields[i].name) == wanted) {
            return {static_cast<int>(i), fields[i].name};
        }
    }
    throw EngineError("Field '" + name + "' not found");
}

CursorProperties DatasetTable::cursorProperties() const {
    const Table& t = cursor();
    CursorProperties p;
    p.tableType = t.format() == TableFormat::Paradox ? "PARADOX" : "DBASE";
    p.fieldCount = static_cast<int>(t.fields().size());
    p.keyFieldCount = t.keyFieldCount();
    p.recordCount = t.recordCount();
    p.version = t.version();
    return p;
}

std::vector<std::string> DatasetTable::addIndex(const std::string& indexName,
                                                const std::string& fieldList, bool primary) {
    requireOpen();
    if (!primary) {
        throw EngineError("Secondary index " + indexName +
                          " cannot be made: secondary indexes "
                          "are not supported");
    }
    if (table_->format() != TableFormat::Paradox) {
        throw EngineError("A primary index can only be made on a Paradox table");
    }
    if (!openedExclusive_) {
        throw EngineError("Table must be opened exclusively to add a primary index");
    }
    const auto names = splitFieldList(fieldList);
    if (names.empty()) {
        throw EngineError("No fields given for the primary index");
    }
    // The rebuild needs the only handle on the file; this object takes it back afterwards.
    table_.reset();
    std::vector<std::string> notices;
    try {
        notices = addPrimaryIndex(file_, names);
    } catch (...) {
        table_ = Table::open(file_, OpenMode::Exclusive);
        throw;
    }
    table_ = Table::open(file_, OpenMode::Exclusive);
    return notices;
}

}  // namespace orn::db
