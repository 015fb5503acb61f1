#include "settings/IniName.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

namespace orn {

namespace fs = std::filesystem;

namespace {

std::mutex& ProgramMutex() {
    static std::mutex m;
    return m;
}

std::string& ProgramPathStorage() {
    static std::string path;
    return path;
}

std::string FileNamePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CurrentDir() {
    std::error_code ec;
    auto dir = fs::current_path(ec);
    return ec ? std::string() : dir.string();
}

}  // namespace

std::string ProgramFileName() {
    std::lock_guard lock(ProgramMutex());
    auto& path = ProgramPathStorage();
    if (path.empty()) {
        std::error_code ec;
        auto exe = fs::read_symlink("/proc/self/exe", ec);
        path = ec ? std::string("orn") : exe.string();
    }
    return path;
}

void SetProgramFileName(const std::string& path) {
    std::lock_guard lock(ProgramMutex());
    ProgramPathStorage() = path;
}

std::string ProgramDir() {
    const auto exe = ProgramFileName();
    const auto slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string IniFileName(const std::string& nameIn, const std::string& defaultExtIn) {
    std::string name = nameIn;
    std::string defaultExt = defaultExtIn;
    const bool hasDir = name.find_first_of("\\/") != std::string::npos;
    if (!name.empty() && name.front() == '.' && !hasDir) {
        defaultExt = name;
        name.clear();
    }
    if (hasDir) {
        return name;
    }
    if (name == "-") {
        return {};
    }
    if (name.empty()) {
        name = FileNamePart(ProgramFileName());
        const auto dot = name.find('.');
        if (dot != std::string::npos) {
            // The cut removes at most 10 characters from the first "." on.
            const auto removed = std::min<std::size_t>(10, name.size() - dot);
            name.erase(dot, removed);
        }
    }
    const auto lastPart = name.find_last_of("\\:");
    const auto dot = name.find('.', lastPart == std::string::npos ? 0 : lastPart + 1);
    if (dot == std::string::npos) {
        name += defaultExt;
    }
    const auto cwd = CurrentDir();
    const auto local = cwd.empty() || cwd.back() == '/' ? cwd + name : cwd + "/" + name;
    std::error_code ec;
    if (!cwd.empty() && fs::is_regular_file(local, ec)) {
        return local;
    }
    return ProgramDir() + name;
}

bool FileWritable(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        return true;
    }
    // The permission bits act as the read-only attribute, also for a superuser whom access()
    // would let write anyway.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return false;
    }
    return ::access(fileName.c_str(), W_OK) == 0;
}

void ForceFileDir(const std::string& fileName) {
    const auto dir = fs::path(fileName).parent_path();
    if (dir.empty()) {
        return;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
}

std::string NativePath(const std::string& path) {
    std::string out = path;
    for (auto& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    return out;
}

}  // namespace orn
