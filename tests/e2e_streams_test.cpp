// The real binary with standard streams that fail or end: the panel keeps its
// 100 ms cycle (no block, no busy loop) and is never killed by its output.
#include <gtest/gtest.h>

#include <thread>

#include "process_support.h"

namespace panel::e2e {
namespace {

using namespace std::chrono_literals;

// About ten sleeps a second: neither blocked (none) nor spinning (none either,
// or thousands of polls with few sleeps).
void expect_cycling(const Child& child) {
    const long before = voluntary_switches(child.pid);
    std::this_thread::sleep_for(1s);
    const long after = voluntary_switches(child.pid);
    ASSERT_TRUE(child.alive());
    EXPECT_GE(after - before, 6);
    EXPECT_LE(after - before, 30);
}

TEST(Streams, StandardOutputClosed) {
    Child child;
    start(child, Stdin::DevNull, Stdout::Closed);
    std::this_thread::sleep_for(300ms);
    expect_cycling(child);
}

TEST(Streams, ReaderOfStandardOutputGoesAway) {
    Child child;
    start(child, Stdin::DevNull, Stdout::Pipe);
    std::string seen;
    ASSERT_TRUE(read_until(child.out, seen, Clock::now() + 2s,
                           [](const std::string& s) { return s.find("\x1b[11;30f") != std::string::npos; }));
    ::close(child.out);
    child.out = -1;
    expect_cycling(child);
}

TEST(Streams, StandardInputClosedOrAtEndKeepsTheCycle) {
    for (const Stdin in : {Stdin::Closed, Stdin::DevNull}) {
        Child child;
        start(child, in, Stdout::Pipe);
        std::string seen;
        read_until(child.out, seen, Clock::now() + 1500ms, [](const std::string&) { return false; });
        std::size_t cycles = 0;
        for (std::size_t at = seen.find("\x1b[10;30f"); at != std::string::npos; at = seen.find("\x1b[10;30f", at + 1)) {
            ++cycles;
        }
        EXPECT_GE(cycles, 10U);
        EXPECT_LE(cycles, 16U);
        EXPECT_TRUE(child.alive());
    }
}

TEST(Streams, TerminationWithoutATerminalStillLeavesCleanly) {
    Child child;
    start(child, Stdin::DevNull, Stdout::Pipe);
    std::string seen;
    ASSERT_TRUE(read_until(child.out, seen, Clock::now() + 2s,
                           [](const std::string& s) { return s.find("\x1b[11;30f") != std::string::npos; }));
    ::kill(child.pid, SIGTERM);
    read_until(child.out, seen, Clock::now() + 2s, [](const std::string&) { return false; });
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    child.pid = -1;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(seen.substr(seen.size() - 11), "\x1b[0m\x1b[12;1f");
}

}  // namespace
}  // namespace panel::e2e
