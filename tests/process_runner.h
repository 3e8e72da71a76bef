// Runs a program with a given standard input and collects its standard output.
#pragma once

#include <string>

namespace kestrane::testing_support {

struct ProcessResult {
    std::string output;
    int exit_status = -1;  // -1 when the program did not exit normally
};

// Runs `program` with `input` as its whole standard input (closed after it).
ProcessResult run_program(const std::string& program, const std::string& input);

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
    void write(const std::string& input);
    // Closes standard input and collects the rest of the output and the exit status.
    ProcessResult finish();
    const std::string& output() const { return output_; }

  private:
    int pid_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
    std::string output_;
};

}  // namespace kestrane::testing_support
