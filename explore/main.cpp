// cooker-panel-explore: searches every state the panel can reach from
// start-up (or from the state after a key script), by running its own control
// cycle under every input, and answers what no key pressing can: whether the
// built-in properties hold, the shortest key script to a state where a
// condition holds, every state, and the graph of their transitions.
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

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
#include "properties.h"
#include "report.h"
#include "state_space.h"
#include "trace_writer.h"

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
    "                          holds (status 1 when none is reachable)\n"
    "  -n, --never=EXPR      check that EXPR holds in no reachable state; else\n"
    "                          print the shortest script to one (status 1)\n"
    "  -s, --states          every reachable state as CSV, breadth-first\n"
    "  -g, --graph[=FIELDS]  the states merged on the comma-separated FIELDS\n"
    "                          (default operation,door) as a Graphviz digraph\n"
    "  -f, --from=FILE       start from the state after the key script in FILE\n"
    "                          (- for standard input) instead of start-up\n"
    "      --help            display this help and exit\n"
    "      --version         output version information and exit\n"
    "\n"
    "EXPR is COND[,COND]..., all of which must hold; COND is FIELD OP VALUE with\n"
    "FIELD one of backlight, operation, door, mode, setting, raise, time,\n"
    "set_temp, cur_temp; OP one of = != < <= > >=; VALUE a number (time in\n"
    "seconds), a word (idle running ended, closed open, time temp, none fine\n"
    "coarse; these fields take = and != only) or a field of the same kind.\n"
    "Example: cooker-panel-explore --reach='operation=running,mode=4'\n"
    "\n"
    "Exit status: 0 when every property holds (or EXPR is reached, or never\n"
    "holds), 1 when one does not (or EXPR is not reached, or holds somewhere) and\n"
    "on a read or write error, 2 on bad usage or a bad script.\n";

constexpr char VERSION[] = "cooker-panel-explore (cooker-panel) " COOKER_PANEL_VERSION "\n";

[[noreturn]] void usage_error(const std::string& message) { panel::usage_error(PROGRAM, message); }

enum class Mode : std::uint8_t { SUMMARY, REACH, NEVER, STATES, GRAPH };

struct Options {
    Mode mode = Mode::SUMMARY;
    std::vector<Condition> conditions;
    std::vector<Field> graph_fields{Field::OPERATION, Field::DOOR};
    const char* from = nullptr;
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
    for (int c; (c = getopt_long(argc, argv, ":r:n:sg::f:", LONG_OPTIONS, nullptr)) != -1;) {
        switch (c) {
        case 'r':
            o.mode = Mode::REACH;
            o.conditions = parse_conditions("--reach", optarg);
            ++modes;
            break;
        case 'n':
            o.mode = Mode::NEVER;
            o.conditions = parse_conditions("--never", optarg);
            ++modes;
            break;
        case 's':
            o.mode = Mode::STATES;
            ++modes;
            break;
        case 'g':
            o.mode = Mode::GRAPH;
            if (optarg != nullptr) {
                o.graph_fields = parse_fields(optarg);
            }
            ++modes;
            break;
        case 'f':
            o.from = optarg;
            break;
        case HELP_OPTION:
            panel::print_and_exit(HELP);
        case VERSION_OPTION:
            panel::print_and_exit(VERSION);
        default:
            usage_error(panel::option_error(c, LONG_OPTIONS, argv));
        }
    }
    if (modes > 1) {
        usage_error("--reach, --never, --states and --graph exclude each other");
    }
    if (optind < argc) {
        usage_error(std::string("extra operand '") + argv[optind] + "'");
    }
    return o;
}

// The start-up panel, or the panel after the key script in name.
panel::Panel start_panel(const char* name) {
    panel::Panel start{};
    panel::Start_Panel(start);
    if (name == nullptr) {
        return start;
    }
    const panel::Script script = panel::read_script(PROGRAM, name, panel::open_input(PROGRAM, name));
    // The cycles' drawing goes nowhere.
    const panel::OutputRedirect quiet(&panel::discard_output, nullptr);
    panel::run_script(start, script);
    return start;
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

void put_script(panel::trace::Output& out, const StateSpace& space, std::uint32_t index) {
    out.put(panel::format_script(space.script_to(index)));
    out.put('\n');
}

int summary(panel::trace::Output& out, const StateSpace& space, std::chrono::steady_clock::time_point began) {
    const auto results = panel::explore::check_properties(space);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    char line[256];
    (void)std::snprintf(
        line, sizeof line, "%u states, %llu transitions, the deepest %u cycles from the start; %.3f s\n",
        space.size(), static_cast<unsigned long long>(space.size()) * panel::explore::INPUT_COUNT,
        space.max_depth(), seconds);
    out.put(line);
    int status = 0;
    int number = 0;
    for (const auto& result : results) {
        (void)std::snprintf(line, sizeof line, "property %d, ", ++number);
        out.put(line);
        out.put(result.statement);
        if (!result.violation) {
            out.put(": holds\n");
            continue;
        }
        out.put(": violated by: ");
        put_script(out, space, *result.violation);
        status = STATUS_FAILED;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away ends the program quietly, even when the caller
    // ignored SIGPIPE.
    (void)std::signal(SIGPIPE, SIG_DFL);
    const Options o = parse_options(argc, argv);
    const panel::Panel start = start_panel(o.from);

    const auto began = std::chrono::steady_clock::now();
    static StateSpace space;
    if (!space.explore(start)) {
        (void)std::fprintf(stderr, "%s: a state field left the range the search can hold\n", PROGRAM);
        return STATUS_FAILED;
    }

    static panel::trace::Output out(STDOUT_FILENO);
    int status = 0;
    switch (o.mode) {
    case Mode::SUMMARY:
        status = summary(out, space, began);
        break;
    case Mode::REACH:
        if (const auto found = first_where(space, o.conditions)) {
            put_script(out, space, *found);
        } else {
            (void)std::fprintf(stderr, "%s: no reachable state satisfies the condition\n", PROGRAM);
            status = STATUS_FAILED;
        }
        break;
    case Mode::NEVER:
        if (const auto found = first_where(space, o.conditions)) {
            put_script(out, space, *found);
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
