// The web page's host: the panel's real control cycle, the tracer's screen
// model, the trace writers and the explorer behind the plain C functions of
// panel_api.h.
#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#else
#define EMSCRIPTEN_KEEPALIVE  // built natively for its tests
#endif

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "panel_api.h"
#include "condition.h"
#include "key_script.h"
#include "state_space.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::Script;
using panel::trace::Tracer;

// The name a downloaded session is saved under; the diagram's heading says
// it, as the trace program's does for a file of that name.
constexpr const char* SESSION_NAME = "cooker-panel-session.keys";

struct Session {
    std::unique_ptr<Tracer> tracer = std::make_unique<Tracer>();
    Script keys;           // every cycle so far, runs merged
    Script replay;         // a script being played
    std::size_t step{};    // where in replay
    std::uint64_t done{};  // cycles of that step played
};

Session& session() {
    static Session s;
    return s;
}

// The state space last searched, and the start it was searched from.
struct Search {
    panel::explore::StateSpace space;
    std::optional<panel::explore::PackedState> start;
    double seconds = 0;
};

Search& search() {
    static Search s;
    return s;
}

const char* keep(std::string& place, std::string text) {
    place = std::move(text);
    return place.c_str();
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void cp_start() { session() = Session{}; }

EMSCRIPTEN_KEEPALIVE int cp_cycle(int key) {
    Session& s = session();
    const int byte = key < 0 ? panel::NO_KEY : key & 0xFF;
    panel::append_step(s.keys, byte, 1);
    return s.tracer->step(byte).bell;
}

EMSCRIPTEN_KEEPALIVE const char* cp_row(int row) {
    static std::string text;
    const panel::trace::TraceRecord& r = session().tracer->record();
    return keep(text, row == 10 ? r.row10 : r.row11);
}
EMSCRIPTEN_KEEPALIVE int cp_color() { return session().tracer->record().color; }
EMSCRIPTEN_KEEPALIVE const char* cp_why() {
    static std::string text;
    const panel::trace::TraceRecord& r = session().tracer->record();
    if (r.key == panel::NO_KEY) {
        return keep(text, "");
    }
    char key[4];
    return keep(text, std::string(panel::key_text(r.key, key)) + ": " +
                          std::string(panel::trace::why_text(r).view()));
}
EMSCRIPTEN_KEEPALIVE int cp_backlight() { return session().tracer->record().backlight; }
EMSCRIPTEN_KEEPALIVE int cp_door() { return session().tracer->record().door; }
EMSCRIPTEN_KEEPALIVE int cp_operation() { return session().tracer->record().operation; }
EMSCRIPTEN_KEEPALIVE double cp_cycles() { return static_cast<double>(session().keys.cycles); }

EMSCRIPTEN_KEEPALIVE const char* cp_script() {
    static std::string text;
    return keep(text, panel::format_script(session().keys));
}

EMSCRIPTEN_KEEPALIVE const char* cp_export(int format) {
    static std::string text;
    text.clear();
    const Script& keys = session().keys;
    {
        panel::trace::Output out(text);
        panel::trace::ScriptTrace trace(out, static_cast<panel::trace::Format>(format & 3), false, keys.cycles,
                                        SESSION_NAME);
        for (const panel::ScriptStep& run : keys.steps) {
            trace.cycles(run.key, run.count);
        }
        trace.finish();
    }
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* cp_load(const char* text, const char* name) {
    static std::string message;
    Session& s = session();
    s.replay = Script{};
    s.step = 0;
    s.done = 0;
    Script parsed;
    if (const auto error = panel::parse_script(text, parsed)) {
        return keep(message, std::string(name) + ":" + std::to_string(error->line) + ":" +
                                 std::to_string(error->column) + ": " + error->message);
    }
    s.replay = std::move(parsed);
    return keep(message, "");
}

EMSCRIPTEN_KEEPALIVE int cp_replay_next() {
    Session& s = session();
    while (s.step < s.replay.steps.size() && s.done == s.replay.steps[s.step].count) {
        ++s.step;
        s.done = 0;
    }
    if (s.step == s.replay.steps.size()) {
        return -2;
    }
    ++s.done;
    return s.replay.steps[s.step].key;
}

EMSCRIPTEN_KEEPALIVE int cp_replay_all() {
    int bells = 0;
    for (int key = cp_replay_next(); key != -2; key = cp_replay_next()) {
        bells += cp_cycle(key);
    }
    return bells;
}

EMSCRIPTEN_KEEPALIVE const char* cp_ask(const char* condition) {
    static std::string answer;
    std::vector<panel::explore::Condition> conditions;
    if (const auto error = panel::explore::parse_expression(condition, conditions)) {
        return keep(answer, "Ecolumn " + std::to_string(error->column) + ": " + error->message);
    }
    Search& found = search();
    // The panel as it is now, and what its screen shows.
    const std::optional<panel::explore::PackedState> start = panel::explore::pack(*session().tracer);
    if (!start) {
        return keep(answer, "Ethe panel's state cannot be searched");
    }
    if (found.start != start) {
        const auto began = std::chrono::steady_clock::now();
        found.start = found.space.explore(*start) ? start : std::nullopt;
        found.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    }
    for (std::uint32_t i = 0; found.start && i < found.space.size(); ++i) {
        if (panel::explore::holds(conditions, found.space.state(i))) {
            return keep(answer, "S" + panel::format_script(found.space.script_to(i)));
        }
    }
    return keep(answer, "U");
}

EMSCRIPTEN_KEEPALIVE double cp_search_seconds() { return search().seconds; }
EMSCRIPTEN_KEEPALIVE double cp_search_states() { return search().space.size(); }

}  // extern "C"
