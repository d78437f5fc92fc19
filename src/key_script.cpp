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
    error_ = ScriptError{line_, column, std::move(message)};
    return false;
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

bool ScriptReader::next(ScriptStep& run) {
    for (;;) {
        if (error_) {
            return false;
        }
        const std::size_t column = column_;
        const int c = cycles_ >= limit_ ? -1 : get();
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
                return fail(column, "'{' must follow a key or '.'");
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

std::optional<ScriptError> parse_script(const std::string_view text, Script& script) {
    script = Script{};
    ScriptReader reader(text);
    ScriptStep run{};
    while (reader.next(run)) {
        script.steps.push_back(run);
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
        for (std::uint64_t n = 0; n < step.count; ++n) {
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
        for (; i < script.steps.size() && script.steps[i].key == run.key; ++i) {
            run.count += script.steps[i].count;
        }
        text += text.empty() ? "" : " ";
        text += format_run(run);
    }
    return text;
}

}  // namespace panel
