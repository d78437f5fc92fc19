// The page's interface to the panel: plain C functions of numbers and
// strings, which the page calls once per cycle or per click. Strings handed
// out stay valid until the next call that returns one of the same kind.
#pragma once

extern "C" {

// A new session: the panel at start-up, nothing recorded, nothing to replay.
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
// The session as a key script, in the trace's notation.
const char* cp_script();
// The session traced as cooker-panel-trace traces its script: 0 table,
// 1 CSV, 2 VCD, 3 SVG.
const char* cp_export(int format);
// Takes a script to replay: "" when it reads, else the trace program's
// message, NAME:LINE:COLUMN: what.
const char* cp_load(const char* text, const char* name);
// The next key of the script being replayed (-1 for a cycle without one),
// or -2 when it is played to its end.
int cp_replay_next();
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

}  // extern "C"
