// The page's host in-process: the functions the page calls, built natively.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>

#include "key_script.h"
#include "panel_api.h"
#include "scenario.h"

namespace {

// Hands a script to cp_load as the page does: bytes with their length.
std::string load(std::string_view text, std::string_view name = "script") {
    return cp_load(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                   reinterpret_cast<const unsigned char*>(name.data()), name.size());
}

// A new session that plays script at once.
void play(std::string_view script) {
    ASSERT_EQ(load(script), "");
    cp_play(1);
    cp_replay_all();
}

std::string text(const char* bytes) { return {bytes, static_cast<std::size_t>(cp_size())}; }

// The export begun, read in pieces of so many cycles each, to its last piece.
std::string rest_in_pieces(double cycles) {
    std::string pieces = text(cp_export_next(cycles));
    while (cp_export_left() > 0) pieces += text(cp_export_next(cycles));
    return pieces + text(cp_export_next(cycles));
}

TEST(PageHost, CyclesRecordReplayTraceAndAsk) {
    cp_start();
    int bells = 0;
    for (const char key : std::string("ae")) bells += cp_cycle(key);
    for (int i = 0; i < 130; ++i) bells += cp_cycle(-1);
    EXPECT_EQ(std::string(cp_why()), "");  // a cycle without a key
    EXPECT_EQ(bells, 3);
    cp_cycle('f');
    EXPECT_EQ(std::string(cp_why()), "f: door opened");
    cp_cycle(0);  // a NUL byte is a key, not a cycle without one
    EXPECT_EQ(std::string(cp_why()), "\\x00: ignored: not a key");
    EXPECT_EQ((std::tuple(std::string(cp_row(10)), std::string(cp_row(11)), cp_color(), cp_door(), cp_cycles())),
              (std::tuple(std::string("00:00"), std::string("00: manual"), 33, 1, 134.0)));
    EXPECT_EQ(std::string(cp_script()), "a e .{130} f \\x00");
    // The downloads are the trace program's: ReplaysRunTheirChecks.

    EXPECT_EQ(load("d . e{2}"), "");
    cp_play(0);  // from the panel as it is: the session goes on
    std::string keys;
    for (int key = cp_replay_next(); key != -2; key = cp_replay_next()) keys += key < 0 ? '.' : char(key);
    EXPECT_EQ(keys, "d.ee");
    play("b . e .{2}");
    EXPECT_EQ(std::string(cp_script()), "b . e .{2}");

    EXPECT_EQ(std::string(cp_ask("operation=ended")), "Se c a . e .{29}");  // a cancel and 3 s are quicker
    EXPECT_EQ(cp_answer_current(), 1);
    EXPECT_EQ(std::string(cp_ask("operation=running")), "S");     // holds now
    EXPECT_EQ(std::string(cp_ask("time>cur_temp")), "Ecolumn 6: 'time' and 'cur_temp' are fields of different kinds");
    cp_cycle('e');  // a cancel: another state, and the answers are for the one before
    EXPECT_EQ(cp_answer_current(), 0);
    EXPECT_EQ(std::string(cp_ask("mode=1")), "Sd");

    // What the display shows, and values as people write them: from a fresh
    // panel nothing is drawn yet, after a cycle the rows hold at once.
    cp_start();
    EXPECT_EQ(std::string(cp_ask("row11=00: manual")), "S.");
    EXPECT_EQ(std::string(cp_ask("mode=porridge,time=1:30")), "Sd{2} .");
    EXPECT_EQ(std::string(cp_ask("row11='02: \xEC\xA3\xBD',color==green")), "Sd{2}");
    cp_cycle(-1);
    EXPECT_EQ(std::string(cp_ask("row11=00: manual,row10=00:00")), "S");
    EXPECT_EQ(cp_answer_current(), 1);
}

// Bytes the notation refuses are refused with the trace program's message,
// and a refused script leaves the session as it was; any other byte is a key.
TEST(PageHost, ScriptsAreReadAsBytesAndCheckedWhole) {
    const struct {
        std::string_view script;
        std::string message;  // "" for a script that reads
        std::string session;  // as cp_script writes it
    } CASES[] = {
        {std::string_view("a\0b", 3), "link:1:2: control byte \\x00 is no part of the notation; write it \\x00", ""},
        {"a\xff" "e", "", "a \\xff e"},
        {"a\xe0\xa4" "e\n#\xff\n.{2}", "", "a \\xe0 \\xa4 e .{2}"},
        {"a\n  {3}", "link:2:3: '{' must follow a key or '.'", ""},
    };
    for (const auto& c : CASES) {
        play("c a .");
        const std::string before = cp_script();
        EXPECT_EQ(load(c.script, "link"), c.message) << c.script;
        if (c.message.empty()) {
            cp_play(1);
            cp_replay_all();
        }
        EXPECT_EQ(std::string(cp_script()), c.message.empty() ? c.session : before) << c.script;
    }
    std::string many;
    for (int i = 0; i < 2'000'001; ++i) many += "a b ";
    EXPECT_EQ(load(many, "big.keys"),
              "big.keys: more than 4000000 runs of one key, more than the page holds; cooker-panel-trace plays it");
}

// The live diagram, the exports in pieces and the script in parts are the
// whole session's, at any length and while the session goes on.
TEST(PageHost, LiveDiagramAndPiecesAreTheWholeSession) {
    for (const std::string_view script : {"", "a", "a e .{3000} f a{2}", "c b{40} e .{5000}"}) {
        play(script);
        EXPECT_EQ(text(cp_diagram()), std::string(cp_export(3))) << script;
        std::string parts;
        const double runs = cp_runs();
        for (double first = 0; first < runs; first += 2) parts += cp_script_part(first, 2);
        EXPECT_EQ(parts, std::string(cp_script()));
        for (const int format : {1, 2, 3}) {
            const std::string whole = cp_export(format);
            cp_export_begin(format);
            cp_cycle('a');  // the session goes on; the export is of the session when it began
            EXPECT_EQ(rest_in_pieces(7), whole) << script << " format " << format;
            play(script);
        }
    }
    cp_export_begin(1);
    cp_start();  // a new session ends the export
    EXPECT_EQ((std::tuple(text(cp_export_next(10)), cp_export_left())), (std::tuple(std::string(), 0.0)));
}

TEST(PageHost, ReplaysStopAndCheckpointsKeepTheirDistance) {
    ASSERT_EQ(load("a e .{2500}"), "");
    cp_play(1);
    EXPECT_EQ(cp_replay_run(3), 3);
    cp_replay_stop();  // a press takes over: the session holds what was played
    EXPECT_EQ((std::tuple(cp_replay_left(), cp_replay_next(), std::string(cp_script()))),
              (std::tuple(0.0, -2, std::string("a e ."))));
    play(".{1100000}");
    EXPECT_EQ((std::tuple(cp_checkpoints(), cp_checkpoint_every())), (std::tuple(550.0, 2000.0)));
}

// What the trace program writes for script in format, with its checks.
std::string traced(const std::string& script, panel::trace::Format format) {
    panel::explore::Scenario scenario;
    panel::ScriptReader reader(script);
    EXPECT_TRUE(panel::explore::read_scenario(reader, scenario));
    EXPECT_FALSE(reader.error() || scenario.error) << script;
    std::string text;
    panel::trace::Output out(text);
    panel::trace::ScriptTrace trace(out, format, false, reader.cycles(), "cooker-panel-session.keys");
    panel::explore::run_scenario(scenario, trace);
    trace.finish();
    return text;
}

std::vector<std::string> judged() {
    std::vector<std::string> all;
    for (double i = 0; i < cp_checks(); ++i) all.push_back((cp_check_passed(i) != 0 ? "+" : "-") + text(cp_check_text(i)));
    return all;
}

// A replay runs its checks as the trace does: each judged where it stands,
// kept in the session's script as an expect at its cycle, the replay ending
// at the first that fails; the downloads are the trace of that script.
TEST(PageHost, ReplaysRunTheirChecks) {
    const struct {
        const char* script;
        std::vector<std::string> judged;
        const char* session;
    } CASES[] = {
        {"a e {expect operation=running} {wait operation=ended within 10s} {expect bell=1}",
         {"+\u2713 expect operation=running, cycle 2", "+\u2713 wait operation=ended within 10s, cycle 101",
          "+\u2713 expect bell=1, cycle 101"},
         "a e {expect operation=running} .{99} {expect operation=ended} {expect bell=1}"},
        {"d{2} e {expect operation=running} e",
         {"-script:1:8: cycle 3: expected operation=running; got operation=idle"},
         "d{2} e {expect operation=running}"},
        {"a e {expect time>=5 for 8s} f", {"-script:1:5: cycle 61: expected time>=5; got time=4"},
         "a e .{59} {expect time>=5}"},
    };
    for (const auto& c : CASES) {
        play(c.script);
        EXPECT_EQ(judged(), c.judged) << c.script;
        EXPECT_EQ(cp_check_failed(), c.judged.back()[0] == '-' ? 1 : 0) << c.script;
        EXPECT_EQ(std::string(cp_script()), c.session);
        for (const auto format : {panel::trace::Format::TABLE, panel::trace::Format::CSV, panel::trace::Format::SVG}) {
            EXPECT_EQ(std::string(cp_export(static_cast<int>(format))), traced(c.session, format)) << c.script;
        }
        EXPECT_EQ(text(cp_diagram()), std::string(cp_export(3))) << c.script;
    }
    // Checks after the last cycle are in the download made in pieces too.
    play("d{4} {expect mode=4}");
    cp_export_begin(3);
    const std::string pieces = rest_in_pieces(4);
    EXPECT_EQ(pieces, std::string(cp_export(3)));
    EXPECT_NE(pieces.find("data-check=\"passed\""), std::string::npos);
    // A check that runs cycles goes on only with them: asking again gives the
    // same cycle without a key.
    ASSERT_EQ(load("a e {expect operation=running for 5}"), "");
    cp_play(1);
    for (const int key : {int{'a'}, int{'e'}}) {
        EXPECT_EQ(cp_replay_next(), key);
        cp_cycle(key);
    }
    const double left = cp_replay_left();
    EXPECT_EQ(cp_replay_next(), -1);
    EXPECT_EQ(cp_replay_next(), -1);
    EXPECT_EQ(cp_replay_left(), left - 1);
    // A kept session taken back plays whole: its failed check is kept, and
    // ends nothing.
    ASSERT_EQ(load("d{2} e {expect operation=running} d", "session"), "");
    cp_play(2);
    cp_replay_all();
    EXPECT_EQ((std::tuple(cp_check_failed(), std::string(cp_script()))),
              (std::tuple(0, std::string("d{2} e {expect operation=running} d"))));
    EXPECT_EQ(judged(), std::vector<std::string>{"-session:1:8: cycle 3: expected operation=running; got operation=idle"});

    // "Expect this": what the panel shows now, judged and kept at this cycle.
    play("a .");
    const auto expect = [](std::string_view condition) {
        return std::string(cp_expect(reinterpret_cast<const unsigned char*>(condition.data()), condition.size()));
    };
    EXPECT_EQ(expect("row10=00:10, time=10s, why=''"), "");
    EXPECT_EQ(expect("door=ajar"), "column 6: unknown word 'ajar' for door (closed or open)");
    EXPECT_EQ(std::string(cp_script()), "a . {expect row10=00:10, time=10s, why=''}");
    EXPECT_EQ(judged(), std::vector<std::string>{"+\u2713 expect row10=00:10, time=10s, why='', cycle 2"});
}

}  // namespace

// What the page shows of the panel: every field and each key's reason,
// at the end and at any cycle sought.
std::string shown_now() {
    std::string all = text(cp_row(10)) + "|" + text(cp_row(11)) + "|" + std::to_string(cp_color()) + "|" +
                      text(cp_why()) + "|";
    all += text(cp_fields());
    return all + text(cp_inspect());
}

// A cycle sought from the checkpoints shows what a session played to that
// cycle shows, across checkpoints, checks and runs cut in two; the next cycle
// run shows the last again; the script up to it plays to the same panel.
TEST(PageHost, SeekShowsTheCycleAsASessionPlayedToIt) {
    const std::string script = "a{3} e .{2500} {expect operation=ended} f d{4} f e f .{900} f e .{3000} f f c a e .{10}";
    const std::uint64_t TARGETS[] = {0, 1, 5, 999, 1000, 1001, 2503, 2504, 2505, 3420, 4000, 6419, 6428};
    for (const std::uint64_t target : TARGETS) {
        play(script);
        const double cycles = cp_cycles();
        const std::string last = shown_now();
        EXPECT_EQ(cp_seek(static_cast<double>(target)), static_cast<double>(target));
        EXPECT_EQ(cp_shown_cycle(), static_cast<double>(target));
        const std::string sought = shown_now();
        const std::string prefix = text(cp_script_until(static_cast<double>(target)));
        EXPECT_EQ(cp_cycles(), cycles);  // the session itself stays as it was
        EXPECT_EQ(cp_seek(cycles), cycles);
        EXPECT_EQ(shown_now(), last);
        play(prefix);
        EXPECT_EQ(cp_cycles(), static_cast<double>(target)) << prefix;
        EXPECT_EQ(sought, shown_now()) << "cycle " << target;
    }
    play("a e");
    cp_seek(1);
    cp_cycle(-1);
    EXPECT_EQ((std::tuple(cp_shown_cycle(), text(cp_row(10)))), (std::tuple(3.0, std::string("00:10"))));
}

// The inspector's fields, the ended state plain, and each key's reason.
TEST(PageHost, InspectorSaysEachKeysReason) {
    play("d{4} .");
    EXPECT_EQ(text(cp_inspect()),
              "operation\tidle\ndoor\tclosed\tDoor\nmode\t4\tMode\nmode_name\t\xea\xb5\xad/\xec\xb0\x8c\xea\xb0\x9c\n"
              "setting\ttime\ntime\t300\tTime\nset_temp\t90\tTemperature\ncur_temp\t20\nbacklight\toff\tBacklight\n"
              "beeper\toff\tBeeper\n"
              "a\tignored: only in manual mode\nb\tignored: only in manual mode\nc\tignored: only in manual mode\n"
              "d\tmode 5\ne\tstarted\nf\tdoor opened\n");
    play("a e .{100}");
    const std::string ended = text(cp_inspect());
    EXPECT_NE(ended.find("operation\tended\n"), std::string::npos);
    EXPECT_NE(ended.find("beeper\ton\tBeeper\n"), std::string::npos);
    EXPECT_NE(ended.find("e\tignored: after an end only the door acts\nf\tdoor opened\n"), std::string::npos) << ended;
}

// Run until: answered at once from the explorer, then judged every cycle.
TEST(PageHost, RunUntilSaysAtOnceWhetherAndWhenItHolds) {
    const struct {
        std::string_view from, condition, answer;
    } CASES[] = {
        {"a e", "operation=ended", "C99"},
        {"a e", "bell=1", "C99"},
        {"", "operation=running", "Ka e"},  // nothing runs without a key
        {"a", "operation=running", "Ke"},
        {"", "bell=1, door=open", "U"},
        {"", "time>cur_temp", "Ecolumn 6: 'time' and 'cur_temp' are fields of different kinds"},
        {"f", "door=open", "C0"},
    };
    for (const auto& c : CASES) {
        play(c.from);
        EXPECT_EQ(std::string(cp_until(std::string(c.condition).c_str())).substr(0, c.answer.size()), c.answer)
            << c.from << " until " << c.condition;
    }
    play("a e");
    ASSERT_EQ(std::string(cp_until("operation=ended")), "C99");
    int cycles = 0;
    for (; cp_until_holds() == 0 && cycles < 200; ++cycles) cp_cycle(-1);
    EXPECT_EQ(cycles, 99);
}

// The waveform's windows: traced again when narrow, from the summary when
// wide, each with its cycles' values and marks, at any offset in the session.
TEST(PageHost, WindowsDrawTheirCyclesOnly) {
    play("a e .{120} {expect bell=0} f .{300000} f b{3} .{20}");
    const double all = cp_cycles();
    const struct {
        double first, last;
        double drawn_first, drawn_last;
        std::string_view has;
    } CASES[] = {
        {1, 10, 1, 10, "operation idle, cycle 1"},
        {100, 130, 100, 130, "bell 1, cycle 101<"},
        {120, 125, 120, 125, "\u2713 expect bell=0, cycle 122<"},
        {all - 19, all, all - 19, all, "door closed, cycles 300128-300147<"},
        {1000, 200000, 769, 200192, "door open, cycles 769-200192<"},  // whole blocks of 256
        {1, all, 1, 300288, "row10 00:00, cycles 257-300032<"},
        {1, all, 1, 300288, "<title>key changes"},                                   // the keys' lane too
        {1000, 200193, 769, 200448, "door open, cycles 769-200448<"},  // a cycle into a block takes it whole
    };
    for (const auto& c : CASES) {
        const std::string svg = text(cp_window(c.first, c.last, 800, 0x3FFF));
        EXPECT_EQ((std::tuple(cp_window_first(), cp_window_last())), (std::tuple(c.drawn_first, c.drawn_last)));
        EXPECT_NE(svg.find(std::string(c.has)), std::string::npos) << c.first << "-" << c.last << ": " << c.has;
        EXPECT_NE(svg.find(">cooker-panel-session.keys, 300147 cycles (30014.7 s), cycle"), std::string::npos);
    }
    EXPECT_EQ(text(cp_lanes()),
              "key\nrow10\nrow11\ncolor\nbell\nbacklight\noperation\ndoor\nmode\nsetting\nraise\ntime\nset_temp\ncur_temp\n");
    // Only the lanes asked for (bits 6 and 7: operation and door).
    const std::string two = text(cp_window(1, 50, 800, 1 << 6 | 1 << 7));
    EXPECT_EQ((std::tuple(two.find("lane-operation") != std::string::npos, two.find("lane-door") != std::string::npos,
                          two.find("lane-row10") != std::string::npos)),
              (std::tuple(true, true, false)));
}
