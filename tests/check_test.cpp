// Scripts that check themselves: the notation of checks, and checks run by
// the trace in every mode.
#include <gtest/gtest.h>

#include "key_script.h"
#include "test_support.h"

namespace panel {
namespace {

// Checks read and written back; the errors they can have are in the
// notation's table of errors with the rest.
TEST(CheckNotation, ChecksReadWhereTheyStandAndWriteBack) {
    const struct {
        const char* text;
        CheckKind kind;
        const char* condition;  // folded to one line
        std::uint64_t cycles;
        std::size_t line, column, condition_line, condition_column;
        const char* written;
    } valid[] = {
        {"a {expect time=10}", CheckKind::EXPECT, "time=10", 0, 1, 3, 1, 11, "a {expect time=10}"},
        {"{expect  mode=porridge,\n   row11='02:  죽' # porridge\n}", CheckKind::EXPECT,
         "mode=porridge, row11='02:  죽'", 0, 1, 1, 1, 10, "{expect mode=porridge, row11='02:  죽'}"},
        {".{2}{wait operation=ended within 1:31}", CheckKind::WAIT, "operation=ended", 910, 1, 5, 1, 11,
         ".{2} {wait operation=ended within 1:31}"},
        {"{expect operation=ended for 2s}", CheckKind::FOR, "operation=ended", 20, 1, 1, 1, 9,
         "{expect operation=ended for 2s}"},
        {"{wait bell=1 within 0}", CheckKind::WAIT, "bell=1", 0, 1, 1, 1, 7, "{wait bell=1 within 0}"},
        {"{expect row11='}' for 3}", CheckKind::FOR, "row11='}'", 3, 1, 1, 1, 9, "{expect row11='}' for 3}"},
    };
    for (const auto& v : valid) {
        Script script;
        ASSERT_FALSE(parse_script(v.text, script)) << v.text;
        ASSERT_EQ(script.checks.size(), 1U) << v.text;
        const ScriptCheck& c = script.checks[0];
        EXPECT_EQ((std::tuple(c.kind, c.condition_text(), c.cycles, c.line, c.column, c.condition_line,
                              c.condition_column)),
                  (std::tuple(v.kind, std::string(v.condition), v.cycles, v.line, v.column, v.condition_line,
                              v.condition_column)))
            << v.text;
        EXPECT_EQ(format_script(script), v.written) << v.text;
        EXPECT_EQ(script.steps.back().key, CHECK) << v.text;
    }
    // A check ends the run before it, and the runs after it start anew.
    Script runs;
    ASSERT_FALSE(parse_script("a a {expect time=20} a {expect time=30}{expect time=30}", runs));
    EXPECT_EQ(format_script(runs), "a{2} {expect time=20} a {expect time=30} {expect time=30}");
    ASSERT_EQ(runs.steps.size(), 5U);
    EXPECT_EQ((std::tuple(runs.steps[1].key, runs.steps[1].count, runs.steps[4].count)),
              (std::tuple(CHECK, 0U, 2U)));
    EXPECT_EQ(runs.cycles, 3U);
}

using test::Result;
using test::trace;

std::string summary(int checks, int passed, int failed, int not_run) {
    return "1 scenario, " + std::to_string(checks) + (checks == 1 ? " check: " : " checks: ") +
           std::to_string(passed) + " passed, " + std::to_string(failed) + " failed, " + std::to_string(not_run) +
           " not run\n";
}

// Each kind of check, passing and failing at its line and cycle.
TEST(Checks, EachKindPassesOrFailsWhereItStands) {
    const struct {
        const char* script;
        const char* failure;  // as --check says it, or "" when every check passes
        int checks, passed, not_run;
    } cases[] = {
        {"d e {expect why=ignored: no time set} f {expect why!='door opened'}",
         "-:1:41: cycle 3: expected why!='door opened'; got why=door opened", 2, 1, 0},
        // A wait that holds at its last cycle passes; one cycle less times out there.
        {"a e {wait operation=ended within 99} {expect time=0, bell=1}", "", 2, 2, 0},
        {"a e {wait operation=ended within 98} {expect time=0}",
         "-:1:5: cycle 100: expected operation=ended; got operation=running", 2, 0, 1},
        {"{wait operation=idle within 0} {expect time=0}", "", 2, 2, 0},  // holds already: no cycle
        // A for fails in the cycle where its condition stops holding.
        {"a e {expect time>=5 for 8s}", "-:1:5: cycle 61: expected time>=5; got time=4", 1, 0, 0},
        {"a e {expect operation=running for 5s} {expect row10=00:05, cycle_ok=1}", nullptr, 0, 0, 0},
        {"a e {expect operation=running for 5s} {expect row10=00:05}", "", 2, 2, 0},
        // Nothing is drawn before the first cycle.
        {"{expect row10=00:00}", "-:1:1: cycle 0: expected row10=00:00; got row10=", 1, 0, 0},
        {". {expect row10=00:00, color=green, row11='00: manual'}", "", 1, 1, 0},
    };
    for (const auto& c : cases) {
        const Result r = trace({"--check"}, c.script);
        if (c.failure == nullptr) {  // a bad condition: nothing run
            EXPECT_EQ((std::tuple(r.status, r.out)), (std::tuple(2, ""))) << c.script;
            EXPECT_NE(r.err.find("-:1:60: unknown field 'cycle_ok'"), std::string::npos) << r.err;
            continue;
        }
        const bool failed = *c.failure != '\0';
        const std::string said = failed ? std::string(c.failure) + "\n" : "";
        EXPECT_EQ((std::tuple(r.status, r.out, r.err)),
                  (std::tuple(failed ? 1 : 0, said + summary(c.checks, c.passed, failed ? 1 : 0, c.not_run), "")))
            << c.script;
    }
}

// Several scenarios: a bad one stops them all before anything runs; else each
// is run, a scenario without checks named, and reports for CI.
TEST(Checks, ScenariosReportedForPeopleAndForCi) {
    const test::TempDir dir;
    const std::string good = dir.file("good.keys", "a e {expect operation=running}\n{wait operation=ended within 10s}\n");
    const std::string bad = dir.file("bad.keys", "d{2} e\n{expect operation=running} {expect door=open}\n");
    const std::string none = dir.file("none.keys", "a e .{3}\n");
    const std::string broken = dir.file("broken.keys", "a\n {expect door=ajar}\n");

    Result r = trace({"--check", good, broken, bad});
    EXPECT_EQ((std::tuple(r.status, r.out, r.err)),
              (std::tuple(2, "", broken + ":2:15: unknown word 'ajar' for door (closed or open)\n")));

    const std::string failure = bad + ":2:1: cycle 3: expected operation=running; got operation=idle\n";
    const std::string counts = "3 scenarios, 4 checks: 2 passed, 1 failed, 1 not run\n";
    r = trace({"--check", good, bad, none});
    EXPECT_EQ((std::tuple(r.status, r.out, r.err)),
              (std::tuple(1, failure + none + ": no checks: it runs, but tests nothing\n" + counts, "")));

    // JUnit: what xmllint reads back; TAP: what Perl's TAP parser reads back.
    r = trace({"--check", "--report=junit", good, bad, none});
    EXPECT_EQ((std::tuple(r.status, r.err)), (std::tuple(1, failure + none + ": no checks: it runs, but tests nothing\n" + counts)));
    const std::string xml = dir.file("report.xml", r.out);
    auto xpath = [&xml](const std::string& query) {
        std::string value = test::run_program("/usr/bin/xmllint", {"--xpath", query, xml}).out;
        return value.substr(0, value.find_last_not_of('\n') + 1);
    };
    EXPECT_EQ(xpath("string(/testsuite/@tests)"), "3");
    EXPECT_EQ(xpath("count(//testcase[failure])"), "1");
    EXPECT_EQ(xpath("string(//testcase[failure]/@name)"), bad);
    EXPECT_EQ(xpath("string(//failure/@message)"), "cycle 3: expected operation=running; got operation=idle");
    r = trace({"--check", "--report=tap", good, bad, none});
    const std::string tap = dir.file("report.tap", r.out);
    const Result parsed = test::run_program(
        "/usr/bin/perl",
        {"-MTAP::Parser", "-e",
         "my $p = TAP::Parser->new({source => $ARGV[0]}); my @t; while (my $r = $p->next) { push @t, $r->number . "
         "($r->is_ok ? '+' : '-') if $r->is_test } print $p->version, ' ', $p->plan, ' ', join(',', @t), "
         "($p->parse_errors ? ' errors' : '')",
         tap});
    EXPECT_EQ(parsed.out, "13 1..3 1+,2-,3+");
    EXPECT_NE(r.out.find("  at: \"" + bad + ":2:1\"\n"), std::string::npos) << r.out;

    // The explorer starts from a scenario only where its checks hold.
    const Result from = test::run_program(COOKER_PANEL_EXPLORE, {"--from=" + bad, "--reach=door=open"});
    EXPECT_EQ((std::tuple(from.status, from.out, from.err)), (std::tuple(1, "", failure)));
    const Result waited = test::run_program(COOKER_PANEL_EXPLORE, {"--from=" + good, "--reach=door=open"});
    EXPECT_EQ((std::tuple(waited.status, waited.out)), (std::tuple(0, "a e .{99} f\n")));
    // A '#' in a name would make a directive of the rest: a failure read as a skip.
    const std::string hashed = dir.file("a # SKIP.keys", "{expect door=open}\n");
    r = trace({"--check", "--report=tap", hashed});
    EXPECT_NE(r.out.find("not ok 1 - " + dir.path.string() + "/a \\# SKIP.keys\n"), std::string::npos) << r.out;
}

// Every format honours the checks and ends where one fails: a line under the
// checked row of the table (kept by --changes; a passed one the README's
// lag-mode block shows), a mark in the drawing, and CSV and VCD as data with
// the failure on standard error; status 1 in all.
TEST(Checks, EveryFormatEndsAtTheFailedCheck) {
    const std::string script = "a e {expect operation=running} .{20} {expect time=10} .{5}";
    Result r = trace({"--changes"}, script);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("   22        00:08     33     0          1  running    closed     0  time     none       8        50        20  00: manual\n"
                                "       \u2717 expect time=10; got time=8\n"))
        << r.out;
    EXPECT_EQ(r.err, "");
    const std::string failure = "-:1:38: cycle 22: expected time=10; got time=8\n";
    for (const char* format : {"--format=vcd", "--format=csv"}) {
        r = trace({format}, script);
        EXPECT_EQ((std::tuple(r.status, r.err)), (std::tuple(1, failure))) << format;
        EXPECT_EQ(r.out.find("\u2713"), std::string::npos) << format;
    }
    // The CSV, the last of the two, ends with the failed check's row.
    EXPECT_TRUE(r.out.ends_with("\r\n22,,00:08,00: manual,33,0,1,running,closed,0,time,none,8,50,20\r\n")) << r.out;
    r = trace({"--format=svg"}, script);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("<g data-check=\"passed\"><title>\u2713 expect operation=running, cycle 2</title>"),
              std::string::npos);
    EXPECT_NE(r.out.find("<g data-check=\"failed\"><title>\u2717 expect time=10; got time=8, cycle 22</title>"),
              std::string::npos);
    // With --cycles, a check after the cycles cut off, or one that would run
    // past them, is not run; one where the keys end at them is.
    r = trace({"--check", "--cycles=10"}, script);
    EXPECT_EQ((std::tuple(r.status, r.out)), (std::tuple(0, summary(2, 1, 0, 1))));
    r = trace({"--check", "--cycles=10"}, "a e {expect operation=running for 9} {expect time=10}");
    EXPECT_EQ((std::tuple(r.status, r.out)), (std::tuple(0, summary(2, 0, 0, 2))));
    r = trace({"--check", "--cycles=1"}, "d {expect mode=2} d");
    EXPECT_EQ((std::tuple(r.status, r.out)),
              (std::tuple(1, "-:1:3: cycle 1: expected mode=2; got mode=1\n" + summary(1, 0, 1, 0))));
}

}  // namespace
}  // namespace panel
