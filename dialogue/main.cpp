// kestrane: designs a unity-gain Sallen-Key low-pass filter at the console.
#include <iostream>

#include "dialogue.h"

int main() {
    std::ios::sync_with_stdio(false);
    return kestrane::run_dialogue(std::cin, std::cout);
}
