// libFuzzer target: any bytes as a key script, as terminal output for the
// screen model, and as an explorer condition. Parsing either succeeds or
// reports a place inside the text; a parsed script, written out again, reads
// back as the same runs; nothing crashes or leaks.
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
        // Runs: at least a cycle each, a byte or no key, neighbours of other
        // keys; checks numbered in order; written out and read back, the same
        // runs and checks.
        std::uint64_t cycles = 0, checks = 0;
        for (std::size_t i = 0; i < script.steps.size(); ++i) {
            const auto& step = script.steps[i];
            if (step.key == panel::CHECK) {
                if (step.count != checks) std::abort();
                cycles += script.checks[checks++].cycles;
                continue;
            }
            if (step.count < 1 || step.key < -1 || step.key > 255) std::abort();
            if (i > 0 && script.steps[i - 1].key == step.key) std::abort();
            cycles += step.count;
        }
        if (checks != script.checks.size()) std::abort();
        if (cycles != script.cycles || script.steps.size() > size) std::abort();
        panel::Script again;
        if (panel::parse_script(panel::format_script(script), again)) std::abort();
        if (again.steps.size() != script.steps.size() || again.cycles != script.cycles) std::abort();
        for (std::size_t i = 0; i < script.steps.size(); ++i) {
            if (again.steps[i].key != script.steps[i].key || again.steps[i].count != script.steps[i].count) std::abort();
        }
        for (std::size_t i = 0; i < script.checks.size(); ++i) {
            const panel::ScriptCheck &a = script.checks[i], &b = again.checks[i];
            if (a.kind != b.kind || a.cycles != b.cycles || a.condition_text() != b.condition_text()) std::abort();
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
