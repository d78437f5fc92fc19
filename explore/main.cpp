// cooker-panel-explore: searches every state the panel can reach from
// start-up (or from the state after a key script), by running its own control
// cycle under every input, and answers what no key pressing can: whether the
// built-in properties hold, the shortest key script to a state where a
// condition holds, every state, the graph of their transitions, the table of
// what every key does, what scenarios cover of it all, and a conformance suite
// that covers everything.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "command_line.h"
#include "condition.h"
#include "coverage.h"
#include "effects.h"
#include "key_script.h"
#include "report.h"
#include "run_spool.h"
#include "scenario.h"
#include "state_space.h"
#include "suite.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::explore::Condition;
using panel::explore::Field;
using panel::explore::StateSpace;

constexpr const char* PROGRAM = "cooker-panel-explore";
constexpr int STATUS_FAILED = 1;  // a property violated, or nothing reached

constexpr char USAGE[] =
    "Usage: cooker-panel-explore [OPTION]...\n"
    "  or:  cooker-panel-explore --cover [--min=PCT] FILE...\n"
    "Search every state the cooker panel can reach, by running its control cycle\n"
    "under every input (no key, a to f) from start-up, breadth-first.\n"
    "\n"
    "With no option, print a summary and whether each built-in property holds,\n"
    "with the shortest key script to a state that violates it.\n"
    "\n";
// --help's lines for the options come between, from the table below.
constexpr char NOTES_BEFORE[] =
    "\n"
    "EXPR is COND[,COND]..., all of which must hold; COND is FIELD OP VALUE (or\n"
    "VALUE OP FIELD), OP one of = (or ==) != < <= > >=, FIELD one of:\n";
// The fields come between, from the table of fields.
constexpr char NOTES_AFTER[] =
    "VALUE is a number, a word of the field or another field of the same kind;\n"
    "word fields, the rows and color take = and != only. Before the first cycle\n"
    "nothing is drawn, and no condition on row10, row11 or color holds.\n"
    "Example: cooker-panel-explore --reach='operation=running,mode=4'\n"
    "\n"
    "Exit status: 0 when every property holds (or EXPR is reached, or never\n"
    "holds), 1 when one does not (or EXPR is not reached, or holds somewhere, or a\n"
    "scenario's check fails, or the coverage is below --min) and on a read or\n"
    "write error, 2 on bad usage or a bad script.\n";

constexpr char VERSION[] = "cooker-panel-explore (cooker-panel) " COOKER_PANEL_VERSION "\n";

// The options, each of which may be given once.
enum : std::uint8_t { REACH, NEVER, STATES, GRAPH, FROM, EFFECTS, FORMAT, COVER, MIN, SUITE };
using panel::Argument;
using panel::Repeat;
// clang-format off
constexpr panel::OptionRow OPTIONS[] = {
    {REACH, 'r', Argument::REQUIRED, Repeat::REFUSED, "reach", "EXPR",
     "print the shortest key script to a state where EXPR\n"
     "holds (status 1 when none is reachable; a comment\n"
     "when it holds at the start, no key needed)"},
    {NEVER, 'n', Argument::REQUIRED, Repeat::REFUSED, "never", "EXPR",
     "check that EXPR holds in no reachable state; else\n"
     "print the shortest script to one (status 1)"},
    {STATES, 's', Argument::NONE, Repeat::REFUSED, "states", nullptr,
     "every reachable state as CSV, breadth-first"},
    {GRAPH, 'g', Argument::OPTIONAL, Repeat::REFUSED, "graph", "FIELDS",
     "the states merged on the comma-separated FIELDS\n"
     "(default operation,door) as a Graphviz digraph;\n"
     "FIELDS attached: --graph=mode or -gmode"},
    {FROM, 'f', Argument::REQUIRED, Repeat::REFUSED, "from", "FILE",
     "start from the state after the key script in FILE\n"
     "(- for standard input) instead of start-up; the\n"
     "scripts printed then start with FILE's keys"},
    {EFFECTS, 'e', Argument::NONE, Repeat::REFUSED, "effects", nullptr,
     "what every key does: one row per key, operation,\n"
     "door, manual or automatic mode, setting and what\n"
     "the key did there (its number as N), with the\n"
     "reachable states where it occurs"},
    {FORMAT, 0, Argument::REQUIRED, Repeat::REFUSED, "format", "FORMAT",
     "with --effects: markdown (the default) or csv"},
    {COVER, 0, Argument::NONE, Repeat::REFUSED, "cover", "FILE...",
     "run each scenario FILE with its checks and say what\n"
     "they cover of the states, the transitions and the\n"
     "effects; then each effect not covered with a\n"
     "shortest script, and the scenarios without checks"},
    {MIN, 0, Argument::REQUIRED, Repeat::REFUSED, "min", "PCT",
     "with --cover: status 1 when the effects covered are\n"
     "below PCT percent (0 to 100, one decimal)"},
    {SUITE, 0, Argument::REQUIRED, Repeat::REFUSED, "suite", "DIR",
     "write into DIR a conformance suite: scenarios from\n"
     "start-up that cover every effect and every\n"
     "transition of the default graph, checking every\n"
     "field of the trace's row where it matters"},
};
// clang-format on
static_assert(panel::well_formed(OPTIONS));

constexpr panel::Word<bool> EFFECT_FORMATS[] = {{"markdown", false}, {"csv", true}};  // true: CSV

[[noreturn]] void usage_error(const std::string& message) { panel::usage_error(PROGRAM, message.c_str()); }

enum class Mode : std::uint8_t { SUMMARY, REACH, NEVER, STATES, GRAPH, EFFECTS, COVER, SUITE };

struct Options {
    Mode mode = Mode::SUMMARY;
    std::vector<Condition> conditions;
    std::vector<Field> graph_fields{Field::OPERATION, Field::DOOR};
    const char* from = nullptr;
    bool csv = false;                   // --effects
    std::vector<const char*> scenarios;  // --cover
    std::optional<std::uint32_t> min;   // --cover: tenths of a percent
    const char* suite = nullptr;
};

std::vector<Condition> parse_conditions(const char* option, const char* text) {
    std::vector<Condition> conditions;
    if (text == nullptr) {  // getopt_long gives a required argument always
        text = "";
    }
    if (const auto error = panel::explore::parse_expression(text, conditions)) {
        (void)std::fprintf(stderr, "%s: %s: column %zu: %s\n", PROGRAM, option, error->column,
                           error->message.c_str());
        std::exit(panel::STATUS_USAGE);
    }
    return conditions;
}

std::vector<Field> parse_fields(const std::string& text) {
    std::vector<Field> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma == std::string::npos ? comma : comma - start);
        const std::optional<Field> field = panel::explore::field_named(name);
        if (!field) {
            usage_error("--graph: " + panel::explore::unknown_field(name));
        }
        fields.push_back(*field);
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

// PCT: 0 to 100, with at most one decimal; in tenths.
std::uint32_t parse_percent(const std::string& text) {
    std::uint32_t tenths = 0;
    std::size_t at = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4; ++at, ++digits) {
        tenths = tenths * 10 + static_cast<std::uint32_t>(text[at] - '0');
    }
    tenths *= 10;
    if (digits > 0 && at + 2 == text.size() && text[at] == '.' && text[at + 1] >= '0' && text[at + 1] <= '9') {
        tenths += static_cast<std::uint32_t>(text[at + 1] - '0');
        at += 2;
    }
    if (digits == 0 || at != text.size() || tenths > 1000) {
        usage_error("--min: invalid percentage '" + text + "' (0 to 100, one decimal)");
    }
    return tenths;
}

Options parse_options(int argc, char** argv) {
    static const std::string notes = NOTES_BEFORE + panel::explore::field_help() + NOTES_AFTER;
    panel::CommandLine line({PROGRAM, USAGE, notes.c_str(), VERSION}, OPTIONS, argc, argv);
    Options o;
    int modes = 0;
    // An option that says what the program does: one of them at most.
    auto choose = [&o, &modes](Mode mode) {
        o.mode = mode;
        ++modes;
    };
    for (int id; (id = line.next()) != panel::CommandLine::END;) {
        const char* const value = line.argument();
        switch (id) {
        case REACH:
            choose(Mode::REACH);
            o.conditions = parse_conditions("--reach", value);
            break;
        case NEVER:
            choose(Mode::NEVER);
            o.conditions = parse_conditions("--never", value);
            break;
        case STATES:
            choose(Mode::STATES);
            break;
        case GRAPH:
            choose(Mode::GRAPH);
            if (value != nullptr) {
                o.graph_fields = parse_fields(value);
            }
            break;
        case FROM:
            o.from = value;
            break;
        case EFFECTS:
            choose(Mode::EFFECTS);
            break;
        case FORMAT:
            o.csv = panel::choose_word(PROGRAM, "format", value, EFFECT_FORMATS);
            break;
        case COVER:
            choose(Mode::COVER);
            break;
        case MIN:
            o.min = parse_percent(value);
            break;
        case SUITE:
            choose(Mode::SUITE);
            o.suite = value;
            break;
        }
    }
    const int first = line.first_operand();  // the first operand
    if (modes > 1) {
        usage_error("--reach, --never, --states, --graph, --effects, --cover and --suite exclude each other");
    }
    if (line.given(FORMAT) && o.mode != Mode::EFFECTS) {
        usage_error("option '--format' goes with '--effects'");
    }
    if (line.given(MIN) && o.mode != Mode::COVER) {
        usage_error("option '--min' goes with '--cover'");
    }
    // Coverage and the suite are of the space from start-up.
    if (o.from != nullptr && (o.mode == Mode::COVER || o.mode == Mode::SUITE)) {
        usage_error(std::string("option '--from' does not go with '") +
                    (o.mode == Mode::COVER ? "--cover" : "--suite") + "'");
    }
    if (o.mode == Mode::COVER) {
        for (int i = first; i < argc; ++i) {
            o.scenarios.push_back(argv[i]);
        }
        if (o.scenarios.empty()) {
            usage_error("option '--cover' needs a scenario FILE");
        }
        return o;
    }
    if (first < argc) {
        panel::extra_operand(PROGRAM, argv[first]);
    }
    return o;
}

// The start-up state, or the state after the key script in name, read whole
// and run with its checks, drawing on the trace's screen: a check that fails
// ends the program as the trace's --check reports it. The script's keys are
// kept in prefix, so that the scripts printed lead there from start-up first.
std::optional<panel::explore::PackedState> start_state(const char* name, panel::RunSpool& prefix) {
    static std::string nowhere;
    static panel::trace::Output none(nowhere);
    static panel::trace::ScriptTrace trace(none, panel::trace::Format::NONE, false, std::nullopt, "");
    if (name != nullptr) {
        static panel::explore::Scenario scenario;
        panel::explore::read_scenario_or_exit(PROGRAM, name, panel::open_input(PROGRAM, name), scenario);
        const panel::explore::ScenarioOutcome outcome =
            panel::explore::run_scenario(scenario, trace, std::nullopt, &prefix);
        if (!outcome.held) {
            panel::io_error(PROGRAM, "temporary file for a long script", errno);
        }
        if (outcome.failure) {
            (void)std::fprintf(stderr, "%s:%s: %s\n", name, outcome.failed_at.c_str(), outcome.failure->c_str());
            std::exit(STATUS_FAILED);
        }
    }
    return panel::explore::pack(trace.tracer());
}

// Reads a scenario whole, or ends the program as a bad script does.
void read_whole(const char* name, panel::explore::Scenario& scenario) {
    const int fd = panel::open_input(PROGRAM, name);
    panel::explore::read_scenario_or_exit(PROGRAM, name, fd, scenario);
    ::close(fd);  // a file: --cover takes no standard input
}

// --cover: every scenario read first (a bad one: status 2, nothing run),
// then each run with its checks, its cycles mapped onto the space. False
// when a check failed or the effects covered are below min.
bool cover(panel::trace::Output& out, const Options& o, const StateSpace& space) {
    for (const char* name : o.scenarios) {
        if (std::strcmp(name, "-") == 0) {
            usage_error("--cover: scenarios are files, not standard input");
        }
        panel::explore::Scenario scenario;
        read_whole(name, scenario);
    }
    const panel::explore::EffectTable effects(space);
    panel::explore::Coverage coverage(space, effects);
    bool passed = true;
    std::vector<const char*> unchecked;
    for (const char* name : o.scenarios) {
        panel::explore::Scenario scenario;
        read_whole(name, scenario);
        std::string nowhere;
        panel::trace::Output none(nowhere);
        panel::trace::ScriptTrace trace(none, panel::trace::Format::NONE, false, std::nullopt, name);
        coverage.begin(trace.tracer());
        trace.watch([&coverage](const panel::trace::Tracer& tracer) { coverage.cycle(tracer); });
        const panel::explore::ScenarioOutcome outcome = panel::explore::run_scenario(scenario, trace);
        if (!outcome.held) {
            panel::io_error(PROGRAM, "temporary file for a long script", errno);
        }
        if (outcome.failure) {
            (void)std::fprintf(stderr, "%s:%s: %s\n", name, outcome.failed_at.c_str(), outcome.failure->c_str());
            passed = false;
        }
        if (scenario.checks.empty()) {
            unchecked.push_back(name);
        }
    }
    if (!coverage.mapped()) {
        (void)std::fprintf(stderr, "%s: a scenario reached a state the search did not\n", PROGRAM);
        std::exit(STATUS_FAILED);
    }
    using panel::explore::coverage_line;
    out.put(coverage_line("states", coverage.states()) + "\n");
    out.put(coverage_line("transitions", coverage.transitions()) + "\n");
    out.put(coverage_line("effects", coverage.effects()) + "\n");
    const auto& rows = effects.rows();
    const std::uint64_t missed = rows.size() - coverage.effects().covered;
    if (missed > 0) {
        out.put("not covered: " + std::to_string(missed) + (missed == 1 ? " effect" : " effects") +
                ", each with a shortest script from start-up:\n");
    }
    static panel::RunSpool none;
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        if (!coverage.covered(r)) {
            out.put("  " + panel::explore::effect_name(rows[r].effect) + ": ");
            const int input = rows[r].effect.key - 'a' + 1;  // the key's index among the inputs
            panel::explore::write_script(out, none, space, rows[r].first, {input});
        }
    }
    for (const char* name : unchecked) {
        out.put(std::string(name) + ": no checks: it runs, but tests nothing\n");
    }
    const panel::explore::Covered e = coverage.effects();
    return passed && (!o.min || e.covered * 1000 >= *o.min * e.total);
}

// --suite: the folder, made before the search if it does not exist, so that
// one that cannot be made is said at once.
void make_folder(const char* dir) {
    if (::mkdir(dir, 0777) != 0 && errno != EEXIST) {
        panel::io_error(PROGRAM, dir, errno);
    }
}

// --suite: the files into dir.
void write_suite(panel::trace::Output& said, const char* dir, const StateSpace& space) {
    const panel::explore::EffectTable effects(space);
    const std::vector<panel::explore::SuiteFile> suite = panel::explore::make_suite(space, effects);
    std::uint64_t cycles = 0;
    std::uint64_t checks = 0;
    for (const panel::explore::SuiteFile& file : suite) {
        const std::string path = std::string(dir) + "/" + file.name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            panel::io_error(PROGRAM, path.c_str(), errno);
        }
        panel::trace::Output out(fd);
        out.put(file.text);
        out.flush();
        if (out.error() != 0 || ::close(fd) != 0) {
            panel::io_error(PROGRAM, path.c_str(), out.error() != 0 ? out.error() : errno);
        }
        cycles += file.cycles;
        checks += file.checks;
    }
    said.put(std::to_string(suite.size()) + " scenarios, " + std::to_string(cycles) + " cycles, " +
             std::to_string(checks) + " checks\n");
}

// The first state in breadth-first order (the nearest) where all conditions hold.
std::optional<std::uint32_t> first_where(const StateSpace& space, const std::vector<Condition>& conditions) {
    for (std::uint32_t i = 0; i < space.size(); ++i) {
        if (panel::explore::holds(conditions, space.state(i))) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away ends the program quietly, even when the caller
    // ignored SIGPIPE.
    (void)std::signal(SIGPIPE, SIG_DFL);
    const Options o = parse_options(argc, argv);
    static panel::RunSpool prefix;
    const std::optional<panel::explore::PackedState> start = start_state(o.from, prefix);
    if (o.mode == Mode::SUITE) {
        make_folder(o.suite);
    }

    const auto began = std::chrono::steady_clock::now();
    static StateSpace space;
    if (!start || !space.explore(*start)) {
        (void)std::fprintf(stderr, "%s: a state field left the range the search can hold\n", PROGRAM);
        return STATUS_FAILED;
    }

    static panel::trace::Output out(STDOUT_FILENO);
    int status = 0;
    switch (o.mode) {
    case Mode::SUMMARY:
        status = panel::explore::write_summary(out, prefix, space, began) ? 0 : STATUS_FAILED;
        break;
    case Mode::REACH:
        if (const auto found = first_where(space, o.conditions)) {
            panel::explore::write_script(out, prefix, space, *found, {}, true);
        } else {
            (void)std::fprintf(stderr, "%s: no reachable state satisfies the condition\n", PROGRAM);
            status = STATUS_FAILED;
        }
        break;
    case Mode::NEVER:
        if (const auto found = first_where(space, o.conditions)) {
            panel::explore::write_script(out, prefix, space, *found, {}, true);
            status = STATUS_FAILED;
        }
        break;
    case Mode::STATES:
        panel::explore::write_states(out, space);
        break;
    case Mode::GRAPH:
        panel::explore::write_graph(out, space, o.graph_fields);
        break;
    case Mode::EFFECTS:
        panel::explore::write_effects(out, panel::explore::EffectTable(space), !o.csv);
        break;
    case Mode::COVER:
        status = cover(out, o, space) ? 0 : STATUS_FAILED;
        break;
    case Mode::SUITE:
        write_suite(out, o.suite, space);
        break;
    }
    out.flush();
    if (out.error() != 0) {
        panel::io_error(PROGRAM, "write error", out.error());
    }
    return status;
}
