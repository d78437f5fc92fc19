// Draws a trace as a timing diagram: one self-contained SVG document with a
// lane per field, a time axis in seconds and a tooltip on every segment.
//
// Memory is bounded by the drawing's width, not by the number of cycles:
// each lane keeps a fixed number of slots of equal length, each slot the
// value at its first and last cycle and how often the value changed inside
// it; when the slots run out, neighbours merge and a slot covers twice the
// cycles. A slot with one change still knows the cycle of that change, so a
// short trace is drawn exactly; where a lane changes more often than its
// pixels can show, the changes merge into one hatched "busy" segment.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tracer.h"

namespace panel::trace {

class Output;

// Text for XML character data and attribute values.
std::string xml_escaped(std::string_view text);
// A name as text an XML document may hold: bytes that are no part of a
// well-formed UTF-8 character, and control characters, as the notation
// writes keys (\xHH).
std::string printable_name(std::string_view name);

class SvgWriter {
public:
    // title: what the trace ran (a script's name, or "standard input").
    SvgWriter(Output& out, std::string title);
    // Takes the cycle in; nothing is written before finish().
    void write(const TraceRecord& record);
    // A check of the script, after the cycle written last: a lane of marks
    // below the others, drawn only where a script has checks.
    void check(bool passed, const std::string& text);
    // Lays the diagram out for the cycles written and writes it whole.
    void finish();

    // The lanes, one for each of LANE_FIELDS.
    static constexpr std::size_t LANES = std::size(LANE_FIELDS);
    // A lane's name as the CSV's heading writes it.
    static std::string_view lane_name(std::size_t lane);
    // A lane's value in record as the diagram writes it.
    static std::string lane_text(const TraceRecord& record, std::size_t lane);
    static bool lane_differs(const TraceRecord& a, const TraceRecord& b, std::size_t lane);

    // A window of a longer trace: the records written from here on are the
    // cycles after origin (their own numbers), laid out span cycles across
    // plot_width pixels whatever their count, with the lanes whose bit is
    // set in shown (bit i for the CSV's lane i); the heading gives the
    // trace's whole length, total cycles.
    void window(std::uint64_t origin, std::uint64_t span, double plot_width, std::uint32_t shown,
                std::uint64_t total);

    // Cycles first..last of one lane, counted from 1 after the origin: its
    // values at both ends, how often it changed between two of these cycles,
    // and the first such change.
    struct Slot {
        std::string first_value, last_value;
        std::uint64_t changes = 0;
        std::uint64_t change_at = 0;  // the cycle whose value differs from the one before
    };
    // In place of written records: cycles after the origin, each lane's
    // slots of slot_cycles each, as a summary kept elsewhere holds them.
    void load(std::uint64_t cycles, std::uint64_t slot_cycles, std::array<std::vector<Slot>, LANES> lanes);
    // A check's mark at cycle (after the origin).
    void check_at(std::uint64_t cycle, bool passed, const std::string& text);

private:
    struct Lane {
        std::vector<Slot> slots;
    };

    void add(std::size_t lane, std::uint64_t cycle, const std::string& value);
    void halve();
    void draw_checks(double top, double scale) const;
    void draw_heading(double width, double height);
    void draw_axis(double scale, double plot_width, double axis_y);

    struct Mark {
        std::uint64_t cycle;
        bool passed;
        std::string text;
    };

    Output& out_;
    std::string title_;
    std::uint64_t cycles_ = 0;
    std::uint64_t slot_cycles_ = 1;  // cycles per slot, a power of two
    std::array<Lane, LANES> lanes_;
    TraceRecord previous_;  // the record before, compared from the second cycle on
    std::vector<Mark> checks_;
    // A window's: 0 for a whole trace.
    std::uint64_t origin_ = 0;
    std::uint64_t span_ = 0;
    double plot_width_ = 0;
    std::uint32_t shown_ = ~0U;
    std::uint64_t total_ = 0;
};

}  // namespace panel::trace
