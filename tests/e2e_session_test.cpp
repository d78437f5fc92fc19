// A whole user session replayed from a key file through the real binary:
// one byte per cycle, 'x' as a pause, the byte stream checked cycle by cycle.
#include <gtest/gtest.h>

#include <vector>

#include "process_support.h"

namespace panel::e2e {
namespace {

// Cycle n's output starts with its row-10 positioning; element n is cycle n.
std::vector<std::string> split_cycles(const std::string& stream) {
    const std::string mark = "\x1b[10;30f";
    std::vector<std::string> cycles(1);
    std::size_t at = stream.find(mark);
    cycles[0] = stream.substr(0, at);
    while (at != std::string::npos) {
        const std::size_t next = stream.find(mark, at + mark.size());
        cycles.push_back(stream.substr(at + mark.size(), next == std::string::npos ? next : next - at - mark.size()));
        at = next;
    }
    return cycles;
}

bool starts_with(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

TEST(EndToEnd, TemperatureThenTimedRunWithBellsAndReset) {
    // 1 c, 2-4 a a a (50C, time 9 follows in 5), 6 c back to the time
    // (cleared), 7 a (10 s), 8 e starts: the run ends in cycle 107, bells in
    // 107, 117 and 127, the door opens in 128.
    const std::string keys = "caaaxcae" + std::string(119, 'x') + "f";
    const std::string path = key_file(keys);
    Child child;
    start(child, Stdin::File, Stdout::Pipe, path);
    std::string stream;
    const bool complete = read_until(child.out, stream, Clock::now() + std::chrono::seconds(20),
                                     [](const std::string& s) { return split_cycles(s).size() > 131; });
    child.stop();
    ::unlink(path.c_str());
    ASSERT_TRUE(complete) << "only " << split_cycles(stream).size() - 1 << " cycles";
    const auto cycles = split_cycles(stream);

    EXPECT_EQ(cycles[0], "");
    EXPECT_TRUE(starts_with(cycles[1], "\x1b[32m20C\x1b[0m   \x1b[11;30f\x1b[32m00: manual\x1b[0m     "));
    EXPECT_TRUE(starts_with(cycles[5], "\x1b[32m50C\x1b[0m   "));
    EXPECT_TRUE(starts_with(cycles[6], "\x1b[32m00:00\x1b[0m "));
    // The start cycle still draws green; yellow from the next cycle on.
    EXPECT_TRUE(starts_with(cycles[8], "\x1b[32m00:10\x1b[0m "));
    for (std::size_t cycle = 9; cycle <= 107; ++cycle) {
        const int shown = 10 - static_cast<int>(cycle - 8) / 10;
        const std::string text = "00:" + std::string(1, char('0' + shown / 10)) + char('0' + shown % 10);
        EXPECT_TRUE(starts_with(cycles[cycle], "\x1b[33m" + text + "\x1b[0m ")) << "cycle " << cycle;
    }
    for (std::size_t cycle = 108; cycle <= 128; ++cycle) {
        EXPECT_TRUE(starts_with(cycles[cycle], "\x1b[32m00:00\x1b[0m ")) << "cycle " << cycle;
    }
    for (std::size_t cycle = 1; cycle < cycles.size(); ++cycle) {
        const bool bell = cycles[cycle].find('\a') != std::string::npos;
        EXPECT_EQ(bell, cycle == 107 || cycle == 117 || cycle == 127) << "cycle " << cycle;
        // Every cycle ends with the plain redraw of the mode line, which
        // reaches the pipe with the next cycle's first flush.
        if (cycle + 1 < cycles.size()) {
            EXPECT_NE(cycles[cycle].find("\x1b[11;30f\x1b[0m00: manual\x1b[0m     "), std::string::npos);
        }
    }
    // Opened after the end: reset to idle, and the open door lights the panel.
    EXPECT_TRUE(starts_with(cycles[129], "\x1b[33m00:00\x1b[0m \x1b[11;30f\x1b[33m00: manual"));
    EXPECT_TRUE(starts_with(cycles[131], "\x1b[33m00:00\x1b[0m "));
}

}  // namespace
}  // namespace panel::e2e
