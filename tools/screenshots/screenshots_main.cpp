// Renders the registered window shots into PNG files.
//   orn_screenshots OUTDIR [SHOT...]     (all shots when none is named; --list lists them)
// Run it on a display (scripts/screenshots.sh uses Xvfb); QT_SCALE_FACTOR=2 gives 200 %.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>
#include <cstdlib>
#include <iostream>
#include <map>

#include "examples/tools/exampletables.h"
#include "screenshots.h"

namespace orn::shots {

namespace fs = std::filesystem;

namespace {

std::map<std::string, ShotFunction>& Registry() {
    static std::map<std::string, ShotFunction> shots;
    return shots;
}

// A scratch directory with the sample tables and programs of examples/.
fs::path MakeWorkDir(const fs::path& root, const std::string& name) {
    const fs::path dir = root / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    examples::MakeExampleTables(dir);
    const fs::path examplesDir = ORN_EXAMPLES_DIR;
    for (const auto& entry : fs::directory_iterator(examplesDir)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), dir / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
        }
    }
    return dir;
}

}  // namespace

bool RegisterShot(const char* name, ShotFunction function) {
    Registry()[name] = std::move(function);
    return true;
}

TShot::TShot(std::string name, fs::path outDir, fs::path workDir)
    : name_(std::move(name)), outDir_(std::move(outDir)), workDir_(std::move(workDir)) {}

TShot::~TShot() {
    for (auto& window : windows_) {
        window->close();
    }
    windows_.clear();
    Settle();
}

void TShot::Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 150) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void TShot::Capture(QWidget* window, const std::string& suffix, QSize size) {
    if (size.isValid()) {
        window->resize(size);
    }
    if (!window->isVisible()) {
        window->show();
    }
    window->raise();
    Settle();
    const QPixmap picture = window->grab();
    const std::string file = name_ + (suffix.empty() ? "" : "-" + suffix) + ".png";
    const fs::path path = outDir_ / file;
    if (!picture.save(QString::fromStdString(path.string()), "PNG")) {
        std::cerr << "cannot write " << path << "\n";
        return;
    }
    ++captured_;
    std::cout << path.string() << "\n";
}

}  // namespace orn::shots

int main(int argc, char** argv) {
    using namespace orn::shots;
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::cerr << "usage: orn_screenshots OUTDIR [SHOT...] | --list\n";
        return 2;
    }
    if (std::string(argv[1]) == "--list") {
        for (const auto& [name, _] : Registry()) {
            std::cout << name << "\n";
        }
        return 0;
    }
    const fs::path outDir = fs::absolute(argv[1]);
    fs::create_directories(outDir);
    const fs::path scratch =
        fs::temp_directory_path() / ("orn_screenshots_" + std::to_string(getpid()));
    fs::create_directories(scratch);
    // Settings of the shots stay in the scratch directory.
    ::setenv("ORN_REGISTRY_DIR", (scratch / "registry").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    QApplication app(argc, argv);
    std::vector<std::string> wanted(argv + 2, argv + argc);
    int failures = 0;
    for (const auto& [name, function] : Registry()) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), name) == wanted.end()) {
            continue;
        }
        const fs::path work = MakeWorkDir(scratch, name);
        fs::current_path(work);
        try {
            TShot shot(name, outDir, work);
            function(shot);
            if (shot.Captured() == 0) {
                std::cerr << name << ": nothing captured\n";
                ++failures;
            }
        } catch (const std::exception& e) {
            std::cerr << name << ": " << e.what() << "\n";
            ++failures;
        }
    }
    fs::current_path(outDir);
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return failures == 0 ? 0 : 1;
}
