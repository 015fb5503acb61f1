#include "settings/RegistryFile.h"

#include <cctype>
#include <vector>

namespace orn::reg {

namespace {

char HexDigit(unsigned v) {
    return "0123456789ABCDEF"[v & 15];
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    out += "\\x";
                    out += HexDigit(u >> 4);
                    out += HexDigit(u);
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// Reads a quoted text starting at line[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size())
            return false;
        const char e = line[pos++];
        switch (e) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (pos + 2 > line.size())
                    return false;
                const int hi = HexValue(line[pos]);
                const int lo = HexValue(line[pos + 1]);
                if (hi < 0 || lo < 0)
                    return false;
                out += static_cast<char>(hi * 16 + lo);
                pos += 2;
                break;
            }
            default:
                return false;
        }
    }
    return false;  // no closing quote: the line was cut
}

bool OnlyBlanks(std::string_view s) {
    for (const char c : s) {
        if (c != ' ' && c != '\t')
            return false;
    }
    return true;
}

// A value line: "name"="text", @="text" for the unnamed value, or "name"=other for a value
// that is not a string.
bool ParseValueLine(std::string_view line, TRegEntry& entry) {
    std::size_t pos = 0;
    std::string name;
    if (line.size() >= 2 && line[0] == '@' && line[1] == '=') {
        pos = 1;
    } else if (!ReadQuoted(line, pos, name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    entry.name = std::move(name);
    if (pos < line.size() && line[pos] == '"') {
        std::string value;
        if (!ReadQuoted(line, pos, value) || !OnlyBlanks(line.substr(pos)))
            return false;
        entry.kind = TRegEntry::Kind::String;
        entry.data = std::move(value);
    } else {
        entry.kind = TRegEntry::Kind::Other;
        entry.data = std::string(line.substr(pos));
    }
    return true;
}

void AppendEntry(std::string& out, const TRegEntry& e) {
    if (e.kind == TRegEntry::Kind::Line) {
        out += e.data;
    } else {
        AppendQuoted(out, e.name);
        out += '=';
        if (e.kind == TRegEntry::Kind::String) {
            AppendQuoted(out, e.data);
        } else {
            out += e.data;
        }
    }
    out += '\n';
}

// Depth-first in the order of the subkeys, with one path text that grows and shrinks as the walk
// goes down and up: no recursion, no copy of the path per level.
void FormatKeys(std::string& out, const TRegKey& root) {
    struct Level {
        const TRegKey* key;
        std::size_t next;        // index of the next subkey to visit
        std::size_t pathLength;  // length of `path` before this key's name was added
    };
    std::string path;
    std::vector<Level> stack;
    stack.push_back({&root, 0, 0});
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next >= top.key->Subkeys().size()) {
            path.resize(top.pathLength);
            stack.pop_back();
            continue;
        }
        const TRegKey& key = *top.key->Subkeys()[top.next++];
        const std::size_t before = path.size();
        if (stack.size() > 1) {
            path += '\\';
        }
        path += key.Name();
        if (!key.Entries().empty() || key.Subkeys().empty()) {
            out += "\n[";
            out += path;
            out += "]\n";
            for (const auto& e : key.Entries()) {
                AppendEntry(out, e);
            }
        }
        stack.push_back({&key, 0, before});
    }
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

TRegKey::~TRegKey() {
    ReleaseSubkeys();
}

TRegKey& TRegKey::operator=(TRegKey&& other) noexcept {
    if (this != &other) {
        ReleaseSubkeys();
        name_ = std::move(other.name_);
        entries_ = std::move(other.entries_);
        subkeys_ = std::move(other.subkeys_);
    }
    return *this;
}

void TRegKey::ReleaseSubkeys() noexcept {
    // Each key taken off the list hands its own subkeys to the list first, so it dies with none.
    std::vector<std::unique_ptr<TRegKey>> pending = std::move(subkeys_);
    subkeys_.clear();
    while (!pending.empty()) {
        std::unique_ptr<TRegKey> key = std::move(pending.back());
        pending.pop_back();
        for (auto& sub : key->subkeys_) {
            pending.push_back(std::move(sub));
        }
        key->subkeys_.clear();
    }
}

TRegKey* TRegKey::FindSubkey(std::string_view name) const {
    for (const auto& sub : subkeys_) {
        if (SameName(sub->name_, name))
            return sub.get();
    }
    return nullptr;
}

TRegKey& TRegKey::SubkeyOrAdd(std::string_view name) {
    if (auto* sub = FindSubkey(name))
        return *sub;
    subkeys_.push_back(std::make_unique<TRegKey>(std::string(name)));
    return *subkeys_.back();
}

const TRegEntry* TRegKey::FindValue(std::string_view name) const {
    for (const auto& e : entries_) {
        if (e.kind != TRegEntry::Kind::Line && SameName(e.name, name))
            return &e;
    }
    return nullptr;
}

void TRegKey::SetString(std::string_view name, std::string_view value) {
    for (auto& e : entries_) {
        if (e.kind != TRegEntry::Kind::Line && SameName(e.name, name)) {
            e.kind = TRegEntry::Kind::String;
            e.data = std::string(value);
            return;
        }
    }
    entries_.push_back({TRegEntry::Kind::String, std::string(name), std::string(value)});
}

TRegKey* TRegKey::Find(std::string_view path) {
    TRegKey* key = this;
    for (const auto& part : SplitKeyPath(path)) {
        key = key->FindSubkey(part);
        if (key == nullptr)
            return nullptr;
    }
    return key;
}

TRegKey& TRegKey::FindOrCreate(std::string_view path) {
    TRegKey* key = this;
    for (const auto& part : SplitKeyPath(path)) {
        key = &key->SubkeyOrAdd(part);
    }
    return *key;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool ValidKeyName(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

std::string KeyPathBeyondLimits(std::string_view path) {
    std::size_t depth = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            if (++depth > kMaxKeyDepth)
                return "a key is nested more than " + std::to_string(kMaxKeyDepth) + " levels deep";
        }
        start = end + 1;
    }
    return {};
}

TRegDocument ParseRegistryText(std::string_view text) {
    TRegDocument doc;
    TRegKey* current = &doc.root;
    std::size_t start = 0;
    std::size_t lineNo = 0;
    while (start < text.size()) {
        ++lineNo;
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        std::string_view line = raw;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (OnlyBlanks(line))
            continue;
        if (line.front() == ';' || line.front() == '#') {
            current->AddEntry({TRegEntry::Kind::Line, {}, std::string(raw)});
            continue;
        }
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            const std::string_view path = line.substr(1, line.size() - 2);
            if (std::string why = KeyPathBeyondLimits(path); !why.empty()) {
                doc.root = TRegKey();
                doc.damage = "line " + std::to_string(lineNo) + ": " + why;
                return doc;
            }
            current = &doc.root.FindOrCreate(path);
            continue;
        }
        TRegEntry entry;
        if (ParseValueLine(line, entry)) {
            current->AddEntry(std::move(entry));
        } else {
            current->AddEntry({TRegEntry::Kind::Line, {}, std::string(raw)});
            ++doc.damagedLines;
        }
    }
    return doc;
}

std::string FormatRegistryText(const TRegKey& root, std::string_view rootComment) {
    std::string out;
    if (root.Entries().empty()) {
        out += rootComment;
        out += '\n';
    }
    for (const auto& e : root.Entries()) {
        AppendEntry(out, e);
    }
    FormatKeys(out, root);
    return out;
}

}  // namespace orn::reg
