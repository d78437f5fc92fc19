// The panel driven in-process, cycle by cycle: state and drawn bytes after key
// scripts, the flush points, the beeper and backlight, the pacing of cycles
// on a fake clock, and a suspend that waits for the cycle's end. Polling and
// reading keys, and writing to failing streams, are the end-to-end tests'.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstring>

#include "backlight_beep_control.h"
#include "backlight_controller.h"
#include "display_controller.h"
#include "input.h"
#include "mode_controller.h"
#include "output_sink.h"
#include "pacing.h"
#include "temp_controller.h"
#include "terminal.h"
#include "test_support.h"
#include "time_controller.h"
#include "time_temp_mode_control.h"

namespace panel {
namespace {

using test::Recorder;
using test::run;

const char* const MODE_TEXTS[] = {"00: manual",
                                  "01: \xEB\x96\xA1",
                                  "02: \xEC\xA3\xBD",
                                  "03: \xEB\xB0\xA5",
                                  "04: \xEA\xB5\xAD/\xEC\xB0\x8C\xEA\xB0\x9C",
                                  "05: \xED\x94\xBC\xEC\x9E\x90"};

// Row 10 as drawn: time form plus one blank, or temperature form plus three.
std::string row10(const std::string& text, int color) {
    return "\x1b[" + std::to_string(color) + "m" + text + "\x1b[0m" + (text.size() == 3 ? "   " : " ");
}

struct Scenario {
    const char* script;
    std::int32_t time, set_temp, cur_temp, operation, opening, mode, raise, setting, text_row;
    const char* drawn;  // row 10 of the last cycle
    std::int32_t color;
};

// I/R/E: idle, running, ended; C: closed (the door's cases are scenarios);
// N: no raise; T/P: time, temperature.
constexpr std::int32_t I = OP_IDLE, R = OP_RUNNING, E = OP_ENDED, C = OPENING_CLOSED;
constexpr std::int32_t N = RAISE_NONE, T = SETTING_TIME, P = SETTING_TEMP;

// clang-format off
const Scenario SCENARIOS[] = {
    // script                 time set cur op open mode raise sel text  row 10
    {".",                        0, 20, 20, I, C, 0, N, T, 0, "00:00", 32},
    {"b{21}",                   30, 90, 20, I, C, 0, N, T, 0, "10:00", 32},
    {"cbbbb",                    0, 90, 20, I, C, 0, N, P, 0, "80C", 32},    // time waits for a quiet cycle
    {"cbbbbb.",                  6, 40, 20, I, C, 0, N, P, 0, "40C", 32},
    {"axex{98}",                 1, 50, 50, R, C, 0, N, T, 0, "00:01", 33},  // 10 s run: cycle 99
    {"axex{99}",                 0, 50, 50, E, C, 0, N, T, 0, "00:01", 33},  // ends in cycle 100
    {"caxex{29}",                0, 30, 30, E, C, 0, N, P, 0, "20C", 33},    // last rise in the last cycle
    {"caxex{29}.",               0, 30, 30, E, C, 0, N, P, 0, "30C", 32},    // ended shows the current temperature
    {"d{4}xex{2999}..",          0, 90, 90, E, C, 4, N, T, 4, "00:00", 32},  // ended keeps time 0, no preset
    {"dxdxe",                   90, 90, 20, R, C, 2, N, T, 2, "01:30", 32},
    {"dxad{4}",                300, 90, 20, I, C, 5, N, T, 5, "02:00", 32},  // automatic modes refuse a raise
    {"dxad{5}.",                 0, 20, 20, I, C, 0, N, T, 0, "00:00", 32},  // so none reaches manual mode
    {"dxaxe",                   60, 90, 20, R, C, 1, N, T, 1, "01:00", 32},  // and the preset still loads
    {"d{3}xex{25}ea",           10, 50, 20, I, C, 0, N, T, 0, "00:00", 32},  // after a cancel a press counts
    {"d{3}xex{25}ea.",          10, 50, 20, I, C, 0, N, T, 0, "00:10", 32},  // at once
    {"d.eeaa",                  20, 80, 20, I, C, 0, N, T, 0, "00:10", 32},  // and the next one adds to it
    {"d.eeab",                  40, 90, 20, I, C, 0, N, T, 0, "00:10", 32},
    {"d.eeac",                   0, 20, 20, I, C, 0, N, P, 0, "20C", 32},    // the selector clears it
    {"d.eeaca",                  0, 30, 20, I, C, 0, N, P, 0, "20C", 32},
    {"d.eeaff",                 10, 50, 20, I, C, 0, N, T, 0, "00:10", 33},  // the door does not drop it
    {"d{5}e",                  120, 90, 20, I, C, 5, N, T, 5, "05:00", 32},  // soup's time is not pizza's
    {"d{5}ee",                 120, 90, 20, R, C, 5, N, T, 5, "02:00", 32},
    {"ca.aee",                   6, 40, 20, R, C, 0, N, P, 0, "20C", 32},
    {"cab.b{2}ae",               3, 30, 20, I, C, 0, N, P, 0, "30C", 32},    // 9 s is not the time for 30
    {"cab.b{2}aee",              3, 30, 20, R, C, 0, N, P, 0, "20C", 32},
    {"d{3}xex{25}e",             0, 20, 20, I, C, 0, N, T, 3, "01:58", 33},  // cancel keeps the frame
    {"d{3}xex{25}e.",            0, 20, 20, I, C, 0, N, T, 0, "00:00", 32},  // mode line follows next cycle
    {"axex{99}abcde",            0, 50, 50, E, C, 0, N, T, 0, "00:00", 32},  // ended refuses a to e
    {"cdc",                     60, 20, 20, I, C, 1, N, P, 1, "00:00", 32},  // automatic modes draw the time
    {"ad{6}.",                   0, 20, 20, I, C, 0, N, T, 0, "00:00", 32},  // 5 to 0 clears the time
    {"caxeecaxex{28}",           1, 30, 20, R, C, 0, N, P, 0, "20C", 33},    // a cancel restarts heating
};
// clang-format on

TEST(Panel, Scenarios) {
    for (const Scenario& s : SCENARIOS) {
        Panel p = test::started();
        Recorder rec(p);
        run(p, s.script);
        const ControlState& c = p.control;
        const TimeTemp& t = p.time_temp;
        EXPECT_EQ(
            (std::array{t.time, t.set_temp, t.cur_temp, c.operation, c.opening_state, c.mode_number,
                        c.raise_button, c.time_temp_setting}),
            (std::array{s.time, s.set_temp, s.cur_temp, s.operation, s.opening, s.mode, s.raise, s.setting}))
            << s.script;
        EXPECT_STREQ(p.outputs.mode_text.bytes, MODE_TEXTS[s.text_row]) << s.script;
        const std::string& drawn = rec.batches[rec.batches.size() - 2];
        EXPECT_EQ(drawn, row10(s.drawn, s.color) + "\x1b[11;30f") << s.script;
    }
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
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(report[0]);
}

}  // namespace
}  // namespace panel
