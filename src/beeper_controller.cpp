// Beeper decision of the signal stage. There is no Turn_Off counterpart: the
// decision yields BEEPER_OFF itself.
#include "beeper_controller.h"

namespace panel {

std::int32_t Turn_On_Beeper() { return BEEPER_ON; }

std::int32_t Beeper_Controller(const ControlState control, const std::int32_t beep_tick) {
    if (control.operation == OP_ENDED && beep_tick <= BEEP_CYCLES - 1) {
        return Turn_On_Beeper();
    }
    return BEEPER_OFF;
}

}  // namespace panel
