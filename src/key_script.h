// Key scripts: the notation in which a trace, an exploration's answer and a
// test say which key is typed in which cycle. One character is one cycle's
// key, '.' a cycle without a key, "{N}" repeats the step before it to N cycles
// in all, blanks take no cycle, '#' comments to the end of the line, and '\'
// escapes a byte. Control bytes other than tab, line feed and carriage return
// are no part of the notation: such a key is written \xHH. A '{' that starts
// a token opens a check: "{expect COND}", "{expect COND for DURATION}" or
// "{wait COND within DURATION}", which may span lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control_cycle.h"

namespace panel {

// A step's key: a byte 0 to 255, or NO_KEY for a cycle in which none is typed.
inline constexpr std::int32_t NO_KEY = -1;
// A step that is a check of the script, not a key: its count is the check's
// index among the script's checks.
inline constexpr std::int32_t CHECK = -2;
inline constexpr std::uint32_t MAX_REPEAT = 1'000'000'000;

// A run of cycles with one key. One "{N}" counts at most MAX_REPEAT cycles,
// but neighbouring steps of one key merge into a run of any length.
struct ScriptStep {
    std::int32_t key;
    std::uint64_t count;  // cycles, from 1
};

// What a script says must hold, checked where it stands: after the last cycle
// run so far (EXPECT), after each of the next `cycles` cycles without a key
// (FOR), or after some cycle without a key, running at most `cycles` of them
// until it holds (WAIT, none if it holds already).
enum class CheckKind : std::uint8_t { EXPECT, FOR, WAIT };

struct ScriptCheck {
    CheckKind kind = CheckKind::EXPECT;
    // As written, with comments blanked and line ends kept, so that a place
    // in it is a place in the script.
    std::string condition;
    std::size_t line = 0, column = 0;                  // of the '{'
    std::size_t condition_line = 0, condition_column = 0;  // of the condition's first byte
    std::uint64_t cycles = 0;                          // FOR and WAIT
    std::string duration;                              // as written: 20, 2s or 1:30
    // The condition on one line, its blanks and line ends folded, for a message.
    [[nodiscard]] std::string condition_text() const;
    // The place of a byte of the condition in the script.
    void place(std::size_t offset, std::size_t& at_line, std::size_t& at_column) const;
};

// A run costs one step, however large its count.
struct Script {
    std::vector<ScriptStep> steps;
    std::vector<ScriptCheck> checks;  // in the order of their CHECK steps
    std::uint64_t cycles = 0;  // the sum of the counts of keys, and the cycles checks may run
};

struct ScriptError {
    std::size_t line;    // from 1
    std::size_t column;  // from 1, in bytes
    std::string message;
};

// Reads the notation as a stream, from a text held whole or from a descriptor
// in pieces: the steps of one key merge into a run as they are read, so
// neither the script's length nor its counts cost memory, and the first byte
// that is wrong is reported as soon as it is read.
class ScriptReader {
public:
    explicit ScriptReader(std::string_view text) : data_(text.data()), end_(text.data() + text.size()) {}
    explicit ScriptReader(int fd) : fd_(fd) {}
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // The next run, or a check (key CHECK, its cycles in count; check() says
    // what it is): false at the end of the script, on an error in it
    // (error()) or on a failed read (read_error()).
    bool next(ScriptStep& run);
    [[nodiscard]] const ScriptCheck& check() const { return check_; }
    [[nodiscard]] const std::optional<ScriptError>& error() const { return error_; }
    [[nodiscard]] int read_error() const { return read_error_; }
    // The cycles of the runs read so far, and of the one being read.
    [[nodiscard]] std::uint64_t cycles() const { return cycles_; }
    // Reads no key once the keys read make limit cycles: the run then open
    // is the last (an endless input of one key ends too); blanks, comments
    // and checks right after it are still read.
    void stop_at(std::uint64_t limit) { limit_ = limit; }

private:
    int get();  // the next byte, or -1 at the end
    int peek();
    bool fill();
    bool fail(std::size_t column, std::string message);
    bool fail_at(std::size_t line, std::size_t column, std::string message);
    bool read_count(std::size_t brace_column);
    bool read_escape(std::size_t column, std::int32_t& key);
    bool read_check(std::size_t brace_column);
    bool at_limit();

    const char* data_ = nullptr;
    const char* end_ = nullptr;
    int fd_ = -1;
    char buffer_[1 << 14] = {};
    std::size_t line_ = 1;
    std::size_t column_ = 1;  // of the next byte
    bool repeatable_ = false;  // the last thing read was a step, so a count may follow
    std::optional<ScriptStep> open_;  // the run the last step belongs to
    ScriptCheck check_;
    bool check_waiting_ = false;  // read, and handed out after the run before it
    std::uint64_t checks_ = 0;    // read so far
    std::optional<ScriptError> error_;
    int read_error_ = 0;
    std::uint64_t cycles_ = 0;
    std::uint64_t limit_ = UINT64_MAX;
    std::uint64_t key_cycles_ = 0;  // of the keys alone, for the limit
    std::size_t past_limit_ = 0;    // tokens read past it
};

// Reads the whole text into script; on the first error returns where and what
// it is, and script is then incomplete.
std::optional<ScriptError> parse_script(std::string_view text, Script& script);

// The key a cycle gets for a script's key: none for NO_KEY, else the byte as
// the signed character the panel reads.
std::optional<std::int8_t> cycle_key(std::int32_t key);

// Runs every cycle of script's keys on panel (checks are for the trace).
void run_script(Panel& panel, const Script& script);

// A check as the notation writes it: "{expect COND}" and so on.
std::string format_check(const ScriptCheck& check);

// A key as text: nothing for NO_KEY, a printable byte as itself, any other
// byte as \xHH (made in buffer).
std::string_view key_text(std::int32_t key, char (&buffer)[4]);

// Writes keys (bytes 0 to 255, or NO_KEY) as one line of the notation that
// parse_script reads back: the keys blank-separated, a run of two or more
// equal keys as "k{N}", '.' for no key, and every byte the notation would
// read otherwise (blanks, '.', '#', '{', '\\', control bytes, bytes from
// 0x80) as an escape. No line end.
std::string format_script(const std::vector<std::int32_t>& keys);
// The same for a script's steps, equal neighbours written as one run.
std::string format_script(const Script& script);

// A run as text: the key as format_script writes it, then "{N}" for two or
// more cycles (several such pieces, blank-separated, past MAX_REPEAT).
std::string format_run(ScriptStep run);

// Adds count cycles of key at the end of script, as part of the last run when
// that has the same key. False, and nothing added, when the script would
// count more cycles than 64 bits hold.
bool append_step(Script& script, std::int32_t key, std::uint64_t count);

}  // namespace panel
