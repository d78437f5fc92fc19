// The decision stages on their own: key guards, time and temperature rules,
// operation transitions, backlight and beeper.
#include <gtest/gtest.h>

#include "backlight_beep_control.h"
#include "backlight_controller.h"
#include "beeper_controller.h"
#include "display_controller.h"
#include "input.h"
#include "operation_control.h"
#include "temp_controller.h"
#include "test_support.h"
#include "time_controller.h"

namespace panel {
namespace {

bool operator==(const ControlState& a, const ControlState& b) {
    return a.raise_button == b.raise_button && a.time_temp_setting == b.time_temp_setting &&
           a.operation == b.operation && a.opening_state == b.opening_state && a.mode_number == b.mode_number;
}
bool operator==(const TimeTemp& a, const TimeTemp& b) {
    return a.time == b.time && a.set_temp == b.set_temp && a.cur_temp == b.cur_temp;
}

void press(ControlState& control, TimeTemp& time_temp, char key) {
    Determine_Button_Input(control, static_cast<std::int8_t>(key), time_temp);
    Opening_Detection(control, static_cast<std::int8_t>(key));
}

TEST(Input, KeysByPanelState) {
    // Starting from time 40, set temperature 50, current 70, mode 2 (mode 5
    // for the wrap row), what each key changes in each state.
    const ControlState idle{RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 2};
    const ControlState open{RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_OPEN, 2};
    const ControlState running{RAISE_NONE, SETTING_TIME, OP_RUNNING, OPENING_CLOSED, 2};
    const ControlState ended{RAISE_NONE, SETTING_TIME, OP_ENDED, OPENING_CLOSED, 2};
    const ControlState manual{RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0};
    const ControlState last_mode{RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 5};
    const TimeTemp tt{40, 50, 70};
    const TimeTemp cleared{0, 20, 70};
    struct Case {
        ControlState before;
        char key;
        ControlState after;
        TimeTemp time_temp_after;
    };
    const Case cases[] = {
        {idle, 'a', {RAISE_FINE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 2}, tt},
        {idle, 'b', {RAISE_COARSE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 2}, tt},
        {idle, 'c', idle, tt},  // the selector works in manual mode only
        {manual, 'c', {RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0}, cleared},
        {{RAISE_FINE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0}, 'c',
         {RAISE_FINE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0}, cleared},
        {idle, 'd', {RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 3}, tt},
        {last_mode, 'd', {RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0}, cleared},
        {idle, 'e', running, tt},
        {idle, 'f', open, tt},
        {open, 'a', open, tt},
        {open, 'b', open, tt},
        {open, 'c', open, tt},
        {open, 'd', open, tt},
        {open, 'e', open, tt},
        {open, 'f', idle, tt},
        {running, 'a', running, tt},
        {running, 'c', running, tt},
        {running, 'd', running, tt},
        {running, 'e', {RAISE_NONE, SETTING_TIME, OP_CANCEL, OPENING_CLOSED, 2}, tt},
        {running, 'f', running, tt},
        {ended, 'a', ended, tt},
        {ended, 'd', ended, tt},
        {ended, 'e', ended, tt},
        {ended, 'f', {RAISE_NONE, SETTING_TIME, OP_ENDED, OPENING_OPEN, 2}, tt},
    };
    for (const Case& c : cases) {
        ControlState control = c.before;
        TimeTemp time_temp = tt;
        press(control, time_temp, c.key);
        EXPECT_TRUE(control == c.after) << "key " << c.key << " from op " << c.before.operation << " open "
                                        << c.before.opening_state << " mode " << c.before.mode_number;
        EXPECT_TRUE(time_temp == c.time_temp_after) << "key " << c.key;
    }
}

TEST(Input, StartNeedsATime) {
    ControlState control{RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0};
    TimeTemp time_temp{0, 20, 20};
    press(control, time_temp, 'e');
    EXPECT_EQ(control.operation, OP_IDLE);
}

TEST(Input, EveryByteButAToFChangesNothing) {
    const ControlState states[] = {{RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0},
                                   {RAISE_FINE, SETTING_TEMP, OP_IDLE, OPENING_OPEN, 5},
                                   {RAISE_NONE, SETTING_TIME, OP_RUNNING, OPENING_CLOSED, 3},
                                   {RAISE_NONE, SETTING_TIME, OP_ENDED, OPENING_CLOSED, 1}};
    for (int byte = 0; byte < 256; ++byte) {
        if (byte >= 'a' && byte <= 'f') continue;
        for (const ControlState& before : states) {
            ControlState control = before;
            TimeTemp time_temp{40, 50, 70};
            press(control, time_temp, static_cast<char>(byte));
            EXPECT_TRUE(control == before) << byte;
            EXPECT_TRUE(time_temp == (TimeTemp{40, 50, 70})) << byte;
        }
        EXPECT_EQ(Raise_Button_Interface(static_cast<std::int8_t>(byte)), byte);
    }
}

TEST(TimeController, RaiseClampsAndWrapsOnlyFromTheCeiling) {
    struct Case {
        std::int32_t before;
        std::int32_t fine;
        std::int32_t coarse;
    };
    const Case cases[] = {{0, 10, 30}, {570, 580, 600}, {580, 590, 600}, {590, 600, 600}, {600, 10, 30}};
    for (const Case& c : cases) {
        for (const std::int32_t raise : {RAISE_FINE, RAISE_COARSE}) {
            ControlState control{raise, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0};
            TimeTemp time_temp{c.before, 20, 20};
            std::int32_t tick = 0;
            Time_Controller(control, time_temp, MODE_TABLE[0], tick);
            EXPECT_EQ(time_temp.time, raise == RAISE_FINE ? c.fine : c.coarse) << c.before;
            EXPECT_EQ(control.raise_button, RAISE_NONE);
        }
    }
}

TEST(TimeController, RaiseSweepsFromZero) {
    // 60 fine raises reach 600 and the 61st wraps to 10; 20 coarse raises
    // reach 600 and the 21st wraps to 30.
    for (const auto& [raise, step, presses] : {std::tuple{RAISE_FINE, 10, 60}, std::tuple{RAISE_COARSE, 30, 20}}) {
        TimeTemp time_temp{0, 20, 20};
        std::int32_t tick = 0;
        for (int i = 1; i <= presses + 1; ++i) {
            ControlState control{raise, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0};
            Time_Controller(control, time_temp, MODE_TABLE[0], tick);
            EXPECT_EQ(time_temp.time, i <= presses ? i * step : step) << i;
        }
    }
}

TEST(TimeController, GuardChainBySituation) {
    struct Case {
        const char* what;
        ControlState control;
        std::int32_t snapshot_row;
        std::int32_t time_after;
    };
    // Every case starts from time 40 and set temperature 50.
    const Case cases[] = {
        {"countdown step", {RAISE_NONE, SETTING_TIME, OP_RUNNING, OPENING_CLOSED, 0}, 0, 40},
        {"raise dropped when open", {RAISE_FINE, SETTING_TIME, OP_IDLE, OPENING_OPEN, 0}, 0, 40},
        {"raise pending in automatic row", {RAISE_FINE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 2}, 2, 40},
        {"time from set temperature", {RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0}, 0, 9},
        {"preset with temperature selected", {RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 3}, 3, 120},
        {"preset of the lagging row", {RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 2}, 1, 60},
        {"preset in a cancel cycle", {RAISE_NONE, SETTING_TIME, OP_CANCEL, OPENING_CLOSED, 4}, 4, 300},
        {"ended keeps its time", {RAISE_NONE, SETTING_TIME, OP_ENDED, OPENING_CLOSED, 4}, 4, 40},
        {"manual, time selected, nothing to do", {RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0}, 0, 40},
        {"reset by opening, old row", {RAISE_NONE, SETTING_TIME, OP_IDLE, OPENING_OPEN, 0}, 4, 40},
    };
    for (const Case& c : cases) {
        ControlState control = c.control;
        TimeTemp time_temp{40, 50, 20};
        std::int32_t tick = 3;
        Time_Controller(control, time_temp, MODE_TABLE[static_cast<std::size_t>(c.snapshot_row)], tick);
        EXPECT_EQ(time_temp.time, c.time_after) << c.what;
        EXPECT_EQ(tick, c.control.operation == OP_RUNNING ? 4 : 3) << c.what;
    }
}

TEST(TimeAndTemperature, DerivationsAgree) {
    struct Case {
        std::int32_t set_temp;
        std::int32_t time;
    };
    const Case cases[] = {{20, 0}, {30, 3}, {40, 6}, {50, 9}, {60, 12}, {70, 15}, {80, 18}, {90, 21}};
    for (const Case& c : cases) {
        EXPECT_EQ(Set_Time_by_Temp(TimeTemp{0, c.set_temp, 20}), c.time);
        for (std::int32_t extra = 0; extra < 3; ++extra) {
            EXPECT_EQ(Set_Temp_by_Time(TimeTemp{c.time + extra, 20, 20}), c.set_temp) << c.time + extra;
        }
    }
    EXPECT_EQ(Set_Temp_by_Time(TimeTemp{600, 20, 20}), 90);
}

TEST(TempController, RaiseClampsAndWrapsToOneStepAboveTheLowest) {
    struct Case {
        std::int32_t before;
        std::int32_t fine;
        std::int32_t coarse;
    };
    const Case cases[] = {{20, 30, 40}, {60, 70, 80}, {70, 80, 90}, {80, 90, 90}, {90, 30, 40}};
    for (const Case& c : cases) {
        for (const std::int32_t raise : {RAISE_FINE, RAISE_COARSE}) {
            ControlState control{raise, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0};
            TimeTemp time_temp{0, c.before, 20};
            std::int32_t tick = 0;
            Temp_Controller(control, time_temp, tick, MODE_TABLE[0]);
            EXPECT_EQ(time_temp.set_temp, raise == RAISE_FINE ? c.fine : c.coarse) << c.before;
            EXPECT_EQ(control.raise_button, RAISE_NONE);
        }
    }
}

TEST(TempController, HeatingRisesEveryThirtyCyclesUpToNinety) {
    ControlState control{RAISE_NONE, SETTING_TIME, OP_RUNNING, OPENING_CLOSED, 0};
    TimeTemp time_temp{100, 20, 20};
    std::int32_t tick = 0;
    for (int cycle = 1; cycle <= 400; ++cycle) {
        Temp_Controller(control, time_temp, tick, MODE_TABLE[0]);
        EXPECT_EQ(time_temp.cur_temp, std::min(90, 20 + 10 * (cycle / 30))) << cycle;
        EXPECT_EQ(tick, cycle % 30) << cycle;
    }
    EXPECT_EQ(time_temp.set_temp, 20);
}

TEST(TempController, NothingChangesWhileEndedOrCancelled) {
    for (const std::int32_t operation : {OP_ENDED, OP_CANCEL}) {
        ControlState control{RAISE_NONE, SETTING_TIME, operation, OPENING_CLOSED, 0};
        TimeTemp time_temp{30, 40, 60};
        std::int32_t tick = 7;
        Temp_Controller(control, time_temp, tick, MODE_TABLE[0]);
        EXPECT_TRUE(time_temp == (TimeTemp{30, 40, 60}));
        EXPECT_EQ(tick, 7);
    }
}

TEST(OperationControl, EndAndResets) {
    struct Case {
        std::int32_t operation;
        std::int32_t opening;
        std::int32_t time;
        std::int32_t operation_after;
        bool reset;
    };
    const Case cases[] = {
        {OP_RUNNING, OPENING_CLOSED, 0, OP_ENDED, false},  {OP_RUNNING, OPENING_CLOSED, 5, OP_RUNNING, false},
        {OP_ENDED, OPENING_CLOSED, 0, OP_ENDED, false},    {OP_ENDED, OPENING_OPEN, 0, OP_IDLE, true},
        {OP_CANCEL, OPENING_CLOSED, 120, OP_IDLE, true},   {OP_IDLE, OPENING_OPEN, 30, OP_IDLE, false},
    };
    for (const Case& c : cases) {
        ControlState control{RAISE_COARSE, SETTING_TEMP, c.operation, c.opening, 4};
        TimeTemp time_temp{c.time, 60, 70};
        std::int32_t temp_tick = 11, beep_tick = 12, time_tick = 13;
        Operation_Control(control, time_temp, temp_tick, beep_tick, time_tick);
        EXPECT_EQ(control.operation, c.operation_after);
        // The reset keeps the pending raise and the door; the end touches nothing else.
        EXPECT_EQ(control.raise_button, RAISE_COARSE);
        EXPECT_EQ(control.opening_state, c.opening);
        EXPECT_EQ(control.mode_number, c.reset ? 0 : 4);
        EXPECT_EQ(control.time_temp_setting, c.reset ? SETTING_TIME : SETTING_TEMP);
        EXPECT_TRUE(time_temp == (c.reset ? TimeTemp{0, 20, 20} : TimeTemp{c.time, 60, 70}));
        EXPECT_EQ(temp_tick + beep_tick + time_tick, c.reset ? 0 : 36);
    }
}

TEST(Signals, BacklightTable) {
    struct Case {
        std::int32_t operation;
        std::int32_t closed;
        std::int32_t open;
    };
    const Case cases[] = {{OP_IDLE, BACKLIGHT_OFF, BACKLIGHT_ON},
                          {OP_RUNNING, BACKLIGHT_ON, BACKLIGHT_OFF},
                          {OP_ENDED, BACKLIGHT_OFF, BACKLIGHT_ON},
                          {OP_CANCEL, BACKLIGHT_OFF, BACKLIGHT_ON}};
    for (const Case& c : cases) {
        EXPECT_EQ(Backlight_Controller({RAISE_NONE, SETTING_TIME, c.operation, OPENING_CLOSED, 0}), c.closed);
        EXPECT_EQ(Backlight_Controller({RAISE_NONE, SETTING_TIME, c.operation, OPENING_OPEN, 0}), c.open);
    }
    PanelOutputs outputs{};
    outputs.backlight = BACKLIGHT_OFF;
    EXPECT_EQ(Backlight_Interface(outputs), 32);
    outputs.backlight = BACKLIGHT_ON;
    EXPECT_EQ(Backlight_Interface(outputs), 33);
}

TEST(Signals, BeeperRingsOnCyclesZeroTenTwentyOfTheEnd) {
    test::Recorder rec;
    const ControlState ended{RAISE_NONE, SETTING_TIME, OP_ENDED, OPENING_CLOSED, 0};
    PanelOutputs outputs{};
    outputs.mode_text = ModeText{"00: manual"};
    std::int32_t beep_tick = 0;
    for (int cycle = 0; cycle < 45; ++cycle) {
        rec.clear();
        Backlight_and_Beep_Control(ended, beep_tick, outputs);
        const bool bell = rec.bytes().find('\a') != std::string::npos;
        EXPECT_EQ(bell, cycle == 0 || cycle == 10 || cycle == 20) << cycle;
        EXPECT_EQ(beep_tick, std::min(cycle + 1, 30)) << cycle;
        EXPECT_EQ(outputs.beeper, cycle < 29 ? BEEPER_ON : BEEPER_OFF) << cycle;
        EXPECT_EQ(outputs.backlight, BACKLIGHT_OFF);
    }
}

TEST(Guards, ValuesOutsideTheListedOnesChangeNothing) {
    // Fields hold only their listed values in the running panel; a guard fed
    // anything else must fail and leave the field as it was.
    TimeTemp tt{40, 50, 20};
    EXPECT_EQ(Determine_Raise_Button('c', OP_IDLE, OPENING_CLOSED, RAISE_NONE), RAISE_NONE);
    EXPECT_EQ(Determine_Opening_state('f', OP_IDLE, 5), 5);
    EXPECT_EQ(Determine_Start_Cancel_Setting('e', OP_ENDED, OPENING_CLOSED, tt), OP_ENDED);
    // The selector still clears time and set temperature, as it does for any accepted press.
    EXPECT_EQ(Determine_Time_Temp_setting({}, tt, 'c', 7, OP_IDLE, OPENING_CLOSED), 7);
    EXPECT_TRUE(tt == (TimeTemp{0, 20, 20}));
    EXPECT_EQ(Convert_to_DpTemp({RAISE_NONE, SETTING_TIME, OP_CANCEL, OPENING_CLOSED, 0}, TimeTemp{0, 50, 60}),
              (std::array<std::int32_t, 2>{0, 0}));

    ControlState unknown_raise{2, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 0};
    EXPECT_EQ(Set_Time_by_RBmode(unknown_raise, TimeTemp{40, 50, 20}), 40);
    unknown_raise.raise_button = 2;
    EXPECT_EQ(Set_Temp_by_RBmode(unknown_raise, TimeTemp{40, 50, 20}), 50);
    EXPECT_EQ(Set_Temp_by_Time(TimeTemp{-3, 50, 20}), 20);

    PanelOutputs outputs{};
    outputs.backlight = 7;
    EXPECT_EQ(Backlight_Interface(outputs), 32);
    // A beeper left on past its 30 cycles rings no more and is switched off.
    test::Recorder rec;
    outputs.beeper = BEEPER_ON;
    std::int32_t beep_tick = 30;
    Beeper_Interface(outputs, beep_tick);
    panel_output().flush();
    EXPECT_EQ(rec.bytes(), "");
    EXPECT_EQ(beep_tick, 30);
    EXPECT_EQ(outputs.beeper, BEEPER_OFF);
}

}  // namespace
}  // namespace panel
