// The fixed order of one cycle. Which value a stage sees, before or after
// another stage's update, decides what is drawn and when a change shows.
#include "control_cycle.h"

#include "backlight_beep_control.h"
#include "input.h"
#include "operation_control.h"
#include "time_temp_mode_control.h"

namespace panel {

void Start_Panel(Panel& panel) {
    panel.table = &MODE_TABLE;
    panel.current_mode = MODE_TABLE.data();
    panel.time_tick = 0;
    panel.temp_tick = 0;
    panel.beep_tick = 0;
    panel.digits = DisplayDigits{};
    initialize(panel.control, panel.time_temp, panel.outputs);
}

void Key_Input(Panel& panel, const std::int8_t key) {
    // Every key goes to both; each acts on its own keys only.
    Determine_Button_Input(panel.control, key, panel.time_temp);
    Opening_Detection(panel.control, key);
}

void Control_Cycle(Panel& panel, const std::optional<std::int8_t> key) {
    const OutputBinding drawing(panel.output);
    if (key.has_value()) {
        Key_Input(panel, *key);
    }
    Time_Temp_and_Mode_Control(panel.control, panel.time_temp, panel.current_mode, *panel.table, panel.digits,
                               panel.outputs, panel.temp_tick, panel.time_tick);
    Operation_Control(panel.control, panel.time_temp, *panel.table, panel.current_mode, panel.temp_tick,
                      panel.beep_tick, panel.time_tick);
    const ControlState after_operation = panel.control;
    Backlight_and_Beep_Control(after_operation, panel.beep_tick, panel.outputs);
}

}  // namespace panel
