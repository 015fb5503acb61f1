// The windows program: what `orn` execs for a windowed start. Started by hand it behaves like
// `orn` itself.
#include "shell/modes.h"
#include "shell/qt/windowedstart.h"
#include "shell/windowslauncher.h"

int main(int argc, char** argv) {
    orn::AdoptLauncherProgramFileName();
    return orn::OrnMain(argc, argv, orn::RunWindowed);
}
