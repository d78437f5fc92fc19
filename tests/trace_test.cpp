// The key-script parser in-process, and the trace program end to end: golden
// output for the typical use, the waveform, raw input, and bad input that
// leaves nothing half-done.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "key_script.h"

namespace panel::trace {
namespace {

std::string slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// One step a character, '_' for a cycle without a key.
std::string expand(const Script& script) {
    std::string keys;
    for (const ScriptStep& s : script.steps)
        keys.append(s.count, s.key == NO_KEY ? '_' : static_cast<char>(s.key));
    return keys;
}

TEST(KeyScript, ParsesStepsAndReportsWhereItFails) {
    const std::pair<const char*, const char*> valid[] = {
        {"a e .{3} f .", "ae___f_"},
        {"a{3}# c {\n\tb\r\n#", "aaab"},
        {"\\x41\\xfF\\\\\\.\\#\\{x{002}}", "A\xff\\.#{xx}"},
        {"", ""},
    };
    for (const auto& [text, keys] : valid) {
        Script script;
        EXPECT_EQ(parse_script(text, script).has_value(), false) << text;
        EXPECT_EQ(expand(script), keys) << text;
        EXPECT_EQ(script.cycles, std::string(keys).size()) << text;
    }
    Script big;
    ASSERT_FALSE(parse_script(".{1000000000}a{1000000000}", big));
    EXPECT_EQ(big.steps.size(), 2U);  // counts cost no memory
    EXPECT_EQ(big.cycles, 2'000'000'000U);

    const struct {
        const char* text;
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
        {"a{+1}", 1, 3, "repeat count '+1' is not a decimal from 1 to 1000000000"},
        {"a{}", 1, 3, "repeat count '' is not a decimal from 1 to 1000000000"},
        {"ab\n  \\xg0", 2, 3, "'\\x' must be followed by two hex digits"},
        {"\\x4", 1, 1, "'\\x' must be followed by two hex digits"},
        {"a\\", 1, 2, "'\\' at the end of the script"},
        {"\\n", 1, 1, "unknown escape: use \\\\, \\., \\#, \\{ or \\xHH"},
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

struct Result {
    int status;  // exit status, or 128 + signal
    std::string out, err;
};

// Runs the program with input on standard input and standard output into
// out_path (a temporary file unless given).
Result trace(const std::vector<std::string>& args, const std::string& input = "",
             const std::string& out_path = "") {
    char in_name[] = "/tmp/trace-in-XXXXXX", out_name[] = "/tmp/trace-out-XXXXXX",
         err_name[] = "/tmp/trace-err-XXXXXX";
    const int in = ::mkstemp(in_name), out = ::mkstemp(out_name), err = ::mkstemp(err_name);
    EXPECT_EQ(::write(in, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::lseek(in, 0, SEEK_SET);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out_path.empty() ? out : ::open(out_path.c_str(), O_WRONLY), 1);
        ::dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(COOKER_PANEL_TRACE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(COOKER_PANEL_TRACE, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Result r{WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status), slurp(out_name),
             slurp(err_name)};
    for (const char* name : {in_name, out_name, err_name}) ::unlink(name);
    ::close(in), ::close(out), ::close(err);
    return r;
}

const std::string GOLDEN = GOLDEN_DIR;

TEST(TraceProgram, TypicalUseAsTableAndCsvFromAFileAndStandardInput) {
    const std::string keys = GOLDEN + "/typical.keys";
    const Result table = trace({"--changes", keys});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out, slurp(GOLDEN + "/typical.table"));
    const Result csv = trace({"-c", "--format=csv", "-"}, slurp(keys));
    EXPECT_EQ(csv.out, slurp(GOLDEN + "/typical.csv"));
    // Every cycle when asked: 131 rows and the header, the last one row 131.
    const std::string all = trace({"-f", "csv"}, slurp(keys)).out;
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 132);
    EXPECT_EQ(all.substr(all.rfind("\r\n", all.size() - 3) + 2),
              "131,,00:00,00: manual,33,0,1,idle,open,0,time,none,0,20,20\r\n");
}

TEST(TraceProgram, RawInputAndCycleCounts) {
    const std::string csv_header_end = "cur_temp\r\n";
    auto rows = [&](const Result& r) {
        return r.out.substr(r.out.find(csv_header_end) + csv_header_end.size());
    };
    // The same keys as raw bytes and as a script trace the same; odd bytes
    // show escaped or quoted.
    EXPECT_EQ(rows(trace({"--raw", "-f", "csv"}, "ae\xff\",x")), rows(trace({"-f", "csv"}, "ae\\xff\",x")));
    EXPECT_EQ(rows(trace({"--raw", "-f", "csv"}, "\xff\",")),
              "1,\\xff,00:00,00: manual,32,0,0,idle,closed,0,time,none,0,20,20\r\n"
              "2,\"\"\"\",00:00,00: manual,32,0,0,idle,closed,0,time,none,0,20,20\r\n"
              "3,\",\",00:00,00: manual,32,0,0,idle,closed,0,time,none,0,20,20\r\n");
    // --cycles cuts a script or goes on without keys; a huge count costs nothing.
    for (const bool raw : {false, true}) {
        const std::string flag = raw ? "--raw" : "--changes";
        const std::string cut = rows(trace({flag, "-fcsv", "-n", "2"}, "abc"));
        EXPECT_EQ(cut.substr(cut.find("\r\n") + 2, 4), "2,b,") << raw;
        EXPECT_EQ(std::count(cut.begin(), cut.end(), '\n'), 2) << raw;
        const std::string longer = rows(trace({flag, "--format=csv", "--cycles=4"}, "a"));
        EXPECT_EQ(longer.substr(longer.rfind("\r\n", longer.size() - 3) + 2, 3), "4,,") << raw;
    }
    EXPECT_EQ(trace({"-n", "0"}, "a").out.find('\n') + 1, trace({"-n", "0"}, "a").out.size());
    const std::string huge = trace({"-f", "csv", "-n", "3"}, ".{1000000000}").out;
    EXPECT_EQ(std::count(huge.begin(), huge.end(), '\n'), 4);
}

TEST(TraceProgram, WaveformHeaderStartValuesAndBellPulse) {
    const Result r = trace({"--format", "vcd", GOLDEN + "/typical.keys"});
    EXPECT_EQ(r.out.substr(0, r.out.find("$var")),
              "$version cooker-panel-trace 1.0.0 $end\n$timescale 100 ms $end\n$scope module panel $end\n");
    const std::string start =
        "$var wire 1 L bell $end\n$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n"
        "bx A\nb0 B\n0C\nb0 D\n0E\nb11 F\nb0 G\nb10100 H\nb10100 I\n0J\nb100000 K\n0L\n$end\n";
    EXPECT_NE(r.out.find(start), std::string::npos);
    // The run ends in cycle 101: bell, backlight off, time 0; green from 102.
    EXPECT_NE(r.out.find("#101\nb10 B\nb0 G\n0J\n1L\n#102\nb100000 K\n0L\n#111\n1L\n#112\n0L\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("#130\nb1100110 A\nb0 B\n1C\n"), std::string::npos);  // f: reset and open
    EXPECT_EQ(r.out.substr(r.out.rfind('#')), "#131\nbx A\nb100001 K\n");
    if (::access("/usr/bin/vcd2fst", X_OK) == 0) {  // the waveform viewer reads it
        std::ofstream("/tmp/trace-test.vcd") << r.out;
        EXPECT_EQ(std::system("vcd2fst /tmp/trace-test.vcd /tmp/trace-test.fst >/dev/null 2>&1 && "
                              "fst2vcd /tmp/trace-test.fst | grep -q '^#131'"),
                  0);
        std::remove("/tmp/trace-test.vcd"), std::remove("/tmp/trace-test.fst");
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
        {{"-n"}, "", 2, "cooker-panel-trace: option '-n' requires a value" + usage},
        {{"--cycles=1000000001"},
         "",
         2,
         "cooker-panel-trace: invalid number of cycles '1000000001' (0 to 1000000000)" + usage},
        {{"-n", "-1"}, "", 2, "cooker-panel-trace: invalid number of cycles '-1' (0 to 1000000000)" + usage},
        {{"--format=xml"}, "", 2, "cooker-panel-trace: invalid format 'xml' (table, csv or vcd)" + usage},
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
    for (const char* option : {"--help", "--version"}) {
        const Result r = trace({option});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(
            r.out.rfind("cooker-panel-trace", 0) == 0 || r.out.rfind("Usage: cooker-panel-trace", 0) == 0,
            true);
    }
}

TEST(TraceProgram, ReaderThatGoesAwayEndsItQuietly) {
    int out[2], err[2];
    ASSERT_EQ(::pipe(out) | ::pipe(err), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGPIPE, SIG_IGN);  // as some callers leave it
        ::dup2(out[1], 1), ::dup2(err[1], 2);
        ::close(out[0]), ::close(err[0]);
        ::execl(COOKER_PANEL_TRACE, COOKER_PANEL_TRACE, "--cycles", "1000000000", "/dev/null", nullptr);
        ::_exit(127);
    }
    ::close(out[1]), ::close(err[1]);
    char buffer[256];
    EXPECT_GT(::read(out[0], buffer, sizeof buffer), 0);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE);
    EXPECT_EQ(::read(err[0], buffer, sizeof buffer), 0);  // nothing said
    ::close(err[0]);
}

}  // namespace
}  // namespace panel::trace
