// Starting the real cooker-panel binary for end-to-end tests: with standard
// input from a file, a pipe or closed, and standard output into a pipe or closed.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#ifndef COOKER_PANEL_BINARY
#error "COOKER_PANEL_BINARY must name the binary under test"
#endif

namespace panel::e2e {

using Clock = std::chrono::steady_clock;

enum class Stdin { File, Closed, DevNull };
enum class Stdout { Pipe, Closed };

struct Child {
    pid_t pid = -1;
    int out = -1;  // read end of the child's standard output, or -1

    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    bool alive() const { return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0; }

    // Ends the child (if still running) and returns its wait status.
    int stop(int sig = SIGKILL) {
        int status = 0;
        if (pid > 0) {
            ::kill(pid, sig);
            ::waitpid(pid, &status, 0);
            pid = -1;
        }
        if (out >= 0) {
            ::close(out);
            out = -1;
        }
        return status;
    }
};

// Writes keys to a fresh temporary file and returns its path.
inline std::string key_file(const std::string& keys) {
    char path[] = "/tmp/cooker-panel-keys-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) std::abort();
    if (::write(fd, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) std::abort();
    ::close(fd);
    return path;
}

inline void start(Child& child, Stdin in, Stdout out, const std::string& keys_path = "") {
    int pipe_fds[2] = {-1, -1};
    if (out == Stdout::Pipe && ::pipe(pipe_fds) != 0) std::abort();
    child.pid = ::fork();
    if (child.pid == 0) {
        if (in == Stdin::Closed) {
            ::close(STDIN_FILENO);
        } else {
            const int fd = ::open(in == Stdin::File ? keys_path.c_str() : "/dev/null", O_RDONLY);
            ::dup2(fd, STDIN_FILENO);
            ::close(fd);
        }
        if (out == Stdout::Pipe) {
            ::dup2(pipe_fds[1], STDOUT_FILENO);
            ::close(pipe_fds[0]);
            ::close(pipe_fds[1]);
        } else {
            ::close(STDOUT_FILENO);
        }
        ::execl(COOKER_PANEL_BINARY, COOKER_PANEL_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (out == Stdout::Pipe) {
        ::close(pipe_fds[1]);
        child.out = pipe_fds[0];
    }
}

// Reads from fd into text until done(text) holds or the deadline passes.
template <typename Done>
bool read_until(int fd, std::string& text, Clock::time_point deadline, Done done) {
    char buffer[4096];
    while (!done(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return done(text);
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// Voluntary context switches of a process: one per sleep of its cycle.
inline long voluntary_switches(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return -1;
    char line[256];
    long value = -1;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &value) == 1) break;
    }
    std::fclose(f);
    return value;
}

}  // namespace panel::e2e
