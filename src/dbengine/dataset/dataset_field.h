#pragma once

#include <cstddef>
#include <string>

#include "dbengine/dataset/cell.h"
#include "dbengine/dataset/field_kind.h"

namespace orn::db {

class Query;

// One column of a query's result, read and written at the query's current record.
class DatasetField {
  public:
    DatasetField(Query& query, std::size_t index, ColumnInfo info)
        : query_(query), index_(index), info_(std::move(info)) {}

    const std::string& name() const { return info_.name; }
    const std::string& fullName() const { return info_.name; }
    std::size_t index() const { return index_; }  // position in the result, from 0
    FieldKind kind() const { return info_.kind; }
    const ColumnInfo& info() const { return info_; }
    bool isNumeric() const { return isNumericKind(info_.kind); }
    // Values of autoincrement fields and of computed columns are set by the engine.
    bool readOnly() const;

    // Mask in the syntax of formatNumberMask; used by numeric fields only.
    const std::string& displayFormat() const { return displayFormat_; }
    void setDisplayFormat(std::string mask) { displayFormat_ = std::move(mask); }

    bool isNull() const;
    const Cell& value() const;
    std::string asString() const;                    // see cellText
    std::string displayText() const;                 // asString, numbers through the display format
    void appendDisplayText(std::string& out) const;  // the same, added to `out`
    // The display text this field gives `value` (a value of another record, say).
    void appendDisplayTextOf(const Cell& value, std::string& out) const;
    double asFloat() const;

    // Assignments need the query in edit or insert state.
    void setAsString(const std::string& text);  // see cellFromText
    void setValue(Cell value);
    void clear() { setValue(std::monostate{}); }

  private:
    Query& query_;
    std::size_t index_;
    ColumnInfo info_;
    std::string displayFormat_;
};

}  // namespace orn::db
