#include "shell/qt/windowedstart.h"

#include <QApplication>
#include <QIcon>
#include <filesystem>
#include <iostream>

#include "errors/ErrorCom.h"
#include "errors/qt/zErrors.h"
#include "input/qt/numerot.h"
#include "settings/IniReadOrder.h"
#include "shell/modes.h"
#include "shell/qt/ShowRunningForm.h"
#include "shell/qt/appdialogs.h"
#include "shell/qt/mainform.h"
#include "text/separators.h"
#include "workbench/errorreports.h"

namespace orn {

namespace {

std::string StartDirectory() {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

// Relative names mean what they mean in the shell the user typed them in.
std::string FromStartDirectory(const std::string& name, const std::string& start) {
    std::filesystem::path path(name);
    if (path.is_absolute() || start.empty()) {
        return name;
    }
    return (std::filesystem::path(start) / path).lexically_normal().string();
}

}  // namespace

int RunWindowed(const TCommandLine& line) {
    const std::string start = StartDirectory();
    static int argc = 1;
    static char name[] = "orn";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setApplicationName("ORN");
    QApplication::setDesktopFileName("orn");
    QApplication::setWindowIcon(QIcon(":/orn/orn.svg"));
    QApplication::setQuitOnLastWindowClosed(false);
    InitSeparatorsFromLocale();

    int status = kExitOk;
    TAppDialogs dialogs;
    GlobalIniReadOrder().SetDialogs(&dialogs);
    SetNumberDialogs(&dialogs);
    // The error window serves the error log from now on (its lines wait in its memo until it
    // is shown); the program's kinds are there from the start, so the options list them.
    SqlDebugKind();
    CommentError();
    ProgramErrorKind();
    ErrorWindow().SetDialogs(&dialogs);
    {
        TFormORN main(dialogs, QueryWindowFactory(dialogs, start));
        main.SetErrorLogOpener([] { ErrorWindow().ShowErrors(); });
        bool closed = false;
        QObject::connect(&main, &TFormORN::Closed, &app, [&closed] {
            closed = true;
            QApplication::quit();
        });
        TFormShowRunning running(&main);
        main.show();
        TQueryChild* first = main.NewQuery();
        const std::string& file = line.Arg(1);
        if (first != nullptr && !file.empty()) {
            running.show();
            QApplication::processEvents();
            const std::string error = main.OpenIn(*first, FromStartDirectory(file, start));
            running.hide();
            if (!error.empty()) {
                // From a shell the message belongs on standard error; from the desktop, in a box
                // (which an unattended platform would only print a second time).
                std::cerr << "orn: " << error << "\n";
                if (!TAppDialogs::Unattended()) {
                    dialogs.Ask(DialogKind::Error, error, {DialogButton::OK});
                }
                status = kExitFailed;
            }
        }
        if (status == kExitOk && !closed) {
            status = QApplication::exec() == 0 ? kExitOk : kExitFailed;
        }
    }
    // Every log line still waiting is written before the program ends.
    DestroyErrorWindow();
    SetNumberDialogs(nullptr);
    GlobalIniReadOrder().SetDialogs(nullptr);
    ReleaseGlobalIniReadOrder();
    return status;
}

}  // namespace orn
