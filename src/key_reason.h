// What a cycle's key did, in a short phrase, or why it did nothing: the
// one-cycle lags and the guards are what puzzles a person watching the panel,
// so every host that shows keys can say why one was ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "panel_state.h"

namespace panel {

enum class KeyReason : std::uint8_t {
    // The key did nothing, for the first of these that applies.
    NOT_A_KEY,
    AFTER_END,        // ended: only the door acts
    COOKING,          // running: only e acts
    DOOR_OPEN,        // idle and open: a to e
    MANUAL_ONLY,      // a, b, c in an automatic mode
    NO_TIME,          // e with time 0
    NOT_PRESET,       // e before the time has become the mode's preset
    NOT_TEMP_TIME,    // e before the time has followed the set temperature
    UNEXPLAINED,      // none of the above: never met in a reachable state
    // The key acted.
    STARTED,
    CANCELLED,
    MODE,             // amount: the mode selected
    RAISE_TIME,       // amount: the seconds added
    RAISE_TEMP,       // amount: the degrees added
    ROUND_TIME,       // a raise from the ceiling: amount, the time it goes round to
    ROUND_TEMP,       // and the set temperature
    TEMP_SELECTED,
    TIME_SELECTED,
    DOOR_OPENED,
    DOOR_CLOSED,
};

struct KeyEffect {
    KeyReason reason;
    std::int32_t amount;  // the number in the phrase, where it has one
    friend bool operator==(const KeyEffect&, const KeyEffect&) = default;
};

// The effect of key on a panel in control and time_temp at the start of a
// cycle: the input stage itself runs on copies, so whether the key acted is
// the stage's own answer; the reason only explains it.
KeyEffect key_effect(const ControlState& control, const TimeTemp& time_temp, std::int8_t key);

[[nodiscard]] constexpr bool ignored(KeyReason reason) { return reason < KeyReason::STARTED; }

// "started", "+10 s", "mode 2", "ignored: door open", ...
inline constexpr std::size_t KEY_EFFECT_TEXT_SIZE = 64;
struct KeyEffectText {
    char bytes[KEY_EFFECT_TEXT_SIZE];
    std::size_t length;
    [[nodiscard]] std::string_view view() const { return {bytes, length}; }
};
KeyEffectText key_effect_text(KeyEffect effect);
// The phrase of reason with its number taken out, N in its place: "+N s",
// "mode N", "started". Effects that differ only in the number read the same.
KeyEffectText key_reason_text(KeyReason reason);

// The longest phrase, for a column that holds any of them.
std::size_t key_effect_text_width();

}  // namespace panel
