#pragma once
// The grid's model over a live Query. Rows are read from the query's row window as the view
// draws them, so showing the first screen of a large result reads only that screen; the record
// count comes from the query's own count. The record being edited or inserted is drawn from
// the query's edit buffer, so a rejected post leaves the user's values in the row.
//
// The view sees one page of the result (TGridPage): its rows are the page's rows, and MovePage
// moves the page as a layout change, so the view's current cell, selection and open editor
// follow their records while the page still holds them. "Result rows" below count the grid's
// rows over the whole result (with the record being inserted among them).

#include <QAbstractTableModel>
#include <cstdint>
#include <string>

#include "dbengine/dataset/dataset_observer.h"
#include "workbench/columnwidth.h"
#include "workbench/gridpage.h"

namespace orn {
namespace db {
class Query;
}

class TQueryGridModel : public QAbstractTableModel, public db::DatasetObserver {
    Q_OBJECT

  public:
    // `pageRows`: the most rows the view is given at a time.
    explicit TQueryGridModel(db::Query& query, QObject* parent = nullptr,
                             int pageRows = TGridPage::kDefaultCapacity);
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

    const TGridPage& Page() const { return page_; }
    // The most rows the view is given at a time; the result is shown anew from its start.
    void SetPageCapacity(int rows);
    // Rows of the whole result.
    std::int64_t ResultRows() const { return page_.Total(); }
    // The model index of result row `row`; invalid when the page does not hold it.
    QModelIndex ResultIndex(std::int64_t row, int column) const;
    std::int64_t ResultRow(const QModelIndex& index) const;
    // Moves the page to start at result row `start` (kept within the result).
    void MovePage(std::int64_t start);
    // How wide the values of `column` can be (see ColumnWidthFor).
    TColumnWidth ColumnWidth(int column) const;
    // The text that labels result row `row` at the left of the grid.
    QString RowLabel(std::int64_t row) const;

    // The result row of the query's current record (-1 when there is none).
    std::int64_t CurrentRow() const;
    // Moves the query to result row `row`; a pending edit is posted first. False with the
    // engine's message in `error` when that fails (the query then stays where it was, the edit
    // kept).
    bool MoveTo(std::int64_t row, std::string& error);

  signals:
    // The query's current record moved or its values or state changed.
    void PositionChanged();
    void EditFailed(const QString& message);
    // The page moved to another part of the result.
    void PageMoved();

  private:
    void Reset(bool newResult);
    // The record number behind a result row while a new record is being inserted.
    std::int64_t RecordOf(std::int64_t row) const;
    bool IsBufferRow(std::int64_t row) const;
    void RowChanged(std::int64_t row);

    db::Query& query_;
    TGridPage page_;
    int columns_ = 0;
    std::int64_t bufferRow_ = -1;  // the row drawn from the edit buffer
    bool inserting_ = false;
};

}  // namespace orn
