#pragma once

// Helpers of the Paradox tests: the corpus folder, scratch folders, and pxlib as an independent
// reader of the files we write.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dbengine/storage/value.h"

namespace orn::db::test {

// The corpus of real tables: $ORN_CORPUS_DIR, else the folder next to the repository; nullopt
// when neither exists.
inline std::optional<std::filesystem::path> paradoxCorpusDir() {
    if (const char* env = std::getenv("ORN_CORPUS_DIR"); env && *env) {
        if (std::filesystem::is_directory(env))
            return std::filesystem::path(env);
    }
#ifdef ORN_CORPUS_DIR
    if (std::filesystem::is_directory(ORN_CORPUS_DIR))
        return std::filesystem::path(ORN_CORPUS_DIR);
#endif
    return std::nullopt;
}

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

struct PxlibTable {
    int numRecords = 0;
    std::vector<char> types;      // pxlib's type codes
    std::vector<Record> records;  // blob fields read as blank
};

// Reads a table with pxlib (without its .mb). Alpha text is converted to UTF-8 from `codePage`
// here rather than by pxlib. Throws std::runtime_error when pxlib cannot open the file.
PxlibTable readWithPxlib(const std::filesystem::path& file, const std::string& codePage);

}  // namespace orn::db::test
