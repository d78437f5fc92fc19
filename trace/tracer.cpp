#include "tracer.h"

#include "backlight_beep_control.h"
#include "key_script.h"
#include "output_sink.h"
#include "time_temp_mode_control.h"

namespace panel::trace {
namespace {

void to_screen(void* screen, const char* bytes, std::size_t size) {
    static_cast<Screen*>(screen)->feed({bytes, size});
}

}  // namespace

KeyEffectText why_text(const TraceRecord& r) {
    return r.key == NO_KEY ? KeyEffectText{} : key_effect_text(r.why);
}

// The plain redraw still held back when the tracer ends belongs to this run's
// screen and ends with it, unsent.
Tracer::Tracer() {
    Start_Panel(panel_);
    panel_.output.set_handler(&to_screen, &screen_);
    read_panel();
    record_.color = Backlight_Interface(panel_.outputs);  // what the first cycle will draw in
}

Tracer::Tracer(const Panel& panel, const TraceRecord& shown) : panel_(panel), record_(shown) {
    panel_.output.drop();
    panel_.output.set_handler(&to_screen, &screen_);
    // Both rows where the panel draws them, row 10 in its colour.
    const std::string column = std::to_string(PANEL_COLUMN);
    screen_.feed("\x1b[" + std::to_string(TIME_TEMP_ROW) + ";" + column + "f\x1b[" + std::to_string(shown.color) +
                 "m" + shown.row10 + "\x1b[0m\x1b[" + std::to_string(MODE_ROW) + ";" + column + "f" + shown.row11);
    read_panel();
}

const TraceRecord& Tracer::step(const std::int32_t key) {
    const std::uint64_t bells = screen_.bells();
    const std::optional<std::int8_t> byte = cycle_key(key);
    record_.why = byte ? key_effect(panel_.control, panel_.time_temp, *byte) : KeyEffect{};
    Control_Cycle(panel_, byte);
    record_.cycle += 1;
    record_.key = key;
    // The cycle's output reached screen_ through the sink's handler.
    // cppcheck-suppress knownConditionTrueFalse
    record_.bell = screen_.bells() != bells ? 1 : 0;
    record_.row10 = screen_.text(TIME_TEMP_ROW);
    record_.row11 = screen_.text(MODE_ROW);
    record_.color = screen_.color(TIME_TEMP_ROW);
    read_panel();
    return record_;
}

void Tracer::read_panel() {
    const ControlState& c = panel_.control;
    const TimeTemp& t = panel_.time_temp;
    record_.backlight = panel_.outputs.backlight;
    record_.operation = c.operation;
    record_.door = c.opening_state;
    record_.mode = c.mode_number;
    record_.setting = c.time_temp_setting;
    record_.raise = c.raise_button;
    record_.time = t.time;
    record_.set_temp = t.set_temp;
    record_.cur_temp = t.cur_temp;
    record_.beeper = panel_.outputs.beeper;
    record_.shown_mode = static_cast<std::int32_t>(panel_.current_mode - panel_.table->data());
}

}  // namespace panel::trace
