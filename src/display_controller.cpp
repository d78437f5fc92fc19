// Display conversion, first of the control stages of a cycle. It works on
// snapshots taken before the cycle's time and temperature stages, so the frame
// shows the quantities as they stood before this cycle's countdown, heating or
// raise. Idle shows the set temperature; running and ended the current one.
#include "display_controller.h"

namespace panel {

std::array<std::int32_t, 4> Convert_to_DpTime(const TimeTemp time_temp) {
    const std::int32_t minutes = time_temp.time / 60;
    const std::int32_t seconds = time_temp.time % 60;
    return {minutes / 10, minutes % 10, seconds / 10, seconds % 10};
}

// Called only while idle (the set temperature shows) or running or ended (the
// current one).
std::array<std::int32_t, 2> Convert_to_DpTemp(const ControlState control, const TimeTemp time_temp) {
    const std::int32_t temperature = control.operation == OP_IDLE ? time_temp.set_temp : time_temp.cur_temp;
    return {temperature / 10, temperature % 10};
}

DisplayFrame Display_Set_Time_Temp(const DisplayDigits& digits) {
    const auto& t = digits.time_digits;
    const auto& c = digits.set_temp_digits;
    return DisplayFrame{{t[0], t[1], t[2], t[3], c[0], c[1]}};
}

DisplayFrame Display_Cur_Time_Temp(const DisplayDigits& digits) {
    const auto& t = digits.time_digits;
    const auto& c = digits.cur_temp_digits;
    return DisplayFrame{{t[0], t[1], t[2], t[3], c[0], c[1]}};
}

DisplayFrame Display_Controller(const ControlState control, const TimeTemp time_temp, DisplayDigits& digits,
                                PanelOutputs& outputs) {
    digits.time_digits = Convert_to_DpTime(time_temp);
    if (control.operation == OP_IDLE) {
        digits.set_temp_digits = Convert_to_DpTemp(control, time_temp);
        outputs.display = Display_Set_Time_Temp(digits);
    } else if (control.operation == OP_RUNNING || control.operation == OP_ENDED) {
        digits.cur_temp_digits = Convert_to_DpTemp(control, time_temp);
        outputs.display = Display_Cur_Time_Temp(digits);
    }
    // A cancel cycle keeps the previous frame, time digits included.
    return outputs.display;
}

}  // namespace panel
