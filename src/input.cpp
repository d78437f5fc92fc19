// Input stage: runs before every other stage of the cycle in which a key was
// read, so all later stages of that cycle see its changes. Each control passes
// the key through its interface, then a decision returns the new value of one
// control flag, which the dispatcher stores (also when it is unchanged).
#include "input.h"

#include "time_controller.h"

namespace panel {
namespace {

// The interfaces hand the decisions the key narrowed back to a signed character.
std::int8_t narrow(std::int32_t byte) { return static_cast<std::int8_t>(byte); }

// Clearing done by the selector and by the wrap of the mode button.
void clear_time_and_set_temp(TimeTemp& time_temp) {
    time_temp.time = 0;
    time_temp.set_temp = MIN_TEMP;
}

// Whether the time is what the setting calls for: an automatic mode's preset,
// or in manual mode with the temperature selected the time of the set
// temperature. Both follow their setting one cycle late (the time stage sees
// the mode row of the cycle before, and a temperature raise is applied after
// it), and a start in between would cook for the setting before. With the
// time selected in manual mode, the time is the setting itself.
bool Time_Follows_Setting(const TimeTemp& time_temp, const std::int32_t time_temp_setting,
                          const std::int32_t mode_number) {
    if (mode_number < 0 || mode_number >= MODE_COUNT) {
        return false;
    }
    if (mode_number != 0) {
        return time_temp.time == MODE_TABLE[static_cast<std::size_t>(mode_number)].time;
    }
    if (time_temp_setting == SETTING_TEMP) {
        return time_temp.time == Set_Time_by_Temp(time_temp);
    }
    return time_temp_setting == SETTING_TIME;
}

}  // namespace

std::int32_t Raise_Button_Interface(const std::int8_t key) { return static_cast<std::uint8_t>(key); }
std::int32_t Time_Temp_Button_Interface(const std::int8_t key) { return static_cast<std::uint8_t>(key); }
std::int32_t Mode_Button_Interface(const std::int8_t key) { return static_cast<std::uint8_t>(key); }
std::int32_t Start_Cancel_Button_Interface(const std::int8_t key) { return static_cast<std::uint8_t>(key); }
std::int32_t Open_Sensor_Interface(const std::int8_t key) { return static_cast<std::uint8_t>(key); }

std::int32_t Determine_Raise_Button(const std::int8_t key, const std::int32_t operation,
                                    const std::int32_t opening_state, const std::int32_t raise_button,
                                    const std::int32_t mode_number) {
    if (operation != OP_IDLE) {
        return raise_button;
    }
    if (opening_state != OPENING_CLOSED) {
        return raise_button;
    }
    // Only manual mode takes up a raise; one stored in an automatic mode would
    // stop the presets from loading and be added to the time much later.
    if (mode_number != 0) {
        return raise_button;
    }
    if (key == 'a') {
        return RAISE_FINE;
    }
    if (key == 'b') {
        return RAISE_COARSE;
    }
    return raise_button;
}

std::int32_t Determine_Time_Temp_setting(const ControlState snapshot, TimeTemp& time_temp,
                                         std::int8_t /*key*/, const std::int32_t time_temp_setting,
                                         const std::int32_t operation, const std::int32_t opening_state) {
    if (operation != OP_IDLE || opening_state != OPENING_CLOSED || snapshot.mode_number != 0) {
        return time_temp_setting;
    }
    clear_time_and_set_temp(time_temp);
    if (time_temp_setting == SETTING_TIME) {
        return SETTING_TEMP;
    }
    if (time_temp_setting == SETTING_TEMP) {
        return SETTING_TIME;
    }
    return time_temp_setting;
}

std::int32_t Determine_Mode_Number(std::int8_t /*key*/, const std::int32_t mode_number,
                                   const std::int32_t operation, TimeTemp& time_temp,
                                   const std::int32_t opening_state) {
    if (operation != OP_IDLE) {
        return mode_number;
    }
    if (opening_state != OPENING_CLOSED) {
        return mode_number;
    }
    if (mode_number == MODE_COUNT - 1) {
        clear_time_and_set_temp(time_temp);
        return 0;
    }
    return mode_number + 1;
}

std::int32_t Determine_Start_Cancel_Setting(std::int8_t /*key*/, const std::int32_t operation,
                                            const std::int32_t opening_state, const TimeTemp& time_temp,
                                            const std::int32_t time_temp_setting,
                                            const std::int32_t mode_number) {
    if (time_temp.time == 0) {
        return operation;
    }
    if (opening_state != OPENING_CLOSED) {
        return operation;
    }
    if (operation == OP_IDLE) {
        // A start waits (one cycle is enough) until the time has followed the setting.
        if (!Time_Follows_Setting(time_temp, time_temp_setting, mode_number)) {
            return operation;
        }
        return OP_RUNNING;
    }
    if (operation == OP_RUNNING) {
        return OP_CANCEL;
    }
    return operation;
}

std::int32_t Determine_Opening_state(std::int8_t /*key*/, const std::int32_t operation,
                                     const std::int32_t opening_state) {
    if (operation == OP_RUNNING) {
        return opening_state;
    }
    if (opening_state == OPENING_CLOSED) {
        return OPENING_OPEN;
    }
    if (opening_state == OPENING_OPEN) {
        return OPENING_CLOSED;
    }
    return opening_state;
}

void Determine_Button_Input(ControlState& control, const std::int8_t key, TimeTemp& time_temp) {
    // One unsigned comparison rejects every byte outside a to e, the negative
    // characters 0x80 to 0xFF included.
    if (static_cast<std::uint32_t>(key - 'a') > 4U) {
        return;
    }
    switch (key) {
    case 'a':
    case 'b':
        control.raise_button =
            Determine_Raise_Button(narrow(Raise_Button_Interface(key)), control.operation,
                                   control.opening_state, control.raise_button, control.mode_number);
        break;
    case 'c':
        control.time_temp_setting =
            Determine_Time_Temp_setting(control, time_temp, narrow(Time_Temp_Button_Interface(key)),
                                        control.time_temp_setting, control.operation, control.opening_state);
        break;
    case 'd':
        control.mode_number = Determine_Mode_Number(narrow(Mode_Button_Interface(key)), control.mode_number,
                                                    control.operation, time_temp, control.opening_state);
        break;
    default:  // 'e'
        control.operation =
            Determine_Start_Cancel_Setting(narrow(Start_Cancel_Button_Interface(key)), control.operation,
                                           control.opening_state, time_temp, control.time_temp_setting,
                                           control.mode_number);
        break;
    }
}

void Opening_Detection(ControlState& control, const std::int8_t key) {
    if (key != 'f') {
        return;
    }
    control.opening_state =
        Determine_Opening_state(narrow(Open_Sensor_Interface(key)), control.operation, control.opening_state);
}

}  // namespace panel
