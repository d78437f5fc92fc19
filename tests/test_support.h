// Shared helpers: a recorder for the panel's output sink, and key scripts that
// drive whole cycles.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "control_cycle.h"
#include "key_script.h"
#include "output_sink.h"

namespace panel::test {

inline void discard(void*, const char*, std::size_t) {}

// Captures every flushed batch while alive, so a test sees where flushes fall.
struct Recorder {
    std::vector<std::string> batches;
    Recorder() {
        panel_output().flush();  // whatever an earlier test left goes where it was going
        panel_output().set_handler(&on_flush, this);
    }
    ~Recorder() { panel_output().set_handler(&discard, nullptr); }
    static void on_flush(void* self, const char* bytes, std::size_t size) {
        static_cast<Recorder*>(self)->batches.emplace_back(bytes, size);
    }
};

inline Panel started() {
    Panel p{};
    Start_Panel(p);
    return p;
}

// Runs a key script, one cycle per step ("x{99}" repeats a key; '.' is a
// cycle in which no key was typed, 'x' a key that means nothing).
inline void run(Panel& p, std::string_view script) {
    Script parsed;
    if (const auto error = parse_script(script, parsed)) throw std::invalid_argument(error->message);
    for (const ScriptStep& step : parsed.steps) {
        for (std::uint32_t n = 0; n < step.count; ++n) {
            Control_Cycle(p, step.key == NO_KEY ? std::nullopt
                                                       : std::optional(static_cast<std::int8_t>(step.key)));
        }
    }
}

}  // namespace panel::test
