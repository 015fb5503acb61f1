#include "settings/IniReadOrder.h"

#include <cstdio>
#include <filesystem>

#include "settings/zLocalIniFile.h"
#include "settings/zRegistryIniFile.h"
#include "text/dialogs.h"
#include "text/inifile.h"
#include "text/zstring.h"

namespace orn {

bool InDesignerHost = false;

namespace {

std::unique_ptr<TIniReadOrder>& GlobalStorage() {
    static std::unique_ptr<TIniReadOrder> global;
    return global;
}

std::string ProgramNameWithoutExtension() {
    std::string name = ProgramFileName();
    const auto slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name;
}

// "/" becomes "\" and every run of "\" one "\", so spellings of a path name one store.
std::string CleanElement(const std::string& piece) {
    std::string out;
    out.reserve(piece.size());
    for (char c : piece) {
        if (c == '/')
            c = '\\';
        if (c == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += c;
    }
    return out;
}

// Only a registry root name ("HKEY_CURRENT_USER", "HKCU", "User", ...) starts a key, with or
// without a "\" in front; "\HKdata\x.ini" is a file.
bool IsRegistryName(const std::string& name) {
    std::string_view path = name;
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    return RegRootFromName(std::string(path.substr(0, path.find('\\')))).has_value();
}

// Registry keys are found without regard to letter case; file names on Linux are not.
std::string StoreListKey(const std::string& name) {
    return IsRegistryName(name) ? "key:" + LowerCase(name) : "file:" + name;
}

}  // namespace

class TBusyWalk {
  public:
    explicit TBusyWalk(TIniReadOrder& owner) : owner_(owner) { ++owner_.busy_; }
    ~TBusyWalk() {
        if (--owner_.busy_ == 0 && owner_.clearPending_) {
            owner_.clearPending_ = false;
            owner_.ClearAll();
        }
    }
    TBusyWalk(const TBusyWalk&) = delete;
    TBusyWalk& operator=(const TBusyWalk&) = delete;

  private:
    TIniReadOrder& owner_;
};

bool IsNotStored(const std::string& value) {
    return value == kNotStored || value == kNotStoredAnsi;
}

void TOneReadOrder::AddIni(const std::string& element, TzCustomIniFile* store) {
    items_.emplace_back(element, store);
}

bool TOneReadOrder::Contains(const std::string& element) const {
    for (const auto& item : items_) {
        if (item.first == element)
            return true;
    }
    return false;
}

void TIniList::AddIni(const std::string& name, std::unique_ptr<TzCustomIniFile> store) {
    TzCustomIniFile* raw = store.get();
    if (store)
        owned_.push_back(std::move(store));
    const std::string listKey = StoreListKey(name);
    auto it = byName_.find(listKey);
    if (it == byName_.end()) {
        byName_.emplace(listKey, raw);
    } else if (it->second == nullptr) {
        it->second = raw;
    }
}

TzCustomIniFile* TIniList::Find(const std::string& name, bool* found) const {
    const auto it = byName_.find(StoreListKey(name));
    if (found != nullptr)
        *found = it != byName_.end();
    return it == byName_.end() ? nullptr : it->second;
}

void TIniList::Clear() {
    for (auto& store : owned_) {
        try {
            store->UpdateFile();
        } catch (const std::exception&) {
            // A flush failure at release has nobody left to tell; the writes reported theirs.
        }
    }
    byName_.clear();
    owned_.clear();
}

TIniReadOrder::TIniReadOrder() {
    vars_.Separators = ";";
    vars_.MinScanLength = 6;
    vars_.MinNameLength = 1;
    const std::string company = GlobalIniReadOrderExists()
                                    ? GlobalIniReadOrder().Vars().GetValue("%COMPANY%")
                                    : std::string("Tarm");
    const std::pair<const char*, std::string> initial[] = {
        {"U", "uimI"},
        {"P", "pimI"},
        {"L", "imI"},
        {"M", "mI"},
        {"G", "I"},
        {"u", "%HKCU%;"},
        {"p", "%HKCU%\\%SUBKEY%;"},
        {"i", "%LOCALDIR%\\%PROGNAME%.ini|n;"},
        {"m", "%HKLM%;"},
        {"I", "%PROGDIR%\\%PROGNAME%.ini;"},
        {"%COMPANY%", company},
        {"%PROGNAME%", ProgramNameWithoutExtension()},
        {"%SUBKEY%", ""},
        {"%HKCU%", "HKEY_CURRENT_USER\\software\\%COMPANY%\\%PROGNAME%"},
        {"%HKLM%", "HKEY_LOCAL_MACHINE\\software\\%COMPANY%\\%PROGNAME%"},
        {"%PROGDIR%", ProgramDir()},
    };
    for (const auto& [name, value] : initial) {
        vars_.SetValue(name, value);
    }
    TIniReadOrder::SetLocalDir();
    vars_.OnChange = [this](TzMacroVarList&, int) { VarsChanged(); };
    TIniReadOrder::ClearAll();
}

TIniReadOrder::~TIniReadOrder() {
    vars_.OnChange = nullptr;
    readOrders_.clear();
    iniList_.Clear();
}

void TIniReadOrder::SetCreateLocalIni(bool value) {
    if (value == createLocalIni_)
        return;
    createLocalIni_ = value;
    ClearAll();
}

void TIniReadOrder::SetLocalDir(const std::string& dir) {
    std::string local = dir;
    if (local.empty()) {
        std::error_code ec;
        local = std::filesystem::current_path(ec).string();
    }
    while (local.size() > 1 && local.back() == '/')
        local.pop_back();
    if (local == "/")
        local.clear();  // "%LOCALDIR%\name" must not start with two separators
    vars_.SetValue("%LOCALDIR%", local);
}

void TIniReadOrder::LoadSettings(const std::string& fileName) {
    const std::string resolved = IniFileName(fileName, ".ini");
    if (!resolved.empty()) {
        const TProfileFile file = TProfileFile::Load(resolved);
        long long n = 0;
        if (ParseIniInteger(file.ReadString("IniReadOrder", "WriteAll"), n))
            SetWriteAll(n != 0);
        if (ParseIniInteger(file.ReadString("IniReadOrder", "CreateLocalIni"), n)) {
            SetCreateLocalIni(n != 0);
        }
        vars_.LoadFromIni(resolved, "IniReadOrderVars");
    }
    ClearAll();
}

TOneReadOrder* TIniReadOrder::GetReadOrder(const std::string& name) {
    if (name == "-")
        return nullptr;
    std::string text = Trim(name);
    if (text.empty())
        text = "U";
    auto it = readOrders_.find(text);
    if (it != readOrders_.end())
        return it->second.get();
    auto list = std::make_unique<TOneReadOrder>();
    TOneReadOrder* raw = list.get();
    readOrders_.emplace(text, std::move(list));
    BuildReadOrder(*raw, text);
    return raw;
}

void TIniReadOrder::BuildReadOrder(TOneReadOrder& list, const std::string& text) {
    std::string expanded;
    if (!vars_.Expand(text, expanded)) {
        lastReadOrderError_ =
            "Read order '" + text + "' could not be expanded: its variables name themselves";
        std::fprintf(stderr, "%s\n", lastReadOrderError_.c_str());
        return;
    }
    std::size_t start = 0;
    while (start <= expanded.size()) {
        auto end = expanded.find(';', start);
        if (end == std::string::npos)
            end = expanded.size();
        const std::string piece = CleanElement(Trim(expanded.substr(start, end - start)));
        if (!piece.empty())
            AddElement(list, piece);
        start = end + 1;
    }
}

void TIniReadOrder::AddElement(TOneReadOrder& list, const std::string& element) {
    if (list.Contains(element))
        return;
    const auto bar = element.find('|');
    if (bar == std::string::npos) {
        if (TzCustomIniFile* shared = iniList_.Find(element)) {
            list.AddIni(element, shared);
            return;
        }
    }
    const std::string name = element.substr(0, bar);
    const std::string flag = bar == std::string::npos ? std::string() : element.substr(bar + 1);
    std::unique_ptr<TzCustomIniFile> store =
        IsRegistryName(name) ? OpenRegistryIni(name, flag)
                             : OpenLocalIni(NativePath(IniFileName(name, ".ini")), flag);
    list.AddIni(element, store.get());
    iniList_.AddIni(name, std::move(store));
}

std::unique_ptr<TzCustomIniFile> TIniReadOrder::OpenRegistryIni(const std::string& path,
                                                                const std::string& flag) {
    auto store = std::make_unique<TzRegistryIniFile>(path);
    if (!store->KeyOpened() && flag == "n")
        return nullptr;
    store->SetReadOnly(flag == "r");
    return store;
}

std::unique_ptr<TzCustomIniFile> TIniReadOrder::OpenLocalIni(const std::string& fileName,
                                                             const std::string& flag) {
    if (fileName.empty())
        return nullptr;
    std::error_code ec;
    const bool exists = std::filesystem::exists(fileName, ec);
    if (!exists && flag == "n")
        return nullptr;
    if (!exists)
        ForceFileDir(fileName);
    const bool readOnly = flag == "r" || (exists && !FileWritable(fileName));
    return std::make_unique<TzLocalIniFile>(fileName, readOnly);
}

std::string TIniReadOrder::ReadString(const std::string& readOrder, const std::string& section,
                                      const std::string& key, const std::string& defaultValue) {
    if (InDesignerHost)
        return {};
    if (section.empty() || key.empty())
        return defaultValue;
    TOneReadOrder* list = GetReadOrder(readOrder);
    if (list == nullptr)
        return defaultValue;
    TBusyWalk walk(*this);
    for (int i = 0; i < list->Count(); ++i) {
        TzCustomIniFile* store = list->Store(i);
        if (store == nullptr)
            continue;
        std::string value = store->ReadString(section, key, kNotStored);
        if (!IsNotStored(value))
            return value;
    }
    return defaultValue;
}

void TIniReadOrder::WriteString(const std::string& readOrder, const std::string& section,
                                const std::string& key, const std::string& value) {
    if (InDesignerHost || readOrder == "-" || section.empty() || key.empty())
        return;
    TOneReadOrder* list = GetReadOrder(readOrder);
    if (list == nullptr)
        return;
    TBusyWalk walk(*this);
    for (int i = 0; i < list->Count(); ++i) {
        TzCustomIniFile* store = list->Store(i);
        if (store == nullptr)
            continue;
        try {
            store->WriteString(section, key, value);
            if (!writeAll_)
                return;
        } catch (const std::exception& e) {
            ReportWriteError(e.what());
        }
    }
}

void TIniReadOrder::ReportWriteError(const std::string& message) {
    if (!stopShowingErrors_) {
        if (dialogs_ != nullptr) {
            DialogRequest request;
            request.kind = DialogKind::Error;
            request.caption = "Error";
            request.text = message + "\r\n" + "Stop showing errors?";
            // Any answer but Cancel stops the boxes, closing the box included.
            request.buttons = {DialogButton::Cancel, DialogButton::YesToAll};
            if (dialogs_->Ask(request) != DialogButton::Cancel)
                stopShowingErrors_ = true;
        } else {
            std::fprintf(stderr, "%s\n", message.c_str());
        }
    }
    lastErrorMessage_ = message;
    if (OnWriteError)
        OnWriteError(*this);
}

void TIniReadOrder::ClearReadOrders() {
    if (busy_ > 0) {
        clearPending_ = true;
        return;
    }
    readOrders_.clear();
}

void TIniReadOrder::ClearAll() {
    if (busy_ > 0) {
        clearPending_ = true;
        return;
    }
    ClearReadOrders();
    iniList_.Clear();
}

void TIniReadOrder::VarsChanged() {
    ClearAll();
}

TIniReadOrder& GlobalIniReadOrder() {
    if (!GlobalStorage())
        CreateGlobalIniReadOrder();
    return *GlobalStorage();
}

bool GlobalIniReadOrderExists() {
    return GlobalStorage() != nullptr;
}

TIniReadOrder& CreateGlobalIniReadOrder() {
    // The new service takes %COMPANY% from the one it replaces.
    auto fresh = std::make_unique<TIniReadOrder>();
    fresh->LoadSettings("zini.ini");
    GlobalStorage() = std::move(fresh);
    return *GlobalStorage();
}

void ReleaseGlobalIniReadOrder() {
    GlobalStorage().reset();
}

std::string ReadIniString(const std::string& readOrder, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
    return GlobalIniReadOrder().ReadString(readOrder, section, key, defaultValue);
}

void WriteIniString(const std::string& readOrder, const std::string& section,
                    const std::string& key, const std::string& value) {
    GlobalIniReadOrder().WriteString(readOrder, section, key, value);
}

void SetGlobalIniReadOrder(std::unique_ptr<TIniReadOrder> service) {
    GlobalStorage() = std::move(service);
}

}  // namespace orn
