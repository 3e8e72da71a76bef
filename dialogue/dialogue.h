// The design dialogue: the program's only loop.
#pragma once

#include <climits>
#include <istream>
#include <ostream>

namespace kestrane {

struct DialogueOptions {
    // Designs after which the dialogue ends as if the user had answered 0; for tests that
    // feed arbitrary input.
    int max_designs = INT_MAX;
};

// Runs the dialogue over `in` and `out`: the circuit drawing once, then designs for as long
// as the user answers the repeat question with a number above 0. Returns the exit status:
// 0 when the user ends the dialogue or the input ends at the cutoff or repeat prompt, 1 when
// the input ends in the middle of a design. Output is put out before every read and at the
// end. Never throws on any input.
int run_dialogue(std::istream& in, std::ostream& out, const DialogueOptions& options = {});

}  // namespace kestrane
