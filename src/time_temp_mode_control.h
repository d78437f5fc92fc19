// The middle of the control cycle (control stages, then both panel lines) and
// the drawing primitives: cursor positioning and coloured text.
#pragma once

#include <string_view>

#include "panel_state.h"

namespace panel {

// Screen positions of the two panel lines (rows and columns count from 1).
inline constexpr std::int32_t PANEL_COLUMN = 30;
inline constexpr std::int32_t TIME_TEMP_ROW = 10;
inline constexpr std::int32_t MODE_ROW = 11;

void gotoxy(std::int32_t x, std::int32_t y);
void printColorString(std::int32_t color, std::string_view text);
void Time_Temp_Interface(const ControlState& control, const DisplayFrame& frame, std::int32_t color);
void Mode_Interface(PanelOutputs& outputs, std::int32_t color);

void Time_Temp_and_Mode_Control(ControlState& control, TimeTemp& time_temp, const ModeInfo*& current_mode,
                                const ModeTable& table, DisplayDigits& digits, PanelOutputs& outputs,
                                std::int32_t& temp_tick, std::int32_t& time_tick);
void Time_Temp_Mode_Control(ControlState& control, TimeTemp& time_temp, const ModeInfo*& current_mode,
                            const ModeTable& table, DisplayDigits& digits, PanelOutputs& outputs,
                            std::int32_t& temp_tick, std::int32_t& time_tick);

}  // namespace panel
