// Conditions on a state, as the explorer's --reach and --never take them:
// COND[,COND]..., all of which must hold, each FIELD OP VALUE, where VALUE is
// a decimal (time in seconds), a word as the trace writes it for the word
// fields, or another field of the same kind. Blanks around tokens are allowed.
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
    std::int32_t value;          // with this value
};

struct ExpressionError {
    std::size_t column;  // from 1, in bytes
    std::string message;
};

std::optional<ExpressionError> parse_expression(std::string_view text, std::vector<Condition>& conditions);

// Every condition holds in state.
bool holds(const std::vector<Condition>& conditions, PackedState state);

// A field's name, and a value as the trace writes it.
std::string_view field_name(Field field);
std::optional<Field> field_named(std::string_view name);
// What is said of a name that is no field, with the names that are.
std::string unknown_field(std::string_view name);
std::string value_text(Field field, std::int32_t value);

}  // namespace panel::explore
