// What scenarios cover of the explored space: each cycle they run is mapped
// onto its state, so the states visited, the transitions traversed and the
// effects of the keys pressed are counted exactly against all there are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "effects.h"
#include "state_space.h"
#include "tracer.h"

namespace panel::explore {

struct Covered {
    std::uint64_t covered;
    std::uint64_t total;
};

// "states: N of TOTAL (P %)", P with one decimal, rounded down: 100.0 only
// when all are covered.
std::string coverage_line(std::string_view what, Covered count);

class Coverage {
public:
    Coverage(const StateSpace& space, const EffectTable& effects);
    // A run from start-up begins on tracer.
    void begin(const trace::Tracer& tracer);
    // After each of its cycles.
    void cycle(const trace::Tracer& tracer);

    [[nodiscard]] Covered states() const { return {states_covered_, space_.size()}; }
    [[nodiscard]] Covered transitions() const { return {pairs_.size(), space_.transitions().distinct}; }
    [[nodiscard]] Covered effects() const { return {effects_covered_, effects_.rows().size()}; }
    [[nodiscard]] bool covered(std::uint32_t effect_row) const { return effect_[effect_row]; }
    // False once a cycle led to a state the search did not reach (a fault).
    [[nodiscard]] bool mapped() const { return mapped_; }

private:
    const StateSpace& space_;
    const EffectTable& effects_;
    std::vector<bool> state_;
    std::vector<bool> effect_;
    std::unordered_set<std::uint64_t> pairs_;
    std::uint64_t states_covered_ = 0, effects_covered_ = 0;
    std::optional<std::uint32_t> at_;  // the state before the next cycle
    bool mapped_ = true;
};

}  // namespace panel::explore
