// Scripts that check themselves: a script's checks read in the explorer's
// condition language (plus `why`, what the cycle's key did, as text) and run
// on a trace, each after the cycle it follows, with what was found where one
// fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "condition.h"
#include "key_script.h"
#include "run_spool.h"
#include "trace_writer.h"

namespace panel::explore {

// A check with its condition read.
struct ScenarioCheck {
    ScriptCheck check;
    std::vector<Condition> conditions;
    // why=TEXT or why!=TEXT, compared with the reason the trace gives.
    struct Why {
        bool equal;
        std::string text;
    };
    std::vector<Why> why;
};

// Reads a check's condition; an error is placed in the script.
std::optional<ScriptError> read_check(const ScriptCheck& check, ScenarioCheck& read);

// What a check found.
struct CheckResult {
    bool passed = true;
    std::uint64_t cycle = 0;  // where it passed or failed
    std::string got;          // the fields the condition names, FIELD=VALUE, ...
    bool ran = true;          // false where --cycles ended the run first
};

// Runs check on trace: EXPECT on the last cycle run, FOR and WAIT over the
// cycles they run without a key, never past limit cycles in all. The
// outcome goes to the trace's writer too.
CheckResult run_check(const ScenarioCheck& check, trace::ScriptTrace& trace, std::uint64_t limit = UINT64_MAX);

// "expected COND; got FIELD=VALUE, ..." as reports say it, with the cycle.
std::string failure_text(const ScenarioCheck& check, const CheckResult& result);

// The parts of a check a host that runs its own cycles uses (the page):
// whether the condition holds after the tracer's last cycle, what the
// fields it names are then, and the line the table writes for a result.
bool check_holds(const ScenarioCheck& check, const trace::Tracer& tracer);
std::string check_got(const ScenarioCheck& check, const trace::Tracer& tracer);
std::string mark_text(const ScenarioCheck& check, const CheckResult& result);

// Bounds on how many checks a script may hold, and on the bytes of their
// conditions in all, so that no script costs memory beyond them.
inline constexpr std::size_t MAX_CHECKS = 100'000;
inline constexpr std::size_t MAX_CHECK_BYTES = std::size_t{4} << 20;

// A script read whole before its first cycle: its runs held for a second
// pass (a check among them as a CHECK step whose count is its index), its
// checks read.
struct Scenario {
    RunSpool runs;
    std::vector<ScenarioCheck> checks;
    std::optional<ScriptError> error;  // in a check, found while reading
};

// Reads check and adds it to checks, within the bounds above (bytes counts
// the bytes of their conditions so far); an error is placed in the script.
std::optional<ScriptError> add_check(const ScriptCheck& check, std::vector<ScenarioCheck>& checks, std::size_t& bytes);

// Reads what reader gives into scenario, stopping at the first error in a
// check (the reader keeps its own). False, with errno saying why, when the
// runs could not be held.
[[nodiscard]] bool read_scenario(ScriptReader& reader, Scenario& scenario);

// Reads a script whole from fd, its checks too, as far as limit cycles, for
// a command-line program: a bad one ends it as "name:LINE:COLUMN: what" with
// status 2, before anything is written; a failed read as an I/O error.
// Returns the cycles read.
std::uint64_t read_scenario_or_exit(const char* program, const char* name, int fd, Scenario& scenario,
                                    std::uint64_t limit = UINT64_MAX);

// How a run of a scenario went.
struct ScenarioOutcome {
    std::uint64_t passed = 0, failed = 0, not_run = 0;
    // "cycle N: expected COND; got ..." of the check that failed, and where
    // it stands in the script, "LINE:COLUMN".
    std::optional<std::string> failure;
    std::string failed_at;
    bool held = true;  // false when the held runs could not be read back (errno)
};

// Runs scenario on trace: its keys, each check where it stands, to its end or
// its first failed check. With cycles, exactly that many cycles are run
// (fewer where a check fails): the script is cut, or goes on without keys.
// Every cycle run, the checks' own among them, goes to ran as runs of keys,
// where it is given.
ScenarioOutcome run_scenario(Scenario& scenario, trace::ScriptTrace& trace,
                             std::optional<std::uint64_t> cycles = std::nullopt, RunSpool* ran = nullptr);

}  // namespace panel::explore
