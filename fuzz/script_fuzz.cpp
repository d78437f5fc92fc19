// libFuzzer target: any bytes as a key script, as terminal output for the
// screen model, and as an explorer condition. Parsing either succeeds or
// reports a place inside the text; a parsed script, written out again, reads
// back as the same keys; nothing crashes or leaks.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "condition.h"
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
            if (step.count < 1 || step.count > panel::MAX_REPEAT || step.key < -1 || step.key > 255) std::abort();
            cycles += step.count;
        }
        if (cycles != script.cycles || script.steps.size() > size) std::abort();
        // Written out and read back: the same keys, cycle by cycle (short
        // scripts only, so a huge count costs nothing here).
        if (cycles <= 4096) {
            std::vector<std::int32_t> keys;
            for (const auto& step : script.steps) keys.insert(keys.end(), step.count, step.key);
            panel::Script again;
            if (panel::parse_script(panel::format_script(keys), again)) std::abort();
            std::vector<std::int32_t> back;
            for (const auto& step : again.steps) back.insert(back.end(), step.count, step.key);
            if (back != keys) std::abort();
        }
    }
    panel::trace::Screen screen;
    screen.feed(text);
    for (int row = 1; row <= panel::trace::Screen::ROWS; ++row) {
        if (screen.text(row).size() > 4U * panel::trace::Screen::COLUMNS) std::abort();
    }
    std::vector<panel::explore::Condition> conditions;
    if (const auto error = panel::explore::parse_expression(text, conditions)) {
        if (error->column == 0 || error->column > size + 1 || error->message.empty()) std::abort();
    } else if (conditions.empty()) {
        std::abort();
    }
    return 0;
}
