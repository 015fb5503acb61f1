#include "workbench/qt/querygridmodel.h"

#include <climits>
#include <exception>

#include "dbengine/dataset/field_text.h"
#include "dbengine/dataset/query.h"

namespace orn {

TQueryGridModel::TQueryGridModel(db::Query& query, QObject* parent)
    : QAbstractTableModel(parent), query_(query) {
    query_.addObserver(this);
    Reset();
}

TQueryGridModel::~TQueryGridModel() {
    query_.removeObserver(this);
}

void TQueryGridModel::Reset() {
    beginResetModel();
    rows_ = columns_ = 0;
    bufferRow_ = -1;
    inserting_ = false;
    if (query_.active() && query_.fieldCount() > 0) {
        try {
            columns_ = static_cast<int>(query_.fieldCount());
            const std::int64_t count = query_.recordCount();
            rows_ = static_cast<int>(std::min<std::int64_t>(count, INT_MAX - 1));
            if (query_.state() == db::DatasetState::Insert) {
                inserting_ = true;
                // The count already holds the record being inserted.
                bufferRow_ = static_cast<int>(query_.recNo() - 1);
            } else if (query_.state() == db::DatasetState::Edit) {
                bufferRow_ = static_cast<int>(query_.recNo() - 1);
            }
        } catch (const std::exception&) {
            rows_ = 0;
        }
    }
    endResetModel();
}

int TQueryGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TQueryGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

bool TQueryGridModel::IsBufferRow(int row) const {
    return row == bufferRow_ && query_.state() != db::DatasetState::Browse;
}

std::int64_t TQueryGridModel::RecordOf(int row) const {
    return inserting_ && bufferRow_ >= 0 && row > bufferRow_ ? row - 1 : row;
}

QVariant TQueryGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columns_ || index.row() >= rows_) {
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole) {
        return {};
    }
    db::DatasetField& field = query_.field(static_cast<std::size_t>(index.column()));
    if (role == Qt::TextAlignmentRole) {
        return field.isNumeric() ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                 : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    std::string text;
    if (IsBufferRow(index.row())) {
        text = role == Qt::EditRole ? field.asString() : field.displayText();
    } else {
        const db::Cell* cell =
            query_.cellAt(RecordOf(index.row()), static_cast<std::size_t>(index.column()));
        if (cell == nullptr) {
            return {};
        }
        if (role == Qt::EditRole) {
            text = db::cellText(field.kind(), *cell);
        } else {
            field.appendDisplayTextOf(*cell, text);
        }
    }
    return QString::fromStdString(text);
}

QVariant TQueryGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columns_) {
            return {};
        }
        return QString::fromStdString(query_.field(static_cast<std::size_t>(section)).name());
    }
    return IsBufferRow(section) ? QStringLiteral("*") : QString::number(section + 1);
}

Qt::ItemFlags TQueryGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() < columns_ &&
        !query_.field(static_cast<std::size_t>(index.column())).readOnly()) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool TQueryGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid()) {
        return false;
    }
    try {
        if (!IsBufferRow(index.row())) {
            std::string error;
            if (!MoveTo(index.row(), error)) {
                emit EditFailed(QString::fromStdString(error));
                return false;
            }
            query_.edit();
        }
        db::DatasetField& field = query_.field(static_cast<std::size_t>(index.column()));
        const std::string text = value.toString().toStdString();
        if (field.asString() != text) {
            field.setAsString(text);
        }
        return true;
    } catch (const std::exception& e) {
        emit EditFailed(QString::fromUtf8(e.what()));
    }
    return false;
}

int TQueryGridModel::CurrentRow() const {
    if (!query_.active() || rows_ == 0) {
        return -1;
    }
    return static_cast<int>(query_.recNo() - 1);
}

bool TQueryGridModel::MoveTo(int row, std::string& error) {
    if (row == CurrentRow() || !query_.active()) {
        return true;
    }
    try {
        query_.setRecNo(RecordOf(row) + 1);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return false;
}

void TQueryGridModel::datasetEvent(db::Query&, db::DatasetEvent event) {
    switch (event) {
        case db::DatasetEvent::Opened:
        case db::DatasetEvent::Closed:
        case db::DatasetEvent::DataChanged:
            Reset();
            break;
        case db::DatasetEvent::Scrolled:
            break;
        case db::DatasetEvent::RecordChanged: {
            const bool inserting = query_.state() == db::DatasetState::Insert;
            const bool editing = query_.state() != db::DatasetState::Browse;
            const int row = static_cast<int>(query_.recNo() - 1);
            if (inserting != inserting_) {
                // A new record appeared, or a new one was cancelled or posted: rows shift.
                Reset();
            } else {
                const int old = bufferRow_;
                bufferRow_ = editing ? row : -1;
                for (int r : {old, row}) {
                    if (r >= 0 && r < rows_) {
                        emit dataChanged(index(r, 0), index(r, columns_ - 1));
                        emit headerDataChanged(Qt::Vertical, r, r);
                    }
                }
            }
            break;
        }
    }
    emit PositionChanged();
}

}  // namespace orn
