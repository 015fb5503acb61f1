#include "dbengine/dataset/table_restructure.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "dbengine/storage/restructure.h"

namespace orn::db {
namespace {

// "'%s' is not a valid integer value" unless the whole text is an integer.
long wholeNumber(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    const bool blanksOnly = [&] {
        for (const char* p = end; *p; ++p) {
            if (*p != ' ') {
                return false;
            }
        }
        return true;
    }();
    if (text.empty() || end == text.c_str() || !blanksOnly || errno != 0) {
        throw EngineError("'" + text + "' is not a valid integer value");
    }
    return value;
}

}  // namespace

std::uint16_t FieldTypeFromLetter(const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    switch (text[0]) {
        case 'A':
            return 1;
        case 'D':
            return 2;
        case 'S':
            return 5;
        case 'I':
            return 6;
        case 'N':
            return 7;
        case '#':
            return 8;
        case 'T':
            return 10;
        case '@':
            return 11;
        case '+':
            return 29;
        default:
            return 0;
    }
}

std::vector<std::string> RestructureField(DatasetTable& table, int fieldNo,
                                          const ChangeRec& change) {
    if (!table.active()) {
        throw EngineError("Table must be opened to restructure");
    }
    if (!table.openExclusive()) {
        throw EngineError("Table must be opened exclusivelyto restructure");
    }
    const auto props = table.cursorProperties();
    if (props.tableType != "PARADOX" && props.tableType != "DBASE") {
        throw EngineError("Field altering can only occur on Paradox or dBASE tables");
    }
    const auto& fields = table.fields();
    if (fieldNo < 0 || fieldNo >= static_cast<int>(fields.size())) {
        throw EngineError("Field number " + std::to_string(fieldNo) + " out of range");
    }
    const std::string oldName = fields[static_cast<std::size_t>(fieldNo)].name;
    const std::string newName(change.name, strnlen(change.name, sizeof change.name - 1));
    FieldChange fc;
    // The record holds 31 characters; a longer name cut to them stays the column's own name.
    fc.name = newName.size() == sizeof change.name - 1 && oldName.rfind(newName, 0) == 0 ? oldName
                                                                                         : newName;
    fc.type = change.type;
    fc.subtype = change.subtype;
    fc.length = change.length;
    fc.precision = change.precision;
    const auto file = table.file();
    table.close();
    return restructureField(file, oldName, fc);
}

std::vector<std::string> ChangeField(const std::string& tableName, const std::string& column,
                                     const std::string& typeText, const std::string& sizeText,
                                     const std::filesystem::path& databaseDir) {
    DatasetTable table(tableName, databaseDir);
    table.setExclusive(true);
    table.open();
    const auto ref = table.fieldByName(column);
    ChangeRec change;
    std::strncpy(change.name, ref.fullName.c_str(), sizeof change.name - 1);
    change.type = FieldTypeFromLetter(typeText);
    change.subtype = 0;
    const long size = wholeNumber(sizeText);
    if (size < 0 || size > 65535) {
        throw EngineError("Invalid field size " + sizeText);
    }
    change.length = static_cast<std::uint16_t>(size);
    change.precision = 0;
    return RestructureField(table, ref.fieldNo, change);
}

std::vector<std::string> AddPrimaryIndex(const std::string& tableName, const std::string& columns,
                                         const std::filesystem::path& databaseDir) {
    DatasetTable table(tableName, databaseDir);
    table.setExclusive(true);
    table.open();
    return table.addIndex("", columns, true);
}

}  // namespace orn::db
