// run_program over string streams, for the command line's tests.
#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kestrane/console/program.h"

namespace kestrane::testing {

using Args = std::vector<std::string_view>;

// What one run of the program wrote, and its exit status.
struct ProgramRun {
    std::string output;
    std::string errors;
    int status;
};

inline ProgramRun run(const Args& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = run_program(args, in, out, err);
    return {out.str(), err.str(), status};
}

}  // namespace kestrane::testing
