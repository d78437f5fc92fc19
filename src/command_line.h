// What the command-line programs share: their options, stated as a table
// that both the parsing and --help read; their error reports (one line on
// standard error, status 2 for usage and input, 1 for I/O) in GNU's wording
// for an option that getopt_long refused; --help and --version; and reading
// a key script whole. It needs the C library only (no std::string, no
// allocation), so the panel, which would become firmware, links nothing more.
#pragma once

#include <getopt.h>

#include <cstddef>
#include <cstdint>

namespace panel {

class ScriptReader;

inline constexpr int STATUS_IO = 1;
inline constexpr int STATUS_USAGE = 2;

// How an option takes its argument: not at all, always (--name=ARG,
// --name ARG, -xARG, -x ARG), or when attached (--name=ARG, -xARG).
enum class Argument : std::uint8_t { NONE, REQUIRED, OPTIONAL };
// Given again, an option counts the last time, or is refused: "option
// '--name' was given twice".
enum class Repeat : std::uint8_t { LAST_WINS, REFUSED };

// One option of a program, a row of its table.
struct OptionRow {
    int id;       // the program's name for the option: the row's index
    char letter;  // the short name, or 0
    Argument argument;
    Repeat repeat;
    const char* name;     // the long name, without "--"
    const char* metavar;  // --help's word for the argument, or (Argument::NONE) for the operands it goes with
    const char* help;     // --help's description, its lines apart by '\n'
};

// What --help and --version print around the table's lines.
struct ProgramText {
    const char* program;  // the name every message starts with
    const char* usage;    // --help's text before the options
    const char* notes;    // and after them, from the blank line on
    const char* version;  // --version's text
};

// The most options a table holds, --help and --version aside.
inline constexpr std::size_t MAX_OPTIONS = 16;

// Whether a table can be read: its ids are the rows' indexes (so a program
// can switch on them and ask given()), its long names and its letters
// (none of them getopt's ':' or '?') are each one option's.
template <std::size_t N>
constexpr bool well_formed(const OptionRow (&rows)[N]) {
    const auto same = [](const char* a, const char* b) {
        for (; *a != '\0' && *a == *b; ++a, ++b) {
        }
        return *a == *b;
    };
    bool ok = N <= MAX_OPTIONS;
    for (std::size_t i = 0; i < N; ++i) {
        ok = ok && rows[i].id == static_cast<int>(i) && rows[i].letter != ':' && rows[i].letter != '?';
        for (std::size_t j = 0; j < i; ++j) {
            ok = ok && !same(rows[i].name, rows[j].name) &&
                 (rows[i].letter == 0 || rows[i].letter != rows[j].letter);
        }
    }
    return ok;
}

// A program's command line read by getopt_long against its table:
//   for (int id; (id = line.next()) != CommandLine::END;) { switch (id) ... }
// A refused option ends the program as a usage error in GNU's words; --help
// and --version print and end it. Operands follow the options (getopt_long
// moves them there), from first_operand() on.
class CommandLine {
public:
    static constexpr int END = -1;

    template <std::size_t N>
    CommandLine(const ProgramText& text, const OptionRow (&rows)[N], int argc, char** argv)
        : CommandLine(text, rows, N, argc, argv) {
        static_assert(N <= MAX_OPTIONS, "more options than MAX_OPTIONS");
    }
    // A program with no options but --help and --version.
    CommandLine(const ProgramText& text, int argc, char** argv) : CommandLine(text, nullptr, 0, argc, argv) {}

    // The id of the next option given, or END after the last.
    int next();
    // The argument of the option next() returned; nullptr when it has none.
    [[nodiscard]] const char* argument() const { return argument_; }
    // Whether the option of that id was given so far.
    [[nodiscard]] bool given(int id) const { return given_[id]; }
    // The index in argv of the first operand, once next() returned END.
    [[nodiscard]] int first_operand() const { return first_operand_; }

private:
    CommandLine(const ProgramText& text, const OptionRow* rows, std::size_t count, int argc, char** argv);
    [[noreturn]] void print_help() const;
    // The row of index i, --help's and --version's after the table's.
    [[nodiscard]] const OptionRow& row_at(std::size_t i) const;

    ProgramText text_;
    const OptionRow* rows_;
    std::size_t count_;
    int argc_;
    char** argv_;
    // getopt_long's view of the table, with --help, --version and the end.
    option long_options_[MAX_OPTIONS + 3] = {};
    char short_options_[1 + 3 * MAX_OPTIONS + 1] = {};
    bool given_[MAX_OPTIONS] = {};
    const char* argument_ = nullptr;
    int first_operand_ = 0;
};

// One word a value may be given as, with what it stands for.
template <typename T>
struct Word {
    const char* word;
    T value;
};

// The index of word among count words; a word not among them ends the
// program: "PROGRAM: invalid WHAT 'WORD' (A, B or C)".
std::size_t word_index(const char* program, const char* what, const char* word, const char* const* words,
                       std::size_t count);

// The value of the word given, of the words an option takes.
template <typename T, std::size_t N>
T choose_word(const char* program, const char* what, const char* word, const Word<T> (&words)[N]) {
    const char* names[N] = {};
    for (std::size_t i = 0; i < N; ++i) {
        names[i] = words[i].word;
    }
    return words[word_index(program, what, word, names, N)].value;
}

// "PROGRAM: message", then where to find help; exits with STATUS_USAGE.
[[noreturn]] void usage_error(const char* program, const char* message);
// The usage error for an operand the program does not take.
[[noreturn]] void extra_operand(const char* program, const char* operand);
// "PROGRAM: name: the system's words for error"; exits with STATUS_IO.
[[noreturn]] void io_error(const char* program, const char* name, int error);

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
