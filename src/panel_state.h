// The panel's whole state: control flags, quantities, the constant mode table,
// the display digits and what the panel shows. Plain records of signed 32-bit
// fields; every enumeration keeps the exact numeric values the panel uses.
#pragma once

#include <array>
#include <cstdint>

namespace panel {

// raise_button: a raise press waiting to be applied (2 is never used).
enum : std::int32_t { RAISE_FINE = 0, RAISE_COARSE = 1, RAISE_NONE = 3 };
// time_temp_setting: which quantity the raise buttons adjust in manual mode.
enum : std::int32_t { SETTING_TIME = 0, SETTING_TEMP = 1 };
// operation: OP_CANCEL lives only between the input and operation stages of one cycle.
enum : std::int32_t { OP_IDLE = 0, OP_RUNNING = 1, OP_ENDED = 2, OP_CANCEL = 4 };
// opening_state: the appliance's door.
enum : std::int32_t { OPENING_CLOSED = 0, OPENING_OPEN = 1 };
enum : std::int32_t { BACKLIGHT_OFF = 0, BACKLIGHT_ON = 1 };
enum : std::int32_t { BEEPER_OFF = 0, BEEPER_ON = 1 };

// Limits of the quantities; every one is drawn as a fixed number of digits.
inline constexpr std::int32_t MAX_TIME = 600;
inline constexpr std::int32_t MIN_TEMP = 20;
inline constexpr std::int32_t MAX_TEMP = 90;
inline constexpr std::int32_t MODE_COUNT = 6;

// How a raise-button press changes a quantity: up by the fine or the coarse
// step, never past the ceiling, and round to wrap_base + step only from the
// ceiling itself (a raise that would pass it from below stops there first).
struct RaiseRule {
    std::int32_t fine_step;
    std::int32_t coarse_step;
    std::int32_t ceiling;
    std::int32_t wrap_base;
};

inline constexpr std::int32_t Apply_Raise(std::int32_t value, std::int32_t raise_button, RaiseRule rule) {
    std::int32_t step = 0;
    if (raise_button == RAISE_FINE) {
        step = rule.fine_step;
    } else if (raise_button == RAISE_COARSE) {
        step = rule.coarse_step;
    }
    if (value + step <= rule.ceiling) {
        return value + step;
    }
    if (value == rule.ceiling) {
        return rule.wrap_base + step;
    }
    return rule.ceiling;
}

struct ControlState {
    std::int32_t raise_button;
    std::int32_t time_temp_setting;
    std::int32_t operation;
    std::int32_t opening_state;
    std::int32_t mode_number;
    friend bool operator==(const ControlState&, const ControlState&) = default;
};

struct TimeTemp {
    std::int32_t time;      // seconds, 0 to 600
    std::int32_t set_temp;  // degrees, 20 to 90 in steps of 10
    std::int32_t cur_temp;  // degrees, 20 to 90 in steps of 10
    friend bool operator==(const TimeTemp&, const TimeTemp&) = default;
};

inline constexpr std::size_t MODE_NAME_SIZE = 20;

struct ModeInfo {
    std::int32_t number;
    char name[MODE_NAME_SIZE];  // UTF-8, padded with NUL bytes
    std::int32_t time;          // preset cooking time in seconds
};

using ModeTable = std::array<ModeInfo, MODE_COUNT>;

// The names are spelled as UTF-8 bytes so the table does not depend on the
// compiler's source character set.
inline constexpr ModeTable MODE_TABLE{{
    {0, "manual", 0},
    {1, "\xEB\x96\xA1", 60},                            // rice cake
    {2, "\xEC\xA3\xBD", 90},                            // porridge
    {3, "\xEB\xB0\xA5", 120},                           // cooked rice
    {4, "\xEA\xB5\xAD/\xEC\xB0\x8C\xEA\xB0\x9C", 300},  // soup / stew
    {5, "\xED\x94\xBC\xEC\x9E\x90", 120},               // pizza
}};

struct DisplayDigits {
    std::array<std::int32_t, 4> time_digits;      // tens/units of minutes, tens/units of seconds
    std::array<std::int32_t, 2> set_temp_digits;  // tens/units of set_temp
    std::array<std::int32_t, 2> cur_temp_digits;  // tens/units of cur_temp
};

// Four time digits, then the two digits of the temperature shown.
struct DisplayFrame {
    std::array<std::int32_t, 6> digits;
    friend bool operator==(const DisplayFrame&, const DisplayFrame&) = default;
};

// "0N: name": at most 24 bytes, kept NUL-terminated in 25.
inline constexpr std::size_t MODE_TEXT_SIZE = 25;

struct ModeText {
    char bytes[MODE_TEXT_SIZE];
};

struct PanelOutputs {
    DisplayFrame display;
    ModeText mode_text;
    std::int32_t backlight;
    std::int32_t beeper;
};

// Puts the control flags, quantities and outputs into their start-up values.
void initialize(ControlState& control, TimeTemp& time_temp, PanelOutputs& outputs);

}  // namespace panel
