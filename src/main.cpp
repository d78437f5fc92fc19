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
    panel::tty_cbreak(STDIN_FILENO);
    panel::Pacer pacer(panel::monotonic_clock());
    for (;;) {
        pacer.wait();  // to the next 100 ms deadline
        std::optional<std::int8_t> key;
        if (panel::kbdhit() != 0) {
            key = static_cast<std::int8_t>(panel::getch());  // bytes 128 to 255 become negative
        }
        panel::Control_Cycle(state, key);
    }
}
