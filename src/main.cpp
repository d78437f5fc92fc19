// The host: start-up, the terminal, and the endless 100 ms control cycle.
// Everything the cycle does lives in the panel library.
#include <unistd.h>

#include <cstdio>
#include <optional>

#include "command_line.h"
#include "control_cycle.h"
#include "pacing.h"
#include "terminal.h"

namespace {

constexpr const char* PROGRAM = "cooker-panel";

constexpr char USAGE[] =
    "Usage: cooker-panel [OPTION]\n"
    "Simulate a cooker's control panel in the terminal: keys a to f are its\n"
    "buttons and its door, rows 10 and 11 show the time or temperature and the\n"
    "mode, the bell is its beeper. It runs until interrupted (Ctrl-C).\n"
    "\n"
    "  a  raise, fine step (+10 s, +10 degrees)   d  mode\n"
    "  b  raise, coarse step (+30 s, +20 degrees) e  start / cancel\n"
    "  c  time / temperature                      f  door: open / close\n"
    "\n";
// --help's lines for --help and --version come between.
constexpr char NOTES[] =
    "\n"
    "The terminal needs at least 12 rows and 45 columns, UTF-8 and a font with\n"
    "Hangul. With standard input from a file, one byte is read per cycle.\n"
    "\n"
    "Exit status: 1 when the terminal is too small, 2 on bad usage; otherwise\n"
    "the panel ends by the signal that interrupted it.\n";

constexpr char VERSION[] = "cooker-panel " COOKER_PANEL_VERSION "\n";

// The panel takes no option but --help and --version, and no operand.
void parse_options(int argc, char** argv) {
    panel::CommandLine line({PROGRAM, USAGE, NOTES, VERSION}, argc, argv);
    while (line.next() != panel::CommandLine::END) {
    }
    if (line.first_operand() < argc) {
        panel::extra_operand(PROGRAM, argv[line.first_operand()]);
    }
}

// After the terminal changed size: one clear, then the panel's lines drawn
// again by this cycle; or, while the terminal is too small, the notice alone,
// with the cycles going on but only their bells reaching the terminal.
void refit(panel::Panel& state, const std::optional<panel::TerminalSize>& size) {
    state.output.drop();  // held for a cursor that the clear moves away
    panel::clear_screen(STDOUT_FILENO, size);
    state.output.set_handler(size && !panel::fits(*size) ? &panel::bells_only : nullptr, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    parse_options(argc, argv);
    // The panel draws at rows 10 and 11 from column 30; a smaller terminal is
    // told so and left untouched. A file or a pipe has no size to check, and
    // a terminal that reports 0 does not know its own.
    std::optional<panel::TerminalSize> size = panel::terminal_size(STDOUT_FILENO);
    if (size && !panel::fits(*size)) {
        (void)std::fprintf(stderr, "%s: the terminal is %d rows by %d columns; the panel needs at least %d by %d\n",
                           PROGRAM, size->rows, size->columns, panel::NEEDED_ROWS, panel::NEEDED_COLUMNS);
        return panel::STATUS_IO;
    }
    panel::Panel state{};
    panel::Start_Panel(state);
    panel::install_signal_handlers();
    panel::Pacer pacer(panel::monotonic_clock());
    // Started in the background (&): wait, without a terminal call that would
    // stop the panel, until the shell gives it the terminal (fg).
    while (!panel::terminal_in_foreground()) {
        pacer.wait();
    }
    panel::tty_cbreak(STDIN_FILENO);
    for (;;) {
        pacer.wait();  // to the next 100 ms deadline
        bool resized = panel::take_resize();
        if (panel::take_resume()) {
            // The plain redraw held back before a suspend would land at the
            // shell's cursor; the next cycle draws the line again anyway.
            state.output.drop();
            // A change of size while the panel was stopped went to the shell,
            // and the notice of a terminal too small may be under what the
            // shell wrote since: both are taken up as a resize, in the
            // foreground only (in the background the screen is another job's).
            if (panel::keys_readable() &&
                (panel::terminal_size(STDOUT_FILENO) != size || (size && !panel::fits(*size)))) {
                resized = true;
            }
        }
        if (resized) {
            size = panel::terminal_size(STDOUT_FILENO);
            refit(state, size);
        }
        std::optional<std::int8_t> key;
        if (panel::keys_readable() && panel::kbdhit() != 0) {
            key = static_cast<std::int8_t>(panel::getch());  // bytes 128 to 255 become negative
        }
        panel::cycle_begins();
        panel::Control_Cycle(state, key);
        panel::cycle_ends();
    }
}
