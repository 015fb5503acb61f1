#pragma once
// The grid's model over a live Query. Rows are read from the query's row window as the view
// draws them, so showing the first screen of a large result reads only that screen; the record
// count comes from the query's own count. The record being edited or inserted is drawn from
// the query's edit buffer, so a rejected post leaves the user's values in the row.

#include <QAbstractTableModel>
#include <functional>
#include <string>

#include "dbengine/dataset/dataset_observer.h"

namespace orn {
namespace db {
class Query;
}

class TQueryGridModel : public QAbstractTableModel, public db::DatasetObserver {
    Q_OBJECT

  public:
    explicit TQueryGridModel(db::Query& query, QObject* parent = nullptr);
    ~TQueryGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Moves the query to the row (posting a pending edit there first), puts it in edit state and
    // assigns the text. Failures are reported through EditFailed and give false.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void datasetEvent(db::Query& query, db::DatasetEvent event) override;

    // The grid row of the query's current record (-1 when there is none).
    int CurrentRow() const;
    // Moves the query to `row`; a pending edit is posted first. False with the engine's message
    // in `error` when that fails (the query then stays where it was, the edit kept).
    bool MoveTo(int row, std::string& error);

  signals:
    // The query's current record moved or its values or state changed.
    void PositionChanged();
    void EditFailed(const QString& message);

  private:
    void Reset();
    // The record number behind a grid row while a new record is being inserted.
    std::int64_t RecordOf(int row) const;
    bool IsBufferRow(int row) const;

    db::Query& query_;
    int rows_ = 0;
    int columns_ = 0;
    int bufferRow_ = -1;  // the row drawn from the edit buffer
    bool inserting_ = false;
};

}  // namespace orn
