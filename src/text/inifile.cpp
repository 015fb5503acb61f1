#include "text/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "text/safefile.h"
#include "text/zstring.h"

namespace orn {

namespace {

enum class LineKind { Other, Section, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;  // section name or key
    std::string value;
};

std::string StripQuotes(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

ParsedLine ParseLine(std::string_view raw) {
    ParsedLine parsed;
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') {
        return parsed;
    }
    if (line[0] == '[') {
        std::size_t close = line.find(']');
        parsed.kind = LineKind::Section;
        parsed.name = Trim(std::string_view(line).substr(
            1, close == std::string::npos ? std::string::npos : close - 1));
        return parsed;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
        return parsed;
    }
    parsed.kind = LineKind::Entry;
    parsed.name = Trim(std::string_view(line).substr(0, eq));
    parsed.value = StripQuotes(Trim(std::string_view(line).substr(eq + 1)));
    return parsed;
}

// Range [begin, end) of the lines after the header of the first section called `section`.
struct SectionRange {
    bool found = false;
    std::size_t header = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
};

SectionRange FindSection(const std::vector<std::string>& lines, std::string_view section) {
    SectionRange range;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ParsedLine p = ParseLine(lines[i]);
        if (p.kind != LineKind::Section) {
            continue;
        }
        if (range.found) {
            range.end = i;
            return range;
        }
        if (SameText(p.name, section)) {
            range.found = true;
            range.header = i;
            range.begin = i + 1;
        }
    }
    range.end = lines.size();
    return range;
}

std::string OneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

std::string EntryLine(std::string_view key, std::string_view value) {
    return OneLine(Trim(key)) + "=" + OneLine(value);
}

std::string CutValue(const std::string& value, bool& cut) {
    cut = value.size() > kProfileValueLimit;
    return cut ? value.substr(0, kProfileValueLimit) : value;
}

}  // namespace

TProfileWriteError::TProfileWriteError(const std::string& fileName)
    : std::runtime_error("Unable to write to " + fileName) {}

TProfileFile TProfileFile::Load(const std::string& fileName) {
    // Devices, pipes and directories read as empty: /dev/zero or a FIFO must not hang a load.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec)) {
        return {};
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

TProfileFile TProfileFile::Parse(std::string_view text) {
    TProfileFile profile;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        profile.bom_ = true;
        text.remove_prefix(3);
    }
    std::size_t firstBreak = text.find('\n');
    if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r') {
        profile.newline_ = "\r\n";
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t stop = (end == std::string_view::npos) ? text.size() : end;
        std::string_view line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        profile.lines_.emplace_back(line);
        start = stop + 1;
    }
    return profile;
}

std::vector<std::string> TProfileFile::SectionNames() const {
    std::vector<std::string> names;
    for (const std::string& line : lines_) {
        ParsedLine p = ParseLine(line);
        if (p.kind != LineKind::Section) {
            continue;
        }
        bool seen = false;
        for (const std::string& n : names) {
            seen = seen || SameText(n, p.name);
        }
        if (!seen) {
            names.push_back(p.name);
        }
    }
    return names;
}

bool TProfileFile::HasSection(std::string_view section) const {
    return FindSection(lines_, section).found;
}

std::optional<std::string> TProfileFile::Find(std::string_view section,
                                              std::string_view key) const {
    SectionRange range = FindSection(lines_, section);
    if (!range.found) {
        return std::nullopt;
    }
    for (std::size_t i = range.begin; i < range.end; ++i) {
        ParsedLine p = ParseLine(lines_[i]);
        if (p.kind == LineKind::Entry && SameText(p.name, key)) {
            return p.value;
        }
    }
    return std::nullopt;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view fallback) const {
    std::optional<std::string> value = Find(section, key);
    if (!value) {
        return std::string(fallback);
    }
    bool cut = false;
    return CutValue(*value, cut);
}

std::vector<ProfileEntry> TProfileFile::ReadSection(std::string_view section) const {
    std::vector<ProfileEntry> entries;
    SectionRange range = FindSection(lines_, section);
    if (!range.found) {
        return entries;
    }
    std::unordered_map<std::string, std::size_t> first;  // lower-case key -> entry index
    for (std::size_t i = range.begin; i < range.end; ++i) {
        ParsedLine p = ParseLine(lines_[i]);
        if (p.kind != LineKind::Entry) {
            continue;
        }
        ProfileEntry entry;
        entry.key = p.name;
        auto [it, inserted] = first.emplace(LowerCase(p.name), entries.size());
        if (inserted) {
            entry.value = CutValue(p.value, entry.cut);
        } else {
            entry.value = entries[it->second].value;
            entry.cut = entries[it->second].cut;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> TProfileFile::LinesWithoutKey(std::string_view section) const {
    std::vector<std::string> stray;
    SectionRange range = FindSection(lines_, section);
    for (std::size_t i = range.begin; range.found && i < range.end; ++i) {
        std::string line = Trim(lines_[i]);
        if (!line.empty() && line[0] != ';' && ParseLine(line).kind == LineKind::Other) {
            stray.push_back(std::move(line));
        }
    }
    return stray;
}

void TProfileFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
    std::string entry = EntryLine(key, value);
    SectionRange range = FindSection(lines_, section);
    if (!range.found) {
        lines_.push_back("[" + OneLine(section) + "]");
        lines_.push_back(entry);
        return;
    }
    std::size_t insertAt = range.begin;
    for (std::size_t i = range.begin; i < range.end; ++i) {
        ParsedLine p = ParseLine(lines_[i]);
        if (p.kind == LineKind::Entry && SameText(p.name, key)) {
            lines_[i] = entry;
            return;
        }
        if (!Trim(lines_[i]).empty()) {
            insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
}

void TProfileFile::DeleteKey(std::string_view section, std::string_view key) {
    SectionRange range = FindSection(lines_, section);
    if (!range.found) {
        return;
    }
    for (std::size_t i = range.end; i-- > range.begin;) {
        ParsedLine p = ParseLine(lines_[i]);
        if (p.kind == LineKind::Entry && SameText(p.name, key)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TProfileFile::EraseSection(std::string_view section) {
    for (SectionRange range = FindSection(lines_, section); range.found;
         range = FindSection(lines_, section)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range.header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(range.end));
    }
}

void TProfileFile::ReplaceSection(std::string_view section,
                                  const std::vector<std::pair<std::string, std::string>>& entries) {
    EraseSection(section);
    lines_.push_back("[" + OneLine(section) + "]");
    for (const auto& [key, value] : entries) {
        lines_.push_back(EntryLine(key, value));
    }
}

std::string TProfileFile::Text() const {
    std::string text = bom_ ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : lines_) {
        text += line;
        text += newline_;
    }
    return text;
}

void TProfileFile::Save(const std::string& fileName) const {
    WriteFileAtomically(fileName, Text());
}

std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view fallback) {
    return TProfileFile::Load(fileName).ReadString(section, key, fallback);
}

std::vector<ProfileEntry> ReadProfileSection(const std::string& fileName,
                                             std::string_view section) {
    return TProfileFile::Load(fileName).ReadSection(section);
}

void WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value) {
    TProfileFile profile = TProfileFile::Load(fileName);
    profile.WriteString(section, key, value);
    profile.Save(fileName);
}

void WriteFileAtomically(const std::string& fileName, std::string_view text) {
    namespace fs = std::filesystem;
    // Only regular files are replaced; a device or a directory is never swapped for a file. An
    // existing file without any write permission bit (read-only even for root) is refused, and
    // so is someone else's link in a shared directory (TFileReplacer).
    std::error_code ec;
    const fs::file_status status = fs::status(fileName, ec);
    const bool exists = !ec && fs::exists(status);
    if (fileName.empty() || (exists && !fs::is_regular_file(status)) ||
        (exists && (status.permissions() & (fs::perms::owner_write | fs::perms::group_write |
                                            fs::perms::others_write)) == fs::perms::none)) {
        throw TProfileWriteError(fileName);
    }
    TFileReplacer out(fileName);
    if (!out.IsOpen() || !out.Write(text) || !out.Finish()) {
        throw TProfileWriteError(fileName);
    }
}

}  // namespace orn
