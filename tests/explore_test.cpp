// The explorer: its search against brute force and against long random runs,
// conditions and their witnesses, and the program end to end.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "condition.h"
#include "key_script.h"
#include "properties.h"
#include "report.h"
#include "state_space.h"
#include "test_support.h"
#include "tracer.h"

namespace panel::explore {
namespace {

using test::Result;
using test::slurp;

// The whole space from start-up, searched once for all tests.
const StateSpace& space() {
    static const StateSpace searched = [] {
        StateSpace s;
        Panel start{};
        Start_Panel(start);
        EXPECT_TRUE(s.explore(start));
        return s;
    }();
    return searched;
}

PackedState packed(const Panel& p) {
    const std::optional<PackedState> s = pack(p);
    EXPECT_TRUE(s.has_value());
    return s.value_or(PackedState{});
}

TEST(StateSpace, HoldsExactlyWhatEveryShortScriptReaches) {
    const StateSpace& s = space();
    EXPECT_EQ((std::tuple(s.size(), s.max_depth())), (std::tuple(96875U, 3039U)));
    EXPECT_EQ((std::tuple(s.transitions().distinct, s.transitions().self_loops)), (std::tuple(203251U, 290U)));
    // Every key script of up to six cycles, depth first; each state at the
    // length of its shortest script.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> brute;
    constexpr std::uint32_t DEPTH = 6;
    auto walk = [&](auto& self, const Panel& p, std::uint32_t depth) -> void {
        const PackedState here = packed(p);
        auto [at, added] = brute.try_emplace({here.low, here.high}, depth);
        at->second = std::min(at->second, depth);
        if (depth == DEPTH) return;
        for (const std::int32_t key : INPUT_KEYS) {
            Panel next = p;
            Control_Cycle(next, cycle_key(key));
            self(self, next, depth + 1);
        }
    };
    walk(walk, test::started(), 0);
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
            const bool idle = tracer.record().operation == OP_IDLE;
            const trace::TraceRecord& r = tracer.step(keys[random() % std::size(keys)]);
            const PackedState now = packed(tracer.panel());
            ASSERT_TRUE(s.find(now).has_value()) << "run " << run << " cycle " << cycle;
            // No press is left for a later cycle, the bell is the trace's, and a
            // start takes its setting's time.
            ASSERT_EQ(r.raise, RAISE_NONE) << "run " << run << " cycle " << cycle;
            ASSERT_EQ(r.bell, field_value(now, Field::BELL)) << "run " << run << " cycle " << cycle;
            if (idle && r.operation == OP_RUNNING) {
                const std::int32_t wanted = r.mode != 0                ? MODE_TABLE[std::size_t(r.mode)].time
                                            : r.setting == SETTING_TEMP ? (r.set_temp - 20) / 10 * 3
                                                                        : r.time;
                ASSERT_EQ(r.time, wanted) << "run " << run << " cycle " << cycle;
            }
        }
    }
}

// The summary of a search from start, or under a faulty cycle: which
// properties fail, and by which script.
std::string summary(const Panel& start, Cycle cycle, bool& all_hold) {
    StateSpace space;
    EXPECT_TRUE(space.explore(start, cycle));
    std::string text;
    trace::Output out(text);
    RunSpool none;
    all_hold = write_summary(out, none, space, std::chrono::steady_clock::now());
    out.flush();
    return text;
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
    // The property each start violates, and the script its line names.
    const std::tuple<Panel, Cycle, int, const char*> cases[] = {
        {start({RAISE_NONE, SETTING_TIME, OP_RUNNING, OPENING_OPEN, 0}, {10, 50, 20}, 0), nullptr, 1, ""},
        {start({RAISE_NONE, SETTING_TEMP, OP_IDLE, OPENING_CLOSED, 0}, {24, 100, 20}, 0), nullptr, 2, ""},
        {start({RAISE_NONE, SETTING_TIME, 3, OPENING_CLOSED, 0}, {0, 20, 20}, 0), nullptr, 3, ""},
        {start({RAISE_FINE, SETTING_TIME, OP_IDLE, OPENING_CLOSED, 1}, {0, 20, 20}, 1), nullptr, 4, ""},
        {test::started(), stale_start, 5, "d{2} e"},
    };
    for (const auto& [panel, cycle, property, script] : cases) {
        bool all_hold = true;
        const std::string text = summary(panel, cycle, all_hold);
        const std::size_t at = text.find("\nproperty " + std::to_string(property) + ", ");
        const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at);
        EXPECT_TRUE(at != std::string::npos && line.ends_with(": violated by: " + std::string(script) + "\n")) << text;
        EXPECT_FALSE(all_hold) << property;
    }
    bool all_hold = false;
    const std::string text = summary(test::started(), nullptr, all_hold);
    EXPECT_TRUE(all_hold) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
}

TEST(Conditions, WitnessesReachThemAndTheUnreachableAreNot) {
    const StateSpace& s = space();
    // clang-format off
    const char* reachable[] = {
        "operation=running", "operation=ended,door=closed", "door=open,operation=idle", "mode=5", "time=600",
        "time>=300,mode=4", "cur_temp=90", "cur_temp > set_temp", "setting=temp,set_temp=90",
        "backlight=1,operation=idle", "mode!=0, operation = running", "time<10,operation=running,cur_temp>=30",
        "set_temp<=cur_temp,operation=ended", "setting=time,mode=3" /* a word before a field so named */,
        "setting = time , time=1:30", "2:00=time,mode=5", "bell=1", "beeper=1,bell=0", "shown_mode!=mode",
        "-1<cur_temp,operation=running",
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
        // The witness, written and read back, ends where the condition holds.
        Script script;
        ASSERT_FALSE(parse_script(format_script(s.script_to(*found)), script));
        trace::Tracer tracer;
        for (const ScriptStep& step : script.steps) {
            for (std::uint32_t n = 0; n < step.count; ++n) tracer.step(step.key);
        }
        EXPECT_EQ(script.cycles, s.depth(*found)) << text;
        EXPECT_TRUE(holds(conditions, packed(tracer.panel()))) << text;
    }
    for (const char* text : {"operation=running,door=open", "time>600", "cur_temp<20", "raise=fine", "raise=coarse",
                             "operation=running,time=0", "set_temp=25", "mode>5", "set_temp>100", "time>=601",
                             "cur_temp<0", "bell=1,door=open", "99999999999999999999999<=time"}) {
        std::vector<Condition> conditions;
        ASSERT_FALSE(parse_expression(text, conditions)) << text;
        for (std::uint32_t i = 0; i < s.size(); ++i) ASSERT_FALSE(holds(conditions, s.state(i))) << text;
    }
}

TEST(Conditions, EachOperatorOnBothSidesOfItsBoundary) {
    Panel p = test::started();
    p.time_temp = TimeTemp{90, 50, 50};
    const PackedState state = packed(p);
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
    };
    for (const auto& c : cases) {
        std::vector<Condition> conditions;
        ASSERT_FALSE(parse_expression(c.text, conditions)) << c.text;
        EXPECT_EQ(holds(conditions, state), c.holds) << c.text;
    }
}

TEST(Conditions, BadExpressionsSayWhereAndWhat) {
    const std::string fields = " (backlight, operation, door, mode, setting, raise, time, set_temp, cur_temp, "
                               "beeper, bell or shown_mode)";
    const struct {
        const char* text;
        std::size_t column;
        std::string message;
    } cases[] = {
        {"", 1, "empty condition"},
        {"time=1,", 8, "empty condition"},
        {"tme=1", 1, "unknown field 'tme'" + fields},
        {"=1", 1, "expected a field name, not '=1'"},
        {"time", 5, "expected an operator (=, !=, <, <=, >, >=) after 'time'"},
        {"door<open", 5, "'door' takes only = and !="},
        {"time=", 6, "expected a value after the operator"},
        {"time=idle", 6, "'time' takes a number or a number field, not 'idle'"},
        {"door=1", 6, "'door' takes a word (closed or open), not '1'"},
        {"door = opne", 8, "unknown word 'opne' for door (closed or open)"},
        {"time>cur_temp", 6, "'time' and 'cur_temp' are fields of different kinds"},
        {"mode=backlight", 6, "'mode' and 'backlight' are fields of different kinds"},
        {"set_temp=1:30", 10, "a time like '1:30' compares only with time, not 'set_temp'"},
        {"time=1:75", 6, "expected a value, a time is M:SS, seconds 00 to 59, not '1:75'"},
        {"1=2", 1, "expected a field name, not '1'"},
        {"open=closed", 1, "unknown field 'open'" + fields},
        {"time=door", 6, "'time' and 'door' are fields of different kinds"},
        {"time=-", 6, "expected a value, not '-'"},
        {"time=1 2", 8, "unexpected '2' after the condition"},
    };
    for (const auto& c : cases) {
        std::vector<Condition> conditions;
        const auto error = parse_expression(c.text, conditions);
        ASSERT_TRUE(error.has_value()) << c.text;
        EXPECT_EQ((std::tuple(error->column, error->message)), (std::tuple(c.column, c.message))) << c.text;
    }
}

Result explore(const std::vector<std::string>& args, const std::string& input = "",
               const std::string& out_path = "") {
    return test::run_program(COOKER_PANEL_EXPLORE, args, input, out_path);
}

TEST(ExploreProgram, AnswersPipeIntoTheTraceAndBadInputIsRefused) {
    // The summary as printed is the README's (Docs.ReadmeCommandsPrintWhatTheReadmeShows).
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
        {{"--reach=operation=idle"}, 0, "\n", ""},
        {{"--reach=time=600,setting=temp"}, 1, "", me + "no reachable state satisfies the condition\n"},
        {{"--never=cur_temp>set_temp"}, 1, "c d . e .{29}\n", ""},
        {{"-n", "operation=running,door=open"}, 0, "", ""},
        {{"--reach=mode=1", "--from=-"}, 0, "d .\n", ""},  // the answer starts with the script's keys
        {{"--reach=operation=running", "--from=-"}, 0, "d . e\n", ""},
        {{"--reach=mode=1", "-rmode=2"}, 2, "", me + "option '--reach' was given twice\n" + help},
        {{"--states", "-xs"}, 2, "", me + "invalid option -- 'x'\n" + help},  // a bad letter inside a cluster
        {{"--states=1"}, 2, "", me + "option '--states' doesn't allow an argument\n" + help},
        {{"--graph", "-x"}, 2, "", me + "invalid option -- 'x'\n" + help},
        {{"--reach=door=bad"}, 2, "", me + "--reach: column 6: unknown word 'bad' for door (closed or open)\n"},
        {{"--graph=door,tick"}, 2, "", me + "--graph: unknown field 'tick' (backlight, operation, door, mode, "
                                       "setting, raise, time, set_temp, cur_temp, beeper, bell or shown_mode)\n" + help},
        {{"--states", "--graph"}, 2, "", me + "--reach, --never, --states and --graph exclude each other\n" + help},
        {{"--from=-", "-s"}, 2, "", "-:1:4: '{' must follow a key or '.'\n"},
        {{"--from=/nonexistent"}, 1, "", me + "/nonexistent: No such file or directory\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const std::string input = c.args.back() == "-s" ? "d  {2}" : "d .";
        const Result r = explore(c.args, input);
        EXPECT_EQ((std::tuple(r.status, r.out, r.err)), (std::tuple(c.status, c.out, c.err))) << c.args[0];
    }
    const Result full = explore({"--states"}, "", "/dev/full");
    EXPECT_EQ((std::tuple(full.status, full.out, full.err)),
              (std::tuple(1, "", "cooker-panel-explore: write error: No space left on device\n")));
}

TEST(ExploreProgram, StatesGraphAndStartFromAScript) {
    const Result states = explore({"--states"});
    ASSERT_EQ(states.status, 0);
    EXPECT_EQ(states.out.substr(0, states.out.find('\n') + 1),
              "depth,backlight,operation,door,mode,setting,raise,time,set_temp,cur_temp,beeper,bell,shown_mode,"
              "time_tick,temp_tick,beep_tick,display\r\n");
    EXPECT_EQ(std::count(states.out.begin(), states.out.end(), '\n'), 96876);
    EXPECT_EQ(states.out.substr(states.out.find('\n') + 1, 112),
              "0,0,idle,closed,0,time,none,0,20,20,0,0,0,0,0,0,000000\r\n"
              "1,0,idle,closed,0,time,none,0,20,20,0,0,0,0,0,0,000020\r\n");

    // The committed graph is the program's; dot reads it where it is installed.
    const Result graph = explore({"--graph"});
    EXPECT_EQ(graph.out, slurp(DOC_DIR "/operation.dot"));
    if (::system("command -v dot >/dev/null 2>&1") == 0) {  // four states, six edges
        const Result plain = test::run_program("/bin/sh", {"-c", "dot -Tplain | cut -d' ' -f1 | uniq -c"}, graph.out);
        EXPECT_EQ(plain.out, "      1 graph\n      4 node\n      6 edge\n      1 stop\n");
    }
    // From mode 5 with the door open: d steps on, e (a cancel) and f (opening
    // at the end) go back to manual.
    EXPECT_EQ(explore({"--graph=mode", "--from=-"}, "d{5} f").out, slurp(GOLDEN_DIR "/modes-from-pizza-open.dot"));
    // The answer starts with the script's keys, merged where they meet: the
    // open door is closed in one cycle more.
    const Result after = explore({"--reach=door=closed", "--from=-"}, "d{5} f");
    EXPECT_EQ(after.out, "d{5} f{2}\n");
}

}  // namespace
}  // namespace panel::explore
