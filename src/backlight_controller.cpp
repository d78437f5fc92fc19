// Backlight decision of the signal stage, made from the state the operation
// stage of the same cycle left.
#include "backlight_controller.h"

namespace panel {

std::int32_t Turn_On_Backlight() { return BACKLIGHT_ON; }
std::int32_t Turn_Off_Backlight() { return BACKLIGHT_OFF; }

std::int32_t Backlight_Controller(const ControlState control) {
    if (control.opening_state == OPENING_CLOSED && control.operation == OP_RUNNING) {
        return Turn_On_Backlight();
    }
    if (control.opening_state == OPENING_OPEN && control.operation != OP_RUNNING) {
        return Turn_On_Backlight();
    }
    return Turn_Off_Backlight();
}

}  // namespace panel
