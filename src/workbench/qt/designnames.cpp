#include "workbench/qt/designnames.h"

#include <QWidget>

namespace orn {

QString WithoutAccelerator(const QString& caption) {
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
        }
        out += caption[i];
    }
    return out;
}

void SetDesignName(QWidget* widget, const char* name, const QString& caption, const QString& hint) {
    widget->setObjectName(QString::fromUtf8(name));
    if (!hint.isEmpty()) {
        widget->setToolTip(hint);
    }
    if (!caption.isEmpty()) {
        widget->setAccessibleName(WithoutAccelerator(caption));
    } else if (!hint.isEmpty()) {
        widget->setAccessibleName(hint);
    } else {
        widget->setAccessibleName(QString::fromUtf8(name));
    }
}

}  // namespace orn
