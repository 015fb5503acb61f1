#include "dbengine/vtab/table_files.h"

#include <system_error>

namespace orn::db {
namespace fs = std::filesystem;
namespace {

// The entry of `dir` named `leaf` in any letter case; exact spelling wins.
std::optional<fs::path> entryIgnoringCase(const fs::path& dir, const std::string& leaf) {
    std::error_code ec;
    if (fs::is_regular_file(dir / leaf, ec)) {
        return dir / leaf;
    }
    const std::string wanted = lowerAscii(leaf);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (lowerAscii(it->path().filename().string()) == wanted && it->is_regular_file(ec)) {
            return it->path();
        }
    }
    return std::nullopt;
}

// The directory part of a name resolved case-insensitively, component by component.
std::optional<fs::path> directoryIgnoringCase(const fs::path& base, const fs::path& rel) {
    fs::path current = base;
    for (const auto& part : rel) {
        const std::string leaf = part.string();
        if (leaf.empty() || leaf == ".") {
            continue;
        }
        if (leaf == "/") {
            current = "/";
            continue;
        }
        std::error_code ec;
        if (leaf == ".." || fs::is_directory(current / leaf, ec)) {
            current /= leaf;
            continue;
        }
        const std::string wanted = lowerAscii(leaf);
        bool found = false;
        for (fs::directory_iterator it(current, ec), end; !ec && it != end; it.increment(ec)) {
            if (lowerAscii(it->path().filename().string()) == wanted && it->is_directory(ec)) {
                current = it->path();
                found = true;
                break;
            }
        }
        if (!found) {
            return std::nullopt;
        }
    }
    return current;
}

struct SplitName {
    fs::path dir;
    std::string leaf;
};

SplitName split(const fs::path& directory, const std::string& name) {
    std::string n = name;
    for (char& c : n) {
        if (c == '\\') {
            c = '/';
        }
    }
    const fs::path p(n);
    const fs::path base = p.is_absolute() ? fs::path("/") : effectiveDirectory(directory);
    const fs::path rel = p.is_absolute() ? p.relative_path().parent_path() : p.parent_path();
    const auto dir = directoryIgnoringCase(base, rel);
    return {dir ? *dir : base / rel, p.filename().string()};
}

}  // namespace

std::string lowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return s;
}

fs::path effectiveDirectory(const fs::path& directory) {
    if (!directory.empty()) {
        return directory;
    }
    std::error_code ec;
    auto cwd = fs::current_path(ec);
    return ec ? fs::path(".") : cwd;
}

std::optional<fs::path> findTableFile(const fs::path& directory, const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const auto [dir, leaf] = split(directory, name);
    if (leaf.empty()) {
        return std::nullopt;
    }
    const std::string ext = lowerAscii(fs::path(leaf).extension().string());
    if (ext == ".db" || ext == ".dbf") {
        return entryIgnoringCase(dir, leaf);
    }
    if (!ext.empty()) {
        if (auto f = entryIgnoringCase(dir, leaf)) {
            return f;
        }
    }
    if (auto f = entryIgnoringCase(dir, leaf + ".db")) {
        return f;
    }
    return entryIgnoringCase(dir, leaf + ".dbf");
}

fs::path requireTableFile(const fs::path& directory, const std::string& name) {
    if (auto f = findTableFile(directory, name)) {
        return *f;
    }
    throw EngineError("Table '" + name + "' not found in directory " +
                      effectiveDirectory(directory).string());
}

fs::path newTableFile(const fs::path& directory, const std::string& name, TableFormat& format) {
    auto [dir, leaf] = split(directory, name);
    const std::string ext = lowerAscii(fs::path(leaf).extension().string());
    format = ext == ".dbf" ? TableFormat::DBase : TableFormat::Paradox;
    if (ext != ".db" && ext != ".dbf") {
        leaf += ".db";
    }
    if (auto existing = entryIgnoringCase(dir, leaf)) {
        return *existing;
    }
    return dir / leaf;
}

}  // namespace orn::db
