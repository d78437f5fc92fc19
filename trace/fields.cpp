#include "fields.h"

#include <algorithm>

#include "backlight_beep_control.h"
#include "panel_state.h"
#include "trace_writer.h"

namespace panel::trace {
namespace {

constexpr FieldWord OPERATION_WORDS[] = {{"idle", OP_IDLE}, {"running", OP_RUNNING}, {"ended", OP_ENDED}};
constexpr FieldWord DOOR_WORDS[] = {{"closed", OPENING_CLOSED}, {"open", OPENING_OPEN}};
constexpr FieldWord SETTING_WORDS[] = {{"time", SETTING_TIME}, {"temp", SETTING_TEMP}};
constexpr FieldWord RAISE_WORDS[] = {{"none", RAISE_NONE}, {"fine", RAISE_FINE}, {"coarse", RAISE_COARSE}};
// A mode's English words, by row; a condition also takes the name a row shows.
constexpr FieldWord MODE_WORDS[] = {{"manual", 0}, {"rice_cake", 1}, {"porridge", 2},
                                    {"rice", 3},   {"soup", 4},      {"pizza", 5}};
constexpr FieldWord COLOR_WORDS[] = {{"green", COLOR_DARK}, {"yellow", COLOR_LIT}};

using R = TraceRecord;
constexpr std::span<const FieldWord> NONE;

}  // namespace

// In the order of Field. Widths: bits in the waveform.
constinit const FieldInfo FIELDS[FIELD_COUNT] = {
    {"cycle", FieldKind::NUMBER, NONE, nullptr, nullptr, 0, false, "the cycle's number, 0 at start-up", ""},
    {"key", FieldKind::TEXT, NONE, &R::key, nullptr, 8, false, "the byte typed in the cycle, as a script writes it",
     "the byte typed in the cycle, x for none"},
    {"why", FieldKind::TEXT, NONE, nullptr, nullptr, 0, false, "what the cycle's key did, or why it did nothing", ""},
    {"row10", FieldKind::TEXT, NONE, nullptr, &R::row10, 0, true,
     "the text drawn on row 10, as the trace writes it: 01:30, 50C", ""},
    {"row11", FieldKind::TEXT, NONE, nullptr, &R::row11, 0, true,
     "the text drawn on row 11: '00: manual' (quoted, or the rest of the condition)", ""},
    {"color", FieldKind::COLOR, COLOR_WORDS, &R::color, nullptr, 6, true,
     "the colour row 10 was drawn in, 32 or 33", ""},
    {"bell", FieldKind::BIT, NONE, &R::bell, nullptr, 1, false, "1 in a cycle that rings the bell",
     "1 in a cycle that rings the bell"},
    {"backlight", FieldKind::BIT, NONE, &R::backlight, nullptr, 1, false, "the backlight: 0 or 1",
     "0 off, 1 on; color: the colour code of row 10 (32 green, 33 yellow)"},
    {"operation", FieldKind::WORD, OPERATION_WORDS, &R::operation, nullptr, 3, false,
     "what the panel does", "0 idle, 1 running, 2 ended"},
    {"door", FieldKind::WORD, DOOR_WORDS, &R::door, nullptr, 1, false, "the door", "0 closed, 1 open"},
    {"mode", FieldKind::MODE, MODE_WORDS, &R::mode, nullptr, 3, false,
     "the mode selected, 0 to 5",
     "0 manual, 1 to 5 the automatic modes"},
    {"setting", FieldKind::WORD, SETTING_WORDS, &R::setting, nullptr, 1, false,
     "what a and b set", "0 time, 1 temperature"},
    {"raise", FieldKind::WORD, RAISE_WORDS, &R::raise, nullptr, 2, false,
     "the raise pending", "3 none, 0 fine, 1 coarse"},
    {"time", FieldKind::SECONDS, NONE, &R::time, nullptr, 10, false, "the time in seconds: 90, 90s or 1:30",
     "seconds; set_temp, cur_temp: degrees"},
    {"set_temp", FieldKind::DEGREES, NONE, &R::set_temp, nullptr, 7, false, "the temperature set, in degrees: 50 or 50C",
     ""},
    {"cur_temp", FieldKind::DEGREES, NONE, &R::cur_temp, nullptr, 7, false, "the temperature now, in degrees: 50 or 50C",
     ""},
    {"beeper", FieldKind::BIT, NONE, &R::beeper, nullptr, 0, false, "the beeper: 0 or 1", ""},
    {"shown_mode", FieldKind::MODE, MODE_WORDS, &R::shown_mode, nullptr, 0, false,
     "the mode row 11 shows, 0 to 5", ""},
};

std::string_view word_of(const Field field, const std::int32_t value) {
    const std::span<const FieldWord> words = info(field).words;
    const auto found =
        std::find_if(words.begin(), words.end(), [value](const FieldWord& w) { return w.value == value; });
    return found == words.end() ? std::string_view() : found->text;
}

std::string field_text(const Field field, const TraceRecord& r) {
    CsvCell cell;
    return std::string(csv_value(field, r, cell));
}

bool same_field(const Field field, const TraceRecord& a, const TraceRecord& b) {
    const FieldInfo& f = info(field);
    return f.text != nullptr ? a.*f.text == b.*f.text : a.*f.number == b.*f.number;
}

bool same_panel(const TraceRecord& a, const TraceRecord& b) {
    return std::all_of(std::begin(LANE_FIELDS), std::end(LANE_FIELDS),
                       [&](Field field) { return same_field(field, a, b); });
}

}  // namespace panel::trace
