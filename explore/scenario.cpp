#include "scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "command_line.h"

#include "state_space.h"

namespace panel::explore {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The fields a check names, in the order it names them, each once.
std::vector<Field> named_fields(const ScenarioCheck& check) {
    std::vector<Field> fields;
    auto add = [&fields](Field f) {
        if (std::find(fields.begin(), fields.end(), f) == fields.end()) {
            fields.push_back(f);
        }
    };
    for (const Condition& c : check.conditions) {
        add(c.field);
        if (c.other) {
            add(*c.other);
        }
    }
    return fields;
}

// "why=TEXT" or "why!=TEXT" between start and end of text (the condition with
// its line ends as blanks), or nullopt when that part is no condition on why.
// An error's column is in text.
std::optional<ExpressionError> read_why(std::string_view text, std::size_t start, std::size_t end,
                                        std::optional<ScenarioCheck::Why>& why) {
    std::size_t at = start;
    while (at < end && is_blank(text[at])) {
        ++at;
    }
    const std::string_view name = trace::field_name(Field::WHY);
    if (text.substr(at, name.size()) != name || (at + name.size() < end && !is_blank(text[at + name.size()]) &&
                                                 std::string_view("=!<>").find(text[at + name.size()]) ==
                                                     std::string_view::npos)) {
        return std::nullopt;
    }
    at += name.size();
    while (at < end && is_blank(text[at])) {
        ++at;
    }
    const std::size_t op = at;
    const std::string_view rest = text.substr(at, end - at);
    bool equal = true;
    if (rest.starts_with("==") || rest.starts_with("!=")) {
        equal = rest[0] == '=';
        at += 2;
    } else if (rest.starts_with("=")) {
        at += 1;
    } else {
        return ExpressionError{op + 1, "'why' takes only = and != and a text, as the trace's why column says it"};
    }
    while (at < end && is_blank(text[at])) {
        ++at;
    }
    if (at == end) {
        return ExpressionError{at + 1, "expected a value after the operator"};
    }
    std::string value;
    if (text[at] == '\'' || text[at] == '"') {
        const std::size_t close = text.find(text[at], at + 1);
        if (close == std::string_view::npos || close >= end) {
            return ExpressionError{at + 1, "the quote opened here is not closed"};
        }
        value = text.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        // Unquoted, the text runs to the end of the condition.
        std::size_t last = end;
        while (last > at && is_blank(text[last - 1])) {
            --last;
        }
        value = text.substr(at, last - at);
        at = end;
    }
    while (at < end && is_blank(text[at])) {
        ++at;
    }
    if (at != end) {
        return ExpressionError{at + 1, "unexpected '" + std::string(text.substr(at, end - at)) +
                                           "' after the quoted text"};
    }
    why = ScenarioCheck::Why{equal, value};
    return std::nullopt;
}

// The state after the trace's last cycle, and the reason for its key.
struct Seen {
    PackedState state;
    std::string why;
};

Seen seen(const trace::Tracer& tracer) {
    // A tracer's panel always packs: it is a state the panel reached.
    return Seen{*pack(tracer), std::string(trace::why_text(tracer.record()).view())};
}

bool holds(const ScenarioCheck& check, const Seen& now) {
    return holds(check.conditions, now.state) &&
           std::all_of(check.why.begin(), check.why.end(),
                       [&now](const ScenarioCheck::Why& w) { return (w.text == now.why) == w.equal; });
}

std::string got_text(const ScenarioCheck& check, const Seen& now) {
    std::string got;
    for (const Field f : named_fields(check)) {
        got += got.empty() ? "" : ", ";
        got += field_name(f);
        got += '=';
        got += trace::csv_field(value_text(f, field_value(now.state, f)));
    }
    if (!check.why.empty()) {
        got += got.empty() ? "why=" : ", why=";
        got += trace::csv_field(now.why);
    }
    return got;
}

}  // namespace

// The check as a line under the table's row says it.
std::string mark_text(const ScenarioCheck& check, const CheckResult& result) {
    std::string text = format_check(check.check);
    text = text.substr(1, text.size() - 2);  // without its braces
    if (!result.passed) {
        text += "; got " + result.got;
    }
    return text;
}

bool check_holds(const ScenarioCheck& check, const trace::Tracer& tracer) { return holds(check, seen(tracer)); }

std::string check_got(const ScenarioCheck& check, const trace::Tracer& tracer) {
    return got_text(check, seen(tracer));
}

std::optional<ScriptError> read_check(const ScriptCheck& check, ScenarioCheck& read) {
    read = ScenarioCheck{check, {}, {}};
    std::string text = check.condition;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    auto error_at = [&check](std::size_t offset, std::string message) {
        ScriptError error{0, 0, std::move(message)};
        check.place(offset, error.line, error.column);
        return error;
    };
    for (std::size_t start = 0;;) {
        const std::size_t comma = next_comma(text, start);
        const std::size_t end = comma == std::string::npos ? text.size() : comma;
        std::optional<ScenarioCheck::Why> why;
        if (auto error = read_why(text, start, end, why)) {
            return error_at(error->column - 1, error->message);
        }
        if (why) {
            read.why.push_back(*why);
        } else {
            std::vector<Condition> conditions;
            if (auto error = parse_expression(std::string_view(text).substr(start, end - start), conditions)) {
                return error_at(start + error->column - 1, error->message);
            }
            read.conditions.insert(read.conditions.end(), conditions.begin(), conditions.end());
        }
        if (comma == std::string::npos) {
            return std::nullopt;
        }
        start = comma + 1;
    }
}

CheckResult run_check(const ScenarioCheck& check, trace::ScriptTrace& trace, const std::uint64_t limit) {
    CheckResult result;
    auto cycle = [&trace] { return trace.tracer().record().cycle; };
    Seen now = seen(trace.tracer());
    bool held = holds(check, now);
    const ScriptCheck& c = check.check;
    if (c.kind == CheckKind::FOR) {
        held = true;
        for (std::uint64_t n = 0; n < c.cycles && held; ++n) {
            if (cycle() >= limit || !trace.cycles(NO_KEY, 1)) {
                result.ran = false;
                return result;
            }
            now = seen(trace.tracer());
            held = holds(check, now);
        }
    } else if (c.kind == CheckKind::WAIT) {
        for (std::uint64_t n = 0; n < c.cycles && !held; ++n) {
            if (cycle() >= limit || !trace.cycles(NO_KEY, 1)) {
                result.ran = false;
                return result;
            }
            now = seen(trace.tracer());
            held = holds(check, now);
        }
    }
    result.passed = held;
    result.cycle = cycle();
    if (!held) {
        result.got = got_text(check, now);
    }
    trace.check(held, mark_text(check, result));
    return result;
}

std::optional<ScriptError> add_check(const ScriptCheck& check, std::vector<ScenarioCheck>& checks, std::size_t& bytes) {
    bytes += check.condition.size();
    if (checks.size() == MAX_CHECKS || bytes > MAX_CHECK_BYTES) {
        return ScriptError{check.line, check.column, "more checks than one script may hold (100000, of 4 MiB in all)"};
    }
    ScenarioCheck read;
    if (auto error = read_check(check, read)) {
        return error;
    }
    checks.push_back(std::move(read));
    return std::nullopt;
}

bool read_scenario(ScriptReader& reader, Scenario& scenario) {
    ScriptStep run{};
    std::size_t bytes = 0;
    while (reader.next(run)) {
        if (run.key == CHECK) {
            if (auto error = add_check(reader.check(), scenario.checks, bytes)) {
                scenario.error = error;
                return true;
            }
        }
        if (!scenario.runs.add(run)) {
            return false;
        }
    }
    return true;
}

std::uint64_t read_scenario_or_exit(const char* program, const char* name, int fd, Scenario& scenario,
                                    std::uint64_t limit) {
    ScriptReader reader(fd);
    reader.stop_at(limit);
    if (!read_scenario(reader, scenario)) {
        io_error(program, "temporary file for a long script", errno);
    }
    if (const auto& error = scenario.error) {
        (void)std::fprintf(stderr, "%s:%zu:%zu: %s\n", name, error->line, error->column, error->message.c_str());
        std::exit(STATUS_USAGE);
    }
    check_script_end(program, name, reader);
    return reader.cycles();
}

ScenarioOutcome run_scenario(Scenario& scenario, trace::ScriptTrace& trace, const std::optional<std::uint64_t> cycles,
                             RunSpool* const ran) {
    ScenarioOutcome outcome;
    const std::uint64_t limit = cycles.value_or(UINT64_MAX);
    auto run = [&trace] { return trace.tracer().record().cycle; };
    // The cycles run, merged into runs of one key.
    std::optional<ScriptStep> pending;
    bool noted = true;
    auto note = [&](std::int32_t key, std::uint64_t count) {
        if (ran == nullptr || count == 0) {
            return;
        }
        if (pending && pending->key == key) {
            pending->count += count;
            return;
        }
        noted = noted && (!pending || ran->add(*pending));
        pending = ScriptStep{key, count};
    };
    bool writing = true;
    // Cut at the limit: a check there still reads the last cycle, one that
    // would run cycles past it is not run, and neither are those after it.
    outcome.held = scenario.runs.replay([&](const ScriptStep& step) {
        if (step.key != CHECK) {
            const std::uint64_t before = run();
            const std::uint64_t count = std::min<std::uint64_t>(step.count, limit - run());
            writing = trace.cycles(step.key, count);
            note(step.key, run() - before);
            return writing && count == step.count;  // the checks after a run cut short are not run
        }
        const ScenarioCheck& check = scenario.checks[static_cast<std::size_t>(step.count)];
        const std::uint64_t before = run();
        const CheckResult result = run_check(check, trace, limit);
        note(NO_KEY, run() - before);
        if (!result.ran) {
            return false;
        }
        if (!result.passed) {
            outcome.failed += 1;
            outcome.failure = failure_text(check, result);
            outcome.failed_at = std::to_string(check.check.line) + ":" + std::to_string(check.check.column);
            return false;
        }
        outcome.passed += 1;
        return true;
    });
    outcome.not_run = scenario.checks.size() - outcome.passed - outcome.failed;
    if (outcome.held && writing && !outcome.failure && cycles && run() < limit) {
        const std::uint64_t before = run();
        trace.cycles(NO_KEY, limit - run());
        note(NO_KEY, run() - before);
    }
    if (pending) {
        noted = noted && ran->add(*pending);
    }
    outcome.held = outcome.held && noted;
    return outcome;
}

std::string failure_text(const ScenarioCheck& check, const CheckResult& result) {
    return "cycle " + std::to_string(result.cycle) + ": expected " + check.check.condition_text() + "; got " +
           result.got;
}

}  // namespace panel::explore
