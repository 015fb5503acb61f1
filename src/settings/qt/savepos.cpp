#include "settings/qt/savepos.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>

#include "text/zstring.h"

namespace orn {

TSavePos::TSavePos(QObject* owner) : QObject(owner), ini_(this) {
    ini_.AutoSave = true;
    ini_.PropName = "AsString";
    ini_.IniSection = "Pos";
}

TSavePos::~TSavePos() {
    // Without a form there is no position to keep.
    if (Enabled && !saved_ && form_ != nullptr)
        ini_.Save();
}

void TSavePos::SaveNow() {
    if (Enabled && form_ != nullptr) {
        ini_.Save();
        saved_ = true;
    }
}

void TSavePos::Loaded() {
    if (form_ != nullptr)
        form_->removeEventFilter(this);
    form_ = nullptr;
    QObject* owner = parent();
    if (owner != nullptr && IsForm(owner) && owner->isWidgetType()) {
        form_ = static_cast<QWidget*>(owner);
        subWindow_ = qobject_cast<QMdiSubWindow*>(form_->parentWidget());
        form_->installEventFilter(this);
        if (ini_.SaveName.empty())
            ini_.SaveName = form_->objectName().toStdString();
        ini_.LoadOnce();
    }
}

bool TSavePos::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_) {
        if (event->type() == QEvent::ParentChange) {
            subWindow_ = qobject_cast<QMdiSubWindow*>(form_->parentWidget());
        } else if (event->type() == QEvent::Show && !pending_.empty()) {
            // The MDI area has placed a new subwindow by now; the stored place wins.
            const std::string text = std::move(pending_);
            pending_.clear();
            if (subWindow_ != nullptr)
                Apply(subWindow_, text);
        }
    }
    return QObject::eventFilter(watched, event);
}

QWidget* TSavePos::Frame() const {
    return subWindow_ != nullptr ? subWindow_.data() : form_.data();
}

std::string TSavePos::GetAsString() const {
    const QWidget* frame = Frame();
    if (frame == nullptr)
        return {};
    return std::to_string(frame->x()) + "," + std::to_string(frame->y()) + "," +
           std::to_string(frame->width()) + "," + std::to_string(frame->height());
}

void TSavePos::SetAsString(const std::string& text) {
    QWidget* frame = Frame();
    if (frame == nullptr)
        return;
    if (!form_->isVisible())
        pending_ = text;
    Apply(frame, text);
}

void TSavePos::Apply(QWidget* form, const std::string& text) {
    std::string rest = text;
    const auto left = NextIntItem(rest);
    const auto top = NextIntItem(rest);
    const auto width = NextIntItem(rest);
    const auto height = NextIntItem(rest);
    if (!NoPos) {
        if (left)
            form->move(*left, form->y());
        if (top)
            form->move(form->x(), *top);
    }
    if (!NoSize) {
        if (width)
            form->resize(*width, form->height());
        if (height)
            form->resize(form->width(), *height);
    }
    QRect area;
    if (form != form_ && form->parentWidget() != nullptr) {
        area = form->parentWidget()->rect();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->geometry();
    } else {
        return;
    }
    if (form->x() >= area.width())
        form->move(0, form->y());
    if (form->y() >= area.height())
        form->move(form->x(), 0);
    if (form->x() + form->width() <= 0)
        form->move(0, form->y());
    if (form->y() + form->height() <= 0)
        form->move(form->x(), 0);
}

}  // namespace orn
