#include "workbench/qt/elidedlabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace orn {

QRect TElidedLabel::TextRect() const {
    QRect r = contentsRect();
    const int m = margin();
    r.adjust(m, m, -m, -m);
    const int indent = this->indent() > 0 ? this->indent() : 0;
    if (alignment() & Qt::AlignRight) {
        r.setRight(r.right() - indent);
    } else {
        r.setLeft(r.left() + indent);
    }
    return r;
}

QString TElidedLabel::ShownText() const {
    // Lines after the first would be cut by the height anyway; they join the first.
    QString line = text();
    line.replace('\n', ' ');
    return fontMetrics().elidedText(line, mode_, TextRect().width());
}

void TElidedLabel::SetElideMode(Qt::TextElideMode mode) {
    mode_ = mode;
    update();
}

QString TElidedLabel::ToolTipText() const {
    if (ShownText() == text()) {
        return toolTip();
    }
    // A cut text shows whole when the pointer rests on it, above the label's own hint.
    return toolTip().isEmpty() ? text() : text() + "\n" + toolTip();
}

QSize TElidedLabel::minimumSizeHint() const {
    QSize size = QLabel::minimumSizeHint();
    const int frame = 2 * (frameWidth() + margin());
    size.setWidth(
        std::min(size.width(), fontMetrics().horizontalAdvance(QStringLiteral("M\u2026")) + frame));
    return size;
}

bool TElidedLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const QString tip = ToolTipText();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, this);
        }
        return true;
    }
    return QLabel::event(event);
}

void TElidedLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    style()->drawItemText(&painter, TextRect(), static_cast<int>(align), palette(), isEnabled(),
                          ShownText(), foregroundRole());
}

}  // namespace orn
