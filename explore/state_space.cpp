#include "state_space.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "backlight_beep_control.h"
#include "mode_controller.h"
#include "output_sink.h"
#include "screen.h"
#include "time_temp_mode_control.h"

namespace panel::explore {
namespace {

// Where each part of a state lies in its word: first bit and width.
struct Slot {
    int shift;
    int bits;
};
constexpr Slot RAISE{0, 2};  // RAISE_FINE 0, RAISE_COARSE 1, RAISE_NONE 3
constexpr Slot SETTING{2, 1};
constexpr Slot OPERATION{3, 3};  // up to OP_CANCEL 4, which no cycle leaves behind
constexpr Slot DOOR{6, 1};
constexpr Slot MODE{7, 3};
constexpr Slot TIME{10, 11};
constexpr Slot SET_TEMP{21, 7};
constexpr Slot CUR_TEMP{28, 7};
constexpr Slot TIME_TICK{35, 4};
constexpr Slot TEMP_TICK{39, 5};
constexpr Slot BEEP_TICK{44, 6};
constexpr Slot SHOWN_MODE{50, 3};
constexpr Slot BACKLIGHT{53, 1};
constexpr Slot BEEPER{54, 1};
constexpr Slot DRAWN{55, 1};  // 0: nothing drawn yet, and the three below 0
constexpr Slot COLOR{56, 1};  // row 10 in COLOR_DARK 0 or COLOR_LIT 1
constexpr Slot ROW11{57, 3};  // the mode table row whose text row 11 shows
constexpr int DIGIT_BITS = 4;  // the display frame's six digits open the second word
// Row 10's text follows them, one symbol a character: 0 ends it, n is the
// n-th character of ROW10_SYMBOLS.
constexpr std::string_view ROW10_SYMBOLS = "0123456789:C";
constexpr int ROW10_LENGTH = 6;
constexpr Slot ROW10{24, ROW10_LENGTH * 4};
constexpr std::uint64_t DRAWN_LOW = ((std::uint64_t{1} << (DRAWN.bits + COLOR.bits + ROW11.bits)) - 1)
                                    << DRAWN.shift;
constexpr std::uint64_t DRAWN_HIGH = ((std::uint64_t{1} << ROW10.bits) - 1) << ROW10.shift;

bool put(std::uint64_t& word, Slot slot, std::int32_t value) {
    if (value < 0 || value >= (std::int32_t{1} << slot.bits)) {
        return false;
    }
    word |= static_cast<std::uint64_t>(value) << slot.shift;
    return true;
}

std::int32_t get(std::uint64_t word, Slot slot) {
    return static_cast<std::int32_t>((word >> slot.shift) & ((std::uint64_t{1} << slot.bits) - 1));
}

std::uint64_t hash(PackedState s) {
    std::uint64_t h = s.low ^ (s.high * 0x9E3779B97F4A7C15ULL);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 29;
    return h;
}

constexpr std::uint32_t NO_PARENT = UINT32_MAX;

// The panel's part of a state, nothing drawn.
std::optional<PackedState> pack_panel(const Panel& panel) {
    const ControlState& c = panel.control;
    const TimeTemp& t = panel.time_temp;
    std::uint64_t low = 0;
    bool fits = put(low, RAISE, c.raise_button) && put(low, SETTING, c.time_temp_setting) &&
                put(low, OPERATION, c.operation) && put(low, DOOR, c.opening_state) &&
                put(low, MODE, c.mode_number) && put(low, TIME, t.time) && put(low, SET_TEMP, t.set_temp) &&
                put(low, CUR_TEMP, t.cur_temp) && put(low, TIME_TICK, panel.time_tick) &&
                put(low, TEMP_TICK, panel.temp_tick) && put(low, BEEP_TICK, panel.beep_tick) &&
                put(low, SHOWN_MODE, static_cast<std::int32_t>(panel.current_mode - panel.table->data())) &&
                put(low, BACKLIGHT, panel.outputs.backlight) && put(low, BEEPER, panel.outputs.beeper);
    std::uint64_t high = 0;
    for (std::size_t i = 0; i < panel.outputs.display.digits.size(); ++i) {
        fits = fits &&
               put(high, Slot{static_cast<int>(i) * DIGIT_BITS, DIGIT_BITS}, panel.outputs.display.digits[i]);
    }
    if (!fits) {
        return std::nullopt;
    }
    return PackedState{low, high};
}

// The drawn part of a state: nullopt for rows or a colour no packed state holds.
std::optional<PackedState> pack_drawn(const Drawn& drawn) {
    const std::optional<std::int32_t> row10 = shown_code(Field::ROW10, drawn.row10);
    const std::optional<std::int32_t> row11 = shown_code(Field::ROW11, drawn.row11);
    if (!row10 || !row11 || (drawn.color != COLOR_DARK && drawn.color != COLOR_LIT)) {
        return std::nullopt;
    }
    PackedState part{0, 0};
    put(part.low, DRAWN, 1);
    put(part.low, COLOR, drawn.color == COLOR_LIT ? 1 : 0);
    put(part.low, ROW11, *row11);
    put(part.high, ROW10, *row10);
    return part;
}

// The bytes one cycle flushes, read as the trace's screen shows them; the
// same bytes always show the same, so each different run of bytes goes
// through a screen once.
class DrawingReader {
public:
    // Collects what panel's cycles flush from now on.
    void attach(Panel& panel) { panel.output.set_handler(&collect, this); }
    // Before a cycle: the redraw its panel holds back from the cycle before
    // is no part of this one. A cycle draws both rows whole, with blanks that
    // cover a longer text, so a blank screen shows after it what the screen
    // of a whole run does.
    void begin(Panel& panel) {
        panel.output.drop();
        size_ = 0;
        overflow_ = false;
    }
    // After the cycle: its drawn part, nullopt if it cannot be packed.
    std::optional<PackedState> drawn() {
        if (overflow_) {
            return std::nullopt;
        }
        const std::string_view bytes(bytes_, size_);
        const auto known = seen_.find(bytes);
        if (known != seen_.end()) {
            return known->second;
        }
        trace::Screen screen;
        screen.feed(bytes);
        const std::string row10(screen.text(TIME_TEMP_ROW));
        const std::optional<PackedState> part =
            pack_drawn(Drawn{row10, screen.text(MODE_ROW), screen.color(TIME_TEMP_ROW)});
        seen_.emplace(std::string(bytes), part);
        return part;
    }

private:
    static void collect(void* context, const char* bytes, std::size_t size) {
        auto* self = static_cast<DrawingReader*>(context);
        if (size > sizeof self->bytes_ - self->size_) {
            self->overflow_ = true;
            return;
        }
        std::memcpy(self->bytes_ + self->size_, bytes, size);
        self->size_ += size;
    }
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view bytes) const { return std::hash<std::string_view>{}(bytes); }
    };

    char bytes_[512] = {};  // a cycle flushes about a hundred bytes
    std::size_t size_ = 0;
    bool overflow_ = false;
    std::unordered_map<std::string, std::optional<PackedState>, Hash, std::equal_to<>> seen_;
};

}  // namespace

std::optional<PackedState> pack(const Panel& panel, const std::optional<Drawn>& drawn) {
    std::optional<PackedState> state = pack_panel(panel);
    if (state && drawn) {
        const std::optional<PackedState> part = pack_drawn(*drawn);
        if (!part) {
            return std::nullopt;
        }
        state->low |= part->low;
        state->high |= part->high;
    }
    return state;
}

std::optional<PackedState> pack(const trace::Tracer& tracer) {
    const trace::TraceRecord& r = tracer.record();
    return pack(tracer.panel(), r.cycle == 0 ? std::nullopt : std::optional(Drawn{r.row10, r.row11, r.color}));
}

PackedState panel_part(const PackedState state) {
    return PackedState{state.low & ~DRAWN_LOW, state.high & ~DRAWN_HIGH};
}

std::optional<std::int32_t> shown_code(const Field field, const std::string_view text) {
    if (field == Field::ROW11) {
        for (std::int32_t row = 0; row < MODE_COUNT; ++row) {
            if (shown_text(Field::ROW11, row) == text) {
                return row;
            }
        }
        return std::nullopt;
    }
    if (field != Field::ROW10 || text.size() > ROW10_LENGTH) {
        return std::nullopt;
    }
    std::int32_t code = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t symbol = ROW10_SYMBOLS.find(text[i]);
        if (symbol == std::string_view::npos) {
            return std::nullopt;
        }
        code |= static_cast<std::int32_t>(symbol + 1) << (4 * i);
    }
    return code;
}

std::string shown_text(const Field field, const std::int32_t code) {
    if (code < 0 || (field == Field::ROW11 && code >= MODE_COUNT)) {
        return {};  // nothing drawn
    }
    if (field == Field::ROW11) {
        const ModeText text = Display_Mode_Name(&MODE_TABLE[static_cast<std::size_t>(code)]);
        return {text.bytes, ::strnlen(text.bytes, sizeof text.bytes)};
    }
    std::string text;
    for (std::int32_t rest = code; rest != 0; rest >>= 4) {
        text += ROW10_SYMBOLS[static_cast<std::size_t>((rest & 0xF) - 1)];
    }
    return text;
}

void unpack(const PackedState state, Panel& panel) {
    const std::uint64_t w = state.low;
    panel.control =
        ControlState{get(w, RAISE), get(w, SETTING), get(w, OPERATION), get(w, DOOR), get(w, MODE)};
    panel.time_temp = TimeTemp{get(w, TIME), get(w, SET_TEMP), get(w, CUR_TEMP)};
    panel.time_tick = get(w, TIME_TICK);
    panel.temp_tick = get(w, TEMP_TICK);
    panel.beep_tick = get(w, BEEP_TICK);
    panel.table = &MODE_TABLE;
    panel.current_mode = &MODE_TABLE[static_cast<std::size_t>(get(w, SHOWN_MODE))];
    panel.outputs.backlight = get(w, BACKLIGHT);
    panel.outputs.beeper = get(w, BEEPER);
    for (std::size_t i = 0; i < panel.outputs.display.digits.size(); ++i) {
        panel.outputs.display.digits[i] = get(state.high, Slot{static_cast<int>(i) * DIGIT_BITS, DIGIT_BITS});
    }
}

std::int32_t field_value(const PackedState state, const Field field) {
    if (is_drawn(field)) {
        if (get(state.low, DRAWN) == 0) {
            return -1;
        }
        switch (field) {
        case Field::ROW10:
            return get(state.high, ROW10);
        case Field::ROW11:
            return get(state.low, ROW11);
        default:
            return get(state.low, COLOR) == 1 ? COLOR_LIT : COLOR_DARK;
        }
    }
    switch (field) {
    case Field::BELL: {
        // The beeper counts its cycle after it rings in cycles 0, 10 and 20,
        // so a count of 1, 11 or 21 with the beeper on is a bell just rung.
        const std::int32_t tick = get(state.low, BEEP_TICK);
        return get(state.low, BEEPER) == BEEPER_ON && tick % 10 == 1 && tick <= 21 ? 1 : 0;
    }
    default:
        break;
    }
    // Where the panel's other fields are packed; the cycle, its key and why
    // belong to a trace, not to a state.
    constexpr std::pair<Field, Slot> PACKED[] = {
        {Field::BACKLIGHT, BACKLIGHT}, {Field::OPERATION, OPERATION}, {Field::DOOR, DOOR},
        {Field::MODE, MODE},           {Field::SETTING, SETTING},     {Field::RAISE, RAISE},
        {Field::TIME, TIME},           {Field::SET_TEMP, SET_TEMP},   {Field::CUR_TEMP, CUR_TEMP},
        {Field::BEEPER, BEEPER},       {Field::SHOWN_MODE, SHOWN_MODE}};
    for (const auto& [packed, slot] : PACKED) {
        if (packed == field) {
            return get(state.low, slot);
        }
    }
    return -1;
}

StateDetail detail(const PackedState state) {
    Panel panel{};
    unpack(state, panel);
    return StateDetail{panel.time_tick, panel.temp_tick, panel.beep_tick, panel.outputs.display};
}

bool StateSpace::explore(const PackedState start, const Cycle cycle) {
    states_.clear();
    parent_.clear();
    input_.clear();
    next_.clear();
    level_start_.assign(1, 0);
    slots_.assign(std::size_t{1} << 16, 0);

    insert(start, NO_PARENT, 0);

    bool packed = true;
    std::size_t level_end = 1;
    Panel current{};
    DrawingReader reader;
    reader.attach(current);
    for (std::uint32_t i = 0; i < states_.size() && packed; ++i) {
        if (i == level_end) {
            level_start_.push_back(i);
            level_end = states_.size();
        }
        unpack(states_[i], current);
        // A cycle with a key is the key's input stage, then the cycle without
        // one; a key the input stage refuses leads where no key does.
        for (int input = 0; input < INPUT_COUNT && packed; ++input) {
            Panel panel = current;
            reader.begin(panel);
            const std::int32_t key = INPUT_KEYS[input];
            if (cycle != nullptr) {
                cycle(panel, key);
            } else if (key >= 0) {
                Key_Input(panel, static_cast<std::int8_t>(key));
                if (panel.control == current.control && panel.time_temp == current.time_temp) {
                    next_.push_back(next_[static_cast<std::size_t>(i) * INPUT_COUNT]);
                    continue;
                }
                Control_Cycle(panel, std::nullopt);
            } else {
                Control_Cycle(panel, std::nullopt);
            }
            std::optional<PackedState> after = pack_panel(panel);
            const std::optional<PackedState> drawn = reader.drawn();
            packed = after.has_value() && drawn.has_value();
            if (packed) {
                after->low |= drawn->low;
                after->high |= drawn->high;
                next_.push_back(insert(*after, i, static_cast<std::uint8_t>(input)));
            }
        }
    }
    level_start_.push_back(static_cast<std::uint32_t>(states_.size()));
    return packed;
}

std::uint32_t StateSpace::insert(const PackedState state, const std::uint32_t parent,
                                 const std::uint8_t input) {
    std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash(state) & mask;; at = (at + 1) & mask) {
        const std::uint32_t slot = slots_[at];
        if (slot == 0) {
            break;
        }
        if (states_[slot - 1] == state) {
            return slot - 1;
        }
    }
    const auto index = static_cast<std::uint32_t>(states_.size());
    states_.push_back(state);
    parent_.push_back(parent);
    input_.push_back(input);
    if (2 * states_.size() > slots_.size()) {
        grow();
        mask = slots_.size() - 1;
    }
    // Placed after a possible growth, which rebuilt the table without it.
    std::size_t at = hash(state) & mask;
    while (slots_[at] != 0 && slots_[at] != index + 1) {
        at = (at + 1) & mask;
    }
    slots_[at] = index + 1;
    return index;
}

void StateSpace::grow() {
    slots_.assign(slots_.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint32_t i = 0; i < states_.size(); ++i) {
        std::size_t at = hash(states_[i]) & mask;
        while (slots_[at] != 0) {
            at = (at + 1) & mask;
        }
        slots_[at] = i + 1;
    }
}

std::optional<std::uint32_t> StateSpace::find(const PackedState state) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash(state) & mask; slots_[at] != 0; at = (at + 1) & mask) {
        if (states_[slots_[at] - 1] == state) {
            return slots_[at] - 1;
        }
    }
    return std::nullopt;
}

std::uint32_t StateSpace::depth(const std::uint32_t index) const {
    const auto above = std::upper_bound(level_start_.begin(), level_start_.end() - 1, index);
    return static_cast<std::uint32_t>(above - level_start_.begin() - 1);
}

TransitionCount StateSpace::transitions() const {
    TransitionCount count{0, 0};
    for (std::uint32_t i = 0; i < size(); ++i) {
        for (int input = 0; input < INPUT_COUNT; ++input) {
            const std::uint32_t to = next(i, input);
            bool seen = false;
            for (int before = 0; before < input && !seen; ++before) {
                seen = next(i, before) == to;
            }
            if (!seen) {
                count.distinct += 1;
                count.self_loops += to == i ? 1 : 0;
            }
        }
    }
    return count;
}

std::vector<std::int32_t> StateSpace::script_to(std::uint32_t index) const {
    std::vector<std::int32_t> keys;
    for (; parent_[index] != NO_PARENT; index = parent_[index]) {
        keys.push_back(INPUT_KEYS[input_[index]]);
    }
    std::reverse(keys.begin(), keys.end());
    return keys;
}

std::vector<bool> StateSpace::can_reach(const std::vector<bool>& target) const {
    // The transitions turned round (compressed rows), then a search backwards
    // from every target state.
    // A state's inputs that lead to the same state give one edge.
    auto distinct = [this](std::size_t e) {
        for (std::size_t k = e - e % INPUT_COUNT; k < e; ++k) {
            if (next_[k] == next_[e]) {
                return false;
            }
        }
        return true;
    };
    const std::size_t count = states_.size();
    std::vector<std::uint32_t> first(count + 1, 0);
    for (std::size_t e = 0; e < next_.size(); ++e) {
        first[next_[e]] += distinct(e) ? 1 : 0;
    }
    for (std::size_t i = 0; i < count; ++i) {
        first[i + 1] += first[i];
    }
    // first[i] is now where row i ends; filled from the back, it counts down
    // to where the row starts, and row i is first[i] to first[i + 1].
    std::vector<std::uint32_t> from(first[count]);
    for (std::size_t e = next_.size(); e-- > 0;) {
        if (distinct(e)) {
            from[--first[next_[e]]] = static_cast<std::uint32_t>(e / INPUT_COUNT);
        }
    }
    std::vector<bool> reached(target);
    std::vector<std::uint32_t> queue;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (target[i]) {
            queue.push_back(i);
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t to = queue[head];
        for (std::uint32_t e = first[to]; e < first[to + 1]; ++e) {
            if (!reached[from[e]]) {
                reached[from[e]] = true;
                queue.push_back(from[e]);
            }
        }
    }
    return reached;
}

}  // namespace panel::explore
