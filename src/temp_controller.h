// Temperature controller: heats the current temperature while running, and
// decides the set temperature while idle.
#pragma once

#include "panel_state.h"

namespace panel {

// 10 or 20 degrees up to 90; from 90 a raise gives one step above the lowest, 20.
inline constexpr RaiseRule TEMP_RAISE{10, 20, MAX_TEMP, MIN_TEMP};

void Temp_Controller(ControlState& control, TimeTemp& time_temp, std::int32_t& temp_tick,
                     ModeInfo current_mode);
std::int32_t Raise_Temp(const TimeTemp& time_temp, std::int32_t& temp_tick);
std::int32_t Set_Temp_by_RBmode(ControlState& control, const TimeTemp& time_temp);
std::int32_t Set_Temp_by_Time(const TimeTemp& time_temp);

}  // namespace panel
