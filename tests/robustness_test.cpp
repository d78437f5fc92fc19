// A million random key bytes, one per cycle, must keep every invariant of the
// panel state in every cycle.
#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace panel {
namespace {

::testing::AssertionResult invariants_hold(const Panel& p) {
    const ControlState& c = p.control;
    const TimeTemp& t = p.time_temp;
    auto fail = [](const char* what) { return ::testing::AssertionFailure() << what; };
    if (t.time < 0 || t.time > 600) return fail("time out of range");
    for (const std::int32_t temp : {t.set_temp, t.cur_temp}) {
        if (temp < 20 || temp > 90 || temp % 10 != 0) return fail("temperature out of range");
    }
    if (c.mode_number < 0 || c.mode_number > 5) return fail("mode out of range");
    if (c.operation != OP_IDLE && c.operation != OP_RUNNING && c.operation != OP_ENDED) {
        return fail("operation outlasted its cycle or is unknown");
    }
    if (c.operation == OP_RUNNING && c.opening_state != OPENING_CLOSED) return fail("running while open");
    if (c.raise_button != RAISE_FINE && c.raise_button != RAISE_COARSE && c.raise_button != RAISE_NONE) {
        return fail("raise_button unknown");
    }
    if (c.time_temp_setting != SETTING_TIME && c.time_temp_setting != SETTING_TEMP) return fail("setting unknown");
    if (c.opening_state != OPENING_CLOSED && c.opening_state != OPENING_OPEN) return fail("opening unknown");
    if (p.time_tick < 0 || p.time_tick > 9) return fail("time_tick out of range");
    if (p.temp_tick < 0 || p.temp_tick > 29) return fail("temp_tick out of range");
    if (p.beep_tick < 0 || p.beep_tick > 30) return fail("beep_tick out of range");
    if (p.current_mode < MODE_TABLE.data() || p.current_mode >= MODE_TABLE.data() + MODE_TABLE.size()) {
        return fail("current_mode outside the table");
    }
    if (p.outputs.backlight != BACKLIGHT_OFF && p.outputs.backlight != BACKLIGHT_ON) return fail("backlight");
    if (p.outputs.beeper != BEEPER_OFF && p.outputs.beeper != BEEPER_ON) return fail("beeper");
    for (const std::int32_t digit : p.outputs.display.digits) {
        if (digit < 0 || digit > 9) return fail("display digit out of range");
    }
    return ::testing::AssertionSuccess();
}

TEST(Robustness, MillionRandomBytesKeepEveryInvariant) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> any_byte(0, 255);
    std::uniform_int_distribution<int> choice(0, 15);
    Panel p = test::started_panel();
    int runs_started = 0;
    for (int cycle = 0; cycle < 1'000'000; ++cycle) {
        // Half the cycles take a byte of any value; the rest favour the six
        // keys and pauses, so the panel really runs, ends and resets.
        const int pick = choice(random);
        std::optional<std::int8_t> key;
        if (pick < 8) {
            key = static_cast<std::int8_t>(any_byte(random));
        } else if (pick < 14) {
            key = static_cast<std::int8_t>('a' + (pick - 8));
        }
        const bool was_running = p.control.operation == OP_RUNNING;
        Control_Cycle(p, key);
        runs_started += !was_running && p.control.operation == OP_RUNNING;
        ASSERT_TRUE(invariants_hold(p)) << "cycle " << cycle;
    }
    EXPECT_GT(runs_started, 1000);
}

}  // namespace
}  // namespace panel
