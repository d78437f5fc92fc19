// The properties every exploration checks, each over all reachable states.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "state_space.h"

namespace panel::explore {

struct PropertyResult {
    std::string_view statement;
    // The first state in breadth-first order (so the nearest) that violates it,
    std::optional<std::uint32_t> violation = std::nullopt;
    // and, for a property of transitions, the inputs (indexes of INPUT_KEYS)
    // of the cycles from that state that violate it.
    std::vector<int> inputs = {};
};

// 1. the appliance never runs with the door open;
// 2. time, set and current temperature and mode stay within their ranges;
// 3. from every state some key script leads back to idle, door closed,
//    manual mode, time 0, no raise pending (no trap);
// 4. idle and closed in an automatic mode, the time reaches that mode's
//    preset within two cycles without a key;
// 5. every start begins with the time its setting calls for: an automatic
//    mode's preset, or in manual mode with the temperature selected the time
//    of the set temperature;
// 6. a cancel leaves the panel as a fresh one: from the cycle after a cancel,
//    row 11 shows the selected mode (after an end, an open door keeps the
//    finished mode shown; after a cancel nothing does).
std::vector<PropertyResult> check_properties(const StateSpace& space);

}  // namespace panel::explore
