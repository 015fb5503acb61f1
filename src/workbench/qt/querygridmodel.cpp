#include "workbench/qt/querygridmodel.h"

#include <climits>
#include <exception>

#include "dbengine/dataset/field_text.h"
#include "dbengine/dataset/query.h"

namespace orn {

TQueryGridModel::TQueryGridModel(db::Query& query, QObject* parent, int pageRows)
    : QAbstractTableModel(parent), query_(query), page_(pageRows) {
    query_.addObserver(this);
    Reset(true);
}

TQueryGridModel::~TQueryGridModel() {
    query_.removeObserver(this);
}

void TQueryGridModel::Reset(bool newResult) {
    beginResetModel();
    std::int64_t rows = 0;
    columns_ = 0;
    bufferRow_ = -1;
    inserting_ = false;
    if (query_.active() && query_.fieldCount() > 0) {
        try {
            columns_ = static_cast<int>(query_.fieldCount());
            // The view's scroll bar counts rows in an int.
            rows = std::min<std::int64_t>(query_.recordCount(), INT_MAX - 1);
            if (query_.state() == db::DatasetState::Insert) {
                inserting_ = true;
                // The count already holds the record being inserted.
                bufferRow_ = query_.recNo() - 1;
            } else if (query_.state() == db::DatasetState::Edit) {
                bufferRow_ = query_.recNo() - 1;
            }
        } catch (const std::exception&) {
            rows = 0;
        }
    }
    if (newResult) {
        page_.Reset(rows);
    } else {
        page_.SetTotal(rows);
    }
    endResetModel();
}

int TQueryGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : page_.Rows();
}

int TQueryGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

void TQueryGridModel::SetPageCapacity(int rows) {
    page_ = TGridPage(rows);
    Reset(true);
}

QModelIndex TQueryGridModel::ResultIndex(std::int64_t row, int column) const {
    const int pageRow = page_.ToPage(row);
    return pageRow < 0 ? QModelIndex() : index(pageRow, column);
}

std::int64_t TQueryGridModel::ResultRow(const QModelIndex& index) const {
    return index.isValid() ? page_.ToResult(index.row()) : -1;
}

void TQueryGridModel::MovePage(std::int64_t start) {
    const std::int64_t oldStart = page_.Start();
    TGridPage moved = page_;
    moved.MoveTo(start);
    if (moved.Start() == oldStart) {
        return;
    }
    // Only rows move, so the columns (and the horizontal header) stay as they are.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    page_ = moved;
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        to.append(ResultIndex(oldStart + index.row(), index.column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit PageMoved();
}

bool TQueryGridModel::IsBufferRow(std::int64_t row) const {
    return row == bufferRow_ && query_.state() != db::DatasetState::Browse;
}

std::int64_t TQueryGridModel::RecordOf(std::int64_t row) const {
    return inserting_ && bufferRow_ >= 0 && row > bufferRow_ ? row - 1 : row;
}

TColumnWidth TQueryGridModel::ColumnWidth(int column) const {
    if (column < 0 || column >= columns_) {
        return {};
    }
    const db::DatasetField& field = query_.field(static_cast<std::size_t>(column));
    return ColumnWidthFor(field.info(), field.displayFormat());
}

QString TQueryGridModel::RowLabel(std::int64_t row) const {
    return IsBufferRow(row) ? QStringLiteral("*") : QString::number(row + 1);
}

QVariant TQueryGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columns_ || index.row() >= page_.Rows()) {
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
    const std::int64_t row = ResultRow(index);
    std::string text;
    if (IsBufferRow(row)) {
        text = role == Qt::EditRole ? field.asString() : field.displayText();
    } else {
        const db::Cell* cell =
            query_.cellAt(RecordOf(row), static_cast<std::size_t>(index.column()));
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
    return RowLabel(page_.ToResult(section));
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
    // Moving the query may post an edit and so move the page: the row is taken first.
    const std::int64_t row = ResultRow(index);
    const auto column = static_cast<std::size_t>(index.column());
    try {
        if (!IsBufferRow(row)) {
            std::string error;
            if (!MoveTo(row, error)) {
                emit EditFailed(QString::fromStdString(error));
                return false;
            }
            query_.edit();
        }
        db::DatasetField& field = query_.field(column);
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

std::int64_t TQueryGridModel::CurrentRow() const {
    if (!query_.active() || page_.Total() == 0) {
        return -1;
    }
    return query_.recNo() - 1;
}

bool TQueryGridModel::MoveTo(std::int64_t row, std::string& error) {
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

void TQueryGridModel::RowChanged(std::int64_t row) {
    const int pageRow = page_.ToPage(row);
    if (pageRow >= 0) {
        emit dataChanged(index(pageRow, 0), index(pageRow, columns_ - 1));
        emit headerDataChanged(Qt::Vertical, pageRow, pageRow);
    }
}

void TQueryGridModel::datasetEvent(db::Query&, db::DatasetEvent event) {
    switch (event) {
        case db::DatasetEvent::Opened:
        case db::DatasetEvent::Closed:
            Reset(true);
            break;
        case db::DatasetEvent::DataChanged:
            Reset(false);
            break;
        case db::DatasetEvent::Scrolled:
            break;
        case db::DatasetEvent::RecordChanged: {
            const bool inserting = query_.state() == db::DatasetState::Insert;
            const bool editing = query_.state() != db::DatasetState::Browse;
            const std::int64_t row = query_.recNo() - 1;
            if (inserting != inserting_) {
                // A new record appeared, or a new one was cancelled or posted: rows shift.
                Reset(false);
            } else {
                const std::int64_t old = bufferRow_;
                bufferRow_ = editing ? row : -1;
                for (std::int64_t r : {old, row}) {
                    if (r >= 0 && columns_ > 0) {
                        RowChanged(r);
                    }
                }
            }
            break;
        }
    }
    emit PositionChanged();
}

}  // namespace orn
