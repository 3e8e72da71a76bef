#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

extern char** environ;

namespace kestrane::testing_support {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipes {
    int to_child = -1;
    int from_child = -1;
    int errors_from_child = -1;
};

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Blocks SIGPIPE in this thread for the object's life, then drops any that arrived.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigset_t pipe_only;
        sigemptyset(&pipe_only);
        sigaddset(&pipe_only, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_only, &previous_);
    }
    ~SigpipeBlock() {
        sigset_t pipe_only;
        sigemptyset(&pipe_only);
        sigaddset(&pipe_only, SIGPIPE);
        const timespec no_wait{0, 0};
        while (sigtimedwait(&pipe_only, nullptr, &no_wait) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t previous_;
};

int spawn(const std::vector<std::string>& argv, Pipes& pipes) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
        pipe2(err_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, pipe_only;
    sigemptyset(&none);
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipe_only);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int pid = -1;
    const int failed = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    pipes = {in_pipe[1], out_pipe[0], err_pipe[0]};
    if (failed != 0) {
        close_fd(pipes.to_child);
        close_fd(pipes.from_child);
        close_fd(pipes.errors_from_child);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    fcntl(pipes.to_child, F_SETFL, O_NONBLOCK);
    return pid;
}

int wait_exit(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads what is there into `output`; false at the end of the output (and closes `fd`).
bool read_some(int& fd, std::string& output) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {
        close_fd(fd);
        return false;
    }
    output.append(buffer, static_cast<std::size_t>(n));
    return true;
}

int milliseconds_left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Feeds `input` and collects both outputs until both end or the deadline passes.
bool exchange(Pipes& pipes, const std::string& input, ProcessResult& result,
              Clock::time_point deadline) {
    std::size_t written = 0;
    if (input.empty()) close_fd(pipes.to_child);
    while (pipes.from_child >= 0 || pipes.errors_from_child >= 0) {
        pollfd fds[3] = {{pipes.from_child, POLLIN, 0},
                         {pipes.errors_from_child, POLLIN, 0},
                         {pipes.to_child, POLLOUT, 0}};
        const int ready = poll(fds, 3, milliseconds_left(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (fds[0].revents != 0) read_some(pipes.from_child, result.output);
        if (fds[1].revents != 0) read_some(pipes.errors_from_child, result.errors);
        if (fds[2].revents != 0) {
            const ssize_t n = write(pipes.to_child, input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                close_fd(pipes.to_child);
            }
        }
    }
    return true;
}

}  // namespace

ProcessResult run_program(const std::vector<std::string>& argv, const std::string& input,
                          int timeout_seconds) {
    const SigpipeBlock no_sigpipe;
    Pipes pipes;
    const int pid = spawn(argv, pipes);
    ProcessResult result;
    const auto deadline = Clock::now() + std::chrono::seconds(timeout_seconds);
    if (!exchange(pipes, input, result, deadline)) {
        result.timed_out = true;
        kill(-pid, SIGKILL);
    }
    close_fd(pipes.to_child);
    close_fd(pipes.from_child);
    close_fd(pipes.errors_from_child);
    result.exit_status = wait_exit(pid);
    return result;
}

InteractiveProcess::InteractiveProcess(const std::string& program) {
    Pipes pipes;
    pid_ = spawn({program}, pipes);
    to_child_ = pipes.to_child;
    from_child_ = pipes.from_child;
    errors_from_child_ = pipes.errors_from_child;
}

InteractiveProcess::~InteractiveProcess() {
    if (pid_ < 0) return;
    kill(-pid_, SIGKILL);
    finish();
}

bool InteractiveProcess::wait_for_output_ending(const std::string& text, int seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!output_.ends_with(text)) {
        pollfd fd = {from_child_, POLLIN, 0};
        if (poll(&fd, 1, milliseconds_left(deadline)) <= 0) return false;
        if (!read_some(from_child_, output_)) return false;
    }
    return true;
}

bool InteractiveProcess::write(const std::string& input) {
    const SigpipeBlock no_sigpipe;
    std::size_t written = 0;
    while (written < input.size()) {
        pollfd fd = {to_child_, POLLOUT, 0};
        if (poll(&fd, 1, 30000) <= 0) return false;
        const ssize_t n = ::write(to_child_, input.data() + written, input.size() - written);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (n > 0) written += static_cast<std::size_t>(n);
    }
    return true;
}

ProcessResult InteractiveProcess::finish(int seconds) {
    Pipes pipes{to_child_, from_child_, errors_from_child_};
    to_child_ = from_child_ = errors_from_child_ = -1;
    ProcessResult result;
    result.output = output_;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    if (!exchange(pipes, "", result, deadline)) {
        result.timed_out = true;
        kill(-pid_, SIGKILL);
    }
    close_fd(pipes.from_child);
    close_fd(pipes.errors_from_child);
    result.exit_status = wait_exit(pid_);
    pid_ = -1;
    return result;
}

}  // namespace kestrane::testing_support
