// Every state the panel can reach, found breadth-first by running its own
// control cycle from a start state under each of the seven inputs of a cycle
// (no key, a to f). A state is everything that decides later cycles, and what
// the cycle that led to it drew, packed into two machine words; the search
// keeps each state once, with the state and key it was first reached from, so
// the path back is a shortest key script and, among those, the first in the
// order no key, a, ..., f.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control_cycle.h"
#include "tracer.h"

namespace panel::explore {

// The inputs of a cycle, in the order the search tries them.
inline constexpr int INPUT_COUNT = 7;
inline constexpr std::int32_t INPUT_KEYS[INPUT_COUNT] = {-1, 'a', 'b', 'c', 'd', 'e', 'f'};

// The fields a condition, the state table and the graph speak of
// (trace::STATE_FIELDS), named and valued as the trace writes them.
using trace::Field;

// Fields of what is drawn: no condition on them holds before the first cycle.
inline bool is_drawn(Field field) { return trace::info(field).drawn; }

// The control flags, quantities, the three counters, the row of the shown
// mode, the display frame, backlight and beeper, and what the last cycle drew
// (row 10, row 11 and row 10's colour, or nothing at start-up). Not in it:
// the bytes of the output sink and the display digits, which the cycle
// rewrites before it reads them, and the mode text, which it makes anew from
// the shown row. What was drawn decides no later cycle: a state is the panel
// part of it and the drawn part.
struct PackedState {
    std::uint64_t low;
    std::uint64_t high;
    friend bool operator==(const PackedState&, const PackedState&) = default;
};

// The rows as the trace's screen shows them after a cycle, and row 10's colour code.
struct Drawn {
    std::string_view row10;
    std::string_view row11;
    std::int32_t color;
};

// nullopt when a field lies outside the range the packing holds (a negative
// time, say, or a row no panel draws): the search then stops rather than
// merge two states. No drawn: nothing is drawn yet.
std::optional<PackedState> pack(const Panel& panel, const std::optional<Drawn>& drawn);
// The tracer's panel and what its screen shows (nothing before the first
// cycle), so a condition reads a trace record as it reads a searched state.
std::optional<PackedState> pack(const trace::Tracer& tracer);
// The panel in state; its mode table is the panel's own.
void unpack(PackedState state, Panel& panel);
// The state without what was drawn: the panel's own state.
PackedState panel_part(PackedState state);

// For a drawn field, -1 while nothing is drawn.
std::int32_t field_value(PackedState state, Field field);
// The value row10 or row11 holds when it shows text, or nullopt for a text
// that no packed state can hold; and back.
std::optional<std::int32_t> shown_code(Field field, std::string_view text);
std::string shown_text(Field field, std::int32_t code);
// The further parts of a state, for the state table.
struct StateDetail {
    std::int32_t time_tick, temp_tick, beep_tick;
    DisplayFrame display;
};
StateDetail detail(PackedState state);

// A growing array kept in fixed chunks: it never moves what it holds, and
// never holds twice its size while it grows, as a doubling vector does.
template <typename T>
class Chunked {
    // One chunk, left uninitialised: every slot is written before it is read.
    struct Chunk {
        T slots[std::size_t{1} << 14];
    };

public:
    void clear() {
        chunks_.clear();
        size_ = 0;
    }
    void push_back(const T& value) {
        if (size_ % CHUNK == 0) {
            chunks_.push_back(std::unique_ptr<Chunk>(new Chunk));
        }
        chunks_.back()->slots[size_ % CHUNK] = value;
        ++size_;
    }
    const T& operator[](std::size_t index) const {
        assert(index < size_);  // past the end lies unwritten memory
        return chunks_[index / CHUNK]->slots[index % CHUNK];
    }
    [[nodiscard]] std::size_t size() const { return size_; }

private:
    static constexpr std::size_t CHUNK = std::size(Chunk{}.slots);
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::size_t size_ = 0;
};

// One cycle under a key (NO_KEY for none) on panel. The search runs the
// panel's own cycle unless it is given another, as a test does to build a
// panel with a fault.
using Cycle = void (*)(Panel& panel, std::int32_t key);

// Distinct pairs of a state and a state it leads to, self-loops among them.
struct TransitionCount {
    std::uint64_t distinct;
    std::uint64_t self_loops;
};

class StateSpace {
public:
    // Runs the whole search from start; false if a state could not be packed.
    // What each cycle drew is read from the bytes the panel's output receives,
    // as the trace's screen shows them.
    bool explore(PackedState start, Cycle cycle = nullptr);

    [[nodiscard]] std::uint32_t size() const { return static_cast<std::uint32_t>(states_.size()); }
    [[nodiscard]] PackedState state(std::uint32_t index) const { return states_[index]; }
    // Distance from the start in cycles.
    [[nodiscard]] std::uint32_t depth(std::uint32_t index) const;
    [[nodiscard]] std::uint32_t max_depth() const {
        return static_cast<std::uint32_t>(level_start_.size() - 2);
    }
    // The state reached from index under input (an index of INPUT_KEYS).
    [[nodiscard]] std::uint32_t next(std::uint32_t index, int input) const {
        assert(input >= 0 && input < INPUT_COUNT);  // past the last lies the next state's first
        return next_[static_cast<std::size_t>(index) * INPUT_COUNT + static_cast<std::size_t>(input)];
    }
    [[nodiscard]] TransitionCount transitions() const;
    // The keys of a shortest script from the start to index (NO_KEY for none).
    [[nodiscard]] std::vector<std::int32_t> script_to(std::uint32_t index) const;
    // Which states some key script leads from into a state where target holds.
    [[nodiscard]] std::vector<bool> can_reach(const std::vector<bool>& target) const;
    // The state a packed value is kept under, if the search reached it.
    [[nodiscard]] std::optional<std::uint32_t> find(PackedState state) const;

private:
    std::uint32_t insert(PackedState state, std::uint32_t parent, std::uint8_t input);
    void grow();

    Chunked<PackedState> states_;             // in breadth-first order
    Chunked<std::uint32_t> parent_;           // the state each was first reached from
    Chunked<std::uint8_t> input_;             // and under which input
    Chunked<std::uint32_t> next_;             // INPUT_COUNT successors per state
    std::vector<std::uint32_t> level_start_;  // first index of each depth, and the end
    std::vector<std::uint32_t> slots_;        // open addressing: index + 1, 0 for empty
};

}  // namespace panel::explore
