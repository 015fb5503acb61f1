// Placeholder until the Paradox reader and writer land; that work replaces this file.
#include "dbengine/storage/formats.h"

namespace orn::db::paradox {

bool looksLikeTable(const std::uint8_t*, std::size_t, std::uint64_t) {
    return false;
}

std::unique_ptr<Table> openTable(const std::filesystem::path& file, OpenMode) {
    throw EngineError(file.string() + ": Paradox tables are not supported yet.");
}

std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate&) {
    throw EngineError(file.string() + ": Paradox tables are not supported yet.");
}

std::vector<std::filesystem::path> companionFiles(const std::filesystem::path&) {
    return {};
}

}  // namespace orn::db::paradox
