// The panel driven in-process, cycle by cycle: the drawn bytes and the flush
// points, the bells and the beeper, the pacing of cycles on a fake clock, and
// a suspend that waits for the cycle's end. What key scripts leave in the
// state and on the rows is checked by the conformance suite and the
// scenarios; polling and reading keys, and writing to failing streams, are
// the end-to-end tests'.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include <cstring>

#include "backlight_beep_control.h"
#include "command_line.h"
#include "mode_controller.h"
#include "output_sink.h"
#include "pacing.h"
#include "terminal.h"
#include "test_support.h"
#include "time_temp_mode_control.h"

namespace panel {
namespace {

using test::Recorder;
using test::run;

// Row 10 as drawn: time form plus one blank, or temperature form plus three.
std::string row10(const std::string& text, int color) {
    return "\x1b[" + std::to_string(color) + "m" + text + "\x1b[0m" + (text.size() == 3 ? "   " : " ");
}

TEST(Panel, FlushesFollowPositioningsOnly) {
    // Three flushes a cycle, each right after a positioning; the plain mode
    // line stays buffered until the next cycle positions the cursor.
    Panel p = test::started();
    Recorder rec(p);
    run(p, "..");
    const std::string line10 = row10("00:00", 32) + "\x1b[11;30f";
    const std::string line11 = "\x1b[32m00: manual\x1b[0m     \x1b[11;30f";
    const std::string plain = "\x1b[0m00: manual\x1b[0m     ";
    EXPECT_EQ(rec.batches, (std::vector<std::string>{"\x1b[10;30f", line10, line11, plain + "\x1b[10;30f",
                                                     line10, line11}));
    EXPECT_EQ(p.output.pending(), plain.size());
    run(p, "caaaxcae.{120}ff..");  // through a whole session: one positioning per batch, at its end
    EXPECT_EQ(rec.batches.size(), 3U * 134U);
    for (const std::string& batch : rec.batches) EXPECT_EQ(batch.find("\x1b[1"), batch.size() - 8) << batch;
    // The temperature form is padded to the time form's width.
    EXPECT_NE(std::find(rec.batches.begin(), rec.batches.end(), row10("50C", 32) + "\x1b[11;30f"), rec.batches.end());
}

TEST(Panel, ThreeBellsTenCyclesApartAfterEveryEnd) {
    Panel p = test::started();
    Recorder rec(p);
    for (int round = 0; round < 2; ++round) {
        run(p, "axex{98}");
        std::vector<int> bells;
        for (int cycle = 0; cycle < 40; ++cycle) {
            rec.batches.clear();
            run(p, ".");
            if (rec.batches[2].find('\a') != std::string::npos) bells.push_back(cycle);
            EXPECT_EQ(p.outputs.beeper, cycle < 29 ? BEEPER_ON : BEEPER_OFF) << cycle;
            // The bell leaves with the coloured mode line, before the plain redraw.
            if (cycle == 0) {
                EXPECT_EQ(rec.batches[2], "\x1b[33m00: manual\x1b[0m     \a\x1b[11;30f");
            }
        }
        EXPECT_EQ(bells, (std::vector<int>{0, 10, 20}));
        EXPECT_EQ(p.beep_tick, 30);
        run(p, "ff");
    }
}

TEST(Panel, LongestModeLineAndABatchOverTheBuffer) {
    ModeInfo full{3, {}, 'A'};  // a name of 20 bytes has no NUL to end it; the time follows
    std::fill(std::begin(full.name), std::end(full.name), 'x');
    PanelOutputs longest{};
    longest.mode_text = Display_Mode_Name(&full);
    EXPECT_EQ(std::string_view(longest.mode_text.bytes, ::strnlen(longest.mode_text.bytes, MODE_TEXT_SIZE)),
              "03: " + std::string(20, 'x'));
    {
        Recorder rec;  // drawn whole; a batch over the buffer's size goes out in two
        Mode_Interface(longest, 0);
        panel_output().put(std::string(130, 'y').data(), 130);
        panel_output().flush();
        panel_output().put('z');
        for (const std::int32_t n : {INT32_MIN, -7, 100, 99, 0}) panel_output().put_decimal(n), panel_output().put(' ');
        panel_output().flush();
        EXPECT_EQ(rec.batches, (std::vector<std::string>{"\x1b[11;30f",
                                                         "\x1b[0m03: " + std::string(20, 'x') +
                                                             "\x1b[0m     " + std::string(91, 'y'),
                                                         std::string(39, 'y'), "z-2147483648 -7 100 99 0 "}));
    }
}

TEST(Panel, PacingKeepsTheGridAndNeverBursts) {
    // A fake clock in milliseconds' worth of nanoseconds: each sleep wakes
    // late by the next of the given amounts.
    struct Fake {
        std::int64_t now;
        std::vector<std::int64_t> late;
        std::size_t next;
    };
    constexpr std::int64_t MS = 1'000'000;
    const std::pair<std::vector<std::int64_t>, std::vector<std::int64_t>> cases[] = {
        {{0, 0, 0}, {200, 300, 400}},        // on time
        {{30, 99, 0}, {200, 300, 400}},      // late by less than a period: back on the grid
        {{100, 0}, {300, 400}},              // a whole period late: the rhythm starts again
        {{2000, 0, 0}, {2200, 2300, 2400}},  // stopped for 2 s: one late cycle, no burst
    };
    for (const auto& [late, deadlines] : cases) {
        Fake fake{0, late, 0};
        const PacingClock clock{[](void* f) { return static_cast<Fake*>(f)->now; },
                                [](void* f, std::int64_t deadline) {
                                    auto& c = *static_cast<Fake*>(f);
                                    c.now = std::max(c.now, deadline) + c.late[c.next++] * MS;
                                },
                                &fake};
        Pacer pacer(clock);
        EXPECT_EQ(pacer.deadline(), 100 * MS);
        std::vector<std::int64_t> seen;
        for (std::size_t i = 0; i < late.size(); ++i) pacer.wait(), seen.push_back(pacer.deadline() / MS);
        EXPECT_EQ(seen, deadlines);
    }
}

TEST(Panel, ASuspendInACycleWaitsForItsEnd) {
    // In a child of this test: Ctrl-Z's signal delivered in the middle of a
    // cycle leaves the child running until the cycle ends, and stops it then.
    // The child leads a process group of its own, whose parent (this test)
    // is outside it: a group without one is orphaned, and the kernel then
    // discards a suspend's stop wherever the suite happens to run.
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << "fork";
    if (child == 0) {
        (void)::setpgid(0, 0);
        (void)::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);  // the leaving sequence
        install_signal_handlers();
        cycle_begins();
        ::raise(SIGTSTP);
        const char mid = 'm';  // still running: the suspend waits
        (void)!::write(report[1], &mid, 1);
        cycle_ends();  // stops here
        cycle_begins();  // and, resumed, runs its next cycle through
        cycle_ends();
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
    EXPECT_TRUE(WIFSTOPPED(status) && WSTOPSIG(status) == SIGTSTP);
    // Written before the stop, so there without waiting; a suspend taken at
    // once would have stopped the child before it wrote.
    ::fcntl(report[0], F_SETFL, O_NONBLOCK);
    char mid = 0;
    EXPECT_EQ(::read(report[0], &mid, 1), 1);
    ::kill(child, SIGCONT);  // our own child, above 0
    // Resumed, its next cycle runs to the end: the suspend was taken once.
    EXPECT_EQ(::waitpid(child, &status, WUNTRACED), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (WIFSTOPPED(status)) {
        ::kill(child, SIGKILL);  // our own child, above 0
        (void)::waitpid(child, &status, 0);
    }
    ::close(report[0]);
}

// A table may put an option without a letter before one with a letter.
TEST(CommandLine, OptionsWithoutALetterGoAnywhereInTheTable) {
    const OptionRow ROWS[] = {{0, 0, Argument::NONE, Repeat::LAST_WINS, "long-only", nullptr, "one"},
                              {1, 'x', Argument::REQUIRED, Repeat::LAST_WINS, "ex", "N", "two"}};
    char program[] = "program", letter[] = "-x3", word[] = "--long-only";
    char* argv[] = {program, letter, word, nullptr};
    optind = 0;  // getopt_long starts afresh
    CommandLine line({"program", "", "", ""}, ROWS, 3, argv);
    EXPECT_EQ(line.next(), 1);
    EXPECT_STREQ(line.argument(), "3");
    EXPECT_EQ(line.next(), 0);
    EXPECT_EQ(line.next(), CommandLine::END);
}

// The terminal's helpers that need no terminal: which sizes fit, what a
// clear writes, a descriptor that is no terminal refused, and key polling on
// a pipe in place of standard input.
TEST(Terminal, SizesTheClearAndPollingWithoutWaiting) {
    const struct {
        TerminalSize size;
        bool fits;
    } SIZES[] = {{{0, 0}, true},   {{0, 10}, true},   {{10, 0}, true},
                 {{12, 45}, true}, {{11, 200}, false}, {{200, 44}, false}};
    for (const auto& [size, fit] : SIZES) EXPECT_EQ(fits(size), fit) << size.rows << "x" << size.columns;

    constexpr std::string_view CLEAR = "\x1b[H\x1b[2J";
    const std::string notice = TOO_SMALL_NOTICE;
    const struct {
        std::optional<TerminalSize> size;
        std::string shown;
    } CLEARS[] = {{std::nullopt, ""}, {TerminalSize{12, 45}, ""}, {TerminalSize{5, 10}, notice.substr(0, 10)},
                  {TerminalSize{5, 200}, notice}};
    for (const auto& [size, shown] : CLEARS) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        clear_screen(out[1], size);
        ::close(out[1]);
        char bytes[128];
        const ssize_t n = ::read(out[0], bytes, sizeof bytes);
        ::close(out[0]);
        EXPECT_EQ(std::string(bytes, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), std::string(CLEAR) + shown);
    }

    int keys[2];
    ASSERT_EQ(::pipe(keys), 0);
    EXPECT_EQ(tty_cbreak(keys[0]), -1);  // a pipe is no terminal
    const int saved = ::dup(STDIN_FILENO);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(::dup2(keys[0], STDIN_FILENO), STDIN_FILENO);
    const auto before = std::chrono::steady_clock::now();
    const int empty = kbdhit();
    const auto waited = std::chrono::steady_clock::now() - before;
    (void)!::write(keys[1], "a", 1);
    const int waiting = kbdhit();
    const int byte = getch();
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    ::close(keys[0]);
    ::close(keys[1]);
    EXPECT_EQ(empty, 0);
    EXPECT_LT(waited, std::chrono::milliseconds(500));  // a cycle's poll never waits for a key
    EXPECT_EQ(waiting, 1);
    EXPECT_EQ(byte, 'a');
}

}  // namespace
}  // namespace panel
