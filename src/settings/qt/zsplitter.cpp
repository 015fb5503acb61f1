#include "settings/qt/zsplitter.h"

#include <QMouseEvent>

#include "text/zstring.h"

namespace orn {

TzSplitter::TzSplitter(QWidget* parent, TAlign align) : QWidget(parent), ini_(this) {
    ini_.PropName = "AsString";
    ini_.SetGenName("");
    SetAlign(align);
    resize(3, 3);
}

TzSplitter::~TzSplitter() {
    if (!saved_ || ini_.GetAsString() != ini_.LastValue())
        ini_.Save();
}

void TzSplitter::SaveNow() {
    ini_.Save();
    saved_ = true;
}

void TzSplitter::SetAlign(TAlign align) {
    SetWidgetAlign(this, align);
    setCursor(align == TAlign::Left || align == TAlign::Right ? Qt::SplitHCursor
                                                              : Qt::SplitVCursor);
}

bool TzSplitter::Vertical() const {
    return Align() == TAlign::Left || Align() == TAlign::Right;
}

bool TzSplitter::FarEdge() const {
    return Align() == TAlign::Bottom || Align() == TAlign::Right;
}

void TzSplitter::Loaded() {
    ini_.LoadOnce();
}

std::string TzSplitter::GetPosText() const {
    int a = x();
    int b = y();
    const QWidget* parent = parentWidget();
    if (Align() != TAlign::Top && Align() != TAlign::Left && parent != nullptr) {
        a = parent->width() - x();
        b = parent->height() - y();
    }
    return std::to_string(a) + "," + std::to_string(b);
}

void TzSplitter::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    posText_ = GetPosText();
}

void TzSplitter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    posText_ = GetPosText();
}

void TzSplitter::SetAsString(const std::string& text) {
    std::string rest = text;
    const auto ix = NextIntItem(rest);
    const auto iy = NextIntItem(rest);
    const QWidget* parent = parentWidget();
    const bool fromFarEdge = FarEdge() && parent != nullptr;
    // Only items that are integers are turned from far-edge distances into positions; a missing
    // item keeps the current position as it is.
    const int px = !ix ? x() : fromFarEdge ? parent->width() - *ix : *ix;
    const int py = !iy ? y() : fromFarEdge ? parent->height() - *iy : *iy;
    MoveTo(px, py);
}

QWidget* TzSplitter::FindNeighbour() const {
    const QWidget* parent = parentWidget();
    if (parent == nullptr)
        return nullptr;
    QPoint probe = pos();
    switch (Align()) {
        case TAlign::Top:
            probe.ry() -= 1;
            break;
        case TAlign::Bottom:
            probe.ry() += height() + 1;
            break;
        case TAlign::Left:
            probe.rx() -= 1;
            break;
        case TAlign::Right:
            probe.rx() += width() + 1;
            break;
        default:
            return nullptr;
    }
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w == nullptr || w == this || w->isWindow())
            continue;
        // QRect::contains takes the left and top edges in and leaves the right and bottom out.
        if (w->geometry().contains(probe))
            return w;
    }
    return nullptr;
}

void TzSplitter::MoveTo(int px, int py) {
    QWidget* n = FindNeighbour();
    if (n == nullptr)
        return;
    const int d = Vertical() ? px - x() : py - y();
    int newSize = 0;
    switch (Align()) {
        case TAlign::Top:
            newSize = n->height() + d;
            break;
        case TAlign::Bottom:
            newSize = n->height() - d;
            break;
        case TAlign::Left:
            newSize = n->width() + d;
            break;
        case TAlign::Right:
            newSize = n->width() - d;
            break;
        default:
            return;
    }
    if (newSize < MinSize)
        newSize = MinSize;
    TzAlignLayout* layout = AlignLayoutOf(this);
    switch (Align()) {
        case TAlign::Top:
            n->resize(n->width(), newSize);
            break;
        case TAlign::Left:
            n->resize(newSize, n->height());
            break;
        case TAlign::Bottom:
            if (layout != nullptr)
                layout->DisableAlign();
            n->move(n->x(), n->y() + (n->height() - newSize));
            n->resize(n->width(), newSize);
            break;
        case TAlign::Right:
            if (layout != nullptr)
                layout->DisableAlign();
            n->move(n->x() + (n->width() - newSize), n->y());
            n->resize(newSize, n->height());
            break;
        default:
            break;
    }
    if (layout != nullptr) {
        if (FarEdge()) {
            layout->EnableAlign();
        } else {
            layout->Realign();
        }
    }
    posText_ = GetPosText();
}

void TzSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    lastDragPos_ = event->globalPosition().toPoint();
}

void TzSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    const QPoint now = event->globalPosition().toPoint();
    const QPoint delta = now - lastDragPos_;
    if (delta.isNull())
        return;
    const QPoint before = pos();
    MoveTo(x() + delta.x(), y() + delta.y());
    // Follow the bar, not the mouse, so that a bar held back by MinSize is not dragged ahead.
    lastDragPos_ += pos() - before;
}

void TzSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

}  // namespace orn
