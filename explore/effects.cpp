#include "effects.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "condition.h"

namespace panel::explore {
namespace {

std::string_view mode_kind(bool automatic) { return automatic ? "automatic" : "manual"; }

// The columns of the table, in order: the fields that tell effects apart
// (of the mode, only whether it is manual), what the key does, the states.
std::vector<std::string> headers() {
    std::vector<std::string> all;
    constexpr Field FIELDS[] = {Field::KEY, Field::OPERATION, Field::DOOR, Field::MODE, Field::SETTING};
    std::transform(std::begin(FIELDS), std::end(FIELDS), std::back_inserter(all),
                   [](Field field) { return std::string(field_name(field)); });
    all.emplace_back("what the key does");
    all.emplace_back("states");
    return all;
}

}  // namespace

std::uint32_t Effect::code() const {
    return static_cast<std::uint32_t>(key - 'a') << 12 | static_cast<std::uint32_t>(operation & 7) << 9 |
           static_cast<std::uint32_t>(door & 1) << 8 | static_cast<std::uint32_t>(automatic) << 7 |
           static_cast<std::uint32_t>(setting & 1) << 6 | static_cast<std::uint32_t>(reason);
}

namespace {

// The effect of key in state, and the number its phrase takes out.
std::pair<Effect, std::int32_t> effect_and_amount(const PackedState state, const std::int8_t key) {
    Panel panel{};
    unpack(state, panel);
    const ControlState& c = panel.control;
    const KeyEffect effect = key_effect(c, panel.time_temp, key);
    return {Effect{key, c.operation, c.opening_state, c.mode_number != 0, c.time_temp_setting, effect.reason},
            effect.amount};
}

}  // namespace

Effect effect_of(const PackedState state, const std::int8_t key) { return effect_and_amount(state, key).first; }

EffectTable::EffectTable(const StateSpace& space) {
    std::map<std::uint32_t, std::uint32_t> row_of_code;
    std::vector<std::uint32_t> codes(static_cast<std::size_t>(space.size()) * KEYS);
    amount_.resize(codes.size());
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        for (std::size_t k = 0; k < KEYS; ++k) {
            const auto [e, amount] = effect_and_amount(space.state(i), static_cast<std::int8_t>('a' + k));
            amount_[static_cast<std::size_t>(i) * KEYS + k] = static_cast<std::uint8_t>(amount);
            const auto [at, added] = row_of_code.try_emplace(e.code(), static_cast<std::uint32_t>(rows_.size()));
            if (added) {
                rows_.push_back({e, 0, i});
            }
            rows_[at->second].states += 1;
            codes[static_cast<std::size_t>(i) * KEYS + k] = e.code();
        }
    }
    std::sort(rows_.begin(), rows_.end(),
              [](const EffectRow& x, const EffectRow& y) { return x.effect.code() < y.effect.code(); });
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        row_of_code[rows_[r].effect.code()] = static_cast<std::uint32_t>(r);
    }
    row_.resize(codes.size());
    for (std::size_t n = 0; n < codes.size(); ++n) {
        row_[n] = static_cast<std::uint16_t>(row_of_code[codes[n]]);
    }
}

std::string effect_name(const Effect& e, const std::optional<std::int32_t> amount) {
    std::string name(1, static_cast<char>(e.key));
    for (const std::string_view part : {trace::word_of(Field::OPERATION, e.operation), trace::word_of(Field::DOOR, e.door),
                                        mode_kind(e.automatic), trace::word_of(Field::SETTING, e.setting)}) {
        name += ", ";
        name += part;
    }
    return name + ": " +
           std::string((amount ? key_effect_text({e.reason, *amount}) : key_reason_text(e.reason)).view());
}

void write_effects(trace::Output& out, const EffectTable& table, const bool markdown) {
    const std::string_view open = markdown ? "| " : "";
    const std::string_view between = markdown ? " | " : ",";
    const std::string_view close = markdown ? " |\n" : "\r\n";
    auto line = [&](const std::vector<std::string>& cells) {
        out.put(open);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            out.put(i == 0 ? "" : between);
            out.put(markdown ? cells[i] : trace::csv_field(cells[i]));
        }
        out.put(close);
    };
    line(headers());
    if (markdown) {
        out.put("|---|---|---|---|---|---|---:|\n");
    }
    for (const EffectRow& row : table.rows()) {
        const Effect& e = row.effect;
        line({std::string(1, static_cast<char>(e.key)), std::string(trace::word_of(Field::OPERATION, e.operation)),
              std::string(trace::word_of(Field::DOOR, e.door)), std::string(mode_kind(e.automatic)),
              std::string(trace::word_of(Field::SETTING, e.setting)), std::string(key_reason_text(e.reason).view()),
              std::to_string(row.states)});
    }
}

}  // namespace panel::explore
