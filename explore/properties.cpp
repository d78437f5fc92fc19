#include "properties.h"

#include "panel_state.h"

namespace panel::explore {
namespace {

std::int32_t get(const StateSpace& space, std::uint32_t i, Field f) { return field_value(space.state(i), f); }

template <typename Violates>
std::optional<std::uint32_t> first_violation(const StateSpace& space, Violates violates) {
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        if (violates(i)) {
            return i;
        }
    }
    return std::nullopt;
}

bool idle_closed(const StateSpace& space, std::uint32_t i) {
    return get(space, i, Field::OPERATION) == OP_IDLE && get(space, i, Field::DOOR) == OPENING_CLOSED;
}

}  // namespace

std::vector<PropertyResult> check_properties(const StateSpace& space) {
    std::vector<PropertyResult> results;
    results.push_back(
        {"the appliance never runs with the door open", first_violation(space, [&](std::uint32_t i) {
             return get(space, i, Field::OPERATION) == OP_RUNNING &&
                    get(space, i, Field::DOOR) == OPENING_OPEN;
         })});

    results.push_back({"time 00:00 to 10:00, temperatures 20 to 90, mode 0 to 5",
                       first_violation(space, [&](std::uint32_t i) {
                           auto outside = [&](Field f, std::int32_t low, std::int32_t high) {
                               const std::int32_t v = get(space, i, f);
                               return v < low || v > high;
                           };
                           return outside(Field::TIME, 0, MAX_TIME) ||
                                  outside(Field::SET_TEMP, MIN_TEMP, MAX_TEMP) ||
                                  outside(Field::CUR_TEMP, MIN_TEMP, MAX_TEMP) ||
                                  outside(Field::MODE, 0, MODE_COUNT - 1);
                       })});

    std::vector<bool> home(space.size());
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        home[i] = idle_closed(space, i) && get(space, i, Field::MODE) == 0 &&
                  get(space, i, Field::TIME) == 0 && get(space, i, Field::RAISE) == RAISE_NONE;
    }
    const std::vector<bool> leads_home = space.can_reach(home);
    results.push_back({"every state leads back to idle, closed, manual, time 0, no raise (no trap)",
                       first_violation(space, [&](std::uint32_t i) { return !leads_home[i]; })});

    results.push_back({"an automatic mode, idle and closed, loads its preset within two cycles",
                       first_violation(space, [&](std::uint32_t i) {
                           const std::int32_t mode = get(space, i, Field::MODE);
                           if (mode == 0 || !idle_closed(space, i)) {
                               return false;
                           }
                           const std::int32_t preset = MODE_TABLE[static_cast<std::size_t>(mode)].time;
                           std::uint32_t s = i;
                           for (int cycle = 0; cycle <= 2; ++cycle, s = space.next(s, 0)) {
                               if (get(space, s, Field::TIME) == preset) {
                                   return false;
                               }
                           }
                           return true;
                       })});

    // Stated on its own rather than through the input stage's rule, so that
    // a fault in that rule shows here.
    auto start_time_right = [&](std::uint32_t s) {
        const std::int32_t mode = get(space, s, Field::MODE);
        const std::int32_t time = get(space, s, Field::TIME);
        if (mode != 0) {
            return time == MODE_TABLE[static_cast<std::size_t>(mode)].time;
        }
        if (get(space, s, Field::SETTING) == SETTING_TEMP) {
            return time == (get(space, s, Field::SET_TEMP) - MIN_TEMP) / 10 * 3;
        }
        return true;
    };
    PropertyResult starts{"every start begins with the time its setting calls for"};
    for (std::uint32_t i = 0; i < space.size() && !starts.violation; ++i) {
        if (get(space, i, Field::OPERATION) != OP_IDLE) {
            continue;
        }
        for (int input = 0; input < INPUT_COUNT; ++input) {
            // The start cycle counts its first tenth, so the time is still the start's.
            const std::uint32_t s = space.next(i, input);
            if (get(space, s, Field::OPERATION) == OP_RUNNING && !start_time_right(s)) {
                starts.violation = i;
                starts.inputs = {input};
                break;
            }
        }
    }
    results.push_back(starts);

    // A cancel is the cycle that takes a run to idle (an end takes it to
    // ended); what row 11 shows is what the screen shows, so a fault in the
    // reset or in the mode stage shows here.
    PropertyResult fresh{"a cancel leaves the panel as a fresh one: from the cycle after a cancel, row 11 shows "
                         "the selected mode"};
    for (std::uint32_t i = 0; i < space.size() && !fresh.violation; ++i) {
        if (get(space, i, Field::OPERATION) != OP_RUNNING) {
            continue;
        }
        for (int cancel = 0; cancel < INPUT_COUNT && !fresh.violation; ++cancel) {
            const std::uint32_t c = space.next(i, cancel);
            if (get(space, c, Field::OPERATION) != OP_IDLE) {
                continue;
            }
            for (int input = 0; input < INPUT_COUNT; ++input) {
                const std::uint32_t s = space.next(c, input);
                if (get(space, s, Field::ROW11) != get(space, s, Field::MODE)) {
                    fresh.violation = i;
                    fresh.inputs = {cancel, input};
                    break;
                }
            }
        }
    }
    results.push_back(fresh);
    return results;
}

}  // namespace panel::explore
