#include "command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace panel {
namespace {

// The second line of every usage error, and the status.
[[noreturn]] void try_help(const char* program) {
    (void)std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    std::exit(STATUS_USAGE);
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

void print_and_exit(const char* text) {
    (void)std::fputs(text, stdout);
    std::exit(std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : STATUS_IO);
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

void option_error(const char* program, const int result, const option* const long_options,
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

}  // namespace panel
