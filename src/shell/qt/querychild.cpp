#include "shell/qt/querychild.h"

namespace orn {

TQueryChild::TQueryChild(QWidget* window) : QObject(window) {
    setObjectName("QueryChild");
}

QWidget* TQueryChild::Window() const {
    return static_cast<QWidget*>(parent());
}

TQueryChild* TQueryChild::Of(QWidget* window) {
    return window == nullptr
               ? nullptr
               : window->findChild<TQueryChild*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace orn
