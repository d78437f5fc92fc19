// What the explorer writes besides its summary: every state as CSV, and the
// states merged on a few fields as a Graphviz digraph.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "run_spool.h"

#include "condition.h"
#include "state_space.h"
#include "trace_writer.h"

namespace panel::explore {

// A script from start-up as one line: prefix (the keys that led to the
// search's start), then the way from there to index, then for transitions
// the further cycles' inputs (indexes of INPUT_KEYS). With answer set, a way
// of no cycle at all is said in a comment, which the trace reads as no key.
// A prefix that cannot be read back fails out with its errno.
void write_script(trace::Output& out, RunSpool& prefix, const StateSpace& space, std::uint32_t index,
                  const std::vector<int>& inputs = {}, bool answer = false);

// The counts, the time since began, and a line per property: "holds" or the
// script that violates it. True when every property holds.
bool write_summary(trace::Output& out, RunSpool& prefix, const StateSpace& space,
                   std::chrono::steady_clock::time_point began);

// One row per state in breadth-first order (RFC 4180, CRLF line ends).
void write_states(trace::Output& out, const StateSpace& space);

// One node per combination of the fields' values that occurs, one edge per
// ordered pair of different nodes that a transition joins, labelled with the
// keys that do it ('.' for none, then a to f).
void write_graph(trace::Output& out, const StateSpace& space, const std::vector<Field>& fields);

}  // namespace panel::explore
