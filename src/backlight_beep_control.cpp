// Signal stage: runs on a snapshot taken after the operation stage, so it sees
// an end or a reset of the same cycle. The bell rings in cycles 0, 10 and 20 of
// the ended state; the mode line is then redrawn with the plain colour, whose
// positioning flushes the bell to the terminal in this same cycle.
#include "backlight_beep_control.h"

#include "backlight_controller.h"
#include "beeper_controller.h"
#include "output_sink.h"
#include "time_temp_mode_control.h"

namespace panel {
namespace {

constexpr char BEL = '\a';
constexpr std::int32_t CYCLES_BETWEEN_BELLS = 10;

}  // namespace

std::int32_t Backlight_Interface(const PanelOutputs& outputs) {
    return outputs.backlight == BACKLIGHT_ON ? COLOR_LIT : COLOR_DARK;
}

void Beeper_Interface(PanelOutputs& outputs, std::int32_t& beep_tick) {
    if (outputs.beeper == BEEPER_ON && beep_tick <= BEEP_CYCLES - 1) {
        if (beep_tick % CYCLES_BETWEEN_BELLS == 0) {
            panel_output().put(BEL);  // flushed by the redraw that follows
        }
        beep_tick += 1;
    }
    if (beep_tick > BEEP_CYCLES - 1) {
        outputs.beeper = BEEPER_OFF;
    }
}

void Backlight_Beep_Control(const ControlState control, const std::int32_t& beep_tick,
                            PanelOutputs& outputs) {
    outputs.backlight = Backlight_Controller(control);
    outputs.beeper = Beeper_Controller(control, beep_tick);
}

void Backlight_and_Beep_Control(const ControlState control, std::int32_t& beep_tick, PanelOutputs& outputs) {
    Backlight_Beep_Control(control, beep_tick, outputs);
    Beeper_Interface(outputs, beep_tick);
    Mode_Interface(outputs, COLOR_PLAIN);
}

}  // namespace panel
