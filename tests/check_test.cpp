// Scripts that check themselves: the notation of checks, and checks run by
// the trace in every mode.
#include <gtest/gtest.h>

#include "key_script.h"
#include "test_support.h"

namespace panel {
namespace {

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

    const struct {
        std::string text;
        std::size_t line, column;
        const char* message;
    } errors[] = {
        {"{3}", 1, 1, "'{' must follow a key or '.'"},
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

}  // namespace
}  // namespace panel
