#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace kestrane::testing_support {
namespace {

void spawn(const std::string& program, int& pid, int& to_child, int& from_child) {
    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_addclose(&actions, in_pipe[1]);
    posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in_pipe[0]);
    close(out_pipe[1]);
    if (failed != 0) throw std::runtime_error("cannot start " + program);
    to_child = in_pipe[1];
    from_child = out_pipe[0];
    signal(SIGPIPE, SIG_IGN);
}

int wait_exit(int pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads what is there; false at the end of the output.
bool read_some(int fd, std::string& output) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    output.append(buffer, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

ProcessResult run_program(const std::string& program, const std::string& input) {
    int pid, to_child, from_child;
    spawn(program, pid, to_child, from_child);
    ProcessResult result;
    std::size_t written = 0;
    if (input.empty()) close(to_child), to_child = -1;
    for (;;) {
        pollfd fds[2] = {{from_child, POLLIN, 0}, {to_child, POLLOUT, 0}};
        if (poll(fds, to_child >= 0 ? 2 : 1, -1) < 0) break;
        if (to_child >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(to_child, input.data() + written, input.size() - written);
            written += n > 0 ? static_cast<std::size_t>(n) : input.size();
            if (written >= input.size()) close(to_child), to_child = -1;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP)) && !read_some(from_child, result.output)) break;
    }
    if (to_child >= 0) close(to_child);
    close(from_child);
    result.exit_status = wait_exit(pid);
    return result;
}

InteractiveProcess::InteractiveProcess(const std::string& program) {
    spawn(program, pid_, to_child_, from_child_);
}

InteractiveProcess::~InteractiveProcess() {
    if (pid_ < 0) return;
    kill(pid_, SIGKILL);
    finish();
}

bool InteractiveProcess::wait_for_output_ending(const std::string& text, int seconds) {
    while (output_.size() < text.size() ||
           output_.compare(output_.size() - text.size(), text.size(), text) != 0) {
        pollfd fd = {from_child_, POLLIN, 0};
        if (poll(&fd, 1, seconds * 1000) <= 0) return false;
        if (!read_some(from_child_, output_)) return false;
    }
    return true;
}

void InteractiveProcess::write(const std::string& input) {
    const ssize_t n = ::write(to_child_, input.data(), input.size());
    (void)n;
}

ProcessResult InteractiveProcess::finish() {
    ProcessResult result;
    if (to_child_ >= 0) close(to_child_), to_child_ = -1;
    while (read_some(from_child_, output_)) {
    }
    close(from_child_);
    result.output = output_;
    result.exit_status = wait_exit(pid_);
    pid_ = -1;
    return result;
}

}  // namespace kestrane::testing_support
