// Placeholder until the dBASE reader and writer land.
#include "dbengine/storage/formats.h"

namespace orn::db::dbase {

bool looksLikeTable(const std::uint8_t*, std::size_t, std::uint64_t) {
    return false;
}

std::unique_ptr<Table> openTable(const std::filesystem::path& file, OpenMode) {
    throw EngineError(file.string() + ": dBASE tables are not supported yet.");
}

std::unique_ptr<Table> createTable(const std::filesystem::path& file, const TableCreate&) {
    throw EngineError(file.string() + ": dBASE tables are not supported yet.");
}

std::vector<std::filesystem::path> companionFiles(const std::filesystem::path&) {
    return {};
}

}  // namespace orn::db::dbase
