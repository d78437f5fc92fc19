// What scenarios cover: the effects table, coverage counted against the
// explored space, the conformance suite and its regeneration, and another
// implementation's trace held against ours.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "coverage.h"
#include "effects.h"
#include "key_script.h"
#include "state_space.h"
#include "suite.h"
#include "test_support.h"
#include "tracer.h"

namespace panel::explore {
namespace {

using test::Result;
using test::slurp;

using test::space;

const EffectTable& effects() {
    static const EffectTable table(space());
    return table;
}

using test::explore;
using test::TempDir;
using test::trace;

// The states a script's trace passes through, start-up first.
std::vector<std::uint32_t> visited(const std::string& script) {
    trace::Tracer tracer;
    std::vector<std::uint32_t> states{*space().find(*pack(tracer))};
    for (const std::int32_t key : test::keys_of(script)) {
        tracer.step(key);
        states.push_back(space().find(*pack(tracer)).value_or(UINT32_MAX));
    }
    return states;
}

TEST(Effects, EveryKeyInEveryStateHasOneRowAndItsFirstStateIsTheNearest) {
    const auto& rows = effects().rows();
    // Each state counts once for each key.
    std::map<std::int8_t, std::uint64_t> per_key;
    for (const EffectRow& row : rows) {
        per_key[row.effect.key] += row.states;
    }
    for (std::int8_t key = 'a'; key <= 'f'; ++key) {
        EXPECT_EQ(per_key[key], space().size()) << key;
    }
    for (std::size_t r = 1; r < rows.size(); ++r) {
        EXPECT_LT(rows[r - 1].effect.code(), rows[r].effect.code()) << r;  // sorted, each once
    }
    // A row's first state is where the key has that effect, and none before it does.
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(effects().row_of(rows[r].first, rows[r].effect.key), r) << effect_name(rows[r].effect);
        for (std::uint32_t i = 0; i < rows[r].first; i += 97) {
            EXPECT_NE(effects().row_of(i, rows[r].effect.key), r) << effect_name(rows[r].effect) << " at " << i;
        }
    }
}

TEST(Effects, TheReadmeAndTheManualPageShowTheProgramsTable) {
    const Result markdown = explore({"--effects"});
    ASSERT_EQ(markdown.status, 0) << markdown.err;
    // Its rows are the CSV's, whose lines are counted below.
    EXPECT_NE(slurp(SOURCE_DIR "/README.md").find(markdown.out), std::string::npos)
        << "the README's effects table is not the program's: paste `cooker-panel-explore --effects`";
    // The manual page holds the same rows between .nf and .fi.
    EXPECT_NE(slurp(SOURCE_DIR "/doc/cooker-panel-explore.1").find(".nf\n" + markdown.out + ".fi\n"), std::string::npos)
        << "the manual page's effects table is not the program's";
    const Result csv = explore({"--effects", "--format=csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_TRUE(csv.out.starts_with("key,operation,door,mode,setting,what the key does,states\r\n"));
    EXPECT_NE(csv.out.find("\r\ne,idle,closed,automatic,time,ignored: time not yet the mode's preset,"),
              std::string::npos);
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 1 + static_cast<long>(effects().rows().size()));
}

TEST(Coverage, LinesRoundDownSoOnlyAllIsAHundred) {
    const struct {
        Covered count;
        const char* line;
    } cases[] = {
        {{0, 5}, "x: 0 of 5 (0.0 %)"},        {{1, 3}, "x: 1 of 3 (33.3 %)"},
        {{2, 3}, "x: 2 of 3 (66.6 %)"},       {{999, 1000}, "x: 999 of 1000 (99.9 %)"},
        {{9999, 10000}, "x: 9999 of 10000 (99.9 %)"}, {{5, 5}, "x: 5 of 5 (100.0 %)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(coverage_line("x", c.count), c.line);
    }
}

TEST(Coverage, CountsDistinctStatesTransitionsAndEffectsOfWhatRan) {
    const struct {
        const char* script;
        std::uint64_t states, transitions, effects;
    } cases[] = {
        {"", 1, 0, 0},             // start-up is visited
        {"f", 2, 1, 1},            //
        {"f f f f", 3, 3, 2},      // open and closed again: the same states, the same two transitions
        {"x x", 2, 2, 0},          // no key of the panel: no effect; the second cycle a self-loop
        {"a b a", 4, 3, 2},        // +10 s and +30 s are one effect each key
        {". . .", 2, 2, 0},        // the first cycle draws: another state than start-up
    };
    for (const auto& c : cases) {
        Coverage coverage(space(), effects());
        trace::Tracer tracer;
        coverage.begin(tracer);
        for (const std::int32_t key : test::keys_of(c.script)) { tracer.step(key); coverage.cycle(tracer); }
        EXPECT_TRUE(coverage.mapped()) << c.script;
        EXPECT_EQ((std::tuple(coverage.states().covered, coverage.transitions().covered, coverage.effects().covered)),
                  (std::tuple(c.states, c.transitions, c.effects)))
            << c.script;
        EXPECT_EQ(coverage.transitions().total, space().transitions().distinct);
    }
    const std::vector<std::uint32_t> passed = visited("f f f f");
    EXPECT_EQ(std::set<std::uint32_t>(passed.begin(), passed.end()).size(), 3U);  // as the trace really passes them
}

TEST(Coverage, ProgramSaysTheThreeLinesThenWhatIsMissedAndWhatTestsNothing) {
    TempDir dir;
    const std::string checked = dir.file("checked.keys", "f {expect door=open} f\n");
    const std::string unchecked = dir.file("unchecked.keys", "a\n");
    const std::string failing = dir.file("failing.keys", "a {expect time=20}\n");
    const Result r = explore({"--cover", checked, unchecked});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::size_t total = effects().rows().size();
    const std::string states = std::to_string(space().size());
    EXPECT_TRUE(r.out.starts_with("states: 4 of " + states + " (0.0 %)\ntransitions: 3 of " +
                                  std::to_string(space().transitions().distinct) + " (0.0 %)\neffects: 3 of " +
                                  std::to_string(total) + " (2.8 %)\nnot covered: " + std::to_string(total - 3) +
                                  " effects, each with a shortest script from start-up:\n"))
        << r.out;
    EXPECT_NE(r.out.find("\n  a, idle, open, manual, time: ignored: door open: f a\n"), std::string::npos);
    EXPECT_TRUE(r.out.ends_with(unchecked + ": no checks: it runs, but tests nothing\n"));
    // A line for each effect missed (that the scripts lead to their effects,
    // the README's --cover block shows).
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), static_cast<long>(4 + total - 3 + 1)) << r.out;

    const Result fails = explore({"--cover", failing});
    EXPECT_EQ(fails.status, 1);
    EXPECT_EQ(fails.err, failing + ":1:3: cycle 1: expected time=20; got time=10\n");
    EXPECT_TRUE(fails.out.starts_with("states: 2 of " + states + " (0.0 %)\n")) << fails.out;

    // --min: the status follows the effects covered, 3 of them here (2.8 %).
    const struct {
        const char* min;
        int status;
    } mins[] = {{"--min=2.8", 0}, {"--min=2.9", 1}, {"--min=2", 0}, {"--min=3", 1}, {"--min=101", 2}, {"--min=2.95", 2}, {"--min=x", 2}, {"--min=", 2}};
    for (const auto& m : mins) {
        EXPECT_EQ(explore({"--cover", m.min, checked, unchecked}).status, m.status) << m.min;
    }
    const std::string me = "cooker-panel-explore: ", help = "Try 'cooker-panel-explore --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } refused[] = {
        {{"--cover"}, me + "option '--cover' needs a scenario FILE\n" + help},
        {{"--min=50", "--effects"}, me + "option '--min' goes with '--cover'\n" + help},
        {{"--format=csv"}, me + "option '--format' goes with '--effects'\n" + help},
        {{"--effects", "--format=tsv"}, me + "invalid format 'tsv' (markdown or csv)\n" + help},
        {{"--effects", "--format=csv", "--format=csv"}, me + "option '--format' was given twice\n" + help},
        {{"--cover", "--from=" + checked, checked}, me + "option '--from' does not go with '--cover'\n" + help},
        {{"--cover", checked, dir.file("bad.keys", "a {expect tiem=1}")},
         (dir.path / "bad.keys").string() + ":1:11: unknown field 'tiem'" + test::FIELD_NAMES + "\n"},
    };
    for (const auto& c : refused) {
        const Result x = explore(c.args);
        EXPECT_EQ((std::tuple(x.status, x.out, x.err)), (std::tuple(2, std::string(), c.err))) << c.args[0];
    }
}

// The edges of the operation and door graph, each with its input.
std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, int>> graph_edges(
    const std::vector<std::uint32_t>& states, const std::vector<std::int32_t>& inputs) {
    std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, int>> edges;
    for (std::size_t n = 0; n < inputs.size(); ++n) {
        const PackedState from = space().state(states[n]), to = space().state(states[n + 1]);
        const auto edge = std::tuple(field_value(from, Field::OPERATION), field_value(from, Field::DOOR),
                                     field_value(to, Field::OPERATION), field_value(to, Field::DOOR), inputs[n]);
        if (std::get<0>(edge) != std::get<2>(edge) || std::get<1>(edge) != std::get<3>(edge)) {
            edges.insert(edge);
        }
    }
    return edges;
}

TEST(Suite, CoversEveryEffectAndEveryGraphTransitionAndPassesItsChecks) {
    const std::vector<SuiteFile> suite = make_suite(space(), effects());
    // Every edge of the graph, with the input that takes it.
    std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, int>> wanted, taken;
    for (std::uint32_t i = 0; i < space().size(); ++i)
        for (int input = 0; input < INPUT_COUNT; ++input)
            wanted.merge(graph_edges({i, space().next(i, input)}, {INPUT_KEYS[input]}));
    std::map<Field, std::set<std::int32_t>> values;  // of the quantities, in the states passed
    std::set<std::pair<std::uint32_t, std::int32_t>> numbers, all_numbers;  // each row with each number it takes
    for (std::uint32_t i = 0; i < space().size(); ++i)
        for (std::int8_t key = 'a'; key <= 'f'; ++key)
            all_numbers.emplace(effects().row_of(i, key), effects().amount_of(i, key));
    for (const SuiteFile& file : suite) {
        EXPECT_TRUE(file.text.starts_with("# ")) << file.name;
        const std::vector<std::int32_t> keys = test::keys_of(file.text);
        EXPECT_EQ(keys.size(), file.cycles) << file.name;
        const std::vector<std::uint32_t> states = visited(file.text);
        for (const std::uint32_t i : states)
            for (const Field f : {Field::TIME, Field::SET_TEMP, Field::CUR_TEMP})
                values[f].insert(field_value(space().state(i), f));
        for (std::size_t n = 0; n < keys.size(); ++n) {
            const auto key = static_cast<std::int8_t>(keys[n]);
            if (keys[n] != NO_KEY) numbers.emplace(effects().row_of(states[n], key), effects().amount_of(states[n], key));
        }
        taken.merge(graph_edges(states, keys));
    }
    EXPECT_EQ(numbers, all_numbers);  // every effect, the mode key in every mode, both steps of each raise
    EXPECT_EQ(taken, wanted);
    EXPECT_GE(wanted.size(), 10U);
    // Each quantity at both its bounds: 10:00 on the display, 90 degrees.
    EXPECT_EQ((std::tuple(*values[Field::TIME].begin(), *values[Field::TIME].rbegin())), (std::tuple(0, 600)));
    EXPECT_EQ((std::tuple(*values[Field::SET_TEMP].begin(), *values[Field::SET_TEMP].rbegin())), (std::tuple(20, 90)));
    EXPECT_EQ((std::tuple(*values[Field::CUR_TEMP].begin(), *values[Field::CUR_TEMP].rbegin())), (std::tuple(20, 90)));
}

// The differences between the files of two folders, "" when none.
std::string differences(const std::filesystem::path& made, const std::filesystem::path& committed) {
    std::map<std::string, std::string> a, b;
    for (const auto& e : std::filesystem::directory_iterator(made)) a[e.path().filename()] = slurp(e.path());
    for (const auto& e : std::filesystem::directory_iterator(committed)) b[e.path().filename()] = slurp(e.path());
    std::string said;
    for (const auto& [name, text] : a) {
        if (!b.contains(name)) said += name + ": not committed\n";
        else if (b[name] != text) said += name + ": differs\n";
    }
    for (const auto& [name, text] : b) {
        if (!a.contains(name)) said += name + ": no longer made\n";
    }
    return said;
}

TEST(Suite, TheCommittedSuiteIsWhatTheExplorerMakesNow) {
    TempDir dir;
    const Result r = explore({"--suite=" + (dir.path / "suite").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(differences(dir.path / "suite", SOURCE_DIR "/tests/conformance"), "")
        << "tests/conformance is stale: run cooker-panel-explore --suite=tests/conformance after removing it";
    // The comparison does see a stale file, a missing one and an extra one.
    std::filesystem::copy(SOURCE_DIR "/tests/conformance", dir.path / "stale");
    const std::string first = std::filesystem::directory_iterator(dir.path / "stale")->path().filename();
    dir.file("stale/" + first, "a\n");
    dir.file("stale/99-extra.keys", "a\n");
    EXPECT_EQ(differences(dir.path / "suite", dir.path / "stale"), first + ": differs\n99-extra.keys: no longer made\n");
    EXPECT_TRUE(r.out.ends_with(" checks\n")) << r.out;
    // That it covers every effect is the README's (its --cover block) and
    // CoversEveryEffectAndEveryGraphTransitionAndPassesItsChecks's to say;
    // without the last scenario's last key, one effect is missed, and named.
    std::vector<std::string> args{"--cover"};
    for (const auto& entry : std::filesystem::directory_iterator(dir.path / "suite")) args.push_back(entry.path());
    std::sort(args.begin() + 1, args.end());
    const std::string last = slurp(args.back());
    dir.file("last.keys", last.substr(0, last.rfind("\nf\n") + 1));
    args.back() = (dir.path / "last.keys").string();
    EXPECT_NE(explore(args).out.find("\nnot covered: 1 effect, each with"), std::string::npos);
    // A folder that cannot be made is an I/O error.
    const Result bad = explore({"--suite=/nonexistent/suite"});
    EXPECT_EQ((std::tuple(bad.status, bad.out)), (std::tuple(1, std::string())));
}

TEST(Suite, EveryCheckStatesTheWholeRow) {
    trace::Tracer tracer;
    tracer.step('c');
    EXPECT_EQ(row_check(tracer),
              "{expect row10='20C', row11='00: manual', color=32, bell=0, backlight=0, operation=idle, door=closed, "
              "mode=0, setting=temp, raise=none, time=0, set_temp=20, cur_temp=20, why=\"temperature selected\"}");
    tracer.step(NO_KEY);
    EXPECT_EQ(row_check(tracer).find("why"), std::string::npos);  // no key: nothing to say why
}

TEST(Compare, TheirTraceAgainstOursFieldByField) {
    TempDir dir;
    const std::string script = dir.file("s.keys", "a e .{3}\n");
    const Result ours = trace({"--format=csv", "--why", script});
    ASSERT_EQ(ours.status, 0);
    // Our CSV with LF line ends, and a few columns of it in another order.
    std::string lf = ours.out;
    for (std::size_t at; (at = lf.find('\r')) != std::string::npos;) lf.erase(at, 1);
    const struct {
        const char* name;
        std::string theirs;
        std::vector<std::string> extra;
        int status;
        std::string out, err;
    } cases[] = {
        {"ours", ours.out, {}, 0, "", ""},
        {"LF", lf, {}, 0, "", ""},
        {"a subset in another order", "cycle,time,operation,why\n1,10,idle,+10 s\n2,10,running,started\n3,10,running,\n"
                                      "4,10,running,\n5,10,running,\n", {}, 0, "", ""},
        {"quoted", "cycle,row11\r\n\"1\",\"00: manual\"\n2,00: manual\n3,00: manual\n4,00: manual\n5,00: manual", {}, 0, "", ""},
        {"first only", "cycle,time,door\n1,10,closed\n2,10,closed\n3,11,open\n4,12,closed\n5,10,closed\n", {}, 1,
         "T:4: cycle 3: time: expected 10, got 11\n", ""},
        {"--all", "cycle,time,door\n1,10,closed\n2,10,closed\n3,11,open\n4,12,closed\n5,10,closed\n", {"--all"}, 1,
         "T:4: cycle 3: time: expected 10, got 11\nT:4: cycle 3: door: expected closed, got open\n"
         "T:5: cycle 4: time: expected 10, got 12\n", ""},
        {"the cycle itself", "cycle\n1\n2\n4\n4\n5\n", {}, 1, "T:4: cycle 3: cycle: expected 3, got 4\n", ""},
        {"fewer", "cycle,time\n1,10\n2,10\n", {}, 1, "T: 2 cycles, expected 5\n", ""},
        {"more", "cycle\n1\n2\n3\n4\n5\n6\n", {}, 1, "T: 6 cycles, expected 5\n", ""},
        {"a value with a comma", "cycle,why\n1,\"+10 s,\"\n2,started\n3,\n4,\n5,\n", {}, 1,
         "T:2: cycle 1: why: expected +10 s, got \"+10 s,\"\n", ""},
        {"unknown column", "cycle,tiem\n1,10\n", {}, 2, "",
         "T:1: unknown column 'tiem' (cycle, key, why, row10, row11, color, bell, backlight, operation, door, mode, "
         "setting, raise, time, set_temp, cur_temp)\n"},
        {"cycle not first", "time,cycle\n10,1\n", {}, 2, "", "T:1: the first column must be cycle\n"},
        {"twice", "cycle,time,time\n", {}, 2, "", "T:1: column 'time' named twice\n"},
        {"fields", "cycle,time\n1,10\n2\n", {}, 2, "", "T:3: 1 fields, expected 2\n"},
        {"quote", "cycle,time\n1,\"10\n", {}, 2, "", "T:2: the quote is not closed\n"},
        {"empty", "", {}, 2, "", "cooker-panel-trace: T: no header line\n"},
    };
    for (const auto& c : cases) {
        dir.file("T", c.theirs);
        std::vector<std::string> args{"--compare=T"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back(script);
        std::string command = "cd '" + dir.path.string() + "' && " COOKER_PANEL_TRACE;
        for (const std::string& a : args) command += " '" + a + "'";
        const Result x = test::run_program("/bin/sh", {"-c", command});
        EXPECT_EQ((std::tuple(x.status, x.out, x.err)), (std::tuple(c.status, c.out, c.err))) << c.name;
    }
    const std::string me = "cooker-panel-trace: ", help = "Try 'cooker-panel-trace --help' for more information.\n";
    for (const auto& [args, err] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--all", script}, me + "option '--all' goes with '--compare'\n" + help},
             {{"--compare=x", "--why", script}, me + "option '--why' does not go with '--compare'\n" + help},
             {{"--compare=-", script}, me + "--compare: their trace is a file, not standard input\n" + help},
             {{"--compare=/dev/null", script}, me + "--compare: /dev/null: their trace must be a regular file\n" + help},
         }) {
        const Result x = trace(args);
        EXPECT_EQ((std::tuple(x.status, x.err)), (std::tuple(2, err))) << args[0];
    }
}

}  // namespace
}  // namespace panel::explore
