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

// The table's columns: numbers to the right, words and texts to the left.
bool right_aligned(Field field) {
    const FieldKind kind = info(field).kind;
    return kind != FieldKind::WORD && kind != FieldKind::TEXT;
}

// A column as wide as its name and the widest word it writes; a key's text
// takes up to four bytes (\xHH).
std::size_t column_width(Field field) {
    const FieldInfo& f = info(field);
    std::size_t width = field == Field::KEY ? 4 : f.name.size();
    for (const FieldWord& w : f.words) {
        width = f.kind == FieldKind::WORD ? std::max(width, w.text.size()) : width;
    }
    return width;
}

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


}  // namespace

std::string_view csv_value(const Field field, const TraceRecord& r, CsvCell& cell) {
    const FieldInfo& f = info(field);
    auto kept = [&cell](std::string_view text) {
        text.copy(cell.bytes, text.size());
        return std::string_view(cell.bytes, text.size());
    };
    if (f.text != nullptr) {
        return r.*f.text;
    }
    if (field == Field::WHY) {
        return kept(why_text(r).view());
    }
    if (field == Field::KEY) {
        char key[4];
        return kept(key_text(r.key, key));
    }
    const std::string_view word = f.kind == FieldKind::WORD ? word_of(field, r.*f.number) : std::string_view();
    if (!word.empty()) {
        return word;
    }
    const char* const end = field == Field::CYCLE ? std::to_chars(cell.bytes, cell.bytes + 20, r.cycle).ptr
                                                   : std::to_chars(cell.bytes, cell.bytes + 20, r.*f.number).ptr;
    return {cell.bytes, static_cast<std::size_t>(end - cell.bytes)};
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
        for (const Field field : CSV_FIELDS) {
            if (field != Field::WHY || why_) {
                out_.put(field == CSV_FIELDS[0] ? "" : ",");
                out_.put(field_name(field));
            }
        }
        out_.put("\r\n");
    } else if (format_ == Format::TABLE) {
        padded(out_, field_name(Field::CYCLE), static_cast<std::size_t>(cycle_width_), true);
        for (const Field field : TABLE_FIELDS) {
            table_cell(field, field_name(field));
        }
        out_.put('\n');
    } else {
        out_.put("$version cooker-panel-trace " COOKER_PANEL_VERSION
                 " $end\n$timescale 100 ms $end\n"
                 "$comment\n"
                 "  One time unit is one cycle; each value is the panel's after the cycle.\n");
        for (const Field field : VCD_FIELDS) {
            if (!info(field).legend.empty()) {
                out_.put("  ");
                out_.put(field_name(field));
                out_.put(": ");
                out_.put(info(field).legend);
                out_.put('\n');
            }
        }
        out_.put("$end\n$scope module panel $end\n");
        for (std::size_t s = 0; s < std::size(VCD_FIELDS); ++s) {
            out_.put("$var wire ");
            out_.put_number(static_cast<std::uint64_t>(info(VCD_FIELDS[s]).bits));
            out_.put(' ');
            out_.put(static_cast<char>('A' + s));
            out_.put(' ');
            out_.put(field_name(VCD_FIELDS[s]));
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

void TraceWriter::table_cell(const Field field, const std::string_view text) {
    if (field == Field::WHY && !why_) {
        return;
    }
    out_.put("  ");
    if (field == Field::WHY) {
        padded(out_, text, key_effect_text_width(), false);
    } else if (field == TABLE_FIELDS[std::size(TABLE_FIELDS) - 1]) {
        out_.put(text);  // the last column ends its line unpadded
    } else {
        padded(out_, text, column_width(field), right_aligned(field));
    }
}

void TraceWriter::table_row(const TraceRecord& r) {
    char number[20] = {};
    padded(out_, decimal(r.cycle, number), static_cast<std::size_t>(cycle_width_), true);
    CsvCell cell;
    for (const Field field : TABLE_FIELDS) {
        // Each cell is written before the next one is made in cell.
        table_cell(field, field == Field::WHY && !why_ ? std::string_view() : csv_value(field, r, cell));
    }
    out_.put('\n');
}

namespace {

// Column C of a CSV row, made from the orders at compile time, so that a row
// is written as straight-line code: the writer's speed is the trace's.
template <std::size_t C>
void put_csv_cell(Output& out, const TraceRecord& r, const bool why, CsvCell& cell) {
    constexpr Field field = CSV_FIELDS[C];
    if constexpr (C == 0) {
        out.put_number(r.cycle);
    } else if constexpr (field == Field::WHY) {
        if (why) {
            out.put(',');
            out.put(csv_field(csv_value(field, r, cell)));
        }
    } else {
        out.put(',');
        // No field holds a line end: keys show control bytes as \xHH and the
        // rows hold no control bytes.
        const std::string_view text = csv_value(field, r, cell);
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
    put_csv_row(out_, r, why_, std::make_index_sequence<std::size(CSV_FIELDS)>());
}

void TraceWriter::vcd_changes(const TraceRecord& r, const bool all) {
    bool stamped = all;
    for (std::size_t s = 0; s < std::size(VCD_FIELDS); ++s) {
        const FieldInfo& f = info(VCD_FIELDS[s]);
        const std::int32_t value = r.*f.number;
        if (!all && value == last_.*f.number) {
            continue;
        }
        if (!stamped) {
            out_.put('#');
            out_.put_number(r.cycle);
            out_.put('\n');
            stamped = true;
        }
        if (f.bits == 1) {
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
        out_.put(static_cast<char>('A' + s));
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
