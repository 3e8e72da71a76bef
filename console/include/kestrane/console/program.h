// The program as its command line asks: the dialogue, the usage text, the version, or designs
// without prompts.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string_view>

#include "kestrane/console/dialogue.h"

namespace kestrane {

// The program's exit statuses besides the dialogue's (dialogue.h), which share their values:
// 0 done; 1 a design refused, or the dialogue's input ended inside a design; 2 a usage error,
// a bad value, designs' input that cannot be read, or standard output or the netlist file that
// could not be written.
inline constexpr int kExitRefused = 1;  // a design was refused
inline constexpr int kExitUsage = 2;    // the command line, or a line of designs, was unusable

// Runs the program for `args` (the arguments after its name), over `in`, `out` and `err`:
// - without --fc, --r1 and --json: the dialogue (run_dialogue) with the extras the options
//   ask for and `err` for its warnings, with its exit status;
// - -h or --help, --version: the usage text or "kestrane VERSION" on `out`, status 0;
// - --fc and --r1 [--band] [--json]: one design's result lines and extras_lines (or one JSON
//   object with add_extras_members) on `out`; a refused design's message on `err` and
//   status 1;
// - --json alone: each line of `in` one design "fc r1 [band]", answered by one JSON line and
//   put out at once; a line that cannot be used or a refused design gets a message on `err`
//   naming its line and the rest go on; status 2 after an unusable line, else 1 after a
//   refused design, else 0.
// With --spice, the file is checked before anything is put out: when it cannot be opened for
// writing, its message goes to `err`, nothing to `out`, and the status is 2 (a file the check
// creates is removed again). With --fc, the netlist (extras_netlist) replaces the file's text
// before the design's output is put out; in the other modes after it. After a made design's
// output, its warning (design_warning_line; "line N: " after "kestrane: " for a line of `in`)
// goes to `err`. A command line that cannot be used: a message and "Try 'kestrane --help'."
// on `err`, nothing on `out`, status 2. Output or a netlist file that cannot be written ends
// the program at once with status 2, with "kestrane: cannot write standard output: REASON"
// or the file's message on `err`. With --json alone, input that cannot be read (a directory, a
// closed descriptor) ends the designs with "kestrane: cannot read standard input: REASON" and
// status 2. Nothing else written to `err`, warnings included, changes the status.
int run_program(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace kestrane
