// What every key does, over every reachable state: an effect is a situation
// (the key, the operation, the door, manual or an automatic mode, the
// setting) and the reason the key's input stage gives there, its number
// taken out. The table is what a manual needs and what coverage counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "key_reason.h"
#include "state_space.h"
#include "trace_writer.h"

namespace panel::explore {

struct Effect {
    std::int8_t key;  // 'a' to 'f'
    std::int32_t operation, door;
    bool automatic;
    std::int32_t setting;
    KeyReason reason;
    // Ordered by key, operation, door, mode, setting, then reason.
    [[nodiscard]] std::uint32_t code() const;
};

// The effect of key in state, where the state stands at the start of a cycle.
Effect effect_of(PackedState state, std::int8_t key);

struct EffectRow {
    Effect effect;
    std::uint32_t states;  // reachable states where it occurs
    std::uint32_t first;   // the first of them breadth-first: the nearest
};

class EffectTable {
public:
    // Every effect of a key a to f in every state of space.
    explicit EffectTable(const StateSpace& space);
    [[nodiscard]] const std::vector<EffectRow>& rows() const { return rows_; }
    // The row of key in the state of index.
    [[nodiscard]] std::uint32_t row_of(std::uint32_t index, std::int8_t key) const {
        return row_[static_cast<std::size_t>(index) * KEYS + static_cast<std::size_t>(key - 'a')];
    }
    // The number the phrase of key in the state of index takes out (a step
    // or a mode; 0 where it has none).
    [[nodiscard]] std::int32_t amount_of(std::uint32_t index, std::int8_t key) const {
        return amount_[static_cast<std::size_t>(index) * KEYS + static_cast<std::size_t>(key - 'a')];
    }

private:
    static constexpr std::size_t KEYS = 6;
    std::vector<EffectRow> rows_;
    std::vector<std::uint16_t> row_;    // KEYS per state
    std::vector<std::uint8_t> amount_;  // KEYS per state
};

// "a, idle, closed, manual, time: +N s", as coverage names an effect; with
// an amount, the number in its place: "+30 s".
std::string effect_name(const Effect& effect, std::optional<std::int32_t> amount = std::nullopt);

// The table as Markdown (markdown) or CSV (RFC 4180, CRLF line ends).
void write_effects(trace::Output& out, const EffectTable& table, bool markdown);

}  // namespace panel::explore
