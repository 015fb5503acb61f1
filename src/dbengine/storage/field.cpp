#include "dbengine/storage/field.h"

namespace orn::db {

bool isNumeric(FieldType t) {
    switch (t) {
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc:
        case FieldType::Number:
        case FieldType::Money:
        case FieldType::Bcd:
            return true;
        default:
            return false;
    }
}

bool isBlobLike(FieldType t) {
    switch (t) {
        case FieldType::Memo:
        case FieldType::FmtMemo:
        case FieldType::Blob:
        case FieldType::Graphic:
        case FieldType::Ole:
            return true;
        default:
            return false;
    }
}

const char* typeName(FieldType t) {
    switch (t) {
        case FieldType::Alpha:
            return "Alpha";
        case FieldType::Date:
            return "Date";
        case FieldType::Short:
            return "Short";
        case FieldType::Long:
            return "Long";
        case FieldType::AutoInc:
            return "AutoInc";
        case FieldType::Number:
            return "Number";
        case FieldType::Money:
            return "Money";
        case FieldType::Logical:
            return "Logical";
        case FieldType::Bcd:
            return "BCD";
        case FieldType::Time:
            return "Time";
        case FieldType::Timestamp:
            return "Timestamp";
        case FieldType::Memo:
            return "Memo";
        case FieldType::FmtMemo:
            return "FmtMemo";
        case FieldType::Blob:
            return "Binary";
        case FieldType::Graphic:
            return "Graphic";
        case FieldType::Ole:
            return "OLE";
        case FieldType::Bytes:
            return "Bytes";
    }
    return "Unknown";
}

}  // namespace orn::db
