// cooker-panel-explore: searches every state the panel can reach from
// start-up (or from the state after a key script), by running its own control
// cycle under every input, and answers what no key pressing can: whether the
// built-in properties hold, the shortest key script to a state where a
// condition holds, every state, and the graph of their transitions.
#include <fcntl.h>
#include <getopt.h>
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
#include "key_script.h"
#include "report.h"
#include "run_spool.h"
#include "scenario.h"
#include "state_space.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::explore::Condition;
using panel::explore::Field;
using panel::explore::StateSpace;

constexpr const char* PROGRAM = "cooker-panel-explore";
constexpr int STATUS_FAILED = 1;  // a property violated, or nothing reached

constexpr char HELP[] =
    "Usage: cooker-panel-explore [OPTION]...\n"
    "Search every state the cooker panel can reach, by running its control cycle\n"
    "under every input (no key, a to f) from start-up, breadth-first.\n"
    "\n"
    "With no option, print a summary and whether each built-in property holds,\n"
    "with the shortest key script to a state that violates it.\n"
    "\n"
    "  -r, --reach=EXPR      print the shortest key script to a state where EXPR\n"
    "                          holds (status 1 when none is reachable; a comment\n"
    "                          when it holds at the start, no key needed)\n"
    "  -n, --never=EXPR      check that EXPR holds in no reachable state; else\n"
    "                          print the shortest script to one (status 1)\n"
    "  -s, --states          every reachable state as CSV, breadth-first\n"
    "  -g, --graph[=FIELDS]  the states merged on the comma-separated FIELDS\n"
    "                          (default operation,door) as a Graphviz digraph;\n"
    "                          FIELDS attached: --graph=mode or -gmode\n"
    "  -f, --from=FILE       start from the state after the key script in FILE\n"
    "                          (- for standard input) instead of start-up; the\n"
    "                          scripts printed then start with FILE's keys\n"
    "      --help            display this help and exit\n"
    "      --version         output version information and exit\n"
    "\n"
    "EXPR is COND[,COND]..., all of which must hold; COND is FIELD OP VALUE (or\n"
    "VALUE OP FIELD), OP one of = (or ==) != < <= > >=, FIELD one of:\n"
    "  operation  idle, running or ended     door      closed or open\n"
    "  setting    time or temp               raise     none, fine or coarse\n"
    "  time       seconds: 90, 90s or 1:30   set_temp, cur_temp  degrees: 50 or 50C\n"
    "  mode, shown_mode  the mode selected, the mode row 11 shows: 0 to 5, or\n"
    "             manual, rice_cake, porridge, rice, soup, pizza, or the name shown\n"
    "  backlight, beeper  0 or 1             bell      1 in a cycle that rings\n"
    "  row10, row11  the text the cycle drew, as the trace writes it: 01:30, 50C,\n"
    "             '00: manual' (quoted, or the rest of the condition)\n"
    "  color      green or yellow (32 or 33): the colour row 10 was drawn in\n"
    "VALUE is a number, a word of the field or another field of the same kind;\n"
    "word fields, the rows and color take = and != only. Before the first cycle\n"
    "nothing is drawn, and no condition on row10, row11 or color holds.\n"
    "Example: cooker-panel-explore --reach='operation=running,mode=4'\n"
    "\n"
    "Exit status: 0 when every property holds (or EXPR is reached, or never\n"
    "holds), 1 when one does not (or EXPR is not reached, or holds somewhere) and\n"
    "on a read or write error, 2 on bad usage or a bad script.\n";

constexpr char VERSION[] = "cooker-panel-explore (cooker-panel) " COOKER_PANEL_VERSION "\n";

[[noreturn]] void usage_error(const std::string& message) { panel::usage_error(PROGRAM, message.c_str()); }

enum class Mode : std::uint8_t { SUMMARY, REACH, NEVER, STATES, GRAPH };

struct Options {
    Mode mode = Mode::SUMMARY;
    std::vector<Condition> conditions;
    std::vector<Field> graph_fields{Field::OPERATION, Field::DOOR};
    const char* from = nullptr;
};

// Each option at most once.
void once(bool& given, const char* name) {
    if (given) {
        usage_error(std::string("option '") + name + "' was given twice");
    }
    given = true;
}

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

Options parse_options(int argc, char** argv) {
    using panel::HELP_OPTION;
    using panel::VERSION_OPTION;
    static const option LONG_OPTIONS[] = {{"reach", required_argument, nullptr, 'r'},
                                          {"never", required_argument, nullptr, 'n'},
                                          {"states", no_argument, nullptr, 's'},
                                          {"graph", optional_argument, nullptr, 'g'},
                                          {"from", required_argument, nullptr, 'f'},
                                          {"help", no_argument, nullptr, HELP_OPTION},
                                          {"version", no_argument, nullptr, VERSION_OPTION},
                                          {nullptr, 0, nullptr, 0}};
    Options o;
    int modes = 0;
    bool given[5] = {};  // reach, never, states, graph, from
    for (int c; (c = getopt_long(argc, argv, ":r:n:sg::f:", LONG_OPTIONS, nullptr)) != -1;) {
        switch (c) {
        case 'r':
            once(given[0], "--reach");
            o.mode = Mode::REACH;
            o.conditions = parse_conditions("--reach", optarg);
            ++modes;
            break;
        case 'n':
            once(given[1], "--never");
            o.mode = Mode::NEVER;
            o.conditions = parse_conditions("--never", optarg);
            ++modes;
            break;
        case 's':
            once(given[2], "--states");
            o.mode = Mode::STATES;
            ++modes;
            break;
        case 'g':
            once(given[3], "--graph");
            o.mode = Mode::GRAPH;
            if (optarg != nullptr) {
                o.graph_fields = parse_fields(optarg);
            }
            ++modes;
            break;
        case 'f':
            once(given[4], "--from");
            o.from = optarg;
            break;
        case HELP_OPTION:
            panel::print_and_exit(HELP);
        case VERSION_OPTION:
            panel::print_and_exit(VERSION);
        default:
            panel::option_error(PROGRAM, c, LONG_OPTIONS, argv);
        }
    }
    if (modes > 1) {
        usage_error("--reach, --never, --states and --graph exclude each other");
    }
    if (optind < argc) {
        panel::extra_operand(PROGRAM, argv[optind]);
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
        panel::ScriptReader reader(panel::open_input(PROGRAM, name));
        if (!panel::explore::read_scenario(reader, scenario)) {
            panel::io_error(PROGRAM, "temporary file for a long script", errno);
        }
        if (const auto& error = scenario.error) {
            (void)std::fprintf(stderr, "%s:%zu:%zu: %s\n", name, error->line, error->column, error->message.c_str());
            std::exit(panel::STATUS_USAGE);
        }
        panel::check_script_end(PROGRAM, name, reader);
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
    }
    out.flush();
    if (out.error() != 0) {
        panel::io_error(PROGRAM, "write error", out.error());
    }
    return status;
}
