// Runs the panel's own control cycle in virtual time and reads, after every
// cycle, what the panel then is: its state, and what the terminal shows of the
// bytes the cycle flushed (the drawing lags exactly as on a real terminal, and
// the plain redraw that the panel holds back is not shown until it is sent).
#pragma once

#include <cstdint>
#include <string>

#include "control_cycle.h"
#include "fields.h"
#include "key_reason.h"
#include "output_sink.h"
#include "screen.h"

namespace panel::trace {

// What the cycle's key did, or why it did nothing; nothing without a key.
KeyEffectText why_text(const TraceRecord& r);

// Each tracer's panel draws into the tracer's own screen, so tracers may be
// made and ended in any order, on one thread or several.
class Tracer {
public:
    Tracer();
    // Goes on from a saved panel: its state, and what the screen showed after
    // the cycle it was saved at (shown's cycle, rows and colour), so the next
    // cycles trace as they did after that cycle. The panel's held-back redraw
    // is not saved: the next cycle draws both rows whole again.
    Tracer(const Panel& panel, const TraceRecord& shown);
    Tracer(const Tracer&) = delete;
    Tracer& operator=(const Tracer&) = delete;

    // The start-up values, before the first cycle.
    [[nodiscard]] const TraceRecord& record() const { return record_; }
    // Runs one cycle with key (a byte 0 to 255, or NO_KEY).
    const TraceRecord& step(std::int32_t key);

    // The panel as it stands after the last cycle.
    [[nodiscard]] const Panel& panel() const { return panel_; }

private:
    void read_panel();

    Screen screen_;
    Panel panel_{};  // its output goes to screen_
    TraceRecord record_;
};

}  // namespace panel::trace
