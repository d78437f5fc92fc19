// Operation control: ends a run whose time is up, and resets the panel after
// a cancel or when the appliance is opened after the end.
#pragma once

#include "panel_state.h"

namespace panel {

// A cancel's reset also moves current_mode to row 0 of table, so the panel
// is a fresh one from the next cycle whatever the door does.
void Operation_Control(ControlState& control, TimeTemp& time_temp, const ModeTable& table,
                       const ModeInfo*& current_mode, std::int32_t& temp_tick, std::int32_t& beep_tick,
                       std::int32_t& time_tick);
void Operation_Controller(ControlState& control, TimeTemp& time_temp, const ModeTable& table,
                          const ModeInfo*& current_mode, std::int32_t& temp_tick, std::int32_t& beep_tick,
                          std::int32_t& time_tick);
void Operation_End(ControlState& control, TimeTemp& time_temp);
void Operation_Reset(ControlState& control, TimeTemp& time_temp, std::int32_t& temp_tick,
                     std::int32_t& beep_tick, std::int32_t& time_tick);

}  // namespace panel
