// Whole control cycles driven by key scripts: the order of the stages decides
// what is drawn in which cycle, so these check state and bytes cycle by cycle.
#include <gtest/gtest.h>

#include <chrono>

#include "test_support.h"

namespace panel {
namespace {

using test::mode_text;
using test::Recorder;
using test::run_idle;
using test::run_keys;
using test::started_panel;

// Row 10 as drawn by the cycle just run (the batch after the row-10 positioning).
std::string row_ten(const Recorder& rec) {
    const auto& b = rec.batches();
    const std::string& batch = b[b.size() - 2];
    return batch.substr(0, batch.size() - 8);  // without the row-11 positioning
}

TEST(Cycle, RunOfTSecondsLastsTenTCyclesCountingTheStartCycle) {
    struct Case {
        const char* setup;  // leaves the panel idle with the time set
        std::int32_t seconds;
    };
    const Case cases[] = {{"ax", 10}, {"caxx", 3}, {"dxx", 60}, {"bbbbx", 120}};
    for (const Case& c : cases) {
        Panel p = started_panel();
        run_keys(p, c.setup);
        ASSERT_EQ(p.time_temp.time, c.seconds) << c.setup;
        run_keys(p, "e");
        for (int cycle = 2; cycle <= 10 * c.seconds; ++cycle) {
            ASSERT_EQ(p.control.operation, OP_RUNNING) << c.setup << " cycle " << cycle;
            run_idle(p, 1);
        }
        EXPECT_EQ(p.control.operation, OP_ENDED) << c.setup;
        EXPECT_EQ(p.time_temp.time, 0);
        // cur_temp ends where the time alone would have put the set temperature.
        EXPECT_EQ(p.time_temp.cur_temp, std::min(90, 20 + 10 * (c.seconds / 3))) << c.setup;
    }
}

TEST(Cycle, CountdownIsDrawnOneCycleLate) {
    Recorder rec;
    Panel p = started_panel();
    run_keys(p, "a");
    for (int cycle = 1; cycle <= 103; ++cycle) {
        Control_Cycle(p, cycle == 1 ? std::optional<std::int8_t>('e') : std::nullopt);
        const int shown = cycle <= 100 ? 10 - (cycle - 1) / 10 : 0;
        const int color = cycle == 1 || cycle > 100 ? 32 : 33;
        const std::string text = "00:" + std::string(1, char('0' + shown / 10)) + char('0' + shown % 10);
        EXPECT_EQ(row_ten(rec), test::time_line(text, color)) << "run cycle " << cycle;
    }
}

TEST(Cycle, TemperatureFormShowsSetThenCurrentTemperature) {
    Recorder rec;
    Panel p = started_panel();
    run_keys(p, "caaa");
    EXPECT_EQ(row_ten(rec), test::time_line("40C", 32));
    run_keys(p, "x");
    EXPECT_EQ(row_ten(rec), test::time_line("50C", 32));
    EXPECT_EQ(p.time_temp.time, 9);
    run_keys(p, "e");  // the start cycle already shows the current temperature
    EXPECT_EQ(row_ten(rec), test::time_line("20C", 32));
    run_idle(p, 29);  // run cycle 30 heats; its frame was made before
    EXPECT_EQ(row_ten(rec), test::time_line("20C", 33));
    run_idle(p, 1);
    EXPECT_EQ(row_ten(rec), test::time_line("30C", 33));
}

TEST(Cycle, ModeChangeIsSeenByTheTimeStageOneCycleLate) {
    // d from mode 1 to 2 and e in the very next cycle runs mode 1's 60 s.
    Panel p = started_panel();
    run_keys(p, "dxde");
    EXPECT_EQ(p.control.operation, OP_RUNNING);
    EXPECT_EQ(p.time_temp.time, 60);
    EXPECT_EQ(mode_text(p), "02: \xEC\xA3\xBD");

    Panel q = started_panel();
    run_keys(q, "dxdxe");
    EXPECT_EQ(q.time_temp.time, 90);
}

TEST(Cycle, RaisePendingFromAnAutomaticModeIsAppliedBackInManual) {
    Panel p = started_panel();
    run_keys(p, "dxa");  // mode 1 current: the raise waits
    EXPECT_EQ(p.control.raise_button, RAISE_FINE);
    run_keys(p, "dddd");  // modes 2 to 5 load no preset while it waits
    EXPECT_EQ(p.time_temp.time, 60);
    run_keys(p, "d");  // wrap to 0 clears the time; row 5 still current
    EXPECT_EQ(p.time_temp.time, 0);
    EXPECT_EQ(p.control.raise_button, RAISE_FINE);
    run_idle(p, 1);
    EXPECT_EQ(p.time_temp.time, 10);
    EXPECT_EQ(p.time_temp.set_temp, 50);
    EXPECT_EQ(p.control.raise_button, RAISE_NONE);
}

TEST(Cycle, RaisePendingSurvivesARunAndIsDroppedByAnOpeningInItsCycle) {
    Panel p = started_panel();
    run_keys(p, "dxbe");  // pending coarse raise, mode 1 run of 60 s
    run_idle(p, 599);
    ASSERT_EQ(p.control.operation, OP_ENDED);
    EXPECT_EQ(p.control.raise_button, RAISE_COARSE);
    // Opening resets to mode 0 but row 1 stays current while open.
    run_keys(p, "f");
    EXPECT_EQ(p.control.operation, OP_IDLE);
    EXPECT_EQ(p.control.raise_button, RAISE_COARSE);
    run_keys(p, "f");  // closing: row 0 becomes current at the end of this cycle
    EXPECT_EQ(p.time_temp.time, 0);
    run_idle(p, 1);
    EXPECT_EQ(p.time_temp.time, 30);

    // Same, but the door is opened in the cycle the raise would apply: dropped.
    Panel q = started_panel();
    run_keys(q, "dxadddd");
    run_keys(q, "d");  // wrap; raise applies next cycle
    run_keys(q, "f");
    EXPECT_EQ(q.time_temp.time, 0);
    EXPECT_EQ(q.control.raise_button, RAISE_NONE);
    run_keys(q, "f");
    run_idle(q, 2);
    EXPECT_EQ(q.time_temp.time, 0);
}

TEST(Cycle, CancelResetsInItsCycleAndTheModeLineFollowsNextCycle) {
    Recorder rec;
    Panel p = started_panel();
    run_keys(p, "dddxe");  // mode 3, 120 s
    run_idle(p, 25);
    const std::string frame_before = row_ten(rec);
    EXPECT_EQ(frame_before, test::time_line("01:58", 33));
    run_keys(p, "e");
    EXPECT_EQ(row_ten(rec), frame_before);  // the cancel cycle keeps the frame
    EXPECT_EQ(p.control.operation, OP_IDLE);
    EXPECT_EQ(p.control.mode_number, 0);
    EXPECT_TRUE(p.time_temp.time == 0 && p.time_temp.set_temp == 20 && p.time_temp.cur_temp == 20);
    EXPECT_EQ(mode_text(p), "03: \xEB\xB0\xA5");
    EXPECT_EQ(p.outputs.backlight, BACKLIGHT_OFF);
    run_idle(p, 1);
    EXPECT_EQ(mode_text(p), "00: manual");
    EXPECT_EQ(row_ten(rec), test::time_line("00:00", 32));
}

TEST(Cycle, EndThenOpeningResetsWhileTheOldModeStaysUntilClosed) {
    Panel p = started_panel();
    run_keys(p, "ddddxe");  // mode 4, 300 s
    run_idle(p, 2999);
    ASSERT_EQ(p.control.operation, OP_ENDED);
    EXPECT_EQ(p.time_temp.cur_temp, 90);
    run_keys(p, "ae");  // refused while ended
    EXPECT_EQ(p.control.operation, OP_ENDED);
    EXPECT_EQ(p.control.raise_button, RAISE_NONE);
    run_keys(p, "f");
    EXPECT_EQ(p.control.operation, OP_IDLE);
    EXPECT_EQ(p.control.opening_state, OPENING_OPEN);
    EXPECT_EQ(p.outputs.backlight, BACKLIGHT_ON);
    run_keys(p, "abcdex");  // all refused while open
    EXPECT_EQ(mode_text(p), "04: \xEA\xB5\xAD/\xEC\xB0\x8C\xEA\xB0\x9C");
    EXPECT_EQ(p.control.mode_number, 0);
    EXPECT_EQ(p.time_temp.time, 0);
    EXPECT_EQ(p.control.raise_button, RAISE_NONE);
    run_keys(p, "f");
    EXPECT_EQ(mode_text(p), "00: manual");
    EXPECT_EQ(p.outputs.backlight, BACKLIGHT_OFF);
}

TEST(Cycle, ThreeBellsAfterEveryEnd) {
    Recorder rec;
    Panel p = started_panel();
    for (int run = 0; run < 2; ++run) {
        run_keys(p, "axe");
        run_idle(p, 99);
        ASSERT_EQ(p.control.operation, OP_ENDED);
        std::vector<int> bells;
        for (int cycle = 0; cycle < 60; ++cycle) {
            rec.clear();
            // The cycle that ended the run is cycle 0; its bell is already out.
            if (cycle > 0) run_idle(p, 1);
            const std::string out = cycle == 0 ? "" : rec.bytes();
            if (out.find('\a') != std::string::npos) bells.push_back(cycle);
        }
        EXPECT_EQ(bells, (std::vector<int>{10, 20})) << "run " << run;
        run_keys(p, "ff");
    }
}

TEST(Cycle, BellLeavesWithTheModeLineInTheEndingCycle) {
    Recorder rec;
    Panel p = started_panel();
    run_keys(p, "axe");
    run_idle(p, 98);
    rec.clear();
    run_idle(p, 1);
    ASSERT_EQ(p.control.operation, OP_ENDED);
    ASSERT_EQ(rec.batches().size(), 3U);
    EXPECT_EQ(rec.batches()[2], "\x1b[33m00: manual\x1b[0m     \a\x1b[11;30f");
}

TEST(Cycle, EveryCycleEndsWithThePlainModeLinePending) {
    Recorder rec;
    Panel p = started_panel();
    const std::string script = "dxe" + std::string(30, 'x') + "e" + "ddddddaxe";
    for (char key : script) {
        run_keys(p, std::string(1, key));
        const std::string plain = "\x1b[0m" + mode_text(p) + "\x1b[0m     ";
        EXPECT_EQ(rec.pending(), plain.size());
        rec.clear();
        run_idle(p, 1);
        EXPECT_EQ(rec.batches().front().substr(0, plain.size()), plain);
    }
}

TEST(Cycle, LongestPresetRunsFastInProcess) {
    // A 300 s run is 3000 cycles; the cycle's work is a few hundred
    // nanoseconds, so even an unoptimised build stays far below this bound.
    Recorder rec;
    Panel p = started_panel();
    run_keys(p, "ddddx");
    const auto start = std::chrono::steady_clock::now();
    run_keys(p, "e");
    run_idle(p, 2999);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(p.control.operation, OP_ENDED);
    EXPECT_LT(elapsed, std::chrono::milliseconds(200));
}

}  // namespace
}  // namespace panel
