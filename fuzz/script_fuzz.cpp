// libFuzzer target: any bytes as a key script, and as terminal output for the
// screen model. Parsing either succeeds with steps that add up to the count
// of cycles, or reports a place inside the text; nothing crashes or leaks.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "key_script.h"
#include "screen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    panel::Script script;
    if (const auto error = panel::parse_script(text, script)) {
        if (error->line == 0 || error->column == 0 || error->column > size + 1 || error->message.empty())
            std::abort();
    } else {
        std::uint64_t cycles = 0;
        for (const auto& step : script.steps) {
            if (step.count < 1 || step.count > panel::trace::MAX_REPEAT || step.key < -1 || step.key > 255)
                std::abort();
            cycles += step.count;
        }
        if (cycles != script.cycles || script.steps.size() > size) std::abort();
    }
    panel::trace::Screen screen;
    screen.feed(text);
    for (int row = 1; row <= panel::trace::Screen::ROWS; ++row) {
        if (screen.text(row).size() > 4U * panel::trace::Screen::COLUMNS) std::abort();
    }
    return 0;
}
