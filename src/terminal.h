// The terminal on standard input: character-at-a-time input without echo, a
// non-blocking poll for a waiting key, and the signal handling that gives the
// terminal back as it was found when the panel is interrupted or suspended.
#pragma once

#include <cstddef>
#include <optional>

namespace panel {

// The panel's lines need rows 10 and 11 and columns 30 to 44, and the cursor
// is parked below them, at row 12.
inline constexpr int NEEDED_ROWS = 12;
inline constexpr int NEEDED_COLUMNS = 45;

struct TerminalSize {
    int rows, columns;
    friend bool operator==(const TerminalSize&, const TerminalSize&) = default;
};
// The size of the terminal on fd, or nothing where fd is no terminal.
std::optional<TerminalSize> terminal_size(int fd);
// Whether the panel's lines fit a terminal of size. One that reports 0 rows
// or columns does not know its own size, and is taken to fit.
bool fits(const TerminalSize& size);

// What a terminal too small for the panel shows at its top left, cut to its
// width, instead of the panel's lines.
inline constexpr char TOO_SMALL_NOTICE[] = "needs 12 rows, 45 columns";
// The one clear the panel makes, after the terminal on fd changed size:
// what the terminal did to the old lines (cut them, rewrapped them, scrolled
// them) cannot be known. Cursor home, the whole screen erased, and for a
// size too small for the panel the notice on the first row.
void clear_screen(int fd, const std::optional<TerminalSize>& size);
// A handler for the panel's output sink while the terminal is too small:
// the cycles go on, but of their bytes only the bells reach standard output.
void bells_only(void* context, const char* bytes, std::size_t size);

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
// True once after each change of the terminal's size (SIGWINCH, which the
// kernel sends the terminal's foreground process group).
bool take_resize();

// Installs the handlers for interrupt, termination, hang-up and quit (restore
// the terminal, then die by the same signal), for suspend and resume, for a
// change of size (which only sets the flag take_resize reads), and
// ignores SIGPIPE so a vanished reader of standard output cannot end the
// panel. A signal that was ignored at start stays ignored.
void install_signal_handlers();

}  // namespace panel
