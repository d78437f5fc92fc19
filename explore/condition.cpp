#include "condition.h"

#include <algorithm>
#include <charconv>

#include "panel_state.h"
#include "trace_writer.h"

namespace panel::explore {
namespace {

// A word field's words and the values they stand for.
struct Word {
    std::string_view text;
    std::int32_t value;
};

struct FieldInfo {
    std::string_view name;
    std::vector<Word> words;  // empty for a number field
    std::int32_t low, high;   // the range a number may name
};

const std::vector<FieldInfo>& fields() {
    static const std::vector<FieldInfo> table = {
        {"backlight", {}, BACKLIGHT_OFF, BACKLIGHT_ON},
        {"operation", {{"idle", OP_IDLE}, {"running", OP_RUNNING}, {"ended", OP_ENDED}}, 0, 0},
        {"door", {{"closed", OPENING_CLOSED}, {"open", OPENING_OPEN}}, 0, 0},
        {"mode", {}, 0, MODE_COUNT - 1},
        {"setting", {{"time", SETTING_TIME}, {"temp", SETTING_TEMP}}, 0, 0},
        {"raise", {{"none", RAISE_NONE}, {"fine", RAISE_FINE}, {"coarse", RAISE_COARSE}}, 0, 0},
        {"time", {}, 0, MAX_TIME},
        {"set_temp", {}, MIN_TEMP, MAX_TEMP},
        {"cur_temp", {}, MIN_TEMP, MAX_TEMP},
    };
    return table;
}

const FieldInfo& info(Field field) { return fields()[static_cast<std::size_t>(field)]; }

std::string words_of(const FieldInfo& f) {
    std::string list;
    for (std::size_t i = 0; i < f.words.size(); ++i) {
        list += i == 0 ? "" : i + 1 == f.words.size() ? " or " : ", ";
        list += f.words[i].text;
    }
    return list;
}

bool is_name_char(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads one condition's tokens from a text with a cursor.
class Reader {
public:
    Reader(std::string_view text, std::size_t start, std::size_t end) : text_(text), at_(start), end_(end) {}

    void skip_blanks() {
        while (at_ < end_ && (text_[at_] == ' ' || text_[at_] == '\t')) {
            ++at_;
        }
    }
    [[nodiscard]] bool done() const { return at_ == end_; }
    [[nodiscard]] std::size_t column() const { return at_ + 1; }
    // A run of characters that pass test, possibly empty.
    template <typename Test>
    std::string_view take(Test test) {
        const std::size_t start = at_;
        while (at_ < end_ && test(text_[at_])) {
            ++at_;
        }
        return text_.substr(start, at_ - start);
    }
    // The next token, for a message: up to the next blank or comma.
    [[nodiscard]] std::string_view rest_token() const {
        std::size_t stop = at_;
        while (stop < end_ && text_[stop] != ' ' && text_[stop] != '\t') {
            ++stop;
        }
        return text_.substr(at_, stop - at_);
    }
    std::optional<Op> take_op() {
        const std::string_view rest = text_.substr(at_, end_ - at_);
        static constexpr std::pair<std::string_view, Op> OPS[] = {
            {"!=", Op::NE}, {"<=", Op::LE}, {">=", Op::GE}, {"=", Op::EQ}, {"<", Op::LT}, {">", Op::GT}};
        for (const auto& [text, op] : OPS) {
            if (rest.starts_with(text)) {
                at_ += text.size();
                return op;
            }
        }
        return std::nullopt;
    }

private:
    std::string_view text_;
    std::size_t at_;
    std::size_t end_;
};

std::string quoted(std::string_view text) {
    std::string q(1, '\'');
    q.append(text);
    q += '\'';
    return q;
}

// One condition between start and end (a comma or the end of the text).
std::optional<ExpressionError> parse_condition(std::string_view text, std::size_t start, std::size_t end,
                                               Condition& condition) {
    Reader r(text, start, end);
    r.skip_blanks();
    if (r.done()) {
        return ExpressionError{r.column(), "empty condition"};
    }
    const std::size_t field_column = r.column();
    const std::string_view name = r.take(is_name_char);
    if (name.empty()) {
        return ExpressionError{field_column, "expected a field name, not " + quoted(r.rest_token())};
    }
    const std::optional<Field> field = field_named(name);
    if (!field) {
        return ExpressionError{field_column, unknown_field(name)};
    }
    const FieldInfo& f = info(*field);
    r.skip_blanks();
    const std::size_t op_column = r.column();
    const std::optional<Op> op = r.take_op();
    if (!op) {
        return ExpressionError{op_column, "expected an operator (=, !=, <, <=, >, >=) after " + quoted(name) +
                                              (r.done() ? std::string() : ", not " + quoted(r.rest_token()))};
    }
    if (!f.words.empty() && *op != Op::EQ && *op != Op::NE) {
        return ExpressionError{op_column, quoted(name) + " takes only = and !="};
    }
    r.skip_blanks();
    const std::size_t value_column = r.column();
    if (r.done()) {
        return ExpressionError{value_column, "expected a value after the operator"};
    }
    condition = Condition{*field, *op, std::nullopt, 0};
    if (const std::string_view digits = r.take(is_digit); !digits.empty()) {
        if (!f.words.empty()) {
            return ExpressionError{
                value_column, quoted(name) + " takes a word (" + words_of(f) + "), not " + quoted(digits)};
        }
        std::int64_t value = 0;
        const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || stop != digits.data() + digits.size() || value < f.low ||
            value > f.high) {
            return ExpressionError{value_column, "number " + std::string(digits) + " is out of range for " +
                                                     std::string(name) + " (" + std::to_string(f.low) +
                                                     " to " + std::to_string(f.high) + ")"};
        }
        condition.value = static_cast<std::int32_t>(value);
    } else if (const std::string_view word = r.take(is_name_char); !word.empty()) {
        if (const std::optional<Field> other = field_named(word)) {
            const FieldInfo& o = info(*other);
            // Number fields compare with each other; a word field only with itself.
            const bool same_kind = f.words.empty() ? o.words.empty() : *other == *field;
            if (!same_kind) {
                return ExpressionError{
                    value_column, quoted(name) + " and " + quoted(word) + " are fields of different kinds"};
            }
            condition.other = other;
        } else if (f.words.empty()) {
            return ExpressionError{value_column,
                                   quoted(name) + " takes a number or a number field, not " + quoted(word)};
        } else {
            bool known = false;
            for (const Word& w : f.words) {
                if (w.text == word) {
                    condition.value = w.value;
                    known = true;
                }
            }
            if (!known) {
                return ExpressionError{value_column, "unknown word " + quoted(word) + " for " +
                                                         std::string(name) + " (" + words_of(f) + ")"};
            }
        }
    } else {
        return ExpressionError{value_column, "expected a value, not " + quoted(r.rest_token())};
    }
    r.skip_blanks();
    if (!r.done()) {
        return ExpressionError{r.column(), "unexpected " + quoted(r.rest_token()) + " after the condition"};
    }
    return std::nullopt;
}

bool compare(std::int32_t a, Op op, std::int32_t b) {
    switch (op) {
    case Op::EQ:
        return a == b;
    case Op::NE:
        return a != b;
    case Op::LT:
        return a < b;
    case Op::LE:
        return a <= b;
    case Op::GT:
        return a > b;
    case Op::GE:
        return a >= b;
    }
    return false;
}

}  // namespace

std::optional<ExpressionError> parse_expression(std::string_view text, std::vector<Condition>& conditions) {
    conditions.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
        Condition condition{};
        if (auto error = parse_condition(text, start, end, condition)) {
            return error;
        }
        conditions.push_back(condition);
        if (comma == std::string_view::npos) {
            return std::nullopt;
        }
        start = comma + 1;
    }
}

bool holds(const std::vector<Condition>& conditions, const PackedState state) {
    return std::ranges::all_of(conditions, [state](const Condition& c) {
        const std::int32_t right = c.other ? field_value(state, *c.other) : c.value;
        return compare(field_value(state, c.field), c.op, right);
    });
}

std::string unknown_field(std::string_view name) {
    return "unknown field " + quoted(name) +
           " (backlight, operation, door, mode, setting, raise, time, set_temp or cur_temp)";
}

std::string_view field_name(Field field) { return info(field).name; }

std::optional<Field> field_named(std::string_view name) {
    for (std::size_t i = 0; i < fields().size(); ++i) {
        if (fields()[i].name == name) {
            return static_cast<Field>(i);
        }
    }
    return std::nullopt;
}

std::string value_text(Field field, std::int32_t value) {
    switch (field) {
    case Field::OPERATION:
        return std::string(trace::operation_name(value));
    case Field::DOOR:
        return std::string(trace::door_name(value));
    case Field::SETTING:
        return std::string(trace::setting_name(value));
    case Field::RAISE:
        return std::string(trace::raise_name(value));
    default:
        return std::to_string(value);
    }
}

}  // namespace panel::explore
