#include "trace_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <utility>

#include "key_script.h"
#include "output_sink.h"
#include "panel_state.h"

#ifndef COOKER_PANEL_VERSION
#define COOKER_PANEL_VERSION "0"
#endif

namespace panel::trace {
namespace {

// A CSV field with a comma or a quote goes in quotes.
bool needs_quotes(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c == ',' || c == '"'; });
}

// The decimal digits of value, made in buffer.
std::string_view decimal(std::uint64_t value, char (&buffer)[20]) {
    return {buffer,
            static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer)};
}

int digits(std::uint64_t value) {
    char text[20] = {};
    return static_cast<int>(decimal(value, text).size());
}

// One column of the table: its header, width and alignment.
struct Column {
    std::string_view name;
    int width;
    bool right;
};
constexpr Column COLUMNS[] = {{"key", 4, false},    {"row10", 5, false},    {"color", 5, true},
                              {"bell", 4, true},    {"backlight", 9, true}, {"operation", 9, false},
                              {"door", 6, false},   {"mode", 4, true},      {"setting", 7, false},
                              {"raise", 6, false},  {"time", 4, true},      {"set_temp", 8, true},
                              {"cur_temp", 8, true}};

void blanks(Output& out, std::size_t count) {
    constexpr std::string_view BLANKS = "                    ";
    for (; count > BLANKS.size(); count -= BLANKS.size()) {
        out.put(BLANKS);
    }
    out.put(BLANKS.substr(0, count));
}

// text in a column of width, blanks on the left (right) or on the right.
void padded(Output& out, std::string_view text, std::size_t width, bool right) {
    const std::size_t pad = std::max(width, text.size()) - text.size();
    if (right) {
        blanks(out, pad);
    }
    out.put(text);
    if (!right) {
        blanks(out, pad);
    }
}


// The waveform's signals: identifier, width in bits, name, and the value.
struct Signal {
    char id;
    int bits;
    std::string_view name;
    std::int32_t TraceRecord::*field;
};
constexpr Signal SIGNALS[] = {
    {'A', 8, "key", &TraceRecord::key},           {'B', 3, "operation", &TraceRecord::operation},
    {'C', 1, "door", &TraceRecord::door},         {'D', 3, "mode", &TraceRecord::mode},
    {'E', 1, "setting", &TraceRecord::setting},   {'F', 2, "raise", &TraceRecord::raise},
    {'G', 10, "time", &TraceRecord::time},        {'H', 7, "set_temp", &TraceRecord::set_temp},
    {'I', 7, "cur_temp", &TraceRecord::cur_temp}, {'J', 1, "backlight", &TraceRecord::backlight},
    {'K', 6, "color", &TraceRecord::color},       {'L', 1, "bell", &TraceRecord::bell},
};

}  // namespace

std::string_view operation_name(std::int32_t value) {
    switch (value) {
    case OP_IDLE:
        return "idle";
    case OP_RUNNING:
        return "running";
    case OP_ENDED:
        return "ended";
    default:
        return "cancel";
    }
}
std::string_view door_name(std::int32_t value) { return value == OPENING_OPEN ? "open" : "closed"; }
std::string_view setting_name(std::int32_t value) { return value == SETTING_TEMP ? "temp" : "time"; }
std::string_view raise_name(std::int32_t value) {
    return value == RAISE_FINE ? "fine" : value == RAISE_COARSE ? "coarse" : "none";
}

std::string_view csv_value(const std::size_t column, const TraceRecord& r, CsvCell& cell) {
    auto number = [&cell](std::uint64_t value) {
        return std::string_view(cell.bytes, static_cast<std::size_t>(
                                                std::to_chars(cell.bytes, cell.bytes + 20, value).ptr - cell.bytes));
    };
    const CsvColumn& c = CSV_COLUMNS[column];
    if (c.text != nullptr) {
        return r.*c.text;
    }
    if (c.word != nullptr) {
        return c.word(r.*c.number);
    }
    if (c.number != nullptr) {
        return number(static_cast<std::uint64_t>(r.*c.number));
    }
    if (column == CSV_CYCLE) {
        return number(r.cycle);
    }
    if (column == CSV_KEY) {
        char key[4];
        const std::string_view text = key_text(r.key, key);
        text.copy(cell.bytes, text.size());
        return {cell.bytes, text.size()};
    }
    const KeyEffectText why = why_text(r);  // CSV_WHY
    why.view().copy(cell.bytes, why.length);
    return {cell.bytes, why.length};
}

std::string csv_field(std::string_view text) {
    if (!needs_quotes(text)) {
        return std::string(text);
    }
    std::string quoted(1, '"');
    for (const char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void Output::put(std::string_view bytes) {
    for (;;) {
        const std::size_t taken = bytes.copy(buffer_ + length_, CAPACITY - length_);
        length_ += taken;
        bytes.remove_prefix(taken);
        if (bytes.empty()) {
            return;
        }
        flush();  // full, and more to come
    }
}

void Output::put(const char byte) {
    if (length_ == CAPACITY) {
        flush();
    }
    buffer_[length_++] = byte;
}

void Output::put_number(const std::uint64_t value) {
    char text[20] = {};
    put(decimal(value, text));
}

void Output::flush() {
    if (text_ != nullptr && error_ == 0) {
        text_->append(buffer_, length_);
        length_ = 0;
        return;
    }
    // After a failure the rest is dropped: the caller stops and reports it.
    if (error_ == 0 && !write_all(fd_, buffer_, length_)) {
        error_ = errno == 0 ? EIO : errno;
    }
    length_ = 0;
}

TraceWriter::TraceWriter(Output& out, Format format, bool changes_only, std::optional<std::uint64_t> cycles,
                         const std::string& title, bool why)
    : out_(out),
      format_(format),
      changes_only_(changes_only),
      why_(why),
      // As wide as the last cycle's number and the header; room for ten
      // digits where the count is not known.
      cycle_width_(std::max(5, cycles ? digits(*cycles) : 10)),
      svg_(format == Format::SVG ? std::make_unique<SvgWriter>(out, title) : nullptr) {}

void TraceWriter::begin(const TraceRecord& start) {
    if (svg_ || format_ == Format::NONE) {
        return;  // the drawing starts with the first cycle
    }
    last_ = start;
    if (format_ == Format::CSV) {
        for (std::size_t c = 0; c < std::size(CSV_COLUMNS); ++c) {
            if (c != CSV_WHY || why_) {
                out_.put(c == 0 ? "" : ",");
                out_.put(CSV_COLUMNS[c].name);
            }
        }
        out_.put("\r\n");
    } else if (format_ == Format::TABLE) {
        padded(out_, "cycle", static_cast<std::size_t>(cycle_width_), true);
        for (const Column& c : COLUMNS) {
            out_.put("  ");
            padded(out_, c.name, static_cast<std::size_t>(c.width), c.right);
            if (why_ && &c == COLUMNS) {
                out_.put("  ");
                padded(out_, "why", key_effect_text_width(), false);
            }
        }
        out_.put("  row11\n");
    } else {
        out_.put("$version cooker-panel-trace " COOKER_PANEL_VERSION
                 " $end\n$timescale 100 ms $end\n"
                 "$comment\n"
                 "  One time unit is one cycle; each value is the panel's after the cycle.\n"
                 "  key: the byte typed in the cycle, x for none\n"
                 "  operation: 0 idle, 1 running, 2 ended\n"
                 "  door: 0 closed, 1 open\n"
                 "  mode: 0 manual, 1 to 5 the automatic modes\n"
                 "  setting: 0 time, 1 temperature\n"
                 "  raise: 3 none, 0 fine, 1 coarse\n"
                 "  time: seconds; set_temp, cur_temp: degrees\n"
                 "  backlight: 0 off, 1 on; color: the colour code of row 10 (32 green, 33 yellow)\n"
                 "  bell: 1 in a cycle that rings the bell\n"
                 "$end\n"
                 "$scope module panel $end\n");
        for (const Signal& s : SIGNALS) {
            out_.put("$var wire ");
            out_.put_number(static_cast<std::uint64_t>(s.bits));
            out_.put(' ');
            out_.put(s.id);
            out_.put(' ');
            out_.put(s.name);
            out_.put(" $end\n");
        }
        out_.put("$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n");
        vcd_changes(start, true);
        out_.put("$end\n");
    }
}

void TraceWriter::write(const TraceRecord& record) {
    if (svg_) {
        svg_->write(record);
        return;
    }
    if (format_ == Format::NONE) {
        return;
    }
    if (format_ == Format::VCD) {
        vcd_changes(record, false);
    } else if (!changes_only_ || !same_panel(record, last_) ||
               (why_ && why_text(record).view() != why_text(last_).view())) {  // cycle 1 draws: never the same as start-up
        row(record);
        last_written_ = true;
    } else {
        last_written_ = false;
    }
    last_ = record;
}

void TraceWriter::check(const bool passed, const std::string_view text) {
    if (svg_) {
        svg_->check(passed, std::string(text));  // kept until the drawing is made
        return;
    }
    if (format_ != Format::TABLE && format_ != Format::CSV) {
        return;
    }
    if (!last_written_ && last_.cycle > 0) {
        row(last_);
        last_written_ = true;
    }
    if (format_ == Format::TABLE) {
        blanks(out_, static_cast<std::size_t>(cycle_width_) + 2);
        out_.put(passed ? "\u2713 " : "\u2717 ");
        out_.put(text);
        out_.put('\n');
    }
}

void TraceWriter::finish() {
    if (svg_) {
        svg_->finish();
        return;
    }
    if (format_ == Format::NONE) {
        return;
    }
    if (format_ == Format::VCD) {
        // The values after cycle N stand at #N; one more time unit gives the
        // last cycle its width in a viewer.
        out_.put('#');
        out_.put_number(last_.cycle + 1);
        out_.put('\n');
    } else if (!last_written_) {
        row(last_);
    }
}

void TraceWriter::row(const TraceRecord& r) {
    if (format_ == Format::CSV) {
        csv_row(r);
    } else {
        table_row(r);
    }
}

void TraceWriter::table_row(const TraceRecord& r) {
    char number[20] = {};
    auto of = [&number](std::int32_t value) { return decimal(static_cast<std::uint64_t>(value), number); };
    padded(out_, decimal(r.cycle, number), static_cast<std::size_t>(cycle_width_), true);
    // Each cell is written before the next number is made in the buffer.
    const Column* column = COLUMNS;
    auto cell = [&](std::string_view text) {
        out_.put("  ");
        padded(out_, text, static_cast<std::size_t>(column->width), column->right);
        ++column;
    };
    char key[4];
    cell(key_text(r.key, key));
    if (why_) {
        out_.put("  ");
        padded(out_, why_text(r).view(), key_effect_text_width(), false);
    }
    cell(r.row10);
    cell(of(r.color));
    cell(of(r.bell));
    cell(of(r.backlight));
    cell(operation_name(r.operation));
    cell(door_name(r.door));
    cell(of(r.mode));
    cell(setting_name(r.setting));
    cell(raise_name(r.raise));
    cell(of(r.time));
    cell(of(r.set_temp));
    cell(of(r.cur_temp));
    out_.put("  ");
    out_.put(r.row11);
    out_.put('\n');
}

namespace {

// Column C of a CSV row, made from the table at compile time, so that a row
// is written as straight-line code: the writer's speed is the trace's.
template <std::size_t C>
void put_csv_cell(Output& out, const TraceRecord& r, const bool why, CsvCell& cell) {
    constexpr CsvColumn column = CSV_COLUMNS[C];
    if constexpr (C == CSV_CYCLE) {
        out.put_number(r.cycle);
    } else if constexpr (C == CSV_WHY) {
        if (why) {
            out.put(',');
            out.put(csv_field(csv_value(C, r, cell)));
        }
    } else if constexpr (column.number != nullptr && column.word == nullptr) {
        out.put(',');
        out.put_number(static_cast<std::uint64_t>(r.*column.number));
    } else {
        out.put(',');
        // No field holds a line end: keys show control bytes as \xHH and the
        // rows hold no control bytes.
        // cppcheck-suppress variableScope ; the key's text points into it after the branch
        char key[4];
        std::string_view text;
        if constexpr (C == CSV_KEY) {
            text = key_text(r.key, key);
        } else if constexpr (column.text != nullptr) {
            text = r.*column.text;
        } else {
            text = column.word(r.*column.number);
        }
        if (needs_quotes(text)) {
            out.put(csv_field(text));
        } else {
            out.put(text);
        }
    }
}

template <std::size_t... C>
void put_csv_row(Output& out, const TraceRecord& r, const bool why, std::index_sequence<C...> /*columns*/) {
    CsvCell cell;
    (put_csv_cell<C>(out, r, why, cell), ...);
    out.put("\r\n");
}

}  // namespace

void TraceWriter::csv_row(const TraceRecord& r) {
    put_csv_row(out_, r, why_, std::make_index_sequence<std::size(CSV_COLUMNS)>());
}

void TraceWriter::vcd_changes(const TraceRecord& r, const bool all) {
    bool stamped = all;
    for (const Signal& s : SIGNALS) {
        const std::int32_t value = r.*s.field;
        if (!all && value == last_.*s.field) {
            continue;
        }
        if (!stamped) {
            out_.put('#');
            out_.put_number(r.cycle);
            out_.put('\n');
            stamped = true;
        }
        if (s.bits == 1) {
            out_.put(value != 0 ? '1' : '0');
        } else {
            out_.put('b');
            if (value < 0) {
                out_.put('x');
            } else {
                const int top = std::max(1, static_cast<int>(std::bit_width(static_cast<unsigned>(value))));
                for (int bit = top - 1; bit >= 0; --bit) {
                    out_.put(((value >> bit) & 1) != 0 ? '1' : '0');
                }
            }
            out_.put(' ');
        }
        out_.put(s.id);
        out_.put('\n');
    }
}

ScriptTrace::ScriptTrace(Output& out, Format format, bool changes, std::optional<std::uint64_t> cycles,
                         const std::string& title, bool why)
    : out_(out), writer_(out, format, changes, cycles, title, why) {
    writer_.begin(tracer_.record());
}

bool ScriptTrace::cycles(const std::int32_t key, const std::uint64_t count) {
    for (std::uint64_t i = 0; i < count; ++i) {
        writer_.write(tracer_.step(key));
        if (watch_) {
            watch_(tracer_);
        }
        if (out_.error() != 0) {
            return false;
        }
    }
    return true;
}

int ScriptTrace::finish() {
    writer_.finish();
    out_.flush();
    return out_.error();
}

}  // namespace panel::trace
