#include "svg_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "key_script.h"
#include "trace_writer.h"

namespace panel::trace {
namespace {

// Slots a lane keeps at most; past that, neighbours merge.
constexpr std::size_t MAX_SLOTS = 2048;

// Layout, in pixels.
constexpr double PLOT_LEFT = 96;
constexpr double PLOT_MAX_WIDTH = 1600;
constexpr double MAX_CYCLE_WIDTH = 40;     // a short trace is not stretched further
constexpr double MIN_SEGMENT_WIDTH = 3;    // narrower neighbours merge into "busy"
constexpr std::size_t MAX_SEGMENTS = 600;  // in one lane
constexpr double TITLE_HEIGHT = 34;
constexpr double LANE_PITCH = 28;
constexpr double LANE_HEIGHT = 20;
constexpr double PLOT_HEIGHT = 44;  // a step plot's lane, with room for its levels' values
constexpr double GLYPH_WIDTH = 7.3;  // of the 12 px monospace text
constexpr double RIGHT_MARGIN = 24;

// How a lane draws its field: keys as marks, rows as text, bits as a line
// high or low, quantities as a step plot, the rest as a bus of values.
enum class Style : std::uint8_t { KEY, ROW, BUS, BIT, PLOT };
constexpr Style style_of(const Field field) {
    if (field == Field::KEY) {
        return Style::KEY;
    }
    switch (info(field).kind) {
    case FieldKind::TEXT:
        return Style::ROW;
    case FieldKind::BIT:
        return Style::BIT;
    case FieldKind::SECONDS:
    case FieldKind::DEGREES:
        return Style::PLOT;
    default:
        return Style::BUS;
    }
}
struct LaneInfo {
    std::string_view name;
    Style style;
};
LaneInfo lane_info(const std::size_t lane) {
    return {field_name(LANE_FIELDS[lane]), style_of(LANE_FIELDS[lane])};
}
// The colour's lane, whose pieces tint the rows.
constexpr std::size_t COLOR_LANE = static_cast<std::size_t>(
    std::find(std::begin(LANE_FIELDS), std::end(LANE_FIELDS), Field::COLOR) - std::begin(LANE_FIELDS));

// The lane's value in record, as the trace shows it (a tooltip quotes it as
// the CSV does).
std::string lane_value(const TraceRecord& r, const std::size_t lane) { return field_text(LANE_FIELDS[lane], r); }

bool lane_changed(const TraceRecord& a, const TraceRecord& b, const std::size_t lane) {
    return !same_field(LANE_FIELDS[lane], a, b);
}

// A stretch of one lane as drawn: one value, or a busy stretch of changes.
struct Piece {
    std::uint64_t first, last;  // cycles
    bool busy;
    std::string first_value, last_value;
    std::uint64_t changes;  // between two cycles of the stretch
};

// Takes next, the piece right after busy, into it: its changes, and one more
// where the value changes between the two.
void absorb(Piece& busy, const Piece& next) {
    busy.changes += next.changes + (busy.last_value != next.first_value ? 1 : 0);
    busy.last = next.last;
    busy.last_value = next.last_value;
}

// Appends piece, merging it into the last one when both hold one value, the
// same, or both are busy.
void append(std::vector<Piece>& pieces, Piece piece) {
    if (!pieces.empty()) {
        Piece& back = pieces.back();
        if (!back.busy && !piece.busy && back.last_value == piece.first_value) {
            back.last = piece.last;
            return;
        }
        if (back.busy && piece.busy) {
            absorb(back, piece);
            return;
        }
    }
    pieces.push_back(std::move(piece));
}

// The terminal columns text takes: two for each Hangul syllable, one for
// anything else.
double text_columns(std::string_view text) {
    double columns = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0U) == 0x80U) {
            continue;  // a continuation byte
        }
        columns += (byte >= 0xEAU && byte <= 0xEDU) ? 2 : 1;
    }
    return columns;
}

std::string fixed(double value) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The parts one after the other.
template <typename... Parts>
std::string concat(const Parts&... parts) {
    std::string whole;
    (whole.append(std::string_view(parts)), ...);
    return whole;
}

std::string cycles_text(std::uint64_t first, std::uint64_t last) {
    return first == last ? concat("cycle ", std::to_string(first))
                         : concat("cycles ", std::to_string(first), "-", std::to_string(last));
}

// Pieces with runs of narrow ones (narrower than min_width, or busy) merged
// into one busy piece each; a narrow piece between two wide ones stays.
std::vector<Piece> merge_narrow(const std::vector<Piece>& pieces, double scale, double min_width) {
    auto narrow = [&](const Piece& p) { return p.busy || double(p.last - p.first + 1) * scale < min_width; };
    std::vector<Piece> out;
    for (std::size_t i = 0; i < pieces.size();) {
        std::size_t end = i + 1;
        if (narrow(pieces[i])) {
            while (end < pieces.size() && narrow(pieces[end])) {
                ++end;
            }
        }
        out.push_back(pieces[i]);
        if (end - i > 1) {
            Piece& busy = out.back();
            busy.busy = true;
            for (std::size_t j = i + 1; j < end; ++j) {
                absorb(busy, pieces[j]);
            }
        }
        i = end;
    }
    return out;
}

void end_tag(Output& out, std::string_view name) {
    out.put("</");
    out.put(name);
    out.put('>');
}

// Writes one element: its start tag with attributes, then either its end
// ("/>") or its content and end tag.
class Element {
public:
    Element(Output& out, std::string_view name) : out_(out), name_(name) {
        out_.put('<');
        out_.put(name);
    }
    Element& operator()(std::string_view attribute, std::string_view value) {
        out_.put(' ');
        out_.put(attribute);
        out_.put("=\"");
        out_.put(xml_escaped(value));
        out_.put('"');
        return *this;
    }
    Element& operator()(std::string_view attribute, double value) { return (*this)(attribute, fixed(value)); }
    // Ends an element without content.
    void end() { out_.put("/>"); }
    // Writes text as the content, escaped, and the end tag.
    void text(std::string_view content) {
        out_.put('>');
        out_.put(xml_escaped(content));
        close();
    }
    // Leaves the element open for children; end_tag() ends it.
    void open() { out_.put('>'); }
    void close() { end_tag(out_, name_); }

private:
    Output& out_;
    std::string_view name_;
};

// The seconds between two ticks of the time axis: a round step that gives at
// most 16 ticks.
double tick_step(double seconds) {
    constexpr double STEPS[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 1800, 3600};
    const auto* const step =
        std::find_if(std::begin(STEPS), std::end(STEPS), [seconds](double s) { return seconds / s <= 16; });
    return step != std::end(STEPS) ? *step : 3600 * std::ceil(seconds / 3600 / 16);
}

// Where cycle ends, across the plot.
double x_at(std::uint64_t cycle, double scale) { return PLOT_LEFT + double(cycle) * scale; }

// A one-bit lane's piece: a line high (1) or low (0), with the edge from
// the level before it.
void draw_level(Output& out, const Piece& p, const Piece* before, double x0, double x1, double top) {
    const double bottom = top + LANE_HEIGHT;
    const bool high = p.first_value == "1";
    const double y = high ? top + 2 : bottom;
    const bool edge = before != nullptr && !before->busy && before->last_value != p.first_value;
    const std::string path = concat("M", fixed(x0), " ", fixed(edge ? (high ? bottom : top + 2) : y), "L",
                                    fixed(x0), " ", fixed(y), "L", fixed(x1), " ", fixed(y));
    Element(out, "rect")("x", x0)("y", top)("width", x1 - x0)("height", LANE_HEIGHT)(
        "fill", high ? "#dbeafe" : "#ffffff")("fill-opacity", high ? "1" : "0")("stroke", "none")
        .end();
    Element(out, "path")("d", path)("fill", "none")("stroke", "#1d4ed8")("stroke-width", "2").end();
}

// A bus's piece: a long hexagon, its value inside when it fits. The rows are
// drawn in the panel's colours, yellow while lit (33), else green: a strip
// for each colour the row was drawn in, and the text in the one it was drawn
// in longest.
void draw_bus(Output& out, const Piece& p, Style style, const std::vector<Piece>& colors, double x0,
              double x1, double top, double scale) {
    const double bottom = top + LANE_HEIGHT;
    const double middle = top + LANE_HEIGHT / 2;
    const double bevel = std::min(3.0, (x1 - x0) / 2);
    const std::string points =
        concat(fixed(x0), ",", fixed(middle), " ", fixed(x0 + bevel), ",", fixed(top), " ", fixed(x1 - bevel),
               ",", fixed(top), " ", fixed(x1), ",", fixed(middle), " ", fixed(x1 - bevel), ",",
               fixed(bottom), " ", fixed(x0 + bevel), ",", fixed(bottom));
    Element(out, "polygon")("points", points).end();
    const bool row = style == Style::ROW;
    const std::string& text = p.first_value;
    std::string_view fill = "#222";
    if (row) {
        std::uint64_t lit = 0;
        std::uint64_t dark = 0;
        for (const Piece& c : colors) {
            if (c.last < p.first || c.first > p.last) {
                continue;
            }
            const std::uint64_t from = std::max(c.first, p.first);
            const std::uint64_t to = std::min(c.last, p.last);
            const bool yellow = !c.busy && c.first_value == "33";
            (yellow ? lit : dark) += to - from + 1;
            const double s0 = std::max(x_at(from - 1, scale), x0 + bevel);
            const double s1 = std::min(x_at(to, scale), x1 - bevel);
            if (s1 > s0) {
                Element(out, "rect")("x", s0)("y", bottom - 4)("width", s1 - s0)("height", "3")(
                    "stroke", "none")("fill", c.busy   ? "#888"
                                              : yellow ? "#facc15"
                                                       : "#4ade80")
                    .end();
            }
        }
        fill = lit > dark ? "#facc15" : "#4ade80";
    }
    const double text_width = text_columns(text) * GLYPH_WIDTH;
    if (text_width + 4 <= x1 - x0) {
        const double inset = std::clamp((x1 - x0 - text_width) / 2, 2.0, 5.0);
        Element(out, "text")("x", x0 + inset)("y", middle + 3)("fill", fill)("stroke", "none")("xml:space",
                                                                                               "preserve")
            .text(text);
    }
}

// A lane's value range, for a step plot's scale.
struct Range {
    std::int64_t low, high;
};

// Where value stands in a step plot's lane: low at the bottom, high at the top.
double plot_y(std::int64_t value, Range range, double top) {
    constexpr double MARGIN = 4;
    if (range.high == range.low) {
        return top + PLOT_HEIGHT / 2;
    }
    const double share = double(value - range.low) / double(range.high - range.low);
    return top + PLOT_HEIGHT - MARGIN - share * (PLOT_HEIGHT - 2 * MARGIN - 12);
}

std::int64_t number_of(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

// One level of a step plot: a line at its value, the step up or down from
// the level before (none after a busy stretch), and the value at its start
// where it fits; the lane's first value is written at its left edge and the
// last, where it did not fit at its start, at the right edge.
void draw_step(Output& out, const Piece& p, const Piece* before, bool first, bool last, Range range, double x0,
               double x1, double top) {
    const double y = plot_y(number_of(p.first_value), range, top);
    const double from = before != nullptr ? plot_y(number_of(before->last_value), range, top) : y;
    Element(out, "path")("d", concat("M", fixed(x0), " ", fixed(from), "L", fixed(x0), " ", fixed(y), "L",
                                     fixed(x1), " ", fixed(y)))("fill", "none")("stroke", "#1d4ed8")(
        "stroke-width", "1.5")
        .end();
    const bool at_start = first || text_columns(p.first_value) * GLYPH_WIDTH + 4 <= x1 - x0;
    const double text_y = y - 3;  // above the line: plot_y keeps room for it above the highest level
    if (at_start) {
        Element(out, "text")("x", x0 + 2)("y", text_y)("fill", "#222")("stroke", "none").text(p.first_value);
    } else if (last) {
        Element(out, "text")("x", x1 - 2)("y", text_y)("fill", "#222")("stroke", "none")("text-anchor", "end")
            .text(p.first_value);
    }
}

// The time axis' label for t seconds: seconds in a short run, M:SS past a
// minute and H:MM:SS past an hour.
std::string time_label(double t, double step, double seconds) {
    char label[32];
    const auto whole = static_cast<long long>(std::llround(t));
    if (seconds > 3600) {
        (void)std::snprintf(label, sizeof label, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else if (seconds > 60) {
        (void)std::snprintf(label, sizeof label, "%lld:%02lld", whole / 60, whole % 60);
    } else {
        (void)std::snprintf(label, sizeof label, step < 1 ? "%.1f s" : "%.0f s", t);
    }
    return label;
}

}  // namespace

// Text for XML character data and attribute values.
std::string xml_escaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// A name as text an XML document may hold: bytes that are no part of a
// well-formed UTF-8 character, and control characters, as the notation
// writes keys (\xHH).
std::string printable_name(std::string_view name) {
    std::string text;
    for (std::size_t i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        bool whole = length > 0 && i + length <= name.size();
        std::uint32_t code = length == 1 ? byte : byte & (0x7FU >> length);
        for (std::size_t k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            whole = (next & 0xC0U) == 0x80U;
            code = (code << 6) | (next & 0x3FU);
        }
        // Overlong forms, surrogates, past U+10FFFF, and what XML 1.0 does not allow.
        constexpr std::uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
        whole = whole && code >= LEAST[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
                code != 0xFFFE && code != 0xFFFF && code >= 0x20 && !(code >= 0x7F && code <= 0x9F);
        if (!whole) {
            char shown[4];
            text += key_text(byte, shown);
            i += 1;
            continue;
        }
        text.append(name.substr(i, length));
        i += length;
    }
    return text;
}

namespace {

// A lane's pieces from its slots: exact where a slot changed at most once,
// busy where it changed more often; then narrow neighbours merge into busy
// ones, wider ones where the lane would still hold too many segments, so the
// document stays small whatever the trace.
template <typename Slots>
std::vector<Piece> lane_pieces(const Slots& slots, std::uint64_t slot_cycles, std::uint64_t n, double scale) {
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const auto& s = slots[i];
        const std::uint64_t first = i * slot_cycles + 1;
        const std::uint64_t last = std::min<std::uint64_t>((i + 1) * slot_cycles, n);
        if (s.changes == 0) {
            append(pieces, Piece{first, last, false, s.first_value, s.first_value, 0});
        } else if (s.changes == 1) {
            append(pieces, Piece{first, s.change_at - 1, false, s.first_value, s.first_value, 0});
            append(pieces, Piece{s.change_at, last, false, s.last_value, s.last_value, 0});
        } else {
            append(pieces, Piece{first, last, true, s.first_value, s.last_value, s.changes});
        }
    }
    for (int doubling = 0;; ++doubling) {
        std::vector<Piece> merged = merge_narrow(pieces, scale, MIN_SEGMENT_WIDTH * std::pow(2.0, doubling));
        if (merged.size() <= MAX_SEGMENTS) {
            return merged;
        }
    }
}

// The least and greatest value a step plot's pieces take.
Range range_of(const std::vector<Piece>& pieces) {
    Range range{INT64_MAX, INT64_MIN};
    for (const Piece& p : pieces) {
        for (const std::string* v : {&p.first_value, &p.last_value}) {
            range.low = std::min(range.low, number_of(*v));
            range.high = std::max(range.high, number_of(*v));
        }
    }
    return range;
}

// Where a lane is drawn: its top, the pixels of a cycle, the plot's width,
// and the cycle before the drawing's first (a window's start).
struct LaneGeometry {
    double top;
    double scale;
    double plot_width;
    std::uint64_t origin;
};

// One lane: its name, then each piece as the lane's style draws it, with a
// tooltip; colors are the colour lane's pieces, which tint the rows.
void draw_lane(Output& out, const LaneInfo& info, const std::vector<Piece>& pieces, const std::vector<Piece>& colors,
               const LaneGeometry& g) {
    const double top = g.top;
    const double scale = g.scale;
    const double plot_width = g.plot_width;
    const bool plot = info.style == Style::PLOT;
    const double middle = top + (plot ? PLOT_HEIGHT : LANE_HEIGHT) / 2;
    // Shapes take the lane's fill and stroke.
    Element(out, "g")("id", std::string("lane-").append(info.name))(
        "fill", info.style == Style::ROW ? "#1f2430" : "#f4f4f5")("stroke", "#555")
        .open();
    Element(out, "text")("x", 8.0)("y", middle + 4)("fill", "#000")("stroke", "none").text(info.name);
    out.put('\n');
    const Range range = range_of(pieces);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (info.style == Style::KEY && !p.busy && p.first_value.empty()) {
            continue;  // no key: nothing to mark
        }
        const double x0 = x_at(p.first - 1, scale);
        const double x1 = std::max(x_at(p.last, scale), x0 + 1);
        const std::string tip =
            p.busy ? concat(info.name, " changes ", std::to_string(p.changes), " times, ",
                            cycles_text(g.origin + p.first, g.origin + p.last))
                   : concat(info.name, " ", csv_field(p.first_value), ", ",
                            cycles_text(g.origin + p.first, g.origin + p.last));
        Element(out, "g").open();
        Element(out, "title").text(tip);
        if (p.busy) {
            Element(out, "rect")("x", x0)("y", top)("width", x1 - x0)("height", plot ? PLOT_HEIGHT : LANE_HEIGHT)(
                "fill", "url(#busy)")
                .end();
        } else if (plot) {
            const Piece* before = i > 0 && !pieces[i - 1].busy ? &pieces[i - 1] : nullptr;
            draw_step(out, p, before, i == 0, i + 1 == pieces.size(), range, x0, x1, top);
        } else if (info.style == Style::BIT) {
            draw_level(out, p, i > 0 ? &pieces[i - 1] : nullptr, x0, x1, top);
        } else {
            draw_bus(out, p, info.style, colors, x0, x1, top, scale);
        }
        end_tag(out, "g");
        out.put('\n');
    }
    // A plot that starts or ends busy still has its values at its edges.
    if (plot && !pieces.empty() && pieces.front().busy) {
        Element(out, "text")("x", PLOT_LEFT + 2)("y", top + 10)("fill", "#222")("stroke", "none")
            .text(pieces.front().first_value);
    }
    if (plot && pieces.size() > 1 && pieces.back().busy) {
        Element(out, "text")("x", PLOT_LEFT + plot_width - 2)("y", top + 10)("fill", "#222")("stroke", "none")(
            "text-anchor", "end")
            .text(pieces.back().last_value);
    }
    end_tag(out, "g");
    out.put('\n');
}

}  // namespace

SvgWriter::SvgWriter(Output& out, std::string title) : out_(out), title_(std::move(title)) {}

void SvgWriter::write(const TraceRecord& record) {
    cycles_ = record.cycle - origin_;
    if ((cycles_ - 1) / slot_cycles_ >= MAX_SLOTS) {
        halve();
    }
    const bool first = cycles_ == 1;
    const auto slot = static_cast<std::size_t>((cycles_ - 1) / slot_cycles_);
    for (std::size_t lane = 0; lane < LANES; ++lane) {
        std::vector<Slot>& slots = lanes_[lane].slots;
        const bool changed = first || lane_changed(record, previous_, lane);
        if (slot == slots.size()) {
            std::string value = changed ? lane_value(record, lane) : slots.back().last_value;
            slots.push_back(Slot{value, value, 0, 0});
            continue;
        }
        if (changed) {
            Slot& s = slots.back();
            if (s.changes++ == 0) {
                s.change_at = cycles_;
            }
            s.last_value = lane_value(record, lane);
        }
    }
    previous_ = record;
}

void SvgWriter::halve() {
    for (Lane& lane : lanes_) {
        std::vector<Slot>& slots = lane.slots;
        for (std::size_t i = 0; 2 * i < slots.size(); ++i) {
            Slot merged = std::move(slots[2 * i]);
            if (2 * i + 1 < slots.size()) {
                Slot& right = slots[2 * i + 1];
                if (merged.changes == 0) {
                    merged.change_at = right.changes != 0 ? right.change_at : 0;
                }
                const bool boundary = merged.last_value != right.first_value;
                if (merged.changes == 0 && boundary) {
                    merged.change_at = (2 * i + 1) * slot_cycles_ + 1;
                }
                merged.changes += right.changes + (boundary ? 1 : 0);
                merged.last_value = std::move(right.last_value);
            }
            slots[i] = std::move(merged);
        }
        slots.resize((slots.size() + 1) / 2);
    }
    slot_cycles_ *= 2;
}

void SvgWriter::finish() {
    const std::uint64_t n = cycles_;
    const bool windowed = plot_width_ > 0;
    double scale = n == 0 ? MAX_CYCLE_WIDTH : std::min(MAX_CYCLE_WIDTH, PLOT_MAX_WIDTH / double(n));
    if (windowed) {
        scale = plot_width_ / double(std::max<std::uint64_t>(span_, 1));
    }
    const double plot_width = windowed ? plot_width_ : double(n) * scale;
    const double width = PLOT_LEFT + plot_width + RIGHT_MARGIN;
    // Each lane's top: step plots are taller than the rest.
    std::array<double, LANES> tops{};
    double below = TITLE_HEIGHT;  // the top of the next lane
    for (std::size_t lane = 0; lane < LANES; ++lane) {
        if ((shown_ >> lane & 1U) == 0) {
            continue;
        }
        const bool plot = style_of(LANE_FIELDS[lane]) == Style::PLOT;
        tops[lane] = below;
        below += plot ? PLOT_HEIGHT + LANE_PITCH - LANE_HEIGHT : LANE_PITCH;
    }
    const double checks_top = below;
    if (!checks_.empty()) {
        below += LANE_PITCH;
    }
    const double axis_y = below + 4;
    const double height = axis_y + 34;

    // Each lane's pieces: exact where a slot changed at most once, busy where
    // it changed more often; then narrow neighbours merge into busy ones.
    std::array<std::vector<Piece>, LANES> drawn;
    for (std::size_t lane = 0; lane < LANES; ++lane) {
        drawn[lane] = lane_pieces(lanes_[lane].slots, slot_cycles_, n, scale);
    }

    draw_heading(width, height);
    draw_axis(scale, plot_width, axis_y);
    for (std::size_t lane = 0; lane < LANES; ++lane) {
        if ((shown_ >> lane & 1U) != 0) {
            draw_lane(out_, lane_info(lane), drawn[lane], drawn[COLOR_LANE],
                      LaneGeometry{tops[lane], scale, plot_width, origin_});
        }
    }
    if (!checks_.empty()) {
        draw_checks(checks_top, scale);
    }
    end_tag(out_, "svg");
    out_.put('\n');
}

// The document's start: the XML declaration, the drawing's size, the
// hatching of busy segments, a white ground and the heading.
void SvgWriter::draw_heading(const double width, const double height) {
    const bool windowed = plot_width_ > 0;
    out_.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    Element(out_, "svg")("xmlns", "http://www.w3.org/2000/svg")("width", width)("height", height)(
        "viewBox", concat("0 0 ", fixed(width), " ", fixed(height)))("font-family", "monospace")("font-size",
                                                                                                 "12")
        .open();
    const std::uint64_t length = windowed ? total_ : cycles_;
    std::string heading = concat(printable_name(title_), ", ", std::to_string(length), length == 1 ? " cycle" : " cycles",
                                 " (", fixed(double(length) / 10), " s)");
    if (windowed) {
        heading += concat(", ", cycles_text(origin_ + 1, origin_ + std::max<std::uint64_t>(span_, 1)), " shown");
    }
    out_.put('\n');
    // The hatching of busy segments.
    out_.put(R"svg(<defs><pattern id="busy" width="6" height="6" patternUnits="userSpaceOnUse" )svg"
             R"svg(patternTransform="rotate(45)"><rect width="6" height="6" fill="#e8e8e8"/>)svg"
             R"svg(<line x1="0" y1="0" x2="0" y2="6" stroke="#888" stroke-width="2"/></pattern></defs>)svg"
             "\n");
    Element(out_, "rect")("width", "100%")("height", "100%")("fill", "#ffffff").end();
    out_.put('\n');
    Element(out_, "text")("x", 8.0)("y", 20.0)("font-size", "14")("font-weight", "bold").text(heading);
    out_.put('\n');

}

// The time axis: a faint line and a tick label every round step of seconds.
void SvgWriter::draw_axis(const double scale, const double plot_width, const double axis_y) {
    const bool windowed = plot_width_ > 0;
    const std::uint64_t n = cycles_;
    // A window's ticks run from the first such step in it, labelled from the
    // trace's start.
    const double seconds = double(windowed ? span_ : n) / 10;
    const double step = tick_step(seconds);
    const double start = windowed ? std::ceil(double(origin_) / 10 / step - 1e-9) : 0;
    const double offset = double(origin_) / 10;
    const auto ticks = static_cast<int>(std::floor(seconds / step + 1e-9));
    const double labelled = windowed ? double(origin_ + span_) / 10 : seconds;
    auto tick_x = [&](int t) { return PLOT_LEFT + ((start + double(t)) * step - offset) * 10 * scale; };
    Element(out_, "g")("stroke", "#ddd").open();
    for (int t = 0; t <= ticks && tick_x(t) <= PLOT_LEFT + plot_width + 1e-6; ++t) {
        const double x = tick_x(t);
        Element(out_, "line")("x1", x)("y1", TITLE_HEIGHT - 4)("x2", x)("y2", axis_y + 5).end();
    }
    end_tag(out_, "g");
    Element(out_, "g")("text-anchor", "middle")("fill", "#333").open();
    for (int t = 0; t <= ticks && tick_x(t) <= PLOT_LEFT + plot_width + 1e-6; ++t) {
        Element(out_, "text")("x", tick_x(t))("y", axis_y + 20)
            .text(time_label((start + double(t)) * step, step, labelled));
    }
    end_tag(out_, "g");
    Element(out_, "line")("x1", PLOT_LEFT)("y1", axis_y)("x2", PLOT_LEFT + plot_width)("y2", axis_y)("stroke",
                                                                                                     "#333")
        .end();
    out_.put('\n');

}

void SvgWriter::check(const bool passed, const std::string& text) {
    checks_.push_back(Mark{cycles_, passed, printable_name(text)});
}

void SvgWriter::check_at(const std::uint64_t cycle, const bool passed, const std::string& text) {
    checks_.push_back(Mark{cycle, passed, printable_name(text)});
}

void SvgWriter::window(const std::uint64_t origin, const std::uint64_t span, const double plot_width,
                       const std::uint32_t shown, const std::uint64_t total) {
    origin_ = origin;
    span_ = span;
    plot_width_ = plot_width;
    shown_ = shown;
    total_ = total;
}

void SvgWriter::load(const std::uint64_t cycles, const std::uint64_t slot_cycles,
                     std::array<std::vector<Slot>, LANES> lanes) {
    cycles_ = cycles;
    slot_cycles_ = slot_cycles;
    for (std::size_t lane = 0; lane < LANES; ++lane) {
        lanes_[lane].slots = std::move(lanes[lane]);
    }
}

std::string_view SvgWriter::lane_name(const std::size_t lane) { return field_name(LANE_FIELDS[lane]); }
std::string SvgWriter::lane_text(const TraceRecord& record, const std::size_t lane) {
    return panel::trace::lane_value(record, lane);
}
bool SvgWriter::lane_differs(const TraceRecord& a, const TraceRecord& b, const std::size_t lane) {
    return panel::trace::lane_changed(a, b, lane);
}

// A mark at the cycle of each check, green where it held and red where it
// failed; its tooltip says the check and what was found.
void SvgWriter::draw_checks(const double top, const double scale) const {
    Element(out_, "g")("id", "lane-checks")("stroke", "none").open();
    Element(out_, "text")("x", 8.0)("y", top + LANE_HEIGHT / 2 + 4)("fill", "#000").text("checks");
    out_.put('\n');
    for (const Mark& m : checks_) {
        const double x = x_at(m.cycle, scale);
        Element(out_, "g")("data-check", m.passed ? "passed" : "failed").open();
        Element(out_, "title").text(concat(m.passed ? "\u2713 " : "\u2717 ", m.text, ", cycle ", std::to_string(origin_ + m.cycle)));
        Element(out_, "rect")("x", x - 4)("y", top + LANE_HEIGHT / 2 - 6)("width", 8.0)("height", 12.0)(
            "fill", m.passed ? "#15803d" : "#b91c1c")
            .end();
        end_tag(out_, "g");
        out_.put('\n');
    }
    end_tag(out_, "g");
    out_.put('\n');
}

}  // namespace panel::trace
