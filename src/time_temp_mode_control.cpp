// Panel drawing and the middle of the cycle. Each line is overwritten in place
// at a fixed position, with trailing blanks that cover a longer earlier text;
// nothing clears the screen and no newline is written. Output is flushed only
// right after a positioning sequence, so a cycle reaches the terminal in three
// batches and the closing plain redraw of the mode line waits in the buffer
// until the next cycle positions the cursor.
#include "time_temp_mode_control.h"

#include <cstring>

#include "backlight_beep_control.h"
#include "display_controller.h"
#include "mode_controller.h"
#include "output_sink.h"
#include "temp_controller.h"
#include "time_controller.h"

namespace panel {
namespace {

constexpr char ESC = '\x1b';
constexpr std::string_view RESET = "\x1b[0m";

char digit_char(std::int32_t digit) { return static_cast<char>('0' + digit); }

}  // namespace

void gotoxy(const std::int32_t x, const std::int32_t y) {
    OutputSink& out = panel_output();
    out.put(ESC);
    out.put('[');
    out.put_decimal(y);  // the row comes first in the sequence
    out.put(';');
    out.put_decimal(x);
    out.put('f');
    out.flush();
}

void printColorString(const std::int32_t color, const std::string_view text) {
    OutputSink& out = panel_output();
    out.put(ESC);
    out.put('[');
    out.put_decimal(color);
    out.put('m');
    out.put(text.data(), text.size());
    out.put(RESET.data(), RESET.size());
}

void Time_Temp_Interface(const ControlState& control, const DisplayFrame& frame, const std::int32_t color) {
    const auto& d = frame.digits;
    if (control.time_temp_setting == SETTING_TEMP && control.mode_number == 0) {
        const char text[3] = {digit_char(d[4]), digit_char(d[5]), 'C'};
        gotoxy(PANEL_COLUMN, TIME_TEMP_ROW);
        printColorString(color, std::string_view(text, sizeof text));
        panel_output().put("   ", 3);
    } else {
        const char text[5] = {digit_char(d[0]), digit_char(d[1]), ':', digit_char(d[2]), digit_char(d[3])};
        gotoxy(PANEL_COLUMN, TIME_TEMP_ROW);
        printColorString(color, std::string_view(text, sizeof text));
        panel_output().put(' ');
    }
}

void Mode_Interface(PanelOutputs& outputs, const std::int32_t color) {
    gotoxy(PANEL_COLUMN, MODE_ROW);
    const char* text = outputs.mode_text.bytes;
    printColorString(color, std::string_view(text, ::strnlen(text, MODE_TEXT_SIZE - 1)));
    panel_output().put("     ", 5);
}

void Time_Temp_Mode_Control(ControlState& control, TimeTemp& time_temp, const ModeInfo*& current_mode,
                            const ModeTable& table, DisplayDigits& digits, PanelOutputs& outputs,
                            std::int32_t& temp_tick, std::int32_t& time_tick) {
    outputs.display = Display_Controller(control, time_temp, digits, outputs);
    Time_Controller(control, time_temp, *current_mode, time_tick);
    Temp_Controller(control, time_temp, temp_tick, *current_mode);
    outputs.mode_text = Mode_Controller(control, table, current_mode);
}

void Time_Temp_and_Mode_Control(ControlState& control, TimeTemp& time_temp, const ModeInfo*& current_mode,
                                const ModeTable& table, DisplayDigits& digits, PanelOutputs& outputs,
                                std::int32_t& temp_tick, std::int32_t& time_tick) {
    // The colour the previous cycle's backlight decision left.
    const std::int32_t color = Backlight_Interface(outputs);
    Time_Temp_Mode_Control(control, time_temp, current_mode, table, digits, outputs, temp_tick, time_tick);
    const PanelOutputs drawn = outputs;
    Time_Temp_Interface(control, drawn.display, color);
    Mode_Interface(outputs, color);
}

}  // namespace panel
