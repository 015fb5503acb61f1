#pragma once
// The result grid: a table view over the page of the result that TQueryGridModel gives it,
// with a vertical scroll bar of its own that ranges over the whole result. Scrolling by the bar,
// the wheel or the keys moves the page along, so the view's own bookkeeping never grows with the
// result; the current cell, its selection and an open editor follow their record across page
// moves. A result that fits in one page is shown by the view alone, exactly as any table view.
//
// The view and its scroll bar sit in a frame of their own (Frame()), drawn as the view's frame
// would be; put that frame, not the view, into a layout.

#include <QTableView>
#include <cstdint>

class QScrollBar;
class QFrame;

namespace orn {

class TQueryGridModel;

class TDBGrid : public QTableView {
    Q_OBJECT

  public:
    explicit TDBGrid(QWidget* parent = nullptr);

    QFrame* Frame() const { return frame_; }
    // The vertical scroll bar the user sees while the result is larger than a page.
    QScrollBar* ResultScrollBar() const { return bar_; }
    // Takes a TQueryGridModel (any other model is shown as a plain table view would).
    void setModel(QAbstractItemModel* model) override;

    // The result row of the current cell, also while the page has moved away from it; -1 when
    // there is none.
    std::int64_t CurrentResultRow() const;
    int CurrentColumn() const;
    // Makes (row, column) of the result the current cell and scrolls it into view (nothing
    // without a TQueryGridModel).
    void SetCurrentResultCell(std::int64_t row, int column);
    // The first result row shown at the top.
    std::int64_t FirstShownRow() const;
    // Sizes every column for a new result: a small result by its rows, a large one so that
    // every value its fields can hold fits (ColumnWidthFor), not only those on the first screen.
    void SizeColumns();

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Paged() const;
    int VisibleRows() const;
    // Shows result rows from `first` on, moving the page when they come near its edge.
    void ShowRows(std::int64_t first);
    // Moves the page to `start` and shows result rows from `first` on, as far as the page holds
    // them (else its edge on their side, so the current cell stays above or below the view as
    // it was).
    void MovePage(std::int64_t start, std::int64_t first);
    // After a page move: the current cell comes back once the page holds its record again.
    void RestoreCurrent();
    void UpdateScrollBar();
    // The corner below the result's bar shows while the view's horizontal bar does.
    void ShowCorner(bool besideBar);
    void ModelReset();

    TQueryGridModel* model_ = nullptr;
    QFrame* frame_ = nullptr;
    QScrollBar* bar_ = nullptr;
    QWidget* corner_ = nullptr;
    bool adjusting_ = false;
    // The current cell while the page does not hold its record.
    struct Away {
        std::int64_t row = -1;
        int column = 0;
        bool selected = false;
    } away_;
};

}  // namespace orn
