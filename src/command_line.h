// What the command-line programs share: their error reports (one line on
// standard error, status 2 for usage and input, 1 for I/O), GNU's wording for
// an option that getopt_long refused, --help and --version, and reading a
// key script whole. It needs the C library only (no std::string, no
// allocation), so the panel, which would become firmware, links nothing more.
#pragma once

#include <getopt.h>

namespace panel {

class ScriptReader;

inline constexpr int STATUS_IO = 1;
inline constexpr int STATUS_USAGE = 2;

// The codes of --help and --version, which have no short form: above 255,
// so that they are not in any option string.
inline constexpr int HELP_OPTION = 256;
inline constexpr int VERSION_OPTION = 257;

// "PROGRAM: message", then where to find help; exits with STATUS_USAGE.
[[noreturn]] void usage_error(const char* program, const char* message);
// The usage error for an operand the program does not take.
[[noreturn]] void extra_operand(const char* program, const char* operand);
// "PROGRAM: name: the system's words for error"; exits with STATUS_IO.
[[noreturn]] void io_error(const char* program, const char* name, int error);
// Prints text on standard output and exits: 0, or STATUS_IO when it could not.
[[noreturn]] void print_and_exit(const char* text);

// Reports getopt_long's '?' or ':' (with ':' leading the option string) as
// a usage error in GNU's words, naming a long option in full and a short one
// from optopt, also inside a cluster of short options. A long option's code
// must be its short letter (one in the option string) or above 255, so that
// optopt never mistakes one for the other.
[[noreturn]] void option_error(const char* program, int result, const option* long_options,
                               char* const* argv);

// The descriptor of the file name ("-": standard input); a file that cannot
// be opened ends the program as an I/O error. A folder opens, and its first
// read fails.
int open_input(const char* program, const char* name);

// Ends the program for a reader that stopped before the end of its script:
// unreadable input as an I/O error, a bad script with "name:LINE:COLUMN: what"
// and STATUS_USAGE. Returns when the reader simply reached the end. (In a
// unit of its own, command_line_script.cpp, with the key scripts' reader.)
void check_script_end(const char* program, const char* name, const ScriptReader& reader);

}  // namespace panel
