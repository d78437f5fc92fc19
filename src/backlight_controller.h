// Backlight decision: lit while cooking runs, or while the appliance stands
// open outside cooking.
#pragma once

#include "panel_state.h"

namespace panel {

std::int32_t Backlight_Controller(ControlState control);
std::int32_t Turn_On_Backlight();
std::int32_t Turn_Off_Backlight();

}  // namespace panel
