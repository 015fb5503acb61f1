#include "shell/modes.h"
#ifdef ORN_WINDOWS
#include "shell/windowslauncher.h"
#endif

int main(int argc, char** argv) {
#ifdef ORN_WINDOWS
    return orn::OrnMain(argc, argv, orn::StartWindowsProgram);
#else
    return orn::OrnMain(argc, argv);
#endif
}
