// A conformance suite: scenarios from start-up that together press every key
// in every situation it has an effect in (every row of the effects table,
// each number the row takes out apart: both steps, every mode) and take every
// transition of the operation and door graph, each checking the
// whole row the trace writes after the cycles that matter. A port that passes
// them all agrees with this panel on every key in every situation, as far as
// the rows checked show it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effects.h"
#include "state_space.h"

namespace panel::explore {

struct SuiteFile {
    std::string name;  // "01-idle-closed-manual.keys"
    std::string text;  // a comment saying what it covers, then keys and checks
    std::uint64_t cycles;
    std::uint64_t checks;
};

// The suite for space, searched from start-up, and its effects. Greedy: each
// scenario goes to the nearest (state, input) that covers something not yet
// covered, and a new one begins when that is nearer from start-up.
std::vector<SuiteFile> make_suite(const StateSpace& space, const EffectTable& effects);

// The check that states the row the trace writes after the tracer's last
// cycle: every field, and why after a key.
std::string row_check(const trace::Tracer& tracer);

}  // namespace panel::explore
