#include "shell/modes.h"

int main(int argc, char** argv) {
    return orn::OrnMain(argc, argv);
}
