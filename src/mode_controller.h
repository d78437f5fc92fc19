// Mode controller: moves current_mode to the selected row while idle and
// closed, and builds the mode line's text "0N: name".
#pragma once

#include "panel_state.h"

namespace panel {

ModeText Mode_Controller(ControlState control, const ModeTable& table, const ModeInfo*& current_mode);
const ModeInfo& Relate_Mode_Information(ControlState control, const ModeTable& table);
ModeText Display_Mode_Name(const ModeInfo* const& current_mode);

}  // namespace panel
