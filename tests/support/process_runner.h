// Runs a program with a given standard input and collects its standard output and error.
#pragma once

#include <string>
#include <vector>

namespace kestrane::testing_support {

struct ProcessResult {
    std::string output;
    std::string errors;      // what the program wrote to standard error
    int exit_status = -1;    // -1 when the program did not exit normally
    bool timed_out = false;  // the program was killed after the time allowed
};

// Runs `argv` (argv[0] a path) in a process group of its own, with `input` as its whole
// standard input (closed after it). Writes and reads side by side, so no input or output size
// can deadlock. After `timeout_seconds` the whole group is killed and timed_out is set.
// SIGPIPE from writing to a program that stopped reading is kept from this process without
// changing its disposition; the program gets the default disposition and an empty mask.
ProcessResult run_program(const std::vector<std::string>& argv, const std::string& input,
                          int timeout_seconds = 30);

// A running program driven a piece at a time, for checking what it shows while it waits.
class InteractiveProcess {
  public:
    explicit InteractiveProcess(const std::string& program);
    ~InteractiveProcess();
    InteractiveProcess(const InteractiveProcess&) = delete;
    InteractiveProcess& operator=(const InteractiveProcess&) = delete;

    // Reads output until it ends with `text`; false if the program stops writing for
    // `seconds` first (it is then waiting without having shown the text).
    bool wait_for_output_ending(const std::string& text, int seconds);
    // Writes all of `input`; false when the program no longer reads.
    bool write(const std::string& input);
    // Closes standard input and collects the rest of the output and the exit status; kills
    // the program when it has not ended after `seconds`.
    ProcessResult finish(int seconds = 30);

  private:
    int pid_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
    int errors_from_child_ = -1;
    std::string output_;
};

}  // namespace kestrane::testing_support
