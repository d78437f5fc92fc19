// Time controller, second control stage of the cycle: after the display
// conversion, before the temperature controller (which sees the time this
// stage leaves). The current_mode row is the one selected at the end of the
// previous cycle, while mode_number already holds this cycle's mode key; the
// tests below read each where the panel needs it. A raise counts whenever the
// panel is in manual mode, also in the cycle after a cancel, when the row
// shown is still the cancelled mode's.
#include "time_controller.h"

namespace panel {
namespace {

constexpr std::int32_t CYCLES_PER_SECOND = 10;

}  // namespace

std::int32_t Decrease_Time(const TimeTemp time_temp, std::int32_t& time_tick) {
    std::int32_t time = time_temp.time;
    time_tick += 1;
    if (time_tick == CYCLES_PER_SECOND) {
        time -= 1;
        time_tick = 0;
    }
    return time;
}

std::int32_t Set_Time_by_RBmode(ControlState& control, const TimeTemp time_temp) {
    std::int32_t time = time_temp.time;
    if (control.opening_state == OPENING_CLOSED) {
        time = Apply_Raise(time, control.raise_button, TIME_RAISE);
    }
    // A press that meets an open appliance is dropped, not kept for later.
    control.raise_button = RAISE_NONE;
    return time;
}

std::int32_t Set_Time_by_Temp(const TimeTemp time_temp) { return ((time_temp.set_temp - MIN_TEMP) / 10) * 3; }

std::int32_t Set_Time_by_Mode(const ControlState& control, const TimeTemp time_temp,
                              // cppcheck-suppress passedByValue ; a snapshot of the mode row
                              const ModeInfo current_mode) {
    if (control.operation == OP_ENDED) {
        return time_temp.time;  // an ended run keeps its time instead of reloading the preset
    }
    return current_mode.time;
}

// cppcheck-suppress passedByValue ; the mode row is a snapshot taken at the call
void Time_Controller(ControlState& control, TimeTemp& time_temp, const ModeInfo current_mode,
                     std::int32_t& time_tick) {
    const TimeTemp snapshot = time_temp;
    if (time_temp.time != 0 && control.operation == OP_RUNNING) {
        time_temp.time = Decrease_Time(snapshot, time_tick);
        return;
    }
    if (control.raise_button != RAISE_NONE && control.time_temp_setting == SETTING_TIME &&
        control.operation == OP_IDLE && control.mode_number == 0) {
        time_temp.time = Set_Time_by_RBmode(control, snapshot);
        return;
    }
    if (control.raise_button == RAISE_NONE && control.time_temp_setting == SETTING_TEMP &&
        control.operation == OP_IDLE) {
        if (control.mode_number == 0) {
            time_temp.time = Set_Time_by_Temp(snapshot);
        } else {
            time_temp.time = Set_Time_by_Mode(control, snapshot, current_mode);
        }
        return;
    }
    if (control.raise_button == RAISE_NONE && control.mode_number != 0) {
        time_temp.time = Set_Time_by_Mode(control, snapshot, current_mode);
    }
}

}  // namespace panel
