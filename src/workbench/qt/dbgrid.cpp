#include "workbench/qt/dbgrid.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOption>
#include <QStyleOptionHeader>
#include <algorithm>

#include "workbench/columnwidth.h"
#include "workbench/qt/querygridmodel.h"

namespace orn {

namespace {

// The row numbers at the left. A header is as wide as the widest label among the rows it
// measures; rows outside the page are measured by the last row's label, the widest of them, so
// the grid does not widen or narrow as the page moves.
class TGridRowHeader : public QHeaderView {
  public:
    explicit TGridRowHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
        // What a table view's own row header does.
        setSectionsClickable(true);
        setHighlightSections(true);
    }

  protected:
    QSize sectionSizeFromContents(int logicalIndex) const override {
        const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
        const auto* grid = qobject_cast<const TQueryGridModel*>(model());
        if (grid == nullptr || !grid->Page().Paged()) {
            return size;
        }
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.section = logicalIndex;
        QFont bold = font();
        bold.setBold(true);
        option.fontMetrics = QFontMetrics(bold);
        option.text = grid->RowLabel(grid->ResultRows() - 1);
        return size.expandedTo(
            style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this));
    }
};

// Below the result's scroll bar, beside the view's horizontal one: the corner a scroll area
// paints between its two bars.
class TGridCorner : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStyleOption option;
        option.initFrom(this);
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_PanelScrollAreaCorner, &option, &painter, this);
    }
};

}  // namespace

TDBGrid::TDBGrid(QWidget* parent) : QTableView(nullptr) {
    frame_ = new QFrame(parent);
    frame_->setObjectName("PanelGrid");
    auto* layout = new QGridLayout(frame_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, this)) {
        // The style puts scroll bars outside the view's frame, at a distance.
        layout->setHorizontalSpacing(
            style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, nullptr, this));
    } else {
        // The style draws one frame around the view and its scroll bars: the frame draws it.
        frame_->setFrameStyle(frameStyle());
        frame_->setLineWidth(lineWidth());
        frame_->setMidLineWidth(midLineWidth());
        setFrameShape(QFrame::NoFrame);
    }
    setParent(frame_);
    bar_ = new QScrollBar(Qt::Vertical, frame_);
    bar_->setObjectName("ResultScrollBar");
    bar_->setFocusPolicy(Qt::NoFocus);
    bar_->hide();
    corner_ = new TGridCorner(frame_);
    corner_->hide();
    layout->addWidget(this, 0, 0, 2, 1);
    layout->addWidget(bar_, 0, 1);
    layout->addWidget(corner_, 1, 1);
    layout->setRowStretch(0, 1);

    setVerticalHeader(new TGridRowHeader(this));
    // Scroll values count rows, so the view's value plus the page's start is the bar's value.
    setVerticalScrollMode(ScrollPerItem);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!adjusting_ && Paged()) {
            ShowRows(model_->Page().Start() + value);
        }
    });
    connect(bar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!adjusting_ && Paged()) {
            ShowRows(value);
        }
    });
    horizontalScrollBar()->installEventFilter(this);
}

void TDBGrid::setModel(QAbstractItemModel* model) {
    if (model_ != nullptr) {
        disconnect(model_, nullptr, this, nullptr);
    }
    model_ = qobject_cast<TQueryGridModel*>(model);
    away_ = {};
    QTableView::setModel(model);
    if (model_ != nullptr) {
        connect(model_, &QAbstractItemModel::modelReset, this, [this] { ModelReset(); });
    }
    UpdateScrollBar();
}

bool TDBGrid::Paged() const {
    return model_ != nullptr && model_->Page().Paged();
}

int TDBGrid::VisibleRows() const {
    return std::max(1, verticalScrollBar()->pageStep());
}

std::int64_t TDBGrid::FirstShownRow() const {
    return (model_ ? model_->Page().Start() : 0) + verticalScrollBar()->value();
}

std::int64_t TDBGrid::CurrentResultRow() const {
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
        return model_ ? model_->ResultRow(current) : current.row();
    }
    return away_.row;
}

int TDBGrid::CurrentColumn() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : away_.row >= 0 ? away_.column : 0;
}

void TDBGrid::SetCurrentResultCell(std::int64_t row, int column) {
    if (model_ == nullptr) {
        return;
    }
    away_ = {};
    MovePage(model_->Page().StartToMoveFrom(row, VisibleRows()), FirstShownRow());
    setCurrentIndex(model_->ResultIndex(row, column));
}

void TDBGrid::ShowRows(std::int64_t first) {
    MovePage(model_->Page().StartToShow(first, VisibleRows()), first);
}

void TDBGrid::MovePage(std::int64_t start, std::int64_t first) {
    const bool wasAdjusting = adjusting_;
    adjusting_ = true;
    const TGridPage& page = model_->Page();
    TGridPage next = page;
    next.MoveTo(start);
    const bool moves = next.Start() != page.Start();
    if (moves) {
        const QModelIndex current = currentIndex();
        if (current.isValid() && !next.Contains(model_->ResultRow(current))) {
            // The page lets go of the current cell: remember it, and hand what is typed in
            // its editor to the record first, as leaving the cell would.
            away_ = {model_->ResultRow(current), current.column(),
                     selectionModel()->isSelected(current)};
            if (state() == EditingState) {
                // The editor took the focus within the view when it opened.
                QWidget* editor = focusWidget();
                if (editor != nullptr && viewport()->isAncestorOf(editor)) {
                    commitData(editor);
                    closeEditor(editor, QAbstractItemDelegate::NoHint);
                }
            }
        }
        model_->MovePage(next.Start());
    }
    QScrollBar* view = verticalScrollBar();
    view->setValue(
        static_cast<int>(std::clamp<std::int64_t>(first - page.Start(), 0, view->maximum())));
    bar_->setValue(static_cast<int>(page.Start() + view->value()));
    adjusting_ = wasAdjusting;
    if (moves) {
        RestoreCurrent();
        viewport()->update();
        verticalHeader()->viewport()->update();
    }
}

void TDBGrid::RestoreCurrent() {
    if (away_.row < 0 || currentIndex().isValid()) {
        return;
    }
    const QModelIndex index = model_->ResultIndex(away_.row, away_.column);
    if (!index.isValid()) {
        return;
    }
    const Away away = away_;
    away_ = {};
    // The cell comes back where it is; the view stays where the user scrolled to.
    const bool autoScroll = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(
        index, away.selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
    setAutoScroll(autoScroll);
}

QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    if (!Paged()) {
        return QTableView::moveCursor(action, modifiers);
    }
    const TGridPage& page = model_->Page();
    if ((modifiers & Qt::ControlModifier) && (action == MoveHome || action == MoveEnd)) {
        // The first cell of the whole result, or its last.
        const bool home = action == MoveHome;
        const std::int64_t row = home ? 0 : page.Total() - 1;
        MovePage(page.StartToMoveFrom(row, VisibleRows()), FirstShownRow());
        return model_->ResultIndex(row, home ? 0 : model_->columnCount() - 1);
    }
    // The view moves from the current cell by up to a screen: the page must hold that much
    // around it, and the cell itself.
    const std::int64_t row = CurrentResultRow();
    if (row >= 0) {
        MovePage(page.StartToMoveFrom(row, VisibleRows()), FirstShownRow());
        RestoreCurrent();
    }
    return QTableView::moveCursor(action, modifiers);
}

void TDBGrid::updateGeometries() {
    QTableView::updateGeometries();
    UpdateScrollBar();
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (current.isValid()) {
        away_ = {};  // a cell the user or the window made current replaces one out of the page
    }
    QTableView::currentChanged(current, previous);
}

void TDBGrid::SizeColumns() {
    if (model_ == nullptr || model_->ResultRows() <= kMeasuredRows) {
        resizeColumnsToContents();
        return;
    }
    const QFontMetrics metrics(font());
    const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
    const int letter = std::max(metrics.averageCharWidth(), digit);
    // What a cell adds to its text: the item's margins either side, and the grid line.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) +
                       (showGrid() ? 1 : 0);
    for (int column = 0; column < model_->columnCount(); ++column) {
        const TColumnWidth width = model_->ColumnWidth(column);
        setColumnWidth(column, ColumnPixels(width, width.digits ? digit : letter, margin,
                                            sizeHintForColumn(column),
                                            horizontalHeader()->sectionSizeHint(column)));
    }
}

void TDBGrid::ModelReset() {
    away_ = {};
    // The bar's range follows the view's, which the view works out once it lays out.
    executeDelayedItemsLayout();
    UpdateScrollBar();
}

void TDBGrid::UpdateScrollBar() {
    if (bar_ == nullptr) {
        return;
    }
    const bool paged = Paged();
    const Qt::ScrollBarPolicy policy = paged ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    if (verticalScrollBarPolicy() != policy) {
        setVerticalScrollBarPolicy(policy);
    }
    const bool wasAdjusting = adjusting_;
    adjusting_ = true;
    if (paged) {
        const TGridPage& page = model_->Page();
        const int visible = VisibleRows();
        bar_->setRange(0, static_cast<int>(std::max<std::int64_t>(0, page.Total() - visible)));
        bar_->setPageStep(visible);
        bar_->setSingleStep(1);
        bar_->setValue(static_cast<int>(FirstShownRow()));
    } else {
        bar_->setRange(0, 0);
    }
    adjusting_ = wasAdjusting;
    bar_->setVisible(paged && bar_->maximum() > 0);
    ShowCorner(horizontalScrollBar()->isVisibleTo(this));
}

void TDBGrid::ShowCorner(bool besideBar) {
    const bool show = besideBar && bar_->isVisibleTo(frame_);
    if (show == corner_->isVisibleTo(frame_)) {
        return;
    }
    corner_->setFixedHeight(horizontalScrollBar()->sizeHint().height());
    corner_->setVisible(show);
    // The view's own bars take their places at once; so does the result's.
    frame_->layout()->activate();
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == horizontalScrollBar() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        ShowCorner(event->type() == QEvent::Show);
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace orn
