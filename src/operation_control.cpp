// Operation stage: after both panel lines are drawn and before the backlight
// and beeper, which see its result in the same cycle. Start and cancel are
// made by the input stage; the end and the two resets are made here.
// The reset leaves raise_button and opening_state alone. After a cancel it
// also shows manual mode at once: the mode stage follows only while idle and
// closed, and a door opened in the next cycle would keep the cancelled mode on
// screen. After an end, opening keeps the finished mode shown while it is open.
#include "operation_control.h"

namespace panel {

void Operation_End(ControlState& control, TimeTemp& /*time_temp*/) { control.operation = OP_ENDED; }

void Operation_Reset(ControlState& control, TimeTemp& time_temp, std::int32_t& temp_tick,
                     std::int32_t& beep_tick, std::int32_t& time_tick) {
    control.operation = OP_IDLE;
    control.time_temp_setting = SETTING_TIME;
    control.mode_number = 0;
    time_temp.time = 0;
    time_temp.cur_temp = MIN_TEMP;
    time_temp.set_temp = MIN_TEMP;
    temp_tick = 0;
    beep_tick = 0;
    time_tick = 0;
}

void Operation_Controller(ControlState& control, TimeTemp& time_temp, const ModeTable& table,
                          const ModeInfo*& current_mode, std::int32_t& temp_tick, std::int32_t& beep_tick,
                          std::int32_t& time_tick) {
    if (control.operation == OP_RUNNING && time_temp.time == 0) {
        Operation_End(control, time_temp);
        return;
    }
    if (control.operation == OP_ENDED && control.opening_state == OPENING_OPEN) {
        Operation_Reset(control, time_temp, temp_tick, beep_tick, time_tick);
        return;
    }
    if (control.operation == OP_CANCEL) {
        Operation_Reset(control, time_temp, temp_tick, beep_tick, time_tick);
        current_mode = table.data();
    }
}

void Operation_Control(ControlState& control, TimeTemp& time_temp, const ModeTable& table,
                       const ModeInfo*& current_mode, std::int32_t& temp_tick, std::int32_t& beep_tick,
                       std::int32_t& time_tick) {
    Operation_Controller(control, time_temp, table, current_mode, temp_tick, beep_tick, time_tick);
}

}  // namespace panel
