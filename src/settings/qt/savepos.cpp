#include "settings/qt/savepos.h"

#include <QGuiApplication>
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
    if (Enabled && form_ != nullptr)
        ini_.Save();
}

void TSavePos::Loaded() {
    form_ = nullptr;
    QObject* owner = parent();
    if (owner != nullptr && IsForm(owner) && owner->isWidgetType()) {
        form_ = static_cast<QWidget*>(owner);
        if (ini_.SaveName.empty())
            ini_.SaveName = form_->objectName().toStdString();
        ini_.LoadOnce();
    }
}

std::string TSavePos::GetAsString() const {
    if (form_ == nullptr)
        return {};
    return std::to_string(form_->x()) + "," + std::to_string(form_->y()) + "," +
           std::to_string(form_->width()) + "," + std::to_string(form_->height());
}

void TSavePos::SetAsString(const std::string& text) {
    if (form_ == nullptr)
        return;
    std::string rest = text;
    const auto left = NextIntItem(rest);
    const auto top = NextIntItem(rest);
    const auto width = NextIntItem(rest);
    const auto height = NextIntItem(rest);
    if (!NoPos) {
        if (left)
            form_->move(*left, form_->y());
        if (top)
            form_->move(form_->x(), *top);
    }
    if (!NoSize) {
        if (width)
            form_->resize(*width, form_->height());
        if (height)
            form_->resize(form_->width(), *height);
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    if (form_->x() >= area.width())
        form_->move(0, form_->y());
    if (form_->y() >= area.height())
        form_->move(form_->x(), 0);
    if (form_->x() + form_->width() <= 0)
        form_->move(0, form_->y());
    if (form_->y() + form_->height() <= 0)
        form_->move(form_->x(), 0);
}

}  // namespace orn
