// Temperature controller, third control stage of the cycle: right after the
// time controller, whose result of this cycle it sees. While running it raises
// the current temperature by 10 every 30 cycles up to 90; while idle it applies
// a raise to the set temperature (temperature selected, manual mode) or
// derives the set temperature from the time (time selected, any mode).
#include "temp_controller.h"

namespace panel {
namespace {

constexpr std::int32_t CYCLES_PER_HEATING_STEP = 30;
constexpr std::int32_t HEATING_STEP = 10;

}  // namespace

std::int32_t Raise_Temp(const TimeTemp& time_temp, std::int32_t& temp_tick) {
    std::int32_t temperature = time_temp.cur_temp;
    temp_tick += 1;
    if (temp_tick == CYCLES_PER_HEATING_STEP) {
        if (temperature < MAX_TEMP) {
            temperature += HEATING_STEP;
        }
        temp_tick = 0;
    }
    return temperature;
}

std::int32_t Set_Temp_by_RBmode(ControlState& control, const TimeTemp& time_temp) {
    std::int32_t temperature = time_temp.set_temp;
    if (control.opening_state == OPENING_CLOSED) {
        temperature = Apply_Raise(temperature, control.raise_button, TEMP_RAISE);
    }
    // A press that meets an open appliance is dropped, not kept for later.
    control.raise_button = RAISE_NONE;
    return temperature;
}

std::int32_t Set_Temp_by_Time(const TimeTemp& time_temp) {
    std::int32_t temperature = (time_temp.time / 3) * 10 + MIN_TEMP;
    if (temperature > MAX_TEMP) {
        temperature = MAX_TEMP;
    } else if (temperature < MIN_TEMP) {
        temperature = MIN_TEMP;
    }
    return temperature;
}

// The mode row the cycle hands in is the one shown since the previous cycle;
// a raise asks whether the panel is in manual mode now (mode_number), so a
// press right after a cancel counts at once instead of waiting for the row.
void Temp_Controller(ControlState& control, TimeTemp& time_temp, std::int32_t& temp_tick,
                     // cppcheck-suppress passedByValue ; the mode row is a snapshot taken at the call
                     const ModeInfo /*current_mode*/) {
    if (control.operation == OP_RUNNING) {
        time_temp.cur_temp = Raise_Temp(time_temp, temp_tick);
        return;
    }
    if (control.raise_button != RAISE_NONE && control.time_temp_setting == SETTING_TEMP &&
        control.operation == OP_IDLE && control.mode_number == 0) {
        time_temp.set_temp = Set_Temp_by_RBmode(control, time_temp);
        return;
    }
    if (control.raise_button == RAISE_NONE && control.time_temp_setting == SETTING_TIME &&
        control.operation == OP_IDLE) {
        time_temp.set_temp = Set_Temp_by_Time(time_temp);
    }
}

}  // namespace panel
