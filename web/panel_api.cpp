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
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "condition.h"
#include "control_cycle.h"
#include "key_reason.h"
#include "key_script.h"
#include "panel_api.h"
#include "scenario.h"
#include "state_space.h"
#include "svg_writer.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::Script;
using panel::ScriptStep;
using panel::explore::ScenarioCheck;
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

// A window of the diagram up to so many cycles is traced again from the
// checkpoint before it; a wider one is drawn from the summary's level that
// gives it at most so many blocks.
constexpr std::uint64_t WINDOW_TRACED = 16384;
constexpr std::uint64_t WINDOW_BLOCKS = 2048;

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

// A check the page judged: its line as the table writes it, or a failure's
// message as the trace program says it.
struct Judged {
    bool passed;
    std::string text;
};

// A check of a replay that runs cycles of its own (for, wait): which, and
// the cycles it ran.
struct Running {
    std::size_t index;
    std::uint64_t cycles = 0;
};

// A summary of each lane at several resolutions, fed every cycle: per block
// of a level's cycles, a lane's value at its first and last cycle and how
// often it changed, as the diagram keeps its slots; values are kept once
// each and named by number. A window too wide to trace again is drawn from
// the finest level that gives it few enough blocks.
class Summary {
public:
    static constexpr std::size_t LANES = panel::trace::SvgWriter::LANES;
    static constexpr std::uint64_t BLOCKS[] = {256, 4096, 65536};  // cycles of a block, by level

    struct Block {
        std::array<std::uint32_t, LANES> first, last, changes;
        std::array<std::uint32_t, LANES> change_at;  // cycles into the block
    };

    void add(const panel::trace::TraceRecord& r) {
        std::array<std::uint32_t, LANES> value{};
        std::array<bool, LANES> changed{};
        bool any = false;
        for (std::size_t lane = 0; lane < LANES; ++lane) {
            changed[lane] = r.cycle == 1 || panel::trace::SvgWriter::lane_differs(r, previous_, lane);
            value[lane] = changed[lane] ? code(panel::trace::SvgWriter::lane_text(r, lane)) : now_[lane];
            any = any || changed[lane];
        }
        for (std::size_t level = 0; level < std::size(BLOCKS); ++level) {
            std::deque<Block>& blocks = levels_[level];
            const auto into = static_cast<std::uint32_t>((r.cycle - 1) % BLOCKS[level]);
            if (into == 0) {
                blocks.push_back(Block{value, value, {}, {}});
                continue;
            }
            if (!any) {
                continue;  // most cycles change nothing a lane shows
            }
            Block& b = blocks.back();
            for (std::size_t lane = 0; lane < LANES; ++lane) {
                if (changed[lane]) {
                    if (b.changes[lane]++ == 0) {
                        b.change_at[lane] = into;
                    }
                    b.last[lane] = value[lane];
                }
            }
        }
        now_ = value;
        if (any) {
            previous_ = r;
        }
    }

    // The diagram's slots for cycles origin+1..origin+count of level, origin
    // a multiple of its block.
    std::array<std::vector<panel::trace::SvgWriter::Slot>, LANES> slots(std::size_t level, std::uint64_t origin,
                                                                        std::uint64_t count) const {
        std::array<std::vector<panel::trace::SvgWriter::Slot>, LANES> lanes;
        const std::uint64_t size = BLOCKS[level];
        const std::deque<Block>& blocks = levels_[level];
        for (std::uint64_t i = origin / size; i < blocks.size() && i * size < origin + count; ++i) {
            const Block& b = blocks[static_cast<std::size_t>(i)];
            for (std::size_t lane = 0; lane < LANES; ++lane) {
                lanes[lane].push_back({values_[b.first[lane]], values_[b.last[lane]], b.changes[lane],
                                       b.changes[lane] == 0 ? 0 : i * size + b.change_at[lane] + 1 - origin});
            }
        }
        return lanes;
    }

private:
    std::uint32_t code(const std::string& value) {
        const auto [at, added] = codes_.try_emplace(value, static_cast<std::uint32_t>(values_.size()));
        if (added) {
            values_.push_back(value);
        }
        return at->second;
    }

    std::array<std::deque<Block>, std::size(BLOCKS)> levels_;  // grows without copying
    std::vector<std::string> values_;
    std::unordered_map<std::string, std::uint32_t> codes_;
    std::array<std::uint32_t, LANES> now_{};
    panel::trace::TraceRecord previous_;
};

// A check's mark as the diagram draws it, for a window.
struct Mark {
    std::uint64_t cycle;
    bool passed;
    std::string text;
};

struct Session {
    Tracer tracer;
    Script keys;  // every cycle so far, runs merged; each check judged as an expect where it was
    std::vector<ScenarioCheck> checks;  // the session's, as its CHECK steps number them
    std::vector<Judged> judged;
    bool check_failed = false;          // a check failed: the replay ended there
    std::vector<ScenarioCheck> replay_checks;
    std::string replay_name;
    std::optional<Running> running;
    bool cycle_owed = false;  // cp_replay_next gave a running check's cycle, not yet run
    bool restoring = false;   // a kept session played back: a failed check does not end it
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
    std::unique_ptr<Tracer> view;  // a cycle sought, shown in place of the last
    Summary summary;
    std::vector<Mark> marks;
    // The last WINDOW_TRACED cycles' records, by cycle modulo their number:
    // a window at the live edge is drawn from them without tracing again.
    std::vector<panel::trace::TraceRecord> recent = std::vector<panel::trace::TraceRecord>(WINDOW_TRACED);
};

std::unique_ptr<Session>& current() {
    static std::unique_ptr<Session> s = std::make_unique<Session>();
    return s;
}
Session& session() { return *current(); }

// A script cp_load has read, waiting to be played, with its checks read and
// the name it came under.
struct Pending {
    Script script;
    std::vector<ScenarioCheck> checks;
    std::string name;
};
Pending& pending() {
    static Pending p;
    return p;
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

// The condition the panel runs until.
std::vector<panel::explore::Condition>& until() {
    static std::vector<panel::explore::Condition> conditions;
    return conditions;
}

// The window cp_window drew last: the cycles after origin, span of them.
struct Window {
    std::uint64_t origin = 0;
    std::uint64_t span = 0;
};
Window& drawn_window() {
    static Window window;
    return window;
}

// The tracer whose panel the page shows: a cycle sought, or the last.
const Tracer& shown(const Session& s) { return s.view ? *s.view : s.tracer; }

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

// A check judged after the last cycle: said, marked on the diagram, and
// kept in the session's script as an expect at this cycle, so the script
// replays in the trace program to the same outcome. A failure ends the replay.
void judge(Session& s, const ScenarioCheck& check, bool passed, const std::string& name) {
    panel::explore::CheckResult result;
    result.passed = passed;
    result.cycle = s.tracer.record().cycle;
    if (!passed) {
        result.got = panel::explore::check_got(check, s.tracer);
    }
    const std::string mark = panel::explore::mark_text(check, result);
    ScenarioCheck kept = check;
    kept.check.kind = panel::CheckKind::EXPECT;
    kept.check.cycles = 0;
    kept.check.duration.clear();
    // The diagram is the trace's of the session's script, which keeps the expect.
    s.diagram.check(passed, panel::explore::mark_text(kept, result));
    s.marks.push_back({result.cycle, passed, panel::explore::mark_text(kept, result)});
    s.keys.steps.push_back({panel::CHECK, s.checks.size()});
    s.keys.checks.push_back(kept.check);
    s.checks.push_back(std::move(kept));
    if (passed) {
        s.judged.push_back({true, "\u2713 " + mark + ", cycle " + std::to_string(result.cycle)});
        return;
    }
    s.judged.push_back({false, name + ":" + std::to_string(check.check.line) + ":" +
                                   std::to_string(check.check.column) + ": " +
                                   panel::explore::failure_text(check, result)});
    if (s.restoring) {  // a session taken back is played whole, as it was
        return;
    }
    s.check_failed = true;
    s.running.reset();
    s.replay = Script{};
    s.step = 0;
    s.done = 0;
    s.replay_left = 0;
}

// After a cycle of a check that runs cycles: judged once it has held (wait)
// or failed (for), or when its cycles are done.
void advance_check(Session& s) {
    s.cycle_owed = false;
    Running& r = *s.running;
    const ScenarioCheck& check = s.replay_checks[r.index];
    r.cycles += 1;
    const bool holds = panel::explore::check_holds(check, s.tracer);
    const bool waiting = check.check.kind == panel::CheckKind::WAIT;
    if (waiting ? holds : !holds) {
        s.replay_left -= check.check.cycles - r.cycles;  // a wait ended early: its cycles left are none
        s.running.reset();
        judge(s, check, holds, s.replay_name);
    } else if (r.cycles == check.check.cycles) {
        s.running.reset();
        judge(s, check, holds, s.replay_name);
    }
}

// Takes the replay past the runs it has played and judges the checks that
// follow them on the panel as it is now; one that runs cycles starts.
void settle_checks(Session& s) {
    while (!s.running) {
        while (s.step < s.replay.steps.size() && s.replay.steps[s.step].key != panel::CHECK &&
               s.done == s.replay.steps[s.step].count) {
            ++s.step;
            s.done = 0;
        }
        if (s.step == s.replay.steps.size() || s.replay.steps[s.step].key != panel::CHECK) {
            return;
        }
        const auto index = static_cast<std::size_t>(s.replay.steps[s.step].count);
        const ScenarioCheck& check = s.replay_checks[index];
        ++s.step;
        const bool holds = panel::explore::check_holds(check, s.tracer);
        if (check.check.kind == panel::CheckKind::EXPECT ||
            (check.check.kind == panel::CheckKind::WAIT && (holds || check.check.cycles == 0))) {
            s.replay_left -= check.check.cycles;
            judge(s, check, holds, s.replay_name);
        } else {
            s.running = Running{index};
        }
    }
}

int run_cycle(Session& s, std::int32_t key) {
    s.view.reset();  // a cycle run shows the session's last again
    panel::append_step(s.keys, key, 1);
    const panel::trace::TraceRecord& record = s.tracer.step(key);
    s.diagram.write(record);
    s.summary.add(record);
    s.recent[record.cycle % WINDOW_TRACED] = record;
    checkpoint(s);
    if (s.running) {
        advance_check(s);
    }
    settle_checks(s);  // a check right after this cycle is judged on it
    return record.bell;
}

std::string format_runs(const Script& keys, std::size_t first, std::size_t count) {
    std::string text;
    const std::size_t end = std::min(keys.steps.size(), first + std::min(count, keys.steps.size()));
    for (std::size_t i = first; i < end; ++i) {
        text += i == 0 ? "" : " ";
        const ScriptStep& step = keys.steps[i];
        text += step.key == panel::CHECK ? panel::format_check(keys.checks[static_cast<std::size_t>(step.count)])
                                         : panel::format_run(step);
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

// The panel after cycle target (before the session's end), traced from the
// last checkpoint before it that holds a state, or from the start; at least
// one cycle is run, so the target's key and what it did are its own.
std::unique_ptr<Tracer> rebuild(const Session& s, std::uint64_t target) {
    auto from = std::find_if(s.checkpoints.rbegin(), s.checkpoints.rend(),
                             [target](const Checkpoint& c) { return c.cycle < target && c.state; });
    std::unique_ptr<Tracer> view;
    std::size_t run = 0;
    std::uint64_t done = 0;
    if (from == s.checkpoints.rend()) {
        view = std::make_unique<Tracer>();
    } else {
        using panel::explore::Field;
        const panel::explore::PackedState state = *from->state;
        panel::Panel panel{};
        panel::Start_Panel(panel);
        panel::explore::unpack(state, panel);
        panel::trace::TraceRecord saved;
        saved.cycle = from->cycle;
        saved.row10 = panel::explore::shown_text(Field::ROW10, panel::explore::field_value(state, Field::ROW10));
        saved.row11 = panel::explore::shown_text(Field::ROW11, panel::explore::field_value(state, Field::ROW11));
        saved.color = panel::explore::field_value(state, Field::COLOR);
        view = std::make_unique<Tracer>(panel, saved);
        run = from->run;
        done = from->done;
    }
    for (std::uint64_t at = view->record().cycle; at < target;) {
        const ScriptStep& step = s.keys.steps[run];
        if (step.key == panel::CHECK || done == step.count) {
            ++run;
            done = 0;
            continue;
        }
        const std::uint64_t n = std::min(step.count - done, target - at);
        for (std::uint64_t i = 0; i < n; ++i) {
            view->step(step.key);
        }
        done += n;
        at += n;
    }
    return view;
}

// Where rebuild() goes on from for the cycles after target: the run of the
// session's script and the cycles of it played by then.
struct Place {
    std::size_t run;
    std::uint64_t done;
};
Place place_of(const Session& s, std::uint64_t target) {
    auto from = std::find_if(s.checkpoints.rbegin(), s.checkpoints.rend(),
                             [target](const Checkpoint& c) { return c.cycle <= target; });
    Place at{0, 0};
    std::uint64_t cycle = 0;
    if (from != s.checkpoints.rend()) {
        at = {from->run, from->done};
        cycle = from->cycle;
    }
    while (cycle < target) {
        const ScriptStep& step = s.keys.steps[at.run];
        if (step.key == panel::CHECK || at.done == step.count) {
            ++at.run;
            at.done = 0;
            continue;
        }
        const std::uint64_t n = std::min(step.count - at.done, target - cycle);
        at.done += n;
        cycle += n;
    }
    return at;
}

// A line of fields: NAME, a tab, the value.
void add_field(std::string& fields, std::string_view name, std::string_view value, std::string_view more = {}) {
    fields.append(name).append("\t").append(value);
    if (!more.empty()) {
        fields.append("\t").append(more);
    }
    fields.append("\n");
}

using panel::trace::Field;
using panel::trace::FieldKind;

// A field's value in a record as a condition writes it: words for words and
// colours, a unit on times and temperatures.
std::string condition_text(const Field field, const panel::trace::TraceRecord& r) {
    const panel::trace::FieldInfo& f = panel::trace::info(field);
    if (f.kind == FieldKind::COLOR || f.kind == FieldKind::WORD) {
        if (const std::string_view word = panel::trace::word_of(field, r.*f.number); !word.empty()) {
            return std::string(word);
        }
    }
    const std::string text = panel::trace::field_text(field, r);
    return f.kind == FieldKind::SECONDS ? text + "s" : f.kind == FieldKind::DEGREES ? text + "C" : text;
}

// The fields "Expect this" offers, and whether each is ticked to begin with.
struct Offered {
    Field field;
    bool ticked;
};
constexpr Offered OFFERED[] = {{Field::ROW10, true},     {Field::ROW11, true},   {Field::COLOR, false},
                               {Field::OPERATION, true}, {Field::DOOR, false},   {Field::MODE, false},
                               {Field::SETTING, false},  {Field::TIME, false},   {Field::SET_TEMP, false},
                               {Field::CUR_TEMP, false}, {Field::BELL, false},   {Field::WHY, false}};

// The fields of a record a check may name, one a line, as a condition writes
// them; those ticked to begin with have a 1 after the value.
std::string fields_of(const panel::trace::TraceRecord& r) {
    std::string fields;
    for (const auto& [field, ticked] : OFFERED) {
        if ((panel::trace::info(field).drawn && r.cycle == 0) || (field == Field::WHY && r.key == panel::NO_KEY)) {
            continue;  // nothing is drawn before the first cycle, and no key has no reason
        }
        add_field(fields, panel::trace::field_name(field), condition_text(field, r), ticked ? "1" : "");
    }
    return fields;
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
    const panel::trace::TraceRecord& r = shown(session()).record();
    return keep(text, row == 10 ? r.row10 : r.row11);
}
EMSCRIPTEN_KEEPALIVE int cp_color() { return shown(session()).record().color; }
EMSCRIPTEN_KEEPALIVE const char* cp_why() {
    static std::string text;
    const panel::trace::TraceRecord& r = shown(session()).record();
    if (r.key == panel::NO_KEY) {
        return keep(text, "");
    }
    char key[4];
    return keep(text, std::string(panel::key_text(r.key, key)) + ": " +
                          std::string(panel::trace::why_text(r).view()));
}
EMSCRIPTEN_KEEPALIVE int cp_backlight() { return shown(session()).record().backlight; }
EMSCRIPTEN_KEEPALIVE int cp_door() { return shown(session()).record().door; }
EMSCRIPTEN_KEEPALIVE int cp_operation() { return shown(session()).record().operation; }
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
    for (std::uint64_t budget = whole(cycles); budget > 0 && e.run < e.runs && !e.finished;) {
        const ScriptStep& run = s.keys.steps[e.run];
        if (run.key == panel::CHECK) {
            // As the trace program runs the session's script: the check marked,
            // and the trace ends where one fails.
            const ScenarioCheck& check = s.checks[static_cast<std::size_t>(run.count)];
            panel::explore::CheckResult result;
            result.passed = panel::explore::check_holds(check, e.trace.tracer());
            result.cycle = e.trace.tracer().record().cycle;
            if (!result.passed) {
                result.got = panel::explore::check_got(check, e.trace.tracer());
                e.left = 0;
                e.run = e.runs;
            }
            e.trace.check(result.passed, panel::explore::mark_text(check, result));
            ++e.run;
            continue;
        }
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
    if (e.left == 0 && e.run >= e.runs && !e.finished) {  // the checks after the last cycle traced too
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
    Pending& loaded = pending();
    loaded = Pending{};
    Script& parsed = loaded.script;
    const std::string_view source(reinterpret_cast<const char*>(name), name_length);
    auto refuse = [&source](const panel::ScriptError& error) {
        pending() = Pending{};
        return keep(message, std::string(source) + ":" + std::to_string(error.line) + ":" +
                                 std::to_string(error.column) + ": " + error.message);
    };
    panel::ScriptReader reader(std::string_view(reinterpret_cast<const char*>(text), length));
    std::size_t check_bytes = 0;
    for (ScriptStep run{}; reader.next(run);) {
        if (parsed.steps.size() == MAX_RUNS) {
            pending() = Pending{};
            return keep(message,
                        std::string(source) + ": more than " + std::to_string(MAX_RUNS) +
                            " runs of one key, more than the page holds; cooker-panel-trace plays it");
        }
        if (run.key == panel::CHECK) {
            if (auto error = panel::explore::add_check(reader.check(), loaded.checks, check_bytes)) {
                return refuse(*error);
            }
        }
        parsed.steps.push_back(run);
    }
    if (const auto& error = reader.error()) {
        return refuse(*error);
    }
    parsed.cycles = reader.cycles();
    loaded.name = source;
    return keep(message, "");
}

EMSCRIPTEN_KEEPALIVE void cp_play(int fresh) {
    if (fresh != 0) {
        cp_start();
    }
    session().restoring = fresh == 2;
    Session& s = session();
    s.replay = std::move(pending().script);
    s.replay_checks = std::move(pending().checks);
    s.replay_name = std::move(pending().name);
    pending() = Pending{};
    s.running.reset();
    s.check_failed = false;
    s.step = 0;
    s.done = 0;
    s.replay_left = s.replay.cycles;
    s.replay_bells = 0;
    settle_checks(s);  // checks before the first cycle are judged on the panel as it is
}

EMSCRIPTEN_KEEPALIVE int cp_replay_next() {
    Session& s = session();
    settle_checks(s);
    if (s.running) {  // a for or a wait: a cycle without a key, judged after it
        if (!s.cycle_owed) {
            s.cycle_owed = true;
            --s.replay_left;
        }
        return -1;
    }
    if (s.step == s.replay.steps.size()) {
        s.replay_left = 0;
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
    s.running.reset();
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

EMSCRIPTEN_KEEPALIVE double cp_checks() { return static_cast<double>(session().judged.size()); }
EMSCRIPTEN_KEEPALIVE int cp_check_passed(double i) { return session().judged.at(index(i)).passed ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE const char* cp_check_text(double i) {
    static std::string text;
    return keep(text, session().judged.at(index(i)).text);
}
EMSCRIPTEN_KEEPALIVE int cp_check_failed() { return session().check_failed ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE const char* cp_fields() {
    static std::string text;
    return keep(text, fields_of(shown(session()).record()));
}

EMSCRIPTEN_KEEPALIVE const char* cp_expect(const unsigned char* condition, std::size_t length) {
    static std::string message;
    panel::ScriptCheck written;
    written.condition.assign(reinterpret_cast<const char*>(condition), length);
    written.line = written.column = written.condition_line = written.condition_column = 1;
    ScenarioCheck check;
    if (auto error = panel::explore::read_check(written, check)) {
        return keep(message, "column " + std::to_string(error->column) + ": " + error->message);
    }
    Session& s = session();
    judge(s, check, panel::explore::check_holds(check, s.tracer), "expect");
    return keep(message, "");
}

EMSCRIPTEN_KEEPALIVE double cp_checkpoints() { return static_cast<double>(session().checkpoints.size()); }
EMSCRIPTEN_KEEPALIVE double cp_checkpoint_every() { return static_cast<double>(session().checkpoint_every); }


EMSCRIPTEN_KEEPALIVE double cp_seek(double cycle) {
    Session& s = session();
    const std::uint64_t target = std::min(whole(cycle), s.keys.cycles);
    if (target == s.keys.cycles) {
        s.view.reset();
    } else {
        s.view = rebuild(s, target);
    }
    return static_cast<double>(target);
}

EMSCRIPTEN_KEEPALIVE const char* cp_fields_at(double cycle) {
    static std::string text;
    const Session& s = session();
    const std::uint64_t target = std::min(whole(cycle), s.keys.cycles);
    if (target == s.keys.cycles) {
        return keep(text, fields_of(s.tracer.record()));
    }
    return keep(text, fields_of(rebuild(s, target)->record()));
}

EMSCRIPTEN_KEEPALIVE const char* cp_window(double first, double last, double width, int lanes) {
    static std::string text;
    const Session& s = session();
    std::uint64_t origin = std::max<std::uint64_t>(whole(first), 1) - 1;
    std::uint64_t span = std::max<std::uint64_t>(whole(last), origin + 1) - origin;
    std::string drawn;
    panel::trace::Output out(drawn);
    panel::trace::SvgWriter writer(out, SESSION_NAME);
    std::size_t level = 0;
    while (level < std::size(Summary::BLOCKS) && span > WINDOW_TRACED &&
           span / Summary::BLOCKS[level] > WINDOW_BLOCKS) {
        ++level;
    }
    const std::uint64_t end = std::min(origin + span, s.keys.cycles);  // the last cycle there is
    if (span <= WINDOW_TRACED || level == std::size(Summary::BLOCKS)) {
        // From the records of the last cycles, or traced again from the
        // checkpoint before it, cycle by cycle.
        writer.window(origin, span, width, static_cast<std::uint32_t>(lanes), s.keys.cycles);
        if (end > origin && origin + WINDOW_TRACED >= s.keys.cycles) {
            for (std::uint64_t cycle = origin + 1; cycle <= end; ++cycle) {
                writer.write(s.recent[cycle % WINDOW_TRACED]);
            }
        } else if (end > origin) {
            std::unique_ptr<Tracer> tracer = origin == 0 ? std::make_unique<Tracer>() : rebuild(s, origin);
            Place at = place_of(s, origin);
            for (std::uint64_t cycle = origin; cycle < end;) {
                const ScriptStep& step = s.keys.steps[at.run];
                if (step.key == panel::CHECK || at.done == step.count) {
                    ++at.run;
                    at.done = 0;
                    continue;
                }
                writer.write(tracer->step(step.key));
                ++at.done;
                ++cycle;
            }
        }
    } else {
        // From the summary: the window widened to whole blocks of its level.
        const std::uint64_t block = Summary::BLOCKS[level];
        const std::uint64_t stop = origin + span;
        origin -= origin % block;
        span = (stop + block - 1) / block * block - origin;
        writer.window(origin, span, width, static_cast<std::uint32_t>(lanes), s.keys.cycles);
        const std::uint64_t count = std::min(origin + span, s.keys.cycles) - std::min(origin, s.keys.cycles);
        writer.load(count, block, s.summary.slots(level, origin, count));
    }
    for (const Mark& m : s.marks) {
        if (m.cycle > origin && m.cycle <= origin + span) {
            writer.check_at(m.cycle - origin, m.passed, m.text);
        }
    }
    writer.finish();
    out.flush();
    drawn_window() = {origin, span};
    return keep(text, std::move(drawn));
}

EMSCRIPTEN_KEEPALIVE const char* cp_lanes() {
    static std::string names;
    std::string all;
    for (std::size_t lane = 0; lane < panel::trace::SvgWriter::LANES; ++lane) {
        all.append(panel::trace::SvgWriter::lane_name(lane)).append("\n");
    }
    return keep(names, all);
}

EMSCRIPTEN_KEEPALIVE double cp_window_first() { return static_cast<double>(drawn_window().origin + 1); }
EMSCRIPTEN_KEEPALIVE double cp_window_last() {
    return static_cast<double>(drawn_window().origin + drawn_window().span);
}

EMSCRIPTEN_KEEPALIVE double cp_shown_cycle() {
    const Session& s = session();
    return static_cast<double>(s.view ? s.view->record().cycle : s.keys.cycles);
}

EMSCRIPTEN_KEEPALIVE const char* cp_script_until(double cycle) {
    static std::string text;
    const Session& s = session();
    Script prefix;
    prefix.checks = s.keys.checks;
    for (std::uint64_t left = std::min(whole(cycle), s.keys.cycles); const ScriptStep& step : s.keys.steps) {
        if (step.key == panel::CHECK) {
            prefix.steps.push_back(step);
            continue;
        }
        if (left == 0) {
            break;
        }
        const std::uint64_t n = std::min<std::uint64_t>(step.count, left);
        prefix.steps.push_back({step.key, n});
        prefix.cycles += n;
        left -= n;
    }
    return keep(text, panel::format_script(prefix));
}

EMSCRIPTEN_KEEPALIVE const char* cp_inspect() {
    static std::string inspected;
    const Tracer& t = shown(session());
    const panel::trace::TraceRecord& r = t.record();
    const panel::Panel& p = t.panel();
    std::string fields;
    auto add = [&fields](std::string_view name, std::string_view value, std::string_view label = {}) {
        add_field(fields, name, value, label);
    };
    // The inspector's fields as the trace writes them (bits as on and off),
    // each with the label of its row where it has one of its own, and the
    // mode's name after the mode.
    static constexpr std::pair<Field, std::string_view> INSPECTED[] = {
        {Field::OPERATION, ""},          {Field::DOOR, "Door"},   {Field::MODE, "Mode"},
        {Field::SETTING, ""},            {Field::TIME, "Time"},   {Field::SET_TEMP, "Temperature"},
        {Field::CUR_TEMP, ""},           {Field::BACKLIGHT, "Backlight"}, {Field::BEEPER, "Beeper"}};
    for (const auto& [field, label] : INSPECTED) {
        const panel::trace::FieldInfo& f = panel::trace::info(field);
        add(f.name, f.kind == FieldKind::BIT ? (r.*f.number != 0 ? "on" : "off") : panel::trace::field_text(field, r),
            label);
        if (field == Field::MODE) {
            add("mode_name", (*p.table)[static_cast<std::size_t>(r.mode)].name);
        }
    }
    // What each key would do in the next cycle, or why it would do nothing.
    for (const char key : std::string_view("abcdef")) {
        const panel::KeyEffect effect = panel::key_effect(p.control, p.time_temp, static_cast<std::int8_t>(key));
        add(std::string_view(&key, 1), panel::key_effect_text(effect).view());
    }
    return keep(inspected, fields);
}

EMSCRIPTEN_KEEPALIVE const char* cp_until(const char* condition) {
    static std::string answer;
    std::vector<panel::explore::Condition> conditions;
    if (const auto error = panel::explore::parse_expression(condition, conditions)) {
        return keep(answer, "Ecolumn " + std::to_string(error->column) + ": " + error->message);
    }
    const std::string reachable = cp_ask(condition);  // searches from here once
    if (reachable[0] != 'S') {
        return keep(answer, reachable);
    }
    until() = std::move(conditions);
    // Without a key, the cycles follow one path through the states searched:
    // it reaches the condition after so many cycles, or goes round for ever.
    const Search& found = search();
    std::uint32_t at = 0;
    for (std::uint32_t cycles = 0; cycles <= found.space.size(); ++cycles) {
        if (panel::explore::holds(until(), found.space.state(at))) {
            return keep(answer, "C" + std::to_string(cycles));
        }
        at = found.space.next(at, 0);
    }
    return keep(answer, "K" + reachable.substr(1));
}

EMSCRIPTEN_KEEPALIVE int cp_until_holds() {
    const std::optional<panel::explore::PackedState> now = packed(session());
    return now && panel::explore::holds(until(), *now) ? 1 : 0;
}

}  // extern "C"
