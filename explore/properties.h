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
    // The first state in breadth-first order (so the nearest) that violates it.
    std::optional<std::uint32_t> violation;
};

// 1. the appliance never runs with the door open;
// 2. time, set and current temperature and mode stay within their ranges;
// 3. from every state some key script leads back to idle, door closed,
//    manual mode, time 0, no raise pending (no trap);
// 4. idle and closed in an automatic mode, the time reaches that mode's
//    preset within two cycles without a key.
std::vector<PropertyResult> check_properties(const StateSpace& space);

}  // namespace panel::explore
