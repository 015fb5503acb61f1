#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orn::db::testing {

// A fresh directory under the system's temp folder, removed with everything in it at the end.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "orn-storage-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline std::vector<unsigned char> readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const std::filesystem::path& p, const std::vector<unsigned char>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The corpus of real tables: $ORN_CORPUS_DIR, else the folder the build was configured with.
// Empty when neither exists.
inline std::filesystem::path corpusDir() {
    if (const char* env = std::getenv("ORN_CORPUS_DIR"); env && *env) {
        if (std::filesystem::is_directory(env))
            return env;
    }
#ifdef ORN_CORPUS_DIR
    if (std::filesystem::is_directory(ORN_CORPUS_DIR))
        return ORN_CORPUS_DIR;
#endif
    return {};
}

}  // namespace orn::db::testing
