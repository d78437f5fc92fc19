// Start-up values of the panel: manual mode, idle, closed, time 0, both
// temperatures 20, backlight and beeper off. The counters and current_mode are
// set by the cycle's owner before this runs.
#include "panel_state.h"

namespace panel {

void initialize(ControlState& control, TimeTemp& time_temp, PanelOutputs& outputs) {
    control.opening_state = OPENING_CLOSED;
    control.mode_number = 0;
    control.raise_button = RAISE_NONE;
    control.operation = OP_IDLE;
    control.time_temp_setting = SETTING_TIME;

    time_temp.cur_temp = MIN_TEMP;
    time_temp.set_temp = MIN_TEMP;
    time_temp.time = 0;

    // Empty holders: the first cycle fills both before anything draws them.
    outputs.display = DisplayFrame{};
    outputs.mode_text = ModeText{};
    outputs.backlight = BACKLIGHT_OFF;
    outputs.beeper = BEEPER_OFF;
}

}  // namespace panel
