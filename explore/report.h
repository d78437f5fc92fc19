// What the explorer writes besides its summary: every state as CSV, and the
// states merged on a few fields as a Graphviz digraph.
#pragma once

#include <vector>

#include "condition.h"
#include "state_space.h"
#include "trace_writer.h"

namespace panel::explore {

// One row per state in breadth-first order (RFC 4180, CRLF line ends).
void write_states(trace::Output& out, const StateSpace& space);

// One node per combination of the fields' values that occurs, one edge per
// ordered pair of different nodes that a transition joins, labelled with the
// keys that do it ('.' for none, then a to f).
void write_graph(trace::Output& out, const StateSpace& space, const std::vector<Field>& fields);

}  // namespace panel::explore
