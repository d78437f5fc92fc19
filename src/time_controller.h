// Time controller: counts the cooking time down, applies a raise in manual
// mode, derives the time from the set temperature, or loads a mode's preset.
#pragma once

#include "panel_state.h"

namespace panel {

// 10 s or 30 s up to 10:00; from 10:00 a raise gives one step.
inline constexpr RaiseRule TIME_RAISE{10, 30, MAX_TIME, 0};

void Time_Controller(ControlState& control, TimeTemp& time_temp, ModeInfo current_mode,
                     std::int32_t& time_tick);
std::int32_t Decrease_Time(TimeTemp time_temp, std::int32_t& time_tick);
std::int32_t Set_Time_by_RBmode(ControlState& control, TimeTemp time_temp);
std::int32_t Set_Time_by_Temp(TimeTemp time_temp);
std::int32_t Set_Time_by_Mode(const ControlState& control, TimeTemp time_temp, ModeInfo current_mode);

}  // namespace panel
