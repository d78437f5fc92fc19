// cooker-panel-trace: runs the panel's control cycle in virtual time over a
// key script and writes what happened, cycle by cycle, as a table, CSV, a
// value change dump or a timing diagram, checking what the script expects on
// the way; --check runs scenarios for their checks alone and reports. A script
// is read and checked whole before the first cycle, so bad input leaves
// nothing on standard output; --raw input streams.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "compare.h"
#include "key_script.h"
#include "run_spool.h"
#include "scenario.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::NO_KEY;
using panel::trace::Format;

constexpr const char* PROGRAM = "cooker-panel-trace";
constexpr std::uint64_t MAX_CYCLES = 1'000'000'000;
constexpr int STATUS_FAILED = 1;  // a check failed

constexpr char USAGE[] =
    "Usage: cooker-panel-trace [OPTION]... [SCRIPT]\n"
    "  or:  cooker-panel-trace --check [--report=FORMAT] [SCRIPT]...\n"
    "  or:  cooker-panel-trace --compare=THEIRS.csv [--all] [SCRIPT]\n"
    "Run the cooker panel's control cycle in virtual time over a key script and\n"
    "write the panel's state and display after every cycle, checking what the\n"
    "script expects on the way.\n"
    "\n"
    "With no SCRIPT, or when SCRIPT is -, read standard input.\n"
    "\n";
// --help's lines for the options come between, from the table below.
constexpr char NOTES[] =
    "\n"
    "Script: a to f act, any other character is a key that means nothing, '.' is\n"
    "a cycle without a key, {N} after a key or '.' repeats it to N cycles in all,\n"
    "blanks take no cycle, # comments to the end of the line, and \\xHH, \\\\, \\.,\n"
    "\\# and \\{ stand for a byte. Example: a e .{127} f .\n"
    "\n"
    "Checks, at the start of a token: {expect COND} after the last cycle run,\n"
    "{expect COND for DURATION} after each of that many cycles without a key,\n"
    "{wait COND within DURATION} running cycles without a key until COND holds.\n"
    "COND is the explorer's condition language and why=TEXT; DURATION is cycles\n"
    "(20), seconds (2s) or M:SS (1:30). A run ends at its first failed check.\n"
    "\n"
    "Exit status: 0 on success, 1 when a check failed, a compared trace differs or\n"
    "on a read or write error, 2 on bad usage or a bad script.\n";

constexpr char VERSION[] = "cooker-panel-trace (cooker-panel) " COOKER_PANEL_VERSION "\n";

enum : std::uint8_t { RAW, CYCLES, FORMAT, CHANGES, WHY, CHECK, REPORT, COMPARE, ALL };
using panel::Argument;
using panel::Repeat;
// clang-format off
constexpr panel::OptionRow OPTIONS[] = {
    {RAW, 'r', Argument::NONE, Repeat::LAST_WINS, "raw", nullptr,
     "every input byte is one cycle's key, as the panel reads\n"
     "a replayed file"},
    {CYCLES, 'n', Argument::REQUIRED, Repeat::LAST_WINS, "cycles", "N",
     "run exactly N cycles (0 to 1000000000); a shorter\n"
     "script goes on without keys, a longer one is cut"},
    {FORMAT, 'f', Argument::REQUIRED, Repeat::LAST_WINS, "format", "FORMAT",
     "table (the default), csv, vcd or svg (a timing diagram)"},
    {CHANGES, 'c', Argument::NONE, Repeat::LAST_WINS, "changes", nullptr,
     "table and csv: only the cycles that change a field,\n"
     "and the first and the last"},
    {WHY, 0, Argument::NONE, Repeat::LAST_WINS, "why", nullptr,
     "table and csv: a column right after the key saying\n"
     "what the key did, or why it did nothing"},
    {CHECK, 0, Argument::NONE, Repeat::LAST_WINS, "check", nullptr,
     "run each SCRIPT for its checks alone: say where one\n"
     "fails, then how many passed"},
    {REPORT, 0, Argument::REQUIRED, Repeat::LAST_WINS, "report", "FORMAT",
     "with --check: junit (XML) or tap on standard output,\n"
     "the summary on standard error"},
    {COMPARE, 0, Argument::REQUIRED, Repeat::LAST_WINS, "compare", "FILE",
     "hold another implementation's trace of SCRIPT, a CSV\n"
     "file of this program's columns (any order, any\n"
     "subset, cycle first), against this one: say the\n"
     "first field that differs, FILE:LINE: cycle N: FIELD:\n"
     "expected X, got Y (status 1)"},
    {ALL, 0, Argument::NONE, Repeat::LAST_WINS, "all", nullptr,
     "with --compare: say every difference"},
};
// clang-format on
static_assert(panel::well_formed(OPTIONS));

[[noreturn]] void usage_error(const std::string& message) { panel::usage_error(PROGRAM, message.c_str()); }

[[noreturn]] void io_error(const char* name, int error) { panel::io_error(PROGRAM, name, error); }

enum class Report : std::uint8_t { TEXT, JUNIT, TAP };

constexpr panel::Word<Format> FORMATS[] = {
    {"table", Format::TABLE}, {"csv", Format::CSV}, {"vcd", Format::VCD}, {"svg", Format::SVG}};
constexpr panel::Word<Report> REPORTS[] = {{"junit", Report::JUNIT}, {"tap", Report::TAP}};

struct Options {
    bool raw = false;
    bool changes = false;
    bool why = false;
    bool check = false;
    Report report = Report::TEXT;
    const char* compare = nullptr;  // their CSV
    bool all = false;
    std::vector<const char*> scripts;  // --check's
    std::optional<std::uint64_t> cycles;
    Format format = Format::TABLE;
    const char* input = "-";
};

Options parse_options(int argc, char** argv) {
    panel::CommandLine line({PROGRAM, USAGE, NOTES, VERSION}, OPTIONS, argc, argv);
    Options o;
    for (int id; (id = line.next()) != panel::CommandLine::END;) {
        const char* const value = line.argument();
        switch (id) {
        case RAW:
            o.raw = true;
            break;
        case CHANGES:
            o.changes = true;
            break;
        case WHY:
            o.why = true;
            break;
        case CHECK:
            o.check = true;
            break;
        case COMPARE:
            o.compare = value;
            break;
        case ALL:
            o.all = true;
            break;
        case REPORT:
            o.report = panel::choose_word(PROGRAM, "report", value, REPORTS);
            break;
        case CYCLES: {
            std::uint64_t cycles = 0;
            const char* const end = value + std::strlen(value);
            const auto [stop, error] = std::from_chars(value, end, cycles);
            if (error != std::errc() || stop != end || cycles > MAX_CYCLES) {
                usage_error(std::string("invalid number of cycles '") + value + "' (0 to 1000000000)");
            }
            o.cycles = cycles;
            break;
        }
        case FORMAT:
            o.format = panel::choose_word(PROGRAM, "format", value, FORMATS);
            break;
        }
    }
    const int first = line.first_operand();  // the first operand
    if (o.why && (o.format == Format::VCD || o.format == Format::SVG)) {
        usage_error("option '--why' goes with the table and csv formats only");
    }
    if (o.report != Report::TEXT && !o.check) {
        usage_error("option '--report' goes with '--check'");
    }
    if (o.all && o.compare == nullptr) {
        usage_error("option '--all' goes with '--compare'");
    }
    if (o.compare != nullptr) {
        // A comparison writes no trace of its own.
        for (const auto& [given, name] : {std::pair{o.raw, "--raw"}, {o.changes, "--changes"}, {o.why, "--why"},
                                         {o.format != Format::TABLE, "--format"}, {o.check, "--check"}}) {
            if (given) {
                usage_error(std::string("option '") + name + "' does not go with '--compare'");
            }
        }
    }
    if (o.check) {
        // A check run writes no trace: an option of the trace has no place.
        for (const auto& [given, name] : {std::pair{o.raw, "--raw"}, {o.changes, "--changes"}, {o.why, "--why"},
                                         {o.format != Format::TABLE, "--format"}}) {
            if (given) {
                usage_error(std::string("option '") + name + "' does not go with '--check'");
            }
        }
        for (int i = first; i < argc; ++i) {
            o.scripts.push_back(argv[i]);
        }
        if (o.scripts.empty()) {
            o.scripts.push_back("-");
        }
        return o;
    }
    if (argc - first > 1) {
        panel::extra_operand(PROGRAM, argv[first + 1]);
    }
    if (first < argc) {
        o.input = argv[first];
    }
    return o;
}

// Up to size bytes; 0 at end of input.
std::size_t read_some(int fd, const char* name, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            io_error(name, errno);
        }
    }
}

// The trace of one run over a buffered standard output.
class Run {
public:
    Run(const Options& o, std::optional<std::uint64_t> cycles)
        : trace_(out_, o.format, o.changes, cycles, std::strcmp(o.input, "-") == 0 ? "standard input" : o.input,
                 o.why) {}
    bool cycles(std::int32_t key, std::uint64_t count) { return trace_.cycles(key, count); }
    panel::trace::ScriptTrace& trace() { return trace_; }
    int finish() { return trace_.finish(); }

private:
    panel::trace::Output out_{STDOUT_FILENO};
    panel::trace::ScriptTrace trace_;
};

// Reads a script whole, its checks too, as far as limit cycles: a bad one
// ends the program before anything is written.
void read_whole(const char* name, int fd, std::uint64_t limit, panel::explore::Scenario& scenario,
                std::uint64_t& cycles) {
    cycles = panel::explore::read_scenario_or_exit(PROGRAM, name, fd, scenario, limit);
}

// Both return the error of standard output, 0 if none; failed is set when a
// check failed.
int trace_script(const Options& o, int fd, bool& failed) {
    static panel::explore::Scenario scenario;  // static: its buffers are large
    std::uint64_t cycles = 0;
    read_whole(o.input, fd, o.cycles.value_or(UINT64_MAX), scenario, cycles);
    static Run trace(o, o.cycles.value_or(cycles));
    const panel::explore::ScenarioOutcome outcome = panel::explore::run_scenario(scenario, trace.trace(), o.cycles);
    if (!outcome.held) {
        io_error("temporary file for a long script", errno);
    }
    const int error = trace.finish();
    if (outcome.failure) {
        failed = true;
        // The table and the drawing show it; CSV and VCD stay data.
        if (o.format == Format::CSV || o.format == Format::VCD) {
            (void)std::fprintf(stderr, "%s:%s: %s\n", o.input, outcome.failed_at.c_str(), outcome.failure->c_str());
        }
    }
    return error;
}

int trace_raw(const Options& o, int fd) {
    std::uint64_t left = o.cycles.value_or(UINT64_MAX);
    // A file's size is the count of its cycles, unless --cycles says otherwise.
    std::optional<std::uint64_t> cycles = o.cycles;
    struct stat file {};
    if (!cycles && ::fstat(fd, &file) == 0 && S_ISREG(file.st_mode)) {
        cycles = static_cast<std::uint64_t>(file.st_size);
    }
    static Run run(o, cycles);
    char chunk[1 << 16];
    bool writing = true;
    while (writing) {  // a read of 0 bytes, once left is 0, ends it too
        const std::size_t n = read_some(
            fd, o.input, chunk, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, left)));
        if (n == 0) {
            break;
        }
        for (std::size_t i = 0; i < n && writing; ++i) {
            writing = run.cycles(static_cast<unsigned char>(chunk[i]), 1);
        }
        left -= n;
    }
    if (o.cycles.has_value() && writing) {
        run.cycles(NO_KEY, left);
    }
    return run.finish();
}

// --compare: the script and their file read whole first (a bad one: status
// 2, nothing said), then their file again beside our trace.
int compare(const Options& o, bool& failed) {
    static panel::explore::Scenario scenario;
    std::uint64_t cycles = 0;
    read_whole(o.input, panel::open_input(PROGRAM, o.input), o.cycles.value_or(UINT64_MAX), scenario, cycles);
    if (std::strcmp(o.compare, "-") == 0) {
        usage_error("--compare: their trace is a file, not standard input");
    }
    std::vector<std::size_t> columns;
    auto header = [&o, &columns](panel::trace::CsvReader& reader) {
        std::vector<std::string> names;
        if (!reader.next(names) && reader.read_error() == 0) {
            (void)std::fprintf(stderr, "%s: %s: no header line\n", PROGRAM, o.compare);
            std::exit(panel::STATUS_USAGE);
        }
        if (reader.read_error() != 0) {
            io_error(o.compare, reader.read_error());
        }
        if (const auto error = reader.error() ? reader.error() : panel::trace::read_header(names, columns)) {
            (void)std::fprintf(stderr, "%s:1: %s\n", o.compare, error->c_str());
            std::exit(panel::STATUS_USAGE);
        }
    };
    {
        const int fd = panel::open_input(PROGRAM, o.compare);
        // Read twice: whole first, so that a bad file is refused before anything is said.
        struct stat file {};
        if (::fstat(fd, &file) == 0 && !S_ISREG(file.st_mode)) {
            usage_error(std::string("--compare: ") + o.compare + ": their trace must be a regular file");
        }
        panel::trace::CsvReader reader(fd);
        header(reader);
        const std::optional<std::string> error = panel::trace::check_lines(reader, columns.size());
        if (reader.read_error() != 0) {
            io_error(o.compare, reader.read_error());
        }
        if (error) {
            (void)std::fprintf(stderr, "%s:%s\n", o.compare, error->c_str());
            std::exit(panel::STATUS_USAGE);
        }
        ::close(fd);
    }
    const int fd = panel::open_input(PROGRAM, o.compare);
    panel::trace::CsvReader theirs(fd);
    header(theirs);
    static panel::trace::Output report(STDOUT_FILENO);
    panel::trace::Comparison comparison(o.compare, columns, theirs, report, o.all);
    std::string nowhere;
    panel::trace::Output none(nowhere);
    panel::trace::ScriptTrace trace(none, Format::NONE, false, std::nullopt, o.input);
    trace.watch([&comparison](const panel::trace::Tracer& tracer) { comparison.cycle(tracer.record()); });
    const panel::explore::ScenarioOutcome outcome = panel::explore::run_scenario(scenario, trace, o.cycles);
    if (!outcome.held) {
        io_error("temporary file for a long script", errno);
    }
    comparison.finish();
    if (theirs.read_error() != 0) {
        io_error(o.compare, theirs.read_error());
    }
    ::close(fd);
    report.flush();
    if (outcome.failure) {
        (void)std::fprintf(stderr, "%s:%s: %s\n", o.input, outcome.failed_at.c_str(), outcome.failure->c_str());
    }
    failed = comparison.differs() || outcome.failure.has_value();
    return report.error();
}

}  // namespace

// What --check found in one script.
struct Checked {
    const char* name;
    std::size_t checks;
    panel::explore::ScenarioOutcome outcome;
};

std::string plural(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void write_junit(panel::trace::Output& out, const std::vector<Checked>& runs, std::uint64_t failures) {
    using panel::trace::printable_name;
    using panel::trace::xml_escaped;
    out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"cooker-panel-trace --check\" tests=\"");
    out.put_number(runs.size());
    out.put("\" failures=\"");
    out.put_number(failures);
    out.put("\" errors=\"0\" skipped=\"0\">\n");
    for (const Checked& r : runs) {
        const std::string name = xml_escaped(printable_name(r.name));
        out.put(R"(  <testcase classname="scenarios" name=")");
        out.put(name);
        out.put(R"(" file=")");
        out.put(name);
        out.put("\"");
        if (r.outcome.failure) {
            const std::string message = xml_escaped(printable_name(*r.outcome.failure));
            out.put(R"(>
    <failure type="check" message=")");
            out.put(message);
            out.put("\">");
            out.put(name);
            out.put(":");
            out.put(r.outcome.failed_at);
            out.put(": ");
            out.put(message);
            out.put("</failure>\n  </testcase>\n");
        } else if (r.checks == 0) {
            out.put(">\n    <system-out>no checks: it runs, but tests nothing</system-out>\n  </testcase>\n");
        } else {
            out.put("/>\n");
        }
    }
    out.put("</testsuite>\n");
}

// TAP version 13: one test point a script, a failure's place and message in
// its YAML block.
void write_tap(panel::trace::Output& out, const std::vector<Checked>& runs) {
    auto quoted = [](const std::string& text) {
        std::string q = "\"";
        for (const char c : text) {
            q += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        }
        return q + "\"";
    };
    out.put("TAP version 13\n1..");
    out.put_number(runs.size());
    out.put('\n');
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Checked& r = runs[i];
        // A '#' in a description would start a directive: escaped, as is '\\'.
        std::string name;
        for (const char c : panel::trace::printable_name(r.name)) {
            name += c == '#' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        }
        out.put(r.outcome.failure ? "not ok " : "ok ");
        out.put_number(i + 1);
        out.put(" - " + name + (r.checks == 0 ? " # no checks: it runs, but tests nothing" : "") + "\n");
        if (r.outcome.failure) {
            out.put("  ---\n  message: " + quoted(panel::trace::printable_name(*r.outcome.failure)) +
                    "\n  at: " + quoted(name + ":" + r.outcome.failed_at) + "\n  ...\n");
        }
    }
}

// --check: every script read first (a bad one: status 2, nothing run), then
// each run for its checks alone.
int check_scripts(const Options& o) {
    // Each script is read twice, to check it and to run it, so that many
    // scripts cost no more memory than one; standard input is held instead.
    static panel::explore::Scenario input;
    bool input_read = false;
    for (const char* name : o.scripts) {
        const bool is_input = std::strcmp(name, "-") == 0;
        if (is_input && input_read) {
            usage_error("standard input ('-') given twice");
        }
        panel::explore::Scenario scenario;
        std::uint64_t cycles = 0;
        const int fd = panel::open_input(PROGRAM, name);
        read_whole(name, fd, o.cycles.value_or(UINT64_MAX), is_input ? input : scenario, cycles);
        input_read = input_read || is_input;
        if (!is_input) {
            ::close(fd);
        }
    }
    std::vector<Checked> runs;
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
    std::uint64_t not_run = 0;
    std::uint64_t checks = 0;
    std::FILE* const said = o.report == Report::TEXT ? stdout : stderr;
    for (const char* name : o.scripts) {
        panel::explore::Scenario scenario;
        const bool is_input = std::strcmp(name, "-") == 0;
        if (!is_input) {
            std::uint64_t cycles = 0;
            const int fd = panel::open_input(PROGRAM, name);
            read_whole(name, fd, o.cycles.value_or(UINT64_MAX), scenario, cycles);
            ::close(fd);
        }
        panel::explore::Scenario& s = is_input ? input : scenario;
        std::string nowhere;
        panel::trace::Output none(nowhere);
        panel::trace::ScriptTrace trace(none, Format::NONE, false, std::nullopt, name);
        const panel::explore::ScenarioOutcome outcome = panel::explore::run_scenario(s, trace, o.cycles);
        if (!outcome.held) {
            io_error("temporary file for a long script", errno);
        }
        if (outcome.failure) {
            (void)std::fprintf(said, "%s:%s: %s\n", name, outcome.failed_at.c_str(), outcome.failure->c_str());
        } else if (s.checks.empty()) {
            (void)std::fprintf(said, "%s: no checks: it runs, but tests nothing\n", name);
        }
        runs.push_back({name, s.checks.size(), outcome});
        passed += outcome.passed;
        failed += outcome.failed;
        not_run += outcome.not_run;
        checks += s.checks.size();
    }
    static panel::trace::Output out(STDOUT_FILENO);
    if (o.report == Report::JUNIT) {
        write_junit(out, runs, failed);
    } else if (o.report == Report::TAP) {
        write_tap(out, runs);
    }
    out.flush();
    if (out.error() != 0) {
        io_error("write error", out.error());
    }
    const std::string summary = plural(runs.size(), "scenario", "scenarios") + ", " +
                                plural(checks, "check", "checks") + ": " + std::to_string(passed) + " passed, " +
                                std::to_string(failed) + " failed, " + std::to_string(not_run) + " not run\n";
    (void)std::fputs(summary.c_str(), said);
    if (std::fflush(said) != 0) {
        io_error("write error", errno);
    }
    return failed > 0 ? STATUS_FAILED : 0;
}

int main(int argc, char** argv) {
    // A reader that goes away ends the program quietly, as it does the
    // standard tools, even when the caller ignored SIGPIPE.
    (void)std::signal(SIGPIPE, SIG_DFL);
    const Options options = parse_options(argc, argv);
    if (options.check) {
        return check_scripts(options);
    }
    bool failed = false;
    if (options.compare != nullptr) {
        const int error = compare(options, failed);
        if (error != 0) {
            io_error("write error", error);
        }
        return failed ? STATUS_FAILED : 0;
    }
    const int fd = panel::open_input(PROGRAM, options.input);
    const int error = options.raw ? trace_raw(options, fd) : trace_script(options, fd, failed);
    if (error != 0) {
        io_error("write error", error);
    }
    return failed ? STATUS_FAILED : 0;
}
