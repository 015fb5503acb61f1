// Every test of this program keeps its settings in a registry folder of its own, emptied before
// each test: a SEPARATOR run by one test neither reaches the user's settings nor the next test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "settings/IniReadOrder.h"

namespace orn {
namespace {

class IsolatedSettings : public ::testing::EmptyTestEventListener {
  public:
    void OnTestProgramStart(const ::testing::UnitTest&) override {
        char pattern[] = "/tmp/orn-workbench-registry-XXXXXX";
        if (::mkdtemp(pattern)) {
            dir_ = pattern;
            ::setenv("ORN_REGISTRY_DIR", dir_.c_str(), 1);
        }
    }
    void OnTestStart(const ::testing::TestInfo&) override {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir_, ec)) {
            std::filesystem::remove_all(entry.path(), ec);
        }
        ReleaseGlobalIniReadOrder();
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override {
        ReleaseGlobalIniReadOrder();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

  private:
    std::string dir_;
};

const bool kInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new IsolatedSettings);
    return true;
}();

}  // namespace
}  // namespace orn
