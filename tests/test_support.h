// Shared helpers: a recorder for the panel's output sink, and key scripts that
// drive whole cycles.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "control_cycle.h"
#include "key_script.h"
#include "output_sink.h"
#ifdef COOKER_PANEL_EXPLORE
#include "state_space.h"
#endif

namespace panel::test {

// Captures every batch a panel (or, for stages called alone, the thread's
// own output) flushes while alive, so a test sees where flushes fall.
struct Recorder {
    std::vector<std::string> batches;
    OutputSink& sink;
    explicit Recorder(OutputSink& watched = panel_output()) : sink(watched) {
        sink.flush();  // whatever an earlier test left goes where it was going
        sink.set_handler(&on_flush, this);
    }
    explicit Recorder(Panel& p) : Recorder(p.output) {}
    ~Recorder() { sink.set_handler(&discard_output, nullptr); }
    static void on_flush(void* self, const char* bytes, std::size_t size) {
        static_cast<Recorder*>(self)->batches.emplace_back(bytes, size);
    }
};

// A started panel whose drawing goes nowhere until a Recorder watches it.
inline Panel started() {
    Panel p{};
    Start_Panel(p);
    p.output.set_handler(&discard_output, nullptr);
    return p;
}

// Runs a key script, one cycle per step ("x{99}" repeats a key; '.' is a
// cycle in which no key was typed, 'x' a key that means nothing).
inline void run(Panel& p, std::string_view script) {
    Script parsed;
    if (const auto error = parse_script(script, parsed)) throw std::invalid_argument(error->message);
    run_script(p, parsed);
}

// A script's keys, one a cycle (NO_KEY for '.'), its checks left out.
inline std::vector<std::int32_t> keys_of(std::string_view script) {
    Script parsed;
    if (const auto error = parse_script(script, parsed)) throw std::invalid_argument(error->message);
    std::vector<std::int32_t> keys;
    for (const ScriptStep& step : parsed.steps)
        if (step.key != CHECK) keys.insert(keys.end(), step.count, step.key);
    return keys;
}

inline std::string slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

struct Result {
    int status;  // exit status, or 128 + signal
    std::string out, err;
};

// Starts binary with args, and in, out and err as its descriptors 0, 1 and 2
// (-1: closed); -1 when fork failed.
inline pid_t spawn(const char* binary, const std::vector<std::string>& args, int in, int out, int err) {
    const pid_t pid = ::fork();
    EXPECT_GE(pid, 0) << "fork";
    if (pid == 0) {
        int fds[] = {in, out, err};
        for (int fd = 0; fd < 3; ++fd) fds[fd] < 0 ? ::close(fd) : ::dup2(fds[fd], fd);
        std::vector<char*> argv{const_cast<char*>(binary)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(binary, argv.data());
        ::_exit(127);
    }
    return pid;
}

// Runs a program with input on standard input and standard output into
// out_path (a temporary file unless given), and waits for it.
inline Result run_program(const char* binary, const std::vector<std::string>& args,
                          const std::string& input = "", const std::string& out_path = "") {
    char in_name[] = "/tmp/panel-in-XXXXXX", out_name[] = "/tmp/panel-out-XXXXXX",
         err_name[] = "/tmp/panel-err-XXXXXX";
    const int in = ::mkstemp(in_name), out = ::mkstemp(out_name), err = ::mkstemp(err_name);
    EXPECT_EQ(::write(in, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::lseek(in, 0, SEEK_SET);
    const int to = out_path.empty() ? out : ::open(out_path.c_str(), O_WRONLY);
    const pid_t pid = spawn(binary, args, in, to, err);
    int status = 0;
    const bool waited = pid > 0 && ::waitpid(pid, &status, 0) == pid;
    EXPECT_TRUE(waited) << "fork or wait failed";
    Result r{!waited               ? -1
             : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                   : WEXITSTATUS(status),
             slurp(out_name), slurp(err_name)};
    for (const char* name : {in_name, out_name, err_name}) ::unlink(name);
    ::close(in), ::close(out), ::close(err);
    if (to != out) ::close(to);
    return r;
}

// A folder of its own under the system's temporary folder, removed at the end.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string name = (std::filesystem::temp_directory_path() / "panel-test-XXXXXX").string();
        EXPECT_NE(::mkdtemp(name.data()), nullptr);
        path = name;
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
};

// The programs of this build, where the test's target names them.
#ifdef COOKER_PANEL_TRACE
inline Result trace(const std::vector<std::string>& args, const std::string& input = "",
                    const std::string& out_path = "") {
    return run_program(COOKER_PANEL_TRACE, args, input, out_path);
}
#endif
#ifdef COOKER_PANEL_EXPLORE
inline Result explore(const std::vector<std::string>& args, const std::string& input = "",
                      const std::string& out_path = "") {
    return run_program(COOKER_PANEL_EXPLORE, args, input, out_path);
}

// The fields a condition may name, as a message lists them.
inline const std::string FIELD_NAMES = " (backlight, operation, door, mode, setting, raise, time, set_temp, cur_temp, "
                                       "beeper, bell, shown_mode, row10, row11 or color)";

// The whole space from start-up, searched once for all of a program's tests.
inline const explore::StateSpace& space() {
    static const explore::StateSpace searched = [] {
        explore::StateSpace s;
        EXPECT_TRUE(s.explore(explore::pack(started(), std::nullopt).value()));
        return s;
    }();
    return searched;
}
#endif

}  // namespace panel::test
