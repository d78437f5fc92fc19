// Conditions on a state, as the explorer's --reach and --never take them:
// COND[,COND]..., all of which must hold, each OPERAND OP OPERAND with a field
// on at least one side. The other side is a number (any decimal, with a sign
// if need be; a time in seconds, as 90s or as M:SS, degrees also as 50C), one
// of the field's words (the trace's words, a mode's name, a colour), a text
// as the screen shows it for row10 and row11 (quoted, '...' or "...", where
// it holds a blank), or another field of the same kind. Blanks around tokens
// are allowed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state_space.h"

namespace panel::explore {

enum class Op : std::uint8_t { EQ, NE, LT, LE, GT, GE };

struct Condition {
    Field field;
    Op op;
    std::optional<Field> other;  // compared with another field, or
    std::int64_t value;          // with this value
};

struct ExpressionError {
    std::size_t column;  // from 1, in bytes
    std::string message;
};

std::optional<ExpressionError> parse_expression(std::string_view text, std::vector<Condition>& conditions);
// The first comma from start that no quote holds, or npos: where one
// condition of an expression ends.
std::size_t next_comma(std::string_view text, std::size_t start);

// Every condition holds in state; none on what is drawn holds before anything is.
bool holds(const std::vector<Condition>& conditions, PackedState state);

// The field a condition names, and a value as the trace writes it.
using trace::field_name;
std::optional<Field> field_named(std::string_view name);
// The fields' names, "a, b, ... or z", for messages and the help.
std::string field_list();
// The fields, a line each (wrapped at 79 columns): its name, what it is and
// its words, for the help.
std::string field_help();
// What is said of a name that is no field, with the names that are.
std::string unknown_field(std::string_view name);
std::string value_text(Field field, std::int32_t value);

}  // namespace panel::explore
