#include "settings/qt/zIniSave.h"

#include <QCoreApplication>
#include <QObject>

#include "settings/IniReadOrder.h"
#include "settings/qt/zPropFunc.h"
#include "settings/qt/zform.h"

namespace orn {

namespace {

std::string NameOf(const QObject* obj) {
    return obj->objectName().toStdString();
}

// An owner whose name adds nothing to a key: it has none, or it is one of Qt's helpers.
bool NamesNothing(const QObject* obj) {
    const std::string name = NameOf(obj);
    return name.empty() || name.rfind("qt_", 0) == 0;
}

bool IsApplication(const QObject* obj) {
    return obj == QCoreApplication::instance();
}

// The component that owns obj: the nearest parent that is a form or an owning component;
// without one, the root of obj's tree (none for a root itself).
const QObject* OwnerOf(const QObject* obj) {
    const QObject* o = obj->parent();
    if (o == nullptr)
        return nullptr;
    while (!IsOwner(o) && o->parent() != nullptr && !IsApplication(o->parent()))
        o = o->parent();
    return o;
}

}  // namespace

std::string FormName(const QObject* component) {
    if (component == nullptr || component->parent() == nullptr)
        return {};
    const QObject* owner = component->parent();
    if (IsForm(owner))
        return NameOf(owner);
    return FormName(owner);
}

std::string OwnerPath(const QObject* component) {
    if (component == nullptr || IsApplication(component))
        return {};
    const QObject* owner = OwnerOf(component);
    if (owner == nullptr || IsForm(owner))
        return {};
    std::string path = OwnerPath(owner);
    if (!NamesNothing(owner))
        path += NameOf(owner) + ".";
    return path;
}

TIniSave::TIniSave(QObject* owner) : owner_(owner) {}

std::string TIniSave::DefaultGenName() const {
    // Taken once the owner is whole (its first load or key) and kept: in a destructor Qt
    // already reports the base class, whose name would give another key.
    if (!defaultGenName_) {
        const std::string cls = ClassNameOf(owner_);
        defaultGenName_ = cls.empty() ? std::string() : cls.substr(1, 20);
    }
    return *defaultGenName_;
}

void TIniSave::FixGenName() {
    DefaultGenName();
}

std::string TIniSave::GenName() const {
    return genName_ ? *genName_ : DefaultGenName();
}

std::string TIniSave::GetIniName() const {
    if (owner_ == nullptr || IniName == "-" || IniSection == "-")
        return "-";
    return IniName;
}

std::string TIniSave::GetSection() const {
    if (!IniSection.empty())
        return IniSection;
    if (owner_ != nullptr && owner_->parent() != nullptr)
        return FormName(owner_) + "-Params";
    return {};
}

std::string TIniSave::GetKey() const {
    if (!SaveName.empty())
        return SaveName;
    if (owner_ == nullptr)
        return {};
    const std::string name = NameOf(owner_);
    const std::string gen = GenName();
    if (gen.empty())
        return name;
    std::string key = name;
    const auto pos = key.find(gen);
    if (pos != std::string::npos)
        key.erase(0, pos + gen.size());
    // A remainder that does not start with a letter or "_" ("1", ".x") is no name.
    if (key.empty() || static_cast<unsigned char>(key[0]) < 64)
        key = name;
    return OwnerPath(owner_) + key;
}

void TIniSave::Load() {
    if (owner_ == nullptr)
        return;
    const std::string value = ReadIniString(GetIniName(), GetSection(), GetKey(), kNotStored);
    if (!IsNotStored(value))
        SetAsString(value);
}

void TIniSave::LoadOnce() {
    FixGenName();
    if (loadDone_)
        return;
    loading_ = true;
    try {
        Load();
        loadDone_ = true;
        Remember();
    } catch (...) {
        loading_ = false;
        throw;
    }
    loading_ = false;
}

void TIniSave::Save() {
    // A form that never finished loading holds defaults, not the user's settings.
    if (owner_ == nullptr || loading_ || IsInLoadingForm(owner_))
        return;
    WriteIniString(GetIniName(), GetSection(), GetKey(), GetAsString());
    Remember();
}

void TIniSave::SaveIfIdle() {
    if (owner_ != nullptr && !IsInLoadingForm(owner_))
        Save();
}

void TIniSave::SaveIfChanged() {
    if (AutoSave && GetAsString() != lastValue_)
        SaveIfIdle();
}

void TIniSave::SaveOnce() {
    if (saveDone_)
        return;
    SaveIfChanged();
    saveDone_ = true;
}

void TIniSave::Restore() {
    SetAsString(lastValue_);
}

void TIniSave::Remember() {
    lastValue_ = GetAsString();
}

std::string TIniSave::GetAsString() const {
    return GetPropString(owner_, PropName, "");
}

void TIniSave::SetAsString(const std::string& value) {
    SetPropString(owner_, PropName, value);
}

}  // namespace orn
