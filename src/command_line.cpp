#include "command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace panel {
namespace {

// --help and --version, last in every table; their codes follow the table's.
constexpr OptionRow HELP_ROW = {
    0, 0, Argument::NONE, Repeat::LAST_WINS, "help", nullptr, "display this help and exit"};
constexpr OptionRow VERSION_ROW = {
    0, 0, Argument::NONE, Repeat::LAST_WINS, "version", nullptr, "output version information and exit"};

// An option without a letter has a code above 255, so that it is in no
// option string and optopt never mistakes one for the other.
constexpr int FIRST_LONG_CODE = 256;

// The second line of every usage error, and the status.
[[noreturn]] void try_help(const char* program) {
    (void)std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    std::exit(STATUS_USAGE);
}

// Prints text on standard output and exits: 0, or STATUS_IO when it could not.
[[noreturn]] void print_and_exit(const char* text) {
    (void)std::fputs(text, stdout);
    std::exit(std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : STATUS_IO);
}

// Whether a long option of code val that takes no argument begins with the
// length bytes of name: the option "--name=value" named, refused for its value.
bool refuses_argument(const option* long_options, const char* name, std::size_t length, int val) {
    for (const option* o = long_options; o->name != nullptr; ++o) {
        if (o->has_arg == no_argument && o->flag == nullptr && o->val == val &&
            std::strncmp(o->name, name, length) == 0) {
            return true;
        }
    }
    return false;
}

// Reports getopt_long's '?' or ':' (with ':' leading the option string) as
// a usage error in GNU's words, naming a long option in full and a short one
// from optopt, also inside a cluster of short options.
[[noreturn]] void option_error(const char* program, const int result, const option* const long_options,
                               char* const* const argv) {
    // getopt_long steps past an element once it is done with it: after a long
    // option (refused, unknown or short of its argument) and with the last
    // letter of a cluster of short options, so argv[optind - 1] is then the
    // element it refused. A bad letter inside a cluster ("-xr") leaves optind
    // on the cluster, and argv[optind - 1] is whatever came before it: an
    // option (even "--name=value" of one that takes a value), an operand
    // skipped for later, or the program's name.
    const char* const previous = argv[optind - 1];
    const bool long_form = std::strncmp(previous, "--", 2) == 0;
    const std::size_t name_end = std::strcspn(previous, "=");  // "--name" of "--name=value"
    const int shown = static_cast<int>(name_end);
    if (result == ':') {
        // An argument is missing only at the end of the arguments: previous
        // is the option's own element, a long one or a cluster ending in it.
        if (long_form) {
            (void)std::fprintf(stderr, "%s: option '%.*s' requires an argument\n", program, shown, previous);
        } else {
            (void)std::fprintf(stderr, "%s: option requires an argument -- '%c'\n", program, optopt);
        }
        try_help(program);
    }
    if (optopt == 0) {
        // A long name that none or more than one option begins with; GNU
        // names the candidates (getopt_long refuses both the same way).
        const char* const typed = previous + 2;
        const std::size_t typed_length = name_end - 2;
        char candidates[256] = "";  // the programs' own names: a few dozen bytes
        std::size_t used = 0;
        int count = 0;
        for (const option* o = long_options; o->name != nullptr && long_form && typed_length > 0; ++o) {
            if (std::strncmp(o->name, typed, typed_length) != 0) {
                continue;
            }
            ++count;
            if (used < sizeof candidates) {
                const int n = std::snprintf(candidates + used, sizeof candidates - used, " '--%s'", o->name);
                used += n > 0 ? static_cast<std::size_t>(n) : 0;
            }
        }
        if (count > 1) {
            (void)std::fprintf(stderr, "%s: option '%s' is ambiguous; possibilities:%s\n", program, previous,
                               candidates);
        } else {
            (void)std::fprintf(stderr, "%s: unrecognized option '%s'\n", program, previous);
        }
        try_help(program);
    }
    // A known long name refused only for the value it does not take; the
    // code of an invalid letter is that of no option, so an option given
    // before a cluster is never taken for the refused one.
    if (long_form && previous[name_end] == '=' &&
        refuses_argument(long_options, previous + 2, name_end - 2, optopt)) {
        (void)std::fprintf(stderr, "%s: option '%.*s' doesn't allow an argument\n", program, shown, previous);
    } else {
        (void)std::fprintf(stderr, "%s: invalid option -- '%c'\n", program, optopt);
    }
    try_help(program);
}

}  // namespace

void usage_error(const char* program, const char* message) {
    (void)std::fprintf(stderr, "%s: %s\n", program, message);
    try_help(program);
}

void extra_operand(const char* program, const char* operand) {
    (void)std::fprintf(stderr, "%s: extra operand '%s'\n", program, operand);
    try_help(program);
}

void io_error(const char* program, const char* name, int error) {
    (void)std::fprintf(stderr, "%s: %s: %s\n", program, name, std::strerror(error));
    std::exit(STATUS_IO);
}

int open_input(const char* program, const char* name) {
    if (std::strcmp(name, "-") == 0) {
        return STDIN_FILENO;
    }
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        io_error(program, name, errno);
    }
    return fd;
}

CommandLine::CommandLine(const ProgramText& text, const OptionRow* const rows, const std::size_t count,
                         const int argc, char** const argv)
    : text_(text), rows_(rows), count_(count), argc_(argc), argv_(argv) {
    // ':' first: a missing argument is told apart from an unknown option.
    std::size_t letters = 0;
    short_options_[letters++] = ':';
    for (std::size_t i = 0; i <= count_ + 1; ++i) {
        const OptionRow& row = row_at(i);
        const int has_arg = row.argument == Argument::REQUIRED   ? required_argument
                            : row.argument == Argument::OPTIONAL ? optional_argument
                                                                 : no_argument;
        const int code =
            row.letter != 0 ? static_cast<unsigned char>(row.letter) : FIRST_LONG_CODE + static_cast<int>(i);
        long_options_[i] = {row.name, has_arg, nullptr, code};
        if (row.letter != 0) {
            short_options_[letters++] = row.letter;
            for (int colons = has_arg; colons > 0; --colons) {  // "x:" requires, "x::" may have
                short_options_[letters++] = ':';
            }
        }
    }
}

int CommandLine::next() {
    const int code = getopt_long(argc_, argv_, short_options_, long_options_, nullptr);
    if (code == -1) {
        first_operand_ = optind;
        return END;
    }
    if (code == '?' || code == ':') {
        option_error(text_.program, code, long_options_, argv_);
    }
    std::size_t row = 0;
    if (code >= FIRST_LONG_CODE) {
        row = static_cast<std::size_t>(code - FIRST_LONG_CODE);
    } else {
        while (row < count_ && static_cast<unsigned char>(rows_[row].letter) != code) {
            ++row;
        }
    }
    if (row == count_) {
        print_help();
    }
    if (row > count_) {
        print_and_exit(text_.version);
    }
    if (given_[row] && rows_[row].repeat == Repeat::REFUSED) {
        (void)std::fprintf(stderr, "%s: option '--%s' was given twice\n", text_.program, rows_[row].name);
        try_help(text_.program);
    }
    given_[row] = true;
    argument_ = optarg;
    return rows_[row].id;
}

const OptionRow& CommandLine::row_at(const std::size_t i) const {
    return i < count_ ? rows_[i] : i == count_ ? HELP_ROW : VERSION_ROW;
}

void CommandLine::print_help() const {
    // Every option on a line "  -x, --name=ARG  description", the
    // descriptions in one column two places right of the widest option, a
    // description's further lines two places further still.
    char shown[MAX_OPTIONS + 2][64] = {};
    int width = 0;
    for (std::size_t i = 0; i <= count_ + 1; ++i) {
        const OptionRow& row = row_at(i);
        const char* const metavar = row.metavar != nullptr ? row.metavar : "";
        const char* const before = row.metavar == nullptr               ? ""
                                   : row.argument == Argument::NONE     ? " "
                                   : row.argument == Argument::OPTIONAL ? "[="
                                                                        : "=";
        const char* const after = row.metavar != nullptr && row.argument == Argument::OPTIONAL ? "]" : "";
        const int n = row.letter != 0 ? std::snprintf(shown[i], sizeof shown[i], "-%c, --%s%s%s%s",
                                                      row.letter, row.name, before, metavar, after)
                                      : std::snprintf(shown[i], sizeof shown[i], "    --%s%s%s%s", row.name,
                                                      before, metavar, after);
        width = n > width ? n : width;
    }
    (void)std::fputs(text_.usage, stdout);
    for (std::size_t i = 0; i <= count_ + 1; ++i) {
        const OptionRow& row = row_at(i);
        (void)std::printf("  %-*s  ", width, shown[i]);
        for (const char* line = row.help;; ++line) {
            const std::size_t length = std::strcspn(line, "\n");
            (void)std::printf("%.*s\n", static_cast<int>(length), line);
            line += length;
            if (*line == '\0') {
                break;
            }
            (void)std::printf("%*s", width + 6, "");
        }
    }
    print_and_exit(text_.notes);
}

std::size_t word_index(const char* const program, const char* const what, const char* const word,
                       const char* const* const words, const std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::strcmp(word, words[i]) == 0) {
            return i;
        }
    }
    // "invalid format 'xml' (table, csv, vcd or svg)": the program's words
    // listed first, then one line with the word given, as long as it is.
    char listed[256] = "";
    std::size_t used = 0;
    for (std::size_t i = 0; i < count && used < sizeof listed; ++i) {
        const char* const separator = i == 0 ? "" : i + 1 == count ? " or " : ", ";
        const int n = std::snprintf(listed + used, sizeof listed - used, "%s%s", separator, words[i]);
        used += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    (void)std::fprintf(stderr, "%s: invalid %s '%s' (%s)\n", program, what, word, listed);
    try_help(program);
}

}  // namespace panel
