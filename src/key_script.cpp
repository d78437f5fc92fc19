#include "key_script.h"

#include <unistd.h>

#include <cerrno>

namespace panel {
namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Tab, line feed and carriage return are blanks; every other control byte is
// no part of the notation.
bool is_control(int c) { return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F; }

constexpr char HEX[] = "0123456789abcdef";

std::string hex_byte(int c) {
    return std::string("\\x") + HEX[(c >> 4) & 0xF] + HEX[c & 0xF];
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A check is read whole before it is looked at; past this it is refused, so
// that no input costs more memory than its runs do.
constexpr std::size_t MAX_CHECK = 4096;

// The words of a check's body: blank-separated, a quoted value one word.
struct Word {
    std::size_t begin, end;  // offsets in the body
};

std::vector<Word> words_of(const std::string& body) {
    std::vector<Word> words;
    for (std::size_t at = 0; at < body.size();) {
        if (is_blank(body[at])) {
            ++at;
            continue;
        }
        const std::size_t begin = at;
        while (at < body.size() && !is_blank(body[at])) {
            if (body[at] == '\'' || body[at] == '"') {
                const std::size_t close = body.find(body[at], at + 1);
                at = close == std::string::npos ? body.size() : close;
            }
            ++at;
        }
        words.push_back({begin, std::min(at, body.size())});
    }
    return words;
}

// A duration: a bare count of cycles, Ns seconds or M:SS, in cycles; nullopt
// when it is none of these.
std::optional<std::uint64_t> duration_cycles(std::string_view text) {
    constexpr std::uint64_t CYCLES_PER_SECOND = 10;
    std::uint64_t value = 0;
    std::size_t at = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value <= MAX_REPEAT; ++at) {
        value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
    }
    if (at == 0 || value > MAX_REPEAT) {
        return std::nullopt;
    }
    const std::string_view unit = text.substr(at);
    std::uint64_t cycles = value;
    if (unit == "s") {
        cycles = value * CYCLES_PER_SECOND;
    } else if (unit.size() == 3 && unit[0] == ':' && unit[1] >= '0' && unit[1] <= '5' && unit[2] >= '0' &&
               unit[2] <= '9') {
        cycles = (value * 60 + static_cast<std::uint64_t>((unit[1] - '0') * 10 + (unit[2] - '0'))) *
                 CYCLES_PER_SECOND;
    } else if (!unit.empty()) {
        return std::nullopt;
    }
    if (cycles > MAX_REPEAT) {
        return std::nullopt;
    }
    return cycles;
}

}  // namespace

bool ScriptReader::fill() {
    if (fd_ < 0 || read_error_ != 0) {
        return false;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n > 0) {
            data_ = buffer_;
            end_ = buffer_ + n;
            return true;
        }
        if (n == 0) {
            fd_ = -1;
            return false;
        }
        if (errno != EINTR) {
            read_error_ = errno;
            return false;
        }
    }
}

int ScriptReader::peek() {
    if (data_ == end_ && !fill()) {
        return -1;
    }
    return static_cast<unsigned char>(*data_);
}

int ScriptReader::get() {
    const int c = peek();
    if (c < 0) {
        return c;
    }
    ++data_;
    if (c == '\n') {
        ++line_;
        column_ = 1;
    } else {
        ++column_;
    }
    return c;
}

bool ScriptReader::fail(std::size_t column, std::string message) {
    return fail_at(line_, column, std::move(message));
}

bool ScriptReader::fail_at(std::size_t line, std::size_t column, std::string message) {
    error_ = ScriptError{line, column, std::move(message)};
    return false;
}

// After a '{' that starts a token: the check up to its closing brace, which
// may be lines later; '#' comments to the end of a line as elsewhere, and a
// quoted value may hold any byte but a control byte or a line end.
bool ScriptReader::read_check(std::size_t brace_column) {
    const std::size_t brace_line = line_;
    if (!is_letter(peek())) {
        return fail(brace_column, "'{' must follow a key or '.'");
    }
    ScriptCheck read;
    read.line = brace_line;
    read.column = brace_column;
    std::string body;
    const std::size_t body_line = line_;
    const std::size_t body_column = column_;
    char quote = 0;
    std::size_t quote_line = 0;
    std::size_t quote_column = 0;
    for (;;) {
        const int c = peek();
        if (c < 0) {
            return read_error_ == 0 && fail_at(brace_line, brace_column, "'{' is not closed");
        }
        get();
        if (quote == 0 && c == '}') {
            break;
        }
        if (is_control(c)) {
            return fail(column_ - 1, "control byte " + hex_byte(c) + " is no part of the notation");
        }
        if (body.size() == MAX_CHECK) {
            return fail_at(brace_line, brace_column, "a check of more than 4096 bytes");
        }
        if (quote != 0 && c == '\n') {
            return fail_at(quote_line, quote_column, std::string("quote ") + quote + " is not closed");
        }
        if (quote == 0 && c == '#') {
            body += ' ';
            while (peek() >= 0 && peek() != '\n') {
                const int skipped = get();
                if (is_control(skipped)) {
                    return fail(column_ - 1, "control byte " + hex_byte(skipped) + " is no part of the notation");
                }
                if (body.size() == MAX_CHECK) {
                    return fail_at(brace_line, brace_column, "a check of more than 4096 bytes");
                }
                body += ' ';
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            if (quote == 0) {
                quote = static_cast<char>(c);
                quote_line = line_;
                quote_column = column_ - 1;
            } else if (c == quote) {
                quote = 0;
            }
        }
        body += static_cast<char>(c);
    }
    // The place in the script of a byte of the body.
    auto place = [&](std::size_t offset, std::size_t& line, std::size_t& column) {
        ScriptCheck at;
        at.condition = body;
        at.condition_line = body_line;
        at.condition_column = body_column;
        at.place(offset, line, column);
    };
    auto fail_in_body = [&](std::size_t offset, std::string message) {
        std::size_t line = 0;
        std::size_t column = 0;
        place(offset, line, column);
        return fail_at(line, column, std::move(message));
    };
    const std::vector<Word> words = words_of(body);
    auto text = [&body](const Word& w) { return std::string_view(body).substr(w.begin, w.end - w.begin); };
    const std::string_view kind = text(words.front());
    if (kind != "expect" && kind != "wait") {
        return fail_in_body(words.front().begin, "unknown check '" + std::string(kind) +
                                                      "': {expect COND}, {expect COND for DURATION} or "
                                                      "{wait COND within DURATION}");
    }
    read.kind = kind == "wait" ? CheckKind::WAIT : CheckKind::EXPECT;
    const std::string_view bound = kind == "wait" ? "within" : "for";
    std::size_t last = words.size();  // the condition's words end here
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (text(words[i]) == bound) {
            last = i;
        } else if (text(words[i]) == (kind == "wait" ? "for" : "within")) {
            return fail_in_body(words[i].begin, "'" + std::string(text(words[i])) + "' does not go with " +
                                                    std::string(kind) + ": {expect COND for DURATION} or "
                                                                        "{wait COND within DURATION}");
        }
    }
    if (last == 1 || words.size() == 1) {
        return fail_in_body(words.front().end, "empty condition");
    }
    if (last == words.size() && kind == "wait") {
        return fail_in_body(body.size(), "'within' missing: {wait COND within DURATION}");
    }
    if (last < words.size()) {
        if (last + 1 == words.size()) {
            return fail_in_body(words[last].end, "expected a duration after '" + std::string(bound) +
                                                     "': cycles (20), seconds (2s) or M:SS (1:30)");
        }
        const std::string_view written = text(words[last + 1]);
        const std::optional<std::uint64_t> count = duration_cycles(written);
        if (!count || (read.kind == CheckKind::EXPECT && *count == 0)) {
            return fail_in_body(words[last + 1].begin,
                                "duration '" + std::string(written).substr(0, 40) +
                                    "' is not cycles (20), seconds (2s) or M:SS (1:30), at most 1000000000 "
                                    "cycles" + (read.kind == CheckKind::EXPECT ? " and at least 1" : ""));
        }
        if (last + 2 < words.size()) {
            return fail_in_body(words[last + 2].begin,
                                "unexpected '" + std::string(text(words[last + 2])).substr(0, 40) +
                                    "' after the duration");
        }
        read.cycles = *count;
        read.duration = written;
        read.kind = read.kind == CheckKind::EXPECT ? CheckKind::FOR : CheckKind::WAIT;
    }
    const std::size_t begin = words[1].begin;
    const std::size_t end = words[last - 1].end;
    read.condition = body.substr(begin, end - begin);
    place(begin, read.condition_line, read.condition_column);
    if (__builtin_add_overflow(cycles_, read.cycles, &cycles_)) {
        return fail_at(brace_line, brace_column, "more cycles in all than 64 bits can count");
    }
    check_ = std::move(read);
    return true;
}

// "{N}" after a step: the step's cycles become N in all. Up to the closing
// brace on the same line; the count is quoted in a message up to a bound.
bool ScriptReader::read_count(std::size_t brace_column) {
    constexpr std::size_t QUOTED = 40;
    std::string quoted;
    std::uint64_t count = 0;
    bool decimal = true;
    std::size_t length = 0;
    for (;;) {
        const int c = peek();
        if (c < 0 || c == '\n') {
            return read_error_ == 0 && fail(brace_column, "'{' is not closed");
        }
        get();
        if (c == '}') {
            break;
        }
        if (is_control(c)) {
            return fail(column_ - 1, "control byte " + hex_byte(c) + " is no part of the notation");
        }
        ++length;
        if (quoted.size() < QUOTED) {
            quoted += static_cast<char>(c);
        }
        if (c < '0' || c > '9' || count > MAX_REPEAT) {
            decimal = false;
        } else {
            count = count * 10 + static_cast<std::uint64_t>(c - '0');
        }
    }
    if (!decimal || count == 0 || count > MAX_REPEAT) {
        if (length > QUOTED) {
            quoted += "...";
        }
        return fail(brace_column + 1, "repeat count '" + quoted + "' is not a decimal from 1 to 1000000000");
    }
    if (__builtin_add_overflow(cycles_, count - 1, &cycles_)) {
        return fail(brace_column + 1, "more cycles in all than 64 bits can count");
    }
    key_cycles_ += count - 1;
    open_->count += count - 1;
    return true;
}

// After a backslash: the byte it stands for.
bool ScriptReader::read_escape(std::size_t column, std::int32_t& key) {
    const int escaped = get();
    if (escaped < 0) {
        return read_error_ == 0 && fail(column, "'\\' at the end of the script");
    }
    if (escaped == 'x') {
        // A digit is taken only when it is one, so a line end stays unread.
        auto digit = [this] {
            const int value = hex_value(static_cast<char>(peek()));  // the end (-1) is no digit
            if (value >= 0) {
                get();
            }
            return value;
        };
        const int high = digit();
        const int low = high < 0 ? -1 : digit();
        if (high < 0 || low < 0) {
            return fail(column, "'\\x' must be followed by two hex digits");
        }
        key = high * 16 + low;
        return true;
    }
    if (escaped == '\\' || escaped == '.' || escaped == '#' || escaped == '{') {
        key = escaped;
        return true;
    }
    return fail(column, R"(unknown escape: use \\, \., \#, \{ or \xHH)");
}

// Past the cycles asked for, what takes no cycle is still read, so that a
// check standing there reads the last cycle; the next key, or a bound of
// bytes, ends the script.
bool ScriptReader::at_limit() {
    if (key_cycles_ < limit_) {
        return false;
    }
    const int c = peek();
    const bool no_cycle = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#' || (c == '{' && !repeatable_);
    return !no_cycle || past_limit_++ >= MAX_CHECK;
}

bool ScriptReader::next(ScriptStep& run) {
    if (check_waiting_) {
        check_waiting_ = false;
        run = ScriptStep{CHECK, checks_++};
        return true;
    }
    for (;;) {
        if (error_) {
            return false;
        }
        const std::size_t column = column_;
        const int c = at_limit() ? -1 : get();
        if (c < 0) {
            if (read_error_ != 0 || !open_) {
                return false;
            }
            run = *open_;
            open_.reset();
            return true;
        }
        if (c == '\n' || c == ' ' || c == '\t' || c == '\r') {
            repeatable_ = false;
            continue;
        }
        if (c == '#') {
            while (peek() >= 0 && peek() != '\n') {
                const int skipped = get();
                if (is_control(skipped)) {
                    return fail(column_ - 1, "control byte " + hex_byte(skipped) + " is no part of the notation");
                }
            }
            continue;
        }
        if (c == '{') {
            if (!repeatable_) {
                if (!read_check(column)) {
                    return false;
                }
                // The run before the check is handed out first.
                const std::optional<ScriptStep> done = open_;
                open_.reset();
                if (done) {
                    run = *done;
                    check_waiting_ = true;
                } else {
                    run = ScriptStep{CHECK, checks_++};
                }
                return true;
            }
            repeatable_ = false;
            if (!read_count(column)) {
                return false;
            }
            continue;
        }
        if (is_control(c)) {
            return fail(column, "control byte " + hex_byte(c) + " is no part of the notation; write it " +
                                    hex_byte(c));
        }
        std::int32_t key = c;
        if (c == '.') {
            key = NO_KEY;
        } else if (c == '\\' && !read_escape(column, key)) {
            return false;
        }
        cycles_ += 1;
        key_cycles_ += 1;
        repeatable_ = true;
        if (open_ && open_->key == key) {
            open_->count += 1;
            continue;
        }
        const std::optional<ScriptStep> done = open_;
        open_ = ScriptStep{key, 1};
        if (done) {
            run = *done;
            return true;
        }
    }
}

std::string ScriptCheck::condition_text() const {
    std::string text;
    char quote = 0;
    for (const char c : condition) {
        if (quote == 0 && is_blank(c)) {
            if (!text.empty() && text.back() != ' ') {
                text += ' ';
            }
            continue;
        }
        if (quote == 0 && (c == '\'' || c == '"')) {
            quote = c;
        } else if (c == quote) {
            quote = 0;
        }
        text += c;
    }
    return text;
}

void ScriptCheck::place(const std::size_t offset, std::size_t& at_line, std::size_t& at_column) const {
    at_line = condition_line;
    at_column = condition_column;
    for (std::size_t i = 0; i < offset && i < condition.size(); ++i) {
        if (condition[i] == '\n') {
            ++at_line;
            at_column = 1;
        } else {
            ++at_column;
        }
    }
}

std::string format_check(const ScriptCheck& check) {
    std::string text = check.kind == CheckKind::WAIT ? "{wait " : "{expect ";
    text += check.condition_text();
    if (check.kind != CheckKind::EXPECT) {
        text += check.kind == CheckKind::WAIT ? " within " : " for ";
        text += check.duration;
    }
    text += '}';
    return text;
}

std::optional<ScriptError> parse_script(const std::string_view text, Script& script) {
    script = Script{};
    ScriptReader reader(text);
    ScriptStep run{};
    while (reader.next(run)) {
        script.steps.push_back(run);
        if (run.key == CHECK) {
            script.checks.push_back(reader.check());
        }
    }
    script.cycles = reader.cycles();
    if (reader.error()) {
        return reader.error();
    }
    return std::nullopt;
}

std::optional<std::int8_t> cycle_key(const std::int32_t key) {
    if (key == NO_KEY) {
        return std::nullopt;
    }
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(key));
}

void run_script(Panel& panel, const Script& script) {
    for (const ScriptStep& step : script.steps) {
        for (std::uint64_t n = 0; step.key != CHECK && n < step.count; ++n) {
            Control_Cycle(panel, cycle_key(step.key));
        }
    }
}

std::string_view key_text(const std::int32_t key, char (&buffer)[4]) {
    if (key == NO_KEY) {
        return {};
    }
    if (key >= 0x21 && key <= 0x7E) {
        buffer[0] = static_cast<char>(key);
        return {buffer, 1};
    }
    buffer[0] = '\\';
    buffer[1] = 'x';
    buffer[2] = HEX[(key >> 4) & 0xF];
    buffer[3] = HEX[key & 0xF];
    return {buffer, 4};
}

bool append_step(Script& script, const std::int32_t key, const std::uint64_t count) {
    if (count == 0) {
        return true;
    }
    if (__builtin_add_overflow(script.cycles, count, &script.cycles)) {
        return false;
    }
    if (!script.steps.empty() && script.steps.back().key == key) {
        script.steps.back().count += count;
    } else {
        script.steps.push_back({key, count});
    }
    return true;
}

std::string format_run(const ScriptStep run) {
    // As the trace shows a key, but with '.' for none and a backslash
    // before the characters the notation reads otherwise.
    char shown[4];
    std::string key;
    if (run.key == NO_KEY) {
        key = ".";
    } else if (run.key == '.' || run.key == '\\' || run.key == '#' || run.key == '{') {
        key = {'\\', static_cast<char>(run.key)};
    } else {
        key = key_text(run.key, shown);
    }
    std::string text;
    for (std::uint64_t left = run.count; left > 0;) {
        const std::uint64_t piece = left < MAX_REPEAT ? left : MAX_REPEAT;
        text += text.empty() ? "" : " ";
        text += key;
        // cppcheck-suppress knownConditionTrueFalse ; a run of any count comes here
        if (piece > 1) {
            text += '{';
            text += std::to_string(piece);
            text += '}';
        }
        left -= piece;
    }
    return text;
}

std::string format_script(const std::vector<std::int32_t>& keys) {
    Script script;
    for (const std::int32_t key : keys) {
        append_step(script, key, 1);
    }
    return format_script(script);
}

std::string format_script(const Script& script) {
    std::string text;
    for (std::size_t i = 0; i < script.steps.size();) {
        // Steps of one key written apart are one run here.
        ScriptStep run = script.steps[i++];
        text += text.empty() ? "" : " ";
        if (run.key == CHECK) {
            text += format_check(script.checks[static_cast<std::size_t>(run.count)]);
            continue;
        }
        for (; i < script.steps.size() && script.steps[i].key == run.key; ++i) {
            run.count += script.steps[i].count;
        }
        text += format_run(run);
    }
    return text;
}

}  // namespace panel
