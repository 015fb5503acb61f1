#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/IniName.h"
#include "settings/zIniStore.h"
#include "text/zMacroString.h"

namespace orn {

class TDialogs;

// "§": the text a store gives for a value it does not hold. A stored "§" counts as absent.
inline constexpr const char* kNotStored = "\xC2\xA7";
// The same character as a file written in the ANSI code page holds it.
inline constexpr const char* kNotStoredAnsi = "\xA7";
bool IsNotStored(const std::string& value);

// One built read order: element texts in order, each with its store or none (an empty place
// that reading and writing skip). It only refers to the stores.
class TOneReadOrder {
  public:
    void AddIni(const std::string& element, TzCustomIniFile* store);
    bool Contains(const std::string& element) const;
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Element(int i) const { return items_.at(i).first; }
    TzCustomIniFile* Store(int i) const { return items_.at(i).second; }

  private:
    std::vector<std::pair<std::string, TzCustomIniFile*>> items_;
};

// The open stores by element name (letter case ignored for registry keys, kept for file names,
// which differ by case on Linux); owns every store.
class TIniList {
  public:
    // Takes the store (which may be none). A name already holding a store keeps it; the new
    // store is still owned here and released with the others.
    void AddIni(const std::string& name, std::unique_ptr<TzCustomIniFile> store);
    // The store entered under name; found tells whether the name is there at all.
    TzCustomIniFile* Find(const std::string& name, bool* found = nullptr) const;
    int Count() const { return static_cast<int>(byName_.size()); }
    // Flushes and releases every store.
    void Clear();

  private:
    // By StoreListKey: registry elements without regard to letter case, files with it.
    std::map<std::string, TzCustomIniFile*> byName_;
    std::vector<std::unique_ptr<TzCustomIniFile>> owned_;
};

// The settings service: turns a read-order name into an ordered list of stores (registry keys
// and ini files) built from the letter codes and %NAME% variables in Vars, reads from the first
// store that holds a value and writes to the first that accepts it, or to all with WriteAll.
class TIniReadOrder {
  public:
    TIniReadOrder();
    virtual ~TIniReadOrder();
    TIniReadOrder(const TIniReadOrder&) = delete;
    TIniReadOrder& operator=(const TIniReadOrder&) = delete;

    bool WriteAll() const { return writeAll_; }
    virtual void SetWriteAll(bool value) { writeAll_ = value; }
    bool CreateLocalIni() const { return createLocalIni_; }
    // A different value empties the caches.
    void SetCreateLocalIni(bool value);
    bool StopShowingErrors() const { return stopShowingErrors_; }
    void SetStopShowingErrors(bool value) { stopShowingErrors_ = value; }
    const std::string& LastErrorMessage() const { return lastErrorMessage_; }
    // Raised after each failed store write, with this service as sender.
    std::function<void(TIniReadOrder& sender)> OnWriteError;

    // Letter codes and variables; changing one empties the caches.
    TzMacroVarList& Vars() { return vars_; }

    // Where the write-error box is shown. Without one the message goes to standard error.
    void SetDialogs(TDialogs* dialogs) { dialogs_ = dialogs; }
    TDialogs* Dialogs() const { return dialogs_; }

    // Reads WriteAll, CreateLocalIni and the variables from the settings file
    // (resolved by IniFileName), then empties the caches. A missing file changes nothing.
    virtual void LoadSettings(const std::string& fileName);
    // %LOCALDIR%: the given directory, or the current one when empty.
    virtual void SetLocalDir(const std::string& dir = {});

    // Nothing for "-"; a blank name is "U". Built once per exact text, until the caches empty.
    virtual TOneReadOrder* GetReadOrder(const std::string& name);
    virtual std::string ReadString(const std::string& readOrder, const std::string& section,
                                   const std::string& key, const std::string& defaultValue);
    // Never fails towards the caller: store errors go to the box, LastErrorMessage and
    // OnWriteError, and the next element is tried.
    virtual void WriteString(const std::string& readOrder, const std::string& section,
                             const std::string& key, const std::string& value);

    virtual void ClearReadOrders();
    virtual void ClearAll();
    virtual void VarsChanged();

    int ReadOrderCount() const { return static_cast<int>(readOrders_.size()); }
    const TIniList& IniList() const { return iniList_; }
    // Set when a read order could not be expanded (variables that name themselves); that read
    // order then holds no stores.
    const std::string& LastReadOrderError() const { return lastReadOrderError_; }

  protected:
    virtual void BuildReadOrder(TOneReadOrder& list, const std::string& text);
    virtual void AddElement(TOneReadOrder& list, const std::string& element);
    std::unique_ptr<TzCustomIniFile> OpenRegistryIni(const std::string& path,
                                                     const std::string& flag);
    std::unique_ptr<TzCustomIniFile> OpenLocalIni(const std::string& fileName,
                                                  const std::string& flag);
    void ReportWriteError(const std::string& message);

  private:
    bool writeAll_ = false;
    std::map<std::string, std::unique_ptr<TOneReadOrder>> readOrders_;
    TIniList iniList_;
    TzMacroVarList vars_;
    bool createLocalIni_ = false;
    bool stopShowingErrors_ = false;
    std::string lastErrorMessage_;
    std::string lastReadOrderError_;
    TDialogs* dialogs_ = nullptr;
    // A box or an event handler may change the variables while a read or write walks a read
    // order; emptying the caches then waits until the walk is over.
    int busy_ = 0;
    bool clearPending_ = false;
    friend class TBusyWalk;
};

// Keeps persistence away from stored settings (a form-design host); false in the program.
extern bool InDesignerHost;

// The process-wide service. Created on first use when the program did not create it:
// Create, then LoadSettings("zini.ini").
TIniReadOrder& GlobalIniReadOrder();
bool GlobalIniReadOrderExists();
// Creates (or re-creates) the process-wide service now; the program calls this at start.
TIniReadOrder& CreateGlobalIniReadOrder();
void ReleaseGlobalIniReadOrder();
// Puts a service of the caller's making (a subclass, say) in place of the process-wide one.
void SetGlobalIniReadOrder(std::unique_ptr<TIniReadOrder> service);

std::string ReadIniString(const std::string& readOrder, const std::string& section,
                          const std::string& key, const std::string& defaultValue);
void WriteIniString(const std::string& readOrder, const std::string& section,
                    const std::string& key, const std::string& value);

}  // namespace orn
