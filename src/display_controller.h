// Display conversion: the time into four digits of minutes and seconds, and
// the temperature that belongs to the operation state into two digits.
#pragma once

#include "panel_state.h"

namespace panel {

std::array<std::int32_t, 4> Convert_to_DpTime(TimeTemp time_temp);
std::array<std::int32_t, 2> Convert_to_DpTemp(ControlState control, TimeTemp time_temp);
DisplayFrame Display_Set_Time_Temp(const DisplayDigits& digits);
DisplayFrame Display_Cur_Time_Temp(const DisplayDigits& digits);
DisplayFrame Display_Controller(ControlState control, TimeTemp time_temp, DisplayDigits& digits,
                                PanelOutputs& outputs);

}  // namespace panel
