// Shared helpers: a recorder for the panel's output sink and key scripts that
// drive whole cycles.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control_cycle.h"
#include "output_sink.h"

namespace panel::test {

// Where panel output goes when no test is looking at it.
inline void discard(void*, const char*, std::size_t) {}

// Captures every flushed batch while alive. bytes() is all that reached the
// "terminal"; batches() shows where the flushes fell.
class Recorder {
public:
    Recorder() {
        panel_output().flush();
        panel_output().set_handler(&Recorder::on_flush, this);
    }
    ~Recorder() {
        panel_output().flush();
        panel_output().set_handler(&discard, nullptr);
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    const std::vector<std::string>& batches() const { return batches_; }
    std::string bytes() const {
        std::string all;
        for (const auto& batch : batches_) all += batch;
        return all;
    }
    // What is written but not flushed yet.
    std::size_t pending() const { return panel_output().pending(); }
    void clear() { batches_.clear(); }

private:
    static void on_flush(void* self, const char* bytes, std::size_t size) {
        static_cast<Recorder*>(self)->batches_.emplace_back(bytes, size);
    }
    std::vector<std::string> batches_;
};

inline Panel started_panel() {
    Panel p{};
    Start_Panel(p);
    return p;
}

// One cycle per character of script, each character read as the cycle's key.
inline void run_keys(Panel& p, std::string_view script) {
    for (char c : script) Control_Cycle(p, static_cast<std::int8_t>(c));
}

// n cycles in which no key was typed.
inline void run_idle(Panel& p, int n) {
    for (int i = 0; i < n; ++i) Control_Cycle(p, std::nullopt);
}

inline std::string mode_text(const Panel& p) { return std::string(p.outputs.mode_text.bytes); }

// The five-character time form or three-character temperature form as drawn.
inline std::string time_line(std::string_view text, int color) {
    std::string line = "\x1b[" + std::to_string(color) + "m" + std::string(text) + "\x1b[0m";
    line += text.size() == 3 ? "   " : " ";
    return line;
}

}  // namespace panel::test
