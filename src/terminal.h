// The terminal on standard input: character-at-a-time input without echo, a
// non-blocking poll for a waiting key, and the signal handling that gives the
// terminal back as it was found when the panel is interrupted or suspended.
#pragma once

#include <optional>

namespace panel {

// The panel's lines need rows 10 and 11 and columns 30 to 44, and the cursor
// is parked below them, at row 12.
inline constexpr int NEEDED_ROWS = 12;
inline constexpr int NEEDED_COLUMNS = 45;

struct TerminalSize {
    int rows, columns;
};
// The size of the terminal on fd, or nothing where fd is no terminal.
std::optional<TerminalSize> terminal_size(int fd);

// Saves the attributes of fd and switches off echo (of control characters
// too) and line editing (VMIN 1, VTIME 0, signals still on). -1 if fd's
// attributes cannot be read.
int tty_cbreak(int fd);
// Puts back the attributes tty_cbreak found.
int tty_reset(int fd);
// 1 if a byte can be read from descriptor 0 without waiting, else 0.
int kbdhit();
// The next byte of descriptor 0 (0 to 255); 255 when none could be read.
int getch();

// False while standard input is a terminal that another process group owns
// (the panel was started in the background); the host then waits.
bool terminal_in_foreground();
// False after a resume in the background, where reading the terminal would
// stop the panel; true again after a resume in the foreground.
bool keys_readable();
// Bracket the drawing of a cycle: a suspend (Ctrl-Z) that comes in between
// takes effect at its end, with the cycle's lines drawn whole.
void cycle_begins();
void cycle_ends();
// True once after each resume (SIGCONT): a suspend has moved the cursor
// below the panel, so output held back from before it is out of place.
bool take_resume();

// Installs the handlers for interrupt, termination, hang-up and quit (restore
// the terminal, then die by the same signal), for suspend and resume, and
// ignores SIGPIPE so a vanished reader of standard output cannot end the
// panel. A signal that was ignored at start stays ignored.
void install_signal_handlers();

}  // namespace panel
