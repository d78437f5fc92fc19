// The reason for a key. Whether it acted is decided by running the input
// stage on copies, so the reasons cannot drift from the stage; what it did is
// read from the flag it changed, and why it did nothing from the guards that
// refuse it, the first that applies in the order a person meets them.
#include "key_reason.h"

#include <charconv>
#include <algorithm>

#include "input.h"
#include "temp_controller.h"
#include "time_controller.h"

namespace panel {
namespace {

bool is_key(std::int8_t key) { return key >= 'a' && key <= 'f'; }

KeyReason why_ignored(const ControlState& c, const TimeTemp& t, const std::int8_t key) {
    if (!is_key(key)) {
        return KeyReason::NOT_A_KEY;
    }
    if (c.operation == OP_ENDED && key != 'f') {
        return KeyReason::AFTER_END;
    }
    if (c.operation == OP_RUNNING && key != 'e') {
        return KeyReason::COOKING;
    }
    if (c.operation == OP_IDLE && c.opening_state == OPENING_OPEN && key != 'f') {
        return KeyReason::DOOR_OPEN;
    }
    if ((key == 'a' || key == 'b' || key == 'c') && c.mode_number != 0) {
        return KeyReason::MANUAL_ONLY;
    }
    if (key == 'e' && t.time == 0) {
        return KeyReason::NO_TIME;
    }
    if (key == 'e' && c.operation == OP_IDLE && c.mode_number != 0) {
        return KeyReason::NOT_PRESET;
    }
    if (key == 'e' && c.operation == OP_IDLE && c.time_temp_setting == SETTING_TEMP) {
        return KeyReason::NOT_TEMP_TIME;
    }
    return KeyReason::UNEXPLAINED;
}

// A raise as what it does to the quantity it applies to in this cycle: the
// step, less where it stops at the ceiling, or round from the ceiling.
KeyEffect raise_effect(std::int32_t value, std::int32_t raise_button, RaiseRule rule, KeyReason up,
                       KeyReason round) {
    const std::int32_t raised = Apply_Raise(value, raise_button, rule);
    if (raised < value) {
        return {round, raised};
    }
    return {up, raised - value};
}

KeyEffect what_it_did(const ControlState& before, const ControlState& after, const TimeTemp& time_temp) {
    if (after.operation != before.operation) {
        return {after.operation == OP_RUNNING ? KeyReason::STARTED : KeyReason::CANCELLED, 0};
    }
    if (after.opening_state != before.opening_state) {
        return {after.opening_state == OPENING_OPEN ? KeyReason::DOOR_OPENED : KeyReason::DOOR_CLOSED, 0};
    }
    if (after.mode_number != before.mode_number) {
        return {KeyReason::MODE, after.mode_number};
    }
    if (after.time_temp_setting != before.time_temp_setting) {
        return {after.time_temp_setting == SETTING_TEMP ? KeyReason::TEMP_SELECTED : KeyReason::TIME_SELECTED, 0};
    }
    // A raise: the quantity selected takes it in this same cycle.
    if (after.time_temp_setting == SETTING_TEMP) {
        return raise_effect(time_temp.set_temp, after.raise_button, TEMP_RAISE, KeyReason::RAISE_TEMP,
                            KeyReason::ROUND_TEMP);
    }
    return raise_effect(time_temp.time, after.raise_button, TIME_RAISE, KeyReason::RAISE_TIME, KeyReason::ROUND_TIME);
}

struct Phrase {
    std::string_view before;  // the number, where there is one, goes between
    std::string_view after;
    bool numbered;
};

// In the order of KeyReason.
constexpr Phrase PHRASES[] = {
    {"ignored: not a key", "", false},
    {"ignored: after an end only the door acts", "", false},
    {"ignored: cooking", "", false},
    {"ignored: door open", "", false},
    {"ignored: only in manual mode", "", false},
    {"ignored: no time set", "", false},
    {"ignored: time not yet the mode's preset", "", false},
    {"ignored: time not yet what the temperature calls for", "", false},
    {"ignored", "", false},
    {"started", "", false},
    {"cancelled", "", false},
    {"mode ", "", true},
    {"+", " s", true},
    {"+", " degrees", true},
    {"round to ", " s", true},
    {"round to ", " degrees", true},
    {"temperature selected", "", false},
    {"time selected", "", false},
    {"door opened", "", false},
    {"door closed", "", false},
};
static_assert(std::size(PHRASES) == static_cast<std::size_t>(KeyReason::DOOR_CLOSED) + 1);

// Numbers in the phrases are steps and modes: at most three digits.
constexpr std::size_t NUMBER_WIDTH = 3;

}  // namespace

KeyEffect key_effect(const ControlState& control, const TimeTemp& time_temp, const std::int8_t key) {
    ControlState after = control;
    TimeTemp time_after = time_temp;
    Determine_Button_Input(after, key, time_after);
    Opening_Detection(after, key);
    if (after == control && time_after == time_temp) {
        return {why_ignored(control, time_temp, key), 0};
    }
    return what_it_did(control, after, time_temp);
}

KeyEffectText key_effect_text(const KeyEffect effect) {
    KeyEffectText text{};
    auto append = [&text](std::string_view part) {
        part.copy(text.bytes + text.length, part.size());
        text.length += part.size();
    };
    const Phrase& phrase = PHRASES[static_cast<std::size_t>(effect.reason)];
    append(phrase.before);
    if (phrase.numbered) {
        char* const at = text.bytes + text.length;
        text.length += static_cast<std::size_t>(std::to_chars(at, at + NUMBER_WIDTH + 1, effect.amount).ptr - at);
    }
    append(phrase.after);
    return text;
}

KeyEffectText key_reason_text(const KeyReason reason) {
    KeyEffectText text{};
    const Phrase& phrase = PHRASES[static_cast<std::size_t>(reason)];
    for (const std::string_view part : {phrase.before, phrase.numbered ? std::string_view("N") : "", phrase.after}) {
        part.copy(text.bytes + text.length, part.size());
        text.length += part.size();
    }
    return text;
}

std::size_t key_effect_text_width() {
    std::size_t width = 0;
    for (const Phrase& p : PHRASES) {
        width = std::max(width, p.before.size() + (p.numbered ? NUMBER_WIDTH : 0) + p.after.size());
    }
    return width;
}

}  // namespace panel
