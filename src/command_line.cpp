#include "command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace panel {
namespace {

// The option's name as typed, without its value.
std::string long_name(std::string_view element) { return std::string(element.substr(0, element.find('='))); }

}  // namespace

void usage_error(const char* program, const std::string& message) {
    (void)std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, message.c_str(),
                       program);
    std::exit(STATUS_USAGE);
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

void check_script_end(const char* program, const char* name, const ScriptReader& reader) {
    if (reader.read_error() != 0) {
        io_error(program, name, reader.read_error());
    }
    if (const auto& error = reader.error()) {
        (void)std::fprintf(stderr, "%s:%zu:%zu: %s\n", name, error->line, error->column,
                           error->message.c_str());
        std::exit(STATUS_USAGE);
    }
}

std::string option_error(const int result, const option* const long_options, char* const* const argv) {
    // A refused argument or a missing one ends its element, so getopt_long
    // has stepped past it; an invalid letter in a cluster does not.
    const std::string_view element = argv[optind - 1];
    const bool long_form = element.starts_with("--");
    if (result == ':') {
        if (long_form) {
            return "option '" + long_name(element) + "' requires an argument";
        }
        return std::string("option requires an argument -- '") + static_cast<char>(optopt) + "'";
    }
    if (optopt == 0) {
        // getopt_long refuses an abbreviation that more than one name begins
        // with in the same way as an unknown name; GNU names the candidates.
        const std::string typed = long_form ? long_name(element).substr(2) : std::string();
        std::string candidates;
        int count = 0;
        for (const option* o = long_options; o->name != nullptr && !typed.empty(); ++o) {
            if (std::string_view(o->name).starts_with(typed)) {
                candidates += std::string(" '--") + o->name + "'";
                ++count;
            }
        }
        if (count > 1) {
            return "option '" + std::string(element) + "' is ambiguous; possibilities:" + candidates;
        }
        return "unrecognized option '" + std::string(element) + "'";
    }
    // A known name refused only for an argument that it does not take.
    if (long_form) {
        return "option '" + long_name(element) + "' doesn't allow an argument";
    }
    return std::string("invalid option -- '") + static_cast<char>(optopt) + "'";
}

}  // namespace panel
