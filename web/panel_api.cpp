// The web page's host: the panel's real control cycle, the tracer's screen
// model, the trace writers and the explorer behind the plain C functions of
// panel_api.h. The host keeps the session's state itself (its script, a
// timing diagram fed every cycle, checkpoints), so no call costs more as the
// session grows, but for the whole script and the exports, which the page
// takes in pieces.
#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#else
#define EMSCRIPTEN_KEEPALIVE  // built natively for its tests
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "condition.h"
#include "key_script.h"
#include "panel_api.h"
#include "state_space.h"
#include "svg_writer.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::Script;
using panel::ScriptStep;
using panel::trace::Tracer;

// The name a downloaded session is saved under; the diagram's heading says
// it, as the trace program's does for a file of that name.
constexpr const char* SESSION_NAME = "cooker-panel-session.keys";

// The runs of one key a script may have to be held by the page: 16 bytes
// each, for the script and again for the session it plays.
constexpr std::size_t MAX_RUNS = 4'000'000;

// Checkpoints kept at most; past that every other one goes and the rest
// are twice as far apart.
constexpr std::size_t MAX_CHECKPOINTS = 1024;
constexpr std::uint64_t FIRST_CHECKPOINT_EVERY = 1000;

struct Checkpoint {
    std::uint64_t cycle;  // the cycles played before it
    std::size_t run;      // the session's run the next cycle belongs to
    std::uint64_t done;   // cycles of that run played before it
    std::optional<panel::explore::PackedState> state;
};

// A trace of the session written in pieces, for the downloads.
struct Export {
    std::string text;  // bytes written since the last piece
    panel::trace::Output out{text};
    panel::trace::ScriptTrace trace;
    std::size_t run = 0;       // the next run of the session to trace
    std::uint64_t done = 0;    // cycles of it traced
    std::uint64_t left;        // cycles still to trace
    std::size_t runs;          // the session's runs when the export began
    std::uint64_t last_count;  // and the cycles of its last run then
    bool finished = false;

    Export(panel::trace::Format format, const Script& keys)
        : trace(out, format, false, keys.cycles, SESSION_NAME),
          left(keys.cycles),
          runs(keys.steps.size()),
          last_count(keys.steps.empty() ? 0 : keys.steps.back().count) {}
};

struct Session {
    Tracer tracer;
    Script keys;  // every cycle so far, runs merged
    std::string diagram_text;
    panel::trace::Output diagram_out{diagram_text};
    panel::trace::SvgWriter diagram{diagram_out, SESSION_NAME};  // fed every cycle
    Script replay;                                               // a script being played
    std::size_t step = 0;                                        // where in replay
    std::uint64_t done = 0;                                      // cycles of that step played
    std::uint64_t replay_left = 0;
    std::uint64_t replay_bells = 0;
    std::vector<Checkpoint> checkpoints;
    std::uint64_t checkpoint_every = FIRST_CHECKPOINT_EVERY;
    std::unique_ptr<Export> exporting;
};

std::unique_ptr<Session>& current() {
    static std::unique_ptr<Session> s = std::make_unique<Session>();
    return s;
}
Session& session() { return *current(); }

// A script cp_load has read, waiting to be played.
Script& pending() {
    static Script s;
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

std::size_t& last_size() {
    static std::size_t size = 0;
    return size;
}

const char* keep(std::string& place, std::string text) {
    place = std::move(text);
    last_size() = place.size();
    return place.c_str();
}

// The panel's state as the explorer packs it: what checkpoints keep, and
// what a question is asked from.
std::optional<panel::explore::PackedState> packed(const Session& s) {
    return panel::explore::pack(s.tracer);
}

// Where the session stands, kept every checkpoint_every cycles.
void checkpoint(Session& s) {
    if (s.keys.cycles % s.checkpoint_every != 0) {
        return;
    }
    if (s.checkpoints.size() == MAX_CHECKPOINTS) {
        std::size_t kept = 0;
        for (std::size_t i = 1; i < s.checkpoints.size(); i += 2) {
            s.checkpoints[kept++] = s.checkpoints[i];
        }
        s.checkpoints.resize(kept);
        s.checkpoint_every *= 2;
        if (s.keys.cycles % s.checkpoint_every != 0) {
            return;
        }
    }
    const std::size_t run = s.keys.steps.size() - 1;
    s.checkpoints.push_back({s.keys.cycles, run, s.keys.steps[run].count, packed(s)});
}

int run_cycle(Session& s, std::int32_t key) {
    panel::append_step(s.keys, key, 1);
    const panel::trace::TraceRecord& record = s.tracer.step(key);
    s.diagram.write(record);
    checkpoint(s);
    return record.bell;
}

std::string format_runs(const Script& keys, std::size_t first, std::size_t count) {
    std::string text;
    const std::size_t end = std::min(keys.steps.size(), first + std::min(count, keys.steps.size()));
    for (std::size_t i = first; i < end; ++i) {
        text += i == 0 ? "" : " ";
        text += panel::format_run(keys.steps[i]);
    }
    return text;
}

// A count from the page, which has only doubles: whole, from 0, at most 2^53.
std::uint64_t whole(double value) {
    constexpr double MOST = 9007199254740992.0;
    return value <= 0 ? 0 : static_cast<std::uint64_t>(std::min(value, MOST));
}
std::size_t index(double value) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(whole(value), SIZE_MAX));
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void cp_start() {
    current().reset();  // the old session's memory goes first
    current() = std::make_unique<Session>();
}

EMSCRIPTEN_KEEPALIVE int cp_cycle(int key) {
    return run_cycle(session(), key < 0 ? panel::NO_KEY : key & 0xFF);
}

EMSCRIPTEN_KEEPALIVE const char* cp_row(int row) {
    static std::string text;
    const panel::trace::TraceRecord& r = session().tracer.record();
    return keep(text, row == 10 ? r.row10 : r.row11);
}
EMSCRIPTEN_KEEPALIVE int cp_color() { return session().tracer.record().color; }
EMSCRIPTEN_KEEPALIVE const char* cp_why() {
    static std::string text;
    const panel::trace::TraceRecord& r = session().tracer.record();
    if (r.key == panel::NO_KEY) {
        return keep(text, "");
    }
    char key[4];
    return keep(text, std::string(panel::key_text(r.key, key)) + ": " +
                          std::string(panel::trace::why_text(r).view()));
}
EMSCRIPTEN_KEEPALIVE int cp_backlight() { return session().tracer.record().backlight; }
EMSCRIPTEN_KEEPALIVE int cp_door() { return session().tracer.record().door; }
EMSCRIPTEN_KEEPALIVE int cp_operation() { return session().tracer.record().operation; }
EMSCRIPTEN_KEEPALIVE double cp_cycles() { return static_cast<double>(session().keys.cycles); }
EMSCRIPTEN_KEEPALIVE double cp_size() { return static_cast<double>(last_size()); }

EMSCRIPTEN_KEEPALIVE const char* cp_script() {
    static std::string text;
    return keep(text, panel::format_script(session().keys));
}

EMSCRIPTEN_KEEPALIVE double cp_runs() { return static_cast<double>(session().keys.steps.size()); }

EMSCRIPTEN_KEEPALIVE const char* cp_script_part(double first, double count) {
    static std::string text;
    return keep(text, format_runs(session().keys, index(first), index(count)));
}

EMSCRIPTEN_KEEPALIVE const char* cp_diagram() {
    Session& s = session();
    s.diagram_text.clear();
    panel::trace::SvgWriter copy = s.diagram;  // finish() lays out what it holds; the live one goes on
    copy.finish();
    s.diagram_out.flush();
    last_size() = s.diagram_text.size();
    return s.diagram_text.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* cp_export(int format) {
    static std::string text;
    cp_export_begin(format);
    text.clear();
    do {
        const char* piece = cp_export_next(1e6);
        text.append(piece, last_size());
    } while (session().exporting);
    last_size() = text.size();
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE void cp_export_begin(int format) {
    Session& s = session();
    s.exporting = std::make_unique<Export>(static_cast<panel::trace::Format>(format & 3), s.keys);
}

EMSCRIPTEN_KEEPALIVE const char* cp_export_next(double cycles) {
    static std::string piece;
    Session& s = session();
    piece.clear();
    last_size() = 0;
    if (!s.exporting) {
        return piece.c_str();
    }
    Export& e = *s.exporting;
    for (std::uint64_t budget = whole(cycles); budget > 0 && e.left > 0;) {
        const ScriptStep& run = s.keys.steps[e.run];
        const std::uint64_t count = e.run + 1 == e.runs ? e.last_count : run.count;
        const std::uint64_t n = std::min(budget, count - e.done);
        e.trace.cycles(run.key, n);
        e.done += n;
        e.left -= n;
        budget -= n;
        if (e.done == count) {
            ++e.run;
            e.done = 0;
        }
    }
    if (e.left == 0 && !e.finished) {
        e.trace.finish();
        e.finished = true;
    }
    std::swap(piece, e.text);
    if (e.finished) {
        s.exporting.reset();
    }
    last_size() = piece.size();
    return piece.c_str();
}

EMSCRIPTEN_KEEPALIVE void cp_export_stop() { session().exporting.reset(); }

EMSCRIPTEN_KEEPALIVE double cp_export_left() {
    const Session& s = session();
    return s.exporting ? static_cast<double>(s.exporting->left) : 0;
}

EMSCRIPTEN_KEEPALIVE const char* cp_load(const unsigned char* text, std::size_t length,
                                         const unsigned char* name, std::size_t name_length) {
    static std::string message;
    Script& parsed = pending();
    parsed = Script{};
    const std::string_view source(reinterpret_cast<const char*>(name), name_length);
    panel::ScriptReader reader(std::string_view(reinterpret_cast<const char*>(text), length));
    for (ScriptStep run{}; reader.next(run);) {
        if (parsed.steps.size() == MAX_RUNS) {
            parsed = Script{};
            return keep(message,
                        std::string(source) + ": more than " + std::to_string(MAX_RUNS) +
                            " runs of one key, more than the page holds; cooker-panel-trace plays it");
        }
        parsed.steps.push_back(run);
    }
    if (const auto& error = reader.error()) {
        parsed = Script{};
        return keep(message, std::string(source) + ":" + std::to_string(error->line) + ":" +
                                 std::to_string(error->column) + ": " + error->message);
    }
    parsed.cycles = reader.cycles();
    return keep(message, "");
}

EMSCRIPTEN_KEEPALIVE void cp_play(int fresh) {
    if (fresh != 0) {
        cp_start();
    }
    Session& s = session();
    s.replay = std::move(pending());
    pending() = Script{};
    s.step = 0;
    s.done = 0;
    s.replay_left = s.replay.cycles;
    s.replay_bells = 0;
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
    --s.replay_left;
    return s.replay.steps[s.step].key;
}

EMSCRIPTEN_KEEPALIVE double cp_replay_run(double cycles) {
    Session& s = session();
    std::uint64_t played = 0;
    for (std::uint64_t budget = whole(cycles); played < budget;) {
        const int key = cp_replay_next();
        if (key == -2) {
            break;
        }
        s.replay_bells += static_cast<std::uint64_t>(run_cycle(s, key));
        ++played;
    }
    return static_cast<double>(played);
}

EMSCRIPTEN_KEEPALIVE double cp_replay_left() { return static_cast<double>(session().replay_left); }
EMSCRIPTEN_KEEPALIVE double cp_replay_bells() { return static_cast<double>(session().replay_bells); }

EMSCRIPTEN_KEEPALIVE void cp_replay_stop() {
    Session& s = session();
    s.replay = Script{};
    s.step = 0;
    s.done = 0;
    s.replay_left = 0;
}

EMSCRIPTEN_KEEPALIVE int cp_replay_all() {
    const double before = cp_replay_bells();
    while (cp_replay_left() > 0) {
        cp_replay_run(1e6);
    }
    return static_cast<int>(cp_replay_bells() - before);
}

EMSCRIPTEN_KEEPALIVE const char* cp_ask(const char* condition) {
    static std::string answer;
    std::vector<panel::explore::Condition> conditions;
    if (const auto error = panel::explore::parse_expression(condition, conditions)) {
        return keep(answer, "Ecolumn " + std::to_string(error->column) + ": " + error->message);
    }
    Search& found = search();
    // The panel as it is now, and what its screen shows.
    const std::optional<panel::explore::PackedState> start = packed(session());
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
EMSCRIPTEN_KEEPALIVE int cp_answer_current() {
    const std::optional<panel::explore::PackedState> now = packed(session());
    return now && search().start == now ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE double cp_checkpoints() { return static_cast<double>(session().checkpoints.size()); }
EMSCRIPTEN_KEEPALIVE double cp_checkpoint_every() { return static_cast<double>(session().checkpoint_every); }

}  // extern "C"
