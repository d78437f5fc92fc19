// The key-script parser in-process, and the trace program end to end: golden
// output for the typical use, the waveform, raw input, and bad input that
// leaves nothing half-done.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <fstream>
#include <sstream>
#include <memory>
#include <thread>

#include "key_script.h"
#include "run_spool.h"
#include "screen.h"
#include "test_support.h"
#include "tracer.h"

namespace panel::trace {
namespace {

using test::Result;
using test::slurp;

// One step a character, '_' for a cycle without a key.
std::string expand(const Script& script) {
    std::string keys;
    for (const ScriptStep& s : script.steps)
        keys.append(s.count, s.key == NO_KEY ? '_' : static_cast<char>(s.key));
    return keys;
}

// Runs as key and count, to compare.
std::vector<std::pair<std::int32_t, std::uint64_t>> runs(const std::vector<ScriptStep>& steps) {
    std::vector<std::pair<std::int32_t, std::uint64_t>> pairs;
    for (const ScriptStep& s : steps) pairs.emplace_back(s.key, s.count);
    return pairs;
}

TEST(KeyScript, ParsesStepsAndReportsWhereItFails) {
    // A script, its keys, and the script as the notation writes them back.
    const std::tuple<const char*, std::string, const char*> valid[] = {
        {"a e .{3} f .", "ae___f_", "a e .{3} f ."},
        {"a{3}# c {\n\tb\r\n#", "aaab", "a{3} b"},
        {"\\x41\\xfF\\x00\\\\\\.\\#\\{x{002}}\\x20\\x0a\\x7f", std::string("A\xff\0\\.#{xx} \n\x7f", 13),
         "A \\xff \\x00 \\\\ \\. \\# \\{ x{2} } \\x20 \\x0a \\x7f"},
        {"", "", ""},
    };
    for (const auto& [text, keys, written] : valid) {
        Script script;
        EXPECT_EQ(parse_script(text, script).has_value(), false) << text;
        EXPECT_EQ(expand(script), keys) << text;
        EXPECT_EQ(script.cycles, keys.size()) << text;
        EXPECT_EQ(format_script(script), written) << text;
    }
    Script big;  // counts cost no memory, and steps of one key merge into a run
    ASSERT_FALSE(parse_script(".{1000000000}a{1000000000} a{3} a\n.{1000000000}", big));
    EXPECT_EQ(big.steps.size(), 3U);
    EXPECT_EQ((std::tuple(big.steps[1].key, big.steps[1].count)), (std::tuple(int{'a'}, 1'000'000'004U)));
    EXPECT_EQ(big.cycles, 3'000'000'004U);

    const struct {
        std::string text;
        std::size_t line, column;
        const char* message;
    } errors[] = {
        {"{3}", 1, 1, "'{' must follow a key or '.'"},
        {"a {3}", 1, 3, "'{' must follow a key or '.'"},
        {"# c\n.{2}{2}", 2, 5, "'{' must follow a key or '.'"},
        {"ab{3", 1, 3, "'{' is not closed"},
        {"a{3\n}", 1, 2, "'{' is not closed"},
        {"a{0}", 1, 3, "repeat count '0' is not a decimal from 1 to 1000000000"},
        {"a{1000000001}", 1, 3, "repeat count '1000000001' is not a decimal from 1 to 1000000000"},
        {"a{1x}", 1, 3, "repeat count '1x' is not a decimal from 1 to 1000000000"},
        {"a{}", 1, 3, "repeat count '' is not a decimal from 1 to 1000000000"},
        {"ab\n  \\xg0", 2, 3, "'\\x' must be followed by two hex digits"},
        {"\\x4", 1, 1, "'\\x' must be followed by two hex digits"},
        {"a\\", 1, 2, "'\\' at the end of the script"},
        {"\\n", 1, 1, "unknown escape: use \\\\, \\., \\#, \\{ or \\xHH"},
        {"\\x4\n", 1, 1, "'\\x' must be followed by two hex digits"},
        {"a\n b\x01", 2, 3, "control byte \\x01 is no part of the notation; write it \\x01"},
        {"a\x7f", 1, 2, "control byte \\x7f is no part of the notation; write it \\x7f"},
        {"a # \x1b[A", 1, 5, "control byte \\x1b is no part of the notation"},
        {std::string("a{1\0}", 5), 1, 4, "control byte \\x00 is no part of the notation"},
        {"a{123456789012345678901234567890123456789012345}", 1, 3,
         "repeat count '1234567890123456789012345678901234567890...' is not a decimal from 1 to 1000000000"},
        {"a{0234567890123456789012345678901234567890}", 1, 3,  // as long as is quoted whole
         "repeat count '0234567890123456789012345678901234567890' is not a decimal from 1 to 1000000000"},
        // Checks: a '{' that starts a token.
        {"a\n  {expect time=1", 2, 3, "'{' is not closed"},
        {"{expect}", 1, 8, "empty condition"},
        {"{expect for 3}", 1, 8, "empty condition"},
        {"{wait time=0}", 1, 13, "'within' missing: {wait COND within DURATION}"},
        {"{wait time=0 for 3}", 1, 14,
         "'for' does not go with wait: {expect COND for DURATION} or {wait COND within DURATION}"},
        {"{expect time=0 within 3}", 1, 16,
         "'within' does not go with expect: {expect COND for DURATION} or {wait COND within DURATION}"},
        {"{check time=0}", 1, 2,
         "unknown check 'check': {expect COND}, {expect COND for DURATION} or {wait COND within DURATION}"},
        {"{expect time=0 for}", 1, 19,
         "expected a duration after 'for': cycles (20), seconds (2s) or M:SS (1:30)"},
        {"{wait time=0 within\n 2m}", 2, 2,
         "duration '2m' is not cycles (20), seconds (2s) or M:SS (1:30), at most 1000000000 cycles"},
        {"{expect time=0 for 0}", 1, 20,
         "duration '0' is not cycles (20), seconds (2s) or M:SS (1:30), at most 1000000000 cycles and at "
         "least 1"},
        {"{wait time=0 within 1:60}", 1, 21,
         "duration '1:60' is not cycles (20), seconds (2s) or M:SS (1:30), at most 1000000000 cycles"},
        {"{wait time=0 within 100000001s}", 1, 21,
         "duration '100000001s' is not cycles (20), seconds (2s) or M:SS (1:30), at most 1000000000 cycles"},
        {"{expect time=0 for 3 s}", 1, 22, "unexpected 's' after the duration"},
        {"{expect time=0 #" + std::string(5000, 'x') + "\n}", 1, 1, "a check of more than 4096 bytes"},
        {"{expect row11='a\n'}", 1, 15, "quote ' is not closed"},
        {std::string("{expect time=\x01}"), 1, 14, "control byte \\x01 is no part of the notation"},
        {"{expect " + std::string(5000, ' ') + "}", 1, 1, "a check of more than 4096 bytes"},
    };
    for (const auto& e : errors) {
        Script script;
        const auto error = parse_script(e.text, script);
        ASSERT_TRUE(error.has_value()) << e.text;
        EXPECT_EQ((std::tuple(error->line, error->column, error->message)),
                  (std::tuple(e.line, e.column, e.message)))
            << e.text;
    }
}

TEST(KeyScript, ReadInPiecesAsWhole) {
    // Random runs written with blanks, comments, escapes and counts read back
    // as the same runs, whole from memory and in pieces from a file.
    std::mt19937 random(7);
    Script written;
    std::string text;
    for (int i = 0; i < 40000; ++i) {
        const std::int32_t key = random() % 5 == 0 ? NO_KEY : static_cast<std::int32_t>(random() % 256);
        const std::uint64_t count = random() % 4 == 0 ? 1 + random() % 50 : 1;
        append_step(written, key, count);
        text += format_run({key, count});
        text += random() % 9 == 0 ? " # a comment {\n" : random() % 2 == 0 ? "\t" : " ";
    }
    Script whole;
    ASSERT_FALSE(parse_script(text, whole));
    std::FILE* file = std::tmpfile();
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
    std::fflush(file), std::rewind(file);
    ScriptReader reader(::fileno(file));
    Script pieces;
    for (ScriptStep run{}; reader.next(run);) pieces.steps.push_back(run);
    std::fclose(file);
    EXPECT_FALSE(reader.error() || reader.read_error() != 0);
    EXPECT_EQ(runs(whole.steps), runs(written.steps));
    EXPECT_EQ(runs(pieces.steps), runs(written.steps));
    EXPECT_EQ((std::tuple(whole.cycles, reader.cycles())), (std::tuple(written.cycles, written.cycles)));
}

// A script long enough to spill to the temporary file replays run for run
// as it was added, across every window it is read back in, and a replay
// stopped early stops where asked.
TEST(RunSpool, SpilledRunsReplayAsAdded) {
    std::mt19937 random(11);
    std::vector<ScriptStep> added;
    RunSpool spool;
    for (int i = 0; i < 100'000; ++i) {  // three windows of 32768 runs, and some
        const ScriptStep run{i % 7 == 0 ? CHECK : static_cast<std::int32_t>(random() % 256),
                             1 + random() % 1000};
        added.push_back(run);
        ASSERT_TRUE(spool.add(run));
    }
    std::vector<ScriptStep> replayed;
    ASSERT_TRUE(spool.replay([&](const ScriptStep& run) {
        replayed.push_back(run);
        return true;
    }));
    EXPECT_EQ(runs(replayed), runs(added));
    std::uint64_t cycles = 0;
    for (const ScriptStep& run : added) cycles += run.key == CHECK ? 0 : run.count;
    EXPECT_EQ(spool.cycles(), cycles);
    std::size_t seen = 0;
    ASSERT_TRUE(spool.replay([&](const ScriptStep&) { return ++seen < 40'000; }));
    EXPECT_EQ(seen, 40'000U);
}

using test::trace;

const std::string GOLDEN = GOLDEN_DIR;

TEST(TraceProgram, TypicalUseAsTableAndCsvFromAFileAndStandardInput) {
    const std::string keys = GOLDEN + "/typical.keys";
    const Result table = trace({"--changes", keys});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out, slurp(GOLDEN + "/typical.table"));
    const Result csv = trace({"-c", "--format=csv", "-"}, slurp(keys));
    EXPECT_EQ(csv.out, slurp(GOLDEN + "/typical.csv"));
    // --why adds a column as wide as the longest reason, kept by --changes.
    const Result why = trace({"--why", "--changes"}, "c a . a e");
    EXPECT_NE(why.out.find("  why" + std::string(49, ' ') + "  row10"), std::string::npos) << why.out;
    EXPECT_NE(why.out.find("    5  e     ignored: time not yet what the temperature calls for  40C"),
              std::string::npos) << why.out;
}

TEST(TraceProgram, RawInputAndCycleCounts) {
    const std::string csv_header_end = "cur_temp\r\n";
    auto rows = [&](const Result& r) {
        return r.out.substr(r.out.find(csv_header_end) + csv_header_end.size());
    };
    // The same keys as raw bytes and as a script trace the same; odd bytes
    // show escaped or quoted.
    EXPECT_EQ(rows(trace({"--raw", "-f", "csv"}, "ae\xff\",x")), rows(trace({"-f", "csv"}, "ae\\xff\",x")));
    auto row = [](int n, const std::string& key) {
        return std::to_string(n) + "," + key + ",00:00,00: manual,32,0,0,idle,closed,0,time,none,0,20,20\r\n";
    };
    EXPECT_EQ(rows(trace({"--raw", "-f", "csv"}, " !~\x7f\xff\",")),
              row(1, "\\x20") + row(2, "!") + row(3, "~") + row(4, "\\x7f") + row(5, "\\xff") +
                  row(6, "\"\"\"\"") + row(7, "\",\""));
    // --cycles cuts a script or goes on without keys; a huge count costs nothing.
    for (const bool raw : {false, true}) {
        const std::string flag = raw ? "--raw" : "--changes";
        EXPECT_EQ(rows(trace({flag, "-fcsv", "-n", "1"}, "abc")).substr(0, 4), "1,a,") << raw;
        const std::string longer = rows(trace({flag, "--format=csv", "--cycles=4"}, "a"));
        EXPECT_EQ(longer.substr(longer.rfind("\r\n", longer.size() - 3) + 2, 3), "4,,") << raw;
    }
    EXPECT_EQ(trace({"-n", "0"}, "a").out.find('\n') + 1, trace({"-n", "0"}, "a").out.size());
    // The cycle column as wide as the last cycle's number and its header,
    // and ten digits wide where the count is not known ahead (a pipe).
    for (const auto& [args, input] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--raw"}, "a"}, {{"-n", "0"}, "a"}, {{}, ""}, {{"--raw", "-n", "0"}, ""}})
        EXPECT_EQ(trace(args, input).out.substr(0, 12), "cycle  key  ") << input;
    const Result piped = test::run_program("/bin/sh", {"-c", "printf a | " + std::string(COOKER_PANEL_TRACE) + " --raw"});
    EXPECT_EQ(piped.out.substr(0, 12), "     cycle  ");
    // Over the output buffer's size, every byte in its place.
    std::string expected;
    for (int n = 1; n <= 1200; ++n) expected += row(n, "");
    EXPECT_EQ(rows(trace({"-f", "csv", "-n", "1200"}, ".{1000000000}")), expected);
}

TEST(TraceProgram, WaveformOfTheTypicalUse) {
    // Header, start-up values at #0, the end in cycle 101 with the bell pulse
    // and the backlight off, the opening in 130: all in the golden file.
    // Of two --format, the last counts.
    EXPECT_EQ(trace({"-fcsv", "--format", "vcd", GOLDEN + "/typical.keys"}).out, slurp(GOLDEN + "/typical.vcd"));
    // The dump ends one unit after the last cycle, which so has a width,
    // also when that cycle changes nothing.
    const std::string quiet = trace({"-fvcd", "-n1"}, ".").out;
    EXPECT_EQ(quiet.substr(quiet.size() - 11), "0L\n$end\n#2\n");
    if (::access("/usr/bin/vcd2fst", X_OK) == 0) {  // the waveform viewer reads it
        EXPECT_EQ(std::system(("vcd2fst " + GOLDEN +
                               "/typical.vcd /tmp/trace-test.fst >/dev/null 2>&1 && "
                               "fst2vcd /tmp/trace-test.fst | grep -q '^#132'")
                                  .c_str()),
                  0);
        std::remove("/tmp/trace-test.fst");
    }
}

TEST(Tracer, GoesOnFromASavedPanelAsTheWholeRunDoes) {
    // A tracer made from another's panel and what its screen showed traces
    // the next cycles as the whole run does: saved at every cycle of a
    // session that selects, raises, cooks in two modes, opens the door in
    // each phase, cancels and rings, in manual mode with the temperature shown.
    const std::vector<std::int32_t> keys =
        test::keys_of("a c a b e .{10} f f e c d d e . f f e d d d e .{400} f .{19} f .{879}");
    Tracer whole;
    std::vector<TraceRecord> records;
    for (const std::int32_t key : keys) records.push_back(whole.step(key));
    Tracer replayed;
    for (std::size_t saved = 0; saved < keys.size(); saved += saved < 60 ? 1 : 37) {
        Tracer resumed(replayed.panel(), replayed.record());
        for (std::size_t i = saved; i < std::min(keys.size(), saved + 40); ++i) {
            const TraceRecord& r = resumed.step(keys[i]);
            ASSERT_TRUE(same_panel(r, records[i]) && r.cycle == records[i].cycle) << "saved after " << saved << ", cycle " << i + 1;
            ASSERT_EQ(r.why, records[i].why) << i + 1;
        }
        for (std::size_t i = saved; i < std::min(keys.size(), saved + (saved < 60 ? 1 : 37)); ++i) replayed.step(keys[i]);
    }
}

TEST(Tracer, PanelsKeepTheirOwnOutputOnThreadsAndInAnyOrder) {
    // Each panel has its own sink: two tracers at once, on two threads or
    // interleaved on one and ended in either order, trace what one alone does.
    const auto key = [](int cycle) { return cycle % 97 == 1 ? 'a' : cycle % 97 == 2 ? 'e' : NO_KEY; };
    auto run = [&](std::vector<TraceRecord>& records) {
        Tracer tracer;
        for (int cycle = 0; cycle < 400; ++cycle) records.push_back(tracer.step(key(cycle)));
    };
    std::vector<TraceRecord> alone, left, right;
    run(alone);
    std::thread a(run, std::ref(left)), b(run, std::ref(right));
    a.join(), b.join();
    for (const bool first_ends_first : {true, false}) {
        std::unique_ptr<Tracer> tracers[2] = {std::make_unique<Tracer>(), std::make_unique<Tracer>()};
        std::vector<TraceRecord> records[2];
        for (int cycle = 0; cycle < 400; ++cycle) {
            if (cycle == 200) tracers[first_ends_first ? 0 : 1].reset();  // the other runs on
            for (int t = 0; t < 2; ++t)
                if (tracers[t]) records[t].push_back(tracers[t]->step(key(cycle)));
        }
        for (const auto* other : {&records[0], &records[1], &left, &right}) {
            ASSERT_EQ(other->size(), other == &records[first_ends_first ? 0 : 1] ? 200U : 400U);
            for (std::size_t i = 0; i < other->size(); ++i) ASSERT_TRUE(same_panel((*other)[i], alone[i])) << i;
        }
    }
}

TEST(Screen, ShowsWhatATerminalWould) {
    const struct {
        const char* bytes;
        std::string row1;
        std::int32_t color;
    } cases[] = {
        {"\x1b[1;1fab\x1b[1;2f\xea\xb0\x80", "a\xea\xb0\x80", 0},  // a wide character over b
        {"\x1b[1;1f\xea\xb0\x80x\x1b[1;2fy", "yx", 0},             // into its right half: all of it goes
        {"\x1b[1;1f\xed\x9e\xa3x\x1b[1;1fz", "z x", 0},            // onto its left half: the right goes
        {"\x1b[1;1f\xe1\x84\x80x\x1b[1;2fy", "yx", 0},             // U+1100 is wide, U+10FF is not
        {"\x1b[1;1f\xe1\x83\xbfx\x1b[1;2fy", "\xe1\x83\xbfy", 0},
        {"\x1b[1;1f\xc3\xa9\xf0\x9f\x98\x80q\x1b[1;2f!", "\xc3\xa9!q", 0},  // two and four bytes, narrow
        {"\x1b[Hab\x1b[;2Hc\x1b[1;99fz\x1b[0;0f ", "c" + std::string(77, ' ') + "z", 0},
        {"\x1b[1;1fabc\x1b[1;1f x", "xc", 0},  // blanks overwrite
        {"\x1b[1;1fa\x01\x7f\xea\xb0"
         "b\x80",
         "ab\x80", 0},                                            // controls, a cut character
        {"\x1b[1;3f\x1b[1;2;3;4;5;33m ab\x1b[0m c", "ab c", 33},  // the first character's colour
        {"\x1b[1;1f\x1b[32mx\x1b[33m\x1b[1;1fx", "x", 33},        // a colour change alone
    };
    for (const auto& c : cases) {
        Screen screen;
        screen.feed(c.bytes);
        EXPECT_EQ(screen.text(1), c.row1) << c.bytes;
        EXPECT_EQ(screen.color(1), c.color) << c.bytes;
    }
}

TEST(TraceProgram, BadInputGetsOneLineAndNoOutput) {
    const std::string usage = "\nTry 'cooker-panel-trace --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        const char* input;
        int status;
        std::string err;
    } cases[] = {
        {{"--bogus"}, "", 2, "cooker-panel-trace: unrecognized option '--bogus'" + usage},
        {{"--c=3"}, "", 2, "cooker-panel-trace: option '--c=3' is ambiguous; possibilities: '--cycles' '--changes' '--check' '--compare'" + usage},
        {{"--cy=x"}, "", 2, "cooker-panel-trace: invalid number of cycles 'x' (0 to 1000000000)" + usage},
        {{"-n"}, "", 2, "cooker-panel-trace: option requires an argument -- 'n'" + usage},
        {{"--cycles"}, "", 2, "cooker-panel-trace: option '--cycles' requires an argument" + usage},
        {{"-rcx"}, "", 2, "cooker-panel-trace: invalid option -- 'x'" + usage},
        // A bad letter inside a cluster: whatever came before is not the refused option.
        {{"--changes", "-xr"}, "", 2, "cooker-panel-trace: invalid option -- 'x'" + usage},
        {{"--cycles=5", "-rxc"}, "", 2, "cooker-panel-trace: invalid option -- 'x'" + usage},
        {{"keys", "-xr"}, "", 2, "cooker-panel-trace: invalid option -- 'x'" + usage},
        {{"--changes=1"}, "", 2, "cooker-panel-trace: option '--changes' doesn't allow an argument" + usage},
        {{"--cycles=1000000001"}, "", 2, "cooker-panel-trace: invalid number of cycles '1000000001' (0 to 1000000000)" + usage},
        {{"-n", "-1"}, "", 2, "cooker-panel-trace: invalid number of cycles '-1' (0 to 1000000000)" + usage},
        {{"--format=xml"}, "", 2, "cooker-panel-trace: invalid format 'xml' (table, csv, vcd or svg)" + usage},
        {{"--why", "-fvcd"}, "", 2, "cooker-panel-trace: option '--why' goes with the table and csv formats only" + usage},
        {{"--why", "-fsvg"}, "", 2, "cooker-panel-trace: option '--why' goes with the table and csv formats only" + usage},
        {{"a", "b"}, "", 2, "cooker-panel-trace: extra operand 'b'" + usage},
        {{}, "a e\n.{100} a{0}", 2, "-:2:10: repeat count '0' is not a decimal from 1 to 1000000000\n"},
        {{"/nonexistent/keys"}, "", 1, "cooker-panel-trace: /nonexistent/keys: No such file or directory\n"},
        {{GOLDEN}, "", 1, "cooker-panel-trace: " + GOLDEN + ": Is a directory\n"},
    };
    for (const auto& c : cases) {
        const Result r = trace(c.args, c.input);
        EXPECT_EQ((std::tuple(r.status, r.err, r.out)), (std::tuple(c.status, c.err, ""))) << c.err;
    }
    const Result full = trace({"-n", "100000"}, "", "/dev/full");
    EXPECT_EQ((std::tuple(full.status, full.err)),
              (std::tuple(1, "cooker-panel-trace: write error: No space left on device\n")));
    EXPECT_EQ(trace({"--version"}).out, "cooker-panel-trace (cooker-panel) 1.0.0\n");
    const std::string help = trace({"--help"}).out;
    EXPECT_EQ(help.substr(0, 47), "Usage: cooker-panel-trace [OPTION]... [SCRIPT]\n");
    EXPECT_NE(help.find("\n  -n, --cycles=N       run exactly N cycles (0 to 1000000000); a shorter\n"
                        "                         script goes on without keys, a longer one is cut\n"),
              std::string::npos);
    EXPECT_EQ(trace({"--help"}, "", "/dev/full").status, 1);  // help that cannot be written is an I/O error
}

TEST(TraceProgram, LongAndEndlessScriptsCostBoundedMemory) {
    // 200,000 runs, more than memory holds for the second pass: traced
    // right, or refused whole for a bad byte at the very end.
    std::string keys;
    for (int i = 0; i < 100000; ++i) keys += "x y ";
    const Result long_run = trace({"-f", "csv", "-c"}, keys + "a e");
    EXPECT_EQ(long_run.status, 0);
    EXPECT_NE(long_run.out.find("\r\n200002,e,00:10,00: manual,32,0,1,running,"), std::string::npos);
    // The runs go to a file under TMPDIR; one that cannot be made is an I/O error.
    const Result no_file =
        test::run_program("/bin/sh", {"-c", "TMPDIR=/nonexistent exec " + std::string(COOKER_PANEL_TRACE)}, keys);
    EXPECT_EQ((std::tuple(no_file.status, no_file.out, no_file.err)),
              (std::tuple(1, "", "cooker-panel-trace: temporary file for a long script: No such file or directory\n")));
#ifndef __SANITIZE_ADDRESS__  // whose shadow memory is no part of the program's
    if (::access("/usr/bin/time", X_OK) == 0) {  // GNU time reports the peak resident memory in KB
        std::string longer;  // 4 MB, two million runs
        for (int i = 0; i < 10; ++i) longer += keys;
        const Result measured = test::run_program("/usr/bin/time", {"-f", "%M", COOKER_PANEL_TRACE}, longer + "\x01");
        const std::string& err = measured.err;  // the program's line, time's note of the status, then the KB
        EXPECT_LT(std::stol(err.substr(err.rfind('\n', err.size() - 2) + 1)), 8 * 1024) << err;
    }
#endif
    const Result bad_end = trace({}, keys + "\x01");
    EXPECT_EQ((std::tuple(bad_end.status, bad_end.out, bad_end.err)),
              (std::tuple(2, "", "-:1:400001: control byte \\x01 is no part of the notation; write it \\x01\n")));
    // An endless input: a bad byte stops it at once, a count ends it.
    const Result zero = trace({"/dev/zero"});
    EXPECT_EQ((std::tuple(zero.status, zero.err)),
              (std::tuple(2, "/dev/zero:1:1: control byte \\x00 is no part of the notation; write it \\x00\n")));
    const Result counted = test::run_program("/bin/sh", {"-c", "yes . | " + std::string(COOKER_PANEL_TRACE) + " -n 2 -f csv"});
    EXPECT_EQ(std::count(counted.out.begin(), counted.out.end(), '\n'), 3) << counted.out;
}

TEST(TraceProgram, ReaderThatGoesAwayEndsItQuietly) {
    // Even where the caller ignores SIGPIPE, as some do.
    const std::string command = "trap '' PIPE; exec " + std::string(COOKER_PANEL_TRACE) +
                                " -n 1000000000 /dev/null 2>/tmp/trace-quiet";
    FILE* out = ::popen(command.c_str(), "r");
    char buffer[256];
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, out), sizeof buffer);
    const int status = ::pclose(out);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE);
    EXPECT_EQ(slurp("/tmp/trace-quiet"), "");
    std::remove("/tmp/trace-quiet");
}

}  // namespace
}  // namespace panel::trace
