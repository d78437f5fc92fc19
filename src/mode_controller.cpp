// Mode controller, last control stage of the cycle. current_mode follows
// mode_number only here, so the earlier stages of the cycle in which the mode
// key was read still see the previous row; while running, ended, cancelled or
// open it keeps its row (after a reset by opening, the finished mode's text
// stays until the appliance is closed).
#include "mode_controller.h"

#include <cstring>

namespace panel {

const ModeInfo& Relate_Mode_Information(const ControlState control, const ModeTable& table) {
    return table[static_cast<std::size_t>(control.mode_number)];
}

ModeText Display_Mode_Name(const ModeInfo* const& current_mode) {
    ModeText text{};
    std::size_t length = 0;
    text.bytes[length++] = '0';
    text.bytes[length++] = static_cast<char>('0' + current_mode->number);
    text.bytes[length++] = ':';
    text.bytes[length++] = ' ';
    // The name ends at its first NUL, or fills all of its 20 bytes.
    std::memcpy(text.bytes + length, current_mode->name, ::strnlen(current_mode->name, MODE_NAME_SIZE));
    return text;
}

ModeText Mode_Controller(const ControlState control, const ModeTable& table, const ModeInfo*& current_mode) {
    if (control.operation == OP_IDLE && control.opening_state == OPENING_CLOSED) {
        current_mode = &Relate_Mode_Information(control, table);
    }
    return Display_Mode_Name(current_mode);
}

}  // namespace panel
