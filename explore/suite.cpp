#include "suite.h"

#include <algorithm>
#include <set>

#include "condition.h"
#include "key_script.h"
#include "tracer.h"

namespace panel::explore {
namespace {

// The fields of a row as the trace's CSV writes them.
constexpr Field ROW_FIELDS[] = {Field::ROW10,     Field::ROW11,     Field::COLOR, Field::BELL,    Field::BACKLIGHT,
                                Field::OPERATION, Field::DOOR,      Field::MODE,  Field::SETTING, Field::RAISE,
                                Field::TIME,      Field::SET_TEMP,  Field::CUR_TEMP};

// A node of the default graph: operation and door.
std::uint32_t node(PackedState state) {
    return static_cast<std::uint32_t>(field_value(state, Field::OPERATION)) << 1 |
           static_cast<std::uint32_t>(field_value(state, Field::DOOR));
}

// The quantities whose least and greatest values a suite shows: where a
// display or a limit goes wrong.
constexpr Field QUANTITIES[] = {Field::TIME, Field::SET_TEMP, Field::CUR_TEMP};

// What a scenario covers first, as its comment lists it.
struct Item {
    enum Kind : std::uint8_t { EFFECT, TRANSITION, BOUND } kind;
    std::string text;
};

// What is still to cover, and which (state, input) covers what.
class Targets {
public:
    Targets(const StateSpace& space, const EffectTable& effects) : space_(space), effects_(effects) {
        std::fill(std::begin(bounds_), std::end(bounds_), std::pair{INT32_MAX, INT32_MIN});
        for (std::uint32_t i = 0; i < space.size(); ++i) {
            for (std::size_t q = 0; q < std::size(QUANTITIES); ++q) {
                const std::int32_t value = field_value(space.state(i), QUANTITIES[q]);
                bounds_[q] = {std::min(bounds_[q].first, value), std::max(bounds_[q].second, value)};
            }
            for (int input = 0; input < INPUT_COUNT; ++input) {
                if (const auto e = edge(i, input)) {
                    edges_.insert(*e);
                }
                if (input > 0) {
                    effects_left_.insert(effect(i, input));
                }
            }
        }
        bounds_left_ = (1U << (2 * std::size(QUANTITIES))) - 1;
        left_ = effects_left_.size() + edges_.size() + 2 * std::size(QUANTITIES);
    }
    [[nodiscard]] bool done() const { return left_ == 0; }
    // The bounds of the quantities that a cycle from one state to the other
    // reaches, one bit each (least, greatest).
    [[nodiscard]] std::uint32_t reached(PackedState from, PackedState to) const {
        std::uint32_t bits = 0;
        for (std::size_t q = 0; q < std::size(QUANTITIES); ++q) {
            const std::int32_t before = field_value(from, QUANTITIES[q]);
            const std::int32_t after = field_value(to, QUANTITIES[q]);
            if (after != before && after == bounds_[q].first) {
                bits |= 1U << (2 * q);
            }
            if (after != before && after == bounds_[q].second) {
                bits |= 2U << (2 * q);
            }
        }
        return bits;
    }
    // Whether input in the state of index covers something not yet covered.
    [[nodiscard]] bool fresh(std::uint32_t index, int input) const {
        if (input > 0 && effects_left_.contains(effect(index, input))) {
            return true;
        }
        if (bounds_left_ != 0 &&
            (reached(space_.state(index), space_.state(space_.next(index, input))) & bounds_left_) != 0) {
            return true;
        }
        const auto e = edge(index, input);
        return e && edges_.contains(*e);
    }
    // Marks what input in the state of index covers; what it newly covered
    // is added to said.
    void take(std::uint32_t index, int input, std::vector<Item>& said) {
        if (input > 0 && effects_left_.erase(effect(index, input)) != 0) {
            --left_;
            const auto key = static_cast<std::int8_t>(INPUT_KEYS[input]);
            said.push_back({Item::EFFECT, effect_name(effects_.rows()[effects_.row_of(index, key)].effect,
                                                      effects_.amount_of(index, key))});
        }
        const std::uint32_t bits =
            reached(space_.state(index), space_.state(space_.next(index, input))) & bounds_left_;
        for (std::size_t q = 0; q < std::size(QUANTITIES); ++q) {
            for (std::uint32_t greatest = 0; greatest < 2; ++greatest) {
                if ((bits & (1U << (2 * q + greatest))) != 0) {
                    --left_;
                    said.push_back({Item::BOUND, std::string(field_name(QUANTITIES[q])) + " reaches its " +
                                                     (greatest != 0 ? "greatest, " : "least, ") +
                                                     std::to_string(greatest != 0 ? bounds_[q].second
                                                                                  : bounds_[q].first)});
                }
            }
        }
        bounds_left_ &= ~bits;
        if (const auto e = edge(index, input); e && edges_.erase(*e) != 0) {
            --left_;
            const PackedState from = space_.state(index);
            const PackedState to = space_.state(space_.next(index, input));
            said.push_back({Item::TRANSITION,
                            value_text(Field::OPERATION, field_value(from, Field::OPERATION)) + " " +
                                value_text(Field::DOOR, field_value(from, Field::DOOR)) + " -> " +
                                value_text(Field::OPERATION, field_value(to, Field::OPERATION)) + " " +
                                value_text(Field::DOOR, field_value(to, Field::DOOR)) + " under " +
                                (input == 0 ? "no key" : std::string(1, static_cast<char>(INPUT_KEYS[input])))});
        }
    }

private:
    // An effect with the number it takes: each step and each mode apart, so
    // that the mode key is pressed in every mode.
    [[nodiscard]] std::uint32_t effect(std::uint32_t index, int input) const {
        const auto key = static_cast<std::int8_t>(INPUT_KEYS[input]);
        return effects_.row_of(index, key) << 8 | static_cast<std::uint32_t>(effects_.amount_of(index, key));
    }
    // The graph's edge that input takes from the state of index, labelled with the input.
    [[nodiscard]] std::optional<std::uint32_t> edge(std::uint32_t index, int input) const {
        const std::uint32_t from = node(space_.state(index));
        const std::uint32_t to = node(space_.state(space_.next(index, input)));
        if (from == to) {
            return std::nullopt;
        }
        return from << 8 | to << 3 | static_cast<std::uint32_t>(input);
    }

    const StateSpace& space_;
    const EffectTable& effects_;
    std::set<std::uint32_t> effects_left_;
    std::set<std::uint32_t> edges_;
    std::pair<std::int32_t, std::int32_t> bounds_[std::size(QUANTITIES)];  // least, greatest
    std::uint32_t bounds_left_ = 0;                                          // as reached() says them
    std::size_t left_;
};

// The nearest (state, input) from index that covers something: breadth-first
// over the space, the inputs of a state in order. The way there is in
// parent; returns the state and the input, and its distance in cycles.
struct Found {
    std::uint32_t state;
    // cppcheck-suppress unusedStructMember ; read through the optional that holds it
    int input;
    std::uint32_t distance;
};
class Nearest {
public:
    explicit Nearest(const StateSpace& space)
        : space_(space), seen_(space.size(), 0), parent_(space.size()), input_(space.size()) {}

    std::optional<Found> from(std::uint32_t start, const Targets& targets) {
        ++stamp_;
        queue_.clear();
        queue_.push_back(start);
        seen_[start] = stamp_;
        distance_.assign(1, 0);
        for (std::size_t head = 0; head < queue_.size(); ++head) {
            const std::uint32_t i = queue_[head];
            for (int input = 0; input < INPUT_COUNT; ++input) {
                if (targets.fresh(i, input)) {
                    return Found{i, input, distance_[head] + 1};
                }
            }
            for (int input = 0; input < INPUT_COUNT; ++input) {
                const std::uint32_t to = space_.next(i, input);
                if (seen_[to] != stamp_) {
                    seen_[to] = stamp_;
                    parent_[to] = i;
                    input_[to] = static_cast<std::uint8_t>(input);
                    queue_.push_back(to);
                    distance_.push_back(distance_[head] + 1);
                }
            }
        }
        return std::nullopt;
    }
    // The inputs from the last search's start to index.
    [[nodiscard]] std::vector<int> way(std::uint32_t start, std::uint32_t index) const {
        std::vector<int> inputs;
        for (; index != start; index = parent_[index]) {
            inputs.push_back(input_[index]);
        }
        std::reverse(inputs.begin(), inputs.end());
        return inputs;
    }

private:
    const StateSpace& space_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t stamp_ = 0;
    std::vector<std::uint32_t> parent_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint32_t> queue_;
    std::vector<std::uint32_t> distance_;
};

std::string two_digits(std::size_t n) {
    std::string text = std::to_string(n);
    if (n < 10) {
        text.insert(text.begin(), '0');
    }
    return text;
}

// The scenario's file: its comment, then each run of keys on a line of its
// own with the checks after the cycles that matter: one with a key, one
// that changes operation or door, and the cycle after each (the drawing
// shows a change a cycle later), and the last.
SuiteFile write_scenario(std::size_t number, const std::vector<int>& inputs, const std::vector<Item>& said,
                         const StateSpace& space, const Targets& targets) {
    SuiteFile file{};
    // Named after the last thing it covers, which the rest leads up to.
    std::string slug;
    for (const char c : said.back().text) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (word) {
            slug += c;
        } else if (!slug.empty() && slug.back() != '-') {
            slug += '-';
        }
    }
    while (!slug.empty() && slug.back() == '-') {
        slug.pop_back();
    }
    file.name = two_digits(number) + "-" + slug + ".keys";
    std::size_t counts[3] = {};
    for (const Item& item : said) {
        counts[item.kind] += 1;
    }
    auto counted = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    file.text = "# " + std::to_string(number) + ": to " + said.back().text + "; covers " +
                counted(counts[Item::EFFECT], "effect", "effects") + " (each number apart), " +
                counted(counts[Item::TRANSITION], "transition", "transitions") + " of operation and door and " +
                counted(counts[Item::BOUND], "bound", "bounds") + " of a quantity (made by cooker-panel-explore --suite)\n";
    for (const Item& item : said) {
        file.text += "#   " + item.text + "\n";
    }
    trace::Tracer tracer;
    std::vector<bool> checked(inputs.size() + 1, false);
    std::uint32_t at = 0;
    for (std::size_t n = 0; n < inputs.size(); ++n) {
        const std::uint32_t to = space.next(at, inputs[n]);
        if (inputs[n] != 0 || node(space.state(at)) != node(space.state(to)) ||
            targets.reached(space.state(at), space.state(to)) != 0) {
            checked[n] = true;
            checked[n + 1] = n + 1 < inputs.size();
        }
        at = to;
    }
    checked[inputs.size() - 1] = true;  // the last, with the row that shows the key before it
    std::optional<ScriptStep> run;
    auto put_run = [&] {
        if (run) {
            file.text += format_run(*run) + "\n";
            run.reset();
        }
    };
    for (std::size_t n = 0; n < inputs.size(); ++n) {
        const std::int32_t key = INPUT_KEYS[inputs[n]];
        tracer.step(key);
        if (run && run->key == key) {
            run->count += 1;
        } else {
            put_run();
            run = ScriptStep{key, 1};
        }
        if (checked[n]) {
            put_run();
            file.text += row_check(tracer) + "\n";
            file.checks += 1;
        }
    }
    file.cycles = inputs.size();
    return file;
}

}  // namespace

std::string row_check(const trace::Tracer& tracer) {
    const PackedState state = *pack(tracer);  // a tracer's panel always packs
    std::string text = "{expect ";
    for (const Field f : ROW_FIELDS) {
        text += text.size() == 8 ? "" : ", ";
        text += field_name(f);
        text += '=';
        const std::string value = value_text(f, field_value(state, f));
        text += f == Field::ROW10 || f == Field::ROW11 ? "'" + value + "'" : value;
    }
    if (tracer.record().key != NO_KEY) {
        text += ", why=\"" + std::string(trace::why_text(tracer.record()).view()) + "\"";
    }
    return text + "}";
}

// A scenario ends when what is left to cover lies more than this many
// cycles nearer to start-up than to where the scenario stands.
constexpr std::uint32_t MARGIN = 1;

std::vector<SuiteFile> make_suite(const StateSpace& space, const EffectTable& effects) {
    Targets targets(space, effects);
    Nearest nearest(space);
    std::vector<SuiteFile> suite;
    while (!targets.done()) {
        std::vector<int> inputs;
        std::vector<Item> said;
        std::uint32_t at = 0;
        for (;;) {
            const std::optional<Found> found = nearest.from(at, targets);
            if (!found) {
                break;
            }
            if (at != 0) {
                // Nearer from start-up: the next scenario starts there.
                std::optional<std::uint32_t> fresh_depth;
                for (std::uint32_t i = 0; i < space.size() && !fresh_depth; ++i) {
                    for (int input = 0; input < INPUT_COUNT && !fresh_depth; ++input) {
                        if (targets.fresh(i, input)) {
                            fresh_depth = space.depth(i) + 1;
                        }
                    }
                }
                if (fresh_depth && *fresh_depth + MARGIN < found->distance) {
                    break;
                }
            }
            for (const int input : nearest.way(at, found->state)) {
                targets.take(at, input, said);
                inputs.push_back(input);
                at = space.next(at, input);
            }
            targets.take(at, found->input, said);
            inputs.push_back(found->input);
            at = space.next(at, found->input);
        }
        if (inputs.empty()) {
            break;  // nothing reachable is left: cannot happen from start-up
        }
        // One cycle more, without a key, shows what the last one did.
        targets.take(at, 0, said);
        inputs.push_back(0);
        suite.push_back(write_scenario(suite.size() + 1, inputs, said, space, targets));
    }
    return suite;
}

}  // namespace panel::explore
