// What one cycle asks of the kernel, traced with strace on the real binary:
// the sleep, the poll, the read of a waiting key, and one write per flush
// point (three), nothing else.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "process_support.h"

namespace panel::e2e {
namespace {

TEST(Syscalls, EachCycleSleepsPollsReadsAndWritesThreeTimes) {
    if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
    const std::string keys = key_file("axe");
    char trace[] = "/tmp/cooker-panel-trace-XXXXXX";
    ::close(::mkstemp(trace));
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(keys.c_str(), O_RDONLY);
        const int out = ::open("/dev/null", O_WRONLY);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::execl("/usr/bin/strace", "strace", "-qq", "-o", trace, COOKER_PANEL_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // End the traced panel first; strace then ends by itself.
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t panel_pid = 0;
    if (children >> panel_pid) ::kill(panel_pid, SIGKILL);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);

    std::ifstream file(trace);
    std::string line;
    bool in_loop = false;
    std::map<std::string, int> calls;
    while (std::getline(file, line)) {
        const std::string name = line.substr(0, line.find('('));
        const bool event = line.rfind("+++", 0) == 0 || line.rfind("---", 0) == 0;  // exit, signal
        if (in_loop && !event && line.find("<unfinished") == std::string::npos) ++calls[name];
        // The loop begins after the last handler is installed and the
        // terminal is tried; the first sleep opens it.
        if (!in_loop && name == "clock_nanosleep") {
            in_loop = true;
            ++calls[name];
        }
    }
    ::unlink(trace);
    ::unlink(keys.c_str());
    const int sleeps = calls["clock_nanosleep"];
    ASSERT_GE(sleeps, 5);
    for (const auto& [name, count] : calls) {
        EXPECT_TRUE(name == "clock_nanosleep" || name == "pselect6" || name == "select" || name == "read" ||
                    name == "write")
            << "unexpected system call in the cycle: " << name << " x" << count;
    }
    // The trace may stop anywhere inside the last cycle.
    EXPECT_NEAR(calls["write"], 3 * sleeps, 3);
    EXPECT_NEAR(calls["pselect6"] + calls["select"], sleeps, 1);
    EXPECT_LE(calls["read"], sleeps);
}

}  // namespace
}  // namespace panel::e2e
