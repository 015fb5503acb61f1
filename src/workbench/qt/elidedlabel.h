#pragma once
// A one-line label that gives up width gracefully: a text longer than the room it has ends in
// an ellipsis, and the whole text is its tooltip.

#include <QLabel>

namespace orn {

class TElidedLabel : public QLabel {
    Q_OBJECT

  public:
    using QLabel::QLabel;

    // Where a cut text loses its characters: at the end (the default) or, for paths, in the
    // middle.
    void SetElideMode(Qt::TextElideMode mode);
    // The text as it is drawn in the present width.
    QString ShownText() const;
    // What a tooltip shows: the whole text when it is cut, with the label's own tooltip.
    QString ToolTipText() const;
    QSize minimumSizeHint() const override;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect TextRect() const;
    Qt::TextElideMode mode_ = Qt::ElideRight;
};

}  // namespace orn
