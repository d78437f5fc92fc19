#include "report.h"

#include "properties.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <unordered_map>

namespace panel::explore {
namespace {


// A DOT string's body: quotes and backslashes escaped.
std::string dot_escaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

}  // namespace

void write_script(trace::Output& out, RunSpool& prefix, const StateSpace& space, std::uint32_t index,
                  const std::vector<int>& inputs, bool answer_note) {
    Script answer;
    for (const std::int32_t key : space.script_to(index)) {
        append_step(answer, key, 1);
    }
    for (const int input : inputs) {
        append_step(answer, INPUT_KEYS[input], 1);
    }
    // The prefix's last run is held back, to merge with the answer's first.
    std::optional<ScriptStep> held;
    auto put_run = [&](const ScriptStep& run) {
        if (held && held->key == run.key) {
            held->count += run.count;
            return true;
        }
        if (held) {
            out.put(format_run(*held));
            out.put(' ');
        }
        held = run;
        return true;
    };
    if (!prefix.replay(put_run)) {
        out.fail(errno);
    }
    for (const ScriptStep& run : answer.steps) {
        put_run(run);
    }
    if (held) {
        out.put(format_run(*held));
    }
    if (answer_note && answer.steps.empty()) {
        // After --from's keys too: the search starts where they leave the panel.
        out.put(held ? " " : "");
        out.put("# holds at start-up: no key needed");
    }
    out.put('\n');
}

bool write_summary(trace::Output& out, RunSpool& prefix, const StateSpace& space,
                   std::chrono::steady_clock::time_point began) {
    const std::vector<PropertyResult> results = check_properties(space);
    const TransitionCount transitions = space.transitions();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    char line[256];
    (void)std::snprintf(line, sizeof line,
                        "%u states, %llu transitions (%llu of them self-loops) under %llu inputs tried, "
                        "the deepest %u cycles from the start; %.3f s\n",
                        space.size(), static_cast<unsigned long long>(transitions.distinct),
                        static_cast<unsigned long long>(transitions.self_loops),
                        static_cast<unsigned long long>(space.size()) * INPUT_COUNT, space.max_depth(), seconds);
    out.put(line);
    bool all_hold = true;
    int number = 0;
    for (const PropertyResult& result : results) {
        (void)std::snprintf(line, sizeof line, "property %d, ", ++number);
        out.put(line);
        out.put(result.statement);
        if (!result.violation) {
            out.put(": holds\n");
            continue;
        }
        out.put(": violated by: ");
        write_script(out, prefix, space, *result.violation, result.inputs);
        all_hold = false;
    }
    return all_hold;
}

void write_states(trace::Output& out, const StateSpace& space) {
    out.put("depth");
    for (const Field f : trace::STATE_FIELDS) {
        out.put(',');
        out.put(field_name(f));
    }
    out.put(",time_tick,temp_tick,beep_tick,display\r\n");
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        const PackedState s = space.state(i);
        out.put_number(space.depth(i));
        for (const Field f : trace::STATE_FIELDS) {
            out.put(',');
            out.put(value_text(f, field_value(s, f)));
        }
        const StateDetail d = detail(s);
        for (const std::int32_t v : {d.time_tick, d.temp_tick, d.beep_tick}) {
            out.put(',');
            out.put_number(static_cast<std::uint64_t>(v));
        }
        out.put(',');
        for (const std::int32_t digit : d.display.digits) {
            out.put(static_cast<char>('0' + digit));
        }
        out.put("\r\n");
    }
}

void write_graph(trace::Output& out, const StateSpace& space, const std::vector<Field>& fields) {
    // Each state's node; nodes are numbered as the search first meets them.
    std::map<std::vector<std::int32_t>, std::uint32_t> node_of_values;
    std::vector<const std::vector<std::int32_t>*> node_values;
    std::vector<std::uint32_t> node(space.size());
    std::vector<std::int32_t> values(fields.size());
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        for (std::size_t f = 0; f < fields.size(); ++f) {
            values[f] = field_value(space.state(i), fields[f]);
        }
        const auto [at, added] =
            node_of_values.try_emplace(values, static_cast<std::uint32_t>(node_values.size()));
        if (added) {
            node_values.push_back(&at->first);
        }
        node[i] = at->second;
    }
    // The keys of each edge, one bit per input.
    std::unordered_map<std::uint64_t, std::uint8_t> keys;
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        for (int input = 0; input < INPUT_COUNT; ++input) {
            const std::uint32_t to = node[space.next(i, input)];
            if (to != node[i]) {
                keys[(std::uint64_t{node[i]} << 32) | to] |= static_cast<std::uint8_t>(1U << input);
            }
        }
    }
    std::vector<std::pair<std::uint64_t, std::uint8_t>> edges(keys.begin(), keys.end());
    std::sort(edges.begin(), edges.end());

    out.put("digraph panel {\n  node [shape=box];\n");
    for (std::size_t n = 0; n < node_values.size(); ++n) {
        out.put("  n");
        out.put_number(n);
        out.put(" [label=\"");
        for (std::size_t f = 0; f < fields.size(); ++f) {
            out.put(f == 0 ? "" : "\\n");
            out.put(dot_escaped(value_text(fields[f], (*node_values[n])[f])));
        }
        out.put("\"];\n");
    }
    for (const auto& [pair, mask] : edges) {
        out.put("  n");
        out.put_number(pair >> 32);
        out.put(" -> n");
        out.put_number(pair & 0xFFFFFFFFU);
        out.put(" [label=\"");
        bool first = true;
        for (int input = 0; input < INPUT_COUNT; ++input) {
            if ((mask & (1U << input)) != 0) {
                out.put(first ? "" : " ");
                out.put(INPUT_KEYS[input] < 0 ? '.' : static_cast<char>(INPUT_KEYS[input]));
                first = false;
            }
        }
        out.put("\"];\n");
    }
    out.put("}\n");
}

}  // namespace panel::explore
