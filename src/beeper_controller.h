// Beeper decision: sounds while the operation has ended and its 30 cycles of
// signalling are not yet over.
#pragma once

#include "panel_state.h"

namespace panel {

inline constexpr std::int32_t BEEP_CYCLES = 30;

std::int32_t Beeper_Controller(ControlState control, std::int32_t beep_tick);
std::int32_t Turn_On_Beeper();

}  // namespace panel
