// Shared helpers: a recorder for the panel's output sink, and key scripts that
// drive whole cycles.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control_cycle.h"
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

// One cycle per key of script: "x{99}" repeats a key; '.' is a cycle in which
// no key was typed ('x' is a key that means nothing).
inline void run(Panel& p, std::string_view script) {
    for (std::size_t i = 0; i < script.size(); ++i) {
        const bool repeated = i + 1 < script.size() && script[i + 1] == '{';
        const std::size_t close = repeated ? script.find('}', i) : i;
        const int count = repeated ? std::stoi(std::string(script.substr(i + 2, close - i - 2))) : 1;
        for (int n = 0; n < count; ++n) {
            Control_Cycle(p, script[i] == '.' ? std::nullopt : std::optional<std::int8_t>(script[i]));
        }
        i = close;
    }
}

}  // namespace panel::test
