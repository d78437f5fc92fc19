#include "condition.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "backlight_beep_control.h"
#include "panel_state.h"
#include "trace_writer.h"

namespace panel::explore {
namespace {

using trace::FieldKind;
using Kind = FieldKind;

// A field as a condition reads it: the table's, with every mode's shown
// name among the words of a mode.
struct Word {
    std::string_view text;
    std::int32_t value;
};
struct FieldInfo {
    Field field;
    std::string_view name;
    Kind kind;
    std::vector<Word> words;
};

// In the order of trace::STATE_FIELDS.
const std::vector<FieldInfo>& fields() {
    static const std::vector<FieldInfo> table = [] {
        std::vector<FieldInfo> all;
        for (const Field field : trace::STATE_FIELDS) {
            const trace::FieldInfo& f = trace::info(field);
            FieldInfo read{field, f.name, f.kind, {}};
            for (const trace::FieldWord& w : f.words) {
                read.words.push_back({w.text, w.value});
            }
            for (std::int32_t row = 0; f.kind == Kind::MODE && row < MODE_COUNT; ++row) {
                const char* name = MODE_TABLE[static_cast<std::size_t>(row)].name;
                const std::string_view text(name, ::strnlen(name, MODE_NAME_SIZE));
                if (text != trace::word_of(field, row)) {
                    read.words.push_back({text, row});
                }
            }
            all.push_back(std::move(read));
        }
        return all;
    }();
    return table;
}

const FieldInfo& read_field(Field field) {
    const std::vector<FieldInfo>& all = fields();
    return *std::find_if(all.begin(), all.end(), [field](const FieldInfo& f) { return f.field == field; });
}

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

std::string quoted(std::string_view text) {
    std::string q(1, '\'');
    q.append(text);
    q += '\'';
    return q;
}

// What a field takes, for messages: the forms of its values, then the other
// fields it compares with.
std::string accepted(Field field) {
    const FieldInfo& f = read_field(field);
    std::string forms;
    switch (f.kind) {
    case Kind::WORD:
        return "a word (" + words_of(f) + ")";
    case Kind::BIT:
        forms = "0 or 1";
        break;
    case Kind::MODE:
        forms = "a mode (0 to 5, " + words_of(f) + ")";
        break;
    case Kind::SECONDS:
        forms = "seconds (90, 90s or 1:30)";
        break;
    case Kind::DEGREES:
        forms = "degrees (50 or 50C)";
        break;
    case Kind::NUMBER:
        forms = "a number";
        break;
    case Kind::COLOR:
        return "green, yellow, 32 or 33";
    case Kind::TEXT:
        return "a text as the trace shows it (01:30, 50C, '02: \xEC\xA3\xBD', quoted where it has a blank)";
    }
    std::vector<std::string_view> others;
    for (const FieldInfo& g : fields()) {
        if (g.kind == f.kind && g.name != f.name) {
            others.push_back(g.name);
        }
    }
    return others.empty() ? forms : forms + " or " + listed(others, [](std::string_view n) { return n; });
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
// A word starts with a letter, '_' or a byte of a UTF-8 character (a mode's name).
bool starts_word(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
// What ends a token that is not quoted.
bool ends_token(char c) {
    return c == ' ' || c == '\t' || c == '=' || c == '!' || c == '<' || c == '>' || c == '\'' || c == '"';
}

// One side of a comparison as written: a token, or a quoted text without its quotes.
struct Operand {
    std::string_view text;
    std::size_t column;
    bool quoted;
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
    // The rest of the condition without its trailing blanks, for a text that
    // is not quoted; it joins the token just taken.
    void take_rest(Operand& operand) {
        std::size_t stop = end_;
        while (stop > at_ && (text_[stop - 1] == ' ' || text_[stop - 1] == '\t')) {
            --stop;
        }
        operand.text = text_.substr(operand.column - 1, stop - (operand.column - 1));
        at_ = end_;
    }
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
        static constexpr std::pair<std::string_view, Op> OPS[] = {{"==", Op::EQ}, {"!=", Op::NE}, {"<=", Op::LE},
                                                                  {">=", Op::GE}, {"=", Op::EQ},  {"<", Op::LT},
                                                                  {">", Op::GT}};
        for (const auto& [text, op] : OPS) {
            if (rest.starts_with(text)) {
                at_ += text.size();
                return op;
            }
        }
        return std::nullopt;
    }
    // A token up to a blank or an operator, or a text in quotes; the error
    // says what was found instead.
    std::optional<ExpressionError> take_operand(Operand& operand) {
        operand = Operand{{}, column(), false};
        if (at_ < end_ && (text_[at_] == '\'' || text_[at_] == '"')) {
            const std::size_t close = text_.substr(0, end_).find(text_[at_], at_ + 1);
            if (close == std::string_view::npos) {
                return ExpressionError{column(), "the quote opened here is not closed"};
            }
            operand.text = text_.substr(at_ + 1, close - at_ - 1);
            operand.quoted = true;
            at_ = close + 1;
            return std::nullopt;
        }
        const std::size_t start = at_;
        while (at_ < end_ && !ends_token(text_[at_])) {
            ++at_;
        }
        if (at_ == start) {
            return ExpressionError{column(), "not " + quoted(rest_token())};
        }
        operand.text = text_.substr(start, at_ - start);
        return std::nullopt;
    }

private:
    std::string_view text_;
    std::size_t at_;
    std::size_t end_;
};

// Any decimal is a question; one past what 64 bits hold is as good as the largest.
std::int64_t decimal(std::string_view digits) {
    constexpr std::int64_t LARGEST = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (const char c : digits) {
        const int digit = c - '0';
        value = value > (LARGEST - digit) / 10 ? LARGEST : value * 10 + digit;
    }
    return value;
}

// A number as written: what it counts is told by its unit, if it has one.
struct Number {
    std::int64_t value;
    std::optional<Kind> unit;  // SECONDS for 90s and M:SS, DEGREES for 50C
    std::string_view unit_name;
};

// Reads text as a number: nullopt if it is none, an error if it starts as
// one and goes wrong.
std::optional<ExpressionError> read_number(const Operand& operand, std::optional<Number>& number) {
    const std::string_view text = operand.text;
    const bool negative = text.starts_with('-');
    std::size_t at = negative ? 1 : 0;
    const auto take_digits = [&] {
        const std::size_t start = at;
        while (at < text.size() && is_digit(text[at])) {
            ++at;
        }
        return text.substr(start, at - start);
    };
    const std::string_view digits = take_digits();
    if (digits.empty()) {
        number = std::nullopt;
        return std::nullopt;
    }
    Number n{decimal(digits), std::nullopt, {}};
    n.value = negative ? -n.value : n.value;
    if (at < text.size() && text[at] == ':') {
        ++at;
        const std::string_view seconds = take_digits();
        if (negative || seconds.size() != 2 || seconds[0] > '5') {
            return ExpressionError{operand.column, "expected a value, a time is M:SS, seconds 00 to 59, not " +
                                                       quoted(text.substr(0, at))};
        }
        n.value = n.value > std::numeric_limits<std::int64_t>::max() / 60 - 60
                      ? std::numeric_limits<std::int64_t>::max()
                      : n.value * 60 + decimal(seconds);
        n.unit = Kind::SECONDS;
        n.unit_name = "a time";
    }
    const std::string_view unit = text.substr(at);
    if (!n.unit && unit == "s") {
        n.unit = Kind::SECONDS;
        n.unit_name = "seconds";
    } else if (!n.unit && (unit == "C" || unit == "\xC2\xB0" "C")) {
        n.unit = Kind::DEGREES;
        n.unit_name = "degrees";
    } else if (!unit.empty()) {
        return ExpressionError{operand.column, "expected a value, not " + quoted(text) +
                                                   " (a number, 90s, 1:30 or 50C)"};
    }
    number = n;
    return std::nullopt;
}

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
    return operand.quoted ? std::nullopt : field_named(operand.text);
}

bool takes_order(Kind kind) { return kind != Kind::WORD && kind != Kind::COLOR && kind != Kind::TEXT; }

// The value side of a condition on field: a text for the rows; else a word of
// the field first, then another field, then a number.
std::optional<ExpressionError> resolve_value(Field field, const Operand& value, Condition& condition) {
    const FieldInfo& f = read_field(field);
    const std::string name = quoted(f.name);
    if (f.kind == Kind::TEXT) {
        // A text no state shows is a question whose answer is no.
        condition.value = shown_code(field, value.text).value_or(-2);
        return std::nullopt;
    }
    const auto word = std::find_if(f.words.begin(), f.words.end(),
                                   [&value](const Word& w) { return w.text == value.text; });
    if (word != f.words.end()) {
        condition.value = word->value;
        return std::nullopt;
    }
    if (const std::optional<Field> other = field_of(value)) {
        const Kind kind = read_field(*other).kind;
        if (kind != f.kind || ((kind == Kind::WORD || kind == Kind::COLOR) && *other != field)) {
            return ExpressionError{value.column, name + " and " + quoted(value.text) +
                                                     " are fields of different kinds"};
        }
        condition.other = other;
        return std::nullopt;
    }
    std::optional<Number> number;
    if (auto error = read_number(value, number)) {
        return error;
    }
    if (!number) {
        if (f.kind == Kind::WORD && !value.text.empty() && starts_word(value.text[0])) {
            return ExpressionError{value.column, "unknown word " + quoted(value.text) + " for " +
                                                     std::string(f.name) + " (" + words_of(f) + ")"};
        }
        return ExpressionError{value.column, name + " takes " + accepted(field) + ", not " + quoted(value.text)};
    }
    if (f.kind == Kind::WORD) {
        return ExpressionError{value.column, name + " takes " + accepted(field) + ", not " + quoted(value.text)};
    }
    if (number->unit && *number->unit != f.kind) {
        return ExpressionError{value.column, quoted(value.text) + " is " + std::string(number->unit_name) +
                                                 ", but " + name + " takes " + accepted(field)};
    }
    condition.value = number->value;
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
    Operand left{};
    if (auto error = r.take_operand(left)) {
        error->message = "expected a field name, " + error->message;
        return error;
    }
    r.skip_blanks();
    const std::size_t op_column = r.column();
    std::optional<Op> op = r.take_op();
    if (!op) {
        return ExpressionError{op_column, "expected an operator (=, ==, !=, <, <=, >, >=) after " +
                                              quoted(left.text) +
                                              (r.done() ? std::string() : ", not " + quoted(r.rest_token()))};
    }
    r.skip_blanks();
    if (r.done()) {
        return ExpressionError{r.column(), "expected a value after the operator"};
    }
    Operand right{};
    if (auto error = r.take_operand(right)) {
        error->message = "expected a value, " + error->message;
        return error;
    }
    // A row's text may hold blanks: unquoted, it is the rest of the condition.
    const std::optional<Field> left_field = field_of(left);
    if (left_field && read_field(*left_field).kind == Kind::TEXT && !right.quoted) {
        r.take_rest(right);
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
            if (!left.quoted && starts_word(left.text[0])) {
                return ExpressionError{left.column, unknown_field(left.text)};
            }
            return ExpressionError{left.column, "expected a field name, not " + quoted(left.text)};
        }
        value = &left;
        op = mirrored(*op);
    }
    if (!takes_order(read_field(*field).kind) && *op != Op::EQ && *op != Op::NE) {
        return ExpressionError{op_column, quoted(read_field(*field).name) + " takes only = and !="};
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

std::size_t next_comma(std::string_view text, std::size_t start) {
    for (std::size_t at = start; at < text.size(); ++at) {
        if (text[at] == ',') {
            return at;
        }
        if (text[at] == '\'' || text[at] == '"') {
            const std::size_t close = text.find(text[at], at + 1);
            if (close == std::string_view::npos) {
                return std::string_view::npos;  // the condition's reader says so
            }
            at = close;
        }
    }
    return std::string_view::npos;
}

std::optional<ExpressionError> parse_expression(std::string_view text, std::vector<Condition>& conditions) {
    conditions.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = next_comma(text, start);
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
    const bool drawn = field_value(state, Field::ROW11) >= 0;
    return std::all_of(conditions.begin(), conditions.end(), [state, drawn](const Condition& c) {
        if (!drawn && (is_drawn(c.field) || (c.other && is_drawn(*c.other)))) {
            return false;
        }
        const std::int64_t right = c.other ? field_value(state, *c.other) : c.value;
        return compare(field_value(state, c.field), c.op, right);
    });
}

std::string field_list() {
    return listed(fields(), [](const FieldInfo& f) { return f.name; });
}

std::string field_help() {
    constexpr std::size_t NAME_WIDTH = 12;
    constexpr std::size_t LINE_WIDTH = 79;
    std::string help;
    for (const FieldInfo& f : fields()) {
        std::string line(trace::info(f.field).help);
        if (!f.words.empty()) {
            const auto own = static_cast<std::ptrdiff_t>(trace::info(f.field).words.size());
            line += ": " + listed(std::vector<Word>(f.words.begin(), f.words.begin() + own),
                                  [](const Word& w) { return w.text; });
            line += f.kind == Kind::MODE ? ", or the name row 11 shows for it" : "";
        }
        // Wrapped under the text, between blanks.
        std::string out = "  " + std::string(f.name) + std::string(NAME_WIDTH - f.name.size(), ' ');
        std::size_t column = out.size();
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t end = std::min(line.find(' ', at), line.size());
            if (column + (end - at) > LINE_WIDTH && column > NAME_WIDTH + 2) {
                out += "\n" + std::string(NAME_WIDTH + 4, ' ');
                column = NAME_WIDTH + 4;
            } else if (at > 0) {
                out += ' ';
                ++column;
            }
            out.append(line, at, end - at);
            column += end - at;
            at = end + 1;
        }
        help += out + "\n";
    }
    return help;
}

std::string unknown_field(std::string_view name) { return "unknown field " + quoted(name) + " (" + field_list() + ")"; }

std::optional<Field> field_named(std::string_view name) {
    const std::vector<FieldInfo>& all = fields();
    const auto found = std::find_if(all.begin(), all.end(), [&](const FieldInfo& f) { return f.name == name; });
    if (found == all.end()) {
        return std::nullopt;
    }
    return found->field;
}

std::string value_text(Field field, std::int32_t value) {
    switch (trace::info(field).kind) {
    case Kind::WORD:
        return std::string(trace::word_of(field, value));
    case Kind::TEXT:
        return shown_text(field, value);
    case Kind::COLOR:
        return value < 0 ? std::string() : std::to_string(value);
    default:
        return std::to_string(value);
    }
}

}  // namespace panel::explore
