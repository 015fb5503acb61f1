#include "dbengine/dataset/dataset_field.h"

#include "dbengine/dataset/display_format.h"
#include "dbengine/dataset/field_text.h"
#include "dbengine/dataset/query.h"
#include "dbengine/dataset/separators.h"

namespace orn::db {

bool DatasetField::readOnly() const {
    return info_.kind == FieldKind::AutoInc || info_.origin.empty() || !query_.canModify();
}

const Cell& DatasetField::value() const {
    return query_.currentCell(index_);
}

bool DatasetField::isNull() const {
    return std::holds_alternative<std::monostate>(value());
}

std::string DatasetField::asString() const {
    return cellText(info_.kind, value());
}

double DatasetField::asFloat() const {
    return cellNumber(value());
}

std::string DatasetField::displayText() const {
    std::string out;
    appendDisplayText(out);
    return out;
}

void DatasetField::appendDisplayText(std::string& out) const {
    appendDisplayTextOf(value(), out);
}

void DatasetField::appendDisplayTextOf(const Cell& v, std::string& out) const {
    if (std::holds_alternative<std::monostate>(v)) {
        return;
    }
    if (isNumeric() && !displayFormat_.empty()) {
        out += formatNumberMask(cellNumber(v), displayFormat_, decimalSeparator(),
                                thousandsSeparator());
    } else if (info_.kind == FieldKind::Blob) {
        out += "(Blob)";
    } else {
        appendCellText(out, info_.kind, v);
    }
}

void DatasetField::setAsString(const std::string& text) {
    setValue(cellFromText(info_.kind, text));
}

void DatasetField::setValue(Cell value) {
    query_.assign(index_, std::move(value));
}

}  // namespace orn::db
