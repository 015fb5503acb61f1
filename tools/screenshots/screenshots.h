#pragma once
// Window pictures for review: each window registers one or more shots, the program renders
// them into PNG files. Add a shot in a file named screenshots_<area>.cpp beside this one (the
// build picks such files up):
//
//   ORN_SCREENSHOT(query_sql) {
//       auto* form = shot.Keep(new TFormQuery(nullptr, &shot.Dialogs()));
//       shot.Capture(form);              // query_sql.png
//       ...                              // change something
//       shot.Capture(form, "result");    // query_sql-result.png
//   }
//
// Shots run in a scratch directory holding the sample tables and programs; settings go to a
// scratch location too, so a shot never touches the user's own.

#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "text/dialogs.h"

namespace orn::shots {

class TShot {
  public:
    TShot(std::string name, std::filesystem::path outDir, std::filesystem::path workDir);
    ~TShot();

    const std::string& Name() const { return name_; }
    // The scratch directory (also the working directory while the shot runs).
    const std::filesystem::path& WorkDir() const { return workDir_; }
    // Dialogs answer OK/Yes without showing anything, so shots never wait.
    TScriptedDialogs& Dialogs() { return dialogs_; }

    // Takes ownership of a top-level window; it is closed and freed after the shot.
    template <typename W>
    W* Keep(W* window) {
        windows_.emplace_back(window);
        return window;
    }
    // Shows the window (at `size` when given), lets it lay out and paint, and writes
    // <name>[-<suffix>].png.
    void Capture(QWidget* window, const std::string& suffix = {}, QSize size = {});
    // Lets pending events run (layout, timers that fire at once).
    static void Settle();
    int Captured() const { return captured_; }

  private:
    std::string name_;
    std::filesystem::path outDir_;
    std::filesystem::path workDir_;
    TScriptedDialogs dialogs_{std::initializer_list<DialogButton>{}, DialogButton::OK};
    std::vector<std::unique_ptr<QWidget>> windows_;
    int captured_ = 0;
};

using ShotFunction = std::function<void(TShot&)>;
bool RegisterShot(const char* name, ShotFunction function);

}  // namespace orn::shots

#define ORN_SCREENSHOT(name)                                      \
    static void ornShot_##name(::orn::shots::TShot& shot);        \
    [[maybe_unused]] static const bool ornShotRegistered_##name = \
        ::orn::shots::RegisterShot(#name, ornShot_##name);        \
    static void ornShot_##name([[maybe_unused]] ::orn::shots::TShot& shot)
