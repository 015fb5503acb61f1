#pragma once

#include <optional>
#include <string>

class QObject;

namespace orn {

// Persists one text property of its owner (a QObject) under a section and key derived from the
// names of the owner and its parents, through ReadIniString/WriteIniString. The owner decides
// when to load and save; TIniSave decides where the value goes and keeps saves out of loads.
class TIniSave {
  public:
    explicit TIniSave(QObject* owner);
    virtual ~TIniSave() = default;
    TIniSave(const TIniSave&) = delete;
    TIniSave& operator=(const TIniSave&) = delete;

    bool AutoSave = false;
    std::string SaveName;    // key instead of the derived one
    std::string IniName;     // read order; empty is "U", "-" switches persistence off
    std::string IniSection;  // section instead of the derived one; "-" switches persistence off
    std::string PropName = "AsString";

    // Cut from the owner's name to form the key. Initially the owner's class name without its
    // first character, at most 20 characters ("EditIni" for TEditIni).
    std::string GenName() const;
    // Takes the default generic name from the owner's class now. The owner calls it once it is
    // whole (LoadOnce does); a derived class's save at its destruction then keeps its own key.
    void FixGenName();
    void SetGenName(const std::string& value) { genName_ = value; }
    bool IsGenNameStored() const { return genName_.has_value() && *genName_ != DefaultGenName(); }
    bool IsPropNameStored() const { return PropName != "AsString"; }

    QObject* Owner() const { return owner_; }
    bool LoadDone() const { return loadDone_; }
    bool Loading() const { return loading_; }
    bool SaveDone() const { return saveDone_; }
    const std::string& LastValue() const { return lastValue_; }

    virtual std::string GetIniName() const;
    virtual std::string GetKey() const;
    virtual std::string GetSection() const;

    // Applies the stored value when there is one.
    virtual void Load();
    // Load once; saves triggered by applying the value are ignored. A read error reaches the
    // caller and leaves LoadDone false.
    virtual void LoadOnce();
    virtual void Save();
    virtual void SaveIfIdle();
    virtual void SaveIfChanged();
    virtual void SaveOnce();
    virtual void ResetSaveOnce() { saveDone_ = false; }
    virtual void Restore();
    virtual void Remember();

    virtual std::string GetAsString() const;
    virtual void SetAsString(const std::string& value);

  private:
    std::string DefaultGenName() const;

    QObject* owner_;
    std::optional<std::string> genName_;
    mutable std::optional<std::string> defaultGenName_;
    bool loadDone_ = false;
    bool loading_ = false;
    std::string lastValue_;
    bool saveDone_ = false;
};

// The name of the form the component sits on (empty without one).
std::string FormName(const QObject* component);
// "Owner." for every owning component (see MarkAsOwner) between the component and its form.
// The owner of a component is its nearest parent that is a form or marked as owner, or, in a
// tree without either, the tree's root. Containers that only lay out add nothing, and neither
// does an owner without a name or one of Qt's own helper objects ("qt_...").
std::string OwnerPath(const QObject* component);

}  // namespace orn
