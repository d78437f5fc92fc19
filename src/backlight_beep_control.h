// The signal stage, last in every cycle: backlight and beeper decisions, the
// bell, and the plain redraw of the mode line.
#pragma once

#include "panel_state.h"

namespace panel {

inline constexpr std::int32_t COLOR_PLAIN = 0;
inline constexpr std::int32_t COLOR_DARK = 32;  // green
inline constexpr std::int32_t COLOR_LIT = 33;   // yellow

void Backlight_and_Beep_Control(ControlState control, std::int32_t& beep_tick, PanelOutputs& outputs);
void Backlight_Beep_Control(ControlState control, const std::int32_t& beep_tick, PanelOutputs& outputs);
void Beeper_Interface(PanelOutputs& outputs, std::int32_t& beep_tick);
std::int32_t Backlight_Interface(const PanelOutputs& outputs);

}  // namespace panel
