// The design dialogue: the program's only loop.
#pragma once

#include <climits>
#include <istream>
#include <ostream>

#include "kestrane/console/design_extras.h"

namespace kestrane {

// The dialogue's exit statuses.
inline constexpr int kExitDone = 0;          // the user declined another design, or the input
                                             // ended at the cutoff or repeat prompt
inline constexpr int kExitInputEnded = 1;    // the input ended in the middle of a design
inline constexpr int kExitOutputFailed = 2;  // the output, or the netlist file, could not be
                                             // written

struct DialogueOptions {
    // Designs after which the dialogue ends as if the user had answered 0; for tests that
    // feed arbitrary input.
    int max_designs = INT_MAX;
    // Where each design's warning (design_warning_line) and the messages about the netlist
    // file go; nowhere when null.
    std::ostream* err = nullptr;
    // What each design reports after its deviation line, and the files it writes.
    DesignExtras extras;
};

// Runs the dialogue over `in` and `out`: the circuit drawing once, then designs for as long
// as the user answers the repeat question with a number above 0. A read error of `in` counts
// as the end of input. Output is put out before every read and at the end; when putting it
// out fails the dialogue ends at once. A design with a warning puts its output out after the
// component lines and writes the warning on `options.err`. With extras, each design's lines
// (extras_lines) follow its deviation line, then an empty line; with files, each design's
// (write_extras_files) replace their text before the credit block, and when a file cannot be
// written its message goes to `options.err` and the dialogue ends at once with
// kExitOutputFailed. Returns the exit status (kExitDone, kExitInputEnded or
// kExitOutputFailed). Never throws on any input.
int run_dialogue(std::istream& in, std::ostream& out, const DialogueOptions& options = {});

}  // namespace kestrane
