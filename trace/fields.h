// The fields of a cycle's record, in one table: each field's name, what kind
// of value it holds, its words, where the record keeps it, its width in the
// waveform and one line of help. The trace's table, CSV, waveform and
// drawing, the explorer's conditions, states and graph, and the web page all
// read their fields from here, each in its own order, so a field added later
// is one row here and one place in each order that should show it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "key_reason.h"

namespace panel::trace {

// What the panel is after a cycle, as the trace reads it.
struct TraceRecord {
    std::uint64_t cycle = 0;     // 0: start-up, then from 1
    std::int32_t key = -1;       // the byte typed in the cycle, or NO_KEY
    KeyEffect why{};             // what the key did, or why it did nothing (with a key)
    std::string row10, row11;    // the panel's two lines as shown
    std::int32_t color = 0;      // colour code of row 10
    std::int32_t bell = 0;       // 1 when the cycle wrote BEL
    std::int32_t backlight = 0;  // the cycle's backlight decision
    std::int32_t operation = 0, door = 0, mode = 0, setting = 0, raise = 0;
    std::int32_t time = 0, set_temp = 0, cur_temp = 0;
    std::int32_t beeper = 0;      // the beeper's output
    std::int32_t shown_mode = 0;  // the mode row 11 shows
};

// The fields, in the table's order (which is the CSV's, the drawing's
// lanes among them).
enum class Field : std::uint8_t {
    CYCLE,
    KEY,
    WHY,
    ROW10,
    ROW11,
    COLOR,
    BELL,
    BACKLIGHT,
    OPERATION,
    DOOR,
    MODE,
    SETTING,
    RAISE,
    TIME,
    SET_TEMP,
    CUR_TEMP,
    BEEPER,
    SHOWN_MODE
};
inline constexpr std::size_t FIELD_COUNT = 18;

// What a field's values are. A condition compares only fields of one kind,
// and a word field or the colour only with itself.
enum class FieldKind : std::uint8_t {
    WORD,     // one of its words
    SECONDS,  // a time
    DEGREES,  // a temperature
    NUMBER,   // a count
    TEXT,     // what the screen shows
    BIT,      // 0 or 1
    MODE,     // a row of the mode table, 0 to 5, or a mode's word
    COLOR     // a colour code, or its word
};

// A word of a field and the value it stands for.
struct FieldWord {
    std::string_view text;
    std::int32_t value;
};

struct FieldInfo {
    std::string_view name;
    FieldKind kind;
    std::span<const FieldWord> words;
    std::int32_t TraceRecord::*number;  // where the record keeps a number, or
    std::string TraceRecord::*text;     // a text; neither for the cycle, key and why
    int bits;                           // its width in the waveform; 0: not in it
    bool drawn;                         // what the cycle drew: nothing before the first
    std::string_view help;              // one line: what it is (its words are listed apart)
    std::string_view legend;            // the waveform's note on it, if any
};

extern const FieldInfo FIELDS[FIELD_COUNT];

inline const FieldInfo& info(Field field) { return FIELDS[static_cast<std::size_t>(field)]; }
inline std::string_view field_name(Field field) { return info(field).name; }

// The word the trace writes for a value of a field with words: the value's
// first word, or nothing where it has none.
std::string_view word_of(Field field, std::int32_t value);

// A field's value in a record as the trace writes it (the key as the script
// notation writes it, why as its phrase).
std::string field_text(Field field, const TraceRecord& record);

// The orders the outputs show the fields in.
// The table: the cycle first, why (where asked for) after the key, row 11 last.
inline constexpr Field TABLE_FIELDS[] = {Field::KEY,       Field::WHY,       Field::ROW10,    Field::COLOR,
                                         Field::BELL,      Field::BACKLIGHT, Field::OPERATION, Field::DOOR,
                                         Field::MODE,      Field::SETTING,   Field::RAISE,    Field::TIME,
                                         Field::SET_TEMP,  Field::CUR_TEMP,  Field::ROW11};
// The CSV: the table's order up to the cur_temp (why only where asked for).
inline constexpr Field CSV_FIELDS[] = {Field::CYCLE,     Field::KEY,      Field::WHY,      Field::ROW10,
                                       Field::ROW11,     Field::COLOR,    Field::BELL,     Field::BACKLIGHT,
                                       Field::OPERATION, Field::DOOR,     Field::MODE,     Field::SETTING,
                                       Field::RAISE,     Field::TIME,     Field::SET_TEMP, Field::CUR_TEMP};
// The waveform's signals, named A, B, ... in this order.
inline constexpr Field VCD_FIELDS[] = {Field::KEY,      Field::OPERATION, Field::DOOR,     Field::MODE,
                                       Field::SETTING,  Field::RAISE,     Field::TIME,     Field::SET_TEMP,
                                       Field::CUR_TEMP, Field::BACKLIGHT, Field::COLOR,    Field::BELL};
// The drawing's lanes, top to bottom.
inline constexpr Field LANE_FIELDS[] = {Field::KEY,      Field::ROW10,   Field::ROW11, Field::COLOR,
                                        Field::BELL,     Field::BACKLIGHT, Field::OPERATION, Field::DOOR,
                                        Field::MODE,     Field::SETTING, Field::RAISE, Field::TIME,
                                        Field::SET_TEMP, Field::CUR_TEMP};
// The fields of a state, as the explorer's conditions, states and graph
// name them: the panel's, then what the cycle drew.
inline constexpr Field STATE_FIELDS[] = {Field::BACKLIGHT, Field::OPERATION, Field::DOOR,    Field::MODE,
                                         Field::SETTING,   Field::RAISE,     Field::TIME,    Field::SET_TEMP,
                                         Field::CUR_TEMP,  Field::BEEPER,    Field::BELL,    Field::SHOWN_MODE,
                                         Field::ROW10,     Field::ROW11,     Field::COLOR};

// The field holds the same in both records (not for the cycle and why).
bool same_field(Field field, const TraceRecord& a, const TraceRecord& b);
// Everything a trace shows but the cycle number is the same.
bool same_panel(const TraceRecord& a, const TraceRecord& b);

}  // namespace panel::trace
