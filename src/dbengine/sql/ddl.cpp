#include "dbengine/sql/ddl.h"

#include "dbengine/sql/sql_error.h"

namespace orn::sql {

namespace {

db::Field make(const std::string& name, db::FieldType type, int size, int decimals, char letter) {
    db::Field f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    f.letter = letter;
    return f;
}

[[noreturn]] void unsupported(const std::string& type, db::TableFormat format) {
    throw SqlError("Type " + type + " is not supported in " +
                   (format == db::TableFormat::Paradox ? "Paradox" : "dBASE") + " tables");
}

[[noreturn]] void badSize(const std::string& name, const std::string& type) {
    throw SqlError("Invalid size for field '" + name + "' of type " + type);
}

db::Field paradoxField(const std::string& name, const std::string& t, int size, int scale) {
    using FT = db::FieldType;
    if (t == "SMALLINT")
        return make(name, FT::Short, 2, 0, 'S');
    if (t == "INTEGER" || t == "INT")
        return make(name, FT::Long, 4, 0, 'I');
    if (t == "DECIMAL") {
        if (scale > 32)
            badSize(name, t);
        return make(name, FT::Bcd, 17, scale < 0 ? 0 : scale, '#');
    }
    if (t == "NUMERIC" || t == "FLOAT" || t == "DOUBLE" || t == "REAL")
        return make(name, FT::Number, 8, 0, 'N');
    if (t == "CHAR" || t == "CHARACTER" || t == "VARCHAR") {
        const int n = size < 0 ? 1 : size;
        if (n < 1 || n > 255)
            badSize(name, t);
        return make(name, FT::Alpha, n, 0, 'A');
    }
    if (t == "DATE")
        return make(name, FT::Date, 4, 0, 'D');
    if (t == "TIME")
        return make(name, FT::Time, 4, 0, 'T');
    if (t == "TIMESTAMP")
        return make(name, FT::Timestamp, 8, 0, '@');
    if (t == "BOOLEAN")
        return make(name, FT::Logical, 1, 0, 'L');
    if (t == "MONEY")
        return make(name, FT::Money, 8, 0, '$');
    if (t == "AUTOINC")
        return make(name, FT::AutoInc, 4, 0, '+');
    if (t == "BYTES") {
        if (size < 1 || size > 255)
            badSize(name, t);
        return make(name, FT::Bytes, size, 0, 'Y');
    }
    if (t == "BLOB") {
        const int leader = size < 0 ? 0 : size;
        if (leader > 240)
            badSize(name, t);
        switch (scale < 0 ? 1 : scale) {
            case 1:
                return make(name, FT::Memo, leader + 10, 0, 'M');
            case 2:
                return make(name, FT::Blob, leader + 10, 0, 'B');
            case 3:
                return make(name, FT::FmtMemo, leader + 10, 0, 'F');
            case 4:
                return make(name, FT::Ole, leader + 10, 0, 'O');
            case 5:
                return make(name, FT::Graphic, leader + 10, 0, 'G');
            default:
                throw SqlError("Invalid BLOB subtype for field '" + name + "'");
        }
    }
    throw SqlError("Unknown field type " + t + " for field '" + name + "'");
}

db::Field dbaseField(const std::string& name, const std::string& t, int size, int scale) {
    using FT = db::FieldType;
    const auto numeric = [&](int width, int decimals, char letter) {
        if (width < 1 || width > 20 || decimals < 0 || decimals > 18 ||
            (decimals > 0 && decimals > width - 2))
            badSize(name, t);
        return make(name, FT::Number, width, decimals, letter);
    };
    if (t == "SMALLINT")
        return numeric(6, 0, 'N');
    if (t == "INTEGER" || t == "INT")
        return numeric(11, 0, 'N');
    if (t == "DECIMAL" || t == "NUMERIC")
        return numeric(size < 0 ? 20 : size, scale < 0 ? 0 : scale, 'N');
    if (t == "FLOAT" || t == "DOUBLE" || t == "REAL")
        return numeric(size < 0 ? 20 : size, scale < 0 ? 4 : scale, 'F');
    if (t == "MONEY")
        return numeric(20, 4, 'N');
    if (t == "CHAR" || t == "CHARACTER" || t == "VARCHAR") {
        const int n = size < 0 ? 1 : size;
        if (n < 1 || n > 254)
            badSize(name, t);
        return make(name, FT::Alpha, n, 0, 'C');
    }
    if (t == "DATE")
        return make(name, FT::Date, 8, 0, 'D');
    if (t == "BOOLEAN")
        return make(name, FT::Logical, 1, 0, 'L');
    if (t == "BLOB") {
        switch (scale < 0 ? 1 : scale) {
            case 1:
                return make(name, FT::Memo, 10, 0, 'M');
            case 2:
                return make(name, FT::Blob, 10, 0, 'B');
            case 4:
                return make(name, FT::Ole, 10, 0, 'G');
            case 3:
            case 5:
                throw SqlError("BLOB subtype " + std::to_string(scale) +
                               " is not supported in dBASE tables");
            default:
                throw SqlError("Invalid BLOB subtype for field '" + name + "'");
        }
    }
    if (t == "TIME" || t == "TIMESTAMP" || t == "AUTOINC" || t == "BYTES")
        unsupported(t, db::TableFormat::DBase);
    throw SqlError("Unknown field type " + t + " for field '" + name + "'");
}

}  // namespace

db::Field fieldForSqlType(const std::string& name, const std::string& typeWord, int size, int scale,
                          db::TableFormat format) {
    return format == db::TableFormat::Paradox ? paradoxField(name, typeWord, size, scale)
                                              : dbaseField(name, typeWord, size, scale);
}

}  // namespace orn::sql
