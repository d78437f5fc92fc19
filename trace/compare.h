// Another implementation's trace held against ours: a CSV file of our columns
// (any order, any subset, cycle first), one row per cycle, compared field by
// field with the trace of the same script as this panel makes it. The file is
// read as a stream, one line at a time, so its length costs no memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trace_writer.h"
#include "tracer.h"

namespace panel::trace {

// Reads a CSV file line by line (LF or CRLF), fields split as RFC 4180
// quotes them; a line is at most MAX_LINE bytes.
class CsvReader {
public:
    static constexpr std::size_t MAX_LINE = 4096;
    explicit CsvReader(int fd) : fd_(fd) {}
    // The next line's fields: false at the end, on a bad line (error()) or
    // a failed read (read_error()).
    bool next(std::vector<std::string>& fields);
    [[nodiscard]] std::size_t line() const { return line_; }
    [[nodiscard]] const std::optional<std::string>& error() const { return error_; }
    [[nodiscard]] int read_error() const { return read_error_; }

private:
    int get();
    int fd_;
    char buffer_[1 << 14] = {};
    std::size_t at_ = 0, end_ = 0;
    std::size_t line_ = 0;
    std::optional<std::string> error_;
    int read_error_ = 0;
};

// The columns a header names, as indexes of CSV_COLUMNS, or what is wrong
// with it: a column that is not ours (named), one named twice, no cycle first.
std::optional<std::string> read_header(const std::vector<std::string>& header, std::vector<std::size_t>& columns);

// Reads the rest of a file, each line with columns fields: "LINE: what is
// wrong" with the first that is not, nullopt when none is (or the read
// failed: read_error()).
std::optional<std::string> check_lines(CsvReader& reader, std::size_t columns);

// Compares each record of our trace with the next line of theirs, saying
// each difference as "NAME:LINE: cycle N: FIELD: expected X, got Y" (only
// the first unless all), and at the end a count that differs as
// "NAME: N cycles, expected M".
class Comparison {
public:
    Comparison(std::string name, std::vector<std::size_t> columns, CsvReader& theirs, Output& report, bool all)
        : name_(std::move(name)), columns_(std::move(columns)), theirs_(theirs), report_(report), all_(all) {}
    // After each of our cycles.
    void cycle(const TraceRecord& ours);
    // After our last cycle: their lines left are counted.
    void finish();
    [[nodiscard]] bool differs() const { return differences_ > 0; }

private:
    void say(const std::string& text);

    std::string name_;
    std::vector<std::size_t> columns_;
    CsvReader& theirs_;
    Output& report_;
    bool all_;
    std::uint64_t ours_ = 0, their_lines_ = 0;
    bool theirs_ended_ = false;
    std::uint64_t differences_ = 0;
    std::vector<std::string> fields_;
};

}  // namespace panel::trace
