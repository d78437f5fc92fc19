// The reason given for every key, checked against the panel's own cycle in
// every reachable state; the texts as the trace writes them are the
// conformance suite's to check (every check states its why).
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>

#include "key_reason.h"
#include "state_space.h"
#include "test_support.h"

namespace panel {
namespace {

using explore::INPUT_COUNT;
using explore::INPUT_KEYS;
using explore::StateSpace;

// The keys tried in every state: the six and a few bytes that mean nothing.
constexpr std::array<std::int8_t, 10> KEYS = {'a', 'b', 'c', 'd', 'e', 'f', 'x', 'A', 0, -128};

// Where the cycle with key ends: the panel's own state, packed.
explore::PackedState after_cycle(const Panel& start, std::optional<std::int8_t> key) {
    Panel p = start;
    Control_Cycle(p, key);
    return *explore::pack(p, std::nullopt);
}

// When each way of ignoring a key applies, in the order the reasons are
// given: the first that applies is the one said.
struct Refusal {
    KeyReason reason;
    std::function<bool(const Panel&, std::int8_t)> applies;
};

const std::vector<Refusal>& refusals() {
    auto time_for = [](const Panel& p) {
        const std::int32_t mode = p.control.mode_number;
        return mode != 0 ? MODE_TABLE[static_cast<std::size_t>(mode)].time
                         : (p.time_temp.set_temp - MIN_TEMP) / 10 * 3;
    };
    static const std::vector<Refusal> table = {
        {KeyReason::NOT_A_KEY, [](const Panel&, std::int8_t k) { return k < 'a' || k > 'f'; }},
        {KeyReason::AFTER_END, [](const Panel& p, std::int8_t k) { return p.control.operation == OP_ENDED && k != 'f'; }},
        {KeyReason::COOKING, [](const Panel& p, std::int8_t k) { return p.control.operation == OP_RUNNING && k != 'e'; }},
        {KeyReason::DOOR_OPEN, [](const Panel& p, std::int8_t) { return p.control.opening_state == OPENING_OPEN; }},
        {KeyReason::MANUAL_ONLY,
         [](const Panel& p, std::int8_t k) { return k <= 'c' && p.control.mode_number != 0; }},
        {KeyReason::NO_TIME, [](const Panel& p, std::int8_t) { return p.time_temp.time == 0; }},
        {KeyReason::NOT_PRESET,
         [=](const Panel& p, std::int8_t) { return p.control.mode_number != 0 && p.time_temp.time != time_for(p); }},
        {KeyReason::NOT_TEMP_TIME,
         [=](const Panel& p, std::int8_t) {
             return p.control.time_temp_setting == SETTING_TEMP && p.time_temp.time != time_for(p);
         }},
    };
    return table;
}

// What the panel shows after a key that acted, as its reason says.
bool shows(const KeyEffect& e, const Panel& before, const Panel& after) {
    const ControlState& c = after.control;
    switch (e.reason) {
    case KeyReason::STARTED:
        return c.operation == OP_RUNNING && before.control.operation == OP_IDLE;
    case KeyReason::CANCELLED:
        return c.operation == OP_IDLE && before.control.operation == OP_RUNNING;
    case KeyReason::MODE:
        return c.mode_number == e.amount && before.control.mode_number != e.amount;
    case KeyReason::RAISE_TIME:
        return c.time_temp_setting == SETTING_TIME && e.amount > 0 && e.amount <= 30 &&
               after.time_temp.time == before.time_temp.time + e.amount;
    case KeyReason::RAISE_TEMP:
        return c.time_temp_setting == SETTING_TEMP && e.amount > 0 && e.amount <= 20 &&
               after.time_temp.set_temp == before.time_temp.set_temp + e.amount;
    case KeyReason::ROUND_TIME:
        return c.time_temp_setting == SETTING_TIME && before.time_temp.time == MAX_TIME &&
               after.time_temp.time == e.amount;
    case KeyReason::ROUND_TEMP:
        return c.time_temp_setting == SETTING_TEMP && before.time_temp.set_temp == MAX_TEMP &&
               after.time_temp.set_temp == e.amount;
    case KeyReason::TEMP_SELECTED:
        return c.time_temp_setting == SETTING_TEMP && before.control.time_temp_setting == SETTING_TIME;
    case KeyReason::TIME_SELECTED:
        return c.time_temp_setting == SETTING_TIME && before.control.time_temp_setting == SETTING_TEMP;
    case KeyReason::DOOR_OPENED:
        return c.opening_state == OPENING_OPEN && before.control.opening_state == OPENING_CLOSED;
    case KeyReason::DOOR_CLOSED:
        return c.opening_state == OPENING_CLOSED && before.control.opening_state == OPENING_OPEN;
    default:
        return false;
    }
}

// A key did nothing exactly when the cycle with it ends where the cycle
// without it does; the reason then is the first refusal that applies, and
// otherwise says what the panel then shows.
TEST(KeyReasons, EveryKeyInEveryReachableState) {
    StateSpace space;
    ASSERT_TRUE(space.explore(*explore::pack(test::started(), std::nullopt)));
    std::map<KeyReason, int> seen;
    Panel p{};
    p.output.set_handler(&discard_output, nullptr);
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        explore::unpack(space.state(i), p);
        const explore::PackedState idle = after_cycle(p, std::nullopt);
        for (const std::int8_t key : KEYS) {
            const KeyEffect e = key_effect(p.control, p.time_temp, key);
            seen[e.reason] += 1;
            const bool same = after_cycle(p, key) == idle;
            ASSERT_EQ(ignored(e.reason), same) << "state " << i << " key " << int{key} << ": "
                                               << key_effect_text(e).view();
            if (same) {
                const auto first = std::find_if(refusals().begin(), refusals().end(),
                                                [&](const Refusal& r) { return r.applies(p, key); });
                ASSERT_NE(first, refusals().end()) << "state " << i << " key " << int{key} << ": a key ignored for no reason given";
                ASSERT_EQ(e.reason, first->reason) << "state " << i << " key " << int{key};
            } else {
                Panel after = p;
                Control_Cycle(after, key);
                ASSERT_TRUE(shows(e, p, after)) << "state " << i << " key " << int{key} << ": "
                                                << key_effect_text(e).view();
            }
        }
    }
    // Every reason but the one for a gap is met somewhere.
    for (int r = 0; r <= static_cast<int>(KeyReason::DOOR_CLOSED); ++r) {
        const auto reason = static_cast<KeyReason>(r);
        EXPECT_EQ(seen.count(reason) != 0, reason != KeyReason::UNEXPLAINED) << key_effect_text({reason, 0}).view();
    }
}

}  // namespace
}  // namespace panel
