// The host: start-up, the terminal, and the endless 100 ms control cycle.
// Everything the cycle does lives in the panel library.
#include <unistd.h>

#include <optional>

#include "control_cycle.h"
#include "pacing.h"
#include "terminal.h"

int main() {
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
        if (panel::take_resume()) {
            // The plain redraw held back before a suspend would land at the
            // shell's cursor; the next cycle draws the line again anyway.
            state.output.drop();
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
