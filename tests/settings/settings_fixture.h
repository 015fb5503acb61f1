#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace orn::test {

// A fresh registry folder and working directory per test; both are removed afterwards.
class SettingsFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        char pattern[] = "/tmp/orn-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        registryDir_ = root_ + "/registry";
        workDir_ = root_ + "/work";
        fs::create_directories(workDir_);
        oldCwd_ = fs::current_path();
        fs::current_path(workDir_);
        ::setenv("ORN_REGISTRY_DIR", registryDir_.c_str(), 1);
    }

    void TearDown() override {
        namespace fs = std::filesystem;
        fs::current_path(oldCwd_);
        std::error_code ec;
        // Restore write permission everywhere so that the folder can be removed.
        for (auto it = fs::recursive_directory_iterator(root_, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(root_, ec);
        ::unsetenv("ORN_REGISTRY_DIR");
    }

    static std::string ReadFile(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    static void WriteFile(const std::string& name, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(name).parent_path());
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::string UserRootFile() const { return registryDir_ + "/HKEY_CURRENT_USER.reg"; }
    std::string MachineRootFile() const { return registryDir_ + "/HKEY_LOCAL_MACHINE.reg"; }

    std::string root_;
    std::string registryDir_;
    std::string workDir_;
    std::filesystem::path oldCwd_;
};

}  // namespace orn::test
