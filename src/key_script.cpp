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

// A decimal from 1 to MAX_REPEAT, digits only; 0 for anything else.
std::uint32_t parse_count(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > MAX_REPEAT) {
            return 0;
        }
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<ScriptError> parse_script(const std::string_view text, Script& script) {
    script = Script{};
    std::size_t line = 1;
    std::size_t line_start = 0;
    auto error_at = [&](std::size_t at, std::string message) {
        return ScriptError{line, at - line_start + 1, std::move(message)};
    };
    bool repeatable = false;  // a count may follow: the last thing read was a step
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            line_start = i + 1;
            repeatable = false;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            repeatable = false;
            continue;
        }
        if (c == '#') {
            const std::size_t end = text.find('\n', i);
            if (end == std::string_view::npos) {
                break;
            }
            i = end - 1;  // the newline itself is counted above
            continue;
        }
        if (c == '{') {
            if (!repeatable) {
                return error_at(i, "'{' must follow a key or '.'");
            }
            const std::size_t close = text.find_first_of("}\n", i);
            if (close == std::string_view::npos || text[close] != '}') {
                return error_at(i, "'{' is not closed");
            }
            const std::string_view digits = text.substr(i + 1, close - i - 1);
            const std::uint32_t count = parse_count(digits);
            if (count == 0) {
                return error_at(i + 1, "repeat count '" + std::string(digits) +
                                           "' is not a decimal from 1 to 1000000000");
            }
            if (__builtin_add_overflow(script.cycles, count - 1, &script.cycles)) {
                return error_at(i + 1, "more cycles in all than 64 bits can count");
            }
            script.steps.back().count = count;
            repeatable = false;
            i = close;
            continue;
        }
        std::int32_t key = static_cast<unsigned char>(c);
        if (c == '.') {
            key = NO_KEY;
        } else if (c == '\\') {
            if (i + 1 == text.size()) {
                return error_at(i, "'\\' at the end of the script");
            }
            const char next = text[i + 1];
            if (next == 'x') {
                const int high = i + 2 < text.size() ? hex_value(text[i + 2]) : -1;
                const int low = i + 3 < text.size() ? hex_value(text[i + 3]) : -1;
                if (high < 0 || low < 0) {
                    return error_at(i, "'\\x' must be followed by two hex digits");
                }
                key = high * 16 + low;
                i += 3;
            } else if (next == '\\' || next == '.' || next == '#' || next == '{') {
                key = static_cast<unsigned char>(next);
                i += 1;
            } else {
                return error_at(i, R"(unknown escape: use \\, \., \#, \{ or \xHH)");
            }
        }
        script.steps.push_back({key, 1});
        script.cycles += 1;
        repeatable = true;
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
        for (std::uint32_t n = 0; n < step.count; ++n) {
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
    constexpr char HEX[] = "0123456789abcdef";
    buffer[0] = '\\';
    buffer[1] = 'x';
    buffer[2] = HEX[(key >> 4) & 0xF];
    buffer[3] = HEX[key & 0xF];
    return {buffer, 4};
}

int read_text(const int fd, std::string& text) {
    char chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            text.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return 0;
        } else if (errno != EINTR) {
            return errno;
        }
    }
}

bool append_step(Script& script, const std::int32_t key, std::uint64_t count) {
    if (__builtin_add_overflow(script.cycles, count, &script.cycles)) {
        return false;
    }
    while (count > 0) {
        if (script.steps.empty() || script.steps.back().key != key || script.steps.back().count == MAX_REPEAT) {
            script.steps.push_back({key, 0});
        }
        ScriptStep& last = script.steps.back();
        const std::uint64_t room = MAX_REPEAT - last.count;
        const std::uint64_t taken = count < room ? count : room;
        last.count += static_cast<std::uint32_t>(taken);
        count -= taken;
    }
    return true;
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
        // Steps of one key written apart (a{2} a) are one run here.
        const std::int32_t key = script.steps[i].key;
        std::uint64_t run = 0;
        for (; i < script.steps.size() && script.steps[i].key == key && run + script.steps[i].count <= MAX_REPEAT;
             ++i) {
            run += script.steps[i].count;
        }
        if (run == 0) {  // a full run followed by more of the same key
            run = script.steps[i].count;
            ++i;
        }
        if (!text.empty()) {
            text += ' ';
        }
        // As the trace shows a key, but with '.' for none and a backslash
        // before the characters the notation reads otherwise.
        char shown[4];
        if (key == NO_KEY) {
            text += '.';
        } else if (key == '.' || key == '\\' || key == '#' || key == '{') {
            text += '\\';
            text += static_cast<char>(key);
        } else {
            text += key_text(key, shown);
        }
        if (run > 1) {
            text += '{';
            text += std::to_string(run);
            text += '}';
        }
    }
    return text;
}

}  // namespace panel
