#pragma once
// The sample tables of examples/, made with ORN's own storage engine so that no binary table
// files live in the repository.

#include <filesystem>
#include <string>
#include <vector>

namespace orn::examples {

// Writes customers.dbf, orders.dbf and parts.dbf (dBASE, with a memo file), and the keyed
// Paradox tables clients.db and stock.db when the engine can write Paradox tables. Returns the
// names of the tables made; throws when a dBASE table cannot be made.
std::vector<std::string> MakeExampleTables(const std::filesystem::path& directory);

// True when the storage engine can create Paradox tables in this build.
bool ParadoxAvailable(const std::filesystem::path& scratchDirectory);

}  // namespace orn::examples
