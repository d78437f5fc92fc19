// cooker-panel-trace: runs the panel's control cycle in virtual time over a
// key script and writes what happened, cycle by cycle, as a table, CSV or a
// value change dump. A script is read and checked whole before the first
// cycle, so bad input leaves nothing on standard output; --raw input streams.
#include <fcntl.h>
#include <getopt.h>
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

#include "command_line.h"
#include "run_spool.h"
#include "key_script.h"
#include "trace_writer.h"
#include "tracer.h"

namespace {

using panel::NO_KEY;
using panel::trace::Format;

constexpr const char* PROGRAM = "cooker-panel-trace";
constexpr std::uint64_t MAX_CYCLES = 1'000'000'000;
constexpr int WHY_OPTION = panel::VERSION_OPTION + 1;  // a long option without a letter

constexpr char HELP[] =
    "Usage: cooker-panel-trace [OPTION]... [SCRIPT]\n"
    "Run the cooker panel's control cycle in virtual time over a key script and\n"
    "write the panel's state and display after every cycle.\n"
    "\n"
    "With no SCRIPT, or when SCRIPT is -, read standard input.\n"
    "\n"
    "  -r, --raw            every input byte is one cycle's key, as the panel reads\n"
    "                         a replayed file\n"
    "  -n, --cycles=N       run exactly N cycles (0 to 1000000000); a shorter\n"
    "                         script goes on without keys, a longer one is cut\n"
    "  -f, --format=FORMAT  table (the default), csv, vcd or svg (a timing diagram)\n"
    "  -c, --changes        table and csv: only the cycles that change a field,\n"
    "                         and the first and the last\n"
    "      --why            table and csv: a column right after the key saying\n"
    "                         what the key did, or why it did nothing\n"
    "      --help           display this help and exit\n"
    "      --version        output version information and exit\n"
    "\n"
    "Script: a to f act, any other character is a key that means nothing, '.' is\n"
    "a cycle without a key, {N} after a key or '.' repeats it to N cycles in all,\n"
    "blanks take no cycle, # comments to the end of the line, and \\xHH, \\\\, \\.,\n"
    "\\# and \\{ stand for a byte. Example: a e .{127} f .\n"
    "\n"
    "Exit status: 0 on success, 1 on a read or write error, 2 on bad usage or a\n"
    "bad script.\n";

constexpr char VERSION[] = "cooker-panel-trace (cooker-panel) " COOKER_PANEL_VERSION "\n";

[[noreturn]] void usage_error(const std::string& message) { panel::usage_error(PROGRAM, message.c_str()); }

[[noreturn]] void io_error(const char* name, int error) { panel::io_error(PROGRAM, name, error); }

struct Options {
    bool raw = false;
    bool changes = false;
    bool why = false;
    std::optional<std::uint64_t> cycles;
    Format format = Format::TABLE;
    const char* input = "-";
};

Options parse_options(int argc, char** argv) {
    using panel::HELP_OPTION;
    using panel::VERSION_OPTION;
    static const option LONG_OPTIONS[] = {{"raw", no_argument, nullptr, 'r'},
                                          {"cycles", required_argument, nullptr, 'n'},
                                          {"format", required_argument, nullptr, 'f'},
                                          {"changes", no_argument, nullptr, 'c'},
                                          {"why", no_argument, nullptr, WHY_OPTION},
                                          {"help", no_argument, nullptr, HELP_OPTION},
                                          {"version", no_argument, nullptr, VERSION_OPTION},
                                          {nullptr, 0, nullptr, 0}};
    Options o;
    for (int c; (c = getopt_long(argc, argv, ":rn:f:c", LONG_OPTIONS, nullptr)) != -1;) {
        const std::string value = optarg != nullptr ? optarg : "";
        switch (c) {
        case 'r':
            o.raw = true;
            break;
        case 'c':
            o.changes = true;
            break;
        case WHY_OPTION:
            o.why = true;
            break;
        case 'n': {
            std::uint64_t cycles = 0;
            const char* const end = value.data() + value.size();
            const auto [stop, error] = std::from_chars(value.data(), end, cycles);
            if (error != std::errc() || stop != end || cycles > MAX_CYCLES) {
                usage_error("invalid number of cycles '" + value + "' (0 to 1000000000)");
            }
            o.cycles = cycles;
            break;
        }
        case 'f':
            if (value == "table") {
                o.format = Format::TABLE;
            } else if (value == "csv") {
                o.format = Format::CSV;
            } else if (value == "vcd") {
                o.format = Format::VCD;
            } else if (value == "svg") {
                o.format = Format::SVG;
            } else {
                usage_error("invalid format '" + value + "' (table, csv, vcd or svg)");
            }
            break;
        case HELP_OPTION:
            panel::print_and_exit(HELP);
        case VERSION_OPTION:
            panel::print_and_exit(VERSION);
        default:
            panel::option_error(PROGRAM, c, LONG_OPTIONS, argv);
        }
    }
    if (o.why && (o.format == Format::VCD || o.format == Format::SVG)) {
        usage_error("option '--why' goes with the table and csv formats only");
    }
    if (argc - optind > 1) {
        panel::extra_operand(PROGRAM, argv[optind + 1]);
    }
    if (optind < argc) {
        o.input = argv[optind];
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
    int finish() { return trace_.finish(); }

private:
    panel::trace::Output out_{STDOUT_FILENO};
    panel::trace::ScriptTrace trace_;
};

// Both return the error of standard output, 0 if none.
int trace_script(const Options& o, int fd) {
    // The whole script is read and checked first (as far as --cycles needs
    // it), so a bad one leaves standard output empty.
    const std::uint64_t limit = o.cycles.value_or(UINT64_MAX);
    static panel::RunSpool spool;
    panel::ScriptReader reader(fd);
    reader.stop_at(limit);
    panel::ScriptStep run{};
    while (reader.next(run)) {
        if (!spool.add(run)) {
            io_error("temporary file for a long script", errno);
        }
    }
    panel::check_script_end(PROGRAM, o.input, reader);
    std::uint64_t left = o.cycles.value_or(spool.cycles());
    static Run trace(o, left);  // static: the buffers are large
    bool writing = true;
    const bool replayed = spool.replay([&](const panel::ScriptStep& step) {
        const std::uint64_t count = std::min<std::uint64_t>(step.count, left);
        writing = trace.cycles(step.key, count);  // standard output failed: no point running on
        left -= count;
        return writing && left > 0;
    });
    if (!replayed) {
        io_error("temporary file for a long script", errno);
    }
    if (writing) {
        trace.cycles(NO_KEY, left);
    }
    return trace.finish();
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

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away ends the program quietly, as it does the
    // standard tools, even when the caller ignored SIGPIPE.
    (void)std::signal(SIGPIPE, SIG_DFL);
    const Options options = parse_options(argc, argv);
    const int fd = panel::open_input(PROGRAM, options.input);
    const int error = options.raw ? trace_raw(options, fd) : trace_script(options, fd);
    if (error != 0) {
        io_error("write error", error);
    }
    return 0;
}
