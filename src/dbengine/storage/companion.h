#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace orn::db {

// Companion files (.px, .mb, .dbt, .fpt, ...) sit beside the table with the same stem, but their
// letter case varies in the wild (cars.DBF + cars.DBT, memotest.dbf + memotest.FPT). These
// lookups ignore ASCII letter case of stem and extension; an exact match wins.

// The existing companion of `table` with extension `ext` (".dbt", with the dot).
std::optional<std::filesystem::path> findCompanion(const std::filesystem::path& table,
                                                   std::string_view ext);

// Where to put a companion: the existing one, else the table's stem plus `ext` in the letter case
// of the table's own extension (CARS.DBF -> CARS.DBT, cars.dbf -> cars.dbt).
std::filesystem::path companionPath(const std::filesystem::path& table, std::string_view ext);

// Every existing file beside `table` with the same stem (any case) whose extension, lower-cased
// and with its dot, satisfies `match`; the table itself is never included.
std::vector<std::filesystem::path> findCompanions(
    const std::filesystem::path& table, const std::function<bool(std::string_view)>& match);

std::string asciiLower(std::string_view s);

}  // namespace orn::db
