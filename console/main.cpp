// kestrane: designs a unity-gain Sallen-Key low-pass filter at the console, or from its
// command line.
#include <iostream>
#include <string_view>
#include <vector>

#include "kestrane/console/program.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> args(argc > 0 ? argv + 1 : argv, argv + argc);
    return kestrane::run_program(args, std::cin, std::cout, std::cerr);
}
