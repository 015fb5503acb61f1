#include "settings/qt/zPropFunc.h"

#include <QByteArray>
#include <QMetaProperty>
#include <QObject>
#include <QString>
#include <algorithm>

namespace orn {

namespace {

bool IsTextType(const QMetaProperty& p) {
    const int id = p.metaType().id();
    return id == QMetaType::QString || id == QMetaType::QByteArray;
}

}  // namespace

std::string GetPropString(const QObject* obj, const std::string& name,
                          const std::string& defaultValue) {
    if (obj == nullptr)
        return defaultValue;
    const QMetaObject* meta = obj->metaObject();
    const int index = meta->indexOfProperty(name.c_str());
    if (index < 0)
        return defaultValue;
    const QMetaProperty p = meta->property(index);
    if (!IsTextType(p))
        return {};
    const QVariant value = p.read(obj);
    if (p.metaType().id() == QMetaType::QByteArray)
        return value.toByteArray().toStdString();
    return value.toString().toStdString();
}

bool SetPropString(QObject* obj, const std::string& name, const std::string& value) {
    if (obj == nullptr)
        return false;
    const QMetaObject* meta = obj->metaObject();
    const int index = meta->indexOfProperty(name.c_str());
    if (index < 0)
        return false;
    const QMetaProperty p = meta->property(index);
    if (IsTextType(p) && p.isWritable()) {
        if (p.metaType().id() == QMetaType::QByteArray) {
            p.write(obj, QByteArray::fromStdString(value));
        } else {
            p.write(obj, QString::fromStdString(value));
        }
    }
    return true;
}

int ClampInt(int value, int low, int high) {
    return std::min(std::max(low, value), high);
}

std::string ClassNameOf(const QObject* obj) {
    if (obj == nullptr)
        return {};
    std::string name = obj->metaObject()->className();
    const auto colon = name.rfind("::");
    if (colon != std::string::npos)
        name.erase(0, colon + 2);
    return name;
}

}  // namespace orn
