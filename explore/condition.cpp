#include "condition.h"

#include <algorithm>
#include <limits>

#include "panel_state.h"
#include "trace_writer.h"

namespace panel::explore {
namespace {

// A word field's words and the values they stand for.
struct Word {
    std::string_view text;
    std::int32_t value;
};

// What a field's numbers count; only fields of one kind compare with each
// other, and a word field compares only with itself.
enum class Kind : std::uint8_t { WORDS, FLAG, MODE, SECONDS, DEGREES };

struct FieldInfo {
    std::string_view name;
    Kind kind;
    std::vector<Word> words;  // for Kind::WORDS
};

// In the order of Field.
const std::vector<FieldInfo>& fields() {
    static const std::vector<FieldInfo> table = {
        {"backlight", Kind::FLAG, {}},
        {"operation", Kind::WORDS, {{"idle", OP_IDLE}, {"running", OP_RUNNING}, {"ended", OP_ENDED}}},
        {"door", Kind::WORDS, {{"closed", OPENING_CLOSED}, {"open", OPENING_OPEN}}},
        {"mode", Kind::MODE, {}},
        {"setting", Kind::WORDS, {{"time", SETTING_TIME}, {"temp", SETTING_TEMP}}},
        {"raise", Kind::WORDS, {{"none", RAISE_NONE}, {"fine", RAISE_FINE}, {"coarse", RAISE_COARSE}}},
        {"time", Kind::SECONDS, {}},
        {"set_temp", Kind::DEGREES, {}},
        {"cur_temp", Kind::DEGREES, {}},
        {"beeper", Kind::FLAG, {}},
        {"bell", Kind::FLAG, {}},
        {"shown_mode", Kind::MODE, {}},
    };
    return table;
}

const FieldInfo& info(Field field) { return fields()[static_cast<std::size_t>(field)]; }

// "a, b or c".
template <typename Items, typename Text>
std::string listed(const Items& items, Text text) {
    std::string list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        list += i == 0 ? "" : i + 1 == items.size() ? " or " : ", ";
        list += text(items[i]);
    }
    return list;
}

std::string words_of(const FieldInfo& f) {
    return listed(f.words, [](const Word& w) { return w.text; });
}

bool is_name_char(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string quoted(std::string_view text) {
    std::string q(1, '\'');
    q.append(text);
    q += '\'';
    return q;
}

// One side of a comparison as written.
struct Operand {
    enum Type : std::uint8_t { NAME, NUMBER, CLOCK } type;
    std::string_view text;
    std::size_t column;
    std::int64_t value;  // NUMBER and CLOCK (in seconds)
};

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
    // The next token, for a message: up to the next blank.
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
    // A name, a number or a time M:SS; the error says what was expected.
    bool take_operand(Operand& operand, std::string& error) {
        operand = Operand{Operand::NAME, {}, column(), {}};
        const std::size_t start = at_;
        if (at_ < end_ && is_name_char(text_[at_])) {
            operand.text = take(is_name_char);
            return true;
        }
        const bool negative = at_ < end_ && text_[at_] == '-';
        at_ += negative ? 1 : 0;
        const std::string_view digits = take(is_digit);
        if (digits.empty()) {
            at_ = start;
            error = "not " + quoted(rest_token());
            return false;
        }
        operand.type = Operand::NUMBER;
        operand.value = decimal(digits, negative);
        if (at_ < end_ && text_[at_] == ':') {
            ++at_;
            const std::string_view seconds = take(is_digit);
            if (negative || seconds.size() != 2 || seconds[0] > '5') {
                error = "a time is M:SS, seconds 00 to 59, not " + quoted(text_.substr(start, at_ - start));
                at_ = start;
                return false;
            }
            operand.type = Operand::CLOCK;
            const std::int64_t minutes = operand.value;
            operand.value = minutes > std::numeric_limits<std::int64_t>::max() / 60 - 60
                                ? std::numeric_limits<std::int64_t>::max()
                                : minutes * 60 + decimal(seconds, false);
        }
        operand.text = text_.substr(start, at_ - start);
        return true;
    }

private:
    template <typename Test>
    std::string_view take(Test test) {
        const std::size_t start = at_;
        while (at_ < end_ && test(text_[at_])) {
            ++at_;
        }
        return text_.substr(start, at_ - start);
    }
    // Any decimal is a question; one past what 64 bits hold is as good as the largest.
    static std::int64_t decimal(std::string_view digits, bool negative) {
        constexpr std::int64_t LARGEST = std::numeric_limits<std::int64_t>::max();
        std::int64_t value = 0;
        for (const char c : digits) {
            const int digit = c - '0';
            value = value > (LARGEST - digit) / 10 ? LARGEST : value * 10 + digit;
        }
        return negative ? -value : value;
    }

    std::string_view text_;
    std::size_t at_;
    std::size_t end_;
};

// The same comparison with its sides swapped.
Op mirrored(Op op) {
    switch (op) {
    case Op::LT:
        return Op::GT;
    case Op::LE:
        return Op::GE;
    case Op::GT:
        return Op::LT;
    case Op::GE:
        return Op::LE;
    default:
        return op;
    }
}

std::optional<Field> field_of(const Operand& operand) {
    return operand.type == Operand::NAME ? field_named(operand.text) : std::nullopt;
}

// The value side of a condition on field: a word of a word field first, then
// another field, then a number.
std::optional<ExpressionError> resolve_value(Field field, const Operand& value, Condition& condition) {
    const FieldInfo& f = info(field);
    const std::string name = quoted(f.name);
    if (value.type == Operand::NAME) {
        const auto word = std::find_if(f.words.begin(), f.words.end(),
                                       [&value](const Word& w) { return w.text == value.text; });
        if (word != f.words.end()) {
            condition.value = word->value;
            return std::nullopt;
        }
        if (const std::optional<Field> other = field_named(value.text)) {
            if (info(*other).kind != f.kind || (f.kind == Kind::WORDS && *other != field)) {
                return ExpressionError{value.column, name + " and " + quoted(value.text) +
                                                         " are fields of different kinds"};
            }
            condition.other = other;
            return std::nullopt;
        }
        if (f.kind == Kind::WORDS) {
            return ExpressionError{value.column, "unknown word " + quoted(value.text) + " for " +
                                                     std::string(f.name) + " (" + words_of(f) + ")"};
        }
        return ExpressionError{value.column, name + " takes a number or a number field, not " +
                                                 quoted(value.text)};
    }
    if (f.kind == Kind::WORDS) {
        return ExpressionError{value.column,
                               name + " takes a word (" + words_of(f) + "), not " + quoted(value.text)};
    }
    if (value.type == Operand::CLOCK && f.kind != Kind::SECONDS) {
        return ExpressionError{value.column,
                               "a time like " + quoted(value.text) + " compares only with time, not " + name};
    }
    condition.value = value.value;
    return std::nullopt;
}

// One condition between start and end (a comma or the end of the text).
std::optional<ExpressionError> parse_condition(std::string_view text, std::size_t start, std::size_t end,
                                               Condition& condition) {
    Reader r(text, start, end);
    r.skip_blanks();
    if (r.done()) {
        return ExpressionError{r.column(), "empty condition"};
    }
    std::string what;
    Operand left{};
    if (!r.take_operand(left, what)) {
        return ExpressionError{r.column(), "expected a field name, " + what};
    }
    r.skip_blanks();
    const std::size_t op_column = r.column();
    std::optional<Op> op = r.take_op();
    if (!op) {
        return ExpressionError{op_column, "expected an operator (=, !=, <, <=, >, >=) after " +
                                              quoted(left.text) +
                                              (r.done() ? std::string() : ", not " + quoted(r.rest_token()))};
    }
    r.skip_blanks();
    if (r.done()) {
        return ExpressionError{r.column(), "expected a value after the operator"};
    }
    Operand right{};
    if (!r.take_operand(right, what)) {
        return ExpressionError{r.column(), "expected a value, " + what};
    }
    r.skip_blanks();
    if (!r.done()) {
        return ExpressionError{r.column(), "unexpected " + quoted(r.rest_token()) + " after the condition"};
    }
    // The field is on the left, or a value on the left faces a field.
    std::optional<Field> field = field_of(left);
    const Operand* value = &right;
    if (!field) {
        field = field_of(right);
        if (!field) {
            if (left.type == Operand::NAME) {
                return ExpressionError{left.column, unknown_field(left.text)};
            }
            return ExpressionError{left.column, "expected a field name, not " + quoted(left.text)};
        }
        value = &left;
        op = mirrored(*op);
    }
    if (info(*field).kind == Kind::WORDS && *op != Op::EQ && *op != Op::NE) {
        return ExpressionError{op_column, quoted(info(*field).name) + " takes only = and !="};
    }
    condition = Condition{*field, *op, std::nullopt, {}};
    return resolve_value(*field, *value, condition);
}

bool compare(std::int64_t a, Op op, std::int64_t b) {
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
    return std::all_of(conditions.begin(), conditions.end(), [state](const Condition& c) {
        const std::int64_t right = c.other ? field_value(state, *c.other) : c.value;
        return compare(field_value(state, c.field), c.op, right);
    });
}

std::string field_list() {
    return listed(fields(), [](const FieldInfo& f) { return f.name; });
}

std::string unknown_field(std::string_view name) { return "unknown field " + quoted(name) + " (" + field_list() + ")"; }

std::string_view field_name(Field field) { return info(field).name; }

std::optional<Field> field_named(std::string_view name) {
    const std::vector<FieldInfo>& all = fields();
    const auto found = std::find_if(all.begin(), all.end(), [&](const FieldInfo& f) { return f.name == name; });
    if (found == all.end()) {
        return std::nullopt;
    }
    return static_cast<Field>(found - all.begin());
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
