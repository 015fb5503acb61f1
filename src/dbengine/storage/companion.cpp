#include "dbengine/storage/companion.h"

#include <system_error>

namespace orn::db {

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::vector<std::filesystem::path> findCompanions(
    const std::filesystem::path& table, const std::function<bool(std::string_view)>& match) {
    std::vector<std::filesystem::path> found;
    std::filesystem::path dir = table.parent_path();
    if (dir.empty())
        dir = ".";
    const std::string stem = asciiLower(table.stem().string());
    const std::string self = table.filename().string();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::filesystem::path name = entry.path().filename();
        if (name.string() == self)
            continue;
        if (asciiLower(name.stem().string()) != stem)
            continue;
        if (!match(asciiLower(name.extension().string())))
            continue;
        found.push_back(table.parent_path() / name);
    }
    return found;
}

std::optional<std::filesystem::path> findCompanion(const std::filesystem::path& table,
                                                   std::string_view ext) {
    std::filesystem::path exact = table;
    exact.replace_extension(std::string(ext));
    std::error_code ec;
    if (std::filesystem::is_regular_file(exact, ec))
        return exact;
    const std::string want = asciiLower(ext);
    auto all = findCompanions(table, [&](std::string_view e) { return e == want; });
    if (all.empty())
        return std::nullopt;
    return all.front();
}

std::filesystem::path companionPath(const std::filesystem::path& table, std::string_view ext) {
    if (auto existing = findCompanion(table, ext))
        return *existing;
    std::string own = table.extension().string();
    bool upper = false;
    for (char c : own) {
        if (c >= 'A' && c <= 'Z')
            upper = true;
        if (c >= 'a' && c <= 'z') {
            upper = false;
            break;
        }
    }
    std::string e(ext);
    if (upper) {
        for (char& c : e) {
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
    }
    std::filesystem::path p = table;
    p.replace_extension(e);
    return p;
}

}  // namespace orn::db
