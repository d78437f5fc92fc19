#include "coverage.h"

#include "key_script.h"

namespace panel::explore {

std::string coverage_line(const std::string_view what, const Covered count) {
    // Tenths of a percent, rounded down.
    const std::uint64_t tenths = count.total == 0 ? 1000 : count.covered * 1000 / count.total;
    return std::string(what) + ": " + std::to_string(count.covered) + " of " + std::to_string(count.total) + " (" +
           std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " %)";
}

Coverage::Coverage(const StateSpace& space, const EffectTable& effects)
    : space_(space), effects_(effects), state_(space.size()), effect_(effects.rows().size()) {}

void Coverage::begin(const trace::Tracer& tracer) {
    at_ = std::nullopt;
    const std::optional<PackedState> packed = pack(tracer);
    if (packed) {
        at_ = space_.find(*packed);
    }
    mapped_ = mapped_ && at_.has_value();
    if (at_ && !state_[*at_]) {
        state_[*at_] = true;
        ++states_covered_;
    }
}

void Coverage::cycle(const trace::Tracer& tracer) {
    if (!at_) {
        return;  // lost already: nothing after it can be placed
    }
    const std::int32_t key = tracer.record().key;
    if (key >= 'a' && key <= 'f') {
        const std::uint32_t row = effects_.row_of(*at_, static_cast<std::int8_t>(key));
        if (!effect_[row]) {
            effect_[row] = true;
            ++effects_covered_;
        }
    }
    const std::uint32_t from = *at_;
    const std::optional<PackedState> packed = pack(tracer);
    at_ = packed ? space_.find(*packed) : std::nullopt;
    if (!at_) {
        mapped_ = false;
        return;
    }
    pairs_.insert(std::uint64_t{from} << 32 | *at_);
    if (!state_[*at_]) {
        state_[*at_] = true;
        ++states_covered_;
    }
}

}  // namespace panel::explore
