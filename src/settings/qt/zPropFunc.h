#pragma once

#include <string>

class QObject;

namespace orn {

// Reading and writing a component's text property by name: a Q_PROPERTY whose name equals
// `name` exactly, of a text type (QString or QByteArray; texts are UTF-8 here).

// Default when obj is null or has no such property; an empty text for a property of another
// type.
std::string GetPropString(const QObject* obj, const std::string& name,
                          const std::string& defaultValue);
// False when obj is null or has no such property; otherwise true, after assigning the value
// when the property is a writable text property.
bool SetPropString(QObject* obj, const std::string& name, const std::string& value);

// Max(low, value), then limited to at most high.
int ClampInt(int value, int low, int high);

// The class name of obj without namespace qualifiers.
std::string ClassNameOf(const QObject* obj);

}  // namespace orn
