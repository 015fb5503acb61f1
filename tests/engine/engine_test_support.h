#pragma once
// A scripted view and temporary program files for the runner tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/FormCommands.h"
#include "engine/param.h"

namespace orn::testing {

class ScriptedView : public TProgramView {
  public:
    using TDialogs::Ask;
    DialogButton Ask(const DialogRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) {
            return fallback;
        }
        DialogButton answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowStatus(const std::string& line) override { statuses.push_back(line); }
    void HideStatus() override { ++hidden; }
    void ProcessPendingMessages() override {
        ++processed;
        if (onProcess) {
            onProcess();
        }
    }
    void ShowHelpWindow(const std::string& caption, const std::string& text) override {
        helpWindows.emplace_back(caption, text);
    }
    void TitleChanged(const std::string& title) override { titles.push_back(title); }
    void Warn(const std::string& text) override { warnings.push_back(text); }
    void ParamCreated(TParam& p) override { events.push_back("created " + p.Caption()); }
    void ParamShown(TParam& p) override { events.push_back("shown " + p.Caption()); }
    void ParamHidden(TParam& p) override { events.push_back("hidden " + p.Caption()); }

    // The texts of the error prompts shown so far, in order.
    std::vector<std::string> ErrorTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : requests) {
            if (r.kind == DialogKind::Error) {
                texts.push_back(r.text);
            }
        }
        return texts;
    }

    std::deque<DialogButton> answers;
    DialogButton fallback = DialogButton::None;
    std::vector<DialogRequest> requests;
    std::vector<std::string> statuses;
    std::vector<std::pair<std::string, std::string>> helpWindows;
    std::vector<std::string> titles;
    std::vector<std::string> warnings;
    std::vector<std::string> events;
    std::function<void()> onProcess;
    int hidden = 0;
    int processed = 0;
};

// A fresh temporary folder per test, removed afterwards; the working directory is restored.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        oldCwd_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("orn_engine_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(oldCwd_);
        std::filesystem::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string WriteFile(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return Path(name);
    }
    // A program file with the given lines numbered from 0.
    std::string WriteProgram(const std::string& name, const std::vector<std::string>& lines,
                             const std::string& params = "", const std::string& title = "T") {
        std::string text = "[Title]\nTitle=" + title + "\n[Params]\n" + params + "\n[Program]\n";
        for (std::size_t i = 0; i < lines.size(); ++i) {
            text += std::to_string(i) + "=" + lines[i] + "\n";
        }
        return WriteFile(name, text);
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path dir_;
    std::filesystem::path oldCwd_;
};

// Registers TRACE, which records its argument, and FAIL / THROW, which fail.
inline void AddTestCommands(TParamProgram& program, std::vector<std::string>& trace) {
    program.AddCommand(std::make_unique<TProgramCommand>(
        "TRACE", [&trace](const std::string& p, std::string&) { trace.push_back(p); }, "text"));
    program.AddCommand(std::make_unique<TProgramCommand>(
        "FAIL", [](const std::string& p, std::string& r) { r = "failed " + p; }, ""));
    program.AddCommand(std::make_unique<TProgramCommand>(
        "THROW", [](const std::string& p, std::string&) { throw std::runtime_error("boom " + p); },
        ""));
}

}  // namespace orn::testing
