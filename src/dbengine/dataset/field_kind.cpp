#include "dbengine/dataset/field_kind.h"

#include <cstdlib>
#include <cstring>

namespace orn::db {
namespace {

// "CHAR(20)" -> 20, "BCD(12,2) REAL" -> 12 and 2.
void readSize(const std::string& decl, int& size, int& decimals) {
    const auto open = decl.find('(');
    if (open == std::string::npos) {
        return;
    }
    size = std::atoi(decl.c_str() + open + 1);
    const auto comma = decl.find(',', open);
    if (comma != std::string::npos) {
        decimals = std::atoi(decl.c_str() + comma + 1);
    }
}

}  // namespace

bool isNumericKind(FieldKind k) {
    return k == FieldKind::Integer || k == FieldKind::AutoInc || k == FieldKind::Float ||
           k == FieldKind::Money || k == FieldKind::Bcd;
}

ColumnInfo columnInfo(sqlite3_stmt* stmt, int column, int valueType, const std::string& typeHint) {
    ColumnInfo info;
    info.name = sqlite3_column_name(stmt, column);
    if (const char* t = sqlite3_column_table_name(stmt, column)) {
        info.table = t;
    }
    if (const char* o = sqlite3_column_origin_name(stmt, column)) {
        info.origin = o;
    }
    const char* declared = sqlite3_column_decltype(stmt, column);
    if (!declared || !*declared) {
        declared = typeHint.c_str();
    }
    if (*declared) {
        const std::string decl = declared;
        const std::string word = decl.substr(0, decl.find_first_of(" ("));
        readSize(decl, info.size, info.decimals);
        for (char c : word)
            info.declared += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        static const struct {
            const char* word;
            FieldKind kind;
        } kWords[] = {
            {"CHAR", FieldKind::Text},        {"DATE", FieldKind::Date},
            {"TIME", FieldKind::Time},        {"TIMESTAMP", FieldKind::Timestamp},
            {"SMALLINT", FieldKind::Integer}, {"INTEGER", FieldKind::Integer},
            {"AUTOINC", FieldKind::AutoInc},  {"FLOAT", FieldKind::Float},
            {"MONEY", FieldKind::Money},      {"BOOLEAN", FieldKind::Boolean},
            {"BCD", FieldKind::Bcd},          {"MEMO", FieldKind::Memo},
            {"FMTMEMO", FieldKind::Memo},     {"BLOB", FieldKind::Blob},
            {"GRAPHIC", FieldKind::Blob},     {"OLE", FieldKind::Blob},
            {"BYTES", FieldKind::Blob},
        };
        for (const auto& w : kWords) {
            if (strcasecmp(word.c_str(), w.word) == 0) {
                info.kind = w.kind;
                return info;
            }
        }
    }
    switch (valueType) {
        case SQLITE_INTEGER:
            info.kind = FieldKind::Integer;
            break;
        case SQLITE_FLOAT:
            info.kind = FieldKind::Float;
            break;
        case SQLITE_BLOB:
            info.kind = FieldKind::Blob;
            break;
        default:
            info.kind = FieldKind::Text;
    }
    return info;
}

}  // namespace orn::db
