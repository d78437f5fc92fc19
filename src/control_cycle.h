// One control cycle of the panel, without the sleep and the key polling, so
// that a host (or a test) can drive cycles with a key of its choosing.
#pragma once

#include <optional>

#include "output_sink.h"
#include "panel_state.h"

namespace panel {

// Every record the cycle works on, owned by the host for the whole run.
struct Panel {
    ControlState control;
    TimeTemp time_temp;
    PanelOutputs outputs;
    DisplayDigits digits;
    const ModeTable* table;
    const ModeInfo* current_mode;
    std::int32_t time_tick;
    std::int32_t temp_tick;
    std::int32_t beep_tick;
    // Where this panel's drawing goes: standard output unless a handler is set.
    OutputSink output;
};

// Start-up state: mode table row 0 current, counters 0, then initialize.
void Start_Panel(Panel& panel);

// Step 2 of a cycle with a key: the input stage alone, before every other
// stage. A key that changes neither the control flags nor the quantities
// leaves the rest of the cycle as it is without a key.
void Key_Input(Panel& panel, std::int8_t key);

// Steps 2 to 5 of a cycle: the key (if one was read), the control stages and
// both panel lines, the operation stage, then backlight, beeper and the plain
// redraw of the mode line, all drawn through the panel's own output.
void Control_Cycle(Panel& panel, std::optional<std::int8_t> key);

}  // namespace panel
