// orn_make_examples DIR: writes the sample tables of examples/ into DIR.
#include <iostream>

#include "exampletables.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: orn_make_examples DIRECTORY\n";
        return 2;
    }
    try {
        for (const std::string& name : orn::examples::MakeExampleTables(argv[1])) {
            std::cout << name << "\n";
        }
    } catch (const std::exception& e) {
        std::cerr << "orn_make_examples: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
