// The page's interface to the panel: plain C functions of numbers, bytes and
// strings, which the page calls once per cycle or per click. Bytes come in
// through buffers of the module's heap with their length, never as strings
// on the stack. A text handed out stays valid until the next call that
// returns one of the same kind; cp_size() is the length of the last one.
#pragma once

#include <cstddef>

extern "C" {

// A new session: the panel at start-up, nothing recorded, nothing to replay,
// no export under way.
void cp_start();
// One cycle with key (a byte 0 to 255, or -1 for none), recorded; 1 when
// the cycle rang the bell.
int cp_cycle(int key);
// What the terminal would show on row 10 or 11, and how row 10 is drawn.
const char* cp_row(int row);
int cp_color();
// The last cycle's key as the trace writes it, then what it did or why it did
// nothing, as the trace's why column says it ("e: ignored: door open"); ""
// after a cycle without a key.
const char* cp_why();
int cp_backlight();
int cp_door();
int cp_operation();
double cp_cycles();
// The length in bytes of the text the last call returned.
double cp_size();

// The session as a key script, in the trace's notation, whole.
const char* cp_script();
// The session's runs of one key, and the script of runs first to first +
// count - 1 (a blank before it unless first is 0), so that the pieces of
// 0..runs put together are cp_script().
double cp_runs();
const char* cp_script_part(double first, double count);

// The timing diagram of the session so far, byte for byte what the trace
// program draws for its script; kept up every cycle, so it costs the same
// at any length of session.
const char* cp_diagram();

// The session traced as cooker-panel-trace traces its script: 0 table,
// 1 CSV, 2 VCD, 3 SVG, whole.
const char* cp_export(int format);
// The same in pieces: cp_export_begin takes the session as it is now;
// each cp_export_next traces up to cycles more of it and returns the bytes
// written since the last piece, the last piece once cp_export_left() is 0.
// A new session ends the export (cp_export_next then returns nothing).
void cp_export_begin(int format);
const char* cp_export_next(double cycles);
double cp_export_left();
// Ends the export under way.
void cp_export_stop();

// Checks the script in text[0..length) whole, without touching the
// session: "" when it reads, else the trace program's message,
// NAME:LINE:COLUMN: what, or why the page will not hold it. A script that
// reads waits for cp_play.
const char* cp_load(const unsigned char* text, std::size_t length, const unsigned char* name,
                    std::size_t name_length);
// Plays the script cp_load took: in a new session (fresh 1), from the panel
// as it is now (0), or in a new session that takes a kept session back (2),
// whose failed checks are kept and do not end it.
void cp_play(int fresh);
// The next key of the script being replayed (-1 for a cycle without one),
// or -2 when it is played to its end. Each key asked for is to be run with
// cp_cycle before the next is asked for: a check that runs cycles goes on
// only with them.
int cp_replay_next();
// Plays up to cycles of what is left of the replay at once; the cycles
// played. The bells they rang are counted in cp_replay_bells().
double cp_replay_run(double cycles);
double cp_replay_left();
double cp_replay_bells();
// Drops what is left of the replay: the session keeps what was played.
void cp_replay_stop();
// Plays what is left of the replay at once; the bells it rang.
int cp_replay_all();

// The shortest key script from the panel as it is now to a state where the
// condition holds: "S" and the script, "U" when none is reachable, or "E"
// and where and what is wrong with the condition. The search is made once
// for each state the panel asks from.
const char* cp_ask(const char* condition);
// How long the last search took, and how many states it found.
double cp_search_seconds();
double cp_search_states();
// 1 while the panel is in the state the last search started from: its
// answers still hold.
int cp_answer_current();

// The checks judged in this session, in order: whether each passed, and its
// line as the trace's table writes it (with its cycle) or, for one that
// failed, the trace program's message, NAME:LINE:COLUMN: cycle N: expected
// COND; got .... A failed check ends the replay; cp_check_failed() says so.
double cp_checks();
int cp_check_passed(double i);
const char* cp_check_text(double i);
int cp_check_failed();
// The fields of the panel after the last cycle, one a line as NAME, a tab
// and its value as a condition writes it: what "Expect this" offers.
const char* cp_fields();
// Judges condition[0..length) on the panel as it is now and keeps it in the
// session's script as {expect CONDITION} at this cycle: "" when it reads,
// else "column N: what is wrong".
const char* cp_expect(const unsigned char* condition, std::size_t length);

// Checkpoints: every so many cycles, where the session's script stood and
// the panel's packed state, so that any cycle is reached from the one
// before it by at most cp_checkpoint_every() cycles.
double cp_checkpoints();
double cp_checkpoint_every();

// Seeking: the panel as it stood after cycle (at most the session's
// length), rebuilt from the checkpoint before it; the rows, the colour, the
// door, the operation, why, the fields and the inspection then show that
// cycle until the next cycle runs, which shows the last again. The cycle
// shown; cp_shown_cycle() says it later.
double cp_seek(double cycle);
double cp_shown_cycle();
// The session's script up to cycle, with the checks judged by then: where a
// session forked at that cycle starts.
const char* cp_script_until(double cycle);

// The fields at a cycle of the session, as cp_fields() gives them for the
// last: what the waveform's cursor reads out.
const char* cp_fields_at(double cycle);

// The waveform view: the timing diagram of cycles first to last only, drawn
// by the trace's SVG writer width pixels wide whatever their number, with
// the lanes whose bit is set in lanes (bit i for the CSV's lane i). A window
// of up to 16384 cycles is drawn from the last cycles' records kept, or
// traced again from the checkpoint before it; a
// wider one is drawn from a summary of each lane kept every cycle at blocks
// of 256, 4096 and 65536 cycles, the window widened to whole blocks. The
// window drawn: cp_window_first() to cp_window_last().
const char* cp_window(double first, double last, double width, int lanes);
double cp_window_first();
// The diagram's lanes, one name a line, in the order of the bits of lanes.
const char* cp_lanes();
double cp_window_last();

// The panel shown, for the inspector: one field a line, NAME, a tab and its
// value (operation, door, mode, mode_name, setting, time in seconds,
// set_temp, cur_temp, backlight, beeper), then a to f, each with what it
// would do in the next cycle or why it would do nothing.
const char* cp_inspect();

// Run until: reads condition and answers at once from the explorer: "E"
// and what is wrong, "U" when no key script leads from here to it, "C" and
// the cycles after which it holds with no key pressed, or "K" and the
// shortest script to it when it never holds without keys. Then
// cp_until_holds() says, after each cycle, whether it holds.
const char* cp_until(const char* condition);
int cp_until_holds();

}  // extern "C"
