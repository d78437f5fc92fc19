// Writes trace records as an aligned table, as CSV (RFC 4180), as a value
// change dump for waveform viewers or as a timing diagram (SVG), through a
// buffered descriptor that remembers the first failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "svg_writer.h"
#include "tracer.h"

namespace panel::trace {

// A field as CSV writes it: in quotes, doubled inside, when it holds a comma
// or a quote.
std::string csv_field(std::string_view text);

// What the CSV writes for a field of a record, before any quoting: made in
// cell where it is a number or a phrase.
struct CsvCell {
    char bytes[KEY_EFFECT_TEXT_SIZE];
};
std::string_view csv_value(Field field, const TraceRecord& record, CsvCell& cell);

// NONE writes nothing: a run that only checks.
enum class Format : std::uint8_t { TABLE, CSV, VCD, SVG, NONE };

class Output {
public:
    explicit Output(int fd) : fd_(fd) {}
    // Into text instead of a descriptor (the web page's downloads).
    explicit Output(std::string& text) : text_(&text) {}
    void put(std::string_view bytes);
    void put(char byte);
    void put_number(std::uint64_t value);
    // Hands the buffer to the descriptor.
    void flush();
    // errno of the first failed write, 0 while none has failed.
    [[nodiscard]] int error() const { return error_; }
    // A failure on the way to the output (errno): what follows is dropped.
    void fail(int error) {
        if (error_ == 0) {
            error_ = error;
        }
    }

private:
    static constexpr std::size_t CAPACITY = 1 << 16;
    char buffer_[CAPACITY] = {};
    std::size_t length_ = 0;
    int fd_ = -1;
    std::string* text_ = nullptr;
    int error_ = 0;
};

class TraceWriter {
public:
    // cycles: how many cycles the trace will have, if known; the table's
    // first column is made that wide. title names what ran, for the drawing.
    // why: the table and CSV say, right after the key, what it did.
    TraceWriter(Output& out, Format format, bool changes_only, std::optional<std::uint64_t> cycles,
                const std::string& title = "standard input", bool why = false);
    // The start-up record: the table and CSV headers, the VCD header and #0.
    void begin(const TraceRecord& start);
    void write(const TraceRecord& record);
    // A check of the script after the record written last: a line under its
    // row in the table (the row written, where --changes left it out), a
    // mark in the drawing; CSV and VCD stay data and keep only the row.
    void check(bool passed, std::string_view text);
    // The last cycle, where --changes left it out.
    void finish();

private:
    void row(const TraceRecord& r);
    void table_row(const TraceRecord& r);
    // One cell of the table's row, or of its heading.
    void table_cell(Field field, std::string_view text);
    void csv_row(const TraceRecord& r);
    void vcd_changes(const TraceRecord& r, bool all);

    Output& out_;
    Format format_;
    bool changes_only_;
    bool why_;
    int cycle_width_;
    TraceRecord last_;
    bool last_written_ = true;
    std::unique_ptr<SvgWriter> svg_;  // the drawing, for Format::SVG
};

// One trace of a script's cycles into out, as the trace program writes it:
// the tracer and the writer, fed one run after the other.
class ScriptTrace {
public:
    ScriptTrace(Output& out, Format format, bool changes, std::optional<std::uint64_t> cycles,
                const std::string& title, bool why = false);
    // Runs count cycles with key; false once the output has failed.
    bool cycles(std::int32_t key, std::uint64_t count);
    // What a check found after the last cycle run.
    void check(bool passed, std::string_view text) { writer_.check(passed, text); }
    [[nodiscard]] const Tracer& tracer() const { return tracer_; }
    // Called after every cycle, with the tracer as the cycle left it.
    void watch(std::function<void(const Tracer&)> each) { watch_ = std::move(each); }
    // Writes what is left; the output's error, 0 if none.
    int finish();

private:
    Output& out_;
    Tracer tracer_;
    TraceWriter writer_;
    std::function<void(const Tracer&)> watch_;
};

}  // namespace panel::trace
