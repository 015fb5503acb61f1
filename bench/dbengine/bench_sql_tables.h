#pragma once

// Where the SQL benchmarks keep their generated tables, and how many records they hold.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace orn::bench {

// 1,000,000 unless ORN_BENCH_ROWS says otherwise.
inline long rowCount() {
    const char* env = std::getenv("ORN_BENCH_ROWS");
    return env ? std::atol(env) : 1'000'000;
}

// $ORN_BENCH_DIR, or a folder of the user's under the temp directory; made when missing. Tables
// generated there are reused by later runs.
inline std::filesystem::path benchDir() {
    const char* env = std::getenv("ORN_BENCH_DIR");
    std::filesystem::path dir = env ? std::filesystem::path(env)
                                    : std::filesystem::temp_directory_path() /
                                          ("orn_bench_sql_" + std::to_string(getuid()));
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace orn::bench
