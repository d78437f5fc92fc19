// The explorer: its search against brute force and against long random runs,
// conditions and their witnesses, and the program end to end.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "backlight_beep_control.h"
#include "condition.h"
#include "key_script.h"
#include "properties.h"
#include "report.h"
#include "screen.h"
#include "state_space.h"
#include "test_support.h"
#include "time_temp_mode_control.h"
#include "tracer.h"

namespace panel::explore {
namespace {

using test::Result;
using test::slurp;

using test::space;

// What pack makes of a panel (and what it drew) or of a tracer, which must fit.
template <typename... From>
PackedState packed(const From&... from) {
    const std::optional<PackedState> s = pack(from...);
    EXPECT_TRUE(s.has_value());
    return s.value_or(PackedState{});
}

// One cycle on p, and the state after it with what the cycle drew as a
// screen of its own shows it.
PackedState cycled(Panel& p, std::int32_t key) {
    std::string bytes;
    p.output.set_handler([](void* to, const char* b, std::size_t n) { static_cast<std::string*>(to)->append(b, n); },
                         &bytes);
    Control_Cycle(p, cycle_key(key));
    p.output.set_handler(&discard_output, nullptr);
    trace::Screen screen;
    screen.feed(bytes);
    const std::string row10(screen.text(TIME_TEMP_ROW));
    return packed(p, Drawn{row10, screen.text(MODE_ROW), screen.color(TIME_TEMP_ROW)});
}

// The explorer's figures, pinned in this one file: its summary as printed,
// but for the time it took, then the same counts of the panel's own states.
// The README shows them, and the Docs tests hold it to this file. With
// COOKER_PANEL_UPDATE_GOLDEN set, the test writes the file anew instead
// (scripts/update-figures).
const std::string FIGURES = GOLDEN_DIR "/explore.summary";

// A line of the summary without the time it took.
std::string steady(const std::string& line) {
    const std::size_t took = line.find(" cycles from the start; ");
    return took == std::string::npos ? line : line.substr(0, took + 22);
}

// The summary of a search as printed: which properties fail, and by which
// script; all_hold says whether none does.
std::string summary(const StateSpace& space, bool& all_hold) {
    std::string text;
    trace::Output out(text);
    RunSpool none;
    all_hold = write_summary(out, none, space, std::chrono::steady_clock::now());
    out.flush();
    return text;
}

TEST(StateSpace, FiguresAreTheGoldens) {
    const StateSpace& s = space();
    bool all_hold = false;
    std::istringstream lines(summary(s, all_hold));
    EXPECT_TRUE(all_hold);
    std::string figures;
    for (std::string line; std::getline(lines, line);) figures += steady(line) + "\n";
    // Without what was drawn, the panel's own states, each at the depth of
    // the first state it is part of (the search is breadth-first), and the
    // distinct pairs of them that a cycle joins.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> own;
    std::vector<std::array<std::uint64_t, 4>> joined;
    for (std::uint32_t i = 0; i < s.size(); ++i) {
        const PackedState from = panel_part(s.state(i));
        own.try_emplace({from.low, from.high}, s.depth(i));
        for (int input = 0; input < INPUT_COUNT; ++input) {
            const PackedState to = panel_part(s.state(s.next(i, input)));
            joined.push_back({from.low, from.high, to.low, to.high});
        }
    }
    std::sort(joined.begin(), joined.end());
    joined.erase(std::unique(joined.begin(), joined.end()), joined.end());
    const auto loops = std::count_if(joined.begin(), joined.end(), [](const auto& j) {
        return j[0] == j[2] && j[1] == j[3];
    });
    std::uint32_t deepest = 0;
    for (const auto& [state, depth] : own) deepest = std::max(deepest, depth);
    figures += "the panel's own: " + std::to_string(own.size()) + " states, " + std::to_string(joined.size()) +
               " transitions (" + std::to_string(loops) + " of them self-loops) under " +
               std::to_string(own.size() * INPUT_COUNT) + " inputs tried, the deepest " + std::to_string(deepest) +
               " cycles from the start\n";
    if (std::getenv("COOKER_PANEL_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(FIGURES, std::ios::binary) << figures;
    }
    EXPECT_EQ(figures, slurp(FIGURES)) << "a change of behaviour? scripts/update-figures writes the file anew";
}

TEST(StateSpace, HoldsExactlyWhatEveryShortScriptReaches) {
    const StateSpace& s = space();
    // Every key script of up to six cycles, depth first; each state at the
    // length of its shortest script.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> brute;
    constexpr std::uint32_t DEPTH = 6;
    auto walk = [&](auto& self, const Panel& p, PackedState here, std::uint32_t depth) -> void {
        auto [at, added] = brute.try_emplace({here.low, here.high}, depth);
        at->second = std::min(at->second, depth);
        if (depth == DEPTH) return;
        for (const std::int32_t key : INPUT_KEYS) {
            Panel next = p;
            const PackedState there = cycled(next, key);
            self(self, next, there, depth + 1);
        }
    };
    walk(walk, test::started(), packed(test::started(), std::nullopt), 0);
    std::uint32_t searched = 0;
    for (std::uint32_t i = 0; i < s.size() && s.depth(i) <= DEPTH; ++i, ++searched) {
        const PackedState st = s.state(i);
        const auto found = brute.find({st.low, st.high});
        ASSERT_NE(found, brute.end()) << i;
        EXPECT_EQ(found->second, s.depth(i)) << i;
    }
    EXPECT_EQ(searched, brute.size());
}

TEST(StateSpace, LongRandomRunsVisitOnlySearchedStates) {
    const StateSpace& s = space();
    std::mt19937 random(2026);
    // Keys weighted towards waiting, so runs reach the ends of long cooks.
    const std::int32_t keys[] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY, NO_KEY, NO_KEY, NO_KEY, NO_KEY,
                                 'a',    'b',    'c',    'd',    'e',    'f',    'x',    0xFF};
    for (int run = 0; run < 20; ++run) {
        trace::Tracer tracer;
        for (int cycle = 0; cycle < 5000; ++cycle) {
            const trace::TraceRecord& r = tracer.step(keys[random() % std::size(keys)]);
            const PackedState now = packed(tracer);
            ASSERT_TRUE(s.find(now).has_value()) << "run " << run << " cycle " << cycle;
            // No press is left for a later cycle, and the bell is the trace's.
            // (That a start takes its setting's time is property 5's to say.)
            ASSERT_EQ(r.raise, RAISE_NONE) << "run " << run << " cycle " << cycle;
            ASSERT_EQ(r.bell, field_value(now, Field::BELL)) << "run " << run << " cycle " << cycle;
        }
    }
}

// A value the packing cannot hold stops the search rather than merge states.
TEST(StateSpace, AValueOutsideItsSlotIsNotPacked) {
    for (const std::int32_t time : {-1, 1 << 16}) {
        Panel p = test::started();
        p.time_temp.time = time;
        EXPECT_FALSE(pack(p, std::nullopt).has_value()) << time;
    }
}

TEST(Properties, EachFailsWhereItShould) {
    // Start states no key script reaches, and one panel with the old fault
    // that a start took the time of the setting before.
    auto start = [](ControlState control, TimeTemp time_temp, std::size_t row) {
        Panel p = test::started();
        p.control = control, p.time_temp = time_temp, p.current_mode = &MODE_TABLE[row];
        return p;
    };
    const Cycle stale_start = [](Panel& p, std::int32_t key) {
        if (key == 'e' && p.control.operation == OP_IDLE && p.control.opening_state == OPENING_CLOSED &&
            p.time_temp.time != 0) {
            p.control.operation = OP_RUNNING;
            return Control_Cycle(p, std::nullopt);
        }
        Control_Cycle(p, cycle_key(key));
    };
    // The reset of a cancel as it was: the shown row left alone, so a door
    // opened at once kept the cancelled mode on row 11.
    const Cycle stale_row = [](Panel& p, std::int32_t key) {
        const ModeInfo* const shown = p.current_mode;
        const bool running = p.control.operation == OP_RUNNING;
        Control_Cycle(p, cycle_key(key));
        if (running && p.control.operation == OP_IDLE) {
            p.current_mode = shown;
        }
    };
    // The property each start violates, and the script its line names.
    const std::tuple<Panel, Cycle, int, const char*> cases[] = {
        {start({RAISE_NONE, SETTING_TIME, OP_RUNNING, OPENING_OPEN, 0}, {10, 50, 20}, 0), nullptr, 1, ""},
        {start({RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0}, {24, 100, 20}, 0), nullptr, 2, ""},
        {start({RAISE_NONE, SETTING_TIME, 3, OPENING_CLOSED, 0}, {0, 20, 20}, 0), nullptr, 3, ""},
        {start({RAISE_FINE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 1}, {0, 20, 20}, 1), nullptr, 4, ""},
        {test::started(), stale_start, 5, "d{2} e"},
        {test::started(), stale_row, 6, "d . e{2} f"},
    };
    for (const auto& [panel, cycle, property, script] : cases) {
        StateSpace searched;  // from the start, under the cycle
        EXPECT_TRUE(searched.explore(packed(panel, std::nullopt), cycle));
        bool all_hold = true;
        const std::string text = summary(searched, all_hold);
        const std::size_t at = text.find("\nproperty " + std::to_string(property) + ", ");
        const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at);
        EXPECT_TRUE(at != std::string::npos && line.ends_with(": violated by: " + std::string(script) + "\n")) << text;
        EXPECT_FALSE(all_hold) << property;
    }
}

// The first cycle, from cycle from on, of a script's trace in which
// conditions hold (0 at start-up), read through the trace's own records;
// nullopt if none.
std::optional<std::uint64_t> first_holding(const std::vector<Condition>& conditions, const std::string& script,
                                           std::uint64_t from = 0) {
    trace::Tracer tracer;
    if (from == 0 && holds(conditions, packed(tracer))) return 0;
    for (const std::int32_t key : test::keys_of(script)) {
        tracer.step(key);
        if (tracer.record().cycle >= from && holds(conditions, packed(tracer))) return tracer.record().cycle;
    }
    return std::nullopt;
}

TEST(Conditions, WitnessesFirstHoldInTheirLastTracedCycle) {
    const StateSpace& s = space();
    // clang-format off
    const char* reachable[] = {
        "operation=running", "operation=ended,door=closed", "door=open,operation=idle", "mode=5", "time=600",
        "time>=300,mode=4", "cur_temp=90", "cur_temp > set_temp", "setting=temp,set_temp=90",
        "backlight=1,operation=idle", "mode!=0, operation = running", "time<10,operation=running,cur_temp>=30",
        "set_temp<=cur_temp,operation=ended", "setting=time,mode=3" /* a word before a field so named */,
        "setting = time , time=1:30", "2:00=time,mode=5", "bell=1", "beeper=1,bell=0", "shown_mode!=mode",
        "-1<cur_temp,operation=running", "operation=idle",
        // What is drawn: never at start-up, and often a cycle behind the state.
        "row11=00: manual", "row10=01:30", "row10 = 50C", "row11='02: \xEC\xA3\xBD'", "color=yellow",
        "color=green,backlight=1", "row11=00: manual,door=open", "operation=running,mode=2,row10=01:00",
        "row11!=00: manual,mode=0", "row11=\"03: \xEB\xB0\xA5\",operation=idle,shown_mode=0",
        "row10=20C,setting=time", "row10!=00:00,color=32,operation=ended",
        "mode=soup,time=300s", "mode=\xED\x94\xBC\xEC\x9E\x90,cur_temp>=40C", "shown_mode=rice_cake,door=open",
        "color=yellow,backlight=0,operation=idle",
    };
    // clang-format on
    for (const char* text : reachable) {
        std::vector<Condition> conditions;
        ASSERT_FALSE(parse_expression(text, conditions)) << text;
        std::optional<std::uint32_t> found;
        for (std::uint32_t i = 0; i < s.size() && !found; ++i) {
            if (holds(conditions, s.state(i))) found = i;
        }
        ASSERT_TRUE(found) << text;
        // The witness, written and read back, holds first where it ends.
        const std::string script = format_script(s.script_to(*found));
        EXPECT_EQ(test::keys_of(script).size(), s.depth(*found)) << text;
        EXPECT_EQ(first_holding(conditions, script), s.depth(*found)) << text << ": " << script;
    }
    for (const char* text : {"operation=running,door=open", "time>600", "cur_temp<20", "raise=fine", "raise=coarse",
                             "operation=running,time=0", "set_temp=25", "mode>5", "set_temp>100", "time>=601",
                             "cur_temp<0", "bell=1,door=open", "99999999999999999999999<=time", "row10=1:30",
                             "row11=manual", "row10=00:00,operation=running", "row10=10:01", "color=34",
                             "row11!=00: manual,row11!=01: \xEB\x96\xA1,row11!=02: \xEC\xA3\xBD,"
                             "row11!=03: \xEB\xB0\xA5,row11!=04: \xEA\xB5\xAD/\xEC\xB0\x8C\xEA\xB0\x9C,"
                             "row11!=05: \xED\x94\xBC\xEC\x9E\x90"}) {
        std::vector<Condition> conditions;
        ASSERT_FALSE(parse_expression(text, conditions)) << text;
        for (std::uint32_t i = 0; i < s.size(); ++i) ASSERT_FALSE(holds(conditions, s.state(i))) << text;
    }
}

TEST(Conditions, EachOperatorAndFormOnBothSidesOfItsBoundary) {
    Panel p = test::started();
    p.time_temp = TimeTemp{90, 50, 50};
    p.control.mode_number = 2;
    p.current_mode = &MODE_TABLE[2];
    const PackedState state = packed(p, Drawn{"01:30", "02: \xEC\xA3\xBD", COLOR_LIT});
    const PackedState undrawn = packed(p, std::nullopt);
    const struct {
        const char* text;
        bool holds;
    } cases[] = {
        {"time=90", true},    {"time=89", false},   {"time!=90", false},  {"time!=91", true},
        {"time<91", true},    {"time<90", false},   {"time<=90", true},   {"time<=89", false},
        {"time>89", true},    {"time>90", false},   {"time>=90", true},   {"time>=91", false},
        {"91>time", true},    {"90>time", false},   {"90<=time", true},   {"91<=time", false},
        {"1:30=time", true},  {"time<1:30", false}, {"set_temp=cur_temp", true},
        {"set_temp<cur_temp", false}, {"set_temp>=cur_temp", true},
        // Units, names and == as people write them.
        {"time==90", true},   {"time=90s", true},   {"time<90s", false},  {"91s>time", true},
        {"set_temp=50C", true}, {"cur_temp>=40C", true}, {"cur_temp>50C", false}, {"set_temp=50\xC2\xB0" "C", true},
        {"mode=porridge", true}, {"mode=\xEC\xA3\xBD", true}, {"mode='porridge'", true}, {"mode=rice", false},
        {"mode<rice", true},  {"shown_mode=porridge", true}, {"porridge=shown_mode", true}, {"mode=manual", false},
        // What is drawn, as text and colour.
        {"row10=01:30", true}, {"row10='01:30'", true}, {"row10=\"01:30\"", true}, {"row10!=01:30", false},
        {"row10=1:30", false}, {"row10=90", false}, {"'01:30'=row10", true}, {"row11='02: \xEC\xA3\xBD'", true},
        {"row11 = 02: \xEC\xA3\xBD ", true}, {"row11=02:\xEC\xA3\xBD", false}, {"row11!=00: manual", true},
        {"color=yellow", true}, {"color=33", true}, {"color==green", false}, {"color!=32", true},
    };
    for (const auto& c : cases) {
        std::vector<Condition> conditions;
        ASSERT_FALSE(parse_expression(c.text, conditions)) << c.text;
        EXPECT_EQ(holds(conditions, state), c.holds) << c.text;
        // Before anything is drawn, no condition on it holds, != included.
        const bool on_drawing = is_drawn(conditions[0].field);
        EXPECT_EQ(holds(conditions, undrawn), c.holds && !on_drawing) << c.text;
    }
}

TEST(Conditions, BadExpressionsSayWhereAndWhat) {
    const std::string& fields = test::FIELD_NAMES;
    const std::string modes = "a mode (0 to 5, manual, rice_cake, porridge, rice, soup, pizza, \xEB\x96\xA1, "
                              "\xEC\xA3\xBD, \xEB\xB0\xA5, \xEA\xB5\xAD/\xEC\xB0\x8C\xEA\xB0\x9C or "
                              "\xED\x94\xBC\xEC\x9E\x90)";
    const struct {
        const char* text;
        std::size_t column;
        std::string message;
    } cases[] = {
        {"", 1, "empty condition"},
        {"time=1,", 8, "empty condition"},
        {"tme=1", 1, "unknown field 'tme'" + fields},
        {"=1", 1, "expected a field name, not '=1'"},
        {"time", 5, "expected an operator (=, ==, !=, <, <=, >, >=) after 'time'"},
        {"time=>1", 6, "expected a value, not '>1'"},
        {"door<open", 5, "'door' takes only = and !="},
        {"time=", 6, "expected a value after the operator"},
        {"time=idle", 6, "'time' takes seconds (90, 90s or 1:30), not 'idle'"},
        {"time=50C", 6, "'50C' is degrees, but 'time' takes seconds (90, 90s or 1:30)"},
        {"cur_temp>=90s", 11, "'90s' is seconds, but 'cur_temp' takes degrees (50 or 50C) or set_temp"},
        {"time=90S", 6, "expected a value, not '90S' (a number, 90s, 1:30 or 50C)"},
        {"1:30s=time", 1, "expected a value, not '1:30s' (a number, 90s, 1:30 or 50C)"},
        {"mode=stew", 6, "'mode' takes " + modes + " or shown_mode, not 'stew'"},
        {"shown_mode==Pizza", 13, "'shown_mode' takes " + modes + " or mode, not 'Pizza'"},
        {"color=blue", 7, "'color' takes green, yellow, 32 or 33, not 'blue'"},
        {"color=backlight", 7, "'color' and 'backlight' are fields of different kinds"},
        {"color>32", 6, "'color' takes only = and !="},
        {"row10<01:30", 6, "'row10' takes only = and !="},
        {"row11='00: manual", 7, "expected a value, the quote opened here is not closed"},
        {"row11=\"00: manual',door=open", 7, "expected a value, the quote opened here is not closed"},
        {"backlight=on", 11, "'backlight' takes 0 or 1 or beeper or bell, not 'on'"},
        {"door=1", 6, "'door' takes a word (closed or open), not '1'"},
        {"door = opne", 8, "unknown word 'opne' for door (closed or open)"},
        {"time>cur_temp", 6, "'time' and 'cur_temp' are fields of different kinds"},
        {"mode=backlight", 6, "'mode' and 'backlight' are fields of different kinds"},
        {"set_temp=1:30", 10, "'1:30' is a time, but 'set_temp' takes degrees (50 or 50C) or cur_temp"},
        {"time=1:75", 6, "expected a value, a time is M:SS, seconds 00 to 59, not '1:75'"},
        {"time=1:60", 6, "expected a value, a time is M:SS, seconds 00 to 59, not '1:60'"},
        {"1=2", 1, "expected a field name, not '1'"},
        {"open=closed", 1, "unknown field 'open'" + fields},
        {"time=door", 6, "'time' and 'door' are fields of different kinds"},
        {"time=-", 6, "'time' takes seconds (90, 90s or 1:30), not '-'"},
        {"time=1 2", 8, "unexpected '2' after the condition"},
    };
    for (const auto& c : cases) {
        std::vector<Condition> conditions;
        const auto error = parse_expression(c.text, conditions);
        ASSERT_TRUE(error.has_value()) << c.text;
        EXPECT_EQ((std::tuple(error->column, error->message)), (std::tuple(c.column, c.message))) << c.text;
    }
}

using test::explore;

TEST(ExploreProgram, AnswersPipeIntoTheTraceAndBadInputIsRefused) {
    const std::string me = "cooker-panel-explore: ", help = "Try 'cooker-panel-explore --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        // clang-format off
        {{"--reach=operation=running"}, 0, "a e\n", ""},
        {{"-r", "operation=ended"}, 0, "c a . e .{29}\n", ""},  // 3 s at 30 degrees
        {{"--reach", "mode=2,time=90"}, 0, "d{2} .\n", ""},
        {{"--reach=operation=idle"}, 0, "# holds at start-up: no key needed\n", ""},
        {{"--reach=row11=00: manual"}, 0, ".\n", ""},  // nothing is drawn at start-up
        {{"--reach=time=600,setting=temp"}, 1, "", me + "no reachable state satisfies the condition\n"},
        {{"--never=cur_temp>set_temp"}, 1, "c d . e .{29}\n", ""},
        {{"-n", "operation=running,door=open"}, 0, "", ""},
        {{"--reach=mode=1", "--from=-"}, 0, "d . # holds at start-up: no key needed\n", ""},
        {{"--reach=mode=1", "-rmode=2"}, 2, "", me + "option '--reach' was given twice\n" + help},
        {{"--reach=door=bad"}, 2, "", me + "--reach: column 6: unknown word 'bad' for door (closed or open)\n"},
        {{"--graph=door,tick"}, 2, "", me + "--graph: unknown field 'tick'" + test::FIELD_NAMES + "\n" + help},
        {{"--states", "--graph"}, 2, "", me + "--reach, --never, --states, --graph, --effects, --cover and --suite exclude each other\n" + help},
        {{"--from=-", "-s"}, 2, "", "-:1:4: '{' must follow a key or '.'\n"},
        {{"--from=/nonexistent"}, 1, "", me + "/nonexistent: No such file or directory\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const std::string input = c.args.back() == "-s" ? "d  {2}" : "d .";
        const Result r = explore(c.args, input);
        EXPECT_EQ((std::tuple(r.status, r.out, r.err)), (std::tuple(c.status, c.out, c.err))) << c.args[0];
    }
    // The summary's lines are the README's (the Docs tests hold it to the golden).
    EXPECT_EQ(explore({}).status, 0);
    const Result full = explore({"--states"}, "", "/dev/full");
    EXPECT_EQ((std::tuple(full.status, full.out, full.err)),
              (std::tuple(1, "", "cooker-panel-explore: write error: No space left on device\n")));
    // --help shows each kind of argument in its own form, the descriptions in one column.
    const std::string usage = explore({"--help"}).out;
    for (const char* line : {"\n  -r, --reach=EXPR      print the shortest key script to a state where EXPR\n"
                             "                          holds",
                             "\n  -g, --graph[=FIELDS]  the states", "\n      --cover FILE...   run each",
                             // a field's help filled to the last column, then wrapped under its text
                             "\n  row11       the text drawn on row 11: '00: manual' (quoted, or the rest of the\n"
                             "                condition)\n"}) {
        EXPECT_NE(usage.find(line), std::string::npos) << line;
    }
}

TEST(ExploreProgram, AnswersFromAScriptFirstHoldWhereTheyEnd) {
    const struct {
        const char* from;
        const char* condition;
    } cases[] = {
        {"d . e", "row11=00: manual"},                // the cycle after a cancel
        {"d . e", "row11=01: \xEB\x96\xA1"},       // already: FILE's keys alone
        {"d{5} f", "row11=00: manual,door=open"},     // open after a mode: a close and an open
        {"a e", "operation=idle,color=yellow"},       // the cancel's cycle, drawn while lit
        {"c a{3}", "row10=00:09,setting=temp"},       // the time form again
        {"c b .", "row10=50C,time=0s"},
    };
    for (const auto& c : cases) {
        const Result r = explore({std::string("--reach=") + c.condition, "--from=-"}, c.from);
        ASSERT_EQ(r.status, 0) << c.condition << r.err;
        std::vector<Condition> conditions;
        ASSERT_FALSE(parse_expression(c.condition, conditions));
        EXPECT_EQ(first_holding(conditions, r.out, test::keys_of(c.from).size()), test::keys_of(r.out).size())
            << c.condition << ": " << r.out;
    }
}

TEST(ExploreProgram, StatesGraphAndStartFromAScript) {
    const Result states = explore({"--states"});
    ASSERT_EQ(states.status, 0);
    EXPECT_EQ(states.out.substr(0, states.out.find('\n') + 1),
              "depth,backlight,operation,door,mode,setting,raise,time,set_temp,cur_temp,beeper,bell,shown_mode,"
              "row10,row11,color,time_tick,temp_tick,beep_tick,display\r\n");
    EXPECT_EQ(std::count(states.out.begin(), states.out.end(), '\n'), std::stol(slurp(FIGURES)) + 1);
    // Nothing drawn at start-up; the first cycle draws the start-up frame.
    EXPECT_EQ(states.out.substr(states.out.find('\n') + 1, 135),
              "0,0,idle,closed,0,time,none,0,20,20,0,0,0,,,,0,0,0,000000\r\n"
              "1,0,idle,closed,0,time,none,0,20,20,0,0,0,00:00,00: manual,32,0,0,0,000020\r\n");

    // The committed graph is the program's; dot reads it where it is installed.
    const Result graph = explore({"--graph"});
    EXPECT_EQ(graph.out, slurp(DOC_DIR "/operation.dot"));
    if (::system("command -v dot >/dev/null 2>&1") == 0) {  // four states, six edges
        const Result plain = test::run_program("/bin/sh", {"-c", "dot -Tplain | cut -d' ' -f1 | uniq -c"}, graph.out);
        EXPECT_EQ(plain.out, "      1 graph\n      4 node\n      6 edge\n      1 stop\n");
    }
    // From mode 5 with the door open: d steps on, e (a cancel) and f (opening
    // at the end) go back to manual.
    EXPECT_EQ(explore({"-gmode", "--from=-"}, "d{5} f").out, slurp(GOLDEN_DIR "/modes-from-pizza-open.dot"));
    // The answer starts with the script's keys, merged where they meet: the
    // open door is closed in one cycle more.
    const Result after = explore({"--reach=door=closed", "--from=-"}, "d{5} f");
    EXPECT_EQ(after.out, "d{5} f{2}\n");
}

}  // namespace
}  // namespace panel::explore
