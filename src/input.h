// Button and opening-sensor input: turns the key of a cycle into changes of
// the control flags. Keys are signed 8-bit characters; only a to f mean anything.
#pragma once

#include "panel_state.h"

namespace panel {

void Determine_Button_Input(ControlState& control, std::int8_t key, TimeTemp& time_temp);
void Opening_Detection(ControlState& control, std::int8_t key);

std::int32_t Raise_Button_Interface(std::int8_t key);
std::int32_t Time_Temp_Button_Interface(std::int8_t key);
std::int32_t Mode_Button_Interface(std::int8_t key);
std::int32_t Start_Cancel_Button_Interface(std::int8_t key);
std::int32_t Open_Sensor_Interface(std::int8_t key);

std::int32_t Determine_Raise_Button(std::int8_t key, std::int32_t operation, std::int32_t opening_state,
                                    std::int32_t raise_button, std::int32_t mode_number);
std::int32_t Determine_Time_Temp_setting(ControlState snapshot, TimeTemp& time_temp, std::int8_t key,
                                         std::int32_t time_temp_setting, std::int32_t operation,
                                         std::int32_t opening_state);
std::int32_t Determine_Mode_Number(std::int8_t key, std::int32_t mode_number, std::int32_t operation,
                                   TimeTemp& time_temp, std::int32_t opening_state);
std::int32_t Determine_Start_Cancel_Setting(std::int8_t key, std::int32_t operation,
                                            std::int32_t opening_state, const TimeTemp& time_temp,
                                            std::int32_t time_temp_setting, std::int32_t mode_number);
std::int32_t Determine_Opening_state(std::int8_t key, std::int32_t operation, std::int32_t opening_state);

}  // namespace panel
