// Key scripts: the notation in which a trace, an exploration's answer and a
// test say which key is typed in which cycle. One character is one cycle's
// key, '.' a cycle without a key, "{N}" repeats the step before it to N cycles
// in all, blanks take no cycle, '#' comments to the end of the line, and '\'
// escapes a byte.
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
inline constexpr std::uint32_t MAX_REPEAT = 1'000'000'000;

struct ScriptStep {
    std::int32_t key;
    std::uint32_t count;  // cycles, 1 to MAX_REPEAT
};

// A repeat costs one step, however large its count.
struct Script {
    std::vector<ScriptStep> steps;
    std::uint64_t cycles = 0;  // the sum of the counts
};

struct ScriptError {
    std::size_t line;    // from 1
    std::size_t column;  // from 1, in bytes
    std::string message;
};

// Reads the whole text into script; on the first error returns where and what
// it is, and script is then incomplete.
std::optional<ScriptError> parse_script(std::string_view text, Script& script);

// The key a cycle gets for a script's key: none for NO_KEY, else the byte as
// the signed character the panel reads.
std::optional<std::int8_t> cycle_key(std::int32_t key);

// Runs every cycle of script on panel.
void run_script(Panel& panel, const Script& script);

// A key as text: nothing for NO_KEY, a printable byte as itself, any other
// byte as \xHH (made in buffer).
std::string_view key_text(std::int32_t key, char (&buffer)[4]);

// Reads all of fd into text, retrying after signals: 0, or the errno of a
// failed read.
int read_text(int fd, std::string& text);

// Writes keys (bytes 0 to 255, or NO_KEY) as one line of the notation that
// parse_script reads back: the keys blank-separated, a run of two or more
// equal keys as "k{N}", '.' for no key, and every byte the notation would
// read otherwise (blanks, '.', '#', '{', '\\', control bytes, bytes from
// 0x80) as an escape. No line end.
std::string format_script(const std::vector<std::int32_t>& keys);
// The same for a script's steps, equal neighbours written as one run.
std::string format_script(const Script& script);

// Adds count cycles of key at the end of script, as part of the last run when
// that has the same key (a run holds at most MAX_REPEAT cycles). False, and
// nothing added, when the script would count more cycles than 64 bits hold.
bool append_step(Script& script, std::int32_t key, std::uint64_t count);

}  // namespace panel
