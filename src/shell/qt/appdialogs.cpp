#include "shell/qt/appdialogs.h"

#include <QGuiApplication>
#include <iostream>

#include "input/qt/numerot.h"
#include "shell/consoleview.h"

namespace orn {

bool TAppDialogs::Unattended() {
    const QString platform = QGuiApplication::platformName();
    return platform == "offscreen" || platform == "minimal";
}

DialogButton TAppDialogs::Ask(const DialogRequest& request) {
    if (!Unattended()) {
        return boxes_.Ask(request);
    }
    std::cerr << EffectiveCaption(request) << ": " << request.text << "\n";
    return DefaultAnswer(request);
}

bool TAppDialogs::AskNumber(const NumberRequest& request, double& value) {
    if (Unattended()) {
        std::cerr << "Input: " << request.prompt << "\n";
        return false;
    }
    return AskNumberOnKeypad(request, value);
}

}  // namespace orn
