#include "settings/qt/zalign.h"

#include <QWidget>

namespace orn {

namespace {
constexpr const char* kAlignProperty = "ornAlign";
}

void SetWidgetAlign(QWidget* widget, TAlign align) {
    widget->setProperty(kAlignProperty, static_cast<int>(align));
}

TAlign WidgetAlign(const QWidget* widget) {
    const QVariant v = widget->property(kAlignProperty);
    return v.isValid() ? static_cast<TAlign>(v.toInt()) : TAlign::None;
}

TzAlignLayout* AlignLayoutOf(const QWidget* widget) {
    const QWidget* parent = widget != nullptr ? widget->parentWidget() : nullptr;
    return parent != nullptr ? qobject_cast<TzAlignLayout*>(parent->layout()) : nullptr;
}

TzAlignLayout::TzAlignLayout(QWidget* parent) : QLayout(parent) {
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

TzAlignLayout::~TzAlignLayout() {
    while (!items_.isEmpty())
        delete items_.takeFirst();
}

void TzAlignLayout::AddWidget(QWidget* widget, TAlign align) {
    SetWidgetAlign(widget, align);
    addWidget(widget);
}

void TzAlignLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

QLayoutItem* TzAlignLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* TzAlignLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

void TzAlignLayout::EnableAlign() {
    if (disabled_ > 0 && --disabled_ == 0)
        Realign();
}

void TzAlignLayout::Realign() {
    if (QWidget* parent = parentWidget())
        setGeometry(parent->contentsRect());
}

void TzAlignLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    if (disabled_ > 0)
        return;
    QRect free = rect;
    for (const TAlign pass :
         {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client}) {
        for (QLayoutItem* item : items_) {
            QWidget* w = item->widget();
            if (w == nullptr || w->isHidden() || WidgetAlign(w) != pass)
                continue;
            switch (pass) {
                case TAlign::Top:
                    w->setGeometry(free.left(), free.top(), free.width(), w->height());
                    free.setTop(free.top() + w->height());
                    break;
                case TAlign::Bottom:
                    w->setGeometry(free.left(), free.bottom() + 1 - w->height(), free.width(),
                                   w->height());
                    free.setBottom(free.bottom() - w->height());
                    break;
                case TAlign::Left:
                    w->setGeometry(free.left(), free.top(), w->width(), free.height());
                    free.setLeft(free.left() + w->width());
                    break;
                case TAlign::Right:
                    w->setGeometry(free.right() + 1 - w->width(), free.top(), w->width(),
                                   free.height());
                    free.setRight(free.right() - w->width());
                    break;
                case TAlign::Client:
                    w->setGeometry(free);
                    break;
                case TAlign::None:
                    break;
            }
        }
    }
}

QSize TzAlignLayout::sizeHint() const {
    int width = 0;
    int height = 0;
    for (QLayoutItem* item : items_) {
        const QWidget* w = item->widget();
        if (w == nullptr || w->isHidden())
            continue;
        switch (WidgetAlign(w)) {
            case TAlign::Top:
            case TAlign::Bottom:
                height += w->height();
                break;
            case TAlign::Left:
            case TAlign::Right:
                width += w->width();
                break;
            default:
                break;
        }
    }
    return {width + 100, height + 100};
}

QSize TzAlignLayout::minimumSize() const {
    return {0, 0};
}

}  // namespace orn
