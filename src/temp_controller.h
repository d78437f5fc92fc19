// Temperature controller: heats the current temperature while running, and
// decides the set temperature while idle.
#pragma once

#include "panel_state.h"

namespace panel {

void Temp_Controller(ControlState& control, TimeTemp& time_temp, std::int32_t& temp_tick,
                     ModeInfo current_mode);
std::int32_t Raise_Temp(const TimeTemp& time_temp, std::int32_t& temp_tick);
std::int32_t Set_Temp_by_RBmode(ControlState& control, const TimeTemp& time_temp);
std::int32_t Set_Temp_by_Time(const TimeTemp& time_temp);

}  // namespace panel
